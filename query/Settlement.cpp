#include "Settlement.h"

#include "BillTable.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "PendingCommands.h"
#include "PrintStore.h"
#include "SwitchLink.h"

#include <QHash>
#include <QSet>

namespace corvane::Settlement {

namespace {

const QString kFailed = QStringLiteral("结算失败，没有任何话单被结算");

// The list's criteria for a settlement now: only what is not settled, and
// only what ended before this moment.
CallQuery::Criteria atCommit(const CallQuery::Criteria &criteria, const QDateTime &at)
{
    CallQuery::Criteria c = criteria;
    c.settling = true;
    if (!c.states.contains(CallQuery::notSettledText()))
        c.states = QStringList();
    if (!c.end || *c.end > at)
        c.end = at;
    return c;
}

// The rooms of a choice in the order the request shows them.
QList<int> inShownOrder(const CallQuery::Chosen &chosen, const QStringList &callers)
{
    QList<int> order;
    for (const QString &caller : callers)
        for (int i = 0; i < chosen.rooms.size(); ++i)
            if (chosen.rooms.at(i).caller == caller && !order.contains(i))
                order.append(i);
    for (int i = 0; i < chosen.rooms.size(); ++i)
        if (!order.contains(i))
            order.append(i);
    return order;
}

} // namespace

QString busyText() { return QStringLiteral("正在处理，请不要退出！"); }
QString doneText() { return QStringLiteral("处理完毕！"); }

Request RequestFor(const CallQuery::Criteria &criteria, const CallQuery::Chosen &list, const QStringList &shown)
{
    Request r;
    r.criteria = criteria;
    r.criteria.callers.clear();
    r.criteria.ports.clear();
    for (const QString &number : shown) {
        for (const CallQuery::Room &room : list.rooms) {
            if (room.caller != number)
                continue;
            r.criteria.callers.append(room.caller);
            if (!room.port.isEmpty())
                r.criteria.ports.insert(room.caller, room.port);
            r.listed += room.records;
        }
    }
    return r;
}

Checked<Preview> Foresee(Database &db, const Request &request, const QDateTime &at)
{
    Preview p;
    if (request.criteria.callers.isEmpty())
        return p;
    const auto chosen = CallQuery::Choose(db, atCommit(request.criteria, at));
    if (!chosen)
        return chosen.refusedAs<Preview>();
    const QSet<qint64> listed(request.listed.cbegin(), request.listed.cend());
    QSet<qint64> now;
    for (int i = 0; i < chosen->rooms.size(); ++i) {
        const CallQuery::Room &room = chosen->rooms.at(i);
        const FeeRow &fee = chosen->fees.at(i);
        ++p.rooms;
        p.records += int(room.records.size());
        p.partial += room.money.full ? 0 : 1;
        p.total += fee.total;
        p.collect += room.money.collect;
        p.refund += room.money.refund;
        int arrived = 0;
        for (qint64 id : room.records) {
            now.insert(id);
            if (!listed.contains(id))
                ++arrived;
        }
        if (arrived > 0) {
            p.arrived += arrived;
            p.arrivedRooms.append(QStringLiteral("%1：%2条").arg(room.caller).arg(arrived));
        }
    }
    for (const BillRow &b : chosen->bills)
        if (!listed.contains(b.mainRowId))
            p.arrivedTotal += Money::fromText(b.fee);
    for (qint64 id : request.listed)
        p.notMarked += now.contains(id) ? 0 : 1;
    return p;
}

Outcome SettleRooms(Database &db, PrintStore &store, const Request &request, const Run &run)
{
    Outcome out;
    auto fail = [&](const QString &why) {
        Outcome failed;
        failed.status = Status::fail(kFailed + QStringLiteral("：") + why);
        return failed;
    };
    if (!db.isOpen() || !store.isOpen())
        return fail(QStringLiteral("数据库未打开"));

    const QSet<qint64> listed(request.listed.cbegin(), request.listed.cend());
    CallQuery::Chosen chosen;
    const Status done = InTransaction(db, [&]() -> Status {
        const auto config = ConfigTable(db).read();
        if (!config)
            return config.status();
        // What is true now, read inside the transaction: the records of the
        // shown rooms that ended before this moment and are not settled.
        auto now = CallQuery::Choose(db, atCommit(request.criteria, run.at));
        if (!now)
            return now.status();
        chosen = std::move(*now);
        QHash<qint64, BillRow> billOf;
        for (const BillRow &b : std::as_const(chosen.bills))
            billOf.insert(b.mainRowId, b);

        BillTable bills(db);
        DepositTable deposits(db);
        LedgerTable ledger(db);
        if (Status s = ledger.ensure(); !s)
            return s;
        QSet<qint64> settledIds;
        for (int i : inShownOrder(chosen, request.criteria.callers)) {
            const CallQuery::Room &room = chosen.rooms.at(i);
            const FeeRow &fee = chosen.fees.at(i);
            LedgerRow row;
            for (qint64 id : room.records) {
                const BillRow &b = billOf.value(id);
                const auto mark = bills.markSettled(id, b.caller, b.endTime);
                if (!mark)
                    return mark.status();
                if (!*mark)
                    return Status::fail(QStringLiteral("话单%1（%2）已被更改").arg(b.caller, b.endTime));
                if (row.records == 0)
                    row.firstEnd = b.endTime;
                row.lastEnd = b.endTime;
                ++row.records;
                settledIds.insert(id);
                if (!listed.contains(id)) {
                    ++out.arrived;
                    out.arrivedTotal += Money::fromText(b.fee);
                }
            }
            out.marked += row.records;
            row.settledAt = run.at;
            row.operatorName = run.operatorName;
            row.caller = room.caller;
            row.port = room.port;
            row.group = fee.group;
            row.name = fee.name;
            row.longDistance = fee.longDistance;
            row.city = fee.city;
            row.local = fee.local;
            row.incoming = fee.incoming;
            row.handling = fee.handling;
            row.service = fee.service;
            row.rent = fee.rent;
            row.total = fee.total;
            row.deposit = room.money.deposit;
            row.balance = room.money.balance;
            row.collect = room.money.collect;
            row.refund = room.money.refund;
            row.note = fee.note;
            row.rentMonth = room.rentMonth;
            row.rentState = !fee.rent.isZero() ? LedgerTable::charged()
                            : room.rentWaived  ? LedgerTable::waived()
                                               : QString();
            const auto id = ledger.append(row);
            if (!id)
                return id.status();
            row.rowId = *id;
            out.settledCallers.append(room.caller);
            out.ledger.append(row);
            if (!room.held)
                continue;
            const auto deposit = deposits.of(room.owner);
            if (!deposit)
                return deposit.status();
            if (!*deposit)
                continue;
            DepositTable::Settling how;
            how.money = room.money;
            how.ledgerRowId = *id;
            how.rentMonth = room.rentMonth;
            how.rentWaived = room.rentWaived;
            how.uncharged = room.uncharged;
            how.settleClass = config->demoteClass();
            how.demoteClass = config->demoteClass();
            const auto moved = deposits.settle(**deposit, how);
            if (!moved)
                return moved.status();
            out.commands += moved->commands;
            out.resetCallers.append(room.caller);
        }
        for (qint64 id : request.listed)
            out.notMarked += settledIds.contains(id) ? 0 : 1;
        // The classes given back reach the switch with the settlement, also
        // when it cannot take them now.
        return PendingCommands(db).keepStar(out.commands, PendingCommand::DefaultGapMs);
    });
    if (!done)
        return fail(done.reason());
    // The receipts printed from here on show what was settled, the records
    // that arrived after the list among them.
    if (Status s = store.recordSettlement(chosen.bills, chosen.fees); !s)
        qWarning("print.mdb not brought in line with the settlement: %s", qPrintable(s.reason()));
    return out;
}

Outcome Settle(ConsoleContext &ctx, PrintStore &store, const Request &request)
{
    Outcome out = SettleRooms(ctx.db, store, request, {ctx.login.OPName, ctx.clock.now()});
    // The classes given back wait for the switch when it is not there now;
    // the operator is told how many.
    if (out && !out.commands.isEmpty() && ctx.link)
        ctx.link->SendKeptAndTell();
    return out;
}

} // namespace corvane::Settlement
