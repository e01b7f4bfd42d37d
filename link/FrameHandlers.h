#pragma once
#include <QByteArray>
#include <QString>

namespace corvane {

// Receivers of the event frames the switch sends. Each gets the complete
// frame, sync byte (offset 0) and type byte (offset 1) included, copied out of
// the receive ring; the dispatcher moves the ring on, so a handler never
// touches the ring itself.
//
// A handler that throws does not stop the dispatcher: its frame counts as
// consumed and the next frame is dispatched.
class FrameHandlers {
public:
    virtual ~FrameHandlers() = default;

    // 23-byte call record. Returns how many bytes to consume: 23 when the frame
    // was taken, 1 when its checksum is wrong (the sync byte is dropped and the
    // hunt goes on at the next byte). The handler acknowledges the record
    // itself, once it is stored.
    virtual int ProcessCallRecord(const QByteArray &frame) = 0;

    // Trunk and caller-ID events; a receiver that has no use for them (a test,
    // a benchmark of the intake) leaves them as they are: the frame is dropped.
    virtual void OnTrunkReleased(const QByteArray &) {}   // 0xD2, 3 bytes
    virtual void OnTrunkSeized(const QByteArray &) {}     // 0xC4, 5 bytes
    virtual void OnCallerId(const QByteArray &) {}        // 0xA8, 9 bytes
    virtual void OnTrunkRinging(const QByteArray &) {}    // 0xA2, 3 bytes
    virtual void OnTrunkUserChange(const QByteArray &) {} // 0x94, 5 bytes
    virtual void OnTrunkDialled(const QByteArray &) {}    // 0x78, 9 bytes
    virtual void OnTrunkAnswer(const QByteArray &) {}     // 0x44, 5 bytes
};

// Receiver of the parameter dump: one call per 258-byte block, with the block
// (without its number byte) as 514 upper-case hex digits, checksum last. The
// receiver advances DumpBlockNo, acknowledges or rejects the block and clears
// DumpMode after the last one.
class ParameterBlockReceiver {
public:
    virtual ~ParameterBlockReceiver() = default;
    virtual void DecodeParameterBlock(const QString &blockHex) = 0;
};

} // namespace corvane
