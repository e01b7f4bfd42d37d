// The console's call intake as a program of its own, for the test that kills
// it (test_intake_kills.cpp): the link with the main window's start (port
// search, outward port), the intake and its copies, on the home given as the
// argument and on the system's clock. It prints "ready" once the link is up.
//
// A line "kill-after n" on its standard input makes it kill itself right
// after its n-th commit from then on: a moment between a commit and whatever
// follows it (the acknowledgement, the file line, the outward record, the
// clearing of a kept copy) that a kill from outside hits only by chance.
#include "CallIntake.h"
#include "ConsoleContext.h"
#include "FeeEngine.h"
#include "FrameHandlers.h"
#include "SwitchLink.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <unistd.h>

using namespace corvane;

namespace {

struct Handlers : FrameHandlers {
    CallIntake *intake = nullptr;
    int ProcessCallRecord(const QByteArray &frame) override { return intake->ProcessCallRecord(frame); }
};

int commitsLeft = 0;

int afterCommit(void *, sqlite3 *db, const char *name, int frames)
{
    if (commitsLeft > 0 && --commitsLeft == 0)
        std::raise(SIGKILL);
    // The hook replaces SQLite's own, which checkpoints the log.
    if (frames >= 1000)
        sqlite3_wal_checkpoint(db, name);
    return SQLITE_OK;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    SystemClock clock;
    ScriptedMessageService messages;
    ConsoleContext ctx(HomePaths(QString::fromLocal8Bit(argv[1])), messages, clock);
    if (!ctx.db.open(ctx.home.switchDb(), ctx.databaseKey())) {
        std::fprintf(stderr, "database not opened\n");
        return 3;
    }
    sqlite3_wal_hook(ctx.db.handle(), afterCommit, nullptr);
    QSocketNotifier orders(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&orders, &QSocketNotifier::activated, [&] {
        char line[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            orders.setEnabled(false);
            return;
        }
        if (qstrncmp(line, "kill-after ", 11) == 0)
            commitsLeft = std::atoi(line + 11);
    });

    SwitchLink link(ctx);
    ctx.link = &link;
    FeeEngine fees(ctx.db);
    CallIntake intake(ctx, fees);
    Handlers handlers;
    handlers.intake = &intake;
    link.setFrameHandlers(&handlers);
    if (!link.OpenLinkOnLoad()) {
        std::fprintf(stderr, "no switch\n");
        return 4;
    }
    link.StartTimers();
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
