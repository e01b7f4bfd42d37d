#pragma once
#include "CommandDecoder.h"
#include "Frames.h"
#include "ParameterMemory.h"
#include "Scenario.h"
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <memory>
#include <random>

class QIODevice;

namespace corvane {
class Clock;
}

namespace corvane::sim {

class PtyDevice;

// The simulated switch. It answers the console's commands, keeps a parameter
// memory, sends link-alive frames, call records (resent until acknowledged),
// trunk and caller-ID events and the parameter dump, with optional faults.
//
// Time: everything timed runs in poll(), which compares the clock's
// monotonic milliseconds with its deadlines. Normally an internal timer calls
// poll(); tests with a TestClock switch that off (setAutoPoll(false)),
// advance the clock and call poll() themselves.
class SwitchSimulator : public QObject {
    Q_OBJECT
public:
    struct Options {
        int linkAliveMs = 2000;      // 0: no link-alive frames
        int linkRequestMs = 5000;    // repeat of FF E1 until the console answers 5A
        int resendTimeoutMs = 3000;  // call record not acknowledged: send it again
        int dumpTimeoutMs = 10000;   // dump abandoned when the console stops answering
        int quietFlushMs = 100;      // a lone 0x11 counts as "USER CLOSE" after this quiet time
        int maxPendingRecords = 500; // the switch's record store; the oldest go beyond it
        double badChecksumRate = 0;  // share of call-record transmissions with a wrong checksum
        double badBlockRate = 0;     // share of dump-block transmissions with a wrong checksum
        double noiseRate = 0;        // chance of 1..3 noise bytes (never 0xFF) before a frame
        double dropAckRate = 0;      // share of record acknowledgements taken as lost
        bool split = false;          // write frames in random pieces with small delays
        int splitMaxDelayMs = 40;
        bool silent = false;            // send nothing at all, answer nothing
        bool blockReleasesTrunk = true; // "62 tt" from the console cuts the call: FF D2 tt follows
        quint32 seed = 1;
    };

    explicit SwitchSimulator(Clock *clock = nullptr, QObject *parent = nullptr);
    ~SwitchSimulator() override;

    void setOptions(const Options &options);
    const Options &options() const { return m_opt; }

    // Creates a pseudo-terminal and links it as HOME/ports/COM<port> (a stale
    // link is replaced). The link is removed again by stop() and the destructor.
    // Started again, the port comes back under another terminal name, as a
    // re-plugged adapter does; call records not yet acknowledged are kept and
    // sent again.
    bool startPty(const QString &home, int port, QString *error = nullptr);
    // Opens a real serial device at 2400 8N1.
    bool startSerial(const QString &device, QString *error = nullptr);
    // Works on any open device (not owned), e.g. one end of PipeDevice::createPair.
    void attach(QIODevice *device);
    void stop();

    QString linkPath() const { return m_linkPath; }
    QString slavePath() const;
    QIODevice *device() const { return m_device; }
    // A console holds the line (always true for attached devices).
    bool isPeerConnected() const;

    // Scenario playback starts at once and runs until stop() or another scenario.
    void playScenario(const Scenario &scenario);
    bool scenarioFinished() const;

    // Some of a frame is on the line and the rest still to come (split mode).
    bool midFrame() const { return !m_out.empty(); }

    // Things to send now.
    void queueCallRecord(const CallRecordData &record);
    void sendTrunkRinging(int trunk);
    void sendCallerId(int trunk, const QString &number);
    void sendTrunkSeized(int trunk, int port);
    void sendTrunkDialled(int trunk, int port, const QString &digits);
    void sendTrunkUserChange(int port, int trunk);
    void sendTrunkAnswer(int port, int trunk);
    void sendTrunkReleased(int trunk);
    void sendFault(quint8 code);
    void sendRaw(const QByteArray &bytes);
    void requestLink();

    void setSilent(bool silent);
    bool isSilent() const { return m_opt.silent; }

    // Every command received, decoded ("ACK", "CLOCK 2026-12-08 01:42 weekday 2",
    // "*10*3*201#", "BLOCK 62 05", ...), oldest first.
    QStringList receivedCommands() const { return m_received; }
    void clearReceivedCommands() { m_received.clear(); }

    // Call-record counts.
    int recordsSent() const { return m_recordsSent; }     // first transmissions
    int recordsResent() const { return m_recordsResent; } // repeated transmissions
    int recordsAcknowledged() const { return m_recordsAcked; }
    int recordsPending() const { return int(m_records.size()); } // not yet acknowledged
    int recordsCorrupted() const { return m_recordsCorrupted; }  // sent with a wrong checksum
    int acksDropped() const { return m_acksDropped; }
    int recordsDiscarded() const { return m_recordsDiscarded; } // store overflow

    bool linkAnswered() const { return m_linkAnswered; } // 5A came after our FF E1
    bool dumpInProgress() const { return m_dumpActive; }
    int dumpBlocksSent() const { return m_dumpBlocksSent; }
    int dumpNaks() const { return m_dumpNaks; }
    int dumpsCompleted() const { return m_dumpsCompleted; }

    // Changes one byte of the parameter memory on the switch's side, as a
    // technician at the switch would, so that exactly one setting differs
    // from the console's database (logged as "memory block B byte O: old -> new").
    void setMemoryByte(int block, int offset, quint8 value);

    ParameterMemory &memory() { return m_memory; }
    const ParameterMemory &memory() const { return m_memory; }
    // The switch's own clock: the clock command sets it, then it runs on.
    QDateTime switchTime() const;

    void setAutoPoll(bool on);
    void poll();

signals:
    void commandReceived(const QString &text);
    void starCodeApplied(const QString &code, bool applied, const QString &note);
    void recordAcknowledged(int total);
    void dumpFinished(bool complete);
    void peerConnectedChanged(bool connected);
    // One line for a human log: "rx ...", "tx ...", "memory ...", "link ...".
    void activity(const QString &line);

private:
    struct Chunk {
        qint64 dueMs;
        QByteArray bytes;
    };
    struct PendingRecord {
        CallRecordData data;
        bool endNow = false;
        QByteArray frame; // built when first sent, so its end time is the send time
    };

    void onReadyRead();
    void handle(const Command &c);
    void onPeerConnected(bool connected);
    bool canSend() const;
    void transmit(const QByteArray &frame, const QString &what, bool noise = true);
    void flushOutput();
    void sendEvent(const QByteArray &frame, const QString &what);
    void enqueue(const PendingRecord &record);
    void sendRecord(bool repeat);
    void sendDumpBlock();
    void endDump(bool complete);
    void fireScenarioEvent(const ScenarioEvent &e);
    void resetTimers();
    bool chance(double p);
    qint64 nowMs() const;

    Clock *m_clock;
    std::unique_ptr<Clock> m_ownClock;
    Options m_opt;
    std::mt19937 m_rng;
    QPointer<QIODevice> m_device;
    std::unique_ptr<QIODevice> m_ownDevice;
    QString m_linkPath;
    QString m_lastSlavePath;
    QTimer m_pollTimer;
    bool m_autoPoll = true;

    CommandDecoder m_decoder;
    qint64 m_lastRxMs = 0;
    QStringList m_received;
    ParameterMemory m_memory;
    qint64 m_clockOffsetSecs = 0;

    std::deque<Chunk> m_out;
    std::deque<QByteArray> m_deferred;   // event frames held back during a dump
    std::deque<PendingRecord> m_records; // front is the one in flight once sent
    bool m_recordInFlight = false;
    qint64 m_recordSentMs = 0;

    bool m_linkAnswered = false;
    bool m_linkRequested = false;
    qint64 m_nextLinkRequestMs = 0;
    qint64 m_nextAliveMs = 0;
    quint8 m_aliveCounter = 0;

    bool m_dumpActive = false;
    int m_dumpBlock = 0;
    qint64 m_dumpSentMs = 0;

    std::optional<Scenario> m_scenario;
    qint64 m_cycleStartMs = 0;
    int m_nextEvent = 0;

    int m_recordsSent = 0, m_recordsResent = 0, m_recordsAcked = 0, m_recordsCorrupted = 0;
    int m_acksDropped = 0, m_recordsDiscarded = 0;
    int m_dumpBlocksSent = 0, m_dumpNaks = 0, m_dumpsCompleted = 0;
};

} // namespace corvane::sim
