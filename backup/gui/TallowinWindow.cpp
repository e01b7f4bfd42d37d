#include "TallowinWindow.h"
#include "ConsoleContext.h"
#include "HomeLock.h"
#include "Restore.h"
#include "ShowModal.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
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

frmMain::frmMain(ConsoleContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx), m_folder(ctx.home.root())
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
    showWhatRestoreKeeps();
}

frmMain::~frmMain()
{
    if (m_worker)
        m_worker->wait();
}

QString frmMain::fileFilter() { return QStringLiteral("Mdb Files (*.mdb *.Mdb *.MDB)"); }

void frmMain::showWhatRestoreKeeps()
{
    lblKeep->setText(RestoreKeepsText(chkBill->isChecked()));
    lblKeep->setAccessibleName(lblKeep->text());
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
    const QString target = BackupTargetName(cdlgSave(FileMode::Save));
    if (target.isEmpty())
        return;
    if (Status s = CheckBackupTarget(m_ctx.home, target); !s) {
        m_ctx.messages.show(QStringLiteral("备份失败：") + s.reason(), kBackupTitle, MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    if (QFileInfo::exists(target)) {
        const auto answer = m_ctx.messages.show(QStringLiteral("%1 已存在。\n要替换它吗？").arg(target), kBackupTitle,
                                                MessageService::Icon::Question, MessageService::Buttons::YesNo, this);
        if (answer != MessageService::Answer::Yes)
            return;
    }
    const HomePaths home = m_ctx.home;
    runWork([home, target](const Progress &p) { return BackupDatabase(home, target, p); }, kBackupTitle);
}

void frmMain::cmdResume_Click()
{
    if (busy())
        return;
    // Said before a file is chosen; the restore itself checks again.
    // (Without a database the restore itself says it cannot be opened.)
    if (QFileInfo::exists(m_ctx.home.switchDb())) {
        HomeLock probe;
        if (Status s = probe.acquire(m_ctx.home); !s) {
            m_ctx.messages.show(s.reason(), kRestoreTitle, MessageService::Icon::Warning, MessageService::Buttons::Ok,
                                this);
            return;
        }
    }
    const QString file = cdlgSave(FileMode::Open);
    if (file.isEmpty())
        return;
    const HomePaths home = m_ctx.home;
    const RestoreRequest request{file, chkBill->isChecked()};
    runWork([home, request](const Progress &p) { return RestoreDatabase(home, request, p); }, kRestoreTitle);
}

void frmMain::cmdExit_Click() { close(); }

void frmMain::closeEvent(QCloseEvent *event)
{
    // A copy in progress is never cut off.
    if (busy()) {
        event->ignore();
        return;
    }
    m_ctx.messages.show(QStringLiteral("系统参数备份/恢复完毕！请重新启动监控软件。"),
                        QStringLiteral("请重新启动监控程序"), MessageService::Icon::Information,
                        MessageService::Buttons::Ok, this);
    event->accept();
}

void frmMain::setButtonsEnabled(bool on)
{
    cmdBackup->setEnabled(on);
    cmdResume->setEnabled(on);
    cmdExit->setEnabled(on);
    chkBill->setEnabled(on);
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
    switch (result.outcome) {
    case ToolOutcome::Done: lblStatus->setText(result.text); break;
    case ToolOutcome::OpenError:
        lblStatus->setText(result.text);
        m_ctx.messages.show(DatabaseOpenErrorText(), QStringLiteral("严重错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        break;
    case ToolOutcome::Refused:
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
