#pragma once
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace corvane::test {

// A CUPS scheduler of the test's own, with a cups-pdf queue as its default
// printer: its configuration, spool, logs and the PDFs the queue writes all
// live in one temporary folder, it listens only on a socket in that folder,
// and every CUPS client of the test process (Qt's printer support, the
// console's job submission, lpadmin) talks to it through CUPS_SERVER.
//
// cupsd runs its filters as user lp and the cups-pdf backend as root (the
// backend is executable by root only), and cups-pdf reads the configuration
// of a queue from /etc/cups/cups-pdf-<queue>.conf; so the server runs only
// when the test runs as root. The queue's file there is removed with the server.
class CupsServer {
public:
    CupsServer();
    ~CupsServer();
    CupsServer(const CupsServer &) = delete;
    CupsServer &operator=(const CupsServer &) = delete;

    // Points every CUPS client of this process at the socket a CupsServer
    // listens on (also before one runs: then there is no printer at all).
    // Must be called before any printing code runs.
    static void pointClientsHere();
    static QString socketPath();

    // Empty when a server can run here, else why not.
    static QString whyNot();

    bool start(QString *why);
    // Adds a cups-pdf queue, enabled and accepting, and makes it the default.
    bool addPdfQueue(const QString &name, QString *why);
    bool setAccepting(const QString &name, bool accepting, QString *why);
    void stop();
    bool isRunning() const { return m_cupsd && m_cupsd->state() == QProcess::Running; }

    struct Jobs {
        int completed = 0;
        int failed = 0; // stopped, cancelled or aborted
        int active = 0;
        QList<int> completedIds; // ascending
    };
    // Waits (polling the scheduler) until the queue has `completed` finished
    // jobs and none active, or a job failed, or the time is up.
    Jobs waitForJobs(const QString &queue, int completed, int timeoutMs);
    // The PDF file the queue wrote for job `id`; empty when there is none.
    QString outputOf(int jobId) const;
    int outputCount() const;
    // The document of job `id` as the scheduler received it (jobs are kept).
    QString receivedDocument(int jobId) const;
    QString logTail() const;

private:
    static QString root();
    QString m_queueConf;
    std::unique_ptr<QProcess> m_cupsd;
};

} // namespace corvane::test
