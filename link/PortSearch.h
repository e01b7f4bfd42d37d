#pragma once
#include "Clock.h"

#include <QObject>

namespace corvane {

class CommandQueue;
class LinkPorts;
class LinkSupervisor;

// The automatic port search, as a state machine on the console's clock:
// for ports 1 to 16 in order, as long as the link is down, open the port,
// send the clock command and give the switch half a second to answer, then
// go on with the next port. It ends on the first port that answered (mscPort
// stays there) or after the last candidate (mscPort is left on it, open only
// if that port exists). The outward port, while the outward copy is on, is
// not a candidate.
//
// An answer counts for the port being tried when it arrives during that
// port's half second (noteAnswer), whatever the watchdog does meanwhile, so
// the answering port is always the one kept.
//
// Nothing here blocks: start() returns at once and finished() tells the end.
// SwitchLink::SearchPort waits for it where a caller must (start-up).
class PortSearch : public QObject {
    Q_OBJECT
public:
    static constexpr int AnswerWaitMs = 500;

    PortSearch(Clock &clock, LinkPorts &ports, CommandQueue &commands, LinkSupervisor &supervisor,
               QObject *parent = nullptr);

    // Starts a search; nothing happens while one runs. With the link up
    // already there is nothing to search: it finishes at once, found.
    void start();
    // Abandons a running search: mscPort stays as it is, finished(false).
    void stop();
    bool isRunning() const { return m_running; }
    // The port being tried (0 before the first).
    int candidate() const { return m_current; }

public slots:
    // A frame that shows the switch is there arrived.
    void noteAnswer();

signals:
    // The search has opened port n and waits for its answer.
    void portSelected(int n);
    void finished(bool found);

private:
    void tryFrom(int n);
    void finish(bool found);

    Clock &m_clock;
    LinkPorts &m_ports;
    CommandQueue &m_commands;
    LinkSupervisor &m_supervisor;
    ClockTimer m_wait;
    bool m_running = false;
    bool m_answered = false;
    int m_current = 0;
};

} // namespace corvane
