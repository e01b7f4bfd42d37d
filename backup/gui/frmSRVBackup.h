#pragma once
#include <QDialog>
#include <QString>
#include <array>
#include <functional>

class QLabel;
class QWidget;
class QPushButton;

namespace corvane {

class ConsoleContext;

// How the console hands over to the backup tool.
struct BackupLauncher {
    QString programDir;               // the folder holding corvane and tallowin
    std::function<void()> endConsole; // ends the console at once
    // Before the tool starts: the commands still waiting for the switch are
    // sent or kept, as the operator chooses; false when the operator stays.
    std::function<bool(QWidget *)> settleQueue;
};

// The console's window in front of the backup tool: says that the console
// ends, starts the tool on the same home and ends the console.
class frmSRVBackup : public QDialog {
    Q_OBJECT
public:
    frmSRVBackup(ConsoleContext &ctx, BackupLauncher launcher, QWidget *parent = nullptr);

    // The backup tool's program in a program folder.
    static QString toolPath(const QString &programDir);

    std::array<QLabel *, 2> lblPrompt{};
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

public slots:
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    ConsoleContext &m_ctx;
    BackupLauncher m_launcher;
};

} // namespace corvane
