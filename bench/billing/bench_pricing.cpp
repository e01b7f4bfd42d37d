// Pricing throughput: one million calls against rate tables of 100, 1,000 and
// 10,000 rows with prefixes shaped like real ones (area codes, mobile number
// blocks, international and IP-dialling prefixes), and the cost of a call
// through the database-backed engine, which checks for changes every time.
#include "Database.h"
#include "FeeEngine.h"
#include "RateBook.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

using namespace corvane;

namespace {

QString num(std::mt19937 &rng, int digits)
{
    QString s;
    for (int i = 0; i < digits; ++i)
        s += QChar(u'0' + int(rng() % 10));
    return s;
}

FeerateRow row(const QString &prefix, const QString &area, const QString &type, bool discount)
{
    return {prefix,
            area,
            "180",
            "0.20",
            "60",
            "0.10",
            "0",
            "10",
            "0.50",
            "0",
            discount ? QStringLiteral("√") : QStringLiteral("×"),
            type};
}

// A rate table of about `size` rows: the type defaults, long-distance area
// codes (0 + 2 or 3 digits), international codes (00 + 1 to 3 digits), IP
// prefixes with an area code behind them, and mobile number blocks (3 to 7
// digits) filling the rest, in a shuffled table order.
RateTables makeTables(int size, std::mt19937 &rng)
{
    RateTables t;
    const char *types[] = {"港澳台", "国际",     "国内",   "移动电话", "信息台",
                           "本地",   "网络电话", "虚拟网", "市话",     "呼入"};
    for (int code = 0; code < 10; ++code) {
        t.feerate.append(row(QString(), QString::fromUtf8(types[code]) + "默认", QString::number(code), code == 8));
        DiscountRow d;
        d.type = QString::fromUtf8(types[code]);
        d.bandA = {"√", "00:00", "07:00", "50"};
        d.bandB = {"√", "21:00", "23:59", "70"};
        d.saturdayOn = "√";
        d.saturdayPercent = "80";
        d.sundayOn = "√";
        d.sundayPercent = "80";
        d.holidayOn = "√";
        d.holidayPercent = "60";
        t.discount.append(d);
    }
    t.holiday = {{"元旦", "01", "01"}, {"劳动节", "05", "01"}, {"国庆节", "10", "01"}};
    QList<FeerateRow> rows;
    const int areas = qMin(size / 4, 330);
    for (int i = 0; i < areas; ++i)
        rows.append(row(i < 30 ? "0" + QString::number(10 + i) : "0" + QString::number(310 + i), "地区", "2", true));
    const int intl = qMin(size / 10, 200);
    for (int i = 0; i < intl; ++i)
        rows.append(row("00" + QString::number(1 + i), "国家", "1", false));
    const int ip = qMin(size / 20, 100);
    for (int i = 0; i < ip; ++i)
        rows.append(row("17951" + QString("0%1").arg(10 + i), "IP", "6", false));
    for (int i = 0; rows.size() + t.feerate.size() < size; ++i)
        rows.append(
            row("1" + QString::number(3 + int(rng() % 7)) + num(rng, 1 + int(rng() % 5)), "移动", "3", i % 2 == 0));
    std::shuffle(rows.begin(), rows.end(), rng);
    t.feerate.append(rows);
    return t;
}

// Dialled numbers: mobile, long distance, local, international, IP and invalid ones.
std::vector<CallRec> makeCalls(int count, std::mt19937 &rng)
{
    std::vector<CallRec> calls;
    calls.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        CallRec c;
        const int kind = int(rng() % 100);
        if (kind < 40)
            c.Called = "1" + QString::number(3 + int(rng() % 7)) + num(rng, 9);
        else if (kind < 65)
            c.Called = "0" + QString::number(10 + int(rng() % 990)) + num(rng, 8);
        else if (kind < 85)
            c.Called = QString::number(2 + int(rng() % 7)) + num(rng, 7);
        else if (kind < 93)
            c.Called = "00" + num(rng, 10);
        else if (kind < 98)
            c.Called = "179510" + num(rng, 10);
        else
            c.Called = "000" + num(rng, 5);
        c.Duration = QString::number(rng() % 1800);
        c.EndTime = QStringLiteral("2026年%1月%2日%3时%4分")
                        .arg(1 + int(rng() % 12), 2, 10, QChar('0'))
                        .arg(1 + int(rng() % 28), 2, 10, QChar('0'))
                        .arg(int(rng() % 24), 2, 10, QChar('0'))
                        .arg(int(rng() % 60), 2, 10, QChar('0'));
        calls.push_back(c);
    }
    return calls;
}

void BM_PriceCalls(benchmark::State &state)
{
    std::mt19937 rng(7);
    const RateBook book(makeTables(int(state.range(0)), rng));
    std::vector<CallRec> calls = makeCalls(4096, rng);
    size_t i = 0;
    for (auto _ : state) {
        CallRec &c = calls[i++ & 4095];
        ComputeFee(book, c);
        benchmark::DoNotOptimize(c.Fee.constData());
    }
    state.counters["calls_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rows"] = double(book.feerateCount());
}
BENCHMARK(BM_PriceCalls)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(1000000)->Unit(benchmark::kNanosecond);

// The live path: the engine on an open database confirms for every call that
// no rate, discount or holiday changed since it read them.
void BM_PriceCallsThroughEngine(benchmark::State &state)
{
    QTemporaryDir dir;
    Database db;
    if (!db.open(dir.filePath("Switch.mdb"), "vosquirnel", Database::OpenMode::Create)) {
        state.SkipWithError("cannot create the database");
        return;
    }
    (void)db.execScript("CREATE TABLE Feerate (区号, 地区, 首次时长, 首次费率, 单位时长, 单位费率, 单位手续费, "
                        "手续费百分比, 每次服务费, 服务费百分比, 折价, 类型);"
                        "CREATE TABLE Discount (类型, a1, a2, a3, a4, b1, b2, b3, b4, s1, s2, u1, u2, h1, h2);"
                        "CREATE TABLE Holiday (节日, 月份, 日期)");
    std::mt19937 rng(7);
    const RateTables tables = makeTables(int(state.range(0)), rng);
    (void)db.beginTransaction();
    for (const FeerateRow &r : tables.feerate) {
        QVariantList p;
        for (const QString &v : r.columns())
            p << v;
        (void)db.exec("INSERT INTO Feerate VALUES (?,?,?,?,?,?,?,?,?,?,?,?)", p);
    }
    for (const DiscountRow &r : tables.discount) {
        QVariantList p;
        for (const QString &v : r.columns())
            p << v;
        (void)db.exec("INSERT INTO Discount VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", p);
    }
    (void)db.commit();
    FeeEngine engine(db);
    std::vector<CallRec> calls = makeCalls(4096, rng);
    size_t i = 0;
    for (auto _ : state) {
        CallRec &c = calls[i++ & 4095];
        engine.ComputeFee(c);
        benchmark::DoNotOptimize(c.Fee.constData());
    }
    state.counters["calls_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["table_reads"] = engine.loadCount();
}
BENCHMARK(BM_PriceCallsThroughEngine)->Arg(1000)->Iterations(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
