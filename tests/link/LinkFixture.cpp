#include "LinkFixture.h"

#include "Schema.h"

#include <QDir>
#include <gtest/gtest.h>

namespace corvane::test {

QByteArray callRecord(int seq)
{
    QByteArray f(23, '\0');
    f[0] = char(0xFF);
    f[1] = char(0xFE);
    f[2] = char(0x0C);
    f[3] = char(0x05);
    f[4] = char(0x12);
    f[5] = char(0x08);
    f[6] = char(0x23);
    f[7] = char(0xB0);
    f[8] = char((seq >> 8) & 0xFF);
    f[9] = char(seq & 0xFF);
    f[10] = char(0x13);
    f[11] = char(0xA9);
    unsigned sum = 0;
    for (int i = 1; i <= 21; ++i)
        sum += quint8(f[i]);
    f[22] = char(sum & 0xFF);
    return f;
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
    unsigned sum = 0;
    for (int i = 1; i <= 21; ++i)
        sum += quint8(frame[i]);
    if (quint8(sum & 0xFF) != quint8(frame[22]))
        return 1;
    record(QStringLiteral("ProcessCallRecord"), frame);
    return 23;
}

LinkEnv::LinkEnv()
{
    ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
    QDir().mkpath(ctx->home.dataDir());
    QDir().mkpath(ctx->home.portsDir());
    const bool opened = ctx->db.open(ctx->home.switchDb(), ConsoleContext::databaseKey(),
                                     Database::OpenMode::Create);
    EXPECT_TRUE(opened) << ctx->db.lastError().toStdString();
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
    ASSERT_TRUE(ctx->db.exec(QStringLiteral("UPDATE \"SWTConfig\" SET %1 = ?").arg(Database::quoteId(config->columns.at(col))),
                             {value}));
}

QString LinkEnv::config(int col)
{
    const TableDef *config = findTable(QStringLiteral("SWTConfig"));
    if (!config)
        return QStringLiteral("<no table>");
    return ctx->db.scalar(QStringLiteral("SELECT %1 FROM \"SWTConfig\"").arg(Database::quoteId(config->columns.at(col))))
        .value_or(QStringLiteral("<none>"));
}

} // namespace corvane::test
