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

// The settings of a trunk (table Exchange), in stored order.
enum class TrunkField {
    Trunk, // 中继: the trunk number, 1 to 12
    OnOff, // "√"/"×"
    ChargeMode,
    IncomingMode,
    DialMode,
    OutgoingMode, // "间局" routes through another office
    Route,
    IndirectDirection, // that office's digit
    CallerDisplay,     // "√"/"×"
    Group,
    Virtual1, // the five virtual operators, as physical ports
    Virtual2,
    Virtual3,
    Virtual4,
    Virtual5,
};
constexpr int TrunkFieldCount = int(TrunkField::Virtual5) + 1;
constexpr int VirtualOperators = 5;

// Virtual operator k (0 to 4).
constexpr TrunkField VirtualField(int k) { return TrunkField(int(TrunkField::Virtual1) + k); }

// One trunk row as stored, with its row id.
struct TrunkRow {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(TrunkFieldCount));

    QString get(TrunkField f) const { return values.value(int(f)); }
    void set(TrunkField f, const QString &v) { values[int(f)] = v; }
    QString trunk() const { return get(TrunkField::Trunk).trimmed(); }
};

// The one place that reads and writes the Exchange table.
class TrunkTable {
public:
    static const QString Name; // "Exchange"

    explicit TrunkTable(Database &db) : m_db(db) {}

    Checked<QList<TrunkRow>> all() const;
    Checked<TableRows> rows() const;
    // The first row (in table order) of this trunk number.
    Checked<std::optional<TrunkRow>> byTrunk(int trunk) const;
    Status write(qint64 rowId, const QList<QPair<TrunkField, QString>> &fields);

    static QString columnName(TrunkField f);
    static QStringList columnNames();

private:
    Database &m_db;
};

} // namespace corvane
