#pragma once
#include "Clock.h"
#include "PendingCommands.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
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
//
// A command is handled when it is written to the port for the first time or
// dropped; it is delivered when the switch is known to have it: a command
// that is not kept once it is written, a kept command once the switch has
// answered a command written after it (see CommandQueue). The batch finishes
// when every command is delivered or dropped.
class CommandBatch : public QObject {
    Q_OBJECT
public:
    int total() const { return m_total; }
    // Commands handled so far: written to the port or dropped.
    int done() const { return m_done; }
    // Dropped: the port was closed when their turn came, the batch was
    // stopped, or their time had passed.
    int dropped() const { return m_dropped; }
    // Written to the port at least once.
    int sent() const { return m_done - m_dropped; }
    // Known to have reached the switch.
    int delivered() const { return m_delivered; }
    bool isFinished() const { return m_finished; }
    // The text of the command handled last (empty before the first).
    QString current() const { return m_current; }

signals:
    // After each command handled: done of total, and the command's text.
    void progress(int done, int total, const QString &current);
    // More of the batch is known to have reached the switch.
    void deliveredChanged(int delivered, int total);
    // After the last command was delivered or dropped: how many reached the
    // port and how many were dropped.
    void finished(int sent, int dropped);

private:
    friend class CommandQueue;
    CommandBatch(int total, QObject *parent);
    void handled(const QString &text, bool written);
    void reached(int n);
    void withdrawn(const QString &text);
    void finishIfDone();
    void finish();

    int m_total = 0;
    int m_done = 0;
    int m_dropped = 0;
    int m_delivered = 0;
    bool m_finished = false;
    QString m_current;
    // The lists (SwitchLists::listOf) of which the batch has written a
    // command: the switch may have the clear and not yet the entries.
    QSet<QString> m_listsBegun;
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
// take them (the port closed, the link down, the switch not answering: the
// send gate) the queue waits at the first of them, and everything behind it
// waits too. A write the port refuses leaves the command first in the queue.
//
// Delivered means answered. The switch answers no star code, only the clock
// command (with FF 5A); its link-alive frames come on their own and show
// nothing of the console's direction. So after kept commands the queue
// writes the clock command (the probe) and a kept command leaves the table
// only when the switch answers a probe written after it. One probe is out at
// a time, so an answer cannot be taken for a later probe than its own; an
// answer that arrives while two clock commands are out (another part sent
// one) proves nothing, the next does. A probe not answered within
// AnswerWaitMs means the switch does not hear the console: every kept
// command written since the last proof goes again, first and in its order,
// once the switch can take commands (answersMissing tells the link). The
// same happens when the link is lost or the port goes (PutBack).
//
// A command that adds to a list in the switch (SwitchLists) would add twice
// if it went again; once its delivery is in doubt (written and not proven,
// or kept by an earlier run) it does not go again on its own: the whole list
// is rewritten from the database, the clear first, behind the kept commands
// queued so far, and leaves the table as one unit once the last of it is
// proven. Every other kept command sets a value, so sending it again does no
// harm; keep it that way. A kept command with a time limit (a wake-up call)
// whose moment passes before it could go is not sent (expired).
//
// What is still kept when the console ends is loaded again at the next start
// and goes first.
class CommandQueue : public QObject {
    Q_OBJECT
public:
    CommandQueue(Clock &clock, QIODevice &port, QObject *parent = nullptr);
    ~CommandQueue() override;

    // Immediate path. Returns whether the bytes were written (false when the
    // port is closed or the text holds no digit pair). A clock command
    // written here is a probe whose answer is waited for.
    bool SendNow(const QString &hex);

    // Queued path: one command of its own, not part of a batch.
    void QueueHex(const QString &hex, int gapMs = LinkCommand::DefaultGapMs);
    // A batch: the commands in order behind everything queued before.
    // An empty batch finishes when events are next processed.
    CommandBatch *Queue(const QList<LinkCommand> &commands);
    CommandBatch *QueueStarCommands(const QStringList &codes, int gapMs = LinkCommand::DefaultGapMs);

    // The table of kept commands, and whether the switch can take a command
    // now (besides the port being open). Without a store nothing is kept.
    // Commands kept before the store is set here were kept by an earlier run.
    void setStore(Database *db);
    void setSendGate(std::function<bool()> gate) { m_gate = std::move(gate); }
    // Whether a probe may go now (not while the switch sends its dump, whose
    // blocks the answer would break).
    void setProbeGate(std::function<bool()> gate) { m_probeGate = std::move(gate); }
    // Brings the queue in line with the table: kept commands no longer there
    // (replaced, cancelled) leave it, newly kept ones join it at its end as
    // one batch, which is returned (nullptr when nothing new was kept).
    CommandBatch *SendKept();
    // The switch can take commands again: a queue waiting at a kept command
    // goes on.
    void Resume() { schedule(); }
    // Kept commands not yet known to have reached the switch: waiting, or
    // written and not yet answered.
    int KeptCount() const { return m_kept; }
    // Of those, written and waiting for the switch's answer.
    int UnprovenCount() const;

    // An answer to the clock command (FF 5A) arrived.
    void Answered();
    // Everything written since the last proof is in doubt (the link was lost,
    // the port went): it goes again, first, once the switch can take commands.
    void PutBack();
    // A clock command written longer ago than this and not answered counts as
    // lost: the switch does not hear the console.
    static constexpr int AnswerWaitMs = 2000;
    // A probe at the latest after this many kept commands.
    static constexpr int ProofEvery = 20;
    // A clock command is out and its answer is awaited.
    bool Probing() const { return !m_probes.empty(); }
    // When the switch last answered a probe (monotonic ms; -1 never).
    qint64 LastAnsweredMs() const { return m_lastAnsweredMs; }

    // The queue waits at a kept command the switch cannot take now.
    bool Stalled() const;
    bool CanSend() const;
    // Empties the queue without sending; kept commands stay in the table.
    void Forget();
    // Removes the batch's commands that have not gone yet, from the queue
    // and from the table; the batch finishes with them counted as dropped.
    // A list the batch has begun to write is the exception: the switch may
    // hold its clear and not yet its entries, so the rest of it still goes.
    // Returns how many of the batch's commands still go for that reason.
    int Cancel(CommandBatch *batch);

    // Commands waiting for their turn.
    int QueuedCount() const { return int(m_entries.size()); }
    // The texts of the waiting commands that are not kept (a reset, an
    // initialisation, the user window's open and close), in queue order:
    // what ending the run without them drops.
    QStringList UnkeptWaiting() const;
    // Time the waiting commands need at least: their gaps, and the probes
    // that follow kept commands.
    qint64 PendingMs() const;

    // The end of the run: sends every waiting command, paced, before it
    // returns, or until the queue waits at a kept command the switch cannot
    // take (it stays kept for the next start), and waits a little for the
    // answer that shows the switch got the last of them. This blocks the
    // caller (events keep running); nothing else should wait this way.
    void Drain();
    // Nothing waits to be written or answered.
    bool Settled() const { return m_entries.empty() && m_written.empty(); }

signals:
    // The number of kept commands not yet delivered changed.
    void keptChanged(int kept);
    // A probe written at writtenMs (monotonic) went unanswered: the switch
    // does not hear the console, or does not talk at all.
    void answersMissing(qint64 writtenMs);
    // The switch answered a probe: it hears the console.
    void answered();
    // A kept command was not sent because its moment had passed; it has left
    // the table.
    void expired(const QString &code, const QDateTime &moment);

private:
    // A row of the table a command settles once the switch has it.
    struct Owed {
        qint64 seq = 0;
        CommandBatch *batch = nullptr;
        bool counted = false; // its batch has counted it handled
    };
    struct Entry {
        LinkCommand command;
        CommandBatch *batch = nullptr; // a command that is not kept
        bool kept = false;
        QList<Owed> owed;    // the rows it settles (a rewritten list's last command carries the list's)
        QString list;        // the list it changes (SwitchLists::listOf), for kept star codes
        bool member = false; // part of a rewritten list, which its last command settles
        QDateTime expires;   // not sent from this moment on
    };
    struct Written {
        Entry entry;
        qint64 serial = 0;
    };
    struct Probe {
        qint64 at = 0;   // monotonic ms written
        qint64 mark = 0; // the serial of the last kept command written before it
    };
    void enqueue(const LinkCommand &command, CommandBatch *batch);
    void schedule();
    void pump();
    bool writeProbe(qint64 now);
    bool probeWanted() const;
    void countKept();
    void prove(qint64 mark);
    void probeTimedOut();
    void armProbeTimer();
    void removeRows(const QList<Owed> &owed, const char *what);
    static void dropOwed(const Owed &o, const QString &text);
    // Puts the list's commands back as one rewritten unit behind the kept
    // commands queued, taking in the queued commands of the same list.
    void rewriteList(const QString &list, QList<Owed> owed, const QList<Entry> &originals);
    Entry keptEntry(const PendingCommand &c);

    Clock &m_clock;
    QIODevice &m_port;
    ClockTimer m_timer;
    ClockTimer m_probeTimer;
    std::deque<Entry> m_entries;
    // Kept commands written and not yet proven, oldest first.
    std::deque<Written> m_written;
    // Clock commands written and not yet answered, oldest first.
    std::deque<Probe> m_probes;
    qint64 m_serial = 0;     // kept commands written so far
    qint64 m_probedUpTo = 0; // the serial the latest probe followed
    qint64 m_lastAnsweredMs = -1;
    // Monotonic time at which the next queued command may go.
    qint64 m_readyAt = 0;
    Database *m_store = nullptr;
    std::function<bool()> m_gate;
    std::function<bool()> m_probeGate;
    // The newest kept command taken into the queue, and the newest kept
    // before this run (whose delivery is in doubt).
    qint64 m_lastLoaded = 0;
    qint64 m_earlierRun = 0;
    int m_kept = 0;
};

} // namespace corvane
