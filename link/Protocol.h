#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace corvane {

// Byte building of the switch protocol, kept free of any port so that every
// command can be checked byte by byte.
//
// Commands travel as texts of hexadecimal digit pairs and become bytes only
// when written; there is no sync byte, length or escaping on the way out.

// Bytes of a hex text: one byte per digit pair, a trailing single digit is
// ignored. A pair is read leniently: its leading hexadecimal digits count, the
// first other character ends it ("1Z" gives 1, "Z1" gives 0).
QByteArray HexToBytes(const QString &hex);

// Upper-case hex text of bytes, two digits each.
QString BytesToHex(const QByteArray &bytes);

// Sum of the digit pairs modulo 256, as two upper-case hex digits.
QString HexChecksum(const QString &hex);

// Star code as keyed on a telephone ("*10*3*201#") packed into the hex text
// the switch takes: each field opened by 0B, digits as nibbles with 0 sent as
// A, odd fields padded with a leading 0 nibble, closed by 0C.
QString PackStarCode(const QString &code);

// The clock-setting command for the given local time: E8, YY MM DD as BCD,
// the weekday (01 Monday .. 07 Sunday), HH MM as BCD, and the checksum.
QString ClockCommand(const QDateTime &when);

// Total length of a frame from the switch by its type byte (sync and type
// included); 0 for a type the console does not know.
int FrameLength(quint8 type);

// Unread bytes of a ring of `size` bytes read at head and written at tail.
int RingCount(int head, int tail, int size);

// Fixed commands.
namespace Command {
inline const QString Ack = QStringLiteral("5A");
inline const QString Nak = QStringLiteral("A5");
inline const QString Dump = QStringLiteral("66");
inline const QString NightReset = QStringLiteral("234598");
inline const QString UserWindowOpen = QStringLiteral("3100");
inline const QString UserWindowClose = QStringLiteral("11");
inline const QString ProgramExit = QStringLiteral("11F1");
} // namespace Command

// Type bytes of the frames the switch sends.
namespace Frame {
constexpr quint8 Sync = 0xFF;
constexpr quint8 CallRecord = 0xFE;
constexpr quint8 LinkRequest = 0xE1;
constexpr quint8 TrunkReleased = 0xD2;
constexpr quint8 TrunkSeized = 0xC4;
constexpr quint8 LinkAlive = 0xB2;
constexpr quint8 CallerId = 0xA8;
constexpr quint8 Nak = 0xA5;
constexpr quint8 TrunkRinging = 0xA2;
constexpr quint8 TrunkUserChange = 0x94;
constexpr quint8 TrunkDialled = 0x78;
constexpr quint8 Fault = 0x62;
constexpr quint8 Ack = 0x5A;
constexpr quint8 Unused56 = 0x56;
constexpr quint8 TrunkAnswer = 0x44;
constexpr int CallRecordLength = 23;
} // namespace Frame

// A parameter dump block on the wire: number byte, 256 data bytes, checksum.
constexpr int DumpBlockLength = 258;

} // namespace corvane
