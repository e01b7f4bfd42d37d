#include "mdlMain.h"
#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "ConsoleWiring.h"
#include "DatabaseCopy.h"
#include "DatabaseHealth.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "HomeSetup.h"
#include "MoneyJournal.h"
#include "OwnTables.h"
#include "PrintJobs.h"
#include "RestoreNotice.h"
#include "Schema.h"
#include "ShowModal.h"
#include "SwitchLink.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmOperatorRecord.h"
#include "frmOperatorRight.h"
#include "frmPHNClient.h"
#include "frmPHNDiscount.h"
#include "frmPHNFee.h"
#include "frmPHNGroup.h"
#include "frmPHNQuery.h"
#include "frmPHNStat.h"
#include "frmSRVBackup.h"
#include "frmSRVRing.h"
#include "frmSWTComparison.h"
#include "frmSWTParameter.h"
#include "frmSendBeforeEnd.h"
#include "frmSettleLedger.h"
#include "frmSplash.h"
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QProcess>
#include <QTimer>

namespace corvane {

namespace {

// Starts the backup tool on the console's home, for a restore.
void StartBackupTool(ConsoleContext &ctx)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString program = frmSRVBackup::toolPath(programDir);
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()
        || !QProcess::startDetached(program, {QStringLiteral("--home"), ctx.home.root()}, programDir))
        ctx.messages.show(QStringLiteral("备份软件没找到！请与我们联系！"), QStringLiteral("系统错误"),
                          MessageService::Icon::Critical);
}

// Opens Switch.mdb; a missing, foreign or damaged file ends the start with a
// message naming the file and saying how to restore it, and the backup tool
// is offered. Nothing is created here, least of all an empty database in
// place of a lost one.
bool OpenSwitchDB(ConsoleContext &ctx)
{
    const QString path = ctx.home.switchDb();
    const QString title = QStringLiteral("数据库错误");
    auto fail = [&](const QString &text) {
        ctx.messages.show(text, title, MessageService::Icon::Critical);
        ctx.db.close();
        return false;
    };
    // A home of an earlier version gets a key of its own now.
    if (const Checked<QString> settled = SettleHomeKey(ctx.home); !settled)
        ctx.messages.show(settled.reason() + QStringLiteral("\n数据库仍使用原来的密钥。"), QStringLiteral("数据库密钥"),
                          MessageService::Icon::Warning);
    else if (!settled->isEmpty())
        ShowRecoveryKey(ctx, *settled);
    const Checked<DatabaseCondition> condition = CheckDatabase(ctx.home);
    if (!condition)
        return fail(condition.reason());
    if (!condition->sound()) {
        QString text = condition->problem + QStringLiteral("\n\n") + HowToRestoreText(ctx.home);
        if (condition->state == DatabaseCondition::State::Missing && IsNewHome(ctx.home))
            text += QStringLiteral("\n新安装的系统请用 corvane --home %1 --init 建立数据库。").arg(ctx.home.root());
        text += QStringLiteral("\n\n是否现在打开备份程序？");
        ctx.db.close();
        if (ctx.messages.show(text, title, MessageService::Icon::Critical, MessageService::Buttons::YesNo)
            == MessageService::Answer::Yes)
            StartBackupTool(ctx);
        return false;
    }
    const Checked<QByteArray> key = HomeDatabaseKey(ctx.home);
    if (!key)
        return fail(key.reason());
    if (Status opened = ctx.db.open(path, *key); !opened)
        return fail(opened.reason());
    const QStringList problems = schemaProblems(ctx.db, switchTables());
    if (!problems.isEmpty())
        return fail(QStringLiteral("数据库文件 %1 不是本系统的数据库：\n%2").arg(path, DescribeProblems(problems)));
    // A home made by an older console has no settlement ledger, money
    // journal or number history yet, nor the indexes of this version (built
    // once, a few seconds on a big history).
    if (Status s = BringOwnTablesUpToDate(ctx.db, ctx.clock.now()); !s)
        return fail(s.reason());
    // Every deposit must be what its journal adds up to. A difference is
    // named, never mended here: the operator decides with the journal.
    const auto differ = MoneyJournal(ctx.db).mismatches();
    if (!differ)
        ctx.messages.show(differ.reason(), QStringLiteral("押金流水"), MessageService::Icon::Warning);
    else if (!differ->isEmpty())
        ctx.messages.show(QStringLiteral("以下押金的金额与押金流水不符，请核对后处理：\n")
                              + differ->join(QLatin1Char('\n')),
                          QStringLiteral("押金流水"), MessageService::Icon::Warning);
    return true;
}

// Ends the console at once, for the backup tool: the database is closed (its
// last writes are in the file), the switch is not told and the ports close
// with the process.
void EndConsoleAtOnce(ConsoleContext &ctx)
{
    ctx.db.close();
    QCoreApplication::exit(0);
}

// After a restore the switch may hold values the restored database does
// not, and nothing is on its way to correct them: the operator is asked,
// once, whether to compare now. Asked when events next run, so that the
// start is not held up.
void offerComparisonAfterRestore(ConsoleContext &ctx, frmMain &main)
{
    const auto notice = RestoreNotice::take(ctx.db);
    if (!notice) {
        qWarning("restore notice not read: %s", qPrintable(notice.reason()));
        return;
    }
    if (!*notice)
        return;
    QTimer::singleShot(0, &main, [&ctx, &main, entry = **notice] {
        if (ctx.messages.show(RestoreNotice::questionText(entry), QStringLiteral("数据库已恢复"),
                              MessageService::Icon::Question, MessageService::Buttons::YesNo, &main)
            == MessageService::Answer::Yes)
            main.openGated(Right::SwitchComparison);
    });
}

} // namespace

void ShowRecoveryKey(ConsoleContext &ctx, const QString &recoveryKey)
{
    const QString title = QStringLiteral("数据库密钥");
    while (ctx.messages.choose(RecoveryKeyNotice(recoveryKey, ctx.home), title, MessageService::Icon::Information,
                               {QStringLiteral("已记下"), QStringLiteral("打印")})
           == 1) {
        CupsPrinterPort printers;
        const Status printed = printDirect(printers, title, [&](QPagedPaintDevice &page) {
            QPainter painter(&page);
            QFont font = painter.font();
            font.setPointSize(14);
            painter.setFont(font);
            const QRect area(QPoint(0, 0), QSize(page.width(), page.height()));
            painter.drawText(
                area.adjusted(area.width() / 10, area.height() / 10, -area.width() / 10, 0), Qt::TextWordWrap,
                QStringLiteral("Velloran1.3版 数据库恢复密钥\n\n%1\n\n主目录：%2\n日期：%3")
                    .arg(recoveryKey, ctx.home.root(), ctx.clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
            return Status::ok();
        });
        if (!printed)
            showPrintFailure(ctx.messages, printed);
    }
}

bool LockHome(ConsoleContext &ctx, HomeLock &lock)
{
    // A home without its data folder has no database: the start says so.
    if (!QDir(ctx.home.dataDir()).exists())
        return true;
    if (Status s = lock.acquire(ctx.home); !s) {
        ctx.messages.show(s.reason(), QStringLiteral("数据库错误"), MessageService::Icon::Critical);
        return false;
    }
    return true;
}

std::unique_ptr<frmMain> Main(ConsoleContext &ctx, bool *databaseFailed)
{
    if (databaseFailed)
        *databaseFailed = false;
    if (!OpenSwitchDB(ctx)) {
        if (databaseFailed)
            *databaseFailed = true;
        return nullptr;
    }
    {
        frmLogin login(ctx);
        ShowModal(ctx, login);
    }
    if (!ctx.login.OPLogin) {
        ctx.db.close();
        return nullptr;
    }
    ctx.BuildLists();
    frmSplash splash(ctx.home.resource(QStringLiteral("company.gif")));
    splash.show();
    splash.repaint();
    QApplication::processEvents();
    auto main = std::make_unique<frmMain>(ctx);
    // Trunk events, call records and the caller pop-up are handled from the
    // first frame on, the port search of the load step included.
    ConsoleHandlers *handlers = InstallConsoleHandlers(ctx, *main);
    InstallCallIntake(ctx, *main, *handlers);
    main->registerWindow(Right::Clients, [&ctx](QWidget *parent) {
        frmPHNClient w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::Discounts, [&ctx](QWidget *parent) {
        frmPHNDiscount w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::SwitchComparison, [&ctx](QWidget *parent) {
        frmSWTComparison w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::CallQuery, [&ctx](QWidget *parent) {
        frmPHNQuery w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(main->mnuPHNLedger, [&ctx](QWidget *parent) {
        frmSettleLedger w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(main->mnuPHNStat, [&ctx](QWidget *parent) {
        frmPHNStat w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::UserParameters, [&ctx](QWidget *parent) {
        frmPHNGroup w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::FeeSettings, [&ctx](QWidget *parent) {
        frmPHNFee w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::SwitchParameters, [&ctx](QWidget *parent) {
        frmSWTParameter w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::AlarmClock, [&ctx](QWidget *parent) {
        frmSRVRing w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::OperatorRecord, [&ctx](QWidget *parent) {
        frmOperatorRecord w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->setRightsWindow([&ctx](QWidget *parent) {
        frmOperatorRight w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(Right::Backup, [&ctx](QWidget *parent) {
        BackupLauncher launcher{QCoreApplication::applicationDirPath(), [&ctx] { EndConsoleAtOnce(ctx); },
                                [&ctx](QWidget *p) {
                                    return !ctx.link
                                           || SendBeforeEnd(ctx, *ctx.link, p, QStringLiteral("参数备份与恢复"));
                                }};
        frmSRVBackup w(ctx, launcher, parent);
        ShowModal(ctx, w);
    });
    main->Form_Load();
    splash.close();
    main->show();
    // What the load step found wrong (a port without permission) was shown
    // before the main window: put over it.
    ctx.messages.adoptNotices(main.get());
    // Backups that stopped (a failed run, none for two days while the
    // nightly timer is on) are said over the main window; work goes on.
    if (const QString warning = BackupWarning(ctx.home, ctx.clock.now()); !warning.isEmpty())
        ctx.messages.notify(warning, QStringLiteral("数据备份"), MessageService::Icon::Warning, main.get());
    offerComparisonAfterRestore(ctx, *main);
    return main;
}

} // namespace corvane
