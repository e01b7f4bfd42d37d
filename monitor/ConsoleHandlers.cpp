#include "ConsoleHandlers.h"

#include "ConsoleContext.h"
#include "SwitchLink.h"
#include "TrunkMonitor.h"
#include "TrunkView.h"
#include "frmMain.h"

namespace corvane {

ConsoleHandlers::ConsoleHandlers(TrunkMonitor &trunks, QObject *parent)
    : QObject(parent), m_trunks(trunks)
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

namespace {

// Keeps the main window's trunk view alive exactly as long as the window.
class TrunkViewHolder : public QObject {
public:
    TrunkViewHolder(frmMain &main) : QObject(&main), view(main) {}
    MainWindowTrunkView view;
};

} // namespace

ConsoleHandlers *InstallConsoleHandlers(ConsoleContext &ctx, frmMain &main)
{
    auto *holder = new TrunkViewHolder(main);
    auto *trunks = new TrunkMonitor(ctx, holder->view, holder);
    auto *handlers = new ConsoleHandlers(*trunks, holder);
    if (ctx.link)
        handlers->attachTo(*ctx.link);
    QObject::connect(&main, &frmMain::trunkClicked, trunks, &TrunkMonitor::imgPHN_Click);
    return handlers;
}

} // namespace corvane
