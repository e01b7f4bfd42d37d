#include "CallRecordDecoder.h"

#include "General.h"
#include "Money.h"

namespace corvane {

namespace {

quint8 at(const QByteArray &frame, int offset) { return quint8(frame.at(offset)); }

} // namespace

bool CallRecordChecksumOk(const QByteArray &frame)
{
    if (frame.size() < CallRecordFrame::Length)
        return false;
    unsigned sum = 0;
    for (int i = CallRecordFrame::FirstSummed; i <= CallRecordFrame::LastSummed; ++i)
        sum += at(frame, i);
    return quint8(sum) == at(frame, CallRecordFrame::Checksum);
}

QString CallRecordKey(const QByteArray &frame)
{
    const int n = CallRecordFrame::LastSummed - CallRecordFrame::FirstSummed + 1;
    return QString::fromLatin1(frame.mid(CallRecordFrame::FirstSummed, n).toHex().toUpper());
}

QString DecodedCall::endTime() const
{
    return QString::number(year) + QStringLiteral("年") + month + QStringLiteral("月") + day + QStringLiteral("日")
           + hour + QStringLiteral("时") + minute + QStringLiteral("分");
}

QString DecodedCall::endTimeDigits() const { return QString::number(year) + month + day + hour + minute; }

DecodedCall DecodeCallRecord(const QByteArray &frame, const QDate &today)
{
    DecodedCall d;
    if (frame.size() < CallRecordFrame::Length)
        return d;
    const int lineWord = (at(frame, 2) << 8) | at(frame, 3);
    d.trunk = lineWord / 1024;
    d.line = lineWord % 1024;
    d.month = Hex2(at(frame, 4) & 0x1F);
    d.day = Hex2(at(frame, 5));
    d.hour = Hex2(at(frame, 6));
    d.account = (at(frame, 7) & 0x80) != 0;
    d.minute = Hex2(at(frame, 7) & 0x7F);
    d.duration = quint16((at(frame, 8) << 8) | at(frame, 9));

    QString nibbles;
    for (int i = 10; i <= 16; ++i)
        nibbles += Hex2(at(frame, i));
    d.called = DecodeDigits(nibbles);

    d.year = today.year();
    bool ok = false;
    const int month = d.month.toInt(&ok);
    if (ok && month >= 1 && month <= 12 && month > today.month())
        d.year -= 1;
    return d;
}

QString StripIndirectOffice(const QString &called, const QString &outgoingMode, const QString &direction)
{
    if (outgoingMode.trimmed() != QStringLiteral("间局") || called.isEmpty())
        return called;
    if (called.left(1) == direction.trimmed())
        return called.mid(1);
    return called;
}

QString CallFileLine(const QString &caller, const QString &called, const QString &duration, const QString &endTime,
                     const QString &fee)
{
    return QStringLiteral("主叫号码：") + caller + QStringLiteral("；被叫号码：") + called
           + QStringLiteral("；通话时长：") + duration + QStringLiteral("；结束时间：") + endTime
           + QStringLiteral("；话费：") + fee;
}

QString FeeRecord(const QString &caller, const QString &endTimeDigits, const QString &duration, const QString &fee,
                  const QString &called)
{
    return QStringLiteral("$FEE,") + caller.trimmed() + QLatin1Char(',') + endTimeDigits + QLatin1Char(',') + duration
           + QLatin1Char(',') + Money::fromText(fee).toTextTrimmed() + QLatin1Char(',') + called.trimmed()
           + QStringLiteral("#\r\n");
}

QString CallFilePath(const QString &configuredFolder, const QDate &today)
{
    QString folder = configuredFolder;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return folder + today.toString(QStringLiteral("yyyyMM")) + QStringLiteral(".txt");
}

} // namespace corvane
