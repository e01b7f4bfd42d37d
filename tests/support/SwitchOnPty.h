#pragma once
// The switch on a pseudo-terminal: a window test's link on COM1 of its home,
// and what the switch received through the command queue.
#include "ConsoleContext.h"
#include "PtyPair.h"
#include "SwitchLink.h"

#include <QByteArray>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
class TestClock;
}

namespace corvane::test {

// HOME/ports/COMn: where a test links a pseudo-terminal (PtyPair::linkAs) as
// serial port n, or unplugs it (unplugLink).
QString comLink(const HomePaths &home, int n);

// The console's link on COM1 of ctx's home, with `pty` playing the switch:
// what a window test needs to read the star codes a window sends.
::testing::AssertionResult openSwitchOnPty(ConsoleContext &ctx, PtyPair &pty, std::unique_ptr<SwitchLink> &link);

// The link closed and taken out of the context again.
void closeSwitchOnPty(ConsoleContext &ctx, std::unique_ptr<SwitchLink> &link);

// What the console sent without the clock commands (the probes that ask the
// switch whether it has what went before).
QByteArray withoutProbes(const QByteArray &sent);

// Everything the switch received from the command queue, probes left out: a marker command
// (*99#) queued behind whatever the window queued arrives last, as the test
// clock moves the queue on by stepMs a step. The marker itself is left out.
// `eachStep` runs after every step (a test noting what a window shows while
// the queue runs); limitMs is the real time the marker may take.
QByteArray sentThroughQueue(SwitchLink &link, PtyPair &pty, TestClock &clock, int stepMs = 50,
                            const std::function<void()> &eachStep = {}, int limitMs = 5000);

} // namespace corvane::test
