#pragma once

namespace corvane {

class CallIntake;
class ConsoleContext;
class ConsoleHandlers;
class frmMain;

// Builds the trunk monitor and the frame handlers of the running console,
// owned by the main window: installs them on ctx.link when it is set and
// connects the trunk pictures to the caller pop-up. Returns the handlers (the
// call-record intake sets its handler on them); their TrunkMonitor is
// handlers->trunks().
ConsoleHandlers *InstallConsoleHandlers(ConsoleContext &ctx, frmMain &main);

// The intake of the running console: its pricing engine, the main window as
// its view, and the intake itself, all owned by the main window; call records
// reaching the console's frame handlers go to it from now on.
CallIntake *InstallCallIntake(ConsoleContext &ctx, frmMain &main, ConsoleHandlers &handlers);

} // namespace corvane
