#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// Plain copies of the rows of the three tables that drive pricing, every
// column as stored text, rows in table order (insertion order).

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

    static DiscountRow fromColumns(const QStringList &c);
    QStringList columns() const;
};

// Holiday: a date that recurs every year.
struct HolidayRow {
    QString name;  // 0 节日
    QString month; // 1 月份, "01".."12"
    QString day;   // 2 日期, "01".."31"

    static HolidayRow fromColumns(const QStringList &c);
    QStringList columns() const;
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
