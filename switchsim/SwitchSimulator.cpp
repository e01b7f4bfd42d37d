#include "SwitchSimulator.h"
#include "Clock.h"
#include "PtyDevice.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

namespace corvane::sim {

SwitchSimulator::SwitchSimulator(Clock *clock, QObject *parent) : QObject(parent), m_clock(clock)
{
    if (!m_clock) {
        m_ownClock = std::make_unique<SystemClock>();
        m_clock = m_ownClock.get();
    }
    m_rng.seed(m_opt.seed);
    m_pollTimer.setInterval(10);
    connect(&m_pollTimer, &QTimer::timeout, this, &SwitchSimulator::poll);
}

SwitchSimulator::~SwitchSimulator() { stop(); }

void SwitchSimulator::setOptions(const Options &options)
{
    const bool wasSilent = m_opt.silent;
    m_opt = options;
    m_rng.seed(m_opt.seed);
    m_opt.silent = wasSilent;
    setSilent(options.silent);
}

qint64 SwitchSimulator::nowMs() const { return m_clock->monotonicMs(); }

QDateTime SwitchSimulator::switchTime() const { return m_clock->now().addSecs(m_clockOffsetSecs); }

bool SwitchSimulator::chance(double p)
{
    if (p <= 0)
        return false;
    if (p >= 1)
        return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < p;
}

// ---- devices -------------------------------------------------------------

bool SwitchSimulator::startPty(const QString &home, int port, QString *error)
{
    const QString previous = m_ownDevice ? slavePath() : m_lastSlavePath;
    auto pty = std::make_unique<PtyDevice>();
    if (!pty->openPty(error))
        return false;
    if (!previous.isEmpty() && pty->slavePath() == previous) {
        // The kernel handed out the old number again: take the next one while
        // this one is still held.
        auto other = std::make_unique<PtyDevice>();
        if (!other->openPty(error))
            return false;
        pty = std::move(other);
    }
    stop();
    const QString dir = QDir(home).absoluteFilePath(QStringLiteral("ports"));
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const QString link = dir + QStringLiteral("/COM%1").arg(port);
    const QFileInfo existing(link);
    if (existing.exists() || existing.isSymLink())
        QFile::remove(link); // a link left by an earlier run
    if (!QFile::link(pty->slavePath(), link)) {
        if (error)
            *error = QStringLiteral("cannot link %1 to %2").arg(link, pty->slavePath());
        return false;
    }
    m_linkPath = link;
    m_ownDevice = std::move(pty);
    attach(m_ownDevice.get());
    emit activity(QStringLiteral("link %1 -> %2").arg(link, slavePath()));
    return true;
}

bool SwitchSimulator::startSerial(const QString &deviceName, QString *error)
{
    stop();
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(deviceName);
    if (!port->open(QIODevice::ReadWrite)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(deviceName, port->errorString());
        return false;
    }
    port->setBaudRate(QSerialPort::Baud2400);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    m_ownDevice = std::move(port);
    attach(m_ownDevice.get());
    return true;
}

void SwitchSimulator::attach(QIODevice *device)
{
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = device;
    if (!device)
        return;
    connect(device, &QIODevice::readyRead, this, &SwitchSimulator::onReadyRead);
    if (auto *pty = qobject_cast<PtyDevice *>(device))
        connect(pty, &PtyDevice::peerOpenChanged, this, &SwitchSimulator::onPeerConnected);
    if (m_autoPoll)
        m_pollTimer.start();
    if (isPeerConnected())
        onPeerConnected(true);
}

void SwitchSimulator::stop()
{
    m_pollTimer.stop();
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = nullptr;
    if (!m_linkPath.isEmpty()) {
        // Only our own link goes; another simulator may have taken the name since.
        const QFileInfo fi(m_linkPath);
        if (fi.isSymLink() && fi.symLinkTarget() == slavePath())
            QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
    if (m_ownDevice) {
        m_lastSlavePath = slavePath();
        m_ownDevice->close();
    }
    m_ownDevice.reset();
    m_out.clear();
}

QString SwitchSimulator::slavePath() const
{
    if (auto *pty = qobject_cast<PtyDevice *>(m_ownDevice.get()))
        return pty->slavePath();
    return {};
}

bool SwitchSimulator::isPeerConnected() const
{
    if (!m_device || !m_device->isOpen())
        return false;
    if (auto *pty = qobject_cast<PtyDevice *>(m_device.data()))
        return pty->isPeerOpen();
    return true;
}

void SwitchSimulator::onPeerConnected(bool connected)
{
    emit peerConnectedChanged(connected);
    emit activity(connected ? QStringLiteral("link console connected") : QStringLiteral("link console gone"));
    if (!connected) {
        m_out.clear();
        if (m_dumpActive)
            endDump(false);
        m_decoder = CommandDecoder();
        return;
    }
    resetTimers();
    // A new console: ask it for the link first.
    requestLink();
    poll();
}

void SwitchSimulator::resetTimers()
{
    const qint64 now = nowMs();
    m_nextAliveMs = now + m_opt.linkAliveMs;
    m_nextLinkRequestMs = now + m_opt.linkRequestMs;
    if (m_recordInFlight)
        m_recordSentMs = now;
}

void SwitchSimulator::setAutoPoll(bool on)
{
    m_autoPoll = on;
    if (on && m_device)
        m_pollTimer.start();
    else
        m_pollTimer.stop();
}

void SwitchSimulator::setSilent(bool silent)
{
    if (silent == m_opt.silent)
        return;
    m_opt.silent = silent;
    emit activity(silent ? QStringLiteral("link silent") : QStringLiteral("link speaking again"));
    if (!silent) {
        m_nextAliveMs = nowMs(); // say so at once
        if (m_recordInFlight)
            m_recordSentMs = nowMs();
        poll();
    }
}

// ---- sending -------------------------------------------------------------

bool SwitchSimulator::canSend() const { return !m_opt.silent && isPeerConnected(); }

void SwitchSimulator::transmit(const QByteArray &frame, const QString &what, bool noise)
{
    if (!canSend())
        return;
    QByteArray bytes;
    if (noise && !m_dumpActive && chance(m_opt.noiseRate)) {
        const int n = std::uniform_int_distribution<int>(1, 3)(m_rng);
        for (int i = 0; i < n; ++i)
            bytes.append(char(std::uniform_int_distribution<int>(0x00, 0xFE)(m_rng)));
    }
    bytes.append(frame);
    const qint64 now = nowMs();
    qint64 due = m_out.empty() ? now : qMax(now, m_out.back().dueMs);
    if (m_opt.split && bytes.size() > 1) {
        int pos = 0;
        while (pos < bytes.size()) {
            const int len = std::uniform_int_distribution<int>(1, qMax(1, int(bytes.size()) - pos))(m_rng);
            m_out.push_back({due, bytes.mid(pos, len)});
            pos += len;
            due += std::uniform_int_distribution<int>(0, qMax(0, m_opt.splitMaxDelayMs))(m_rng);
        }
    } else {
        m_out.push_back({due, bytes});
    }
    emit activity(QStringLiteral("tx %1: %2").arg(what, Frames::toHex(bytes)));
    flushOutput();
}

void SwitchSimulator::flushOutput()
{
    const qint64 now = nowMs();
    while (!m_out.empty() && m_out.front().dueMs <= now) {
        if (m_device && m_device->isOpen())
            m_device->write(m_out.front().bytes);
        m_out.pop_front();
    }
}

void SwitchSimulator::sendEvent(const QByteArray &frame, const QString &what)
{
    if (m_dumpActive) {
        // The console reads nothing but dump blocks now; the event follows the dump.
        m_deferred.push_back(frame);
        return;
    }
    transmit(frame, what);
}

void SwitchSimulator::sendTrunkRinging(int trunk)
{
    sendEvent(Frames::trunkRinging(trunk), QStringLiteral("ringing trunk %1").arg(trunk));
}
void SwitchSimulator::sendCallerId(int trunk, const QString &number)
{
    sendEvent(Frames::callerId(trunk, number), QStringLiteral("caller %1 on trunk %2").arg(number).arg(trunk));
}
void SwitchSimulator::sendTrunkSeized(int trunk, int port)
{
    sendEvent(Frames::trunkSeized(trunk, port), QStringLiteral("port %1 seizes trunk %2").arg(port).arg(trunk));
}
void SwitchSimulator::sendTrunkDialled(int trunk, int port, const QString &digits)
{
    sendEvent(Frames::trunkDialled(trunk, port, digits),
              QStringLiteral("port %1 dials %2 on trunk %3").arg(port).arg(digits).arg(trunk));
}
void SwitchSimulator::sendTrunkUserChange(int port, int trunk)
{
    sendEvent(Frames::trunkUserChange(port, trunk), QStringLiteral("port %1 takes over trunk %2").arg(port).arg(trunk));
}
void SwitchSimulator::sendTrunkAnswer(int port, int trunk)
{
    sendEvent(Frames::trunkAnswer(port, trunk), QStringLiteral("port %1 answers trunk %2").arg(port).arg(trunk));
}
void SwitchSimulator::sendTrunkReleased(int trunk)
{
    sendEvent(Frames::trunkReleased(trunk), QStringLiteral("trunk %1 released").arg(trunk));
}
void SwitchSimulator::sendFault(quint8 code)
{
    sendEvent(Frames::fault(code), QStringLiteral("fault %1").arg(code, 2, 16, QLatin1Char('0')));
}
void SwitchSimulator::sendRaw(const QByteArray &bytes) { sendEvent(bytes, QStringLiteral("raw")); }

void SwitchSimulator::requestLink()
{
    m_linkAnswered = false;
    m_nextLinkRequestMs = nowMs() + m_opt.linkRequestMs;
    if (!m_dumpActive)
        transmit(Frames::linkRequest(), QStringLiteral("link request"));
}

void SwitchSimulator::queueCallRecord(const CallRecordData &record)
{
    PendingRecord r;
    r.data = record;
    enqueue(r);
    poll();
}

void SwitchSimulator::enqueue(const PendingRecord &record)
{
    m_records.push_back(record);
    while (int(m_records.size()) > qMax(1, m_opt.maxPendingRecords)) {
        // The switch's store is full: the oldest record not on the line is lost.
        m_records.erase(m_records.begin() + (m_recordInFlight ? 1 : 0));
        ++m_recordsDiscarded;
    }
}

void SwitchSimulator::sendRecord(bool repeat)
{
    PendingRecord &r = m_records.front();
    if (r.frame.isEmpty()) {
        if (r.endNow)
            r.data.setEnd(switchTime());
        r.frame = Frames::callRecord(r.data);
    }
    QByteArray bytes = r.frame;
    QString what = QStringLiteral("call record%1 trunk %2 %3 %4")
                       .arg(repeat ? QStringLiteral(" (again)") : QString())
                       .arg(r.data.trunk)
                       .arg(r.data.account ? QStringLiteral("account") : QStringLiteral("port"))
                       .arg(r.data.line);
    if (chance(m_opt.badChecksumRate)) {
        bytes = Frames::corruptChecksum(bytes);
        ++m_recordsCorrupted;
        what += QStringLiteral(" with a wrong checksum");
    }
    transmit(bytes, what);
    m_recordInFlight = true;
    m_recordSentMs = nowMs();
    if (repeat)
        ++m_recordsResent;
    else
        ++m_recordsSent;
}

void SwitchSimulator::sendDumpBlock()
{
    QByteArray block = Frames::dumpBlock(m_dumpBlock, m_memory.block(m_dumpBlock));
    QString what = QStringLiteral("dump block %1").arg(m_dumpBlock);
    if (chance(m_opt.badBlockRate)) {
        block = Frames::corruptChecksum(block);
        what += QStringLiteral(" with a wrong checksum");
    }
    transmit(block, what, false);
    m_dumpSentMs = nowMs();
    ++m_dumpBlocksSent;
}

void SwitchSimulator::endDump(bool complete)
{
    m_dumpActive = false;
    if (complete)
        ++m_dumpsCompleted;
    emit activity(complete ? QStringLiteral("dump complete")
                           : QStringLiteral("dump abandoned at block %1").arg(m_dumpBlock));
    resetTimers();
    while (!m_deferred.empty()) {
        transmit(m_deferred.front(), QStringLiteral("held back during the dump"));
        m_deferred.pop_front();
    }
    emit dumpFinished(complete);
}

// ---- receiving -----------------------------------------------------------

void SwitchSimulator::onReadyRead()
{
    if (!m_device)
        return;
    const QByteArray bytes = m_device->readAll();
    if (bytes.isEmpty())
        return;
    m_lastRxMs = nowMs();
    for (const Command &c : m_decoder.feed(bytes))
        handle(c);
}

void SwitchSimulator::handle(const Command &c)
{
    m_received.append(c.text);
    emit activity(QStringLiteral("rx %1").arg(c.text));
    emit commandReceived(c.text);

    switch (c.kind) {
    case Command::Ack:
        if (!m_linkAnswered && !m_dumpActive) {
            // The answer to our link request. The console answers it with the
            // 5A that also acknowledges records: taken for the record's, it
            // would drop a record the console never got (the one on the line
            // when a re-plugged console went away). That record goes again.
            m_linkAnswered = true;
            break;
        }
        m_linkAnswered = true;
        if (m_dumpActive) {
            ++m_dumpBlock;
            if (m_dumpBlock >= ParameterMemory::BlockCount)
                endDump(true);
            else
                sendDumpBlock();
        } else if (m_recordInFlight) {
            if (chance(m_opt.dropAckRate)) {
                ++m_acksDropped;
                emit activity(QStringLiteral("link acknowledgement taken as lost"));
                break;
            }
            m_records.pop_front();
            m_recordInFlight = false;
            ++m_recordsAcked;
            emit recordAcknowledged(m_recordsAcked);
            poll(); // the next record goes out at once
        }
        break;
    case Command::Nak:
        if (m_dumpActive) {
            ++m_dumpNaks;
            sendDumpBlock();
        }
        break;
    case Command::DumpRequest:
        if (!canSend())
            break;
        m_dumpActive = true;
        m_dumpBlock = 0;
        m_memory.setClock(switchTime());
        sendDumpBlock();
        break;
    case Command::Clock:
        m_clockOffsetSecs = m_clock->now().secsTo(c.clock);
        transmit(Frames::acknowledge(), QStringLiteral("clock acknowledged"));
        break;
    case Command::StarCode: {
        const ParameterMemory::Outcome o = m_memory.apply(c.code);
        emit activity(QStringLiteral("memory %1").arg(o.note));
        emit starCodeApplied(c.code, o.applied, o.note);
        break;
    }
    case Command::BlockTrunk:
        if (m_opt.blockReleasesTrunk && c.trunk >= 1)
            sendTrunkReleased(c.trunk);
        break;
    default: break; // logged only
    }
}

void SwitchSimulator::setMemoryByte(int block, int offset, quint8 value)
{
    const quint8 before = m_memory.byte(block, offset);
    m_memory.setByte(block, offset, value);
    emit activity(QStringLiteral("memory block %1 byte %2: %3 -> %4")
                      .arg(block)
                      .arg(offset)
                      .arg(before, 2, 16, QLatin1Char('0'))
                      .arg(value, 2, 16, QLatin1Char('0')));
}

// ---- time ----------------------------------------------------------------

void SwitchSimulator::playScenario(const Scenario &scenario)
{
    m_scenario = scenario;
    m_cycleStartMs = nowMs();
    m_nextEvent = 0;
    poll();
}

bool SwitchSimulator::scenarioFinished() const
{
    return !m_scenario || (m_scenario->repeatMs == 0 && m_nextEvent >= m_scenario->events.size());
}

void SwitchSimulator::fireScenarioEvent(const ScenarioEvent &e)
{
    switch (e.kind) {
    case ScenarioEvent::Ring: sendTrunkRinging(e.trunk); break;
    case ScenarioEvent::CallerId: sendCallerId(e.trunk, e.digits); break;
    case ScenarioEvent::Seize: sendTrunkSeized(e.trunk, e.port); break;
    case ScenarioEvent::Dial: sendTrunkDialled(e.trunk, e.port, e.digits); break;
    case ScenarioEvent::Takeover: sendTrunkUserChange(e.port, e.trunk); break;
    case ScenarioEvent::Answer: sendTrunkAnswer(e.port, e.trunk); break;
    case ScenarioEvent::Release: sendTrunkReleased(e.trunk); break;
    case ScenarioEvent::Fault: sendFault(e.code); break;
    case ScenarioEvent::LinkRequest: requestLink(); break;
    case ScenarioEvent::Raw: sendRaw(e.raw); break;
    case ScenarioEvent::Silence: setSilent(e.on); break;
    case ScenarioEvent::SetByte: setMemoryByte(e.block, e.offset, e.value); break;
    case ScenarioEvent::Record: {
        PendingRecord r;
        r.data = e.record;
        r.endNow = e.recordEndNow;
        enqueue(r);
        break;
    }
    }
}

void SwitchSimulator::poll()
{
    // A console that opened the port since the last look is served now, not
    // only at the pseudo-terminal's own next look.
    if (auto *pty = qobject_cast<PtyDevice *>(m_device.data()); pty && !pty->isPeerOpen())
        pty->pollPeer();
    const qint64 now = nowMs();
    flushOutput();

    if (m_decoder.hasPending() && now - m_lastRxMs >= m_opt.quietFlushMs)
        for (const Command &c : m_decoder.flush())
            handle(c);

    if (m_dumpActive && now - m_dumpSentMs >= m_opt.dumpTimeoutMs)
        endDump(false);

    if (m_scenario) {
        const auto &events = m_scenario->events;
        for (;;) {
            if (m_nextEvent < events.size() && now >= m_cycleStartMs + events[m_nextEvent].atMs) {
                fireScenarioEvent(events[m_nextEvent++]);
                continue;
            }
            if (m_nextEvent >= events.size() && m_scenario->repeatMs > 0
                && now >= m_cycleStartMs + m_scenario->repeatMs) {
                m_cycleStartMs += m_scenario->repeatMs;
                m_nextEvent = 0;
                continue;
            }
            break;
        }
    }

    if (!canSend() || m_dumpActive)
        return;
    if (!m_linkAnswered && m_opt.linkRequestMs > 0 && now >= m_nextLinkRequestMs)
        requestLink();
    if (m_opt.linkAliveMs > 0 && now >= m_nextAliveMs) {
        m_nextAliveMs = now + m_opt.linkAliveMs;
        transmit(Frames::linkAlive(m_aliveCounter++), QStringLiteral("link alive"));
    }
    if (m_recordInFlight) {
        if (now - m_recordSentMs >= m_opt.resendTimeoutMs)
            sendRecord(true);
    } else if (!m_records.empty()) {
        sendRecord(false);
    }
}

} // namespace corvane::sim
