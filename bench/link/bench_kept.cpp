// The cost of keeping the switch's commands in Switch.mdb: a full download's
// worth kept in one transaction, then written to a port one by one and
// removed from the table once the switch has answered the probe after them
// (the gaps set to 0, so the figure is the database's share of the pacing,
// not the pacing).
#include "CommandQueue.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "HomeKey.h"
#include "PendingCommands.h"

#include "Clock.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

constexpr int DownloadCommands = 1400;

QList<PendingCommand> download(int n = DownloadCommands)
{
    QList<PendingCommand> out;
    for (int i = 0; i < n; ++i)
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
        // The switch answers every probe: what went before it leaves the table.
        for (int step = 0; queue.KeptCount() > 0 && step < DownloadCommands; ++step) {
            clock.advanceMs(LinkCommand::DefaultGapMs);
            if (queue.Probing())
                queue.Answered();
        }
        if (queue.KeptCount() != 0 || table.count().value_or(-1) != 0)
            state.SkipWithError("not all sent and removed");
    }
    state.SetItemsProcessed(state.iterations() * DownloadCommands);
}
BENCHMARK(BM_SendAndRemoveEach)->Unit(benchmark::kMillisecond);

// The line time of kept commands at their real gaps (0.1 s each), the
// switch answering every probe at once: how much the probes that prove
// delivery add to the pacing, for a full download's worth and for the 1,330
// commands an exit once waited for. Reported as counters (seconds of the
// console's clock; the time left the queue gives at the start, which the
// wait before the end shows; probes written); the wall time is the queue's
// and the database's share.
void BM_DownloadLineTime(benchmark::State &state)
{
    QTemporaryDir dir;
    Database db;
    if (!openScratch(dir, db, state))
        return;
    PendingCommands table(db);
    const int n = int(state.range(0));
    QList<PendingCommand> commands = download(n);
    for (PendingCommand &c : commands)
        c.gapMs = PendingCommand::DefaultGapMs;
    double lineSeconds = 0;
    double estimate = 0;
    double probes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TestClock clock;
        QBuffer port;
        port.open(QIODevice::WriteOnly);
        CommandQueue queue(clock, port);
        queue.setStore(&db);
        (void)InTransaction(db, [&] { return table.keep(commands); });
        state.ResumeTiming();
        queue.SendKept();
        estimate = double(queue.PendingMs()) / 1000.0;
        const qint64 start = clock.monotonicMs();
        while (queue.KeptCount() > 0) {
            clock.advanceMs(10);
            if (queue.Probing())
                queue.Answered();
        }
        lineSeconds = double(clock.monotonicMs() - start) / 1000.0;
        probes = double(port.data().count(char(0xE8)));
    }
    state.counters["line_s"] = lineSeconds;
    state.counters["gaps_s"] = n * PendingCommand::DefaultGapMs / 1000.0;
    state.counters["shown_s"] = estimate;
    state.counters["probes"] = probes;
}
BENCHMARK(BM_DownloadLineTime)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(DownloadCommands)->Arg(1330);

// "保存待发并退出" with 1,330 kept commands waiting for a switch that does
// not answer: what leaving at once costs (the queue emptied, the commands
// left in the table for the next start).
void BM_LeaveWithCommandsWaiting(benchmark::State &state)
{
    QTemporaryDir dir;
    Database db;
    if (!openScratch(dir, db, state))
        return;
    PendingCommands table(db);
    const QList<PendingCommand> commands = download(1330);
    (void)InTransaction(db, [&] { return table.keep(commands); });
    for (auto _ : state) {
        state.PauseTiming();
        TestClock clock;
        QBuffer port;
        port.open(QIODevice::WriteOnly);
        CommandQueue queue(clock, port);
        queue.setStore(&db);
        queue.setSendGate([] { return false; });
        queue.SendKept();
        state.ResumeTiming();
        queue.Forget();
        if (queue.KeptCount() != 0 || table.count().value_or(-1) != 1330)
            state.SkipWithError("not left for the next start");
    }
}
BENCHMARK(BM_LeaveWithCommandsWaiting)->Unit(benchmark::kMillisecond);

} // namespace
