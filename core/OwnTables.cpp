#include "OwnTables.h"

#include "BillSummary.h"
#include "Database.h"
#include "LedgerTable.h"
#include "MoneyJournal.h"
#include "NumberHistory.h"
#include "Schema.h"

namespace corvane {

Status BringOwnTablesUpToDate(Database &db, const QDateTime &now)
{
    if (Status s = LedgerTable(db).ensure(); !s)
        return s;
    if (Status s = updateIndexes(db, switchTables()); !s)
        return s;
    if (const auto made = BillSummary(db).ensure(); !made)
        return made.status();
    if (const auto made = MoneyJournal(db).ensure(); !made)
        return made.status();
    if (Status s = NumberHistory(db).ensure(); !s)
        return s;
    return NumberHistory(db).reconcile(now);
}

} // namespace corvane
