#include "BackupFixture.h"
#include "CallIntake.h"
#include "ConsoleContext.h"
#include "DatabaseCopy.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "Restore.h"
#include "TallowinWindow.h"
#include "WindowDriver.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmRestoreLogin.h"
#include "frmSRVBackup.h"
#include "mdlMain.h"
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Waits (on file-system events, at most `ms`) until `path` exists.
bool waitForFile(const QString &path, int ms = 10000)
{
    QFileSystemWatcher watcher({QFileInfo(path).absolutePath()});
    QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path) && timer.elapsed() < ms)
        changed.wait(100);
    return QFileInfo::exists(path);
}

int usageRows(Database &db) { return db.scalar("SELECT count(*) FROM \"OPRec\"").value_or("-1").toInt(); }

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.ok());
        ASSERT_TRUE(ctx.db.open(home.paths().switchDb(), LegacyDatabaseKey()));
        ctx.login.OPLogin = true;
        ctx.login.OPName = LoginState::administratorName();
        ctx.login.OPLoginTime = "2026年12月08日08:00:00";
        QDir().mkpath(programDir);
    }

    void writeTool(bool executable)
    {
        QFile tool(frmSRVBackup::toolPath(programDir));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        // Writes its arguments, one a line, where the test can read them.
        tool.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n");
        tool.close();
        QFile::Permissions p = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (executable)
            p |= QFileDevice::ExeOwner;
        ASSERT_TRUE(tool.setPermissions(p));
    }

    BackupHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5))};
    ConsoleContext ctx{home.paths(), messages, clock};
    QString programDir = home.file("programs");
    int ended = 0;
    int usageRowsWhenEnded = -1;
    int settled = 0;
    bool settleAnswer = true; // the operator waits for the commands or keeps them
    BackupLauncher launcher{programDir,
                            [this] {
                                ++ended;
                                usageRowsWhenEnded = usageRows(ctx.db);
                            },
                            [this](QWidget *) {
                                ++settled;
                                return settleAnswer;
                            }};
};

} // namespace

TEST_F(LauncherTest, SaysTheConsoleEnds)
{
    frmSRVBackup w(ctx, launcher);
    EXPECT_EQ(w.windowTitle(), "参数备份与恢复");
    EXPECT_EQ(w.findChild<QLabel *>("lblPrompt_0")->text(), "提示：为了保证数据库备份的正确进行，监控软件将被终止。");
    EXPECT_EQ(w.findChild<QLabel *>("lblPrompt_1")->text(),
              "选择〖确认〗退出监控软件,开始备份/恢复操作；\n选择〖取消〗退出备份/恢复操作，继续监控。");
    EXPECT_EQ(w.findChild<QPushButton *>("cmdOK")->text(), "确认(&O)");
    EXPECT_EQ(w.findChild<QPushButton *>("cmdCancel")->text(), "取消(&C)");
    w.show();
    // Each line of the prompts on one line: no character wraps on its own.
    for (QLabel *label : w.lblPrompt) {
        const QFontMetrics fm(label->font());
        const QStringList lines = label->text().split('\n');
        for (const QString &line : lines)
            EXPECT_GE(label->contentsRect().width(), fm.horizontalAdvance(line)) << line.toStdString();
        EXPECT_LT(label->height(), (lines.size() + 1) * fm.lineSpacing()) << label->text().toStdString();
    }
    EXPECT_TRUE(w.grab().save(test::artifactDir() + "/frmSRVBackup.png"));
}

TEST_F(LauncherTest, MissingOrUnstartableToolKeepsTheConsoleRunning)
{
    for (bool present : {false, true}) {
        if (present)
            writeTool(/*executable=*/false);
        messages.clear();
        frmSRVBackup w(ctx, launcher);
        w.show();
        QTest::mouseClick(w.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        ASSERT_NE(messages.last(), nullptr) << present;
        EXPECT_EQ(messages.last()->text, "备份软件没找到！请与我们联系！");
        EXPECT_EQ(messages.last()->title, "系统错误");
        EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(ctx.login.OPLogin);
        EXPECT_EQ(usageRows(ctx.db), 1) << "the session goes on, so no usage row yet";
        EXPECT_NE(w.result(), QDialog::Accepted);
    }
}

TEST_F(LauncherTest, StartsTheToolOnTheSameHomeAndWritesTheUsageRowBeforeTheConsoleEnds)
{
    writeTool(/*executable=*/true);
    frmSRVBackup w(ctx, launcher);
    w.show();
    QTest::mouseClick(w.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(settled, 1) << "the commands waiting for the switch are settled first";
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(usageRowsWhenEnded, 2);
    const auto rows = rowsOf(ctx.db, "OPRec");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.last().mid(1), QStringList({"00002", "管理员", "2026年12月08日08:00:00", "2026年12月08日09:30:05"}));
    EXPECT_FALSE(ctx.login.OPLogin) << "the session is over; no second row";
    EXPECT_EQ(w.result(), QDialog::Accepted);

    const QString args = frmSRVBackup::toolPath(programDir) + ".args";
    ASSERT_TRUE(waitForFile(args));
    EXPECT_EQ(fileBytes(args), ("--home\n" + home.root() + "\n").toUtf8());
}

TEST_F(LauncherTest, CancelLeavesEverything)
{
    writeTool(true);
    frmSRVBackup w(ctx, launcher);
    w.show();
    QTest::mouseClick(w.findChild<QPushButton *>("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_EQ(settled, 0);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(usageRows(ctx.db), 1);
    EXPECT_FALSE(QFileInfo::exists(frmSRVBackup::toolPath(programDir) + ".args"));

    // "确认", but the operator stays for the commands still waiting for the
    // switch: no tool, the console goes on.
    settleAnswer = false;
    frmSRVBackup again(ctx, launcher);
    again.show();
    QTest::mouseClick(again.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    EXPECT_NE(again.result(), QDialog::Accepted);
    EXPECT_EQ(settled, 1);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(ctx.login.OPLogin);
    EXPECT_EQ(usageRows(ctx.db), 1);
    EXPECT_FALSE(QFileInfo::exists(frmSRVBackup::toolPath(programDir) + ".args"));
}

TEST_F(LauncherTest, TheConsolesMenuOpensItBehindRightEight)
{
    ctx.db.close();
    test::isolateSerialPorts(home.root());
    ctx.runModal = [](QDialog &d) {
        auto *login = qobject_cast<frmLogin *>(&d);
        EXPECT_NE(login, nullptr);
        login->txtCode->setText("admin");
        login->cmdOK->click();
        return d.result();
    };
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->mnuSRVBackup->isEnabled());
    QString shown;
    ctx.runModal = [&](QDialog &d) {
        shown = d.objectName() + "|" + d.windowTitle();
        if (auto *w = qobject_cast<frmSRVBackup *>(&d))
            w->cmdCancel->click();
        return d.result();
    };
    main->mnuSRVBackup->trigger();
    EXPECT_EQ(shown, "frmSRVBackup|参数备份与恢复");
    // Without the right the gate refuses.
    ctx.login.OPRight[8] = "0";
    shown.clear();
    main->mnuSRVBackup->trigger();
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(messages.last()->text, "您没有使用此功能的权限！");
}

TEST(LauncherLockTest, SecondConsoleOnTheSameHomeIsRefused)
{
    BackupHome home;
    ASSERT_TRUE(home.ok());
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx(home.paths(), messages, clock);
    HomeLock first;
    ASSERT_TRUE(LockHome(ctx, first));
    HomeLock second;
    EXPECT_FALSE(LockHome(ctx, second));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.contains(home.paths().switchDb()));
    first.release();
    EXPECT_TRUE(LockHome(ctx, second));
}

// ---- the backup tool's window ----

namespace {

class TallowinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.ok());
        window.show();
    }

    // The file dialog answers with `path` (empty: cancelled) and records how
    // it was set up; the login before a restore with `login` (cancelled when
    // its name is empty).
    void answerDialog(const QString &path)
    {
        ctx.runModal = [this, path](QDialog &d) {
            if (auto *l = qobject_cast<tallowin::frmRestoreLogin *>(&d)) {
                ++logins;
                l->show(); // as its exec() shows it
                if (login.first.isEmpty()) {
                    test::press(l, "cmdCancel");
                } else {
                    test::fill(test::child<QLineEdit>(l, "txtOperator"), login.first);
                    test::fill(test::child<QLineEdit>(l, "txtCode"), login.second);
                    test::press(l, "cmdOK");
                }
                return d.result();
            }
            ++dialogs;
            auto *fd = qobject_cast<QFileDialog *>(&d);
            EXPECT_NE(fd, nullptr);
            if (!fd)
                return int(QDialog::Rejected);
            EXPECT_EQ(fd->objectName(), "cdlgSave");
            filters = fd->nameFilters();
            saving = fd->acceptMode() == QFileDialog::AcceptSave;
            if (path.isEmpty()) {
                fd->reject();
            } else {
                fd->selectFile(path);
                QMetaObject::invokeMethod(fd, "accept", Qt::DirectConnection);
            }
            return d.result();
        };
    }

    bool click(QPushButton *b)
    {
        QSignalSpy finished(&window, &tallowin::frmMain::workFinished);
        test::press(b);
        if (!window.busy())
            return false;
        EXPECT_FALSE(b->isEnabled()) << "no second job while one runs";
        return finished.wait(30000);
    }

    BackupHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{home.paths(), messages, clock};
    tallowin::frmMain window{ctx};
    int dialogs = 0;
    int logins = 0;
    QPair<QString, QString> login{LoginState::administratorName(), "admin"};
    QStringList filters;
    bool saving = false;
};

} // namespace

TEST_F(TallowinTest, WindowAsTheOperatorSeesIt)
{
    EXPECT_EQ(window.windowTitle(), "交换机系统--参数备份与恢复");
    EXPECT_EQ(window.findChild<QPushButton *>("cmdBackup")->text(), "备份(&B)");
    EXPECT_EQ(window.findChild<QPushButton *>("cmdResume")->text(), "恢复(&R)");
    EXPECT_EQ(window.findChild<QPushButton *>("cmdExit")->text(), "离开(&X)");
    EXPECT_EQ(window.findChild<QGroupBox *>("fraContent")->title(), "参数恢复内容设置：");
    auto *bill = window.findChild<QCheckBox *>("chkBill");
    auto *config = window.findChild<QCheckBox *>("chkConfig");
    EXPECT_EQ(bill->text(), "话单信息");
    EXPECT_FALSE(bill->isChecked());
    EXPECT_EQ(config->text(), "交换机参数");
    EXPECT_TRUE(config->isChecked());
    EXPECT_FALSE(config->isEnabled());
    // The window says what a restore keeps, for either choice.
    auto *keep = window.findChild<QLabel *>("lblKeep");
    EXPECT_TRUE(keep->text().contains("当前的话单")) << keep->text().toStdString();
    QTest::mouseClick(bill, Qt::LeftButton);
    EXPECT_TRUE(bill->isChecked());
    EXPECT_TRUE(keep->text().contains("话单") && keep->text().contains("取自备份文件")
                && keep->text().contains("Quessel-"))
        << keep->text().toStdString();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(window.grab().save(test::artifactDir() + "/tallowin_window.png"));
}

TEST_F(TallowinTest, CancelledDialogsChangeNothing)
{
    answerDialog(QString());
    const QStringList before = filesIn(home.root());
    const QByteArray db = fileBytes(home.paths().switchDb());
    for (const char *name : {"cmdBackup", "cmdResume"}) {
        EXPECT_FALSE(click(window.findChild<QPushButton *>(QString::fromUtf8(name)))) << name;
        EXPECT_EQ(filters, QStringList{"Mdb Files (*.mdb *.Mdb *.MDB)"});
    }
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(filesIn(home.root()), before);
    EXPECT_EQ(fileBytes(home.paths().switchDb()), db);
}

TEST_F(TallowinTest, BackupAddsTheSuffixAndAsksBeforeReplacing)
{
    const QString chosen = home.file("nightly");
    const QString target = chosen + ".mdb";
    answerDialog(chosen);
    ASSERT_TRUE(click(window.cmdBackup));
    EXPECT_TRUE(saving);
    EXPECT_TRUE(messages.shown().isEmpty()) << "a backup ends without a box";
    ASSERT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(rowsOf(target, "PHNBill"), rowsOf(home.paths().switchDb(), "PHNBill"));
    EXPECT_TRUE(window.lblStatus->text().contains(target));

    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        ASSERT_TRUE(addCalls(db, 2, "later"));
    }
    const QByteArray first = fileBytes(target);
    messages.queueAnswer(MessageService::Answer::No);
    EXPECT_FALSE(click(window.cmdBackup));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.contains(target));
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(fileBytes(target), first);

    messages.queueAnswer(MessageService::Answer::Yes);
    ASSERT_TRUE(click(window.cmdBackup));
    EXPECT_EQ(rowsOf(target, "PHNBill").size(), 5);
}

TEST_F(TallowinTest, BackupIntoAMissingFolderSaysSo)
{
    answerDialog(home.file("gone/nightly.mdb"));
    EXPECT_FALSE(click(window.cmdBackup));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.contains("文件夹不存在")) << messages.last()->text.toStdString();
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
}

TEST_F(TallowinTest, MissingDatabaseIsTheOpenError)
{
    QFile::remove(home.paths().switchDb());
    answerDialog(home.file("nightly.mdb"));
    ASSERT_TRUE(click(window.cmdBackup));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, "数据库打开错误，请确认数据库存在！");
    EXPECT_EQ(messages.last()->title, "严重错误");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_FALSE(QFileInfo::exists(home.file("nightly.mdb")));
}

TEST_F(TallowinTest, RestoreKeepsTodaysCallsAndRefusesABadFile)
{
    const QString backup = home.file("yesterday.mdb");
    answerDialog(backup);
    ASSERT_TRUE(click(window.cmdBackup));
    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        ASSERT_TRUE(addCalls(db, 4, "today"));
    }
    const auto calls = rowsOf(home.paths().switchDb(), "PHNBill");
    ASSERT_EQ(calls.size(), 7);
    // Asked first, with the file, its date and what is kept; "否" unless told.
    const QByteArray db = fileBytes(home.paths().switchDb());
    EXPECT_FALSE(click(window.cmdResume));
    ASSERT_EQ(messages.shown().size(), 1);
    const auto &question = messages.shown().first();
    EXPECT_EQ(question.buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(question.title, "参数恢复");
    EXPECT_TRUE(question.text.contains(backup)) << question.text.toStdString();
    EXPECT_TRUE(question.text.contains(QFileInfo(backup).lastModified().toString("yyyy-MM-dd HH:mm:ss")));
    EXPECT_TRUE(question.text.contains("“话单信息”未勾选：保留当前的话单")) << question.text.toStdString();
    EXPECT_EQ(fileBytes(home.paths().switchDb()), db) << "nothing happens without a yes";

    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    ASSERT_TRUE(click(window.cmdResume));
    EXPECT_FALSE(saving);
    EXPECT_EQ(messages.shown().size(), 1) << "the question only";
    EXPECT_EQ(rowsOf(home.paths().switchDb(), "PHNBill"), calls);
    EXPECT_TRUE(window.lblStatus->text().contains(home.file("Quessel-"))) << "says where the copy is";

    const QString junk = home.file("junk.mdb");
    ASSERT_TRUE(writeFile(junk, "not a database at all"));
    const QByteArray restored = fileBytes(home.paths().switchDb());
    answerDialog(junk);
    messages.queueAnswer(MessageService::Answer::Yes);
    ASSERT_TRUE(click(window.cmdResume));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->title, "参数恢复");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_TRUE(messages.last()->text.contains("数据库没有改动"));
    EXPECT_EQ(fileBytes(home.paths().switchDb()), restored);
    EXPECT_TRUE(window.cmdResume->isEnabled());
}

TEST_F(TallowinTest, RestoreWhileTheConsoleRunsIsRefusedBeforeTheDialog)
{
    HomeLock console;
    ASSERT_TRUE(console.acquire(home.paths()));
    answerDialog(home.file("any.mdb"));
    EXPECT_FALSE(click(window.cmdResume));
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(logins, 0);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.contains("请先退出监控软件"));
}

// 〖恢复〗 asks for an operator holding "参数备份与恢复" before anything else:
// cancelled or refused, no file is asked for and nothing changes; accepted,
// the usage record names the operator. 〖备份〗 asks for nobody.
TEST_F(TallowinTest, RestoreAsksForAnOperatorFirst)
{
    const QString backup = home.file("yesterday.mdb");
    answerDialog(backup);
    ASSERT_TRUE(click(window.cmdBackup));
    EXPECT_EQ(logins, 0) << "a backup needs no operator";
    const auto rows = allRows(home.paths().switchDb());

    login = {};
    EXPECT_FALSE(click(window.cmdResume));
    EXPECT_EQ(logins, 1);
    EXPECT_TRUE(messages.shown().isEmpty());

    login = {LoginState::administratorName(), "nimda"};
    EXPECT_FALSE(click(window.cmdResume));
    EXPECT_EQ(logins, 2);
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "恢复未进行：错误的密码！\n数据库没有改动。");
    EXPECT_EQ(messages.last()->title, "参数恢复");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_EQ(dialogs, 1) << "no file asked for";
    EXPECT_EQ(allRows(home.paths().switchDb()), rows);

    messages.clear();
    login = {LoginState::administratorName(), "admin"};
    messages.queueAnswer(MessageService::Answer::Yes);
    ASSERT_TRUE(click(window.cmdResume));
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(window.lblStatus->text().startsWith("已用 " + backup)) << window.lblStatus->text().toStdString();
    const auto usage = rowsOf(home.paths().switchDb(), "OPRec");
    ASSERT_EQ(usage.size(), rows.value("OPRec").size() + 1);
    EXPECT_TRUE(usage.last().value(2).startsWith("管理员（恢复数据库：窗口，系统用户 "))
        << usage.last().value(2).toStdString();
    EXPECT_EQ(usage.last().value(3), "2026年12月08日01:42:00") << "the tool's clock";
}

TEST_F(TallowinTest, EveryWayOutAsksForARestartOfTheConsoleAndOffersIt)
{
    // A console that writes its arguments where the test can read them.
    const QString programs = home.file("programs");
    QDir().mkpath(programs);
    const QString console = tallowin::frmMain::consolePath(programs);
    ASSERT_TRUE(
        writeFile(console, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n"));
    ASSERT_TRUE(
        QFile::setPermissions(console, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    window.setProgramDir(programs);
    for (int way = 0; way < 3; ++way) {
        messages.clear();
        window.show();
        if (way == 2)
            messages.queueChoice(1);
        if (way == 1)
            window.close();
        else
            QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        EXPECT_FALSE(window.isVisible()) << way;
        ASSERT_EQ(messages.shown().size(), 1) << way;
        EXPECT_EQ(messages.last()->text, "系统参数备份/恢复完毕！请重新启动监控软件。");
        EXPECT_EQ(messages.last()->title, "请重新启动监控程序");
        EXPECT_EQ(messages.last()->icon, MessageService::Icon::Information);
        EXPECT_EQ(messages.last()->choices, QStringList({"确定", "重新启动监控软件"}));
        if (way < 2) {
            EXPECT_FALSE(QFileInfo::exists(console + ".args")) << way;
        }
    }
    ASSERT_TRUE(waitForFile(console + ".args"));
    EXPECT_EQ(fileBytes(console + ".args"), ("--home\n" + home.root() + "\n").toUtf8()) << "on the same home";
}

// The database is gone, cut short, has its call records' page overwritten,
// then only an index page: the window says so, restores onto it, and offers
// to keep today's calls only when they can be read.
TEST_F(TallowinTest, RescueFromAMissingAndAnOverwrittenPageDatabase)
{
    const QString db = home.paths().switchDb();
    const QString backup = home.file("yesterday.mdb");
    answerDialog(backup);
    ASSERT_TRUE(click(window.cmdBackup));
    {
        Database d;
        ASSERT_TRUE(openDb(d, db));
        ASSERT_TRUE(addCalls(d, 4, "today"));
    }
    const auto today = rowsOf(db, "PHNBill");
    const auto fileCalls = rowsOf(backup, "PHNBill");
    const QByteArray good = fileBytes(db);
    auto overwritePageOf = [&](const QString &object) {
        Database d;
        if (!openDb(d, db))
            return false;
        const int page = d.scalar("SELECT rootpage FROM sqlite_master WHERE name=?", {object}).value_or("0").toInt();
        const int size = d.scalar("PRAGMA page_size").value_or("0").toInt();
        d.close();
        QFile f(db);
        return page > 1 && f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * size)
               && f.write(QByteArray(size, 'Z')) == size;
    };
    struct Case {
        const char *damage;
        const char *says;
        bool callsOffered;
    } cases[] = {{"missing", "数据库文件不存在", false},
                 {"truncated", "不能用本系统的数据库密钥", false},
                 {"PHNBill", "已损坏", false},
                 {"idx_PHNBill_结束时间_话单类型_话单性质_总费用", "已损坏", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.damage);
        ASSERT_TRUE(writeFile(db, good)); // today's database, then damaged
        if (QString::fromUtf8(c.damage) == "missing")
            ASSERT_TRUE(QFile::remove(db));
        else if (QString::fromUtf8(c.damage) == "truncated")
            ASSERT_TRUE(QFile::resize(db, good.size() / 2));
        else
            ASSERT_TRUE(overwritePageOf(QString::fromUtf8(c.damage)));
        tallowin::frmMain w(ctx);
        w.show();
        EXPECT_TRUE(w.lblStatus->text().contains(QString::fromUtf8(c.says))) << w.lblStatus->text().toStdString();
        EXPECT_TRUE(w.lblStatus->text().contains("恢复")) << w.lblStatus->text().toStdString();
        EXPECT_EQ(w.chkBill->isEnabled(), c.callsOffered);
        EXPECT_EQ(w.chkBill->isChecked(), !c.callsOffered) << "the file's calls when today's cannot be read";

        messages.clear();
        messages.queueAnswer(MessageService::Answer::Yes);
        QSignalSpy finished(&w, &tallowin::frmMain::workFinished);
        const int loginsBefore = logins;
        QTest::mouseClick(w.cmdResume, Qt::LeftButton);
        ASSERT_TRUE(finished.wait(30000));
        // No operator to check while the operators cannot be read: the
        // home's owner (this test) restores, and is told so.
        const bool unreadable = !c.callsOffered && QString::fromUtf8(c.damage) != "PHNBill";
        EXPECT_EQ(logins - loginsBefore, unreadable ? 0 : 1);
        ASSERT_FALSE(messages.shown().isEmpty());
        EXPECT_EQ(messages.shown().first().text.contains("以本系统所有者的身份恢复"), unreadable)
            << messages.shown().first().text.toStdString();
        EXPECT_EQ(finished.at(0).at(0).value<ToolOutcome>(), ToolOutcome::Done) << w.lblStatus->text().toStdString();
        EXPECT_EQ(rowsOf(db, "PHNBill"), c.callsOffered ? today : fileCalls);
        EXPECT_TRUE(w.chkBill->isEnabled()) << "a sound database again";
        EXPECT_TRUE(w.lblStatus->text().startsWith("已用 " + backup)) << w.lblStatus->text().toStdString();
        Database d;
        ASSERT_TRUE(openDb(d, db));
        EXPECT_EQ(IntegrityProblems(d).value_or({"?"}), QStringList());
    }
    EXPECT_EQ(DatedFiles(home.paths().dataDir(), DamagedPrefix()).size(), 3) << "every damaged file kept";
}

TEST(IntakeTableTest, RestoreKeepsTheTableTheIntakeWrites) { EXPECT_EQ(CallIntakeSeenTable(), CallIntake::SeenTable); }
