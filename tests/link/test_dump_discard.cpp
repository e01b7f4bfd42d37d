// The bytes of a parameter dump that was given up while the switch was still
// sending: dropped before the dispatcher sees them, until the line has been
// quiet or the longest time has passed, so that data bytes that happen to
// read like a caller number or a trunk event never become one. And the clock
// command of a long send, built when its turn comes.
#include "CommandQueue.h"
#include "LinkFixture.h"
#include "Protocol.h"

#include <QBuffer>
#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// A caller-number frame of trunk 2, as the switch sends one.
const QByteArray RealCaller = HexToBytes(QStringLiteral("FFA802139A139A0000"));
// The same shape inside dump data: FF A8, trunk 5, digit bytes.
const QByteArray FakeCaller = HexToBytes(QStringLiteral("FFA805138013800000"));

// A dump block on the wire: number byte, 256 data bytes with the fake caller
// frame at data offsets 20 and 200, checksum (not checked by the link).
QByteArray blockWithFakes(int blockNo)
{
    QByteArray data(256, '\0');
    data.replace(20, FakeCaller.size(), FakeCaller);
    data.replace(200, FakeCaller.size(), FakeCaller);
    return QByteArray(1, char(blockNo)) + data + QByteArray(1, '\0');
}

// Block 0 as the link recognises its start: data byte 4 is 0x67.
QByteArray block0()
{
    QByteArray b = blockWithFakes(0);
    b[5] = char(0x67);
    return b;
}

struct Blocks : ParameterBlockReceiver {
    QStringList texts;
    std::function<void()> onBlock;
    void DecodeParameterBlock(const QString &hex) override
    {
        texts << hex;
        if (onBlock)
            onBlock();
    }
};

int callerIds(const RecordingHandlers &h) { return int(h.names().count(QStringLiteral("OnCallerId"))); }

} // namespace

TEST(LateDumpBytes, DroppedUntilTheLineIsQuietThenFramesAgain)
{
    LinkEnv env;
    SwitchLink &link = *env.link;
    Blocks blocks;
    link.setParameterBlockReceiver(&blocks);
    const QByteArray late = blockWithFakes(3);

    link.CollectDumpBlocks(3);
    link.ReceiveBytes(late.left(100)); // the first fake frame is in the ring now
    ASSERT_TRUE(blocks.texts.isEmpty());

    link.DiscardLateDumpBytes(1500, 30000); // time-out of the comparison
    EXPECT_FALSE(link.DumpMode);
    EXPECT_EQ(link.RingCount(), 0);
    EXPECT_TRUE(link.DiscardingLateDumpBytes());

    env.clock.advanceMs(400);
    link.ReceiveBytes(late.mid(100, 120)); // holds the second fake frame
    env.clock.advanceMs(1499);
    link.ReceiveBytes(late.mid(220)); // 1499 ms after the last piece: still the dump
    EXPECT_EQ(callerIds(env.handlers), 0);
    EXPECT_EQ(link.LateDumpBytesDropped(), qint64(late.size()));

    env.clock.advanceMs(1500);
    EXPECT_FALSE(link.DiscardingLateDumpBytes());
    link.ReceiveBytes(RealCaller);
    ASSERT_EQ(callerIds(env.handlers), 1);
    EXPECT_EQ(env.handlers.frames().last(), RealCaller);
    EXPECT_TRUE(blocks.texts.isEmpty());
}

TEST(LateDumpBytes, ALineThatNeverGoesQuietIsTakenBackAfterTheLongestTime)
{
    LinkEnv env;
    SwitchLink &link = *env.link;
    link.CollectDumpBlocks(0);
    link.DiscardLateDumpBytes(1500, 30000);
    for (int t = 1000; t < 30000; t += 1000) {
        env.clock.advanceMs(1000);
        link.ReceiveBytes(RealCaller);
    }
    EXPECT_EQ(callerIds(env.handlers), 0);
    env.clock.advanceMs(1000); // 30 s after the dump was given up
    link.ReceiveBytes(RealCaller);
    EXPECT_EQ(callerIds(env.handlers), 1);
}

TEST(LateDumpBytes, ANewComparisonTakesItsBlocksAtOnce)
{
    LinkEnv env;
    SwitchLink &link = *env.link;
    Blocks blocks;
    link.setParameterBlockReceiver(&blocks);
    link.CollectDumpBlocks(5);
    link.DiscardLateDumpBytes(1500, 30000);
    link.CollectDumpBlocks(0);
    EXPECT_FALSE(link.DiscardingLateDumpBytes());
    link.ReceiveBytes(block0());
    ASSERT_EQ(blocks.texts.size(), 1);
    EXPECT_EQ(blocks.texts.first(), BytesToHex(block0().mid(1)));
    EXPECT_EQ(callerIds(env.handlers), 0);
}

TEST(LateDumpBytes, GivingUpInsideAPieceDropsTheRestOfThatPiece)
{
    // The seventh bad block ends the comparison inside the receive path; the
    // same read already holds the start of the block the switch sends again.
    struct Case {
        const char *what;
        bool discard;
        int callerIds;
    };
    for (const Case &c : {Case{"discarded", true, 0}, Case{"only DumpMode cleared", false, 2}}) {
        SCOPED_TRACE(c.what);
        LinkEnv env;
        SwitchLink &link = *env.link;
        Blocks blocks;
        blocks.onBlock = [&] {
            if (c.discard)
                link.DiscardLateDumpBytes(1500, 30000);
            else
                link.EndDumpCollection();
        };
        link.setParameterBlockReceiver(&blocks);
        link.CollectDumpBlocks(0);
        link.ReceiveBytes(block0() + block0());
        EXPECT_EQ(blocks.texts.size(), 1);
        EXPECT_EQ(callerIds(env.handlers), c.callerIds);
    }
}

TEST(QueuedClockCommand, CarriesTheTimeItIsSentAt)
{
    TestClock clock(QDateTime(QDate(2026, 12, 8), QTime(1, 42, 55)));
    QBuffer port;
    ASSERT_TRUE(port.open(QIODevice::WriteOnly));
    CommandQueue queue(clock, port);
    queue.Queue({LinkCommand::Star(QStringLiteral("*04*3#"), 10000), LinkCommand::Clock()});
    QCoreApplication::processEvents();
    clock.advanceMs(9999);
    const QByteArray first = port.data();
    EXPECT_EQ(first, HexToBytes(PackStarCode(QStringLiteral("*04*3#"))));
    clock.advanceMs(1);
    // 8 December 2026 is a Tuesday; queued at 01:42, sent at 01:43.
    EXPECT_EQ(port.data().mid(first.size()), HexToBytes(ClockCommand(clock.now())));
    EXPECT_EQ(BytesToHex(port.data().mid(first.size())).left(14), QStringLiteral("E8261208020143"));
}
