#pragma once
#include "CommandQueue.h"
#include "FrameHandlers.h"
#include "Protocol.h"
#include "TrunkState.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <array>

namespace corvane {

class ConsoleContext;

// The serial link to the switch: the two ports, the receive ring and its
// dispatcher, the parameter-dump collection, the link watchdog and the
// periodic task, every command the console sends, and the port search.
//
// One object per console, owned by the main window and reachable as
// ConsoleContext::link. Everything runs on the user-interface thread.
//
// Received bytes go into a 512-byte ring (at most 511 unread). A dispatch pass
// cuts them into frames (sync 0xFF, type byte, fixed length per type) and hands
// each complete frame to the FrameHandlers; a partial frame stays in the ring
// until more bytes arrive. While DumpMode is set the ring is cut into dump
// blocks for the ParameterBlockReceiver instead.
class SwitchLink : public QObject {
    Q_OBJECT
public:
    static constexpr int PortCount = 16;
    static constexpr int StateIntervalMs = 1000;
    static constexpr int QuestIntervalMs = 5000;
    // Watchdog ticks without a link-alive frame before the link counts as down.
    static constexpr int SilenceLimit = 6;

    explicit SwitchLink(ConsoleContext &ctx, QObject *parent = nullptr);
    ~SwitchLink() override;

    ConsoleContext &context() const { return m_ctx; }

    // ---- ports -------------------------------------------------------------
    // The switch port and the outward copy port, both 2400 8N1.
    QSerialPort mscPort;
    QSerialPort mscOut;

    // Closes mscPort, sets port number n (1..16) and opens it; the device is
    // HomePaths::serialDevice(n). Returns whether the port is open. A number
    // outside 1..16 is kept but never opened.
    bool OpenPort(int n);
    int PortNumber() const { return m_portNumber; }
    // The same for mscOut.
    bool OpenOutPort(int n);
    int OutPortNumber() const { return m_outPortNumber; }
    // Closes both ports; bytes still buffered for the switch go out first.
    void ClosePorts();
    // The end of the run: timers stopped, the commands still queued sent in
    // their order and pace, the exit command after them, ports closed. This
    // blocks until the queue is empty.
    void CloseLink();

    // ---- receive path ------------------------------------------------------
    // Appends received bytes to the ring and runs the dump collection or a
    // dispatch pass. While a pass is running (a handler lets events through)
    // the bytes are only appended; the running pass picks them up.
    void ReceiveBytes(const QByteArray &bytes);
    // One dispatch pass; does nothing when a pass is already running.
    void DispatchFrames();

    int RecvHead() const { return m_head; }
    int RecvTail() const { return m_tail; }
    int RingCount() const;
    // Byte at offset k from RecvHead.
    quint8 RingByte(int k) const;
    // Empties the ring and puts both indexes at `index` (0..511).
    void ResetRing(int index = 0);
    // Bytes dropped because the ring was full.
    qint64 OverflowDropped() const { return m_dropped; }

    void setFrameHandlers(FrameHandlers *handlers) { m_handlers = handlers; }
    FrameHandlers *frameHandlers() const { return m_handlers; }
    void setParameterBlockReceiver(ParameterBlockReceiver *receiver) { m_dumpReceiver = receiver; }

    // ---- link state ----------------------------------------------------------
    bool LinkUp() const { return m_linkUp; }
    void SetLinkUp(bool up);

    // False only while a dispatch pass runs.
    bool DispatcherIdle = true;
    // Watchdog ticks since the last link-alive frame or dump block.
    int LinkSilence = 0;
    // Set while the switch sends its parameter dump; no event frames then.
    bool DumpMode = false;
    // Number of the dump block expected next.
    quint8 DumpBlockNo = 0;
    // Per trunk, index trunk - 1.
    TrunkStates TrunkState{};
    // The nightly reset has been sent in the current night.
    bool NightResetDone = false;

    // ---- timers --------------------------------------------------------------
    // Created stopped; the main window starts them once it is loaded.
    QTimer tmrState;   // link watchdog, 1000 ms
    QTimer tmrQuest;   // clock probe and nightly reset, 5000 ms
    void StartTimers();
    void StopTimers();

    // ---- commands --------------------------------------------------------------
    // Every command is dropped silently when mscPort is not open.
    //
    // Immediate: written at once, never behind queued commands.
    void SendHex(const QString &hex) { m_commands.SendNow(hex); }
    void SendStarCommand(const QString &code);
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
    CommandQueue &commands() { return m_commands; }
    void QueueHex(const QString &hex, int gapMs = LinkCommand::DefaultGapMs) { m_commands.QueueHex(hex, gapMs); }
    CommandBatch *Queue(const QList<LinkCommand> &commands) { return m_commands.Queue(commands); }
    CommandBatch *QueueStarCommands(const QStringList &codes, int gapMs = LinkCommand::DefaultGapMs)
    {
        return m_commands.QueueStarCommands(codes, gapMs);
    }
    int QueuedCount() const { return m_commands.QueuedCount(); }

    // A text record on the outward port ("$FEE,...", "$PHN,..."), written in
    // GB18030. Dropped when mscOut is not open.
    void SendOutward(const QString &record);
    // The bytes SendOutward writes for a record.
    static QByteArray OutwardBytes(const QString &record);

    // Lets every event run until the given time has passed on the console's
    // clock (Clock::waitFor). Only for a wait that really must block its
    // caller; paced sends go through the command queue.
    void Pause(double seconds);

    // ---- port search -------------------------------------------------------------
    // Tries ports 1..16 in turn while the link is down: opens the port, sends
    // the clock command and waits half a second for an answer. Leaves mscPort
    // on the answering port, or on the last candidate.
    void SearchPort();

    // The main window's load step for the link: search the switch, else fall
    // back to the port stored in SWTConfig; store a found port; open the
    // outward port when configured. Returns whether the switch answered. The
    // status text is signalled either way.
    bool OpenLinkOnLoad();

    // The port window's "automatic search": frees a dispatcher flag left set
    // (never while a pass is really running) and searches again.
    void SearchAgain();

public slots:
    void mscPort_OnComm();
    void tmrState_Timer();
    void tmrQuest_Timer();

signals:
    // Text of status bar panel 2: "通讯端口：正常" or "通讯端口：错误".
    void statusText(const QString &text);
    void linkUpChanged(bool up);
    // The search has opened port n (the port window follows it).
    void portSelected(int n);

private:
    void processRing();
    void collectDump();
    void appendByte(quint8 b);
    void advance(int n);
    QByteArray copyOut(int from, int len) const;
    int runFrame(quint8 type, const QByteArray &frame);
    void OnLinkAlive();
    void OnFault(quint8 code);
    void onPortError(QSerialPort::SerialPortError error);
    bool openSerial(QSerialPort &port, int n);

    ConsoleContext &m_ctx;
    FrameHandlers *m_handlers = nullptr;
    ParameterBlockReceiver *m_dumpReceiver = nullptr;

    std::array<quint8, 512> m_buf{};
    int m_head = 0;
    int m_tail = 0;
    qint64 m_dropped = 0;
    bool m_busy = false;   // a dispatch pass or a dump collection is running

    bool m_linkUp = false;
    int m_portNumber = 0;
    int m_outPortNumber = 0;
    CommandQueue m_commands;
};

} // namespace corvane
