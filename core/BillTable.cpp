#include "BillTable.h"

#include "Database.h"
#include "Schema.h"
#include "TableAccess.h"

#include <algorithm>

namespace corvane {

namespace {

QString col(Database &db, BillField f) { return TableAccess::column(db, BillTable::Name, int(f)); }

QString marks(qsizetype n)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m.append(QStringLiteral("?"));
    return m.join(u',');
}

} // namespace

const QString BillTable::Name = QStringLiteral("PHNBill");
QString BillTable::notSettledText() { return QStringLiteral("未结算"); }
QString BillTable::settledText() { return QStringLiteral("已结算"); }

bool BillRecord::settled() const { return get(BillField::State) == BillTable::settledText(); }

QString BillTable::columnName(BillField f) { return findTable(Name)->columns.at(int(f)); }
QStringList BillTable::columnNames() { return findTable(Name)->columns; }

Checked<qint64> BillTable::append(const BillRecord &record)
{
    QStringList values = record.values;
    while (values.size() < BillFieldCount)
        values.append(QString());
    values[int(BillField::State)] = notSettledText();
    return TableAccess::insert(m_db, Name, values);
}

Checked<QList<BillRecord>> BillTable::select(const Selection &s) const
{
    if (s.callers.isEmpty() || s.types.isEmpty() || s.states.isEmpty())
        return QList<BillRecord>();
    // Caller (and end time) through the index; type and state are tested on
    // the rows found (the unary plus keeps the planner off their indexes).
    QString where = QStringLiteral("%1 IN (%2) AND +%3 IN (%4) AND +%5 IN (%6)")
                        .arg(col(m_db, BillField::Caller), marks(s.callers.size()), col(m_db, BillField::CallType),
                             marks(s.types.size()), col(m_db, BillField::State), marks(s.states.size()));
    QVariantList params;
    for (const QString &c : s.callers)
        params.append(c);
    for (const QString &t : s.types)
        params.append(t);
    for (const QString &st : s.states)
        params.append(st);
    if (!s.fromHour.isEmpty()) {
        where += QStringLiteral(" AND %1 >= ?").arg(col(m_db, BillField::EndTime));
        params.append(s.fromHour);
    }
    if (!s.toHour.isEmpty()) {
        where += QStringLiteral(" AND %1 < ?").arg(col(m_db, BillField::EndTime));
        params.append(s.toHour + QChar(0x9FFF));
    }
    // No ORDER BY: ordered by rowid the planner would walk the whole table
    // instead of the caller index; the few rows chosen are sorted here.
    auto rows = TableAccess::read(m_db, Name, where, params, QString());
    if (!rows)
        return rows.refusedAs<QList<BillRecord>>();
    std::sort(rows->begin(), rows->end(),
              [](const TableAccess::StoredRow &a, const TableAccess::StoredRow &b) { return a.rowId < b.rowId; });
    QList<BillRecord> out;
    out.reserve(rows->size());
    for (TableAccess::StoredRow &r : *rows) {
        BillRecord b;
        b.rowId = r.rowId;
        b.values = std::move(r.values);
        out.append(std::move(b));
    }
    return out;
}

Checked<bool> BillTable::markSettled(qint64 rowId, const QString &caller, const QString &endTime)
{
    const Status s = m_db.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ? AND %2 = ? AND %3 = ? AND %4 = ?")
                                   .arg(Database::quoteId(Name), col(m_db, BillField::State),
                                        col(m_db, BillField::Caller), col(m_db, BillField::EndTime)),
                               {settledText(), rowId, notSettledText(), caller, endTime});
    if (!s)
        return Checked<bool>::refuse(s);
    return m_db.changes() > 0;
}

Checked<bool> BillTable::removeListed(qint64 rowId, const QString &caller, const QString &endTime)
{
    const Status s =
        m_db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ? AND %2 = ? AND %3 = ?")
                      .arg(Database::quoteId(Name), col(m_db, BillField::Caller), col(m_db, BillField::EndTime)),
                  {rowId, caller, endTime});
    if (!s)
        return Checked<bool>::refuse(s);
    return m_db.changes() > 0;
}

} // namespace corvane
