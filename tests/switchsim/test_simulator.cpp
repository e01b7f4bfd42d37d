// The simulator's behaviour on the line, over an in-memory device pair and a
// test clock: link frames, answers, resending, the dump, scenarios and faults.
#include "Clock.h"
#include "Frames.h"
#include "PtyDevice.h"
#include "SwitchSimulator.h"
#include "TestPrint.h"
#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::sim;

namespace {

QByteArray hex(const char *text) { return Frames::fromHex(QString::fromLatin1(text)); }

// The console's end of the line.
class Line : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto [simEnd, consoleEnd] = PipeDevice::createPair(&owner);
        simDevice = simEnd;
        console = consoleEnd;
        sim = std::make_unique<SwitchSimulator>(&clock);
        sim->setAutoPoll(false);
    }

    void start(const SwitchSimulator::Options &o = {})
    {
        sim->setOptions(o);
        sim->attach(simDevice);
        pump();
    }

    void pump()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    // Moves the clock on in steps, polling as the internal timer would.
    void advance(qint64 ms, qint64 step = 10)
    {
        for (qint64 done = 0; done < ms; done += step) {
            clock.advanceMs(qMin(step, ms - done));
            sim->poll();
        }
        pump();
    }

    void send(const QByteArray &bytes)
    {
        console->write(bytes);
        pump();
    }

    // Frames received since the last call.
    QList<QByteArray> frames()
    {
        pump();
        return reader.feed(console->readAll());
    }

    static QList<QByteArray> ofType(const QList<QByteArray> &fs, quint8 type)
    {
        QList<QByteArray> out;
        for (const QByteArray &f : fs)
            if (quint8(f[1]) == type)
                out.append(f);
        return out;
    }

    QObject owner;
    TestClock clock{QDateTime(QDate(2025, 3, 1), QTime(10, 0))};
    std::unique_ptr<SwitchSimulator> sim;
    PipeDevice *simDevice = nullptr;
    PipeDevice *console = nullptr;
    FrameReader reader;
};

CallRecordData sampleRecord()
{
    // Trunk 3, port 5, 8 December 23:30, 125 units, dialled 1309.
    return CallRecordData{3, 5, false, 12, 8, 23, 30, 125, QStringLiteral("1309")};
}

// The sample record as bytes written out by hand:
// FE+0C+05+12+08+23+30+7D+13+A9 = 693 = 0x2B5.
const QByteArray kSampleFrame = hex("FF FE 0C 05 12 08 23 30 00 7D 13 A9 00 00 00 00 00 00 00 00 00 00 B5");
// The same from port 6: 693 + 1 = 694 = 0x2B6.
const QByteArray kPort6Frame = hex("FF FE 0C 06 12 08 23 30 00 7D 13 A9 00 00 00 00 00 00 00 00 00 00 B6");
// The sample record with a wrong checksum (one more).
const QByteArray kSampleCorrupted = hex("FF FE 0C 05 12 08 23 30 00 7D 13 A9 00 00 00 00 00 00 00 00 00 00 B6");

} // namespace

TEST_F(Line, AsksForTheLinkAndKeepsItAlive)
{
    start();
    auto fs = frames();
    ASSERT_EQ(fs.size(), 1);
    EXPECT_EQ(Frames::toHex(fs[0]), QStringLiteral("FF E1"));

    // Until the console answers, the request comes again every 5 s; link-alive every 2 s.
    advance(5000);
    fs = frames();
    EXPECT_EQ(ofType(fs, FrameType::LinkAlive).size(), 2);
    EXPECT_EQ(ofType(fs, FrameType::LinkRequest).size(), 1);
    send(hex("5A"));
    EXPECT_TRUE(sim->linkAnswered());
    advance(10000);
    fs = frames();
    EXPECT_EQ(ofType(fs, FrameType::LinkRequest).size(), 0);
    const auto alive = ofType(fs, FrameType::LinkAlive);
    ASSERT_EQ(alive.size(), 5);
    EXPECT_NE(alive[0][2], alive[1][2]); // the third byte counts
    EXPECT_EQ(sim->receivedCommands(), QStringList{"ACK"});
}

TEST_F(Line, AnswersTheClockAndRunsItsOwnClock)
{
    start();
    frames();
    send(hex("E8 26 12 08 02 01 42 6D"));
    auto fs = frames();
    ASSERT_EQ(fs.size(), 1);
    EXPECT_EQ(Frames::toHex(fs[0]), QStringLiteral("FF 5A"));
    EXPECT_EQ(sim->switchTime(), QDateTime(QDate(2026, 12, 8), QTime(1, 42)));

    // A record made later carries the switch's time, not the computer's.
    advance(61000, 1000);
    frames();
    Scenario sc = *Scenario::parse(QStringLiteral("at 0 record trunk=1 port=7 duration=5 called=114\n"));
    sim->playScenario(sc);
    const auto recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(Frames::toHex(recs[0].mid(4, 4)), QStringLiteral("12 08 01 43"));

    // A clock command with a wrong checksum gets no answer but is logged.
    send(hex("E8 26 12 08 02 01 42 6E"));
    EXPECT_TRUE(ofType(frames(), FrameType::Acknowledge).isEmpty());
    EXPECT_TRUE(sim->receivedCommands().last().startsWith(QStringLiteral("CLOCK BAD")));
}

TEST_F(Line, ResendsACallRecordUntilAcknowledged)
{
    SwitchSimulator::Options o;
    o.linkAliveMs = 0;
    start(o);
    send(hex("5A")); // answers the link request
    frames();

    sim->queueCallRecord(sampleRecord());
    CallRecordData second = sampleRecord();
    second.line = 6;
    sim->queueCallRecord(second);
    auto recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1); // one at a time
    EXPECT_EQ(recs[0], kSampleFrame);

    advance(2990);
    EXPECT_TRUE(frames().isEmpty());
    advance(10);
    recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0], kSampleFrame); // the same record again
    advance(3000);
    EXPECT_EQ(ofType(frames(), FrameType::CallRecord).size(), 1);
    EXPECT_EQ(sim->recordsSent(), 1);
    EXPECT_EQ(sim->recordsResent(), 2);

    // The acknowledgement takes the first one off; the second goes out at once.
    send(hex("5A"));
    recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0], kPort6Frame);
    send(hex("5A"));
    EXPECT_EQ(sim->recordsAcknowledged(), 2);
    EXPECT_EQ(sim->recordsPending(), 0);
    advance(10000, 100);
    EXPECT_TRUE(frames().isEmpty());
}

TEST_F(Line, FaultsOnCallRecords)
{
    SwitchSimulator::Options o;
    o.linkAliveMs = 0;
    o.linkRequestMs = 0;
    o.badChecksumRate = 1;
    o.dropAckRate = 1;
    start(o);
    send(hex("5A")); // answers the link request
    frames();
    sim->queueCallRecord(sampleRecord());
    auto recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0], kSampleCorrupted);

    // Lost acknowledgements: the record keeps coming although the console answered.
    send(hex("5A"));
    advance(3000);
    EXPECT_EQ(ofType(frames(), FrameType::CallRecord).size(), 1);
    EXPECT_EQ(sim->acksDropped(), 1);
    EXPECT_EQ(sim->recordsAcknowledged(), 0);
    EXPECT_EQ(sim->recordsCorrupted(), 2);

    // Faults off again: the next transmission is good and its acknowledgement counts.
    o.badChecksumRate = 0;
    o.dropAckRate = 0;
    sim->setOptions(o);
    advance(3000);
    recs = ofType(frames(), FrameType::CallRecord);
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0], kSampleFrame);
    send(hex("5A"));
    EXPECT_EQ(sim->recordsAcknowledged(), 1);
}

TEST_F(Line, NoiseAndSplitLeaveTheFramesIntact)
{
    SwitchSimulator::Options o;
    o.linkAliveMs = 0;
    o.linkRequestMs = 0;
    o.noiseRate = 1;
    o.split = true;
    o.seed = 7;
    start(o);
    frames();
    QList<QByteArray> expected;
    int reads = 0;
    QByteArray all;
    for (int t = 1; t <= 10; ++t) {
        sim->sendTrunkRinging(t);
        expected << Frames::trunkRinging(t);
        sim->sendCallerId(t, QStringLiteral("1380013800%1").arg(t % 10));
        expected << Frames::callerId(t, QStringLiteral("1380013800%1").arg(t % 10));
    }
    for (int i = 0; i < 200; ++i) {
        advance(5, 5);
        const QByteArray got = console->readAll();
        if (!got.isEmpty()) {
            ++reads;
            all += got;
        }
    }
    const QList<QByteArray> fs = reader.feed(all);
    EXPECT_EQ(fs, expected);
    EXPECT_GT(reader.discarded(), 0);         // noise was there and was skipped
    EXPECT_GT(reads, expected.size());        // frames came in pieces, spread over time
    EXPECT_FALSE(all.contains(hex("FF FF"))); // noise never forges a sync byte
}

TEST_F(Line, ParameterDumpWithRepeatOnNak)
{
    SwitchSimulator::Options o;
    o.linkRequestMs = 0;
    start(o);
    frames();
    sim->memory().apply(QStringLiteral("*32*64#"));
    send(hex("E8 26 12 08 02 01 42 6D"));
    frames();

    send(hex("66"));
    ASSERT_TRUE(sim->dumpInProgress());
    QByteArray block = console->readAll();
    ASSERT_EQ(block.size(), 258);
    EXPECT_EQ(quint8(block[0]), 0);
    EXPECT_EQ(quint8(block[5]), 0x67);
    EXPECT_EQ(quint8(block[7]), 8);                                                  // capacity 64 in eighths
    EXPECT_EQ(Frames::toHex(block.mid(33, 6)), QStringLiteral("26 12 08 02 01 42")); // the switch's clock

    // Events during the dump wait until it is over; no link-alive gets in between.
    sim->sendTrunkRinging(4);
    advance(2500);
    send(hex("A5"));
    const QByteArray again = console->readAll();
    EXPECT_EQ(again, block);
    for (int n = 1; n < 50; ++n) {
        send(hex("5A"));
        block = console->readAll();
        ASSERT_EQ(block.size(), 258) << "block " << n;
        EXPECT_EQ(quint8(block[0]), n);
        unsigned sum = 0;
        for (int i = 0; i < 257; ++i)
            sum += quint8(block[i]);
        EXPECT_EQ(quint8(block[257]), quint8(sum & 0xFF));
    }
    send(hex("5A"));
    EXPECT_FALSE(sim->dumpInProgress());
    EXPECT_EQ(sim->dumpsCompleted(), 1);
    EXPECT_EQ(sim->dumpBlocksSent(), 51);
    EXPECT_EQ(sim->dumpNaks(), 1);
    const auto after = frames();
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(Frames::toHex(after[0]), QStringLiteral("FF A2 04"));
}

TEST_F(Line, DumpGivesUpWhenTheConsoleStopsAnswering)
{
    SwitchSimulator::Options o;
    o.linkRequestMs = 0;
    o.badBlockRate = 1;
    start(o);
    frames();
    send(hex("66"));
    const QByteArray block = console->readAll();
    ASSERT_EQ(block.size(), 258);
    EXPECT_EQ(quint8(block[257]), quint8(Frames::dumpBlock(0, sim->memory().block(0))[257] + 1));
    advance(10000, 100);
    EXPECT_FALSE(sim->dumpInProgress());
    EXPECT_EQ(sim->dumpsCompleted(), 0);
    advance(2000, 100);
    EXPECT_FALSE(ofType(frames(), FrameType::LinkAlive).isEmpty()); // back to normal
}

TEST_F(Line, StarCodesAndCommandsAreLoggedAndApplied)
{
    start();
    frames();
    QStringList seen;
    QObject::connect(sim.get(), &SwitchSimulator::commandReceived, [&](const QString &t) { seen << t; });
    send(hex("0B 1A 0B 03 0B 08 A5 0C 0B 0A 0B 01 21 0C 23 45 98 31 00 11"));
    advance(200);
    send(hex("11 F1"));
    EXPECT_EQ(sim->receivedCommands(),
              (QStringList{"*10*3*805#", "*00*121#", "RESET", "USER OPEN", "USER CLOSE", "EXIT"}));
    EXPECT_EQ(seen, sim->receivedCommands());
    EXPECT_EQ(sim->memory().byte(27, 5), 1); // *00*121# came after *10*3*805#: factory state again

    send(hex("0B 1A 0B 03 0B 08 A5 0C"));
    EXPECT_EQ(sim->memory().byte(27, 5) & 0x0F, 3);

    // Blocking a caller cuts the call on that trunk.
    frames();
    send(hex("62 05"));
    const auto fs = frames();
    ASSERT_EQ(fs.size(), 1);
    EXPECT_EQ(Frames::toHex(fs[0]), QStringLiteral("FF D2 05"));
    EXPECT_EQ(sim->receivedCommands().last(), QStringLiteral("BLOCK 62 05"));
}

TEST_F(Line, SilenceStopsEverythingButTheLog)
{
    SwitchSimulator::Options o;
    o.silent = true;
    start(o);
    advance(10000, 100);
    send(hex("E8 26 12 08 02 01 42 6D 66"));
    sim->sendTrunkRinging(2);
    sim->queueCallRecord(sampleRecord());
    advance(5000, 100);
    EXPECT_TRUE(frames().isEmpty());
    EXPECT_EQ(sim->receivedCommands(), (QStringList{"CLOCK 2026-12-08 01:42 weekday 2", "DUMP"}));
    EXPECT_FALSE(sim->dumpInProgress());

    // Speaking again: link-alive at once, and the record that waited.
    sim->setSilent(false);
    const auto fs = frames();
    EXPECT_EQ(ofType(fs, FrameType::LinkAlive).size(), 1);
    EXPECT_EQ(ofType(fs, FrameType::CallRecord).size(), 1);
    EXPECT_TRUE(ofType(fs, FrameType::TrunkRinging).isEmpty()); // events of the silent time are gone
}

TEST_F(Line, ScenarioPlaysOnTimeAndRepeats)
{
    SwitchSimulator::Options o;
    o.linkAliveMs = 0;
    o.linkRequestMs = 0;
    start(o);
    frames();
    const auto sc = Scenario::parse(QStringLiteral("at 1 ring trunk=3\n"
                                                   "at 1.5 callerid trunk=3 number=13800138000\n"
                                                   "at 3 answer trunk=3 port=5\n"
                                                   "at 4 release trunk=3\n"
                                                   "repeat 5\n"));
    ASSERT_TRUE(sc);
    sim->playScenario(*sc);
    advance(990);
    EXPECT_TRUE(frames().isEmpty());
    advance(10);
    EXPECT_EQ(frames(), QList<QByteArray>{Frames::trunkRinging(3)});
    advance(500);
    EXPECT_EQ(frames(), QList<QByteArray>{Frames::callerId(3, QStringLiteral("13800138000"))});
    advance(2500);
    EXPECT_EQ(frames(), (QList<QByteArray>{Frames::trunkAnswer(5, 3), Frames::trunkReleased(3)}));
    advance(1000); // t = 5: the second cycle starts, its first event is at 6
    EXPECT_TRUE(frames().isEmpty());
    advance(1000);
    EXPECT_EQ(frames(), QList<QByteArray>{Frames::trunkRinging(3)});
    EXPECT_FALSE(sim->scenarioFinished());

    // A jump over several cycles plays every event of each, in order.
    advance(10000, 10000);
    const auto fs = frames();
    EXPECT_EQ(ofType(fs, FrameType::TrunkRinging).size(), 2);
    EXPECT_EQ(ofType(fs, FrameType::TrunkReleased).size(), 2);
}

TEST_F(Line, ScenarioChangesOneByteOfTheMemory)
{
    SwitchSimulator::Options o;
    o.linkAliveMs = 0;
    o.linkRequestMs = 0;
    start(o);
    frames();
    const auto sc = Scenario::parse(QStringLiteral("at 2 set block=0 offset=21 value=00\n"));
    ASSERT_TRUE(sc);
    sim->playScenario(*sc);
    advance(1990);
    EXPECT_EQ(sim->memory().byte(0, 21), 1); // factory ring-back tone
    advance(20);
    EXPECT_EQ(sim->memory().byte(0, 21), 0);
    // The next dump carries it at block 0 byte 21 (wire offset 22).
    send(hex("66"));
    const QByteArray block = console->readAll();
    ASSERT_EQ(block.size(), 258);
    EXPECT_EQ(quint8(block[22]), 0x00);
}
