#pragma once
#include "Money.h"
#include "Status.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace corvane {

class Database;

// One caller settled in one settlement run: what was settled, what it cost,
// the deposit and balance it had, and what the front desk collected or
// refunded. Written in the transaction that marks the records; never edited.
struct LedgerRow {
    qint64 rowId = -1;
    QDateTime settledAt;
    QString operatorName;
    QString caller; // the calling number of the records: a user number or "账号012"
    QString port;   // the extension's physical port when it had a user, else empty
    QString group;
    QString name;
    int records = 0;
    QString firstEnd; // end times of the first and last record settled
    QString lastEnd;
    Money longDistance, city, local, incoming, handling, service;
    Money rent;        // rent charged in this run
    Money total;       // rent and the records' totals
    Money deposit;     // deposit held before the settlement
    Money balance;     // balance before the settlement
    Money collect;     // 应收: what the caller still owes
    Money refund;      // 应退: what goes back to the caller
    QString note;      // why no rent was charged, when it was not
    QString rentMonth; // "2026-12": the month whose rent the run dealt with
    QString rentState; // charged() or waived(), empty when it dealt with none

    bool isAccount() const;
};

// The settlement ledger (a table of the console's own in Switch.mdb, created
// when missing). Rows are only ever appended.
class LedgerTable {
public:
    static const QString Name; // "SettleLedger"

    explicit LedgerTable(Database &db) : m_db(db) {}

    // Creates the table and its index when they are missing.
    Status ensure();
    Checked<qint64> append(const LedgerRow &row);
    // Rows settled from `from` to `to` (both included; an invalid end is no
    // limit), of these callers (all when empty), oldest first.
    Checked<QList<LedgerRow>> select(const QDateTime &from, const QDateTime &to, const QStringList &callers = {}) const;
    // The row of this caller (by port for an extension, else by the caller
    // text) that charged or waived the rent of `month` ("2026-12"), if any.
    Checked<std::optional<LedgerRow>> rentDealtWith(const QString &caller, const QString &port,
                                                    const QString &month) const;
    static QString charged(); // "已收"
    static QString waived();  // "已免"
    // The rows after row id `rowId`, oldest first, of the ledger in the
    // attached database `schema` ("main" for this one).
    Checked<QList<LedgerRow>> rowsAfter(qint64 rowId, const QString &schema = QStringLiteral("main")) const;
    // Every caller that appears in the ledger, in order of first settlement.
    Checked<QStringList> callers() const;

    static QStringList columnNames();
    // How a moment is written in the ledger ("2026-12-09 18:05:00").
    static QString timeText(const QDateTime &t);

private:
    Database &m_db;
};

} // namespace corvane
