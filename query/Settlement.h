#pragma once
#include "LedgerTable.h"
#include "Status.h"

#include <QDateTime>

#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;
class Database;
class PrintStore;

// Settling the records listed in print.mdb: the records are marked "已结算",
// and every caller whose records this run marks has its deposit reset to
// 0.00 and its class set back to the class after settlement (SWTConfig
// column 1), in the database and in the switch.
namespace Settlement {

struct Outcome {
    Status status;
    int marked = 0;             // records that went from "未结算" to "已结算"
    int notMarked = 0;          // listed records that were settled (or gone) already
    QStringList settledCallers; // callers with at least one record marked, in list order
    QStringList resetCallers;   // of those, the ones whose deposit was reset
    QStringList commands;       // the class commands for the switch
    QList<LedgerRow> ledger;    // the ledger row of each settled caller, in that order
    explicit operator bool() const { return bool(status); }
};

// Who settles, and when.
struct Run {
    QString operatorName;
    QDateTime at;
};

// One transaction for the marks, the deposits and the classes. A listed row
// is the main row of its own row id, and only while it still has the listed
// caller and end time and is not settled. Returns the class commands without
// sending them: an extension gets "*10*" class "*" number "#", an account
// "*68*" class "*" trunk group "*0*" account "#". On failure nothing has
// changed and there are no commands.
//
// Each settled caller gets a ledger row in the same transaction: what its
// marked records cost (summed from the records themselves), the rent (the
// fee row's, unless the ledger shows rent charged to the caller in the month
// of the run), the deposit and balance it held, and what is collected or
// refunded. The fee rows of print.mdb are brought in line with the ledger
// after the commit, so the receipts show what was settled.
Outcome SettleListed(Database &db, PrintStore &store, const Run &run);
Outcome SettleListed(Database &db, PrintStore &store);

// SettleListed on the console's database, then the commands through the
// link's command queue, after the commit (100 ms apart).
Outcome Settle(ConsoleContext &ctx, PrintStore &store);

QString busyText(); // "正在处理，请不要退出！"
QString doneText(); // "处理完毕！"

} // namespace Settlement
} // namespace corvane
