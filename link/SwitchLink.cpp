#include "SwitchLink.h"
#include "Columns.h"

#include "ConsoleContext.h"
#include "Data.h"
#include "General.h"
#include "Recordset.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringEncoder>
#include <exception>

namespace corvane {

namespace {

const QString kLinkOk = QStringLiteral("通讯端口：正常");
const QString kLinkError = QStringLiteral("通讯端口：错误");

// Step of a Pause on a test clock.
constexpr qint64 kTestPauseStepMs = 10;
// Longest real wait of a Pause before the clock is looked at again.
constexpr qint64 kPauseSliceMs = 20;

void waitReal(qint64 ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

SwitchLink::SwitchLink(ConsoleContext &ctx, QObject *parent)
    : QObject(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("SwitchLink"));
    mscPort.setObjectName(QStringLiteral("mscPort"));
    mscOut.setObjectName(QStringLiteral("mscOut"));
    tmrState.setObjectName(QStringLiteral("tmrState"));
    tmrQuest.setObjectName(QStringLiteral("tmrQuest"));

    tmrState.setInterval(StateIntervalMs);
    tmrQuest.setInterval(QuestIntervalMs);
    connect(&tmrState, &QTimer::timeout, this, &SwitchLink::tmrState_Timer);
    connect(&tmrQuest, &QTimer::timeout, this, &SwitchLink::tmrQuest_Timer);
    connect(&mscPort, &QSerialPort::readyRead, this, &SwitchLink::mscPort_OnComm);
    connect(&mscPort, &QSerialPort::errorOccurred, this, &SwitchLink::onPortError);
}

SwitchLink::~SwitchLink()
{
    StopTimers();
    ClosePorts();
    if (m_ctx.link == this)
        m_ctx.link = nullptr;
}

// ---- ports ------------------------------------------------------------------

bool SwitchLink::openSerial(QSerialPort &port, int n)
{
    if (port.isOpen())
        port.close();
    if (n < 1 || n > PortCount)
        return false;
    port.setPortName(m_ctx.home.serialDevice(n));
    port.setBaudRate(QSerialPort::Baud2400);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

bool SwitchLink::OpenPort(int n)
{
    m_portNumber = n;
    return openSerial(mscPort, n);
}

bool SwitchLink::OpenOutPort(int n)
{
    m_outPortNumber = n;
    return openSerial(mscOut, n);
}

void SwitchLink::ClosePorts()
{
    // Closing a serial port drops what is still queued for writing, which
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

void SwitchLink::CloseLink()
{
    StopTimers();
    SendProgramExit();
    ClosePorts();
}

void SwitchLink::onPortError(QSerialPort::SerialPortError error)
{
    // A device that went away keeps signalling; close it so the receive path
    // does not spin. The watchdog reports the silence and the probe reopens it.
    // A hung-up pseudo-terminal or a pulled USB adapter shows as a read error.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::DeviceNotFoundError;
    if (gone && mscPort.isOpen())
        mscPort.close();
}

// ---- ring -------------------------------------------------------------------

int SwitchLink::RingCount() const
{
    return corvane::RingCount(m_head, m_tail, RingSize);
}

quint8 SwitchLink::RingByte(int k) const
{
    return m_buf[size_t(RingAdd(m_head, k))];
}

void SwitchLink::ResetRing(int index)
{
    m_head = m_tail = RingAdd(index, 0);
}

void SwitchLink::advance(int n)
{
    m_head = RingAdd(m_head, n);
}

void SwitchLink::appendByte(quint8 b)
{
    // Full ring: the oldest byte goes and the dispatcher hunts for the next
    // sync byte from wherever the head now stands.
    if (RingCount() == RingSize - 1) {
        m_head = RingAdd(m_head, 1);
        ++m_dropped;
    }
    m_buf[size_t(m_tail)] = b;
    m_tail = RingAdd(m_tail, 1);
}

QByteArray SwitchLink::copyOut(int from, int len) const
{
    QByteArray out(len, Qt::Uninitialized);
    int i = RingAdd(m_head, from);
    for (int k = 0; k < len; ++k) {
        out[k] = char(m_buf[size_t(i)]);
        i = RingAdd(i, 1);
    }
    return out;
}

void SwitchLink::mscPort_OnComm()
{
    ReceiveBytes(mscPort.readAll());
}

void SwitchLink::ReceiveBytes(const QByteArray &bytes)
{
    const int size = int(bytes.size());
    int pos = 0;
    while (pos < size) {
        // Never take more than fits, so a large read loses nothing while the
        // dispatcher can drain between the pieces. While a pass is running
        // nothing drains; then the ring's overflow rule applies.
        int room = (RingSize - 1) - RingCount();
        if (m_busy || room == 0)
            room = size - pos;
        const int n = qMin(room, size - pos);
        for (int k = 0; k < n; ++k)
            appendByte(quint8(bytes[pos + k]));
        pos += n;
        processRing();
    }
}

void SwitchLink::processRing()
{
    if (m_busy)
        return;
    // A block receiver may end the dump and a handler may start one, so run
    // again whenever the mode changed underneath.
    for (;;) {
        const bool dump = DumpMode;
        if (dump)
            collectDump();
        else if (DispatcherIdle)
            DispatchFrames();
        else
            return;
        if (DumpMode == dump)
            return;
    }
}

void SwitchLink::collectDump()
{
    m_busy = true;
    while (DumpMode) {
        // Skip to the number byte of the block expected next.
        while (m_head != m_tail && RingByte(0) != DumpBlockNo)
            advance(1);
        const int count = RingCount();
        if (count == 0)
            break;
        // Block 0 starts with 0x00, which stray bytes before it may also be;
        // its data byte 4 is always 0x67, which tells the real start.
        if (DumpBlockNo == 0) {
            if (count < 7)
                break;
            if (RingByte(5) != 0x67) {
                advance(1);
                continue;
            }
        }
        if (count < DumpBlockLength)
            break;
        const QString text = BytesToHex(copyOut(1, DumpBlockLength - 1));
        advance(DumpBlockLength);
        LinkSilence = 0;
        if (!m_dumpReceiver)
            continue;
        try {
            m_dumpReceiver->DecodeParameterBlock(text);
        } catch (const std::exception &e) {
            qWarning("dump block %d not decoded: %s", int(DumpBlockNo), e.what());
        } catch (...) {
            qWarning("dump block %d not decoded", int(DumpBlockNo));
        }
    }
    m_busy = false;
}

void SwitchLink::DispatchFrames()
{
    if (m_busy)
        return;
    m_busy = true;
    DispatcherIdle = false;
    while (m_head != m_tail && !DumpMode) {
        while (m_head != m_tail && RingByte(0) != Frame::Sync)
            advance(1);
        const int count = RingCount();
        if (count < 2)
            break;
        const quint8 type = RingByte(1);
        const int length = FrameLength(type);
        if (length == 0) {
            advance(1);   // not a frame: drop the sync byte only
            continue;
        }
        if (count < length)
            break;        // partial frame: wait for more bytes
        const QByteArray frame = copyOut(0, length);
        const qint64 droppedBefore = m_dropped;
        int consume = length;
        try {
            consume = runFrame(type, frame);
        } catch (const std::exception &e) {
            qWarning("frame %02X failed: %s", unsigned(type), e.what());
        } catch (...) {
            qWarning("frame %02X failed", unsigned(type));
        }
        consume = qBound(1, consume, length);
        // Bytes of this frame that an overflow pushed out while the handler
        // ran are gone already.
        const qint64 lost = m_dropped - droppedBefore;
        if (consume > lost)
            advance(int(consume - lost));
    }
    DispatcherIdle = true;
    m_busy = false;
}

int SwitchLink::runFrame(quint8 type, const QByteArray &frame)
{
    const int length = int(frame.size());
    switch (type) {
    case Frame::CallRecord:
        return m_handlers ? m_handlers->ProcessCallRecord(frame) : length;
    case Frame::LinkRequest:
        SendAck();
        SetLinkUp(true);
        return length;
    case Frame::TrunkReleased:
        if (m_handlers) m_handlers->OnTrunkReleased(frame);
        return length;
    case Frame::TrunkSeized:
        if (m_handlers) m_handlers->OnTrunkSeized(frame);
        return length;
    case Frame::LinkAlive:
        OnLinkAlive();
        return length;
    case Frame::CallerId:
        if (m_handlers) m_handlers->OnCallerId(frame);
        return length;
    case Frame::Nak:
        return length;
    case Frame::TrunkRinging:
        if (m_handlers) m_handlers->OnTrunkRinging(frame);
        return length;
    case Frame::TrunkUserChange:
        if (m_handlers) m_handlers->OnTrunkUserChange(frame);
        return length;
    case Frame::TrunkDialled:
        if (m_handlers) m_handlers->OnTrunkDialled(frame);
        return length;
    case Frame::Fault:
        // Shown without blocking: frames keep arriving while the box is open.
        m_ctx.messages.notify(QStringLiteral("系统检测到重要故障，故障代码为-->")
                                  + QString::number(quint8(frame[2]), 16).toUpper(),
                              QStringLiteral("系统故障"), MessageService::Icon::Critical);
        return length;
    case Frame::Ack:
        SetLinkUp(true);
        return length;
    case Frame::Unused56:
        return length;
    case Frame::TrunkAnswer:
        if (m_handlers) m_handlers->OnTrunkAnswer(frame);
        return length;
    default:
        return 1;
    }
}

void SwitchLink::OnLinkAlive()
{
    SetLinkUp(true);
    LinkSilence = 0;
    emit statusText(kLinkOk);
}

void SwitchLink::SetLinkUp(bool up)
{
    if (m_linkUp == up)
        return;
    m_linkUp = up;
    emit linkUpChanged(up);
}

// ---- timers -------------------------------------------------------------------

void SwitchLink::StartTimers()
{
    tmrState.start();
    tmrQuest.start();
}

void SwitchLink::StopTimers()
{
    tmrState.stop();
    tmrQuest.stop();
}

void SwitchLink::tmrState_Timer()
{
    if (LinkSilence < SilenceLimit) {
        ++LinkSilence;
        return;
    }
    SetLinkUp(false);
    emit statusText(kLinkError);
}

void SwitchLink::tmrQuest_Timer()
{
    const int hhmm = m_ctx.clock.now().time().toString(QStringLiteral("HHmm")).toInt();
    if (!LinkUp()) {
        // A port that could not be opened (an adapter plugged in later, a
        // device that went away) is tried again before each probe.
        if (!mscPort.isOpen() && m_portNumber >= 1 && m_portNumber <= PortCount)
            OpenPort(m_portNumber);
        SendClock();
        return;
    }
    Recordset config(m_ctx.db, QStringLiteral("SWTConfig"));
    const bool resetEnabled = config.value(col::SWTConfig::NightReset).trimmed() == QLatin1String("1");
    if (resetEnabled && hhmm < 500 && !NightResetDone) {
        for (const TrunkRecord &t : TrunkState) {
            if (t.State != 0)
                return;   // a call is in progress: try again next tick
        }
        NightResetDone = true;
        SendNightReset();
    } else if (hhmm > 500) {
        NightResetDone = false;
    }
}

// ---- commands -------------------------------------------------------------------

void SwitchLink::SendHex(const QString &hex)
{
    if (!mscPort.isOpen())
        return;
    const QByteArray bytes = HexToBytes(hex);
    if (!bytes.isEmpty())
        mscPort.write(bytes);
}

void SwitchLink::SendStarCommand(const QString &code)
{
    SendHex(PackStarCode(code));
}

void SwitchLink::SendClock()
{
    SendHex(ClockCommand(m_ctx.clock.now()));
}

QByteArray SwitchLink::OutwardBytes(const QString &record)
{
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid()) {
        qWarning("GB18030 encoder not available");
        return {};
    }
    return encoder.encode(record);
}

void SwitchLink::SendOutward(const QString &record)
{
    if (!mscOut.isOpen())
        return;
    const QByteArray bytes = OutwardBytes(record);
    if (!bytes.isEmpty())
        mscOut.write(bytes);
}

void SwitchLink::Pause(double seconds)
{
    const qint64 total = qMax<qint64>(0, qRound64(seconds * 1000.0));
    const qint64 start = m_ctx.clock.monotonicMs();
    // A test clock does not move by itself: move it here, in small steps with
    // events processed between them, as real time would.
    auto *testClock = dynamic_cast<TestClock *>(&m_ctx.clock);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const qint64 elapsed = m_ctx.clock.monotonicMs() - start;
        if (elapsed >= total)
            break;
        const qint64 rest = total - elapsed;
        if (testClock) {
            if (m_testRealWaitMs > 0)
                waitReal(m_testRealWaitMs);
            testClock->advanceMs(qMin(rest, kTestPauseStepMs));
        } else {
            waitReal(qMin(rest, kPauseSliceMs));
        }
    }
}

// ---- port search -------------------------------------------------------------------

void SwitchLink::SearchPort()
{
    for (int n = 1; n <= PortCount && !LinkUp(); ++n) {
        if (!OpenPort(n))
            continue;
        emit portSelected(n);
        SendClock();
        Pause(0.5);
    }
}

void SwitchLink::SearchAgain()
{
    if (!m_busy)
        DispatcherIdle = true;
    SearchPort();
}

bool SwitchLink::OpenLinkOnLoad()
{
    if (!m_busy)
        DispatcherIdle = true;
    SearchPort();
    Recordset config(m_ctx.db, QStringLiteral("SWTConfig"));
    if (LinkUp()) {
        emit statusText(kLinkOk);
        (void)SetField(config, col::SWTConfig::SwitchPort, QString::number(m_portNumber));
    } else {
        emit statusText(kLinkError);
        // The stored port stays open so that the watchdog and the probe can
        // bring the link up when the switch starts talking.
        int n = m_portNumber;
        if (auto stored = config.field(col::SWTConfig::SwitchPort))
            n = int(ValInt(*stored));
        OpenPort(n);
    }
    if (auto outPort = config.field(col::SWTConfig::OutwardPort)) {
        m_outPortNumber = int(ValInt(*outPort));
        if (config.value(col::SWTConfig::OutwardOn).trimmed() == QLatin1String("1"))
            OpenOutPort(m_outPortNumber);
    }
    return LinkUp();
}

} // namespace corvane
