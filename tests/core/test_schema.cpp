#include "Database.h"
#include "DefaultRows.h"
#include "PasswordHash.h"
#include "Schema.h"
#include "TestHome.h"
#include "TestStatus.h"
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QByteArray kKey = QByteArrayLiteral("vosquirnel");

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ok(db.open(home.file(QStringLiteral("Switch.mdb")), kKey, Database::OpenMode::Create)));
    }
    void createAll() { ASSERT_TRUE(test::Ok(createSchema(db, switchTables()))); }
    void createWithDefaults(const QString &password = QStringLiteral("adm'in\"1"))
    {
        createAll();
        ASSERT_TRUE(test::Ok(insertDefaultRows(db, password)));
    }
    qint64 count(const QString &table)
    {
        return db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(table)))
            .value_or(QStringLiteral("-1"))
            .toLongLong();
    }
    QList<QStringList> rows(const QString &table, const QString &where = QString(), const QVariantList &params = {})
    {
        QString sql = QStringLiteral("SELECT * FROM %1").arg(Database::quoteId(table));
        if (!where.isEmpty())
            sql += QStringLiteral(" WHERE ") + where;
        sql += QStringLiteral(" ORDER BY rowid");
        return db.select(sql, params).value_or(QList<QStringList>());
    }

    test::TestHome home;
    Database db;
};

} // namespace

// The column layout read back from the file itself: count per table and the
// named columns at their positions, so a shifted or missing column shows.
TEST_F(SchemaTest, EveryTableHasItsColumnsInOrder)
{
    createAll();
    const QList<QPair<QString, int>> counts{
        {"SWTConfig", 19}, {"User", 16},    {"PHNBill", 14},  {"Exchange", 15}, {"SPCPhone", 1}, {"Feesetting", 5},
        {"ExNO", 9},       {"Feerate", 12}, {"Discount", 15}, {"IP", 10},       {"Holiday", 3},  {"Group", 1},
        {"Account", 6},    {"Foregift", 8}, {"Client", 20},   {"BlackLst", 2},  {"OP", 17},      {"OPRec", 4}};
    ASSERT_EQ(switchTables().size(), counts.size());
    for (const auto &[table, n] : counts) {
        ASSERT_TRUE(db.tableExists(table)) << table.toStdString();
        EXPECT_EQ(db.columnNames(table).size(), n) << table.toStdString();
    }

    struct Spot {
        const char *table;
        int pos;
        const char *name;
    };
    const Spot spots[] = {
        {"User", 0, "物理端口"},
        {"User", 1, "用户号码"},
        {"PHNBill", 0, "主叫号码"},
        {"PHNBill", 2, "结束时间"},
        {"PHNBill", 11, "话单性质"},
        {"Exchange", 0, "中继"},
        {"Exchange", 5, "中继出局方式"},
        {"Exchange", 7, "间局局向"},
        {"Exchange", 10, "虚拟总机1"},
        {"Exchange", 14, "虚拟总机5"},
        {"SPCPhone", 0, "特服号码"},
        {"Feesetting", 0, "国际延时"},
        {"Feesetting", 3, "市话延时"},
        {"Feesetting", 4, "手机延时"},
        {"ExNO", 0, "中继号"},
        {"ExNO", 1, "工作日控制"},
        {"ExNO", 7, "时段二止"},
        {"ExNO", 8, "外线号码"},
        {"Feerate", 0, "区号"},
        {"Feerate", 1, "地区"},
        {"Feerate", 10, "折价"},
        {"Feerate", 11, "类型"},
        {"Discount", 0, "类型"},
        {"Discount", 13, "节假日开关"},
        {"IP", 0, "序号"},
        {"IP", 9, "延时4"},
        {"Holiday", 0, "节日"},
        {"Holiday", 1, "月份"},
        {"Holiday", 2, "日期"},
        {"Group", 0, "组名"},
        {"Account", 0, "账号编号"},
        {"Foregift", 0, "物理端口"},
        {"Foregift", 1, "用户号码"},
        {"Client", 0, "编号"},
        {"Client", 10, "电话1"},
        {"Client", 19, "电话10"},
        {"BlackLst", 0, "电话号码"},
        {"OP", 0, "用户名"},
        {"OPRec", 0, "序号"},
    };
    for (const Spot &sp : spots) {
        const QStringList cols = db.columnNames(QString::fromLatin1(sp.table));
        ASSERT_GT(cols.size(), sp.pos) << sp.table;
        EXPECT_EQ(cols.at(sp.pos), s(sp.name)) << sp.table << " column " << sp.pos;
    }
    EXPECT_TRUE(schemaProblems(db, switchTables()).isEmpty());
}

TEST_F(SchemaTest, PrintDatabaseKeepsTheListedColumnsAndTheMainRowId)
{
    Database print;
    ASSERT_TRUE(print.open(home.file(QStringLiteral("print.mdb")), QByteArray(), Database::OpenMode::Create));
    ASSERT_TRUE(test::Ok(createSchema(print, printTables())));
    const QStringList bill = print.columnNames(QStringLiteral("PHNBill"));
    ASSERT_EQ(bill.size(), 8);
    EXPECT_EQ(bill.mid(0, 7), (QStringList{s("主叫号码"), s("被叫号码"), s("结束时间"), s("时长"), s("费率"),
                                           s("通达地址"), s("总费用")}));
    const QStringList print11 = print.columnNames(QStringLiteral("Print"));
    EXPECT_EQ(print11, (QStringList{s("组名"), s("用户号码"), s("用户名称"), s("长话费"), s("市话费"), s("本地费"),
                                    s("呼入费"), s("月租费"), s("手续费"), s("服务费"), s("合计"), s("押金"), s("余额"),
                                    s("应收"), s("应退"), s("说明")}));
    // The main database's indexes are not carried over to the scratch copy.
    EXPECT_TRUE(schemaProblems(print, printTables()).isEmpty());
    EXPECT_FALSE(print.tableExists(QStringLiteral("User")));
}

TEST_F(SchemaTest, CreatingAgainKeepsDataAndAForeignLayoutIsRefused)
{
    createAll();
    ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO \"Group\" VALUES (?)"), {s("销'售\"部")}));
    EXPECT_TRUE(test::Ok(createSchema(db, switchTables())));
    EXPECT_EQ(count(QStringLiteral("Group")), 1);
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT * FROM \"Group\"")).value_or(QString()), s("销'售\"部"));

    // A table of the same name but another layout would be read by position
    // and give wrong values: refuse, and create nothing else meanwhile.
    Database other;
    ASSERT_TRUE(other.open(home.file(QStringLiteral("other.mdb")), kKey, Database::OpenMode::Create));
    ASSERT_TRUE(other.execScript(QStringLiteral("CREATE TABLE \"User\" (\"物理端口\" TEXT, \"用户号码\" TEXT)")));
    const Status refused = createSchema(other, switchTables());
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.reason().contains(QStringLiteral("User"))) << refused.reason().toStdString();
    EXPECT_FALSE(other.tableExists(QStringLiteral("PHNBill")));
    const QStringList problems = schemaProblems(other, switchTables());
    EXPECT_EQ(problems.size(), switchTables().size()); // 17 missing + 1 wrong layout
}

TEST_F(SchemaTest, CallRecordLookupsUseAnIndexAndRowsKeepInsertionOrder)
{
    createAll();
    auto plan = [&](const QString &sql, const QVariantList &params) {
        QString text;
        for (const QStringList &r :
             db.select(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, params).value_or(QList<QStringList>()))
            text += r.join(QLatin1Char(' ')) + QLatin1Char('\n');
        return text;
    };
    EXPECT_TRUE(plan(s("SELECT * FROM PHNBill WHERE 主叫号码=? AND 结束时间=?"), {"801", "x"}).contains("INDEX"));
    // The records not settled have an index of their own; no other state is looked up so.
    EXPECT_TRUE(plan(s("SELECT * FROM PHNBill WHERE 主叫号码=? AND \"话单性质\" = '未结算'"), {"801"})
                    .contains("idx_PHNBill_open"));
    EXPECT_TRUE(plan(s("SELECT * FROM \"User\" WHERE 用户号码=?"), {"801"}).contains("INDEX"));
    EXPECT_TRUE(plan(s("SELECT * FROM \"User\" WHERE 物理端口=?"), {"1"}).contains("INDEX"));
    EXPECT_TRUE(plan(s("SELECT * FROM Foregift WHERE 物理端口=? AND 用户号码=?"), {"1", "x"}).contains("INDEX"));

    // Table order is insertion order even when an index would sort otherwise.
    for (const char *n : {"9", "1", "5"})
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO PHNBill (主叫号码) VALUES (?)"), {QString::fromLatin1(n)}));
    QStringList order;
    for (const QStringList &r : rows(QStringLiteral("PHNBill")))
        order.append(r.at(0));
    EXPECT_EQ(order, (QStringList{"9", "1", "5"}));
    // Columns not written read back as empty text, not as NULL.
    EXPECT_EQ(db.scalar(QStringLiteral("SELECT count(*) FROM PHNBill WHERE 话单性质 IS NULL")).value_or("x"), "0");
}

TEST_F(SchemaTest, NewDatabaseHoldsTheDefaultConfigurationAndUsers)
{
    createWithDefaults();

    const auto config = rows(QStringLiteral("SWTConfig"));
    ASSERT_EQ(config.size(), 1);
    const QStringList &c = config.first();
    EXPECT_EQ(c.at(0), "120");
    EXPECT_EQ(c.at(3), "3");
    EXPECT_EQ(c.at(8), "1");
    EXPECT_EQ(c.at(14), "0");
    EXPECT_EQ(c.at(16), "0");
    EXPECT_EQ(c.at(17), "");
    EXPECT_EQ(c.at(18), "0");
    EXPECT_LE(c.at(1).toInt(), 7);
    EXPECT_GE(c.at(2).toInt(), 1);
    EXPECT_LE(c.at(2).toInt(), 8);
    // The function digit must not be the first digit of any extension number.
    EXPECT_NE(c.at(4), "8");
    EXPECT_NE(c.at(4), "9");

    const auto users = rows(QStringLiteral("User"));
    ASSERT_EQ(users.size(), 120);
    for (int port = 0; port < 120; ++port) {
        const QStringList &u = users.at(port);
        ASSERT_EQ(u.at(0), QString::number(port)) << "table order is port order";
        EXPECT_EQ(u.at(1), QString::number(800 + port));
        EXPECT_TRUE(u.at(4) == s("√") || u.at(4) == s("×"));
        EXPECT_EQ(u.at(12), s("普通"));
        EXPECT_EQ(u.at(13), "0.00");
        EXPECT_EQ(u.at(14), s("√"));
        EXPECT_EQ(u.at(15), "");
    }
    EXPECT_EQ(rows(QStringLiteral("User"), QStringLiteral("物理端口=?"), {"119"}).value(0).value(1), "919");
    EXPECT_EQ(rows(QStringLiteral("User"), QStringLiteral("用户号码=?"), {"800"}).value(0).value(0), "0");

    const auto ex = rows(QStringLiteral("Exchange"));
    ASSERT_EQ(ex.size(), 12);
    const auto exno = rows(QStringLiteral("ExNO"));
    ASSERT_EQ(exno.size(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(ex.at(i).at(0), QString::number(i + 1));
        EXPECT_TRUE(QStringList({s("直局"), s("间局")}).contains(ex.at(i).at(5)));
        EXPECT_EQ(exno.at(i).at(0), QString::number(i + 1));
        EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d$").match(exno.at(i).at(4)).hasMatch());
    }
    EXPECT_EQ(exno.at(0).at(8), s("无需设置"));
    EXPECT_EQ(exno.at(1).at(8), "");
    EXPECT_EQ(count(QStringLiteral("Feesetting")), 1);
}

TEST_F(SchemaTest, NewDatabaseHoldsRatesDiscountsIpAndHolidays)
{
    createWithDefaults();
    const QStringList names{s("港澳台"), s("国际"),     s("国内"),   s("移动电话"), s("信息台"),
                            s("本地"),   s("网络电话"), s("虚拟网"), s("市话"),     s("呼入")};

    // One default row per type: "<name>默认", no prefix, the type's code.
    for (int t = 0; t < 10; ++t) {
        const auto defaults = rows(QStringLiteral("Feerate"), s("类型=? AND 地区 LIKE '%默认'"), {QString::number(t)});
        ASSERT_EQ(defaults.size(), 1) << t;
        EXPECT_EQ(defaults.first().at(0), "");
        EXPECT_EQ(defaults.first().at(1), names.at(t) + s("默认"));
    }
    // The city default prices every unmatched number.
    const auto city = rows(QStringLiteral("Feerate"), s("类型='8' AND 地区='市话默认'"));
    ASSERT_EQ(city.size(), 1);
    EXPECT_EQ(city.first().mid(2, 4), (QStringList{"180", "0.20", "60", "0.10"}));

    // Sample prefixes: digits only, within the rate window's limits, no
    // duplicates (equal prefixes would make the second row dead), every
    // column in the form the window writes.
    QSet<QString> seen;
    const QRegularExpression money("^\\d+\\.\\d\\d$");
    int prefixes = 0;
    for (const QStringList &r : rows(QStringLiteral("Feerate"))) {
        const int type = r.at(11).toInt();
        ASSERT_TRUE(QRegularExpression("^[0-9]$").match(r.at(11)).hasMatch());
        for (int col : {3, 5, 6, 8})
            EXPECT_TRUE(money.match(r.at(col)).hasMatch()) << r.at(1).toStdString() << " col " << col;
        EXPECT_TRUE(r.at(10) == s("√") || r.at(10) == s("×"));
        EXPECT_GT(r.at(4).toInt(), 0);
        if (r.at(1).contains(s("默认")))
            continue;
        ++prefixes;
        EXPECT_TRUE(QRegularExpression("^\\d{1,8}$").match(r.at(0)).hasMatch()) << r.at(0).toStdString();
        EXPECT_FALSE(r.at(0).startsWith("000")) << "never reached: such numbers are invalid";
        EXPECT_FALSE(seen.contains(r.at(0))) << r.at(0).toStdString();
        seen.insert(r.at(0));
        // The rates of a sample row are its type's default rates.
        const auto def = rows(QStringLiteral("Feerate"), s("类型=? AND 地区 LIKE '%默认'"), {r.at(11)});
        EXPECT_EQ(r.mid(2), def.value(0).mid(2)) << r.at(1).toStdString();
        EXPECT_NE(type, 5) << "local prefixes are site-specific";
    }
    EXPECT_GE(prefixes, 10);
    for (const char *p : {"010", "021", "020", "0755", "00852", "001", "13", "15", "18"})
        EXPECT_TRUE(seen.contains(QString::fromLatin1(p))) << p;

    const auto discounts = rows(QStringLiteral("Discount"));
    ASSERT_EQ(discounts.size(), 10);
    for (int t = 0; t < 10; ++t) {
        EXPECT_EQ(discounts.at(t).at(0), names.at(t));
        for (int col : {1, 5, 9, 11, 13})
            EXPECT_EQ(discounts.at(t).at(col), s("×")) << "discounts start switched off";
        for (int col : {4, 8, 10, 12, 14})
            EXPECT_LE(discounts.at(t).at(col).toInt(), 100);
    }

    const auto ip = rows(QStringLiteral("IP"));
    ASSERT_EQ(ip.size(), 13);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(ip.at(i).at(0), QString::number(i + 1));
        EXPECT_EQ(ip.at(i).at(1), s("×"));
        for (int col : {3, 5, 7, 9})
            EXPECT_TRUE(QStringList({"100ms", "500ms", "1.5s", "2s", "2.5s"}).contains(ip.at(i).at(col)));
        EXPECT_TRUE(ip.at(i).at(4) == s("中文") || ip.at(i).at(4) == s("英文"));
    }
    EXPECT_EQ(ip.at(12).mid(0, 4), (QStringList{"13", "0", "", "0"}));

    // Holidays are looked up by two-digit month and day.
    const auto holidays = rows(QStringLiteral("Holiday"));
    ASSERT_GE(holidays.size(), 3);
    for (const QStringList &h : holidays) {
        EXPECT_FALSE(h.at(0).isEmpty());
        EXPECT_LE(h.at(0).size(), 10);
        EXPECT_EQ(h.at(1).size(), 2);
        EXPECT_EQ(h.at(2).size(), 2);
    }
    EXPECT_EQ(rows(QStringLiteral("Holiday"), s("月份='10' AND 日期='01'")).size(), 1);
}

TEST_F(SchemaTest, AdministratorHasEveryRightAndTheGivenPassword)
{
    const QString password = s("p'a\"ss 密码");
    createWithDefaults(password);
    const auto ops = rows(QStringLiteral("OP"));
    ASSERT_EQ(ops.size(), 1);
    const QStringList &op = ops.first();
    EXPECT_EQ(op.at(0), s("管理员"));
    // Kept as its salted hash, never as typed.
    EXPECT_NE(op.at(1), password);
    EXPECT_TRUE(op.at(1).startsWith("$argon2id$")) << op.at(1).toStdString();
    EXPECT_TRUE(PasswordHash::verify(op.at(1), password));
    EXPECT_FALSE(PasswordHash::verify(op.at(1), s("p'a\"ss 密")));
    EXPECT_EQ(op.mid(2, 11), QStringList(QList<QString>(11, "1")));
    EXPECT_EQ(op.mid(13), QStringList(QList<QString>(4, "0")));
    EXPECT_EQ(count(QStringLiteral("OPRec")), 0);
}

TEST_F(SchemaTest, DefaultRowsAreNeverWrittenTwiceOrHalfway)
{
    createWithDefaults();
    const Status again = insertDefaultRows(db, QStringLiteral("x"));
    EXPECT_FALSE(again);
    EXPECT_FALSE(again.reason().isEmpty());
    EXPECT_EQ(count(QStringLiteral("User")), 120);
    EXPECT_EQ(count(QStringLiteral("SWTConfig")), 1);
    EXPECT_EQ(count(QStringLiteral("OP")), 1);

    // A missing table late in the list: nothing at all is written.
    Database partial;
    ASSERT_TRUE(partial.open(home.file(QStringLiteral("partial.mdb")), kKey, Database::OpenMode::Create));
    ASSERT_TRUE(createSchema(partial, switchTables()));
    ASSERT_TRUE(partial.exec(QStringLiteral("DROP TABLE \"OP\"")));
    EXPECT_FALSE(insertDefaultRows(partial, QStringLiteral("x")));
    EXPECT_EQ(partial.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("-1"), "0");
    EXPECT_EQ(partial.scalar(QStringLiteral("SELECT count(*) FROM SWTConfig")).value_or("-1"), "0");
    EXPECT_FALSE(partial.inTransaction());

    // One stray row in any filled table also refuses, so a half-restored
    // database is never topped up with a second configuration row.
    Database stray;
    ASSERT_TRUE(stray.open(home.file(QStringLiteral("stray.mdb")), kKey, Database::OpenMode::Create));
    ASSERT_TRUE(createSchema(stray, switchTables()));
    ASSERT_TRUE(stray.exec(QStringLiteral("INSERT INTO Holiday VALUES ('a','01','01')")));
    EXPECT_FALSE(insertDefaultRows(stray, QStringLiteral("x")));
    EXPECT_EQ(stray.scalar(QStringLiteral("SELECT count(*) FROM \"User\"")).value_or("-1"), "0");

    // An empty administrator password is refused.
    Database empty;
    ASSERT_TRUE(empty.open(home.file(QStringLiteral("empty.mdb")), kKey, Database::OpenMode::Create));
    ASSERT_TRUE(createSchema(empty, switchTables()));
    EXPECT_FALSE(insertDefaultRows(empty, QString()));
    EXPECT_EQ(empty.scalar(QStringLiteral("SELECT count(*) FROM OP")).value_or("-1"), "0");
}
