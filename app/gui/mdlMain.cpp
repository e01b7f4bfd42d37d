#include "mdlMain.h"
#include "BackgroundWork.h"
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
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <optional>

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

// Names a missing, foreign or damaged Switch.mdb with how to restore it and
// offers the backup tool. Nothing is created here, least of all an empty
// database in place of a lost one.
void TellDatabaseFault(ConsoleContext &ctx, const DatabaseCondition &condition)
{
    QString text = condition.problem + QStringLiteral("\n\n") + HowToRestoreText(ctx.home);
    if (condition.state == DatabaseCondition::State::Missing && IsNewHome(ctx.home))
        text += QStringLiteral("\n新安装的系统请用 corvane --home %1 --init 建立数据库。").arg(ctx.home.root());
    text += QStringLiteral("\n\n是否现在打开备份程序？");
    ctx.db.close();
    if (ctx.messages.show(text, QStringLiteral("数据库错误"), MessageService::Icon::Critical,
                          MessageService::Buttons::YesNo)
        == MessageService::Answer::Yes)
        StartBackupTool(ctx);
}

// Brings a home made by an older console up to date (its ledger, money
// journal, number history, this version's indexes and the sums of the
// records): moments when there is nothing to add, a few seconds once on a
// big history, during which a progress window counts them.
Status BringUpToDate(ConsoleContext &ctx)
{
    std::optional<Status> outcome;
    QEventLoop loop;
    BackgroundWork work(ctx.clock, nullptr);
    Database *db = &ctx.db;
    const QDateTime now = ctx.clock.now();
    work.start<Status>(
        QStringLiteral("正在更新数据库（建立索引和话单汇总，只在第一次启动时进行）"),
        [db, now](WorkControl &) { return BringOwnTablesUpToDate(*db, now); },
        [&](Status s) {
            outcome = std::move(s);
            loop.quit();
        },
        false);
    if (!outcome)
        loop.exec();
    return outcome ? *outcome : Status::fail(QStringLiteral("数据库未能更新"));
}

// Opens Switch.mdb after a quick look at it (the key, the header, the
// tables); a missing, foreign or unreadable file ends the start. The whole
// file is checked page by page beside the console afterwards
// (StartFullCheck).
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
    const Checked<DatabaseCondition> condition = CheckDatabase(ctx.home, CheckDepth::Quick);
    if (!condition)
        return fail(condition.reason());
    if (!condition->sound()) {
        TellDatabaseFault(ctx, *condition);
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
    // journal or number history yet, nor the indexes and sums of this
    // version.
    if (Status s = BringUpToDate(ctx); !s)
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

// What the whole-file check found, for the start that waits on it.
struct FullCheck {
    QPointer<QDialog> login;                // the login window while it is open
    QPointer<frmMain> main;                 // the main window once it is shown
    std::optional<DatabaseCondition> fault; // found before the main window was shown
};

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

// Checks every page of Switch.mdb on a connection of its own while the
// operator logs in and works: minutes of a black screen on a history of
// years before. A fault found while the login window is open ends the start
// as a fault found before it did; one found later is shown the same way
// and ends the console as its exit does (without writing the usage record
// into the damaged file): it must not go on writing into it, and the switch
// keeps the calls it has not had acknowledged. The check is the child
// "startupCheck" of the application until it is done, or of the main
// window once that is shown.
QObject *StartFullCheck(ConsoleContext &ctx, const std::shared_ptr<FullCheck> &state)
{
    delete qApp->findChild<QObject *>(QStringLiteral("startupCheck"), Qt::FindDirectChildrenOnly);
    auto *check = new QObject(qApp);
    check->setObjectName(QStringLiteral("startupCheck"));
    check->setProperty("done", false);
    auto found = std::make_shared<std::optional<Checked<DatabaseCondition>>>();
    const HomePaths home = ctx.home;
    QThread *thread = QThread::create([home, found] { found->emplace(CheckDatabase(home, CheckDepth::Full)); });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, check, [&ctx, check, state, found] {
        check->setProperty("done", true);
        check->deleteLater();
        if (!*found)
            return;
        const Checked<DatabaseCondition> &c = **found;
        if (!c) {
            // The look failed for a reason of this machine: said, and the
            // console goes on.
            ctx.messages.show(QStringLiteral("数据库检查未能完成：") + c.reason(), QStringLiteral("数据库错误"),
                              MessageService::Icon::Warning);
            return;
        }
        if (c->sound())
            return;
        if (!state->main) {
            state->fault = *c;
            if (state->login)
                state->login->reject();
            return;
        }
        TellDatabaseFault(ctx, *c);
        state->main->hide();
        emit state->main->programEnded();
    });
    thread->start();
    return check;
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
    auto fullCheck = std::make_shared<FullCheck>();
    QPointer<QObject> check = StartFullCheck(ctx, fullCheck);
    {
        frmLogin login(ctx);
        fullCheck->login = &login;
        ShowModal(ctx, login);
        fullCheck->login = nullptr;
    }
    if (fullCheck->fault) {
        delete check;
        TellDatabaseFault(ctx, *fullCheck->fault);
        if (databaseFailed)
            *databaseFailed = true;
        return nullptr;
    }
    if (!ctx.login.OPLogin) {
        delete check;
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
    if (fullCheck->fault) {
        // Found while the main window was being loaded.
        delete check;
        main.reset();
        TellDatabaseFault(ctx, *fullCheck->fault);
        if (databaseFailed)
            *databaseFailed = true;
        return nullptr;
    }
    fullCheck->main = main.get();
    // What the check finds is the main window's business from now on: it
    // goes with the window.
    if (check)
        check->setParent(main.get());
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
