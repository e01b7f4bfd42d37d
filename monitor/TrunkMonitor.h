#pragma once
#include "TrunkState.h"
#include "UserTable.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>

namespace corvane {

class ConsoleContext;
class TrunkView;

// The trunk events the switch reports: ringing, caller ID, seizure, dialled
// digits, take-over, answer and release. Keeps the per-trunk state (the
// link's TrunkState, so the nightly reset sees busy trunks), drives the trunk
// indicators and the incoming-call list, pops up what the customer directory
// knows about a caller, blocks blacklisted callers and charges every answered
// incoming call into PHNBill.
//
// Widget-free: what it shows goes through the TrunkView.
//
// Each handler gets its complete frame (offset 0 is the sync byte, offset 1
// the type). A frame for a trunk outside 1..16 changes nothing; a port with no
// User row skips the steps that need the row.
//
// Per trunk: 0 idle, 3 seized by an extension (outgoing), 4 incoming call
// ringing, 6 incoming call answered, 9 taken by an extension while idle.
//
// While the link to the switch is lost, events go by unseen: every indicator
// shows "unknown" from the loss on (ShowTrunksUnknown), each until the next
// event of its own trunk. The states themselves are kept, so a call answered
// before the loss is still charged when its release arrives.
class TrunkMonitor : public QObject {
    Q_OBJECT
public:
    // What a blocked caller is shown with, in the incoming list and the pop-up.
    static QString BlockedText() { return QStringLiteral("已拦截"); }
    static constexpr qint16 Idle = 0;
    static constexpr qint16 Seized = 3;
    static constexpr qint16 Ringing = 4;
    static constexpr qint16 Answered = 6;
    static constexpr qint16 TakenIdle = 9;

    TrunkMonitor(ConsoleContext &ctx, TrunkView &view, QObject *parent = nullptr);

    void OnTrunkRinging(const QByteArray &frame);    // 0xA2, 3 bytes
    void OnCallerId(const QByteArray &frame);        // 0xA8, 9 bytes
    void OnTrunkSeized(const QByteArray &frame);     // 0xC4, 5 bytes
    void OnTrunkDialled(const QByteArray &frame);    // 0x78, 9 bytes
    void OnTrunkUserChange(const QByteArray &frame); // 0x94, 5 bytes
    void OnTrunkAnswer(const QByteArray &frame);     // 0x44, 5 bytes
    void OnTrunkReleased(const QByteArray &frame);   // 0xD2, 3 bytes

    // Trunk index t (0..15) is shown as unknown.
    bool trunkUnknown(int t) const { return t >= 0 && t < TrunkCount && m_unknown[size_t(t)]; }

    // The trunks as the handlers keep them: the link's when there is one.
    TrunkStates &trunks();
    const TrunkRecord &trunk(int t) { return trunks()[size_t(t)]; }

    // Line break inside a trunk text and the pop-up text.
    static QString lineBreak() { return QStringLiteral("\r\n"); }
    // Key of the notice that an incoming call could not be stored.
    static const QString IncomingNotStoredKey;

    // Fee of an answered incoming call: 0.10 for every started 6 seconds.
    static QString IncomingFee(qint64 seconds);

public slots:
    // Shows the caller pop-up for trunk Index + 1 (a click on its picture).
    void imgPHN_Click(int Index);
    // The link was lost: what the indicators show may be long over.
    void ShowTrunksUnknown();

private:
    // What the trunk events need of the user on an extension.
    struct TrunkUser {
        bool found = false;
        QString number;
        QString name;
        QString group;
        bool show = false; // the number is written on the trunk indicator
    };
    TrunkUser userByPort(quint8 port);
    TrunkUser userByNumber(const QString &number);
    static TrunkUser readUser(const Checked<std::optional<UserRow>> &row);
    // Drops the indirect-office digit of dialled digits on a trunk set to "间局".
    QString stripOfficeDigit(int trunk, const QString &digits);
    // Trunk index t for trunk number n, -1 outside 1..16.
    static int trunkIndex(int n);
    // An event of trunk t arrived: its indicator shows what it holds again.
    void known(int t);
    QString timeNow() const;

    ConsoleContext &m_ctx;
    TrunkView &m_view;
    TrunkStates m_ownTrunks{}; // used only while no link is attached
    std::array<bool, TrunkCount> m_unknown{};
};

} // namespace corvane
