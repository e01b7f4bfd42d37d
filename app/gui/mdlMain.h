#pragma once
#include <QString>
#include <memory>

namespace corvane {

class ConsoleContext;
class HomeLock;
class frmMain;

// The start-up sequence: open the database, log in, build the lists, load the
// main window behind the splash and show it. Returns the shown main window,
// or nullptr when the program must end (database unusable, login abandoned);
// in that case the database is closed and any message has been shown.
// `databaseFailed` tells the two endings apart.
std::unique_ptr<frmMain> Main(ConsoleContext &ctx, bool *databaseFailed = nullptr);

// Shows the recovery key of a key just made, once, with the offer to print
// it; the box stays until the operator says it is written down.
void ShowRecoveryKey(ConsoleContext &ctx, const QString &recoveryKey);

// Takes the home's lock for the console's run, so that the backup tool never
// restores under a running console and a second console never starts on the
// same home. When it is taken, says so and returns false.
bool LockHome(ConsoleContext &ctx, HomeLock &lock);

} // namespace corvane
