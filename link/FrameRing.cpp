#include "FrameRing.h"
#include "General.h"
#include "Protocol.h"

#include <QString>
#include <exception>

namespace corvane {

int FrameRing::RingCount() const { return corvane::RingCount(m_head, m_tail, RingSize); }

quint8 FrameRing::RingByte(int k) const { return m_buf[size_t(RingAdd(m_head, k))]; }

void FrameRing::ResetRing(int index) { m_head = m_tail = RingAdd(index, 0); }

void FrameRing::DropUnread()
{
    m_head = m_tail;
    m_dropRest = true;
}

void FrameRing::advance(int n) { m_head = RingAdd(m_head, n); }

void FrameRing::appendByte(quint8 b)
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

QByteArray FrameRing::copyOut(int from, int len) const
{
    QByteArray out(len, Qt::Uninitialized);
    int i = RingAdd(m_head, from);
    for (int k = 0; k < len; ++k) {
        out[k] = char(m_buf[size_t(i)]);
        i = RingAdd(i, 1);
    }
    return out;
}

void FrameRing::ReceiveBytes(const QByteArray &bytes)
{
    const int size = int(bytes.size());
    int pos = 0;
    m_dropRest = false;
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
        if (m_dropRest) {
            m_dropRest = false;
            m_head = m_tail;
            return;
        }
    }
}

void FrameRing::processRing()
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

void FrameRing::collectDump()
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
        if (m_link)
            m_link->OnDumpBlock();
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

void FrameRing::DispatchFrames()
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
            advance(1); // not a frame: drop the sync byte only
            continue;
        }
        if (count < length)
            break; // partial frame: wait for more bytes
        const QByteArray frame = copyOut(0, length);
        if (m_link)
            m_link->OnFrame();
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

int FrameRing::runFrame(quint8 type, const QByteArray &frame)
{
    const int length = int(frame.size());
    switch (type) {
    case Frame::CallRecord: return m_handlers ? m_handlers->ProcessCallRecord(frame) : length;
    case Frame::LinkRequest:
        if (m_link)
            m_link->OnLinkRequest();
        return length;
    case Frame::TrunkReleased:
        if (m_handlers)
            m_handlers->OnTrunkReleased(frame);
        return length;
    case Frame::TrunkSeized:
        if (m_handlers)
            m_handlers->OnTrunkSeized(frame);
        return length;
    case Frame::LinkAlive:
        if (m_link)
            m_link->OnLinkAlive();
        return length;
    case Frame::CallerId:
        if (m_handlers)
            m_handlers->OnCallerId(frame);
        return length;
    case Frame::Nak: return length;
    case Frame::TrunkRinging:
        if (m_handlers)
            m_handlers->OnTrunkRinging(frame);
        return length;
    case Frame::TrunkUserChange:
        if (m_handlers)
            m_handlers->OnTrunkUserChange(frame);
        return length;
    case Frame::TrunkDialled:
        if (m_handlers)
            m_handlers->OnTrunkDialled(frame);
        return length;
    case Frame::Fault:
        if (m_link)
            m_link->OnFault(quint8(frame[2]));
        return length;
    case Frame::Ack:
        if (m_link)
            m_link->OnAck();
        return length;
    case Frame::Unused56: return length;
    case Frame::TrunkAnswer:
        if (m_handlers)
            m_handlers->OnTrunkAnswer(frame);
        return length;
    default: return 1;
    }
}

} // namespace corvane
