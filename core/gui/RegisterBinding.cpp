#include "RegisterBinding.h"
#include "FlexGrid.h"
#include "GridHelpers.h"
#include "MessageService.h"
#include "StoreFailureNotice.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace corvane {

RegisterBinding::RegisterBinding(RegisterEditor &editor, Controls controls, MessageService &messages,
                                 StoreFailureNotice &notice, QWidget *window)
    : QObject(window), m_editor(editor), m_c(std::move(controls)), m_messages(messages), m_notice(notice),
      m_window(window)
{
    for (QLineEdit *box : m_c.boxes)
        box->installEventFilter(this);
    for (QPushButton *b : {m_c.add, m_c.remove, m_c.amend}) {
        // A mouse click leaves the focus in the box being edited, so that its
        // check runs before the button acts; Tab still reaches the buttons.
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoDefault(false);
    }
    // From the keyboard: the arrows browse as clicks do, Enter or F2 edits
    // the current record as "修改" does.
    m_c.grid->installEventFilter(this);
    connect(m_c.grid, &FlexGrid::EnterCell, this, [this] {
        if (m_c.grid->hasFocus() && !m_editor.editing())
            select();
    });
}

void RegisterBinding::load()
{
    fillGrid();
    setBoxes(false, false);
    setEditing(false);
}

void RegisterBinding::fillGrid() { FillGrid(m_editor.rows(), *m_c.grid, 0, 0, 0); }

QStringList RegisterBinding::texts() const
{
    QStringList out;
    for (const QLineEdit *box : m_c.boxes)
        out << box->text();
    return out;
}

void RegisterBinding::setBoxes(bool enabled, bool clear)
{
    m_quiet = true;
    for (QLineEdit *box : m_c.boxes) {
        if (clear)
            box->clear();
        box->setEnabled(enabled);
    }
    m_quiet = false;
    if (!enabled)
        m_lastBox = -1;
}

void RegisterBinding::setEditing(bool editing)
{
    m_c.add->setEnabled(!editing);
    m_c.remove->setEnabled(!editing);
    m_c.amend->setText(editing ? saveCaption() : amendCaption());
}

void RegisterBinding::focusBox(int field, bool selectText)
{
    if (field < 0 || field >= m_c.boxes.size())
        return;
    QLineEdit *box = m_c.boxes.at(field);
    if (selectText)
        SelectAllText(box);
    else
        box->setFocus(Qt::OtherFocusReason);
}

void RegisterBinding::show(const RegisterStep &step)
{
    if (step.storeFailure) {
        m_notice.note(step.status, m_window);
        return;
    }
    if (!step) {
        m_quiet = true;
        m_messages.show(step.status.reason(), step.title, step.icon, MessageService::Buttons::Ok, m_window);
        m_quiet = false;
    }
    focusBox(step.focus, step.selectText);
}

void RegisterBinding::select()
{
    const int index = m_c.grid->row() - m_c.grid->fixedRows();
    if (m_c.grid->row() < m_c.grid->fixedRows())
        return;
    const auto values = m_editor.select(index);
    if (!values)
        return;
    m_quiet = true;
    for (int i = 0; i < m_c.boxes.size(); ++i)
        m_c.boxes.at(i)->setText(values->value(i));
    m_quiet = false;
}

void RegisterBinding::add()
{
    const RegisterStep step = m_editor.add();
    setEditing(true);
    setBoxes(true, true);
    show(step);
}

void RegisterBinding::amendOrSave()
{
    if (!m_editor.editing()) {
        const RegisterStep step = m_editor.amend(m_c.boxes.value(0)->text());
        if (step) {
            setEditing(true);
            setBoxes(true, false);
        }
        show(step);
        return;
    }
    // The box being edited is checked first, as leaving it would be.
    if (!validatePendingBox())
        return;
    const RegisterStep step = m_editor.save(texts());
    if (!step) {
        show(step);
        return;
    }
    m_notice.note(Status::ok());
    setBoxes(false, true);
    setEditing(false);
    fillGrid();
}

void RegisterBinding::cancel()
{
    m_editor.cancel();
    m_quiet = true;
    setBoxes(false, true);
    setEditing(false);
    m_quiet = false;
    m_c.grid->setFocus(Qt::OtherFocusReason);
    select();
}

void RegisterBinding::remove()
{
    const QString key = m_c.boxes.value(0)->text();
    if (m_editor.rowToRemove(key) >= 0
        && !m_messages.confirmDeletion(QStringLiteral("是否删除“%1”？").arg(key.trimmed()), QStringLiteral("删除"),
                                       m_window))
        return;
    const RegisterStep step = m_editor.remove(key);
    if (!step) {
        show(step);
        return;
    }
    m_notice.note(Status::ok());
    setBoxes(false, true);
    fillGrid();
}

bool RegisterBinding::validate(int field)
{
    if (field < 0 || field >= m_c.boxes.size())
        return true;
    const Status s = m_editor.checkField(field, m_c.boxes.at(field)->text());
    if (s)
        return true;
    m_quiet = true;
    m_messages.inputError(s.reason(), m_window);
    m_quiet = false;
    return false;
}

bool RegisterBinding::validatePendingBox()
{
    if (m_lastBox < 0 || !m_c.boxes.at(m_lastBox)->isEnabled())
        return true;
    if (validate(m_lastBox))
        return true;
    focusBox(m_lastBox, false);
    return false;
}

bool RegisterBinding::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_c.grid) {
        if (event->type() == QEvent::KeyPress && !m_editor.editing()) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool edits = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_F2;
            if (edits && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                if (m_c.grid->row() >= m_c.grid->fixedRows() && m_c.amend->isEnabled()) {
                    select();
                    m_c.amend->click();
                }
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    const int field = int(m_c.boxes.indexOf(qobject_cast<QLineEdit *>(watched)));
    if (field < 0)
        return QObject::eventFilter(watched, event);
    QLineEdit *box = m_c.boxes.at(field);
    if (event->type() == QEvent::KeyPress && m_editor.editing()) {
        // Enter in a box being edited saves, as "保存" does.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_c.amend->isEnabled()) {
            m_c.amend->click();
            return true;
        }
        // Escape drops what was typed (and does not close the window).
        if (key == Qt::Key_Escape) {
            cancel();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn) {
        m_lastBox = field;
    } else if (event->type() == QEvent::FocusOut && !m_quiet && box->isEnabled()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Another window taking over (a message box, the desktop) is not
        // leaving the box; the focus comes back to it.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (validate(field)) {
                m_lastBox = -1;
            } else {
                // The focus stays in the box until it holds an accepted text.
                QTimer::singleShot(0, box, [box] { box->setFocus(Qt::OtherFocusReason); });
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
