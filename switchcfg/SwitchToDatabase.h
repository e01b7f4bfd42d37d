#pragma once
#include "Status.h"
#include <QString>
#include <QStringList>

namespace corvane {

class Database;
class ParameterDump;

// What "交换机参数覆盖数据库" changed, row by row.
struct CopySummary {
    int configRows = 0;       // SWTConfig (0 or 1)
    int feesettingRows = 0;   // Feesetting (0 or 1)
    int prefixesAdded = 0;    // local-network prefixes new in Feerate
    int prefixesRemoved = 0;  // local-network prefixes the switch no longer has
    int specialAdded = 0;     // SPCPhone rows added
    int specialRemoved = 0;   // SPCPhone rows deleted
    int trunkRows = 0;        // Exchange rows changed
    int userRows = 0;         // User rows changed
    int depositRows = 0;      // Foregift rows given the extension's new number
    int missingUserRows = 0;  // extensions of the switch without a User row (left alone)
    int missingTrunkRows = 0; // trunks of the switch without an Exchange row (left alone)
    QStringList notes;        // what the operator should know, in words

    int changedRows() const
    {
        return configRows + feesettingRows + prefixesAdded + prefixesRemoved + specialAdded + specialRemoved + trunkRows
               + userRows + depositRows;
    }
};

struct CopyOutcome {
    Status status;
    CopySummary summary;
};

// "交换机参数覆盖数据库": copies the switch's values of the last comparison
// into SWTConfig, Feesetting, the local-network prefixes of Feerate, SPCPhone,
// Exchange and User, in one transaction: everything or, on any failure,
// nothing.
//
// Allowed only after a comparison that received all 50 blocks with good
// checksums; a value the switch holds outside its list, or a capacity above
// 120, refuses the copy. Local-network prefixes are copied by value: a prefix
// the table already holds keeps its own rates, a new one takes the rates of
// the "本地默认" row, one the switch no longer has is removed; the "本地默认"
// row itself is never touched. Agent and virtual operators come from the dump
// as physical ports and are stored as such. Extensions or trunks the switch
// reports but the database holds no row for are left alone and counted.
// Each row write touches only the columns whose value changes.
CopyOutcome CopySwitchToDatabase(Database &db, const ParameterDump &dump);

} // namespace corvane
