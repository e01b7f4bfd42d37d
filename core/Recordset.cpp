#include "Recordset.h"
#include "Database.h"

namespace corvane {

Recordset::Recordset(Database &db, const QString &table, const Criteria &filter, const QString &orderBy)
    : m_db(&db), m_table(table), m_filter(filter), m_orderBy(orderBy)
{
    load();
}

Recordset Recordset::query(Database &db, const QString &sql, const QVariantList &params)
{
    Recordset rs;
    rs.m_db = &db;
    rs.m_sql = sql;
    rs.m_params = params;
    rs.load();
    return rs;
}

Recordset Recordset::forAppend(Database &db, const QString &table)
{
    Recordset rs;
    rs.m_db = &db;
    rs.m_table = table;
    rs.m_columns = db.columnNames(table);
    rs.m_valid = !rs.m_columns.isEmpty();
    if (!rs.m_valid)
        rs.m_status = Status::fail(QStringLiteral("无法读取表 %1").arg(table));
    rs.m_pos = 0;
    return rs;
}

void Recordset::load()
{
    m_rows.clear();
    m_rowIds.clear();
    m_valid = false;
    if (!m_db || !m_db->isOpen()) {
        m_status = Status::fail(QStringLiteral("数据库未打开"));
        return;
    }
    if (!m_table.isEmpty()) {
        m_columns = m_db->columnNames(m_table);
        if (m_columns.isEmpty()) {
            m_status = Status::fail(QStringLiteral("无法读取表 %1").arg(m_table));
            return;
        }
        QStringList cols;
        for (const QString &c : m_columns)
            cols.append(Database::quoteId(c));
        QVariantList params;
        QString sql =
            QStringLiteral("SELECT rowid, %1 FROM %2").arg(cols.join(QLatin1Char(',')), Database::quoteId(m_table));
        if (!m_filter.isEmpty())
            sql += QStringLiteral(" WHERE ") + m_filter.toSql(params);
        sql += QStringLiteral(" ORDER BY ") + (m_orderBy.isEmpty() ? QStringLiteral("rowid") : m_orderBy);
        auto rows = m_db->select(sql, params);
        if (!rows) {
            m_status = rows.status();
            return;
        }
        m_rows.reserve(rows->size());
        m_rowIds.reserve(rows->size());
        for (QStringList &r : *rows) {
            m_rowIds.append(r.takeFirst().toLongLong());
            m_rows.append(std::move(r));
        }
    } else {
        auto rows = m_db->select(m_sql, m_params, &m_columns);
        if (!rows) {
            m_status = rows.status();
            return;
        }
        m_rows = std::move(*rows);
    }
    m_valid = true;
    m_status = Status::ok();
    m_pos = 0;
    m_noCurrent = false;
    m_noMatch = false;
}

void Recordset::requery()
{
    const int pos = m_pos;
    load();
    m_pos = qBound(0, pos, int(m_rows.size()));
}

bool Recordset::hasCurrent() const { return m_valid && !m_noCurrent && m_pos >= 0 && m_pos < m_rows.size(); }

void Recordset::moveFirst()
{
    m_pos = 0;
    m_noCurrent = false;
}
void Recordset::moveLast()
{
    m_pos = m_rows.isEmpty() ? 0 : int(m_rows.size()) - 1;
    m_noCurrent = false;
}

void Recordset::moveNext()
{
    // After a delete the position already names the following row.
    if (m_noCurrent && m_pos >= 0 && m_pos <= m_rows.size() && !m_noMatch) {
        m_noCurrent = false;
        return;
    }
    m_noCurrent = false;
    if (m_pos < m_rows.size())
        ++m_pos;
}

void Recordset::movePrevious()
{
    m_noCurrent = false;
    if (m_pos >= 0)
        --m_pos;
}

void Recordset::moveTo(int index)
{
    m_noCurrent = false;
    m_pos = qBound(-1, index, int(m_rows.size()));
}

bool Recordset::findFirst(const Criteria &c)
{
    m_pos = -1;
    m_noCurrent = false;
    return findNext(c);
}

bool Recordset::findNext(const Criteria &c)
{
    for (int i = qMax(0, m_pos + 1); i < m_rows.size(); ++i) {
        if (c.matches(m_columns, m_rows.at(i))) {
            m_pos = i;
            m_noMatch = false;
            m_noCurrent = false;
            return true;
        }
    }
    m_noMatch = true;
    m_noCurrent = true;
    m_pos = int(m_rows.size());
    return false;
}

std::optional<QString> Recordset::field(int column) const
{
    if (!hasCurrent() || column < 0 || column >= m_rows.at(m_pos).size())
        return std::nullopt;
    return m_rows.at(m_pos).at(column);
}

bool Recordset::read(int column, QString &into) const
{
    auto v = field(column);
    if (!v)
        return false;
    into = *v;
    return true;
}

QStringList Recordset::currentRow() const { return hasCurrent() ? m_rows.at(m_pos) : QStringList(); }
qint64 Recordset::currentRowId() const { return (hasCurrent() && m_pos < m_rowIds.size()) ? m_rowIds.at(m_pos) : -1; }

bool Recordset::moveToId(qint64 rowId)
{
    const int index = rowId < 0 ? -1 : int(m_rowIds.indexOf(rowId));
    if (index < 0) {
        m_pos = int(m_rows.size());
        m_noCurrent = true;
        return false;
    }
    moveTo(index);
    return true;
}

TableRows Recordset::snapshot() const
{
    TableRows t;
    t.columns = m_columns;
    t.rows = m_rows;
    t.rowIds = m_rowIds;
    return t;
}

Status Recordset::edit()
{
    if (!isUpdatable())
        return Status::fail(QStringLiteral("只读的记录集不能修改"));
    if (!hasCurrent())
        return Status::fail(QStringLiteral("没有当前记录"));
    m_editMode = EditMode::Edit;
    m_buffer = m_rows.at(m_pos);
    m_set = QList<bool>(m_columns.size(), false);
    return Status::ok();
}

Status Recordset::addNew()
{
    if (!isUpdatable())
        return Status::fail(QStringLiteral("只读的记录集不能添加记录"));
    if (!m_valid)
        return m_status.context(QStringLiteral("无法读取表 %1").arg(m_table));
    m_editMode = EditMode::AddNew;
    m_buffer = QStringList(QList<QString>(m_columns.size(), QString()));
    m_set = QList<bool>(m_columns.size(), true);
    return Status::ok();
}

Status Recordset::setField(int column, const QString &value)
{
    if (m_editMode == EditMode::None)
        return Status::fail(QStringLiteral("没有进行中的修改"));
    if (column < 0 || column >= m_buffer.size())
        return Status::fail(QStringLiteral("表 %1 没有第 %2 列").arg(m_table).arg(column));
    m_buffer[column] = value;
    m_set[column] = true;
    return Status::ok();
}

void Recordset::cancelUpdate()
{
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_set.clear();
}

Status Recordset::update()
{
    if (m_editMode == EditMode::None)
        return Status::fail(QStringLiteral("没有进行中的修改"));
    const EditMode mode = m_editMode;
    const QStringList buffer = m_buffer;
    const QList<bool> set = m_set;
    cancelUpdate();

    QStringList cols;
    QVariantList params;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (!set.at(i))
            continue;
        cols.append(Database::quoteId(m_columns.at(i)));
        params.append(buffer.at(i));
    }
    if (mode == EditMode::AddNew) {
        QStringList marks(QList<QString>(cols.size(), QStringLiteral("?")));
        if (Status s = m_db->exec(
                QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(Database::quoteId(m_table), cols.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                params);
            !s)
            return s.context(QStringLiteral("未能添加到表 %1").arg(m_table));
        // New rows appear at the end; the current row stays where it was.
        m_rows.append(buffer);
        m_rowIds.append(m_db->lastInsertRowId());
        return Status::ok();
    }
    if (m_pos < 0 || m_pos >= m_rows.size())
        return Status::fail(QStringLiteral("没有当前记录"));
    if (cols.isEmpty())
        return Status::ok(); // nothing was set: nothing to write
    QStringList sets;
    for (const QString &c : cols)
        sets.append(c + QStringLiteral("=?"));
    params.append(m_rowIds.at(m_pos));
    if (Status s = m_db->exec(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                                  .arg(Database::quoteId(m_table), sets.join(QLatin1Char(','))),
                              params);
        !s)
        return s.context(QStringLiteral("未能写入表 %1").arg(m_table));
    if (m_db->changes() == 0)
        return Status::fail(QStringLiteral("表 %1 中的这条记录已被删除").arg(m_table));
    // The cached row shows what was written; the other columns keep the
    // values read, which another writer may since have changed.
    QStringList &row = m_rows[m_pos];
    for (int i = 0; i < set.size() && i < row.size(); ++i)
        if (set.at(i))
            row[i] = buffer.at(i);
    return Status::ok();
}

Status Recordset::deleteCurrent()
{
    if (!isUpdatable())
        return Status::fail(QStringLiteral("只读的记录集不能删除记录"));
    if (!hasCurrent())
        return Status::fail(QStringLiteral("没有当前记录"));
    if (Status s = m_db->exec(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(Database::quoteId(m_table)),
                              {m_rowIds.at(m_pos)});
        !s)
        return s.context(QStringLiteral("未能从表 %1 删除").arg(m_table));
    m_rows.removeAt(m_pos);
    m_rowIds.removeAt(m_pos);
    // No current row until the next move; moveNext lands on the row that followed.
    m_noCurrent = true;
    m_noMatch = false;
    return Status::ok();
}

} // namespace corvane
