#include "CupsServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::test {

namespace {

const QString kBackend = QStringLiteral("/usr/lib/cups/backend/cups-pdf");
const QString kPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
const QString kCupsPdfConfDir = QStringLiteral("/etc/cups");

bool writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

// Runs a CUPS command-line tool against the test's scheduler.
bool runTool(const QString &program, const QStringList &args, QString *why)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (why)
            *why = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ")
                   + QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return false;
    }
    return true;
}

// Lets events run for a moment between two looks at an outside process.
void pollPause()
{
    QEventLoop loop;
    QTimer::singleShot(25, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString CupsServer::root()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/corvane-cups-XXXXXX"));
    return dir.path();
}

QString CupsServer::socketPath() { return root() + QStringLiteral("/cups.sock"); }

void CupsServer::pointClientsHere()
{
    qputenv("CUPS_SERVER", QFile::encodeName(socketPath()));
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
}

QString CupsServer::whyNot()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/sbin/cupsd")))
        return QStringLiteral("cupsd is not installed (Debian package cups)");
    if (!QFileInfo::exists(kBackend) || !QFileInfo::exists(kPpd))
        return QStringLiteral("the cups-pdf backend is not installed (Debian package printer-driver-cups-pdf)");
    if (geteuid() != 0)
        return QStringLiteral("not running as root: cupsd runs the cups-pdf backend (mode 0700, owner root) "
                              "only as root, and cups-pdf reads its queue configuration from /etc/cups");
    if (!QFileInfo(kCupsPdfConfDir).isWritable())
        return QStringLiteral("/etc/cups is not writable, so the queue's cups-pdf configuration cannot be placed");
    return QString();
}

CupsServer::CupsServer() = default;
CupsServer::~CupsServer() { stop(); }

bool CupsServer::start(QString *why)
{
    const QString dir = root();
    for (const char *sub : {"conf", "spool", "cache", "state", "log", "out", "cups-pdf-spool"})
        QDir(dir).mkpath(QString::fromLatin1(sub));
    QDir(dir).mkpath(QStringLiteral("tmp"));
    // The filters run as lp: they must reach the folder and write in tmp.
    ::chmod(QFile::encodeName(dir).constData(), 0755);
    ::chmod(QFile::encodeName(dir + QStringLiteral("/tmp")).constData(), 01777);

    const QString files =
        QStringLiteral(
            "ServerRoot %1/conf\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\nStateDir %1/state\n"
            "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
            "Printcap %1/state/printcap\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
            "FileDevice No\nUser lp\nGroup lp\nSystemGroup root\n")
            .arg(dir);
    const QString conf =
        QStringLiteral(
            "Listen %1\nLogLevel info\nBrowsing Off\nDefaultAuthType None\nWebInterface No\nPreserveJobFiles Yes\n"
            "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
            "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
            .arg(socketPath());
    if (!writeFile(dir + QStringLiteral("/conf/cups-files.conf"), files)
        || !writeFile(dir + QStringLiteral("/conf/cupsd.conf"), conf)) {
        *why = QStringLiteral("cannot write the scheduler's configuration in ") + dir;
        return false;
    }

    m_cupsd = std::make_unique<QProcess>();
    m_cupsd->setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd->start(QStringLiteral("/usr/sbin/cupsd"),
                   {QStringLiteral("-f"), QStringLiteral("-c"), dir + QStringLiteral("/conf/cupsd.conf"),
                    QStringLiteral("-s"), dir + QStringLiteral("/conf/cups-files.conf")});
    if (!m_cupsd->waitForStarted(5000)) {
        *why = QStringLiteral("cupsd did not start: ") + m_cupsd->errorString();
        return false;
    }
    // Up when it answers on its socket.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!isRunning()) {
            *why = QStringLiteral("cupsd ended at once: ") + QString::fromLocal8Bit(m_cupsd->readAll()) + logTail();
            return false;
        }
        if (QFileInfo::exists(socketPath()) && runTool(QStringLiteral("lpstat"), {QStringLiteral("-r")}, nullptr))
            return true;
        pollPause();
    }
    *why = QStringLiteral("cupsd did not answer within 10 s: ") + logTail();
    return false;
}

bool CupsServer::addPdfQueue(const QString &name, QString *why)
{
    const QString dir = root();
    m_queueConf = kCupsPdfConfDir + QStringLiteral("/cups-pdf-") + name + QStringLiteral(".conf");
    const QString conf = QStringLiteral("Out %1/out\nAnonDirName %1/out\nSpool %1/cups-pdf-spool\nLog %1/log\n"
                                        "LogType 3\nGrp root\nUserUMask 0022\nAnonUMask 0022\n")
                             .arg(dir);
    if (!writeFile(m_queueConf, conf)) {
        *why = QStringLiteral("cannot write ") + m_queueConf;
        return false;
    }
    return runTool(QStringLiteral("lpadmin"),
                   {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                    QStringLiteral("cups-pdf:/") + name, QStringLiteral("-P"), kPpd, QStringLiteral("-o"),
                    QStringLiteral("PageSize=A4")},
                   why)
           && runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), name}, why);
}

bool CupsServer::setAccepting(const QString &name, bool accepting, QString *why)
{
    return runTool(accepting ? QStringLiteral("cupsaccept") : QStringLiteral("cupsreject"), {name}, why);
}

void CupsServer::stop()
{
    if (m_cupsd) {
        if (m_cupsd->state() != QProcess::NotRunning) {
            m_cupsd->terminate();
            if (!m_cupsd->waitForFinished(10000)) {
                m_cupsd->kill();
                m_cupsd->waitForFinished(5000);
            }
        }
        m_cupsd.reset();
    }
    if (!m_queueConf.isEmpty()) {
        QFile::remove(m_queueConf);
        m_queueConf.clear();
    }
}

CupsServer::Jobs CupsServer::waitForJobs(const QString &queue, int completed, int timeoutMs)
{
    const QByteArray name = queue.toUtf8();
    const QDeadlineTimer deadline(timeoutMs);
    Jobs jobs;
    do {
        cups_job_t *list = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, name.constData(), 0, CUPS_WHICHJOBS_ALL);
        jobs = Jobs();
        for (int i = 0; i < n; ++i) {
            switch (list[i].state) {
            case IPP_JSTATE_COMPLETED:
                ++jobs.completed;
                jobs.completedIds.append(list[i].id);
                break;
            case IPP_JSTATE_STOPPED:
            case IPP_JSTATE_CANCELED:
            case IPP_JSTATE_ABORTED: ++jobs.failed; break;
            default: ++jobs.active; break;
            }
        }
        cupsFreeJobs(n, list);
        std::sort(jobs.completedIds.begin(), jobs.completedIds.end());
        if (jobs.failed > 0 || (jobs.active == 0 && jobs.completed >= completed))
            return jobs;
        pollPause();
    } while (!deadline.hasExpired());
    return jobs;
}

QString CupsServer::outputOf(int jobId) const
{
    QDir out(root() + QStringLiteral("/out"));
    const QRegularExpression job(QStringLiteral("job_%1(\\D|$)").arg(jobId));
    for (const QString &name : out.entryList({QStringLiteral("*.pdf")}, QDir::Files))
        if (job.match(name).hasMatch())
            return out.filePath(name);
    return QString();
}

int CupsServer::outputCount() const
{
    return QDir(root() + QStringLiteral("/out")).entryList({QStringLiteral("*.pdf")}, QDir::Files).size();
}

QString CupsServer::receivedDocument(int jobId) const
{
    return root() + QStringLiteral("/spool/d%1-001").arg(jobId, 5, 10, QLatin1Char('0'));
}

QString CupsServer::logTail() const
{
    QString text;
    for (const QString &log : {QStringLiteral("/log/error_log")}) {
        QFile f(root() + log);
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(f.readAll().right(3000));
    }
    QDir logs(root() + QStringLiteral("/log"));
    for (const QString &name : logs.entryList({QStringLiteral("cups-pdf*")}, QDir::Files)) {
        QFile f(logs.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromLocal8Bit(f.readAll().right(2000));
    }
    return text;
}

} // namespace corvane::test
