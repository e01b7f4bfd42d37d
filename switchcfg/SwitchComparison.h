#pragma once
#include "CommandQueue.h"
#include "ParameterDump.h"
#include "Status.h"
#include "SwitchToDatabase.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>

namespace corvane {

class ConsoleContext;
class SwitchLink;

// The comparison run's view of the console's serial link. Every call goes out
// at once; without a link (or with its port closed) nothing is sent and the
// run ends by its time-out.
class SwitchDumpLink : public DumpLink {
public:
    explicit SwitchDumpLink(SwitchLink *link) : m_link(link) {}

    void RequestDump() override;
    void SendAck() override;
    void SendNak() override;
    void CollectDumpBlocks(quint8 blockNo) override;
    void EndDumpCollection() override;
    void DiscardLateDumpBytes(int quietMs, int maxMs) override;

private:
    SwitchLink *m_link;
};

// The three operations of the switch comparison window, without widgets:
// the comparison (the dump read back and judged row by row), the download of
// the database into the switch through the link's command queue, and the copy
// of the switch's values into the database.
//
// While it exists it is the link's receiver of dump blocks. A download runs
// on in the queue while the console goes on taking call records; while it
// runs, neither a comparison nor the copy may start, and the window may not
// close (SendBusy).
class SwitchComparison : public QObject {
    Q_OBJECT
public:
    explicit SwitchComparison(ConsoleContext &ctx, QObject *parent = nullptr);
    ~SwitchComparison() override;

    ParameterDump &dump() { return *m_dump; }
    const ParameterDump &dump() const { return *m_dump; }
    bool DumpMode() const { return m_dump->DumpMode(); }

    // "开始比照": refused while a download runs or a comparison is going on.
    Status startComparison();
    // The one-second dump timer.
    void tmrOver_Timer() { m_dump->tmrOver_Timer(); }
    // The window closes during a comparison: the console stops listening for
    // blocks and drops the bytes still on their way.
    void abandonComparison() { m_dump->abandon(); }

    // "数据库参数下传至交换机": the whole download kept and queued as one
    // batch, each command with its pause, behind the commands of earlier
    // changes still waiting (they go first; the download then sets every
    // setting as the database holds it). Refused while a comparison runs or
    // a download is still going, without an open port, and when the database
    // holds no usable configuration row. progress and downloadFinished tell
    // the rest; the download goes on when the window closes.
    Status startDownload();
    // Where a stopped download got to.
    struct Stopped {
        int delivered = 0; // answered by the switch
        int written = 0;   // sent, the switch's answer still awaited included
        int dropped = 0;   // never sent: they left the queue and the table
        int finishing = 0; // the rest of a list under way, which still goes
        int waiting = 0;   // commands of other changes still waiting for the switch
    };
    // "停止下传": the commands of the download not sent yet are removed from
    // the queue and the table; those sent stay until the switch answers, the
    // rest of a list under way still goes (the switch may hold its clear),
    // and the commands of other changes stay waiting.
    Stopped stopDownload();
    static QString StoppedText(const Stopped &s);
    bool downloadStopped() const { return m_stopped; }
    // A download is being sent, or commands of a change wait for the switch:
    // a comparison now would show differences that are on their way out.
    bool SendBusy() const;
    int downloadTotal() const { return m_total; }
    // Settings the download left out (a value the switch cannot take), in words.
    const QStringList &downloadNotes() const { return m_notes; }

    // "交换机参数覆盖数据库": allowed only after a comparison that received all
    // 50 blocks with good checksums, never while a download runs; one
    // transaction (CopySwitchToDatabase).
    CopyOutcome copyToDatabase();
    // Whether the copy may run now; its refusal in words when not.
    Status copyAllowed() const;

    static QString NotFinishedText() { return QStringLiteral("信息比照尚未结束，不能启动！"); }
    static QString NoComparisonText() { return QStringLiteral("请先运行信息比照功能！"); }
    static QString SendingText() { return QStringLiteral("参数下传尚未结束，不能启动！"); }
    static QString WaitingText(int kept)
    {
        return QStringLiteral("尚有%1条命令等待发往交换机，发送完毕后才能比照或覆盖数据库！").arg(kept);
    }
    static QString PortClosedText() { return QStringLiteral("通讯端口未打开，参数不能下传至交换机！"); }

signals:
    // After each command of the download: done (sent) of total, and the command.
    void downloadProgress(int done, int total, const QString &command);
    // More of the download is known to have reached the switch.
    void downloadDelivered(int delivered, int total);
    // The switch has answered after the download's last command: how many
    // reached the port, how many were lost because the port closed meanwhile.
    void downloadFinished(int sent, int dropped);

private:
    // Why a comparison or a copy cannot start now: a download or other
    // commands still on their way to the switch.
    Status busyStatus() const;

    ConsoleContext &m_ctx;
    SwitchDumpLink m_dumpLink;
    std::unique_ptr<ParameterDump> m_dump;
    QPointer<CommandBatch> m_batch;
    bool m_downloadDone = true;
    bool m_stopped = false;
    int m_total = 0;
    QStringList m_notes;
};

} // namespace corvane
