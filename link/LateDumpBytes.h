#pragma once
#include <QtGlobal>

namespace corvane {

// The rule for the bytes of a dump that was given up while the switch was
// still sending (SwitchLink::DiscardLateDumpBytes). They must not reach the
// frame dispatcher: a dump block's data bytes can look like any frame (a
// caller number, a trunk event, a call record).
//
// The link drops the ring's unread bytes and calls begin(); from then on it
// asks dropArriving() for every piece it receives and drops the piece while
// the answer is true. Discarding ends when the line has been quiet for
// quietMs (the first piece after the quiet is kept and dispatched as usual)
// or maxMs after it began, and at once with cancel() (a new comparison).
// All times on the console's monotonic clock.
class LateDumpBytes {
public:
    void begin(qint64 nowMs, int quietMs, int maxMs)
    {
        m_active = true;
        m_beganMs = m_lastMs = nowMs;
        m_quietMs = quietMs;
        m_maxMs = maxMs;
    }
    void cancel() { m_active = false; }

    // Still discarding at nowMs (a timer may ask without bytes arriving).
    bool active(qint64 nowMs) const { return m_active && nowMs - m_lastMs < m_quietMs && nowMs - m_beganMs < m_maxMs; }

    // A piece of received bytes arrives at nowMs: true when it is dropped.
    bool dropArriving(qint64 nowMs)
    {
        if (!active(nowMs)) {
            m_active = false;
            return false;
        }
        m_lastMs = nowMs;
        ++m_droppedPieces;
        return true;
    }

    int droppedPieces() const { return m_droppedPieces; }

private:
    bool m_active = false;
    qint64 m_beganMs = 0;
    qint64 m_lastMs = 0;
    int m_quietMs = 0;
    int m_maxMs = 0;
    int m_droppedPieces = 0;
};

} // namespace corvane
