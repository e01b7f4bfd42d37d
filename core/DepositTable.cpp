#include "DepositTable.h"

#include "AccountTable.h"
#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableAccess.h"
#include "UserTable.h"

namespace corvane {

namespace {

const QString kZero = QStringLiteral("0.00");

QString col(Database &db, DepositField f) { return TableAccess::column(db, DepositTable::Name, int(f)); }

DepositRow toRow(TableAccess::StoredRow &&s)
{
    DepositRow r;
    r.rowId = s.rowId;
    r.values = std::move(s.values);
    while (r.values.size() < DepositFieldCount)
        r.values.append(QString());
    return r;
}

QList<QPair<int, QString>> positions(const QList<QPair<DepositField, QString>> &fields)
{
    QList<QPair<int, QString>> cols;
    for (const auto &[f, v] : fields)
        cols.append({int(f), v});
    return cols;
}

QString extensionWhere(Database &db)
{
    return col(db, DepositField::Key) + QStringLiteral("=? AND ") + col(db, DepositField::Number)
           + QStringLiteral("<>?");
}

QString accountWhere(Database &db)
{
    return col(db, DepositField::Key) + QStringLiteral("=? AND ") + col(db, DepositField::Number)
           + QStringLiteral("=?");
}

} // namespace

const QString DepositTable::Name = QStringLiteral("Foregift");
const QString DepositTable::AccountWord = QStringLiteral("账号");

bool DepositRow::isAccount() const { return number() == DepositTable::AccountWord; }

QString DepositTable::columnName(DepositField f) { return findTable(Name)->columns.at(int(f)); }
QStringList DepositTable::columnNames() { return findTable(Name)->columns; }

Checked<QList<DepositRow>> DepositTable::all() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<QList<DepositRow>>();
    QList<DepositRow> out;
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<TableRows> DepositTable::rows() const
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

Checked<std::optional<DepositRow>> DepositTable::first(const QString &where, const QVariantList &params) const
{
    auto rows = TableAccess::read(m_db, Name, where, params, QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<DepositRow>>();
    if (rows->isEmpty())
        return std::optional<DepositRow>();
    return std::optional<DepositRow>(toRow(std::move(rows->first())));
}

Checked<std::optional<DepositRow>> DepositTable::byRowId(qint64 rowId) const
{
    return first(QStringLiteral("rowid=?"), {rowId});
}

Checked<std::optional<DepositRow>> DepositTable::ofExtension(const QString &port) const
{
    return first(extensionWhere(m_db), {port.trimmed(), AccountWord});
}

Checked<std::optional<DepositRow>> DepositTable::ofAccount(const QString &account) const
{
    return first(accountWhere(m_db), {account.trimmed(), AccountWord});
}

Checked<DepositTable::Charged> DepositTable::charge(const DepositRow &row, Money fee, const QString &demoteClass)
{
    Charged c;
    // Rounded as it is stored, so that "ran out" is judged on what the table holds.
    c.balance = Money::fromText((row.balance() - fee).toText());
    c.overrun = c.balance.isNegative();
    QList<QPair<DepositField, QString>> fields{{DepositField::Balance, c.balance.toText()}};
    if (c.overrun)
        fields.append({DepositField::Class, demoteClass});
    if (Status s = write(row.rowId, fields); !s)
        return Checked<Charged>::refuse(s);
    return c;
}

Status DepositTable::settle(const DepositRow &row, const QString &cls)
{
    return write(row.rowId,
                 {{DepositField::Balance, kZero}, {DepositField::Deposit, kZero}, {DepositField::Class, cls}});
}

Status DepositTable::write(qint64 rowId, const QList<QPair<DepositField, QString>> &fields)
{
    return TableAccess::update(m_db, Name, rowId, positions(fields));
}

Status DepositTable::followUser(const QString &port, const QList<QPair<DepositField, QString>> &fields)
{
    const auto row = ofExtension(port);
    if (!row)
        return row.status();
    if (!*row)
        return Status::ok();
    return write((*row)->rowId, fields);
}

Status DepositTable::followAccount(const QString &account, const QList<QPair<DepositField, QString>> &fields)
{
    const auto row = ofAccount(account);
    if (!row)
        return row.status();
    if (!*row)
        return Status::ok();
    return write((*row)->rowId, fields);
}

Status DepositTable::addForUser(const UserRow &user)
{
    const auto existing = ofExtension(user.port());
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::ok();
    DepositRow r;
    r.set(DepositField::Key, user.port());
    r.set(DepositField::Number, user.number());
    r.set(DepositField::Name, user.name());
    r.set(DepositField::Class, user.cls());
    r.set(DepositField::Balance, kZero);
    r.set(DepositField::Deposit, kZero);
    r.set(DepositField::PasswordOn, QStringLiteral("×"));
    return TableAccess::insert(m_db, Name, r.values).status();
}

Status DepositTable::addForAccount(const AccountRow &account)
{
    const auto existing = ofAccount(account.number());
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::ok();
    DepositRow r;
    r.set(DepositField::Key, account.number());
    r.set(DepositField::Number, AccountWord);
    r.set(DepositField::Name, account.get(AccountField::Name));
    r.set(DepositField::Class, account.get(AccountField::Class));
    r.set(DepositField::Balance, kZero);
    r.set(DepositField::Deposit, kZero);
    r.set(DepositField::Password, account.get(AccountField::Password));
    r.set(DepositField::PasswordOn, QStringLiteral("√"));
    return TableAccess::insert(m_db, Name, r.values).status();
}

Status DepositTable::remove(qint64 rowId) { return TableAccess::remove(m_db, Name, rowId); }

Status DepositTable::removeOfExtension(const QString &port)
{
    return m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoteId(Name), extensionWhere(m_db)),
                     {port.trimmed(), AccountWord});
}

Status DepositTable::removeOfAccount(const QString &account)
{
    return m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoteId(Name), accountWhere(m_db)),
                     {account.trimmed(), AccountWord});
}

Checked<DepositTable::Kept> DepositTable::keepBalancesFrom(const QString &schema)
{
    const QString t = Database::quoteId(Name);
    const QString key = col(m_db, DepositField::Key);
    const QString number = col(m_db, DepositField::Number);
    const QString balance = col(m_db, DepositField::Balance);
    const QString paid = col(m_db, DepositField::Deposit);
    QStringList all;
    for (const QString &c : columnNames())
        all.append(Database::quoteId(c));
    const QString match = QStringLiteral("c.%1 IS main.%3.%1 AND c.%2 IS main.%3.%2").arg(key, number, t);
    auto pick = [&](const QString &column) {
        return QStringLiteral("(SELECT c.%1 FROM %2.%3 AS c WHERE %4 ORDER BY c.rowid LIMIT 1)")
            .arg(column, schema, t, match);
    };
    Kept k;
    if (Status s = m_db.exec(QStringLiteral("UPDATE main.%1 SET %2=%3, %4=%5 WHERE EXISTS (SELECT 1 FROM %6.%1 AS c "
                                            "WHERE %7)")
                                 .arg(t, balance, pick(balance), paid, pick(paid), schema, match));
        !s)
        return Checked<Kept>::refuse(s);
    k.kept = m_db.changes();
    if (Status s = m_db.exec(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%1 AS c WHERE NOT EXISTS "
                                            "(SELECT 1 FROM main.%1 AS m WHERE m.%4 IS c.%4 AND m.%5 IS c.%5) ORDER "
                                            "BY c.rowid")
                                 .arg(t, all.join(QStringLiteral(", ")), schema, key, number));
        !s)
        return Checked<Kept>::refuse(s);
    k.added = m_db.changes();
    return k;
}

} // namespace corvane
