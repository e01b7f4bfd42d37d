#pragma once
#include <memory>

namespace corvane {

class ConsoleContext;
class frmMain;

// The start-up sequence: open the database, log in, build the lists, load the
// main window behind the splash and show it. Returns the shown main window,
// or nullptr when the program must end (database unusable, login abandoned);
// in that case the database is closed and any message has been shown.
// `databaseFailed` tells the two endings apart.
std::unique_ptr<frmMain> Main(ConsoleContext &ctx, bool *databaseFailed = nullptr);

} // namespace corvane
