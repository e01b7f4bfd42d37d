// Settling rooms: marks, deposits, classes and the class commands, in one
// transaction, of what is true at the moment of the commit.
#include "CallQuery.h"
#include "QueryFixture.h"
#include "Settlement.h"
#include "TestStatus.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace corvane;
using test::Bill;
using test::s;

namespace {

class SettlementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(d.ok());
        d.setSettleClass(QStringLiteral("5"));
        // 801 (port 1) and 803 (port 3) pay by deposit, 802 does not; 801 was
        // demoted to class 1 when its deposit ran out.
        d.setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("0.00"));
        d.setUser(QStringLiteral("802"), s("营业部"), s("李四"), QStringLiteral("0.00"));
        EXPECT_TRUE(test::Ok(d.db.exec(s("UPDATE User SET 分机等级='1', 分机中继分组='3' WHERE 用户号码='801'"))));
        d.addDeposit(QStringLiteral("1"), QStringLiteral("801"), QStringLiteral("1"), QStringLiteral("-0.40"),
                     QStringLiteral("20.00"));
        d.addDeposit(QStringLiteral("3"), QStringLiteral("803"), QStringLiteral("4"), QStringLiteral("8.00"),
                     QStringLiteral("10.00"));
        // Account 012 on trunk group 2 pays by deposit; its port-12 namesake
        // row belongs to extension 812 and must not be touched.
        d.addAccount(QStringLiteral("012"), s("前台"), QStringLiteral("1"), QStringLiteral("2"));
        d.addDeposit(QStringLiteral("012"), s("账号"), QStringLiteral("1"), QStringLiteral("-1.00"),
                     QStringLiteral("30.00"));
        d.addDeposit(QStringLiteral("12"), QStringLiteral("812"), QStringLiteral("4"), QStringLiteral("6.00"),
                     QStringLiteral("6.00"));
    }

    void query(const QStringList &callers, int billOption = 1)
    {
        criteria = CallQuery::Criteria();
        criteria.callers = callers;
        criteria.types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        criteria.states = CallQuery::StatesFor(billOption);
        criteria.settling = true;
        ASSERT_TRUE(bool(CallQuery::BuildPrintData(d.db, d.store, criteria, &list)));
    }
    // "结算" on every room of the list, the day after the calls.
    Settlement::Outcome settle()
    {
        QStringList shown;
        for (const FeeRow &f : d.store.fees())
            shown << f.number;
        return Settlement::SettleRooms(d.db, d.store, Settlement::RequestFor(criteria, list, shown),
                                       {QStringLiteral("前台"), QDateTime(QDate(2026, 12, 10), QTime(9, 0))});
    }
    QString userClass(const QString &number)
    {
        return d.cell(s("SELECT 分机等级 FROM User WHERE 用户号码=?"), {number});
    }
    QString accountClass() { return d.cell(s("SELECT 等级 FROM Account WHERE 账号编号='012'")); }

    test::QueryData d;
    CallQuery::Criteria criteria;
    CallQuery::Chosen list;
};

TEST_F(SettlementTest, SettlesWhatIsTrueAtTheCommitResetsDepositsAndRestoresClasses)
{
    const QString minute = s("2026年12月09日10时30分");
    const qint64 a = d.addBill({QStringLiteral("801"), minute});
    const qint64 twin = d.addBill({QStringLiteral("801"), minute}); // same caller, same minute
    const qint64 b = d.addBill({QStringLiteral("802"), minute});
    const qint64 acct = d.addBill({s("账号012"), minute});
    const qint64 other = d.addBill({QStringLiteral("803"), minute});
    query({QStringLiteral("801"), QStringLiteral("802"), s("账号012")});
    // After the list was made one listed row was deleted, and a record of the
    // same caller and minute came in: the room is settled as it is now, the
    // record that came in with it, and said so.
    EXPECT_TRUE(test::Ok(d.db.exec(s("DELETE FROM PHNBill WHERE rowid=?"), {twin})));
    const qint64 later = d.addBill({QStringLiteral("801"), minute}); // came in after the query

    const Settlement::Outcome out = settle();
    ASSERT_TRUE(bool(out)) << out.status.reason().toStdString();
    EXPECT_EQ(out.marked, 4);
    EXPECT_EQ(out.arrived, 1);
    EXPECT_EQ(out.notMarked, 1) << "the listed row deleted meanwhile";
    EXPECT_EQ(d.stateOf(a), s("已结算"));
    EXPECT_EQ(d.stateOf(b), s("已结算"));
    EXPECT_EQ(d.stateOf(acct), s("已结算"));
    EXPECT_EQ(d.stateOf(later), s("已结算")) << "a record of the room that ended before the commit";
    EXPECT_EQ(d.stateOf(other), s("未结算"));
    EXPECT_EQ(d.store.bills().size(), 5) << "the receipt lists the record that came in";

    // Deposits 0.00 and the class after settlement, in the tables and in the switch.
    EXPECT_EQ(d.depositOf(QStringLiteral("1"), false),
              (QStringList{QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("5")}));
    EXPECT_EQ(d.depositOf(QStringLiteral("012"), true),
              (QStringList{QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("5")}));
    EXPECT_EQ(d.depositOf(QStringLiteral("3"), false),
              (QStringList{QStringLiteral("8.00"), QStringLiteral("10.00"), QStringLiteral("4")}));
    EXPECT_EQ(d.depositOf(QStringLiteral("12"), false),
              (QStringList{QStringLiteral("6.00"), QStringLiteral("6.00"), QStringLiteral("4")}));
    EXPECT_EQ(userClass(QStringLiteral("801")), QStringLiteral("5"));
    EXPECT_EQ(userClass(QStringLiteral("802")), QStringLiteral("4")) << "no deposit row: class unchanged";
    EXPECT_EQ(accountClass(), QStringLiteral("5"));
    // Extensions by the extension command, accounts by the account command;
    // one command each, and none for 802 which pays no deposit.
    EXPECT_EQ(out.commands, (QStringList{QStringLiteral("*10*5*801#"), QStringLiteral("*68*5*2*0*012#")}));
    EXPECT_EQ(out.resetCallers, (QStringList{QStringLiteral("801"), s("账号012")}));
}

TEST_F(SettlementTest, ASecondRunKeepsADepositPaidSince)
{
    const QString minute = s("2026年12月09日10时30分");
    d.addBill({QStringLiteral("801"), minute});
    d.addBill({QStringLiteral("803"), minute});
    query({QStringLiteral("801")});
    ASSERT_TRUE(bool(settle()));

    // 801 pays a new deposit; 803 makes a call that is not settled yet.
    EXPECT_TRUE(test::Ok(d.db.exec(s("UPDATE Foregift SET 余额='50.00', 押金='50.00', 等级='4' WHERE 物理端口='1'"))));
    EXPECT_TRUE(test::Ok(d.db.exec(s("UPDATE User SET 分机等级='4' WHERE 用户号码='801'"))));
    d.addBill({QStringLiteral("803"), s("2026年12月09日11时00分")});
    query({QStringLiteral("801"), QStringLiteral("803")}, 0); // all records, the settled ones too

    const Settlement::Outcome again = settle();
    ASSERT_TRUE(bool(again));
    EXPECT_EQ(again.marked, 2) << "only 803's two records were still open";
    EXPECT_EQ(again.settledCallers, QStringList{QStringLiteral("803")});
    EXPECT_EQ(d.depositOf(QStringLiteral("1"), false),
              (QStringList{QStringLiteral("50.00"), QStringLiteral("50.00"), QStringLiteral("4")}));
    EXPECT_EQ(userClass(QStringLiteral("801")), QStringLiteral("4"));
    EXPECT_EQ(d.depositOf(QStringLiteral("3"), false),
              (QStringList{QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("5")}));
    EXPECT_EQ(again.commands, QStringList{QStringLiteral("*10*5*803#")});

    // A third run finds nothing left to settle and changes nothing.
    const Settlement::Outcome third = settle();
    ASSERT_TRUE(bool(third));
    EXPECT_EQ(third.marked, 0);
    EXPECT_TRUE(third.commands.isEmpty());
}

TEST_F(SettlementTest, AFailedSettlementChangesNothing)
{
    const qint64 a = d.addBill({QStringLiteral("801"), s("2026年12月09日10时30分")});
    const qint64 acct = d.addBill({s("账号012"), s("2026年12月09日10时31分")});
    query({QStringLiteral("801"), s("账号012")});
    // The deposits cannot be written: the marks already made must go back.
    ASSERT_TRUE(d.db.exec(QStringLiteral("CREATE TRIGGER full BEFORE UPDATE ON Account "
                                         "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));

    const Settlement::Outcome out = settle();
    EXPECT_FALSE(bool(out));
    EXPECT_TRUE(out.status.reason().contains(QStringLiteral("disk is full"))) << out.status.reason().toStdString();
    EXPECT_TRUE(out.commands.isEmpty());
    EXPECT_EQ(d.stateOf(a), s("未结算"));
    EXPECT_EQ(d.stateOf(acct), s("未结算"));
    EXPECT_EQ(d.depositOf(QStringLiteral("1"), false),
              (QStringList{QStringLiteral("-0.40"), QStringLiteral("20.00"), QStringLiteral("1")}));
    EXPECT_EQ(userClass(QStringLiteral("801")), QStringLiteral("1"));
    EXPECT_EQ(accountClass(), QStringLiteral("1"));

    // Once the database takes writes again the same list settles whole.
    ASSERT_TRUE(d.db.exec(QStringLiteral("DROP TRIGGER full")));
    const Settlement::Outcome retry = settle();
    ASSERT_TRUE(bool(retry));
    EXPECT_EQ(retry.marked, 2);
}

TEST_F(SettlementTest, DeletingTakesExactlyTheListedRows)
{
    const QString minute = s("2026年12月09日10时30分");
    const qint64 a = d.addBill({QStringLiteral("801"), minute});
    query({QStringLiteral("801")});
    const qint64 sameMinute = d.addBill({QStringLiteral("801"), minute}); // arrived after the query
    const auto deleted = d.store.deleteListedFromMain(d.db);
    ASSERT_TRUE(bool(deleted));
    EXPECT_EQ(*deleted, 1);
    EXPECT_EQ(d.cell(s("SELECT count(*) FROM PHNBill WHERE rowid=?"), {a}), QStringLiteral("0"));
    EXPECT_EQ(d.cell(s("SELECT count(*) FROM PHNBill WHERE rowid=?"), {sameMinute}), QStringLiteral("1"));
}

} // namespace
