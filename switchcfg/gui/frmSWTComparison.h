#pragma once
#include "ParameterDump.h"

#include <QDialog>
#include <QList>
#include <memory>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane {

class ClockTimer;
class ConsoleContext;
class FlexGrid;
class SwitchComparison;

// "交换机信息比照": brings the database and the switch into agreement in
// either direction. "开始比照" reads the switch's parameter memory back and
// shows it row by row beside the database; "数据库参数下传至交换机" programs
// the switch from the database through the command queue, with its progress;
// "交换机参数覆盖数据库" copies the switch's values of a complete comparison
// into the database. The steps are SwitchComparison's; the window shows them.
class frmSWTComparison : public QDialog {
    Q_OBJECT
public:
    static constexpr int Columns = 5;

    explicit frmSWTComparison(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmSWTComparison() override;

    SwitchComparison &comparison() { return *m_logic; }

    FlexGrid *hfgComparison;
    QPushButton *cmdComparison;
    QPushButton *cmdSend;
    QPushButton *cmdReceive;
    QPushButton *cmdLeave;
    QPushButton *cmdStop;    // "停止下传", while a download runs
    QCheckBox *chkDifferent; // "只看不一致"
    QLabel *lblTip;
    QLabel *lblUnseen;     // the settings the comparison cannot see
    QLabel *lblCommand;    // the command being sent
    QProgressBar *pgbSend; // the download's progress
    ClockTimer *tmrOver;

    static QString ReadyTip() { return QStringLiteral("准备就绪，请根据需要使用相应功能。"); }
    static QString SendingTip() { return QStringLiteral("下传所需的时间较长，请您耐心等待！"); }
    static QString SentTip() { return QStringLiteral("参数下传结束！"); }
    // After a comparison: "共1384项，不一致3项", and the list entries the
    // switch holds beyond the database: "，另有2项交换机有而数据库无".
    static QString CountTip(int rows, int different, int switchOnly = 0)
    {
        QString tip = QStringLiteral("共%1项，不一致%2项").arg(rows).arg(different);
        if (switchOnly > 0)
            tip += QStringLiteral("，另有%1项交换机有而数据库无").arg(switchOnly);
        return tip;
    }
    // What the comparison cannot show, below the grid and in the help.
    static QString UnseenText()
    {
        return QStringLiteral("比照看不到的参数：分机拨号密码、中继外线号码、工作日与工作时段、IP卡、间局局向、"
                              "分机第六项功能（*15*）、账号。“数据库参数下传至交换机”会重新设置这些参数。");
    }
    static QString CopyQuestion()
    {
        return QStringLiteral("交换机的参数将覆盖数据库中的对应参数，数据库中原有的这些参数将不能恢复。\n是否继续？");
    }

public slots:
    void cmdComparison_Click();
    void cmdSend_Click();
    void cmdReceive_Click();
    void cmdLeave_Click();
    void cmdStop_Click();
    void chkDifferent_Click();
    void tmrOver_Timer();
    // Leaving by the window's close box or Escape goes the same way as cmdLeave.
    void reject() override;

private:
    void writeHeader();
    void showRows(const QList<int> &rows);
    void comparisonEnded(ParameterDump::State state);
    void showVerdicts();
    void showDownloadProgress(int done, int total, const QString &command);
    void showDownloadDelivered(int delivered, int total);
    void downloadEnded(int sent, int dropped);
    void setButtonsEnabled(bool on);
    // Rows that agree are hidden while "只看不一致" is ticked.
    void showOnlyDifferent();
    void downloadShown(bool running);
    void refuse(const Status &why);
    // Whether the window may close now; asks while a comparison runs.
    bool leaveAllowed();

    ConsoleContext &m_ctx;
    std::unique_ptr<SwitchComparison> m_logic;
};

} // namespace corvane
