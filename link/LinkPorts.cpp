#include "LinkPorts.h"
#include "FileAccess.h"
#include "HomePrivacy.h"

#include <QFileInfo>
#include <QStringEncoder>

#include <sys/stat.h>

namespace corvane {

namespace {

// What tells one device node from another under the same name: a re-plugged
// adapter or a new pseudo-terminal is a new node even where the name repeats.
QByteArray nodeIdentity(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino)) + ':'
           + QByteArray::number(quint64(st.st_rdev));
}

QString portLabel(int n, const QString &device) { return QStringLiteral("COM%1（%2）").arg(n).arg(device); }

} // namespace

LinkPorts::LinkPorts(const HomePaths &home, QObject *parent) : QObject(parent), m_home(home), m_identity(nodeIdentity)
{
    setObjectName(QStringLiteral("LinkPorts"));
    mscPort.setObjectName(QStringLiteral("mscPort"));
    mscOut.setObjectName(QStringLiteral("mscOut"));
    m_switch.port = &mscPort;
    m_out.port = &mscOut;
    connect(&mscPort, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(m_switch, e); });
    connect(&mscOut, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { onError(m_out, e); });
}

QString LinkPorts::DeviceFor(int n)
{
    const QString link = m_home.portsDir() + QStringLiteral("/COM") + QString::number(n);
    const QFileInfo info(link);
    if (info.isSymLink() || info.exists()) {
        m_linked.insert(n);
        if (!info.isSymLink())
            return link;
        // The device itself, through any chain of links (/dev/serial/by-id/…).
        const QString device = info.canonicalFilePath();
        return device.isEmpty() ? info.symLinkTarget() : device;
    }
    // Briefly missing (a simulator between stop and start, an installer at
    // work): absent, never the machine's own port of that number.
    if (m_linked.contains(n))
        return link;
    return m_home.serialDevice(n);
}

QString LinkPorts::DeniedText(const QString &device, const QString &systemReason)
{
    return QStringLiteral("无法打开串口 %1：没有权限（%2）。\n"
                          "使用串口（/dev/ttyS*、/dev/ttyUSB*）的操作员须属于 dialout 组："
                          "sudo adduser <用户名> dialout，然后重新登录。该串口也可能正被其他程序使用。")
        .arg(device, systemReason);
}

bool LinkPorts::openSlot(Slot &slot, int n)
{
    QSerialPort &port = *slot.port;
    if (port.isOpen())
        port.close();
    slot.number = n;
    slot.fault.clear();
    slot.node.clear();
    slot.device.clear();
    if (n < 1 || n > PortCount)
        return false;
    const QString device = DeviceFor(n);
    slot.device = device;
    const QString label = portLabel(n, device);
    // A link in a folder others may write leads wherever they want it to
    // (a device of theirs that plays the switch, or reads the front desk's copy).
    if (m_linked.contains(n)) {
        for (const QString &folder : {m_home.portsDir(), m_home.root()}) {
            if (OthersMayWrite(folder)) {
                slot.fault = QStringLiteral("没有打开串口 %1：文件夹 %2 其他用户也可以写入，其中的链接 COM%3 "
                                            "可能已被改指向别的设备。请以 %4 运行 chmod go-w %2，然后重新打开串口。")
                                 .arg(label, folder, QString::number(n), OwnerOf(folder));
                port.clearError();
                return false;
            }
        }
    }
    const QString notSerial = QStringLiteral("请把 ports/COM%1 链接到串口设备，例如 /dev/ttyUSB0。").arg(n);
    // A device that is not there is not opened at all: opening would take the
    // serial lock file for its name first, and a second console (or test)
    // trying the same absent name at that moment would be told it has no
    // permission.
    const QFileInfo info(device);
    if (!info.exists()) {
        port.clearError();
        return false;
    }
    if (info.isDir()) {
        slot.fault = QStringLiteral("无法打开串口 %1：这是一个文件夹，不是串口设备。").arg(label) + notSerial;
        return false;
    }
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        slot.fault =
            QStringLiteral("无法打开串口 %1：这是一个普通文件，不是串口设备（不是终端）。").arg(label) + notSerial;
        return false;
    }
    port.setPortName(device);
    port.setBaudRate(QSerialPort::Baud2400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (port.open(QIODevice::ReadWrite)) {
        slot.node = m_identity(device);
        return true;
    }
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError: break; // gone between the look and the open
    case QSerialPort::PermissionError: slot.fault = DeniedText(label, port.errorString()); break;
    default:
        // A character device that takes no terminal settings (/dev/null), or
        // whatever else the system refuses.
        slot.fault = QStringLiteral("无法打开串口 %1：不是可用的串口设备（%2）。").arg(label, port.errorString());
        break;
    }
    return false;
}

LinkPorts::Heal LinkPorts::healSlot(Slot &slot)
{
    if (slot.number < 1 || slot.number > PortCount)
        return Heal::Unchanged;
    QSerialPort &port = *slot.port;
    if (port.isOpen()) {
        const QString device = DeviceFor(slot.number);
        if (device == slot.device && m_identity(device) == slot.node)
            return Heal::Unchanged;
        // The name now leads elsewhere, or the device under the open port is
        // gone: this port talks to nothing any more.
        port.close();
        return openSlot(slot, slot.number) ? Heal::Reopened : Heal::Closed;
    }
    return openSlot(slot, slot.number) ? Heal::Reopened : Heal::Unchanged;
}

bool LinkPorts::OpenPort(int n) { return openSlot(m_switch, n); }

LinkPorts::Heal LinkPorts::HealPort() { return healSlot(m_switch); }

bool LinkPorts::OpenOutPort(int n)
{
    m_outwardOn = true;
    return openSlot(m_out, n);
}

void LinkPorts::CloseOutPort()
{
    m_outwardOn = false;
    if (mscOut.isOpen())
        mscOut.close();
    m_out.fault.clear();
}

LinkPorts::Heal LinkPorts::HealOutPort()
{
    if (!m_outwardOn)
        return Heal::Unchanged;
    return healSlot(m_out);
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

void LinkPorts::onError(Slot &slot, QSerialPort::SerialPortError error)
{
    // A device that went away keeps signalling; close it so the receive path
    // does not spin. A hung-up pseudo-terminal or a pulled USB adapter shows
    // as a read or write error. The heal steps open it again once a device is
    // there.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
                      || error == QSerialPort::WriteError || error == QSerialPort::DeviceNotFoundError;
    if (!gone || !slot.port->isOpen())
        return;
    qWarning("serial port COM%d (%s) lost: %s", slot.number, qPrintable(slot.device),
             qPrintable(slot.port->errorString()));
    slot.port->close();
    if (&slot == &m_switch)
        emit portLost();
    else
        emit outPortLost();
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

} // namespace corvane
