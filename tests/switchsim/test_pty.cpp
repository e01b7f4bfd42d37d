// The simulator on a real pseudo-terminal, opened the way the console opens
// its serial ports: HOME/ports/COMn with QSerialPort.
#include "Frames.h"
#include "SwitchSimulator.h"
#include "TestHome.h"
#include "TestPrint.h"
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QThread>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::sim;

namespace {

const QByteArray ClockExample = Frames::fromHex(QStringLiteral("E8 26 12 08 02 01 42 6D"));

// Lets events run until cond holds or the time is up (short real waits only).
template <typename Cond>
bool waitFor(Cond cond, int ms = 3000)
{
    QDeadlineTimer deadline(ms);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

bool openLikeTheConsole(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite))
        return false;
    port.setBaudRate(QSerialPort::Baud2400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    return true;
}

// Sends the clock command and collects frames until the acknowledgement came.
bool clockIsAcknowledged(QSerialPort &port, QList<QByteArray> *seen = nullptr)
{
    FrameReader reader;
    port.write(ClockExample);
    bool acked = false;
    waitFor([&] {
        for (const QByteArray &f : reader.feed(port.readAll())) {
            if (seen)
                seen->append(f);
            acked = acked || Frames::toHex(f) == QLatin1String("FF 5A");
        }
        return acked;
    });
    return acked;
}

} // namespace

TEST(SwitchPty, ConsoleOpensComPortAndGetsTheClockAcknowledged)
{
    test::TestHome home;
    SwitchSimulator sim;
    QString error;
    ASSERT_TRUE(sim.startPty(home.path(), 3, &error)) << error.toStdString();
    const QString link = home.file(QStringLiteral("ports/COM3"));
    EXPECT_EQ(sim.linkPath(), link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.slavePath());

    QSerialPort port;
    ASSERT_TRUE(openLikeTheConsole(port, link)) << port.errorString().toStdString();
    QList<QByteArray> seen;
    EXPECT_TRUE(clockIsAcknowledged(port, &seen));
    EXPECT_TRUE(seen.contains(Frames::linkRequest())); // asked for the link on connect
    ASSERT_TRUE(
        waitFor([&] { return sim.receivedCommands().contains(QStringLiteral("CLOCK 2026-12-08 01:42 weekday 2")); }));

    // The console's port search closes and reopens the port: the simulator goes on.
    port.close();
    ASSERT_TRUE(waitFor([&] { return !sim.isPeerConnected(); }));
    QSerialPort again;
    ASSERT_TRUE(openLikeTheConsole(again, link));
    EXPECT_TRUE(clockIsAcknowledged(again));
    ASSERT_TRUE(waitFor([&] { return sim.isPeerConnected(); }));

    // A call record reaches the console through the terminal and is
    // acknowledged, once the console has answered the link request (with
    // the same 5A).
    again.write(QByteArray(1, char(0x5A)));
    ASSERT_TRUE(waitFor([&] { return sim.linkAnswered(); }));
    CallRecordData r;
    r.trunk = 3;
    r.line = 5;
    r.called = QStringLiteral("1309");
    sim.queueCallRecord(r);
    // Written out by hand: 1 January 00:00, nothing else set;
    // FE+0C+05+01+01+13+A9 = 461 = 0x1CD.
    const QByteArray expected =
        Frames::fromHex(QStringLiteral("FF FE 0C 05 01 01 00 00 00 00 13 A9 00 00 00 00 00 00 00 00 00 00 CD"));
    FrameReader reader;
    bool got = false;
    ASSERT_TRUE(waitFor([&] {
        for (const QByteArray &f : reader.feed(again.readAll()))
            got = got || f == expected;
        return got;
    }));
    again.write(QByteArray(1, char(0x5A)));
    EXPECT_TRUE(waitFor([&] { return sim.recordsAcknowledged() == 1; }));

    sim.stop();
    EXPECT_FALSE(QFileInfo(link).isSymLink()); // the link goes with the simulator
}

TEST(SwitchPty, StaleLinkIsReplaced)
{
    test::TestHome home;
    QDir().mkpath(home.file(QStringLiteral("ports")));
    const QString link = home.file(QStringLiteral("ports/COM5"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/nonexistent"), link));
    SwitchSimulator sim;
    ASSERT_TRUE(sim.startPty(home.path(), 5));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.slavePath());
}

TEST(SwitchPty, ProgramRunsUntilTerminatedAndCleansUp)
{
    test::TestHome home;
    const QString link = home.file(QStringLiteral("ports/COM4"));
    QProcess proc;
    proc.start(QStringLiteral(SWITCHSIM_PROGRAM),
               {QStringLiteral("--home"), home.path(), QStringLiteral("--port"), QStringLiteral("4"),
                QStringLiteral("--log"), home.file(QStringLiteral("sim.log"))});
    ASSERT_TRUE(proc.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFileInfo(link).isSymLink(); }, 5000));

    QSerialPort port;
    ASSERT_TRUE(openLikeTheConsole(port, link));
    port.write(Frames::fromHex(QStringLiteral("0B 1A 0B 03 0B 02 A1 0C")));
    EXPECT_TRUE(clockIsAcknowledged(port));
    port.close();

    proc.terminate(); // SIGTERM
    ASSERT_TRUE(proc.waitForFinished(5000));
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    QFile log(home.file(QStringLiteral("sim.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("rx *10*3*201#")));
    EXPECT_TRUE(text.contains(QStringLiteral("rx CLOCK 2026-12-08 01:42 weekday 2")));
}

TEST(SwitchPty, ProgramRefusesABadScenarioWithItsLine)
{
    test::TestHome home;
    QFile f(home.file(QStringLiteral("bad.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("at 1 ring trunk=3\nat 2 answer trunk=3\n");
    f.close();
    QProcess proc;
    proc.start(QStringLiteral(SWITCHSIM_PROGRAM),
               {QStringLiteral("--home"), home.path(), QStringLiteral("--scenario"), f.fileName()});
    ASSERT_TRUE(proc.waitForFinished(5000));
    EXPECT_EQ(proc.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(proc.readAllStandardError()).contains(QStringLiteral("line 2: missing port=")));
    EXPECT_FALSE(QFileInfo(home.file(QStringLiteral("ports/COM1"))).exists());
}
