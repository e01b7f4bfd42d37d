#include "ConfigTable.h"
#include "PendingCommands.h"
#include "PortFixture.h"

#include "SignalLog.h"
#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

TEST_F(PortTest, CommandsGoOutAsBytes)
{
    ASSERT_TRUE(link.OpenPort(1));
    EXPECT_EQ(link.mscPort.baudRate(), 2400);
    const QByteArray sent = sentDuring(*ptys[1], [&] {
        link.SendAck();
        link.SendHex(QString());
        link.SendNak();
        link.RequestDump();
        link.SendNightReset();
        link.SendStarCommand(QStringLiteral("*10*3*201#"));
        link.SendClock();
        link.SendHex(QStringLiteral("6205"));
    });
    EXPECT_EQ(sent, bytes({0x5A, 0xA5, 0x66, 0x23, 0x45, 0x98, 0x0B, 0x1A, 0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C})
                        + kClock0142 + bytes({0x62, 0x05}));

    // The window frames and the exit command wait for their turn in the
    // queue, 100 ms apart; an acknowledgement given meanwhile goes first.
    const qint64 start = env.clock.monotonicMs();
    const QByteArray queued = sentDuring(
        *ptys[1],
        [&] {
            link.SendUserWindowOpen();
            link.SendUserWindowClose();
            link.SendProgramExit();
            link.SendAck();
        },
        Marker::Queued);
    EXPECT_EQ(queued, bytes({0x5A, 0x31, 0x00, 0x11, 0x11, 0xF1}));
    EXPECT_GE(env.clock.monotonicMs() - start, 300) << "three gaps before the marker";

    // A closed port drops every command silently.
    link.ClosePorts();
    link.SendAck();
    link.SendClock();
    ASSERT_TRUE(link.OpenPort(1));
    EXPECT_EQ(sentDuring(*ptys[1], [] {}), QByteArray());
}

TEST_F(PortTest, ExitCommandLeavesBeforeThePortsClose)
{
    ASSERT_TRUE(link.OpenPort(1));
    link.StartTimers();
    link.CloseLink();
    EXPECT_FALSE(link.tmrState.isActive());
    EXPECT_FALSE(link.tmrQuest.isActive());
    EXPECT_FALSE(link.mscPort.isOpen());
    EXPECT_EQ(ptys[1]->takeAtLeast(2), bytes({0x11, 0xF1}));
}

TEST_F(PortTest, ReceivedBytesAreDispatched)
{
    ASSERT_TRUE(link.OpenPort(4));
    ptys[4]->write(bytes({0xFF}));
    ptys[4]->write(bytes({0xE1, 0xFF, 0xA2}));
    ptys[4]->write(bytes({0x05}));
    // The link request is acknowledged and brings the link up.
    EXPECT_EQ(ptys[4]->takeAtLeast(1), bytes({0x5A}));
    EXPECT_TRUE(waitUntil([&] { return env.handlers.calls.size() == 1; }));
    EXPECT_TRUE(link.LinkUp());
    EXPECT_EQ(env.handlers.frames(), QList<QByteArray>{bytes({0xFF, 0xA2, 0x05})});
}

TEST_F(PortTest, SearchWithoutASwitchTriesEveryPortThatOpens)
{
    // Port 5 is linked to nothing: it cannot be opened and is skipped.
    QFile::remove(com(5));
    ASSERT_TRUE(QFile::link(env.home.file(QStringLiteral("gone")), com(5)));
    SignalLog tried(&link, &SwitchLink::portSelected);

    link.SearchPort();

    EXPECT_FALSE(link.LinkUp());
    EXPECT_EQ(tried.count(), 15);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(ptys[n]->take().size(), n == 5 ? 0 : 8) << "COM" << n;
    EXPECT_EQ(link.PortNumber(), 16);
    EXPECT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(env.clock.monotonicMs(), 15 * 500);
}

TEST_F(PortTest, LoadStepStoresTheFoundPortAndOpensTheOutwardPort)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("1"));
    env.setConfig(int(ConfigField::OutwardOn), QStringLiteral("1"));
    env.setConfig(int(ConfigField::OutwardPort), QStringLiteral("6"));
    ptys[3]->responder = answerClock;
    SignalLog status(&link, &SwitchLink::statusText);

    EXPECT_TRUE(link.OpenLinkOnLoad());

    EXPECT_EQ(link.PortNumber(), 3);
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("3"));
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：正常"));
    ASSERT_TRUE(link.mscOut.isOpen());
    EXPECT_EQ(link.OutPortNumber(), 6);
    link.SendOutward(QStringLiteral("$FEE,账号12,202612080142,65,3.,1309#\r\n"));
    const QByteArray expected("$FEE,\xD5\xCB\xBA\xC5"
                              "12,202612080142,65,3.,1309#\r\n");
    EXPECT_EQ(ptys[6]->takeAtLeast(int(expected.size())), expected);
}

TEST_F(PortTest, LoadStepTellsWhenTheFoundPortCannotBeStored)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("1"));
    ASSERT_TRUE(env.ctx->db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON \"SWTConfig\" "
                                                "BEGIN SELECT RAISE(ABORT, 'read-only'); END")));
    ptys[3]->responder = answerClock;

    EXPECT_TRUE(link.OpenLinkOnLoad());

    EXPECT_EQ(link.PortNumber(), 3);
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("1"));
    // The console is not shown yet: a notice that does not hold up the start.
    ASSERT_EQ(env.messages.shown().size(), 1);
    EXPECT_TRUE(env.messages.last()->text.startsWith(QStringLiteral("通讯串口未能保存：")))
        << env.messages.last()->text.toStdString();
    EXPECT_EQ(env.messages.last()->icon, MessageService::Icon::Warning);
}

TEST_F(PortTest, LoadStepWithoutASwitchKeepsTheStoredPortOpen)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("4"));
    env.setConfig(int(ConfigField::OutwardOn), QStringLiteral("0"));
    env.setConfig(int(ConfigField::OutwardPort), QStringLiteral("6"));
    SignalLog status(&link, &SwitchLink::statusText);

    EXPECT_FALSE(link.OpenLinkOnLoad());

    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：错误"));
    EXPECT_EQ(link.PortNumber(), 4);
    EXPECT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("4"));
    EXPECT_FALSE(link.mscOut.isOpen());
    link.SendOutward(QStringLiteral("$PHN,123#\r\n")); // dropped, nowhere to go
    for (int n = 1; n <= 16; ++n)
        ptys[n]->take();
    // The probe goes to the stored port.
    link.tmrQuest_Timer();
    EXPECT_EQ(ptys[4]->takeAtLeast(8), kClock0142);
}

TEST_F(PortTest, WatchdogDropsTheLinkAndTheProbeBringsItBack)
{
    ASSERT_TRUE(link.OpenPort(1));
    SignalLog status(&link, &SwitchLink::statusText);
    ptys[1]->write(bytes({0xFF, 0xB2, 0x00}));
    ASSERT_TRUE(waitUntil([&] { return link.LinkUp(); }));
    status.clear();

    // Six silent seconds are tolerated, the seventh drops the link.
    for (int s = 1; s <= 6; ++s) {
        env.clock.advanceSecs(1);
        link.tmrState_Timer();
    }
    EXPECT_TRUE(link.LinkUp());
    EXPECT_EQ(status.count(), 0);
    env.clock.advanceSecs(1);
    link.tmrState_Timer();
    EXPECT_FALSE(link.LinkUp());
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：错误"));
    link.tmrState_Timer();
    EXPECT_EQ(status.count(), 2); // repeated on every tick while silent

    // While the link is down every task tick probes with the clock command.
    EXPECT_EQ(sentDuring(*ptys[1], [&] { link.tmrQuest_Timer(); }), kClock0142);
    env.clock.advanceSecs(60);
    EXPECT_EQ(sentDuring(*ptys[1], [&] { link.tmrQuest_Timer(); }),
              bytes({0xE8, 0x26, 0x12, 0x08, 0x02, 0x01, 0x43, 0x6E}));

    ptys[1]->write(bytes({0xFF, 0xB2, 0x00}));
    ASSERT_TRUE(waitUntil([&] { return link.LinkUp(); }));
    EXPECT_EQ(link.LinkSilence, 0);
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：正常"));
    EXPECT_EQ(sentDuring(*ptys[1], [&] { link.tmrQuest_Timer(); }), QByteArray());
}

TEST_F(PortTest, NightlyResetWaitsForIdleTrunksAndRunsOncePerNight)
{
    const QByteArray reset = bytes({0x23, 0x45, 0x98});
    ASSERT_TRUE(link.OpenPort(2));
    ptys[2]->answersClock = true;
    link.SetLinkUp(true);
    env.setConfig(int(ConfigField::NightReset), QStringLiteral("1"));
    auto at = [&](int day, int hh, int mm) { env.clock.set(QDateTime(QDate(2026, 12, day), QTime(hh, mm))); };
    // The tick also asks the switch whether it still hears the console.
    auto tick = [&] { return withoutProbes(sentDuring(*ptys[2], [&] { link.tmrQuest_Timer(); })); };

    at(8, 2, 0);
    link.TrunkState[3].State = 6;
    EXPECT_EQ(tick(), QByteArray());
    link.TrunkState[3].State = 0;
    EXPECT_EQ(tick(), reset);
    EXPECT_EQ(tick(), QByteArray());
    at(8, 4, 59);
    EXPECT_EQ(tick(), QByteArray());
    at(8, 5, 0);
    EXPECT_EQ(tick(), QByteArray());
    EXPECT_TRUE(link.NightResetDone);
    at(8, 5, 1);
    EXPECT_EQ(tick(), QByteArray());
    EXPECT_FALSE(link.NightResetDone);
    at(9, 0, 0);
    EXPECT_EQ(tick(), reset);

    // Switched off: never.
    at(9, 12, 0);
    tick();
    env.setConfig(int(ConfigField::NightReset), QStringLiteral("0"));
    at(10, 1, 0);
    EXPECT_EQ(tick(), QByteArray());
}

// A port the operator may not open: another program holds it (the lock file
// and the exclusive mode refuse it even to root) or, as an ordinary user, the
// device's mode forbids it. The load step says why and names the cure.
TEST_F(PortTest, RefusedPortNamesTheDialoutGroup)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("4"));
    env.setConfig(int(ConfigField::OutwardOn), QStringLiteral("0"));
    QSerialPort holder(ptys[4]->slavePath());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    if (geteuid() != 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(ptys[4]->slavePath()).constData(), 0), 0);
    }
    SignalLog status(&link, &SwitchLink::statusText);

    EXPECT_FALSE(link.OpenLinkOnLoad());

    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("通讯端口：错误"));
    EXPECT_FALSE(link.mscPort.isOpen());
    const QString denied = link.PortFaultText();
    EXPECT_TRUE(denied.startsWith(QStringLiteral("无法打开串口 COM4（%1）：没有权限").arg(ptys[4]->slavePath())))
        << denied.toStdString();
    EXPECT_TRUE(denied.contains(QStringLiteral("dialout")));
    ASSERT_EQ(env.messages.shown().size(), 1);
    EXPECT_EQ(env.messages.last()->text, denied);
    EXPECT_EQ(env.messages.last()->icon, MessageService::Icon::Warning);

    // Once the port is free it opens and the reason is gone; a port that
    // does not exist is no permission problem and shows no box.
    holder.close();
    ::chmod(QFile::encodeName(ptys[4]->slavePath()).constData(), 0620);
    ASSERT_TRUE(link.OpenPort(4));
    EXPECT_TRUE(link.PortFaultText().isEmpty());
    ptys[5].reset();
    ASSERT_TRUE(unplugLink(com(5)));
    EXPECT_FALSE(link.OpenPort(5));
    EXPECT_TRUE(link.PortFaultText().isEmpty());
    EXPECT_EQ(env.messages.shown().size(), 1);
}

// Restores an environment variable (set or not) when the scope ends.
struct EnvGuard {
    const char *name;
    bool wasSet = qEnvironmentVariableIsSet(name);
    QByteArray saved = qgetenv(name);
    ~EnvGuard()
    {
        if (wasSet)
            qputenv(name, saved);
        else
            qunsetenv(name);
    }
};

// An adapter pulled and plugged back under another name, as a restarted
// simulator comes back on another pseudo-terminal. While the COM1 link is
// missing the port stays closed, never falling back to the machine's own
// /dev/ttyS0; once the link is back the watchdog's next tick opens the new
// device and probes it, with no hand on the keyboard. A second device behind
// the same name while the first is still there (silent) is taken the same way.
TEST_F(PortTest, ReplugUnderAnotherNameIsTakenBackWithoutAHand)
{
    ptys[1]->responder = answerClock;
    ASSERT_TRUE(link.OpenPort(1));
    link.StartTimers();
    SignalLog status(&link, &SwitchLink::statusText);
    ptys[1]->write(bytes({0xFF, 0xB2, 0x00}));
    ASSERT_TRUE(env.clock.waitFor([&] { return link.LinkUp(); }, 1000));

    // The new device exists before the old one goes, so its name differs.
    auto replugged = std::make_unique<PtyPair>();
    ASSERT_TRUE(replugged->ok());
    ASSERT_NE(replugged->slavePath(), ptys[1]->slavePath());
    ptys[1].reset();
    ASSERT_TRUE(QFile::remove(com(1)));
    ASSERT_TRUE(env.clock.waitFor([&] { return !link.LinkUp(); }, 10000));
    env.clock.advanceSecs(6);
    EXPECT_FALSE(link.mscPort.isOpen());
    {
        // Where the machine's own ports count too: this console saw COM1 as
        // a link and keeps to it; one that never did takes /dev/ttyS0.
        EnvGuard guard{"CORVANE_PORTS_ONLY"};
        qunsetenv("CORVANE_PORTS_ONLY");
        EXPECT_EQ(link.ports().DeviceFor(1), com(1));
        LinkPorts fresh(env.ctx->home);
        EXPECT_EQ(fresh.DeviceFor(1), QStringLiteral("/dev/ttyS0"));
    }

    replugged->responder = answerClock;
    ASSERT_TRUE(replugged->linkAs(com(1)));
    status.clear();
    const qint64 pluggedAt = env.clock.monotonicMs();
    ASSERT_TRUE(env.clock.waitFor(
        [&] { return status.count() > 0 && status.last().at(0).toString() == QStringLiteral("通讯端口：正常"); },
        15000));
    const qint64 took = env.clock.monotonicMs() - pluggedAt;
    RecordProperty("replugToLinkUpMs", int(took));
    EXPECT_LE(took, 10000) << "the link is back within 10 s of the switch being there again";
    EXPECT_EQ(link.ports().PortDevice(), replugged->slavePath());

    // A second adapter behind COM1 while the first stays plugged in, silent.
    replugged->responder = nullptr;
    ASSERT_TRUE(env.clock.waitFor([&] { return !link.LinkUp(); }, 10000));
    PtyPair second;
    second.responder = answerClock;
    ASSERT_TRUE(second.linkAs(com(1)));
    ASSERT_TRUE(env.clock.waitFor([&] { return link.LinkUp(); }, 10000));
    EXPECT_EQ(link.ports().PortDevice(), second.slavePath());
    EXPECT_TRUE(env.messages.shown().isEmpty()) << "an absent device is nothing to tell";
}

// The switch is switched off right after kept commands went out, before the
// probe after them: they may have gone nowhere. When it is back and answers
// again, a probe then proves nothing about them: they go again, first.
TEST_F(PortTest, CommandsWrittenJustBeforeALossGoAgain)
{
    ptys[1]->answersClock = true;
    ASSERT_TRUE(link.OpenPort(1));
    link.SetLinkUp(true);
    ASSERT_TRUE(PendingCommands(env.ctx->db).keepStar({QStringLiteral("*73*1#"), QStringLiteral("*80*1#")}));
    link.SendKept();
    const QByteArray both = bytes({0x0B, 0x73, 0x0B, 0x01, 0x0C, 0x0B, 0x8A, 0x0B, 0x01, 0x0C});
    env.clock.advanceMs(100);
    ASSERT_EQ(ptys[1]->takeAtLeast(both.size()), both);
    link.SetLinkUp(false); // the watchdog, before the probe's turn
    env.clock.advanceMs(1000);
    link.SetLinkUp(true);
    ASSERT_TRUE(env.clock.waitFor([&] { return link.KeptCount() == 0; }, 5000));
    EXPECT_EQ(withoutProbes(ptys[1]->take()), both);
}

// An adapter pulled and plugged back so fast that it gets its old name again
// (/dev/ttyUSB0 once more), while the old port is still open on the gone
// device and reports no error: the name is the same, the device node is new.
// Once the link is down the port is closed and opened on the new node, and
// the switch answers there.
TEST_F(PortTest, ReplugUnderTheSameNameIsReopened)
{
    ptys[1]->answersClock = true;
    int plugged = 1;
    link.ports().setIdentity([&](const QString &path) { return path.toUtf8() + '#' + QByteArray::number(plugged); });
    ASSERT_TRUE(link.OpenPort(1));
    const QString device = link.ports().PortDevice();
    link.StartTimers();
    ptys[1]->write(bytes({0xFF, 0xB2, 0x00}));
    ASSERT_TRUE(env.clock.waitFor([&] { return link.LinkUp(); }, 1000));
    int closes = 0;
    QObject counting;
    QObject::connect(&link.mscPort, &QIODevice::aboutToClose, &counting, [&] { ++closes; });
    env.clock.advanceSecs(5);
    EXPECT_EQ(closes, 0) << "an unchanged device is left alone";

    plugged = 2;
    ptys[1]->answersClock = false; // the old node hears nothing any more
    ASSERT_TRUE(env.clock.waitFor([&] { return !link.LinkUp(); }, 10000));
    ptys[1]->answersClock = true;
    ASSERT_TRUE(env.clock.waitFor([&] { return closes > 0 && link.mscPort.isOpen(); }, 5000))
        << "the port is reopened on the new node";
    EXPECT_EQ(link.ports().PortDevice(), device);
    ASSERT_TRUE(env.clock.waitFor([&] { return link.LinkUp(); }, 10000));
}

// A ports/COMn link that leads to something that cannot serve as a serial
// port: the load step names the port, the device and the reason once; the
// watchdog and the probe keep trying without another box, and the port opens
// as soon as the fault is mended.
TEST(PortFaults, PortThatCannotServeIsNamedOnceWhileTheConsoleKeepsTrying)
{
    struct Case {
        const char *what;
        QString reason;
    };
    const QList<Case> cases{
        {"a plain file", QStringLiteral("这是一个普通文件，不是串口设备（不是终端）")},
        {"a directory", QStringLiteral("这是一个文件夹，不是串口设备")},
        {"a port held by another program", QStringLiteral("没有权限")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LinkEnv env;
        env.clock.setStepRealWaitMs(1);
        SwitchLink &link = *env.link;
        const QString com4 = env.ctx->home.portsDir() + QStringLiteral("/COM4");
        env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("4"));
        env.setConfig(int(ConfigField::OutwardOn), QStringLiteral("0"));

        PtyPair switchPty;
        switchPty.responder = answerClock;
        QSerialPort holder(switchPty.slavePath());
        QString target;
        if (c.reason.contains(QStringLiteral("普通文件"))) {
            target = env.home.file(QStringLiteral("notes.txt"));
            QFile f(target);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("COM4\n");
        } else if (c.reason.contains(QStringLiteral("文件夹"))) {
            target = env.home.file(QStringLiteral("adir"));
            ASSERT_TRUE(QDir().mkpath(target));
        } else {
            target = switchPty.slavePath();
            ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
        }
        ASSERT_TRUE(QFile::link(target, com4));

        EXPECT_FALSE(link.OpenLinkOnLoad());
        ASSERT_EQ(env.messages.shown().size(), 1);
        const QString text = env.messages.last()->text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("无法打开串口 COM4（%1）：").arg(target))) << text.toStdString();
        EXPECT_TRUE(text.contains(c.reason)) << text.toStdString();

        link.StartTimers();
        env.clock.advanceSecs(30);
        EXPECT_EQ(env.messages.shown().size(), 1) << "one message, however often the port is tried";
        EXPECT_EQ(env.messages.keyedCount(QStringLiteral("port-fault-COM4")), 1);
        EXPECT_FALSE(link.LinkUp());

        // Mended: the link leads to the switch, or the other program lets go.
        if (holder.isOpen()) {
            holder.close();
        } else {
            ASSERT_TRUE(QFile::remove(com4));
            ASSERT_TRUE(switchPty.linkAs(com4));
        }
        ASSERT_TRUE(env.clock.waitFor([&] { return link.LinkUp(); }, 3000));
        EXPECT_TRUE(link.PortFaultText().isEmpty());
        EXPECT_EQ(env.messages.shown().size(), 1);
    }
}

// ports/ (or the home) others may write: a link there may lead to a device
// of theirs, so no port is opened through it, and the fault names the folder
// and the cure. Once only the owner may write, the same link opens.
TEST_F(PortTest, NoPortThroughALinkInAFolderOthersMayWrite)
{
    const QString ports = env.ctx->home.portsDir();
    for (const QString &folder : {ports, env.ctx->home.root()}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), st.st_mode | S_IWOTH), 0);
        EXPECT_FALSE(link.OpenPort(1));
        EXPECT_FALSE(link.mscPort.isOpen());
        const QString fault = link.PortFaultText();
        EXPECT_TRUE(fault.contains(folder + " 其他用户也可以写入") && fault.contains("chmod go-w " + folder))
            << fault.toStdString();
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), st.st_mode & ~mode_t(S_IWGRP | S_IWOTH)), 0);
        ASSERT_TRUE(link.OpenPort(1));
        EXPECT_TRUE(link.PortFaultText().isEmpty());
    }
}

// The box of a port fault names the latest fault, not counted with the one
// before, and says so in the same box when the port works again.
TEST_F(PortTest, PortFaultBoxFollowsTheFaultAndSaysWhenItIsOver)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("4"));
    env.setConfig(int(ConfigField::OutwardOn), QStringLiteral("0"));
    const QString ports = env.ctx->home.portsDir();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(ports).constData(), &st), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(ports).constData(), st.st_mode | S_IWOTH), 0);
    EXPECT_FALSE(link.OpenLinkOnLoad());
    ASSERT_EQ(env.messages.openKeys(), QStringList{"port-fault-COM4"});
    const int box = int(env.messages.shown().size()) - 1;
    EXPECT_TRUE(env.messages.shown()[box].text.contains("其他用户也可以写入"))
        << env.messages.shown()[box].text.toStdString();

    // The folder is put right, but another program holds the port now.
    ASSERT_EQ(::chmod(QFile::encodeName(ports).constData(), st.st_mode & ~mode_t(S_IWGRP | S_IWOTH)), 0);
    QSerialPort holder(ptys[4]->slavePath());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    link.tmrState_Timer();
    ASSERT_EQ(env.messages.shown().size(), box + 1) << "the same box";
    EXPECT_TRUE(env.messages.shown()[box].text.startsWith("无法打开串口 COM4"))
        << env.messages.shown()[box].text.toStdString();
    EXPECT_FALSE(env.messages.shown()[box].text.contains("其他用户也可以写入"));
    EXPECT_EQ(env.messages.keyedCount("port-fault-COM4"), 1) << "a new fault, not the second of the first";

    holder.close();
    link.tmrState_Timer();
    ASSERT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(env.messages.shown()[box].text, "通讯端口 COM4 已恢复。");
    EXPECT_EQ(env.messages.shown()[box].icon, MessageService::Icon::Information);
}
