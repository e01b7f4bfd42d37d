#pragma once
#include "Status.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;
struct TableRows;

// The columns of a call account (table Account), in stored order.
enum class AccountField {
    Number, // 账号编号: three digits, "001" to "511"
    Name,
    Class, // 1 to 6
    TrunkGroup,
    Password, // digits
    PayType,  // "普通" or "押金"
};
constexpr int AccountFieldCount = int(AccountField::PayType) + 1;

// One account row as stored, with its row id.
struct AccountRow {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(AccountFieldCount));

    QString get(AccountField f) const { return values.value(int(f)); }
    void set(AccountField f, const QString &v) { values[int(f)] = v; }

    QString number() const { return get(AccountField::Number).trimmed(); }
    QString name() const { return get(AccountField::Name); }
    QString cls() const { return get(AccountField::Class).trimmed(); }
    QString trunkGroup() const { return get(AccountField::TrunkGroup).trimmed(); }
    bool prepaid() const;
};

// The one place that reads and writes the Account table. Account numbers are
// written with three digits everywhere ("012"), so that deposits, queries
// and settlement find an account below 100 too.
class AccountTable {
public:
    static const QString Name; // "Account"

    explicit AccountTable(Database &db) : m_db(db) {}

    // The stored form of an account number: 12 -> "012".
    static QString numberText(int account);
    // The caller text of an account's call records: "账号012".
    static QString callerText(const QString &number);

    Checked<QList<AccountRow>> all() const;
    Checked<TableRows> rows() const;
    Checked<std::optional<AccountRow>> byNumber(const QString &number) const;
    Checked<std::optional<AccountRow>> byRowId(qint64 rowId) const;

    Checked<qint64> add(const AccountRow &row);
    Status write(qint64 rowId, const QList<QPair<AccountField, QString>> &fields);
    Status remove(qint64 rowId);

    static QString columnName(AccountField f);
    static QStringList columnNames();

private:
    Checked<std::optional<AccountRow>> first(const QString &where, const QVariantList &params) const;

    Database &m_db;
};

} // namespace corvane
