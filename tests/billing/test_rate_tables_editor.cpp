// The rate, discount, IP and holiday tables as the rate window edits them,
// without the window: the stores, the commands each returns, and the rules
// of the cells. Star codes are compared as text here; the window test
// compares the bytes the switch receives.
#include "CallTypes.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DiscountRules.h"
#include "RateTablesEditor.h"
#include "TestHome.h"
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class RateTablesEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb"))));
        tables = std::make_unique<RateTablesEditor>(db, callTypeNames(), QStringList{"×", "√"});
    }
    // The cell of row `index` of a list, as the window would hand it over.
    static GridCell cellOf(const TableRows &rows, int index, int col)
    {
        return {index + 1, col, rows.rowId(index), rows.row(index).value(col)};
    }
    int indexOfName(int t, const QString &name)
    {
        const TableRows rows = *tables->feerate(t);
        for (int i = 0; i < rows.size(); ++i)
            if (rows.row(i).value(1) == name)
                return i;
        return -1;
    }
    QString scalar(const QString &sql) { return db.scalar(sql).value_or(QStringLiteral("<none>")); }

    test::TestHome home;
    Database db;
    std::unique_ptr<RateTablesEditor> tables;
};

} // namespace

TEST_F(RateTablesEditorTest, LocalPrefixesGoToTheSwitchOnlyForTheirOwnRows)
{
    constexpr int Local = DiscountRules::LocalTab;
    ASSERT_TRUE(tables->addRate(Local));
    const int added = indexOfName(Local, QStringLiteral("本地新添加"));
    ASSERT_GE(added, 0);
    TableRows rows = *tables->feerate(Local);

    StoreResult r = tables->storeFeerate(Local, cellOf(rows, added, 0), QStringLiteral("0571"));
    ASSERT_TRUE(r) << r.status.reason().toStdString();
    EXPECT_EQ(r.commands, QStringList{"*20*1*1*0571#"}) << "no prefix before: nothing to remove";
    r = tables->storeFeerate(Local, cellOf(*tables->feerate(Local), added, 0), QStringLiteral("0572"));
    EXPECT_EQ(r.commands, (QStringList{"*20*0*0571#", "*20*1*1*0572#"}));
    // Other columns, the default row and other tabs send nothing.
    EXPECT_TRUE(tables->storeFeerate(Local, cellOf(*tables->feerate(Local), added, 3), QStringLiteral("0.50"))
                    .commands.isEmpty());
    const int fallback = indexOfName(Local, QStringLiteral("本地默认"));
    EXPECT_TRUE(tables->storeFeerate(Local, cellOf(*tables->feerate(Local), fallback, 0), QStringLiteral("9"))
                    .commands.isEmpty());
    ASSERT_TRUE(tables->addRate(2));
    const int domestic = indexOfName(2, QStringLiteral("国内新添加"));
    EXPECT_TRUE(
        tables->storeFeerate(2, cellOf(*tables->feerate(2), domestic, 0), QStringLiteral("0571")).commands.isEmpty());

    rows = *tables->feerate(Local);
    const qint64 prefixRow = rows.rowId(indexOfName(Local, QStringLiteral("本地新添加")));
    r = tables->deleteRate(Local, prefixRow);
    ASSERT_TRUE(r);
    EXPECT_EQ(r.commands, QStringList{"*20*0*0572#"});
    EXPECT_TRUE(r.refill);
    // The default row is never deleted.
    const qint64 fallbackRow = tables->feerate(Local)->rowId(indexOfName(Local, QStringLiteral("本地默认")));
    const Status refused = tables->checkDeleteRate(Local, fallbackRow);
    EXPECT_EQ(refused.reason(), QStringLiteral("默认费率不可删除！"));
    EXPECT_FALSE(tables->deleteRate(Local, fallbackRow));
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM Feerate WHERE 类型='5'")), QStringLiteral("1"));
}

TEST_F(RateTablesEditorTest, CellRulesOfTheRateGrids)
{
    const TableRows rows = *tables->feerate(8);
    const int fallback = 0; // "市话默认", the empty prefix first
    ASSERT_EQ(rows.row(fallback).value(1), QStringLiteral("市话默认"));
    const CellRule name = tables->feerateRule(8, cellOf(rows, fallback, 1));
    EXPECT_FALSE(name.blocked);
    EXPECT_EQ(name.blocked.reason(), QStringLiteral("默认费率名称不可更改！"));
    EXPECT_EQ(name.title, MessageService::defaultTitle());
    EXPECT_EQ(tables->feerateRule(8, cellOf(rows, fallback, 3)).kind, CellRule::Kind::Text);
    EXPECT_EQ(tables->feerateRule(8, cellOf(rows, fallback, 10)).kind, CellRule::Kind::Cycle);
    EXPECT_EQ(tables->feerateRule(8, cellOf(rows, fallback, 11)).kind, CellRule::Kind::Fixed);
    const TableRows incoming = *tables->feerate(DiscountRules::IncomingTab);
    for (int c : {0, 1, 10})
        EXPECT_EQ(tables->feerateRule(DiscountRules::IncomingTab, cellOf(incoming, 0, c)).kind, CellRule::Kind::Fixed)
            << c;
    EXPECT_EQ(tables->checkFeerate(8, cellOf(rows, fallback, 5), QStringLiteral(".5")).value(), QStringLiteral("0.50"));
    EXPECT_EQ(tables->checkFeerate(5, cellOf(rows, fallback, 0), QStringLiteral("05712")).reason(),
              QStringLiteral("本地网字头最大为4位整数！"));
}

TEST_F(RateTablesEditorTest, ABatchIsWrittenWholeOrNotAtAll)
{
    const TableRows rows = *tables->feerate(2);
    ASSERT_GE(rows.size(), 4);
    const QList<qint64> ids{rows.rowId(1), rows.rowId(2), rows.rowId(3)};
    EXPECT_EQ(tables->checkBatchColumns(3, 4).reason(), QStringLiteral("你选择了多列数据，无法进行修改！"));
    EXPECT_EQ(tables->checkBatchColumn(1).reason(), QStringLiteral("第一列和第二列无法进行批量修改！"));
    EXPECT_EQ(tables->checkBatchValue(2, 10, QStringLiteral("2")).reason(), QStringLiteral("请输入0（×）或1（√）！"));
    EXPECT_EQ(tables->checkBatchValue(2, 10, QStringLiteral("0")).value(), QStringLiteral("×"));

    // The third row refuses the write: the first two are not kept either.
    ASSERT_TRUE(db.exec(QStringLiteral("CREATE TRIGGER stop BEFORE UPDATE ON Feerate WHEN old.rowid=%1 "
                                       "BEGIN SELECT RAISE(ABORT, 'locked'); END")
                            .arg(ids.at(2))));
    const StoreResult failed = tables->batchChange(2, ids, 5, QStringLiteral("0.77"));
    EXPECT_FALSE(failed);
    EXPECT_TRUE(failed.status.reason().contains(QStringLiteral("locked")));
    EXPECT_TRUE(failed.refill);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM Feerate WHERE 单位费率='0.77'")), QStringLiteral("0"));

    ASSERT_TRUE(db.exec(QStringLiteral("DROP TRIGGER stop")));
    ASSERT_TRUE(tables->batchChange(2, ids, 5, QStringLiteral("0.77")));
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM Feerate WHERE 单位费率='0.77'")), QStringLiteral("3"));
    EXPECT_NE(scalar(QStringLiteral("SELECT 单位费率 FROM Feerate WHERE rowid=%1").arg(rows.rowId(0))),
              QStringLiteral("0.77"));
}

TEST_F(RateTablesEditorTest, IPCardsSendWhatChangedOnlyWhileEnabled)
{
    const TableRows cards = *tables->ipCards();
    ASSERT_EQ(cards.size(), DiscountRules::IPCardRows);
    const int entry = 9; // card "10"
    ASSERT_EQ(cards.row(entry).value(0), QStringLiteral("10"));
    auto cell = [&](int col) { return cellOf(*tables->ipCards(), entry, col); };

    // Incomplete: the switch cannot be turned on (nor off).
    const Checked<QString> on = tables->checkIP(cell(1), QStringLiteral("√"));
    EXPECT_EQ(on.reason(), QStringLiteral("请填写好所有信息后再启动该IP卡！"));
    EXPECT_EQ(tables->ipRule(cell(1)).title, QStringLiteral("请填写其他信息"));

    // Filled while disabled: stored, nothing sent.
    for (const auto &[col, value] : {std::pair{2, "17909"}, {6, "12345678901234"}, {8, "123456"}}) {
        const StoreResult r = tables->storeIP(cell(col), QString::fromUtf8(value));
        ASSERT_TRUE(r);
        EXPECT_TRUE(r.commands.isEmpty()) << col;
    }
    ASSERT_TRUE(tables->checkIP(cell(1), QStringLiteral("√")));
    StoreResult r = tables->storeIP(cell(1), QStringLiteral("√"));
    EXPECT_EQ(r.commands, (QStringList{"*81*17909*1*12345678901234*123456*10#", "*82*150*150*150*150*10#"}));
    r = tables->storeIP(cell(4), QStringLiteral("英文"));
    EXPECT_EQ(r.commands, QStringList{"*81*17909*2*12345678901234*123456*10#"}) << "the language: the first command";
    r = tables->storeIP(cell(5), QStringLiteral("2s"));
    EXPECT_EQ(r.commands, QStringList{"*82*150*200*150*150*10#"}) << "a pause: the second command";
    r = tables->storeIP(cell(8), QStringLiteral("654321"));
    EXPECT_EQ(r.commands.size(), 2) << "a typed field: both";
    r = tables->storeIP(cell(1), QStringLiteral("×"));
    EXPECT_EQ(r.commands, QStringList{"*81*0*10#"});

    // Without a card number: row "13", its commands.
    r = tables->setNoCard(true, QStringLiteral("88886666"), 2);
    EXPECT_EQ(r.commands, (QStringList{"*83*88886666#", "*84*50#"}));
    EXPECT_TRUE(tables->noCardSetting()->on);
    EXPECT_EQ(tables->noCardSetting()->interval, 2);
    r = tables->setNoCard(false, QString(), 2);
    EXPECT_EQ(r.commands, QStringList{"*83*0#"});
    EXPECT_EQ(tables->checkNoCardNumber(QStringLiteral("8888*6666"), true).reason(),
              QStringLiteral("请输入数字作为切入IP方式的电话号码！"));
}
