#pragma once
#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "Status.h"
#include "TableAccess.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

// One row of a table as stored, with its row id; F names its columns in
// stored order, N of them.
template <class F, int N>
struct TableRow {
    static constexpr int FieldCount = N;

    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(N));

    QString get(F f) const { return values.value(int(f)); }
    void set(F f, const QString &v)
    {
        while (values.size() <= int(f))
            values.append(QString());
        values[int(f)] = v;
    }
    QString trimmed(F f) const { return get(f).trimmed(); }

    static TableRow fromColumns(const QStringList &c)
    {
        TableRow r;
        for (int i = 0; i < N && i < c.size(); ++i)
            r.values[i] = c.at(i);
        return r;
    }
    QStringList columns() const { return values; }
};

// The generic part of a table's gateway: whole rows read with their row
// ids, in table order (a row type gives `fromColumns`, `columns()` and a
// `rowId`); the columns named in a write written, and only those;
// a row appended whole; a row removed. A row that vanished meanwhile (another
// window, the intake) is reported, never written into nothing. A gateway of
// a table derives from it and adds that table's rules.
template <class Row, class F>
class Gateway {
public:
    using Field = F;
    Gateway(Database &db, QString table) : m_db(db), m_table(std::move(table)) {}

    const QString &table() const { return m_table; }
    QStringList columnNames() const
    {
        const TableDef *def = findTable(m_table);
        return def ? def->columns : QStringList();
    }
    QString columnName(F f) const { return columnNames().value(int(f)); }

    Checked<QList<Row>> all() const { return select(QString(), {}); }
    Checked<QList<Row>> where(F f, const QString &value) const { return select(equals(f), {value}); }
    Checked<std::optional<Row>> first(F f, const QString &value) const { return firstOf(equals(f), {value}); }
    Checked<std::optional<Row>> byRowId(qint64 rowId) const { return firstOf(QStringLiteral("rowid=?"), {rowId}); }
    // The rows as a grid shows them: column names, values and row ids.
    Checked<TableRows> rows() const
    {
        auto stored = TableAccess::read(m_db, m_table);
        if (!stored)
            return stored.template refusedAs<TableRows>();
        TableRows t;
        t.columns = columnNames();
        for (TableAccess::StoredRow &s : *stored) {
            t.rowIds.append(s.rowId);
            t.rows.append(std::move(s.values));
        }
        return t;
    }

    Status write(qint64 rowId, const QList<QPair<F, QString>> &fields)
    {
        QList<QPair<int, QString>> cols;
        for (const auto &[f, v] : fields)
            cols.append({int(f), v});
        return TableAccess::update(m_db, m_table, rowId, cols);
    }
    Checked<qint64> insert(const Row &row) { return TableAccess::insert(m_db, m_table, row.columns()); }
    Status remove(qint64 rowId)
    {
        if (Status s = TableAccess::remove(m_db, m_table, rowId); !s)
            return s;
        // A row already gone is told, not taken for done.
        if (m_db.changes() == 0)
            return Status::fail(QStringLiteral("表 %1 中的这条记录已被删除").arg(m_table));
        return Status::ok();
    }
    // Every row whose column holds this value; how many went.
    Checked<int> removeWhere(F f, const QString &value)
    {
        if (Status s = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoteId(m_table), equals(f)),
                                 {value});
            !s)
            return Checked<int>::refuse(s);
        return m_db.changes();
    }

protected:
    QString column(F f) const { return TableAccess::column(m_db, m_table, int(f)); }
    QString equals(F f) const { return column(f) + QStringLiteral("=?"); }

    // Rows matching an SQL condition over quoted columns with '?' parameters.
    Checked<QList<Row>> select(const QString &where, const QVariantList &params,
                               const QString &orderBy = QStringLiteral("rowid")) const
    {
        auto stored = TableAccess::read(m_db, m_table, where, params, orderBy);
        if (!stored)
            return stored.template refusedAs<QList<Row>>();
        QList<Row> out;
        out.reserve(stored->size());
        for (TableAccess::StoredRow &s : *stored)
            out.append(toRow(std::move(s)));
        return out;
    }
    Checked<std::optional<Row>> firstOf(const QString &where, const QVariantList &params) const
    {
        auto stored = TableAccess::read(m_db, m_table, where, params, QStringLiteral("rowid"), 1);
        if (!stored)
            return stored.template refusedAs<std::optional<Row>>();
        if (stored->isEmpty())
            return std::optional<Row>();
        return std::optional<Row>(toRow(std::move(stored->first())));
    }
    static Row toRow(TableAccess::StoredRow &&s)
    {
        Row r = Row::fromColumns(s.values);
        r.rowId = s.rowId;
        return r;
    }

    Database &m_db;
    QString m_table;
};

} // namespace corvane
