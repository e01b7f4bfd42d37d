#include "Clock.h"
#include <QElapsedTimer>

namespace corvane {

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

qint64 SystemClock::monotonicMs() const
{
    static QElapsedTimer timer = [] { QElapsedTimer t; t.start(); return t; }();
    return timer.elapsed();
}

} // namespace corvane
