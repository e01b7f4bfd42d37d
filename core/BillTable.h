#pragma once
#include "Money.h"
#include "Status.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <functional>

namespace corvane {

class Database;

// The columns of a call record (table PHNBill), in stored order.
enum class BillField {
    Caller,  // 主叫号码: the user number, or "账号" and the account number
    Called,  // dialled digits, or the caller-ID number of an incoming call
    EndTime, // "2026年12月08日23时30分", or "2026年12月08日23:30:05" for an incoming call
    Duration,
    Rate,
    Area,
    Fee,      // the record's total
    CallType, // call-type code "0" to "9"
    Handling, // handling fee
    Service,  // service fee
    Charge,   // the call charge
    State,    // 话单性质: "未结算" or "已结算"
    Group,    // the user's group when the call was taken
    Name,     // the user's name when the call was taken
};
constexpr int BillFieldCount = int(BillField::Name) + 1;

// One call record as stored, with its row id.
struct BillRecord {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(BillFieldCount));

    QString get(BillField f) const { return values.value(int(f)); }
    void set(BillField f, const QString &v) { values[int(f)] = v; }

    QString caller() const { return get(BillField::Caller); }
    QString endTime() const { return get(BillField::EndTime); }
    QString callType() const { return get(BillField::CallType); }
    Money fee() const { return Money::fromText(get(BillField::Fee)); }
    Money handling() const { return Money::fromText(get(BillField::Handling)); }
    Money service() const { return Money::fromText(get(BillField::Service)); }
    Money charge() const { return Money::fromText(get(BillField::Charge)); }
    bool settled() const;
};

// The one place that writes and reads the call records. A new record is
// always "未结算"; settlement makes it "已结算".
class BillTable {
public:
    static const QString Name;       // "PHNBill"
    static QString notSettledText(); // "未结算"
    static QString settledText();    // "已结算"

    explicit BillTable(Database &db) : m_db(db) {}

    // Appends a record as not settled (whatever its state says) and gives
    // its row id. `port`: the physical port the call was made on, kept beside
    // the record (table BillPort of the console's own): the caller text is
    // the number the port had when the record was taken, and a number moves
    // between rooms.
    Checked<qint64> append(const BillRecord &record, const QString &port = QString());
    // The ports of these records, where they were kept.
    Checked<QHash<qint64, QString>> portsOf(const QList<qint64> &rowIds) const;
    static const QString PortTable; // "BillPort"

    // The records of these callers, call types and states whose end time
    // lies in the hours from `fromHour` to `toHour` (their first 13
    // characters, "2026年12月09日10", both forms alike; empty for no limit),
    // in table order. The caller and the end time are read through their
    // indexes.
    //
    // Records not settled are read through an index of their own (the
    // partial index "idx_PHNBill_open"), so that the everyday question costs
    // what it finds, not what the callers made over the years. When the
    // callers are a large part of all (`many`), the table is read in its
    // order (by the end-time index within a range), which touches each page
    // once instead of once per caller.
    struct Selection {
        QStringList callers;
        QStringList types;
        QStringList states;
        QString fromHour;
        QString toHour;
        bool many = false;
    };
    Checked<QList<BillRecord>> select(const Selection &s) const;
    // The same records one at a time, in table order, without keeping them:
    // `record` sees each (its views valid during the call) and returns false
    // to stop. True when every record was seen.
    struct View {
        qint64 rowId = -1;
        std::array<QStringView, BillFieldCount> values;
        QStringView get(BillField f) const { return values[size_t(f)]; }
    };
    Checked<bool> scan(const Selection &s, const std::function<bool(const View &)> &record) const;
    // Every port kept with a record (records not settled keep theirs).
    Checked<QHash<qint64, QString>> keptPorts() const;
    // The condition the partial index of records not settled is made with,
    // as a query must repeat it for the index to serve.
    static QString openCondition();
    static QString openIndex(); // "idx_PHNBill_open"
    // The callers that have records not settled yet (of these groups, as the
    // records carry them, when groups are given), in order of first record.
    Checked<QStringList> unsettledCallers(const QStringList &groups = {}) const;
    // The records of these row ids that still exist, in table order.
    Checked<QList<BillRecord>> byRowIds(const QList<qint64> &rowIds) const;

    // Marks a listed record settled: the row of this id, while it still has
    // this caller and end time and is not settled. Tells whether it was marked.
    Checked<bool> markSettled(qint64 rowId, const QString &caller, const QString &endTime);
    // Deletes a listed record: the row of this id while it still has this
    // caller and end time. Tells whether it was deleted.
    Checked<bool> removeListed(qint64 rowId, const QString &caller, const QString &endTime);

    static QString columnName(BillField f);
    static QStringList columnNames();

private:
    Database &m_db;
};

} // namespace corvane
