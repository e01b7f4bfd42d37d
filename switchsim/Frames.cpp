#include "Frames.h"

namespace corvane::sim {

void CallRecordData::setEnd(const QDateTime &end)
{
    month = end.date().month();
    day = end.date().day();
    hour = end.time().hour();
    minute = end.time().minute();
}

namespace Frames {

int frameLength(quint8 type)
{
    switch (type) {
    case FrameType::CallRecord: return CallRecordLength;
    case FrameType::LinkRequest: return 2;
    case FrameType::TrunkReleased: return 3;
    case FrameType::TrunkSeized: return 5;
    case FrameType::LinkAlive: return 3;
    case FrameType::CallerId: return 9;
    case FrameType::Reserved2: return 2;
    case FrameType::TrunkRinging: return 3;
    case FrameType::TrunkUserChange: return 5;
    case FrameType::TrunkDialled: return 9;
    case FrameType::Fault: return 3;
    case FrameType::Acknowledge: return 2;
    case FrameType::Reserved7: return 7;
    case FrameType::TrunkAnswer: return 5;
    default: return 0;
    }
}

quint8 bcd(int value)
{
    value = qBound(0, value, 99);
    return quint8(((value / 10) << 4) | (value % 10));
}

int fromBcd(quint8 value, bool *ok)
{
    const int hi = value >> 4, lo = value & 0x0F;
    if (ok)
        *ok = hi <= 9 && lo <= 9;
    return hi * 10 + lo;
}

quint8 byteSum(const QByteArray &bytes, int from, int to)
{
    unsigned sum = 0;
    for (int i = from; i <= to && i < bytes.size(); ++i)
        sum += quint8(bytes.at(i));
    return quint8(sum & 0xFF);
}

static QList<quint8> digitNibbles(const QString &digits)
{
    QList<quint8> out;
    for (QChar c : digits) {
        const char ch = c.toUpper().toLatin1();
        if (ch == '0')
            out.append(0xA);
        else if (ch >= '1' && ch <= '9')
            out.append(quint8(ch - '0'));
        else if (ch >= 'B' && ch <= 'F')
            out.append(quint8(ch - 'A' + 10));
        // anything else is not a dial digit and is left out
    }
    return out;
}

static QByteArray nibblesToBytes(const QList<quint8> &nibbles)
{
    QByteArray out(nibbles.size() / 2, '\0');
    for (int i = 0; i + 1 < nibbles.size(); i += 2)
        out[i / 2] = char((nibbles[i] << 4) | nibbles[i + 1]);
    return out;
}

QByteArray packDigits(const QString &digits, int nibbles)
{
    QList<quint8> n = digitNibbles(digits).mid(0, nibbles);
    while (n.size() < nibbles)
        n.append(0);
    return nibblesToBytes(n);
}

QByteArray packDigitsRight(const QString &digits, int nibbles)
{
    QList<quint8> n = digitNibbles(digits);
    if (n.size() > nibbles)
        n = n.mid(n.size() - nibbles);
    while (n.size() < nibbles)
        n.prepend(0);
    return nibblesToBytes(n);
}

QString unpackDigits(const QByteArray &bytes)
{
    QString out;
    for (char b : bytes) {
        for (int nib : {(quint8(b) >> 4) & 0xF, quint8(b) & 0xF}) {
            if (nib == 0)
                continue;
            if (nib == 0xA)
                out += QLatin1Char('0');
            else if (nib <= 9)
                out += QChar(QLatin1Char(char('0' + nib)));
            else
                out += QChar(QLatin1Char(char('A' + nib - 10)));
        }
    }
    return out;
}

static QByteArray frame(std::initializer_list<quint8> bytes)
{
    QByteArray out;
    for (quint8 b : bytes)
        out.append(char(b));
    return out;
}

QByteArray linkRequest() { return frame({FrameType::Sync, FrameType::LinkRequest}); }
QByteArray acknowledge() { return frame({FrameType::Sync, FrameType::Acknowledge}); }
QByteArray linkAlive(quint8 counter) { return frame({FrameType::Sync, FrameType::LinkAlive, counter}); }
QByteArray fault(quint8 code) { return frame({FrameType::Sync, FrameType::Fault, code}); }

QByteArray callRecord(const CallRecordData &r)
{
    QByteArray f(CallRecordLength, '\0');
    f[0] = char(FrameType::Sync);
    f[1] = char(FrameType::CallRecord);
    const quint16 lineWord = quint16(((r.trunk & 0x3F) << 10) | (r.line & 0x3FF));
    f[2] = char(lineWord >> 8);
    f[3] = char(lineWord & 0xFF);
    f[4] = char(bcd(r.month) & 0x1F);
    f[5] = char(bcd(r.day));
    f[6] = char(bcd(r.hour));
    f[7] = char((r.account ? 0x80 : 0x00) | (bcd(r.minute) & 0x7F));
    f[8] = char(r.duration >> 8);
    f[9] = char(r.duration & 0xFF);
    const QByteArray digits = packDigits(r.called, 14);
    for (int i = 0; i < 7; ++i)
        f[10 + i] = digits.at(i);
    for (int i = 0; i < 5 && i < r.spare.size(); ++i)
        f[17 + i] = r.spare.at(i);
    f[22] = char(byteSum(f, 1, 21));
    return f;
}

QByteArray trunkRinging(int trunk) { return frame({FrameType::Sync, FrameType::TrunkRinging, quint8(trunk)}); }

QByteArray callerId(int trunk, const QString &number)
{
    return frame({FrameType::Sync, FrameType::CallerId, quint8(trunk)}) + packDigits(number, 12);
}

QByteArray trunkSeized(int trunk, int port)
{
    return frame({FrameType::Sync, FrameType::TrunkSeized, quint8(trunk), 0x00, quint8(port)});
}

QByteArray trunkDialled(int trunk, int port, const QString &digits)
{
    return frame({FrameType::Sync, FrameType::TrunkDialled, quint8(trunk), 0x00, quint8(port)}) + packDigits(digits, 8);
}

QByteArray trunkUserChange(int port, int trunk)
{
    return frame({FrameType::Sync, FrameType::TrunkUserChange, 0x00, quint8(port), quint8(trunk)});
}

QByteArray trunkAnswer(int port, int trunk)
{
    return frame({FrameType::Sync, FrameType::TrunkAnswer, 0x00, quint8(port), quint8(trunk)});
}

QByteArray trunkReleased(int trunk) { return frame({FrameType::Sync, FrameType::TrunkReleased, quint8(trunk)}); }

QByteArray corruptChecksum(const QByteArray &f)
{
    QByteArray out = f;
    if (!out.isEmpty())
        out[out.size() - 1] = char(quint8(out.back()) + 1);
    return out;
}

QByteArray dumpBlock(int blockNumber, const QByteArray &data)
{
    QByteArray out;
    out.reserve(DumpBlockLength);
    out.append(char(blockNumber));
    QByteArray d = data.left(DumpDataLength);
    d.append(QByteArray(DumpDataLength - d.size(), '\0'));
    out.append(d);
    out.append(char(byteSum(out, 0, DumpDataLength)));
    return out;
}

QString toHex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

QByteArray fromHex(const QString &text)
{
    QString t = text;
    t.remove(QLatin1Char(' '));
    return QByteArray::fromHex(t.toLatin1());
}

} // namespace Frames

QList<QByteArray> FrameReader::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    QList<QByteArray> frames;
    for (;;) {
        int i = 0;
        while (i < m_buffer.size() && quint8(m_buffer.at(i)) != FrameType::Sync)
            ++i;
        m_discarded += i;
        m_buffer.remove(0, i);
        if (m_buffer.size() < 2)
            break;
        const int len = Frames::frameLength(quint8(m_buffer.at(1)));
        if (len == 0) {
            m_buffer.remove(0, 1);
            ++m_discarded;
            continue;
        }
        if (m_buffer.size() < len)
            break;
        frames.append(m_buffer.left(len));
        m_buffer.remove(0, len);
    }
    return frames;
}

} // namespace corvane::sim
