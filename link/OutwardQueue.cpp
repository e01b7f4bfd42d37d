#include "OutwardQueue.h"

#include "Database.h"
#include "LinkPorts.h"

#include <QSerialPort>

#include <sys/ioctl.h>

namespace corvane {

const QString OutwardQueue::Table = QStringLiteral("OutwardPending");

namespace {

// Bytes the device still holds in its output buffer; 0 where it cannot say
// (a pseudo-terminal always says 0: what it was given is with its reader).
qint64 unsentInDevice(QSerialPort &port)
{
    int n = 0;
    if (port.handle() < 0 || ::ioctl(port.handle(), TIOCOUTQ, &n) != 0)
        return 0;
    return qMax(0, n);
}

} // namespace

OutwardQueue::OutwardQueue(Database &db, Clock &clock, QSerialPort &port, QObject *parent)
    : QObject(parent), m_db(db), m_clock(clock), m_port(port), m_confirm(clock, this)
{
    setObjectName(QStringLiteral("OutwardQueue"));
    m_confirm.setSingleShot(true);
    m_confirm.setInterval(ConfirmMs);
    connect(&m_confirm, &ClockTimer::timeout, this, &OutwardQueue::confirm);
    connect(&m_port, &QSerialPort::bytesWritten, this, &OutwardQueue::written);
    connect(&m_port, &QIODevice::aboutToClose, this, &OutwardQueue::portClosed);
}

bool OutwardQueue::EnsureTable()
{
    if (m_tableReady)
        return true;
    if (!m_db.isOpen())
        return false;
    // Seq never repeats, not even once the table was empty: the port's
    // progress is counted by it.
    m_tableReady =
        bool(m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"Seq\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                      "\"Record\" TEXT NOT NULL, \"KeptAt\" TEXT NOT NULL DEFAULT '')")
                           .arg(Database::quoteId(Table))));
    return m_tableReady;
}

Status OutwardQueue::Keep(const QString &record)
{
    if (!m_db.isOpen())
        return Status::fail(QStringLiteral("数据库未打开"));
    if (!EnsureTable())
        return Status::fail(QStringLiteral("无法建立外发话单表"));
    const QString table = Database::quoteId(Table);
    if (Status s = m_db.exec(QStringLiteral("INSERT INTO %1 (\"Record\", \"KeptAt\") VALUES (?, ?)").arg(table),
                             {record, m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
        !s)
        return s;
    const auto count = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table));
    if (!count)
        return count.status();
    const qint64 over = count->toLongLong() - m_limit;
    if (over > 0) {
        // Full: the oldest go, so that the newest calls still reach the desk.
        if (Status s = m_db.exec(
                QStringLiteral("DELETE FROM %1 WHERE Seq IN (SELECT Seq FROM %1 ORDER BY Seq LIMIT ?)").arg(table),
                {over});
            !s)
            return s;
        m_dropped += over;
        qWarning("outward copy: %lld oldest records dropped at the limit of %d", over, m_limit);
    }
    return Status::ok();
}

void OutwardQueue::Flush()
{
    if (!m_port.isOpen() || !EnsureTable()) {
        notePending();
        return;
    }
    const int room = Window - int(m_inFlight.size());
    if (room > 0) {
        const auto rows =
            m_db.select(QStringLiteral("SELECT Seq, \"Record\" FROM %1 WHERE Seq > ? ORDER BY Seq LIMIT ?")
                            .arg(Database::quoteId(Table)),
                        {m_lastHanded, room});
        if (!rows)
            qWarning("outward copy not read: %s", qPrintable(rows.reason()));
        for (const QStringList &row : rows.value_or({})) {
            const QByteArray bytes = LinkPorts::OutwardBytes(row.value(1));
            const qint64 seq = row.value(0).toLongLong();
            if (!m_port.isOpen() || m_port.write(bytes) != bytes.size())
                break; // the port failed; what is kept goes when it is back
            m_inFlight.push_back({seq, bytes.size()});
            m_lastHanded = seq;
        }
    }
    notePending();
}

bool OutwardQueue::SendUnkept(const QString &record)
{
    const QByteArray bytes = LinkPorts::OutwardBytes(record);
    if (!m_port.isOpen() || m_port.write(bytes) != bytes.size())
        return false;
    m_inFlight.push_back({0, bytes.size()});
    return true;
}

void OutwardQueue::written(qint64 bytes)
{
    m_handed += bytes;
    confirm();
}

void OutwardQueue::confirm()
{
    // Bytes still in the device's buffer are the newest ones handed over;
    // every row whose bytes are all before them is out.
    qint64 out = m_handed - unsentInDevice(m_port);
    qint64 lastOut = 0;
    while (!m_inFlight.empty() && m_inFlight.front().size <= out) {
        out -= m_inFlight.front().size;
        m_handed -= m_inFlight.front().size;
        lastOut = qMax(lastOut, m_inFlight.front().seq);
        m_inFlight.pop_front();
    }
    if (lastOut > 0) {
        if (Status s =
                m_db.exec(QStringLiteral("DELETE FROM %1 WHERE Seq <= ?").arg(Database::quoteId(Table)), {lastOut});
            !s)
            qWarning("outward copy sent but not cleared (it may go again): %s", qPrintable(s.reason()));
    }
    if (!m_inFlight.empty() && m_handed > 0)
        m_confirm.start();
    if (lastOut > 0)
        Flush();
}

void OutwardQueue::portClosed()
{
    // Rows not confirmed stay kept and go again, from the oldest, once the
    // port is open again.
    m_inFlight.clear();
    m_handed = 0;
    m_lastHanded = 0;
    m_confirm.stop();
}

int OutwardQueue::Pending()
{
    if (!EnsureTable())
        return 0;
    const auto n = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(Table)));
    return n ? n->toInt() : 0;
}

void OutwardQueue::notePending()
{
    const int n = Pending();
    if (n == m_pending)
        return;
    m_pending = n;
    emit pendingChanged(n);
}

} // namespace corvane
