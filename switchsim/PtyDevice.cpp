#include "PtyDevice.h"
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace corvane::sim {

PtyDevice::PtyDevice(QObject *parent) : QIODevice(parent)
{
    m_peerPoll.setInterval(50);
    connect(&m_peerPoll, &QTimer::timeout, this, &PtyDevice::checkPeer);
}

PtyDevice::~PtyDevice() { close(); }

bool PtyDevice::openPty(QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return false;
    };
    if (isOpen())
        close();
    m_fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_fd < 0)
        return fail("posix_openpt");
    if (grantpt(m_fd) != 0)
        return fail("grantpt");
    if (unlockpt(m_fd) != 0)
        return fail("unlockpt");
    const char *name = ptsname(m_fd);
    if (!name)
        return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);

    // Raw from the start: with the terminal's default line discipline the
    // frames written before the console opens its side would be echoed back.
    termios tio{};
    if (tcgetattr(m_fd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B2400);
        cfsetospeed(&tio, B2400);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
    // Open and close the slave once, so that the master reports a hang-up
    // until the console really opens it; before the first open it would not.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        termios st{};
        if (tcgetattr(slave, &st) == 0) {
            cfmakeraw(&st);
            tcsetattr(slave, TCSANOW, &st);
        }
        ::close(slave);
    }

    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyDevice::readMaster);
    m_buffer.clear();
    m_peerOpen = false;
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    m_peerPoll.start();
    checkPeer();
    return true;
}

void PtyDevice::close()
{
    m_peerPoll.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    const bool wasPeerOpen = m_peerOpen;
    m_peerOpen = false;
    if (isOpen())
        QIODevice::close();
    if (wasPeerOpen)
        emit peerOpenChanged(false);
}

void PtyDevice::setPeerOpen(bool open)
{
    if (open == m_peerOpen)
        return;
    m_peerOpen = open;
    if (m_notifier)
        m_notifier->setEnabled(open);
    if (open)
        m_peerPoll.stop();
    else
        m_peerPoll.start();
    emit peerOpenChanged(open);
}

void PtyDevice::checkPeer()
{
    if (m_fd < 0)
        return;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return;
    if (!(p.revents & POLLHUP))
        setPeerOpen(true);
    if (p.revents & POLLIN)
        readMaster();
}

void PtyDevice::readMaster()
{
    if (m_fd < 0)
        return;
    const qsizetype before = m_buffer.size();
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // EIO (or end of file): the slave side has been closed by everyone.
        setPeerOpen(false);
        break;
    }
    if (m_buffer.size() > before)
        emit readyRead();
}

qint64 PtyDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin<qint64>(maxSize, m_buffer.size());
    memcpy(data, m_buffer.constData(), size_t(n));
    m_buffer.remove(0, n);
    return n;
}

qint64 PtyDevice::writeData(const char *data, qint64 size)
{
    // Nobody listening: the bytes are lost, as on a cable with nothing at the other end.
    if (m_fd < 0 || !m_peerOpen)
        return size;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // buffer full (the console does not read) or the slave went away
    }
    return size;
}

std::pair<PipeDevice *, PipeDevice *> PipeDevice::createPair(QObject *parent)
{
    auto *a = new PipeDevice(parent);
    auto *b = new PipeDevice(parent);
    a->m_peer = b;
    b->m_peer = a;
    a->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    b->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    return {a, b};
}

PipeDevice::~PipeDevice()
{
    if (m_peer)
        m_peer->m_peer = nullptr;
}

qint64 PipeDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin<qint64>(maxSize, m_buffer.size());
    memcpy(data, m_buffer.constData(), size_t(n));
    m_buffer.remove(0, n);
    return n;
}

qint64 PipeDevice::writeData(const char *data, qint64 size)
{
    if (m_peer && m_peer->isOpen())
        m_peer->deliver(QByteArray(data, int(size)));
    return size;
}

void PipeDevice::deliver(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    if (m_notifyPending)
        return;
    m_notifyPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_notifyPending = false;
            if (!m_buffer.isEmpty())
                emit readyRead();
        },
        Qt::QueuedConnection);
}

} // namespace corvane::sim
