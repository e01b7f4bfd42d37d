#pragma once
#include <QtGlobal>
#include <array>

namespace corvane {

// What the console knows about one trunk (outside line), kept for the whole
// run and indexed by trunk number - 1. The trunk-event handlers own the
// meaning of the state codes; 0 means idle, and the nightly reset waits for
// every trunk to be idle.
struct TrunkRecord {
    qint16 State = 0;
};

constexpr int TrunkCount = 16;
using TrunkStates = std::array<TrunkRecord, TrunkCount>;

} // namespace corvane
