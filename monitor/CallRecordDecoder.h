#pragma once
#include <QByteArray>
#include <QDate>
#include <QString>

namespace corvane {

// The 23-byte call record the switch sends at the end of every charged call,
// taken apart without touching the database. Offsets count from the sync byte:
//   0 FF, 1 FE, 2-3 line word (trunk in bits 15-10, port or account in 9-0),
//   4 month (BCD, low 5 bits), 5 day, 6 hour (BCD), 7 account flag (bit 7) and
//   minute (BCD, bits 6-0), 8-9 duration (big-endian), 10-16 fourteen dial
//   nibbles, 17-21 not used here, 22 sum of bytes 1..21 modulo 256.
namespace CallRecordFrame {
constexpr int Length = 23;
constexpr int FirstSummed = 1;
constexpr int LastSummed = 21;
constexpr int Checksum = 22;
} // namespace CallRecordFrame

// Whether the frame is whole and its checksum byte fits.
bool CallRecordChecksumOk(const QByteArray &frame);

// The bytes that identify one record when the switch sends it again (offsets
// 1 to 21), as upper-case hex.
QString CallRecordKey(const QByteArray &frame);

struct DecodedCall {
    int trunk = 0; // line word / 1024
    int line = 0;  // line word mod 1024: physical port or account number
    bool account = false;
    // The BCD bytes as their two hex digits, as the switch wrote them.
    QString month, day, hour, minute;
    int year = 0; // four digits, from the console's date
    quint16 duration = 0;
    QString called; // dialled digits, filler dropped

    // "2026年12月08日23时30分"
    QString endTime() const;
    // "202612082330", as the outward copy carries the end time.
    QString endTimeDigits() const;
};

// Decodes a whole frame (checksum not checked here). The year is the one of
// `today`, except that a record whose month lies after today's month ended in
// the previous year (a call that ended just before midnight of 31 December and
// arrives after it).
DecodedCall DecodeCallRecord(const QByteArray &frame, const QDate &today);

// Drops the indirect-office digit: when the trunk's outgoing mode is "间局" and
// the number begins with the trunk's indirect-office direction, that first
// character goes.
QString StripIndirectOffice(const QString &called, const QString &outgoingMode, const QString &direction);

// The line of the monthly call-record file (without its CR LF).
QString CallFileLine(const QString &caller, const QString &called, const QString &duration, const QString &endTime,
                     const QString &fee);

// The outward copy: "$FEE,caller,YYYYMMDDHHMM,duration,fee,called#" CR LF,
// the fee in the short form that keeps the point of a whole amount ("3.").
QString FeeRecord(const QString &caller, const QString &endTimeDigits, const QString &duration, const QString &fee,
                  const QString &called);

// Path of the monthly file: the configured folder (backslashes taken as
// separators) followed by YYYYMM and ".txt".
QString CallFilePath(const QString &configuredFolder, const QDate &today);

} // namespace corvane
