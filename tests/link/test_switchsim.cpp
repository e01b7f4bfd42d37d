// The console's link against the simulated switch over pseudo-terminals. The
// simulator is written from the protocol independently of the console, so
// each side checks the other's reading of it.
#include "LinkFixture.h"
#include "PtyPair.h"
#include "SwitchSimulator.h"

#include <QSignalSpy>
#include <array>
#include <gtest/gtest.h>
#include <memory>

using namespace corvane;
using namespace corvane::test;

namespace {

// Acknowledges dump blocks as the decoder of the comparison does, checking
// each against the block as the simulator framed it from its own memory
// (sim::Frames, written from the protocol apart from the console), so that
// the console's own checksum is not what judges the console.
struct CheckingDumpReceiver : ParameterBlockReceiver {
    SwitchLink *link = nullptr;
    const sim::SwitchSimulator *sim = nullptr;
    QStringList blocks;
    int rejected = 0;
    void DecodeParameterBlock(const QString &hex) override
    {
        const int n = link->DumpBlockNo;
        const QByteArray framed = sim::Frames::dumpBlock(n, sim->memory().block(n));
        if (hex != BytesToHex(framed.mid(1))) {
            ++rejected;
            link->SendNak();
            return;
        }
        blocks << hex;
        if (n == 49)
            link->DumpMode = false;
        ++link->DumpBlockNo;
        link->SendAck();
    }
};

class SwitchSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString ports = env.ctx->home.portsDir();
        for (int n = 1; n <= 16; ++n) {
            if (n == 3)
                continue;
            silent[n] = std::make_unique<PtyPair>();
            ASSERT_TRUE(silent[n]->ok());
            ASSERT_TRUE(silent[n]->linkAs(ports + QStringLiteral("/COM") + QString::number(n)));
        }
        sim::SwitchSimulator::Options o;
        o.linkAliveMs = 100;
        sim.setOptions(o);
        QString error;
        ASSERT_TRUE(sim.startPty(env.home.path(), 3, &error)) << error.toStdString();
        env.clock.setStepRealWaitMs(1);
    }

    bool found()
    {
        link.SearchPort();
        return link.LinkUp() && link.PortNumber() == 3;
    }

    LinkEnv env;
    SwitchLink &link = *env.link;
    std::array<std::unique_ptr<PtyPair>, 17> silent;
    sim::SwitchSimulator sim;
};

} // namespace

TEST_F(SwitchSimTest, SearchFindsTheSwitchOnCom3AndTheLinkStaysAlive)
{
    ASSERT_TRUE(found());
    EXPECT_EQ(silent[1]->take().size(), 8);
    EXPECT_EQ(silent[2]->take().size(), 8);
    EXPECT_EQ(silent[4]->take().size(), 0);
    ASSERT_TRUE(waitUntil([&] { return !sim.receivedCommands().isEmpty(); }));
    EXPECT_EQ(sim.receivedCommands().first(), QStringLiteral("CLOCK 2026-12-08 01:42 weekday 2"));

    // Link-alive frames keep the watchdog quiet and the panel at "正常".
    QSignalSpy status(&link, &SwitchLink::statusText);
    link.LinkSilence = 5;
    ASSERT_TRUE(waitUntil([&] { return link.LinkSilence == 0; }));
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：正常"));

    // A silent switch is noticed by the watchdog and found again by the probe.
    sim.setSilent(true);
    for (int i = 0; i < 7; ++i)
        link.tmrState_Timer();
    EXPECT_FALSE(link.LinkUp());
    sim.setSilent(false);
    link.tmrQuest_Timer();
    EXPECT_TRUE(waitUntil([&] { return link.LinkUp(); }));
}

TEST_F(SwitchSimTest, FramesAndCommandsCrossBothWays)
{
    ASSERT_TRUE(found());
    RecordingHandlers &rec = env.handlers;
    // The intake acknowledges a record once it has it.
    rec.hook = [&](const QString &name, const QByteArray &) {
        if (name == QLatin1String("ProcessCallRecord"))
            link.SendAck();
    };

    sim.sendTrunkRinging(3);
    sim.sendCallerId(3, QStringLiteral("13800138000"));
    sim.sendTrunkAnswer(5, 3);
    sim.sendTrunkReleased(3);
    // Trunk 3, port 5, 8 December 23:30, 65 units, dialled 1309.
    const sim::CallRecordData r{3, 5, false, 12, 8, 23, 30, 65, QStringLiteral("1309")};
    sim.queueCallRecord(r);
    ASSERT_TRUE(waitUntil([&] { return sim.recordsAcknowledged() == 1 && rec.calls.size() >= 5; }));

    const QStringList names = rec.names();
    EXPECT_EQ(names.mid(0, 4), (QStringList{"OnTrunkRinging", "OnCallerId", "OnTrunkAnswer", "OnTrunkReleased"}));
    EXPECT_EQ(names.count(QStringLiteral("ProcessCallRecord")), 1);
    EXPECT_EQ(rec.calls[0].frame, bytes({0xFF, 0xA2, 0x03}));
    EXPECT_EQ(rec.calls[1].frame, bytes({0xFF, 0xA8, 0x03, 0x13, 0x8A, 0xA1, 0x38, 0xAA, 0xA0}));
    EXPECT_EQ(rec.calls[2].frame, bytes({0xFF, 0x44, 0x00, 0x05, 0x03}));
    const QByteArray record = rec.frames().at(names.indexOf(QStringLiteral("ProcessCallRecord")));
    EXPECT_EQ(record.mid(2, 8), bytes({0x0C, 0x05, 0x12, 0x08, 0x23, 0x30, 0x00, 0x41}));
    EXPECT_EQ(sim.recordsResent(), 0);

    sim.clearReceivedCommands();
    link.SendStarCommand(QStringLiteral("*10*3*201#"));
    link.SendNightReset();
    link.SendUserWindowOpen();
    link.SendProgramExit();
    // The last two are queued: the clock paces them.
    ASSERT_TRUE(env.clock.waitFor([&] { return sim.receivedCommands().size() >= 4; }, 10000));
    EXPECT_EQ(sim.receivedCommands(), (QStringList{"*10*3*201#", "RESET", "USER OPEN", "EXIT"}));

    // A switch fault is reported and the frames behind it still arrive.
    sim.sendFault(0x1F);
    sim.sendTrunkRinging(7);
    ASSERT_TRUE(waitUntil([&] { return rec.names().last() == QLatin1String("OnTrunkRinging"); }));
    EXPECT_EQ(env.messages.last()->text, QStringLiteral("系统检测到重要故障，故障代码为-->1F"));
}

TEST_F(SwitchSimTest, ParameterDumpArrivesBlockByBlock)
{
    ASSERT_TRUE(found());
    CheckingDumpReceiver receiver;
    receiver.link = &link;
    receiver.sim = &sim;
    link.setParameterBlockReceiver(&receiver);
    link.DumpBlockNo = 0;
    link.DumpMode = true;
    link.RequestDump();
    ASSERT_TRUE(waitUntil([&] { return sim.dumpsCompleted() == 1; }, 10000));
    EXPECT_EQ(receiver.blocks.size(), 50);
    EXPECT_EQ(receiver.rejected, 0);
    EXPECT_FALSE(link.DumpMode);
    EXPECT_EQ(receiver.blocks.first().mid(8, 2), QStringLiteral("67"));
}

TEST_F(SwitchSimTest, ABadBlockIsAskedForAgain)
{
    ASSERT_TRUE(found());
    sim::SwitchSimulator::Options o = sim.options();
    o.badBlockRate = 0.2;
    o.seed = 7;
    sim.setOptions(o);
    CheckingDumpReceiver receiver;
    receiver.link = &link;
    receiver.sim = &sim;
    link.setParameterBlockReceiver(&receiver);
    link.DumpBlockNo = 0;
    link.DumpMode = true;
    link.RequestDump();
    ASSERT_TRUE(waitUntil([&] { return sim.dumpsCompleted() == 1; }, 20000));
    EXPECT_EQ(receiver.blocks.size(), 50);
    EXPECT_GT(receiver.rejected, 0);
    EXPECT_EQ(receiver.rejected, sim.dumpNaks());
    EXPECT_FALSE(link.DumpMode);
}
