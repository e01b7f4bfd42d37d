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

const QString BillTable::PortTable = QStringLiteral("BillPort");

Checked<qint64> BillTable::append(const BillRecord &record, const QString &port)
{
    QStringList values = record.values;
    while (values.size() < BillFieldCount)
        values.append(QString());
    values[int(BillField::State)] = notSettledText();
    const auto id = TableAccess::insert(m_db, Name, values);
    if (!id || port.isEmpty())
        return id;
    if (Status s =
            m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"话单\" INTEGER PRIMARY KEY, \"物理端口\" TEXT)")
                          .arg(Database::quoteId(PortTable)));
        !s)
        return Checked<qint64>::refuse(s);
    // A row id freed by a deletion and taken again leaves no stale port behind.
    if (Status s =
            m_db.exec(QStringLiteral("INSERT OR REPLACE INTO %1 VALUES (?, ?)").arg(Database::quoteId(PortTable)),
                      {*id, port.trimmed()});
        !s)
        return Checked<qint64>::refuse(s);
    return id;
}

Checked<QHash<qint64, QString>> BillTable::portsOf(const QList<qint64> &rowIds) const
{
    QHash<qint64, QString> out;
    if (rowIds.isEmpty() || !m_db.tableExists(PortTable))
        return out;
    constexpr int kSlice = 500;
    for (int from = 0; from < rowIds.size(); from += kSlice) {
        const QList<qint64> slice = rowIds.mid(from, kSlice);
        QVariantList params;
        for (qint64 id : slice)
            params.append(id);
        const auto rows = m_db.select(QStringLiteral("SELECT \"话单\", \"物理端口\" FROM %1 WHERE \"话单\" IN (%2)")
                                          .arg(Database::quoteId(PortTable), marks(int(slice.size()))),
                                      params);
        if (!rows)
            return Checked<QHash<qint64, QString>>::refuse(rows.status().context(QStringLiteral("话单端口无法读取")));
        for (const QStringList &r : *rows)
            out.insert(r.value(0).toLongLong(), r.value(1));
    }
    return out;
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

Checked<QStringList> BillTable::unsettledCallers(const QStringList &groups) const
{
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                      .arg(col(m_db, BillField::Caller), Database::quoteId(Name), col(m_db, BillField::State));
    QVariantList params{notSettledText()};
    if (!groups.isEmpty()) {
        sql += QStringLiteral(" AND %1 IN (%2)").arg(col(m_db, BillField::Group), marks(groups.size()));
        for (const QString &g : groups)
            params.append(g);
    }
    sql += QStringLiteral(" GROUP BY 1 ORDER BY min(rowid)");
    const auto rows = m_db.select(sql, params);
    if (!rows)
        return rows.refusedAs<QStringList>();
    QStringList out;
    for (const QStringList &r : *rows)
        out.append(r.value(0));
    return out;
}

Checked<QList<BillRecord>> BillTable::byRowIds(const QList<qint64> &rowIds) const
{
    QList<BillRecord> out;
    constexpr int Chunk = 500;
    for (qsizetype at = 0; at < rowIds.size(); at += Chunk) {
        const QList<qint64> part = rowIds.mid(at, Chunk);
        QVariantList params;
        for (qint64 id : part)
            params.append(id);
        auto rows = TableAccess::read(m_db, Name, QStringLiteral("rowid IN (%1)").arg(marks(part.size())), params);
        if (!rows)
            return rows.refusedAs<QList<BillRecord>>();
        for (TableAccess::StoredRow &r : *rows) {
            BillRecord b;
            b.rowId = r.rowId;
            b.values = std::move(r.values);
            out.append(std::move(b));
        }
    }
    std::sort(out.begin(), out.end(), [](const BillRecord &a, const BillRecord &b) { return a.rowId < b.rowId; });
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
    const bool gone = m_db.changes() > 0;
    if (gone && m_db.tableExists(PortTable))
        if (Status p = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE \"话单\" = ?").arg(Database::quoteId(PortTable)),
                                 {rowId});
            !p)
            return Checked<bool>::refuse(p);
    return gone;
}

Checked<bool> BillTable::removeListed(qint64 rowId, const QString &caller, const QString &endTime)
{
    const Status s =
        m_db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ? AND %2 = ? AND %3 = ?")
                      .arg(Database::quoteId(Name), col(m_db, BillField::Caller), col(m_db, BillField::EndTime)),
                  {rowId, caller, endTime});
    if (!s)
        return Checked<bool>::refuse(s);
    const bool gone = m_db.changes() > 0;
    if (gone && m_db.tableExists(PortTable))
        if (Status p = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE \"话单\" = ?").arg(Database::quoteId(PortTable)),
                                 {rowId});
            !p)
            return Checked<bool>::refuse(p);
    return gone;
}

} // namespace corvane
