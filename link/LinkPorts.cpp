#include "LinkPorts.h"

#include <QFileInfo>
#include <QStringEncoder>

namespace corvane {

LinkPorts::LinkPorts(const HomePaths &home, QObject *parent) : QObject(parent), m_home(home)
{
    setObjectName(QStringLiteral("LinkPorts"));
    mscPort.setObjectName(QStringLiteral("mscPort"));
    mscOut.setObjectName(QStringLiteral("mscOut"));
    connect(&mscPort, &QSerialPort::errorOccurred, this, &LinkPorts::onPortError);
}

bool LinkPorts::openSerial(QSerialPort &port, int n)
{
    if (port.isOpen())
        port.close();
    if (n < 1 || n > PortCount)
        return false;
    const QString device = m_home.serialDevice(n);
    port.setPortName(device);
    // A device that is not there is not opened at all: opening would take the
    // serial lock file for its name first, and a second console (or test)
    // trying the same absent name at that moment would be told it has no
    // permission.
    if (!QFileInfo::exists(device)) {
        port.clearError();
        return false;
    }
    port.setBaudRate(QSerialPort::Baud2400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

QString LinkPorts::DeniedText(const QString &device, const QString &systemReason)
{
    return QStringLiteral("无法打开串口 %1：没有权限（%2）。\n"
                          "使用串口（/dev/ttyS*、/dev/ttyUSB*）的操作员须属于 dialout 组："
                          "sudo adduser <用户名> dialout，然后重新登录。该串口也可能正被其他程序使用。")
        .arg(device, systemReason);
}

bool LinkPorts::OpenPort(int n)
{
    m_portNumber = n;
    m_portDenied.clear();
    const bool opened = openSerial(mscPort, n);
    if (!opened && mscPort.error() == QSerialPort::PermissionError)
        m_portDenied =
            DeniedText(QStringLiteral("COM%1（%2）").arg(n).arg(m_home.serialDevice(n)), mscPort.errorString());
    return opened;
}

bool LinkPorts::ReopenPort()
{
    if (mscPort.isOpen())
        return true;
    if (m_portNumber < 1 || m_portNumber > PortCount)
        return false;
    return OpenPort(m_portNumber);
}

bool LinkPorts::OpenOutPort(int n)
{
    m_outPortNumber = n;
    return openSerial(mscOut, n);
}

void LinkPorts::ClosePorts()
{
    // Closing a serial port drops what is still buffered for writing, which
    // would lose the exit command at the end of the run.
    for (QSerialPort *port : {&mscPort, &mscOut}) {
        if (!port->isOpen())
            continue;
        port->flush();
        if (port->bytesToWrite() > 0)
            port->waitForBytesWritten(200);
        port->close();
    }
}

void LinkPorts::onPortError(QSerialPort::SerialPortError error)
{
    // A device that went away keeps signalling; close it so the receive path
    // does not spin. The watchdog reports the silence and the probe reopens it.
    // A hung-up pseudo-terminal or a pulled USB adapter shows as a read error.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
                      || error == QSerialPort::DeviceNotFoundError;
    if (gone && mscPort.isOpen())
        mscPort.close();
}

QByteArray LinkPorts::OutwardBytes(const QString &record)
{
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid()) {
        qWarning("GB18030 encoder not available");
        return {};
    }
    return encoder.encode(record);
}

void LinkPorts::SendOutward(const QString &record)
{
    if (!mscOut.isOpen())
        return;
    const QByteArray bytes = OutwardBytes(record);
    if (!bytes.isEmpty())
        mscOut.write(bytes);
}

} // namespace corvane
