#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Turns the bytes the console writes to the switch back into commands. The
// console sends no sync byte and no length, so the decoder reads by the first
// byte: fixed commands, the 8-byte clock command and star codes (0x0B ... 0x0C).
// Pure and incremental: bytes may arrive in any pieces.
namespace corvane::sim {

struct Command {
    enum Kind {
        Ack,             // 5A
        Nak,             // A5
        DumpRequest,     // 66
        Clock,           // E8 + 6 bytes + checksum
        BadClock,        // E8 frame with a wrong checksum or impossible date
        NightReset,      // 23 45 98
        UserWindowOpen,  // 31 00
        UserWindowClose, // 11
        ProgramExit,     // 11 F1
        StarCode,        // 0B ... 0C
        BadStarCode,     // a star code with a byte that is no digit pair
        BlockTrunk,      // 62 tt
        Unknown          // one byte that starts no command
    };
    Kind kind = Unknown;
    QString text;               // as logged: "ACK", "CLOCK 2026-12-08 01:42 weekday 2", "*10*3*201#", ...
    QByteArray raw;             // the bytes of the command
    QDateTime clock;            // Clock: the date and time sent
    int weekday = 0;            // Clock: 1 Monday .. 7 Sunday, as sent
    bool weekdayMatches = true; // Clock: the weekday agrees with the date
    QString code;               // StarCode: same as text
    int trunk = 0;              // BlockTrunk
};

class CommandDecoder {
public:
    // Longest star code kept before it is given up as garbage.
    static constexpr int MaxStarCodeBytes = 64;

    QList<Command> feed(const QByteArray &bytes);
    // A lone 0x11 may still become 0x11 0xF1; call this when the line has
    // been quiet for a while to settle what is pending.
    QList<Command> flush();
    bool hasPending() const { return !m_pending.isEmpty(); }

    // Star-code bytes (starting with 0x0B, ending with 0x0C) to the digit text
    // "*10*3*201#". Returns an empty string when a byte is no digit pair.
    static QString decodeStarCode(const QByteArray &bytes);
    static Command decodeClock(const QByteArray &eightBytes);

private:
    // Tries to take one command from the front of m_pending. final: no more bytes will come.
    bool takeOne(QList<Command> &out, bool final);
    QByteArray m_pending;
};

} // namespace corvane::sim
