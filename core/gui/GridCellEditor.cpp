#include "GridCellEditor.h"
#include "FlexGrid.h"
#include "General.h"
#include "GridHelpers.h"
#include "StoreFailureNotice.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace corvane {

GridCellEditor::GridCellEditor(FlexGrid *grid, QLineEdit *box, MessageService &messages, StoreFailureNotice &notice,
                               QWidget *window, Hooks hooks)
    : QObject(grid), m_grid(grid), m_box(box), m_messages(messages), m_notice(notice), m_window(window),
      m_hooks(std::move(hooks))
{
    m_box->hide();
    if (m_box->accessibleName().isEmpty())
        m_box->setAccessibleName(QStringLiteral("单元格编辑"));
    m_box->installEventFilter(this);
    connect(m_grid, &FlexGrid::DblClick, this, &GridCellEditor::open);
    connect(m_box, &QLineEdit::returnPressed, this, &GridCellEditor::commit);
}

bool GridCellEditor::isOpen() const { return !m_box->isHidden(); }

void GridCellEditor::refuse(const Status &why, const CellRule &rule)
{
    // The message box takes the focus for a moment; that is not leaving the box.
    m_showingRefusal = true;
    m_messages.show(why.reason(), rule.title, rule.icon, MessageService::Buttons::Ok, m_window);
    m_showingRefusal = false;
}

void GridCellEditor::open()
{
    cancel();
    const int r = m_grid->row();
    const int c = m_grid->col();
    if (r < m_grid->fixedRows() || c < m_grid->fixedCols() || r >= m_grid->rows() || c >= m_grid->cols())
        return;
    GridCell cell{r, c, m_hooks.rowId ? m_hooks.rowId(r) : -1, m_grid->textMatrix(r, c)};
    const CellRule rule = m_hooks.rule ? m_hooks.rule(cell) : CellRule::fixed();
    if (!rule.blocked) {
        refuse(rule.blocked, rule);
        return;
    }
    // A row that shows no record (the empty row under the captions) has nothing to edit.
    if (rule.kind == CellRule::Kind::Fixed || cell.rowId < 0)
        return;
    m_rule = rule;
    if (rule.kind == CellRule::Kind::Cycle) {
        if (rule.choices.isEmpty())
            return;
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
    m_target = cell;
    EditCell(m_box, *m_grid);
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
}

void GridCellEditor::apply(const GridCell &cell, const QString &value)
{
    const StoreResult result = m_hooks.store ? m_hooks.store(cell, value) : StoreResult(Status::ok());
    if (m_notice.note(result.status, m_window))
        m_grid->setTextMatrix(cell.row, cell.col, value);
    if (m_hooks.stored)
        m_hooks.stored(cell, value, result);
}

void GridCellEditor::cancel() { m_box->hide(); }

bool GridCellEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        cancel();
        return true;
    }
    if (event->type() == QEvent::FocusOut && !m_showingRefusal) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Another window taking over for a moment (a message box, a menu) is
        // not leaving the box; the focus comes back to it.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            cancel();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
