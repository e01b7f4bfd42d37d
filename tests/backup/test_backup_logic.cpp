#include "Backup.h"
#include "BackupFixture.h"
#include "ConsoleContext.h"
#include "DatabaseCopy.h"
#include "HomeLock.h"
#include "Restore.h"
#include "Schema.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
    EXPECT_EQ(IntegrityProblem(copy), QString());
}

TEST_F(BackupTest, TargetNameGetsTheSuffix)
{
    const struct {
        const char *chosen;
        const char *target;
    } cases[] = {
        {"/tmp/a", "/tmp/a.mdb"},
        {"/tmp/a.mdb", "/tmp/a.mdb"},
        {"/tmp/a.MDB", "/tmp/a.MDB"},
        {"  /tmp/b.Mdb  ", "/tmp/b.Mdb"},
        {"/tmp/a.mdb.old", "/tmp/a.mdb.old.mdb"},
        {"   ", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BackupTargetName(QString::fromUtf8(c.chosen)), QString::fromUtf8(c.target)) << c.chosen;
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

TEST_F(BackupTest, MissingDatabaseIsAnOpenError)
{
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
        return RestoreDatabase(home.paths(), {backup, withCalls}, p);
    }

    bool noScratchLeft() const
    {
        for (const QString &folder : {home.paths().dataDir(), home.root()})
            for (const QString &f : filesIn(folder))
                if (f.contains("restoring") || f.startsWith('.') || f.endsWith("-wal") || f.endsWith("-journal"))
                    return false;
        return true;
    }

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

    EXPECT_FALSE(QFileInfo::exists(home.paths().quessel()));
    EXPECT_TRUE(noScratchLeft());
    EXPECT_FALSE(QFileInfo::exists(db + "-wal"));
    EXPECT_EQ(fileBytes(backup), backupBytes) << "the chosen file is only read";
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
    EXPECT_EQ(rowsOf(db, "Foregift"), fileRows.value("Foregift"));
    EXPECT_EQ(rowsOf(db, "SWTConfig"), fileRows.value("SWTConfig"));
    EXPECT_EQ(rowsOf(db, "OPRec"), before.value("OPRec")) << "usage rows are never cut back";
    EXPECT_EQ(rowsOf(db, CallIntakeSeenTable()), fileRows.value(CallIntakeSeenTable()));
    // The day's calls are still in the copy made before.
    EXPECT_EQ(allRows(home.paths().quessel()), before);
    EXPECT_EQ(modeOf(home.paths().quessel()), 0600);
    EXPECT_TRUE(r.text.contains(home.paths().quessel()));
}

TEST_F(RestoreTest, EarlierBackupWithoutTheConsolesOwnTableIsBroughtUpToDate)
{
    // A backup from before the intake kept its table, and without indexes.
    {
        Database old;
        ASSERT_TRUE(openDb(old, backup));
        ASSERT_TRUE(old.exec(QStringLiteral("DROP TABLE %1").arg(Database::quoteId(CallIntakeSeenTable()))));
        ASSERT_TRUE(old.exec("DROP INDEX \"idx_PHNBill_结束时间\""));
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
        EXPECT_EQ(d.scalar("SELECT count(*) FROM sqlite_master WHERE name='idx_PHNBill_结束时间'").value_or(""), "1");
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
    {
        Database print;
        ASSERT_TRUE(print.open(dir + "/print.mdb", QByteArray(), Database::OpenMode::Create));
        ASSERT_TRUE(createSchema(print, printTables()));
        Database foreign;
        ASSERT_TRUE(foreign.open(dir + "/otherkey.mdb", "not ours", Database::OpenMode::Create));
        ASSERT_TRUE(createSchema(foreign, switchTables()));
        for (const char *name : {"/nouser.mdb", "/extracol.mdb"})
            ASSERT_TRUE(QFile::copy(backup, dir + QString::fromUtf8(name)));
        Database noUser;
        ASSERT_TRUE(openDb(noUser, dir + "/nouser.mdb"));
        ASSERT_TRUE(noUser.exec("DROP TABLE \"User\""));
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
        {"/notes.mdb", "不能用本系统的数据库密码打开"},
        {"/print.mdb", "不能用本系统的数据库密码打开"},
        {"/otherkey.mdb", "不能用本系统的数据库密码打开"},
        {"/nouser.mdb", "缺少表 User"},
        {"/extracol.mdb", "PHNBill"},
        {"/missing.mdb", "文件不存在"},
    };
    const QByteArray dbBytes = fileBytes(db);
    const auto rows = allRows(db);
    for (const auto &c : cases) {
        for (bool withCalls : {false, true}) {
            const ToolResult r = RestoreDatabase(home.paths(), {dir + QString::fromUtf8(c.file), withCalls});
            EXPECT_EQ(r.outcome, ToolOutcome::Refused) << c.file << " " << r.text.toStdString();
            EXPECT_TRUE(r.text.contains(QString::fromUtf8(c.says))) << r.text.toStdString();
            EXPECT_TRUE(r.text.contains("数据库没有改动")) << r.text.toStdString();
            EXPECT_EQ(fileBytes(db), dbBytes) << c.file;
            EXPECT_EQ(fileBytes(home.paths().quessel()), QByteArray("earlier copy")) << c.file;
            EXPECT_TRUE(noScratchLeft()) << c.file;
        }
    }
    EXPECT_EQ(allRows(db), rows);
    Database still;
    ASSERT_TRUE(openDb(still, db));
    EXPECT_TRUE(schemaProblems(still, switchTables()).isEmpty());
}

TEST_F(RestoreTest, FailureWhileWritingPutsTheDatabaseBack)
{
    ASSERT_TRUE(growDatabase(home.paths()));
    ASSERT_TRUE(BackupDatabase(home.paths(), backup).ok());
    workAfterTheBackup();
    const QString db = home.paths().switchDb();
    const auto before = allRows(db);
    // The write into the database stops half-way, as when the disk fills.
    bool stopped = false;
    const ToolResult r = restore(false, [&](const QString &step, qint64 done, qint64 total) {
        if (step == "写入数据库" && done > 0 && done < total && !stopped) {
            stopped = true;
            return false;
        }
        return true;
    });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(r.outcome, ToolOutcome::PutBack) << r.text.toStdString();
    EXPECT_TRUE(r.text.contains("复原")) << r.text.toStdString();
    EXPECT_EQ(allRows(db), before);
    Database d;
    ASSERT_TRUE(openDb(d, db));
    EXPECT_EQ(IntegrityProblem(d), QString());
    EXPECT_TRUE(addCalls(d, 1, "after")) << "usable at once";
    EXPECT_TRUE(QFileInfo::exists(home.paths().quessel())) << "the copy stays after a failure";
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
    EXPECT_FALSE(QFileInfo::exists(home.paths().quessel()));
    EXPECT_TRUE(restore(false).ok()) << "once they are gone";
}

TEST_F(RestoreTest, DatabaseThatCannotBeOpenedIsAnOpenError)
{
    const QString db = home.paths().switchDb();
    ASSERT_TRUE(writeFile(db, "damaged"));
    const ToolResult r = restore(false);
    EXPECT_EQ(r.outcome, ToolOutcome::OpenError);
    EXPECT_EQ(fileBytes(db), QByteArray("damaged"));
    QFile::remove(db);
    EXPECT_EQ(restore(true).outcome, ToolOutcome::OpenError);
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
    EXPECT_EQ(rowsOf(home.paths().quessel(), "PHNBill"), calls);
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
    const QStringList fds = QDir("/proc/self/fd").entryList(QDir::Files | QDir::System);
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
    EXPECT_TRUE(second.acquire(home.paths()));
    child.write("done\n");
    child.closeWriteChannel();
    EXPECT_TRUE(child.waitForFinished());
}
