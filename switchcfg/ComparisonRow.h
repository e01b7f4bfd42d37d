#pragma once
#include <QString>

namespace corvane {

// Where a compared value lives in the database. A row whose database side is
// not a stored value (the console's own date and time) names no table; a row
// without any counterpart has Source::None and an empty database value.
struct DbRef {
    enum class Source { None, Table, ConsoleDate, ConsoleTime };
    Source source = Source::None;
    QString table;     // "SWTConfig", "Feesetting", "Feerate", "SPCPhone", "Exchange", "User"
    QString column;    // the value's column, by the name its table's gateway (or owner) gives it
    QString keyColumn; // column that finds the row; empty for the single-row tables
    QString key;       // its value; empty when the database holds no such row

    bool operator==(const DbRef &o) const
    {
        return source == o.source && table == o.table && column == o.column && keyColumn == o.keyColumn && key == o.key;
    }
};

// Outcome of comparing one row.
enum class Verdict { None, Same, Different, NotComparable };

// One row of the comparison grid: grid row number, the two captions, the
// switch's value, the database's value and where that value lives, and the
// verdict once the whole dump has been compared.
struct ComparisonRow {
    int row = 0;         // grid row number, from 1; 0 while not decoded
    QString item;        // 比照项目
    QString detail;      // 比照信息
    QString switchValue; // 交换机数据
    QString dbValue;     // 软件数据
    DbRef db;
    bool switchValueValid = true; // false: a byte outside its list of choices
    Verdict verdict = Verdict::None;
    QString verdictText; // 比照结果

    bool decoded() const { return row > 0; }
};

// Compares the trimmed switch and database values: equal is "数据一致--",
// unequal with an empty database value "不可比照--", otherwise "数据不一致--".
Verdict CompareValues(const QString &switchValue, const QString &dbValue);
// A slot of a list the switch keeps (agent operators, local-network
// prefixes, special-service numbers, a trunk's virtual operators) that the
// switch fills and the database leaves empty: "不可比照" as the rule says,
// but a difference all the same (an entry the database does not have).
bool SwitchOnlyListEntry(const ComparisonRow &r);

// The verdict text of a row: "数据一致--5".
QString VerdictText(Verdict v, int row);

// Colour a verdict gives its row, as an index of the classic 16-colour
// palette (10 light green, 12 light red, 7 light grey; 15 white before a
// verdict) and as 0xRRGGBB.
int VerdictPaletteIndex(Verdict v);
unsigned PaletteRgb(int index);

} // namespace corvane
