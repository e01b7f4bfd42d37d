#include "Settlement.h"
#include "PendingCommands.h"

#include "AccountTable.h"
#include "BillTable.h"
#include "CallQuery.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "PrintStore.h"
#include "SwitchLink.h"
#include "UserTable.h"

#include <QHash>
#include <QSet>

namespace corvane::Settlement {

namespace {

const QString kFailed = QStringLiteral("结算失败，没有任何话单被结算");

// The deposit user or account of one fee row: its deposit reset, its class
// restored, its command added. False when the caller has no deposit row (or
// no user or account row): then nothing changes for it.
Checked<bool> settleCaller(Database &db, const QString &caller, const QString &cls, QStringList &commands)
{
    DepositTable deposits(db);
    if (caller.startsWith(DepositTable::AccountWord)) {
        const QString number = caller.mid(DepositTable::AccountWord.size()).trimmed();
        const auto deposit = deposits.ofAccount(number);
        if (!deposit)
            return deposit.refusedAs<bool>();
        AccountTable accounts(db);
        const auto account = accounts.byNumber(number);
        if (!account)
            return account.refusedAs<bool>();
        if (!*deposit || !*account)
            return false;
        if (Status s = deposits.settle(**deposit, cls); !s)
            return Checked<bool>::refuse(s);
        if (Status s = accounts.write((*account)->rowId, {{AccountField::Class, cls}}); !s)
            return Checked<bool>::refuse(s);
        commands << QStringLiteral("*68*") + cls + QLatin1Char('*') + (*account)->trunkGroup() + QStringLiteral("*0*")
                        + number + QLatin1Char('#');
        return true;
    }

    UserTable users(db);
    const auto user = users.byNumber(caller);
    if (!user)
        return user.refusedAs<bool>();
    if (!*user)
        return false;
    const auto deposit = deposits.ofExtension((*user)->port());
    if (!deposit)
        return deposit.refusedAs<bool>();
    if (!*deposit)
        return false;
    if (Status s = deposits.settle(**deposit, cls); !s)
        return Checked<bool>::refuse(s);
    if (Status s = users.write((*user)->rowId, {{UserField::Class, cls}}); !s)
        return Checked<bool>::refuse(s);
    // The extension command, as the intake's demotion sends it.
    commands << QStringLiteral("*10*") + cls + QLatin1Char('*') + (*user)->number() + QLatin1Char('#');
    return true;
}

} // namespace

QString busyText() { return QStringLiteral("正在处理，请不要退出！"); }
QString doneText() { return QStringLiteral("处理完毕！"); }

Outcome SettleListed(Database &db, PrintStore &store)
{
    return SettleListed(db, store, {QString(), QDateTime::currentDateTime()});
}

Outcome SettleListed(Database &db, PrintStore &store, const Run &run)
{
    Outcome out;
    auto fail = [&](const QString &why) {
        Outcome failed;
        failed.status = Status::fail(kFailed + QStringLiteral("：") + why);
        return failed;
    };
    if (!db.isOpen() || !store.isOpen())
        return fail(QStringLiteral("数据库未打开"));

    const QList<BillRow> listed = store.bills();
    const QList<FeeRow> fees = store.fees();

    const Status done = InTransaction(db, [&]() -> Status {
        const auto config = ConfigTable(db).read();
        if (!config)
            return config.status();
        const QString settleClass = config->demoteClass();

        // The marks: exactly the listed rows that are still not settled.
        BillTable bills(db);
        QList<qint64> marked;
        QSet<QString> settled;
        for (const BillRow &b : listed) {
            const auto mark = bills.markSettled(b.mainRowId, b.caller, b.endTime);
            if (!mark)
                return mark.status();
            if (*mark) {
                marked.append(b.mainRowId);
                settled.insert(b.caller);
            } else {
                ++out.notMarked;
            }
        }
        out.marked = int(marked.size());
        const auto records = bills.byRowIds(marked);
        if (!records)
            return records.status();

        // Callers in the order of the fee rows, then any caller with marked
        // records but no fee row (a list from elsewhere).
        QStringList callers;
        QHash<QString, FeeRow> feeOf;
        for (const FeeRow &f : fees) {
            if (settled.contains(f.number) && !callers.contains(f.number)) {
                callers.append(f.number);
                feeOf.insert(f.number, f);
            }
        }
        for (const BillRow &b : listed)
            if (settled.contains(b.caller) && !callers.contains(b.caller))
                callers.append(b.caller);

        LedgerTable ledger(db);
        if (Status s = ledger.ensure(); !s)
            return s;
        for (const QString &caller : std::as_const(callers)) {
            FeeRow f = feeOf.value(caller);
            const bool listedFee = feeOf.contains(caller);
            // What was really settled: the marked records themselves.
            FeeRow sums;
            LedgerRow row;
            for (const BillRecord &r : *records) {
                if (r.caller() != caller)
                    continue;
                CallQuery::AddRecord(sums, r);
                if (row.records == 0)
                    row.firstEnd = r.endTime();
                row.lastEnd = r.endTime();
                ++row.records;
                if (!listedFee) {
                    f.group = r.get(BillField::Group);
                    f.name = r.get(BillField::Name);
                }
            }
            const auto side = CallQuery::DepositOf(db, caller);
            if (!side)
                return side.status();
            const auto rent = CallQuery::RentOf(db, caller, side->port, listedFee ? f.rent : Money(), run.at.date());
            if (!rent)
                return rent.status();

            row.settledAt = run.at;
            row.operatorName = run.operatorName;
            row.caller = caller;
            row.port = side->port;
            row.group = f.group;
            row.name = f.name;
            row.longDistance = sums.longDistance;
            row.city = sums.city;
            row.local = sums.local;
            row.incoming = sums.incoming;
            row.handling = sums.handling;
            row.service = sums.service;
            row.rent = rent->amount;
            // A list already waived this month's rent and said so in its note.
            row.note = rent->note.isEmpty() && listedFee ? f.note : rent->note;
            row.total = sums.total + rent->amount;
            row.deposit = side->deposit;
            row.balance = side->balance;
            const Money left = side->deposit - row.total;
            if (left.isNegative())
                row.collect = -left;
            else
                row.refund = left;
            if (const auto id = ledger.append(row); !id)
                return id.status();
            else
                row.rowId = *id;
            out.settledCallers.append(caller);
            out.ledger.append(row);

            const Checked<bool> reset = settleCaller(db, caller, settleClass, out.commands);
            if (!reset)
                return reset.status();
            if (*reset)
                out.resetCallers.append(caller);
        }
        // The classes given back reach the switch with the settlement, also
        // when it cannot take them now.
        return PendingCommands(db).keepStar(out.commands, 100);
    });
    if (!done)
        return fail(done.reason());
    // The receipts printed from here on show what was settled.
    if (Status s = store.recordSettlement(out.ledger); !s)
        qWarning("print.mdb not brought in line with the settlement: %s", qPrintable(s.reason()));
    return out;
}

Outcome Settle(ConsoleContext &ctx, PrintStore &store)
{
    Outcome out = SettleListed(ctx.db, store, {ctx.login.OPName, ctx.clock.now()});
    // The classes given back wait for the switch when it is not there now;
    // the operator is told how many.
    if (out && !out.commands.isEmpty() && ctx.link)
        ctx.link->SendKeptAndTell();
    return out;
}

} // namespace corvane::Settlement
