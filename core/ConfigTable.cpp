#include "ConfigTable.h"

#include "Database.h"
#include "General.h"
#include "Schema.h"
#include "TableAccess.h"

namespace corvane {

namespace {

const TableDef &table() { return *findTable(ConfigTable::Name); }

QString q(const QString &name) { return Database::quoteId(name); }

} // namespace

const QString ConfigTable::Name = QStringLiteral("SWTConfig");

int ConfigRow::capacity() const { return int(qBound(qint64(0), ValInt(get(ConfigField::Capacity)), qint64(120))); }

int ConfigRow::passwordLength() const
{
    const qint64 n = ValInt(get(ConfigField::PasswordLength));
    return n >= 1 && n <= 8 ? int(n) : 6;
}

int ConfigRow::numberLength() const
{
    const qint64 n = ValInt(get(ConfigField::NumberLength));
    return n >= 3 && n <= 6 ? int(n) : 3;
}

QStringList ConfigRow::agentPorts() const
{
    QStringList ports;
    for (int k = 0; k < AgentCount; ++k)
        ports.append(get(AgentField(k)));
    return ports;
}

QString ConfigTable::columnName(ConfigField f) { return table().columns.at(int(f)); }
QStringList ConfigTable::columnNames() { return table().columns; }

Checked<ConfigRow> ConfigTable::read() const
{
    const auto rows = TableAccess::read(m_db, Name, QString(), {}, QStringLiteral("rowid"), 1);
    if (!rows)
        return Checked<ConfigRow>::refuse(rows.status().context(QStringLiteral("系统设置无法读取")));
    if (rows->isEmpty())
        return Checked<ConfigRow>::refuse(QStringLiteral("数据库中没有系统设置（%1）").arg(Name));
    ConfigRow row;
    for (int i = 0; i < ConfigFieldCount; ++i)
        row.values[i] = rows->first().values.value(i);
    return row;
}

QString ConfigTable::value(ConfigField f) const
{
    const auto row = read();
    return row ? row->get(f) : QString();
}

Status ConfigTable::write(const QList<QPair<ConfigField, QString>> &fields)
{
    if (fields.isEmpty())
        return Status::ok();
    QStringList sets;
    QVariantList params;
    for (const auto &[f, v] : fields) {
        sets.append(TableAccess::column(m_db, Name, int(f)) + QStringLiteral("=?"));
        params.append(v);
    }
    const Status s =
        m_db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=(SELECT rowid FROM %1 ORDER BY rowid LIMIT 1)")
                      .arg(q(Name), sets.join(u',')),
                  params);
    if (!s)
        return s.context(QStringLiteral("未能写入表 %1").arg(Name));
    if (m_db.changes() == 0)
        return Status::fail(QStringLiteral("数据库中没有系统设置（%1）").arg(Name));
    return Status::ok();
}

} // namespace corvane
