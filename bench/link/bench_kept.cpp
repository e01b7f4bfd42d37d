// The cost of keeping the switch's commands in Switch.mdb: a full download's
// worth kept in one transaction, then written to a port one by one and
// removed from the table once the switch is heard after them (the gaps set to
// 0, so the figure is the database's share of the pacing, not the pacing).
#include "CommandQueue.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "HomeKey.h"
#include "PendingCommands.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

constexpr int DownloadCommands = 1400;

QList<PendingCommand> download()
{
    QList<PendingCommand> out;
    for (int i = 0; i < DownloadCommands; ++i)
        out << PendingCommand::Star(QStringLiteral("*10*%1*%2#").arg(i % 8 + 1).arg(800 + i % 120), 0);
    return out;
}

// A new database in `dir`; false (the benchmark skipped) when it cannot be made.
bool openScratch(const QTemporaryDir &dir, Database &db, benchmark::State &state)
{
    if (db.open(dir.filePath(QStringLiteral("Switch.mdb")), LegacyDatabaseKey(), Database::OpenMode::Create))
        return true;
    state.SkipWithError("database");
    return false;
}

void BM_KeepADownload(benchmark::State &state)
{
    QTemporaryDir dir;
    Database db;
    if (!openScratch(dir, db, state))
        return;
    PendingCommands table(db);
    const QList<PendingCommand> commands = download();
    for (auto _ : state) {
        const Status kept = InTransaction(db, [&] { return table.keep(commands); });
        if (!kept)
            state.SkipWithError("keep");
        state.PauseTiming();
        (void)db.exec(QStringLiteral("DELETE FROM CommandPending"));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * DownloadCommands);
}
BENCHMARK(BM_KeepADownload)->Unit(benchmark::kMillisecond);

void BM_SendAndRemoveEach(benchmark::State &state)
{
    QTemporaryDir dir;
    Database db;
    if (!openScratch(dir, db, state))
        return;
    PendingCommands table(db);
    const QList<PendingCommand> commands = download();
    TestClock clock;
    QBuffer port;
    port.open(QIODevice::WriteOnly);
    CommandQueue queue(clock, port);
    queue.setStore(&db);
    for (auto _ : state) {
        state.PauseTiming();
        (void)InTransaction(db, [&] { return table.keep(commands); });
        state.ResumeTiming();
        queue.SendKept();
        clock.advanceMs(0);
        // The switch heard after them: they leave the table.
        clock.advanceMs(CommandQueue::HeardAfterMs);
        queue.Heard();
        if (queue.KeptCount() != 0 || table.count().value_or(-1) != 0)
            state.SkipWithError("not all sent and removed");
    }
    state.SetItemsProcessed(state.iterations() * DownloadCommands);
}
BENCHMARK(BM_SendAndRemoveEach)->Unit(benchmark::kMillisecond);

} // namespace
