// The comparison run on the test clock: start, the seven-second time-out,
// the limit of seven bad blocks, a bad last block, an abandoned run, and the
// copy that only a complete run allows.
#include "DumpFixture.h"
#include "SwitchToDatabase.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString Discard = QStringLiteral("discard 1500 30000");

class ComparisonRun : public ::testing::Test {
protected:
    DumpEnv env;
    ParameterDump &dump() { return *env.dump; }
    // A damaged copy of the empty block expected next.
    QString badBlock() { return blockText({}, dump().DumpBlockNo() + 1); }
};

TEST_F(ComparisonRun, StartAsksForTheDumpAndExpectsBlockZero)
{
    ASSERT_TRUE(dump().start());
    EXPECT_EQ(env.link.events, (QStringList{"collect 0", "request"}));
    EXPECT_TRUE(dump().DumpMode());
    EXPECT_EQ(dump().DumpBlockNo(), 0);
    EXPECT_EQ(dump().tipText(), QStringLiteral("比照所需的时间较长，请您耐心等待！"));
    EXPECT_FALSE(dump().complete());
    // A second start while the first run goes on is refused.
    const Status again = dump().start();
    EXPECT_TRUE(again.failed());
    EXPECT_EQ(env.link.events.size(), 2);
}

TEST_F(ComparisonRun, SevenSecondsWithoutABlockEndTheRun)
{
    ASSERT_TRUE(dump().start());
    env.clock.advanceMs(5000);
    env.feedEmptyUpTo(2); // blocks reset the silence
    EXPECT_EQ(dump().DumpTicks(), 0);
    for (int s = 1; s <= 6; ++s) {
        env.clock.advanceMs(1000);
        dump().tmrOver_Timer();
        ASSERT_TRUE(dump().DumpMode()) << s;
        EXPECT_EQ(dump().DumpTicks(), s);
    }
    env.clock.advanceMs(999);
    dump().tmrOver_Timer();
    EXPECT_TRUE(dump().DumpMode());
    env.clock.advanceMs(1);
    dump().tmrOver_Timer();
    EXPECT_FALSE(dump().DumpMode());
    EXPECT_EQ(dump().state(), ParameterDump::State::Failed);
    EXPECT_EQ(dump().tipText(), QStringLiteral("数据传输错误！"));
    EXPECT_EQ(ParameterDump::TransferErrorTitle(), QStringLiteral("接收错误！"));
    EXPECT_EQ(env.link.events.last(), Discard);
    // The rows already decoded stay.
    EXPECT_EQ(dump().row(5).switchValue, QStringLiteral("0"));
    // A block that still comes is neither decoded nor answered.
    const int before = env.link.events.size();
    dump().DecodeParameterBlock(emptyBlock(3));
    EXPECT_EQ(env.link.events.size(), before);
}

TEST_F(ComparisonRun, SevenBadBlocksEndTheRun)
{
    struct Case {
        const char *what;
        QList<bool> goodBlocks; // in order of arrival
        bool running;
    };
    const Case cases[] = {
        {"six bad blocks", {false, false, false, false, false, false}, true},
        {"seven bad blocks", {false, false, false, false, false, false, false}, false},
        {"good blocks do not clear the count",
         {false, true, false, false, true, false, false, false, true, false},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(dump().start());
        env.link.events.clear();
        for (bool good : c.goodBlocks) {
            ASSERT_TRUE(dump().DumpMode());
            dump().DecodeParameterBlock(good ? emptyBlock(dump().DumpBlockNo()) : badBlock());
        }
        EXPECT_EQ(dump().DumpMode(), c.running);
        EXPECT_EQ(dump().badBlocks(), c.goodBlocks.count(false));
        if (!c.running) {
            EXPECT_EQ(dump().state(), ParameterDump::State::Failed);
            EXPECT_EQ(env.link.events.last(), Discard);
            EXPECT_EQ(dump().DumpErrorCount(), 0);
        } else {
            // The timer also sees the count: still below the limit.
            dump().tmrOver_Timer();
            EXPECT_TRUE(dump().DumpMode());
            dump().abandon();
        }
    }
}

TEST_F(ComparisonRun, BadLastBlockDoesNotEndTheComparison)
{
    ASSERT_TRUE(dump().start());
    env.feedEmptyUpTo(48);
    ASSERT_EQ(dump().DumpBlockNo(), 49);
    env.link.events.clear();
    dump().DecodeParameterBlock(blockText({}, 48)); // block 49 sums to 49
    EXPECT_EQ(env.link.events, QStringList{"nak"});
    EXPECT_TRUE(dump().DumpMode());
    EXPECT_FALSE(dump().complete());
    EXPECT_EQ(dump().row(5).verdict, Verdict::None);
    EXPECT_FALSE(dump().row(313).decoded());

    dump().DecodeParameterBlock(emptyBlock(49));
    EXPECT_EQ(env.link.events.mid(1), (QStringList{"end", "ack"}));
    EXPECT_TRUE(dump().complete());
    EXPECT_EQ(dump().row(313).switchValue, QStringLiteral("0"));
    EXPECT_EQ(dump().row(313).verdictText, QStringLiteral("数据一致--313"));
}

TEST_F(ComparisonRun, AbandonedRunDiscardsWhatStillArrives)
{
    ASSERT_TRUE(dump().start());
    env.feedEmptyUpTo(10);
    dump().abandon();
    EXPECT_EQ(dump().state(), ParameterDump::State::Abandoned);
    EXPECT_EQ(env.link.events.last(), Discard);
    EXPECT_FALSE(dump().DumpMode());
    dump().tmrOver_Timer();
    EXPECT_EQ(env.link.events.last(), Discard);
    // A new run may start at once; it expects block 0 again.
    ASSERT_TRUE(dump().start());
    EXPECT_EQ(env.link.events.mid(env.link.events.size() - 2), (QStringList{"collect 0", "request"}));
    EXPECT_EQ(dump().rowCount(), 0);
}

TEST_F(ComparisonRun, CopyOnlyAfterAllFiftyBlocks)
{
    const auto config = env.table(QStringLiteral("SWTConfig"));
    const auto users = env.table(QStringLiteral("User"));

    // Before any comparison.
    CopyOutcome none = CopySwitchToDatabase(env.db, dump());
    EXPECT_EQ(none.status.reason(), QStringLiteral("请先运行信息比照功能！"));

    // During one.
    ASSERT_TRUE(dump().start());
    env.feedEmptyUpTo(20);
    CopyOutcome during = CopySwitchToDatabase(env.db, dump());
    EXPECT_EQ(during.status.reason(), QStringLiteral("信息比照尚未结束，不能启动！"));

    // The switch stops after block 20: the time-out ends the run, and the
    // rows of blocks 0 to 20 do not make a copy.
    env.clock.advanceMs(7000);
    dump().tmrOver_Timer();
    ASSERT_EQ(dump().state(), ParameterDump::State::Failed);
    ASSERT_TRUE(dump().row(305).decoded());
    CopyOutcome partial = CopySwitchToDatabase(env.db, dump());
    EXPECT_TRUE(partial.status.failed());
    EXPECT_TRUE(partial.status.reason().contains(QStringLiteral("50"))) << partial.status.reason().toStdString();
    EXPECT_EQ(partial.summary.changedRows(), 0);

    // An abandoned run does not either.
    ASSERT_TRUE(dump().start());
    env.feedEmptyUpTo(49 - 1);
    dump().abandon();
    EXPECT_TRUE(CopySwitchToDatabase(env.db, dump()).status.failed());

    EXPECT_EQ(env.table(QStringLiteral("SWTConfig")), config);
    EXPECT_EQ(env.table(QStringLiteral("User")), users);
}

} // namespace
