#include "SwitchLink.h"

#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "General.h"
#include "Recordset.h"

namespace corvane {

namespace {
const QString kLinkOk = QStringLiteral("通讯端口：正常");
const QString kLinkError = QStringLiteral("通讯端口：错误");
} // namespace

SwitchLink::SwitchLink(ConsoleContext &ctx, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_ports(ctx.home), m_ring(this), m_commands(ctx.clock, m_ports.mscPort),
      m_supervisor(ctx, TrunkState), m_search(ctx.clock, m_ports, m_commands, m_supervisor), mscPort(m_ports.mscPort),
      mscOut(m_ports.mscOut), DispatcherIdle(m_ring.DispatcherIdle), LinkSilence(m_supervisor.LinkSilence),
      DumpMode(m_ring.DumpMode), DumpBlockNo(m_ring.DumpBlockNo), NightResetDone(m_supervisor.NightResetDone),
      tmrState(m_supervisor.tmrState), tmrQuest(m_supervisor.tmrQuest)
{
    setObjectName(QStringLiteral("SwitchLink"));
    connect(&mscPort, &QSerialPort::readyRead, this, &SwitchLink::mscPort_OnComm);
    connect(&m_supervisor, &LinkSupervisor::statusText, this, &SwitchLink::statusText);
    connect(&m_supervisor, &LinkSupervisor::linkUpChanged, this, &SwitchLink::linkUpChanged);
    connect(&m_supervisor, &LinkSupervisor::probeDue, this, &SwitchLink::probe);
    connect(&m_supervisor, &LinkSupervisor::nightResetDue, this, &SwitchLink::SendNightReset);
    connect(&m_search, &PortSearch::portSelected, this, &SwitchLink::portSelected);
    connect(&m_search, &PortSearch::finished, this, &SwitchLink::searchFinished);
}

SwitchLink::~SwitchLink()
{
    m_search.stop();
    StopTimers();
    ClosePorts();
    if (m_ctx.link == this)
        m_ctx.link = nullptr;
}

void SwitchLink::CloseLink()
{
    m_search.stop();
    StopTimers();
    SendProgramExit();
    m_commands.Drain();
    ClosePorts();
}

void SwitchLink::mscPort_OnComm() { ReceiveBytes(mscPort.readAll()); }

// ---- receive path ------------------------------------------------------------

void SwitchLink::ReceiveBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_late.dropArriving(m_ctx.clock.monotonicMs())) {
        m_lateDropped += bytes.size();
        return;
    }
    m_ring.ReceiveBytes(bytes);
}

void SwitchLink::CollectDumpBlocks(quint8 blockNo)
{
    m_late.cancel();
    DumpBlockNo = blockNo;
    DumpMode = true;
}

bool SwitchLink::DiscardingLateDumpBytes() const { return m_late.active(m_ctx.clock.monotonicMs()); }

void SwitchLink::DiscardLateDumpBytes(int quietMs, int maxMs)
{
    DumpMode = false;
    m_lateDropped += m_ring.RingCount();
    m_ring.DropUnread();
    m_late.begin(m_ctx.clock.monotonicMs(), quietMs, maxMs);
}

// ---- frames of the link itself -------------------------------------------------

void SwitchLink::OnLinkRequest()
{
    SendAck();
    m_supervisor.OnAnswer();
    m_search.noteAnswer();
}

void SwitchLink::OnAck()
{
    m_supervisor.OnAnswer();
    m_search.noteAnswer();
}

void SwitchLink::OnLinkAlive()
{
    m_supervisor.OnLinkAlive();
    m_search.noteAnswer();
}

void SwitchLink::OnFault(quint8 code)
{
    // Shown without blocking: frames keep arriving while the box is open. A
    // switch that keeps reporting the same fault gets one box whose count
    // goes up, not a pile of boxes.
    const QString hex = QString::number(code, 16).toUpper();
    m_ctx.messages.notifyKeyed(QStringLiteral("switch-fault-") + hex,
                               QStringLiteral("系统检测到重要故障，故障代码为-->") + hex, QStringLiteral("系统故障"),
                               MessageService::Icon::Critical);
}

void SwitchLink::OnDumpBlock() { m_supervisor.OnDumpBlock(); }

void SwitchLink::probe()
{
    // A running search sends its own clock commands, port by port.
    if (m_search.isRunning())
        return;
    // A port that could not be opened (an adapter plugged in later, a device
    // that went away) is tried again before each probe.
    m_ports.ReopenPort();
    SendClock();
}

// ---- commands -------------------------------------------------------------------

void SwitchLink::SendClock() { SendHex(ClockCommand(m_ctx.clock.now())); }

void SwitchLink::Pause(double seconds) { m_ctx.clock.waitFor({}, qMax<qint64>(0, qRound64(seconds * 1000.0))); }

// ---- port search -------------------------------------------------------------------

void SwitchLink::SearchPort()
{
    m_search.start();
    // Every port may take its half second, with room for a slow start.
    const qint64 limit = qint64(PortCount) * PortSearch::AnswerWaitMs + 1000;
    m_ctx.clock.waitFor([this] { return !m_search.isRunning(); }, limit);
    m_search.stop();
}

void SwitchLink::SearchAgain()
{
    if (!m_ring.isBusy())
        DispatcherIdle = true;
    m_search.start();
}

Status SwitchLink::StorePort(int n)
{
    const Status stored = ConfigTable(m_ctx.db).write(ConfigField::SwitchPort, QString::number(n));
    if (!stored)
        return Status::fail(QStringLiteral("通讯串口未能保存：") + stored.reason());
    return Status::ok();
}

bool SwitchLink::OpenLinkOnLoad()
{
    if (!m_ring.isBusy())
        DispatcherIdle = true;
    SearchPort();
    if (LinkUp()) {
        emit statusText(kLinkOk);
        if (const Status stored = StorePort(PortNumber()); !stored)
            m_ctx.messages.notifyKeyed(QStringLiteral("port-not-stored"), stored.reason(), QStringLiteral("串口选择"),
                                       MessageService::Icon::Warning);
    } else {
        emit statusText(kLinkError);
        // The stored port stays open so that the watchdog and the probe can
        // bring the link up when the switch starts talking.
        int n = PortNumber();
        if (const auto config = ConfigTable(m_ctx.db).read())
            n = int(ValInt(config->get(ConfigField::SwitchPort)));
        // A port the operator may not open is the usual fault of a new
        // installation; the status bar alone would not say why.
        if (!OpenPort(n) && !PortDeniedText().isEmpty())
            m_ctx.messages.notifyKeyed(QStringLiteral("port-denied"), PortDeniedText(), QStringLiteral("通讯端口"),
                                       MessageService::Icon::Warning);
    }
    if (const auto config = ConfigTable(m_ctx.db).read()) {
        m_ports.setOutPortNumber(int(ValInt(config->get(ConfigField::OutwardPort))));
        if (config->flag(ConfigField::OutwardOn))
            OpenOutPort(OutPortNumber());
    }
    return LinkUp();
}

} // namespace corvane
