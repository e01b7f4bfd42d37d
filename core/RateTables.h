#pragma once
#include "Gateway.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// The rows of the tables that drive pricing and the charging settings the
// switch applies itself, every column as stored text, rows in table order
// (insertion order), and their gateways.

// Feerate: one row per call type and area-code prefix.
struct FeerateRow {
    QString prefix;          // 0 区号
    QString area;            // 1 地区
    QString firstTime;       // 2 首次时长, seconds
    QString firstCharge;     // 3 首次费率
    QString unitTime;        // 4 单位时长, seconds
    QString unitCharge;      // 5 单位费率
    QString handlingPerUnit; // 6 单位手续费
    QString handlingPercent; // 7 手续费百分比
    QString servicePerCall;  // 8 每次服务费
    QString servicePercent;  // 9 服务费百分比
    QString discount;        // 10 折价, "√" or "×"
    QString type;            // 11 类型, call-type code
    qint64 rowId = -1;

    static FeerateRow fromColumns(const QStringList &c);
    QStringList columns() const;
};

// One band of the day with its own switch and percentage charged.
struct DiscountBand {
    QString on;      // "√" or "×"
    QString start;   // "HH:MM"
    QString end;     // "HH:MM"
    QString percent; // percentage charged
};

// Discount: one row per call type, keyed by the type name.
struct DiscountRow {
    QString type;            // 0 类型 (name, not code)
    DiscountBand bandA;      // 1..4
    DiscountBand bandB;      // 5..8
    QString saturdayOn;      // 9
    QString saturdayPercent; // 10
    QString sundayOn;        // 11
    QString sundayPercent;   // 12
    QString holidayOn;       // 13
    QString holidayPercent;  // 14
    qint64 rowId = -1;

    static DiscountRow fromColumns(const QStringList &c);
    QStringList columns() const;
};

// Holiday: a date that recurs every year.
struct HolidayRow {
    QString name;  // 0 节日
    QString month; // 1 月份, "01".."12"
    QString day;   // 2 日期, "01".."31"
    qint64 rowId = -1;

    static HolidayRow fromColumns(const QStringList &c);
    QStringList columns() const;
};

// A column of Feerate, Discount or Holiday by its stored position (the
// grids of the rate window show the columns in that order).
using RateColumn = int;

// Feerate: the rates of a call type by prefix (ties in table order).
class FeerateTable : public Gateway<FeerateRow, RateColumn> {
public:
    explicit FeerateTable(Database &db) : Gateway(db, QStringLiteral("Feerate")) {}
    Checked<QList<FeerateRow>> ofType(int type) const;
    // The type's default row ("<type name>默认"), if it has one.
    Checked<std::optional<FeerateRow>> byArea(int type, const QString &area) const;
};

class DiscountTable : public Gateway<DiscountRow, RateColumn> {
public:
    explicit DiscountTable(Database &db) : Gateway(db, QStringLiteral("Discount")) {}
};

class HolidayTable : public Gateway<HolidayRow, RateColumn> {
public:
    explicit HolidayTable(Database &db) : Gateway(db, QStringLiteral("Holiday")) {}
};

// IP: rows 1 to 12 are the card entries, the row "13" the dialling without
// a card number.
enum class IPField { Entry, On, Code, Delay1, Language, Delay2, Card, Delay3, Password, Delay4 };
using IPRow = TableRow<IPField, 10>;
class IPTable : public Gateway<IPRow, IPField> {
public:
    explicit IPTable(Database &db) : Gateway(db, QStringLiteral("IP")) {}
};

// Feesetting: the single row of the five charging delays.
enum class FeesettingField { International, Domestic, Local, City, Mobile };
using FeesettingRow = TableRow<FeesettingField, 5>;
class FeesettingTable : public Gateway<FeesettingRow, FeesettingField> {
public:
    explicit FeesettingTable(Database &db) : Gateway(db, QStringLiteral("Feesetting")) {}
    // The row; none when the table is empty.
    Checked<std::optional<FeesettingRow>> row() const { return firstOf(QString(), {}); }
};

// ExNO: each trunk's working days and periods and its outside line number.
enum class ExNOField {
    Trunk,
    WorkdayOn,
    FirstDay,
    LastDay,
    Period1Start,
    Period1End,
    Period2Start,
    Period2End,
    OutsideNumber
};
using ExNORow = TableRow<ExNOField, 9>;
class ExNOTable : public Gateway<ExNORow, ExNOField> {
public:
    explicit ExNOTable(Database &db) : Gateway(db, QStringLiteral("ExNO")) {}
};

// SPCPhone: the special-service numbers.
enum class SpecialNumberField { Number };
using SpecialNumberRow = TableRow<SpecialNumberField, 1>;
class SpecialNumberTable : public Gateway<SpecialNumberRow, SpecialNumberField> {
public:
    explicit SpecialNumberTable(Database &db) : Gateway(db, QStringLiteral("SPCPhone")) {}
};

struct RateTables {
    QList<FeerateRow> feerate;
    QList<DiscountRow> discount;
    QList<HolidayRow> holiday;

    // Reads the three tables in table order. A table that cannot be read is
    // left empty and makes the result false, so the caller can try again.
    bool load(Database &db);
};

} // namespace corvane
