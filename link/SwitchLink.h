#pragma once
#include "CommandQueue.h"
#include "FrameHandlers.h"
#include "FrameRing.h"
#include "LateDumpBytes.h"
#include "LinkPorts.h"
#include "LinkSupervisor.h"
#include "OutwardQueue.h"
#include "PortSearch.h"
#include "Protocol.h"
#include "Status.h"
#include "TrunkState.h"

#include <QDateTime>
#include <QObject>
#include <QSerialPort>

namespace corvane {

class ConsoleContext;

// The serial link to the switch, as the rest of the console sees it. It owns
// the pieces and wires them together; each piece is a class of its own:
//   LinkPorts       the two serial ports
//   FrameRing       the receive ring, the dispatcher and the dump collection
//   CommandQueue    every command sent, immediate or queued and paced
//   LinkSupervisor  link state, watchdog (tmrState) and periodic task (tmrQuest)
//   PortSearch      the automatic port search
//   OutwardQueue    the outward copy, kept until the outward port took it
// The names the other parts use (mscPort, DumpMode, LinkSilence, tmrState,
// SendStarCommand, …) stay here and lead into the pieces.
//
// One object per console, owned by the main window and reachable as
// ConsoleContext::link. Everything runs on the user-interface thread.
class SwitchLink : public QObject, private LinkFrameReceiver {
    Q_OBJECT

    // The pieces come first: the public names below refer into them.
    ConsoleContext &m_ctx;
    LinkPorts m_ports;
    FrameRing m_ring;
    CommandQueue m_commands;
    OutwardQueue m_outward;

public:
    // Per trunk, index trunk - 1; kept by the trunk-event handlers, read by
    // the nightly reset.
    TrunkStates TrunkState{};

private:
    LinkSupervisor m_supervisor;
    PortSearch m_search;
    LateDumpBytes m_late;
    qint64 m_lateDropped = 0;

public:
    static constexpr int PortCount = LinkPorts::PortCount;
    static constexpr int StateIntervalMs = LinkSupervisor::StateIntervalMs;
    static constexpr int QuestIntervalMs = LinkSupervisor::QuestIntervalMs;
    static constexpr int SilenceLimit = LinkSupervisor::SilenceLimit;

    explicit SwitchLink(ConsoleContext &ctx, QObject *parent = nullptr);
    ~SwitchLink() override;

    ConsoleContext &context() const { return m_ctx; }
    LinkPorts &ports() { return m_ports; }
    FrameRing &ring() { return m_ring; }
    CommandQueue &commands() { return m_commands; }
    LinkSupervisor &supervisor() { return m_supervisor; }
    PortSearch &search() { return m_search; }
    OutwardQueue &outward() { return m_outward; }

    // ---- ports -------------------------------------------------------------
    QSerialPort &mscPort;
    QSerialPort &mscOut;
    bool OpenPort(int n) { return m_ports.OpenPort(n); }
    int PortNumber() const { return m_ports.PortNumber(); }
    // Why the last attempt to open the switch port failed although a device
    // is there (a directory, no terminal, no permission); else empty.
    QString PortFaultText() const { return m_ports.PortFaultText(); }
    // The operator has been shown PortFaultText: the heal steps do not tell
    // it again while it lasts.
    void NotePortFaultShown() { m_toldPortFault = m_ports.PortFaultText(); }
    // Switches the outward copy on (port n) and sends what is kept for it;
    // the port is healed like the switch port when it cannot be opened now.
    bool OpenOutPort(int n);
    // Switches the outward copy off: nothing is kept or sent any more.
    void CloseOutPort();
    int OutPortNumber() const { return m_ports.OutPortNumber(); }
    // Closes both ports; bytes still buffered for the switch go out first.
    void ClosePorts() { m_ports.ClosePorts(); }
    // The end of the run: timers stopped, the commands still queued sent in
    // their order and pace, the exit command after them, ports closed. This
    // blocks until the queue is empty.
    void CloseLink();

    // ---- receive path ------------------------------------------------------
    // Every piece the port delivers; dropped while late bytes of a given-up
    // dump are being discarded (DiscardLateDumpBytes).
    void ReceiveBytes(const QByteArray &bytes);
    void DispatchFrames() { m_ring.DispatchFrames(); }
    int RecvHead() const { return m_ring.RecvHead(); }
    int RecvTail() const { return m_ring.RecvTail(); }
    int RingCount() const { return m_ring.RingCount(); }
    quint8 RingByte(int k) const { return m_ring.RingByte(k); }
    void ResetRing(int index = 0) { m_ring.ResetRing(index); }
    qint64 OverflowDropped() const { return m_ring.OverflowDropped(); }
    void setFrameHandlers(FrameHandlers *handlers) { m_ring.setFrameHandlers(handlers); }
    FrameHandlers *frameHandlers() const { return m_ring.frameHandlers(); }
    void setParameterBlockReceiver(ParameterBlockReceiver *receiver) { m_ring.setParameterBlockReceiver(receiver); }

    // ---- parameter dump ------------------------------------------------------
    // From now on the stream is cut into dump blocks, the next one numbered
    // blockNo (DumpMode True). Ends any discarding of late bytes at once.
    void CollectDumpBlocks(quint8 blockNo);
    // The last block has come: frames are dispatched again.
    void EndDumpCollection() { DumpMode = false; }
    // A comparison given up while the switch may still be sending (time-out,
    // too many bad blocks, window closed): DumpMode goes False, the unread
    // bytes are dropped, and every piece that arrives is dropped too until the
    // line has been quiet for quietMs, or maxMs after this call at the
    // latest. A dump block's data bytes can look like any frame (a caller
    // number, a trunk event, a call record); none of them may be dispatched.
    void DiscardLateDumpBytes(int quietMs = 1500, int maxMs = 30000);
    // Discarding now, and the bytes it has dropped so far.
    bool DiscardingLateDumpBytes() const;
    qint64 LateDumpBytesDropped() const { return m_lateDropped; }

    // ---- link state ----------------------------------------------------------
    bool LinkUp() const { return m_supervisor.LinkUp(); }
    void SetLinkUp(bool up) { m_supervisor.SetLinkUp(up); }
    bool &DispatcherIdle;
    int &LinkSilence;
    bool &DumpMode;
    quint8 &DumpBlockNo;
    bool &NightResetDone;

    // ---- timers --------------------------------------------------------------
    ClockTimer &tmrState; // link watchdog, 1000 ms
    ClockTimer &tmrQuest; // clock probe and nightly reset, 5000 ms
    void StartTimers() { m_supervisor.StartTimers(); }
    void StopTimers() { m_supervisor.StopTimers(); }

    // ---- commands --------------------------------------------------------------
    // Every command is dropped silently when mscPort is not open.
    //
    // Immediate: written at once, never behind queued commands.
    void SendHex(const QString &hex) { m_commands.SendNow(hex); }
    void SendStarCommand(const QString &code) { SendHex(PackStarCode(code)); }
    void SendClock();
    void SendAck() { SendHex(Command::Ack); }
    void SendNak() { SendHex(Command::Nak); }
    void RequestDump() { SendHex(Command::Dump); }
    void SendNightReset() { SendHex(Command::NightReset); }
    // Queued: in their place behind what was queued before them.
    void SendUserWindowOpen() { QueueHex(Command::UserWindowOpen); }
    void SendUserWindowClose() { QueueHex(Command::UserWindowClose); }
    void SendProgramExit() { QueueHex(Command::ProgramExit); }

    // The command queue (see CommandQueue): paced sends in order.
    void QueueHex(const QString &hex, int gapMs = LinkCommand::DefaultGapMs) { m_commands.QueueHex(hex, gapMs); }
    CommandBatch *Queue(const QList<LinkCommand> &commands) { return m_commands.Queue(commands); }
    CommandBatch *QueueStarCommands(const QStringList &codes, int gapMs = LinkCommand::DefaultGapMs)
    {
        return m_commands.QueueStarCommands(codes, gapMs);
    }
    int QueuedCount() const { return m_commands.QueuedCount(); }

    // Kept commands (see CommandQueue): a window keeps the commands of its
    // change with the change (StoreKept) and calls SendKept after the commit.
    // The returned batch follows them (nullptr when none were kept).
    CommandBatch *SendKept() { return m_commands.SendKept(); }
    // SendKept for a window: when the switch cannot take the commands now,
    // the operator is told how many wait (WaitingText).
    CommandBatch *SendKeptAndTell(QWidget *parent = nullptr);
    int KeptCount() const { return m_commands.KeptCount(); }
    // The switch takes commands now: the port is open, the link up and the
    // switch answering.
    bool CanSend() const { return m_commands.CanSend(); }
    bool SendDown() const { return m_supervisor.SendDown(); }
    // Stops a batch (CommandQueue::Cancel); returns how many of its commands
    // still go to finish a list it had begun.
    int CancelBatch(CommandBatch *batch) { return m_commands.Cancel(batch); }
    // What a window says when its commands could not go out at once:
    // "交换机未连接，N条命令将在连接恢复后发送。", empty when they can go.
    QString WaitingText() const;
    static QString WaitingText(int kept);
    // Text of the status bar's panel for the kept commands: "待发命令：N".
    static QString KeptPanelText(int kept);
    // Before the console ends (exit, the backup tool) the commands still
    // waiting go out and are answered for, while a window shows how far
    // (frmSendBeforeEnd); the operator may leave them for the next start at
    // any moment (LeaveKeptForNextStart).
    struct EndProgress {
        int total = 0;       // commands to go when the wait began (kept ones, and others)
        int waiting = 0;     // not yet delivered: queued, or written and not answered
        qint64 msLeft = 0;   // at the line's pace, gaps and the last answer included
        bool canSend = true; // the switch takes commands now
        QStringList unkept;  // queued commands that are not kept, with what they do
    };
    // Starts the wait (the kept commands joined to the queue) and tells how
    // much there is; Settled() when nothing waits.
    EndProgress BeginEndWait();
    EndProgress EndWaitProgress() const;
    bool Settled() const { return m_commands.Settled(); }
    // The kept commands stay in the table for the next start; the rest of
    // the queue (EndProgress::unkept) is dropped. Returns what was dropped.
    QStringList LeaveKeptForNextStart();
    // What a queued command that is not kept does, for the operator:
    // "初始化交换机（*00*121#）".
    static QString UnkeptText(const QString &command);
    // Commands waiting now (kept or not).
    int WaitingCount() const { return m_commands.QueuedCount(); }

    // ---- outward copy ------------------------------------------------------------
    // While the outward copy is on, every record ("$FEE,...", "$PHN,...") is
    // kept in the database until the outward port has passed it on, and sent
    // in order; records that could not go out go when the port is back, also
    // after a restart. Nothing while the copy is off.
    void SendOutward(const QString &record);
    // Keeps a record inside the caller's open transaction, so that it is
    // committed with the change it belongs to; FlushOutward after the commit.
    Status KeepOutward(const QString &record);
    void FlushOutward() { m_outward.Flush(); }
    static QByteArray OutwardBytes(const QString &record) { return LinkPorts::OutwardBytes(record); }

    // Lets every event run until the given time has passed on the console's
    // clock (Clock::waitFor). Only for a wait that really must block its
    // caller; paced sends go through the command queue.
    void Pause(double seconds);

    // ---- port search -------------------------------------------------------------
    // Runs the search (PortSearch) to its end and returns then: for start-up,
    // before the console is shown. Leaves mscPort on the answering port, or
    // on the last candidate.
    void SearchPort();
    // The port window's "automatic search": frees a dispatcher flag left set
    // (never while a pass is really running) and starts the search; it runs
    // on, and searchFinished tells its end.
    void SearchAgain();
    void StopSearch() { m_search.stop(); }
    bool Searching() const { return m_search.isRunning(); }

    // Stores port n as the switch port of the configuration row.
    Status StorePort(int n);

    // The main window's load step for the link: search the switch, else fall
    // back to the port stored in SWTConfig; store a found port; open the
    // outward port when configured. Returns whether the switch answered. The
    // status text is signalled either way; a found port that cannot be stored
    // is told in a notice, since the console is not shown yet.
    bool OpenLinkOnLoad();

public slots:
    void mscPort_OnComm();
    void tmrState_Timer() { m_supervisor.tmrState_Timer(); }
    void tmrQuest_Timer() { m_supervisor.tmrQuest_Timer(); }

signals:
    // Text of status bar panel 2: "通讯端口：正常", "通讯端口：错误" or
    // "通讯端口：发送失败" (the switch's frames arrive, its answers do not).
    void statusText(const QString &text);
    void linkUpChanged(bool up);
    // The number of kept commands not yet written changed.
    void keptChanged(int kept);
    // The link was lost after it had been up (the watchdog's limit, or the
    // switch not answering the console), and came back. The operator has
    // been told in a desktop notice either way.
    void linkLost(const QDateTime &lastFrameAt);
    void linkRestored();
    // The state of the outward copy for the status bar: "外发端口：正常",
    // "外发端口：错误，N条待发"; empty while the copy is off.
    void outwardStatusText(const QString &text);
    // The search has opened port n (the port window follows it).
    void portSelected(int n);
    void searchFinished(bool found);

private:
    // Frames of the link itself, from the dispatcher.
    void OnLinkRequest() override;
    void OnAck() override;
    void OnLinkAlive() override;
    void OnFault(quint8 code) override;
    void OnDumpBlock() override;
    void OnFrame() override;
    void probe();
    void checkAnswers();

    // The heal steps, after every watchdog tick (and the switch port before
    // every probe): see LinkPorts.
    void healPorts();
    LinkPorts::Heal healSwitchPort();
    void healOutPort();
    // Tells a port's fault once, until it changes or the port is fine again.
    void tellFault(const QString &key, const QString &title, const QString &fault, QString &told);
    void tellLinkLost(const QDateTime &lastFrameAt);
    void tellSendingLost(const QDateTime &lastAnswerAt);
    void tellExpired(const QString &code, const QDateTime &moment);
    void tellLinkRestored(const QDateTime &lostAt);
    // Panel text and notice of the outward port, when its state changed.
    void showOutwardState();

    QString m_toldPortFault;
    QString m_toldOutFault;
    // The operator chose to leave the kept commands for the next start.
    bool m_leaveKept = false;
    int m_endTotal = 0;
    bool m_outwardDownTold = false;
    QString m_outwardStatus;
};

} // namespace corvane
