// A million stored call records; one group of 12 extensions for one month
// chooses about 10,000 of them. Reported: BuildPrintData, opening the
// settlement window and the bill window on them, and settling them.
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "DefaultRows.h"
#include "HomeKey.h"
#include "LedgerTable.h"
#include "MessageService.h"
#include "PrintStore.h"
#include "Schema.h"
#include "Settlement.h"
#include "frmDeposit.h"
#include "frmPHNBill.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace corvane;

namespace {

constexpr int kStored = 1000000;
constexpr int kUsers = 120;
constexpr int kMonths = 10;    // March to December
constexpr int kGroupSize = 12; // 10 groups of 12 extensions

struct World {
    QTemporaryDir dir;
    ScriptedMessageService messages;
    SystemClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    PrintStore store;
    CallQuery::Criteria criteria;
    bool ok = false;
    QString why;

    World()
    {
        ctx = std::make_unique<ConsoleContext>(HomePaths(dir.path()), messages, clock);
        QDir().mkpath(ctx->home.dataDir());
        Database &db = ctx->db;
        Status made = db.open(ctx->home.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create);
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
        for (int u = 0; u < kUsers; ++u) {
            (void)db.exec(
                QString::fromUtf8("UPDATE User SET 组名=?, 用户名称=?, 月租费='20.00' WHERE 物理端口=?"),
                {QStringLiteral("部门%1").arg(u / kGroupSize), QStringLiteral("用户%1").arg(u), QString::number(u)});
            (void)db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,?,?,?,?,?,?)"),
                          {QString::number(u), QString::number(800 + u), QString(), QStringLiteral("1"),
                           QStringLiteral("-3.00"), QStringLiteral("100.00"), QString(), QString::fromUtf8("×")});
        }
        sqlite3_stmt *add = nullptr;
        const QByteArray sql = QByteArrayLiteral("INSERT INTO PHNBill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        sqlite3_prepare_v2(db.handle(), sql.constData(), sql.size(), &add, nullptr);
        auto text = [&](int i, const QString &v) {
            const QByteArray u = v.toUtf8();
            sqlite3_bind_text(add, i, u.constData(), u.size(), SQLITE_TRANSIENT);
        };
        for (int i = 0; i < kStored; ++i) {
            const int user = i % kUsers;
            const int month = 3 + (i / kUsers) % kMonths;
            const int n = i / (kUsers * kMonths); // the caller's n-th call of that month
            const int day = 1 + n % 28, hour = (n / 28) % 24, minute = n % 60;
            const bool incoming = i % 7 == 0;
            const QString end = incoming ? QStringLiteral("2026年%1月%2日%3:%4:%5")
                                               .arg(month, 2, 10, QLatin1Char('0'))
                                               .arg(day, 2, 10, QLatin1Char('0'))
                                               .arg(hour, 2, 10, QLatin1Char('0'))
                                               .arg(minute, 2, 10, QLatin1Char('0'))
                                               .arg(i % 60, 2, 10, QLatin1Char('0'))
                                         : QStringLiteral("2026年%1月%2日%3时%4分")
                                               .arg(month, 2, 10, QLatin1Char('0'))
                                               .arg(day, 2, 10, QLatin1Char('0'))
                                               .arg(hour, 2, 10, QLatin1Char('0'))
                                               .arg(minute, 2, 10, QLatin1Char('0'));
            text(1, QString::number(800 + user));
            text(2, QStringLiteral("0208765%1").arg(i % 10000, 4, 10, QLatin1Char('0')));
            text(3, end);
            text(4, QString::number(30 + i % 600));
            text(5, QStringLiteral("0.30"));
            text(6, QString::fromUtf8("广州"));
            text(7, QStringLiteral("1.30"));
            text(8, incoming ? QStringLiteral("9") : QString::number(i % 9));
            text(9, QStringLiteral("0.10"));
            text(10, QStringLiteral("0.20"));
            text(11, QStringLiteral("1.00"));
            text(12, QString::fromUtf8("未结算"));
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
        Status done = db.commit();
        if (done)
            done = store.open(ctx->home.printDb());
        if (!done) {
            why = done.reason();
            return;
        }
        const auto callers = CallQuery::CallersFor(db, CallQuery::SelectMode::Group, {QStringLiteral("部门3")});
        criteria.callers = callers ? *callers : QStringList();
        criteria.types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        criteria.states = CallQuery::StatesFor(1);
        criteria.begin = QDateTime(QDate(2026, 7, 1), QTime(0, 0, 0));
        criteria.end = QDateTime(QDate(2026, 7, 31), QTime(23, 59, 59));
        ok = true;
    }
};

World &world()
{
    static World w;
    return w;
}

bool ready(benchmark::State &state)
{
    if (!world().ok) {
        state.SkipWithError(world().why.toUtf8().constData());
        return false;
    }
    return true;
}

void BM_BuildPrintData(benchmark::State &state)
{
    if (!ready(state))
        return;
    World &w = world();
    int listed = 0;
    for (auto _ : state) {
        const auto n = CallQuery::BuildPrintData(w.ctx->db, w.store, w.criteria);
        if (!n) {
            state.SkipWithError(n.reason().toUtf8().constData());
            return;
        }
        listed = *n;
    }
    state.counters["listed"] = listed;
    state.counters["stored"] = kStored;
}

// The same month in settlement mode: settled records left out, the rent
// looked up in the ledger, the deposit side of every caller.
void BM_BuildPrintDataSettling(benchmark::State &state)
{
    if (!ready(state))
        return;
    World &w = world();
    CallQuery::Criteria c = w.criteria;
    c.settling = true;
    c.day = QDate(2026, 7, 31);
    int listed = 0;
    for (auto _ : state) {
        const auto n = CallQuery::BuildPrintData(w.ctx->db, w.store, c);
        if (!n) {
            state.SkipWithError(n.reason().toUtf8().constData());
            return;
        }
        listed = *n;
    }
    state.counters["listed"] = listed;
}

void BM_OpenDeposit(benchmark::State &state)
{
    if (!ready(state))
        return;
    World &w = world();
    if (!CallQuery::BuildPrintData(w.ctx->db, w.store, w.criteria))
        return;
    for (auto _ : state) {
        frmDeposit d(*w.ctx, w.store);
        d.show();
        QApplication::processEvents();
    }
}

void BM_OpenBill(benchmark::State &state)
{
    if (!ready(state))
        return;
    World &w = world();
    const auto n = CallQuery::BuildPrintData(w.ctx->db, w.store, w.criteria);
    if (!n)
        return;
    for (auto _ : state) {
        frmPHNBill d(*w.ctx, w.store, std::make_shared<const BillList>(BillList::from(w.store.bills())));
        d.show();
        QApplication::processEvents();
    }
    state.counters["rows"] = *n;
}

void BM_Settle(benchmark::State &state)
{
    if (!ready(state))
        return;
    World &w = world();
    int marked = 0;
    for (auto _ : state) {
        state.PauseTiming();
        (void)w.ctx->db.exec(QString::fromUtf8("UPDATE PHNBill SET 话单性质='未结算' WHERE 话单性质='已结算'"));
        CallQuery::Criteria c = w.criteria;
        c.settling = true;
        c.day = QDate(2026, 7, 31);
        CallQuery::Chosen list;
        if (!CallQuery::BuildPrintData(w.ctx->db, w.store, c, &list))
            return;
        QStringList shown;
        for (const FeeRow &f : list.fees)
            shown << f.number;
        state.ResumeTiming();
        // Reads the rooms again inside its transaction, marks the records,
        // writes a ledger row per room, settles the deposits.
        const Settlement::Outcome out =
            Settlement::SettleRooms(w.ctx->db, w.store, Settlement::RequestFor(c, list, shown),
                                    {QStringLiteral("bench"), QDateTime(c.day, QTime(18, 0))});
        if (!out) {
            state.SkipWithError(out.status.reason().toUtf8().constData());
            return;
        }
        marked = out.marked;
    }
    state.counters["marked"] = marked;
    state.counters["ledger"] = double(LedgerTable(w.ctx->db).select({}, {}).value_or({}).size());
}

} // namespace

BENCHMARK(BM_BuildPrintData)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BuildPrintDataSettling)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenDeposit)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenBill)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Settle)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
