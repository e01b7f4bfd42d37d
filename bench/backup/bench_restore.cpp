// What a restore needs: the disk space it writes at its peak beside the files
// there are (sampled while it runs), as a factor of the larger of the chosen
// file and the current database, next to what RestoreSpaceNeeded asks for;
// and how long the check of a database takes that the console and the backup
// tool run at their start.
#include "Backup.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DatabaseHealth.h"
#include "DefaultRows.h"
#include "HomeKey.h"
#include "PasswordHash.h"
#include "Restore.h"
#include "Schema.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sys/stat.h>
#include <thread>

using namespace corvane;

namespace {

Status addCalls(Database &db, int n)
{
    return InTransaction(db, [&]() -> Status {
        for (int i = 0; i < n; ++i)
            if (Status s =
                    db.exec(QStringLiteral("INSERT INTO \"PHNBill\" VALUES (?,?,?,'60','0.30','深圳','1.20','2',"
                                           "'0.00','0.00','1.20','未结算','','张三')"),
                            {QString::number(800 + i % 120), QStringLiteral("0755%1").arg(i, 8, 10, QLatin1Char('0')),
                             QStringLiteral("2026年12月08日09时%1分").arg(i % 60, 2, 10, QLatin1Char('0'))});
                !s)
                return s;
        return Status::ok();
    });
}

// A home whose database holds `calls` call records.
Status makeHome(const HomePaths &home, int calls)
{
    QDir().mkpath(home.dataDir());
    Database db;
    Status s = db.open(home.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create);
    if (s)
        s = createSchema(db, switchTables());
    if (s)
        s = insertDefaultRows(db, QStringLiteral("pw"));
    if (s)
        s = addCalls(db, calls);
    return s;
}

// Bytes the files under `root` take on the disk.
qint64 used(const QString &root)
{
    qint64 total = 0;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat st {};
        if (::stat(QFile::encodeName(it.next()).constData(), &st) == 0)
            total += qint64(st.st_blocks) * 512;
    }
    return total;
}

qint64 sizeWithLog(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

// Args: calls in the current database, calls in the chosen file, whether
// "话单信息" is ticked, whether the current database is damaged.
void BM_RestorePeakSpace(benchmark::State &state)
{
    const int currentCalls = int(state.range(0));
    const int fileCalls = int(state.range(1));
    const bool withCalls = state.range(2) != 0;
    const bool damaged = state.range(3) != 0;
    double factor = 0;
    double asked = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const HomePaths home(dir.filePath(QStringLiteral("home")));
        const QString backup = dir.filePath(QStringLiteral("backup.mdb"));
        Status s = makeHome(home, fileCalls);
        if (s && !BackupDatabase(home, backup).ok())
            s = Status::fail(QStringLiteral("backup failed"));
        if (s) {
            Database db;
            s = db.open(home.switchDb(), LegacyDatabaseKey());
            if (s)
                s = db.exec(QStringLiteral("DELETE FROM \"PHNBill\""));
            if (s)
                s = addCalls(db, currentCalls);
            if (s)
                s = db.exec(QStringLiteral("VACUUM"));
        }
        if (!s) {
            state.SkipWithError(s.reason().toStdString().c_str());
            return;
        }
        if (damaged) {
            QFile f(home.switchDb());
            if (f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2))
                f.write(QByteArray(1024, 'x'));
        }
        const qint64 fileBytes = sizeWithLog(backup);
        const qint64 dbBytes = sizeWithLog(home.switchDb());
        const Checked<DatabaseCondition> condition = CheckDatabase(home);
        const bool readsCurrent = condition && ((!withCalls && condition->callsReadable) || condition->usageReadable);
        const qint64 base = used(home.root());
        std::atomic<bool> stop{false};
        std::atomic<qint64> peak{0};
        state.ResumeTiming();
        std::thread sampler([&] {
            while (!stop) {
                peak = std::max<qint64>(peak, used(home.root()) - base);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const ToolResult r = RestoreDatabase(home, {backup, withCalls});
        stop = true;
        sampler.join();
        state.PauseTiming();
        if (!r.ok()) {
            state.SkipWithError(r.text.toStdString().c_str());
            return;
        }
        const RestoreSpace need = RestoreSpaceNeeded(fileBytes, dbBytes, damaged, readsCurrent);
        factor = double(peak) / double(std::max(fileBytes, dbBytes));
        asked = double(need.dataFolder + need.homeFolder) / double(peak);
        state.ResumeTiming();
    }
    state.counters["peak_per_size"] = factor;
    state.counters["asked_per_peak"] = asked;
}
BENCHMARK(BM_RestorePeakSpace)
    ->ArgNames({"current", "file", "with_calls", "damaged"})
    ->Args({40000, 40000, 0, 0})
    ->Args({40000, 2000, 0, 0})
    ->Args({2000, 40000, 0, 0})
    ->Args({40000, 40000, 1, 0})
    ->Args({2000, 40000, 1, 0})
    ->Args({40000, 40000, 0, 1})
    ->Args({2000, 40000, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The look at the database the console and the backup tool take at their
// start (integrity check included).
void BM_CheckDatabase(benchmark::State &state)
{
    QTemporaryDir dir;
    const HomePaths home(dir.path());
    if (Status s = makeHome(home, int(state.range(0))); !s) {
        state.SkipWithError(s.reason().toStdString().c_str());
        return;
    }
    for (auto _ : state) {
        const Checked<DatabaseCondition> c = CheckDatabase(home);
        if (!c || !c->sound()) {
            state.SkipWithError("not sound");
            return;
        }
    }
    state.counters["megabytes"] = double(QFileInfo(home.switchDb()).size()) / (1 << 20);
}
BENCHMARK(BM_CheckDatabase)->Arg(40000)->Arg(160000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    PasswordHash::setCost(PasswordHash::Cost::Minimum);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
