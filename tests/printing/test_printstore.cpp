#include "Database.h"
#include "PrintStore.h"
#include "Schema.h"
#include "TestHome.h"
#include "TestStatus.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

BillRow bill(const QString &caller, const QString &endTime, const QString &fee, qint64 mainRowId = 0)
{
    return BillRow{caller, s("02087654321"), endTime, s("65"), s("0.30"), s("广州"), fee, mainRowId};
}

FeeRow feeRow(const QString &number, const QString &name, std::initializer_list<const char *> amounts)
{
    FeeRow f;
    f.group = s("营业部");
    f.number = number;
    f.name = name;
    int c = col::PrintFee::FirstMoney;
    for (const char *a : amounts)
        f.amount(c++) = Money::fromText(s(a));
    return f;
}

class PrintStoreTest : public ::testing::Test {
protected:
    QString path() const { return home.file(QStringLiteral("data/print.mdb")); }

    // Writes a file at the store's path by running SQL on a plain database.
    void makeDatabase(const QString &sql, const QByteArray &key = QByteArray())
    {
        Database db;
        QDir().mkpath(home.file(QStringLiteral("data")));
        ASSERT_TRUE(test::Ok(db.open(path(), key, Database::OpenMode::Create)));
        ASSERT_TRUE(test::Ok(db.execScript(sql)));
    }

    void expectFreshTables(PrintStore &store)
    {
        EXPECT_TRUE(schemaProblems(store.database(), printTables()).isEmpty());
        EXPECT_TRUE(store.bills().isEmpty());
        EXPECT_TRUE(store.fees().isEmpty());
        // And the recreated store takes a list.
        const QList<BillRow> bills{bill(s("801"), s("2026年12月08日10时01分"), s("1.20"), 7)};
        ASSERT_TRUE(store.replace(bills, {}));
        EXPECT_EQ(store.bills(), bills);
    }

    test::TestHome home;
};

} // namespace

TEST_F(PrintStoreTest, MissingFileAndFolderAreCreatedWithBothTables)
{
    PrintStore store;
    ASSERT_TRUE(store.open(path()));
    EXPECT_TRUE(store.recreatedBecause().isEmpty());
    expectFreshTables(store);
}

TEST_F(PrintStoreTest, DamagedFilesAreRecreatedNotShownEmpty)
{
    struct Case {
        const char *what;
        std::function<void()> make;
        const char *reasonHas;
    };
    const QList<Case> cases{
        {"not a database",
         [&] {
             QDir().mkpath(home.file(QStringLiteral("data")));
             QFile f(path());
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray(8192, '\x5a'));
         },
         "print.mdb"},
        {"table PHNBill missing",
         [&] {
             makeDatabase(
                 s("CREATE TABLE \"Print\" (\"组名\",\"用户号码\",\"用户名称\",\"长话费\",\"市话费\",\"本地费\","
                   "\"呼入费\",\"月租费\",\"手续费\",\"服务费\",\"合计\");"));
         },
         "PHNBill"},
        {"PHNBill of the old layout (no main row id)",
         [&] {
             makeDatabase(
                 s("CREATE TABLE \"PHNBill\" (\"主叫号码\",\"被叫号码\",\"结束时间\",\"时长\",\"费率\","
                   "\"通达地址\",\"总费用\");"
                   "INSERT INTO \"PHNBill\" VALUES ('801','1','t','1','0.1','a','9.99');"
                   "CREATE TABLE \"Print\" (\"组名\",\"用户号码\",\"用户名称\",\"长话费\",\"市话费\",\"本地费\","
                   "\"呼入费\",\"月租费\",\"手续费\",\"服务费\",\"合计\");"));
         },
         "PHNBill"},
        {"Print with its columns in another order",
         [&] {
             makeDatabase(
                 s("CREATE TABLE \"PHNBill\" (\"主叫号码\",\"被叫号码\",\"结束时间\",\"时长\",\"费率\","
                   "\"通达地址\",\"总费用\",\"主表行号\");"
                   "CREATE TABLE \"Print\" (\"用户号码\",\"组名\",\"用户名称\",\"长话费\",\"市话费\",\"本地费\","
                   "\"呼入费\",\"月租费\",\"手续费\",\"服务费\",\"合计\");"));
         },
         "Print"},
        {"a database with a key", [&] { makeDatabase(s("CREATE TABLE x (a);"), QByteArrayLiteral("vosquirnel")); },
         "print.mdb"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        c.make();
        PrintStore store;
        ASSERT_TRUE(store.open(path()));
        EXPECT_TRUE(store.recreatedBecause().contains(QString::fromUtf8(c.reasonHas)))
            << store.recreatedBecause().toStdString();
        expectFreshTables(store);
    }
}

TEST_F(PrintStoreTest, AGoodFileKeepsItsRowsAcrossOpens)
{
    const QList<BillRow> bills{bill(s("801"), s("2026年12月08日10时01分"), s("1.20"), 11),
                               bill(s("账号012"), s("2026年12月08日10时01分"), s("0.05"), 12)};
    const QList<FeeRow> fees{feeRow(s("801"), s("张三"), {"1", "2", "3", "4", "5", "6", "7", "28"})};
    {
        PrintStore store;
        ASSERT_TRUE(store.open(path()));
        ASSERT_TRUE(store.replace(bills, fees));
    }
    PrintStore again;
    ASSERT_TRUE(again.open(path()));
    EXPECT_TRUE(again.recreatedBecause().isEmpty());
    EXPECT_EQ(again.bills(), bills);
    EXPECT_EQ(again.fees(), fees);
    EXPECT_EQ(again.fees().first().texts().at(col::PrintFee::Total), s("28.00"));
}

TEST_F(PrintStoreTest, TotalsAreExactMoney)
{
    PrintStore store;
    ASSERT_TRUE(store.open(path()));
    EXPECT_EQ(store.billTotals().count, 0);
    EXPECT_EQ(store.billTotals().feeSumText(), s("0.00"));
    EXPECT_EQ(store.feeTotals().total().toText(), s("0.00"));
    EXPECT_EQ(billInformation(store.billTotals()), s("总计话单数：0   总计金额：0.00元"));
    EXPECT_EQ(feeInformation(store.feeTotals()), s("总计话费：0.00"));

    // 10,001 calls of 0.01 and one of 0.07: a single-precision sum drifts
    // away from 100.08; the exact one does not.
    QList<BillRow> bills;
    for (int i = 0; i < 10001; ++i)
        bills.append(bill(QString::number(800 + i % 120), s("2026年12月08日10时01分"), s("0.01"), i + 1));
    bills.append(bill(s("801"), s("2026年12月08日10时02分"), s("0.07"), 20000));
    const QList<FeeRow> fees{
        feeRow(s("801"), s("张三"), {"0.10", "0.20", "0.30", "0.40", "10.00", "0.01", "0.02", "11.03"}),
        feeRow(s("802"), s("李四"), {"0.20", "0.10", "0.70", "0.00", "0.00", "0.99", "0.98", "2.97"}),
        feeRow(s("账号012"), QString(), {"1234567.89", "0", "0", "0", "0", "0", "0", "1234567.89"}),
    };
    ASSERT_TRUE(store.replace(bills, fees));

    const BillTotals b = store.billTotals();
    EXPECT_EQ(b.count, 10002);
    EXPECT_EQ(b.feeSumText(), s("100.08"));
    EXPECT_EQ(billInformation(b), s("总计话单数：10002   总计金额：100.08元"));
    const FeeTotals f = store.feeTotals();
    const QStringList expected{s("1234568.19"), s("0.30"), s("1.00"), s("0.40"),
                               s("10.00"),      s("1.00"), s("1.00"), s("1234581.89")};
    for (int i = 0; i < col::PrintFee::MoneyCount; ++i)
        EXPECT_EQ(f.at(col::PrintFee::FirstMoney + i).toText(), expected.at(i)) << "column " << i + 3;
    EXPECT_EQ(feeInformation(f), s("总计话费：1234581.89"));
}

TEST_F(PrintStoreTest, ReplaceIsAllOrNothing)
{
    PrintStore store;
    ASSERT_TRUE(store.open(path()));
    const QList<BillRow> old{bill(s("801"), s("2026年12月08日10时01分"), s("1.00"), 1)};
    const QList<FeeRow> oldFees{feeRow(s("801"), s("张三"), {"1", "0", "0", "0", "0", "0", "0", "1"})};
    ASSERT_TRUE(store.replace(old, oldFees));

    // A fee row the database refuses, after the new bills are written.
    ASSERT_TRUE(
        store.database().exec(s("CREATE TRIGGER refuse BEFORE INSERT ON \"Print\" WHEN NEW.\"用户号码\" = 'bad' "
                                "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    const QList<BillRow> fresh{bill(s("802"), s("2026年12月08日11时00分"), s("2.00"), 2),
                               bill(s("803"), s("2026年12月08日11时01分"), s("3.00"), 3)};
    const Status st = store.replace(fresh, {feeRow(s("bad"), s("x"), {"1", "0", "0", "0", "0", "0", "0", "1"})});
    ASSERT_FALSE(st);
    EXPECT_TRUE(st.reason().contains(s("refused"))) << st.reason().toStdString();
    EXPECT_EQ(store.bills(), old);
    EXPECT_EQ(store.fees(), oldFees);

    // A shorter list replaces a longer one completely.
    ASSERT_TRUE(store.database().exec(s("DROP TRIGGER refuse")));
    ASSERT_TRUE(store.replace(fresh, {}));
    ASSERT_TRUE(store.replace({fresh.at(1)}, {}));
    EXPECT_EQ(store.bills(), QList<BillRow>{fresh.at(1)});
    EXPECT_TRUE(store.fees().isEmpty());
    ASSERT_TRUE(store.clear());
    EXPECT_EQ(store.billTotals().count, 0);
}

TEST_F(PrintStoreTest, ReportQueriesListSevenColumnsWithoutTheRowId)
{
    PrintStore store;
    ASSERT_TRUE(store.open(path()));
    ASSERT_TRUE(store.replace({bill(s("801"), s("t"), s("1.00"), 99)},
                              {feeRow(s("801"), s("张三"), {"1", "0", "0", "0", "0", "0", "0", "1"})}));
    QStringList names;
    auto rows = store.database().select(PrintStore::billListSql(), {}, &names);
    ASSERT_TRUE(rows);
    EXPECT_EQ(names, (QStringList{s("主叫号码"), s("被叫号码"), s("结束时间"), s("时长"), s("费率"), s("通达地址"),
                                  s("总费用")}));
    EXPECT_FALSE(rows->first().contains(s("99")));
    rows = store.database().select(PrintStore::feeListSql(), {}, &names);
    ASSERT_TRUE(rows);
    EXPECT_EQ(names.size(), 16);
    EXPECT_EQ(names.at(10), s("合计"));
    EXPECT_EQ(names.mid(11), (QStringList{s("押金"), s("余额"), s("应收"), s("应退"), s("说明")}));
}

TEST_F(PrintStoreTest, DeletingTheListTakesEachMainRowByItsOwnRowId)
{
    Database main;
    ASSERT_TRUE(test::createSwitchDb(main, home.file(QStringLiteral("data/Switch.mdb"))));
    const TableDef *t = findTable(QStringLiteral("PHNBill"));
    ASSERT_NE(t, nullptr);
    auto addCall = [&](const QString &caller, const QString &end, const QString &fee) {
        QVariantList v{caller, s("02087654321"), end,       s("65"), s("0.30"),   s("广州"), fee,
                       s("2"), s("0.00"),        s("0.00"), fee,     s("未结算"), QString(), QString()};
        EXPECT_TRUE(main.exec(QStringLiteral("INSERT INTO \"PHNBill\" VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"), v));
        return main.lastInsertRowId();
    };
    // Two calls of 801 that ended in the same minute: only the first is listed.
    const qint64 first = addCall(s("801"), s("2026年12月08日10时01分"), s("1.00"));
    const qint64 twin = addCall(s("801"), s("2026年12月08日10时01分"), s("2.00"));
    const qint64 other = addCall(s("802"), s("2026年12月08日10时05分"), s("3.00"));
    const qint64 reused = addCall(s("803"), s("2026年12月08日10时09分"), s("4.00"));

    PrintStore store;
    ASSERT_TRUE(store.open(path()));
    ASSERT_TRUE(store.replace({bill(s("801"), s("2026年12月08日10时01分"), s("1.00"), first),
                               bill(s("802"), s("2026年12月08日10时05分"), s("3.00"), other),
                               // Listed under a row id that now holds another call.
                               bill(s("809"), s("2026年12月01日08时00分"), s("9.00"), reused)},
                              {}));
    Checked<int> deleted = store.deleteListedFromMain(main);
    ASSERT_TRUE(deleted) << deleted.reason().toStdString();
    EXPECT_EQ(*deleted, 2);
    auto left = main.select(QStringLiteral("SELECT rowid FROM \"PHNBill\" ORDER BY rowid"));
    ASSERT_TRUE(left);
    ASSERT_EQ(left->size(), 2);
    EXPECT_EQ(left->at(0).at(0).toLongLong(), twin);
    EXPECT_EQ(left->at(1).at(0).toLongLong(), reused);
    // The list keeps what was not deleted: the row id that holds another call now.
    ASSERT_EQ(store.bills().size(), 1);
    EXPECT_EQ(store.bills().first().mainRowId, reused);
}
