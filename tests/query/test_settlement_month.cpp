// A month at a hotel front desk, through the real call intake, the user
// window's rules, the query, the settlement and a backup and restore: at the
// end every call record is settled exactly once and the ledger adds up.
#include "AccountTable.h"
#include "Backup.h"
#include "BillTable.h"
#include "CallIntake.h"
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "FeeEngine.h"
#include "Frames.h"
#include "LedgerTable.h"
#include "PrintStore.h"
#include "Restore.h"
#include "Settlement.h"
#include "SwitchParameters.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "UserParameters.h"
#include "UserTable.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <gtest/gtest.h>
#include <random>

using namespace corvane;

namespace {

GridCell cellOf(int col, qint64 rowId)
{
    GridCell c;
    c.col = col;
    c.rowId = rowId;
    return c;
}

const QStringList kDialled{QStringLiteral("5551234"),     QStringLiteral("01087654321"),
                           QStringLiteral("13912345678"), QStringLiteral("0044207123456"),
                           QStringLiteral("114"),         QStringLiteral("17951010888")};

class Month {
public:
    Month() : clock(QDateTime(QDate(2026, 12, 1), QTime(8, 0)))
    {
        ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
        EXPECT_TRUE(test::Ok(test::createSwitchDb(ctx->db, ctx->home.switchDb())));
        ctx->BuildLists();
        ctx->login.OPName = QStringLiteral("前台");
        start();
    }

    // A console (re)started on the home: the intake and the user window's logic.
    void start()
    {
        fees = std::make_unique<FeeEngine>(ctx->db);
        intake = std::make_unique<CallIntake>(*ctx, *fees);
        users = std::make_unique<UserParameters>(ctx->db, ctx->CheckMarks);
    }
    void stop()
    {
        users.reset();
        intake.reset();
        fees.reset();
        ctx->db.close();
    }

    // One call of `line` (a port, or an account) ending now.
    void call(int line, bool account, int seconds, const QString &dialled)
    {
        sim::CallRecordData r{1, line, account, 0, 0, 0, 0, quint16(seconds), dialled};
        r.setEnd(clock.now());
        intake->ProcessCallRecord(sim::Frames::callRecord(r));
        ASSERT_EQ(intake->lastOutcome(), CallIntake::Outcome::Stored) << messages.shown().size();
        clock.advanceSecs(61); // the next call ends in another minute
    }

    void amend(UserField field, int port, const QString &value)
    {
        const auto plan = users->planAmend(int(field), {port, port}, value);
        ASSERT_TRUE(test::Ok(plan));
        ASSERT_TRUE(test::Ok(users->amendPort(*plan, 0).status));
    }
    // A deposit typed into the deposit grid.
    StoreResult payDeposit(bool account, const QString &key, const QString &amount)
    {
        const auto row = account ? DepositTable(ctx->db).ofAccount(key) : DepositTable(ctx->db).ofExtension(key);
        EXPECT_TRUE(row && *row);
        return users->storeDeposit(cellOf(int(DepositField::Deposit), (*row)->rowId), amount);
    }

    // Lists every record of these callers, as the query window does in
    // settlement mode with "全部话单", and settles them.
    Settlement::Outcome settle(const QStringList &callers)
    {
        CallQuery::Criteria c;
        c.callers = callers;
        c.types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        c.states = CallQuery::StatesFor(0);
        c.settling = true;
        c.day = clock.now().date();
        PrintStore store;
        EXPECT_TRUE(test::Ok(store.open(ctx->home.printDb())));
        EXPECT_TRUE(test::Ok(CallQuery::BuildPrintData(ctx->db, store, c)));
        const QList<FeeRow> before = store.fees();
        const Settlement::Outcome out = Settlement::SettleListed(ctx->db, store, {ctx->login.OPName, clock.now()});
        EXPECT_TRUE(test::Ok(out.status));
        // The receipts printed after the settlement show what the ledger holds,
        // and, the rent aside, what the list showed before it.
        const QList<FeeRow> after = store.fees();
        for (const LedgerRow &l : out.ledger) {
            const auto it =
                std::find_if(after.begin(), after.end(), [&](const FeeRow &f) { return f.number == l.caller; });
            EXPECT_NE(it, after.end()) << l.caller.toStdString();
            if (it == after.end())
                continue;
            EXPECT_EQ(it->total, l.total) << l.caller.toStdString();
            EXPECT_EQ(it->rent, l.rent);
            EXPECT_EQ(it->deposit, l.deposit);
            EXPECT_EQ(it->collect, l.collect);
            EXPECT_EQ(it->refund, l.refund);
            const auto was =
                std::find_if(before.begin(), before.end(), [&](const FeeRow &f) { return f.number == l.caller; });
            if (was != before.end()) {
                EXPECT_EQ(was->total - was->rent, l.total - l.rent) << "what was listed is what was settled";
            }
        }
        return out;
    }

    QStringList everyCaller()
    {
        QStringList callers;
        const auto userRows = UserTable(ctx->db).all();
        const auto accounts = AccountTable(ctx->db).all();
        EXPECT_TRUE(userRows && accounts);
        for (const UserRow &u : userRows.value_or({}))
            callers << u.number();
        callers += CallQuery::StrandedCallers(ctx->db).value_or({});
        for (const AccountRow &a : accounts.value_or({}))
            callers << AccountTable::callerText(a.number());
        return callers;
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    std::unique_ptr<FeeEngine> fees;
    std::unique_ptr<CallIntake> intake;
    std::unique_ptr<UserParameters> users;
};

TEST(SettlementMonth, EveryCallIsSettledOnceAndTheLedgerAddsUp)
{
    Month m;
    // Room 805 (port 5) pays by deposit and 30.00 rent a month; room 806
    // (port 6) pays afterwards, 20.00 rent; room 807 (port 7) leaves a small
    // deposit and runs out; the front desk's account pays by deposit.
    m.amend(UserField::PayType, 5, UserTable::Prepaid);
    m.amend(UserField::Rent, 5, QStringLiteral("30.00"));
    m.amend(UserField::Rent, 6, QStringLiteral("20.00"));
    m.amend(UserField::PayType, 7, UserTable::Prepaid);
    ASSERT_TRUE(test::Ok(m.users->addAccount().status));
    const AccountRow account = AccountTable(m.ctx->db).all()->value(0);
    ASSERT_FALSE(account.number().isEmpty());
    ASSERT_TRUE(
        test::Ok(m.users->storeAccount(cellOf(int(AccountField::PayType), account.rowId), UserTable::Prepaid).status));
    ASSERT_TRUE(m.payDeposit(false, QStringLiteral("5"), QStringLiteral("100")));
    ASSERT_TRUE(m.payDeposit(false, QStringLiteral("7"), QStringLiteral("3")));
    ASSERT_TRUE(m.payDeposit(true, account.number(), QStringLiteral("50")));
    const QString class807 = (*UserTable(m.ctx->db).byPort(QStringLiteral("7")))->cls();

    std::mt19937 rng(20261201);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    QDate restoreDay;
    QString backup = m.home.file(QStringLiteral("mid-month.mdb"));
    int settledRuns805 = 0;
    for (int day = 1; day <= 31; ++day) {
        m.clock.set(QDateTime(QDate(2026, 12, day), QTime(9, 0)));
        for (int k = 0; k < 6; ++k) {
            const int who = pick(5);
            if (who < 3)
                m.call(5 + who, false, 10 + pick(900), kDialled.at(pick(kDialled.size())));
            else if (who == 3)
                m.call(account.number().toInt(), true, 10 + pick(600), kDialled.at(pick(kDialled.size())));
        }
        switch (day) {
        case 4: {
            // Room 807 ran out and was demoted; a deposit raised while in
            // debt keeps what the calls used and gives the class back.
            const auto deposit = *DepositTable(m.ctx->db).ofExtension(QStringLiteral("7"));
            if (!deposit->balance().isNegative())
                m.call(7, false, 3000, kDialled.at(3));
            const DepositRow owing = **DepositTable(m.ctx->db).ofExtension(QStringLiteral("7"));
            ASSERT_TRUE(owing.balance().isNegative());
            EXPECT_NE((*UserTable(m.ctx->db).byPort(QStringLiteral("7")))->cls(), class807) << "demoted";
            const StoreResult raised = m.payDeposit(false, QStringLiteral("7"), QStringLiteral("200"));
            ASSERT_TRUE(test::Ok(raised.status));
            const DepositRow now = **DepositTable(m.ctx->db).ofExtension(QStringLiteral("7"));
            EXPECT_EQ(now.balance(), owing.balance() + Money::fromYuan(197)) << "the calls stay charged";
            EXPECT_EQ((*UserTable(m.ctx->db).byPort(QStringLiteral("7")))->cls(), class807);
            EXPECT_EQ(raised.commands, QStringList{QStringLiteral("*10*%1*807#").arg(class807)});
            EXPECT_FALSE(raised.notice.isEmpty());
            break;
        }
        case 6:
            // Room 806 becomes 930; its calls so far keep 806.
            m.amend(UserField::Number, 6, QStringLiteral("930"));
            break;
        case 10:
        case 18: {
            // Room 805 settles twice in the month: the rent once.
            const Settlement::Outcome out = m.settle({QStringLiteral("805")});
            ASSERT_EQ(out.ledger.size(), 1);
            const LedgerRow &l = out.ledger.first();
            ++settledRuns805;
            EXPECT_EQ(l.rent, settledRuns805 == 1 ? Money::fromYuan(30) : Money()) << day;
            EXPECT_EQ(l.note.isEmpty(), settledRuns805 == 1) << l.note.toStdString();
            EXPECT_EQ(l.deposit, settledRuns805 == 1 ? Money::fromYuan(100) : Money()) << "reset at the first run";
            break;
        }
        case 14: ASSERT_TRUE(BackupDatabase(m.ctx->home, backup).outcome == ToolOutcome::Done); break;
        case 21: {
            // A restore of the backup keeps today's calls, deposits and ledger.
            m.stop();
            const ToolResult r = RestoreDatabase(m.ctx->home, {backup, false});
            ASSERT_EQ(r.outcome, ToolOutcome::Done) << r.text.toStdString();
            ASSERT_TRUE(test::Ok(m.ctx->db.open(m.ctx->home.switchDb(), ConsoleContext::databaseKey())));
            m.start();
            restoreDay = m.clock.now().date();
            break;
        }
        default: break;
        }
    }
    ASSERT_TRUE(restoreDay.isValid());
    // The last evening: everything left is settled.
    m.clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 0)));
    const Settlement::Outcome last = m.settle(m.everyCaller());
    EXPECT_TRUE(last.settledCallers.contains(QStringLiteral("806"))) << "the old number's calls are settled too";

    Database &db = m.ctx->db;
    const auto bills = db.select(QStringLiteral("SELECT 主叫号码, 总费用, 话单性质 FROM PHNBill"));
    ASSERT_TRUE(test::Ok(bills));
    const auto ledger = LedgerTable(db).select({}, {});
    ASSERT_TRUE(test::Ok(ledger));
    ASSERT_GT(bills->size(), 100);

    // Every call record settled, and exactly once.
    QHash<QString, Money> billed;
    for (const QStringList &b : *bills) {
        EXPECT_EQ(b.at(2), BillTable::settledText()) << b.at(0).toStdString();
        billed[b.at(0)] += Money::fromText(b.at(1));
    }
    int records = 0;
    QHash<QString, Money> settled;
    QHash<QString, int> rentsInMonth;
    for (const LedgerRow &l : *ledger) {
        records += l.records;
        settled[l.caller] += l.total - l.rent;
        if (!l.rent.isZero())
            ++rentsInMonth[(l.port.isEmpty() ? l.caller : l.port) + l.settledAt.toString(QStringLiteral("yyyyMM"))];
        // What the front desk did with the deposit.
        EXPECT_EQ(l.deposit - l.total, l.refund - l.collect) << l.caller.toStdString();
        EXPECT_TRUE(l.collect.isZero() || l.refund.isZero());
        EXPECT_EQ(l.operatorName, QStringLiteral("前台"));
    }
    EXPECT_EQ(records, bills->size());
    EXPECT_EQ(settled, billed) << "the charges settled are the charges recorded, caller by caller";
    for (auto it = rentsInMonth.begin(); it != rentsInMonth.end(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    EXPECT_EQ(rentsInMonth.value(QStringLiteral("5202612")), 1);
    EXPECT_EQ(rentsInMonth.value(QStringLiteral("6202612")), 1) << "806 and 930 are one room";

    // One deposit per port, deposits of settled callers at 0.00.
    const QList<DepositRow> deposits = *DepositTable(db).all();
    QSet<QString> keys;
    for (const DepositRow &d : deposits) {
        EXPECT_FALSE(keys.contains(d.number() + d.key())) << d.key().toStdString();
        keys.insert(d.number() + d.key());
        EXPECT_EQ(d.balance(), Money());
    }
}

} // namespace

namespace {

// An extension renumbered from three digits to four keeps its calls under the
// old number: they are offered as "801--（已停用）", settled without a deposit
// (the deposit follows the user to its new number), and nothing is stranded.
TEST(SettlementMonth, CallsOfARenumberedExtensionCanStillBeChosenAndSettled)
{
    Month m;
    m.amend(UserField::PayType, 1, UserTable::Prepaid);
    ASSERT_TRUE(m.payDeposit(false, QStringLiteral("1"), QStringLiteral("50")));
    m.call(1, false, 300, kDialled.at(1));
    ASSERT_TRUE(test::Ok(SwitchParameters(m.ctx->db).storeNumberLength(QStringLiteral("4")).status));
    ASSERT_EQ((*UserTable(m.ctx->db).byPort(QStringLiteral("1")))->number(), QStringLiteral("8001"));
    EXPECT_EQ((*DepositTable(m.ctx->db).ofExtension(QStringLiteral("1")))->number(), QStringLiteral("8001"));
    m.call(1, false, 300, kDialled.at(1));

    const auto items = CallQuery::FillList(m.ctx->db, CallQuery::SelectMode::Common);
    ASSERT_TRUE(test::Ok(items));
    EXPECT_TRUE(items->contains(QStringLiteral("801--（已停用）")));
    const auto callers = CallQuery::CallersFor(m.ctx->db, CallQuery::SelectMode::Common,
                                               {QStringLiteral("801--（已停用）"), QStringLiteral("8001--")});
    ASSERT_TRUE(test::Ok(callers));
    const Settlement::Outcome out = m.settle(*callers);
    ASSERT_EQ(out.ledger.size(), 2);
    const LedgerRow &old = out.ledger.at(0).caller == QStringLiteral("801") ? out.ledger.at(0) : out.ledger.at(1);
    const LedgerRow &now = &old == &out.ledger.at(0) ? out.ledger.at(1) : out.ledger.at(0);
    EXPECT_EQ(old.deposit, Money());
    EXPECT_EQ(old.collect, old.total);
    EXPECT_EQ(now.caller, QStringLiteral("8001"));
    EXPECT_EQ(now.deposit, Money::fromYuan(50));
    EXPECT_EQ(now.refund, Money::fromYuan(50) - now.total);
    const auto left = m.ctx->db.scalar(QStringLiteral("SELECT count(*) FROM PHNBill WHERE 话单性质='未结算'"));
    EXPECT_EQ(left.value_or(QString()), QStringLiteral("0"));
    EXPECT_FALSE(
        CallQuery::FillList(m.ctx->db, CallQuery::SelectMode::Common)->contains(QStringLiteral("801--（已停用）")));
}

} // namespace
