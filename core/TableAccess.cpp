#include "TableAccess.h"

#include "Database.h"
#include "Schema.h"

namespace corvane::TableAccess {

namespace {

QStringList names(Database &db, const QString &table)
{
    QStringList n = db.columnNames(table);
    if (n.isEmpty())
        if (const TableDef *t = findTable(table))
            n = t->columns;
    return n;
}

} // namespace

QString column(Database &db, const QString &table, int position)
{
    return Database::quoteId(names(db, table).value(position));
}

Checked<QList<StoredRow>> read(Database &db, const QString &table, const QString &where, const QVariantList &params,
                               const QString &orderBy, int limit)
{
    QString sql = QStringLiteral("SELECT rowid, * FROM %1").arg(Database::quoteId(table));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy;
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    auto rows = db.select(sql, params);
    if (!rows)
        return Checked<QList<StoredRow>>::refuse(rows.status().context(QStringLiteral("无法读取表 %1").arg(table)));
    QList<StoredRow> out;
    out.reserve(rows->size());
    for (QStringList &r : *rows) {
        StoredRow s;
        s.rowId = r.takeFirst().toLongLong();
        s.values = std::move(r);
        out.append(std::move(s));
    }
    return out;
}

Status update(Database &db, const QString &table, qint64 rowId, const QList<QPair<int, QString>> &columns)
{
    if (columns.isEmpty())
        return Status::ok();
    const QStringList cols = names(db, table);
    QStringList sets;
    QVariantList params;
    for (const auto &[position, value] : columns) {
        if (position < 0 || position >= cols.size())
            return Status::fail(QStringLiteral("表 %1 没有第 %2 列").arg(table).arg(position));
        sets.append(Database::quoteId(cols.at(position)) + QStringLiteral("=?"));
        params.append(value);
    }
    params.append(rowId);
    const Status s = db.exec(
        QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(Database::quoteId(table), sets.join(u',')), params);
    if (!s)
        return s.context(QStringLiteral("未能写入表 %1").arg(table));
    if (db.changes() == 0)
        return Status::fail(QStringLiteral("表 %1 中的这条记录已被删除").arg(table));
    return Status::ok();
}

Checked<qint64> insert(Database &db, const QString &table, const QStringList &values)
{
    const QStringList all = names(db, table);
    QStringList cols, marks;
    QVariantList params;
    for (int c = 0; c < all.size(); ++c) {
        cols.append(Database::quoteId(all.at(c)));
        marks.append(QStringLiteral("?"));
        params.append(values.value(c));
    }
    const Status s = db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(Database::quoteId(table), cols.join(u','), marks.join(u',')),
                             params);
    if (!s)
        return Checked<qint64>::refuse(s.context(QStringLiteral("未能添加到表 %1").arg(table)));
    return db.lastInsertRowId();
}

Status remove(Database &db, const QString &table, qint64 rowId)
{
    return db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(Database::quoteId(table)), {rowId})
        .context(QStringLiteral("未能从表 %1 删除").arg(table));
}

} // namespace corvane::TableAccess
