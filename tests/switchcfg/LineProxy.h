#pragma once
#include "PtyDevice.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace corvane::sim {
class SwitchSimulator;
}

namespace corvane::test {

// The serial cable between the console and the simulated switch, with its
// faults: each direction can be cut on its own (a broken TX or RX wire), and
// the adapter can be pulled and plugged back. The console opens HOME/ports/COMn
// as it opens a real port; the simulator sits on the far end of an in-memory
// line and never notices the cable, as a switch does not.
class LineProxy {
public:
    explicit LineProxy(sim::SwitchSimulator &sim);
    ~LineProxy();

    // A new adapter behind HOME/ports/COM<port> (under a new device name).
    bool plugIn(const QString &home, int port, QString *error = nullptr);
    // The adapter pulled: the COMn link names a device that is not there.
    void unplug();

    // Bytes from the console to the switch are lost while this is set.
    bool dropToSwitch = false;
    // Bytes from the switch to the console are lost while this is set.
    bool dropToConsole = false;
    qint64 droppedToSwitch() const { return m_droppedToSwitch; }

private:
    void fromConsole();
    void fromSwitch();

    sim::SwitchSimulator &m_sim;
    QObject m_context;
    sim::PipeDevice *m_switchEnd = nullptr; // the simulator's end of the line
    sim::PipeDevice *m_ourEnd = nullptr;
    std::unique_ptr<sim::PtyDevice> m_pty;
    QString m_link;
    qint64 m_droppedToSwitch = 0;
};

} // namespace corvane::test
