// A clerk's day on the homes of a busy hotel: one year (a million call
// records) and three years (three million), generated once and kept in the
// cache folder (BigHome.h). The real console is started on a copy of each
// home, with a switch of the benchmark's own on a pseudo-terminal, and its
// windows are driven on the offscreen platform as a clerk would use them.
//
// For each step: the time until it is answered (the list on screen with its
// count and totals, the figures drawn, the file written), and the longest
// stall of the interface thread meanwhile: the longest gap between two
// ticks of a 5 ms probe timer. While the biggest list is built the switch
// sends a call record every 100 ms and times each acknowledgement.
//
//     QT_QPA_PLATFORM=offscreen build-release/bench/app/bench_clerk_day
//     CORVANE_BENCH_HOMES=1 ...    (only the one-year home)
#include "BigHome.h"
#include "ConsoleContext.h"
#include "Frames.h"
#include "HomeKey.h"
#include "OwnTables.h"
#include "SwitchLink.h"
#include "frmDeposit.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmOperatorRecord.h"
#include "frmPHNBill.h"
#include "frmPHNQuery.h"
#include "frmPHNStat.h"
#include "frmSettleLedger.h"
#include "mdlMain.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace corvane;

namespace {

// Bumped whenever the console's start changes what it adds to an older home
// (indexes, summaries): the cached copy brought up to date is made again.
const QString kLayout = QStringLiteral("layout-2");
const QDate kToday(2026, 12, 15);

// The system clock moved to the homes' last day, so that "this month" is the
// month the records end in; timers are the system's.
class ShiftedClock : public SystemClock {
public:
    ShiftedClock() : m_shift(QDateTime::currentDateTime().secsTo(QDateTime(kToday, QTime(10, 0)))) {}
    QDateTime now() const override { return SystemClock::now().addSecs(m_shift); }

private:
    qint64 m_shift;
};

qint64 memoryKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The longest gap between two ticks of a 5 ms timer on the interface thread.
class Probe {
public:
    Probe()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start();
    }
    void reset()
    {
        m_last = m_clock.nsecsElapsed();
        m_maxGap = 0;
    }
    double stallMs() const { return double(std::max(m_maxGap, m_clock.nsecsElapsed() - m_last)) / 1e6; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_maxGap = 0;
};

// The switch on a pseudo-terminal, in a thread of its own so that it goes on
// sending while the console's interface thread is busy: link-alive frames
// every 300 ms and, while measuring, a call record whenever the last one was
// acknowledged and 100 ms have passed, timing frame to acknowledgement.
class ThreadSwitch {
public:
    bool open(const QString &linkPath)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return false;
        const QString slave = QString::fromLocal8Bit(::ptsname(m_master));
        m_slave = ::open(QFile::encodeName(slave).constData(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        QFile::remove(linkPath);
        if (!QFile::link(slave, linkPath))
            return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }
    ~ThreadSwitch()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    void measure(bool on)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (on)
            m_latencies.clear();
        m_measuring = on;
    }
    QList<double> latencies()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_latencies;
    }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        auto lastAlive = Clock::now(), lastRecord = Clock::now(), sentAt = Clock::now();
        bool waiting = false;
        int alive = 0, serial = 0;
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0) {
                char buf[512];
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                for (ssize_t i = 0; i < n && waiting; ++i)
                    if (quint8(buf[i]) == 0x5A) {
                        waiting = false;
                        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sentAt).count();
                        std::lock_guard<std::mutex> lock(m_mutex);
                        if (m_measuring)
                            m_latencies.append(ms);
                    }
            }
            const auto now = Clock::now();
            if (now - lastAlive > std::chrono::milliseconds(300)) {
                const QByteArray f = sim::Frames::linkAlive(quint8(alive++));
                (void)::write(m_master, f.constData(), size_t(f.size()));
                lastAlive = now;
            }
            bool measuring;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                measuring = m_measuring;
            }
            if (measuring && !waiting && now - lastRecord > std::chrono::milliseconds(100)) {
                sim::CallRecordData r;
                r.trunk = 1;
                r.line = 50;
                r.month = kToday.month();
                r.day = kToday.day();
                r.hour = 6 + (serial / 60) % 12;
                r.minute = serial % 60;
                r.duration = quint16(30 + serial % 200);
                r.called = QStringLiteral("5%1").arg(1000000 + serial);
                ++serial;
                const QByteArray f = sim::Frames::callRecord(r);
                sentAt = Clock::now();
                (void)::write(m_master, f.constData(), size_t(f.size()));
                waiting = true;
                lastRecord = now;
            }
        }
    }

    int m_master = -1, m_slave = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    bool m_measuring = false;
    QList<double> m_latencies;
};

double percentile(QList<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5)));
}

// Lets events run until done() holds or the limit passes.
bool waitUntil(const std::function<bool()> &done, int limitMs = 600000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Work the console does beside the interface thread is done (a model that
// sorts or filters in the background says so by its property "busy").
bool idle(const QObject *o) { return !o->property("busy").toBool(); }

template <class T>
T *child(QObject *in, const QString &name)
{
    return in->findChild<T *>(name);
}

struct Session {
    bench::BigHomePlan plan;
    QString why;
    QString root;
    ShiftedClock clock;
    ScriptedMessageService messages;
    std::unique_ptr<ConsoleContext> ctx;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<ThreadSwitch> sw;
    Probe probe;
    QElapsedTimer since;
    // What the runModal hook does with the window of this object name.
    std::map<QString, std::function<void(QDialog &)>> modal;
    double upgradeMs = -1;

    double ms() const { return double(since.nsecsElapsed()) / 1e6; }
    void mark()
    {
        since.restart();
        probe.reset();
    }
};

std::map<int, std::unique_ptr<Session>> g_sessions;

Session *session(int years, benchmark::State &state)
{
    auto &s = g_sessions[years];
    if (s && s->why.isEmpty() && s->ctx)
        return s.get();
    if (s && !s->why.isEmpty()) {
        state.SkipWithError(s->why.toUtf8().constData());
        return nullptr;
    }
    s = std::make_unique<Session>();
    s->plan.years = years;
    auto fail = [&](const QString &why) -> Session * {
        s->why = why;
        state.SkipWithError(why.toUtf8().constData());
        return nullptr;
    };
    const auto pristine = bench::EnsureBigHome(s->plan);
    if (!pristine)
        return fail(pristine.reason());
    // The home as this console leaves it after its first start on it: what a
    // newer console adds to an older home is made once, and timed.
    const QString upgraded = bench::BenchCacheDir() + QLatin1Char('/') + s->plan.name() + QLatin1Char('-') + kLayout;
    const QString upgradeNote = upgraded + QStringLiteral(".upgrade-ms");
    if (!QFileInfo::exists(upgraded + QStringLiteral("/data/Switch.mdb"))) {
        const QString building = upgraded + QStringLiteral(".building");
        if (Status c = bench::CopyHome(*pristine, building); !c)
            return fail(c.reason());
        Database db;
        if (Status o = db.open(HomePaths(building).switchDb(),
                               HomeDatabaseKey(HomePaths(building)).value_or(LegacyDatabaseKey()));
            !o)
            return fail(o.reason());
        QElapsedTimer t;
        t.start();
        if (Status u = BringOwnTablesUpToDate(db, QDateTime(kToday, QTime(8, 0))); !u)
            return fail(u.reason());
        const qint64 took = t.elapsed();
        (void)db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.close();
        QFile note(upgradeNote);
        if (note.open(QIODevice::WriteOnly))
            note.write(QByteArray::number(took));
        note.close();
        if (!QDir().rename(building, upgraded))
            return fail(QStringLiteral("cannot rename %1").arg(building));
    }
    QFile note(upgradeNote);
    if (note.open(QIODevice::ReadOnly))
        s->upgradeMs = note.readAll().toDouble();
    s->root = bench::BenchCacheDir() + QStringLiteral("/work-") + s->plan.name();
    if (Status c = bench::CopyHome(upgraded, s->root); !c)
        return fail(c.reason());
    s->ctx = std::make_unique<ConsoleContext>(HomePaths(s->root), s->messages, s->clock);
    s->sw = std::make_unique<ThreadSwitch>();
    if (!s->sw->open(s->root + QStringLiteral("/ports/COM1")))
        return fail(QStringLiteral("no pseudo-terminal for the switch"));
    Session *raw = s.get();
    s->ctx->runModal = [raw](QDialog &d) {
        d.show();
        (void)QTest::qWaitForWindowExposed(&d);
        if (const auto h = raw->modal.find(d.objectName()); h != raw->modal.end())
            h->second(d);
        return d.result();
    };
    return s.get();
}

void report(benchmark::State &state, double ms, double stallMs)
{
    state.SetIterationTime(ms / 1000.0);
    state.counters["stall_ms"] = stallMs;
}

// Start to the login window, and to the main window after the login.
void BM_Start(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        double loginMs = -1, loginStall = -1;
        s->modal[QStringLiteral("frmLogin")] = [&](QDialog &d) {
            loginMs = s->ms();
            loginStall = s->probe.stallMs();
            auto &login = static_cast<frmLogin &>(d);
            login.txtCode->setText(s->plan.adminPassword);
            login.cmdOK->click();
        };
        s->mark();
        s->main = Main(*s->ctx);
        if (!s->main) {
            state.SkipWithError("the console did not start");
            return;
        }
        const double mainMs = s->ms();
        // A check the start left running beside the console ends first.
        QObject *check = qApp->findChild<QObject *>(QStringLiteral("startupCheck"));
        waitUntil([&] { return !check || check->property("done").toBool(); });
        const double checkMs = s->ms();
        report(state, loginMs, loginStall);
        state.counters["main_ms"] = mainMs;
        state.counters["checked_ms"] = checkMs;
        state.counters["upgrade_ms"] = s->upgradeMs;
        state.counters["boxes"] = double(s->messages.shown().size());
        // The intake while nothing else runs.
        waitUntil([&] { return s->ctx->link && s->ctx->link->LinkUp(); }, 10000);
        s->sw->measure(true);
        waitUntil([] { return false; }, 3000);
        s->sw->measure(false);
        const QList<double> idleAcks = s->sw->latencies();
        state.counters["idle_ack_p99_ms"] = percentile(idleAcks, 0.99);
        state.counters["idle_acks"] = double(idleAcks.size());
    }
}

// The query window on the home's console, its users chosen by `choose`.
struct Query {
    std::unique_ptr<frmPHNQuery> w;
    double openMs = 0;
};

Query openQuery(Session &s)
{
    Query q;
    s.mark();
    q.w = std::make_unique<frmPHNQuery>(*s.ctx, s.main.get());
    q.w->show();
    q.openMs = s.ms();
    return q;
}

struct Answer {
    double ms = -1, stallMs = -1;
    int rows = -1;
    QString label;
};

// Presses 开始处理 and waits for the list window; `inside` runs in it.
Answer deal(Session &s, frmPHNQuery &q, const QString &window, const std::function<void(QDialog &)> &inside = {})
{
    Answer a;
    bool done = false;
    s.modal[window] = [&](QDialog &d) {
        a.ms = s.ms();
        a.stallMs = s.probe.stallMs();
        if (auto *view = d.findChild<QTableView *>())
            a.rows = view->model()->rowCount();
        if (auto *l = child<QLabel>(&d, QStringLiteral("lblInformation")))
            a.label = l->text();
        if (inside)
            inside(d);
        done = true;
    };
    s.mark();
    q.cmdDeal->click();
    waitUntil([&] { return done; });
    s.modal.erase(window);
    return a;
}

void chooseAll(frmPHNQuery &q, int billOption, bool range = false, const QDate &first = {}, const QDate &last = {})
{
    q.optCommon->click();
    q.cmdSelectAll->click();
    q.optBill[billOption]->click();
    q.chkON->setChecked(range);
    if (range) {
        q.dtpDateBegin->setDate(first);
        q.dtpTimeBegin->setTime(QTime(0, 0, 0));
        q.dtpDateEnd->setDate(last);
        q.dtpTimeEnd->setTime(QTime(23, 59, 59));
    }
}

void answerCounters(benchmark::State &state, const Answer &a)
{
    report(state, a.ms, a.stallMs);
    state.counters["rows"] = a.rows;
}

// 全部选定 → 未结算 → 开始处理.
void BM_Unsettled(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        Query q = openQuery(*s);
        chooseAll(*q.w, 1);
        const Answer a = deal(*s, *q.w, QStringLiteral("frmPHNBill"));
        answerCounters(state, a);
        state.counters["window_ms"] = q.openMs;
    }
}

// One room, every record it ever made.
void BM_OneRoom(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        Query q = openQuery(*s);
        q.w->optCommon->click();
        q.w->cmdClear->click();
        const auto items = q.w->lstUser->findItems(QStringLiteral("850--"), Qt::MatchStartsWith);
        if (!items.isEmpty())
            items.first()->setSelected(true);
        q.w->optBill[0]->click();
        answerCounters(state, deal(*s, *q.w, QStringLiteral("frmPHNBill")));
    }
}

// Last month of every room; with `exportIt`, the list to a workbook.
void BM_Month(benchmark::State &state, int years, bool exportIt)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        Query q = openQuery(*s);
        chooseAll(*q.w, 0, true, QDate(2026, 11, 1), QDate(2026, 11, 30));
        double exportMs = -1, exportStall = -1;
        const QString book = s->root + QStringLiteral("/month.xlsx");
        const Answer a = deal(*s, *q.w, QStringLiteral("frmPHNBill"), [&](QDialog &d) {
            if (!exportIt)
                return;
            static_cast<frmPHNBill &>(d).setExportPathAsker([&](const QString &) { return book; });
            s->messages.clear();
            s->mark();
            child<QPushButton>(&d, QStringLiteral("cmdExport"))->click();
            waitUntil(
                [&] { return s->messages.last() && s->messages.last()->text.contains(QStringLiteral("已导出")); });
            exportMs = s->ms();
            exportStall = s->probe.stallMs();
        });
        if (exportIt) {
            report(state, exportMs, exportStall);
            state.counters["rows"] = a.rows;
            state.counters["bytes"] = double(QFileInfo(book).size());
        } else {
            answerCounters(state, a);
        }
    }
}

// Every record of every room: the biggest list, its sort and filter, the
// memory with it open, and the intake while it is built.
void BM_Everything(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        Query q = openQuery(*s);
        chooseAll(*q.w, 0);
        double sortMs = -1, sortStall = -1, filterMs = -1, filterStall = -1, rssListed = -1;
        int filtered = -1;
        s->sw->measure(true);
        const Answer a = deal(*s, *q.w, QStringLiteral("frmPHNBill"), [&](QDialog &d) {
            s->sw->measure(false);
            auto *view = d.findChild<QTableView *>();
            QAbstractItemModel *model = view->model();
            waitUntil([&] { return idle(model); });
            rssListed = double(memoryKb("VmRSS:")) / 1024;
            // A click on 总费用.
            QHeaderView *header = view->horizontalHeader();
            s->mark();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(6) + 4, header->height() / 2));
            QCoreApplication::processEvents();
            waitUntil([&] { return idle(model); });
            sortMs = s->ms();
            sortStall = s->probe.stallMs();
            // One keystroke in the filter box.
            auto *filter = child<QLineEdit>(&d, QStringLiteral("txtFilter"));
            filter->setFocus();
            s->mark();
            // As an input method hands it over: no key has it.
            QInputMethodEvent typed;
            typed.setCommitString(QStringLiteral("京"));
            QCoreApplication::sendEvent(filter, &typed);
            QCoreApplication::processEvents();
            waitUntil([&] { return idle(model); });
            filterMs = s->ms();
            filterStall = s->probe.stallMs();
            filtered = model->rowCount();
        });
        s->sw->measure(false);
        const QList<double> acks = s->sw->latencies();
        answerCounters(state, a);
        state.counters["sort_ms"] = sortMs;
        state.counters["sort_stall_ms"] = sortStall;
        state.counters["filter_ms"] = filterMs;
        state.counters["filter_stall_ms"] = filterStall;
        state.counters["filtered"] = filtered;
        state.counters["rss_mb"] = rssListed;
        state.counters["peak_mb"] = double(memoryKb("VmHWM:")) / 1024;
        state.counters["acks"] = double(acks.size());
        state.counters["ack_p99_ms"] = percentile(acks, 0.99);
        state.counters["ack_max_ms"] = percentile(acks, 1.0);
    }
}

// 分组选定 5楼 → 话费结算 → 未结算, then 结算.
void BM_FloorSettlement(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        Query q = openQuery(*s);
        q.w->optGroup->click();
        q.w->cmdClear->click();
        const auto items = q.w->lstUser->findItems(QStringLiteral("5楼"), Qt::MatchExactly);
        if (!items.isEmpty())
            items.first()->setSelected(true);
        q.w->optDeposit->click();
        q.w->optBill[1]->click();
        double settleMs = -1, settleStall = -1;
        QString settled;
        const Answer a = deal(*s, *q.w, QStringLiteral("frmDeposit"), [&](QDialog &d) {
            auto &w = static_cast<frmDeposit &>(d);
            s->messages.queueAnswer(MessageService::Answer::Yes);
            s->messages.queueAnswer(MessageService::Answer::No);
            s->mark();
            w.cmdDeposit->click();
            waitUntil([&] {
                return w.lblInformation->text() == QStringLiteral("处理完毕！")
                       || (w.isReady() && !w.cmdDeposit->isEnabled());
            });
            settleMs = s->ms();
            settleStall = s->probe.stallMs();
            settled = w.lblSettled->text();
        });
        report(state, a.ms + settleMs, std::max(a.stallMs, settleStall));
        state.counters["list_ms"] = a.ms;
        state.counters["settle_ms"] = settleMs;
        state.counters["rooms"] = a.rows;
        const QRegularExpression n(QStringLiteral("共(\\d+)条"));
        state.counters["records"] = n.match(settled).captured(1).toDouble();
    }
}

// The statistics window: this month with its twelve months, then a year.
void BM_Statistics(benchmark::State &state, int years, bool wholeYear)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        s->mark();
        frmPHNStat w(*s->ctx, s->main.get());
        w.show();
        auto drawn = [&] { return !w.busy() && w.shown() && !w.shown()->months.isEmpty(); };
        waitUntil(drawn);
        double ms = s->ms(), stall = s->probe.stallMs();
        if (wholeYear) {
            w.dtpDateBegin->setDate(QDate(2026, 1, 1));
            w.dtpDateEnd->setDate(QDate(2026, 12, 31));
            s->mark();
            w.cmdStat->click();
            QCoreApplication::processEvents();
            waitUntil(drawn);
            ms = s->ms();
            stall = s->probe.stallMs();
        }
        report(state, ms, stall);
        state.counters["calls"] = w.shown() ? double(w.shown()->total.allCalls()) : -1;
    }
}

// The ledger of this month and the usage record.
void BM_Ledger(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        s->mark();
        frmSettleLedger w(*s->ctx, s->main.get());
        w.show();
        QAbstractItemModel *model = w.hfgLedger->model();
        waitUntil([&] { return idle(&w) && idle(model); });
        report(state, s->ms(), s->probe.stallMs());
        state.counters["rows"] = model->rowCount();
    }
}

void BM_UsageRecord(benchmark::State &state, int years)
{
    for (auto _ : state) {
        Session *s = session(years, state);
        if (!s)
            return;
        s->mark();
        frmOperatorRecord w(*s->ctx, s->main.get());
        w.show();
        waitUntil([&] { return idle(&w); });
        report(state, s->ms(), s->probe.stallMs());
    }
}

// The console ends; the copy stays for a look afterwards.
void BM_End(benchmark::State &state, int years)
{
    for (auto _ : state) {
        auto &s = g_sessions[years];
        if (s) {
            s->main.reset();
            if (s->ctx)
                s->ctx->db.close();
            s.reset();
        }
    }
}

void registerHome(int years)
{
    const QString h = QStringLiteral("%1y/").arg(years);
    auto add = [&](const char *name, auto fn) {
        benchmark::RegisterBenchmark((h + QString::fromLatin1(name)).toUtf8().constData(), fn)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    };
    add("start_to_login", [years](benchmark::State &s) { BM_Start(s, years); });
    add("unsettled_all_rooms", [years](benchmark::State &s) { BM_Unsettled(s, years); });
    add("one_room", [years](benchmark::State &s) { BM_OneRoom(s, years); });
    add("month_all_rooms", [years](benchmark::State &s) { BM_Month(s, years, false); });
    add("month_to_xlsx", [years](benchmark::State &s) { BM_Month(s, years, true); });
    add("everything_no_range", [years](benchmark::State &s) { BM_Everything(s, years); });
    add("floor_settlement", [years](benchmark::State &s) { BM_FloorSettlement(s, years); });
    add("month_statistics", [years](benchmark::State &s) { BM_Statistics(s, years, false); });
    add("year_statistics", [years](benchmark::State &s) { BM_Statistics(s, years, true); });
    add("ledger", [years](benchmark::State &s) { BM_Ledger(s, years); });
    add("usage_record", [years](benchmark::State &s) { BM_UsageRecord(s, years); });
    add("end", [years](benchmark::State &s) { BM_End(s, years); });
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList homes =
        qEnvironmentVariable("CORVANE_BENCH_HOMES", QStringLiteral("1,3")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &y : homes)
        registerHome(y.toInt());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_sessions.clear();
    return 0;
}
