#include "Backup.h"
#include "BackupFixture.h"
#include "ConsoleContext.h"
#include "DatabaseCopy.h"
#include "DatabaseHealth.h"
#include "FileAccess.h"
#include "HomeFiles.h"
#include "HomeLock.h"
#include "PendingCommands.h"
#include "Restore.h"
#include "RestoreNotice.h"
#include "Schema.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// Enough call records that a copy takes several steps.
bool growDatabase(const HomePaths &home, int calls = 4000)
{
    Database db;
    return openDb(db, home.switchDb()) && addCalls(db, calls, QStringLiteral("bulk-padding-to-make-pages"));
}

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.ok()); }
    BackupHome home;
};

} // namespace

TEST_F(BackupTest, CopyOpensOnlyWithTheKeyIsOneFileAndOwnerOnly)
{
    const QString target = home.file("out/nightly.mdb");
    QDir().mkpath(home.file("out"));
    ::umask(022);
    const ToolResult r = BackupDatabase(home.paths(), target);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains(target));
    EXPECT_EQ(modeOf(target), 0600);
    EXPECT_EQ(filesIn(home.file("out")), QStringList{"nightly.mdb"}) << "no log, journal or scratch file beside it";

    Database plain;
    EXPECT_FALSE(plain.open(target, QByteArray()));
    Database other;
    EXPECT_FALSE(other.open(target, "another key"));
    EXPECT_EQ(allRows(target), allRows(home.paths().switchDb()));
}

TEST_F(BackupTest, CopyTakesWhatTheWriteAheadLogHolds)
{
    // The console keeps its connection open and the log unmerged.
    Database console;
    ASSERT_TRUE(openDb(console, home.paths().switchDb()));
    ASSERT_TRUE(console.exec("PRAGMA wal_autocheckpoint=0"));
    ASSERT_TRUE(addCalls(console, 25, "in-log"));
    ASSERT_GT(QFileInfo(home.paths().switchDb() + "-wal").size(), 0);

    const QString target = home.file("wal.mdb");
    ASSERT_TRUE(BackupDatabase(home.paths(), target).ok());
    const auto copied = rowsOf(target, "PHNBill");
    EXPECT_EQ(copied.size(), 28);
    EXPECT_EQ(copied, rowsOf(console, "PHNBill"));
}

TEST_F(BackupTest, CopyWhileTheConsoleWritesIsOneMomentOfTheDatabase)
{
    ASSERT_TRUE(growDatabase(home.paths()));
    Database console;
    ASSERT_TRUE(openDb(console, home.paths().switchDb()));
    const auto before = rowsOf(console, "PHNBill");
    int steps = 0;
    bool written = true;
    // Between the first steps of the copy the console stores another call.
    const Progress writeBetweenSteps = [&](const QString &, qint64 done, qint64 total) {
        if (done < total && steps < 3) {
            ++steps;
            written = written && addCalls(console, 1, "during");
        }
        return true;
    };
    const QString target = home.file("busy.mdb");
    const ToolResult r = BackupDatabase(home.paths(), target, writeBetweenSteps);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    EXPECT_EQ(steps, 3);
    EXPECT_TRUE(written);
    EXPECT_EQ(rowsOf(console, "PHNBill").size(), before.size() + steps);
    EXPECT_EQ(rowsOf(target, "PHNBill"), before);
    Database copy;
    ASSERT_TRUE(openDb(copy, target));
    EXPECT_EQ(IntegrityProblems(copy).value_or({"not checked"}), QStringList());
}

TEST_F(BackupTest, TargetNameGetsTheSuffixAndAFolderADatedName)
{
    const QDateTime at(QDate(2026, 12, 8), QTime(2, 30, 5));
    QDir().mkpath(home.file("nightly"));
    const QString folder = home.file("nightly");
    const struct {
        QString chosen;
        QString target;
    } cases[] = {
        {"/tmp/a", "/tmp/a.mdb"},
        {"/tmp/a.mdb", "/tmp/a.mdb"},
        {"/tmp/a.MDB", "/tmp/a.MDB"},
        {"  /tmp/b.Mdb  ", "/tmp/b.Mdb"},
        {"/tmp/a.mdb.old", "/tmp/a.mdb.old.mdb"},
        {"   ", ""},
        // A folder, existing or named with its "/": never a hidden ".mdb".
        {folder, folder + "/Switch-20261208-023005.mdb"},
        {folder + "/", folder + "/Switch-20261208-023005.mdb"},
        {"/no/such/folder/", "/no/such/folder/Switch-20261208-023005.mdb"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BackupTargetName(c.chosen, at), c.target) << c.chosen.toStdString();
    // A second backup in the same second does not replace the first.
    ASSERT_TRUE(BackupDatabase(home.paths(), BackupTargetName(folder, at)).ok());
    EXPECT_EQ(BackupTargetName(folder + "/", at), folder + "/Switch-20261208-023005-2.mdb");
}

TEST_F(BackupTest, UnusableTargetsWriteNothing)
{
    QDir().mkpath(home.file("locked"));
    // Root writes anywhere a mode allows nothing; the system's own folder refuses it.
    const QString unwritable = ::geteuid() == 0 ? QStringLiteral("/sys/fs") : home.file("locked");
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(unwritable, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    writeFile(home.file("plainfile"), "x");
    QDir().mkpath(home.file("adir.mdb"));

    const struct {
        QString target;
        const char *says;
    } cases[] = {
        {home.file("missing/b.mdb"), "文件夹不存在"}, {home.file("plainfile/b.mdb"), "不是文件夹"},
        {unwritable + "/b.mdb", "无法在文件夹"},      {home.file("adir.mdb"), "是一个文件夹"},
        {home.paths().switchDb(), "数据库文件本身"},
    };
    const QStringList homeFiles = filesIn(home.root());
    const QStringList dataFiles = filesIn(home.paths().dataDir());
    for (const auto &c : cases) {
        const ToolResult r = BackupDatabase(home.paths(), c.target);
        EXPECT_EQ(r.outcome, ToolOutcome::Failed) << c.target.toStdString();
        EXPECT_TRUE(r.text.contains(QString::fromUtf8(c.says))) << r.text.toStdString();
    }
    EXPECT_EQ(filesIn(home.root()), homeFiles);
    EXPECT_EQ(filesIn(home.paths().dataDir()), dataFiles);
    EXPECT_FALSE(QFileInfo::exists(unwritable + "/b.mdb"));
    QFile::setPermissions(home.file("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(BackupTest, StoppedCopyLeavesTheOldBackupAsItWas)
{
    ASSERT_TRUE(growDatabase(home.paths()));
    QDir().mkpath(home.file("out"));
    const QString target = home.file("out/keep.mdb");
    ASSERT_TRUE(writeFile(target, "yesterday's backup"));
    int reports = 0;
    const ToolResult r = BackupDatabase(home.paths(), target, [&](const QString &, qint64 done, qint64 total) {
        return ++reports < 2 || done == total;
    });
    EXPECT_EQ(r.outcome, ToolOutcome::Failed);
    EXPECT_EQ(fileBytes(target), QByteArray("yesterday's backup"));
    EXPECT_EQ(filesIn(home.file("out")), QStringList{"keep.mdb"});
}

TEST_F(BackupTest, MissingDatabaseIsAnOpenErrorAndARestoreInProgressIsSaid)
{
    {
        // A restore has the database (or has moved a damaged one aside).
        HomeLock restoring(HomeLock::Kind::Restore);
        ASSERT_TRUE(restoring.acquire(home.paths()));
        EXPECT_TRUE(HomeLock::restoreRunning(home.paths()));
        const ToolResult r = BackupDatabase(home.paths(), home.file("x.mdb"));
        EXPECT_EQ(r.outcome, ToolOutcome::Refused);
        EXPECT_TRUE(r.text.contains("正在恢复数据库")) << r.text.toStdString();
    }
    EXPECT_FALSE(HomeLock::restoreRunning(home.paths()));
    QFile::remove(home.paths().switchDb());
    const ToolResult r = BackupDatabase(home.paths(), home.file("x.mdb"));
    EXPECT_EQ(r.outcome, ToolOutcome::OpenError);
    EXPECT_FALSE(QFileInfo::exists(home.file("x.mdb")));
}

// ---- restore ----

namespace {

class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.ok());
        backup = home.file("yesterday.mdb");
        ASSERT_TRUE(BackupDatabase(home.paths(), backup).ok());
        backupBytes = fileBytes(backup);
    }

    // A day's work after the backup: configuration changed, calls stored and
    // charged, a deposit taken, an operator's session recorded.
    void workAfterTheBackup()
    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        ASSERT_TRUE(db.exec("UPDATE \"SWTConfig\" SET \"交换机串口\"='7'"));
        ASSERT_TRUE(db.exec("DELETE FROM \"PHNBill\" WHERE rowid=2")); // a deleted record leaves a gap
        ASSERT_TRUE(addCalls(db, 5, "today"));
        ASSERT_TRUE(
            db.exec("UPDATE \"Foregift\" SET \"余额\"='114.00', \"等级\"='2', \"密码\"='9999' WHERE \"物理端口\"='3'"));
        ASSERT_TRUE(db.exec("INSERT INTO \"Foregift\" VALUES ('5','805','李四','5','30.00','30.00','','×')"));
        ASSERT_TRUE(db.exec(
            "INSERT INTO \"OPRec\" VALUES ('00002','管理员','2026年12月08日08:00:00','2026年12月08日09:30:00')"));
        ASSERT_TRUE(addSeenFrames(db, 3, "today"));
    }

    ToolResult restore(bool withCalls, const Progress &p = {})
    {
        return RestoreDatabase(home.paths(), {backup, withCalls, at}, p);
    }

    // The copies of replaced databases the home keeps, oldest first.
    QStringList copies() const { return DatedFiles(home.root(), QuesselPrefix()); }

    bool noScratchLeft() const
    {
        for (const QString &folder : {home.paths().dataDir(), home.root()})
            for (const QString &f : filesIn(folder))
                if (f.contains("restoring") || f.contains("rescue") || f.startsWith('.') || f.endsWith("-wal")
                    || f.endsWith("-journal"))
                    return false;
        return true;
    }

    const QDateTime at{QDate(2026, 12, 8), QTime(9, 30, 5)};

    BackupHome home;
    QString backup;
    QByteArray backupBytes;
};

} // namespace

TEST_F(RestoreTest, WithoutCallsKeepsTodaysRecordsAndTakesTheFilesParameters)
{
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto calls = rowsOf(db, "PHNBill");
    const auto seen = rowsOf(db, CallIntakeSeenTable());
    const auto usage = rowsOf(db, "OPRec");
    const auto fileUsers = rowsOf(db, "User");

    const ToolResult r = restore(false);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("保留当前话单 7 条")) << r.text.toStdString();

    EXPECT_EQ(rowsOf(db, "PHNBill"), calls) << "the same rows under the same rowids";
    EXPECT_EQ(rowsOf(db, CallIntakeSeenTable()), seen);
    EXPECT_EQ(rowsOf(db, "OPRec"), usage);
    EXPECT_EQ(rowsOf(db, "User"), fileUsers);
    EXPECT_EQ(rowsOf(db, "SWTConfig").value(0).value(1 + 8), rowsOf(backup, "SWTConfig").value(0).value(1 + 8));
    EXPECT_NE(rowsOf(db, "SWTConfig").value(0).value(1 + 8), "7");

    // Deposits: today's money, the file's settings; the new deposit stays whole.
    const auto deposits = rowsOf(db, "Foregift");
    ASSERT_EQ(deposits.size(), 3);
    EXPECT_EQ(deposits[0].mid(1), QStringList({"3", "803", "张三", "5", "114.00", "200.00", "1234", "√"}));
    EXPECT_EQ(deposits[1].mid(1), QStringList({"12", "账号", "账号十二", "4", "50.00", "50.00", "888", "√"}));
    EXPECT_EQ(deposits[2].mid(1), QStringList({"5", "805", "李四", "5", "30.00", "30.00", "", "×"}));

    // The database it replaced is kept under the restore's time, owner-only.
    EXPECT_EQ(copies(), QStringList{home.file("Quessel-20261208-093005.mdb")});
    EXPECT_EQ(modeOf(copies().value(0)), 0600);
    EXPECT_EQ(rowsOf(copies().value(0), "PHNBill"), calls);
    EXPECT_TRUE(r.text.contains(copies().value(0))) << "and it is said where";
    EXPECT_TRUE(noScratchLeft());
    EXPECT_FALSE(QFileInfo::exists(db + "-wal"));
    EXPECT_EQ(fileBytes(backup), backupBytes) << "the chosen file is only read";
}

// Commands that waited for the switch carry values of the database being
// replaced (or, kept in the file, of the file's own day): a restore drops
// them and names them, and leaves the console a note to offer the
// comparison at its next start.
TEST_F(RestoreTest, WaitingCommandsAreDroppedAndNamed)
{
    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        ASSERT_TRUE(PendingCommands(db).keepStar({"*10*3*803#", "*49*0#"}));
        ASSERT_TRUE(BackupDatabase(home.paths(), home.file("with-commands.mdb")).ok());
        ASSERT_TRUE(PendingCommands(db).keepStar({"*73*1#"}));
    }
    backup = home.file("with-commands.mdb");
    const ToolResult r = restore(false);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("删除了 5 条等待发往交换机的命令（它们的参数属于被替换的数据库）："
                                "*10*3*803#、*49*0#、*73*1#、*10*3*803#、*49*0#"))
        << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("监控软件下次启动时将提示进行交换机信息比照")) << r.text.toStdString();
    EXPECT_TRUE(rowsOf(home.paths().switchDb(), PendingCommands::Table).isEmpty());
    const auto notice = rowsOf(home.paths().switchDb(), RestoreNotice::Table);
    ASSERT_EQ(notice.size(), 1);
    EXPECT_EQ(notice[0].value(2), QFileInfo(backup).absoluteFilePath());
}

TEST_F(RestoreTest, WithCallsTakesTheFilesRecordsAndKeepsTheCopyAndTheUsageRecord)
{
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto before = allRows(db);

    const ToolResult r = restore(true);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    const auto fileRows = allRows(backup);
    EXPECT_EQ(rowsOf(db, "PHNBill"), fileRows.value("PHNBill"));
    // The money handed over since stays handed over: today's balances.
    const auto deposits = rowsOf(db, "Foregift");
    ASSERT_EQ(deposits.size(), 3);
    EXPECT_EQ(deposits[0].mid(1), QStringList({"3", "803", "张三", "5", "114.00", "200.00", "1234", "√"}));
    EXPECT_EQ(deposits[2].mid(1), QStringList({"5", "805", "李四", "5", "30.00", "30.00", "", "×"}));
    EXPECT_EQ(rowsOf(db, "SWTConfig"), fileRows.value("SWTConfig"));
    EXPECT_EQ(rowsOf(db, "OPRec"), before.value("OPRec")) << "usage rows are never cut back";
    EXPECT_EQ(rowsOf(db, CallIntakeSeenTable()), fileRows.value(CallIntakeSeenTable()));
    // The day's calls are still in the copy made before.
    ASSERT_EQ(copies().size(), 1);
    EXPECT_EQ(allRows(copies().value(0)), before);
    EXPECT_TRUE(r.text.contains(copies().value(0)));
}

TEST_F(RestoreTest, EveryRestoreKeepsItsCopyAndTheThreeNewestStay)
{
    // An older console's single copy is none of them and stays as it is.
    ASSERT_TRUE(writeFile(home.paths().quessel(), "earlier copy"));
    QStringList made;
    for (int i = 0; i < 4; ++i) {
        workAfterTheBackup();
        const auto before = allRows(home.paths().switchDb());
        const ToolResult r = RestoreDatabase(home.paths(), {backup, i % 2 == 1, at.addDays(i)});
        ASSERT_TRUE(r.ok()) << r.text.toStdString();
        made.append(copies().last());
        EXPECT_TRUE(r.text.contains(made.last()));
        EXPECT_EQ(allRows(made.last()), before) << "each copy is the database its restore replaced";
    }
    EXPECT_EQ(made.first(), home.file("Quessel-20261208-093005.mdb"));
    EXPECT_EQ(copies(), made.mid(1)) << "the newest three; the oldest went";
    for (const QString &copy : copies())
        EXPECT_EQ(modeOf(copy), 0600) << copy.toStdString();
    EXPECT_EQ(fileBytes(home.paths().quessel()), QByteArray("earlier copy"));
}

TEST_F(RestoreTest, EarlierBackupWithoutTheConsolesOwnTableIsBroughtUpToDate)
{
    // A backup from before the intake kept its table, and without indexes.
    {
        Database old;
        ASSERT_TRUE(openDb(old, backup));
        ASSERT_TRUE(old.exec(QStringLiteral("DROP TABLE %1").arg(Database::quoteId(CallIntakeSeenTable()))));
        ASSERT_TRUE(old.exec("DROP INDEX \"idx_PHNBill_结束时间_话单类型_话单性质_总费用\""));
        // and with the end-time index of earlier versions, which is retired
        ASSERT_TRUE(old.exec("CREATE INDEX \"idx_PHNBill_结束时间\" ON PHNBill (\"结束时间\")"));
    }
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto seen = rowsOf(db, CallIntakeSeenTable());
    for (bool withCalls : {false, true}) {
        ASSERT_TRUE(restore(withCalls).ok()) << withCalls;
        Database d;
        ASSERT_TRUE(openDb(d, db));
        EXPECT_TRUE(d.tableExists(CallIntakeSeenTable())) << withCalls;
        EXPECT_EQ(d.columnNames(CallIntakeSeenTable()), QStringList({"Frame", "SeenMs"}));
        const auto indexes = d.select("SELECT name FROM sqlite_master WHERE name LIKE 'idx_PHNBill_结束时间%'");
        ASSERT_TRUE(indexes);
        EXPECT_EQ(*indexes, QList<QStringList>({{"idx_PHNBill_结束时间_话单类型_话单性质_总费用"}})) << withCalls;
        if (!withCalls) {
            EXPECT_EQ(rowsOf(d, CallIntakeSeenTable()), seen);
        } else {
            EXPECT_TRUE(rowsOf(d, CallIntakeSeenTable()).isEmpty()) << "frames seen belong to the calls they came with";
        }
    }
}

TEST_F(RestoreTest, SeenTableOfAnotherLayoutTakesTheCurrentOne)
{
    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        const QString t = Database::quoteId(CallIntakeSeenTable());
        ASSERT_TRUE(db.exec(QStringLiteral("DROP TABLE %1").arg(t)));
        ASSERT_TRUE(
            db.exec(QStringLiteral("CREATE TABLE %1 (\"Frame\" TEXT, \"SeenMs\" INTEGER, \"Port\" TEXT)").arg(t)));
        ASSERT_TRUE(db.exec(QStringLiteral("CREATE INDEX \"seen_by_frame\" ON %1 (\"Frame\")").arg(t)));
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO %1 VALUES ('f1', 5, 'COM1')").arg(t)));
    }
    const auto seen = rowsOf(home.paths().switchDb(), CallIntakeSeenTable());
    ASSERT_TRUE(restore(false).ok());
    EXPECT_EQ(rowsOf(home.paths().switchDb(), CallIntakeSeenTable()), seen);
    ASSERT_TRUE(restore(true).ok());
    Database d;
    ASSERT_TRUE(openDb(d, home.paths().switchDb()));
    EXPECT_EQ(d.columnNames(CallIntakeSeenTable()), QStringList({"Frame", "SeenMs", "Port"}));
    EXPECT_EQ(d.scalar("SELECT count(*) FROM sqlite_master WHERE name='seen_by_frame'").value_or(""), "1");
}

TEST_F(RestoreTest, BadFilesAreRefusedAndChangeNothing)
{
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    // A Quessel.mdb from an earlier restore must survive a refused one too.
    ASSERT_TRUE(writeFile(home.paths().quessel(), "earlier copy"));

    const QString dir = home.file("bad");
    QDir().mkpath(dir);
    writeFile(dir + "/empty.mdb", QByteArray());
    writeFile(dir + "/half.mdb", backupBytes.left(backupBytes.size() / 2));
    writeFile(dir + "/cut.mdb", backupBytes.left(backupBytes.size() - 700));
    writeFile(dir + "/notes.mdb", "主叫号码,被叫号码\n803,07551234\n");
    // Two gigabytes that are no database (sparse: no room taken), refused as
    // what they are, not for the room a restore of them would need.
    {
        QFile big(dir + "/big.mdb");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(2) << 30));
    }
    {
        // Twenty pages of call records overwritten: dozens of problems, five
        // of them named.
        ASSERT_TRUE(QFile::copy(backup, dir + "/pages.mdb"));
        Database grown;
        ASSERT_TRUE(openDb(grown, dir + "/pages.mdb"));
        ASSERT_TRUE(addCalls(grown, 2000, "padding-for-pages-of-call-records"));
        grown.close();
        const QByteArray bytes = fileBytes(dir + "/pages.mdb");
        const int from = bytes.size() / 2 / 1024 * 1024;
        writeFile(dir + "/pages.mdb", bytes.left(from) + QByteArray(20 * 1024, 'Z') + bytes.mid(from + 20 * 1024));
    }
    {
        Database print;
        ASSERT_TRUE(print.open(dir + "/print.mdb", QByteArray(), Database::OpenMode::Create));
        ASSERT_TRUE(createSchema(print, printTables()));
        Database foreign;
        ASSERT_TRUE(foreign.open(dir + "/otherkey.mdb", "not ours", Database::OpenMode::Create));
        ASSERT_TRUE(createSchema(foreign, switchTables()));
        for (const char *name : {"/nouser.mdb", "/extracol.mdb", "/lockout.mdb"})
            ASSERT_TRUE(QFile::copy(backup, dir + QString::fromUtf8(name)));
        Database noUser;
        ASSERT_TRUE(openDb(noUser, dir + "/nouser.mdb"));
        ASSERT_TRUE(noUser.exec("DROP TABLE \"User\""));
        // Operators, but none who may reach the backup tool: after it nobody
        // could restore again.
        Database lockout;
        ASSERT_TRUE(openDb(lockout, dir + "/lockout.mdb"));
        ASSERT_TRUE(lockout.exec("INSERT INTO OP VALUES ('值班员','x','1','1','1','1','1','1','1','1','','1','1',"
                                 "'0','0','0','0')"));
        ASSERT_TRUE(lockout.exec("UPDATE OP SET \"参数备份与恢复\"='0' WHERE \"用户名\"='管理员'"));
        Database extra;
        ASSERT_TRUE(openDb(extra, dir + "/extracol.mdb"));
        ASSERT_TRUE(extra.exec("ALTER TABLE \"PHNBill\" ADD COLUMN \"备注\" TEXT"));
    }
    const struct {
        const char *file;
        const char *says;
    } cases[] = {
        {"/empty.mdb", "是空的"},
        {"/half.mdb", ""},
        {"/cut.mdb", ""},
        {"/notes.mdb", "不是本系统的数据库备份"},
        {"/big.mdb", "不是本系统的数据库备份"},
        {"/print.mdb", "未加密的数据库"},
        {"/otherkey.mdb", "另一套系统"},
        {"/nouser.mdb", "缺少表 User"},
        {"/extracol.mdb", "PHNBill"},
        {"/lockout.mdb", "没有一个操作员有“参数备份与恢复”的权限"},
        {"/pages.mdb", "个问题"},
        {"/missing.mdb", "文件不存在"},
    };
    const QByteArray dbBytes = fileBytes(db);
    const auto rows = allRows(db);
    for (const auto &c : cases) {
        for (bool withCalls : {false, true}) {
            const ToolResult r = RestoreDatabase(home.paths(), {dir + QString::fromUtf8(c.file), withCalls});
            // A file of another key may be another home's: its recovery key is wanted.
            const ToolOutcome expected =
                QString::fromUtf8(c.file) == "/otherkey.mdb" ? ToolOutcome::NeedsKey : ToolOutcome::Refused;
            EXPECT_EQ(r.outcome, expected) << c.file << " " << r.text.toStdString();
            EXPECT_TRUE(r.text.contains(QString::fromUtf8(c.says))) << r.text.toStdString();
            EXPECT_TRUE(r.text.contains("数据库没有改动")) << r.text.toStdString();
            EXPECT_EQ(fileBytes(db), dbBytes) << c.file;
            EXPECT_EQ(fileBytes(home.paths().quessel()), QByteArray("earlier copy")) << c.file;
            EXPECT_TRUE(copies().isEmpty()) << c.file;
            EXPECT_TRUE(noScratchLeft()) << c.file;
        }
    }
    EXPECT_EQ(allRows(db), rows);
    const QStringList lines = RestoreDatabase(home.paths(), {dir + "/pages.mdb"}).text.split('\n');
    const auto named =
        std::find_if(lines.begin(), lines.end(), [](const QString &l) { return l.contains("文件已损坏"); });
    const auto more =
        std::find_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith("……另有 "); });
    ASSERT_NE(more, lines.end()) << lines.join('\n').toStdString();
    EXPECT_EQ(more - named, 6) << "five problems between: " << lines.join('\n').toStdString();
    EXPECT_GT(more->section(' ', 1, 1).toInt(), 5);
    Database still;
    ASSERT_TRUE(openDb(still, db));
    EXPECT_TRUE(schemaProblems(still, switchTables()).isEmpty());
}

TEST_F(RestoreTest, AWriteThatNeverReachedTheDatabaseSaysSoAndOneThatDidIsPutBack)
{
    ASSERT_TRUE(growDatabase(home.paths()));
    ASSERT_TRUE(BackupDatabase(home.paths(), backup).ok());
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto before = allRows(db);
    // Stopped half-way through the write (as when the disk fills): it is
    // rolled back, so the database is unchanged and its copy is only read.
    for (const char *stopAt : {"写入数据库", "检查恢复后的数据库"}) {
        QByteArray copyBytes;
        bool stopped = false;
        const ToolResult r = restore(false, [&](const QString &step, qint64 done, qint64 total) {
            if (step == "写入数据库" && copyBytes.isEmpty())
                copyBytes = fileBytes(copies().value(0)); // complete by now
            if (step == QString::fromUtf8(stopAt) && done > 0 && !stopped && (done < total || step != "写入数据库")) {
                stopped = true;
                return false;
            }
            return true;
        });
        ASSERT_TRUE(stopped) << stopAt;
        if (QString::fromUtf8(stopAt) == "写入数据库") {
            EXPECT_EQ(r.outcome, ToolOutcome::Failed) << r.text.toStdString();
            EXPECT_TRUE(r.text.contains("数据库没有改动")) << r.text.toStdString();
            EXPECT_FALSE(r.text.contains("复原")) << r.text.toStdString();
        } else {
            // Written and then given up: put back from the copy.
            EXPECT_EQ(r.outcome, ToolOutcome::PutBack) << r.text.toStdString();
            EXPECT_TRUE(r.text.contains("复原")) << r.text.toStdString();
        }
        ASSERT_FALSE(copyBytes.isEmpty());
        EXPECT_EQ(fileBytes(copies().value(0)), copyBytes) << "the copy is only read, never switched to a log";
        EXPECT_EQ(allRows(db), before) << stopAt;
        Database d;
        ASSERT_TRUE(openDb(d, db));
        EXPECT_EQ(IntegrityProblems(d).value_or({"not checked"}), QStringList());
        QFile::remove(copies().value(0));
    }
    Database d;
    ASSERT_TRUE(openDb(d, db));
    EXPECT_TRUE(addCalls(d, 1, "after")) << "usable at once";
}

TEST_F(RestoreTest, RefusedWhileTheConsoleRunsOrAnotherProgramHasTheDatabaseOpen)
{
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto rows = allRows(db);
    {
        HomeLock console;
        ASSERT_TRUE(console.acquire(home.paths()));
        const ToolResult r = restore(false);
        EXPECT_EQ(r.outcome, ToolOutcome::Refused);
        EXPECT_TRUE(r.text.contains("请先退出监控软件")) << r.text.toStdString();
    }
    {
        Database other;
        ASSERT_TRUE(openDb(other, db));
        ASSERT_TRUE(other.scalar("SELECT count(*) FROM \"PHNBill\""));
        const ToolResult r = restore(false);
        EXPECT_EQ(r.outcome, ToolOutcome::Refused);
        EXPECT_TRUE(r.text.contains("正被其他程序使用")) << r.text.toStdString();
        EXPECT_EQ(rowsOf(other, "PHNBill"), rows.value("PHNBill"));
    }
    EXPECT_EQ(allRows(db), rows);
    EXPECT_TRUE(copies().isEmpty());
    EXPECT_TRUE(restore(false).ok()) << "once they are gone";
}

namespace {

// Overwrites the page of the database that holds the root of `object` (a
// table or an index), as a disk error would.
bool overwritePageOf(const QString &db, const QString &object)
{
    int page = 0;
    int pageSize = 0;
    {
        Database d;
        if (!openDb(d, db))
            return false;
        page = d.scalar("SELECT rootpage FROM sqlite_master WHERE name=?", {object}).value_or("0").toInt();
        pageSize = d.scalar("PRAGMA page_size").value_or("0").toInt();
        if (!d.exec("PRAGMA wal_checkpoint(TRUNCATE)"))
            return false;
    }
    QFile f(db);
    return page > 1 && pageSize > 0 && f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * pageSize)
           && f.write(QByteArray(pageSize, '\x5a')) == pageSize;
}

} // namespace

// The database is gone, cut short or has a page overwritten: a checked backup
// still replaces it. The old file is kept aside, dated and owner-only, byte
// for byte; today's calls are kept only when they can be read from it.
TEST_F(RestoreTest, RescueFromAMissingATruncatedAndAnOverwrittenPageDatabase)
{
    enum Damage { Missing, Truncated, CallsPage, IndexPage };
    const QString db = home.paths().switchDb();
    const auto fileRows = allRows(backup);
    for (Damage damage : {Missing, Truncated, CallsPage, IndexPage}) {
        for (bool withCalls : {false, true}) {
            SCOPED_TRACE(testing::Message() << "damage " << damage << " withCalls " << withCalls);
            ASSERT_TRUE(RestoreDatabase(home.paths(), {backup, true}).ok()) << "start each case afresh";
            for (const QString &copy : copies() + DatedFiles(home.paths().dataDir(), DamagedPrefix()))
                QFile::remove(copy);
            workAfterTheBackup();
            const auto today = allRows(db);
            switch (damage) {
            case Missing: ASSERT_TRUE(QFile::remove(db)); break;
            case Truncated: {
                QFile f(db);
                ASSERT_TRUE(f.resize(f.size() / 3));
                break;
            }
            case CallsPage: ASSERT_TRUE(overwritePageOf(db, "PHNBill")); break;
            case IndexPage: ASSERT_TRUE(overwritePageOf(db, "idx_PHNBill_结束时间_话单类型_话单性质_总费用")); break;
            }
            const QByteArray damagedBytes = fileBytes(db);
            const bool callsReadable = damage == IndexPage;

            const ToolResult r = restore(withCalls);
            ASSERT_EQ(r.outcome, ToolOutcome::Done) << r.text.toStdString();
            Database d;
            ASSERT_TRUE(openDb(d, db));
            EXPECT_EQ(IntegrityProblems(d).value_or({"not checked"}), QStringList());
            EXPECT_TRUE(schemaProblems(d, switchTables()).isEmpty());
            const bool keptCalls = callsReadable && !withCalls;
            EXPECT_EQ(rowsOf(d, "PHNBill"), keptCalls ? today.value("PHNBill") : fileRows.value("PHNBill"));
            EXPECT_EQ(rowsOf(d, "User"), fileRows.value("User"));
            if (damage == IndexPage) {
                EXPECT_EQ(rowsOf(d, "OPRec"), today.value("OPRec")) << "the usage record read from it stays";
            }
            EXPECT_EQ(modeOf(db), 0600);
            EXPECT_TRUE(copies().isEmpty()) << "the damaged file itself is the copy kept";

            const QStringList aside = DatedFiles(home.paths().dataDir(), DamagedPrefix());
            if (damage == Missing) {
                EXPECT_TRUE(aside.isEmpty());
                EXPECT_TRUE(r.text.contains("恢复前没有数据库文件")) << r.text.toStdString();
            } else {
                ASSERT_EQ(aside, QStringList{home.paths().dataDir() + "/Switch-damaged-20261208-093005.mdb"});
                EXPECT_EQ(fileBytes(aside.first()), damagedBytes) << "kept byte for byte";
                EXPECT_EQ(modeOf(aside.first()), 0600);
                EXPECT_TRUE(r.text.contains(aside.first())) << r.text.toStdString();
            }
            d.close();
            EXPECT_TRUE(noScratchLeft());
        }
    }
}

// A scheduled backup reads every page first: a damaged database is named
// with how to restore it and not copied, and the backup of yesterday stays.
TEST(BackupCheckTest, ADamagedDatabaseIsNamedAndNotBackedUp)
{
    BackupHome home;
    ASSERT_TRUE(home.ok());
    ASSERT_TRUE(growDatabase(home.paths()));
    const QString yesterday = home.file("yesterday.mdb");
    ASSERT_EQ(BackupDatabase(home.paths(), yesterday).outcome, ToolOutcome::Done);
    const QByteArray kept = fileBytes(yesterday);

    ASSERT_TRUE(overwritePageOf(home.paths().switchDb(), "idx_PHNBill_结束时间_话单类型_话单性质_总费用"));
    const ToolResult r = BackupDatabase(home.paths(), home.file("today.mdb"));
    EXPECT_EQ(r.outcome, ToolOutcome::Failed);
    EXPECT_TRUE(r.text.contains(home.paths().switchDb() + " 已损坏")) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("--restore")) << r.text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.file("today.mdb")));
    EXPECT_FALSE(BackupDatabase(home.paths(), yesterday).ok()) << "nor over an older backup";
    EXPECT_EQ(fileBytes(yesterday), kept);
}

TEST_F(RestoreTest, DatabaseLeftWithAnUnmergedLogIsCopiedWholeToQuessel)
{
    // A console killed with its log unmerged: the log's calls are part of the
    // database and must reach the copy made first and the kept call records.
    const QString db = home.paths().switchDb();
    QList<QStringList> calls;
    {
        Database console;
        ASSERT_TRUE(openDb(console, db));
        ASSERT_TRUE(console.exec("PRAGMA wal_autocheckpoint=0"));
        ASSERT_TRUE(addCalls(console, 9, "unmerged"));
        calls = rowsOf(console, "PHNBill");
        // Leave the log in place as a killed process would.
        ASSERT_TRUE(QFile::copy(db, home.file("killed.mdb")));
        ASSERT_TRUE(QFile::copy(db + "-wal", home.file("killed.mdb-wal")));
    }
    QFile::remove(db);
    ASSERT_TRUE(QFile::copy(home.file("killed.mdb"), db));
    ASSERT_TRUE(QFile::copy(home.file("killed.mdb-wal"), db + "-wal"));
    ASSERT_TRUE(restore(true).ok());
    EXPECT_EQ(calls.size(), 12);
    EXPECT_EQ(rowsOf(copies().value(0), "PHNBill"), calls);
    EXPECT_EQ(rowsOf(db, "PHNBill").size(), 3) << "the file's calls, and nothing of the old log";

    // A file copied by hand from such a database, its log beside it.
    ASSERT_TRUE(RestoreDatabase(home.paths(), {home.file("killed.mdb"), true}).ok());
    EXPECT_EQ(rowsOf(db, "PHNBill"), calls);
    EXPECT_TRUE(QFileInfo::exists(home.file("killed.mdb-wal"))) << "the chosen file is only read";
}

namespace {

// Drops this process's descriptor of `file` without unlocking it, as the end
// of a killed holder does (/dev/null takes its number).
bool dropDescriptorOf(const QString &file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    const QStringList fds =
        QDir("/proc/self/fd").entryList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        if (QFileInfo("/proc/self/fd/" + fd).symLinkTarget() == target) {
            const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            const bool ok = null >= 0 && ::dup2(null, fd.toInt()) >= 0;
            ::close(null);
            return ok;
        }
    }
    return false;
}

} // namespace

TEST(HomeLockTest, ProgramsTheHolderStartsDoNotKeepTheLock)
{
    BackupHome home;
    ASSERT_TRUE(home.ok());
    HomeLock console;
    ASSERT_TRUE(console.acquire(home.paths()));
    HomeLock second;
    EXPECT_FALSE(second.acquire(home.paths()));

    // The console starts a program and is killed while that program still
    // runs; the program says it runs (it has been executed), then waits.
    QProcess child;
    child.start("/bin/sh", {"-c", "echo running; read line"});
    ASSERT_TRUE(child.waitForReadyRead());
    ASSERT_TRUE(dropDescriptorOf(HomeLock::lockFile(home.paths())));
    ASSERT_TRUE(dropDescriptorOf(home.paths().dataDir()));
    EXPECT_TRUE(second.acquire(home.paths()));
    child.write("done\n");
    child.closeWriteChannel();
    EXPECT_TRUE(child.waitForFinished());
}

// Switch.lock deleted while a console runs (a cleanup of "stale" files): a
// second console still finds the home taken.
TEST(HomeLockTest, ADeletedLockFileDoesNotLetASecondConsoleIn)
{
    BackupHome home;
    ASSERT_TRUE(home.ok());
    HomeLock console;
    ASSERT_TRUE(console.acquire(home.paths()));
    ASSERT_TRUE(QFile::remove(HomeLock::lockFile(home.paths())));
    HomeLock second;
    const Status refused = second.acquire(home.paths());
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.reason().contains("请先退出监控软件")) << refused.reason().toStdString();
    console.release();
    EXPECT_TRUE(second.acquire(home.paths()));
}

TEST(LeftoversTest, WhatKilledRunsLeftGoesAtTheNextStartButWorkInProgressStays)
{
    BackupHome home;
    ASSERT_TRUE(home.ok());
    const QString root = home.root();
    const QString data = home.paths().dataDir();
    // A restore killed while copying the current database, one killed while
    // preparing the chosen file or reading a damaged one, a backup killed
    // while writing into the home.
    const QStringList copiesLeft = {root + "/.Quessel-20261208-093005.mdb.Ab12Cd",
                                    root + "/.Quessel-20261208-093005.mdb.Ab12Cd-journal", root + "/.n.mdb.Qw3rTy",
                                    data + "/.Switch.mdb.9xYz0a-journal"};
    const QStringList restoreLeft = {data + "/Switch.mdb.restoring", data + "/Switch.mdb.restoring-wal",
                                     data + "/Switch.mdb.rescue"};
    // What is not left over: a copy another program writes right now (held
    // as a copy holds its file), the home's own files.
    const QString writing = root + "/.Switch-20261208-023000.mdb.Zx9Yw8";
    const QStringList others = {root + "/Quessel-20261208-093005.mdb", root + "/.notes.mdb", writing};
    for (const QString &f : copiesLeft + restoreLeft + others)
        ASSERT_TRUE(writeFile(f, "partial"));
    const int held = ::open(QFile::encodeName(writing).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto existing = [](const QStringList &files) {
        QStringList there;
        for (const QString &f : files)
            if (QFileInfo::exists(f))
                there << f;
        return there;
    };
    {
        // A console runs: a restore cannot, but the scratch files are not
        // this start's to judge.
        HomeLock console;
        ASSERT_TRUE(console.acquire(home.paths()));
        RemoveLeftoversAtStart(home.paths());
        EXPECT_EQ(existing(copiesLeft), QStringList());
        EXPECT_EQ(existing(restoreLeft), restoreLeft);
    }
    RemoveLeftoversAtStart(home.paths());
    EXPECT_EQ(existing(restoreLeft), QStringList());
    EXPECT_EQ(existing(others), others);
    ::close(held);
    RemoveLeftoversAtStart(home.paths());
    EXPECT_FALSE(QFileInfo::exists(writing)) << "once its program is gone";
    EXPECT_TRUE(QFileInfo::exists(root + "/Quessel-20261208-093005.mdb"));
    EXPECT_TRUE(QFileInfo::exists(home.paths().switchDb()));
}

namespace {

// A small file system of the test's own, where the test may mount one.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes)
    {
        m_ok = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                       QByteArray("size=" + QByteArray::number(bytes) + ",mode=0700").constData())
               == 0;
        if (!m_ok)
            m_why = std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (m_ok)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool resize(qint64 bytes)
    {
        return ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", MS_REMOUNT,
                       QByteArray("size=" + QByteArray::number(bytes)).constData())
               == 0;
    }
    qint64 used() const
    {
        struct statvfs fs {};
        return ::statvfs(QFile::encodeName(m_dir.path()).constData(), &fs) == 0
                   ? qint64(fs.f_blocks - fs.f_bfree) * qint64(fs.f_frsize)
                   : -1;
    }
    bool ok() const { return m_ok; }
    const char *why() const { return m_why; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    const char *m_why = "";
};

} // namespace

TEST(RestoreSpaceTest, ARestoreTheDiskHasNoRoomForIsRefusedWithTheFigures)
{
    SmallDisk disk(64 << 20);
    if (!disk.ok())
        GTEST_SKIP() << "cannot mount a small file system here (" << disk.why() << "); needs root";
    const HomePaths home(disk.path() + "/home");
    QTemporaryDir elsewhere;
    const QString backup = elsewhere.filePath("night.mdb");
    {
        Database db;
        ASSERT_TRUE(createSwitchDb(db, home.switchDb()));
        ASSERT_TRUE(addCalls(db, 3000, "padding-for-a-database-of-some-size"));
    }
    ASSERT_TRUE(BackupDatabase(home, backup).ok());
    const RestoreSpace need =
        RestoreSpaceNeeded(QFileInfo(backup).size(), QFileInfo(home.switchDb()).size(), /*rescue=*/false);
    const qint64 needed = need.dataFolder + need.homeFolder;
    ASSERT_GT(needed, 1 << 20);

    ASSERT_TRUE(disk.resize(disk.used() + needed / 2));
    const auto before = allRows(home.switchDb());
    const QStringList files = filesIn(home.root()) + filesIn(home.dataDir());
    const ToolResult refused = RestoreDatabase(home, {backup});
    EXPECT_EQ(refused.outcome, ToolOutcome::Refused) << refused.text.toStdString();
    EXPECT_TRUE(refused.text.contains(QStringLiteral("磁盘空间不足：恢复需要约 %1").arg(SizeNeededText(needed))))
        << refused.text.toStdString();
    EXPECT_TRUE(refused.text.contains(home.dataDir()));
    EXPECT_TRUE(refused.text.contains("数据库没有改动"));
    EXPECT_EQ(allRows(home.switchDb()), before);
    QStringList after = filesIn(home.root()) + filesIn(home.dataDir());
    after.removeAll("Restore.lock");
    after.removeAll("Switch.lock");
    EXPECT_EQ(after, files);

    // With the room it asked for, it goes through.
    ASSERT_TRUE(disk.resize(disk.used() + needed + (256 << 10)));
    const ToolResult done = RestoreDatabase(home, {backup});
    EXPECT_TRUE(done.ok()) << done.text.toStdString();
}

// Copies of call records that waited for the outward port or a monthly file
// when a backup was made went out long ago: a restore keeps the copies that
// wait now, never the file's; a rescue, with no current ones to read, none.
TEST_F(RestoreTest, CopiesOnTheirWayAreTheCurrentOnesNeverTheFiles)
{
    const QString db = home.paths().switchDb();
    {
        Database live;
        ASSERT_TRUE(openDb(live, db));
        ASSERT_TRUE(live.execScript(
            "CREATE TABLE OutwardPending (Seq INTEGER PRIMARY KEY AUTOINCREMENT, Record TEXT NOT NULL, KeptAt TEXT "
            "NOT NULL DEFAULT ''); CREATE TABLE CallFilePending (Seq INTEGER PRIMARY KEY AUTOINCREMENT, Path TEXT NOT "
            "NULL, Line TEXT NOT NULL); INSERT INTO OutwardPending (Record) VALUES ('$FEE,then#'); INSERT INTO "
            "CallFilePending (Path, Line) VALUES ('/calls/202612.txt', 'then')"));
    }
    const QString withCopies = home.file("with-copies.mdb");
    ASSERT_TRUE(BackupDatabase(home.paths(), withCopies).ok());
    {
        Database live;
        ASSERT_TRUE(openDb(live, db));
        ASSERT_TRUE(live.execScript("DELETE FROM OutwardPending; DELETE FROM CallFilePending; INSERT INTO "
                                    "OutwardPending (Record) VALUES ('$FEE,now#')"));
    }
    const auto now = rowsOf(db, "OutwardPending");
    for (const bool withCalls : {false, true}) {
        const ToolResult r = RestoreDatabase(home.paths(), {withCopies, withCalls, at});
        ASSERT_TRUE(r.ok()) << r.text.toStdString();
        EXPECT_EQ(rowsOf(db, "OutwardPending"), now);
        EXPECT_EQ(rowsOf(db, "CallFilePending"), QList<QStringList>());
    }
    QFile::remove(db);
    const ToolResult r = RestoreDatabase(home.paths(), {withCopies, false, at});
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    EXPECT_EQ(rowsOf(db, "OutwardPending"), QList<QStringList>());
}

// What stands in the place of a lost database is named, and a rescue works
// over it and keeps it aside: the log a killed console left beside a missing
// file (it would be played into the restored one and break it), a link to a
// disk that is not mounted, a folder.
TEST_F(RestoreTest, RescueSetsAsideWhatStandsInPlaceOfALostDatabase)
{
    const QString db = home.paths().switchDb();
    QByteArray staleLog;
    {
        Database live;
        ASSERT_TRUE(openDb(live, db));
        ASSERT_TRUE(live.exec("PRAGMA wal_autocheckpoint=0"));
        ASSERT_TRUE(addCalls(live, 200, "in-the-log-only"));
        staleLog = fileBytes(db + "-wal");
        ASSERT_GT(staleLog.size(), 0);
    }
    const auto fileRows = allRows(backup);
    const struct {
        const char *what;
        const char *says;
    } cases[] = {{"log", "数据库文件不存在"}, {"link", "失效的链接"}, {"folder", "是一个文件夹"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString what = QString::fromUtf8(c.what);
        RemoveDatabaseFiles(db);
        QDir(db).removeRecursively();
        for (const QString &f : filesIn(home.paths().dataDir())) {
            if (!f.startsWith("Switch-damaged"))
                continue;
            QDir(home.paths().dataDir() + "/" + f).removeRecursively();
            QFile::remove(home.paths().dataDir() + "/" + f);
        }
        if (what == "log")
            ASSERT_TRUE(writeFile(db + "-wal", staleLog));
        else if (what == "link")
            ASSERT_TRUE(QFile::link("/mnt/unmounted-disk/Switch.mdb", db));
        else
            ASSERT_TRUE(QDir().mkpath(db + "/lost+found"));

        const Checked<DatabaseCondition> condition = CheckDatabase(home.paths());
        ASSERT_TRUE(condition) << condition.reason().toStdString();
        EXPECT_FALSE(condition->sound());
        EXPECT_TRUE(condition->problem.contains(QString::fromUtf8(c.says))) << condition->problem.toStdString();

        const ToolResult r = restore(false);
        ASSERT_EQ(r.outcome, ToolOutcome::Done) << r.text.toStdString();
        Database d; // opened as the console opens it, which would play a log it found
        ASSERT_TRUE(openDb(d, db));
        EXPECT_EQ(IntegrityProblems(d).value_or({"not checked"}), QStringList());
        EXPECT_EQ(rowsOf(d, "PHNBill"), fileRows.value("PHNBill"));
        d.close();
        const QString aside = home.paths().dataDir() + "/Switch-damaged-20261208-093005.mdb";
        if (what == "log")
            EXPECT_EQ(fileBytes(aside + "-wal"), staleLog) << "kept aside, byte for byte";
        else if (what == "link")
            EXPECT_EQ(QFileInfo(aside).symLinkTarget(), "/mnt/unmounted-disk/Switch.mdb");
        else
            EXPECT_TRUE(QFileInfo(aside + "/lost+found").isDir());
        EXPECT_TRUE(r.text.contains(aside)) << r.text.toStdString();
    }
}

// Copies of replaced databases named and written by a clock that was ahead
// (set right since): by name and by time they look newer than the copy this
// restore makes, yet the copy its message names is the one that stays.
TEST_F(RestoreTest, TheCopyARestoreNamesStaysWhateverTheClockDid)
{
    for (const char *name :
         {"Quessel-20991231-230000.mdb", "Quessel-20991231-230100.mdb", "Quessel-20991231-230200.mdb"}) {
        ASSERT_TRUE(writeFile(home.file(QString::fromUtf8(name)), "copy"));
        QFile f(home.file(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(10), QFileDevice::FileModificationTime));
    }
    const ToolResult r = restore(false);
    ASSERT_TRUE(r.ok()) << r.text.toStdString();
    const QString named = home.file("Quessel-20261208-093005.mdb");
    EXPECT_TRUE(r.text.contains(named)) << r.text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(named));
    EXPECT_EQ(copies().size(), 3);
}
