// The switch comparison window against the simulated switch on a
// pseudo-terminal, driven by clicks on its buttons: the download through the
// command queue with its progress, the comparison read back block by block,
// a change made at the switch found on exactly its row and copied into the
// database, the time-out, the error limit and the refusals. The console's
// clock is a test clock; the simulator runs on the same clock.
#include "ComparisonRow.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "DownloadPlan.h"
#include "FlexGrid.h"
#include "FrameHandlers.h"
#include "PendingCommands.h"
#include "SimBridge.h"
#include "SwitchComparison.h"
#include "SwitchLink.h"
#include "SwitchLists.h"
#include "SwitchSimulator.h"
#include "TestHome.h"
#include "TestPrint.h"
#include "TestStatus.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmSWTComparison.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace corvane;

namespace {

// Stands in for the call intake: a call record is taken and acknowledged.
struct Intake : FrameHandlers {
    SwitchLink *link = nullptr;
    int records = 0;
    int callerIds = 0;
    int ProcessCallRecord(const QByteArray &) override
    {
        ++records;
        link->SendAck();
        return 23;
    }
    void OnCallerId(const QByteArray &) override { ++callerIds; }
};

class ComparisonWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        sim.setAutoPoll(false);
        sim::SwitchSimulator::Options o;
        o.linkAliveMs = 0;
        o.linkRequestMs = 0;
        sim.setOptions(o);
        QString error;
        ASSERT_TRUE(sim.startPty(home.path(), 1, &error)) << error.toStdString();
        QObject::connect(&sim, &sim::SwitchSimulator::starCodeApplied,
                         [this](const QString &code, bool applied, const QString &note) {
                             arrivals << qMakePair(code, clock.monotonicMs());
                             if (!applied)
                                 refused << code + QStringLiteral(": ") + note;
                         });
        if (qEnvironmentVariableIsSet("SIMLOG"))
            QObject::connect(&sim, &sim::SwitchSimulator::activity,
                             [](const QString &l) { qInfo("%s", qPrintable(l.left(120))); });
        link = std::make_unique<SwitchLink>(ctx);
        ctx.link = link.get();
        intake.link = link.get();
        link->setFrameHandlers(&intake);
        ASSERT_TRUE(link->OpenPort(1)) << link->mscPort.errorString().toStdString();
        link->SetLinkUp(true); // the simulator answers; its link frames are off

        // The simulator notices the console on the line.
        ASSERT_TRUE(test::waitFor([&] { return sim.isPeerConnected(); }, 3000));
        open();
    }

    void TearDown() override
    {
        w.reset();
        ctx.link = nullptr;
        link.reset();
        sim.stop();
        ctx.db.close();
    }

    void open()
    {
        w = std::make_unique<frmSWTComparison>(ctx);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    template <typename T>
    T *child(const QString &name)
    {
        return test::child<T>(w.get(), name);
    }
    QString tip() { return child<QLabel>("lblTip")->text(); }
    FlexGrid *grid() { return child<FlexGrid>("hfgComparison"); }

    // Lets both ends of the line run once.
    void pump()
    {
        QCoreApplication::processEvents();
        sim.poll();
        QCoreApplication::processEvents();
    }
    // Moves the clock on in steps of 100 ms while the line runs, until done().
    bool runUntil(const std::function<bool()> &done, int limitMs)
    {
        for (int t = 0; t < limitMs && !done(); t += 100) {
            clock.advanceMs(100);
            pump();
        }
        return done();
    }

    // "数据库参数下传至交换机" to its end, every command applied by the switch.
    void download()
    {
        const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
        ASSERT_TRUE(plan);
        arrivals.clear();
        test::press(w.get(), "cmdSend");
        ASSERT_TRUE(w->comparison().SendBusy());
        ASSERT_TRUE(runUntil([&] { return !w->comparison().SendBusy(); }, 400000));
        ASSERT_TRUE(test::waitFor(
            [&] {
                sim.poll();
                return arrivals.size() == plan->starCodes().size();
            },
            5000))
            << arrivals.size() << " of " << plan->starCodes().size();
        // Ended without a problem: the window compares again on its own.
        EXPECT_TRUE(w->comparison().DumpMode() || tip().startsWith(QStringLiteral("信息比照结束！")))
            << tip().toStdString();
        EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
    }

    // "开始比照" until the verdicts are in; a comparison the window started
    // itself (after a download or a copy) is waited for instead.
    void compare()
    {
        if (!w->comparison().DumpMode())
            test::press(w.get(), "cmdComparison");
        EXPECT_FALSE(child<QPushButton>("cmdSend")->isEnabled());
        EXPECT_FALSE(child<QPushButton>("cmdReceive")->isEnabled());
        ASSERT_TRUE(test::waitFor(
            [&] {
                sim.poll();
                return !w->comparison().DumpMode();
            },
            20000));
        ASSERT_TRUE(tip().startsWith(QStringLiteral("信息比照结束！"))) << tip().toStdString();
        EXPECT_TRUE(child<QPushButton>("cmdSend")->isEnabled());
        EXPECT_TRUE(child<QPushButton>("cmdReceive")->isEnabled());
    }

    // Grid rows with a database counterpart whose verdict is not agreement,
    // as "row item detail: switch / database -> verdict".
    QStringList disagreeing()
    {
        QStringList out;
        const ParameterDump &dump = w->comparison().dump();
        FlexGrid *g = grid();
        for (int n = 1; n < g->rows(); ++n) {
            if (dump.row(n).db.source == DbRef::Source::None)
                continue;
            if (!g->textMatrix(n, 4).startsWith(QStringLiteral("数据一致--")))
                out << QStringLiteral("%1 %2 %3: %4 / %5 -> %6")
                           .arg(n)
                           .arg(g->textMatrix(n, 0), g->textMatrix(n, 1), g->textMatrix(n, 2), g->textMatrix(n, 3),
                                g->textMatrix(n, 4));
        }
        return out;
    }

    QString value(const QString &sql) { return ctx.db.scalar(sql).value_or(QStringLiteral("<none>")); }
    bool boxShown(const QString &text)
    {
        return test::waitFor([&] { return messages.last() && messages.last()->text == text; }, 2000);
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    sim::SwitchSimulator sim{&clock};
    std::unique_ptr<SwitchLink> link;
    Intake intake;
    std::unique_ptr<frmSWTComparison> w;
    QList<QPair<QString, qint64>> arrivals;
    QStringList refused;
};

} // namespace

TEST_F(ComparisonWindowTest, DownloadCompareChangeAtTheSwitchCopyBackCompare)
{
    // Agent operator 2 and virtual operator 2 of trunk 2 with the first ones
    // empty: the switch holds each list closed up.
    ASSERT_TRUE(
        ctx.db.exec(QStringLiteral("UPDATE SWTConfig SET 呼入等待信号音类型='0', 夜服值班分机='4', 代理总机2='11'")));
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE Exchange SET 虚拟总机2='7' WHERE 中继='2'")));
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE User SET 分机等级='2', 分机来电显示='×' WHERE 物理端口='6'")));

    // The download shows its progress and the command going out, and the
    // console takes a call record meanwhile.
    const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
    ASSERT_TRUE(plan);
    ASSERT_GT(plan->commands.size(), 1300);
    test::press(w.get(), "cmdSend");
    EXPECT_EQ(tip(), QStringLiteral("下传所需的时间较长，请您耐心等待！"));
    // The bar counts the commands the switch has answered for, never more
    // than have arrived.
    auto *bar = child<QProgressBar>("pgbSend");
    ASSERT_TRUE(runUntil([&] { return bar->value() >= 5; }, 15000));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), plan->commands.size());
    EXPECT_GE(arrivals.size(), bar->value());
    EXPECT_TRUE(child<QLabel>("lblCommand")->text().startsWith(QStringLiteral("正在下传：*")))
        << child<QLabel>("lblCommand")->text().toStdString();
    sim.queueCallRecord(sim::CallRecordData{3, 5, false, 12, 8, 1, 40, 65, QStringLiteral("1309")});
    ASSERT_TRUE(runUntil([&] { return sim.recordsAcknowledged() == 1; }, 5000));
    EXPECT_EQ(intake.records, 1);
    EXPECT_TRUE(w->comparison().SendBusy());
    ASSERT_TRUE(runUntil([&] { return !w->comparison().SendBusy(); }, 400000));
    ASSERT_TRUE(test::waitFor(
        [&] {
            sim.poll();
            return arrivals.size() == plan->starCodes().size();
        },
        5000));
    EXPECT_EQ(bar->value(), plan->commands.size());
    // The download ended without a problem: the window compares again at once.
    EXPECT_TRUE(w->comparison().DumpMode() || tip().startsWith(QStringLiteral("信息比照结束！")))
        << tip().toStdString();
    EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
    // The switch renumbers its extensions for ten seconds after "*04*".
    for (int i = 0; i + 1 < arrivals.size(); ++i) {
        if (arrivals[i].first.startsWith(QStringLiteral("*04*"))) {
            EXPECT_GE(arrivals[i + 1].second - arrivals[i].second, 10000);
            EXPECT_LT(arrivals[i + 1].second - arrivals[i].second, 10300);
        }
    }

    compare();
    EXPECT_EQ(grid()->rows(), 1 + 304 + 9 * 120);
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(grid()->cellBackColor(5, 0), FlexGrid::paletteColor(10));
    EXPECT_EQ(grid()->textMatrix(5, 4), QStringLiteral("数据一致--5"));
    EXPECT_EQ(grid()->cellBackColor(1, 4), FlexGrid::paletteColor(7)); // no database counterpart
    EXPECT_EQ(grid()->textMatrix(43, 2), QStringLiteral("11"));
    EXPECT_EQ(grid()->textMatrix(44, 2), QStringLiteral(""));

    // At the switch the waiting tone goes back to ring-back (block 0 byte 21).
    sim.setMemoryByte(0, 21, 0x01);
    compare();
    EXPECT_EQ(disagreeing(), QStringList{QStringLiteral("19 交换机 信号音类型: 1 / 0 -> 数据不一致--19")});
    for (int c = 0; c < frmSWTComparison::Columns; ++c)
        EXPECT_EQ(grid()->cellBackColor(19, c), FlexGrid::paletteColor(12));

    // "只看不一致" leaves the one row, and the tip counts it.
    EXPECT_EQ(tip(), QStringLiteral("信息比照结束！共1384项，不一致1项"));
    test::tick(child<QCheckBox>("chkDifferent"), true);
    int shown = 0;
    for (int n = 1; n < grid()->rows(); ++n)
        shown += grid()->isRowHidden(n) ? 0 : 1;
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(grid()->isRowHidden(19));
    test::tick(child<QCheckBox>("chkDifferent"), false);
    EXPECT_FALSE(grid()->isRowHidden(5));

    // The copy asks first; "否" is the default and copies nothing.
    messages.clear();
    test::press(w.get(), "cmdReceive");
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text, frmSWTComparison::CopyQuestion());
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("0"));
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), "cmdReceive");
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text, QStringLiteral("数据库修改完毕！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("提示"));
    EXPECT_EQ(value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("1"));
    EXPECT_EQ(value(QStringLiteral("SELECT 分机等级 FROM User WHERE 物理端口='6'")), QStringLiteral("2"));

    compare();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ComparisonWindowTest, RefusalsWhileSendingAndLeaving)
{
    // No comparison yet.
    test::press(w.get(), "cmdReceive");
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text, QStringLiteral("请先运行信息比照功能！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("错误"));

    // During the download: no comparison, no copy; it can be stopped, and the
    // window can be closed while it goes on.
    test::press(w.get(), "cmdSend");
    ASSERT_TRUE(w->comparison().SendBusy());
    EXPECT_FALSE(child<QPushButton>("cmdComparison")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdReceive")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("cmdStop")->isVisible());
    EXPECT_EQ(w->comparison().startComparison().reason(), QStringLiteral("参数下传尚未结束，不能启动！"));
    EXPECT_EQ(w->comparison().copyToDatabase().status.reason(), QStringLiteral("参数下传尚未结束，不能启动！"));
    const int total = w->comparison().downloadTotal();
    ASSERT_TRUE(runUntil([&] { return arrivals.size() >= 20; }, 15000));
    messages.clear();
    test::press(w.get(), "cmdLeave");
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(messages.shown().isEmpty());
    ASSERT_TRUE(runUntil([&] { return link->KeptCount() == 0; }, 400000));
    ASSERT_TRUE(test::waitFor(
        [&] {
            sim.poll();
            return arrivals.size() == BuildDownload(ctx.db)->starCodes().size();
        },
        5000));

    // "停止下传": what went is counted, the rest leaves the queue and the table.
    open();
    arrivals.clear();
    test::press(w.get(), "cmdSend");
    ASSERT_TRUE(runUntil([&] { return arrivals.size() >= 10; }, 15000));
    test::press(w.get(), "cmdStop");
    // Those that went leave the table once the switch has answered the
    // probe after them.
    ASSERT_TRUE(runUntil([&] { return !w->comparison().SendBusy(); }, 5000));
    EXPECT_EQ(link->KeptCount(), 0);
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM CommandPending")), QStringLiteral("0"));
    const QRegularExpression stopped(
        QStringLiteral("^参数下传已停止：已下传(\\d+)条指令（交换机已确认(\\d+)条），其余(\\d+)条不再下传。$"));
    const QRegularExpressionMatch m = stopped.match(tip());
    ASSERT_TRUE(m.hasMatch()) << tip().toStdString();
    EXPECT_EQ(m.captured(1).toInt() + m.captured(3).toInt(), total);
    EXPECT_GE(m.captured(1).toInt(), 10);
    EXPECT_LE(m.captured(2).toInt(), m.captured(1).toInt());
    EXPECT_FALSE(child<QPushButton>("cmdStop")->isVisible());
    clock.advanceMs(20000);
    pump();
    sim.poll();
    EXPECT_LE(arrivals.size(), m.captured(1).toInt()) << "nothing goes after the stop";

    // Stopped just after the clear of a trunk's virtual operators: the rest
    // of that list still goes (the switch would keep the list cleared), and
    // the tip says so.
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE Exchange SET 虚拟总机1='7', 虚拟总机3='8' WHERE 中继='3'")));
    const auto list = SwitchLists::rewrite(ctx.db, QStringLiteral("12*3"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3);
    arrivals.clear();
    test::press(w.get(), "cmdSend");
    ASSERT_TRUE(runUntil([&] { return !arrivals.isEmpty() && arrivals.last().first == list->first().code; }, 400000));
    test::press(w.get(), "cmdStop");
    EXPECT_TRUE(tip().contains(QStringLiteral("正在下传的名单还有2条指令继续下传"))) << tip().toStdString();
    const qsizetype atStop = arrivals.size();
    ASSERT_TRUE(runUntil([&] { return !w->comparison().SendBusy(); }, 5000));
    clock.advanceMs(1000);
    pump();
    QStringList after;
    for (qsizetype i = atStop; i < arrivals.size(); ++i)
        after << arrivals[i].first;
    EXPECT_EQ(after, (QStringList{list->at(1).code, list->at(2).code}));
    EXPECT_EQ(link->KeptCount(), 0);

    // A change waiting for the switch before a download (the switch does not
    // answer now) is no part of it: stopping the download leaves it waiting,
    // and it goes once the switch answers again.
    sim.setSilent(true);
    link->SetLinkUp(false);
    ASSERT_TRUE(test::Ok(ConfigTable(ctx.db).write(ConfigField::Signal, QStringLiteral("0"))));
    ASSERT_TRUE(test::Ok(PendingCommands(ctx.db).keepStar({QStringLiteral("*73*0#")})));
    link->SendKept();
    test::press(w.get(), "cmdSend");
    EXPECT_GT(link->KeptCount(), 1);
    test::press(w.get(), "cmdStop");
    EXPECT_TRUE(tip().endsWith(QStringLiteral("其他修改的1条命令仍在等待发往交换机。"))) << tip().toStdString();
    EXPECT_EQ(value(QStringLiteral("SELECT Command FROM CommandPending")), QStringLiteral("*73*0#"));
    EXPECT_EQ(link->KeptCount(), 1);
    arrivals.clear();
    sim.setSilent(false);
    link->SetLinkUp(true);
    ASSERT_TRUE(runUntil([&] { return link->KeptCount() == 0; }, 5000));
    ASSERT_EQ(arrivals.size(), 1);
    EXPECT_EQ(arrivals.first().first, QStringLiteral("*73*0#"));
    EXPECT_EQ(sim.memory().byte(0, sim::ParameterMemory::WaitingTone), 0);

    // During a comparison: the copy is refused, leaving asks first.
    sim.setSilent(true);
    test::press(w.get(), "cmdComparison");
    EXPECT_TRUE(link->DumpMode);
    EXPECT_FALSE(child<QPushButton>("cmdReceive")->isEnabled());
    EXPECT_EQ(w->comparison().copyToDatabase().status.reason(), QStringLiteral("信息比照尚未结束，不能启动！"));
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Cancel);
    test::press(w.get(), "cmdLeave");
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text, QStringLiteral("你确定要中断此次比照吗？请退出后3分钟后再做参数比照!"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("请确认"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(link->DumpMode);

    messages.queueAnswer(MessageService::Answer::Ok);
    test::press(w.get(), "cmdLeave");
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(link->DumpMode);
    EXPECT_TRUE(link->DiscardingLateDumpBytes());
    EXPECT_EQ(w->comparison().dump().state(), ParameterDump::State::Abandoned);
}

TEST_F(ComparisonWindowTest, SilenceErrorsAndAnIncompleteDumpEndTheComparison)
{
    // A switch that never answers: seven seconds, then "数据传输错误！".
    sim.setSilent(true);
    test::press(w.get(), "cmdComparison");
    for (int s = 1; s <= 6; ++s)
        clock.advanceMs(1000);
    pump();
    EXPECT_TRUE(w->comparison().DumpMode());
    EXPECT_TRUE(messages.shown().isEmpty());
    clock.advanceMs(1000);
    ASSERT_TRUE(boxShown(QStringLiteral("数据传输错误！")));
    EXPECT_EQ(messages.last()->title, QStringLiteral("接收错误！"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_TRUE(child<QPushButton>("cmdSend")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("cmdReceive")->isEnabled());
    EXPECT_FALSE(link->DumpMode);

    // A dump that stops after block 20: the partial grid is not copied.
    sim.setSilent(false);
    QObject::connect(&sim, &sim::SwitchSimulator::activity, [this](const QString &line) {
        if (line.startsWith(QStringLiteral("tx dump block 20")))
            sim.setSilent(true);
    });
    const QString before = value(QStringLiteral("SELECT group_concat(用户号码) FROM User"));
    messages.clear();
    test::press(w.get(), "cmdComparison");
    ASSERT_TRUE(test::waitFor(
        [&] {
            sim.poll();
            return w->comparison().dump().data().blockCount() == 21;
        },
        10000));
    EXPECT_EQ(grid()->textMatrix(5, 4), QStringLiteral(""));
    EXPECT_EQ(grid()->textMatrix(313, 0), QStringLiteral("")); // block 49 brings it
    for (int s = 0; s < 7; ++s)
        clock.advanceMs(1000);
    ASSERT_TRUE(boxShown(QStringLiteral("数据传输错误！")));
    test::press(w.get(), "cmdReceive");
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text,
              QStringLiteral("上次信息比照没有收到全部50块交换机参数，不能覆盖数据库！请重新比照。"));
    EXPECT_EQ(value(QStringLiteral("SELECT group_concat(用户号码) FROM User")), before);

    // Every block arrives damaged: refused seven times, then the error.
    sim.setSilent(false);
    sim::SwitchSimulator::Options o = sim.options();
    o.badBlockRate = 1;
    o.dumpTimeoutMs = 1000;
    sim.setOptions(o);
    clock.advanceMs(2000); // the switch gives its half-sent dump up
    pump();
    messages.clear();
    const int naks = sim.dumpNaks();
    test::press(w.get(), "cmdComparison");
    ASSERT_TRUE(test::waitFor(
        [&] {
            sim.poll();
            return !w->comparison().DumpMode();
        },
        10000));
    ASSERT_TRUE(boxShown(QStringLiteral("数据传输错误！")));
    EXPECT_TRUE(test::waitFor(
        [&] {
            sim.poll();
            return sim.dumpNaks() - naks == 7;
        },
        2000));
    EXPECT_EQ(w->comparison().dump().rowCount(), 0);
    EXPECT_EQ(grid()->textMatrix(1, 4), QStringLiteral(""));
    EXPECT_EQ(intake.callerIds, 0);
}

// The switch holds an agent operator and a virtual operator the database
// does not have: each row stays "不可比照" (the database holds nothing to
// compare with), but the tip counts them beside the differences and
// "只看不一致" shows them. Below the grid the window names what the
// comparison cannot see.
TEST_F(ComparisonWindowTest, ListEntriesOnlyTheSwitchHoldsAreCounted)
{
    const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
    ASSERT_TRUE(plan);
    ASSERT_TRUE(test::applyDownload(*plan, sim.memory(), clock.now()).isEmpty());
    ASSERT_TRUE(sim.memory().apply(QStringLiteral("*49*805#")).applied);
    ASSERT_TRUE(sim.memory().apply(QStringLiteral("*12*806*3#")).applied);
    compare();
    EXPECT_TRUE(tip().endsWith(QStringLiteral("不一致0项，另有2项交换机有而数据库无"))) << tip().toStdString();
    EXPECT_TRUE(disagreeing().size() == 2) << disagreeing().join(QLatin1Char('\n')).toStdString();
    test::clickIndicator(child<QCheckBox>("chkDifferent"));
    QStringList shown;
    for (int n = 1; n < grid()->rows(); ++n)
        if (!grid()->isRowHidden(n))
            shown << grid()->textMatrix(n, 0) + QLatin1Char(' ') + grid()->textMatrix(n, 2) + QLatin1Char(' ')
                         + grid()->textMatrix(n, 4).section(QStringLiteral("--"), 0, 0);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("代理总机（物理端口） 5 不可比照"),
                                  QStringLiteral("虚拟总机1（物理端口） 6 不可比照")}));
    EXPECT_TRUE(child<QLabel>("lblUnseen")->text().contains(QStringLiteral("分机拨号密码")));
}
