#include "Clock.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <climits>

namespace corvane {

namespace {

// Longest real wait of one step before the caller looks again.
constexpr qint64 kRealSliceMs = 20;

void waitReal(qint64 ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(int(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

// ---- Clock --------------------------------------------------------------------

void Clock::sleepStep(qint64 maxMs) { waitReal(qMin(maxMs, kRealSliceMs)); }

bool Clock::waitFor(const std::function<bool()> &done, qint64 limitMs)
{
    const qint64 end = monotonicMs() + qMax<qint64>(0, limitMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done && done())
            return true;
        const qint64 rest = end - monotonicMs();
        if (rest <= 0)
            return false;
        sleepStep(rest);
    }
}

void Clock::arm(ClockTimer &timer) { timer.startReal(timer.remainingMs()); }

void Clock::disarm(ClockTimer &timer) { timer.m_real.stop(); }

// ---- SystemClock ----------------------------------------------------------------

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

qint64 SystemClock::monotonicMs() const
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

// ---- TestClock ------------------------------------------------------------------

TestClock::~TestClock()
{
    // Timers that outlive the clock stop; they never fire again.
    for (ClockTimer *t : m_armed) {
        t->m_active = false;
        t->m_real.stop();
        t->m_clock = nullptr;
    }
}

void TestClock::advanceMs(qint64 ms)
{
    const qint64 target = m_mono + qMax<qint64>(0, ms);
    auto moveTo = [this](qint64 mono) {
        m_now = m_now.addMSecs(mono - m_mono);
        m_mono = mono;
    };
    for (;;) {
        ClockTimer *next = nullptr;
        for (ClockTimer *t : m_armed) {
            if (t->m_deadline > target)
                continue;
            if (!next || t->m_deadline < next->m_deadline
                || (t->m_deadline == next->m_deadline && t->m_armSeq < next->m_armSeq))
                next = t;
        }
        if (!next)
            break;
        // A handler may have moved the clock on itself (a wait inside it).
        if (next->m_deadline > m_mono)
            moveTo(next->m_deadline);
        next->fire();
    }
    if (target > m_mono)
        moveTo(target);
}

void TestClock::sleepStep(qint64 maxMs)
{
    if (m_stepRealWaitMs > 0)
        waitReal(m_stepRealWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    advanceMs(qBound<qint64>(0, maxMs, StepMs));
}

void TestClock::arm(ClockTimer &timer)
{
    if (std::find(m_armed.begin(), m_armed.end(), &timer) == m_armed.end())
        m_armed.push_back(&timer);
    timer.m_armSeq = ++m_armSeq;
    // A timer that is due already fires when events are next processed, as a
    // Qt timer would, or at the start of the next advance, whichever is first.
    if (timer.m_deadline <= m_mono)
        timer.startReal(0);
    else
        timer.m_real.stop();
}

void TestClock::disarm(ClockTimer &timer)
{
    m_armed.erase(std::remove(m_armed.begin(), m_armed.end(), &timer), m_armed.end());
    timer.m_real.stop();
}

// ---- ClockTimer -----------------------------------------------------------------

ClockTimer::ClockTimer(Clock &clock, QObject *parent) : QObject(parent), m_clock(&clock)
{
    m_real.setSingleShot(true);
    m_real.setTimerType(Qt::PreciseTimer);
    connect(&m_real, &QTimer::timeout, this, &ClockTimer::onRealTimeout);
}

ClockTimer::~ClockTimer() { stop(); }

void ClockTimer::start()
{
    if (!m_clock)
        return;
    if (m_active)
        m_clock->disarm(*this);
    m_deadline = m_clock->monotonicMs() + m_interval;
    m_active = true;
    m_clock->arm(*this);
}

void ClockTimer::stop()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_clock)
        m_clock->disarm(*this);
}

qint64 ClockTimer::remainingMs() const
{
    if (!m_active || !m_clock)
        return -1;
    return qMax<qint64>(0, m_deadline - m_clock->monotonicMs());
}

void ClockTimer::startReal(qint64 ms) { m_real.start(int(qBound<qint64>(0, ms, qint64(INT_MAX)))); }

void ClockTimer::onRealTimeout()
{
    if (!m_active || !m_clock)
        return;
    // A Qt timer may wake a little early; the clock decides.
    if (m_clock->monotonicMs() < m_deadline) {
        m_clock->arm(*this);
        return;
    }
    fire();
}

void ClockTimer::fire()
{
    if (!m_active || !m_clock)
        return;
    m_clock->disarm(*this);
    if (m_singleShot) {
        m_active = false;
    } else {
        const qint64 now = m_clock->monotonicMs();
        const qint64 beat = qMax(1, m_interval);
        qint64 next = m_deadline + beat;
        // Fallen behind (the thread was busy): the missed beats are skipped.
        if (next <= now)
            next = now + beat;
        m_deadline = next;
        m_clock->arm(*this);
    }
    emit timeout();
}

} // namespace corvane
