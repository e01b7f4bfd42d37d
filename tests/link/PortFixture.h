#pragma once
// Sixteen pseudo-terminals behind COM1..COM16 of a link environment, for the
// tests of ports, port search and the port window.
#include "LinkFixture.h"
#include "PtyPair.h"
#include "SwitchOnPty.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane::test {

// The clock command at the test clock's start, Tuesday 8 December 2026 01:42.
inline const QByteArray kClock0142 = bytes({0xE8, 0x26, 0x12, 0x08, 0x02, 0x01, 0x42, 0x6D});

// A switch that answers each clock command with an acknowledgement.
inline QByteArray answerClock(const QByteArray &chunk)
{
    return chunk.contains(char(0xE8)) ? bytes({0xFF, 0x5A}) : QByteArray();
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int n = 1; n <= 16; ++n) {
            ptys[n] = std::make_unique<PtyPair>();
            ASSERT_TRUE(ptys[n]->ok());
            ASSERT_TRUE(ptys[n]->linkAs(com(n)));
        }
        env.clock.setStepRealWaitMs(1);
    }

    QString com(int n) const { return comLink(env.ctx->home, n); }

    // What the link sends while `action` runs: a marker command goes out after
    // it, and everything up to the marker is returned. An immediate marker
    // shows what went out at once; a queued one also what was queued before
    // it, with the clock driven until it arrives.
    enum class Marker { Immediate, Queued };
    QByteArray sentDuring(PtyPair &pty, const std::function<void()> &action, Marker marker = Marker::Immediate)
    {
        action();
        if (marker == Marker::Immediate)
            link.SendHex(QStringLiteral("A5"));
        else
            link.QueueHex(QStringLiteral("A5"));
        QByteArray got;
        env.clock.waitFor(
            [&] {
                got += pty.take();
                return got.endsWith(char(0xA5));
            },
            10000);
        EXPECT_TRUE(got.endsWith(char(0xA5))) << "marker never arrived";
        got.chop(1);
        return got;
    }

    LinkEnv env;
    SwitchLink &link = *env.link;
    std::array<std::unique_ptr<PtyPair>, 17> ptys;
};

} // namespace corvane::test
