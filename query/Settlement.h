#pragma once
#include "Status.h"

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
    QStringList settledCallers; // callers with at least one record marked, in list order
    QStringList resetCallers;   // of those, the ones whose deposit was reset
    QStringList commands;       // the class commands for the switch
    explicit operator bool() const { return bool(status); }
};

// One transaction for the marks, the deposits and the classes. A listed row
// is the main row of its own row id, and only while it still has the listed
// caller and end time and is not settled. Returns the class commands without
// sending them: an extension gets "*10*" class "*" number "#", an account
// "*68*" class "*" trunk group "*0*" account "#". On failure nothing has
// changed and there are no commands.
Outcome SettleListed(Database &db, PrintStore &store);

// SettleListed on the console's database, then the commands through the
// link's command queue, after the commit (100 ms apart).
Outcome Settle(ConsoleContext &ctx, PrintStore &store);

QString busyText(); // "正在处理，请不要退出！"
QString doneText(); // "处理完毕！"

} // namespace Settlement
} // namespace corvane
