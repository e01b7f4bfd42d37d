// The link as the main window runs it: load step, panel 2, port window, exit.
#include "ConsoleContext.h"
#include "ConsoleHandlers.h"
#include "ConsoleWiring.h"
#include "HomeKey.h"
#include "PendingCommands.h"
#include "PtyPair.h"
#include "Schema.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestBytes.h"
#include "TestHome.h"
#include "WindowDriver.h"
#include "frmMain.h"
#include "frmSendBeforeEnd.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <gtest/gtest.h>
#include <memory>

using namespace corvane;
using namespace corvane::test;

namespace {

class MainWindowLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(createSwitchDb(ctx.db, home.file(QStringLiteral("data/Switch.mdb"))));
        ASSERT_TRUE(QDir().mkpath(ctx.home.portsDir()));
        for (int n = 1; n <= 16; ++n) {
            ptys[n] = std::make_unique<PtyPair>();
            ASSERT_TRUE(ptys[n]->ok());
            ASSERT_TRUE(ptys[n]->linkAs(comLink(ctx.home, n)));
        }
        ptys[3]->responder = [](const QByteArray &chunk) {
            return chunk.contains(char(0xE8)) ? QByteArray("\xFF\x5A", 2) : QByteArray();
        };
        setConfig(8, QStringLiteral("1"));
        setConfig(14, QStringLiteral("1"));
        setConfig(15, QStringLiteral("6"));
    }

    void setConfig(int col, const QString &value)
    {
        const TableDef *t = findTable(QStringLiteral("SWTConfig"));
        ASSERT_TRUE(ctx.db.exec(
            QStringLiteral("UPDATE \"SWTConfig\" SET %1 = ?").arg(Database::quoteId(t->columns.at(col))), {value}));
    }
    QString config(int col)
    {
        const TableDef *t = findTable(QStringLiteral("SWTConfig"));
        return ctx.db.scalar(QStringLiteral("SELECT %1 FROM \"SWTConfig\"").arg(Database::quoteId(t->columns.at(col))))
            .value_or(QString());
    }

    // Everything the link sends up to a queued marker command (A5), with the
    // clock driven until it arrives: also what was queued before it.
    QByteArray sentBeforeMarker(SwitchLink &link, PtyPair &pty)
    {
        link.QueueHex(QStringLiteral("A5"));
        QByteArray got;
        clock.waitFor(
            [&] {
                got += pty.take();
                return got.endsWith(char(0xA5));
            },
            10000);
        EXPECT_TRUE(got.endsWith(char(0xA5))) << "marker never arrived";
        got.chop(1);
        return got;
    }

    TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    std::array<std::unique_ptr<PtyPair>, 17> ptys;
};

} // namespace

TEST_F(MainWindowLinkTest, LoadFindsTheSwitchAndExitSaysGoodbye)
{
    frmMain window(ctx);
    auto *link = new SwitchLink(ctx, &window);
    ctx.link = link;
    clock.setStepRealWaitMs(1);

    window.Form_Load();

    EXPECT_TRUE(link->LinkUp());
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：正常"));
    EXPECT_EQ(config(8), QStringLiteral("3"));
    EXPECT_TRUE(link->mscOut.isOpen());
    EXPECT_TRUE(link->tmrState.isActive());
    EXPECT_TRUE(link->tmrQuest.isActive());
    EXPECT_EQ(ptys[3]->takeAtLeast(8).size(), 8);

    // Panel 2 follows the watchdog.
    for (int i = 0; i < 7; ++i)
        link->tmrState_Timer();
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：错误"));

    // The port entry opens the port window.
    QString shown;
    ctx.runModal = [&](QDialog &d) {
        shown = d.objectName();
        return int(QDialog::Rejected);
    };
    ASSERT_TRUE(window.mnuSWTPort->isEnabled());
    window.mnuSWTPort->trigger();
    EXPECT_EQ(shown, QStringLiteral("frmPort"));

    // Cancelling the exit keeps everything running and tells the switch nothing.
    ptys[3]->take();
    messages.queueAnswer(MessageService::Answer::Cancel);
    EXPECT_FALSE(window.Form_Unload());
    EXPECT_EQ(sentBeforeMarker(*link, *ptys[3]), QByteArray());
    EXPECT_TRUE(link->mscPort.isOpen());
    EXPECT_TRUE(ctx.db.isOpen());

    // Accepted while logged in: the usage row, then "11F1", then the ports close.
    ctx.login.OPLogin = true;
    ctx.login.OPName = QStringLiteral("管理员");
    ctx.login.OPLoginTime = ctx.stamp();
    const QString dbPath = ctx.db.path();
    messages.queueAnswer(MessageService::Answer::Ok);
    ASSERT_TRUE(window.Form_Unload());
    EXPECT_EQ(ptys[3]->takeAtLeast(2), QByteArray("\x11\xF1", 2));
    EXPECT_FALSE(ctx.db.isOpen());
    Database check;
    ASSERT_TRUE(check.open(dbPath, LegacyDatabaseKey()));
    EXPECT_EQ(check.scalar(QStringLiteral("SELECT count(*) FROM \"OPRec\"")).value_or(QString()), QStringLiteral("1"));
    EXPECT_FALSE(link->mscPort.isOpen());
    EXPECT_FALSE(link->mscOut.isOpen());
    EXPECT_FALSE(link->tmrState.isActive());
}

// Commands a change keeps wait in Switch.mdb; the status bar counts them. At
// the exit the console's other windows close and a window shows the
// commands going out (sent, waiting, time left); it closes by itself once
// the switch has answered for them all, and the exit command follows. With
// the switch away the operator leaves them for the next start with
// "保存待发并退出", and what is not kept (an initialisation queued behind
// them) is named; they go first at the next start once the switch answers.
TEST_F(MainWindowLinkTest, ExitWaitsForTheKeptCommandsOrLeavesThemForTheNextStart)
{
    const QString dbPath = ctx.db.path();
    const QStringList codes = {QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#"), QStringLiteral("*73*1#")};
    const QByteArray packed = bytes(
        {0x0B, 0x1A, 0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C, 0x0B, 0x58, 0x0B, 0x5A, 0x0C, 0x0B, 0x73, 0x0B, 0x01, 0x0C});
    const QByteArray exitCommand("\x11\xF1", 2);
    auto start = [&](frmMain &window) {
        auto *link = new SwitchLink(ctx, &window);
        ctx.link = link;
        window.Form_Load();
        return link;
    };
    // How the wait went: its texts as it showed them, and a button pressed
    // (none: it is left to end by itself).
    QStringList shown;
    QString press;
    ctx.runModal = [&](QDialog &d) {
        auto *wait = qobject_cast<frmSendBeforeEnd *>(&d);
        EXPECT_NE(wait, nullptr) << d.objectName().toStdString();
        if (!wait)
            return int(QDialog::Rejected);
        d.show();
        shown << wait->lblProgress->text();
        if (!press.isEmpty())
            test::child<QPushButton>(&d, press)->click();
        clock.waitFor([&] { return !d.isVisible(); }, 20000);
        return d.result();
    };
    clock.setStepRealWaitMs(1);
    {
        frmMain window(ctx);
        SwitchLink *link = start(window);
        ASSERT_TRUE(link->LinkUp());
        ptys[3]->take();
        ASSERT_TRUE(PendingCommands(ctx.db).keepStar(codes));
        link->SendKept();
        EXPECT_EQ(window.panelText(7), QStringLiteral("待发命令：3"));
        // "取消": the console stays.
        messages.queueAnswer(MessageService::Answer::Ok);
        press = QStringLiteral("cmdCancel");
        EXPECT_FALSE(window.Form_Unload());
        EXPECT_TRUE(ctx.db.isOpen());
        ASSERT_TRUE(clock.waitFor([&] { return link->KeptCount() == 0; }, 5000));
        ptys[3]->take();

        // Another window is open; the exit closes it, and waits for the
        // commands: they go in their order, the switch answers the probe
        // after them, then the exit command.
        QDialog other(&window);
        other.show();
        ASSERT_TRUE(PendingCommands(ctx.db).keepStar(codes));
        link->SendKept();
        shown.clear();
        press.clear();
        messages.queueAnswer(MessageService::Answer::Ok);
        ASSERT_TRUE(window.Form_Unload());
        EXPECT_FALSE(other.isVisible());
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown.first().startsWith(QStringLiteral("正在向交换机发送待发命令：已送达0条，尚余3条，约需1秒。")))
            << shown.first().toStdString();
        const QByteArray out = ptys[3]->takeAtLeast(packed.size() + 8 + 2);
        EXPECT_TRUE(out.startsWith(packed)) << out.toHex(' ').toStdString();
        EXPECT_EQ(out.mid(packed.size(), 1), QByteArray(1, char(0xE8))) << out.toHex(' ').toStdString();
        EXPECT_TRUE(out.endsWith(exitCommand)) << out.toHex(' ').toStdString();
    }
    Database check;
    ASSERT_TRUE(check.open(dbPath, LegacyDatabaseKey()));
    EXPECT_EQ(check.scalar(QStringLiteral("SELECT count(*) FROM CommandPending")).value_or(QString()),
              QStringLiteral("0"));
    check.close();

    // The switch stops answering; three commands and an initialisation wait
    // when the console ends.
    ASSERT_TRUE(ctx.db.open(dbPath, LegacyDatabaseKey()));
    ptys[3]->responder = {};
    {
        frmMain window(ctx);
        SwitchLink *link = start(window);
        ASSERT_FALSE(link->LinkUp());
        ASSERT_TRUE(PendingCommands(ctx.db).keepStar(codes));
        link->SendKept();
        link->QueueStarCommands({QStringLiteral("*00*121#")});
        EXPECT_EQ(window.panelText(7), QStringLiteral("待发命令：3"));
        EXPECT_TRUE(window.panelAlarm(7));
        ptys[3]->take();
        shown.clear();
        press = QStringLiteral("cmdKeep");
        messages.clear();
        messages.queueAnswer(MessageService::Answer::Ok);
        ASSERT_TRUE(window.Form_Unload());
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown.first().contains(QStringLiteral("交换机现在不能接收命令")));
        EXPECT_TRUE(
            shown.first().contains(QStringLiteral("不保存的命令（保存待发时不再发送）：初始化交换机（*00*121#）")))
            << shown.first().toStdString();
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, QStringLiteral("3条命令保存在数据库中，下次启动连接交换机后发送。\n"
                                                        "以下命令没有发出，不会保存：初始化交换机（*00*121#）。"));
        EXPECT_FALSE(ptys[3]->take().contains(packed.left(8)));
    }
    ASSERT_TRUE(check.open(dbPath, LegacyDatabaseKey()));
    EXPECT_EQ(check.scalar(QStringLiteral("SELECT count(*) FROM CommandPending")).value_or(QString()),
              QStringLiteral("3"));
    check.close();

    // The next start: the switch answers again and gets them first.
    ASSERT_TRUE(ctx.db.open(dbPath, LegacyDatabaseKey()));
    ptys[3]->responder = [](const QByteArray &chunk) {
        return chunk.contains(char(0xE8)) ? QByteArray("\xFF\x5A", 2) : QByteArray();
    };
    frmMain window(ctx);
    SwitchLink *link = start(window);
    ASSERT_TRUE(link->LinkUp());
    // They go first, and the probe after them.
    EXPECT_EQ(withoutProbes(sentBeforeMarker(*link, *ptys[3])), packed);
    // They leave the table once the switch has answered the probe.
    auto kept = [&] {
        return ctx.db.scalar(QStringLiteral("SELECT count(*) FROM CommandPending")).value_or(QString());
    };
    EXPECT_TRUE(clock.waitFor([&] { return kept() == QStringLiteral("0"); }, 5000)) << kept().toStdString();
    EXPECT_EQ(link->KeptCount(), 0);
    EXPECT_TRUE(window.panelText(7).isEmpty());
}

TEST_F(MainWindowLinkTest, UnpluggedAdapterIsReportedAndTakenBackWhenItReturns)
{
    frmMain window(ctx);
    auto *link = new SwitchLink(ctx, &window);
    ctx.link = link;
    clock.setStepRealWaitMs(1);
    window.Form_Load();
    ASSERT_TRUE(link->LinkUp());

    // The adapter goes: its device disappears under the open port.
    ptys[3].reset();
    ASSERT_TRUE(unplugLink(comLink(ctx.home, 3)));
    EXPECT_TRUE(waitUntil([&] { return !link->mscPort.isOpen(); }, 2000)) << "the dead port is closed";
    for (int i = 0; i < 7; ++i)
        link->tmrState_Timer();
    EXPECT_FALSE(link->LinkUp());
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：错误"));
    link->tmrQuest_Timer(); // the probe finds nothing to open and goes on
    EXPECT_FALSE(link->LinkUp());

    // It comes back (a new device behind the same COM3 link): the probe reopens
    // the port, the switch answers the clock command and the link is up again.
    ptys[3] = std::make_unique<PtyPair>();
    ASSERT_TRUE(ptys[3]->linkAs(comLink(ctx.home, 3)));
    ptys[3]->responder = [](const QByteArray &chunk) {
        return chunk.contains(char(0xE8)) ? QByteArray("\xFF\x5A", 2) : QByteArray();
    };
    link->tmrQuest_Timer();
    EXPECT_TRUE(waitUntil([&] { return link->LinkUp(); }, 3000))
        << "the probe reopens the port: " << link->mscPort.errorString().toStdString();
    ptys[3]->write(QByteArray("\xFF\xB2\x00", 3)); // the next link-alive frame
    EXPECT_TRUE(waitUntil([&] { return window.panelText(2) == QStringLiteral("通讯端口：正常"); }, 3000));
}

// The switch falls silent while calls are in progress. At the watchdog's
// limit panel 2 turns red and the operator gets one desktop notice with the
// time the switch was last heard; every trunk shows "unknown" instead of a
// call that may long be over. When the switch is heard again: one notice,
// panel 2 as before, and each trunk back from its own next event.
TEST_F(MainWindowLinkTest, LossIsRedAndToldOnceAndTrunksAreUnknownUntilTheirNextEvent)
{
    clock.set(QDateTime(QDate(2026, 12, 8), QTime(14, 0, 0)));
    frmMain window(ctx);
    auto *link = new SwitchLink(ctx, &window);
    ctx.link = link;
    InstallConsoleHandlers(ctx, window);
    clock.setStepRealWaitMs(1);
    window.Form_Load();
    ASSERT_TRUE(link->LinkUp());
    EXPECT_FALSE(window.panelAlarm(2));

    // Trunk 2 rings, port 7 takes trunk 5 out; then the switch is gone.
    ptys[3]->write(bytes({0xFF, 0xA2, 0x02, 0xFF, 0xC4, 0x05, 0x00, 0x07}));
    ASSERT_TRUE(clock.waitFor([&] { return link->TrunkState[4].State == 3; }, 2000));
    ptys[3]->responder = nullptr;
    const QDateTime lastFrame = link->supervisor().LastFrameAt();
    ASSERT_TRUE(lastFrame.isValid());
    ASSERT_TRUE(clock.waitFor([&] { return !link->LinkUp(); }, 10000));
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：错误"));
    EXPECT_TRUE(window.panelAlarm(2));
    ASSERT_EQ(messages.desktopNotices().size(), 1);
    const auto &lost = messages.desktopNotices().first();
    EXPECT_EQ(lost.title, QStringLiteral("通讯中断"));
    EXPECT_EQ(lost.icon, MessageService::Icon::Critical);
    EXPECT_TRUE(lost.text.contains(QStringLiteral("最后一次收到交换机数据：")
                                   + lastFrame.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))))
        << lost.text.toStdString();
    for (int t = 0; t < frmMain::TrunkCount; ++t) {
        EXPECT_TRUE(window.trunkUnknown(t)) << t;
        EXPECT_EQ(window.lbl[t]->text(), QStringLiteral("状态未知")) << t;
    }
    EXPECT_EQ(window.trunkText(1), QStringLiteral("外线")) << "kept underneath";
    EXPECT_TRUE(messages.shown().isEmpty()) << "no box for the operator to close";

    // Silent for half a minute more: probes go out, nothing more is said.
    clock.advanceSecs(30);
    EXPECT_EQ(messages.desktopNotices().size(), 1);
    EXPECT_TRUE(window.panelAlarm(2));

    // The switch speaks again.
    ptys[3]->write(bytes({0xFF, 0xB2, 0x00}));
    ASSERT_TRUE(clock.waitFor([&] { return link->LinkUp(); }, 3000));
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：正常"));
    EXPECT_FALSE(window.panelAlarm(2));
    ASSERT_EQ(messages.desktopNotices().size(), 2);
    EXPECT_EQ(messages.desktopNotices().last().title, QStringLiteral("通讯恢复"));
    EXPECT_TRUE(window.trunkUnknown(1)) << "no event of its own yet";

    // Trunk 2 was released meanwhile; trunk 5 rings with a new call.
    ptys[3]->write(bytes({0xFF, 0xD2, 0x02, 0xFF, 0xA2, 0x05}));
    ASSERT_TRUE(clock.waitFor([&] { return !window.trunkUnknown(4); }, 2000));
    EXPECT_FALSE(window.trunkUnknown(1));
    EXPECT_EQ(window.trunkPicture(1), QStringLiteral("phone.gif"));
    EXPECT_EQ(window.lbl[1]->text(), QString());
    EXPECT_EQ(window.lbl[4]->text(), QStringLiteral("外线"));
    EXPECT_TRUE(window.trunkUnknown(0));
    EXPECT_EQ(messages.desktopNotices().size(), 2);
}

// The switch's transmit line works and the console's does not (a broken TX
// wire): its link-alive frames keep coming, but it no longer answers the
// clock command. A frame it sends by itself proves nothing: within ten
// seconds panel 2 turns red ("通讯端口：发送失败"), the operator gets the
// notice of a lost link, and a change made meanwhile stays waiting in the
// table. Once the switch answers again the change goes and leaves the table.
TEST_F(MainWindowLinkTest, FramesWithoutAnswersAreASendingFailure)
{
    frmMain window(ctx);
    auto *link = new SwitchLink(ctx, &window);
    ctx.link = link;
    clock.setStepRealWaitMs(1);
    window.Form_Load();
    ASSERT_TRUE(link->LinkUp());
    auto kept = [&] {
        return ctx.db.scalar(QStringLiteral("SELECT count(*) FROM CommandPending")).value_or(QString());
    };
    // The switch talks every two seconds, whatever it hears.
    auto talkFor = [&](int seconds) {
        for (int s = 0; s < seconds; s += 2) {
            ptys[3]->write(bytes({0xFF, 0xB2, 0x00}));
            clock.waitFor(nullptr, 2000);
        }
    };
    talkFor(6);
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：正常"));

    const auto answering = ptys[3]->responder;
    ptys[3]->responder = nullptr;
    const qint64 brokenAt = clock.monotonicMs();
    ASSERT_TRUE(PendingCommands(ctx.db).keepStar({QStringLiteral("*73*1#")}));
    link->SendKept();
    for (int s = 0; s < 10 && window.panelText(2) != QStringLiteral("通讯端口：发送失败"); s += 2)
        talkFor(2);
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：发送失败"));
    EXPECT_LE(clock.monotonicMs() - brokenAt, 10000);
    EXPECT_TRUE(window.panelAlarm(2));
    ASSERT_EQ(messages.desktopNotices().size(), 1);
    EXPECT_EQ(messages.desktopNotices().first().title, QStringLiteral("通讯中断"));
    EXPECT_TRUE(messages.desktopNotices().first().text.startsWith(QStringLiteral("交换机收不到本机发出的命令")))
        << messages.desktopNotices().first().text.toStdString();
    // More frames without answers: the change still waits.
    talkFor(12);
    EXPECT_TRUE(link->LinkUp());
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：发送失败"));
    EXPECT_EQ(kept(), QStringLiteral("1"));
    EXPECT_EQ(window.panelText(7), QStringLiteral("待发命令：1"));
    EXPECT_TRUE(window.panelAlarm(7));
    EXPECT_EQ(messages.desktopNotices().size(), 1);

    // Mended: the next probe is answered, the change goes and is answered for.
    ptys[3]->responder = answering;
    ptys[3]->take();
    ASSERT_TRUE(clock.waitFor([&] { return kept() == QStringLiteral("0"); }, 15000)) << kept().toStdString();
    EXPECT_TRUE(withoutProbes(ptys[3]->take()).contains(bytes({0x0B, 0x73, 0x0B, 0x01, 0x0C})));
    EXPECT_EQ(window.panelText(2), QStringLiteral("通讯端口：正常"));
    EXPECT_FALSE(window.panelAlarm(2));
    EXPECT_TRUE(window.panelText(7).isEmpty());
    ASSERT_EQ(messages.desktopNotices().size(), 2);
    EXPECT_EQ(messages.desktopNotices().last().title, QStringLiteral("通讯恢复"));
}
