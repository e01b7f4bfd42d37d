#pragma once
#include "RegisterEditor.h"
#include <QList>
#include <QObject>

class QLineEdit;
class QPushButton;
class QWidget;

namespace corvane {

class FlexGrid;
class MessageService;
class StoreFailureNotice;

// Puts a RegisterEditor on a window's controls: the grid it is browsed in,
// one box per field, and the "添加", "删除" and "修改"/"保存" buttons. The
// window's click handlers call select(), add(), amendOrSave() and remove();
// the binding enables and fills the boxes, switches the button caption,
// shows the editor's refusals and keeps the focus in a box whose text must
// be a number until it holds one. From the keyboard the arrows browse the
// grid, Enter or F2 starts "修改" on the current record and Escape in a box
// drops the change.
class RegisterBinding : public QObject {
    Q_OBJECT
public:
    struct Controls {
        FlexGrid *grid = nullptr;
        QList<QLineEdit *> boxes;
        QPushButton *add = nullptr;
        QPushButton *remove = nullptr;
        QPushButton *amend = nullptr;
    };

    RegisterBinding(RegisterEditor &editor, Controls controls, MessageService &messages, StoreFailureNotice &notice,
                    QWidget *window);

    RegisterEditor &editor() const { return m_editor; }
    // Fills the grid from the register and starts browsing.
    void load();

    void select();      // click on the grid
    void add();         // "添加"
    void amendOrSave(); // "修改", or "保存" while editing
    void remove();      // "删除"
    void cancel();      // Escape while adding or amending
    // The check run when the focus leaves box i: false (message shown) when
    // its text is refused.
    bool validate(int field);

    static QString amendCaption() { return QStringLiteral("修改(&M)"); }
    static QString saveCaption() { return QStringLiteral("保存(&S)"); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show(const RegisterStep &step);
    void setBoxes(bool enabled, bool clear);
    void setEditing(bool editing);
    void fillGrid();
    void focusBox(int field, bool selectText);
    bool validatePendingBox();
    QStringList texts() const;

    RegisterEditor &m_editor;
    Controls m_c;
    MessageService &m_messages;
    StoreFailureNotice &m_notice;
    QWidget *m_window;
    int m_lastBox = -1;   // box that last had the focus; its check runs before a save
    bool m_quiet = false; // the binding itself moves text or focus: no leave checks
};

} // namespace corvane
