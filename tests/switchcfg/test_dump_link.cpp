// The comparison run behind the console's real receive path: blocks cut out
// of a byte stream with noise and blocks of the wrong number between them,
// and the late bytes of a given-up dump kept away from the frame handlers.
#include "ConsoleContext.h"
#include "DumpFixture.h"
#include "LateDumpBytes.h"
#include "MessageService.h"
#include "Protocol.h"
#include "SwitchComparison.h"
#include "SwitchLink.h"

#include <gtest/gtest.h>
#include <random>

using namespace corvane;
using namespace corvane::test;

namespace {

// Only the caller-ID frames matter here: a dump byte pattern that reached
// the dispatcher would show up as one.
class CallerIds : public FrameHandlers {
public:
    QList<QByteArray> frames;
    int ProcessCallRecord(const QByteArray &) override
    {
        ++records;
        return 23;
    }
    void OnCallerId(const QByteArray &f) override { frames.append(f); }
    int records = 0;
};

// The comparison's view of the console's link (SwitchDumpLink) with its
// answers written down. Without `discard` a given-up dump only clears
// DumpMode, to show what the link's discarding keeps away.
class LinkAdapter : public SwitchDumpLink {
public:
    LinkAdapter(SwitchLink &link, bool discard) : SwitchDumpLink(&link), m_link(link), m_discard(discard) {}

    QStringList answers;

    void RequestDump() override
    {
        answers << QStringLiteral("request");
        SwitchDumpLink::RequestDump();
    }
    void SendAck() override
    {
        answers << QStringLiteral("ack");
        SwitchDumpLink::SendAck();
    }
    void SendNak() override
    {
        answers << QStringLiteral("nak");
        SwitchDumpLink::SendNak();
    }
    void DiscardLateDumpBytes(int quietMs, int maxMs) override
    {
        if (m_discard)
            SwitchDumpLink::DiscardLateDumpBytes(quietMs, maxMs);
        else
            EndDumpCollection();
    }

    // A piece of bytes as the port delivers it.
    void receive(const QByteArray &bytes) { m_link.ReceiveBytes(bytes); }

private:
    SwitchLink &m_link;
    bool m_discard;
};

// A block on the wire: number byte, then the 256 data bytes and checksum of
// the hand-written text.
QByteArray wire(int blockNo, const QString &text) { return QByteArray(1, char(blockNo)) + HexToBytes(text); }

// Block n with data byte 100 = 0x55, so that its checksum (n + 0x55) is no
// block number; block 0 also carries its marker 0x67 at data byte 4.
QByteArray block(int n)
{
    if (n == 0)
        return wire(0, blockText({{4, 0x67}, {100, 0x55}}, 0x67 + 0x55));
    return wire(n, blockText({{100, 0x55}}, n + 0x55));
}

struct LinkSide {
    explicit LinkSide(DumpEnv &env, bool discard)
        : ctx(HomePaths(env.home.path()), messages, env.clock), link(ctx), adapter(link, discard),
          dump(env.db, env.clock, adapter)
    {
        link.setFrameHandlers(&handlers);
        link.setParameterBlockReceiver(&dump);
    }
    ScriptedMessageService messages;
    ConsoleContext ctx;
    SwitchLink link;
    CallerIds handlers;
    LinkAdapter adapter;
    ParameterDump dump;
};

TEST(DumpOnTheLink, NoiseAndBlocksOfTheWrongNumberAreSkipped)
{
    DumpEnv env;
    LinkSide side(env, true);
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> count(0, 6), value(0, 255);
    auto noise = [&] {
        QByteArray b;
        for (int k = count(rng); k > 0; --k)
            b.append(char(value(rng)));
        return b;
    };

    ASSERT_TRUE(side.dump.start());
    int sent = 0;
    // The switch: the next block after 5A, the same block after A5, and now and
    // then a block of another number first.
    for (int guard = 0; guard < 400 && side.dump.DumpMode(); ++guard) {
        const int n = side.dump.DumpBlockNo();
        QByteArray bytes = noise();
        if (n % 7 == 3)
            bytes += block((n + 3) % 50) + noise();
        bytes += block(n);
        // Pieces as a serial port delivers them.
        for (int pos = 0; pos < bytes.size(); pos += 37)
            side.adapter.receive(bytes.mid(pos, 37));
        ++sent;
    }
    EXPECT_TRUE(side.dump.complete());
    EXPECT_EQ(side.dump.data().blockCount(), 50);
    EXPECT_EQ(side.adapter.answers.count(QStringLiteral("ack")), 50);
    EXPECT_EQ(sent, 50 + side.adapter.answers.count(QStringLiteral("nak")));
    EXPECT_LT(side.dump.badBlocks(), 7);
    EXPECT_EQ(side.dump.row(5).switchValue, QStringLiteral("0"));
    // Nothing of the dump went to the frame handlers.
    EXPECT_TRUE(side.handlers.frames.isEmpty());
    EXPECT_EQ(side.handlers.records, 0);
    EXPECT_FALSE(side.link.DumpMode);
}

TEST(DumpOnTheLink, LateBytesOfAGivenUpDumpAreNotFrames)
{
    // Block 3 whose data holds two byte runs that read like caller-ID frames
    // (FF A8, trunk 5, six digit bytes), one in the part that has arrived when
    // the run times out and one in the part that comes after.
    QMap<int, int> data;
    const int fakeAt[] = {20, 200};
    for (int at : fakeAt) {
        const int frame[] = {0xFF, 0xA8, 0x05, 0x13, 0x80, 0x13, 0x80, 0x00, 0x00};
        for (int k = 0; k < 9; ++k)
            data[at + k] = frame[k];
    }
    const QByteArray late = wire(3, blockText(data, 0));
    const QByteArray realCaller = HexToBytes(QStringLiteral("FFA802139A139A0000"));

    struct Case {
        const char *what;
        bool discard;
        int callerIds;
    };
    const Case cases[] = {
        {"late bytes discarded until the line is quiet", true, 1},
        {"without discarding the dump bytes become frames", false, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DumpEnv env;
        LinkSide side(env, c.discard);
        ASSERT_TRUE(side.dump.start());
        for (int n = 0; n < 3; ++n)
            side.adapter.receive(block(n));
        ASSERT_EQ(side.dump.DumpBlockNo(), 3);
        side.adapter.receive(late.left(100));

        env.clock.advanceMs(7000);
        side.dump.tmrOver_Timer();
        ASSERT_EQ(side.dump.state(), ParameterDump::State::Failed);

        env.clock.advanceMs(100);
        side.adapter.receive(late.mid(100, 100));
        env.clock.advanceMs(1000);
        side.adapter.receive(late.mid(200));
        // Quiet for longer than the limit: the next frame is the switch's own.
        env.clock.advanceMs(ParameterDump::LateBytesQuietMs);
        side.adapter.receive(realCaller);

        EXPECT_EQ(side.handlers.frames.size(), c.callerIds);
        ASSERT_FALSE(side.handlers.frames.isEmpty());
        EXPECT_EQ(side.handlers.frames.last(), realCaller);
    }
}

TEST(LateDumpBytesRule, QuietAndLongestTime)
{
    LateDumpBytes late;
    EXPECT_FALSE(late.dropArriving(0)); // nothing to discard before begin
    late.begin(1000, 1500, 5000);
    EXPECT_TRUE(late.dropArriving(2000));
    EXPECT_TRUE(late.dropArriving(3499)); // 1499 ms after the last piece
    EXPECT_TRUE(late.active(4998));
    EXPECT_FALSE(late.active(4999)); // 1500 ms quiet
    EXPECT_FALSE(late.dropArriving(5000));
    EXPECT_FALSE(late.dropArriving(5001)); // over for good

    // A line that never goes quiet is taken back after the longest time.
    late.begin(0, 1500, 5000);
    for (qint64 t = 100; t < 5000; t += 100)
        ASSERT_TRUE(late.dropArriving(t)) << t;
    EXPECT_FALSE(late.dropArriving(5000));

    late.begin(0, 1500, 5000);
    late.cancel();
    EXPECT_FALSE(late.dropArriving(10));
}

} // namespace
