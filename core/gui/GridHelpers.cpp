#include "GridHelpers.h"
#include "FlexGrid.h"
#include "Recordset.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
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

void FillGrid(Recordset &rs, FlexGrid &grid, int columnCount, int rowLimit, int headerRow)
{
    const int h = qMax(0, headerRow);
    const bool updates = grid.updatesEnabled();
    grid.setUpdatesEnabled(false);

    grid.clear();
    grid.setRows(h + 2);
    rs.moveFirst();
    const int columns = columnCount > 0 ? columnCount : rs.columnCount();
    grid.setCols(columns);
    const QStringList names = rs.columnNames();
    for (int c = 0; c < columns; ++c)
        grid.setTextMatrix(h, c, names.value(c));

    // Read first, then size the grid once: the same rows as growing it one
    // row per record, without resizing the table thousands of times.
    QList<QStringList> data;
    while (!rs.eof() && (rowLimit <= 0 || data.size() < rowLimit)) {
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << rs.value(c);
        data << row;
        rs.moveNext();
    }
    // k data rows under the header; an empty recordset keeps one empty row.
    grid.setRows(h + 1 + qMax<qsizetype>(1, data.size()));
    for (int n = 0; n < data.size(); ++n) {
        const QStringList &row = data.at(n);
        for (int c = 0; c < columns; ++c)
            grid.setTextMatrix(h + 1 + n, c, row.at(c));
    }

    grid.setUpdatesEnabled(updates);
}

namespace {
template<typename AddItem>
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

void SetColWidths(FlexGrid &grid, const QList<int> &widthsTwips)
{
    for (int i = 0; i < widthsTwips.size(); ++i)
        grid.setColWidth(i, widthsTwips.at(i));
}

void SetColAlignment(FlexGrid &grid, int column, Qt::Alignment alignment)
{
    grid.setColAlignment(column, alignment);
}

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
    const QRect placed = box->parentWidget() ? r
        : QRect(grid.viewport()->mapToGlobal(grid.cellRect(grid.row(), grid.col()).topLeft()), r.size());
    EditCell(box, grid.text(), placed.left(), placed.top(), placed.width(), placed.height());
}

} // namespace mdlGeneral
} // namespace corvane
