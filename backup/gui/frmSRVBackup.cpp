#include "frmSRVBackup.h"
#include "ConsoleContext.h"
#include "Operators.h"
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

frmSRVBackup::frmSRVBackup(ConsoleContext &ctx, BackupLauncher launcher, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_launcher(std::move(launcher))
{
    setObjectName(QStringLiteral("frmSRVBackup"));
    setWindowTitle(QStringLiteral("参数备份与恢复"));

    const QString texts[2] = {
        QStringLiteral("提示：为了保证数据库备份的正确进行，监控软件将被终止。"),
        QStringLiteral("选择〖确认〗退出监控软件,开始备份/恢复操作；") + QLatin1Char('\n')
            + QStringLiteral("选择〖取消〗退出备份/恢复操作，继续监控。"),
    };
    auto *layout = new QVBoxLayout(this);
    for (int i = 0; i < 2; ++i) {
        lblPrompt[i] = new QLabel(texts[i], this);
        lblPrompt[i]->setObjectName(QStringLiteral("lblPrompt_%1").arg(i));
        lblPrompt[i]->setAccessibleName(texts[i]);
        // Each line whole: wrapped, Chinese text breaks between any two
        // characters and leaves single ones on lines of their own.
        lblPrompt[i]->setWordWrap(false);
        layout->addWidget(lblPrompt[i]);
    }
    cmdOK = new QPushButton(QStringLiteral("确认(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setAccessibleName(QStringLiteral("确认"));
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAccessibleName(QStringLiteral("取消"));
    cmdCancel->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmSRVBackup::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSRVBackup::cmdCancel_Click);
}

QString frmSRVBackup::toolPath(const QString &programDir) { return programDir + QStringLiteral("/tallowin"); }

void frmSRVBackup::cmdOK_Click()
{
    // Commands still waiting for the switch are not dropped by the end of
    // the console: they go first or stay kept for the next start.
    if (m_launcher.settleQueue && !m_launcher.settleQueue(this))
        return;
    // The tool works on this console's home, whichever way it was chosen.
    const QString program = toolPath(m_launcher.programDir);
    const QFileInfo info(program);
    const bool started =
        info.isFile() && info.isExecutable()
        && QProcess::startDetached(program, {QStringLiteral("--home"), m_ctx.home.root()}, m_launcher.programDir);
    if (!started) {
        m_ctx.messages.show(QStringLiteral("备份软件没找到！请与我们联系！"), QStringLiteral("系统错误"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    // The session of the operator who starts the backup ends here: its usage
    // row is written before the console goes, and only once.
    if (m_ctx.login.OPLogin) {
        if (Status s = AddOperatorRecord(m_ctx); !s)
            m_ctx.messages.show(QStringLiteral("操作员使用记录未能保存：") + s.reason(), QStringLiteral("系统错误"),
                                MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        m_ctx.login.OPLogin = false;
    }
    accept();
    if (m_launcher.endConsole)
        m_launcher.endConsole();
}

void frmSRVBackup::cmdCancel_Click() { reject(); }

} // namespace corvane
