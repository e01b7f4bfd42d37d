#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Byte-exact frames that the switch sends to the console. Pure functions: no
// device, no clock, so that tests can hold them against bytes written by hand.
namespace corvane::sim {

// Type bytes of the frames from the switch (the byte after the 0xFF sync byte).
namespace FrameType {
constexpr quint8 Sync = 0xFF;
constexpr quint8 CallRecord = 0xFE;
constexpr quint8 LinkRequest = 0xE1;
constexpr quint8 TrunkReleased = 0xD2;
constexpr quint8 TrunkSeized = 0xC4;
constexpr quint8 LinkAlive = 0xB2;
constexpr quint8 CallerId = 0xA8;
constexpr quint8 Reserved2 = 0xA5;
constexpr quint8 TrunkRinging = 0xA2;
constexpr quint8 TrunkUserChange = 0x94;
constexpr quint8 TrunkDialled = 0x78;
constexpr quint8 Fault = 0x62;
constexpr quint8 Acknowledge = 0x5A;
constexpr quint8 Reserved7 = 0x56;
constexpr quint8 TrunkAnswer = 0x44;
} // namespace FrameType

// One finished outgoing call as the switch reports it.
// Fields in frame order, so a record can be written as one braced list:
// {trunk, line, account, month, day, hour, minute, duration, called, spare}.
struct CallRecordData {
    int trunk = 1;        // 6 bits
    int line = 0;         // physical port of the caller, or the account number (10 bits)
    bool account = false; // the call was made with an account code
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    quint16 duration = 0; // as the switch counts it
    QString called;       // up to 14 dialled digits
    QByteArray spare{};   // frame bytes 17..21, zero-filled when shorter

    void setEnd(const QDateTime &end);
};

namespace Frames {

constexpr int CallRecordLength = 23;
constexpr int DumpBlockLength = 258;
constexpr int DumpDataLength = 256;

// Total length of a frame of this type, sync and type included; 0 when the
// console does not know the type.
int frameLength(quint8 type);

quint8 bcd(int value); // 42 -> 0x42
int fromBcd(quint8 value, bool *ok = nullptr);
quint8 byteSum(const QByteArray &bytes, int from, int to); // inclusive, mod 256

// Dial digits as nibbles, high nibble first: '0' is 0xA, '1'..'9' as such,
// 'B'..'F' stand for themselves; 0x0 fills the rest. Left-aligned: the first
// digit goes into the high nibble of the first byte. Extra digits are cut.
QByteArray packDigits(const QString &digits, int nibbles);
// The same, right-aligned with leading filler (as the parameter memory keeps numbers).
QByteArray packDigitsRight(const QString &digits, int nibbles);
// The reverse: 0xA is '0', 0x0 is filler and dropped, 0xB..0xF give letters.
QString unpackDigits(const QByteArray &bytes);

QByteArray linkRequest();             // FF E1
QByteArray acknowledge();             // FF 5A
QByteArray linkAlive(quint8 counter); // FF B2 xx
QByteArray fault(quint8 code);        // FF 62 code
QByteArray callRecord(const CallRecordData &record);
QByteArray trunkRinging(int trunk);                                  // FF A2 t
QByteArray callerId(int trunk, const QString &number);               // FF A8 t + 12 nibbles
QByteArray trunkSeized(int trunk, int port);                         // FF C4 t 00 p
QByteArray trunkDialled(int trunk, int port, const QString &digits); // FF 78 t 00 p + 8 nibbles
QByteArray trunkUserChange(int port, int trunk);                     // FF 94 00 p t
QByteArray trunkAnswer(int port, int trunk);                         // FF 44 00 p t
QByteArray trunkReleased(int trunk);                                 // FF D2 t

// A call record whose checksum is off by one (fault injection).
QByteArray corruptChecksum(const QByteArray &frame);

// One parameter dump block: number, 256 data bytes, checksum
// (number + data) mod 256. Data shorter than 256 bytes is zero-filled.
QByteArray dumpBlock(int blockNumber, const QByteArray &data);

// "FF 5A" for logs and test messages.
QString toHex(const QByteArray &bytes);
QByteArray fromHex(const QString &text); // spaces allowed

} // namespace Frames

// Cuts what the simulator sent back into frames, as a reader on the console
// side would: hunt for 0xFF, frame length by type byte, unknown types drop
// the sync byte. For tests and tools that watch the simulator's output.
class FrameReader {
public:
    QList<QByteArray> feed(const QByteArray &bytes);
    QByteArray pending() const { return m_buffer; }
    int discarded() const { return m_discarded; }

private:
    QByteArray m_buffer;
    int m_discarded = 0;
};

} // namespace corvane::sim
