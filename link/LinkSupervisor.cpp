#include "LinkSupervisor.h"

#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Recordset.h"

namespace corvane {

namespace {
const QString kLinkOk = QStringLiteral("通讯端口：正常");
const QString kLinkError = QStringLiteral("通讯端口：错误");
const QString kSendFailed = QStringLiteral("通讯端口：发送失败");
} // namespace

LinkSupervisor::LinkSupervisor(ConsoleContext &ctx, const TrunkStates &trunks, QObject *parent)
    : QObject(parent), tmrState(ctx.clock, this), tmrQuest(ctx.clock, this), m_ctx(ctx), m_trunks(trunks)
{
    setObjectName(QStringLiteral("LinkSupervisor"));
    tmrState.setObjectName(QStringLiteral("tmrState"));
    tmrQuest.setObjectName(QStringLiteral("tmrQuest"));
    tmrState.setInterval(StateIntervalMs);
    tmrQuest.setInterval(QuestIntervalMs);
    connect(&tmrState, &ClockTimer::timeout, this, &LinkSupervisor::tmrState_Timer);
    connect(&tmrQuest, &ClockTimer::timeout, this, &LinkSupervisor::tmrQuest_Timer);
}

void LinkSupervisor::StartTimers()
{
    tmrState.start();
    tmrQuest.start();
}

void LinkSupervisor::StopTimers()
{
    tmrState.stop();
    tmrQuest.stop();
}

QString LinkSupervisor::StatusNow() const
{
    if (!m_linkUp)
        return kLinkError;
    return m_sendDown ? kSendFailed : kLinkOk;
}

void LinkSupervisor::noteState(bool couldSend)
{
    if (couldSend != CanSend())
        emit sendingChanged(CanSend());
    if (m_lost && CanSend()) {
        m_lost = false;
        m_framesLost = false;
        emit linkRestored(m_lostAt);
    }
}

void LinkSupervisor::SetLinkUp(bool up)
{
    if (m_linkUp == up)
        return;
    const bool couldSend = CanSend();
    m_linkUp = up;
    emit linkUpChanged(up);
    if (up)
        emit statusText(StatusNow());
    noteState(couldSend);
}

void LinkSupervisor::SetSendDown(bool down)
{
    if (m_sendDown == down)
        return;
    const bool couldSend = CanSend();
    m_sendDown = down;
    if (m_linkUp)
        emit statusText(StatusNow());
    if (down && m_linkUp && !m_lost) {
        m_lost = true;
        m_lostAt = m_ctx.clock.now();
        emit sendingLost(m_lastAnswerAt);
    }
    noteState(couldSend);
}

void LinkSupervisor::OnLinkAlive()
{
    const bool wasUp = m_linkUp;
    SetLinkUp(true);
    LinkSilence = 0;
    if (wasUp)
        emit statusText(StatusNow());
}

void LinkSupervisor::OnAnswer()
{
    SetLinkUp(true);
    LinkSilence = 0;
}

void LinkSupervisor::OnAnswered()
{
    m_lastAnswerAt = m_ctx.clock.now();
    SetSendDown(false);
}

void LinkSupervisor::OnDumpBlock()
{
    LinkSilence = 0;
    OnFrame();
}

void LinkSupervisor::OnFrame()
{
    m_lastFrameAt = m_ctx.clock.now();
    m_lastFrameMs = m_ctx.clock.monotonicMs();
}

void LinkSupervisor::tmrState_Timer()
{
    if (LinkSilence < SilenceLimit) {
        ++LinkSilence;
        emit ticked();
        return;
    }
    const bool wasUp = m_linkUp;
    SetLinkUp(false);
    emit statusText(kLinkError);
    // Told once, also when the switch had stopped answering before it fell
    // silent: the trunks' state is unknown from now on.
    if (wasUp && !m_framesLost) {
        m_framesLost = true;
        if (!m_lost) {
            m_lost = true;
            m_lostAt = m_ctx.clock.now();
        }
        emit linkLost(m_lastFrameAt);
    }
    emit ticked();
}

void LinkSupervisor::tmrQuest_Timer()
{
    const int hhmm = m_ctx.clock.now().time().toString(QStringLiteral("HHmm")).toInt();
    if (!CanSend()) {
        emit probeDue();
        return;
    }
    emit answerCheckDue();
    const bool resetEnabled = ConfigTable(m_ctx.db).value(ConfigField::NightReset).trimmed() == QLatin1String("1");
    if (resetEnabled && hhmm < 500 && !NightResetDone) {
        for (const TrunkRecord &t : m_trunks) {
            if (t.State != 0)
                return; // a call is in progress: try again next tick
        }
        NightResetDone = true;
        emit nightResetDue();
    } else if (hhmm > 500) {
        NightResetDone = false;
    }
}

} // namespace corvane
