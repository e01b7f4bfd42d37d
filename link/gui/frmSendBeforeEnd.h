#pragma once
#include "Clock.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane {

class ConsoleContext;
class SwitchLink;

// The wait before the console ends (exit, the backup tool) while commands
// still go to the switch: how many went and are answered for, how many
// wait and how long that takes at the line's pace. It closes by itself once
// the switch has them all; "保存待发并退出" leaves at any moment with the
// kept commands in the database for the next start (and names what is not
// kept and is dropped); "取消" stays in the console. Modal: nothing else is
// edited while it waits, and the call intake goes on.
class frmSendBeforeEnd : public QDialog {
    Q_OBJECT
public:
    frmSendBeforeEnd(ConsoleContext &ctx, SwitchLink &link, const QString &title, QWidget *parent = nullptr);

    QLabel *lblProgress;
    QProgressBar *pgbSend;
    QPushButton *cmdKeep;   // "保存待发并退出"
    QPushButton *cmdCancel; // "取消"

    // The text the window shows for a state of the wait.
    static QString ProgressText(int sent, int waiting, qint64 msLeft, bool canSend, const QStringList &unkept);

public slots:
    void cmdKeep_Click();

private:
    void refresh();

    ConsoleContext &m_ctx;
    SwitchLink &m_link;
    ClockTimer m_tick;
};

// Before the console ends: the windows it has open are closed (but its main
// window and `main`, the one asking), then the
// commands still waiting for the switch are sent while frmSendBeforeEnd
// shows how far (nothing is asked when none wait). Returns false when the
// operator stays in the console.
bool SendBeforeEnd(ConsoleContext &ctx, SwitchLink &link, QWidget *main, const QString &title);

} // namespace corvane
