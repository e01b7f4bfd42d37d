// The traffic statistics: figures worked out by hand for a few records, and
// the same totals as the settlement's for a seeded month of varied records.
#include "BillSummary.h"
#include "BillTable.h"
#include "CallQuery.h"
#include "QueryFixture.h"
#include "TestStatus.h"
#include "TrafficStats.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace corvane;
using test::Bill;
using test::s;

namespace {

const QDate kFirst(2026, 12, 1), kLast(2026, 12, 31);
const QDate kToday(2027, 1, 5);

TrafficStats::Selection month(const QStringList &states = CallQuery::StatesFor(0), const QStringList &callers = {})
{
    TrafficStats::Selection sel;
    sel.first = kFirst;
    sel.last = kLast;
    sel.states = states;
    sel.everyCaller = callers.isEmpty();
    sel.callers = callers;
    return sel;
}

const TrafficStats::Line *lineOf(const QList<TrafficStats::Line> &lines, const QString &key)
{
    for (const TrafficStats::Line &l : lines)
        if (l.key == key)
            return &l;
    return nullptr;
}

// "calls/fees in-calls/in-fees" of a line, or "none".
QString show(const TrafficStats::Line *l)
{
    if (!l)
        return QStringLiteral("none");
    return QStringLiteral("%1/%2 %3/%4").arg(l->calls).arg(l->fees.toText()).arg(l->inCalls).arg(l->inFees.toText());
}

// What a settlement of every call type over the same days sums, rent left out.
struct Settled {
    Money total;
    QMap<QString, Money> byCaller;
    int records = 0;
};

Settled settlementOf(Database &db, const QStringList &callers, const QStringList &states)
{
    CallQuery::Criteria c;
    c.callers = callers;
    c.types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    c.states = states;
    c.begin = QDateTime(kFirst, QTime(0, 0, 0));
    c.end = QDateTime(kLast, QTime(23, 59, 59));
    c.waiveRent = true;
    const auto chosen = CallQuery::Choose(db, c);
    EXPECT_TRUE(chosen) << chosen.reason().toStdString();
    Settled out;
    if (!chosen)
        return out;
    for (const FeeRow &f : chosen->fees) {
        out.total += f.total;
        out.byCaller[f.number] = f.total;
    }
    out.records = int(chosen->bills.size());
    return out;
}

} // namespace

TEST(TrafficStatsTest, FiguresWorkedOutByHand)
{
    test::QueryData data;
    ASSERT_TRUE(data.ok());
    data.addTrafficSample();

    const auto r = TrafficStats::Compute(data.db, month(), kToday);
    ASSERT_TRUE(r) << r.reason().toStdString();
    // Six records in December: 3.60 + 1.25 + 0.00 (no number) + 12.50 ("12.5元")
    // + 0.20 out, 0.30 in. Not counted: November, January, the record without
    // a call type and the one at 25 o'clock.
    EXPECT_EQ(show(&r->total), "5/17.55 1/0.30");
    EXPECT_EQ(r->unreadFees, 1);
    EXPECT_EQ(r->elapsedDays, 31);
    EXPECT_EQ(r->averagePerDay.toText(), "0.58"); // 17.85 / 31 = 0.5758
    EXPECT_EQ(TrafficStats::summaryText(*r),
              "话单：6条（呼出5条，呼入1条）  话费合计：17.85元（呼出17.55元，呼入0.30元）  日均：0.58元"
              "  话费无法读取（按0.00计）：1条");

    ASSERT_EQ(r->days.size(), 31);
    EXPECT_EQ(show(lineOf(r->days, "2026-12-01")), "1/0.20 0/0.00");
    EXPECT_EQ(show(lineOf(r->days, "2026-12-03")), "2/4.85 1/0.30");
    EXPECT_EQ(show(lineOf(r->days, "2026-12-10")), "0/0.00 0/0.00");
    EXPECT_EQ(show(lineOf(r->days, "2026-12-15")), "1/12.50 0/0.00"); // written "9时05分"
    EXPECT_EQ(show(lineOf(r->days, "2026-12-31")), "1/0.00 0/0.00");  // the last second is inside

    ASSERT_EQ(r->months.size(), 12);
    EXPECT_EQ(r->months.first().key, "2026-01");
    EXPECT_EQ(show(lineOf(r->months, "2026-11")), "1/9.99 0/0.00");
    EXPECT_EQ(show(lineOf(r->months, "2026-12")), "5/17.55 1/0.30");

    ASSERT_EQ(r->types.size(), 10);
    EXPECT_EQ(r->types.at(1).label, "国际");
    EXPECT_EQ(show(&r->types.at(1)), "1/12.50 0/0.00");
    EXPECT_EQ(show(&r->types.at(9)), "0/0.00 1/0.30");
    EXPECT_EQ(show(&r->types.at(4)), "0/0.00 0/0.00");

    ASSERT_EQ(r->hours.size(), 24);
    EXPECT_EQ(show(&r->hours.at(9)), "2/16.10 1/0.30");
    EXPECT_EQ(show(&r->hours.at(23)), "2/1.25 0/0.00");
    EXPECT_EQ(show(&r->hours.at(0)), "1/0.20 0/0.00");

    ASSERT_EQ(r->callers.size(), 3);
    EXPECT_EQ(r->callers.at(0).key, "802");
    EXPECT_EQ(r->callers.at(0).name, "李四");
    EXPECT_EQ(show(&r->callers.at(0)), "3/12.70 0/0.00");
    EXPECT_EQ(show(&r->callers.at(1)), "1/3.60 1/0.30");
    EXPECT_EQ(r->callers.at(2).key, "账号012");
    ASSERT_EQ(r->groups.size(), 2);
    EXPECT_EQ(r->groups.at(0).label, "前台");
    EXPECT_EQ(r->groups.at(0).allFees().toText(), "16.60");
    EXPECT_EQ(r->groups.at(1).label, "（无分组）");
    EXPECT_EQ(r->areasByFees.at(0).label, "美国");
    EXPECT_EQ(r->areasByCalls.at(0).label, "广州"); // two calls

    // The tables carry the same numbers: the day table ends with the total
    // and the average; shares to the hundredth of a percent.
    const QList<ExportSheet> sheets = TrafficStats::Sheets(*r);
    ASSERT_EQ(sheets.size(), 8);
    EXPECT_EQ(sheets.at(0).rows.at(31), QStringList({"合计", "5", "17.55", "1", "0.30", "17.85"}));
    EXPECT_EQ(sheets.at(0).rows.at(32).last(), "0.58");
    EXPECT_EQ(sheets.at(2).rows.at(1), QStringList({"国际", "1", "12.50", "16.67%", "70.03%"}));
    EXPECT_EQ(sheets.at(3).rows.at(0), QStringList({"802", "李四", "3", "12.70", "0", "0.00", "12.70"}));

    // By state and by caller, as the query window chooses them.
    const auto open = TrafficStats::Compute(data.db, month(CallQuery::StatesFor(1)), kToday);
    ASSERT_TRUE(open);
    EXPECT_EQ(show(&open->total), "3/16.10 0/0.00");
    const auto account = TrafficStats::Compute(data.db, month(CallQuery::StatesFor(0), {s("账号012")}), kToday);
    ASSERT_TRUE(account);
    EXPECT_EQ(show(&account->total), "1/1.25 0/0.00");

    // A month without records, and a range the wrong way round.
    TrafficStats::Selection june = month();
    june.first = QDate(2026, 6, 1);
    june.last = QDate(2026, 6, 30);
    const auto empty = TrafficStats::Compute(data.db, june, kToday);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(TrafficStats::summaryText(*empty), "没有话单");
    EXPECT_EQ(empty->days.size(), 30);
    EXPECT_TRUE(empty->callers.isEmpty());
    EXPECT_EQ(TrafficStats::Sheets(*empty).at(2).rows.at(0), QStringList({"港澳台", "0", "0.00", "0.00%", "0.00%"}));
    june.last = QDate(2026, 5, 31);
    EXPECT_EQ(TrafficStats::Compute(data.db, june, kToday).reason(), "开始日期不能晚于结束日期！");
}

TEST(TrafficStatsTest, TotalsEqualTheSettlementsForTheSameChoice)
{
    test::QueryData data;
    ASSERT_TRUE(data.ok());
    data.addTrafficSample();
    // A seeded month of every call type by five extensions and an account,
    // each end time in its stored form (incoming calls to the second), some
    // settled, some fees written loosely, and the days around the month.
    const QStringList callers{"801", "802", "803", "804", "805", s("账号012")};
    QRandomGenerator random(20261231);
    const QString loose[] = {QString(), s("abc"), QStringLiteral(" 2.5"), QStringLiteral("1.005"), s("0.7元")};
    int added = 0;
    for (int i = 0; i < 900; ++i) {
        Bill b;
        b.caller = callers.at(int(random.bounded(callers.size())));
        const int type = int(random.bounded(10));
        b.type = QString::number(type);
        const QDate day = kFirst.addDays(int(random.bounded(33)) - 1); // Nov 30 to Jan 1
        const int hour = int(random.bounded(24)), minute = int(random.bounded(60)), second = int(random.bounded(60));
        b.endTime = type == 9 ? day.toString(QStringLiteral("yyyy年MM月dd日"))
                                    + QStringLiteral("%1:%2:%3")
                                          .arg(hour, 2, 10, QLatin1Char('0'))
                                          .arg(minute, 2, 10, QLatin1Char('0'))
                                          .arg(second, 2, 10, QLatin1Char('0'))
                              : day.toString(QStringLiteral("yyyy年MM月dd日"))
                                    + QStringLiteral("%1时%2分")
                                          .arg(hour, 2, 10, QLatin1Char('0'))
                                          .arg(minute, 2, 10, QLatin1Char('0'));
        b.fee = random.bounded(15) == 0 ? loose[random.bounded(5)]
                                        : Money::fromRaw(qint64(random.bounded(200000))).toText();
        b.state = random.bounded(3) == 0 ? s("已结算") : s("未结算");
        b.group = b.caller == QLatin1String("803") || b.caller == QLatin1String("804") ? s("客房") : s("前台");
        b.area = QStringList{s("北京"), s("上海"), s("广州"), s("移动")}.at(int(random.bounded(4)));
        added += data.addBill(b) > 0 ? 1 : 0;
    }
    ASSERT_EQ(added, 900);

    const QStringList everyone = callers;
    for (int option = 0; option < 3; ++option) {
        const QStringList states = CallQuery::StatesFor(option);
        for (const QStringList &chosen : {everyone, QStringList{"803", "804"}, QStringList{s("账号012")}}) {
            SCOPED_TRACE((states.join(u'|') + QLatin1Char(' ') + chosen.join(u',')).toStdString());
            const Settled settled = settlementOf(data.db, chosen, states);
            ASSERT_GT(settled.records, 0);
            const bool all = chosen == everyone;
            const auto r = TrafficStats::Compute(data.db, month(states, all ? QStringList() : chosen), kToday);
            ASSERT_TRUE(r) << r.reason().toStdString();
            EXPECT_EQ(r->total.allFees().toText(), settled.total.toText());
            EXPECT_EQ(r->total.allCalls(), settled.records);
            // Every breakdown adds up to the same total.
            for (const QList<TrafficStats::Line> *lines : {&r->days, &r->types, &r->hours}) {
                Money sum;
                qint64 calls = 0;
                for (const TrafficStats::Line &l : *lines) {
                    sum += l.allFees();
                    calls += l.allCalls();
                }
                EXPECT_EQ(sum, settled.total);
                EXPECT_EQ(calls, settled.records);
            }
            // Each caller as the settlement's fee row of that caller.
            EXPECT_EQ(r->callers.size(), settled.byCaller.size());
            for (const TrafficStats::Line &l : r->callers)
                EXPECT_EQ(l.allFees().toText(), settled.byCaller.value(l.key).toText()) << l.key.toStdString();
        }
    }
}

// Whole months are summed from the sums kept of the records (BillSummary),
// the days around them from the records. The figures must be the same as
// from the records alone, whatever the records hold (end times and fees
// written loosely or not at all, days no calendar has, call types no
// statistics count), and the sums must follow every write of a record.
TEST(TrafficStatsTest, SumsOfWholeMonthsGiveTheFiguresOfTheRecords)
{
    test::QueryData data;
    ASSERT_TRUE(data.ok());
    data.addTrafficSample();
    QRandomGenerator random(20270105);
    const QStringList callers{"801", "802", "803", s("账号012"), "8999"};
    const QStringList looseEnds{s("2026年11月5日9时05分"),   s(" 2026年12月03日10时00分"),
                                s("2026年12月10日24时00分"), s("2027年02月30日10时00分"),
                                s("2026年10月31日23:59:60"), s("2026年12月31日23:59:59 ")};
    const QStringList looseFees{QString(),
                                s("abc"),
                                QStringLiteral(" 2.5"),
                                QStringLiteral("1.005"),
                                s("0.7元"),
                                QStringLiteral("3"),
                                QStringLiteral("-1.20")};
    QList<qint64> ids;
    for (int i = 0; i < 1500; ++i) {
        Bill b;
        b.caller = callers.at(int(random.bounded(callers.size())));
        const int type = int(random.bounded(11)); // 10: no type
        b.type = type == 10 ? QString() : QString::number(type);
        const QDateTime end(QDate(2026, 10, 1).addDays(int(random.bounded(130))),
                            QTime(int(random.bounded(24)), int(random.bounded(60)), int(random.bounded(60))));
        b.endTime = random.bounded(40) == 0 ? looseEnds.at(int(random.bounded(looseEnds.size())))
                    : type == 9             ? end.toString(s("yyyy年MM月dd日HH:mm:ss"))
                                            : end.toString(s("yyyy年MM月dd日HH时mm分"));
        b.fee = random.bounded(20) == 0 ? looseFees.at(int(random.bounded(looseFees.size())))
                                        : Money::fromRaw(qint64(random.bounded(300000))).toText();
        b.state = random.bounded(3) == 0 ? s("已结算") : s("未结算");
        b.group = random.bounded(2) ? s("前台") : s("客房");
        b.name = QStringList{QString(), s("张三"), s("李四")}.at(int(random.bounded(3)));
        b.area = QStringList{s("北京"), s("上海"), QString()}.at(int(random.bounded(3)));
        ids.append(data.addBill(b));
    }
    EXPECT_EQ(BillSummary(data.db).mismatches().value_or({"unreadable"}), QStringList()) << "after the intake";

    // Settled, deleted and changed as the console and a restore write them.
    BillTable bills(data.db);
    for (int i = 0; i < 300; ++i) {
        const qint64 id = ids.at(int(random.bounded(ids.size())));
        const QStringList row = data.rows(s("SELECT 主叫号码, 结束时间 FROM PHNBill WHERE rowid=?"), {id}).value(0);
        if (row.isEmpty())
            continue;
        if (i % 3 == 0)
            EXPECT_TRUE(bills.removeListed(id, row.at(0), row.at(1)));
        else
            EXPECT_TRUE(bills.markSettled(id, row.at(0), row.at(1)));
    }
    EXPECT_EQ(BillSummary(data.db).mismatches().value_or({"unreadable"}), QStringList()) << "after settling, deleting";
    EXPECT_TRUE(test::Ok(data.db.exec(s("UPDATE PHNBill SET 总费用='9.99', 话单类型='9' WHERE rowid % 17 = 0"))));
    EXPECT_TRUE(test::Ok(data.db.exec(s("UPDATE PHNBill SET 结束时间='2026年12月01日00时00分' WHERE rowid % 29 = 0"))));
    EXPECT_EQ(BillSummary(data.db).mismatches().value_or({"unreadable"}), QStringList()) << "after changes";

    auto figures = [&](const QDate &first, const QDate &last, const QStringList &states) {
        TrafficStats::Selection sel;
        sel.first = first;
        sel.last = last;
        sel.states = states;
        const auto r = TrafficStats::Compute(data.db, sel, kToday);
        EXPECT_TRUE(r) << r.reason().toStdString();
        if (!r)
            return QStringList();
        QStringList out{QStringLiteral("unread %1").arg(r->unreadFees)};
        for (const QList<TrafficStats::Line> *lines :
             {&r->days, &r->months, &r->types, &r->callers, &r->groups, &r->areasByCalls, &r->areasByFees, &r->hours})
            for (const TrafficStats::Line &l : *lines)
                out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                           .arg(l.key, l.label, l.name)
                           .arg(l.calls)
                           .arg(l.inCalls)
                           .arg(l.fees.toText(), l.inFees.toText());
        return out;
    };
    struct Range {
        QDate first, last;
    };
    const QList<Range> ranges{{QDate(2026, 12, 1), QDate(2026, 12, 31)}, {QDate(2026, 10, 15), QDate(2027, 1, 10)},
                              {QDate(2026, 11, 1), QDate(2027, 1, 31)},  {QDate(2026, 11, 30), QDate(2027, 1, 1)},
                              {QDate(2026, 12, 2), QDate(2026, 12, 30)}, {QDate(2026, 9, 1), QDate(2027, 3, 31)}};
    QList<QStringList> summed;
    for (const Range &r : ranges)
        for (int option = 0; option < 3; ++option)
            summed.append(figures(r.first, r.last, CallQuery::StatesFor(option)));
    // The same from the records alone.
    EXPECT_TRUE(test::Ok(data.db.exec(s("DROP TABLE BillSums"))));
    ASSERT_FALSE(BillSummary(data.db).exists());
    int at = 0;
    for (const Range &r : ranges)
        for (int option = 0; option < 3; ++option) {
            SCOPED_TRACE(QStringLiteral("%1 %2 option %3")
                             .arg(r.first.toString(Qt::ISODate), r.last.toString(Qt::ISODate))
                             .arg(option)
                             .toStdString());
            EXPECT_EQ(summed.at(at++), figures(r.first, r.last, CallQuery::StatesFor(option)));
        }
}
