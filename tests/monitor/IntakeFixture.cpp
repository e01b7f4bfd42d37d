#include "IntakeFixture.h"

#include "CommandDecoder.h"
#include "Database.h"
#include "Recordset.h"

#include <QDir>
#include <gtest/gtest.h>

namespace corvane::test {

QByteArray withChecksum(const QByteArray &first22)
{
    unsigned sum = 0;
    for (int i = 1; i < first22.size(); ++i)
        sum += quint8(first22.at(i));
    return first22 + char(quint8(sum));
}

IntakeEnv::IntakeEnv(const QDateTime &now) : clock(now)
{
    ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
    EXPECT_TRUE(createSwitchDb(ctx->db, home.file(QStringLiteral("data/Switch.mdb"))));
    ctx->BuildLists();
    QDir().mkpath(ctx->home.portsDir());
    EXPECT_TRUE(switchSide.ok() && outSide.ok());
    switchSide.linkAs(ctx->home.portsDir() + QStringLiteral("/COM1"));
    outSide.linkAs(ctx->home.portsDir() + QStringLiteral("/COM2"));
    link = std::make_unique<SwitchLink>(*ctx);
    ctx->link = link.get();
    EXPECT_TRUE(link->OpenPort(1));
    EXPECT_TRUE(link->OpenOutPort(2));
    fees = std::make_unique<FeeEngine>(ctx->db);
    restartIntake();
    link->setFrameHandlers(&handlers);
}

IntakeEnv::~IntakeEnv()
{
    if (link)
        link->ClosePorts();
}

void IntakeEnv::restartIntake(const CallIntake::Options &options)
{
    intake = std::make_unique<CallIntake>(*ctx, *fees, &view, options);
    handlers.intake = intake.get();
}

QStringList IntakeEnv::sent()
{
    link->mscPort.flush();
    sim::CommandDecoder decoder;
    QStringList texts;
    for (const sim::Command &c : decoder.feed(switchSide.take()))
        texts << c.text;
    for (const sim::Command &c : decoder.flush())
        texts << c.text;
    return texts;
}

QByteArray IntakeEnv::outward()
{
    link->mscOut.flush();
    return outSide.take();
}

bool IntakeEnv::exec(const QString &sql, const QVariantList &params) { return ctx->db.exec(sql, params); }

QList<QStringList> IntakeEnv::select(const QString &sql, const QVariantList &params)
{
    auto rows = ctx->db.select(sql, params);
    return rows ? *rows : QList<QStringList>();
}

QList<QStringList> IntakeEnv::bills() { return select(QStringLiteral("SELECT * FROM PHNBill ORDER BY rowid")); }

QStringList IntakeEnv::rowOf(const QString &table, const QString &column, const QString &value)
{
    Recordset rs(ctx->db, table, Criteria(column, value));
    return rs.currentRow();
}

void IntakeEnv::addDeposit(const QString &port, const QString &number, const QString &balance, const QString &cls)
{
    EXPECT_TRUE(exec(QStringLiteral("INSERT INTO Foregift VALUES (?,?,?,?,?,?,?,?)"),
                     {port, number, QStringLiteral("押金户"), cls, balance, balance, QString(), QStringLiteral("×")}));
}

void IntakeEnv::setConfig(int column, const QString &value)
{
    Recordset rs(ctx->db, QStringLiteral("SWTConfig"));
    ASSERT_TRUE(rs.edit());
    ASSERT_TRUE(rs.setField(column, value));
    ASSERT_TRUE(rs.update());
}

} // namespace corvane::test
