#include "GridHelpers.h"
#include "FlexGrid.h"
#include "MessageService.h"
#include "Recordset.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTreeWidget>

namespace corvane {
inline namespace mdlGeneral {

int ListIndexOf(const QString &text, const QListWidget *list)
{
    if (!list)
        return -1;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text() == text)
            return i;
    }
    return -1;
}

int ListIndexOf(const QString &text, const QComboBox *box)
{
    if (!box)
        return -1;
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == text)
            return i;
    }
    return -1;
}

int FindGridRow(const QString &text, const FlexGrid &grid, int column)
{
    for (int r = 1; r < grid.rows(); ++r) {
        if (grid.textMatrix(r, column) == text)
            return r;
    }
    return -1;
}

void AddListRow(QTreeWidget *list, int rowLimit, const QStringList &values)
{
    if (!list)
        return;
    if (list->topLevelItemCount() > rowLimit) {
        while (list->topLevelItemCount() > ListRowsKept)
            delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
    }
    auto *row = new QTreeWidgetItem;
    for (int i = 0; i < values.size(); ++i)
        row->setText(i, values.at(i));
    list->insertTopLevelItem(0, row);
}

namespace {

// Fills the grid from rows already read: header row h gets the column names,
// data row n goes to grid row h + n, an empty list keeps one empty row.
void fillRows(FlexGrid &grid, const QStringList &names, const QList<QStringList> &data, int columns, int h)
{
    const bool updates = grid.updatesEnabled();
    grid.setUpdatesEnabled(false);
    grid.clear();
    grid.setRows(h + 2);
    grid.setCols(columns);
    for (int c = 0; c < columns; ++c)
        grid.setTextMatrix(h, c, names.value(c));
    // Size the grid once: the same rows as growing it one row per record,
    // without resizing the table thousands of times.
    grid.setRows(h + 1 + qMax<qsizetype>(1, data.size()));
    for (int n = 0; n < data.size(); ++n) {
        const QStringList &row = data.at(n);
        for (int c = 0; c < columns; ++c)
            grid.setTextMatrix(h + 1 + n, c, row.value(c));
    }
    // Amounts ("12.50") read right-aligned, the decimal points under each other.
    static const QRegularExpression amount(QStringLiteral("^-?\\d+\\.\\d\\d$"));
    for (int c = 0; c < columns; ++c) {
        bool amounts = false;
        bool others = false;
        for (const QStringList &row : data) {
            const QString v = row.value(c).trimmed();
            if (v.isEmpty())
                continue;
            (amount.match(v).hasMatch() ? amounts : others) = true;
        }
        if (amounts && !others)
            grid.setColAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    grid.fitColumns();
    grid.setUpdatesEnabled(updates);
}

} // namespace

void FillGrid(const Checked<TableRows> &rows, FlexGrid &grid, int columnCount, int rowLimit, int headerRow,
              MessageService &messages, QWidget *parent)
{
    if (rows) {
        FillGrid(*rows, grid, columnCount, rowLimit, headerRow);
        return;
    }
    TableRows none;
    none.columns = QStringList();
    FillGrid(none, grid, columnCount, rowLimit, headerRow);
    messages.show(rows.reason(), QStringLiteral("读取错误"), MessageService::Icon::Critical,
                  MessageService::Buttons::Ok, parent);
}

void FillGrid(Recordset &rs, FlexGrid &grid, int columnCount, int rowLimit, int headerRow)
{
    rs.moveFirst();
    const int columns = columnCount > 0 ? columnCount : rs.columnCount();
    QList<QStringList> data;
    while (!rs.eof() && (rowLimit <= 0 || data.size() < rowLimit)) {
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << rs.value(c);
        data << row;
        rs.moveNext();
    }
    fillRows(grid, rs.columnNames(), data, columns, qMax(0, headerRow));
}

void FillGrid(const TableRows &rows, FlexGrid &grid, int columnCount, int rowLimit, int headerRow)
{
    const int columns = columnCount > 0 ? columnCount : int(rows.columns.size());
    const QList<QStringList> data = rowLimit > 0 ? rows.rows.mid(0, rowLimit) : rows.rows;
    fillRows(grid, rows.columns, data, columns, qMax(0, headerRow));
}

namespace {
template <typename AddItem>
void fillItems(Recordset &rs, int limit, int valueColumn, int secondColumn, AddItem add)
{
    rs.moveFirst();
    int added = 0;
    while (!rs.eof() && (limit <= 0 || added < limit)) {
        QString text = rs.value(valueColumn);
        if (secondColumn >= 0)
            text += QStringLiteral("--") + rs.value(secondColumn);
        add(text);
        ++added;
        rs.moveNext();
    }
}
} // namespace

void FillList(QListWidget *list, Recordset &rs, int limit, int valueColumn, int secondColumn)
{
    if (!list)
        return;
    list->clear();
    fillItems(rs, limit, valueColumn, secondColumn, [list](const QString &t) { list->addItem(t); });
}

void FillList(QComboBox *box, Recordset &rs, int limit, int valueColumn, int secondColumn)
{
    if (!box)
        return;
    box->clear();
    fillItems(rs, limit, valueColumn, secondColumn, [box](const QString &t) { box->addItem(t); });
}

void SetColWidths(FlexGrid &grid, const QList<int> &widthsTwips) { grid.setColWidths(widthsTwips); }

void SetColAlignment(FlexGrid &grid, int column, Qt::Alignment alignment) { grid.setColAlignment(column, alignment); }

void SetGridRow(FlexGrid &grid, int row, const QStringList &values)
{
    for (int i = 0; i < values.size(); ++i)
        grid.setTextMatrix(row, i, values.at(i));
}

void ShowChoices(QComboBox *box, const QString &text, const QStringList &choices)
{
    if (!box)
        return;
    box->clear();
    box->addItems(choices);
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (box->isEditable())
        box->setEditText(text);
    box->setVisible(true);
}

void SelectAllText(QLineEdit *box)
{
    if (!box)
        return;
    box->setVisible(true);
    box->selectAll();
    box->setFocus(Qt::OtherFocusReason);
}

void EditCell(QLineEdit *box, const QString &text, int left, int top, int width, int height)
{
    if (!box)
        return;
    box->setGeometry(left, top, width, height);
    box->setText(text);
    box->raise();
    SelectAllText(box);
}

void EditCell(QLineEdit *box, const FlexGrid &grid)
{
    if (!box)
        return;
    const QRect r = grid.cellRectIn(box->parentWidget(), grid.row(), grid.col());
    const QRect placed =
        box->parentWidget()
            ? r
            : QRect(grid.viewport()->mapToGlobal(grid.cellRect(grid.row(), grid.col()).topLeft()), r.size());
    EditCell(box, grid.text(), placed.left(), placed.top(), placed.width(), placed.height());
}

} // namespace mdlGeneral
} // namespace corvane
