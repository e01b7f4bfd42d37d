#pragma once
#include "ExportSheet.h"
#include "Money.h"
#include "Status.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// The traffic statistics of "话务统计" and of the monthly report: calls and
// fees of the stored call records by day, month, call type, caller, group,
// area and hour, for a range of whole days, a choice of callers and a
// settlement state. Only reads.
//
// The records are chosen as a query of every call type over the same days
// chooses them (CallQuery::Choose), and amounts are read from the stored fee
// texts as the settlement reads them (Money::fromText): the total of a range
// is the settlement's total of the same records, to the cent. The sums are
// made by the database, grouped, in exact integer units; only records whose
// end time is written in neither stored form are read one by one.
namespace TrafficStats {

struct Selection {
    QDate first, last;       // whole days, both included
    bool everyCaller = true; // every record, whoever made it
    QStringList callers;     // otherwise exactly these calling numbers
    QStringList states;      // "未结算" and/or "已结算"
    QString description;     // what was chosen, for titles: "全部主叫", "分组：前台"
};

// Calls and fees of one line of a table, outgoing (call types 0 to 8) and
// incoming ("呼入", type 9) apart.
struct Line {
    QString key;   // "2026-12-01", "2026-12", type code, caller, group, area, hour "07"
    QString label; // as shown: "12月01日", "2026年12月", "国内", "801", "07时"
    QString name;  // the user name of a caller
    qint64 calls = 0, inCalls = 0;
    Money fees, inFees;
    qint64 allCalls() const { return calls + inCalls; }
    Money allFees() const { return fees + inFees; }
};

struct Result {
    Selection selection;
    QList<Line> days;         // every day of the range, in order
    QList<Line> months;       // the twelve months up to the range's last month
    QList<Line> types;        // the ten call types in code order
    QList<Line> callers;      // the ten extensions or accounts with the highest fees
    QList<Line> groups;       // the ten groups with the highest fees
    QList<Line> areasByCalls; // the ten areas with the most calls
    QList<Line> areasByFees;  // the ten areas with the highest fees
    QList<Line> hours;        // 0 to 23
    Line total;
    qint64 unreadFees = 0; // records whose fee text holds no number (counted as 0.00)
    int elapsedDays = 1;   // days of the range up to today, at least one
    Money averagePerDay;   // total fees over the elapsed days, to the cent
    bool empty() const { return total.allCalls() == 0; }
};

// Opens the console's database on a connection of its own for the
// statistics, which write nothing to the file (their copy of a range is a
// temporary table in memory): they run beside the console, in a worker
// thread or in the monthly report, and never hold up the call intake.
Status OpenForReading(Database &db, const QString &path, const QByteArray &key);

// A range of whole days: both given, the first not after the last.
Status CheckRange(const QDate &first, const QDate &last);
// What Compute sums. The twelve months read every record of a year, many
// times the records of a month: a window shows the range's figures first and
// fetches the months as a second step (Months).
enum class Scope { All, RangeOnly };

// The statistics of the selection. `today` bounds the days the average is
// taken over. With Scope::RangeOnly `months` stays empty.
Checked<Result> Compute(Database &db, const Selection &selection, const QDate &today, Scope scope = Scope::All);
// The twelve months up to the range's last month (Result::months).
Checked<QList<Line>> Months(Database &db, const Selection &selection);

QString nothingText(); // "没有话单"
// "话单：12条（呼出10条，呼入2条）  话费合计：45.60元  日均：1.47元"; the
// records whose fee could not be read are named when there are any.
QString summaryText(const Result &result);
// "2026年12月01日至2026年12月31日"
QString rangeText(const Selection &selection);
// "12.34%": part of whole, to two decimals; "0.00%" of nothing.
QString shareText(qint64 part, qint64 whole);

// Each table under its chart, with the same numbers: the sheets of the
// workbook and the tables of the window and of the report, in this order:
// by day, by month, by type, callers, groups, areas by calls, areas by fees,
// by hour.
QList<ExportSheet> Sheets(const Result &result);

} // namespace TrafficStats
} // namespace corvane
