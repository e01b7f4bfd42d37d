// The whole call-record intake, from the frame's bytes entering the receive
// ring to the committed PHNBill row and the acknowledgement written to the
// port, on a database that already holds a million call records and a rate
// table of a thousand rows. Reports the median and 99th percentile time per
// record and the records handled per second.
#include "CallIntake.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DefaultRows.h"
#include "FeeEngine.h"
#include "FrameHandlers.h"
#include "HomeKey.h"
#include "Schema.h"
#include "SwitchLink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sqlite3.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace corvane;

namespace {

constexpr int kBills = 1000000;
constexpr int kRates = 1000;

struct IntakeOnly : FrameHandlers {
    CallIntake *intake = nullptr;
    int ProcessCallRecord(const QByteArray &frame) override { return intake->ProcessCallRecord(frame); }
};

// A pseudo-terminal whose slave side the console opens as a serial port; the
// master side is only drained.
struct Pty {
    int master = -1;
    QString slave;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = QString::fromLocal8Bit(ptsname(master));
        const int fd = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            termios tio{};
            tcgetattr(fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
            ::close(fd);
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    qint64 drain()
    {
        char buf[4096];
        qint64 total = 0;
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            total += n;
        return total;
    }
};

QString money(int cents) { return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0')); }

Status buildDatabase(Database &db, std::mt19937 &rng)
{
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    if (Status s = createSchema(db, switchTables()); !s)
        return s;
    if (Status s = insertDefaultRows(db, QStringLiteral("admin")); !s)
        return s;

    Transaction tx(db);
    // A rate table of a thousand rows: the default row of every type and
    // prefixes of two to seven digits.
    if (Status s = db.exec(QStringLiteral("DELETE FROM Feerate WHERE 区号<>''")); !s)
        return s;
    const int defaults = db.scalar(QStringLiteral("SELECT count(*) FROM Feerate"))->toInt();
    for (int i = defaults; i < kRates; ++i) {
        QString prefix = QStringLiteral("0");
        const int len = rnd(2, 7);
        while (prefix.size() < len)
            prefix += QChar(u'0' + rnd(0, 9));
        if (Status s = db.exec(QStringLiteral("INSERT INTO Feerate VALUES (?,?,'60',?,'60',?,'0','0','0','0','×',?)"),
                               {prefix, QStringLiteral("地区%1").arg(i), money(rnd(5, 90)), money(rnd(5, 90)),
                                QString::number(rnd(0, 7))});
            !s)
            return s;
    }
    // Deposits on every fourth extension and on ten accounts.
    for (int port = 0; port < 120; port += 4)
        if (Status s = db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,'户','4','500.00','500.00','','×')"),
                               {QString::number(port), QString::number(800 + port)});
            !s)
            return s;
    for (int a = 1; a <= 10; ++a) {
        const QString n = QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0'));
        if (Status s = db.exec(QStringLiteral("INSERT INTO Account VALUES (?,?,'4','0','1234','押金')"),
                               {n, n + QStringLiteral("账号")});
            !s)
            return s;
        if (Status s = db.exec(QStringLiteral("INSERT INTO Foregift VALUES (?,'账号',?,'4','2.00','2.00','1234','√')"),
                               {n, n + QStringLiteral("账号")});
            !s)
            return s;
    }

    // A million call records through one prepared statement; the indexes are
    // built once afterwards, which is much faster than keeping them up to date.
    const auto indexes = db.select(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type='index' AND tbl_name='PHNBill' AND sql IS NOT NULL"));
    if (!indexes)
        return indexes.status();
    for (const QStringList &ix : *indexes)
        if (Status s = db.exec(QStringLiteral("DROP INDEX ") + Database::quoteId(ix[0])); !s)
            return s;
    sqlite3_stmt *stmt = nullptr;
    const char *sql = "INSERT INTO PHNBill VALUES (?,?,?,?,'0.10','市话',?,'8','0.00','0.00',?,?,'','')";
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &stmt, nullptr) != SQLITE_OK)
        return Status::fail(QString::fromUtf8(sqlite3_errmsg(db.handle())));
    bool ok = true;
    for (int i = 0; i < kBills && ok; ++i) {
        const QByteArray caller = QByteArray::number(800 + rnd(0, 119));
        const QByteArray called = QByteArray::number(rnd(2000000, 8999999));
        const QByteArray end = QStringLiteral("2025年%1月%2日%3时%4分")
                                   .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                   .arg(1 + (i / 12) % 28, 2, 10, QLatin1Char('0'))
                                   .arg((i / 336) % 24, 2, 10, QLatin1Char('0'))
                                   .arg((i / 8064) % 60, 2, 10, QLatin1Char('0'))
                                   .toUtf8();
        const QByteArray duration = QByteArray::number(rnd(1, 3600));
        const QByteArray fee = money(rnd(20, 900)).toUtf8();
        const QByteArray state = (i < kBills * 9 / 10 ? QStringLiteral("已结算") : QStringLiteral("未结算")).toUtf8();
        sqlite3_bind_text(stmt, 1, caller.constData(), caller.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, called.constData(), called.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, end.constData(), end.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, duration.constData(), duration.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, fee.constData(), fee.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 6, fee.constData(), fee.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 7, state.constData(), state.size(), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (!ok)
        return Status::fail(QString::fromUtf8(sqlite3_errmsg(db.handle())));
    for (const QStringList &ix : *indexes)
        if (Status s = db.exec(ix[1]); !s)
            return s;
    if (Status s = tx.commit(); !s)
        return s;
    // Start from a folded-in journal, as a console running for a while would.
    return db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// A record with its own end time, so that none is taken for a repeat; no
// byte of the body is 0xFF.
QByteArray nextFrame(int seq, std::mt19937 &rng)
{
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto bcd = [](int v) { return char(((v / 10) << 4) | (v % 10)); };
    const bool account = seq % 10 == 0;
    const int line = account ? 1 + seq % 10 : rnd(0, 119);
    const int trunk = 1 + seq % 12;
    const int lineWord = (trunk << 10) | line;
    QByteArray f(23, '\0');
    f[0] = char(0xFF);
    f[1] = char(0xFE);
    f[2] = char(lineWord >> 8);
    f[3] = char(lineWord & 0xFF);
    f[4] = bcd(1 + (seq / 40320) % 12);
    f[5] = bcd(1 + (seq / 1440) % 28);
    f[6] = bcd((seq / 60) % 24);
    f[7] = char((account ? 0x80 : 0) | bcd(seq % 60));
    const int duration = rnd(0, 3600);
    f[8] = char(duration >> 8);
    f[9] = char(duration & 0xFF);
    // Half the calls go to a prefix of the rate table, half are city calls.
    const int digits = rnd(7, 12);
    QByteArray nibbles;
    for (int i = 0; i < digits; ++i) {
        const int d = (i == 0 && seq % 2) ? 0 : rnd(0, 9);
        nibbles.append(char(d == 0 ? 0xA : d));
    }
    for (int i = 0; i < 7; ++i) {
        const quint8 hi = i * 2 < nibbles.size() ? quint8(nibbles[i * 2]) : 0;
        const quint8 lo = i * 2 + 1 < nibbles.size() ? quint8(nibbles[i * 2 + 1]) : 0;
        f[10 + i] = char((hi << 4) | lo);
    }
    unsigned sum = 0;
    for (int i = 1; i <= 21; ++i)
        sum += quint8(f[i]);
    f[22] = char(sum);
    return f;
}

struct Console {
    QTemporaryDir dir;
    ScriptedMessageService messages;
    SystemClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    Pty switchSide, outSide;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<FeeEngine> fees;
    std::unique_ptr<CallIntake> intake;
    IntakeOnly handlers;
    QString error;
    double buildSeconds = 0;

    Console()
    {
        ctx = std::make_unique<ConsoleContext>(HomePaths(dir.path()), messages, clock);
        QDir().mkpath(ctx->home.dataDir());
        QDir().mkpath(ctx->home.portsDir());
        QDir().mkpath(dir.filePath(QStringLiteral("bills")));
        std::mt19937 rng(1);
        QElapsedTimer t;
        t.start();
        Status built = ctx->db.open(ctx->home.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create);
        if (built)
            built = buildDatabase(ctx->db, rng);
        if (!built) {
            error = QStringLiteral("database not built: ") + built.reason();
            return;
        }
        buildSeconds = t.elapsed() / 1000.0;
        (void)ctx->db.exec(QStringLiteral("UPDATE SWTConfig SET 话单文件路径=?"),
                           {dir.filePath(QStringLiteral("bills")) + QLatin1Char('/')});
        QFile::link(switchSide.slave, ctx->home.portsDir() + QStringLiteral("/COM1"));
        QFile::link(outSide.slave, ctx->home.portsDir() + QStringLiteral("/COM2"));
        link = std::make_unique<SwitchLink>(*ctx);
        ctx->link = link.get();
        if (!link->OpenPort(1) || !link->OpenOutPort(2)) {
            error = QStringLiteral("ports not opened");
            return;
        }
        fees = std::make_unique<FeeEngine>(ctx->db);
        intake = std::make_unique<CallIntake>(*ctx, *fees);
        handlers.intake = intake.get();
        link->setFrameHandlers(&handlers);
    }
};

Console &console()
{
    static Console c;
    return c;
}

// durable: every record's commit waits for the disk (synchronous=FULL, as
// the console runs). Otherwise the commit does not wait for the disk: the
// same work without the device flush, to tell the two costs apart.
void runIntake(benchmark::State &state, bool durable)
{
    Console &c = console();
    if (!c.error.isEmpty()) {
        state.SkipWithError(c.error.toStdString().c_str());
        return;
    }
    (void)c.ctx->db.exec(durable ? QStringLiteral("PRAGMA synchronous=FULL")
                                 : QStringLiteral("PRAGMA synchronous=NORMAL"));
    static int seq = 0;
    std::mt19937 rng(7);
    std::vector<double> ms;
    ms.reserve(size_t(state.max_iterations));
    qint64 acks = 0, failed = 0;
    for (auto _ : state) {
        const QByteArray frame = nextFrame(seq++, rng);
        const auto start = std::chrono::steady_clock::now();
        c.link->ReceiveBytes(frame);
        c.link->mscPort.flush(); // the acknowledgement leaves the port
        c.link->mscOut.flush();
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (c.intake->lastOutcome() != CallIntake::Outcome::Stored)
            ++failed;
        acks += c.switchSide.drain();
        c.outSide.drain();
    }
    if (failed)
        state.SkipWithError("records not stored");
    std::sort(ms.begin(), ms.end());
    auto pct = [&](double p) { return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))]; };
    double total = 0;
    for (double v : ms)
        total += v;
    state.counters["p50_ms"] = pct(0.50);
    state.counters["p90_ms"] = pct(0.90);
    state.counters["p95_ms"] = pct(0.95);
    state.counters["p99_ms"] = pct(0.99);
    state.counters["max_ms"] = ms.empty() ? 0.0 : ms.back();
    state.counters["records_per_s"] = total > 0 ? 1000.0 * double(ms.size()) / total : 0.0;
    state.counters["ack_bytes"] = double(acks);
    state.counters["db_build_s"] = c.buildSeconds;
    (void)c.ctx->db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

void BM_CallIntake(benchmark::State &state) { runIntake(state, true); }
void BM_CallIntakeWithoutDiskFlush(benchmark::State &state) { runIntake(state, false); }
BENCHMARK(BM_CallIntake)->Iterations(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CallIntakeWithoutDiskFlush)->Iterations(5000)->Unit(benchmark::kMillisecond);

} // namespace
