#pragma once
#include "Clock.h"
#include "TrunkState.h"

#include <QObject>

namespace corvane {

class ConsoleContext;

// Whether the switch is there: the link state, the link watchdog and the
// periodic task.
//
// Watchdog (tmrState, every 1000 ms): a tick adds one to LinkSilence; at the
// limit the link counts as down and panel 2 reads "通讯端口：错误", again on
// every tick until the switch is heard. Every frame that shows the switch is
// there (link-alive, link request, acknowledgement, dump block) sets the
// silence back to 0, so a switch that has just answered is not dropped by the
// next tick; the link is up again from the first of them, and panel 2 reads
// "通讯端口：正常" at once.
//
// The switch's frames show only that the switch talks to the console. That
// it hears the console shows only in its answers to the clock command; while
// they are missing (SetSendDown) the link counts as down for sending although
// frames arrive: panel 2 reads "通讯端口：发送失败" and nothing kept is sent.
//
// A link that was up and goes down, for both directions or for sending, is a
// loss the operator must see: linkLost (or sendingLost) tells it once, and
// linkRestored once when the switch is heard, and answers, again.
//
// Periodic task (tmrQuest, every 5000 ms): while the link is down or the
// switch does not answer it asks for a probe (the clock command); while it is
// up it asks for an answer check (answerCheckDue), and once a night, between
// 00:00 and 04:59 and with every trunk idle, for the nightly reset when the
// configuration enables it, and re-arms after 05:00.
//
// The supervisor sends nothing itself: probeDue and nightResetDue tell the
// link what to send. Both timers run on the console's Clock.
class LinkSupervisor : public QObject {
    Q_OBJECT
public:
    static constexpr int StateIntervalMs = 1000;
    static constexpr int QuestIntervalMs = 5000;
    // Watchdog ticks without a sign of life before the link counts as down.
    static constexpr int SilenceLimit = 6;

    LinkSupervisor(ConsoleContext &ctx, const TrunkStates &trunks, QObject *parent = nullptr);

    // Created stopped; the main window starts them once it is loaded.
    ClockTimer tmrState; // link watchdog, 1000 ms
    ClockTimer tmrQuest; // clock probe and nightly reset, 5000 ms
    void StartTimers();
    void StopTimers();

    bool LinkUp() const { return m_linkUp; }
    void SetLinkUp(bool up);
    // The switch does not answer what the console sends.
    bool SendDown() const { return m_sendDown; }
    void SetSendDown(bool down);
    // The switch can take commands: up and answering.
    bool CanSend() const { return m_linkUp && !m_sendDown; }
    // Text of panel 2 for the state now.
    QString StatusNow() const;
    // Watchdog ticks since the switch was last heard.
    int LinkSilence = 0;
    // The nightly reset has been sent in the current night.
    bool NightResetDone = false;

    // Signs of life, from the dispatcher.
    void OnLinkAlive(); // FF B2: link up, silence 0, panel "正常"
    void OnAnswer();    // FF E1, FF 5A: link up, silence 0
    void OnDumpBlock(); // silence 0
    void OnFrame();     // any complete frame: the switch was heard now
    // The switch answered a probe: it hears the console.
    void OnAnswered();

    // When the switch was last heard (invalid before the first frame).
    QDateTime LastFrameAt() const { return m_lastFrameAt; }
    // The same on the monotonic scale (-1 before the first frame).
    qint64 LastFrameMs() const { return m_lastFrameMs; }
    // The link was lost and has not come back yet.
    bool LinkLost() const { return m_lost; }

public slots:
    void tmrState_Timer();
    void tmrQuest_Timer();

signals:
    // Text of status bar panel 2: "通讯端口：正常", "通讯端口：错误" or
    // "通讯端口：发送失败".
    void statusText(const QString &text);
    void linkUpChanged(bool up);
    // Whether the switch can take commands changed (CanSend).
    void sendingChanged(bool canSend);
    // The link was up and the watchdog found it silent for its limit.
    void linkLost(const QDateTime &lastFrameAt);
    // The switch's frames arrive but it does not answer the console.
    void sendingLost(const QDateTime &lastAnswerAt);
    // The switch was heard (and answered) again after linkLost or
    // sendingLost; lostAt is when it was lost.
    void linkRestored(const QDateTime &lostAt);
    // After every watchdog tick: the link heals its ports.
    void ticked();
    // The link is down: send the clock command to bring the switch back.
    void probeDue();
    // The link is up: see that the switch still answers.
    void answerCheckDue();
    // Send the nightly reset now.
    void nightResetDue();

private:
    ConsoleContext &m_ctx;
    const TrunkStates &m_trunks;
    void noteState(bool couldSend);
    bool m_linkUp = false;
    bool m_sendDown = false;
    bool m_lost = false;       // a loss was told and the switch cannot take commands yet
    bool m_framesLost = false; // the switch fell silent (told by linkLost)
    QDateTime m_lostAt;
    QDateTime m_lastFrameAt;
    QDateTime m_lastAnswerAt;
    qint64 m_lastFrameMs = -1;
};

} // namespace corvane
