#pragma once
#include "DownloadPlan.h"
#include "ParameterMemory.h"

#include <QDateTime>
#include <QMap>
#include <QStringList>

namespace corvane {
class Database;
}

namespace corvane::test {

// Applies a download to the simulator's parameter memory the way the switch
// receives it: each star code packed into the bytes the console writes and
// decoded again by the simulator's command reader; the clock command sets
// the memory's clock. Returns the codes the memory refused.
QStringList applyDownload(const DownloadPlan &plan, sim::ParameterMemory &memory, const QDateTime &now);

// The 50 blocks of the memory as the link hands them to the decoder (data
// bytes and checksum as hex text, block number left out), by block number.
QMap<int, QString> dumpTexts(const sim::ParameterMemory &memory);

} // namespace corvane::test
