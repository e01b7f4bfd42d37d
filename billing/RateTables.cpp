#include "RateTables.h"

#include "Database.h"

namespace corvane {

namespace {

QString col(const QStringList &c, int i) { return i < c.size() ? c.at(i) : QString(); }

template <typename Row>
bool loadTable(Database &db, const QString &table, QList<Row> &into)
{
    into.clear();
    // Table order is insertion order, which is rowid order.
    const auto rows = db.select(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(Database::quoteId(table)));
    if (!rows)
        return false;
    into.reserve(rows->size());
    for (const QStringList &r : *rows)
        into.append(Row::fromColumns(r));
    return true;
}

} // namespace

FeerateRow FeerateRow::fromColumns(const QStringList &c)
{
    return {col(c, 0), col(c, 1), col(c, 2), col(c, 3), col(c, 4),  col(c, 5),
            col(c, 6), col(c, 7), col(c, 8), col(c, 9), col(c, 10), col(c, 11)};
}

QStringList FeerateRow::columns() const
{
    return {prefix,          area,           firstTime,      firstCharge, unitTime, unitCharge, handlingPerUnit,
            handlingPercent, servicePerCall, servicePercent, discount,    type};
}

DiscountRow DiscountRow::fromColumns(const QStringList &c)
{
    return {col(c, 0),
            {col(c, 1), col(c, 2), col(c, 3), col(c, 4)},
            {col(c, 5), col(c, 6), col(c, 7), col(c, 8)},
            col(c, 9),
            col(c, 10),
            col(c, 11),
            col(c, 12),
            col(c, 13),
            col(c, 14)};
}

QStringList DiscountRow::columns() const
{
    return {type,          bandA.on,   bandA.start,     bandA.end, bandA.percent, bandB.on,  bandB.start,   bandB.end,
            bandB.percent, saturdayOn, saturdayPercent, sundayOn,  sundayPercent, holidayOn, holidayPercent};
}

HolidayRow HolidayRow::fromColumns(const QStringList &c) { return {col(c, 0), col(c, 1), col(c, 2)}; }

QStringList HolidayRow::columns() const { return {name, month, day}; }

bool RateTables::load(Database &db)
{
    bool ok = loadTable(db, QStringLiteral("Feerate"), feerate);
    ok = loadTable(db, QStringLiteral("Discount"), discount) && ok;
    ok = loadTable(db, QStringLiteral("Holiday"), holiday) && ok;
    return ok;
}

} // namespace corvane
