// switchsim: plays the telephone switch on a pseudo-terminal (or a serial
// device) for the console, for tests, demonstrations and training.
#include "PtyDevice.h"
#include "Scenario.h"
#include "SwitchSimulator.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTextStream>
#include <csignal>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using corvane::sim::Scenario;
using corvane::sim::SwitchSimulator;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

bool rate(const QCommandLineParser &p, const QString &name, double *out, QString *error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || v < 0 || v > 1) {
        *error = QStringLiteral("--%1 takes a fraction from 0 to 1").arg(name);
        return false;
    }
    *out = v;
    return true;
}

bool millis(const QCommandLineParser &p, const QString &name, int *out, QString *error)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || v < 0 || v > 3600) {
        *error = QStringLiteral("--%1 takes a number of seconds").arg(name);
        return false;
    }
    *out = int(v * 1000.0 + 0.5);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("switchsim"));

    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Plays the telephone switch for the Corvane console.\n\n"
                       "It creates a pseudo-terminal and links it as HOME/ports/COM<port>, where the console\n"
                       "looks for its serial ports; answers the clock command with FF 5A, asks for the link\n"
                       "with FF E1, sends FF B2 every 2 s, applies star codes to its parameter memory, sends\n"
                       "that memory as the parameter dump on request, and plays a scenario of trunk events\n"
                       "and call records (each resent until the console acknowledges it).\n"
                       "Every command received is printed, decoded, and written to --log.\n\n")
        + Scenario::formatHelp()
        + QStringLiteral(
            "\nExample:\n  switchsim --home ~/corvane --port 3 --scenario scenarios/demo.txt --log sim.log\n"));
    p.addHelpOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("home"), QStringLiteral("Home folder of the console (default: $CORVANE_HOME, else .)."),
         QStringLiteral("DIR")},
        {QStringLiteral("port"), QStringLiteral("Serial port number 1-16 to appear as (default 1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("device"), QStringLiteral("Use this serial device at 2400 8N1 instead of a pseudo-terminal."),
         QStringLiteral("PATH")},
        {QStringLiteral("scenario"), QStringLiteral("Scenario file to play (format above)."), QStringLiteral("FILE")},
        {QStringLiteral("check"), QStringLiteral("Only check the scenario file and exit.")},
        {QStringLiteral("log"), QStringLiteral("Append everything received and sent to FILE."), QStringLiteral("FILE")},
        {QStringLiteral("quiet"), QStringLiteral("Print nothing but errors.")},
        {QStringLiteral("resend-timeout"),
         QStringLiteral("Seconds before an unacknowledged call record is sent again (default 3)."),
         QStringLiteral("S")},
        {QStringLiteral("link-alive"), QStringLiteral("Seconds between link-alive frames, 0 for none (default 2)."),
         QStringLiteral("S")},
        {QStringLiteral("bad-checksum-rate"), QStringLiteral("Fraction of call records sent with a wrong checksum."),
         QStringLiteral("P")},
        {QStringLiteral("bad-block-rate"), QStringLiteral("Fraction of dump blocks sent with a wrong checksum."),
         QStringLiteral("P")},
        {QStringLiteral("split"), QStringLiteral("Write frames in random pieces with small delays.")},
        {QStringLiteral("noise-rate"), QStringLiteral("Chance of noise bytes (never FF) before a frame."),
         QStringLiteral("P")},
        {QStringLiteral("drop-ack-rate"),
         QStringLiteral("Fraction of record acknowledgements taken as lost (the record is resent)."),
         QStringLiteral("P")},
        {QStringLiteral("silent"),
         QStringLiteral("Send nothing and answer nothing (a dead switch); commands are still logged.")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault generator (default: random)."), QStringLiteral("N")},
        {QStringLiteral("set"),
         QStringLiteral("Change one byte of the parameter memory before starting, e.g. --set 0:21=00 (block 0 byte 21, "
                        "waiting tone); may be given several times."),
         QStringLiteral("B:O=HH")},
        {QStringLiteral("outward-port"),
         QStringLiteral("Also play the receiver of the console's outward copy ($FEE, and $PHN, records) on port N."),
         QStringLiteral("N")},
        {QStringLiteral("outward-log"), QStringLiteral("Append the outward records received to FILE (UTF-8)."),
         QStringLiteral("FILE")},
    };
    p.addOptions(options);
    p.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    QString error;

    std::optional<Scenario> scenario;
    if (p.isSet(QStringLiteral("scenario"))) {
        scenario = Scenario::load(p.value(QStringLiteral("scenario")), &error);
        if (!scenario) {
            err << "switchsim: " << error << Qt::endl;
            return 2;
        }
    }
    QList<corvane::sim::ScenarioEvent> settings;
    for (const QString &setting : p.values(QStringLiteral("set"))) {
        const auto e = corvane::sim::parseMemorySetting(setting, &error);
        if (!e) {
            err << "switchsim: --set: " << error << Qt::endl;
            return 2;
        }
        settings.append(*e);
    }

    if (p.isSet(QStringLiteral("check"))) {
        if (!scenario) {
            err << "switchsim: --check needs --scenario" << Qt::endl;
            return 2;
        }
        out << "scenario OK: " << scenario->events.size() << " events"
            << (scenario->repeatMs ? QStringLiteral(", repeats every %1 s").arg(scenario->repeatMs / 1000.0)
                                   : QString())
            << Qt::endl;
        return 0;
    }

    SwitchSimulator::Options opt;
    bool portOk = false;
    const int port = p.value(QStringLiteral("port")).toInt(&portOk);
    if (!portOk || port < 1 || port > 16) {
        err << "switchsim: --port takes a number from 1 to 16" << Qt::endl;
        return 2;
    }
    if (!rate(p, QStringLiteral("bad-checksum-rate"), &opt.badChecksumRate, &error)
        || !rate(p, QStringLiteral("bad-block-rate"), &opt.badBlockRate, &error)
        || !rate(p, QStringLiteral("noise-rate"), &opt.noiseRate, &error)
        || !rate(p, QStringLiteral("drop-ack-rate"), &opt.dropAckRate, &error)
        || !millis(p, QStringLiteral("resend-timeout"), &opt.resendTimeoutMs, &error)
        || !millis(p, QStringLiteral("link-alive"), &opt.linkAliveMs, &error)) {
        err << "switchsim: " << error << Qt::endl;
        return 2;
    }
    if (opt.resendTimeoutMs < 100) {
        err << "switchsim: --resend-timeout must be at least 0.1 s" << Qt::endl;
        return 2;
    }
    opt.split = p.isSet(QStringLiteral("split"));
    opt.silent = p.isSet(QStringLiteral("silent"));
    if (p.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        opt.seed = p.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok) {
            err << "switchsim: --seed takes a whole number" << Qt::endl;
            return 2;
        }
    } else {
        opt.seed = std::random_device{}();
    }

    QFile logFile;
    if (p.isSet(QStringLiteral("log"))) {
        logFile.setFileName(p.value(QStringLiteral("log")));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            err << "switchsim: cannot write " << logFile.fileName() << ": " << logFile.errorString() << Qt::endl;
            return 1;
        }
    }
    const bool quiet = p.isSet(QStringLiteral("quiet"));

    SwitchSimulator sim;
    sim.setOptions(opt);
    QObject::connect(&sim, &SwitchSimulator::activity, &app, [&](const QString &line) {
        const QString stamped = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line;
        if (!quiet)
            out << stamped << Qt::endl;
        if (logFile.isOpen()) {
            logFile.write(stamped.toUtf8() + '\n');
            logFile.flush();
        }
    });

    if (p.isSet(QStringLiteral("device"))) {
        if (!sim.startSerial(p.value(QStringLiteral("device")), &error)) {
            err << "switchsim: " << error << Qt::endl;
            return 1;
        }
    } else {
        QString home = p.value(QStringLiteral("home"));
        if (home.isEmpty())
            home = qEnvironmentVariable("CORVANE_HOME", QStringLiteral("."));
        if (!sim.startPty(home, port, &error)) {
            err << "switchsim: " << error << Qt::endl;
            return 1;
        }
        if (quiet)
            out << sim.linkPath() << " -> " << sim.slavePath() << Qt::endl;
    }

    // SIGINT and SIGTERM end the event loop, so that the port link is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
            char b;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &b, 1);
            QCoreApplication::quit();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    // The receiver of the outward copy: a second pseudo-terminal whose records
    // are printed and logged, so a demonstration shows them arriving.
    corvane::sim::PtyDevice outward;
    QFile outwardLog;
    QByteArray outwardPending;
    QStringDecoder gb18030("GB18030");
    if (p.isSet(QStringLiteral("outward-port")) && !p.isSet(QStringLiteral("device"))) {
        bool ok = false;
        const int outPort = p.value(QStringLiteral("outward-port")).toInt(&ok);
        if (!ok || outPort < 1 || outPort > 16 || outPort == port) {
            err << "switchsim: --outward-port takes a number from 1 to 16 other than --port" << Qt::endl;
            return 2;
        }
        QString home = p.value(QStringLiteral("home"));
        if (home.isEmpty())
            home = qEnvironmentVariable("CORVANE_HOME", QStringLiteral("."));
        const QString link = home + QStringLiteral("/ports/COM%1").arg(outPort);
        QDir().mkpath(home + QStringLiteral("/ports"));
        if (!outward.openPty(&error)) {
            err << "switchsim: " << error << Qt::endl;
            return 1;
        }
        QFile::remove(link);
        if (!QFile::link(outward.slavePath(), link)) {
            err << "switchsim: cannot link " << link << Qt::endl;
            return 1;
        }
        if (p.isSet(QStringLiteral("outward-log"))) {
            outwardLog.setFileName(p.value(QStringLiteral("outward-log")));
            if (!outwardLog.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
                err << "switchsim: cannot write " << outwardLog.fileName() << Qt::endl;
                return 1;
            }
        }
        QObject::connect(&outward, &QIODevice::readyRead, &app, [&] {
            outwardPending += outward.readAll();
            int end;
            while ((end = outwardPending.indexOf("\r\n")) >= 0) {
                const QString record = gb18030(outwardPending.left(end));
                outwardPending.remove(0, end + 2);
                const QString line = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz "))
                                     + QStringLiteral("outward ") + record;
                if (!quiet)
                    out << line << Qt::endl;
                if (outwardLog.isOpen()) {
                    outwardLog.write(line.toUtf8() + '\n');
                    outwardLog.flush();
                }
            }
        });
        if (!quiet)
            out << "outward receiver " << link << " -> " << outward.slavePath() << Qt::endl;
        QObject::connect(&app, &QCoreApplication::aboutToQuit, [link] { QFile::remove(link); });
    }

    for (const corvane::sim::ScenarioEvent &e : settings)
        sim.setMemoryByte(e.block, e.offset, e.value);

    if (scenario)
        sim.playScenario(*scenario);

    const int rc = app.exec();
    sim.stop();
    if (!quiet)
        out << "switchsim: stopped; records sent " << sim.recordsSent() << ", resent " << sim.recordsResent()
            << ", acknowledged " << sim.recordsAcknowledged() << ", pending " << sim.recordsPending() << Qt::endl;
    return rc;
}
