#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

namespace corvane::test {

// A pseudo-terminal standing in for a serial port: the console opens the
// slave side (through a HOME/ports/COMn link), the test plays the switch on
// the master side. The test keeps one slave descriptor open itself so the
// master never sees a hang-up while the console closes and reopens the port.
class PtyPair : public QObject {
    Q_OBJECT
public:
    PtyPair();
    ~PtyPair() override;

    bool ok() const { return m_master >= 0 && m_slave >= 0; }
    QString slavePath() const { return m_slavePath; }
    // Makes `linkPath` a symbolic link to the slave device.
    bool linkAs(const QString &linkPath) const;

    void write(const QByteArray &bytes);
    // Drops what was written to the console's side and not read there yet
    // (frames a killed console never took).
    void dropUnread();
    // Everything received so far, taken out.
    QByteArray take();
    // Processes events until at least n bytes have been received or the
    // (real-time) limit passes; returns what was received, taken out.
    QByteArray takeAtLeast(int n, int limitMs = 3000);

    // Called with each chunk the console sends; whatever it returns is
    // written back, as a switch would answer.
    std::function<QByteArray(const QByteArray &)> responder;
    // Answers each clock command FF 5A, as the switch does (off: a switch
    // that does not hear the console, or a test that answers by hand).
    bool answersClock = false;

private:
    void readMaster();
    void answerClockCommands(const QByteArray &chunk);

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_received;
    QByteArray m_clockScan;
    QSocketNotifier *m_notifier = nullptr;
};

// Unplugs the device behind `linkPath`: the link is left pointing at a node
// that no longer exists, as a pulled USB adapter leaves /dev/ttyUSB0 behind.
// (A link left on the closed pseudo-terminal would name whichever terminal
// the kernel hands that number to next, perhaps another test's.)
bool unplugLink(const QString &linkPath);

// Processes events until pred() holds or the real-time limit passes.
bool waitUntil(const std::function<bool()> &pred, int limitMs = 3000);

} // namespace corvane::test
