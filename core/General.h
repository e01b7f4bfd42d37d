#pragma once
#include "Status.h"
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace corvane {

// Small stateless procedures shared by the whole console: byte and digit
// conversions of the switch protocol, number reading and input checks, and
// choice lists. Reachable both as corvane::Hex2 and corvane::mdlGeneral::Hex2.
inline namespace mdlGeneral {

// Size of the receive ring; ring indexes wrap at this value.
constexpr int RingSize = 512;

// (index + n) modulo the ring size, always in 0..511 (n may be negative).
int RingAdd(int index, int n);

// Two upper-case hexadecimal digits of one byte ("0A" for 10).
QString Hex2(quint8 byte);

// Dial digits from nibble text: "A" is the digit 0, "0" is an empty nibble
// and is dropped, anything else is copied as it is.
QString DecodeDigits(const QString &nibbles);

// Seconds from start to end, both "HHMMSS", as decimal text. An end earlier
// than the start means the call went over midnight.
QString SecondsBetween(const QString &endHHMMSS, const QString &startHHMMSS);

// A duration stored in seconds as windows show it: "02:05", from an hour
// "1:02:05". A text that is not a count of seconds is shown as it stands.
QString DurationText(const QString &seconds);

// Lenient number reading as the stored texts need it: leading blanks are
// skipped, then an optional sign, digits and one optional decimal point; the
// rest of the text is ignored. Empty or non-numeric text reads as 0.
double Val(const QString &text);
// The same reading cut to its whole part (no rounding), for counts, ports and
// classes. Values beyond the 64-bit range are clamped.
qint64 ValInt(const QString &text);

// True when the text is one or more of the digits 0-9 and nothing else (no
// blanks, sign or point): a phone number, a port, a code for the switch.
bool IsDigits(const QString &text);

// True when the trimmed text is one complete number: optional sign, digits
// with at most one decimal point, at least one digit. Empty text is not.
bool IsNumeric(const QString &text);

// Input check of a typed number. Refuses, in this order and each with its own
// message as the reason: a text that is not a plain number of digits
// (notNumber), a decimal point when decimals are not allowed (notWhole), more
// characters than maxLength (tooLong), a value above maxValue when maxValue is
// at least 1 (tooLarge). Signs and blanks count as not a number: every caller
// stores the text or keys it into the switch as digits. The window shows the
// reason with the title "输入错误" and the error icon.
Status CheckNumber(const QString &text, bool decimalsAllowed, int maxLength, double maxValue, const QString &notNumber,
                   const QString &notWhole, const QString &tooLong, const QString &tooLarge);

// A time of day as operators type it and the tables store it: "08:30",
// "8:30", or one to four digits read as HHMM ("830", "0830", "0"). Nothing for
// anything else or an hour or minute out of range.
std::optional<QTime> ClockTime(const QString &text);

// Position of the first choice equal to text, -1 when there is none.
int ChoiceIndex(const QString &text, const QStringList &choices);

// The choice after the one equal to text, wrapping from the last to the
// first; fallback when text is not one of the choices.
QString NextChoice(const QString &text, const QString &fallback, const QStringList &choices);

// A random number from 1 to 10^n - 1 written with exactly n digits (leading
// zeros kept), drawn from the system's secure random source. Used for
// dialling passwords, so it must not be predictable. Empty for n < 1.
QString RandomDigits(int n);

} // namespace mdlGeneral
} // namespace corvane
