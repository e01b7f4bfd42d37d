#include "DumpValues.h"
#include "General.h"

namespace corvane {

namespace SwitchChoices {

#define CORVANE_CHOICES(name, ...)                                                                                     \
    const QStringList &name()                                                                                          \
    {                                                                                                                  \
        static const QStringList list{__VA_ARGS__};                                                                    \
        return list;                                                                                                   \
    }

CORVANE_CHOICES(CheckMarks, QStringLiteral("×"), QStringLiteral("√"))
CORVANE_CHOICES(ChargeModes, QStringLiteral("不计费"), QStringLiteral("反极"), QStringLiteral("延时"))
CORVANE_CHOICES(IncomingModes, QStringLiteral("直拨"), QStringLiteral("转接"), QStringLiteral("群呼"))
CORVANE_CHOICES(DialModes, QStringLiteral("音频"), QStringLiteral("脉冲"), QStringLiteral("音频转发"))
CORVANE_CHOICES(OutgoingModes, QStringLiteral("直局"), QStringLiteral("间局"))
CORVANE_CHOICES(LanguageChoices, QStringLiteral("中文"), QStringLiteral("英文"))
CORVANE_CHOICES(DelayChoices, QStringLiteral("100ms"), QStringLiteral("500ms"), QStringLiteral("1.5s"),
                QStringLiteral("2s"), QStringLiteral("2.5s"))
CORVANE_CHOICES(DelayCodes, QStringLiteral("10"), QStringLiteral("50"), QStringLiteral("150"), QStringLiteral("200"),
                QStringLiteral("250"))
CORVANE_CHOICES(IntervalCodes, QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("50"), QStringLiteral("150"),
                QStringLiteral("250"))
CORVANE_CHOICES(AdditionalFeeTypes, QStringLiteral("百分比"), QStringLiteral("金额"))
CORVANE_CHOICES(WrongNumberHandling, QStringLiteral("转总机"), QStringLiteral("拆线"))
CORVANE_CHOICES(TicketPrintModes, QStringLiteral("普通"), QStringLiteral("发票"))
CORVANE_CHOICES(CityChargeModes, QStringLiteral("不计"), QStringLiteral("计费"))
CORVANE_CHOICES(PasswordCityLimits, QStringLiteral("不限"), QStringLiteral("限制"))

#undef CORVANE_CHOICES

} // namespace SwitchChoices

namespace DumpValue {

namespace {
const QString InvalidMark = QStringLiteral("无效值");
}

QString Hex(quint8 b) { return QString::number(b); }

int Digit(quint8 b)
{
    const QString t = Hex2(b);
    int v = 0;
    for (QChar c : t) {
        if (c < u'0' || c > u'9')
            break;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

QString DigitText(quint8 b) { return QString::number(Digit(b)); }

QString HexText(std::initializer_list<quint8> bytes)
{
    QString t;
    for (quint8 b : bytes)
        t += Hex2(b);
    return t;
}

QString Digits(std::initializer_list<quint8> bytes) { return DecodeDigits(HexText(bytes)); }

QString InvalidText(quint8 b) { return InvalidMark + Hex2(b); }

bool IsInvalidText(const QString &text) { return text.startsWith(InvalidMark); }

Choice FromList(quint8 position, const QStringList &list)
{
    // Every list is shorter than ten, so the valid positions read the same as
    // hex and as decimal digits.
    if (position < list.size())
        return {true, list.at(position)};
    return {false, InvalidText(position)};
}

Choice FlaggedPort(quint8 flag, quint8 port)
{
    // A slot is in use only when its flag reads 1; whatever else the switch
    // leaves in an unused slot (0x00, 0xFF) reads as empty.
    if (Digit(flag) == 1)
        return {true, Hex(port)};
    return {true, QString()};
}

} // namespace DumpValue
} // namespace corvane
