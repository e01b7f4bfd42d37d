#pragma once
#include "Schema.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// The tables of the switch's settings that are not shared tables, with their
// columns named. The special-service numbers belong to the switch parameters;
// the charging delays and the IP cards are kept by the billing windows and
// named here as the switch's commands read them. The local-network prefixes
// (FeerateRow) and the trunks' working days (FeeSettings::ExNOColumn) are
// named by billing itself.
namespace SwitchTables {
inline const QString Special = QStringLiteral("SPCPhone");
inline const QString Delays = QStringLiteral("Feesetting");
inline const QString IP = QStringLiteral("IP");
inline const QString Workdays = QStringLiteral("ExNO");
inline const QString Feerate = QStringLiteral("Feerate");
} // namespace SwitchTables

// SPCPhone: one special-service number per row.
enum class SpecialColumn { Number };

// Feesetting, a single row: the charging delay of each kind of call, in
// seconds.
enum class DelayColumn { International, Domestic, Local, City, Mobile };

// IP: the rows "1" to "12" are the IP cards.
enum class IPColumn { Entry, On, AccessCode, Pause1, Language, Pause2, Card, Pause3, Password, Pause4 };
// The row "13" of IP: dialling by IP without a card number. On is "1"/"0";
// the interval is the index of the option the rate window shows.
enum class NoCardColumn { Entry, On, Number, Interval };

// A column of a row read whole; empty when the row is shorter.
template <class Column>
QString cell(const QStringList &row, Column column)
{
    return row.value(int(column));
}

// The first of the rows (in table order) whose key, as `keyOf` reads it
// from a row, is `key`; none when there is no such row.
template <class Row, class KeyOf>
const Row *FirstWith(const QList<Row> &rows, const QString &key, KeyOf keyOf)
{
    for (const Row &r : rows)
        if (keyOf(r) == key)
            return &r;
    return nullptr;
}

// The stored name of a column of one of these tables.
template <class Column>
QString columnName(const QString &table, Column column)
{
    const TableDef *t = findTable(table);
    return t ? t->columns.value(int(column)) : QString();
}

} // namespace corvane
