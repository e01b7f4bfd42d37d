#include "SwitchOnPty.h"
#include "Clock.h"
#include "HexBytes.h"
#include "TestWait.h"

#include <QDir>

namespace corvane::test {

QString comLink(const HomePaths &home, int n) { return home.portsDir() + QStringLiteral("/COM%1").arg(n); }

::testing::AssertionResult openSwitchOnPty(ConsoleContext &ctx, PtyPair &pty, std::unique_ptr<SwitchLink> &link)
{
    QDir().mkpath(ctx.home.portsDir());
    if (!pty.ok())
        return ::testing::AssertionFailure() << "no pseudo-terminal";
    if (!pty.linkAs(comLink(ctx.home, 1)))
        return ::testing::AssertionFailure() << "cannot link COM1";
    link = std::make_unique<SwitchLink>(ctx);
    ctx.link = link.get();
    if (!link->OpenPort(1))
        return ::testing::AssertionFailure() << "COM1 does not open: " << link->mscPort.errorString().toStdString();
    // The switch on the other end counts as answering: the commands a window
    // keeps go out at once, and the probes after them are answered.
    pty.answersClock = true;
    link->SetLinkUp(true);
    return ::testing::AssertionSuccess();
}

void closeSwitchOnPty(ConsoleContext &ctx, std::unique_ptr<SwitchLink> &link)
{
    ctx.link = nullptr;
    link.reset();
}

QByteArray withoutProbes(const QByteArray &sent)
{
    // A star code never holds 0xE8 (its nibbles are digits, 0x0B and 0x0C),
    // nor do the short commands a window sends.
    QByteArray out;
    for (qsizetype i = 0; i < sent.size();) {
        if (quint8(sent.at(i)) == 0xE8 && i + 8 <= sent.size()) {
            i += 8;
            continue;
        }
        out.append(sent.at(i++));
    }
    return out;
}

QByteArray sentThroughQueue(SwitchLink &link, PtyPair &pty, TestClock &clock, int stepMs,
                            const std::function<void()> &eachStep, int limitMs)
{
    const QByteArray marker = hex("0B 99 0C");
    link.QueueStarCommands({QStringLiteral("*99#")});
    QByteArray got;
    // A probe may follow the marker (the one after the window's commands,
    // once the probe before it was answered).
    const bool arrived = waitFor(
        [&] {
            clock.advanceMs(stepMs);
            got += pty.take();
            if (eachStep)
                eachStep();
            return withoutProbes(got).endsWith(marker);
        },
        limitMs);
    got = withoutProbes(got);
    EXPECT_TRUE(arrived) << "the marker never arrived; got " << show(got);
    if (got.endsWith(marker))
        got.chop(marker.size());
    return got;
}

} // namespace corvane::test
