#pragma once
#include "FrameHandlers.h"

#include <QByteArray>
#include <array>

namespace corvane {

// Receiver of the frames that concern the link itself rather than calls:
// link request, acknowledgement, link-alive, switch fault, and each dump
// block (a sign of life as well).
class LinkFrameReceiver {
public:
    virtual ~LinkFrameReceiver() = default;
    virtual void OnLinkRequest() = 0;      // FF E1
    virtual void OnAck() = 0;              // FF 5A
    virtual void OnLinkAlive() = 0;        // FF B2 xx
    virtual void OnFault(quint8 code) = 0; // FF 62 code
    virtual void OnDumpBlock() = 0;        // a 258-byte dump block was cut
    // Any complete frame, before it is handled: the switch was heard.
    virtual void OnFrame() {}
};

// The receive ring and its dispatcher, free of any port: bytes go in, frames
// come out to the FrameHandlers, the link's own frames to the
// LinkFrameReceiver, dump blocks to the ParameterBlockReceiver.
//
// Received bytes go into a 512-byte ring (at most 511 unread). A dispatch pass
// cuts them into frames (sync 0xFF, type byte, fixed length per type) and hands
// each complete frame on; a partial frame stays in the ring until more bytes
// arrive. While DumpMode is set the ring is cut into dump blocks instead.
// Bytes that arrive while a pass runs (a handler let events through) are only
// appended; the running pass picks them up.
class FrameRing {
public:
    explicit FrameRing(LinkFrameReceiver *link = nullptr) : m_link(link) {}

    void ReceiveBytes(const QByteArray &bytes);
    // One dispatch pass; does nothing when a pass is already running.
    void DispatchFrames();
    // A dispatch pass or a dump collection is running.
    bool isBusy() const { return m_busy; }

    int RecvHead() const { return m_head; }
    int RecvTail() const { return m_tail; }
    int RingCount() const;
    // Byte at offset k from RecvHead.
    quint8 RingByte(int k) const;
    // Empties the ring and puts both indexes at `index` (0..511).
    void ResetRing(int index = 0);
    // Drops every unread byte, and the rest of a piece ReceiveBytes is taking
    // in at the moment (a block receiver that gives the dump up mid-piece).
    void DropUnread();
    // Bytes dropped because the ring was full.
    qint64 OverflowDropped() const { return m_dropped; }

    void setFrameHandlers(FrameHandlers *handlers) { m_handlers = handlers; }
    FrameHandlers *frameHandlers() const { return m_handlers; }
    void setParameterBlockReceiver(ParameterBlockReceiver *receiver) { m_dumpReceiver = receiver; }
    void setLinkFrameReceiver(LinkFrameReceiver *link) { m_link = link; }

    // False only while a dispatch pass runs.
    bool DispatcherIdle = true;
    // Set while the switch sends its parameter dump; no event frames then.
    bool DumpMode = false;
    // Number of the dump block expected next.
    quint8 DumpBlockNo = 0;

private:
    void processRing();
    void collectDump();
    void appendByte(quint8 b);
    void advance(int n);
    QByteArray copyOut(int from, int len) const;
    int runFrame(quint8 type, const QByteArray &frame);

    LinkFrameReceiver *m_link = nullptr;
    FrameHandlers *m_handlers = nullptr;
    ParameterBlockReceiver *m_dumpReceiver = nullptr;

    std::array<quint8, 512> m_buf{};
    int m_head = 0;
    int m_tail = 0;
    qint64 m_dropped = 0;
    bool m_busy = false;
    bool m_dropRest = false;
};

} // namespace corvane
