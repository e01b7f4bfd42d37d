// The traffic statistics on a million stored call records over two years
// (2025 and 2026, about 42,000 a month): a month and a year of every caller,
// the twelve months up to a month, and a month of one group of 12 extensions.
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "DefaultRows.h"
#include "MessageService.h"
#include "Schema.h"
#include "TrafficStats.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace corvane;

namespace {

constexpr int kStored = 1000000;
constexpr int kUsers = 120;
constexpr int kGroupSize = 12;

struct World {
    QTemporaryDir dir;
    ScriptedMessageService messages;
    SystemClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    bool ok = false;
    QString why;

    World()
    {
        ctx = std::make_unique<ConsoleContext>(HomePaths(dir.path()), messages, clock);
        QDir().mkpath(ctx->home.dataDir());
        Database &db = ctx->db;
        Status made = db.open(ctx->home.switchDb(), ctx->databaseKey(), Database::OpenMode::Create);
        if (made)
            made = createSchema(db, switchTables());
        if (made)
            made = insertDefaultRows(db, QStringLiteral("admin"));
        if (!made) {
            why = made.reason();
            return;
        }
        (void)db.beginTransaction();
        for (int g = 0; g < kUsers / kGroupSize; ++g)
            (void)db.exec(QStringLiteral("INSERT INTO \"Group\" VALUES (?)"), {QStringLiteral("部门%1").arg(g)});
        for (int u = 0; u < kUsers; ++u)
            (void)db.exec(
                QString::fromUtf8("UPDATE User SET 组名=?, 用户名称=? WHERE 物理端口=?"),
                {QStringLiteral("部门%1").arg(u / kGroupSize), QStringLiteral("用户%1").arg(u), QString::number(u)});
        sqlite3_stmt *add = nullptr;
        const QByteArray sql = QByteArrayLiteral("INSERT INTO PHNBill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        sqlite3_prepare_v2(db.handle(), sql.constData(), sql.size(), &add, nullptr);
        auto text = [&](int i, const QString &v) {
            const QByteArray u = v.toUtf8();
            sqlite3_bind_text(add, i, u.constData(), u.size(), SQLITE_TRANSIENT);
        };
        const QStringList areas{QStringLiteral("北京"), QStringLiteral("上海"), QStringLiteral("广州"),
                                QStringLiteral("移动"), QStringLiteral("香港"), QStringLiteral("美国")};
        const QDateTime start(QDate(2025, 1, 1), QTime(0, 0, 0));
        const qint64 span = start.secsTo(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)));
        for (int i = 0; i < kStored; ++i) {
            const int user = i % kUsers;
            const QDateTime at = start.addSecs(span / kStored * i + i % 37);
            const bool incoming = i % 7 == 0;
            const QString end = at.toString(incoming ? QStringLiteral("yyyy年MM月dd日HH:mm:ss")
                                                     : QStringLiteral("yyyy年MM月dd日HH时mm分"));
            const bool account = i % 11 == 0;
            text(1, account ? QStringLiteral("账号%1").arg(user % 20, 3, 10, QLatin1Char('0'))
                            : QString::number(800 + user));
            text(2, QStringLiteral("0208765%1").arg(i % 10000, 4, 10, QLatin1Char('0')));
            text(3, end);
            text(4, QString::number(30 + i % 600));
            text(5, QStringLiteral("0.30"));
            text(6, incoming ? QStringLiteral("呼入") : areas.at(i % areas.size()));
            text(7, Money::fromRaw(3000 + (i % 997) * 100).toText());
            text(8, incoming ? QStringLiteral("9") : QString::number(i % 9));
            text(9, QStringLiteral("0.10"));
            text(10, QStringLiteral("0.20"));
            text(11, QStringLiteral("1.00"));
            text(12, i % 3 == 0 ? QStringLiteral("已结算") : QStringLiteral("未结算"));
            text(13, QStringLiteral("部门%1").arg(user / kGroupSize));
            text(14, QStringLiteral("用户%1").arg(user));
            if (sqlite3_step(add) != SQLITE_DONE) {
                why = QString::fromUtf8(sqlite3_errmsg(db.handle()));
                sqlite3_finalize(add);
                (void)db.rollback();
                return;
            }
            sqlite3_reset(add);
        }
        sqlite3_finalize(add);
        if (Status done = db.commit(); !done) {
            why = done.reason();
            return;
        }
        ok = true;
    }
};

World &world()
{
    static World w;
    return w;
}

// What the window shows first (the range's figures), the twelve months it
// fetches after them, and both, as the monthly report computes them.
enum class Part { Range, Months, All };

void run(benchmark::State &state, const TrafficStats::Selection &selection, Part part = Part::All)
{
    if (!world().ok) {
        state.SkipWithError(world().why.toUtf8().constData());
        return;
    }
    // A connection of its own, read only, as the window and the report use.
    Database db;
    if (Status s = TrafficStats::OpenForReading(db, world().ctx->home.switchDb(), world().ctx->databaseKey()); !s) {
        state.SkipWithError(s.reason().toUtf8().constData());
        return;
    }
    qint64 calls = 0;
    for (auto _ : state) {
        if (part == Part::Months) {
            const auto m = TrafficStats::Months(db, selection);
            if (!m) {
                state.SkipWithError(m.reason().toUtf8().constData());
                return;
            }
            calls = 0;
            for (const TrafficStats::Line &l : *m)
                calls += l.allCalls();
            continue;
        }
        const auto r =
            TrafficStats::Compute(db, selection, QDate(2027, 1, 1),
                                  part == Part::Range ? TrafficStats::Scope::RangeOnly : TrafficStats::Scope::All);
        if (!r) {
            state.SkipWithError(r.reason().toUtf8().constData());
            return;
        }
        calls = r->total.allCalls();
    }
    state.counters["records"] = double(calls);
    state.counters["stored"] = kStored;
}

TrafficStats::Selection range(const QDate &first, const QDate &last)
{
    TrafficStats::Selection s;
    s.first = first;
    s.last = last;
    s.states = CallQuery::StatesFor(0);
    return s;
}

const QDate kJuly(2026, 7, 1), kJulyEnd(2026, 7, 31);

void BM_Month(benchmark::State &state) { run(state, range(kJuly, kJulyEnd), Part::Range); }

void BM_TwelveMonthsToMonth(benchmark::State &state) { run(state, range(kJuly, kJulyEnd), Part::Months); }

void BM_MonthWithTwelveMonths(benchmark::State &state) { run(state, range(kJuly, kJulyEnd), Part::All); }

void BM_Year(benchmark::State &state) { run(state, range(QDate(2026, 1, 1), QDate(2026, 12, 31)), Part::Range); }

void BM_MonthOfOneGroup(benchmark::State &state)
{
    TrafficStats::Selection s = range(QDate(2026, 7, 1), QDate(2026, 7, 31));
    const auto callers =
        CallQuery::CallersFor(world().ctx->db, CallQuery::SelectMode::Group, {QStringLiteral("部门3")});
    s.everyCaller = false;
    s.callers = callers ? *callers : QStringList();
    run(state, s, Part::Range);
}

// What the first start after an update that changed the index costs: the
// end-time index built anew over the million records.
void BM_BuildEndTimeIndex(benchmark::State &state)
{
    if (!world().ok) {
        state.SkipWithError(world().why.toUtf8().constData());
        return;
    }
    Database &db = world().ctx->db;
    const auto sql = db.scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name=?"),
                               {QStringLiteral("idx_PHNBill_结束时间_话单类型_话单性质_总费用")});
    if (!sql || sql->isEmpty()) {
        state.SkipWithError("no end-time index");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        (void)db.exec(QStringLiteral("DROP INDEX \"idx_PHNBill_结束时间_话单类型_话单性质_总费用\""));
        state.ResumeTiming();
        if (Status s = db.exec(*sql); !s) {
            state.SkipWithError(s.reason().toUtf8().constData());
            return;
        }
    }
}

BENCHMARK(BM_Month)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwelveMonthsToMonth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonthWithTwelveMonths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Year)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonthOfOneGroup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildEndTimeIndex)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
