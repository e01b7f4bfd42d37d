#pragma once
#include "Clock.h"
#include "PendingCommands.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QIODevice;

namespace corvane {

// One command for the switch, as the queue sends it: the hex text written to
// the port, the time the switch needs before the next queued command, and
// the text an operator reads for it (the star code itself, else the hex).
struct LinkCommand {
    static constexpr int DefaultGapMs = 100;

    QString hex;
    int gapMs = DefaultGapMs;
    QString text;
    // The clock command: its hex is built from the console's clock when its
    // turn comes, so a long send sets the switch to the time it is sent, not
    // to the time it was queued.
    bool clock = false;

    // A star code such as "*10*3*201#", packed as the switch takes it.
    static LinkCommand Star(const QString &code, int gapMs = DefaultGapMs);
    // A command already in hex digit pairs ("3100").
    static LinkCommand Hex(const QString &hex, int gapMs = DefaultGapMs);
    static LinkCommand Clock(int gapMs = DefaultGapMs);
};

// The progress of one queued batch, for the window that queued it. The batch
// belongs to the queue, not to the window: a window that closes while its
// batch is waiting does not cancel it, since the change it stands for is
// committed and must reach the switch. The object stays valid until the batch
// has finished and is deleted (deleteLater) after that; a window holds it in a
// QPointer and sees it go.
class CommandBatch : public QObject {
    Q_OBJECT
public:
    int total() const { return m_total; }
    // Commands handled so far: written to the port or dropped.
    int done() const { return m_done; }
    // Dropped because the port was closed when their turn came.
    int dropped() const { return m_dropped; }
    int sent() const { return m_done - m_dropped; }
    bool isFinished() const { return m_finished; }
    // The text of the command handled last (empty before the first).
    QString current() const { return m_current; }

signals:
    // After each command: done of total, and the command's text.
    void progress(int done, int total, const QString &current);
    // After the last command: how many reached the port and how many were lost.
    void finished(int sent, int dropped);

private:
    friend class CommandQueue;
    CommandBatch(int total, QObject *parent);
    void handled(const QString &text, bool written);
    void finish();

    int m_total = 0;
    int m_done = 0;
    int m_dropped = 0;
    bool m_finished = false;
    QString m_current;
};

// Every command the console sends to the switch passes here, on one of two
// paths.
//
// Immediate (SendNow): written at once, ahead of anything queued. For what
// the switch must get without delay: acknowledgements (5A / A5), the clock
// command of the probe and the port search, the class commands of the call
// intake, blocking a caller ("62"), the dump request.
//
// Queued (QueueHex, Queue, QueueStarCommands): sent in order, one at a time,
// each followed by its own gap before the next queued command goes (100 ms
// unless the command says otherwise). Nothing is written from inside the
// call that queues: the first command goes when events are next processed,
// so the caller can connect to its batch first. The pacing runs on the
// console's Clock: on a TestClock the commands go out as the test advances
// the clock.
//
// A command whose turn comes while the port is closed is dropped and counted
// in its batch; a dropped command has nothing for the switch to digest and
// takes no gap.
//
// Kept (SendKept): the commands a committed change owes the switch, kept in
// the database (PendingCommands) in the change's transaction. They join the
// queue in the order kept and are never dropped: while the switch cannot
// take them (the port closed, the link down: the send gate) the queue waits
// at the first of them, and everything behind it waits too. A kept command
// leaves the table once the switch has been heard after it was written
// (Heard): a switch that went away silently is noticed by the watchdog only
// seconds later, and what was written into that silence goes again, first,
// when the switch is back (Unheard). What is still kept when the console
// ends is loaded again at the next start and goes first. Every kept command
// sets a value, so one that reached the switch and goes again does no harm.
class CommandQueue : public QObject {
    Q_OBJECT
public:
    CommandQueue(Clock &clock, QIODevice &port, QObject *parent = nullptr);
    ~CommandQueue() override;

    // Immediate path. Returns whether the bytes were written (false when the
    // port is closed or the text holds no digit pair).
    bool SendNow(const QString &hex);

    // Queued path: one command of its own, not part of a batch.
    void QueueHex(const QString &hex, int gapMs = LinkCommand::DefaultGapMs);
    // A batch: the commands in order behind everything queued before.
    // An empty batch finishes when events are next processed.
    CommandBatch *Queue(const QList<LinkCommand> &commands);
    CommandBatch *QueueStarCommands(const QStringList &codes, int gapMs = LinkCommand::DefaultGapMs);

    // The table of kept commands, and whether the switch can take a command
    // now (besides the port being open). Without a store nothing is kept.
    void setStore(Database *db) { m_store = db; }
    void setSendGate(std::function<bool()> gate) { m_gate = std::move(gate); }
    // Brings the queue in line with the table: kept commands no longer there
    // (replaced, cancelled) leave it, newly kept ones join it at its end as
    // one batch, which is returned (nullptr when nothing new was kept).
    CommandBatch *SendKept();
    // The switch can take commands again: a queue waiting at a kept command
    // goes on.
    void Resume() { schedule(); }
    // Kept commands not yet written.
    int KeptCount() const { return m_kept; }
    // The switch was heard (a frame arrived): kept commands written long
    // enough before it reached it, and leave the table.
    void Heard();
    // The switch went silent: kept commands written since it was last heard
    // go again, ahead of the queue, once it can take commands.
    void Unheard();
    // Kept commands written but not yet known to have reached the switch.
    int UnheardCount() const { return int(m_written.size()); }
    // A frame that arrives sooner after a command than this may have left
    // the switch before the command came in.
    static constexpr int HeardAfterMs = 300;
    // The queue waits at a kept command the switch cannot take now.
    bool Stalled() const;
    bool CanSend() const;
    // Empties the queue without sending; kept commands stay in the table.
    void Forget();
    // Removes the batch's commands that have not gone yet, from the queue
    // and from the table; the batch finishes with them counted as dropped.
    void Cancel(CommandBatch *batch);

    // Commands waiting for their turn.
    int QueuedCount() const { return int(m_entries.size()); }
    // Time the waiting commands need at least, gaps included.
    qint64 PendingMs() const;

    // The end of the run: sends every waiting command, paced, before it
    // returns, or until the queue waits at a kept command the switch cannot
    // take (it stays kept for the next start), and then asks the switch for an
    // answer that shows it got the last of them. This blocks the caller
    // (events keep running); nothing else should wait this way.
    void Drain();

signals:
    // The number of kept commands not yet written changed.
    void keptChanged(int kept);

private:
    struct Entry {
        LinkCommand command;
        CommandBatch *batch = nullptr;
        qint64 seq = 0; // kept in the table under this number; 0: not kept
    };
    void enqueue(const LinkCommand &command, CommandBatch *batch, qint64 seq = 0);
    void schedule();
    void pump();
    void countKept();

    Clock &m_clock;
    QIODevice &m_port;
    ClockTimer m_timer;
    std::deque<Entry> m_entries;
    // Kept commands written, with the time they were, until the switch is heard.
    std::deque<std::pair<Entry, qint64>> m_written;
    // Monotonic time at which the next queued command may go.
    qint64 m_readyAt = 0;
    Database *m_store = nullptr;
    std::function<bool()> m_gate;
    // The newest kept command taken into the queue.
    qint64 m_lastLoaded = 0;
    int m_kept = 0;
};

} // namespace corvane
