#include "LineProxy.h"
#include "PtyPair.h"
#include "SwitchSimulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvane::test {

LineProxy::LineProxy(sim::SwitchSimulator &sim) : m_sim(sim)
{
    const auto [switchEnd, ourEnd] = sim::PipeDevice::createPair(&m_context);
    m_switchEnd = switchEnd;
    m_ourEnd = ourEnd;
    QObject::connect(m_ourEnd, &QIODevice::readyRead, &m_context, [this] { fromSwitch(); });
    m_sim.attach(m_switchEnd);
}

LineProxy::~LineProxy()
{
    m_sim.attach(nullptr);
    unplug();
}

bool LineProxy::plugIn(const QString &home, int port, QString *error)
{
    auto pty = std::make_unique<sim::PtyDevice>();
    if (!pty->openPty(error))
        return false;
    unplug();
    const QString dir = QDir(home).absoluteFilePath(QStringLiteral("ports"));
    QDir().mkpath(dir);
    m_link = dir + QStringLiteral("/COM%1").arg(port);
    QFile::remove(m_link);
    if (!QFile::link(pty->slavePath(), m_link)) {
        if (error)
            *error = QStringLiteral("cannot link %1").arg(m_link);
        return false;
    }
    m_pty = std::move(pty);
    QObject::connect(m_pty.get(), &QIODevice::readyRead, &m_context, [this] { fromConsole(); });
    return true;
}

void LineProxy::unplug()
{
    if (m_pty) {
        QObject::disconnect(m_pty.get(), nullptr, &m_context, nullptr);
        m_pty->close();
        m_pty.reset();
    }
    if (!m_link.isEmpty())
        unplugLink(m_link);
}

void LineProxy::fromConsole()
{
    if (!m_pty)
        return;
    const QByteArray bytes = m_pty->readAll();
    if (dropToSwitch) {
        m_droppedToSwitch += bytes.size();
        return;
    }
    m_ourEnd->write(bytes);
}

void LineProxy::fromSwitch()
{
    const QByteArray bytes = m_ourEnd->readAll();
    if (dropToConsole || !m_pty)
        return;
    // Whether the console holds the port is looked at now, not at the
    // terminal's own next look (real time, which a test clock outruns).
    if (!m_pty->isPeerOpen())
        m_pty->pollPeer();
    if (m_pty->isPeerOpen())
        m_pty->write(bytes);
}

} // namespace corvane::test
