#include "UserTable.h"

#include "ConfigTable.h"
#include "Database.h"
#include "DepositTable.h"
#include "General.h"
#include "NumberHistory.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableAccess.h"

namespace corvane {

namespace {

UserRow toRow(TableAccess::StoredRow &&s)
{
    UserRow r;
    r.rowId = s.rowId;
    r.values = std::move(s.values);
    while (r.values.size() < UserFieldCount)
        r.values.append(QString());
    return r;
}

QString col(Database &db, UserField f) { return TableAccess::column(db, UserTable::Name, int(f)); }

} // namespace

const QString UserTable::Name = QStringLiteral("User");
const QString UserTable::Ordinary = QStringLiteral("普通");
const QString UserTable::Prepaid = QStringLiteral("押金");

bool UserRow::prepaid() const { return get(UserField::PayType).trimmed() == UserTable::Prepaid; }

QString UserTable::columnName(UserField f) { return findTable(Name)->columns.at(int(f)); }
QStringList UserTable::columnNames() { return findTable(Name)->columns; }

Checked<QList<UserRow>> UserTable::all() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<QList<UserRow>>();
    QList<UserRow> out;
    out.reserve(rows->size());
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<QList<UserRow>> UserTable::inPortOrder() const
{
    auto rows = TableAccess::read(m_db, Name, QString(), {},
                                  QStringLiteral("CAST(%1 AS INTEGER), rowid").arg(col(m_db, UserField::Port)));
    if (!rows)
        return rows.refusedAs<QList<UserRow>>();
    QList<UserRow> out;
    out.reserve(rows->size());
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<std::optional<UserRow>> UserTable::byPort(const QString &port) const
{
    auto rows = TableAccess::read(m_db, Name, col(m_db, UserField::Port) + QStringLiteral("=?"), {port.trimmed()},
                                  QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<UserRow>>();
    if (rows->isEmpty())
        return std::optional<UserRow>();
    return std::optional<UserRow>(toRow(std::move(rows->first())));
}

Checked<std::optional<UserRow>> UserTable::byNumber(const QString &number) const
{
    auto rows = TableAccess::read(m_db, Name, col(m_db, UserField::Number) + QStringLiteral("=?"), {number.trimmed()},
                                  QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<UserRow>>();
    if (rows->isEmpty())
        return std::optional<UserRow>();
    return std::optional<UserRow>(toRow(std::move(rows->first())));
}

Checked<std::optional<UserRow>> UserTable::byRowId(qint64 rowId) const
{
    auto rows = TableAccess::read(m_db, Name, QStringLiteral("rowid=?"), {rowId});
    if (!rows)
        return rows.refusedAs<std::optional<UserRow>>();
    if (rows->isEmpty())
        return std::optional<UserRow>();
    return std::optional<UserRow>(toRow(std::move(rows->first())));
}

Checked<QList<UserRow>> UserTable::ofGroup(const QString &group) const
{
    auto rows = TableAccess::read(m_db, Name, col(m_db, UserField::Group) + QStringLiteral("=?"), {group});
    if (!rows)
        return rows.refusedAs<QList<UserRow>>();
    QList<UserRow> out;
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<TableRows> UserTable::rows(int limit) const
{
    auto rows = TableAccess::read(m_db, Name, QString(), {}, QStringLiteral("rowid"), limit);
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

Status UserTable::write(qint64 rowId, const QList<QPair<UserField, QString>> &fields)
{
    QList<QPair<int, QString>> cols;
    QList<QPair<DepositField, QString>> follow;
    std::optional<QString> number;
    for (const auto &[f, v] : fields) {
        cols.append({int(f), v});
        switch (f) {
        case UserField::Number:
            follow.append({DepositField::Number, v});
            number = v;
            break;
        case UserField::Name: follow.append({DepositField::Name, v}); break;
        case UserField::Class: follow.append({DepositField::Class, v.trimmed()}); break;
        default: break;
        }
    }
    if (follow.isEmpty())
        return TableAccess::update(m_db, Name, rowId, cols);
    // The extension's deposit row carries its number, name and class, and
    // the number history its numbers: they change with the user, whoever
    // changes it.
    const auto user = byRowId(rowId);
    if (!user)
        return user.status();
    if (!*user)
        return Status::fail(QStringLiteral("用户资料已被更改"));
    return InTransaction(m_db, [&]() -> Status {
        if (Status s = TableAccess::update(m_db, Name, rowId, cols); !s)
            return s;
        if (Status s = DepositTable(m_db).followUser((*user)->port(), follow); !s)
            return s;
        if (number && number->trimmed() != (*user)->number())
            return NumberHistory(m_db).renumbered((*user)->port(), *number, m_db.stamp().at);
        return Status::ok();
    });
}

Status UserTable::renumber(qint64 rowId, const QString &number) { return write(rowId, {{UserField::Number, number}}); }

QString UserTable::numberOf(const QString &port) const
{
    if (port.isEmpty())
        return QString();
    const auto number =
        m_db.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3=? ORDER BY rowid LIMIT 1")
                        .arg(col(m_db, UserField::Number), Database::quoteId(Name), col(m_db, UserField::Port)),
                    {port.trimmed()});
    return number ? *number : port;
}

QString UserTable::portOf(const QString &number) const
{
    if (number.isEmpty())
        return QString();
    const auto port =
        m_db.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3=? ORDER BY rowid LIMIT 1")
                        .arg(col(m_db, UserField::Port), Database::quoteId(Name), col(m_db, UserField::Number)),
                    {number.trimmed()});
    if (!port)
        return number;
    // Only ports inside the configured capacity are real extensions. Both are
    // read as every stored number is: the leading number ("120门" is 120).
    // A port that holds no number at all is no extension.
    const qint64 capacity = ValInt(ConfigTable(m_db).value(ConfigField::Capacity));
    const bool hasNumber = IsNumeric(port->trimmed().left(1));
    return hasNumber && ValInt(*port) < capacity ? *port : number;
}

} // namespace corvane
