// Which stored call records a query chooses, and the fee rows it builds.
#include "CallQuery.h"
#include "QueryFixture.h"
#include "TestStatus.h"

#include <gtest/gtest.h>

using namespace corvane;
using test::Bill;
using test::s;

namespace {

const QList<int> kAllTypes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

QStringList callersOf(const QList<BillRow> &bills)
{
    QStringList c;
    for (const BillRow &b : bills)
        c.append(b.caller);
    return c;
}

QStringList endTimesOf(const QList<BillRow> &bills)
{
    QStringList t;
    for (const BillRow &b : bills)
        t.append(b.endTime);
    return t;
}

CallQuery::Criteria criteria(QStringList callers, QList<int> types = kAllTypes, int billOption = 0)
{
    CallQuery::Criteria c;
    c.callers = std::move(callers);
    c.types = std::move(types);
    c.states = CallQuery::StatesFor(billOption);
    return c;
}

class CallQueryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(d.ok()); }

    QList<BillRow> chosen(const CallQuery::Criteria &c)
    {
        const auto r = CallQuery::Choose(d.db, c);
        EXPECT_TRUE(bool(r)) << r.reason().toStdString();
        return r ? r->bills : QList<BillRow>();
    }

    test::QueryData d;
};

TEST_F(CallQueryTest, CallersAreMatchedExactly)
{
    d.addGroup(s("营业部"));
    d.addGroup(s("营业部二"));
    d.setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("0.00"));
    d.setUser(QStringLiteral("802"), s("营业部二"), s("李四"), QStringLiteral("0.00"));
    d.setUser(QStringLiteral("803"), s(" 营业部 "), s("王五"), QStringLiteral("0.00"));
    d.addAccount(QStringLiteral("012"), s("前台"), QStringLiteral("4"), QStringLiteral("0"));
    d.addAccount(QStringLiteral("120"), s("后勤"), QStringLiteral("4"), QStringLiteral("0"));
    for (const char *caller : {"801", "8011", "80", "802", "803", "账号012", "账号0120", "账号120", "账号12"})
        d.addBill({s(caller), s("2026年12月09日10时30分")});

    // By extension: the number before "--", never a part of a longer number.
    auto callers = CallQuery::CallersFor(d.db, CallQuery::SelectMode::Common, {s("801--张三")});
    ASSERT_TRUE(bool(callers));
    EXPECT_EQ(*callers, QStringList{QStringLiteral("801")});
    EXPECT_EQ(callersOf(chosen(criteria(*callers))), QStringList{QStringLiteral("801")});

    // By group: the users whose (trimmed) group is exactly a chosen name.
    callers = CallQuery::CallersFor(d.db, CallQuery::SelectMode::Group, {s("营业部")});
    ASSERT_TRUE(bool(callers));
    EXPECT_EQ(*callers, (QStringList{QStringLiteral("801"), QStringLiteral("803")}));
    EXPECT_EQ(callersOf(chosen(criteria(*callers))), (QStringList{QStringLiteral("801"), QStringLiteral("803")}));

    // By account: "账号" and the three-digit number, also below 100.
    callers = CallQuery::CallersFor(d.db, CallQuery::SelectMode::Account, {s("012--前台"), s("120--后勤")});
    ASSERT_TRUE(bool(callers));
    EXPECT_EQ(callersOf(chosen(criteria(*callers))), (QStringList{s("账号012"), s("账号120")}));

    // Nothing selected chooses nothing.
    callers = CallQuery::CallersFor(d.db, CallQuery::SelectMode::Common, {});
    ASSERT_TRUE(bool(callers));
    EXPECT_TRUE(chosen(criteria(*callers)).isEmpty());
}

TEST_F(CallQueryTest, SelectionListsFollowTheTables)
{
    EXPECT_TRUE(test::Ok(d.db.exec(s("UPDATE SWTConfig SET 用户容量='16'"))));
    d.setUser(QStringLiteral("800"), QString(), s("总机"), QStringLiteral("0.00"));
    auto items = CallQuery::FillList(d.db, CallQuery::SelectMode::Common);
    ASSERT_TRUE(bool(items));
    ASSERT_EQ(items->size(), 16) << "at most the user capacity";
    EXPECT_EQ(items->first(), s("800--总机"));
    EXPECT_EQ(items->at(1), s("801--"));

    d.addGroup(s("客房部"));
    items = CallQuery::FillList(d.db, CallQuery::SelectMode::Group);
    ASSERT_TRUE(bool(items));
    EXPECT_EQ(*items, QStringList{s("客房部")});

    d.addAccount(QStringLiteral("007"), s("007账号"), QStringLiteral("4"), QStringLiteral("0"));
    items = CallQuery::FillList(d.db, CallQuery::SelectMode::Account);
    ASSERT_TRUE(bool(items));
    EXPECT_EQ(*items, QStringList{s("007--007账号")});
}

TEST_F(CallQueryTest, TypesAndStates)
{
    for (int t = 0; t <= 9; ++t) {
        Bill b{QStringLiteral("801"), s("2026年12月09日10时30分")};
        b.type = QString::number(t);
        b.state = t % 2 ? s("已结算") : s("未结算");
        d.addBill(b);
    }
    auto typesOf = [](const QList<BillRow> &bills) { return bills.size(); };
    EXPECT_EQ(typesOf(chosen(criteria({QStringLiteral("801")}, {}))), 0) << "no type ticked chooses nothing";
    EXPECT_EQ(typesOf(chosen(criteria({QStringLiteral("801")}, {0, 2, 8}))), 3);
    EXPECT_EQ(typesOf(chosen(criteria({QStringLiteral("801")}, kAllTypes, 0))), 10);
    EXPECT_EQ(typesOf(chosen(criteria({QStringLiteral("801")}, kAllTypes, 1))), 5);
    const QList<BillRow> settled = chosen(criteria({QStringLiteral("801")}, {1, 2, 3}, 2));
    EXPECT_EQ(settled.size(), 2) << "types 1 and 3 are the settled ones";
    // A state written otherwise (by another program, or none) is not "not
    // settled": the unsettled question, which reads an index of its own,
    // leaves it out as it always did.
    for (const QString &odd : {QString(), s("结算中")}) {
        Bill b{QStringLiteral("801"), s("2026年12月09日11时30分")};
        b.state = odd;
        d.addBill(b);
    }
    EXPECT_EQ(typesOf(chosen(criteria({QStringLiteral("801")}, kAllTypes, 1))), 5);
}

TEST_F(CallQueryTest, TheRangeTakesEachRecordByItsMoment)
{
    // Both end-time forms, around the limits of the range.
    const QStringList times{s("2026年12月09日10时29分"), s("2026年12月09日10:29:59"), s("2026年12月09日10时30分"),
                            s("2026年12月09日10:30:00"), s("2026年12月09日10:45:59"), s("2026年12月09日10时45分"),
                            s("2026年12月09日10:46:00"), s("2026年12月09日10时46分"), s("2026年12月08日23时59分"),
                            s("2026年12月10日00:00:00"), s("2026年12月09日"),         s("无效时间")};
    for (const QString &t : times)
        d.addBill({QStringLiteral("801"), t});

    CallQuery::Criteria c = criteria({QStringLiteral("801")});
    EXPECT_EQ(chosen(c).size(), times.size()) << "without a range every record qualifies";

    c.begin = QDateTime(QDate(2026, 12, 9), QTime(10, 30, 0));
    c.end = QDateTime(QDate(2026, 12, 9), QTime(10, 45, 59));
    EXPECT_EQ(endTimesOf(chosen(c)), (QStringList{s("2026年12月09日10时30分"), s("2026年12月09日10:30:00"),
                                                  s("2026年12月09日10:45:59"), s("2026年12月09日10时45分")}));

    // One second later at the start leaves the minute record of 10:30 out.
    c.begin = QDateTime(QDate(2026, 12, 9), QTime(10, 30, 1));
    c.end = QDateTime(QDate(2026, 12, 9), QTime(10, 46, 0));
    EXPECT_EQ(endTimesOf(chosen(c)), (QStringList{s("2026年12月09日10:45:59"), s("2026年12月09日10时45分"),
                                                  s("2026年12月09日10:46:00"), s("2026年12月09日10时46分")}));

    // Across midnight.
    c.begin = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 0));
    c.end = QDateTime(QDate(2026, 12, 10), QTime(0, 0, 0));
    EXPECT_EQ(chosen(c).size(), 10);

    EXPECT_EQ(CallQuery::EndTimeMoment(s("2026年02月30日10时30分")), std::nullopt);
    EXPECT_EQ(CallQuery::EndTimeMoment(s("2026年12月09日10:30:07")), QDateTime(QDate(2026, 12, 9), QTime(10, 30, 7)));
}

TEST_F(CallQueryTest, FeeRowsSumByCallTypeWithTheRent)
{
    d.setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("30.00"));
    d.setUser(QStringLiteral("802"), s("营业部"), s("李四"), QStringLiteral("12.50"));
    d.addAccount(QStringLiteral("012"), s("前台"), QStringLiteral("4"), QStringLiteral("0"));
    struct Rec {
        const char *caller, *type, *fee, *handling, *service, *charge;
    };
    // One record of every call type for 801, each charge a power of two cents,
    // so that a charge summed into the wrong column shows in every total.
    QList<Rec> recs;
    static QByteArray texts[10][3];
    for (int t = 0; t < 10; ++t) {
        const Money charge = Money::fromRaw(qint64(1) << t) * 100;
        texts[t][0] = QByteArray::number(t);
        texts[t][1] = (charge + Money::fromText(QStringLiteral("0.03"))).toText().toUtf8();
        texts[t][2] = charge.toText().toUtf8();
        recs.append({"801", texts[t][0].constData(), texts[t][1].constData(), "0.01", "0.02", texts[t][2].constData()});
    }
    recs.append({"账号012", "3", "0.90", "0.00", "0.00", "0.90"});
    recs.append({"8011", "4", "0.50", "0.00", "0.00", "0.50"}); // no User row
    for (const Rec &r : recs) {
        Bill b{s(r.caller), s("2026年12月09日10时30分"), s(r.type), s(r.fee), s(r.handling), s(r.service), s(r.charge)};
        b.group = QString::fromUtf8(r.caller) == QLatin1String("801") ? s("营业部") : QString();
        b.name = QString::fromUtf8(r.caller) == QLatin1String("801") ? s("张三") : s("别人");
        d.addBill(b);
    }

    CallQuery::Criteria c =
        criteria({QStringLiteral("801"), s("账号012"), QStringLiteral("8011"), QStringLiteral("802")});
    ASSERT_EQ(CallQuery::BuildPrintData(d.db, d.store, c).value(), recs.size());
    const QList<FeeRow> fees = d.store.fees();
    ASSERT_EQ(fees.size(), 3) << "a caller without chosen records has no fee row";
    // Types 0-3 long distance, 6-8 city, 4-5 local, 9 incoming.
    EXPECT_EQ(
        fees.at(0).texts().mid(0, 11),
        (QStringList{s("营业部"), QStringLiteral("801"), s("张三"), QStringLiteral("0.15"), QStringLiteral("4.48"),
                     QStringLiteral("0.48"), QStringLiteral("5.12"), QStringLiteral("30.00"), QStringLiteral("0.10"),
                     QStringLiteral("0.20"), QStringLiteral("40.53")}));
    EXPECT_EQ(fees.at(1).texts().mid(0, 11),
              (QStringList{QString(), s("账号012"), s("别人"), QStringLiteral("0.90"), QStringLiteral("0.00"),
                           QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("0.00"),
                           QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("0.90")}));
    EXPECT_EQ(fees.at(2).rent.toText(), QStringLiteral("0.00")) << "no User row, no rent";
    EXPECT_EQ(fees.at(2).local.toText(), QStringLiteral("0.50"));
    // 合计 is the rent plus the records' totals.
    for (const FeeRow &f : fees) {
        Money sum = f.rent;
        for (const BillRow &b : d.store.bills())
            if (b.caller == f.number)
                sum += Money::fromText(b.fee);
        EXPECT_EQ(f.total.toText(), sum.toText()) << f.number.toStdString();
    }

    // The listed rows carry their main row ids, in table order.
    const QList<BillRow> bills = d.store.bills();
    ASSERT_EQ(bills.size(), recs.size());
    for (int i = 0; i < bills.size(); ++i)
        EXPECT_EQ(bills.at(i).caller, d.cell(s("SELECT 主叫号码 FROM PHNBill WHERE rowid=?"), {bills.at(i).mainRowId}));

    // Waived: every row starts at 0.00 rent.
    c.waiveRent = true;
    ASSERT_TRUE(bool(CallQuery::BuildPrintData(d.db, d.store, c)));
    EXPECT_EQ(d.store.fees().at(0).rent.toText(), QStringLiteral("0.00"));
    EXPECT_EQ(d.store.fees().at(0).total.toText(), QStringLiteral("10.53"));

    // A new query replaces the old list.
    ASSERT_TRUE(bool(CallQuery::BuildPrintData(d.db, d.store, criteria({}))));
    EXPECT_TRUE(d.store.bills().isEmpty());
    EXPECT_TRUE(d.store.fees().isEmpty());
}

} // namespace
