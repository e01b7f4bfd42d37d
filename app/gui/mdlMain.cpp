#include "mdlMain.h"
#include "ConsoleContext.h"
#include "ConsoleWiring.h"
#include "HomeLock.h"
#include "Schema.h"
#include "ShowModal.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmOperatorRecord.h"
#include "frmOperatorRight.h"
#include "frmPHNClient.h"
#include "frmPHNDiscount.h"
#include "frmPHNFee.h"
#include "frmPHNGroup.h"
#include "frmPHNQuery.h"
#include "frmSRVBackup.h"
#include "frmSRVRing.h"
#include "frmSWTComparison.h"
#include "frmSWTParameter.h"
#include "frmSettleLedger.h"
#include "frmSplash.h"
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace corvane {

namespace {

// Opens Switch.mdb; a missing, foreign or damaged file ends the start with a
// message naming the file. Nothing is created here.
bool OpenSwitchDB(ConsoleContext &ctx)
{
    const QString path = ctx.home.switchDb();
    auto fail = [&](const QString &text) {
        ctx.messages.show(text, QStringLiteral("数据库错误"), MessageService::Icon::Critical);
        ctx.db.close();
        return false;
    };
    if (!QFile::exists(path))
        return fail(
            QStringLiteral("找不到数据库文件 %1。\n请先用 corvane --home <文件夹> --init 建立新的数据库。").arg(path));
    if (Status opened = ctx.db.open(path, ConsoleContext::databaseKey()); !opened)
        return fail(opened.reason());
    const QStringList problems = schemaProblems(ctx.db, switchTables());
    if (!problems.isEmpty())
        return fail(QStringLiteral("数据库文件 %1 不是本系统的数据库：\n%2")
                        .arg(path, problems.mid(0, 5).join(QLatin1Char('\n'))));
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

} // namespace

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
    main->registerWindow(0, [&ctx](QWidget *parent) {
        frmPHNClient w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(1, [&ctx](QWidget *parent) {
        frmPHNDiscount w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(6, [&ctx](QWidget *parent) {
        frmSWTComparison w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(3, [&ctx](QWidget *parent) {
        frmPHNQuery w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(main->mnuPHNLedger, [&ctx](QWidget *parent) {
        frmSettleLedger w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(4, [&ctx](QWidget *parent) {
        frmPHNGroup w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(2, [&ctx](QWidget *parent) {
        frmPHNFee w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(5, [&ctx](QWidget *parent) {
        frmSWTParameter w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(7, [&ctx](QWidget *parent) {
        frmSRVRing w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(9, [&ctx](QWidget *parent) {
        frmOperatorRecord w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->setRightsWindow([&ctx](QWidget *parent) {
        frmOperatorRight w(ctx, parent);
        ShowModal(ctx, w);
    });
    main->registerWindow(8, [&ctx](QWidget *parent) {
        frmSRVBackup w(ctx, {QCoreApplication::applicationDirPath(), [&ctx] { EndConsoleAtOnce(ctx); }}, parent);
        ShowModal(ctx, w);
    });
    main->Form_Load();
    splash.close();
    main->show();
    return main;
}

} // namespace corvane
