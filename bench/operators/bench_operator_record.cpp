// The usage record window on a long record: reading OPRec in serial order
// and opening the window with every row in its grid.
#include "ConsoleContext.h"
#include "Database.h"
#include "DefaultRows.h"
#include "OperatorAdmin.h"
#include "Operators.h"
#include "PasswordHash.h"
#include "Schema.h"
#include "frmOperatorRecord.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace corvane;

namespace {

struct RecordHome {
    explicit RecordHome(int rows)
        : ctx(HomePaths(dir.path()), messages, clock)
    {
        QDir().mkpath(ctx.home.dataDir());
        ok = ctx.db.open(ctx.home.switchDb(), ConsoleContext::databaseKey(), Database::OpenMode::Create)
             && createSchema(ctx.db, switchTables()) && insertDefaultRows(ctx.db, QStringLiteral("pw"));
        ok = ok && ctx.db.exec(QStringLiteral("BEGIN"));
        for (int n = 1; ok && n <= rows; ++n)
            ok = ctx.db.exec(QStringLiteral("INSERT INTO OPRec VALUES (?, '值班员', '2026年12月08日08:00:00', "
                                            "'2026年12月08日16:00:00')"),
                             {OperatorRecordSerial(n)});
        ok = ok && ctx.db.exec(QStringLiteral("COMMIT"));
        if (!ok)
            error = ctx.db.lastError().toStdString();
    }
    QTemporaryDir dir;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx;
    bool ok = false;
    std::string error;
};

void BM_ReadUsageRecord(benchmark::State &state)
{
    RecordHome home(int(state.range(0)));
    if (!home.ok) {
        state.SkipWithError(("no database: " + home.error).c_str());
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(OperatorRecords(home.ctx).size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadUsageRecord)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_OpenUsageRecordWindow(benchmark::State &state)
{
    RecordHome home(int(state.range(0)));
    if (!home.ok) {
        state.SkipWithError(("no database: " + home.error).c_str());
        return;
    }
    for (auto _ : state) {
        frmOperatorRecord w(home.ctx);
        w.show();
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenUsageRecordWindow)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PasswordHash::setCost(PasswordHash::Cost::Minimum);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
