#include "CommandDecoder.h"
#include "Frames.h"

namespace corvane::sim {

namespace {

Command simple(Command::Kind kind, const char *text, const QByteArray &raw)
{
    Command c;
    c.kind = kind;
    c.text = QString::fromLatin1(text);
    c.raw = raw;
    return c;
}

Command unknown(quint8 byte)
{
    Command c;
    c.kind = Command::Unknown;
    c.raw = QByteArray(1, char(byte));
    c.text = QStringLiteral("UNKNOWN %1").arg(Frames::toHex(c.raw));
    return c;
}

} // namespace

QString CommandDecoder::decodeStarCode(const QByteArray &bytes)
{
    if (bytes.size() < 2 || quint8(bytes.front()) != 0x0B || quint8(bytes.back()) != 0x0C)
        return {};
    QString out;
    int field = 0;
    QString digits;
    auto closeField = [&] {
        // Codes are two digits; "00" travels as the single byte 0x0A like "0".
        if (field == 1 && digits == QLatin1String("0"))
            digits = QStringLiteral("00");
        out += digits;
    };
    for (int i = 0; i < bytes.size() - 1; ++i) {
        const quint8 b = quint8(bytes.at(i));
        if (b == 0x0B) {
            if (field > 0)
                closeField();
            ++field;
            digits.clear();
            out += QLatin1Char('*');
            continue;
        }
        for (int nib : {b >> 4, b & 0xF}) {
            if (nib == 0)
                continue; // padding in front of a field with an odd number of digits
            if (nib > 0xA)
                return {};
            digits += nib == 0xA ? QLatin1Char('0') : QChar(QLatin1Char(char('0' + nib)));
        }
    }
    closeField();
    out += QLatin1Char('#');
    return out;
}

Command CommandDecoder::decodeClock(const QByteArray &f)
{
    Command c;
    c.raw = f;
    bool okY, okM, okD, okH, okMin;
    const int yy = Frames::fromBcd(quint8(f.at(1)), &okY);
    const int mm = Frames::fromBcd(quint8(f.at(2)), &okM);
    const int dd = Frames::fromBcd(quint8(f.at(3)), &okD);
    const int wd = quint8(f.at(4));
    const int hh = Frames::fromBcd(quint8(f.at(5)), &okH);
    const int mi = Frames::fromBcd(quint8(f.at(6)), &okMin);
    const bool sumOk = Frames::byteSum(f, 0, 6) == quint8(f.at(7));
    const QDate date(2000 + yy, mm, dd);
    const QTime time(hh, mi);
    if (!sumOk || !(okY && okM && okD && okH && okMin) || !date.isValid() || !time.isValid()) {
        c.kind = Command::BadClock;
        c.text = QStringLiteral("CLOCK BAD %1").arg(Frames::toHex(f));
        return c;
    }
    c.kind = Command::Clock;
    c.clock = QDateTime(date, time);
    c.weekday = wd;
    c.weekdayMatches = date.dayOfWeek() == wd;
    c.text = QStringLiteral("CLOCK %1 weekday %2").arg(c.clock.toString(QStringLiteral("yyyy-MM-dd HH:mm"))).arg(wd);
    if (!c.weekdayMatches)
        c.text += QStringLiteral(" (date is weekday %1)").arg(date.dayOfWeek());
    return c;
}

bool CommandDecoder::takeOne(QList<Command> &out, bool final)
{
    const QByteArray &p = m_pending;
    if (p.isEmpty())
        return false;
    const quint8 first = quint8(p.at(0));
    auto consume = [&](int n, Command c) {
        m_pending.remove(0, n);
        out.append(std::move(c));
        return true;
    };
    // Commands longer than one byte whose later bytes do not match give up
    // their first byte as unknown and decoding resumes at the next byte.
    auto expect = [&](const QByteArray &whole, Command::Kind kind, const char *text) {
        const int have = qMin(p.size(), whole.size());
        if (p.left(have) != whole.left(have))
            return consume(1, unknown(first));
        if (have < whole.size())
            return final ? consume(1, unknown(first)) : false;
        return consume(whole.size(), simple(kind, text, whole));
    };

    switch (first) {
    case 0x5A: return consume(1, simple(Command::Ack, "ACK", p.left(1)));
    case 0xA5: return consume(1, simple(Command::Nak, "NAK", p.left(1)));
    case 0x66: return consume(1, simple(Command::DumpRequest, "DUMP", p.left(1)));
    case 0xE8:
        if (p.size() < 8)
            return final ? consume(1, unknown(first)) : false;
        return consume(8, decodeClock(p.left(8)));
    case 0x23: return expect(QByteArray::fromHex("234598"), Command::NightReset, "RESET");
    case 0x31: return expect(QByteArray::fromHex("3100"), Command::UserWindowOpen, "USER OPEN");
    case 0x11:
        if (p.size() < 2)
            return final ? consume(1, simple(Command::UserWindowClose, "USER CLOSE", p.left(1))) : false;
        if (quint8(p.at(1)) == 0xF1)
            return consume(2, simple(Command::ProgramExit, "EXIT", p.left(2)));
        return consume(1, simple(Command::UserWindowClose, "USER CLOSE", p.left(1)));
    case 0x62: {
        if (p.size() < 2)
            return final ? consume(1, unknown(first)) : false;
        Command c;
        c.kind = Command::BlockTrunk;
        c.raw = p.left(2);
        c.trunk = quint8(p.at(1));
        c.text = QStringLiteral("BLOCK %1").arg(Frames::toHex(c.raw));
        return consume(2, c);
    }
    case 0x0B: {
        const int end = p.indexOf(char(0x0C));
        if (end < 0 || end >= MaxStarCodeBytes) {
            if (end < 0 && p.size() < MaxStarCodeBytes && !final)
                return false;
            // No end key in sight: drop the start and resynchronise.
            return consume(1, unknown(first));
        }
        Command c;
        c.raw = p.left(end + 1);
        c.code = decodeStarCode(c.raw);
        if (c.code.isEmpty()) {
            c.kind = Command::BadStarCode;
            c.text = QStringLiteral("STAR BAD %1").arg(Frames::toHex(c.raw));
        } else {
            c.kind = Command::StarCode;
            c.text = c.code;
        }
        return consume(end + 1, c);
    }
    default: return consume(1, unknown(first));
    }
}

QList<Command> CommandDecoder::feed(const QByteArray &bytes)
{
    m_pending.append(bytes);
    QList<Command> out;
    while (takeOne(out, false)) {
    }
    return out;
}

QList<Command> CommandDecoder::flush()
{
    QList<Command> out;
    while (takeOne(out, true)) {
    }
    return out;
}

} // namespace corvane::sim
