// The key of a home's database: a key of its own, written as a recovery key,
// and the re-key of a home that has the program-wide key of earlier versions.
#include "Database.h"
#include "HomeKey.h"
#include "TestHome.h"
#include "TestStatus.h"
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;

namespace {

int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// Every row of every table, in rowid order; empty when the key does not open it.
QStringList contentOf(const QString &path, const QByteArray &key)
{
    Database db;
    if (!db.open(path, key))
        return {};
    QStringList all;
    const auto tables = db.select("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
    for (const QStringList &t : tables.value_or({}))
        for (const QStringList &r :
             db.select("SELECT rowid, * FROM " + Database::quoteId(t.value(0)) + " ORDER BY rowid").value_or({}))
            all << t.value(0) + ": " + r.join('|');
    return all;
}

class HomeKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(paths.dataDir()));
        Database db;
        ASSERT_TRUE(test::Ok(db.open(paths.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create)));
        ASSERT_TRUE(db.exec("CREATE TABLE t (a TEXT)"));
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(db.exec("INSERT INTO t VALUES (?)", {QStringLiteral("第%1行").arg(i)}));
        before = contentOf(paths.switchDb(), LegacyDatabaseKey());
        ASSERT_EQ(before.size(), 50);
    }

    test::TestHome home;
    HomePaths paths{home.path()};
    QStringList before;
};

} // namespace

TEST(RecoveryKey, TypedAsTheOperatorReadsIt)
{
    const QByteArray key = NewDatabaseKey();
    EXPECT_EQ(key.size(), 40);
    EXPECT_NE(NewDatabaseKey(), key) << "random";
    const QString text = RecoveryKeyText(key);
    EXPECT_EQ(text.size(), 47);
    EXPECT_EQ(text.count('-'), 7);
    EXPECT_EQ(KeyFromRecoveryKey(text), key);
    // Case, spaces, dashes and the letters that look like digits do not matter.
    QString sloppy = text.toLower().replace('-', ' ');
    sloppy.replace('0', 'o').replace('1', 'l');
    EXPECT_EQ(KeyFromRecoveryKey(sloppy), key);
    EXPECT_FALSE(KeyFromRecoveryKey(text.left(46)));
    EXPECT_FALSE(KeyFromRecoveryKey(text.left(46) + "U")) << "no U in the alphabet";
    EXPECT_FALSE(KeyFromRecoveryKey("vosquirnel"));
}

// An older home gets a key of its own at its start: every row stays, the
// program-wide key opens it no more, the key file is its owner's alone and
// holds the recovery key that was shown.
TEST_F(HomeKeyTest, AnOlderHomeIsReKeyedWithNothingLost)
{
    EXPECT_EQ(HomeDatabaseKey(paths).value(), LegacyDatabaseKey());
    const Checked<QString> recovery = SettleHomeKey(paths);
    ASSERT_TRUE(recovery) << recovery.reason().toStdString();
    ASSERT_FALSE(recovery->isEmpty());
    const QByteArray key = HomeDatabaseKey(paths).value();
    EXPECT_EQ(KeyFromRecoveryKey(*recovery), key);
    EXPECT_EQ(modeOf(DatabaseKeyFile(paths)), 0600);
    EXPECT_EQ(contentOf(paths.switchDb(), key), before);
    EXPECT_TRUE(contentOf(paths.switchDb(), LegacyDatabaseKey()).isEmpty());
    EXPECT_FALSE(QFile::exists(NewDatabaseKeyFile(paths)));

    // Once is enough: the next start leaves it alone and shows nothing.
    EXPECT_EQ(SettleHomeKey(paths).value(), QString());
    EXPECT_EQ(HomeDatabaseKey(paths).value(), key);

    // A key file that cannot be read is named, never replaced by another key.
    ASSERT_TRUE(QFile::resize(DatabaseKeyFile(paths), 10));
    const auto broken = HomeDatabaseKey(paths);
    ASSERT_FALSE(broken);
    EXPECT_TRUE(broken.reason().contains(DatabaseKeyFile(paths))) << broken.reason().toStdString();
}

// A start killed in the middle of a re-key: the new key is written beside
// the old file first. When the database already has it, it becomes the key
// file; when not, it goes and the re-key is made anew. Nothing is lost.
TEST_F(HomeKeyTest, AReKeyCutOffIsFinishedOrStartedOver)
{
    const QByteArray stray = NewDatabaseKey();
    ASSERT_TRUE(test::Ok(WriteKeyFile(NewDatabaseKeyFile(paths), stray)));
    const Checked<QString> started = SettleHomeKey(paths);
    ASSERT_TRUE(started);
    EXPECT_NE(KeyFromRecoveryKey(*started), stray) << "the database never had the stray key";
    EXPECT_EQ(contentOf(paths.switchDb(), HomeDatabaseKey(paths).value()), before);

    // Killed after the database took its new key, before the key file was named.
    const QByteArray key = HomeDatabaseKey(paths).value();
    ASSERT_TRUE(QFile::rename(DatabaseKeyFile(paths), NewDatabaseKeyFile(paths)));
    const Checked<QString> finished = SettleHomeKey(paths);
    ASSERT_TRUE(finished);
    EXPECT_EQ(KeyFromRecoveryKey(*finished), key) << "shown, since it may never have been";
    EXPECT_EQ(HomeDatabaseKey(paths).value(), key);
    EXPECT_EQ(contentOf(paths.switchDb(), key), before);
}
