// The command queue on its own: a buffer stands in for the switch port and
// the test clock paces the commands, so every gap is checked to the
// millisecond without waiting.
#include "CommandDecoder.h"
#include "CommandQueue.h"
#include "ConfigTable.h"
#include "Database.h"
#include "ParameterMemory.h"
#include "PendingCommands.h"
#include "Protocol.h"
#include "TestBytes.h"
#include "TestHome.h"
#include "TestStatus.h"

#include "SignalLog.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QPointer>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::bytes;
using corvane::test::SignalLog;

namespace {

// Worked examples of the star-code packing.
const QByteArray k10_3_201 = bytes({0x0B, 0x1A, 0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C}); // *10*3*201#
const QByteArray k58_50 = bytes({0x0B, 0x58, 0x0B, 0x5A, 0x0C});                      // *58*50#
const QByteArray k49_0 = bytes({0x0B, 0x49, 0x0B, 0x0A, 0x0C});                       // *49*0#
const QByteArray k00_121 = bytes({0x0B, 0x0A, 0x0B, 0x01, 0x21, 0x0C});               // *00*121#

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.open(QIODevice::WriteOnly)); }

    // What was written since the last call.
    QByteArray take()
    {
        const QByteArray all = port.data();
        const QByteArray out = all.mid(m_taken);
        m_taken = all.size();
        return out;
    }
    // Lets a finished batch go (its deleteLater).
    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TestClock clock;
    QBuffer port;
    CommandQueue queue{clock, port};

private:
    qsizetype m_taken = 0;
};

} // namespace

TEST_F(QueueTest, EachCommandWaitsForTheGapOfTheOneBefore)
{
    QPointer<CommandBatch> batch =
        queue.Queue({LinkCommand::Star(QStringLiteral("*10*3*201#"), 200),
                     LinkCommand::Star(QStringLiteral("*58*50#"), 10000), LinkCommand::Hex(QStringLiteral("3100"))});
    ASSERT_TRUE(batch);
    SignalLog progress(batch.data(), &CommandBatch::progress);
    SignalLog finished(batch.data(), &CommandBatch::finished);
    // Nothing leaves from inside the call that queues.
    EXPECT_EQ(take(), QByteArray());
    EXPECT_EQ(queue.QueuedCount(), 3);
    EXPECT_EQ(queue.PendingMs(), 10300);

    struct Step {
        qint64 advanceMs;
        QByteArray expected;
    };
    const Step steps[] = {
        {0, k10_3_201}, {199, {}},
        {1, k58_50},                              // 200 ms after the first
        {9999, {}},     {1, bytes({0x31, 0x00})}, // 10 s after the second
        {100000, {}},
    };
    qint64 at = 0;
    for (const Step &s : steps) {
        clock.advanceMs(s.advanceMs);
        at += s.advanceMs;
        EXPECT_EQ(take(), s.expected) << "at " << at << " ms";
    }
    EXPECT_EQ(queue.QueuedCount(), 0);
    ASSERT_EQ(progress.count(), 3);
    EXPECT_EQ(progress.at(0), (QVariantList{1, 3, QStringLiteral("*10*3*201#")}));
    EXPECT_EQ(progress.at(2), (QVariantList{3, 3, QStringLiteral("3100")}));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0), (QVariantList{3, 0}));
    EXPECT_TRUE(batch->isFinished());
    settle();
    EXPECT_TRUE(batch.isNull()) << "a finished batch is deleted";
}

TEST_F(QueueTest, ImmediateSendsNeverWaitBehindABatch)
{
    queue.QueueStarCommands({QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#"), QStringLiteral("*49*0#")});
    clock.advanceMs(0);
    EXPECT_EQ(take(), k10_3_201);
    // Acknowledgement, clock probe, blocking, a class command of the intake:
    // all at once, inside the gap.
    clock.advanceMs(30);
    EXPECT_TRUE(queue.SendNow(QStringLiteral("5A")));
    EXPECT_TRUE(queue.SendNow(QStringLiteral("E82612080201426D")));
    EXPECT_TRUE(queue.SendNow(QStringLiteral("6203")));
    EXPECT_TRUE(queue.SendNow(PackStarCode(QStringLiteral("*00*121#"))));
    EXPECT_EQ(take(), bytes({0x5A, 0xE8, 0x26, 0x12, 0x08, 0x02, 0x01, 0x42, 0x6D, 0x62, 0x03}) + k00_121);
    // The batch keeps its own pace.
    clock.advanceMs(69);
    EXPECT_EQ(take(), QByteArray());
    clock.advanceMs(1);
    EXPECT_EQ(take(), k58_50);
    clock.advanceMs(100);
    EXPECT_EQ(take(), k49_0);
    EXPECT_FALSE(queue.SendNow(QString())) << "an empty text writes nothing";
}

TEST_F(QueueTest, OrderedFramesTakeTheirPlaceBehindWhatWasQueuedBefore)
{
    // A window opens (3100), queues its batch, closes (11); the program ends (11F1).
    queue.QueueHex(QStringLiteral("3100"));
    CommandBatch *batch = queue.QueueStarCommands({QStringLiteral("*10*3*201#"), QStringLiteral("*49*0#")}, 200);
    queue.QueueHex(QStringLiteral("11"));
    queue.QueueHex(QStringLiteral("11F1"));
    SignalLog finished(batch, &CommandBatch::finished);
    EXPECT_EQ(queue.QueuedCount(), 5);

    QByteArray got;
    QList<qint64> times;
    for (int step = 0; step <= 100; ++step) {
        clock.advanceMs(step == 0 ? 0 : 10);
        const QByteArray chunk = take();
        if (!chunk.isEmpty()) {
            got += chunk;
            times << clock.monotonicMs();
        }
    }
    EXPECT_EQ(got, bytes({0x31, 0x00}) + k10_3_201 + k49_0 + bytes({0x11, 0x11, 0xF1}));
    EXPECT_EQ(times, (QList<qint64>{0, 100, 300, 500, 600}));
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(QueueTest, CommandsDroppedOnAClosedPortAreCountedPerBatch)
{
    CommandBatch *first =
        queue.QueueStarCommands({QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#"), QStringLiteral("*49*0#")});
    CommandBatch *second = queue.QueueStarCommands({QStringLiteral("*00*121#"), QStringLiteral("*58*50#")});
    SignalLog firstDone(first, &CommandBatch::finished);
    SignalLog secondDone(second, &CommandBatch::finished);

    clock.advanceMs(0);
    EXPECT_EQ(take(), k10_3_201);
    // The adapter goes after the first command: the rest of the first batch
    // and the first of the second are lost, without waiting their gaps.
    port.close();
    clock.advanceMs(100);
    EXPECT_EQ(first->dropped(), 2);
    ASSERT_EQ(firstDone.count(), 1);
    EXPECT_EQ(firstDone.at(0), (QVariantList{1, 2}));
    EXPECT_EQ(second->dropped(), 2);
    EXPECT_EQ(secondDone.at(0), (QVariantList{0, 2}));
    EXPECT_EQ(queue.QueuedCount(), 0);

    // A batch on a port that is open again is whole.
    ASSERT_TRUE(port.open(QIODevice::WriteOnly | QIODevice::Append));
    CommandBatch *third = queue.QueueStarCommands({QStringLiteral("*58*50#")});
    SignalLog thirdDone(third, &CommandBatch::finished);
    clock.advanceMs(0);
    EXPECT_EQ(take(), k58_50);
    EXPECT_EQ(thirdDone.at(0), (QVariantList{1, 0}));
}

TEST_F(QueueTest, AnEmptyBatchFinishesAndWhatAHandlerQueuesKeepsItsPlace)
{
    CommandBatch *empty = queue.Queue({});
    SignalLog emptyDone(empty, &CommandBatch::finished);
    EXPECT_EQ(emptyDone.count(), 0) << "finishes after the caller could connect";
    settle();
    ASSERT_EQ(emptyDone.count(), 1);
    EXPECT_EQ(emptyDone.at(0), (QVariantList{0, 0}));

    // A window that reacts to its progress by queueing a follow-up.
    CommandBatch *batch = queue.QueueStarCommands({QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#")});
    queue.QueueHex(QStringLiteral("11"));
    QObject::connect(batch, &CommandBatch::progress, [&](int done, int, const QString &) {
        if (done == 1)
            queue.QueueStarCommands({QStringLiteral("*49*0#")});
    });
    clock.advanceMs(1000);
    EXPECT_EQ(take(), k10_3_201 + k58_50 + bytes({0x11}) + k49_0);
}

TEST_F(QueueTest, DrainSendsEverythingInItsPace)
{
    queue.QueueStarCommands({QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#")}, 200);
    queue.QueueHex(QStringLiteral("11F1"));
    EXPECT_EQ(queue.QueuedCount(), 3);
    queue.Drain();
    EXPECT_EQ(queue.QueuedCount(), 0);
    EXPECT_EQ(take(), k10_3_201 + k58_50 + bytes({0x11, 0xF1}));
    // The last command left after both 200 ms gaps, not before.
    EXPECT_EQ(clock.monotonicMs(), 400);
}

// Commands a change keeps in Switch.mdb: they wait for a switch that can take
// them, keep their order and gaps, leave the table only once the switch has
// answered a probe written after them (and go again, in their order, when it
// did not), survive a restart of the console, never add to a list in the
// switch twice, and are not sent once their moment has passed.
// A console's database, a port the commands are written to (one that can
// refuse a write while it stays open), and the switch's memory that the
// written bytes program.
class RefusingPort : public QBuffer {
public:
    bool refuse = false;

protected:
    qint64 writeData(const char *data, qint64 len) override { return refuse ? -1 : QBuffer::writeData(data, len); }
};

class KeptCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ok(test::createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb")))));
        ASSERT_TRUE(port.open(QIODevice::WriteOnly));
    }

    // The commands written since the last call, as the switch reads them:
    // star codes as keyed, "CLOCK" for each probe.
    QStringList take()
    {
        const QByteArray all = port.data();
        const QByteArray bytes = all.mid(m_taken);
        m_taken = all.size();
        QStringList out;
        for (const sim::Command &c : m_decoder.feed(bytes)) {
            if (c.kind == sim::Command::StarCode) {
                out << c.code;
                m_memory.apply(c.code);
            } else {
                out << (c.kind == sim::Command::Clock ? QStringLiteral("CLOCK") : c.text);
            }
        }
        return out;
    }
    int rows() { return table.count().value_or(-1); }
    // The queue's link to a switch that answers when `answers` is set.
    void wire(CommandQueue &queue)
    {
        queue.setStore(&db);
        queue.setSendGate([this] { return answers; });
    }
    // Lets the queue run for `ms`, answering every probe when `answers`.
    void run(CommandQueue &queue, int ms)
    {
        for (int t = 0; t < ms; t += 50) {
            clock.advanceMs(50);
            if (answers && queue.Probing())
                queue.Answered();
        }
    }

    test::TestHome home;
    Database db;
    TestClock clock;
    RefusingPort port;
    PendingCommands table{db};
    sim::ParameterMemory m_memory;
    bool answers = false;

private:
    qsizetype m_taken = 0;
    sim::CommandDecoder m_decoder;
};

TEST_F(KeptCommandsTest, WaitForTheSwitchAndSurviveARestart)
{
    {
        CommandQueue queue(clock, port);
        wire(queue);
        SignalLog keptChanged(&queue, &CommandQueue::keptChanged);
        // A change and its commands, committed together.
        const StoreResult stored = StoreKept(
            db,
            [] {
                return StoreResult(Status::ok(), {QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#")});
            },
            [](const QString &code) { return code.startsWith(QLatin1String("*10*")) ? 200 : 100; });
        ASSERT_TRUE(test::Ok(stored.status));
        ASSERT_TRUE(queue.SendKept());
        queue.QueueHex(QStringLiteral("11")); // not kept: waits behind them
        clock.advanceMs(5000);
        EXPECT_EQ(port.data(), QByteArray()) << "nothing goes while the switch does not answer";
        EXPECT_TRUE(queue.Stalled());
        EXPECT_EQ(queue.KeptCount(), 2);
        EXPECT_EQ(keptChanged.count(), 1);
        EXPECT_EQ(rows(), 2);
        // The console ends before the switch came back; the queue's Drain
        // does not wait for a switch that is not there.
        queue.Drain();
        EXPECT_EQ(clock.monotonicMs(), 5000);
    }
    EXPECT_EQ(rows(), 2);

    // A store refused by the database keeps nothing.
    const StoreResult refused =
        StoreKept(db, [] { return StoreResult(Status::fail(QStringLiteral("磁盘已满")), {QStringLiteral("*49*0#")}); });
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.commands.isEmpty());
    EXPECT_EQ(rows(), 2);

    // The next start: what is kept goes first once the switch answers, each
    // with its gap, and the probe after the last.
    CommandQueue queue(clock, port);
    wire(queue);
    QPointer<CommandBatch> batch = queue.SendKept();
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->total(), 2);
    SignalLog finished(batch.data(), &CommandBatch::finished);
    clock.advanceMs(1000);
    EXPECT_EQ(port.data(), QByteArray());
    EXPECT_EQ(queue.PendingMs(), 400) << "their gaps and the probe after them";
    answers = true;
    queue.Resume();
    clock.advanceMs(0);
    EXPECT_EQ(port.data(), k10_3_201);
    clock.advanceMs(199);
    EXPECT_EQ(port.data(), k10_3_201) << "the gap kept with the command";
    clock.advanceMs(1);
    EXPECT_EQ(port.data(), k10_3_201 + k58_50);
    clock.advanceMs(100);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#"), QStringLiteral("CLOCK")}));
    // Written is not delivered: they stay kept until the switch answers.
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(queue.KeptCount(), 2);
    EXPECT_EQ(queue.UnprovenCount(), 2);
    EXPECT_EQ(batch->delivered(), 0);
    EXPECT_EQ(finished.count(), 0);
    queue.Answered();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(queue.KeptCount(), 0);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0), (QVariantList{2, 0}));
    // An answer with no probe out proves nothing and breaks nothing.
    queue.Answered();
    EXPECT_TRUE(take().isEmpty());
}

// Two edits of one setting written into a silence: the probe after them goes
// unanswered, both go again in the order they were made, and the switch ends
// with the newer value. A second clock command out at the same time makes
// the first answer ambiguous: it proves nothing, the next one does.
TEST_F(KeptCommandsTest, UnansweredCommandsGoAgainInTheirOrder)
{
    CommandQueue queue(clock, port);
    wire(queue);
    SignalLog missing(&queue, &CommandQueue::answersMissing);
    QObject::connect(&queue, &CommandQueue::answersMissing, [this] { answers = false; });
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*73*0#"), QStringLiteral("*73*1#")})));
    queue.SendKept();
    answers = true;
    clock.advanceMs(200);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*73*0#"), QStringLiteral("*73*1#"), QStringLiteral("CLOCK")}));
    EXPECT_EQ(m_memory.byte(0, sim::ParameterMemory::WaitingTone), 1);

    // The switch did not hear them (the switch's memory is as before).
    m_memory.setByte(0, sim::ParameterMemory::WaitingTone, 0x00);
    clock.advanceMs(CommandQueue::AnswerWaitMs - 1);
    EXPECT_EQ(missing.count(), 0);
    clock.advanceMs(1);
    ASSERT_EQ(missing.count(), 1);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(queue.KeptCount(), 2);
    EXPECT_EQ(queue.UnprovenCount(), 0);
    clock.advanceMs(1000);
    EXPECT_TRUE(take().isEmpty()) << "nothing goes while the switch does not answer";

    answers = true;
    queue.Resume();
    clock.advanceMs(150);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*73*0#"), QStringLiteral("*73*1#")}));
    EXPECT_EQ(m_memory.byte(0, sim::ParameterMemory::WaitingTone), 1) << "the newer value last";
    clock.advanceMs(100);
    EXPECT_EQ(take(), QStringList{QStringLiteral("CLOCK")});
    // Another part of the console sends the clock command meanwhile.
    ASSERT_TRUE(queue.SendNow(ClockCommand(clock.now())));
    queue.Answered();
    EXPECT_EQ(rows(), 2) << "one of two clock commands answered: which one is unknown";
    queue.Answered();
    EXPECT_EQ(rows(), 0);
}

// A write the port refuses while it stays open leaves the command first in
// the queue, kept; it is not taken for written.
TEST_F(KeptCommandsTest, AWriteThePortRefusesStaysKept)
{
    CommandQueue queue(clock, port);
    wire(queue);
    answers = true;
    port.refuse = true;
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*73*1#")})));
    queue.SendKept();
    clock.advanceMs(500);
    EXPECT_EQ(queue.UnprovenCount(), 0);
    EXPECT_EQ(queue.KeptCount(), 1);
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*80*1#")})));
    queue.SendKept();
    port.refuse = false;
    queue.Resume();
    run(queue, 500);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*73*1#"), QStringLiteral("*80*1#"), QStringLiteral("CLOCK")}));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(m_memory.byte(0, sim::ParameterMemory::WaitingTone), 1);
}

// The agent operators as a window sends them: the clear, then one command
// for each. The link is lost after the clear and the first: the list goes
// again whole, as the database holds it, never its appends alone; so does a list an earlier run
// may have sent already.
TEST_F(KeptCommandsTest, AListInDoubtIsWrittenWholeAgain)
{
    auto setAgents = [&](const QString &a, const QString &b) {
        ASSERT_TRUE(test::Ok(ConfigTable(db).write(AgentField(0), a)));
        ASSERT_TRUE(test::Ok(ConfigTable(db).write(AgentField(1), b)));
    };
    auto agents = [&] {
        QStringList out;
        for (int k = 1; k <= 5; ++k)
            if (m_memory.byte(0, 76 + 2 * k) == 1)
                out << m_memory.extensionNumber(m_memory.byte(0, 77 + 2 * k));
        return out;
    };
    setAgents(QStringLiteral("1"), QStringLiteral("2"));
    {
        CommandQueue queue(clock, port);
        wire(queue);
        ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*49*0#"), QStringLiteral("*49*801#"),
                                             QStringLiteral("*49*802#"), QStringLiteral("*73*1#")})));
        queue.SendKept();
        answers = true;
        clock.advanceMs(150);
        EXPECT_EQ(take(), (QStringList{QStringLiteral("*49*0#"), QStringLiteral("*49*801#")}));
        // Lost: nothing written is known to have arrived.
        answers = false;
        queue.PutBack();
        // The second agent changes meanwhile.
        setAgents(QStringLiteral("1"), QStringLiteral("3"));
        ASSERT_TRUE(test::Ok(
            table.keepStar({QStringLiteral("*49*0#"), QStringLiteral("*49*801#"), QStringLiteral("*49*803#")})));
        queue.SendKept();
        EXPECT_EQ(queue.KeptCount(), 7);
        answers = true;
        queue.Resume();
        run(queue, 1000);
        // The list as it stood when the link was lost, then the change made
        // since.
        EXPECT_EQ(take(), (QStringList{QStringLiteral("*73*1#"), QStringLiteral("*49*0#"), QStringLiteral("*49*801#"),
                                       QStringLiteral("*49*802#"), QStringLiteral("*49*0#"), QStringLiteral("*49*801#"),
                                       QStringLiteral("*49*803#"), QStringLiteral("CLOCK")}));
        EXPECT_EQ(rows(), 0);
        EXPECT_EQ(agents(), (QStringList{QStringLiteral("801"), QStringLiteral("803")}));

        // Sent again. Another part of the console writes the clock command
        // after the clear and the first entry, and the switch answers it;
        // the last entry arrives, and the console ends before the switch
        // answered for it.
        setAgents(QStringLiteral("1"), QStringLiteral("2"));
        ASSERT_TRUE(test::Ok(
            table.keepStar({QStringLiteral("*49*0#"), QStringLiteral("*49*801#"), QStringLiteral("*49*802#")})));
        queue.SendKept();
        answers = true;
        clock.advanceMs(150);
        EXPECT_EQ(take(), (QStringList{QStringLiteral("*49*0#"), QStringLiteral("*49*801#")}));
        ASSERT_TRUE(queue.SendNow(ClockCommand(clock.now())));
        queue.Answered();
        EXPECT_EQ(rows(), 1);
        clock.advanceMs(200); // the switch does not answer the probe after it
        EXPECT_EQ(take(), (QStringList{QStringLiteral("CLOCK"), QStringLiteral("*49*802#"), QStringLiteral("CLOCK")}));
        EXPECT_EQ(agents(), (QStringList{QStringLiteral("801"), QStringLiteral("802")}));
    }
    EXPECT_EQ(rows(), 1);
    // The next start does not know whether that entry arrived: it writes the
    // list whole, never the entry alone (the switch would list 802 twice).
    CommandQueue queue(clock, port);
    wire(queue);
    queue.SendKept();
    answers = true;
    queue.Resume();
    run(queue, 1000);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*49*0#"), QStringLiteral("*49*801#"), QStringLiteral("*49*802#"),
                                   QStringLiteral("CLOCK")}));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(agents(), (QStringList{QStringLiteral("801"), QStringLiteral("802")}));
}

// A wake-up call kept while the switch was away: once its moment has passed
// it is not sent (it would ring the next day), leaves the table and is told;
// one still to come goes.
TEST_F(KeptCommandsTest, AWakeUpCallPastItsMomentIsNotSent)
{
    CommandQueue queue(clock, port);
    wire(queue);
    SignalLog expired(&queue, &CommandQueue::expired);
    const QDateTime today = clock.now(); // 01:42
    const QDateTime at0630(today.date(), QTime(6, 30));
    const QDateTime at0700(today.date(), QTime(7, 0));
    ASSERT_TRUE(test::Ok(table.keep({PendingCommand::Until(QStringLiteral("*34*801*0630#"), at0630),
                                     PendingCommand::Until(QStringLiteral("*34*802*0700#"), at0700)})));
    QPointer<CommandBatch> batch = queue.SendKept();
    clock.advanceSecs(at0630.toSecsSinceEpoch() - today.toSecsSinceEpoch());
    answers = true;
    queue.Resume();
    run(queue, 500);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*34*802*0700#"), QStringLiteral("CLOCK")}));
    ASSERT_EQ(expired.count(), 1);
    EXPECT_EQ(expired.at(0), (QVariantList{QStringLiteral("*34*801*0630#"), at0630}));
    EXPECT_EQ(rows(), 0);
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->dropped(), 1);
    EXPECT_EQ(batch->delivered(), 1);
}

// A stopped batch leaves the queue and the table but for what was written,
// which waits for the switch's answer; another change's commands stay, and
// so does the rest of a list the batch had begun: the switch holds its clear.
TEST_F(KeptCommandsTest, AStoppedBatchLeavesTheQueueAndTheTable)
{
    CommandQueue queue(clock, port);
    queue.setStore(&db);
    ASSERT_TRUE(
        test::Ok(table.keepStar({QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#"), QStringLiteral("*49*0#")})));
    QPointer<CommandBatch> batch = queue.SendKept();
    ASSERT_TRUE(batch);
    SignalLog finished(batch.data(), &CommandBatch::finished);
    clock.advanceMs(0);
    EXPECT_EQ(port.data(), k10_3_201);
    queue.Cancel(batch);
    EXPECT_EQ(finished.count(), 0) << "the one written is not delivered yet";
    EXPECT_EQ(rows(), 1) << "the one written waits for the switch's answer";
    EXPECT_EQ(queue.KeptCount(), 1);
    clock.advanceMs(100);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*10*3*201#"), QStringLiteral("CLOCK")}));
    queue.Answered();
    EXPECT_EQ(rows(), 0);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0), (QVariantList{1, 2}));
    clock.advanceMs(1000);
    EXPECT_TRUE(take().isEmpty());

    // Stopped after the clear of the agent operators.
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*49*0#"), QStringLiteral("*49*801#"),
                                         QStringLiteral("*49*802#"), QStringLiteral("*58*50#")})));
    QPointer<CommandBatch> download = queue.SendKept();
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*73*1#")})));
    queue.SendKept();
    ASSERT_TRUE(download);
    SignalLog ended(download.data(), &CommandBatch::finished);
    clock.advanceMs(0);
    EXPECT_EQ(take(), QStringList{QStringLiteral("*49*0#")});
    EXPECT_EQ(queue.Cancel(download), 2);
    EXPECT_EQ(rows(), 4) << "the clear, the rest of its list, the other change";
    clock.advanceMs(500);
    EXPECT_EQ(take(), (QStringList{QStringLiteral("*49*801#"), QStringLiteral("*49*802#"), QStringLiteral("*73*1#"),
                                   QStringLiteral("CLOCK")}));
    queue.Answered();
    EXPECT_EQ(rows(), 0);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0), (QVariantList{3, 1}));
}
