#pragma once
#include <QString>
#include <QtGlobal>
#include <array>

namespace corvane {

// What the console knows about one trunk (outside line), kept for the whole
// run and indexed by trunk number - 1. The trunk-event handlers own the
// meaning of the state codes; 0 means idle, and the nightly reset waits for
// every trunk to be idle.
struct TrunkRecord {
    qint16 State = 0;
    // The incoming call on the trunk: caller-ID number, user number of the
    // extension that answered, answer and release time ("HHMMSS") and the
    // talk time in seconds. All empty again once the trunk is released.
    QString CallerNo;
    QString UserNo;
    QString StartTime;
    QString EndTime;
    QString Seconds;
    // The caller is on the blacklist and the switch was told to drop it.
    bool Blocked = false;
};

constexpr int TrunkCount = 16;
using TrunkStates = std::array<TrunkRecord, TrunkCount>;

} // namespace corvane
