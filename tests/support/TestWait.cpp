#include "TestWait.h"
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace corvane::test {

bool waitFor(const std::function<bool()> &pred, int limitMs)
{
    QDeadlineTimer deadline(limitMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        // Run what is due, then wake up again soon to look.
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace corvane::test
