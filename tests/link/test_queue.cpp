// The command queue on its own: a buffer stands in for the switch port and
// the test clock paces the commands, so every gap is checked to the
// millisecond without waiting.
#include "CommandQueue.h"
#include "Database.h"
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
// them, keep their order and gaps, leave the table once the switch is heard
// after them (and go again when it went silent first), survive a restart of
// the console and give way to a download that sets the same settings again.
// A console's database and a port the commands are written to.
class KeptCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ok(test::createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb")))));
        ASSERT_TRUE(port.open(QIODevice::WriteOnly));
    }

    test::TestHome home;
    Database db;
    TestClock clock;
    QBuffer port;
    PendingCommands table{db};
};

TEST_F(KeptCommandsTest, WaitForTheSwitchAndSurviveARestart)
{
    bool switchAnswers = false;
    auto keptRows = [&] { return table.count().value_or(-1); };

    {
        CommandQueue queue(clock, port);
        queue.setStore(&db);
        queue.setSendGate([&] { return switchAnswers; });
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
        EXPECT_EQ(keptRows(), 2);
        // The console ends before the switch came back; the queue's Drain
        // does not wait for a switch that is not there.
        queue.Drain();
        EXPECT_EQ(clock.monotonicMs(), 5000);
    }
    EXPECT_EQ(keptRows(), 2);

    // A store refused by the database keeps nothing.
    const StoreResult refused =
        StoreKept(db, [] { return StoreResult(Status::fail(QStringLiteral("磁盘已满")), {QStringLiteral("*49*0#")}); });
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.commands.isEmpty());
    EXPECT_EQ(keptRows(), 2);

    // The next start: what is kept goes first once the switch answers.
    CommandQueue queue(clock, port);
    queue.setStore(&db);
    queue.setSendGate([&] { return switchAnswers; });
    CommandBatch *batch = queue.SendKept();
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->total(), 2);
    clock.advanceMs(1000);
    EXPECT_EQ(port.data(), QByteArray());
    switchAnswers = true;
    queue.Resume();
    clock.advanceMs(0);
    EXPECT_EQ(port.data(), k10_3_201);
    EXPECT_EQ(keptRows(), 2) << "kept until the switch is heard after it";
    clock.advanceMs(199);
    EXPECT_EQ(port.data(), k10_3_201) << "the gap kept with the command";
    clock.advanceMs(1);
    EXPECT_EQ(port.data(), k10_3_201 + k58_50);
    EXPECT_EQ(queue.KeptCount(), 0);
    EXPECT_EQ(queue.UnheardCount(), 2);
    // Heard 300 ms after the first and 100 ms after the second: a frame that
    // close to a command may have left the switch before the command came.
    clock.advanceMs(100);
    queue.Heard();
    EXPECT_EQ(keptRows(), 1);
    // The switch goes silent before it is heard again: the second goes again.
    switchAnswers = false;
    queue.Unheard();
    EXPECT_EQ(queue.KeptCount(), 1);
    clock.advanceMs(1000);
    EXPECT_EQ(port.data(), k10_3_201 + k58_50);
    switchAnswers = true;
    queue.Resume();
    clock.advanceMs(0);
    EXPECT_EQ(port.data(), k10_3_201 + k58_50 + k58_50);
    clock.advanceMs(300);
    queue.Heard();
    EXPECT_EQ(keptRows(), 0);
    EXPECT_EQ(queue.KeptCount(), 0);
    EXPECT_EQ(queue.UnheardCount(), 0);

    // The link goes down again: a new change waits; a download that sets the
    // same setting again replaces it, a waiting command for another one stays.
    switchAnswers = false;
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*10*3*205#"), QStringLiteral("*49*0#")})));
    queue.SendKept();
    EXPECT_EQ(queue.KeptCount(), 2);
    ASSERT_TRUE(test::Ok(table.dropSettings({QStringLiteral("*10*3*201#")})));
    ASSERT_TRUE(test::Ok(table.keepStar({QStringLiteral("*10*3*201#")})));
    queue.SendKept();
    EXPECT_EQ(queue.KeptCount(), 2);
    switchAnswers = true;
    queue.Resume();
    const QByteArray before = port.data();
    clock.advanceMs(1000);
    EXPECT_EQ(port.data().mid(before.size()), k49_0 + k10_3_201);
    queue.Heard();
    EXPECT_EQ(keptRows(), 0);
}

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
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0), (QVariantList{1, 2}));
    EXPECT_EQ(table.count().value_or(-1), 1) << "the one written waits for the switch to be heard";
    EXPECT_EQ(queue.KeptCount(), 0);
    clock.advanceMs(300);
    queue.Heard();
    EXPECT_EQ(table.count().value_or(-1), 0);
    clock.advanceMs(1000);
    EXPECT_EQ(port.data(), k10_3_201);
}
