#include "Settlement.h"

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

    const auto config = ConfigTable(db).read();
    if (!config)
        return fail(config.reason());
    const QString settleClass = config->demoteClass();

    // The marks: exactly the listed rows that are still not settled.
    BillTable bills(db);
    QSet<QString> settled;
    for (const BillRow &b : listed) {
        const auto marked = bills.markSettled(b.mainRowId, b.caller, b.endTime);
        if (!marked)
            return fail(marked.reason());
        if (*marked) {
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
