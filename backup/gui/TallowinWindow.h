#pragma once
#include "Backup.h"
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace corvane {
class ConsoleContext;
}

namespace corvane::tallowin {

// The backup tool's window: back the home's database up to a file, restore it
// from one, leave. The work runs beside the window, which shows how far it
// has come and stays responsive; closing waits until the work is done. A
// database that is missing or damaged is shown as such and can be restored.
// Leaving offers to start the console again on the same home.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmMain() override;

    // The filter of the file dialog.
    static QString fileFilter();
    // The console's program in a program folder.
    static QString consolePath(const QString &programDir);
    // The folder the console is started from (the tool's own by default).
    void setProgramDir(const QString &dir) { m_programDir = dir; }

    bool busy() const { return m_worker != nullptr; }

    QPushButton *cmdBackup;
    QPushButton *cmdResume;
    QPushButton *cmdExit;
    QGroupBox *fraContent;
    QCheckBox *chkBill;
    QCheckBox *chkConfig;
    QLabel *lblKeep;
    QProgressBar *prgWork;
    QLabel *lblStatus;

signals:
    // A backup or restore has ended and its outcome has been shown.
    void workFinished(corvane::ToolOutcome outcome);

public slots:
    void cmdBackup_Click();
    void cmdResume_Click();
    void cmdExit_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void showWhatRestoreKeeps();
    void showDatabaseState();

private:
    enum class FileMode { Save, Open };
    // The one file dialog for both ways; empty when it was cancelled.
    QString cdlgSave(FileMode mode);
    void runWork(std::function<ToolResult(const Progress &)> work, const QString &title);
    void showProgress(const QString &step, qint64 done, qint64 total);
    void finishWork(const ToolResult &result, const QString &title);
    void setButtonsEnabled(bool on);
    // The key of a file from another home, asked for as its recovery key:
    // empty when none is needed, nullopt when the operator gave up.
    std::optional<QByteArray> askFileKey(const QString &file);
    bool confirmRestore(const QString &file, const QByteArray &key);
    // Who restores (the usage row's operator column): an operator holding
    // "参数备份与恢复", asked for and checked; nullopt when refused or cancelled.
    std::optional<QString> askRestorer();
    void restartConsole();

    ConsoleContext &m_ctx;
    QThread *m_worker = nullptr;
    QString m_folder; // where the file dialog opens
    QString m_programDir;
    // The database is missing or damaged; its calls cannot be kept when
    // !m_callsReadable, and "话单信息" is then ticked and cannot be changed.
    bool m_databaseSound = true;
    bool m_callsReadable = true;
    QString m_databaseSummary;
    bool m_databaseMissing = false;
    // The restore is a rescue by the home's owner: no operator was checked.
    bool m_restoreByOwner = false;
};

} // namespace corvane::tallowin
