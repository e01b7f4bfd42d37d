// The watchdog and the periodic task on their own, on the test clock: the
// timers fire as the clock moves, at their own beat.
#include "LinkFixture.h"
#include "LinkSupervisor.h"

#include "SignalLog.h"
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

TEST(Supervisor, WatchdogAndProbeKeepTheirBeatOnTheClock)
{
    LinkEnv env;
    TrunkStates trunks{};
    LinkSupervisor supervisor(*env.ctx, trunks);
    SignalLog status(&supervisor, &LinkSupervisor::statusText);
    SignalLog probes(&supervisor, &LinkSupervisor::probeDue);
    SignalLog resets(&supervisor, &LinkSupervisor::nightResetDue);

    supervisor.StartTimers();
    supervisor.OnLinkAlive();
    status.clear();
    EXPECT_TRUE(supervisor.tmrState.isActive());

    // Six silent seconds are tolerated, the seventh tick drops the link.
    env.clock.advanceMs(6999);
    EXPECT_TRUE(supervisor.LinkUp());
    EXPECT_EQ(supervisor.LinkSilence, 6);
    EXPECT_EQ(status.count(), 0);
    env.clock.advanceMs(1);
    EXPECT_FALSE(supervisor.LinkUp());
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：错误"));
    // The task tick at 5 s found the link up (and the reset switched off);
    // the ones at 10 s and 15 s probe.
    EXPECT_EQ(probes.count(), 0);
    env.clock.advanceMs(8000);
    EXPECT_EQ(probes.count(), 2);
    EXPECT_EQ(status.count(), 9) << "the error text on every tick while silent";
    EXPECT_EQ(resets.count(), 0);

    supervisor.StopTimers();
    env.clock.advanceSecs(60);
    EXPECT_EQ(probes.count(), 2);
    EXPECT_EQ(env.clock.armedTimers(), 0);
}

// Every frame that shows the switch is there sets the silence back, so the
// next watchdog tick cannot drop a switch that has just answered.
TEST(Supervisor, EverySignOfLifeResetsTheSilence)
{
    struct Case {
        const char *frame;
        QByteArray bytes;
    };
    const QList<Case> cases = {
        {"link request FF E1", bytes({0xFF, 0xE1})},
        {"acknowledgement FF 5A", bytes({0xFF, 0x5A})},
        {"link-alive FF B2", bytes({0xFF, 0xB2, 0x00})},
    };
    for (const Case &c : cases) {
        LinkEnv env;
        SwitchLink &link = *env.link;
        link.LinkSilence = SwitchLink::SilenceLimit; // long silent, link down
        link.ReceiveBytes(c.bytes);
        ASSERT_TRUE(link.LinkUp()) << c.frame;
        link.tmrState_Timer();
        EXPECT_TRUE(link.LinkUp()) << c.frame;
        EXPECT_EQ(link.LinkSilence, 1) << c.frame;
    }
}
