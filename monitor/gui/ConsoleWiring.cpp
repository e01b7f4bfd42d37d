#include "ConsoleWiring.h"

#include "CallIntake.h"
#include "ConsoleContext.h"
#include "ConsoleHandlers.h"
#include "FeeEngine.h"
#include "MainWindowViews.h"
#include "SwitchLink.h"
#include "TrunkMonitor.h"
#include "frmMain.h"

#include <QPointer>

namespace corvane {

namespace {

// Keeps the main window's trunk view alive exactly as long as the window.
class TrunkViewHolder : public QObject {
public:
    explicit TrunkViewHolder(frmMain &main) : QObject(&main), view(main) {}
    MainWindowTrunkView view;
};

// Lives as a child of the main window, so the intake goes with it.
class CallIntakeHolder : public QObject {
public:
    CallIntakeHolder(ConsoleContext &ctx, frmMain &main, ConsoleHandlers &handlers)
        : QObject(&main), fees(ctx.db), view(main), intake(ctx, fees, &view), m_handlers(&handlers)
    {
        handlers.setCallRecordHandler([this](const QByteArray &frame) { return intake.ProcessCallRecord(frame); });
    }
    ~CallIntakeHolder() override
    {
        if (m_handlers)
            m_handlers->setCallRecordHandler({});
    }

    FeeEngine fees;
    MainWindowCallView view;
    CallIntake intake;

private:
    QPointer<ConsoleHandlers> m_handlers;
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

CallIntake *InstallCallIntake(ConsoleContext &ctx, frmMain &main, ConsoleHandlers &handlers)
{
    return &(new CallIntakeHolder(ctx, main, handlers))->intake;
}

} // namespace corvane
