#include "ConsoleHandlers.h"

#include "SwitchLink.h"
#include "TrunkMonitor.h"

namespace corvane {

ConsoleHandlers::ConsoleHandlers(TrunkMonitor &trunks, QObject *parent) : QObject(parent), m_trunks(trunks)
{
    setObjectName(QStringLiteral("ConsoleHandlers"));
}

ConsoleHandlers::~ConsoleHandlers()
{
    // A link that outlives us must not call into a dead object.
    if (m_link && m_link->frameHandlers() == this)
        m_link->setFrameHandlers(nullptr);
}

void ConsoleHandlers::attachTo(SwitchLink &link)
{
    m_link = &link;
    link.setFrameHandlers(this);
    // What happened on the trunks while the link was down was not seen.
    connect(&link, &SwitchLink::linkLost, &m_trunks, &TrunkMonitor::ShowTrunksUnknown);
}

int ConsoleHandlers::ProcessCallRecord(const QByteArray &frame)
{
    if (m_callRecord)
        return m_callRecord(frame);
    return int(frame.size());
}

void ConsoleHandlers::OnTrunkReleased(const QByteArray &frame) { m_trunks.OnTrunkReleased(frame); }
void ConsoleHandlers::OnTrunkSeized(const QByteArray &frame) { m_trunks.OnTrunkSeized(frame); }
void ConsoleHandlers::OnCallerId(const QByteArray &frame) { m_trunks.OnCallerId(frame); }
void ConsoleHandlers::OnTrunkRinging(const QByteArray &frame) { m_trunks.OnTrunkRinging(frame); }
void ConsoleHandlers::OnTrunkUserChange(const QByteArray &frame) { m_trunks.OnTrunkUserChange(frame); }
void ConsoleHandlers::OnTrunkDialled(const QByteArray &frame) { m_trunks.OnTrunkDialled(frame); }
void ConsoleHandlers::OnTrunkAnswer(const QByteArray &frame) { m_trunks.OnTrunkAnswer(frame); }

} // namespace corvane
