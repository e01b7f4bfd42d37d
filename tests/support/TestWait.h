#pragma once
#include <functional>

namespace corvane::test {

// Lets the event loop run until pred() holds or limitMs milliseconds have
// passed, and returns whether it held: the test asserts the result, so a
// wait that runs out fails the test. For events that come by themselves
// (a focus moved back, a queued call); nothing here waits a fixed time.
bool waitFor(const std::function<bool()> &pred, int limitMs = 2000);

} // namespace corvane::test
