#include "Data.h"
#include "Database.h"
#include "Recordset.h"
#include "TestHome.h"
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace corvane;

namespace {

const QByteArray kKey = QByteArrayLiteral("vosquirnel");

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = home.file(QStringLiteral("t.mdb"));
        ASSERT_TRUE(db.open(path, kKey, Database::OpenMode::Create)) << db.lastError().toStdString();
        ASSERT_TRUE(db.execScript(QStringLiteral(
            "CREATE TABLE \"User\" (\"物理端口\" TEXT, \"用户号码\" TEXT, \"名\" TEXT);"
            "CREATE TABLE \"SWTConfig\" (c0 TEXT, c1 TEXT);"
            "INSERT INTO \"SWTConfig\" VALUES ('120', '0');")));
    }
    void addUser(const QString &port, const QString &number, const QString &name)
    {
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO \"User\" VALUES (?,?,?)"), {port, number, name}));
    }

    test::TestHome home;
    QString path;
    Database db;
};

} // namespace

TEST_F(DatabaseTest, FileIsUnreadableWithoutTheKey)
{
    addUser("0", "800", "a");
    db.close();

    // Plain SQLite (no key) cannot read it.
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    // Nor the wrong key, and the message names the file.
    Database wrong;
    EXPECT_FALSE(wrong.open(path, QByteArrayLiteral("other"), Database::OpenMode::Existing));
    EXPECT_TRUE(wrong.lastError().contains(path));
    EXPECT_FALSE(wrong.isOpen());

    Database right;
    ASSERT_TRUE(right.open(path, kKey));
    EXPECT_EQ(right.scalar(QStringLiteral("SELECT \"用户号码\" FROM \"User\"")).value_or(QString()), QStringLiteral("800"));
}

TEST_F(DatabaseTest, OpenRefusesMissingForeignAndExistingFiles)
{
    Database missing;
    EXPECT_FALSE(missing.open(home.file("nothere.mdb"), kKey));
    EXPECT_FALSE(QFile::exists(home.file("nothere.mdb"))) << "a failed open must not create the file";

    QFile junk(home.file("junk.mdb"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    Database foreign;
    EXPECT_FALSE(foreign.open(home.file("junk.mdb"), kKey));
    EXPECT_EQ(QFile(home.file("junk.mdb")).size(), 4096) << "a file that is not ours is left alone";

    Database again;
    EXPECT_FALSE(again.open(path, kKey, Database::OpenMode::Create)) << "create never overwrites";
}

TEST_F(DatabaseTest, RecordsetKeepsTableOrderAndPositions)
{
    addUser("5", "805", "e");
    addUser("1", "801", "a");
    addUser("3", "803", "c");
    Recordset rs(db, QStringLiteral("User"));
    ASSERT_TRUE(rs.isValid());
    EXPECT_EQ(rs.recordCount(), 3);
    EXPECT_EQ(rs.columnNames(), QStringList({"物理端口", "用户号码", "名"}));
    QStringList order;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        order << rs.value(1);
    EXPECT_EQ(order, QStringList({"805", "801", "803"}));
    EXPECT_FALSE(rs.field(0).has_value()) << "past the end there is no current row";
}

TEST_F(DatabaseTest, NoMatchLeavesCallersValueAlone)
{
    addUser("0", "800", "a");
    addUser("1", "801", "b");
    addUser("2", "801", "c");
    Recordset rs(db, QStringLiteral("User"));

    QString name = QStringLiteral("previous");
    EXPECT_FALSE(rs.findFirst(Criteria(QStringLiteral("用户号码"), QStringLiteral("999"))));
    EXPECT_TRUE(rs.noMatch());
    EXPECT_FALSE(rs.read(2, name));
    EXPECT_EQ(name, QStringLiteral("previous"));
    EXPECT_FALSE(rs.edit()) << "no current row, nothing to edit";

    ASSERT_TRUE(rs.findFirst(Criteria(QStringLiteral("用户号码"), QStringLiteral("801"))));
    EXPECT_EQ(rs.value(2), QStringLiteral("b"));
    ASSERT_TRUE(rs.findNext(Criteria(QStringLiteral("用户号码"), QStringLiteral("801"))));
    EXPECT_EQ(rs.value(2), QStringLiteral("c"));
    EXPECT_FALSE(rs.findNext(Criteria(QStringLiteral("用户号码"), QStringLiteral("801"))));

    Criteria both(QStringLiteral("用户号码"), QStringLiteral("801"));
    both.andNe(QStringLiteral("物理端口"), QStringLiteral("1"));
    ASSERT_TRUE(rs.findFirst(both));
    EXPECT_EQ(rs.value(0), QStringLiteral("2"));
}

TEST_F(DatabaseTest, QuotesNeitherBreakNorInject)
{
    const QString evil = QStringLiteral("x' OR '1'='1");
    addUser("0", "800", evil);
    addUser("1", "801", QStringLiteral("plain"));

    Recordset filtered(db, QStringLiteral("User"), Criteria(QStringLiteral("名"), evil));
    EXPECT_EQ(filtered.recordCount(), 1);
    Recordset none(db, QStringLiteral("User"), Criteria(QStringLiteral("名"), QStringLiteral("' OR 1=1 --")));
    EXPECT_EQ(none.recordCount(), 0);

    Recordset rs(db, QStringLiteral("User"));
    ASSERT_TRUE(rs.findFirst(Criteria(QStringLiteral("名"), evil)));
    EXPECT_EQ(rs.value(0), QStringLiteral("0"));
    // A value with quotes and Chinese goes in and comes back unchanged.
    const QString tricky = QStringLiteral("王'五\"; DROP TABLE \"User\"; --");
    ASSERT_TRUE(SetField(rs, 2, tricky));
    Recordset again(db, QStringLiteral("User"));
    ASSERT_TRUE(again.findFirst(Criteria(QStringLiteral("名"), tricky)));
    EXPECT_EQ(again.recordCount(), 2);
}

TEST_F(DatabaseTest, EditAddNewDeleteAndDeleteAll)
{
    addUser("0", "800", "a");
    addUser("1", "801", "b");
    Recordset rs(db, QStringLiteral("User"));
    ASSERT_TRUE(WriteRecord(rs, true, {"2", "802", "c"}));
    EXPECT_EQ(rs.recordCount(), 3);
    rs.moveFirst();
    ASSERT_TRUE(WriteRecord(rs, false, {"0", "880"}));
    EXPECT_EQ(rs.value(2), QStringLiteral("a")) << "unnamed columns keep their values";

    Recordset check(db, QStringLiteral("User"));
    check.moveLast();
    EXPECT_EQ(check.value(1), QStringLiteral("802"));
    check.moveFirst();
    EXPECT_EQ(check.value(1), QStringLiteral("880"));

    // Delete the middle row, then moveNext lands on the row that followed it.
    check.moveNext();
    ASSERT_TRUE(check.deleteCurrent());
    EXPECT_FALSE(check.field(0).has_value());
    check.moveNext();
    EXPECT_EQ(check.value(1), QStringLiteral("802"));

    ASSERT_TRUE(DeleteAll(check));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("?"), QStringLiteral("0"));

    Recordset query = Recordset::query(db, QStringLiteral("SELECT * FROM \"SWTConfig\""));
    EXPECT_FALSE(query.edit()) << "a recordset on a SELECT is read-only";
}

TEST_F(DatabaseTest, TransactionRollsBackUnlessCommitted)
{
    {
        Transaction tx(db);
        ASSERT_TRUE(tx.started());
        addUser("7", "807", "x");
    }
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("?"), QStringLiteral("0"));
    {
        Transaction tx(db);
        addUser("7", "807", "x");
        {
            Transaction inner(db);  // nested work that fails is undone alone
            addUser("8", "808", "y");
        }
        ASSERT_TRUE(tx.commit());
    }
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("?"), QStringLiteral("1"));
    EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA journal_mode")).value_or(""), QStringLiteral("wal"));
    EXPECT_EQ(db.scalar(QStringLiteral("PRAGMA synchronous")).value_or(""), QStringLiteral("2"));
}

TEST_F(DatabaseTest, PortAndNumberMapping)
{
    addUser("0", "800", "a");
    addUser("121", "999", "beyond");
    EXPECT_EQ(PortToNumber(db, QStringLiteral(" 0 ")), QStringLiteral("800"));
    EXPECT_EQ(PortToNumber(db, QStringLiteral("55")), QStringLiteral("55"));
    EXPECT_EQ(PortToNumber(db, QString()), QString());
    EXPECT_EQ(NumberToPort(db, QStringLiteral("800")), QStringLiteral("0"));
    EXPECT_EQ(NumberToPort(db, QStringLiteral("999")), QStringLiteral("999")) << "port beyond capacity";
    EXPECT_EQ(NumberToPort(db, QStringLiteral("123")), QStringLiteral("123"));
}
