#include "GridCellEditor.h"
#include "FlexGrid.h"
#include "General.h"
#include "GridHelpers.h"
#include "StoreFailureNotice.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

namespace corvane {

GridCellEditor::GridCellEditor(FlexGrid *grid, QLineEdit *box, MessageService &messages, StoreFailureNotice &notice,
                               QWidget *window, Hooks hooks)
    : QObject(grid), m_grid(grid), m_box(box),
      m_list(new QListWidget(box->parentWidget() ? box->parentWidget() : grid->parentWidget())), m_messages(messages),
      m_notice(notice), m_window(window), m_hooks(std::move(hooks))
{
    m_box->hide();
    if (m_box->accessibleName().isEmpty())
        m_box->setAccessibleName(QStringLiteral("单元格编辑"));
    m_box->installEventFilter(this);
    m_list->setObjectName(m_box->objectName() + QStringLiteral("_choices"));
    m_list->setAccessibleName(QStringLiteral("单元格选择"));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->hide();
    m_list->installEventFilter(this);
    m_grid->installEventFilter(this);
    connect(m_grid, &FlexGrid::DblClick, this, &GridCellEditor::open);
    connect(m_box, &QLineEdit::returnPressed, this, &GridCellEditor::commit);
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        m_list->setCurrentItem(item);
        choose();
    });
}

bool GridCellEditor::isOpen() const { return !m_box->isHidden() || !m_list->isHidden(); }

void GridCellEditor::refuse(const Status &why, const CellRule &rule)
{
    // The message box takes the focus for a moment; that is not leaving the box.
    m_showingRefusal = true;
    m_messages.show(why.reason(), rule.title, rule.icon, MessageService::Buttons::Ok, m_window);
    m_showingRefusal = false;
}

bool GridCellEditor::current(GridCell &cell, CellRule &rule)
{
    cancel();
    const int r = m_grid->row();
    const int c = m_grid->col();
    if (r < m_grid->fixedRows() || c < m_grid->fixedCols() || r >= m_grid->rows() || c >= m_grid->cols())
        return false;
    cell = GridCell{r, c, m_hooks.rowId ? m_hooks.rowId(r) : -1, m_grid->textMatrix(r, c)};
    rule = m_hooks.rule ? m_hooks.rule(cell) : CellRule::fixed();
    if (!rule.blocked) {
        refuse(rule.blocked, rule);
        return false;
    }
    // A row that shows no record (the empty row under the captions) has nothing to edit.
    if (rule.kind == CellRule::Kind::Fixed || cell.rowId < 0)
        return false;
    if (rule.kind == CellRule::Kind::Cycle && rule.choices.isEmpty())
        return false;
    m_rule = rule;
    m_target = cell;
    return true;
}

void GridCellEditor::open()
{
    GridCell cell;
    CellRule rule;
    if (!current(cell, rule))
        return;
    if (rule.kind == CellRule::Kind::Cycle) {
        const QString next =
            NextChoice(cell.text, rule.fallback.isEmpty() ? rule.choices.first() : rule.fallback, rule.choices);
        const Checked<QString> value = m_hooks.check ? m_hooks.check(cell, next) : Checked<QString>(next);
        if (!value) {
            refuse(value.status(), rule);
            return;
        }
        apply(cell, *value);
        return;
    }
    EditCell(m_box, *m_grid);
}

void GridCellEditor::edit()
{
    GridCell cell;
    CellRule rule;
    if (!current(cell, rule))
        return;
    if (rule.kind == CellRule::Kind::Cycle)
        showList(cell, rule);
    else
        EditCell(m_box, *m_grid);
}

void GridCellEditor::showList(const GridCell &cell, const CellRule &rule)
{
    m_list->clear();
    m_list->addItems(rule.choices);
    // The cell's value is marked; a text that is none of them marks the fallback.
    int at = int(rule.choices.indexOf(cell.text));
    if (at < 0)
        at = int(rule.choices.indexOf(rule.fallback));
    m_list->setCurrentRow(qMax(at, 0));
    // Under the cell's top edge, as wide as the cell or its longest choice,
    // as tall as its choices, kept inside the window.
    QWidget *parent = m_list->parentWidget();
    const QRect cellRect = m_grid->cellRectIn(parent, cell.row, cell.col);
    const int rowHeight = qMax(m_list->sizeHintForRow(0), 1);
    const int frame = 2 * m_list->frameWidth();
    const int width = qMax(cellRect.width(), m_list->sizeHintForColumn(0) + frame + 8);
    int height = int(rule.choices.size()) * rowHeight + frame;
    QRect placed(cellRect.topLeft(), QSize(width, height));
    if (parent) {
        height = qMin(height, parent->height());
        placed.setHeight(height);
        if (placed.bottom() >= parent->height())
            placed.moveBottom(parent->height() - 1);
        if (placed.right() >= parent->width())
            placed.moveRight(parent->width() - 1);
        placed.moveTopLeft(QPoint(qMax(0, placed.left()), qMax(0, placed.top())));
    }
    m_list->setGeometry(placed);
    m_list->show();
    m_list->raise();
    m_list->setFocus(Qt::OtherFocusReason);
}

void GridCellEditor::choose()
{
    if (m_list->isHidden() || !m_list->currentItem())
        return;
    const GridCell cell = m_target;
    const QString chosen = m_list->currentItem()->text();
    closeList();
    // The value the cell already holds is no change: nothing is stored or sent.
    if (chosen != cell.text) {
        const Checked<QString> value = m_hooks.check ? m_hooks.check(cell, chosen) : Checked<QString>(chosen);
        if (!value)
            refuse(value.status(), m_rule);
        else
            apply(cell, *value);
    }
    backToGrid();
}

void GridCellEditor::closeList() { m_list->hide(); }

void GridCellEditor::backToGrid()
{
    if (m_grid->isVisible())
        m_grid->setFocus(Qt::OtherFocusReason);
}

void GridCellEditor::commit()
{
    if (!isOpen())
        return;
    const GridCell cell = m_target;
    const Checked<QString> value = m_hooks.check ? m_hooks.check(cell, m_box->text()) : Checked<QString>(m_box->text());
    if (!value) {
        refuse(value.status(), m_rule);
        SelectAllText(m_box);
        return;
    }
    m_box->hide();
    apply(cell, *value);
    backToGrid();
}

void GridCellEditor::apply(const GridCell &cell, const QString &value)
{
    const StoreResult result = m_hooks.store ? m_hooks.store(cell, value) : StoreResult(Status::ok());
    if (m_notice.note(result.status, m_window))
        m_grid->setTextMatrix(cell.row, cell.col, value);
    if (m_hooks.stored)
        m_hooks.stored(cell, value, result);
    keepPlace(cell);
}

void GridCellEditor::keepPlace(const GridCell &cell)
{
    // A grid refilled after a store (sorted anew, or its rows read back)
    // keeps the same record's cell chosen, so that the keys go on from there.
    if (cell.rowId < 0 || !m_hooks.rowId || cell.col >= m_grid->cols()
        || (m_grid->row() == cell.row && m_grid->col() == cell.col && m_hooks.rowId(cell.row) == cell.rowId))
        return;
    for (int r = m_grid->fixedRows(); r < m_grid->rows(); ++r)
        if (m_hooks.rowId(r) == cell.rowId) {
            m_grid->setRow(r);
            m_grid->setCol(cell.col);
            return;
        }
}

void GridCellEditor::cancel()
{
    m_box->hide();
    closeList();
}

bool GridCellEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid) {
        // Enter or F2 on the grid edits its current cell; Enter would otherwise
        // reach the window's default button.
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            const auto mods = static_cast<QKeyEvent *>(event)->modifiers() & ~Qt::KeypadModifier;
            if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) && mods == Qt::NoModifier) {
                edit();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    if (watched != m_box && watched != m_list)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape) {
            cancel();
            backToGrid();
            return true;
        }
        if (watched == m_list && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            choose();
            return true;
        }
        // Tab leaves the list as it leaves the box: nothing is taken.
        if (watched == m_list && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
            cancel();
            backToGrid();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut && !m_showingRefusal) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Another window taking over for a moment (a message box, a menu) is
        // not leaving the box; the focus comes back to it.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == m_box)
                m_box->hide();
            else
                closeList();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
