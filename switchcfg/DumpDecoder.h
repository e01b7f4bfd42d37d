#pragma once
#include "ComparisonRow.h"
#include "ConfigTable.h"
#include "TrunkTable.h"
#include "UserTable.h"
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>
#include <array>
#include <optional>

namespace corvane {

class Database;

// The blocks of one parameter dump whose checksum was right, by number.
class DumpData {
public:
    static constexpr int BlockCount = 50;
    static constexpr int BlockSize = 256;

    void clear();
    void set(int block, const QByteArray &data);
    bool has(int block) const;
    int blockCount() const; // blocks held
    // Data byte `offset` of `block`; 0 for a block not held.
    quint8 byte(int block, int offset) const;

private:
    std::array<QByteArray, BlockCount> m_blocks;
};

// The database side of a comparison, read in one go.
struct DatabaseView {
    std::optional<ConfigRow> config; // the configuration row; none when the table has none
    QStringList feesetting;          // the Feesetting row (DelayColumn); empty when there is none
    QStringList localPrefixes;       // 区号 of the local-network rows in 区号 order, "本地默认" passed over
    QStringList specialNumbers;      // the SPCPhone numbers in table order
    QHash<int, TrunkRow> trunks;     // Exchange rows by trunk number, the first of each trunk
    QHash<int, UserRow> users;       // User rows by physical port, the first of each port

    // The configured capacity read as a number, limited to 0..120.
    int capacity() const;

    static DatabaseView Load(Database &db);
};

// The layout of the comparison grid and the reading of each row from the dump.
//
// Row count: block 0 gives rows 1 to 48, block 1 the 48 local-network prefixes
// (49 to 96), block 2 the 52 special-service numbers (97 to 148) and block 4
// twelve trunks of 13 rows each (149 to 304). Every extension port p then has
// nine rows, 305 + 9p to 313 + 9p, so the last row of port capacity - 1 is
// 313 + 9(capacity - 1) = 304 + 9 × capacity, which is the row count.
namespace DumpLayout {
constexpr int SystemRows = 48;
constexpr int PrefixFirstRow = 49;
constexpr int PrefixSlots = 48;
constexpr int SpecialFirstRow = 97;
constexpr int SpecialSlots = 52;
constexpr int TrunkFirstRow = 149;
constexpr int TrunkRows = 13;
constexpr int Trunks = 12;
constexpr int FixedRows = 304;
constexpr int ExtensionFirstRow = 305;
constexpr int ExtensionRows = 9;
constexpr int MaxPorts = 120;
constexpr int LastBlock = 49;

// Rows of a grid with this many extension ports.
constexpr int RowCount(int ports) { return FixedRows + ExtensionRows * ports; }
// Row k (0..8) of extension port p.
constexpr int ExtensionRow(int port, int k) { return ExtensionFirstRow + ExtensionRows * port + k; }
// First row of trunk t (1..12).
constexpr int TrunkRow(int trunk) { return TrunkFirstRow + TrunkRows * (trunk - 1); }

// The capacity block 0 reports: byte 6 counts extensions in units of eight.
// Not limited: a damaged byte may give more than 120.
int SwitchCapacity(const DumpData &dump);

// The extension ports the grid shows: the database's capacity, widened to the
// switch's when the switch reports more (so that the copy has every extension
// the switch holds), never more than 120.
int ExtensionPorts(int databaseCapacity, int switchCapacity);

// The rows a good block completes, with both values filled in. Blocks 5, 6
// and 7 complete nothing on their own: their bytes belong to the extension
// rows that block 10 completes. Blocks without rows give an empty list.
QList<ComparisonRow> RowsOfBlock(int block, const DumpData &dump, const DatabaseView &db, int ports,
                                 const QDateTime &now);

// Whether this block brings rows (0, 1, 2, 4, 10, 27, 31, 35, 49).
bool BlockHasRows(int block);
} // namespace DumpLayout

} // namespace corvane
