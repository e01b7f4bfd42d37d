#include "Database.h"
#include "DefaultRows.h"
#include "FeeEngine.h"
#include "PricingFixtures.h"
#include "Recordset.h"
#include "Schema.h"
#include "TestHome.h"
#include "TestStatus.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

const QByteArray kKey("vosquirnel");

// The rate tables (and one other) as the console creates them.
QList<TableDef> pricingTables()
{
    QList<TableDef> tables;
    for (const char *name : {"Feerate", "Discount", "Holiday", "PHNBill"})
        tables.append(*findTable(QString::fromLatin1(name)));
    return tables;
}

QString createStatement(const QString &table)
{
    QStringList cols;
    for (const QString &c : findTable(table)->columns)
        cols << Database::quoteId(c) + " TEXT";
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table, cols.join(u','));
}

void insert(Database &db, const QString &table, const QStringList &values)
{
    QStringList marks;
    QVariantList params;
    for (const QString &v : values) {
        marks << QStringLiteral("?");
        params << v;
    }
    ASSERT_TRUE(test::Ok(db.exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(u',')), params)));
}

class FeeEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = home.file("Switch.mdb");
        ASSERT_TRUE(test::Ok(db.open(path, kKey, Database::OpenMode::Create)));
        ASSERT_TRUE(test::Ok(createSchema(db, pricingTables())));
        insert(db, "Feerate", cityDefaultRow().columns());
        insert(db, "Feerate", rateRow("010", "北京", "2", "60", "0.30", "60", "0.30").columns());
        insert(db, "Feerate", rateRow("010", "北京二", "2", "60", "9.00", "60", "9.00").columns());
        insert(db, "Discount", discountRow("市话").columns());
    }

    QString price(FeeEngine &engine, const QString &called, const QString &duration = "60",
                  const QString &end = "2026年12月08日10时00分")
    {
        CallRec rec = callTo(called, duration, end);
        engine.ComputeFee(rec);
        return rec.Area + " " + rec.Fee;
    }

    TestHome home;
    QString path;
    Database db;
};

} // namespace

TEST_F(FeeEngineTest, ReadsTheTablesInTableOrderAndCachesThem)
{
    FeeEngine engine(db);
    EXPECT_EQ(price(engine, "0101234"), "北京 0.30");
    EXPECT_EQ(price(engine, "5551234", "200"), "未知地区电话 0.30");
    EXPECT_EQ(engine.rateBook().feerateCount(), 3);
    // Writes to other tables do not make the rates stale.
    for (int i = 0; i < 20; ++i) {
        insert(db, "PHNBill",
               {"801", "0101234", "2026年12月08日10时00分", "60", "0.30", "北京", "0.30", "2", "0.00", "0.00", "0.30",
                "未结算", "", ""});
        price(engine, "0101234");
    }
    EXPECT_EQ(engine.loadCount(), 1);
    engine.invalidate();
    price(engine, "0101234");
    EXPECT_EQ(engine.loadCount(), 2);
}

TEST_F(FeeEngineTest, EveryWriteToTheRateTablesAppliesToTheNextCall)
{
    FeeEngine engine(db);
    EXPECT_EQ(price(engine, "0101234"), "北京 0.30");

    // An edit through a recordset, without telling the engine.
    {
        Recordset rs(db, "Feerate");
        ASSERT_TRUE(rs.findFirst(Criteria("地区", "北京")));
        ASSERT_TRUE(rs.edit());
        ASSERT_TRUE(rs.setField(3, "0.50"));
        ASSERT_TRUE(rs.update());
    }
    EXPECT_EQ(price(engine, "0101234"), "北京 0.50");

    ASSERT_TRUE(db.exec("DELETE FROM Feerate WHERE 地区 = ?", {QStringLiteral("北京")}));
    EXPECT_EQ(price(engine, "0101234"), "北京二 9.00");

    insert(db, "Feerate", rateRow("0101", "北京长", "2", "60", "0.70", "60", "0.70").columns());
    EXPECT_EQ(price(engine, "0101234"), "北京长 0.70");

    // Discounts and holidays too.
    const QString holidayDate = "2026年10月01日10时00分";
    EXPECT_EQ(price(engine, "5551234", "60", holidayDate), "未知地区电话 0.20");
    ASSERT_TRUE(
        db.exec("UPDATE Feerate SET 折价 = ? WHERE 地区 = ?", {QStringLiteral("√"), QStringLiteral("市话默认")}));
    ASSERT_TRUE(
        db.exec("UPDATE Discount SET 节假日开关 = ?, 节假日折扣率 = ?", {QStringLiteral("√"), QStringLiteral("50")}));
    EXPECT_EQ(price(engine, "5551234", "60", holidayDate), "未知地区电话 0.20");
    insert(db, "Holiday", {"国庆节", "10", "01"});
    EXPECT_EQ(price(engine, "5551234", "60", holidayDate), "未知地区电话 0.10");

    // A write that is rolled back leaves the prices as they were.
    ASSERT_TRUE(db.beginTransaction());
    ASSERT_TRUE(db.exec("DELETE FROM Holiday"));
    EXPECT_EQ(price(engine, "5551234", "60", holidayDate), "未知地区电话 0.20");
    ASSERT_TRUE(db.rollback());
    EXPECT_EQ(price(engine, "5551234", "60", holidayDate), "未知地区电话 0.10");
}

TEST_F(FeeEngineTest, SeesCommitsOfAnotherConnectionAndRebuiltTables)
{
    FeeEngine engine(db);
    EXPECT_EQ(price(engine, "0101234"), "北京 0.30");
    {
        Database other;
        ASSERT_TRUE(test::Ok(other.open(path, kKey)));
        ASSERT_TRUE(other.exec("UPDATE Feerate SET 首次费率 = ? WHERE 地区 = ?",
                               {QStringLiteral("0.40"), QStringLiteral("北京")}));
    }
    EXPECT_EQ(price(engine, "0101234"), "北京 0.40");

    // Dropping a table takes its triggers along; the engine notices and watches the new one.
    ASSERT_TRUE(db.exec("DROP TABLE Feerate"));
    ASSERT_TRUE(db.exec(createStatement("Feerate")));
    EXPECT_EQ(price(engine, "0101234", "200"), "未知地区电话 0.00");
    insert(db, "Feerate", cityDefaultRow().columns());
    EXPECT_EQ(price(engine, "0101234", "200"), "未知地区电话 0.30");
    const int loads = engine.loadCount();
    price(engine, "0101234");
    EXPECT_EQ(engine.loadCount(), loads);
}

TEST_F(FeeEngineTest, AMissingTableIsReadAgainForEveryCall)
{
    ASSERT_TRUE(db.exec("DROP TABLE Holiday"));
    FeeEngine engine(db);
    EXPECT_EQ(price(engine, "0101234"), "北京 0.30");
    EXPECT_EQ(price(engine, "0101234"), "北京 0.30");
    EXPECT_EQ(engine.loadCount(), 2);
    ASSERT_TRUE(db.exec(createStatement("Holiday")));
    price(engine, "0101234");
    price(engine, "0101234");
    EXPECT_EQ(engine.loadCount(), 3);
}

TEST(FeeEngineNewDatabase, PricesWithTheRowsOfANewInstallation)
{
    TestHome home;
    Database db;
    ASSERT_TRUE(db.open(home.file("Switch.mdb"), kKey, Database::OpenMode::Create));
    ASSERT_TRUE(test::Ok(createSchema(db, switchTables())));
    ASSERT_TRUE(test::Ok(insertDefaultRows(db, "secret")));

    FeeEngine engine(db);
    ASSERT_TRUE(engine.rateBook().hasDefaultRow());
    CallRec rec = callTo("01062345678", "200");
    engine.ComputeFee(rec);
    // Domestic default tariff: 6 s for 0.07, then 0.07 per 6 s: 1 + 33 periods.
    EXPECT_EQ(QStringList({rec.Area, rec.CallType, rec.Rate, rec.Fee}).join(u' '), "北京 2 0.07 2.38");
    rec = callTo("5551234", "200");
    engine.ComputeFee(rec);
    EXPECT_EQ(QStringList({rec.Area, rec.CallType, rec.Fee}).join(u' '), "未知地区电话 8 0.30");
    rec = callTo("0008521234", "200");
    engine.ComputeFee(rec);
    EXPECT_EQ(QStringList({rec.Area, rec.CallType, rec.Fee}).join(u' '), "无效号码（未知） 8 0.00");
}
