#include "DumpFixture.h"
#include "TestStatus.h"

#include <gtest/gtest.h>

namespace corvane::test {

QStringList RecordingDumpLink::answers() const
{
    QStringList out;
    for (const QString &e : events)
        if (e == QLatin1String("ack") || e == QLatin1String("nak"))
            out << e;
    return out;
}

QString blockText(const QMap<int, int> &bytes, int checksum)
{
    QString text;
    for (int k = 0; k < 256; ++k)
        text += QStringLiteral("%1").arg(bytes.value(k, 0), 2, 16, QLatin1Char('0')).toUpper();
    return text + QStringLiteral("%1").arg(checksum & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString emptyBlock(int blockNo) { return blockText({}, blockNo); }

DumpEnv::DumpEnv()
{
    EXPECT_TRUE(test::Ok(createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb")))));
    dump = std::make_unique<ParameterDump>(db, clock, link);
}

void DumpEnv::runDump(const QMap<int, QString> &special)
{
    const Status started = dump->start();
    ASSERT_TRUE(started) << started.reason().toStdString();
    for (int n = 0; n < 50; ++n)
        dump->DecodeParameterBlock(special.contains(n) ? special.value(n) : emptyBlock(n));
}

void DumpEnv::feedEmptyUpTo(int last)
{
    while (dump->DumpMode() && dump->DumpBlockNo() <= last)
        dump->DecodeParameterBlock(emptyBlock(dump->DumpBlockNo()));
}

void DumpEnv::exec(const QString &sql, const QVariantList &params) { EXPECT_TRUE(test::Ok(db.exec(sql, params))); }

QString DumpEnv::value(const QString &sql, const QVariantList &params)
{
    return db.scalar(sql, params).value_or(QStringLiteral("<none>"));
}

QList<QStringList> DumpEnv::table(const QString &name)
{
    return db.select(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Database::quoteId(name)))
        .value_or(QList<QStringList>{});
}

} // namespace corvane::test
