// The intake behind the real link, against the simulated switch over a
// pseudo-terminal: frames split at random, line noise, wrong checksums and
// acknowledgements that get lost. Every call must end up stored exactly once,
// priced right, and charged to its deposit once.
#include "CallIntake.h"
#include "CallRecordDecoder.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "FeeEngine.h"
#include "IntakeFixture.h"
#include "Recordset.h"
#include "SwitchLink.h"
#include "SwitchSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace corvane;
using namespace corvane::test;

namespace {

// The tariffs of the test's rate table, in cents, worked out here on their own.
struct Tariff {
    QString prefix;
    int firstSeconds, firstCents, unitSeconds, unitCents, serviceCents;
};
const QList<Tariff> kTariffs{
    {"", 180, 20, 60, 10, 0},  // city default
    {"13", 60, 20, 60, 20, 0}, // mobile
    {"010", 6, 7, 6, 7, 50},   // Beijing, with a service fee per call
    {"0", 6, 7, 6, 7, 0},      // other domestic
};

qint64 expectedCents(const QString &called, int duration)
{
    const Tariff *best = &kTariffs[0];
    for (const Tariff &t : kTariffs)
        if (!t.prefix.isEmpty() && called.startsWith(t.prefix) && t.prefix.size() > best->prefix.size())
            best = &t;
    qint64 units = 0;
    if (duration > best->firstSeconds)
        units = (duration - best->firstSeconds + best->unitSeconds - 1) / best->unitSeconds;
    return best->firstCents + units * best->unitCents + best->serviceCents;
}

QString cents(qint64 c)
{
    const QString sign = c < 0 ? QStringLiteral("-") : QString();
    c = qAbs(c);
    return sign + QString::number(c / 100) + QLatin1Char('.')
           + QStringLiteral("%1").arg(c % 100, 2, 10, QLatin1Char('0'));
}

struct Expected {
    QString caller, called, endTime, depositKey;
    int duration;
    qint64 fee;
};

} // namespace

TEST(IntakeEndToEnd, EveryCallStoredOncePricedAndChargedDespiteLineFaults)
{
    TestHome home;
    ScriptedMessageService messages;
    TestClock clock(QDateTime(QDate(2026, 12, 9), QTime(13, 0, 0)));
    ConsoleContext ctx(HomePaths(home.path()), messages, clock);
    ASSERT_TRUE(createSwitchDb(ctx.db, home.file("data/Switch.mdb")));
    ctx.BuildLists();

    ASSERT_TRUE(ctx.db.exec("DELETE FROM Feerate"));
    const QStringList areas{"市话默认", "移动", "北京", "国内"};
    const QStringList types{"8", "3", "2", "2"};
    for (int i = 0; i < kTariffs.size(); ++i) {
        const Tariff &t = kTariffs[i];
        ASSERT_TRUE(ctx.db.exec("INSERT INTO Feerate VALUES (?,?,?,?,?,?,'0','0',?,'0','×',?)",
                                {t.prefix, areas[i], QString::number(t.firstSeconds), cents(t.firstCents),
                                 QString::number(t.unitSeconds), cents(t.unitCents), cents(t.serviceCents), types[i]}));
    }
    // Trunk 2 goes out through an indirect office reached with 9.
    ASSERT_TRUE(ctx.db.exec("UPDATE Exchange SET 中继出局方式='间局', 间局局向='9' WHERE 中继='2'"));
    // Deposits: extensions on ports 1 to 4 (port 4 with enough to last) and account 7.
    QMap<QString, qint64> balance;
    for (int port = 1; port <= 4; ++port) {
        const QString p = QString::number(port);
        balance[p] = port == 4 ? 50000 : 500;
        ASSERT_TRUE(ctx.db.exec("INSERT INTO Foregift VALUES (?,?,'户','4',?,?,'','×')",
                                {p, QString::number(800 + port), cents(balance[p]), cents(balance[p])}));
    }
    ASSERT_TRUE(ctx.db.exec("INSERT INTO Account VALUES ('007','工程部','4','1','4321','押金')"));
    ASSERT_TRUE(ctx.db.exec("INSERT INTO Foregift VALUES ('007','账号','工程部','4','8.00','8.00','4321','√')"));
    balance["007"] = 800;

    sim::SwitchSimulator sim(&clock);
    sim.setAutoPoll(false);
    sim::SwitchSimulator::Options o;
    o.linkAliveMs = 700;
    o.resendTimeoutMs = 500;
    o.split = true;
    o.splitMaxDelayMs = 30;
    o.noiseRate = 0.2;
    o.badChecksumRate = 0.1;
    o.dropAckRate = 0.2;
    o.seed = 20261209;
    sim.setOptions(o);
    QString error;
    ASSERT_TRUE(sim.startPty(home.path(), 1, &error)) << error.toStdString();

    SwitchLink link(ctx);
    ctx.link = &link;
    FeeEngine fees(ctx.db);
    RecordingView view;
    CallIntake intake(ctx, fees, &view);
    IntakeHandlers handlers;
    handlers.intake = &intake;
    link.setFrameHandlers(&handlers);
    ASSERT_TRUE(link.OpenPort(1));

    // The switch's time runs on the test clock, in small steps, with the
    // events of both ends handled between them.
    auto runUntil = [&](const std::function<bool()> &done, int limitMs) {
        QElapsedTimer real;
        real.start();
        while (!done()) {
            if (real.elapsed() > limitMs)
                return false;
            clock.advanceMs(5);
            sim.poll();
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        return true;
    };
    ASSERT_TRUE(runUntil([&] { return sim.linkAnswered(); }, 5000));

    // A few hundred calls, each with its own end minute.
    std::mt19937 rng(5);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const QStringList numbers{"5551234", "13912345678", "01088886666", "0571886655", "7654321"};
    const QList<int> ports{1, 2, 3, 4, 10, 11, 50};
    QList<Expected> expected;
    const int calls = 300;
    for (int i = 0; i < calls; ++i) {
        sim::CallRecordData r;
        r.trunk = 1 + i % 3;
        r.account = i % 9 == 0;
        r.line = r.account ? 7 : ports[rnd(0, ports.size() - 1)];
        r.month = 12;
        r.day = 9;
        r.hour = 8 + i / 60;
        r.minute = i % 60;
        r.duration = quint16(rnd(0, 2400));
        const QString number = numbers[rnd(0, numbers.size() - 1)];
        r.called = r.trunk == 2 ? QStringLiteral("9") + number : number;
        sim.queueCallRecord(r);

        Expected e;
        e.caller = r.account ? QStringLiteral("账号007") : QString::number(800 + r.line);
        e.depositKey = r.account ? QStringLiteral("007") : QString::number(r.line);
        e.called = number;
        e.endTime = QStringLiteral("2026年12月09日%1时%2分")
                        .arg(r.hour, 2, 10, QLatin1Char('0'))
                        .arg(r.minute, 2, 10, QLatin1Char('0'));
        e.duration = r.duration;
        e.fee = expectedCents(number, r.duration);
        expected << e;
        if (balance.contains(e.depositKey))
            balance[e.depositKey] -= e.fee;
    }

    ASSERT_TRUE(runUntil([&] { return sim.recordsAcknowledged() == calls; }, 120000))
        << sim.recordsAcknowledged() << " of " << calls << " acknowledged";
    ::testing::Test::RecordProperty("corrupted", sim.recordsCorrupted());
    ::testing::Test::RecordProperty("acksDropped", sim.acksDropped());
    ::testing::Test::RecordProperty("resent", sim.recordsResent());
    // The faults did happen.
    EXPECT_GT(sim.recordsCorrupted(), 0);
    EXPECT_GT(sim.acksDropped(), 0);
    EXPECT_GT(sim.recordsResent(), sim.recordsCorrupted());

    // One row per call, priced as worked out above.
    auto rows = ctx.db.select("SELECT 主叫号码, 被叫号码, 结束时间, 时长, 总费用, 话单性质 FROM PHNBill");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), calls);
    QMap<QString, QStringList> byEnd;
    for (const QStringList &r : *rows)
        byEnd.insert(r[2], r);
    ASSERT_EQ(byEnd.size(), calls);
    for (const Expected &e : expected) {
        const QStringList r = byEnd.value(e.endTime);
        ASSERT_FALSE(r.isEmpty()) << e.endTime.toStdString();
        EXPECT_EQ(r, (QStringList{e.caller, e.called, e.endTime, QString::number(e.duration), cents(e.fee), "未结算"}))
            << e.endTime.toStdString();
    }
    EXPECT_EQ(view.rows.size(), calls);

    // The deposits add up, and an overrun lowered the class here and in the switch.
    const QStringList received = sim.receivedCommands();
    for (auto it = balance.cbegin(); it != balance.cend(); ++it) {
        const bool account = it.key() == QLatin1String("007");
        Recordset dep(ctx.db, "Foregift",
                      account ? Criteria("物理端口", it.key()).andEq("用户号码", "账号")
                              : Criteria("物理端口", it.key()).andNe("用户号码", "账号"));
        EXPECT_EQ(dep.value(4), cents(it.value())) << it.key().toStdString();
        const QString code =
            account ? QStringLiteral("*68*1*1*0*007#") : QStringLiteral("*10*1*%1#").arg(800 + it.key().toInt());
        EXPECT_EQ(dep.value(3), it.value() < 0 ? "1" : "4") << it.key().toStdString();
        EXPECT_EQ(received.contains(code), it.value() < 0) << code.toStdString();
    }
    EXPECT_TRUE(messages.shown().isEmpty());
    link.ClosePorts();
}

// The switch's adapter is pulled and plugged back twenty times at seeded
// random moments while calls flow: each time it comes back under another
// device name after a while without its COM1 link, some times in the middle
// of a frame, some times with the front desk's receiver on COM2 pulled and
// plugged back too. Nobody touches the console. At the end every call the
// switch sent is stored exactly once, every one reached the front desk's log
// in order, and the link is up. Only the record whose bytes were on their way
// when the desk's receiver was pulled may reach it twice, right after itself.
TEST(IntakeEndToEnd, ReplugsWhileCallsFlowLoseNothingAndDoubleNothing)
{
    TestHome home;
    ScriptedMessageService messages;
    TestClock clock(QDateTime(QDate(2026, 12, 10), QTime(8, 0, 0)));
    ConsoleContext ctx(HomePaths(home.path()), messages, clock);
    ASSERT_TRUE(createSwitchDb(ctx.db, home.file("data/Switch.mdb")));
    ctx.BuildLists();
    isolateSerialPorts(home.path());
    const QString com2 = ctx.home.portsDir() + "/COM2";

    sim::SwitchSimulator sim(&clock);
    sim.setAutoPoll(false);
    sim::SwitchSimulator::Options o;
    o.linkAliveMs = 700;
    o.resendTimeoutMs = 500;
    o.split = true;
    o.splitMaxDelayMs = 40;
    o.seed = 20261210;
    sim.setOptions(o);
    QString error;
    ASSERT_TRUE(sim.startPty(home.path(), 1, &error)) << error.toStdString();
    auto desk = std::make_unique<PtyPair>();
    ASSERT_TRUE(desk->linkAs(com2));
    QByteArray deskLog;

    SwitchLink link(ctx);
    ctx.link = &link;
    FeeEngine fees(ctx.db);
    CallIntake intake(ctx, fees);
    IntakeHandlers handlers;
    handlers.intake = &intake;
    link.setFrameHandlers(&handlers);
    ASSERT_TRUE(link.OpenPort(1));
    ASSERT_TRUE(link.OpenOutPort(2));
    link.StartTimers();
    QList<qint64> linkOkAt;
    QObject::connect(&link, &SwitchLink::statusText, [&](const QString &text) {
        if (text == QStringLiteral("通讯端口：正常"))
            linkOkAt << clock.monotonicMs();
    });

    QElapsedTimer real;
    real.start();
    // The front desk's receiver comes back a while after the switch, so calls
    // are taken while it is away.
    qint64 deskBackAt = 0;
    auto step = [&](qint64 ms) {
        clock.advanceMs(ms);
        if (!desk && clock.monotonicMs() >= deskBackAt) {
            desk = std::make_unique<PtyPair>();
            desk->linkAs(com2);
        }
        sim.poll();
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (desk)
            deskLog += desk->take();
    };

    // A call every 1.2 s for the whole run; twenty re-plugs between 2 s and
    // 90 s, each with its own pause.
    const int calls = 80;
    std::mt19937 rng(20261210);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    QList<qint64> replugAt;
    for (int i = 0; i < 20; ++i)
        replugAt << rnd(2000, 90000);
    std::sort(replugAt.begin(), replugAt.end());
    QStringList expectedEnds;
    QString lastName = sim.slavePath();
    int renamed = 0;
    int nextCall = 0, midFrame = 0, deskReplugs = 0;
    QList<qint64> recovery;
    const qint64 start = clock.monotonicMs();
    auto queueDueCalls = [&] {
        while (nextCall < calls && clock.monotonicMs() - start >= nextCall * 1200) {
            sim::CallRecordData r;
            r.trunk = 1;
            r.line = 1 + nextCall % 7;
            r.month = 12;
            r.day = 10;
            r.hour = 8 + nextCall / 60;
            r.minute = nextCall % 60;
            r.duration = quint16(30 + nextCall);
            r.called = "5551234";
            sim.queueCallRecord(r);
            expectedEnds << QStringLiteral("2026年12月10日%1时%2分")
                                .arg(r.hour, 2, 10, QLatin1Char('0'))
                                .arg(r.minute, 2, 10, QLatin1Char('0'));
            ++nextCall;
        }
    };

    for (int k = 0; k < replugAt.size(); ++k) {
        while (clock.monotonicMs() - start < replugAt[k]) {
            queueDueCalls();
            step(5);
        }
        // Every other re-plug waits for a frame to be half on the line.
        if (k % 2 == 0) {
            for (int i = 0; i < 3000 && link.RingCount() == 0; ++i) {
                queueDueCalls();
                step(1);
            }
        }
        if (link.RingCount() > 0)
            ++midFrame;
        const bool deskToo = k % 3 == 1 && desk;
        sim.stop(); // the adapter and its COM1 link are gone
        if (deskToo) {
            deskLog += desk->take();
            desk.reset();
            ASSERT_TRUE(unplugLink(com2));
            deskBackAt = clock.monotonicMs() + rnd(4000, 9000);
            ++deskReplugs;
        }
        const int pauseMs = rnd(0, 4000);
        for (int t = 0; t < pauseMs; t += 5) {
            queueDueCalls();
            step(5);
        }
        ASSERT_TRUE(sim.startPty(home.path(), 1, &error)) << error.toStdString();
        renamed += sim.slavePath() != lastName;
        lastName = sim.slavePath();
        // Back once the console has the new device open and hears the switch.
        const qint64 pluggedAt = clock.monotonicMs();
        while (!(link.LinkUp() && link.ports().PortDevice() == sim.slavePath() && sim.linkAnswered())) {
            ASSERT_LT(clock.monotonicMs() - pluggedAt, 60000) << "re-plug " << k << " never came back";
            queueDueCalls();
            step(5);
        }
        recovery << clock.monotonicMs() - pluggedAt;
    }
    while (nextCall < calls || sim.recordsAcknowledged() < calls || deskLog.count("$FEE,") < calls) {
        ASSERT_LT(real.elapsed(), 20000) << sim.recordsAcknowledged() << " of " << calls << " acknowledged, "
                                         << deskLog.count("$FEE,") << " at the desk, " << link.outward().Pending()
                                         << " waiting, outward port " << (link.mscOut.isOpen() ? "open" : "closed");
        queueDueCalls();
        step(5);
    }
    for (int i = 0; i < 20; ++i)
        step(5);

    // The faults did happen.
    EXPECT_EQ(renamed, 20) << "another device name at every re-plug";
    EXPECT_GT(midFrame, 0);
    EXPECT_GT(deskReplugs, 0);
    EXPECT_GT(sim.recordsResent(), 0);

    // Every call stored once, in the order the switch sent them.
    const auto rows = ctx.db.select("SELECT 主叫号码, 结束时间, 时长, 总费用, 被叫号码 FROM PHNBill ORDER BY rowid");
    ASSERT_TRUE(rows);
    QStringList storedEnds;
    QStringList copies;
    for (const QStringList &r : *rows) {
        storedEnds << r[1];
        const QString digits = QString(r[1]).remove(QRegularExpression("\\D"));
        copies << FeeRecord(r[0], digits, r[2], r[3], r[4]);
    }
    EXPECT_EQ(storedEnds, expectedEnds);
    EXPECT_EQ(sim.recordsAcknowledged(), calls);
    EXPECT_EQ(sim.recordsPending(), 0);

    // Every one at the desk, in order, and nothing left waiting; a record
    // comes twice only at a re-plug of the desk's receiver.
    QStringList deskRecords;
    int twice = 0;
    for (const QByteArray &line : deskLog.split('\n')) {
        if (!line.startsWith("$FEE,"))
            continue;
        const QString record = QStringDecoder("GB18030").decode(line) + QStringLiteral("\n");
        if (!deskRecords.isEmpty() && deskRecords.last() == record)
            ++twice;
        else
            deskRecords << record;
    }
    EXPECT_EQ(deskRecords, copies);
    EXPECT_LE(twice, deskReplugs);
    EXPECT_EQ(link.outward().Pending(), 0);

    EXPECT_TRUE(link.LinkUp());
    ASSERT_FALSE(linkOkAt.isEmpty());
    const qint64 worst = *std::max_element(recovery.begin(), recovery.end());
    qint64 total = 0;
    for (qint64 r : recovery)
        total += r;
    ::testing::Test::RecordProperty("replugs", int(recovery.size()));
    ::testing::Test::RecordProperty("midFrameReplugs", midFrame);
    ::testing::Test::RecordProperty("deskReplugs", deskReplugs);
    ::testing::Test::RecordProperty("recordsChecked", calls);
    ::testing::Test::RecordProperty("worstRecoveryMs", int(worst));
    ::testing::Test::RecordProperty("meanRecoveryMs", int(total / recovery.size()));
    ::testing::Test::RecordProperty("testClockMs", int(clock.monotonicMs() - start));
    ::testing::Test::RecordProperty("realMs", int(real.elapsed()));
    EXPECT_LE(worst, 10000) << "linked again within 10 s of every re-plug";
    link.ClosePorts();
}
