#pragma once
#include <QDateTime>

namespace corvane {

// The one source of "now" for the console. Production uses the system time;
// tests set and advance a TestClock so that timers, waits and time stamps are
// deterministic and no test ever sleeps.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a monotonic scale, for waits and time-outs.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

class TestClock : public Clock {
public:
    explicit TestClock(const QDateTime &start = QDateTime(QDate(2026, 12, 8), QTime(1, 42, 0)))
        : m_now(start) {}
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_mono; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); m_mono += ms; }
    void advanceSecs(qint64 s) { advanceMs(s * 1000); }

private:
    QDateTime m_now;
    qint64 m_mono = 0;
};

} // namespace corvane
