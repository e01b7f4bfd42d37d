#include "LinkSupervisor.h"

#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Recordset.h"

namespace corvane {

namespace {
const QString kLinkOk = QStringLiteral("通讯端口：正常");
const QString kLinkError = QStringLiteral("通讯端口：错误");
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

void LinkSupervisor::SetLinkUp(bool up)
{
    if (m_linkUp == up)
        return;
    m_linkUp = up;
    emit linkUpChanged(up);
}

void LinkSupervisor::OnLinkAlive()
{
    SetLinkUp(true);
    LinkSilence = 0;
    emit statusText(kLinkOk);
}

void LinkSupervisor::OnAnswer()
{
    SetLinkUp(true);
    LinkSilence = 0;
}

void LinkSupervisor::OnDumpBlock() { LinkSilence = 0; }

void LinkSupervisor::tmrState_Timer()
{
    if (LinkSilence < SilenceLimit) {
        ++LinkSilence;
        return;
    }
    SetLinkUp(false);
    emit statusText(kLinkError);
}

void LinkSupervisor::tmrQuest_Timer()
{
    const int hhmm = m_ctx.clock.now().time().toString(QStringLiteral("HHmm")).toInt();
    if (!LinkUp()) {
        emit probeDue();
        return;
    }
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
