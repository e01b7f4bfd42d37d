#include "SwitchLink.h"

#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "General.h"
#include "Recordset.h"

#include <QHash>
#include <QStringList>

namespace corvane {

namespace {
const QString kLinkOk = QStringLiteral("通讯端口：正常");
const QString kLinkError = QStringLiteral("通讯端口：错误");
} // namespace

SwitchLink::SwitchLink(ConsoleContext &ctx, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_ports(ctx.home), m_ring(this), m_commands(ctx.clock, m_ports.mscPort),
      m_outward(ctx.db, ctx.clock, m_ports.mscOut), m_supervisor(ctx, TrunkState),
      m_search(ctx.clock, m_ports, m_commands, m_supervisor), mscPort(m_ports.mscPort), mscOut(m_ports.mscOut),
      DispatcherIdle(m_ring.DispatcherIdle), LinkSilence(m_supervisor.LinkSilence), DumpMode(m_ring.DumpMode),
      DumpBlockNo(m_ring.DumpBlockNo), NightResetDone(m_supervisor.NightResetDone), tmrState(m_supervisor.tmrState),
      tmrQuest(m_supervisor.tmrQuest)
{
    setObjectName(QStringLiteral("SwitchLink"));
    connect(&mscPort, &QSerialPort::readyRead, this, &SwitchLink::mscPort_OnComm);
    connect(&m_supervisor, &LinkSupervisor::statusText, this, &SwitchLink::statusText);
    connect(&m_supervisor, &LinkSupervisor::linkUpChanged, this, &SwitchLink::linkUpChanged);
    connect(&m_supervisor, &LinkSupervisor::probeDue, this, &SwitchLink::probe);
    connect(&m_supervisor, &LinkSupervisor::nightResetDue, this, &SwitchLink::SendNightReset);
    connect(&m_search, &PortSearch::portSelected, this, &SwitchLink::portSelected);
    connect(&m_search, &PortSearch::finished, this, &SwitchLink::searchFinished);
    connect(&m_supervisor, &LinkSupervisor::ticked, this, &SwitchLink::healPorts);
    connect(&m_supervisor, &LinkSupervisor::linkLost, this, &SwitchLink::tellLinkLost);
    connect(&m_supervisor, &LinkSupervisor::linkRestored, this, &SwitchLink::tellLinkRestored);
    connect(&m_outward, &OutwardQueue::pendingChanged, this, &SwitchLink::showOutwardState);
    connect(&m_ports, &LinkPorts::outPortLost, this, &SwitchLink::showOutwardState);
    // Kept commands wait for a switch that answers; they go on when it does.
    m_commands.setStore(&ctx.db);
    m_commands.setSendGate([this] { return m_supervisor.CanSend(); });
    // The answer to a probe would land inside the dump's blocks.
    m_commands.setProbeGate([this] { return !DumpMode && !DiscardingLateDumpBytes(); });
    connect(&m_commands, &CommandQueue::keptChanged, this, &SwitchLink::keptChanged);
    connect(&m_supervisor, &LinkSupervisor::sendingChanged, this, [this](bool canSend) {
        if (canSend)
            m_commands.Resume();
        else
            m_commands.PutBack();
        emit keptChanged(KeptCount());
    });
    connect(&m_supervisor, &LinkSupervisor::answerCheckDue, this, &SwitchLink::checkAnswers);
    connect(&m_supervisor, &LinkSupervisor::sendingLost, this, &SwitchLink::tellSendingLost);
    // The switch's answers show whether it hears the console: one that
    // talks after the probe but does not answer it does not. One that fell
    // silent altogether is the watchdog's; a port search tries ports where
    // nothing answers, and says itself what it found.
    connect(&m_commands, &CommandQueue::answersMissing, this, [this](qint64 writtenMs) {
        if (!m_search.isRunning() && !DumpMode && m_supervisor.LinkUp() && m_supervisor.LastFrameMs() > writtenMs)
            m_supervisor.SetSendDown(true);
    });
    connect(&m_commands, &CommandQueue::answered, &m_supervisor, &LinkSupervisor::OnAnswered);
    connect(&m_commands, &CommandQueue::expired, this, &SwitchLink::tellExpired);
}

CommandBatch *SwitchLink::SendKeptAndTell(QWidget *parent)
{
    CommandBatch *batch = SendKept();
    if (!CanSend() && KeptCount() > 0)
        m_ctx.messages.notifyKeyed(QStringLiteral("commands-waiting"), WaitingText(KeptCount()),
                                   QStringLiteral("待发命令"), MessageService::Icon::Information, parent);
    return batch;
}

QString SwitchLink::WaitingText() const { return CanSend() ? QString() : WaitingText(KeptCount()); }

QString SwitchLink::WaitingText(int kept)
{
    return QStringLiteral("交换机未连接，%1条命令将在连接恢复后发送。").arg(kept);
}

SwitchLink::EndProgress SwitchLink::BeginEndWait()
{
    SendKept();
    m_endTotal = qMax(KeptCount(), 0) + int(m_commands.UnkeptWaiting().size());
    return EndWaitProgress();
}

SwitchLink::EndProgress SwitchLink::EndWaitProgress() const
{
    EndProgress p;
    for (const QString &c : m_commands.UnkeptWaiting())
        p.unkept << UnkeptText(c);
    p.waiting = KeptCount() + int(p.unkept.size());
    p.total = qMax(m_endTotal, p.waiting);
    p.canSend = CanSend();
    p.msLeft = m_commands.PendingMs() + (KeptCount() > 0 ? CommandQueue::AnswerWaitMs / 4 : 0);
    return p;
}

QStringList SwitchLink::LeaveKeptForNextStart()
{
    QStringList dropped;
    for (const QString &c : m_commands.UnkeptWaiting())
        dropped << UnkeptText(c);
    m_leaveKept = true;
    m_commands.Forget();
    return dropped;
}

QString SwitchLink::UnkeptText(const QString &command)
{
    static const QHash<QString, QString> known{
        {QStringLiteral("*00*121#"), QStringLiteral("初始化交换机")},
        {QStringLiteral("*58*50#"), QStringLiteral("复位交换机")},
        {Command::UserWindowOpen, QStringLiteral("用户参数窗口打开")},
        {Command::UserWindowClose, QStringLiteral("用户参数窗口关闭")},
        {Command::ProgramExit, QStringLiteral("程序退出")},
    };
    const QString what = known.value(command);
    return what.isEmpty() ? command : QStringLiteral("%1（%2）").arg(what, command);
}

QString SwitchLink::KeptPanelText(int kept) { return QStringLiteral("待发命令：%1").arg(kept); }

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
    if (m_leaveKept)
        m_commands.Forget();
    else
        SendKept();
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
    // The answer to a clock command still out would arrive inside the dump,
    // where no frame is read: that probe is given up, not counted as lost.
    if (!DumpMode && m_commands.Probing())
        m_commands.PutBack();
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
    // The switch answers the clock command with it: what was written
    // before that command has reached the switch.
    m_commands.Answered();
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

// A frame the switch sends on its own shows that it talks, not that it hears:
// it delivers nothing kept (only an answer does, OnAck).
void SwitchLink::OnFrame() { m_supervisor.OnFrame(); }

void SwitchLink::probe()
{
    // A running search sends its own clock commands, port by port.
    if (m_search.isRunning())
        return;
    // The port's name is resolved again first: the switch may be back under
    // another device. A port opened anew has had its clock command already.
    if (healSwitchPort() != LinkPorts::Heal::Reopened && !m_commands.Probing())
        SendClock();
}

void SwitchLink::checkAnswers()
{
    // While commands go, the queue asks after them itself; an idle link is
    // asked now and then, so that a switch that stopped hearing the console
    // is noticed before the next change is sent into it.
    if (m_search.isRunning() || m_commands.Probing() || !mscPort.isOpen() || DumpMode || DiscardingLateDumpBytes())
        return;
    const qint64 last = m_commands.LastAnsweredMs();
    if (last >= 0 && m_ctx.clock.monotonicMs() - last < QuestIntervalMs - StateIntervalMs)
        return;
    SendClock();
}

// ---- healing the ports ------------------------------------------------------------

void SwitchLink::healPorts()
{
    // The switch port is left alone while the switch answers on it.
    if (!LinkUp() || !mscPort.isOpen())
        healSwitchPort();
    healOutPort();
}

LinkPorts::Heal SwitchLink::healSwitchPort()
{
    // A running search opens the ports itself.
    if (m_search.isRunning())
        return LinkPorts::Heal::Unchanged;
    const LinkPorts::Heal healed = m_ports.HealPort();
    tellFault(QStringLiteral("port-fault-COM%1").arg(PortNumber()), QStringLiteral("通讯端口"), PortFaultText(),
              m_toldPortFault);
    if (healed == LinkPorts::Heal::Reopened) {
        // What the old device sent can finish no frame on the new one.
        if (!m_ring.isBusy())
            m_ring.DropUnread();
        qInfo("switch port COM%d opened on %s", PortNumber(), qPrintable(m_ports.PortDevice()));
        SendClock();
        m_commands.Resume();
    }
    return healed;
}

void SwitchLink::healOutPort()
{
    if (!m_ports.OutwardOn())
        return;
    const LinkPorts::Heal healed = m_ports.HealOutPort();
    tellFault(QStringLiteral("port-fault-COM%1").arg(OutPortNumber()), QStringLiteral("外发端口"),
              m_ports.OutFaultText(), m_toldOutFault);
    if (healed == LinkPorts::Heal::Reopened) {
        qInfo("outward port COM%d opened on %s", OutPortNumber(), qPrintable(m_ports.OutDevice()));
        m_outward.Flush();
    }
    showOutwardState();
}

void SwitchLink::tellFault(const QString &key, const QString &title, const QString &fault, QString &told)
{
    // A port that cannot be used is tried again on every tick; the operator
    // hears of it once, and again only when the reason changes.
    if (fault == told)
        return;
    const QString before = told;
    told = fault;
    if (fault.isEmpty()) {
        // The port works again: a box still open says so.
        m_ctx.messages.resetKeyed(key, QStringLiteral("%1 %2 已恢复。").arg(title, key.section(QLatin1Char('-'), -1)),
                                  MessageService::Icon::Information);
        return;
    }
    qWarning("%s", qPrintable(fault));
    // Another fault than the one shown: the box names the latest, counted anew.
    if (!before.isEmpty())
        m_ctx.messages.resetKeyed(key, fault, MessageService::Icon::Warning);
    m_ctx.messages.notifyKeyed(key, fault, title, MessageService::Icon::Warning);
}

namespace {

QString spanText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return QStringLiteral("%1秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1小时%2分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

const QString kLinkNoticeKey = QStringLiteral("link-state");

} // namespace

void SwitchLink::tellLinkLost(const QDateTime &lastFrameAt)
{
    const QString last =
        lastFrameAt.isValid() ? lastFrameAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("（无）");
    qWarning("link to the switch lost on COM%d; last frame %s", PortNumber(), qPrintable(last));
    m_ctx.messages.desktopNotice(kLinkNoticeKey,
                                 QStringLiteral("与交换机的通讯中断（通讯端口 COM%1）。\n"
                                                "最后一次收到交换机数据：%2。\n"
                                                "中继状态显示为未知，直到交换机再次报告；交换机应答后自动恢复通讯。")
                                     .arg(PortNumber())
                                     .arg(last),
                                 QStringLiteral("通讯中断"), MessageService::Icon::Critical);
    emit linkLost(lastFrameAt);
}

void SwitchLink::tellSendingLost(const QDateTime &lastAnswerAt)
{
    const QString last = lastAnswerAt.isValid() ? lastAnswerAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                : QStringLiteral("（无）");
    qWarning("switch on COM%d does not answer the console; last answer %s", PortNumber(), qPrintable(last));
    m_ctx.messages.desktopNotice(kLinkNoticeKey,
                                 QStringLiteral("交换机收不到本机发出的命令（通讯端口 COM%1）：交换机的数据仍在到达，"
                                                "但它不应答本机的时钟命令。\n最后一次应答：%2。\n"
                                                "待发命令保留，交换机应答后自动发送；请检查串口线的发送线。")
                                     .arg(PortNumber())
                                     .arg(last),
                                 QStringLiteral("通讯中断"), MessageService::Icon::Critical);
}

void SwitchLink::tellExpired(const QString &code, const QDateTime &moment)
{
    // A wake-up call ("*34*" number "*" HHMM "#") whose moment passed while
    // it waited: sent now it would ring the next day.
    const QStringList f = code.mid(1, code.size() - 2).split(QLatin1Char('*'));
    const QString number = f.value(0) == QLatin1String("34") ? f.value(1) : code;
    const QString when = moment.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    qWarning("kept command %s not sent: its moment %s has passed", qPrintable(code), qPrintable(when));
    m_ctx.messages.desktopNotice(QStringLiteral("expired-") + code,
                                 QStringLiteral("分机%1在%2的叫醒闹钟未能在时间之前送到交换机，已不再发送。\n"
                                                "请人工通知该房间。")
                                     .arg(number, when),
                                 QStringLiteral("闹钟未设置"), MessageService::Icon::Warning);
}

void SwitchLink::tellLinkRestored(const QDateTime &lostAt)
{
    // The link counted as lost a watchdog's limit after the switch fell silent.
    const qint64 down = lostAt.secsTo(m_ctx.clock.now()) + SilenceLimit + 1;
    qInfo("link to the switch back on COM%d after %lld s", PortNumber(), down);
    m_ctx.messages.desktopNotice(
        kLinkNoticeKey,
        QStringLiteral("与交换机的通讯已恢复（通讯端口 COM%1），中断约%2。").arg(PortNumber()).arg(spanText(down)),
        QStringLiteral("通讯恢复"), MessageService::Icon::Information);
    emit linkRestored();
}

// ---- outward copy --------------------------------------------------------------------

bool SwitchLink::OpenOutPort(int n)
{
    const bool opened = m_ports.OpenOutPort(n);
    tellFault(QStringLiteral("port-fault-COM%1").arg(n), QStringLiteral("外发端口"), m_ports.OutFaultText(),
              m_toldOutFault);
    if (opened)
        m_outward.Flush();
    showOutwardState();
    return opened;
}

void SwitchLink::CloseOutPort()
{
    m_ports.CloseOutPort();
    m_toldOutFault.clear();
    m_outwardDownTold = false;
    showOutwardState();
}

void SwitchLink::SendOutward(const QString &record)
{
    if (!m_ports.OutwardOn())
        return;
    if (Status kept = m_outward.Keep(record); !kept) {
        // Sent as it is while the port takes it; it cannot wait for the port.
        qWarning("outward record not kept: %s", qPrintable(kept.reason()));
        if (!m_outward.SendUnkept(record))
            qWarning("outward record lost: %s", qPrintable(record.trimmed()));
        return;
    }
    m_outward.Flush();
}

Status SwitchLink::KeepOutward(const QString &record)
{
    if (!m_ports.OutwardOn())
        return Status::ok();
    return m_outward.Keep(record);
}

void SwitchLink::showOutwardState()
{
    QString text;
    if (m_ports.OutwardOn()) {
        const int n = OutPortNumber();
        const int pending = m_outward.Pending();
        const QString waiting = QStringLiteral("，%1条待发").arg(pending);
        if (mscOut.isOpen()) {
            text = QStringLiteral("外发端口：正常") + (pending > 0 ? waiting : QString());
            if (m_outwardDownTold) {
                m_outwardDownTold = false;
                m_ctx.messages.desktopNotice(
                    QStringLiteral("outward-port"),
                    pending > 0 ? QStringLiteral("话单外发串口 COM%1 已恢复，%2条未发出的话单正在按顺序补发。")
                                      .arg(n)
                                      .arg(pending)
                                : QStringLiteral("话单外发串口 COM%1 已恢复。").arg(n),
                    QStringLiteral("外发端口"), MessageService::Icon::Information);
            }
        } else {
            text = QStringLiteral("外发端口：错误") + waiting;
            if (!m_outwardDownTold) {
                m_outwardDownTold = true;
                QString why = m_ports.OutFaultText();
                if (why.isEmpty())
                    why = QStringLiteral("找不到设备 %1").arg(m_ports.DeviceFor(n));
                qWarning("outward port COM%d cannot be written: %s", n, qPrintable(why));
                m_ctx.messages.desktopNotice(QStringLiteral("outward-port"),
                                             QStringLiteral("话单外发串口 COM%1 无法写入：%2\n"
                                                            "未能发出的话单保存在数据库中，端口恢复后按顺序补发"
                                                            "（最多保存%3条，超出时舍弃最早的）。")
                                                 .arg(n)
                                                 .arg(why)
                                                 .arg(m_outward.limit()),
                                             QStringLiteral("外发端口"), MessageService::Icon::Warning);
            }
        }
    }
    if (text == m_outwardStatus)
        return;
    m_outwardStatus = text;
    emit outwardStatusText(text);
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
    // Records taken during the search are copied outward like every other:
    // the copy is on from here, its port opened after the search.
    std::optional<ConfigRow> settings;
    if (auto read = ConfigTable(m_ctx.db).read())
        settings = *read;
    if (settings && settings->flag(ConfigField::OutwardOn))
        m_ports.PlanOutPort(int(ValInt(settings->get(ConfigField::OutwardPort))));
    // Commands kept in an earlier run go first, once the switch answers.
    SendKept();
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
        OpenPort(n);
        tellFault(QStringLiteral("port-fault-COM%1").arg(n), QStringLiteral("通讯端口"), PortFaultText(),
                  m_toldPortFault);
    }
    if (settings) {
        m_ports.setOutPortNumber(int(ValInt(settings->get(ConfigField::OutwardPort))));
        if (settings->flag(ConfigField::OutwardOn))
            OpenOutPort(OutPortNumber());
    }
    return LinkUp();
}

} // namespace corvane
