#include "BackupFixture.h"
#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "Operators.h"
#include "PasswordHash.h"
#include "Recordset.h"
#include "Restore.h"
#include "RestoreNotice.h"
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

struct ToolRun {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QString out;
    QString err;
};

// Runs the built tallowin without a display; `fileSizeLimit` > 0 limits the
// size of every file it writes, as a full disk would.
ToolRun tallowin(const QStringList &args, rlim_t fileSizeLimit = 0, const QByteArray &input = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.remove("CORVANE_HOME");
    p.setProcessEnvironment(env);
    if (fileSizeLimit > 0)
        p.setChildProcessModifier([fileSizeLimit] {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    p.start(QStringLiteral(TALLOWIN_PATH), args);
    ToolRun r;
    if (!p.waitForStarted())
        return r;
    // What an operator types (standard input is no terminal here).
    p.write(input);
    p.closeWriteChannel();
    r.finished = p.waitForFinished(60000);
    r.status = p.exitStatus();
    r.code = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.ok()); }
    QStringList homeArgs() const { return {"--home", home.root()}; }
    // A restore of `file` by the administrator, whose password is `admin`.
    QStringList restoreArgs(const QString &file) const
    {
        return homeArgs() << "--restore" << file << "--operator" << LoginState::administratorName();
    }
    static inline const QByteArray admin = "admin\n";

    bool grow(int calls)
    {
        Database db;
        return openDb(db, home.paths().switchDb()) && addCalls(db, calls, "padding-for-a-database-of-some-size");
    }

    BackupHome home;
};

} // namespace

TEST_F(CliTest, BackupAndRestoreWithTheirExitCodes)
{
    const ToolRun backup = tallowin(homeArgs() << "--backup" << home.file("night"));
    ASSERT_TRUE(backup.finished);
    EXPECT_EQ(backup.status, QProcess::NormalExit);
    EXPECT_EQ(backup.code, 0) << backup.err.toStdString();
    EXPECT_TRUE(backup.out.contains(home.file("night.mdb"))) << backup.out.toStdString();
    ASSERT_TRUE(QFileInfo::exists(home.file("night.mdb")));

    {
        Database db;
        ASSERT_TRUE(openDb(db, home.paths().switchDb()));
        ASSERT_TRUE(addCalls(db, 2, "today"));
    }
    const auto calls = rowsOf(home.paths().switchDb(), "PHNBill");
    const ToolRun keep = tallowin(restoreArgs(home.file("night.mdb")), 0, admin);
    EXPECT_EQ(keep.code, 0) << keep.err.toStdString();
    EXPECT_TRUE(keep.out.contains("保留当前话单 5 条")) << keep.out.toStdString();
    EXPECT_EQ(rowsOf(home.paths().switchDb(), "PHNBill"), calls);

    const ToolRun take = tallowin(restoreArgs(home.file("night.mdb")) << "--with-calls", 0, admin);
    EXPECT_EQ(take.code, 0) << take.err.toStdString();
    EXPECT_EQ(rowsOf(home.paths().switchDb(), "PHNBill").size(), 3);
    EXPECT_TRUE(take.out.contains(home.file("Quessel-"))) << "says where the replaced database is kept";
}

TEST_F(CliTest, FailuresEndNonZeroAndSayWhy)
{
    ASSERT_TRUE(writeFile(home.file("notes.mdb"), "just text"));
    const QByteArray db = fileBytes(home.paths().switchDb());
    const struct {
        QStringList args;
        int code;
        const char *says;
    } cases[] = {
        {restoreArgs(home.file("notes.mdb")), 1, "数据库没有改动"},
        {restoreArgs(home.file("absent.mdb")), 1, "文件不存在"},
        {homeArgs() << "--backup" << home.file("no/such/folder/x.mdb"), 1, "不存在"},
        {{"--home", home.file("empty-home"), "--backup", home.file("x.mdb")}, 1, "数据库打开错误，请确认数据库存在！"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--restore" << home.file("a.mdb"), 2, "--backup"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--with-calls", 2, "--with-calls"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--frobnicate", 2, "frobnicate"},
        // --keep prunes a folder of dated backups: the name is a folder,
        // which is made only when asked.
        {homeArgs() << "--backup" << home.file("a.mdb") << "--keep"
                    << "2",
         1, "--mkdir"},
        {homeArgs() << "--backup" << home.file("nightly/") << "--keep"
                    << "0",
         2, "--keep"},
        {homeArgs() << "--restore" << home.file("notes.mdb") << "--keep"
                    << "2",
         2, "--keep"},
    };
    for (const auto &c : cases) {
        const ToolRun r = tallowin(c.args, 0, admin);
        ASSERT_TRUE(r.finished) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.status, QProcess::NormalExit);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_EQ(fileBytes(home.paths().switchDb()), db);
    EXPECT_FALSE(QFileInfo::exists(home.file("x.mdb")));
    EXPECT_FALSE(QFileInfo::exists(home.file("a.mdb")));
}

TEST_F(CliTest, RestoreRefusedWhileTheConsoleHoldsTheHome)
{
    ASSERT_EQ(tallowin(homeArgs() << "--backup" << home.file("night.mdb")).code, 0);
    const QByteArray db = fileBytes(home.paths().switchDb());
    HomeLock console;
    ASSERT_TRUE(console.acquire(home.paths()));
    const ToolRun r = tallowin(restoreArgs(home.file("night.mdb")), 0, admin);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("请先退出监控软件")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(home.paths().switchDb()), db);
    // A backup needs no lock: it is consistent while the console runs.
    EXPECT_EQ(tallowin(homeArgs() << "--backup" << home.file("while-running.mdb")).code, 0);
}

TEST_F(CliTest, BackupWhileTheConsoleHoldsAnUnmergedLog)
{
    Database console;
    ASSERT_TRUE(openDb(console, home.paths().switchDb()));
    ASSERT_TRUE(console.exec("PRAGMA wal_autocheckpoint=0"));
    ASSERT_TRUE(addCalls(console, 40, "unmerged"));
    const ToolRun r = tallowin(homeArgs() << "--backup" << home.file("hot.mdb"));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(rowsOf(home.file("hot.mdb"), "PHNBill"), rowsOf(console, "PHNBill"));
}

// A full disk (a file-size limit in the tool's process) at each stage of a
// restore: reading the chosen file in, copying the current database aside,
// writing into the database. Each says which step failed and its first
// error, never blames a good backup, and leaves the database as it was.
TEST_F(CliTest, FullDiskAtEachStageSaysWhereAndWhyAndChangesNothing)
{
    const QString db = home.paths().switchDb();
    ASSERT_EQ(tallowin(homeArgs() << "--backup" << home.file("small.mdb")).code, 0);
    ASSERT_TRUE(grow(3000));
    ASSERT_EQ(tallowin(homeArgs() << "--backup" << home.file("large.mdb")).code, 0);
    const qint64 small = QFileInfo(home.file("small.mdb")).size();
    const qint64 large = QFileInfo(home.file("large.mdb")).size();
    ASSERT_GT(large, 10 * small);

    // A backup: the old one stays.
    ASSERT_TRUE(writeFile(home.file("night.mdb"), "last night's backup"));
    const ToolRun backup = tallowin(homeArgs() << "--backup" << home.file("night.mdb"), rlim_t(large / 3));
    ASSERT_TRUE(backup.finished);
    EXPECT_EQ(backup.status, QProcess::NormalExit) << "reported, not killed by the size limit";
    EXPECT_EQ(backup.code, 1);
    EXPECT_TRUE(backup.err.contains("备份失败")) << backup.err.toStdString();
    EXPECT_EQ(fileBytes(home.file("night.mdb")), QByteArray("last night's backup"));

    auto restoreFails = [&](const QString &file, const QStringList &extra, rlim_t limit,
                            const char *step) -> QStringList {
        SCOPED_TRACE(step);
        const auto rows = allRows(db);
        const QByteArray bytes = fileBytes(db);
        const QStringList copiesBefore = DatedFiles(home.root(), QuesselPrefix());
        const ToolRun r = tallowin(restoreArgs(file) << extra, limit, admin);
        EXPECT_TRUE(r.finished);
        EXPECT_EQ(r.status, QProcess::NormalExit);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(step))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("File too large") || r.err.contains("disk I/O error")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("损坏")) << "a good backup is not blamed";
        EXPECT_TRUE(r.err.contains("数据库没有改动")) << r.err.toStdString();
        EXPECT_EQ(allRows(db), rows);
        EXPECT_EQ(fileBytes(db), bytes);
        for (const QString &f : filesIn(home.root()) + filesIn(home.paths().dataDir()))
            EXPECT_FALSE(f.startsWith('.') || f.contains("restoring") || f.endsWith("-journal")) << f.toStdString();
        return DatedFiles(home.root(), QuesselPrefix()).mid(copiesBefore.size());
    };
    // Reading the large file in.
    EXPECT_TRUE(restoreFails(home.file("large.mdb"), {}, rlim_t(large / 2), "读取所选文件").isEmpty());
    // Copying the large database aside, the small file read in.
    EXPECT_TRUE(restoreFails(home.file("small.mdb"), {}, rlim_t(large / 2), "保存当前数据库").isEmpty());

    // Writing into a small database: its log outgrows the large file it takes.
    ASSERT_EQ(tallowin(restoreArgs(home.file("small.mdb")) << "--with-calls", 0, admin).code, 0);
    for (const QString &copy : DatedFiles(home.root(), QuesselPrefix()))
        QFile::remove(copy);
    const auto current = allRows(db);
    const QStringList copy =
        restoreFails(home.file("large.mdb"), {"--with-calls"}, rlim_t(large + large / 100), "写入数据库");
    // The write never reached the database: its copy is left as made.
    ASSERT_EQ(copy.size(), 1);
    EXPECT_EQ(allRows(copy.first()), current);
    EXPECT_FALSE(QFileInfo::exists(copy.first() + "-wal"));
    EXPECT_FALSE(QFileInfo::exists(copy.first() + "-shm"));
}

// Backups into a folder by date, the newest kept; the database lost, cut
// short, then with a page overwritten, and each time brought back from the
// newest backup with the command a new user is shown.
TEST_F(CliTest, DatedBackupsAndARescueRestoreOfALostOrDamagedDatabase)
{
    const QString folder = home.file("backups/");
    for (int i = 0; i < 3; ++i) {
        const ToolRun r = tallowin(homeArgs() << "--backup" << folder << "--mkdir"
                                              << "--keep"
                                              << "2");
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    const QStringList kept = DatedFiles(folder, BackupPrefix());
    ASSERT_EQ(kept.size(), 2) << filesIn(folder).join(' ').toStdString();
    QStringList names{QFileInfo(kept[0]).fileName(), QFileInfo(kept[1]).fileName()};
    names.sort();
    EXPECT_EQ(filesIn(folder), names) << "nothing hidden, nothing else";
    EXPECT_TRUE(QFileInfo(kept[1]).fileName().contains(QRegularExpression("^Switch-\\d{8}-\\d{6}(-\\d+)?\\.mdb$")));

    const QString db = home.paths().switchDb();
    const auto rows = allRows(db);
    enum { Missing, Truncated, OverwrittenPage };
    for (int damage : {Missing, Truncated, OverwrittenPage}) {
        QFile f(db);
        if (damage == Missing) {
            ASSERT_TRUE(f.remove());
        } else if (damage == Truncated) {
            ASSERT_TRUE(f.resize(f.size() / 2));
        } else {
            ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2 / 1024 * 1024));
            ASSERT_EQ(f.write(QByteArray(1024, 'Z')), 1024);
            f.close();
        }
        const ToolRun r = tallowin(restoreArgs(kept[1]), 0, admin);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        {
            // The restore leaves the console its note.
            Database restored;
            ASSERT_TRUE(restored.open(db, HomeDatabaseKey(home.paths()).value()));
            const auto notice = RestoreNotice::take(restored);
            ASSERT_TRUE(notice && *notice) << damage;
            EXPECT_EQ((*notice)->file, kept[1]);
        }
        // Everything as backed up, but for the usage row of the restore itself.
        auto restored = allRows(db);
        restored.remove(RestoreNotice::Table);
        const auto usage = restored.take("OPRec");
        auto expected = rows;
        expected.remove("OPRec");
        EXPECT_TRUE(restored == expected) << damage;
        EXPECT_TRUE(usage.value(usage.size() - 1).value(2).contains("恢复数据库：命令行")) << damage;
        const QStringList aside = DatedFiles(home.paths().dataDir(), DamagedPrefix());
        EXPECT_EQ(aside.size(), damage) << "each damaged file kept";
        if (damage != Missing) {
            EXPECT_TRUE(r.out.contains(aside.value(damage - 1))) << r.out.toStdString();
        }
    }
}

// A backup carries its home's key: another home opens it only with the
// recovery key of the home it comes from, asked for (here on standard
// input); a wrong key or none changes nothing. A backup made before homes had
// keys of their own opens without one. The restored database has the key of
// the home it is restored into.
TEST_F(CliTest, ABackupOfAnotherHomeAsksForItsRecoveryKey)
{
    BackupHome other;
    ASSERT_TRUE(other.ok());
    const QString older = home.file("older.mdb");
    ASSERT_EQ(tallowin({"--home", other.root(), "--backup", older}).code, 0) << "made with the program-wide key";
    const QString recovery = SettleHomeKey(other.paths()).value();
    ASSERT_FALSE(recovery.isEmpty());
    const QString theirs = home.file("theirs.mdb");
    ASSERT_EQ(tallowin({"--home", other.root(), "--backup", theirs}).code, 0);
    ASSERT_FALSE(SettleHomeKey(home.paths()).value().isEmpty());
    const QByteArray ownKey = HomeDatabaseKey(home.paths()).value();
    const QString ownRecovery = RecoveryKeyText(ownKey);
    const QByteArray before = fileBytes(home.paths().switchDb());

    for (const QByteArray &typed : {QByteArray(), ownRecovery.toLatin1() + "\n", QByteArray("not a key\n")}) {
        const ToolRun r = tallowin(restoreArgs(theirs), 0, admin + typed);
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("恢复密钥")) << r.err.toStdString();
        EXPECT_EQ(fileBytes(home.paths().switchDb()), before);
    }
    // Typed as a person types it: small letters, spaces for the dashes.
    const ToolRun r = tallowin(restoreArgs(theirs), 0, admin + recovery.toLower().replace('-', ' ').toUtf8() + "\n");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    Database db;
    ASSERT_TRUE(openDb(db, home.paths().switchDb(), ownKey));
    EXPECT_FALSE(openDb(db, home.paths().switchDb(), KeyFromRecoveryKey(recovery).value()));

    const ToolRun legacy = tallowin(restoreArgs(older), 0, admin);
    EXPECT_EQ(legacy.code, 0) << legacy.err.toStdString();
    EXPECT_FALSE(legacy.err.contains("恢复密钥"));
    EXPECT_TRUE(openDb(db, home.paths().switchDb(), ownKey));
}

// Backups a site can count on. A folder on a disk that is not mounted is
// refused, slash or not, and named with its likely cause, never made on the
// system disk unless asked for; a device is no target. "Keep the newest N"
// goes by the time each backup was written: with the clock behind older
// names, the backup just written stays and so does the newest of the others.
// Every run leaves its outcome in the home.
TEST_F(CliTest, BackupsASiteCanCountOn)
{
    const QString mountPoint = home.file("mnt/usb");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    for (const QString &target : {mountPoint + "/corvane/", mountPoint + "/corvane"}) {
        const ToolRun r = tallowin(homeArgs() << "--backup" << target << "--keep"
                                              << "14");
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("不存在") && r.err.contains("挂载") && r.err.contains("--mkdir"))
            << r.err.toStdString();
        EXPECT_TRUE(filesIn(mountPoint).isEmpty()) << "nothing made under the empty mount point";
    }
    const ToolRun device = tallowin(homeArgs() << "--backup"
                                               << "/dev/null");
    EXPECT_EQ(device.code, 1);
    EXPECT_TRUE(device.err.contains("设备")) << device.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists("/dev/null.mdb"));
    BackupStatus status = ReadBackupStatus(home.paths());
    ASSERT_TRUE(status.last);
    EXPECT_FALSE(status.last->ok);
    EXPECT_EQ(status.last->how, "命令行");
    EXPECT_FALSE(status.lastGood);

    // Three backups dated in the future by a clock that was ahead, the one
    // with the latest name written first.
    const QString folder = mountPoint + "/corvane";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList future = {folder + "/Switch-20991231-230000.mdb", folder + "/Switch-20991231-230100.mdb",
                                folder + "/Switch-20991231-230200.mdb"};
    const QDateTime written[] = {QDateTime::currentDateTime().addDays(-3), QDateTime::currentDateTime().addDays(-5),
                                 QDateTime::currentDateTime().addDays(-7)};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(writeFile(future[i], "backup"));
        QFile f(future[i]);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(written[i], QFileDevice::FileModificationTime));
    }
    const ToolRun r = tallowin(homeArgs() << "--backup" << folder << "--keep"
                                          << "2"
                                          << "--scheduled");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList kept = DatedFiles(folder, BackupPrefix());
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept.last(), future[0]) << "the newest written of the others";
    EXPECT_TRUE(r.out.contains(kept.first())) << "the one just written: " << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("已删除较早的备份") && r.out.contains(future[1]) && r.out.contains(future[2]))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("时钟")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("同一块磁盘")) << r.out.toStdString();
    status = ReadBackupStatus(home.paths());
    ASSERT_TRUE(status.lastGood);
    EXPECT_EQ(status.lastGood->file, kept.first());
    EXPECT_EQ(status.last->how, "定时");
    EXPECT_EQ(QFileInfo(BackupStatusFile(home.paths())).permissions() & 0x0077, 0) << "group and others: nothing";

    // The timer's default, the home's own backups/, is missing in a home
    // older than it: on the database's disk whatever is mounted, so made.
    ASSERT_FALSE(QFileInfo::exists(home.paths().backupsDir()));
    const ToolRun own = tallowin(homeArgs() << "--backup" << home.paths().backupsDir() + "/"
                                            << "--keep"
                                            << "14"
                                            << "--scheduled");
    EXPECT_EQ(own.code, 0) << own.err.toStdString();
    EXPECT_EQ(DatedFiles(home.paths().backupsDir(), BackupPrefix()).size(), 1);
    EXPECT_EQ(QFileInfo(home.paths().backupsDir()).permissions() & 0x0077, 0);
}

// A restore is an operator's act: one holding "参数备份与恢复" gives name and
// password, and the usage record names them. A wrong password, a name with
// no row, nothing typed and an operator without the right are refused and
// change nothing. The nightly backup needs nobody. A rescue onto a lost
// database has no operator to check: only the system user owning the home may.
TEST_F(CliTest, ARestoreNeedsAnOperatorHoldingRightEight)
{
    const QString db = home.paths().switchDb();
    const ToolRun backup = tallowin(homeArgs() << "--backup" << home.file("night.mdb"));
    ASSERT_EQ(backup.code, 0) << backup.err.toStdString();
    {
        // 值班员 holds every right but the backup tool's.
        Database d;
        ASSERT_TRUE(openDb(d, db));
        QStringList row{"值班员", PasswordHash::hash("duty").value()};
        for (int i = 0; i < LoginState::RightCount; ++i)
            row << (i == RightIndex(Right::Backup) ? "0" : "1");
        row << "0"
            << "0"
            << "0"
            << "0";
        Recordset op = Recordset::forAppend(d, "OP");
        ASSERT_TRUE(WriteRecord(op, true, row));
    }
    const auto rows = allRows(db);
    const QStringList plain = homeArgs() << "--restore" << home.file("night.mdb");
    const struct {
        QStringList args;
        QByteArray typed;
        const char *says;
    } refused[] = {
        {plain, "", "错误的密码！"},
        {plain, "管理员\nadmni\n", "错误的密码！"},
        {plain, "nobody\nadmin\n", "错误的密码！"},
        {plain, "值班员\nadmin\n", "错误的密码！"},
        {plain, "值班员\nduty\n", "操作员“值班员”没有“参数备份与恢复”的权限"},
        {restoreArgs(home.file("night.mdb")), "duty\n", "错误的密码！"},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.typed.toStdString());
        const ToolRun r = tallowin(c.args, 0, c.typed);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("恢复未进行") && r.err.contains("数据库没有改动")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_EQ(allRows(db), rows);
        EXPECT_TRUE(DatedFiles(home.root(), QuesselPrefix()).isEmpty()) << "not even the copy before a restore";
    }

    // Granted the right, the same operator restores; the record names them.
    {
        Database d;
        ASSERT_TRUE(openDb(d, db));
        ASSERT_TRUE(d.exec("UPDATE \"OP\" SET \"参数备份与恢复\" = '1' WHERE \"用户名\" = '值班员'"));
    }
    const int usageBefore = rowsOf(db, "OPRec").size();
    const ToolRun ok = tallowin(plain, 0, "值班员\nduty\n");
    ASSERT_EQ(ok.code, 0) << ok.err.toStdString();
    const auto usage = rowsOf(db, "OPRec");
    ASSERT_EQ(usage.size(), usageBefore + 1);
    EXPECT_EQ(usage.last().value(1), OperatorRecordSerial(usageBefore + 1));
    EXPECT_TRUE(usage.last().value(2).startsWith("值班员（恢复数据库：命令行，系统用户 "))
        << usage.last().value(2).toStdString();
    EXPECT_TRUE(usage.last().value(3).contains(QRegularExpression("^\\d{4}年\\d\\d月\\d\\d日\\d\\d:\\d\\d:\\d\\d$")));

    // The database lost: nobody to check against. Refused to a user who does
    // not own the home (only root can play one here), allowed to its owner.
    ASSERT_TRUE(QFile::remove(db));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(home.root()).constData(), 65534, 65534), 0);
        const ToolRun other = tallowin(plain, 0, "值班员\nduty\n");
        EXPECT_EQ(other.code, 1);
        EXPECT_TRUE(other.err.contains("只有本系统的所有者")) << other.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(db));
        ASSERT_EQ(::chown(QFile::encodeName(home.root()).constData(), 0, 0), 0);
    }
    const ToolRun rescue = tallowin(plain);
    ASSERT_EQ(rescue.code, 0) << rescue.err.toStdString();
    EXPECT_TRUE(rescue.err.contains("无法核对操作员")) << rescue.err.toStdString();
    EXPECT_TRUE(rowsOf(db, "OPRec").last().value(2).contains("（恢复数据库：命令行，原数据库无法读取）"));

    // The nightly backup still runs with nothing typed.
    const ToolRun nightly = tallowin(homeArgs() << "--backup" << home.file("backups/") << "--scheduled");
    EXPECT_EQ(nightly.code, 0) << nightly.err.toStdString();
}
