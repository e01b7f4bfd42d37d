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
    if (Status s = write(row.rowId,
                         {{DepositField::Balance, kZero}, {DepositField::Deposit, kZero}, {DepositField::Class, cls}});
        !s)
        return s;
    return forgetDemotion(row);
}

Checked<DepositRow> DepositTable::payDeposit(const DepositRow &row, Money deposit)
{
    DepositRow now = row;
    const Money balance = row.balance() + (deposit - row.deposit());
    now.set(DepositField::Balance, balance.toText());
    now.set(DepositField::Deposit, deposit.toText());
    if (Status s = write(row.rowId, {{DepositField::Balance, now.get(DepositField::Balance)},
                                     {DepositField::Deposit, now.get(DepositField::Deposit)}});
        !s)
        return Checked<DepositRow>::refuse(s);
    return now;
}

namespace {

QString demotionKind(const DepositRow &row)
{
    return row.isAccount() ? DepositTable::AccountWord : QStringLiteral("分机");
}

Status ensureDemotionTable(Database &db)
{
    return db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"类别\" TEXT, \"键\" TEXT, \"原等级\" TEXT)")
                       .arg(Database::quoteId(DepositTable::DemotionTable)));
}

} // namespace

const QString DepositTable::DemotionTable = QStringLiteral("DemotedClass");

Status DepositTable::rememberDemotion(const DepositRow &row, const QString &classBefore)
{
    if (Status s = ensureDemotionTable(m_db); !s)
        return s;
    // The class before the first demotion is the one to give back: a second
    // overrun while demoted keeps it.
    const auto known = demotedFrom(row);
    if (!known)
        return known.status();
    if (*known)
        return Status::ok();
    return m_db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?)").arg(Database::quoteId(DemotionTable)),
                     {demotionKind(row), row.key(), classBefore.trimmed()});
}

Checked<std::optional<QString>> DepositTable::demotedFrom(const DepositRow &row) const
{
    if (!m_db.tableExists(DemotionTable))
        return std::optional<QString>();
    const auto rows =
        m_db.select(QStringLiteral("SELECT \"原等级\" FROM %1 WHERE \"类别\"=? AND \"键\"=? ORDER BY rowid LIMIT 1")
                        .arg(Database::quoteId(DemotionTable)),
                    {demotionKind(row), row.key()});
    if (!rows)
        return rows.refusedAs<std::optional<QString>>();
    if (rows->isEmpty())
        return std::optional<QString>();
    return std::optional<QString>(rows->first().value(0));
}

Status DepositTable::forgetDemotion(const DepositRow &row)
{
    if (!m_db.tableExists(DemotionTable))
        return Status::ok();
    return m_db.exec(
        QStringLiteral("DELETE FROM %1 WHERE \"类别\"=? AND \"键\"=?").arg(Database::quoteId(DemotionTable)),
        {demotionKind(row), row.key()});
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
    // An extension's deposit is the one of its port, an account's the one of
    // its number: the number column of an extension's row may have changed
    // since the backup (a renumbered extension), its port has not.
    const QString sameKind = QStringLiteral("(c.%1 = ?) = (%2.%1 = ?)").arg(number, QStringLiteral("%1"));
    auto same = [&](const QString &other) {
        return QStringLiteral("c.%1 IS %2.%1 AND ").arg(key, other) + QString(sameKind).arg(other);
    };
    auto pick = [&](const QString &column) {
        return QStringLiteral("(SELECT c.%1 FROM %2.%3 AS c WHERE %4 ORDER BY c.rowid LIMIT 1)")
            .arg(column, schema, t, same(QStringLiteral("main.") + t));
    };
    const QVariantList word{AccountWord, AccountWord};
    Kept k;
    if (Status s =
            m_db.exec(QStringLiteral("UPDATE main.%1 SET %2=%3, %4=%5 WHERE EXISTS (SELECT 1 FROM %6.%1 AS c "
                                     "WHERE %7)")
                          .arg(t, balance, pick(balance), paid, pick(paid), schema, same(QStringLiteral("main.") + t)),
                      word + word + word);
        !s)
        return Checked<Kept>::refuse(s);
    k.kept = m_db.changes();
    // A deposit taken after the backup comes as a whole row.
    if (Status s = m_db.exec(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%1 AS c WHERE NOT EXISTS "
                                            "(SELECT 1 FROM main.%1 AS m WHERE %4) ORDER BY c.rowid")
                                 .arg(t, all.join(QStringLiteral(", ")), schema, same(QStringLiteral("m"))),
                             word);
        !s)
        return Checked<Kept>::refuse(s);
    k.added = m_db.changes();
    // One deposit per port and per account: the first row of each stays.
    if (Status s = m_db.exec(QStringLiteral("DELETE FROM main.%1 WHERE rowid > (SELECT min(m.rowid) FROM main.%1 AS m "
                                            "WHERE m.%2 IS main.%1.%2 AND (m.%3 = ?) = (main.%1.%3 = ?))")
                                 .arg(t, key, number),
                             word);
        !s)
        return Checked<Kept>::refuse(s);
    // Each extension's deposit carries its user's number, as the user table
    // the restore brought has it.
    if (Status s =
            m_db.exec(QStringLiteral("UPDATE main.%1 SET %2=(SELECT u.%3 FROM main.%4 AS u WHERE u.%5=main.%1.%6 "
                                     "ORDER BY u.rowid LIMIT 1) WHERE %2<>? AND EXISTS (SELECT 1 FROM main.%4 "
                                     "AS u WHERE u.%5=main.%1.%6)")
                          .arg(t, number, TableAccess::column(m_db, UserTable::Name, int(UserField::Number)),
                               Database::quoteId(UserTable::Name),
                               TableAccess::column(m_db, UserTable::Name, int(UserField::Port)), key),
                      {AccountWord});
        !s)
        return Checked<Kept>::refuse(s);
    return k;
}

} // namespace corvane
