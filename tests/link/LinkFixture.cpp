#include "LinkFixture.h"
#include "HomeKey.h"
#include "TestStatus.h"

#include "Schema.h"

#include <QDir>
#include <gtest/gtest.h>

namespace corvane::test {

const QList<QByteArray> &callRecords()
{
    static const QList<QByteArray> records = {
        // Trunk 3, port 5 (line 0C05), 12-08 23:30, 65 units (0041), dialled 1309.
        // FE+0C+05+12+08+23+30+41+13+A9 = 0x279 -> 79
        bytes({0xFF, 0xFE, 0x0C, 0x05, 0x12, 0x08, 0x23, 0x30, 0x00, 0x41, 0x13, 0xA9,
               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x79}),
        // Trunk 1, port 8 (0408), 12-08 09:15, 200 units (00C8), dialled 81A234.
        // FE+04+08+12+08+09+15+C8+81+A2+34 = 0x361 -> 61
        bytes({0xFF, 0xFE, 0x04, 0x08, 0x12, 0x08, 0x09, 0x15, 0x00, 0xC8, 0x81, 0xA2,
               0x34, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61}),
        // Trunk 2, account 12 (080C), 11-30 18:05 with the account flag (85),
        // 258 units (0102), dialled 0755, spare bytes 01 02 03 04 05.
        // FE+08+0C+11+30+18+85+01+02+A7+55+01+02+03+04+05 = 0x2FE -> FE
        bytes({0xFF, 0xFE, 0x08, 0x0C, 0x11, 0x30, 0x18, 0x85, 0x01, 0x02, 0xA7, 0x55,
               0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFE}),
        // Trunk 16, port 119 (4077), 01-01 00:00, 300 units (012C), dialled
        // 13800138000, spare bytes 5A A5 FF 00 7E (a sync value inside is data).
        // FE+40+77+01+01+01+2C+13+8A+A1+38+AA+A0+5A+A5+FF+7E = 0x720 -> 20
        bytes({0xFF, 0xFE, 0x40, 0x77, 0x01, 0x01, 0x00, 0x00, 0x01, 0x2C, 0x13, 0x8A,
               0xA1, 0x38, 0xAA, 0xA0, 0x00, 0x5A, 0xA5, 0xFF, 0x00, 0x7E, 0x20}),
        // Trunk 5, port 0 (1400), 06-15 12:45, 0 units, dialled 114, spare 00 00 00 00 01.
        // FE+14+06+15+12+45+11+40+01 = 0x1D6 -> D6
        bytes({0xFF, 0xFE, 0x14, 0x00, 0x06, 0x15, 0x12, 0x45, 0x00, 0x00, 0x11, 0x40,
               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xD6}),
        // Trunk 7, port 33 (1C21), 12-31 23:59, 3600 units (0E10), dialled 95555.
        // FE+1C+21+12+31+23+59+0E+10+95+55+50 = 0x352 -> 52
        bytes({0xFF, 0xFE, 0x1C, 0x21, 0x12, 0x31, 0x23, 0x59, 0x0E, 0x10, 0x95, 0x55,
               0x50, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x52}),
    };
    return records;
}

QByteArray callRecord(int k)
{
    const QList<QByteArray> &all = callRecords();
    return all.at(((k % all.size()) + all.size()) % all.size());
}

QStringList RecordingHandlers::names() const
{
    QStringList out;
    for (const Call &c : calls)
        out << c.name;
    return out;
}

QList<QByteArray> RecordingHandlers::frames() const
{
    QList<QByteArray> out;
    for (const Call &c : calls)
        out << c.frame;
    return out;
}

void RecordingHandlers::record(const QString &name, const QByteArray &frame)
{
    ++depth;
    maxDepth = qMax(maxDepth, depth);
    calls.append({name, frame});
    struct Leave {
        int &d;
        ~Leave() { --d; }
    } leave{depth};
    if (hook)
        hook(name, frame);
}

int RecordingHandlers::ProcessCallRecord(const QByteArray &frame)
{
    if (!callRecords().contains(frame))
        return 1;
    record(QStringLiteral("ProcessCallRecord"), frame);
    return 23;
}

LinkEnv::LinkEnv()
{
    ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
    QDir().mkpath(ctx->home.dataDir());
    QDir().mkpath(ctx->home.portsDir());
    const Status opened = ctx->db.open(ctx->home.switchDb(), LegacyDatabaseKey(), Database::OpenMode::Create);
    EXPECT_TRUE(test::Ok(opened));
    const TableDef *config = findTable(QStringLiteral("SWTConfig"));
    EXPECT_NE(config, nullptr);
    if (opened && config) {
        EXPECT_TRUE(createSchema(ctx->db, {*config}));
        QVariantList row;
        QStringList marks;
        for (int i = 0; i < config->columns.size(); ++i) {
            row << QString();
            marks << QStringLiteral("?");
        }
        EXPECT_TRUE(ctx->db.exec(QStringLiteral("INSERT INTO \"SWTConfig\" VALUES (%1)").arg(marks.join(u',')), row));
    }
    link = std::make_unique<SwitchLink>(*ctx);
    ctx->link = link.get();
    link->setFrameHandlers(&handlers);
}

LinkEnv::~LinkEnv()
{
    link.reset();
    ctx->db.close();
}

void LinkEnv::setConfig(int col, const QString &value)
{
    const TableDef *config = findTable(QStringLiteral("SWTConfig"));
    ASSERT_NE(config, nullptr);
    ASSERT_TRUE(ctx->db.exec(
        QStringLiteral("UPDATE \"SWTConfig\" SET %1 = ?").arg(Database::quoteId(config->columns.at(col))), {value}));
}

QString LinkEnv::config(int col)
{
    const TableDef *config = findTable(QStringLiteral("SWTConfig"));
    if (!config)
        return QStringLiteral("<no table>");
    return ctx->db
        .scalar(QStringLiteral("SELECT %1 FROM \"SWTConfig\"").arg(Database::quoteId(config->columns.at(col))))
        .value_or(QStringLiteral("<none>"));
}

} // namespace corvane::test
