#include "LinkFixture.h"

#include "SignalLog.h"
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kOk = QStringLiteral("通讯端口：正常");

class DispatchTest : public ::testing::Test {
protected:
    LinkEnv env;
    SwitchLink &link = *env.link;
    RecordingHandlers &rec = env.handlers;
};

// A dump block as the switch sends it: number, 256 data bytes, checksum. The
// ring does not look at the checksum (the decoder does), so any byte will do.
QByteArray dumpBlock(int number, quint8 fill)
{
    QByteArray b(258, char(fill));
    b[0] = char(number);
    b[5] = char(0x67); // data byte 4 is always 0x67
    b[10] = char(number * 3);
    b[257] = char(0xC3);
    return b;
}

struct RecordingDumpReceiver : ParameterBlockReceiver {
    SwitchLink *link = nullptr;
    QStringList blocks;
    int lastBlock = 49;
    void DecodeParameterBlock(const QString &hex) override
    {
        blocks << hex;
        if (link->DumpBlockNo == lastBlock)
            link->DumpMode = false;
        ++link->DumpBlockNo;
    }
};

// Records what the ring hands to the link itself.
struct RecordingLinkFrames : LinkFrameReceiver {
    QStringList calls;
    void OnLinkRequest() override { calls << QStringLiteral("request"); }
    void OnAck() override { calls << QStringLiteral("ack"); }
    void OnLinkAlive() override { calls << QStringLiteral("alive"); }
    void OnFault(quint8 code) override { calls << QStringLiteral("fault %1").arg(code, 2, 16, QLatin1Char('0')); }
    void OnDumpBlock() override { calls << QStringLiteral("block"); }
};

} // namespace

// The ring needs no port and no console: bytes in, frames out.
TEST(FrameRingAlone, LinkFramesGoToTheLinkAndEventsToTheHandlers)
{
    RecordingLinkFrames linkFrames;
    RecordingHandlers handlers;
    FrameRing ring(&linkFrames);
    ring.setFrameHandlers(&handlers);
    ring.ReceiveBytes(bytes({0xFF, 0xE1, 0xFF, 0x5A, 0xFF, 0xA2, 0x02, 0xFF, 0xB2, 0x07, 0xFF, 0x62, 0x1F, 0xFF, 0xA5})
                      + callRecord(0));
    EXPECT_EQ(linkFrames.calls, (QStringList{"request", "ack", "alive", "fault 1f"}));
    EXPECT_EQ(handlers.names(), (QStringList{"OnTrunkRinging", "ProcessCallRecord"}));
    EXPECT_EQ(ring.RingCount(), 0);

    // A dump block counts as a sign of life too.
    ring.DumpMode = true;
    ring.DumpBlockNo = 3;
    QByteArray block(258, char(0x11));
    block[0] = char(3);
    ring.ReceiveBytes(block);
    EXPECT_EQ(linkFrames.calls.last(), QStringLiteral("block"));
    EXPECT_EQ(ring.RingCount(), 0);
}

TEST_F(DispatchTest, CallRecordInPiecesIsHandledOnceWhenComplete)
{
    const QByteArray f = callRecord(7);
    link.ReceiveBytes(f.left(10));
    link.ReceiveBytes(f.mid(10, 10));
    EXPECT_TRUE(rec.calls.isEmpty());
    EXPECT_EQ(link.RingCount(), 20);
    link.ReceiveBytes(f.mid(20));
    ASSERT_EQ(rec.names(), QStringList{QStringLiteral("ProcessCallRecord")});
    EXPECT_EQ(rec.calls[0].frame, f);
    EXPECT_EQ(link.RingCount(), 0);
    EXPECT_TRUE(link.DispatcherIdle);
}

TEST_F(DispatchTest, NoiseAroundALinkAliveFrameIsDropped)
{
    SignalLog status(&link, &SwitchLink::statusText);
    SignalLog up(&link, &SwitchLink::linkUpChanged);
    link.LinkSilence = 4;
    link.ReceiveBytes(bytes({0x00, 0x12, 0xFF, 0xB2, 0x00}));
    EXPECT_TRUE(link.LinkUp());
    EXPECT_EQ(link.LinkSilence, 0);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), kOk);
    ASSERT_EQ(up.count(), 1);
    EXPECT_TRUE(up.at(0).at(0).toBool());
    EXPECT_EQ(link.RingCount(), 0);
    EXPECT_EQ(link.RecvHead(), 5);
}

TEST_F(DispatchTest, PartialFramesStayUntouched)
{
    link.ReceiveBytes(bytes({0xFF}));
    EXPECT_EQ(link.RecvHead(), 0);
    EXPECT_EQ(link.RingCount(), 1);

    const QByteArray f = callRecord(1);
    link.ResetRing();
    link.ReceiveBytes(f.left(22)); // sync, type and 20 of the 21 further bytes
    EXPECT_EQ(link.RecvHead(), 0);
    EXPECT_EQ(link.RingCount(), 22);
    EXPECT_TRUE(rec.calls.isEmpty());
    link.ReceiveBytes(f.mid(22));
    EXPECT_EQ(rec.frames(), QList<QByteArray>{f});

    // Every other type waits for its full length too.
    link.ReceiveBytes(bytes({0xFF, 0xA8, 0x01, 0x13, 0xA9}));
    EXPECT_EQ(link.RingCount(), 5);
    link.ReceiveBytes(bytes({0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(rec.names().last(), QStringLiteral("OnCallerId"));
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, UnknownTypeDropsOnlyTheSyncByte)
{
    // 0xFF 0x33: the hunt restarts at 0x33 and finds the next frame.
    link.ReceiveBytes(bytes({0xFF, 0x33, 0xFF, 0xD2, 0x01}));
    EXPECT_EQ(rec.frames(), QList<QByteArray>{bytes({0xFF, 0xD2, 0x01})});
    // A sync byte before a sync byte: only the first goes, the frame stays whole.
    link.ReceiveBytes(bytes({0xFF, 0xFF, 0xA2, 0x03}));
    EXPECT_EQ(rec.frames().last(), bytes({0xFF, 0xA2, 0x03}));
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, FramesWrappingAtTheRingEndAreReadWhole)
{
    link.ResetRing(505);
    const QByteArray caller = bytes({0xFF, 0xA8, 0x05, 0x13, 0xA9, 0x12, 0x34, 0x00, 0x00});
    const QByteArray record = callRecord(300);
    link.ReceiveBytes(caller + record.left(5));
    link.ReceiveBytes(record.mid(5));
    EXPECT_EQ(rec.frames(), (QList<QByteArray>{caller, record}));
    EXPECT_EQ(link.RecvHead(), (505 + 9 + 23) % 512);
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, EveryTypeReachesItsAction)
{
    SignalLog status(&link, &SwitchLink::statusText);
    const QList<QByteArray> frames = {
        callRecord(2),
        bytes({0xFF, 0xD2, 0x02}),
        bytes({0xFF, 0xC4, 0x02, 0x00, 0x05}),
        bytes({0xFF, 0xA8, 0x02, 0x13, 0xA9, 0x00, 0x00, 0x00, 0x00}),
        bytes({0xFF, 0xA5}),
        bytes({0xFF, 0xA2, 0x02}),
        bytes({0xFF, 0x94, 0x00, 0x05, 0x02}),
        bytes({0xFF, 0x78, 0x02, 0x00, 0x05, 0x91, 0x23, 0x00, 0x00}),
        bytes({0xFF, 0x62, 0x0A}),
        bytes({0xFF, 0x56, 1, 2, 3, 4, 5}),
        bytes({0xFF, 0x44, 0x00, 0x05, 0x02}),
        bytes({0xFF, 0xB2, 0x00}),
    };
    QByteArray stream;
    for (const QByteArray &f : frames)
        stream += f;
    link.ReceiveBytes(stream);

    EXPECT_EQ(rec.names(), (QStringList{"ProcessCallRecord", "OnTrunkReleased", "OnTrunkSeized", "OnCallerId",
                                        "OnTrunkRinging", "OnTrunkUserChange", "OnTrunkDialled", "OnTrunkAnswer"}));
    EXPECT_EQ(rec.calls[6].frame, frames[7]);
    EXPECT_EQ(link.RingCount(), 0);

    // The switch fault is reported without holding up the frames behind it.
    ASSERT_EQ(env.messages.shown().size(), 1);
    const auto &box = env.messages.shown().first();
    EXPECT_EQ(box.text, QStringLiteral("系统检测到重要故障，故障代码为-->A"));
    EXPECT_EQ(box.title, QStringLiteral("系统故障"));
    EXPECT_EQ(box.icon, MessageService::Icon::Critical);
    EXPECT_EQ(status.count(), 1); // the link-alive frame after it

    env.messages.clear();
    link.ReceiveBytes(bytes({0xFF, 0x62, 0xC3}));
    EXPECT_EQ(env.messages.last()->text, QStringLiteral("系统检测到重要故障，故障代码为-->C3"));
}

TEST_F(DispatchTest, ARepeatedFaultKeepsOneBoxWithACount)
{
    // Fifty reports of fault 1F, a trunk event among them, then fault 3.
    QByteArray stream;
    for (int i = 0; i < 50; ++i) {
        stream += bytes({0xFF, 0x62, 0x1F});
        if (i == 20)
            stream += bytes({0xFF, 0xA2, 0x04});
    }
    link.ReceiveBytes(stream);
    link.ReceiveBytes(bytes({0xFF, 0x62, 0x03}));

    ASSERT_EQ(env.messages.shown().size(), 2) << "one box per fault code";
    EXPECT_EQ(env.messages.shown().at(0).text, QStringLiteral("系统检测到重要故障，故障代码为-->1F (50次)"));
    EXPECT_EQ(env.messages.shown().at(0).title, QStringLiteral("系统故障"));
    EXPECT_EQ(env.messages.shown().at(1).text, QStringLiteral("系统检测到重要故障，故障代码为-->3"));
    EXPECT_EQ(rec.frames(), QList<QByteArray>{bytes({0xFF, 0xA2, 0x04})}) << "the receive path went on";
    EXPECT_EQ(link.RingCount(), 0);

    // Once the operator has closed the box, the next report opens a new one.
    const QStringList keys = env.messages.openKeys();
    ASSERT_EQ(keys.size(), 2);
    env.messages.closeKeyed(keys.first());
    link.ReceiveBytes(bytes({0xFF, 0x62, 0x1F, 0xFF, 0x62, 0x1F}));
    ASSERT_EQ(env.messages.shown().size(), 3);
    EXPECT_EQ(env.messages.last()->text, QStringLiteral("系统检测到重要故障，故障代码为-->1F (2次)"));
}

TEST_F(DispatchTest, LinkRequestAndAcknowledgementBringTheLinkUp)
{
    SignalLog status(&link, &SwitchLink::statusText);
    link.ReceiveBytes(bytes({0xFF, 0xE1}));
    EXPECT_TRUE(link.LinkUp());
    link.SetLinkUp(false);
    link.ReceiveBytes(bytes({0xFF, 0x5A}));
    EXPECT_TRUE(link.LinkUp());
    // Panel 2 reads "正常" as soon as the switch answers, whatever the frame.
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("通讯端口：正常"));
    EXPECT_EQ(status.at(1).at(0).toString(), QStringLiteral("通讯端口：正常"));
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, BadCallRecordChecksumDropsOneByteAndHuntsOn)
{
    QByteArray bad = callRecord(5);
    bad[22] = char(quint8(bad[22]) + 1);
    const QByteArray good = callRecord(6);
    link.ReceiveBytes(bad + good);
    EXPECT_EQ(rec.frames(), QList<QByteArray>{good});
    EXPECT_EQ(link.RingCount(), 0);
}

// Spare bytes (offsets 17 to 21) travel with the record; the checksum covers
// them, so a record with one spare byte changed is refused like any other.
TEST_F(DispatchTest, SpareBytesTravelWithTheRecordAndCount)
{
    const QByteArray withSpare = callRecord(2);   // spare 01 02 03 04 05
    const QByteArray syncInSpare = callRecord(3); // spare 5A A5 FF 00 7E
    ASSERT_EQ(withSpare.mid(17, 5), bytes({0x01, 0x02, 0x03, 0x04, 0x05}));
    QByteArray changed = withSpare;
    changed[21] = char(0x06); // checksum left at FE

    struct Case {
        const char *what;
        QByteArray stream;
        QList<QByteArray> taken;
    };
    const QList<Case> cases = {
        {"spare bytes, in two pieces", withSpare, {withSpare}},
        {"a sync value among the spare bytes", syncInSpare + withSpare, {syncInSpare, withSpare}},
        {"a spare byte changed", changed + syncInSpare, {syncInSpare}},
    };
    for (const Case &c : cases) {
        rec.calls.clear();
        link.ResetRing();
        link.ReceiveBytes(c.stream.left(19));
        link.ReceiveBytes(c.stream.mid(19));
        EXPECT_EQ(rec.frames(), c.taken) << c.what;
        EXPECT_EQ(link.RingCount(), 0) << c.what;
    }
}

TEST_F(DispatchTest, AFailingHandlerDoesNotStopThePass)
{
    rec.hook = [](const QString &name, const QByteArray &) {
        if (name == QLatin1String("OnTrunkRinging"))
            throw std::runtime_error("database locked");
    };
    link.ReceiveBytes(bytes({0xFF, 0xA2, 0x01, 0xFF, 0xD2, 0x01}));
    EXPECT_EQ(rec.names(), (QStringList{"OnTrunkRinging", "OnTrunkReleased"}));
    EXPECT_TRUE(link.DispatcherIdle);
    EXPECT_EQ(link.RingCount(), 0);

    rec.hook = [](const QString &, const QByteArray &) { throw 42; };
    link.ReceiveBytes(callRecord(9) + bytes({0xFF, 0xA2, 0x02}));
    EXPECT_EQ(rec.names().mid(2), (QStringList{"ProcessCallRecord", "OnTrunkRinging"}));
    EXPECT_EQ(link.RingCount(), 0);
    EXPECT_TRUE(link.DispatcherIdle);
}

TEST_F(DispatchTest, BytesArrivingInsideAHandlerWaitForTheRunningPass)
{
    // A handler that lets events through (a box, a pause) while more bytes arrive.
    bool fed = false;
    bool idleInside = true;
    rec.hook = [&](const QString &name, const QByteArray &) {
        idleInside = idleInside && link.DispatcherIdle;
        if (name == QLatin1String("OnTrunkSeized") && !fed) {
            fed = true;
            link.ReceiveBytes(bytes({0xFF, 0xA2, 0x03, 0xFF, 0xD2}));
        }
    };
    link.ReceiveBytes(bytes({0xFF, 0xC4, 0x03, 0x00, 0x07}));
    EXPECT_EQ(rec.maxDepth, 1);
    EXPECT_FALSE(idleInside);
    EXPECT_EQ(rec.names(), (QStringList{"OnTrunkSeized", "OnTrunkRinging"}));
    EXPECT_EQ(link.RingCount(), 2); // the partial release frame waits
    link.ReceiveBytes(bytes({0x03}));
    EXPECT_EQ(rec.names().last(), QStringLiteral("OnTrunkReleased"));
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, OverflowDropsTheOldestBytesAndResynchronises)
{
    SignalLog status(&link, &SwitchLink::statusText);
    // 603 unread bytes while the handler runs: the 92 oldest go (the running
    // frame and 29 link-alive frames and two bytes of the 30th).
    QByteArray flood;
    for (int i = 0; i < 200; ++i)
        flood += bytes({0xFF, 0xB2, 0x00});
    rec.hook = [&](const QString &name, const QByteArray &) {
        if (name == QLatin1String("OnTrunkRinging")) {
            link.ReceiveBytes(flood);
            EXPECT_EQ(link.RingCount(), 511);
        }
    };
    link.ReceiveBytes(bytes({0xFF, 0xA2, 0x04}));
    EXPECT_EQ(link.OverflowDropped(), 92);
    EXPECT_EQ(status.count(), 170);
    EXPECT_EQ(rec.names(), QStringList{QStringLiteral("OnTrunkRinging")});
    EXPECT_EQ(link.RingCount(), 0);

    // With the dispatcher free, one large read loses nothing.
    rec.hook = nullptr;
    status.clear();
    QByteArray big;
    for (int i = 0; i < 300; ++i)
        big += callRecord(i) + bytes({0xFF, 0xB2, 0x00});
    link.ReceiveBytes(big);
    EXPECT_EQ(link.OverflowDropped(), 92);
    EXPECT_EQ(status.count(), 300);
    EXPECT_EQ(rec.calls.size(), 301);
}

TEST_F(DispatchTest, DumpBlocksAreCutFromTheStream)
{
    RecordingDumpReceiver receiver;
    receiver.link = &link;
    receiver.lastBlock = 1;
    link.setParameterBlockReceiver(&receiver);
    link.DumpMode = true;
    link.DumpBlockNo = 0;
    link.LinkSilence = 5;

    const QByteArray b0 = dumpBlock(0, 0x11);
    const QByteArray b1 = dumpBlock(1, 0x22);
    // A stray 0x00 (end of a link-alive frame) ahead of block 0, then block 0
    // in two pieces.
    link.ReceiveBytes(bytes({0xFF, 0xB2, 0x00, 0x12}) + b0.left(100));
    EXPECT_TRUE(receiver.blocks.isEmpty());
    EXPECT_TRUE(rec.calls.isEmpty());
    link.ReceiveBytes(b0.mid(100));
    ASSERT_EQ(receiver.blocks.size(), 1);
    EXPECT_EQ(receiver.blocks[0].size(), 514);
    EXPECT_EQ(receiver.blocks[0], BytesToHex(b0.mid(1)));
    EXPECT_EQ(link.LinkSilence, 0);

    // Block 1 is the last: the frames behind it are dispatched again.
    link.ReceiveBytes(bytes({0x33}) + b1 + bytes({0xFF, 0xA2, 0x07}));
    ASSERT_EQ(receiver.blocks.size(), 2);
    EXPECT_EQ(receiver.blocks[1], BytesToHex(b1.mid(1)));
    EXPECT_FALSE(link.DumpMode);
    EXPECT_EQ(rec.frames(), QList<QByteArray>{bytes({0xFF, 0xA2, 0x07})});
    EXPECT_EQ(link.RingCount(), 0);
}

TEST_F(DispatchTest, StrayZeroBeforeBlockZeroNeverShiftsTheBlock)
{
    RecordingDumpReceiver receiver;
    receiver.link = &link;
    link.setParameterBlockReceiver(&receiver);
    link.DumpMode = true;
    link.DumpBlockNo = 0;
    const QByteArray b0 = dumpBlock(0, 0x00); // data full of zeros
    // Stray zeros ahead of the block, all arriving in one read.
    link.ReceiveBytes(bytes({0x00, 0x00, 0x5A}) + b0);
    ASSERT_EQ(receiver.blocks.size(), 1);
    EXPECT_EQ(receiver.blocks[0], BytesToHex(b0.mid(1)));
    EXPECT_EQ(link.DumpBlockNo, 1);
}

// A long random stream: noise of every byte value with valid frames between.
// A frame must be delivered whole and in order when no false frame in the
// noise can reach into it: the 22 bytes before it hold no sync byte (the
// longest frame is 23 bytes).
TEST_F(DispatchTest, RandomStreamDeliversEveryGuardedFrame)
{
    std::mt19937 rng(20261208);
    auto byte = [&](int lo, int hi) { return char(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    const QList<QByteArray> shapes = {
        bytes({0xFF, 0xD2, 0}),      bytes({0xFF, 0xC4, 0, 0, 0}), bytes({0xFF, 0xA8, 0, 0, 0, 0, 0, 0, 0}),
        bytes({0xFF, 0xA2, 0}),      bytes({0xFF, 0x94, 0, 0, 0}), bytes({0xFF, 0x78, 0, 0, 0, 0, 0, 0, 0}),
        bytes({0xFF, 0x44, 0, 0, 0})};

    QByteArray stream;
    QList<QByteArray> expected;
    int seq = 0;
    while (stream.size() < 1000000) {
        const int noise = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int i = 0; i < noise; ++i)
            stream.append(byte(0, 255));
        for (int i = 0; i < 22; ++i)
            stream.append(byte(0, 254));
        QByteArray f;
        if (seq % 5 == 0) {
            f = callRecord(seq);
        } else {
            f = shapes[seq % shapes.size()];
            for (int i = 2; i < f.size(); ++i)
                f[i] = byte(0, 255);
            // Frame bytes are arbitrary, so stamp a sequence number in.
            f[2] = char(seq & 0xFF);
        }
        expected.append(f);
        stream += f;
        ++seq;
    }

    qint64 fed = 0;
    while (fed < stream.size()) {
        const int n = std::uniform_int_distribution<int>(1, 700)(rng);
        link.ReceiveBytes(stream.mid(fed, n));
        fed += n;
        ASSERT_LE(link.RingCount(), 511);
        ASSERT_TRUE(link.DispatcherIdle);
    }
    EXPECT_EQ(link.OverflowDropped(), 0);
    EXPECT_LT(link.RingCount(), 23);

    // Every expected frame appears, in order, among the delivered frames
    // (which also hold whatever the noise happened to form).
    const QList<QByteArray> got = rec.frames();
    int j = 0;
    int missing = 0;
    for (const QByteArray &f : expected) {
        int k = j;
        while (k < got.size() && got[k] != f)
            ++k;
        if (k == got.size()) {
            ++missing;
            continue;
        }
        j = k + 1;
    }
    EXPECT_EQ(missing, 0) << "of " << expected.size() << " frames";
    EXPECT_GT(expected.size(), 15000);
    EXPECT_GE(got.size(), expected.size());
}
