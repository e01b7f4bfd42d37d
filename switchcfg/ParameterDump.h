#pragma once
#include "ComparisonRow.h"
#include "DumpDecoder.h"
#include "FrameHandlers.h"
#include "Status.h"
#include <QList>
#include <QObject>
#include <QVector>

namespace corvane {

class Clock;
class Database;

// What a comparison run needs from the serial link. Every call goes out at
// once, never behind queued commands: the switch waits for the answer to each
// block before it sends the next.
class DumpLink {
public:
    virtual ~DumpLink() = default;

    // The dump request, byte 0x66.
    virtual void RequestDump() = 0;
    // A good block (0x5A) and a bad one, to be sent again (0xA5).
    virtual void SendAck() = 0;
    virtual void SendNak() = 0;

    // From now on the receive stream is cut into dump blocks, the next one
    // numbered blockNo (DumpMode True, DumpBlockNo := blockNo). Called when a
    // run starts and after every good block.
    virtual void CollectDumpBlocks(quint8 blockNo) = 0;
    // The last block has come: frames are dispatched again (DumpMode False).
    virtual void EndDumpCollection() = 0;
    // The run stopped before its last block (time-out, too many bad blocks,
    // window closed) while the switch may still be sending a block. DumpMode
    // goes False, but nothing unread and nothing that arrives is dispatched as
    // a frame until the line has been quiet for quietMs; after maxMs the
    // dispatcher takes bytes again in any case. A new CollectDumpBlocks ends
    // the discarding at once.
    virtual void DiscardLateDumpBytes(int quietMs, int maxMs) = 0;
};

// One comparison run: the dump request, each block checked before its rows
// are trusted and answered, the grid rows decoded, the time-out and the error
// limit, and the verdicts after the last block.
//
// The run lives on the console's clock; the comparison window calls
// tmrOver_Timer() every second while DumpMode() is true.
class ParameterDump : public QObject, public ParameterBlockReceiver {
    Q_OBJECT
public:
    enum class State { Idle, Running, Finished, Failed, Abandoned };
    Q_ENUM(State)

    static constexpr int BlockCount = DumpData::BlockCount;
    static constexpr int LastBlock = DumpLayout::LastBlock;
    static constexpr int BlockTextLength = 514; // 256 data bytes and the checksum, two hex digits each
    static constexpr int SilenceLimitMs = 7000; // seven seconds without a block
    static constexpr int ErrorLimit = 7;        // seven bad blocks in one run
    // A block at 2400 baud takes 1.1 s and its bytes follow each other closely;
    // after 1.5 s of quiet none is on the way. The switch's own link frames
    // come every few seconds and end the discarding.
    static constexpr int LateBytesQuietMs = 1500;
    static constexpr int LateBytesMaxMs = 30000;

    ParameterDump(Database &db, Clock &clock, DumpLink &link, QObject *parent = nullptr);

    // "开始比照": clears the rows, asks for the dump and expects block 0.
    // Refused while a run is going on.
    Status start();
    // One block as the link collected it: 514 hex digits, checksum last.
    void DecodeParameterBlock(const QString &blockHex) override;
    // The one-second dump timer (tmrOver).
    void tmrOver_Timer();
    // The window was closed during the run: the console stops, the switch may
    // still be sending.
    void abandon();

    State state() const { return m_state; }
    bool DumpMode() const { return m_state == State::Running; }
    quint8 DumpBlockNo() const { return m_blockNo; }
    int DumpErrorCount() const { return m_errors; }
    // Whole seconds since the last block arrived.
    int DumpTicks() const;
    // Bad blocks of the current or last run (DumpErrorCount is cleared when a
    // run ends).
    int badBlocks() const { return m_badBlocks; }
    // The last run received all 50 blocks with good checksums: only then may
    // the switch's values be copied into the database.
    bool complete() const { return m_state == State::Finished; }

    // Grid rows: known once block 0 has come (0 before).
    int rowCount() const { return m_rows.isEmpty() ? 0 : int(m_rows.size()) - 1; }
    int extensionPorts() const { return m_ports; }
    // Row n (1..rowCount()); a row not decoded yet has row == 0.
    const ComparisonRow &row(int n) const;
    QList<ComparisonRow> rows() const;
    QString switchValue(int n) const { return row(n).switchValue.trimmed(); }
    // Rows whose database value is no longer the one the grid shows: the
    // database changed after the comparison (an edit, a demotion by the
    // call intake). The console's date and time (rows 26, 27) are left out.
    QList<int> staleRows() const;
    // Judges row n and keeps the verdict: "数据一致--n" and so on.
    QString CompareRow(int n);
    const DumpData &data() const { return m_data; }

    // Text of the window's tip label and of the failure box.
    QString tipText() const;
    static QString RunningTip() { return QStringLiteral("比照所需的时间较长，请您耐心等待！"); }
    static QString FinishedTip() { return QStringLiteral("信息比照结束！"); }
    static QString TransferErrorText() { return QStringLiteral("数据传输错误！"); }
    static QString TransferErrorTitle() { return QStringLiteral("接收错误！"); }

signals:
    // Rows decoded from a good block, by row number.
    void rowsDecoded(const QList<int> &rows);
    // The run ended: Finished (verdicts are in), Failed ("数据传输错误！") or Abandoned.
    void finished(corvane::ParameterDump::State state);

private:
    bool checkBlock(const QString &text, QByteArray &data) const;
    void takeRows(const QList<ComparisonRow> &rows);
    void judgeAll();
    void stop(State how);

    Database &m_db;
    Clock &m_clock;
    DumpLink &m_link;

    State m_state = State::Idle;
    quint8 m_blockNo = 0;
    int m_errors = 0;
    int m_badBlocks = 0;
    qint64 m_lastBlockMs = 0;
    int m_databaseCapacity = 0;
    int m_ports = 0;
    DumpData m_data;
    QVector<ComparisonRow> m_rows; // index = row number; [0] unused
};

} // namespace corvane
