// The console killed (SIGKILL) at seeded moments while call records flow:
// every record the switch sent must end up once in the database and once in
// the monthly file, and reach the front desk's receiver in order, the one
// record being written at a kill at most twice.
//
// The console is the program intake_child (the intake behind the real link,
// started as the main window starts it). The test plays the switch on COM1,
// one record at a time, resending the record a dead console did not
// acknowledge, and the front desk on COM2.
#include "CallRecordDecoder.h"
#include "CommandDecoder.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "Frames.h"
#include "HomeKey.h"
#include "PtyPair.h"
#include "SwitchOnPty.h"
#include "TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <gtest/gtest.h>
#include <random>

using namespace corvane;
using namespace corvane::test;

namespace {

// Where the console is killed around one record.
enum class Kill {
    None,
    AfterSend,   // the frame has just been written to the line
    AfterAck,    // the acknowledgement has arrived
    AfterDesk,   // the record's outward copy has reached the desk
    AfterCommit, // inside the console, right after one of its next commits
};

class Console {
public:
    explicit Console(const QString &home) : m_home(home) {}
    ~Console() { kill(); }

    // Starts the console and waits until it has found the switch.
    bool start(PtyPair &sw)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_PORTS_ONLY", "1");
        m_process = std::make_unique<QProcess>();
        m_process->setProcessEnvironment(env);
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process->start(QCoreApplication::applicationDirPath() + "/intake_child", {m_home});
        sim::CommandDecoder decoder;
        // The search's clock command is answered as a switch answers it.
        bool ready = false;
        const bool settled = waitUntil(
            [&] {
                for (const sim::Command &c : decoder.feed(sw.take()))
                    if (c.kind == sim::Command::Clock)
                        sw.write(QByteArray::fromHex("FF5A"));
                ready = ready || (m_process->canReadLine() && m_process->readLine() == "ready\n");
                return ready || !running();
            },
            10000);
        return settled && ready;
    }
    // The console kills itself right after its n-th commit from now.
    void killAfterCommits(int n)
    {
        m_process->write(QByteArray("kill-after ") + QByteArray::number(n) + '\n');
        m_process->waitForBytesWritten(1000);
    }
    bool running() const { return m_process && m_process->state() != QProcess::NotRunning; }
    void kill()
    {
        if (!m_process)
            return;
        m_process->kill();
        m_process->waitForFinished(5000);
        m_process.reset();
    }

private:
    QString m_home;
    std::unique_ptr<QProcess> m_process;
};

sim::CallRecordData record(int i)
{
    sim::CallRecordData r;
    r.trunk = 1 + i % 4;
    r.line = 1 + i % 7;
    r.month = 12;
    r.day = 9;
    r.hour = 8 + i / 60;
    r.minute = i % 60;
    r.duration = quint16(20 + 7 * i);
    r.called = QStringLiteral("55512%1").arg(i, 2, 10, QLatin1Char('0'));
    return r;
}

} // namespace

TEST(IntakeKills, EveryRecordReachesTheDatabaseTheFileAndTheDeskOnceInOrder)
{
    TestHome home;
    const HomePaths paths(home.path());
    const QString calls = home.file("calls") + "/";
    ASSERT_TRUE(QDir().mkpath(calls));
    {
        Database db;
        ASSERT_TRUE(createSwitchDb(db, paths.switchDb()));
        const QStringList columns = db.columnNames("SWTConfig");
        ASSERT_TRUE(db.exec(QStringLiteral("UPDATE SWTConfig SET %1='1', %2='2', %3=?")
                                .arg(columns.at(14), columns.at(15), columns.at(17)),
                            {calls}));
    }
    ASSERT_TRUE(QDir().mkpath(paths.portsDir()));
    PtyPair sw;
    PtyPair desk;
    ASSERT_TRUE(sw.ok() && desk.ok());
    ASSERT_TRUE(sw.linkAs(comLink(paths, 1)));
    ASSERT_TRUE(desk.linkAs(comLink(paths, 2)));
    isolateSerialPorts(home.path());

    constexpr int records = 24;
    std::mt19937 rng(20261209);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // About one record in three has a kill, the kinds taken in turn.
    QList<Kill> plan;
    int planned = 0;
    for (int i = 0; i < records; ++i)
        plan << (rnd(0, 2) == 0 ? static_cast<Kill>(1 + planned++ % 4) : Kill::None);
    QMap<Kill, int> kills;

    Console console(home.path());
    QByteArray deskLog;
    sim::CommandDecoder decoder;
    auto restart = [&] {
        console.kill();
        sw.dropUnread(); // what the dead console never read is lost with it
        decoder = sim::CommandDecoder();
        return console.start(sw);
    };
    auto deskHas = [&](const QByteArray &copy) {
        deskLog += desk.take();
        return deskLog.contains(copy);
    };
    ASSERT_TRUE(restart());

    // The end time and duration of a record as its outward copy carries them.
    auto copyOf = [](int i) {
        const sim::CallRecordData r = record(i);
        return QStringLiteral("12%1%2%3,%4,")
            .arg(r.day, 2, 10, QLatin1Char('0'))
            .arg(r.hour, 2, 10, QLatin1Char('0'))
            .arg(r.minute, 2, 10, QLatin1Char('0'))
            .arg(r.duration)
            .toLatin1();
    };
    for (int i = 0; i < records; ++i) {
        const QByteArray frame = sim::Frames::callRecord(record(i));
        const QByteArray copy = copyOf(i);
        Kill kill = plan.at(i);
        if (kill == Kill::AfterCommit) {
            if (!console.running()) {
                ASSERT_TRUE(restart());
            }
            console.killAfterCommits(rnd(1, 3));
            ++kills[kill];
        }
        // The switch sends the record until it is acknowledged.
        for (int attempt = 0;; ++attempt) {
            ASSERT_LT(attempt, 10) << "record " << i << " never acknowledged";
            if (!console.running()) {
                ASSERT_TRUE(restart());
            }
            sw.write(frame);
            if (kill == Kill::AfterSend) {
                console.kill();
                ++kills[kill];
                kill = Kill::None;
            }
            bool acked = false;
            waitUntil([&] {
                for (const sim::Command &c : decoder.feed(sw.take()))
                    acked = acked || c.kind == sim::Command::Ack;
                return acked || !console.running();
            });
            if (!acked)
                continue;
            if (kill == Kill::AfterAck) {
                console.kill();
                ++kills[kill];
            } else if (kill == Kill::AfterDesk) {
                ASSERT_TRUE(waitUntil([&] { return deskHas(copy); }));
                console.kill();
                ++kills[kill];
            }
            break;
        }
    }
    // A last start: it writes what the last kill left, and nothing twice.
    ASSERT_TRUE(restart());
    ASSERT_TRUE(waitUntil([&] { return deskHas(copyOf(records - 1)); }));
    console.kill();
    deskLog += desk.take();
    for (Kill k : {Kill::AfterSend, Kill::AfterAck, Kill::AfterDesk, Kill::AfterCommit})
        EXPECT_GT(kills.value(k), 0) << "every kind of kill happened";

    // The database: every record once, in the order sent.
    Database db;
    ASSERT_TRUE(db.open(paths.switchDb(), LegacyDatabaseKey()));
    const auto rows = db.select("SELECT 主叫号码, 被叫号码, 时长, 结束时间, 总费用 FROM PHNBill ORDER BY rowid");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), records);
    QStringList lines;
    QStringList copies;
    for (int i = 0; i < records; ++i) {
        const QStringList &row = rows->at(i);
        const sim::CallRecordData r = record(i);
        EXPECT_EQ(row.at(1), r.called);
        EXPECT_EQ(row.at(2), QString::number(r.duration));
        lines << CallFileLine(row.at(0), row.at(1), row.at(2), row.at(3), row.at(4));
        copies << FeeRecord(row.at(0), QString(row.at(3)).remove(QRegularExpression("\\D")), row.at(2), row.at(4),
                            row.at(1));
    }

    // The monthly file: every record once, in order.
    QFile file(CallFilePath(calls, QDate::currentDate()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    EXPECT_EQ(QStringDecoder("GB18030").decode(file.readAll()), lines.join("\r\n") + "\r\n");

    // The desk: every record in order; one comes twice only right after
    // itself, at most once a kill.
    QStringList received;
    int twice = 0;
    for (const QByteArray &line : deskLog.split('\n')) {
        if (!line.startsWith("$FEE,"))
            continue;
        const QString copy = QString::fromLatin1(line) + "\n";
        if (!received.isEmpty() && received.last() == copy)
            ++twice;
        else
            received << copy;
    }
    EXPECT_EQ(received, copies);
    int allKills = 0;
    for (int n : kills)
        allKills += n;
    EXPECT_LE(twice, allKills);
    ::testing::Test::RecordProperty("kills", allKills);
    ::testing::Test::RecordProperty("repeatedAtTheDesk", twice);
}
