#include "SimBridge.h"
#include "CommandDecoder.h"
#include "Frames.h"
#include "Protocol.h"

namespace corvane::test {

QStringList applyDownload(const DownloadPlan &plan, sim::ParameterMemory &memory, const QDateTime &now)
{
    QStringList refused;
    sim::CommandDecoder decoder;
    for (const SwitchCommand &c : plan.commands) {
        if (c.kind == SwitchCommand::Kind::Clock) {
            memory.setClock(now);
            continue;
        }
        const QList<sim::Command> got = decoder.feed(HexToBytes(PackStarCode(c.text)));
        if (got.size() != 1 || got.first().kind != sim::Command::StarCode) {
            refused << c.text + QStringLiteral(" (not read as one star code)");
            continue;
        }
        const sim::ParameterMemory::Outcome o = memory.apply(got.first().code);
        if (!o.applied)
            refused << c.text + QStringLiteral(": ") + o.note;
    }
    return refused;
}

QMap<int, QString> dumpTexts(const sim::ParameterMemory &memory)
{
    QMap<int, QString> out;
    for (int n = 0; n < sim::ParameterMemory::BlockCount; ++n)
        out.insert(n, BytesToHex(sim::Frames::dumpBlock(n, memory.block(n)).mid(1)));
    return out;
}

} // namespace corvane::test
