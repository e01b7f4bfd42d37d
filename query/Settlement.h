#pragma once
#include "CallQuery.h"
#include "LedgerTable.h"
#include "Status.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;
class Database;
class PrintStore;

// Settling rooms: what is true when the settlement is committed, not what
// the list showed earlier. Every record of each room (by its port, former
// numbers included) that the list's criteria choose and that ended before
// the moment of the commit is read inside the settlement's transaction and
// marked "已结算"; a record that arrived after the list was made is settled
// with it and said so. Each room's deposit moves as its SettlementMoney says
// (refund or collection, the rent once per month), in the same transaction,
// and its class goes back to the class after settlement (SWTConfig column 1)
// when it was settled in full.
namespace Settlement {

struct Outcome {
    Status status;
    int marked = 0;    // records that went from "未结算" to "已结算"
    int notMarked = 0; // listed records that were settled (or gone) already
    int arrived = 0;   // records settled that the list did not show
    Money arrivedTotal;
    QStringList settledCallers; // rooms with at least one record marked, in list order
    QStringList resetCallers;   // of those, the ones whose deposit was settled
    QStringList commands;       // the class commands for the switch
    QList<LedgerRow> ledger;    // the ledger row of each settled room, in that order
    explicit operator bool() const { return bool(status); }
};

// Who settles, and when.
struct Run {
    QString operatorName;
    QDateTime at;
};

// What the operator asked to settle: the list's criteria with the rooms shown
// (callers in the order shown, their ports), and the records the list showed
// of them.
struct Request {
    CallQuery::Criteria criteria;
    QList<qint64> listed;
};
// The rooms and records of a list that are shown (`shown` fee-row numbers,
// in the order shown) as a request.
Request RequestFor(const CallQuery::Criteria &criteria, const CallQuery::Chosen &list, const QStringList &shown);

// What settling now would do, for the question asked first.
struct Preview {
    int rooms = 0;
    int records = 0;
    int partial = 0; // rooms settled in part (a range, some call types)
    int arrived = 0; // records that ended after the list was made
    int notMarked = 0;
    Money total, collect, refund, arrivedTotal;
    QStringList arrivedRooms; // "805：2条"
};
Checked<Preview> Foresee(Database &db, const Request &request, const QDateTime &at);

// One transaction for the marks, the deposits (with their journal), the
// classes, the ledger and the kept class commands. On failure nothing has
// changed and there are no commands. The fee and bill rows of print.mdb are
// brought in line after the commit, so the receipts show what was settled.
Outcome SettleRooms(Database &db, PrintStore &store, const Request &request, const Run &run);

// SettleRooms on the console's database, then the commands through the
// link's command queue, after the commit.
Outcome Settle(ConsoleContext &ctx, PrintStore &store, const Request &request);

QString busyText(); // "正在处理，请不要退出！"
QString doneText(); // "处理完毕！"

} // namespace Settlement
} // namespace corvane
