// The usage record window on a long record: reading OPRec in serial order
// and opening the window with every row in its grid.
#include "ConsoleContext.h"
#include "Database.h"
#include "DefaultRows.h"
#include "HomeKey.h"
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
    explicit RecordHome(int rows) : ctx(HomePaths(dir.path()), messages, clock)
    {
        QDir().mkpath(ctx.home.dataDir());
        Status s = ctx.db.open(ctx.home.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create);
        if (s)
            s = createSchema(ctx.db, switchTables());
        if (s)
            s = insertDefaultRows(ctx.db, QStringLiteral("pw"));
        if (s)
            s = InTransaction(ctx.db, [&]() -> Status {
                for (int n = 1; n <= rows; ++n)
                    if (Status w = ctx.db.exec(QStringLiteral("INSERT INTO OPRec VALUES (?, '值班员', "
                                                              "'2026年12月08日08:00:00', '2026年12月08日16:00:00')"),
                                               {OperatorRecordSerial(n)});
                        !w)
                        return w;
                return Status::ok();
            });
        ok = bool(s);
        if (!ok)
            error = s.reason().toStdString();
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
