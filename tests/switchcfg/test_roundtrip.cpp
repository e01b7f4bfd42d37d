// Database to switch and back, against the simulated switch in-process: the
// download goes over the line as bytes, the simulator's dump comes back block
// by block, and the comparison finds the two agreeing; one change made at the
// switch shows as exactly one row, the copy brings it into the database, and
// the next comparison agrees again.
#include "DownloadPlan.h"
#include "DumpFixture.h"
#include "Frames.h"
#include "Protocol.h"
#include "PtyDevice.h"
#include "SwitchSimulator.h"
#include "SwitchToDatabase.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

void pump()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// The console's end of the line, as the comparison sees it.
class LineLink : public DumpLink {
public:
    explicit LineLink(QIODevice *line) : m_line(line) {}
    void RequestDump() override { send(0x66); }
    void SendAck() override { send(0x5A); }
    void SendNak() override { send(0xA5); }
    void CollectDumpBlocks(quint8) override {}
    void EndDumpCollection() override {}
    void DiscardLateDumpBytes(int, int) override {}

private:
    void send(quint8 b) { m_line->write(QByteArray(1, char(b))); }
    QIODevice *m_line;
};

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto [simEnd, consoleEnd] = sim::PipeDevice::createPair(&owner);
        console = consoleEnd;
        simulator = std::make_unique<sim::SwitchSimulator>(&env.clock);
        simulator->setAutoPoll(false);
        sim::SwitchSimulator::Options o;
        o.linkAliveMs = 0;
        o.linkRequestMs = 0;
        simulator->setOptions(o);
        QObject::connect(simulator.get(), &sim::SwitchSimulator::starCodeApplied,
                         [this](const QString &code, bool applied, const QString &note) {
                             ++applied_;
                             if (!applied)
                                 refused << code + QStringLiteral(": ") + note;
                         });
        simulator->attach(simEnd);
        pump();
        console->readAll();
        link = std::make_unique<LineLink>(console);
        dump = std::make_unique<ParameterDump>(env.db, env.clock, *link);
    }

    void download()
    {
        Checked<DownloadPlan> plan = BuildDownload(env.db);
        ASSERT_TRUE(plan) << plan.reason().toStdString();
        ASSERT_TRUE(plan->notes.isEmpty()) << plan->notes.join(QLatin1Char('\n')).toStdString();
        for (const SwitchCommand &c : plan->commands) {
            console->write(HexToBytes(c.kind == SwitchCommand::Kind::Clock ? ClockCommand(env.clock.now())
                                                                           : PackStarCode(c.text)));
            pump();
        }
        EXPECT_EQ(applied_, plan->starCodes().size());
        EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
        pump();
        console->readAll(); // the clock command's acknowledgement
    }

    void compare()
    {
        ASSERT_TRUE(dump->start());
        pump();
        QByteArray pending;
        for (int guard = 0; guard < 200 && dump->DumpMode(); ++guard) {
            pending += console->readAll();
            if (pending.size() < Protocol_DumpBlockLength) {
                pump();
                continue;
            }
            ASSERT_EQ(quint8(pending[0]), dump->DumpBlockNo());
            dump->DecodeParameterBlock(BytesToHex(pending.mid(1, Protocol_DumpBlockLength - 1)));
            pending.remove(0, Protocol_DumpBlockLength);
            pump();
        }
        ASSERT_TRUE(dump->complete());
        EXPECT_EQ(simulator->dumpsCompleted(), ++dumps);
    }

    // Rows with a database counterpart that do not agree, as "row item detail: switch / database".
    QStringList disagreeing() const
    {
        QStringList out;
        for (const ComparisonRow &r : dump->rows())
            if (r.db.source != DbRef::Source::None && r.verdict != Verdict::Same)
                out << QStringLiteral("%1 %2 %3: %4 / %5").arg(r.row).arg(r.item, r.detail, r.switchValue, r.dbValue);
        return out;
    }

    static constexpr int Protocol_DumpBlockLength = DumpBlockLength;

    QObject owner;
    DumpEnv env;
    QIODevice *console = nullptr;
    std::unique_ptr<sim::SwitchSimulator> simulator;
    std::unique_ptr<LineLink> link;
    std::unique_ptr<ParameterDump> dump;
    QStringList refused;
    int applied_ = 0;
    int dumps = 0;
};

TEST_F(RoundTrip, DownloadCompareChangeCopyCompare)
{
    // A database with something in every part of the download.
    env.exec(QStringLiteral("UPDATE SWTConfig SET 功能首位字头='9', 呼入等待信号音类型='0', 夜服值班分机='4', "
                            "代理总机1='2', 代理总机2='11'"));
    env.exec(QStringLiteral(
        "UPDATE Feesetting SET 国际延时='30', 国内延时='20', 本地延时='15', 市话延时='5', 手机延时='8'"));
    env.exec(QStringLiteral("UPDATE Exchange SET 中继计费开关方式='反极', 中继呼入方式='群呼', 中继发码方式='脉冲', "
                            "中继出局方式='间局', 中继路由局向='3', 间局局向='5', 中继来电显示='×', 中继分组='2', "
                            "虚拟总机1='7', 虚拟总机2='9' WHERE 中继='2'"));
    env.exec(QStringLiteral("UPDATE Exchange SET 中继开关='×' WHERE 中继='12'"));
    env.exec(QStringLiteral("UPDATE User SET 分机等级='2', 分机来电显示='×', 分机拨打本地权='×', 分机拨打特服权='√', "
                            "分机内部分机呼叫权='×', 分机允许中继呼入权='√', 分机中继分组='3', 分机呼出时限='120' "
                            "WHERE 物理端口='6'"));
    env.exec(QStringLiteral("UPDATE User SET 用户号码='8888', 付费方式='押金' WHERE 物理端口='119'"));
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('119', '8888', '', '4', '0.00', '0.00', '246810', '√')"));
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('0755', '本地0755', '5')"));
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('80', '本地80', '5')"));
    for (const char *n : {"114", "11010", "95555"})
        env.exec(QStringLiteral("INSERT INTO SPCPhone VALUES (?)"), {QString::fromLatin1(n)});
    env.exec(QStringLiteral("UPDATE ExNO SET 工作日控制='√', 外线号码='87654321' WHERE 中继号='4'"));
    env.exec(QStringLiteral(
        "UPDATE IP SET 启用='√', 切入码='17909', 卡号='12345678901234', 密码='123456', 延时2='2.5s' WHERE 序号='3'"));
    env.exec(QStringLiteral("UPDATE IP SET 启用='1', 切入码='17951', 延时1='4' WHERE 序号='13'"));

    download();
    // Settings the dump does not compare still reached the memory.
    EXPECT_EQ(simulator->memory().dialPassword(119), QStringLiteral("246810"));
    EXPECT_EQ(simulator->memory().outsideNumber(4), QStringLiteral("87654321"));
    EXPECT_EQ(simulator->memory().byte(15, 2), 1);        // IP card 3 on
    EXPECT_EQ(simulator->memory().byte(15, 36 + 2), 250); // its second pause 2.5 s
    EXPECT_EQ(simulator->memory().byte(16, 9), 250);      // interval option 4, "2.5秒"

    compare();
    EXPECT_EQ(dump->rowCount(), 304 + 9 * 120);
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
    int compared = 0;
    for (const ComparisonRow &r : dump->rows())
        compared += r.db.source != DbRef::Source::None ? 1 : 0;
    EXPECT_EQ(compared, 17 + 48 + 52 + 12 * 13 + 9 * 120);

    // At the switch, the waiting tone goes back to ring-back (block 0 byte 21).
    simulator->setMemoryByte(0, 21, 0x01);
    compare();
    EXPECT_EQ(disagreeing(), (QStringList{"19 交换机 信号音类型: 1 / 0"}));
    EXPECT_EQ(dump->row(19).verdictText, QStringLiteral("数据不一致--19"));

    CopyOutcome out = CopySwitchToDatabase(env.db, *dump);
    ASSERT_TRUE(out.status) << out.status.reason().toStdString();
    EXPECT_EQ(out.summary.changedRows(), 1);
    EXPECT_EQ(out.summary.configRows, 1);
    EXPECT_EQ(env.value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("1"));

    compare();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
}

} // namespace
