#pragma once
#include "HomePaths.h"

#include <QObject>
#include <QSerialPort>
#include <QSet>
#include <functional>

namespace corvane {

// The two serial ports of the console, both 2400 8N1: mscPort to the switch
// and mscOut for the outward copy of call records and caller numbers.
//
// Port number n (1..16) names a device: the one HOME/ports/COMn links to, else
// /dev/ttyS<n-1>. Adapters get pulled, plugged back and renamed
// (/dev/ttyUSB0 comes back as /dev/ttyUSB1, a restarted simulator gets a new
// pseudo-terminal and links it again), so a port is reopened by its name: the
// heal steps resolve the number again, close a port whose device changed or
// vanished, and open the device that is there now. A number that was a link
// once in this run stays one: while its link is briefly missing the port is
// absent, never the machine's own /dev/ttyS<n-1>.
//
// A device that is there but cannot serve as a serial port (a directory, a
// file that is no terminal, a device the operator may not open) leaves a
// fault text naming the port, the device and the reason; an absent device
// leaves none (there is nothing to tell until it is plugged in).
class LinkPorts : public QObject {
    Q_OBJECT
public:
    static constexpr int PortCount = 16;

    explicit LinkPorts(const HomePaths &home, QObject *parent = nullptr);

    QSerialPort mscPort;
    QSerialPort mscOut;

    // The device port number n stands for now (see above).
    QString DeviceFor(int n);

    // Closes mscPort, sets port number n (1..16) and opens it. Returns whether
    // the port is open. A number outside 1..16 is kept but never opened.
    bool OpenPort(int n);
    int PortNumber() const { return m_switch.number; }
    // Why the last attempt to open mscPort failed although its device is
    // there; empty after it opened or found no device.
    QString PortFaultText() const { return m_switch.fault; }

    // What a heal step did to a port.
    enum class Heal {
        Unchanged, // open on the same device, or still absent / unusable
        Reopened,  // opened on the device its number names now
        Closed,    // its device went away; nothing to open now
    };
    // Resolves the switch port's number again: a port whose device changed
    // or vanished is closed, a closed port is opened on what is there now.
    Heal HealPort();

    // The outward port: opening it switches the outward copy on, whether the
    // device opens now or later (HealOutPort); CloseOutPort switches it off.
    bool OpenOutPort(int n);
    // Switches the outward copy on for port n without opening it yet: what
    // is taken before the port is opened (during the start's port search)
    // is kept for it.
    void PlanOutPort(int n)
    {
        m_outwardOn = true;
        m_out.number = n;
    }
    void CloseOutPort();
    bool OutwardOn() const { return m_outwardOn; }
    int OutPortNumber() const { return m_out.number; }
    void setOutPortNumber(int n) { m_out.number = n; }
    QString OutFaultText() const { return m_out.fault; }
    // The same heal for the outward port, while the outward copy is on.
    Heal HealOutPort();

    // The device each port was opened on (empty while closed).
    QString PortDevice() const { return mscPort.isOpen() ? m_switch.device : QString(); }
    QString OutDevice() const { return mscOut.isOpen() ? m_out.device : QString(); }

    // The words for a port that refused the operator: the device, the
    // system's reason and the cure (the dialout group).
    static QString DeniedText(const QString &device, const QString &systemReason);

    // Closes both ports; bytes still buffered go out first.
    void ClosePorts();

    // What tells one device node from another under the same name (its
    // device, inode and device number): an adapter plugged back as the same
    // /dev/ttyUSB0 is a new node. Tests present a new device under an old
    // name through it.
    using Identity = std::function<QByteArray(const QString &path)>;
    void setIdentity(Identity identity) { m_identity = std::move(identity); }

    // The bytes a text record ("$FEE,...", "$PHN,...") takes on the outward
    // port: GB18030.
    static QByteArray OutwardBytes(const QString &record);

signals:
    // A port was closed because its device failed or went away.
    void portLost();
    void outPortLost();

private:
    struct Slot {
        QSerialPort *port = nullptr;
        int number = 0;
        QString device;  // resolved when last opened or tried
        QString fault;   // why the device there could not be opened
        QByteArray node; // identity of the device node it was opened on
    };
    bool openSlot(Slot &slot, int n);
    Heal healSlot(Slot &slot);
    void onError(Slot &slot, QSerialPort::SerialPortError error);

    HomePaths m_home;
    Identity m_identity;
    Slot m_switch;
    Slot m_out;
    bool m_outwardOn = false;
    // Numbers seen as HOME/ports/COMn links in this run.
    QSet<int> m_linked;
};

} // namespace corvane
