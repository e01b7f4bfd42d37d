#include "PortSearch.h"

#include "CommandQueue.h"
#include "LinkPorts.h"
#include "LinkSupervisor.h"
#include "Protocol.h"

namespace corvane {

PortSearch::PortSearch(Clock &clock, LinkPorts &ports, CommandQueue &commands, LinkSupervisor &supervisor,
                       QObject *parent)
    : QObject(parent), m_clock(clock), m_ports(ports), m_commands(commands), m_supervisor(supervisor),
      m_wait(clock, this)
{
    setObjectName(QStringLiteral("PortSearch"));
    m_wait.setSingleShot(true);
    m_wait.setInterval(AnswerWaitMs);
    connect(&m_wait, &ClockTimer::timeout, this, [this] { tryFrom(m_current + 1); });
}

void PortSearch::start()
{
    if (m_running)
        return;
    m_running = true;
    m_answered = false;
    m_current = 0;
    tryFrom(1);
}

void PortSearch::stop()
{
    if (m_running)
        finish(false);
}

void PortSearch::noteAnswer()
{
    if (m_running && m_current > 0)
        m_answered = true;
}

void PortSearch::tryFrom(int n)
{
    for (int k = n; k <= LinkPorts::PortCount; ++k) {
        if (m_answered || m_supervisor.LinkUp()) {
            finish(true);
            return;
        }
        // The front desk's receiver is no switch: it gets no clock command.
        if (m_ports.OutwardOn() && k == m_ports.OutPortNumber())
            continue;
        if (!m_ports.OpenPort(k))
            continue; // no such port
        m_current = k;
        emit portSelected(k);
        if (!m_running)
            return; // stopped by a receiver of portSelected
        m_commands.SendNow(ClockCommand(m_clock.now()));
        m_wait.start();
        return;
    }
    finish(m_answered || m_supervisor.LinkUp());
}

void PortSearch::finish(bool found)
{
    m_wait.stop();
    m_running = false;
    // The switch answered on this port in the last half second.
    if (found && m_answered && !m_supervisor.LinkUp())
        m_supervisor.OnAnswer();
    emit finished(found);
}

} // namespace corvane
