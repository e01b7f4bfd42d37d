#pragma once
#include "Status.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// The call records summed by month (table BillSums of the console's own), so
// that statistics of whole months read a few thousand sums instead of a
// million records. Triggers on PHNBill keep the sums in the same statement
// as every write of a record, whoever writes it (the intake, a settlement, a
// deletion, a restore, the backup tool), so they cannot drift from the
// records; they use only what every SQLite connection has.
//
// Records of the call types 0 to 9 are summed when their end time is in one
// of the two stored forms on a day the calendar has and their fee is
// written "12.34" (or empty: counted as unread): by day, hour and type; by
// caller and name; by group; by area; each by state, apart for incoming
// calls. Every other record of those types is listed by its end time (the
// statistics read those few records themselves).
class BillSummary {
public:
    static const QString Name; // "BillSums"

    explicit BillSummary(Database &db) : m_db(db) {}

    // The table and its triggers: made where missing, with the sums of the
    // records there are (a big history takes a while: see estimateMs).
    // Tells whether they were made now.
    Checked<bool> ensure();
    bool exists() const;
    // Roughly how long ensure() takes on this file, 0 when there is nothing
    // to make; for the notice shown meanwhile.
    qint64 estimateMs() const;

    enum class Dim { Time, Caller, Group, Area };
    struct Sum {
        QString day;  // "2026年12月09日" (Time)
        QString hour; // "07" (Time)
        QString type; // call-type code (Time)
        QString key;  // caller, group or area
        QString name; // the caller's user name (Caller)
        bool incoming = false;
        qint64 calls = 0;
        qint64 units = 0;  // fees in Money units
        qint64 unread = 0; // records whose fee is empty
    };
    // The sums of the months from `firstMonth` to `lastMonth` ("2026年11月",
    // both included) in these states, added up over the states (and for Time
    // also over the months' days as they come).
    Checked<QList<Sum>> sums(Dim dim, const QString &firstMonth, const QString &lastMonth,
                             const QStringList &states) const;
    // The end times of the records of these states that are listed by their
    // end time, from `from` up to (not including) `before`, in text order.
    Checked<QStringList> listedEndTimes(const QString &from, const QString &before, const QStringList &states) const;
    // The condition on a PHNBill row of the records listed by their end
    // time (for reading those records and no others).
    static QString listedCondition();

    // Where the sums differ from the records, one line each; empty when they
    // agree. Reads every record: for tests and checks, not for windows.
    Checked<QStringList> mismatches() const;

private:
    Database &m_db;
};

} // namespace corvane
