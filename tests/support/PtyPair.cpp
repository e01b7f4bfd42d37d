#include "PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace corvane::test {

PtyPair::PtyPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    m_slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_slave >= 0) {
        // Raw from the start: no echo back to the master, no line editing.
        termios tio{};
        tcgetattr(m_slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPair::readMaster);
}

PtyPair::~PtyPair()
{
    delete m_notifier;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyPair::linkAs(const QString &linkPath) const
{
    QFile::remove(linkPath);
    return QFile::link(m_slavePath, linkPath);
}

bool unplugLink(const QString &linkPath)
{
    QFile::remove(linkPath);
    return QFile::link(linkPath + QStringLiteral(".unplugged"), linkPath);
}

void PtyPair::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        if (n > 0)
            done += n;
    }
}

void PtyPair::answerClockCommands(const QByteArray &chunk)
{
    // E8, six date and time bytes, the checksum: answered FF 5A, as the
    // switch does.
    m_clockScan += chunk;
    for (;;) {
        const qsizetype at = m_clockScan.indexOf(char(0xE8));
        if (at < 0) {
            m_clockScan.clear();
            return;
        }
        if (m_clockScan.size() - at < 8) {
            m_clockScan.remove(0, at);
            return;
        }
        quint8 sum = 0;
        for (int i = 0; i < 7; ++i)
            sum = quint8(sum + quint8(m_clockScan.at(at + i)));
        if (sum == quint8(m_clockScan.at(at + 7))) {
            write(QByteArray::fromHex("FF5A"));
            m_clockScan.remove(0, at + 8);
        } else {
            m_clockScan.remove(0, at + 1);
        }
    }
}

void PtyPair::dropUnread()
{
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIFLUSH);
}

void PtyPair::readMaster()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            return;
        const QByteArray chunk(buf, int(n));
        m_received += chunk;
        if (answersClock)
            answerClockCommands(chunk);
        if (responder) {
            const QByteArray answer = responder(chunk);
            if (!answer.isEmpty())
                write(answer);
        }
    }
}

QByteArray PtyPair::take()
{
    readMaster();
    QByteArray out;
    out.swap(m_received);
    return out;
}

QByteArray PtyPair::takeAtLeast(int n, int limitMs)
{
    waitUntil(
        [&] {
            readMaster();
            return m_received.size() >= n;
        },
        limitMs);
    return take();
}

bool waitUntil(const std::function<bool()> &pred, int limitMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

} // namespace corvane::test
