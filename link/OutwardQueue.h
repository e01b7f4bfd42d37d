#pragma once
#include "Clock.h"
#include "Status.h"

#include <QObject>
#include <QString>
#include <deque>

class QSerialPort;

namespace corvane {

class Database;

// The outward copy ("$FEE," call records, "$PHN," caller numbers) on its way
// to the front desk through mscOut.
//
// Every record is kept in a table of the console's own (Table) before it goes
// out, in the transaction of the change it belongs to when one is open (a call
// record and its copy are committed together), and leaves the table only once
// the port has passed its bytes on: written to the device and, where the
// device reports it (TIOCOUTQ), sent out of its buffer too. So a port that
// goes away, a receiver that is unplugged or a console that is restarted
// loses nothing: what did not go out goes when the port is back, in the order
// it was kept. One record is handed to the port at a time, so only the record
// whose bytes left the console just before the device went away (or the
// console was killed) may reach the receiver twice, never not at all.
//
// The table is bounded: beyond Limit records the oldest go (Dropped counts
// them); the call records themselves stay in PHNBill and the monthly file.
// The default keeps 10000 records, several days of a busy exchange's calls
// while the front desk is away: about a megabyte, and at 2400 baud about 45
// minutes to send when the port is back.
class OutwardQueue : public QObject {
    Q_OBJECT
public:
    static const QString Table;
    static constexpr int DefaultLimit = 10000;
    // Records handed to the port at a time; the rest wait in the table.
    static constexpr int Window = 1;
    // How often bytes still in the device's buffer are looked at again (a
    // record takes about 200 ms at 2400 baud).
    static constexpr int ConfirmMs = 50;

    OutwardQueue(Database &db, Clock &clock, QSerialPort &port, QObject *parent = nullptr);

    void setLimit(int records) { m_limit = qMax(1, records); }
    int limit() const { return m_limit; }

    // Keeps `record` behind everything kept before it; in the open
    // transaction when there is one. Trims the oldest beyond the limit.
    Status Keep(const QString &record);
    // Hands kept records to the port, oldest first, while it is open.
    void Flush();
    // A record the database would not keep (locked, full): written now when
    // the port is open, lost otherwise. Returns whether it was written.
    bool SendUnkept(const QString &record);

    // Records kept and not yet passed on (read from the table).
    int Pending();
    // Records dropped at the limit in this run.
    qint64 Dropped() const { return m_dropped; }

    // Creates the table when it is missing; false while the database is closed.
    bool EnsureTable();

signals:
    // The number of records waiting changed.
    void pendingChanged(int pending);

private:
    struct InFlight {
        qint64 seq; // 0: a record that was not kept
        qint64 size;
    };
    void written(qint64 bytes);
    void confirm();
    void portClosed();
    void notePending();

    Database &m_db;
    Clock &m_clock;
    QSerialPort &m_port;
    ClockTimer m_confirm;
    int m_limit = DefaultLimit;
    bool m_tableReady = false;
    // Rows handed to the port since it was opened, oldest first.
    std::deque<InFlight> m_inFlight;
    // Bytes of those rows the port has written to the device.
    qint64 m_handed = 0;
    // The newest row handed to the port since it was opened.
    qint64 m_lastHanded = 0;
    qint64 m_dropped = 0;
    int m_pending = -1;
};

} // namespace corvane
