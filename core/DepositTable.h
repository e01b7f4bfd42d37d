#pragma once
#include "Money.h"
#include "Status.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;
struct TableRows;
struct UserRow;
struct AccountRow;

// The columns of a prepaid deposit (table Foregift), in stored order.
enum class DepositField {
    Key,    // 物理端口: the extension's physical port, or the account number
    Number, // 用户号码: the extension's number, or the word "账号" for an account
    Name,
    Class,
    Balance,    // money left
    Deposit,    // deposit paid
    Password,   // dialling password, or empty
    PasswordOn, // "√" while the password is in force
};
constexpr int DepositFieldCount = int(DepositField::PasswordOn) + 1;

// One deposit row as stored, with its row id.
struct DepositRow {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(DepositFieldCount));

    QString get(DepositField f) const { return values.value(int(f)); }
    void set(DepositField f, const QString &v) { values[int(f)] = v; }

    QString key() const { return get(DepositField::Key).trimmed(); }
    QString number() const { return get(DepositField::Number).trimmed(); }
    bool isAccount() const;
    Money balance() const { return Money::fromText(get(DepositField::Balance)); }
    Money deposit() const { return Money::fromText(get(DepositField::Deposit)); }
    // Whether it still holds money (a balance or a deposit paid).
    bool holdsMoney() const { return !balance().isZero() || !deposit().isZero(); }
};

// The one place that reads and writes the deposits. An extension's deposit
// row is found by its port, whatever its number is today, and is not an
// account's; an account's by its number and the word "账号". A deposit row
// follows its user: a new number, name or class of the user is written into
// it too.
class DepositTable {
public:
    static const QString Name;        // "Foregift"
    static const QString AccountWord; // "账号"

    explicit DepositTable(Database &db) : m_db(db) {}

    Checked<QList<DepositRow>> all() const;
    Checked<TableRows> rows() const;
    Checked<std::optional<DepositRow>> byRowId(qint64 rowId) const;
    Checked<std::optional<DepositRow>> ofExtension(const QString &port) const;
    // `account` as stored in the Account table ("012").
    Checked<std::optional<DepositRow>> ofAccount(const QString &account) const;

    // A call charged to a deposit: the balance lowered by the fee, and when it
    // runs out (below zero; exactly zero is not) the class set to the
    // demotion class. Tells whether it ran out.
    struct Charged {
        Money balance;
        bool overrun = false;
    };
    Checked<Charged> charge(const DepositRow &row, Money fee, const QString &demoteClass);
    // Settlement: balance and deposit paid back to 0.00, the class after settlement.
    Status settle(const DepositRow &row, const QString &cls);

    // Writes the given columns of one row, and only those.
    Status write(qint64 rowId, const QList<QPair<DepositField, QString>> &fields);
    // The user on `port` changed: the same change goes into its deposit row,
    // when it has one (number, name or class).
    Status followUser(const QString &port, const QList<QPair<DepositField, QString>> &fields);
    // The account changed: likewise (name, class or password).
    Status followAccount(const QString &account, const QList<QPair<DepositField, QString>> &fields);

    // New deposit rows: a user's (port, number, name, class, "0.00", "0.00",
    // no password, "×") and an account's (number, "账号", name, class, "0.00",
    // "0.00", its password, "√"). Nothing is added when one exists already.
    Status addForUser(const UserRow &user);
    Status addForAccount(const AccountRow &account);
    Status remove(qint64 rowId);
    Status removeOfExtension(const QString &port);
    Status removeOfAccount(const QString &account);

    // After a restore: the balances and deposits paid of the attached
    // database `schema` (the one the restore replaced) are kept for every
    // deposit both have, and a deposit only it has is taken whole.
    struct Kept {
        qint64 kept = 0;
        qint64 added = 0;
    };
    Checked<Kept> keepBalancesFrom(const QString &schema);

    static QString columnName(DepositField f);
    static QStringList columnNames();

private:
    Checked<std::optional<DepositRow>> first(const QString &where, const QVariantList &params) const;

    Database &m_db;
};

} // namespace corvane
