#include "IntakeFixture.h"

#include "CommandDecoder.h"
#include "Data.h"
#include "Database.h"
#include "Frames.h"
#include "Recordset.h"
#include "SwitchOnPty.h"

#include <QDir>
#include <gtest/gtest.h>

namespace corvane::test {

QByteArray callFrame(int port, int minute, int duration, const QString &called)
{
    const sim::CallRecordData r{1, port, false, 12, 8, 22, minute, quint16(duration), called};
    return sim::Frames::callRecord(r);
}

IntakeEnv::IntakeEnv(const QDateTime &now) : clock(now)
{
    ctx = std::make_unique<ConsoleContext>(HomePaths(home.path()), messages, clock);
    EXPECT_TRUE(createSwitchDb(ctx->db, home.file(QStringLiteral("data/Switch.mdb"))));
    ctx->BuildLists();
    QDir().mkpath(ctx->home.portsDir());
    EXPECT_TRUE(switchSide.ok() && outSide.ok());
    switchSide.answersClock = true;
    switchSide.linkAs(comLink(ctx->home, 1));
    outSide.linkAs(comLink(ctx->home, 2));
    isolateSerialPorts(home.path());
    link = std::make_unique<SwitchLink>(*ctx);
    ctx->link = link.get();
    EXPECT_TRUE(link->OpenPort(1));
    link->SetLinkUp(true); // the switch on COM1 counts as answering
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
    // A marker command (A5) goes out last: everything before it has been
    // sent, and "nothing" means nothing, not "not yet". An A5 inside a star
    // code still waiting for its end key is no marker.
    link->SendHex(QStringLiteral("A5"));
    QByteArray got;
    QStringList texts;
    const bool marked = waitUntil([&] {
        got += switchSide.take();
        sim::CommandDecoder decoder;
        texts.clear();
        // The probes after kept commands are the link's own business.
        for (const sim::Command &c : decoder.feed(got))
            if (c.kind != sim::Command::Clock)
                texts << c.text;
        return !decoder.hasPending() && !texts.isEmpty() && texts.last() == QLatin1String("NAK");
    });
    EXPECT_TRUE(marked) << "the marker command never arrived";
    if (marked)
        texts.removeLast();
    return texts;
}

QByteArray IntakeEnv::outward()
{
    // The same with a marker record on the outward port.
    const QByteArray marker = QByteArrayLiteral("$MARK#\r\n");
    link->SendOutward(QString::fromLatin1(marker));
    QByteArray got;
    const bool marked = waitUntil([&] {
        got += outSide.take();
        return got.endsWith(marker);
    });
    EXPECT_TRUE(marked) << "the marker record never arrived";
    got.chop(marker.size());
    return got;
}

bool IntakeEnv::exec(const QString &sql, const QVariantList &params) { return bool(ctx->db.exec(sql, params)); }

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
    ASSERT_TRUE(SetField(rs, column, value));
}

} // namespace corvane::test
