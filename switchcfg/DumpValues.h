#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <initializer_list>

namespace corvane {

// The choice lists of the switch settings. A setting travels to the switch as
// the position of its text in its list (counted from 0) and comes back in the
// dump as that position.
namespace SwitchChoices {
const QStringList &CheckMarks();      // "×", "√"
const QStringList &ChargeModes();     // "不计费", "反极", "延时"
const QStringList &IncomingModes();   // "直拨", "转接", "群呼"
const QStringList &DialModes();       // "音频", "脉冲", "音频转发"
const QStringList &OutgoingModes();   // "直局", "间局"
const QStringList &LanguageChoices(); // "中文", "英文"; sent as position + 1
const QStringList &DelayChoices();    // IP card pauses as stored: "100ms" ... "2.5s"
const QStringList &DelayCodes();      // the same pauses as sent, tens of ms: "10" ... "250"
// Interval of IP dialling without a card number, by the index stored in row
// "13" of IP (the option the rate window shows as "10毫秒" ... "2.5秒").
const QStringList &IntervalCodes();       // "1", "10", "50", "150", "250"
const QStringList &AdditionalFeeTypes();  // "百分比", "金额"
const QStringList &WrongNumberHandling(); // "转总机", "拆线"
const QStringList &TicketPrintModes();    // "普通", "发票"
const QStringList &CityChargeModes();     // "不计", "计费"
const QStringList &PasswordCityLimits();  // "不限", "限制"
} // namespace SwitchChoices

// How the dump's bytes read as values. b is one data byte; its "hex digits"
// are its two-character upper-case text.
namespace DumpValue {

// The byte as an unsigned number ("12" means 18).
QString Hex(quint8 b);
// The two hex digits read as a decimal number up to the first letter ("12"
// means 12, "1A" means 1, a text starting with a letter means 0).
int Digit(quint8 b);
QString DigitText(quint8 b);
// Several bytes' hex digits as dial digits: "A" is the digit 0, "0" an empty
// nibble (dropped), anything else copied.
QString Digits(std::initializer_list<quint8> bytes);
// The two hex digits as they stand ("3A").
QString HexText(std::initializer_list<quint8> bytes);

// A choice from a list. The switch keeps the position, so only a byte that is
// a position of the list is a value; anything else is reported as invalid
// rather than read as some element of the list.
struct Choice {
    bool valid = false;
    QString text; // the element, or the invalid marker with the byte
};
Choice FromList(quint8 position, const QStringList &list);

// A flag byte and a port byte: the port's number when the flag's digit
// value is 1, else empty (0x00, 0xFF, 0x11: an unused slot).
Choice FlaggedPort(quint8 flag, quint8 port);

// The switch value shown for a byte that is not a position of its list.
QString InvalidText(quint8 b);
bool IsInvalidText(const QString &text);

} // namespace DumpValue
} // namespace corvane
