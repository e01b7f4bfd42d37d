#include "AccountTable.h"

#include "Database.h"
#include "DepositTable.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableAccess.h"
#include "UserTable.h"

namespace corvane {

namespace {

AccountRow toRow(TableAccess::StoredRow &&s)
{
    AccountRow r;
    r.rowId = s.rowId;
    r.values = std::move(s.values);
    while (r.values.size() < AccountFieldCount)
        r.values.append(QString());
    return r;
}

} // namespace

const QString AccountTable::Name = QStringLiteral("Account");

bool AccountRow::prepaid() const { return get(AccountField::PayType).trimmed() == UserTable::Prepaid; }

QString AccountTable::numberText(int account) { return QStringLiteral("%1").arg(account, 3, 10, QLatin1Char('0')); }
QString AccountTable::callerText(const QString &number) { return DepositTable::AccountWord + number.trimmed(); }

QString AccountTable::columnName(AccountField f) { return findTable(Name)->columns.at(int(f)); }
QStringList AccountTable::columnNames() { return findTable(Name)->columns; }

Checked<QList<AccountRow>> AccountTable::all() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<QList<AccountRow>>();
    QList<AccountRow> out;
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<TableRows> AccountTable::rows() const
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

Checked<std::optional<AccountRow>> AccountTable::first(const QString &where, const QVariantList &params) const
{
    auto rows = TableAccess::read(m_db, Name, where, params, QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<AccountRow>>();
    if (rows->isEmpty())
        return std::optional<AccountRow>();
    return std::optional<AccountRow>(toRow(std::move(rows->first())));
}

Checked<std::optional<AccountRow>> AccountTable::byNumber(const QString &number) const
{
    return first(TableAccess::column(m_db, Name, int(AccountField::Number)) + QStringLiteral("=?"), {number.trimmed()});
}

Checked<std::optional<AccountRow>> AccountTable::byRowId(qint64 rowId) const
{
    return first(QStringLiteral("rowid=?"), {rowId});
}

Checked<qint64> AccountTable::add(const AccountRow &row) { return TableAccess::insert(m_db, Name, row.values); }

Status AccountTable::write(qint64 rowId, const QList<QPair<AccountField, QString>> &fields)
{
    QList<QPair<int, QString>> cols;
    QList<QPair<DepositField, QString>> follow;
    for (const auto &[f, v] : fields) {
        cols.append({int(f), v});
        switch (f) {
        case AccountField::Name: follow.append({DepositField::Name, v}); break;
        case AccountField::Class: follow.append({DepositField::Class, v.trimmed()}); break;
        case AccountField::Password: follow.append({DepositField::Password, v}); break;
        default: break;
        }
    }
    if (follow.isEmpty())
        return TableAccess::update(m_db, Name, rowId, cols);
    // The account's deposit row carries its name, class and password.
    const auto account = byRowId(rowId);
    if (!account)
        return account.status();
    if (!*account)
        return Status::fail(QStringLiteral("账号资料已被更改"));
    return InTransaction(m_db, [&]() -> Status {
        if (Status s = TableAccess::update(m_db, Name, rowId, cols); !s)
            return s;
        return DepositTable(m_db).followAccount((*account)->number(), follow);
    });
}

Status AccountTable::remove(qint64 rowId)
{
    const auto account = byRowId(rowId);
    if (!account)
        return account.status();
    if (!*account)
        return Status::fail(QStringLiteral("账号资料已被更改"));
    // A deleted account keeps no deposit: what it held is handed back.
    return InTransaction(m_db, [&]() -> Status {
        if (Status s = DepositTable(m_db).removeOfAccount((*account)->number()); !s)
            return s;
        return TableAccess::remove(m_db, Name, rowId);
    });
}

} // namespace corvane
