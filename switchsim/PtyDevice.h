#pragma once
#include <QIODevice>
#include <QTimer>

class QSocketNotifier;

namespace corvane::sim {

// The master side of a pseudo-terminal as a QIODevice. The console opens the
// slave side like a serial port, and may close and reopen it at any time (its
// port search does): while no one holds the slave, writes are dropped and the
// master is polled until the slave is opened again.
class PtyDevice : public QIODevice {
    Q_OBJECT
public:
    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;

    // Creates the pseudo-terminal in raw mode and opens this device read-write.
    bool openPty(QString *error = nullptr);
    void close() override;

    QString slavePath() const { return m_slavePath; }
    bool isPeerOpen() const { return m_peerOpen; }
    // Looks at once whether the console holds the slave side now (also done
    // every 50 ms of real time while nobody does).
    void pollPeer() { checkPeer(); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_buffer.size() + QIODevice::bytesAvailable(); }

signals:
    void peerOpenChanged(bool open);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void readMaster();
    void checkPeer();
    void setPeerOpen(bool open);

    int m_fd = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_peerPoll;
    QByteArray m_buffer;
    bool m_peerOpen = false;
};

// Two in-memory ends joined back to back: what one end writes, the other reads
// (readyRead is queued, as a serial port delivers it). Lets the simulator and
// a console run in one process without a terminal.
class PipeDevice : public QIODevice {
    Q_OBJECT
public:
    static std::pair<PipeDevice *, PipeDevice *> createPair(QObject *parent = nullptr);
    ~PipeDevice() override;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_buffer.size() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    explicit PipeDevice(QObject *parent) : QIODevice(parent) {}
    void deliver(const QByteArray &bytes);

    PipeDevice *m_peer = nullptr;
    QByteArray m_buffer;
    bool m_notifyPending = false;
};

} // namespace corvane::sim
