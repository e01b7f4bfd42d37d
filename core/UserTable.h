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

// The settings of an extension user (table User), in stored order.
enum class UserField {
    Port,          // 物理端口: the extension's physical port, the key of every live event
    Number,        // 用户号码: the number as dialled, shown instead of the port
    Name,          // at most 32 bytes in the system's code page
    Class,         // extension class "1" to "8"
    CallerDisplay, // the six yes/no settings, "√"/"×"
    ExtraFunction,
    DialLocal,
    DialSpecial,
    CallInternal,
    TrunkIn,
    TrunkGroup,  // "0" to "12"
    TimeLimit,   // outgoing call time limit, 0 to 255
    PayType,     // "普通" or "押金"
    Rent,        // monthly rent
    ShowOnTrunk, // "√": the number is written on the trunk indicator
    Group,       // a group name, or empty
};
constexpr int UserFieldCount = int(UserField::Group) + 1;

// One User row as stored, with its row id.
struct UserRow {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(UserFieldCount));

    QString get(UserField f) const { return values.value(int(f)); }
    void set(UserField f, const QString &v) { values[int(f)] = v; }

    QString port() const { return get(UserField::Port).trimmed(); }
    QString number() const { return get(UserField::Number).trimmed(); }
    QString name() const { return get(UserField::Name); }
    QString cls() const { return get(UserField::Class).trimmed(); }
    QString group() const { return get(UserField::Group); }
    Money rent() const { return Money::fromText(get(UserField::Rent)); }
    bool prepaid() const; // payment type "押金"
};

// The one place that reads and writes the User table. Rows stay in table
// order (the order of the ports on a new installation).
class UserTable {
public:
    static const QString Name;     // "User"
    static const QString Ordinary; // "普通"
    static const QString Prepaid;  // "押金"

    explicit UserTable(Database &db) : m_db(db) {}

    Checked<QList<UserRow>> all() const;
    // Every row in the order of its port as a number (then table order), so
    // that grid row r shows port r - 1.
    Checked<QList<UserRow>> inPortOrder() const;
    // The first row (in table order) whose port, or number, is this text
    // (trimmed); none when there is no such row.
    Checked<std::optional<UserRow>> byPort(const QString &port) const;
    Checked<std::optional<UserRow>> byNumber(const QString &number) const;
    Checked<std::optional<UserRow>> byRowId(qint64 rowId) const;
    // The rows of one group.
    Checked<QList<UserRow>> ofGroup(const QString &group) const;
    // The first `limit` rows (all with -1) as a grid shows them: the column
    // names, the values and the row ids.
    Checked<TableRows> rows(int limit = -1) const;

    // Writes the given fields of one row, and only those.
    Status write(qint64 rowId, const QList<QPair<UserField, QString>> &fields);
    // A new number for the user of this row: the row, and the deposit row of
    // the extension, which carries its number too.
    Status renumber(qint64 rowId, const QString &number);

    // The number of the user on a port; empty for an empty port, the port
    // itself when no user has it.
    QString numberOf(const QString &port) const;
    // The port of a user number, when it is an extension inside the user
    // capacity; the number itself otherwise; empty for an empty number.
    QString portOf(const QString &number) const;

    static QString columnName(UserField f);
    static QStringList columnNames();

private:
    Database &m_db;
};

} // namespace corvane
