#pragma once
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

namespace corvane {

class ClockTimer;

// The one source of "now" for the console. Production uses the system time;
// tests set and advance a TestClock so that timers, waits and time stamps are
// deterministic and no test ever sleeps.
//
// The clock is also the source of the console's timers (ClockTimer): on the
// system clock they are Qt timers, on a test clock they fire while the test
// advances it, each at its own moment.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a monotonic scale, for waits and time-outs.
    virtual qint64 monotonicMs() const = 0;

    // One step of a blocking wait: lets time pass by at most maxMs while
    // events run. The system clock waits for real; a test clock moves itself
    // on.
    virtual void sleepStep(qint64 maxMs);

    // A wait that really must block its caller (the port search at start-up,
    // the last commands at exit): lets every event run until done() holds or
    // limitMs have passed on this clock. Returns whether done() held. An empty
    // done waits the whole time.
    bool waitFor(const std::function<bool()> &done, qint64 limitMs);

protected:
    friend class ClockTimer;
    // A timer's deadline (on monotonicMs) was set or cleared.
    virtual void arm(ClockTimer &timer);
    virtual void disarm(ClockTimer &timer);
};

class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

class TestClock : public Clock {
public:
    explicit TestClock(const QDateTime &start = QDateTime(QDate(2026, 12, 8), QTime(1, 42, 0))) : m_now(start) {}
    ~TestClock() override;
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_mono; }
    void set(const QDateTime &t) { m_now = t; }
    // Moves the clock on; every timer whose deadline falls inside fires in
    // deadline order, with the clock standing at its deadline.
    void advanceMs(qint64 ms);
    void advanceSecs(qint64 s) { advanceMs(s * 1000); }

    // A blocking wait on this clock moves it on in steps of at most StepMs,
    // after letting events run. Tests that talk to a peer on a pseudo-terminal
    // let each step also wait this many real milliseconds, so that the peer's
    // answer can cross the terminal before the clock moves on.
    static constexpr qint64 StepMs = 10;
    void setStepRealWaitMs(int ms) { m_stepRealWaitMs = ms; }
    void sleepStep(qint64 maxMs) override;

    // Timers waiting for this clock to reach their deadline.
    int armedTimers() const { return int(m_armed.size()); }

protected:
    void arm(ClockTimer &timer) override;
    void disarm(ClockTimer &timer) override;

private:
    QDateTime m_now;
    qint64 m_mono = 0;
    int m_stepRealWaitMs = 0;
    quint64 m_armSeq = 0;
    std::vector<ClockTimer *> m_armed;
};

// A timer that runs on a Clock, with the shape of QTimer: an interval, single
// shot or repeating, start/stop, timeout(). A repeating timer keeps its beat:
// the next deadline is counted from the last one, not from when its handler
// ended.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    explicit ClockTimer(Clock &clock, QObject *parent = nullptr);
    ~ClockTimer() override;

    void setInterval(int ms) { m_interval = qMax(0, ms); }
    int interval() const { return m_interval; }
    void setSingleShot(bool on) { m_singleShot = on; }
    bool isSingleShot() const { return m_singleShot; }

    void start();
    void start(int ms)
    {
        setInterval(ms);
        start();
    }
    void stop();
    bool isActive() const { return m_active; }
    // Monotonic time at which it fires next (valid while active).
    qint64 deadline() const { return m_deadline; }
    // Milliseconds until it fires, 0 when due.
    qint64 remainingMs() const;

signals:
    void timeout();

private:
    friend class Clock;
    friend class TestClock;
    void fire();
    void onRealTimeout();
    void startReal(qint64 ms);

    Clock *m_clock;
    QTimer m_real;
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
    qint64 m_deadline = 0;
    quint64 m_armSeq = 0;
};

} // namespace corvane
