#include "TrunkTable.h"

#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableAccess.h"

namespace corvane {

namespace {

TrunkRow toRow(TableAccess::StoredRow &&s)
{
    TrunkRow r;
    r.rowId = s.rowId;
    r.values = std::move(s.values);
    while (r.values.size() < TrunkFieldCount)
        r.values.append(QString());
    return r;
}

} // namespace

const QString TrunkTable::Name = QStringLiteral("Exchange");

QString TrunkTable::columnName(TrunkField f) { return findTable(Name)->columns.at(int(f)); }
QStringList TrunkTable::columnNames() { return findTable(Name)->columns; }

Checked<QList<TrunkRow>> TrunkTable::all() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<QList<TrunkRow>>();
    QList<TrunkRow> out;
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<TableRows> TrunkTable::rows() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<TableRows>();
    TableRows t;
    t.columns = columnNames();
    for (TableAccess::StoredRow &s : *rows) {
        t.rowIds.append(s.rowId);
        t.rows.append(std::move(s.values));
    }
    return t;
}

Checked<std::optional<TrunkRow>> TrunkTable::byTrunk(int trunk) const
{
    // Twelve rows: the number is compared as it reads, blanks aside.
    auto rows = TableAccess::read(
        m_db, Name, QStringLiteral("trim(%1)=?").arg(TableAccess::column(m_db, Name, int(TrunkField::Trunk))),
        {QString::number(trunk)}, QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<TrunkRow>>();
    if (rows->isEmpty())
        return std::optional<TrunkRow>();
    return std::optional<TrunkRow>(toRow(std::move(rows->first())));
}

Status TrunkTable::write(qint64 rowId, const QList<QPair<TrunkField, QString>> &fields)
{
    QList<QPair<int, QString>> cols;
    for (const auto &[f, v] : fields)
        cols.append({int(f), v});
    return TableAccess::update(m_db, Name, rowId, cols);
}

} // namespace corvane
