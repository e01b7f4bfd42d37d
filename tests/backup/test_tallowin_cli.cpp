#include "BackupFixture.h"
#include "HomeLock.h"
#include "Restore.h"
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/resource.h>

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
ToolRun tallowin(const QStringList &args, rlim_t fileSizeLimit = 0)
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
    r.finished = p.waitForStarted() && p.waitForFinished(60000);
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
    const ToolRun keep = tallowin(homeArgs() << "--restore" << home.file("night.mdb"));
    EXPECT_EQ(keep.code, 0) << keep.err.toStdString();
    EXPECT_TRUE(keep.out.contains("保留当前话单 5 条")) << keep.out.toStdString();
    EXPECT_EQ(rowsOf(home.paths().switchDb(), "PHNBill"), calls);

    const ToolRun take = tallowin(homeArgs() << "--restore" << home.file("night.mdb") << "--with-calls");
    EXPECT_EQ(take.code, 0) << take.err.toStdString();
    EXPECT_EQ(rowsOf(home.paths().switchDb(), "PHNBill").size(), 3);
    EXPECT_TRUE(take.out.contains("Quessel.mdb"));
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
        {homeArgs() << "--restore" << home.file("notes.mdb"), 1, "数据库没有改动"},
        {homeArgs() << "--restore" << home.file("absent.mdb"), 1, "文件不存在"},
        {homeArgs() << "--backup" << home.file("no/such/folder/x.mdb"), 1, "文件夹不存在"},
        {{"--home", home.file("empty-home"), "--backup", home.file("x.mdb")}, 1, "数据库打开错误，请确认数据库存在！"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--restore" << home.file("a.mdb"), 2, "--backup"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--with-calls", 2, "--with-calls"},
        {homeArgs() << "--backup" << home.file("a.mdb") << "--frobnicate", 2, "frobnicate"},
    };
    for (const auto &c : cases) {
        const ToolRun r = tallowin(c.args);
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
    const ToolRun r = tallowin(homeArgs() << "--restore" << home.file("night.mdb"));
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

TEST_F(CliTest, FullDiskDuringTheCopyLeavesEverythingAsItWas)
{
    ASSERT_TRUE(grow(3000));
    const qint64 size = QFileInfo(home.paths().switchDb()).size();
    ASSERT_GT(size, 200 * 1024);
    ASSERT_TRUE(writeFile(home.file("night.mdb"), "last night's backup"));
    const rlim_t limit = rlim_t(size / 3);

    const ToolRun backup = tallowin(homeArgs() << "--backup" << home.file("night.mdb"), limit);
    ASSERT_TRUE(backup.finished);
    EXPECT_EQ(backup.status, QProcess::NormalExit) << "reported, not killed by the size limit";
    EXPECT_EQ(backup.code, 1);
    EXPECT_TRUE(backup.err.contains("备份失败")) << backup.err.toStdString();
    EXPECT_EQ(fileBytes(home.file("night.mdb")), QByteArray("last night's backup"));

    ASSERT_EQ(tallowin(homeArgs() << "--backup" << home.file("good.mdb")).code, 0);
    const QStringList before = filesIn(home.root());
    const QByteArray db = fileBytes(home.paths().switchDb());
    const QStringList dataBefore = filesIn(home.paths().dataDir());
    const ToolRun restore = tallowin(homeArgs() << "--restore" << home.file("good.mdb"), limit);
    EXPECT_EQ(restore.status, QProcess::NormalExit);
    EXPECT_EQ(restore.code, 1);
    EXPECT_TRUE(restore.err.contains("数据库没有改动")) << restore.err.toStdString();
    EXPECT_EQ(fileBytes(home.paths().switchDb()), db);
    EXPECT_EQ(filesIn(home.root()), before);
    QStringList dataAfter = filesIn(home.paths().dataDir());
    dataAfter.removeAll("Switch.lock");
    QStringList dataExpected = dataBefore;
    dataExpected.removeAll("Switch.lock");
    EXPECT_EQ(dataAfter, dataExpected);
}
