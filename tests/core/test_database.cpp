#include "Data.h"
#include "Database.h"
#include "DepositTable.h"
#include "MessageService.h"
#include "Recordset.h"
#include "TestHome.h"
#include "TestStatus.h"
#include <QFile>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

namespace {

const QByteArray kKey = QByteArrayLiteral("vosquirnel");

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = home.file(QStringLiteral("t.mdb"));
        ASSERT_TRUE(test::Ok(db.open(path, kKey, Database::OpenMode::Create)));
        ASSERT_TRUE(
            db.execScript(QStringLiteral("CREATE TABLE \"User\" (\"物理端口\" TEXT, \"用户号码\" TEXT, \"名\" TEXT);"
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
    const Status refused = wrong.open(path, QByteArrayLiteral("other"), Database::OpenMode::Existing);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.reason().contains(path));
    EXPECT_FALSE(wrong.isOpen());

    Database right;
    ASSERT_TRUE(right.open(path, kKey));
    EXPECT_EQ(right.scalar(QStringLiteral("SELECT \"用户号码\" FROM \"User\"")).value_or(QString()),
              QStringLiteral("800"));
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

// What reaches the operator is in Chinese; SQLite's own words and the
// statement come only after the details marker (the box's 详细信息).
TEST_F(DatabaseTest, FailuresSpeakChineseWithSQLitesWordsAsDetails)
{
    const auto head = [](const Status &s) {
        return s.reason().left(s.reason().indexOf(MessageService::detailsMarker()));
    };
    const auto details = [](const Status &s) {
        const int at = s.reason().indexOf(MessageService::detailsMarker());
        return at < 0 ? QString() : s.reason().mid(at + MessageService::detailsMarker().size());
    };
    QFile junk(home.file("junk.mdb"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    Database foreign;
    const Status notOurs = foreign.open(home.file("junk.mdb"), kKey);
    ASSERT_FALSE(notOurs);
    EXPECT_TRUE(head(notOurs).contains("不是本系统的数据库")) << notOurs.reason().toStdString();
    EXPECT_FALSE(head(notOurs).contains("not a database")) << notOurs.reason().toStdString();
    EXPECT_TRUE(details(notOurs).contains("not a database")) << notOurs.reason().toStdString();

    ASSERT_TRUE(db.exec(QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON \"User\" "
                                       "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")));
    const Status refused = db.exec(QStringLiteral("INSERT INTO \"User\" VALUES ('1', '801', 'b')"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(head(refused), "数据库拒绝了这次写入");
    EXPECT_TRUE(details(refused).startsWith("INSERT INTO") && details(refused).contains("database or disk is full"))
        << refused.reason().toStdString();
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
        ASSERT_TRUE(tx.begun());
        addUser("7", "807", "x");
    }
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("?"), QStringLiteral("0"));
    {
        Transaction tx(db);
        addUser("7", "807", "x");
        {
            Transaction inner(db); // nested work that fails is undone alone
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

TEST_F(DatabaseTest, NumberToPortReadsCapacityAndPortAsLeadingNumbers)
{
    addUser("5.0", "805", "a");
    addUser("119", "919", "b");
    addUser("120", "920", "c");
    addUser("", "999", "no port");
    addUser("端口", "998", "not a number");
    struct Case {
        const char *capacity;
        const char *number;
        const char *expected;
    };
    const Case cases[] = {
        {"120", "805", "5.0"},                                                   // "5.0" is port 5
        {"120门", "919", "119"},                                                 // the capacity is the leading number
        {"120门", "920", "920"},                                                 // port 120 is beyond 120 extensions
        {" 8", "805", "5.0"},    {"5", "805", "805"},     {"abc", "805", "805"}, // no capacity: no extension
        {"", "805", "805"},      {"120", "999", "999"},                          // a row without a port is no extension
        {"120", "998", "998"},   {"120", " 919 ", "119"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(db.exec(QStringLiteral("UPDATE \"SWTConfig\" SET c0=?"), {QString::fromUtf8(c.capacity)}));
        EXPECT_EQ(NumberToPort(db, QString::fromUtf8(c.number)), QString::fromUtf8(c.expected))
            << c.capacity << " / " << c.number;
    }
}

TEST_F(DatabaseTest, WritesCarryTheDatabasesReason)
{
    addUser("0", "800", "a");
    ASSERT_TRUE(db.exec(QStringLiteral(
        "CREATE TRIGGER full BEFORE UPDATE ON \"User\" BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));
    Recordset rs(db, QStringLiteral("User"));
    const Status s = SetField(rs, 2, QStringLiteral("b"));
    ASSERT_FALSE(s);
    EXPECT_TRUE(s.reason().contains(QStringLiteral("disk is full"))) << s.reason().toStdString();
    EXPECT_EQ(rs.value(2), QStringLiteral("a")) << "a refused write leaves the cached row as it was";

    // A row another writer deleted is not silently "updated".
    Recordset stale(db, QStringLiteral("User"));
    ASSERT_TRUE(db.exec(QStringLiteral("DROP TRIGGER full")));
    ASSERT_TRUE(db.exec(QStringLiteral("DELETE FROM \"User\"")));
    EXPECT_FALSE(SetField(stale, 2, QStringLiteral("c")));
    EXPECT_FALSE(WriteRecord(stale, false, {QStringLiteral("0")}));

    Recordset query = Recordset::query(db, QStringLiteral("SELECT * FROM \"User\""));
    EXPECT_FALSE(WriteRecord(query, true, {QStringLiteral("1")}));
    Recordset rows(db, QStringLiteral("User"));
    EXPECT_FALSE(SetField(rows, 7, QStringLiteral("x"))) << "no current row";
}

// A commit that fails for lack of space (the write-ahead log cannot grow):
// SQLite has already rolled the transaction back, and the outcome must name
// the commit's own reason, not the "no transaction is active" of the
// rollback that follows it. Run in a child process, whose file-size limit
// stands for a full disk.
TEST_F(DatabaseTest, AFailedCommitReportsItsOwnReason)
{
    addUser("0", "800", "a");
    ASSERT_TRUE(db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    db.close();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        Database full;
        if (!full.open(path, kKey))
            _exit(2);
        const rlimit limit{8192, 8192};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Status outcome = InTransaction(full, [&]() -> Status {
            for (int i = 0; i < 200; ++i)
                if (Status s = full.exec(QStringLiteral("INSERT INTO \"User\" VALUES (?, ?, ?)"),
                                         {QString::number(i), QString::number(1000 + i), QString(200, u'x')});
                    !s)
                    return s;
            return Status::ok();
        });
        if (outcome)
            _exit(3); // the limit did not bite: nothing to check
        const bool ownReason = !outcome.reason().contains(QStringLiteral("no transaction"))
                               && !outcome.reason().contains(QStringLiteral("没有进行中的事务"));
        _exit(ownReason && !full.inTransaction() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the rollback's message replaced the commit's; 2: not opened; 3: committed";
    ASSERT_TRUE(db.open(path, kKey));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("?"), QStringLiteral("1"));
}

// Two windows (or a window and the call intake) hold recordsets on the same
// table. A write through one must never put back the other's old values.
TEST_F(DatabaseTest, AnEditWritesOnlyTheColumnsSetInIt)
{
    addUser("0", "800", "王五");
    Recordset first(db, QStringLiteral("User"));
    Recordset second(db, QStringLiteral("User"));
    first.moveFirst();
    second.moveFirst();

    ASSERT_TRUE(SetField(first, 1, QStringLiteral("801")));
    ASSERT_TRUE(SetField(second, 2, QStringLiteral("赵六")));
    EXPECT_EQ(db.select(QStringLiteral("SELECT * FROM \"User\"")).value().value(0), (QStringList{"0", "801", "赵六"}));
    // After the update the cached row shows what was written.
    EXPECT_EQ(second.value(2), QStringLiteral("赵六"));
    EXPECT_EQ(first.value(1), QStringLiteral("801"));

    // A value equal to the stale cached copy is still written: the other
    // writer changed it meanwhile.
    ASSERT_TRUE(SetField(second, 1, QStringLiteral("800")));
    ASSERT_TRUE(SetField(first, 1, QStringLiteral("801")));
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT \"用户号码\" FROM \"User\"")).value_or("?"), QStringLiteral("801"));

    // A new row is written whole.
    ASSERT_TRUE(first.addNew());
    ASSERT_TRUE(first.setField(0, QStringLiteral("1")));
    ASSERT_TRUE(first.update());
    EXPECT_EQ(db.select(QStringLiteral("SELECT * FROM \"User\" ORDER BY rowid")).value().value(1),
              (QStringList{"1", "", ""}));
}

TEST(DepositWrites, TheIntakesBalanceSurvivesTheWindowsClassChange)
{
    test::TestHome home;
    Database db;
    ASSERT_TRUE(test::createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb"))));
    ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,?,?,?,?,?,?)"),
                        {"3", "803", "张三", "3", "50.00", "", "", ""}));
    const Criteria port(QStringLiteral("物理端口"), QStringLiteral("3"));

    // The user window holds Foregift open.
    Recordset window(db, QStringLiteral("Foregift"));
    ASSERT_TRUE(window.findFirst(port));
    // The call intake charges a call: a plain SetField on the balance, and
    // the demotion of the class, through a recordset of its own.
    {
        Recordset intake(db, QStringLiteral("Foregift"));
        ASSERT_TRUE(intake.findFirst(port));
        ASSERT_TRUE(SetField(intake, int(DepositField::Balance), QStringLiteral("-0.20")));
        ASSERT_TRUE(SetField(intake, int(DepositField::Class), QStringLiteral("1")));
    }
    // The operator sets the class back to 3, the value the window still shows.
    ASSERT_EQ(window.value(int(DepositField::Class)), QStringLiteral("3"));
    ASSERT_TRUE(SetField(window, int(DepositField::Class), QStringLiteral("3")));

    const QStringList row = db.select(QStringLiteral("SELECT * FROM Foregift")).value().value(0);
    EXPECT_EQ(row.value(int(DepositField::Balance)), QStringLiteral("-0.20")) << "the charged call is not undone";
    EXPECT_EQ(row.value(int(DepositField::Class)), QStringLiteral("3")) << "the class set back is written";
}
