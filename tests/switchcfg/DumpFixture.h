#pragma once
#include "Clock.h"
#include "Database.h"
#include "DownloadPlan.h"
#include "ParameterDump.h"
#include "TestHome.h"
#include "TestPrint.h"

#include <QMap>
#include <QStringList>
#include <memory>
#include <ostream>

// Readable failure messages.
namespace corvane {
inline void PrintTo(const SwitchCommand &c, std::ostream *os)
{
    *os << (c.kind == SwitchCommand::Kind::Clock ? std::string("CLOCK") : c.text.toStdString()) << " +" << c.gapMs
        << "ms";
}
inline void PrintTo(Verdict v, std::ostream *os)
{
    const char *names[] = {"None", "Same", "Different", "NotComparable"};
    *os << names[int(v)];
}
} // namespace corvane

namespace corvane::test {

// The link as the comparison run sees it: every call written down in order
// ("request", "ack", "nak", "collect 3", "end", "discard 1500 30000").
class RecordingDumpLink : public DumpLink {
public:
    QStringList events;

    void RequestDump() override { events << QStringLiteral("request"); }
    void SendAck() override { events << QStringLiteral("ack"); }
    void SendNak() override { events << QStringLiteral("nak"); }
    void CollectDumpBlocks(quint8 n) override { events << QStringLiteral("collect %1").arg(n); }
    void EndDumpCollection() override { events << QStringLiteral("end"); }
    void DiscardLateDumpBytes(int quietMs, int maxMs) override
    {
        events << QStringLiteral("discard %1 %2").arg(quietMs).arg(maxMs);
    }
    // The answers to blocks only (ack / nak), in order.
    QStringList answers() const;
};

// The text of a dump block as the link hands it on: 256 data bytes, all 0x00
// except those given, then the checksum, each as two upper-case hex digits.
// The checksum is written by the test (from the block number and the bytes,
// worked out by hand), so that the decoder is checked against the protocol,
// not against its own sum.
QString blockText(const QMap<int, int> &bytes, int checksum);
// A block of zero data bytes: its checksum is the block number.
QString emptyBlock(int blockNo);

// A database with every table and the default rows on a test clock, a
// recording link and a comparison run over them.
struct DumpEnv {
    DumpEnv();

    // Runs a whole dump of 50 good blocks: `special` replaces the empty text
    // of the blocks it names.
    void runDump(const QMap<int, QString> &special = {});
    // Feeds good empty blocks from DumpBlockNo up to and including `last`.
    void feedEmptyUpTo(int last);

    void exec(const QString &sql, const QVariantList &params = {});
    QString value(const QString &sql, const QVariantList &params = {});
    // Every row of a table as text, for before/after comparisons.
    QList<QStringList> table(const QString &name);

    TestHome home;
    TestClock clock;
    Database db;
    RecordingDumpLink link;
    std::unique_ptr<ParameterDump> dump;
};

} // namespace corvane::test
