#pragma once
#include "Status.h"

#include <QDateTime>

namespace corvane {

class Database;

// The console's own tables beside the switch tables, brought up to date on
// opening a home (one made by an earlier console included): the settlement
// ledger, the indexes, the sums of the call records (BillSummary), the money journal (begun from the deposits as they
// stand) and the number history (begun from today's numbers, and told of
// numbers changed behind its back, e.g. by a restore, at `now`).
Status BringOwnTablesUpToDate(Database &db, const QDateTime &now);

} // namespace corvane
