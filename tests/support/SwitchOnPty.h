#pragma once
#include "Clock.h"
#include "ConsoleContext.h"
#include "HexBytes.h"
#include "PtyPair.h"
#include "SwitchLink.h"
#include "TestWait.h"

#include <QDir>
#include <gtest/gtest.h>
#include <memory>

namespace corvane::test {

// The console's link on COM1 of ctx's home, with `pty` playing the switch:
// what a window test needs to read the star codes a window sends.
inline ::testing::AssertionResult openSwitchOnPty(ConsoleContext &ctx, PtyPair &pty, std::unique_ptr<SwitchLink> &link)
{
    QDir().mkpath(ctx.home.portsDir());
    if (!pty.ok())
        return ::testing::AssertionFailure() << "no pseudo-terminal";
    if (!pty.linkAs(ctx.home.portsDir() + QStringLiteral("/COM1")))
        return ::testing::AssertionFailure() << "cannot link COM1";
    link = std::make_unique<SwitchLink>(ctx);
    ctx.link = link.get();
    if (!link->OpenPort(1))
        return ::testing::AssertionFailure() << "COM1 does not open: " << link->mscPort.errorString().toStdString();
    return ::testing::AssertionSuccess();
}

// The link closed and taken out of the context again.
inline void closeSwitchOnPty(ConsoleContext &ctx, std::unique_ptr<SwitchLink> &link)
{
    ctx.link = nullptr;
    link.reset();
}

// Everything the switch received from the command queue: a marker command
// (*99#) queued behind whatever the window queued arrives last, as the test
// clock moves the queue on. The marker itself is left out.
inline QByteArray sentThroughQueue(SwitchLink &link, PtyPair &pty, TestClock &clock, int stepMs = 50)
{
    const QByteArray marker = hex("0B 99 0C");
    link.QueueStarCommands({QStringLiteral("*99#")});
    QByteArray got;
    const bool arrived = waitFor(
        [&] {
            clock.advanceMs(stepMs);
            got += pty.take();
            return got.endsWith(marker);
        },
        5000);
    EXPECT_TRUE(arrived) << "the marker never arrived; got " << show(got);
    if (got.endsWith(marker))
        got.chop(marker.size());
    return got;
}

} // namespace corvane::test
