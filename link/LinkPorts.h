#pragma once
#include "HomePaths.h"

#include <QObject>
#include <QSerialPort>

namespace corvane {

// The two serial ports of the console, both 2400 8N1: mscPort to the switch
// and mscOut for the outward copy of call records and caller numbers. Port
// number n (1..16) is the device HomePaths::serialDevice(n).
class LinkPorts : public QObject {
    Q_OBJECT
public:
    static constexpr int PortCount = 16;

    explicit LinkPorts(const HomePaths &home, QObject *parent = nullptr);

    QSerialPort mscPort;
    QSerialPort mscOut;

    // Closes mscPort, sets port number n (1..16) and opens it. Returns whether
    // the port is open. A number outside 1..16 is kept but never opened.
    bool OpenPort(int n);
    int PortNumber() const { return m_portNumber; }
    // Opens the port of the number set last again when it is closed (an
    // adapter plugged in later, a device that went away). Returns whether it
    // is open.
    bool ReopenPort();
    // The same for mscOut.
    bool OpenOutPort(int n);
    int OutPortNumber() const { return m_outPortNumber; }
    void setOutPortNumber(int n) { m_outPortNumber = n; }
    // When the last OpenPort failed for want of permission: the words for the
    // operator, naming the device, the system's reason and the cure (the
    // dialout group). Empty after any other outcome.
    QString PortDeniedText() const { return m_portDenied; }
    static QString DeniedText(const QString &device, const QString &systemReason);

    // Closes both ports; bytes still buffered go out first.
    void ClosePorts();

    // A text record on the outward port ("$FEE,...", "$PHN,..."), written in
    // GB18030. Dropped when mscOut is not open.
    void SendOutward(const QString &record);
    // The bytes SendOutward writes for a record.
    static QByteArray OutwardBytes(const QString &record);

private:
    bool openSerial(QSerialPort &port, int n);
    void onPortError(QSerialPort::SerialPortError error);

    HomePaths m_home;
    int m_portNumber = 0;
    int m_outPortNumber = 0;
    QString m_portDenied;
};

} // namespace corvane
