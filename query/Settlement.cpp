#include "Settlement.h"

#include "CallQuery.h"
#include "Columns.h"
#include "ConsoleContext.h"
#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "PrintStore.h"
#include "Recordset.h"
#include "Schema.h"
#include "SwitchLink.h"

#include <QSet>

namespace corvane::Settlement {

namespace {

const QString kAccountWord = QStringLiteral("账号");
const QString kZero = QStringLiteral("0.00");
const QString kFailed = QStringLiteral("结算失败，没有任何话单被结算");

QString q(const QString &name) { return Database::quoteId(name); }

// Resets one deposit row: balance and deposit paid 0.00, the class after settlement.
Status resetDeposit(Recordset &deposit, const QString &cls)
{
    if (Status s = deposit.edit(); !s)
        return s;
    for (auto [c, v] : {std::pair{col::Foregift::Balance, kZero}, std::pair{col::Foregift::Deposit, kZero},
                        std::pair{col::Foregift::Class, cls}})
        if (Status s = deposit.setField(c, v); !s)
            return s;
    return deposit.update();
}

// The deposit user or account of one fee row: its deposit reset, its class
// restored, its command added. False when the caller has no deposit row (or
// no user or account row): then nothing changes for it.
Checked<bool> settleCaller(Database &db, const QString &caller, const QString &cls, QStringList &commands)
{
    if (caller.startsWith(kAccountWord)) {
        const QString number = caller.mid(kAccountWord.size()).trimmed();
        Recordset deposit(db, QStringLiteral("Foregift"),
                          Criteria(QStringLiteral("物理端口"), number).andEq(QStringLiteral("用户号码"), kAccountWord));
        Recordset account(db, QStringLiteral("Account"), Criteria(QStringLiteral("账号编号"), number));
        if (!deposit.isValid())
            return Checked<bool>::refuse(deposit.status());
        if (!account.isValid())
            return Checked<bool>::refuse(account.status());
        if (!deposit.hasCurrent() || !account.hasCurrent())
            return false;
        if (Status s = resetDeposit(deposit, cls); !s)
            return Checked<bool>::refuse(s.reason());
        if (Status s = SetField(account, col::Account::Class, cls); !s)
            return Checked<bool>::refuse(s.reason());
        commands << QStringLiteral("*68*") + cls + QLatin1Char('*') + account.value(col::Account::TrunkGroup).trimmed()
                        + QStringLiteral("*0*") + number + QLatin1Char('#');
        return true;
    }

    Recordset user(db, QStringLiteral("User"), Criteria(QStringLiteral("用户号码"), caller));
    if (!user.isValid())
        return Checked<bool>::refuse(user.status());
    if (!user.hasCurrent())
        return false;
    Recordset deposit(db, QStringLiteral("Foregift"),
                      Criteria(QStringLiteral("物理端口"), user.value(col::User::Port))
                          .andNe(QStringLiteral("用户号码"), kAccountWord));
    if (!deposit.isValid())
        return Checked<bool>::refuse(deposit.status());
    if (!deposit.hasCurrent())
        return false;
    if (Status s = resetDeposit(deposit, cls); !s)
        return Checked<bool>::refuse(s.reason());
    if (Status s = SetField(user, col::User::Class, cls); !s)
        return Checked<bool>::refuse(s.reason());
    // The extension command, as the intake's demotion sends it.
    commands << QStringLiteral("*10*") + cls + QLatin1Char('*') + user.value(col::User::Number).trimmed()
                    + QLatin1Char('#');
    return true;
}

} // namespace

QString busyText() { return QStringLiteral("正在处理，请不要退出！"); }
QString doneText() { return QStringLiteral("处理完毕！"); }

Outcome SettleListed(Database &db, PrintStore &store)
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

    Transaction tx(db);
    if (!tx.begun())
        return fail(tx.begun().reason());

    const auto cls =
        db.scalar(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid LIMIT 1")
                      .arg(q(findTable(QStringLiteral("SWTConfig"))->columns.at(col::SWTConfig::DemoteClass)),
                           q(QStringLiteral("SWTConfig"))));
    if (!cls)
        return fail(cls.reason());
    const QString settleClass = cls->trimmed();

    // The marks: exactly the listed rows that are still not settled.
    const TableDef &bill = *findTable(QStringLiteral("PHNBill"));
    const QString mark = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ? AND %2 = ? AND %3 = ? AND %4 = ?")
                             .arg(q(bill.name), q(bill.columns.at(col::PHNBill::State)),
                                  q(bill.columns.at(col::PHNBill::Caller)), q(bill.columns.at(col::PHNBill::EndTime)));
    QSet<QString> settled;
    for (const BillRow &b : listed) {
        if (Status s = db.exec(
                mark, {CallQuery::settledText(), b.mainRowId, CallQuery::notSettledText(), b.caller, b.endTime});
            !s)
            return fail(s.reason());
        if (db.changes() > 0) {
            ++out.marked;
            settled.insert(b.caller);
        }
    }

    // Deposits and classes of the callers this run settled, and only theirs:
    // a caller whose records were all settled before keeps a deposit paid since.
    for (const FeeRow &f : fees) {
        if (!settled.contains(f.number) || out.settledCallers.contains(f.number))
            continue;
        out.settledCallers.append(f.number);
        const Checked<bool> reset = settleCaller(db, f.number, settleClass, out.commands);
        if (!reset)
            return fail(reset.reason());
        if (*reset)
            out.resetCallers.append(f.number);
    }
    // A caller with marked records but no fee row (a list from elsewhere) is
    // settled all the same.
    for (const BillRow &b : listed) {
        if (!settled.contains(b.caller) || out.settledCallers.contains(b.caller))
            continue;
        out.settledCallers.append(b.caller);
        const Checked<bool> reset = settleCaller(db, b.caller, settleClass, out.commands);
        if (!reset)
            return fail(reset.reason());
        if (*reset)
            out.resetCallers.append(b.caller);
    }

    if (Status s = tx.commit(); !s)
        return fail(s.reason());
    return out;
}

Outcome Settle(ConsoleContext &ctx, PrintStore &store)
{
    Outcome out = SettleListed(ctx.db, store);
    if (out && !out.commands.isEmpty() && ctx.link)
        ctx.link->QueueStarCommands(out.commands, 100);
    return out;
}

} // namespace corvane::Settlement
