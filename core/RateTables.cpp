#include "RateTables.h"

#include "Database.h"

namespace corvane {

namespace {

QString col(const QStringList &c, int i) { return i < c.size() ? c.at(i) : QString(); }

template <typename Row>
bool loadTable(const Checked<QList<Row>> &rows, QList<Row> &into)
{
    into = rows.value_or(QList<Row>());
    return bool(rows);
}

} // namespace

Checked<QList<FeerateRow>> FeerateTable::ofType(int type) const
{
    // Ties in the prefix keep their table order, so a grid row and its
    // record stay paired from one fill to the next.
    return select(equals(11), {QString::number(type)}, column(0) + QStringLiteral(", rowid"));
}

Checked<std::optional<FeerateRow>> FeerateTable::byArea(int type, const QString &area) const
{
    return firstOf(equals(11) + QStringLiteral(" AND ") + equals(1), {QString::number(type), area});
}

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
    bool ok = loadTable(FeerateTable(db).all(), feerate);
    ok = loadTable(DiscountTable(db).all(), discount) && ok;
    ok = loadTable(HolidayTable(db).all(), holiday) && ok;
    return ok;
}

} // namespace corvane
