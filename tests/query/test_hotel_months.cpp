// Months of a small hotel, generated from a seed, through the real call
// intake, the user window's deposit and user rules, the query and the
// settlement, backups and restores, with a switch on the other end of the
// line that applies every command it receives. After every step the money
// and the classes must add up:
// - every deposit's balance is what its journal adds up to;
// - every settled record is in exactly one ledger row, none settled twice;
// - the money the desk took (deposits, collections) is the money it handed
//   back plus what was charged plus the balances still held;
// - the switch's class of every room is the database's, and a room is
//   demoted exactly while its balance is below 0.00;
// - a room's rent is dealt with (charged or waived) once per month, and in
//   every month it was settled with a rent;
// - the sums of the records by month are what the records add up to.
#include "AccountTable.h"
#include "Backup.h"
#include "BillSummary.h"
#include "BillTable.h"
#include "CallIntake.h"
#include "CallQuery.h"
#include "CommandDecoder.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "FeeEngine.h"
#include "Frames.h"
#include "HomeKey.h"
#include "LedgerTable.h"
#include "MoneyJournal.h"
#include "OwnTables.h"
#include "ParameterMemory.h"
#include "PendingCommands.h"
#include "PrintStore.h"
#include "PtyPair.h"
#include "Restore.h"
#include "Settlement.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "UserParameters.h"
#include "UserTable.h"

#include <QHash>
#include <QSet>
#include <gtest/gtest.h>
#include <random>

using namespace corvane;

namespace {

const QStringList kDialled{QStringLiteral("5551234"),     QStringLiteral("01087654321"),
                           QStringLiteral("13912345678"), QStringLiteral("0044207123456"),
                           QStringLiteral("114"),         QStringLiteral("17951010888")};
constexpr int kFirstRoom = 1;
constexpr int kRooms = 6; // ports 1..6, numbers 801..806 to begin with
const QString kSettleClass = QStringLiteral("2");

GridCell cellOf(int col, qint64 rowId)
{
    GridCell c;
    c.col = col;
    c.rowId = rowId;
    return c;
}

class Hotel {
public:
    explicit Hotel(quint32 seed) : rng(seed), clock(QDateTime(QDate(2026, 11, 20), QTime(8, 0)))
    {
        ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
        EXPECT_TRUE(test::Ok(test::createSwitchDb(ctx->db, ctx->home.switchDb())));
        ctx->BuildLists();
        ctx->login.OPName = QStringLiteral("前台");
        EXPECT_TRUE(test::Ok(ConfigTable(ctx->db).write(ConfigField::DemoteClass, kSettleClass)));
        start();
        // The switch begins with the classes the database has.
        for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p) {
            const UserRow u = user(p);
            mem.apply(QStringLiteral("*10*%1*%2#").arg(u.cls(), u.number()));
        }
    }
    ~Hotel() { stop(); }

    // A console (re)started on the home.
    void start()
    {
        EXPECT_TRUE(test::Ok(BringOwnTablesUpToDate(ctx->db, clock.now())));
        EXPECT_TRUE(test::openSwitchOnPty(*ctx, pty, link));
        fees = std::make_unique<FeeEngine>(ctx->db);
        intake = std::make_unique<CallIntake>(*ctx, *fees);
        users = std::make_unique<UserParameters>(ctx->db, ctx->CheckMarks);
    }
    void stop()
    {
        if (!ctx->db.isOpen())
            return;
        pump();
        users.reset();
        intake.reset();
        fees.reset();
        test::closeSwitchOnPty(*ctx, link);
        ctx->db.close();
    }

    int pick(int n) { return int(rng() % unsigned(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    UserRow user(int port) { return **UserTable(ctx->db).byPort(QString::number(port)); }
    std::optional<DepositRow> deposit(int port) { return *DepositTable(ctx->db).ofExtension(QString::number(port)); }
    AccountRow account() { return AccountTable(ctx->db).all()->value(0); }

    // Whatever the console wrote to the switch is applied to the switch's memory.
    void pump()
    {
        if (!link)
            return;
        link->SendKept();
        const QByteArray bytes = test::sentThroughQueue(*link, pty, clock);
        for (const sim::Command &c : decoder.feed(bytes))
            if (c.kind == sim::Command::StarCode)
                mem.apply(c.code);
    }

    // One call of `line` (a port, or the account) ending now.
    void call(int line, bool isAccount, int seconds)
    {
        sim::CallRecordData r{1, line, isAccount, 0, 0, 0, 0, quint16(seconds), kDialled.at(pick(kDialled.size()))};
        r.setEnd(clock.now());
        intake->ProcessCallRecord(sim::Frames::callRecord(r));
        EXPECT_EQ(intake->lastOutcome(), CallIntake::Outcome::Stored);
        clock.advanceSecs(61); // the next call ends in another minute
    }

    void kept(const std::function<StoreResult()> &change)
    {
        const StoreResult r = StoreKept(ctx->db, change, PendingCommand::DefaultGapMs);
        EXPECT_TRUE(test::Ok(r.status));
        pump();
    }
    void amend(UserField field, int port, const QString &value)
    {
        const auto plan = users->planAmend(int(field), {port, port}, value);
        ASSERT_TRUE(test::Ok(plan));
        kept([&] { return users->amendPort(*plan, 0); });
    }
    // "押金" typed in the deposit grid: the difference is paid or handed back.
    void setDeposit(const DepositRow &row, Money amount)
    {
        const Money diff = amount - row.deposit();
        kept([&] { return users->storeDeposit(cellOf(int(DepositField::Deposit), row.rowId), amount.toText()); });
        (diff.isNegative() ? cashOut : cashIn) += diff.isNegative() ? -diff : diff;
    }
    void topUp(const DepositRow &row, Money amount)
    {
        kept([&] { return users->topUpDeposit(row.rowId, amount.toText()); });
        cashIn += amount;
    }

    QStringList everyRoom()
    {
        QStringList callers;
        for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p)
            callers << user(p).number();
        callers << AccountTable::callerText(account().number());
        return callers;
    }

    // The query window's list in settlement mode ("全部话单"), made now.
    struct List {
        CallQuery::Criteria criteria;
        CallQuery::Chosen chosen;
        QList<FeeRow> fees;
    };
    List list(const QStringList &callers, bool waive = false, std::optional<QDateTime> begin = {},
              std::optional<QDateTime> end = {})
    {
        List l;
        l.criteria.callers = callers;
        l.criteria.types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        l.criteria.states = CallQuery::StatesFor(0);
        l.criteria.settling = true;
        l.criteria.waiveRent = waive;
        l.criteria.begin = begin;
        l.criteria.end = end;
        l.criteria.day = clock.now().date();
        EXPECT_TRUE(test::Ok(store.open(ctx->home.printDb())));
        EXPECT_TRUE(test::Ok(CallQuery::BuildPrintData(ctx->db, store, l.criteria, &l.chosen)));
        l.fees = l.chosen.fees;
        return l;
    }
    // "结算" with the filter showing `shown` (all rows when empty).
    Settlement::Outcome settle(const List &l, QStringList shown = {})
    {
        if (shown.isEmpty())
            for (const FeeRow &f : l.fees)
                shown << f.number;
        const Settlement::Request request = Settlement::RequestFor(l.criteria, l.chosen, shown);
        const Settlement::Outcome out =
            Settlement::SettleRooms(ctx->db, store, request, {ctx->login.OPName, clock.now()});
        EXPECT_TRUE(test::Ok(out.status));
        const QDate month = l.criteria.day;
        seen[QStringLiteral("arrived")] += out.arrived;
        for (const LedgerRow &r : out.ledger) {
            if (r.rentState == LedgerTable::waived())
                ++seen[QStringLiteral("waived")];
            if (!r.rent.isZero())
                ++seen[QStringLiteral("rent")];
            if (!r.refund.isZero() && r.deposit - r.total != r.refund)
                ++seen[QStringLiteral("uncharged calls")];
            EXPECT_TRUE(shown.contains(r.caller)) << "settled a room the filter hid: " << r.caller.toStdString();
            cashIn += r.collect;
            cashOut += r.refund;
            EXPECT_TRUE(r.collect.isZero() || r.refund.isZero());
            EXPECT_EQ(r.rentMonth, MoneyJournal::monthText(month)) << "the rent of the month the list showed";
            // What the list showed is what was settled, when nothing came in since.
            const auto was =
                std::find_if(l.fees.begin(), l.fees.end(), [&](const FeeRow &f) { return f.number == r.caller; });
            if (was != l.fees.end() && out.arrived == 0) {
                EXPECT_EQ(was->rent, r.rent) << r.caller.toStdString();
                EXPECT_EQ(was->total, r.total) << r.caller.toStdString();
                EXPECT_EQ(was->refund, r.refund) << r.caller.toStdString();
                EXPECT_EQ(was->collect, r.collect) << r.caller.toStdString();
            }
            if (!r.port.isEmpty() && !user(r.port.toInt()).rent().isZero())
                rentDue.insert(r.port + QLatin1Char('/') + r.rentMonth);
        }
        pump();
        return out;
    }

    // What the books account for: the settled calls and rents, the balances
    // held and the charges of calls not settled yet.
    Money accounted()
    {
        Database &db = ctx->db;
        Money total;
        QList<qint64> open;
        const auto bills = db.select(QStringLiteral("SELECT rowid, 总费用, 话单性质 FROM PHNBill"));
        const auto ledger = LedgerTable(db).select({}, {});
        const auto deposits = DepositTable(db).all();
        EXPECT_TRUE(bills && ledger && deposits);
        for (const QStringList &b : bills.value_or(Database::Rows())) {
            if (b.at(2) == BillTable::settledText())
                total += Money::fromText(b.at(1));
            else
                open << b.at(0).toLongLong();
        }
        for (const LedgerRow &l : ledger.value_or(QList<LedgerRow>()))
            total += l.rent;
        for (const DepositRow &d : deposits.value_or(QList<DepositRow>()))
            total += d.balance();
        const auto charges = MoneyJournal(db).chargesByBill(open);
        EXPECT_TRUE(charges);
        for (const MoneyJournal::BillCharge &c : charges.value_or(QList<MoneyJournal::BillCharge>()))
            total += c.amount;
        return total;
    }

    // The rents charged or waived, by "port/month": in the ledger, and in the
    // journal (which keeps a settlement a restore of a backup's calls undid).
    QHash<QString, int> rentsDealt()
    {
        QHash<QString, int> dealt;
        const auto ledger = LedgerTable(ctx->db).select({}, {});
        const auto journal = MoneyJournal(ctx->db).all();
        EXPECT_TRUE(ledger && journal);
        for (const LedgerRow &l : ledger.value_or(QList<LedgerRow>()))
            if (!l.rentState.isEmpty())
                dealt[(l.port.isEmpty() ? l.caller : l.port) + QLatin1Char('/') + l.rentMonth] = 1;
        for (const JournalRow &j : journal.value_or(QList<JournalRow>()))
            if ((j.kind == MoneyKind::RentCharged || j.kind == MoneyKind::RentWaived) && !j.owner.account)
                dealt[j.owner.key + QLatin1Char('/') + j.month] = 1;
        return dealt;
    }

    QString debugRoom(int p)
    {
        if (!qEnvironmentVariableIsSet("HOTEL_TRACE"))
            return QString();
        QString out;
        for (const JournalRow &j : MoneyJournal(ctx->db).of({false, QString::number(p)}).value_or(QList<JournalRow>()))
            out += QStringLiteral("\n%1 %2 %3 %4 bal %5 cls %6")
                       .arg(j.seq)
                       .arg(j.at.toString(Qt::ISODate), kindText(j.kind), j.amount.toText(), j.balanceAfter.toText(),
                            j.cls);
        const auto d = deposit(p);
        out += QStringLiteral("\ndeposit %1").arg(d ? d->values.join(u',') : QStringLiteral("none"));
        return out;
    }

    // Every invariant, after a step.
    void check(const std::string &step)
    {
        SCOPED_TRACE(step);
        pump();
        Database &db = ctx->db;
        EXPECT_EQ(*MoneyJournal(db).mismatches(), QStringList()) << "a balance differs from its journal";
        // The sums of the records follow every intake, settlement and restore.
        EXPECT_EQ(BillSummary(db).mismatches().value_or({QStringLiteral("unreadable")}), QStringList());

        // Each settled record in exactly one ledger row.
        const auto bills = db.select(QStringLiteral("SELECT rowid, 总费用, 话单性质 FROM PHNBill"));
        const auto ledger = LedgerTable(db).select({}, {});
        ASSERT_TRUE(bills && ledger);
        int settled = 0;
        Money settledFees;
        QList<qint64> unsettled;
        for (const QStringList &b : *bills) {
            if (b.at(2) == BillTable::settledText()) {
                ++settled;
                settledFees += Money::fromText(b.at(1));
            } else {
                unsettled << b.at(0).toLongLong();
            }
        }
        int ledgerRecords = 0;
        Money ledgerFees;
        QHash<QString, int> once;
        for (const LedgerRow &l : *ledger) {
            ledgerRecords += l.records;
            ledgerFees += l.total - l.rent;
            if (!l.rentState.isEmpty())
                ++once[(l.port.isEmpty() ? l.caller : l.port) + QLatin1Char('/') + l.rentMonth];
        }
        EXPECT_EQ(ledgerRecords, settled);
        EXPECT_EQ(ledgerFees, settledFees);
        for (auto it = once.cbegin(); it != once.cend(); ++it)
            EXPECT_EQ(it.value(), 1) << "rent dealt with twice: " << it.key().toStdString();
        const auto journal = MoneyJournal(db).all();
        ASSERT_TRUE(journal);
        QHash<QString, int> journalOnce;
        for (const JournalRow &j : *journal) {
            if (j.kind == MoneyKind::RentCharged || j.kind == MoneyKind::RentWaived) {
                EXPECT_EQ(++journalOnce[j.owner.key + QLatin1Char('/') + j.month], 1)
                    << "rent twice in the journal: " << j.owner.key.toStdString() << " " << j.month.toStdString();
            }
        }
        const QHash<QString, int> dealt = rentsDealt();
        for (const QString &due : std::as_const(rentDue))
            EXPECT_EQ(dealt.value(due), 1) << "a settled month without its rent: " << due.toStdString();

        // Money: taken = handed back + charged + held.
        EXPECT_EQ((cashIn - cashOut) - accounted(), cashOffset)
            << "money taken " << (cashIn - cashOut).toText().toStdString();

        // The switch holds each room's class, and a room is demoted exactly
        // while it is in debt.
        DepositTable deposits(db);
        for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p) {
            const UserRow u = user(p);
            EXPECT_EQ(QString::number(mem.byte(sim::ParameterMemory::ClassBlock, p) & 0x0F), u.cls())
                << "room on port " << p << debugRoom(p).toStdString();
            EXPECT_EQ(mem.extensionNumber(p), u.number());
            if (const auto d = deposit(p)) {
                EXPECT_EQ(d->get(DepositField::Class).trimmed(), u.cls());
                EXPECT_EQ(bool(*deposits.demotedFrom(*d)), d->balance().isNegative()) << "port " << p;
                if (d->balance().isNegative()) {
                    EXPECT_EQ(u.cls(), kSettleClass);
                    ++seen[QStringLiteral("in debt")];
                }
            }
        }
        const AccountRow a = account();
        if (const auto code = mem.account(a.number().toInt()); code && code->cls >= 0) {
            EXPECT_EQ(QString::number(code->cls), a.cls());
        }
    }

    std::mt19937 rng;
    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    test::PtyPair pty;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<FeeEngine> fees;
    std::unique_ptr<CallIntake> intake;
    std::unique_ptr<UserParameters> users;
    PrintStore store;
    sim::ParameterMemory mem;
    sim::CommandDecoder decoder;
    Money cashIn, cashOut, cashOffset;
    QHash<QString, int> seen; // flows the generator produced, by name
    QSet<QString> rentDue;    // "port/2026-12": settled with a rent, so dealt with
};

// The months themselves: check-ins with a deposit, top-ups, deposits lowered
// below what was used, calls (some before the deposit was paid), renumbering
// and an exchange of numbers, checkouts mid-month and new guests, part
// settlements, waivers, filters, two settlements in a day, a list made before
// midnight and settled after, a call while the list is open, a backup and
// restores with and without the call records.
void runMonths(quint32 seed)
{
    Hotel h(seed);
    // Rooms 801..804 pay rent; the account pays by deposit.
    for (int p = kFirstRoom; p < kFirstRoom + 4; ++p) {
        h.amend(UserField::Rent, p, Money::fromYuan(10 * p).toText());
    }
    h.kept([&] { return h.users->addAccount(); });
    const AccountRow acct = h.account();
    h.kept([&] { return h.users->storeAccount(cellOf(int(AccountField::PayType), acct.rowId), UserTable::Prepaid); });
    const auto accountDeposit = [&] { return *DepositTable(h.ctx->db).ofAccount(acct.number()); };
    h.setDeposit(*accountDeposit(), Money::fromYuan(40));
    h.check("setup");

    QString backup;
    bool restoredDefault = false, restoredWithCalls = false;
    QSet<int> occupied;
    for (QDate day(2026, 11, 24); day <= QDate(2027, 1, 6); day = day.addDays(1)) {
        h.clock.set(QDateTime(day, QTime(8, 0)));
        const std::string when = day.toString(Qt::ISODate).toStdString();
        // Check-ins: a deposit guest (some call before paying) or one who pays at the end.
        for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p) {
            if (occupied.contains(p) || !h.chance(30))
                continue;
            occupied.insert(p);
            if (h.chance(70)) {
                if (h.chance(30))
                    h.call(p, false, 60 + h.pick(300)); // before the deposit was paid
                h.amend(UserField::PayType, p, UserTable::Prepaid);
                h.setDeposit(*h.deposit(p), Money::fromYuan(5 + h.pick(4) * 40));
            }
        }
        h.check(when + " check-in");
        // The day's calls.
        for (int k = 0, n = 3 + h.pick(6); k < n; ++k) {
            const int who = h.pick(kRooms + 1);
            if (who == kRooms)
                h.call(acct.number().toInt(), true, 30 + h.pick(600));
            else if (occupied.contains(kFirstRoom + who) || h.chance(10))
                h.call(kFirstRoom + who, false, 30 + h.pick(h.chance(10) ? 4000 : 600));
        }
        h.check(when + " calls");
        // The desk's day: two things happen.
        for (int desk = 0; desk < 2; ++desk) {
            int room = kFirstRoom + h.pick(kRooms);
            const int what = h.pick(13);
            // Money moves on a room that holds a deposit, when one does.
            if (what <= 2)
                for (int k = 0; k < kRooms && !h.deposit(room); ++k)
                    room = kFirstRoom + (room - kFirstRoom + 1) % kRooms;
            const auto d = h.deposit(room);
            if (qEnvironmentVariableIsSet("HOTEL_TRACE"))
                qInfo("%s desk %d room %d", when.c_str(), what, room);
            switch (what) {
            case 0:
                if (d)
                    h.topUp(*d, Money::fromYuan(20 + h.pick(5) * 10));
                break;
            case 1:
                // Lowered, perhaps below what the calls used: demoted at once.
                if (d && d->deposit() > Money::fromYuan(2)) {
                    h.setDeposit(*d, Money::fromRaw(d->deposit().raw() / 4 / 100 * 100));
                    ++h.seen[QStringLiteral("lowered")];
                }
                break;
            case 2:
                if (d)
                    h.setDeposit(*d, d->deposit() + Money::fromYuan(50));
                break;
            case 3: {
                // Renumbered to a free number; its calls so far stay the room's.
                const QString number = QString::number(930 + h.pick(40));
                if (!*UserTable(h.ctx->db).byNumber(number)) {
                    h.amend(UserField::Number, room, number);
                    ++h.seen[QStringLiteral("renumbered")];
                }
                break;
            }
            case 4: {
                // Two rooms exchange their numbers.
                const int other = kFirstRoom + (room - kFirstRoom + 1) % kRooms;
                const QString a = h.user(room).number(), b = h.user(other).number();
                h.amend(UserField::Number, room, QStringLiteral("999"));
                h.amend(UserField::Number, other, a);
                h.amend(UserField::Number, room, b);
                ++h.seen[QStringLiteral("exchange")];
                break;
            }
            case 5:
            case 6: {
                // Checkout: the room settled (on a list of every room with the
                // filter showing only it), given up, the next guest to come.
                if (!occupied.contains(room))
                    break;
                const Hotel::List l = h.list(h.everyRoom(), h.chance(50));
                h.settle(l, {h.user(room).number()});
                if (h.chance(30))
                    h.settle(h.list({h.user(room).number()})); // twice in a day
                if (const auto left = h.deposit(room)) {
                    // What it still holds is handed back (or, in debt, taken).
                    if (left->balance().isNegative())
                        h.cashIn -= left->balance();
                    else
                        h.cashOut += left->balance();
                    h.amend(UserField::PayType, room, UserTable::Ordinary);
                }
                occupied.remove(room);
                break;
            }
            case 7: {
                // A part settlement up to yesterday evening.
                const QDateTime from(QDate(day.year(), day.month(), 1), QTime(0, 0));
                const Hotel::List l =
                    h.list({h.user(room).number()}, false, from, QDateTime(day.addDays(-1), QTime(23, 59, 59)));
                for (const CallQuery::Room &r : l.chosen.rooms)
                    h.seen[QStringLiteral("part")] += r.money.full ? 0 : 1;
                h.settle(l);
                break;
            }
            case 8: {
                // A call comes in while the list is open.
                const Hotel::List l = h.list({h.user(room).number()});
                h.call(room, false, 120);
                const Settlement::Outcome out = h.settle(l);
                if (!l.fees.isEmpty()) {
                    EXPECT_EQ(out.arrived, 1) << when;
                }
                break;
            }
            case 12: {
                // The rent changes mid-month (from none, too): a month already
                // settled without a rent owes this one.
                const Money rent = h.chance(50) ? Money() : Money::fromYuan(5 + 5 * h.pick(6));
                h.amend(UserField::Rent, room, rent.toText());
                break;
            }
            case 9:
                if (backup.isEmpty()) {
                    backup = h.home.file(QStringLiteral("nightly.mdb"));
                    h.stop();
                    ASSERT_EQ(BackupDatabase(h.ctx->home, backup).outcome, ToolOutcome::Done);
                    ASSERT_TRUE(test::Ok(h.ctx->db.open(h.ctx->home.switchDb(), LegacyDatabaseKey())));
                    h.start();
                }
                break;
            case 10:
            case 11:
                // A restore of the nightly backup: by default, then with its calls.
                if (!backup.isEmpty() && (!restoredDefault || !restoredWithCalls) && day > QDate(2026, 12, 10)) {
                    const bool withCalls = restoredDefault;
                    h.stop();
                    const ToolResult r = RestoreDatabase(h.ctx->home, {backup, withCalls, h.clock.now()});
                    ASSERT_EQ(r.outcome, ToolOutcome::Done) << r.text.toStdString();
                    if (qEnvironmentVariableIsSet("HOTEL_TRACE")) {
                        Database f;
                        (void)f.open(backup, LegacyDatabaseKey());
                        qInfo("restore %d: %s\nbackup journal last %s bills %s..%s", withCalls, qPrintable(r.text),
                              qPrintable(f.scalar(QStringLiteral("SELECT max(序号) FROM MoneyJournal"))
                                             .value_or(QStringLiteral("?"))),
                              qPrintable(f.scalar(QStringLiteral("SELECT min(rowid) FROM PHNBill"))
                                             .value_or(QStringLiteral("?"))),
                              qPrintable(f.scalar(QStringLiteral("SELECT max(rowid) FROM PHNBill"))
                                             .value_or(QStringLiteral("?"))));
                    }
                    ASSERT_TRUE(test::Ok(h.ctx->db.open(h.ctx->home.switchDb(), LegacyDatabaseKey())));
                    h.start();
                    (restoredDefault ? restoredWithCalls : restoredDefault) = true;
                    // The numbers of the backup go to the switch, as a download
                    // after the restore would send them; the classes must agree
                    // without one.
                    for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p)
                        h.mem.apply(QStringLiteral("*11*%1*%2#").arg(p).arg(h.user(p).number()));
                    // The occupancy is what the restored users say.
                    occupied.clear();
                    for (int p = kFirstRoom; p < kFirstRoom + kRooms; ++p)
                        if (h.deposit(p))
                            occupied.insert(p);
                    if (withCalls) {
                        // Settlements since the backup are undone: their money stays
                        // where it went, so the books differ by what they settled,
                        // and by nothing more from here on.
                        h.pump();
                        h.cashOffset = (h.cashIn - h.cashOut) - h.accounted();
                        // A room without a deposit settled since has its rent due again.
                        const QList<QString> still = h.rentsDealt().keys();
                        h.rentDue &= QSet<QString>(still.begin(), still.end());
                        // Settling again hands back no refund twice: no more than
                        // the deposits hold now.
                        Money held;
                        const auto now = DepositTable(h.ctx->db).all();
                        for (const DepositRow &dep : now.value_or(QList<DepositRow>()))
                            held += dep.balance().isNegative() ? Money() : dep.balance();
                        const Hotel::List again = h.list(h.everyRoom());
                        Money refunds;
                        for (const FeeRow &f : again.fees)
                            refunds += f.refund;
                        EXPECT_LE(refunds, held) << "a refund beyond what the deposits hold";
                    }
                }
                break;
            }
            h.check(when + " desk");
        }
        // On the 10th room 806 is settled without a rent, then gets one and
        // is settled again: that month's rent is still owed.
        if (day.day() == 10) {
            const int p = kFirstRoom + kRooms - 1;
            h.amend(UserField::Rent, p, QStringLiteral("0.00"));
            h.call(p, false, 60);
            h.settle(h.list({h.user(p).number()}));
            h.amend(UserField::Rent, p, QStringLiteral("15.00"));
            h.call(p, false, 60);
            h.settle(h.list({h.user(p).number()}));
            h.check(when + " rent set");
        }
        // On the 8th the desk settles every room and waives the month's rent.
        if (day.day() == 8) {
            h.settle(h.list(h.everyRoom(), true));
            h.check(when + " waiver");
        }
        // The last day of a month: a list made at 23:59:50, settled after midnight.
        if (day.addDays(1).month() != day.month()) {
            h.clock.set(QDateTime(day, QTime(23, 59, 50)));
            const Hotel::List l = h.list(h.everyRoom());
            h.clock.set(QDateTime(day.addDays(1), QTime(0, 0, 5)));
            h.settle(l);
            h.check(when + " month end");
        }
    }
    EXPECT_TRUE(restoredDefault && restoredWithCalls) << "the generated months lacked a restore";
    // The months were not quiet ones.
    for (const char *flow :
         {"arrived", "waived", "rent", "in debt", "part", "exchange", "renumbered", "lowered", "uncharged calls"})
        EXPECT_GT(h.seen.value(QString::fromLatin1(flow)), 0) << flow;
}

TEST(HotelMonths, MoneyAndClassesAddUpAfterEveryStep)
{
    for (const quint32 seed : {20261201u, 7u})
        runMonths(seed);
}

} // namespace
