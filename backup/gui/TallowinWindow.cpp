#include "TallowinWindow.h"
#include "ConsoleContext.h"
#include "DatabaseHealth.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "Restore.h"
#include "RestoreGate.h"
#include "ShowModal.h"
#include "frmRestoreLogin.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <memory>

namespace corvane::tallowin {

namespace {

const QString kBackupTitle = QStringLiteral("参数备份");
const QString kRestoreTitle = QStringLiteral("参数恢复");

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QString &accessible)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(accessible);
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmMain::frmMain(ConsoleContext &ctx, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_folder(ctx.home.root()), m_programDir(QCoreApplication::applicationDirPath())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("交换机系统--参数备份与恢复"));

    cmdBackup = makeButton(this, "cmdBackup", QStringLiteral("备份(&B)"), QStringLiteral("备份"));
    cmdResume = makeButton(this, "cmdResume", QStringLiteral("恢复(&R)"), QStringLiteral("恢复"));
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("离开(&X)"), QStringLiteral("离开"));

    fraContent = new QGroupBox(QStringLiteral("参数恢复内容设置："), this);
    fraContent->setObjectName(QStringLiteral("fraContent"));
    chkBill = new QCheckBox(QStringLiteral("话单信息"), fraContent);
    chkBill->setObjectName(QStringLiteral("chkBill"));
    chkBill->setChecked(false);
    chkConfig = new QCheckBox(QStringLiteral("交换机参数"), fraContent);
    chkConfig->setObjectName(QStringLiteral("chkConfig"));
    // The parameters always come with the file.
    chkConfig->setChecked(true);
    chkConfig->setEnabled(false);
    lblKeep = new QLabel(fraContent);
    lblKeep->setObjectName(QStringLiteral("lblKeep"));
    lblKeep->setWordWrap(true);
    auto *frameLayout = new QVBoxLayout(fraContent);
    auto *checks = new QHBoxLayout;
    checks->addWidget(chkBill);
    checks->addWidget(chkConfig);
    checks->addStretch(1);
    frameLayout->addLayout(checks);
    frameLayout->addWidget(lblKeep);

    prgWork = new QProgressBar(this);
    prgWork->setObjectName(QStringLiteral("prgWork"));
    prgWork->setAccessibleName(QStringLiteral("进度"));
    prgWork->setRange(0, 100);
    prgWork->setValue(0);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setAccessibleName(QStringLiteral("状态"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdBackup);
    buttons->addWidget(cmdResume);
    buttons->addWidget(cmdExit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(fraContent);
    layout->addWidget(prgWork);
    layout->addWidget(lblStatus);
    // Wide enough for the longest text it shows on one or two lines.
    setMinimumWidth(520);

    connect(cmdBackup, &QPushButton::clicked, this, &frmMain::cmdBackup_Click);
    connect(cmdResume, &QPushButton::clicked, this, &frmMain::cmdResume_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(chkBill, &QCheckBox::toggled, this, &frmMain::showWhatRestoreKeeps);
    showDatabaseState();
}

frmMain::~frmMain()
{
    if (m_worker)
        m_worker->wait();
}

QString frmMain::fileFilter() { return QStringLiteral("Mdb Files (*.mdb *.Mdb *.MDB)"); }

QString frmMain::consolePath(const QString &programDir) { return programDir + QStringLiteral("/corvane"); }

void frmMain::showWhatRestoreKeeps()
{
    QString text;
    if (m_databaseSound)
        text = RestoreKeepsText(chkBill->isChecked());
    else if (m_databaseMissing)
        text = QStringLiteral("没有数据库文件：恢复时参数、话单和押金余额都取自备份文件。");
    else if (!m_callsReadable)
        text = QStringLiteral("当前数据库的话单无法读取：恢复时参数、话单和押金余额都取自备份文件。"
                              "原来的数据库文件改名保留在 data 文件夹中。");
    else if (chkBill->isChecked())
        text = QStringLiteral("恢复时参数、话单和押金余额都取自备份文件；能读出的操作员使用记录保留。"
                              "原来的数据库文件改名保留在 data 文件夹中。");
    else
        text = QStringLiteral(
            "恢复时参数取自备份文件；从当前（已损坏的）数据库中读出的话单、押金余额和操作员使用记录保留。"
            "原来的数据库文件改名保留在 data 文件夹中。");
    lblKeep->setText(text);
    lblKeep->setAccessibleName(text);
}

void frmMain::showDatabaseState()
{
    const Checked<DatabaseCondition> condition = CheckDatabase(m_ctx.home);
    m_databaseSound = !condition || condition->sound();
    m_callsReadable = !condition || condition->callsReadable;
    m_databaseSummary = condition ? condition->summary : QString();
    m_databaseMissing = condition && condition->state == DatabaseCondition::State::Missing;
    if (!condition)
        lblStatus->setText(QStringLiteral("无法检查数据库：") + condition.reason());
    else if (!condition->sound())
        lblStatus->setText(condition->problem + QStringLiteral("\n可以用〖恢复〗从备份文件恢复数据库。"));
    // Keeping today's calls is offered only when they can be read.
    if (!m_callsReadable)
        chkBill->setChecked(true);
    chkBill->setEnabled(m_callsReadable && !busy());
    showWhatRestoreKeeps();
}

QString frmMain::cdlgSave(FileMode mode)
{
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("cdlgSave"));
    dialog.setNameFilter(fileFilter());
    dialog.setDirectory(m_folder);
    if (mode == FileMode::Save) {
        dialog.setWindowTitle(QStringLiteral("备份到文件"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("mdb"));
        dialog.selectFile(QFileInfo(NewDatedFile(m_folder, BackupPrefix(), m_ctx.clock.now())).fileName());
        // Replacing a file is asked below, once the name has its suffix.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setWindowTitle(QStringLiteral("从文件恢复"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (ShowModal(m_ctx, dialog) != QDialog::Accepted)
        return QString();
    const QString chosen = dialog.selectedFiles().value(0).trimmed();
    if (!chosen.isEmpty())
        m_folder = QFileInfo(chosen).absolutePath();
    return chosen;
}

void frmMain::cmdBackup_Click()
{
    if (busy())
        return;
    const QString target = BackupTargetName(cdlgSave(FileMode::Save), m_ctx.clock.now());
    if (target.isEmpty())
        return;
    if (Status s = CheckBackupTarget(m_ctx.home, target); !s) {
        m_ctx.messages.show(QStringLiteral("备份失败：") + s.reason(), kBackupTitle, MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    if (QFileInfo::exists(target)) {
        const auto answer =
            m_ctx.messages.show(QStringLiteral("%1 已存在。\n要替换它吗？").arg(target), kBackupTitle,
                                MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this);
        if (answer != MessageService::Answer::Yes)
            return;
    }
    const HomePaths home = m_ctx.home;
    BackupRun run;
    run.chosen = target;
    run.how = QStringLiteral("窗口");
    run.when = m_ctx.clock.now();
    runWork([home, run](const Progress &p) { return RunBackup(home, run, p); }, kBackupTitle);
}

void frmMain::cmdResume_Click()
{
    if (busy())
        return;
    // Said before a file is chosen; the restore itself checks again.
    if (QFileInfo(m_ctx.home.dataDir()).isDir()) {
        HomeLock probe;
        if (Status s = probe.acquire(m_ctx.home); !s) {
            m_ctx.messages.show(s.reason(), kRestoreTitle, MessageService::Icon::Warning, MessageService::Buttons::Ok,
                                this);
            return;
        }
    }
    const std::optional<QString> restorer = askRestorer();
    if (!restorer)
        return;
    const QString file = cdlgSave(FileMode::Open);
    if (file.isEmpty())
        return;
    const std::optional<QByteArray> key = askFileKey(file);
    if (!key || !confirmRestore(file, *key))
        return;
    const HomePaths home = m_ctx.home;
    const RestoreRequest request{file, chkBill->isChecked(), m_ctx.clock.now(), *key, *restorer};
    runWork([home, request](const Progress &p) { return RestoreDatabase(home, request, p); }, kRestoreTitle);
}

std::optional<QString> frmMain::askRestorer()
{
    const RestoreGate gate = RestoreGateOf(m_ctx.home);
    m_restoreByOwner = !gate.operators;
    QString name;
    QString password;
    if (gate.refusal.isEmpty() && gate.operators) {
        frmRestoreLogin login(this);
        if (ShowModal(m_ctx, login) != QDialog::Accepted)
            return std::nullopt;
        name = login.operatorName();
        password = login.password();
    }
    const Checked<QString> by = CheckRestorer(m_ctx.home, gate, name, password, QStringLiteral("窗口"));
    if (!by) {
        m_ctx.messages.show(QStringLiteral("恢复未进行：") + by.reason() + QStringLiteral("\n数据库没有改动。"),
                            kRestoreTitle, MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        return std::nullopt;
    }
    return *by;
}

std::optional<QByteArray> frmMain::askFileKey(const QString &file)
{
    // A file of this home or an older one, or plainly none (the restore
    // says so): nothing to ask.
    if (!QFileInfo(file).isFile() || KeyOfChosenFile(m_ctx.home, file) || !NoDatabaseText(file).isEmpty())
        return QByteArray();
    QString prompt = NeedsKeyText(file, false);
    for (;;) {
        const auto typed = m_ctx.messages.askPassword(prompt + QStringLiteral("\n\n恢复密钥："), kRestoreTitle, this);
        if (!typed)
            return std::nullopt;
        const auto key = KeyFromRecoveryKey(*typed);
        if (!key)
            prompt = QStringLiteral("这不是恢复密钥：恢复密钥是 8 组、每组 5 个字母或数字（如 7K3QD-…）。");
        else if (!KeyOfChosenFile(m_ctx.home, file, *key))
            prompt = NeedsKeyText(file, true);
        else
            return *key;
    }
}

bool frmMain::confirmRestore(const QString &file, const QByteArray &key)
{
    const QFileInfo info(file);
    QString text =
        QStringLiteral("是否用备份文件\n%1\n（%2 的文件）恢复数据库？\n\n")
            .arg(info.absoluteFilePath(), info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (chkBill->isChecked()) {
        text += QStringLiteral("“话单信息”已勾选：话单取自备份文件，当前的话单不保留在数据库中；"
                               "押金按押金流水保持当前金额。");
        // Settlements made since the file are undone: named before anything happens.
        const auto undone = SettlementsUndoneBy(m_ctx.home, file, key);
        if (!undone)
            text += QStringLiteral("\n无法读出备份之后的结算：") + undone.reason();
        else if (!undone->isEmpty())
            text += QStringLiteral("\n\n") + UndoneSummary(*undone) + QStringLiteral("\n");
    } else {
        text += QStringLiteral("“话单信息”未勾选：保留当前的话单；押金按押金流水保持当前金额。");
    }
    text += QStringLiteral("\n参数取自备份文件；操作员使用记录保留。");
    if (m_databaseSound)
        text += QStringLiteral("\n恢复前的数据库另存为 Quessel-日期-时间.mdb。");
    else if (m_databaseMissing)
        text += QStringLiteral("\n当前没有数据库文件。");
    else
        text += QStringLiteral("\n当前的数据库文件（%1）改名保留。").arg(m_databaseSummary);
    if (m_restoreByOwner)
        text += QStringLiteral(
            "\n数据库无法读取，无法核对操作员：以本系统所有者的身份恢复，操作员使用记录中记为系统用户。");
    return m_ctx.messages.show(text, kRestoreTitle, MessageService::Icon::Question,
                               MessageService::Buttons::YesNoDefaultNo, this)
           == MessageService::Answer::Yes;
}

void frmMain::cmdExit_Click() { close(); }

void frmMain::closeEvent(QCloseEvent *event)
{
    // A copy in progress is never cut off.
    if (busy()) {
        event->ignore();
        return;
    }
    const int restart = 1;
    const int chosen = m_ctx.messages.choose(QStringLiteral("系统参数备份/恢复完毕！请重新启动监控软件。"),
                                             QStringLiteral("请重新启动监控程序"), MessageService::Icon::Information,
                                             {QStringLiteral("确定"), QStringLiteral("重新启动监控软件")}, this);
    if (chosen == restart)
        restartConsole();
    event->accept();
}

void frmMain::restartConsole()
{
    // The console on this tool's home, whichever way it was chosen.
    const QString program = consolePath(m_programDir);
    const QFileInfo info(program);
    const bool started =
        info.isFile() && info.isExecutable()
        && QProcess::startDetached(program, {QStringLiteral("--home"), m_ctx.home.root()}, m_programDir);
    if (!started)
        m_ctx.messages.show(QStringLiteral("监控软件没找到：%1\n请从桌面的菜单启动监控软件。").arg(program),
                            QStringLiteral("系统错误"), MessageService::Icon::Critical, MessageService::Buttons::Ok,
                            this);
}

void frmMain::setButtonsEnabled(bool on)
{
    cmdBackup->setEnabled(on);
    cmdResume->setEnabled(on);
    cmdExit->setEnabled(on);
    chkBill->setEnabled(on && m_callsReadable);
}

void frmMain::runWork(std::function<ToolResult(const Progress &)> work, const QString &title)
{
    setButtonsEnabled(false);
    prgWork->setValue(0);
    lblStatus->setText(QStringLiteral("正在处理，请不要退出！"));
    QPointer<frmMain> self(this);
    // Reports reach the window through its event queue, at most one per
    // percent so that a fast copy does not flood it.
    auto lastShown = std::make_shared<std::atomic<int>>(-1);
    Progress progress = [self, lastShown](const QString &step, qint64 done, qint64 total) {
        const int percent = total > 0 ? int(done * 100 / total) : 0;
        if (lastShown->exchange(percent) != percent || percent == 0)
            QMetaObject::invokeMethod(
                self.data(),
                [self, step, done, total] {
                    if (self)
                        self->showProgress(step, done, total);
                },
                Qt::QueuedConnection);
        return true;
    };
    m_worker = QThread::create([self, work, progress, title] {
        const ToolResult result = work(progress);
        QMetaObject::invokeMethod(
            self.data(),
            [self, result, title] {
                if (self)
                    self->finishWork(result, title);
            },
            Qt::QueuedConnection);
    });
    m_worker->setObjectName(QStringLiteral("tallowin-work"));
    m_worker->start();
}

void frmMain::showProgress(const QString &step, qint64 done, qint64 total)
{
    if (!busy())
        return;
    prgWork->setValue(total > 0 ? int(done * 100 / total) : 0);
    lblStatus->setText(step);
}

void frmMain::finishWork(const ToolResult &result, const QString &title)
{
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    setButtonsEnabled(true);
    prgWork->setValue(result.ok() ? 100 : 0);
    // A restore may have brought a database back; a backup may have found it gone.
    showDatabaseState();
    switch (result.outcome) {
    case ToolOutcome::Done: lblStatus->setText(result.text); break;
    case ToolOutcome::OpenError:
        lblStatus->setText(result.text);
        m_ctx.messages.show(DatabaseOpenErrorText(), QStringLiteral("严重错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        break;
    case ToolOutcome::Refused:
    case ToolOutcome::NeedsKey:
        lblStatus->setText(result.text);
        m_ctx.messages.show(result.text, title, MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        break;
    case ToolOutcome::Failed:
    case ToolOutcome::PutBack:
    case ToolOutcome::NotPutBack:
        lblStatus->setText(result.text);
        m_ctx.messages.show(title + QStringLiteral("失败：") + result.text, title, MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        break;
    }
    emit workFinished(result.outcome);
}

} // namespace corvane::tallowin
