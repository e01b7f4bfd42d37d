#include "Protocol.h"
#include "General.h"

#include <QStringList>

namespace corvane {

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

// One digit pair, read as far as it is hexadecimal.
quint8 pairValue(QChar hi, QChar lo)
{
    const int h = hexDigit(hi);
    if (h < 0)
        return 0;
    const int l = hexDigit(lo);
    if (l < 0)
        return quint8(h);
    return quint8(h * 16 + l);
}

} // namespace

QByteArray HexToBytes(const QString &hex)
{
    const int n = int(hex.size() / 2);
    QByteArray out(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        out[i] = char(pairValue(hex.at(2 * i), hex.at(2 * i + 1)));
    return out;
}

QString BytesToHex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex()).toUpper(); }

QString HexChecksum(const QString &hex)
{
    unsigned sum = 0;
    for (char b : HexToBytes(hex))
        sum += quint8(b);
    return Hex2(quint8(sum & 0xFF));
}

QString PackStarCode(const QString &code)
{
    QString text = code;
    text.replace(u'0', u'A');
    text.chop(1); // the closing "#"
    const QStringList pieces = text.split(u'*');
    QString out;
    // The piece before the leading "*" is not a field.
    for (int i = 1; i < pieces.size(); ++i) {
        QString piece = pieces.at(i);
        if (piece == QStringLiteral("AA"))
            piece = QStringLiteral("0A");
        if (piece.size() % 2 != 0)
            piece.prepend(u'0');
        out += QStringLiteral("0B") + piece;
    }
    out += QStringLiteral("0C");
    return out;
}

QString ClockCommand(const QDateTime &when)
{
    const QDate d = when.date();
    // Qt counts Monday as 1 and Sunday as 7, exactly as the switch does.
    const QString text = QStringLiteral("E8") + d.toString(QStringLiteral("yyMMdd")) + QLatin1Char('0')
                         + QString::number(d.dayOfWeek()) + when.time().toString(QStringLiteral("HHmm"));
    return text + HexChecksum(text);
}

int FrameLength(quint8 type)
{
    switch (type) {
    case Frame::CallRecord: return Frame::CallRecordLength;
    case Frame::LinkRequest: return 2;
    case Frame::TrunkReleased: return 3;
    case Frame::TrunkSeized: return 5;
    case Frame::LinkAlive: return 3;
    case Frame::CallerId: return 9;
    case Frame::Nak: return 2;
    case Frame::TrunkRinging: return 3;
    case Frame::TrunkUserChange: return 5;
    case Frame::TrunkDialled: return 9;
    case Frame::Fault: return 3;
    case Frame::Ack: return 2;
    case Frame::Unused56: return 7;
    case Frame::TrunkAnswer: return 5;
    default: return 0;
    }
}

int RingCount(int head, int tail, int size) { return tail >= head ? tail - head : tail - head + size; }

} // namespace corvane
