#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "HomeKey.h"
#include "HomeSetup.h"
#include "Recordset.h"
#include "RestoreNotice.h"
#include "TestHome.h"
#include "TestWait.h"
#include "frmAbout.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmSendBeforeEnd.h"
#include "mdlMain.h"
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        paths = HomePaths(home.path());
        test::isolateSerialPorts(home.path());
    }
    // A start's check of every page may still run when a test ends; what it
    // finds is no business of this test's context, which goes now.
    void TearDown() override { delete qApp->findChild<QObject *>("startupCheck", Qt::FindDirectChildrenOnly); }

    void initHome()
    {
        QString error;
        ASSERT_TRUE(InitHome(paths, "pw'中", error)) << error.toStdString();
    }

    // Answers the login window: log in with the password, or leave.
    void scriptLogin(const QString &password, bool leave = false)
    {
        ctx.runModal = [=](QDialog &d) {
            auto *login = qobject_cast<frmLogin *>(&d);
            EXPECT_NE(login, nullptr);
            if (leave) {
                login->cmdCancel->click();
            } else {
                login->txtCode->setText(password);
                login->cmdOK->click();
            }
            return d.result();
        };
    }

    test::TestHome home;
    HomePaths paths;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(1, 28, 32))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

TEST_F(StartupTest, InitCreatesHomeOnceAndRefusesEmptyPassword)
{
    QString error;
    EXPECT_FALSE(InitHome(paths, "", error));
    EXPECT_EQ(error, "密码不能为空!");
    EXPECT_FALSE(QFile::exists(paths.switchDb()));

    initHome();
    for (const QString &f :
         {paths.switchDb(), paths.printDb(), paths.resource("company.gif"), paths.resource("phone.gif"),
          paths.resource("phoneon.gif"), paths.resource("phonehold.gif"), paths.helpIndex()})
        EXPECT_TRUE(QFile::exists(f)) << f.toStdString();

    const qint64 size = QFile(paths.switchDb()).size();
    EXPECT_FALSE(InitHome(paths, "other", error));
    EXPECT_TRUE(error.contains(paths.switchDb()));
    EXPECT_EQ(QFile(paths.switchDb()).size(), size);

    // print.mdb has no key, Switch.mdb a key of its own that the home keeps
    // to its owner: not the program-wide key of every copy of the program.
    Database print;
    EXPECT_TRUE(print.open(paths.printDb(), QByteArray()));
    Database sw;
    EXPECT_FALSE(sw.open(paths.switchDb(), QByteArray()));
    EXPECT_FALSE(sw.open(paths.switchDb(), LegacyDatabaseKey()));
    EXPECT_TRUE(sw.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFileInfo(DatabaseKeyFile(paths)).permissions() & others, QFileDevice::Permissions());
}

// A home of an earlier version, with the program-wide key: its first start
// gives it a key of its own and shows the recovery key once; the operator
// logs in to the same data.
TEST_F(StartupTest, AnOlderHomeGetsAKeyOfItsOwnAtItsFirstStart)
{
    {
        Database db;
        ASSERT_TRUE(test::createSwitchDb(db, paths.switchDb(), "pw"));
    }
    scriptLogin("pw");
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(messages.shown().size(), 1);
    const auto &box = messages.shown().first();
    EXPECT_EQ(box.title, "数据库密钥");
    EXPECT_EQ(box.choices, QStringList({"已记下", "打印"}));
    const QByteArray key = HomeDatabaseKey(paths).value();
    EXPECT_NE(key, LegacyDatabaseKey());
    EXPECT_TRUE(box.text.contains(RecoveryKeyText(key))) << box.text.toStdString();
    main->hide();
    main.reset();
    ctx.db.close();

    messages.clear();
    main = Main(ctx);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(messages.shown().isEmpty()) << "shown once";
    EXPECT_EQ(HomeDatabaseKey(paths).value(), key);
}

TEST_F(StartupTest, InitIntoUnwritablePlaceFailsCleanly)
{
    // A file standing where the data folder should be.
    QFile blocker(home.file("data"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    EXPECT_FALSE(InitHome(paths, "pw", error));
    EXPECT_TRUE(error.contains(paths.dataDir())) << error.toStdString();
}

// A database that is missing, foreign, opened by another key or damaged ends
// the start with a box that names the file and says how to restore it; no
// empty database takes its place and the file is left as it was.
TEST_F(StartupTest, ALostOrDamagedDatabaseIsNamedWithHowToRestoreItAndNothingIsCreated)
{
    const QString restore = QStringLiteral("tallowin --home %1 --restore").arg(paths.root());
    // A damage the start reads ends it before the login window.
    bool loginShown = false;
    ctx.runModal = [&](QDialog &d) {
        loginShown = true;
        return d.result();
    };
    auto start = [&](const char *says, bool pastTheLogin = false) {
        SCOPED_TRACE(says);
        messages.clear();
        messages.queueAnswer(MessageService::Answer::No);
        loginShown = false;
        bool dbFailed = false;
        EXPECT_EQ(Main(ctx, &dbFailed), nullptr);
        EXPECT_EQ(loginShown, pastTheLogin);
        EXPECT_TRUE(dbFailed);
        EXPECT_FALSE(ctx.db.isOpen());
        EXPECT_EQ(messages.shown().size(), 1);
        const QString text = messages.last() ? messages.last()->text : QString();
        EXPECT_TRUE(text.contains(paths.switchDb())) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(says))) << text.toStdString();
        EXPECT_TRUE(text.contains(restore)) << text.toStdString();
        EXPECT_TRUE(text.contains("交换机系统--参数备份与恢复")) << "or the backup tool's window";
        EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNo) << "offers to open the backup tool";
        return text;
    };
    // A new home: also how to create one.
    EXPECT_TRUE(start("不存在").contains("--init"));
    EXPECT_FALSE(QFile::exists(paths.switchDb())) << "start-up never creates a database";

    // A home that had one has lost it: no new one is suggested.
    initHome();
    const QByteArray good = fileBytes(paths.switchDb());
    ASSERT_TRUE(QFile::remove(paths.switchDb()));
    EXPECT_FALSE(IsNewHome(paths));
    EXPECT_FALSE(start("不存在").contains("--init"));
    EXPECT_FALSE(QFile::exists(paths.switchDb()));

    const struct {
        QByteArray bytes;
        const char *says;
        bool pastTheLogin;
    } files[] = {{"Standard Jet DB, but not really", "不能用本系统的数据库密钥", false},
                 {good.left(good.size() / 2), "不能用本系统的数据库密钥", false},
                 {good.left(8192) + QByteArray(1024, 'Z') + good.mid(8192 + 1024), "已损坏", false}};
    for (const auto &f : files) {
        ASSERT_TRUE(writeFile(paths.switchDb(), f.bytes));
        start(f.says, f.pastTheLogin);
        EXPECT_EQ(fileBytes(paths.switchDb()), f.bytes) << "left as it was, for the restore to keep";
    }
    {
        QFile::remove(paths.switchDb());
        Database other;
        ASSERT_TRUE(other.open(paths.switchDb(), "not-ours", Database::OpenMode::Create));
        ASSERT_TRUE(other.exec("CREATE TABLE t (a TEXT)"));
    }
    start("不能用本系统的数据库密钥");

    // Yes starts the backup tool beside the program (none beside this test).
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    EXPECT_EQ(Main(ctx), nullptr);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, "备份软件没找到！请与我们联系！");
}

// The start reads the key, the header and the tables and shows the login
// window; every page is read beside it. A damage found while the login
// window is open ends the start as one found before it; one found after the
// login is named the same way and ends the console.
TEST_F(StartupTest, APageOnlyTheFullCheckReadsIsFoundBesideTheLogin)
{
    initHome();
    {
        Database db;
        ASSERT_TRUE(db.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
        ASSERT_TRUE(db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                            "INSERT INTO PHNBill (主叫号码, 被叫号码, 结束时间, 话单性质, 总费用) "
                            "SELECT '801', '0755' || i, '2026年12月01日10:00:00', '已结算', '0.10' FROM n"));
        const int page =
            db.scalar("SELECT rootpage FROM sqlite_master WHERE name='idx_PHNBill_结束时间_话单类型_话单性质_总费用'")
                .value_or("0")
                .toInt();
        const int pageSize = db.scalar("PRAGMA page_size").value_or("0").toInt();
        ASSERT_TRUE(db.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.close();
        ASSERT_GT(page, 1);
        QFile f(paths.switchDb());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * pageSize));
        ASSERT_EQ(f.write(QByteArray(pageSize, 'Z')), pageSize);
    }
    // The check is the application's until the main window is shown, then
    // the main window's.
    auto checkDone = [] {
        const QObject *check = qApp->findChild<QObject *>("startupCheck");
        for (const QWidget *w : QApplication::topLevelWidgets())
            if (!check)
                check = w->findChild<QObject *>("startupCheck");
        return !check || check->property("done").toBool();
    };
    auto tellsTheDamage = [&] {
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_TRUE(messages.last()->text.contains(paths.switchDb() + " 已损坏"))
            << messages.last()->text.toStdString();
        EXPECT_TRUE(messages.last()->text.contains("--restore"));
        EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNo) << "offers to open the backup tool";
        EXPECT_FALSE(ctx.db.isOpen());
    };

    // Found while the operator logs in: the login window closes.
    bool loginShown = false;
    ctx.runModal = [&](QDialog &d) {
        loginShown = true;
        EXPECT_TRUE(messages.shown().isEmpty());
        EXPECT_TRUE(test::waitFor(checkDone, 10000));
        EXPECT_FALSE(d.isVisible()) << "the damage closes the login window";
        return d.result();
    };
    messages.queueAnswer(MessageService::Answer::No);
    bool dbFailed = false;
    EXPECT_EQ(Main(ctx, &dbFailed), nullptr);
    EXPECT_TRUE(loginShown);
    EXPECT_TRUE(dbFailed);
    EXPECT_EQ(messages.shown().size(), 1);
    tellsTheDamage();

    // Found after the login: the main window was shown, the console ends.
    messages.clear();
    scriptLogin("pw'中");
    auto main = Main(ctx, &dbFailed);
    ASSERT_NE(main, nullptr) << messages.texts().join("|").toStdString();
    bool ended = false;
    QObject::connect(main.get(), &frmMain::programEnded, [&] { ended = true; });
    EXPECT_TRUE(ctx.db.isOpen());
    messages.queueAnswer(MessageService::Answer::No);
    ASSERT_TRUE(test::waitFor(checkDone, 10000));
    tellsTheDamage();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(main->isVisible());
}

TEST_F(StartupTest, LeavingTheLoginEndsWithDatabaseClosed)
{
    initHome();
    scriptLogin(QString(), /*leave=*/true);
    bool dbFailed = true;
    EXPECT_EQ(Main(ctx, &dbFailed), nullptr);
    EXPECT_FALSE(dbFailed);
    EXPECT_FALSE(ctx.db.isOpen());
    EXPECT_TRUE(ctx.CallTypeNames.isEmpty()) << "nothing after the login runs";
}

TEST_F(StartupTest, LoginShowsMainWindowAndExitWritesUsageRecord)
{
    initHome();
    scriptLogin("pw'中");
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(ctx.CallTypeNames.size(), 10);
    EXPECT_EQ(ctx.CallTypeNames.at(9), "呼入");
    EXPECT_EQ(ctx.CheckMarks, QStringList({"×", "√"}));
    EXPECT_EQ(main->windowTitle(), "Velloran1.3版");
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->panelText(3), "操作员:管理员");
    EXPECT_NE(main->findChild<QStatusBar *>("sbStatus"), nullptr);

    // Cancel keeps everything running and writes nothing.
    messages.queueAnswer(MessageService::Answer::Cancel);
    EXPECT_FALSE(main->close());
    EXPECT_EQ(messages.last()->text, "感谢使用Brenmark产品，您真的要退出本系统？");
    EXPECT_EQ(messages.last()->title, "退出系统！");
    EXPECT_TRUE(ctx.db.isOpen());
    EXPECT_EQ(ctx.db.scalar("SELECT count(*) FROM OPRec").value_or("?"), "0");

    clock.advanceSecs(3600);
    bool ended = false;
    QObject::connect(main.get(), &frmMain::programEnded, [&] { ended = true; });
    messages.queueAnswer(MessageService::Answer::Ok);
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(ended);
    EXPECT_FALSE(ctx.db.isOpen());

    Database check;
    ASSERT_TRUE(check.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
    Recordset rec(check, "OPRec");
    ASSERT_EQ(rec.recordCount(), 1);
    EXPECT_EQ(rec.currentRow(), QStringList({"00001", "管理员", "2026年12月08日01:28:32", "2026年12月08日02:28:32"}));
}

// After a restore the console asks, once, whether to compare the switch with
// the database: the switch may hold what the restored database does not.
TEST_F(StartupTest, AfterARestoreTheComparisonIsOffered)
{
    initHome();
    {
        Database db;
        ASSERT_TRUE(db.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
        ASSERT_TRUE(RestoreNotice::record(db, QDateTime(QDate(2026, 12, 8), QTime(1, 20)), "/备份/昨天.mdb"));
    }
    scriptLogin("pw'中");
    bool comparisonOpened = false;
    auto login = ctx.runModal;
    ctx.runModal = [&](QDialog &d) {
        if (d.objectName() == "frmSWTComparison") {
            comparisonOpened = true;
            return 0;
        }
        return login(d);
    };
    messages.queueAnswer(MessageService::Answer::Yes);
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(test::waitFor([&] { return comparisonOpened; }));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->title, "数据库已恢复");
    EXPECT_TRUE(messages.last()->text.startsWith("数据库已于2026-12-08 01:20用备份文件 /备份/昨天.mdb 恢复。"))
        << messages.last()->text.toStdString();
    EXPECT_EQ(ctx.db.scalar("SELECT count(*) FROM RestoreNotice").value_or("?"), "0") << "asked once";
    messages.queueAnswer(MessageService::Answer::Ok);
    main->close();
}

// A home made by an earlier version: its end-time index is the narrow one
// of that version. The start makes this version's and drops the old.
TEST_F(StartupTest, AnEarlierHomeGetsThisVersionsIndexes)
{
    initHome();
    const QString wide = "idx_PHNBill_结束时间_话单类型_话单性质_总费用";
    {
        Database db;
        ASSERT_TRUE(db.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
        ASSERT_TRUE(db.exec("DROP INDEX " + Database::quoteId(wide)));
        ASSERT_TRUE(db.exec("CREATE INDEX \"idx_PHNBill_结束时间\" ON PHNBill (\"结束时间\")"));
    }
    scriptLogin("pw'中");
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    const auto indexes = ctx.db.select("SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='PHNBill'"
                                       " ORDER BY name");
    ASSERT_TRUE(indexes);
    EXPECT_EQ(*indexes, QList<QStringList>({{"idx_PHNBill_open"}, {"idx_PHNBill_主叫号码_结束时间"}, {wide}}));
}

TEST_F(StartupTest, DemoHomeSendsRecordsOutAndKnowsItsCallers)
{
    initHome();
    QString error;
    ASSERT_TRUE(ConfigureDemoHome(paths, error)) << error.toStdString();
    Database db;
    ASSERT_TRUE(db.open(paths.switchDb(), HomeDatabaseKey(paths).value()));
    Recordset config(db, "SWTConfig");
    EXPECT_EQ(config.value(14), "1");
    EXPECT_EQ(config.value(15), "2");
    EXPECT_EQ(config.value(17), paths.root() + "/calls/");
    EXPECT_TRUE(QFileInfo(paths.root() + "/calls").isDir());
    EXPECT_EQ(db.scalar("SELECT count(*) FROM BlackLst WHERE \"电话号码\"='4001234567'").value_or("?"), "1");
    EXPECT_EQ(db.scalar("SELECT \"姓名\" FROM Client WHERE \"电话1\"='13800138000'").value_or("?"), "王建国");
}

// Every window is reached from its menu entry, and the toolbar buttons open
// the same windows as the entries they stand for.
TEST_F(StartupTest, EveryEntryAndToolButtonOpensItsWindow)
{
    initHome();
    scriptLogin("pw'中");
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    QString opened;
    ctx.runModal = [&](QDialog &d) {
        opened = d.objectName() + QLatin1Char(' ') + d.windowTitle();
        // Leaving: what waits for the switch stays for the next start.
        if (auto *wait = qobject_cast<frmSendBeforeEnd *>(&d)) {
            wait->cmdKeep->click();
            return d.result();
        }
        return 0;
    };
    const struct {
        const char *action;
        const char *window;
    } cases[] = {
        {"mnuPHNClient", "frmPHNClient 客户/黑名单信息"},
        {"mnuPHNDiscount", "frmPHNDiscount 费率折价"},
        {"mnuPHNFee", "frmPHNFee 计费设置"},
        {"mnuPHNQuery", "frmPHNQuery 话单查询与结算"},
        {"mnuPHNLedger", "frmSettleLedger 结算记录"},
        {"mnuPHNStat", "frmPHNStat 话务统计"},
        {"mnuSWTGroup", "frmPHNGroup 用户参数设置"},
        {"mnuSWTParameter", "frmSWTParameter 参数设置"},
        {"mnuSWTComparison", "frmSWTComparison 交换机信息比照"},
        {"mnuSRVRing", "frmSRVRing 闹钟设置"},
        {"mnuSRVBackup", "frmSRVBackup 参数备份与恢复"},
        {"mnuOPRecord", "frmOperatorRecord 操作员使用记录"},
        {"mnuOPRight", "frmOperatorRight 权限管理"},
        {"tbTool_Config", "frmSWTParameter 参数设置"},
        {"tbTool_Discount", "frmPHNDiscount 费率折价"},
        {"tbTool_Bill", "frmPHNQuery 话单查询与结算"},
        {"tbTool_Ledger", "frmSettleLedger 结算记录"},
        {"tbTool_Stat", "frmPHNStat 话务统计"},
        {"tbTool_Ring", "frmSRVRing 闹钟设置"},
        {"tbTool_Group", "frmPHNGroup 用户参数设置"},
    };
    for (const auto &c : cases) {
        auto *entry = main->findChild<QAction *>(QLatin1String(c.action));
        ASSERT_NE(entry, nullptr) << c.action;
        EXPECT_TRUE(entry->isEnabled()) << c.action;
        opened.clear();
        entry->trigger();
        EXPECT_EQ(opened, QString::fromUtf8(c.window)) << c.action;
    }
    messages.queueAnswer(MessageService::Answer::Ok);
    messages.queueAnswer(MessageService::Answer::Ok);
    EXPECT_TRUE(main->close());
}

// The nightly timer is on but the backups stopped two days ago (a USB disk
// never plugged in again): the start says so over the main window and the
// console runs on; 关于 shows how the last backup went.
TEST_F(StartupTest, StoppedBackupsAreSaidAtTheStartWhileTheTimerIsOn)
{
    initHome();
    const QDateTime now = clock.now();
    ASSERT_TRUE(RecordBackup(paths, {now.addDays(-3), true, "定时", "/mnt/usb/Switch-1.mdb", "已备份"}));
    // The test programs keep their settings in Qt's test folders.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    auto start = [&] {
        messages.clear();
        scriptLogin("pw'中");
        auto main = Main(ctx);
        EXPECT_NE(main, nullptr);
        QStringList said;
        for (const auto &box : messages.shown())
            if (box.title == "数据备份")
                said << box.text;
        main.reset();
        ctx.db.close();
        return said;
    };
    EXPECT_TRUE(start().isEmpty()) << "no timer, no warning";

    // `systemctl --user enable` leaves this link; the unit's name is the
    // home's path escaped as systemd-escape --path writes it.
    QProcess escape;
    escape.start("systemd-escape", {"--path", paths.root()});
    if (escape.waitForFinished(5000) && escape.exitCode() == 0) {
        EXPECT_EQ(SystemdEscapePath(paths.root()), QString::fromUtf8(escape.readAllStandardOutput()).trimmed());
    }
    const QString wants = config + "/systemd/user/timers.target.wants";
    ASSERT_TRUE(QDir().mkpath(wants));
    const QString timer = wants + "/tallowin-backup@" + SystemdEscapePath(paths.root()) + ".timer";
    ASSERT_TRUE(QFile::link("/usr/lib/systemd/user/tallowin-backup@.timer", timer));
    struct Unlink {
        QString path;
        ~Unlink() { QFile::remove(path); }
    } unlinkAfter{timer};
    const QStringList said = start();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.first().contains("超过两天") && said.first().contains("/mnt/usb/Switch-1.mdb"))
        << said.first().toStdString();

    ASSERT_TRUE(RecordBackup(paths, {now.addSecs(-3600), true, "定时", "/mnt/usb/Switch-2.mdb", "已备份"}));
    EXPECT_TRUE(start().isEmpty());
    // A run that failed is said whether or not the timer is on.
    ASSERT_TRUE(RecordBackup(paths, {now.addSecs(-60), false, "命令行", "/mnt/usb/x", "备份文件夹 /mnt/usb 不存在"}));
    ASSERT_EQ(start().size(), 1);

    frmAbout about(paths.resource("company.gif"), BackupStatusText(ReadBackupStatus(paths)));
    EXPECT_TRUE(about.lblBackup->text().contains("失败")) << about.lblBackup->text().toStdString();
    EXPECT_TRUE(about.lblBackup->text().contains("/mnt/usb/Switch-2.mdb")) << "and the last good one";
}
