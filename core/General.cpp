#include "General.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <limits>

namespace corvane {
inline namespace mdlGeneral {

namespace {

// The leading number of a text: blanks skipped, optional sign, digits with one
// optional point. Returns the matched text without blanks ("" when there are
// no digits at all).
QString leadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    const int start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c >= u'0' && c <= u'9') {
            digits = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return digits ? text.mid(start, i - start) : QString();
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Digits with at most one decimal point and at least one digit; nothing else.
bool isPlainNumber(const QString &text)
{
    bool digits = false;
    bool point = false;
    for (QChar c : text) {
        if (isDigit(c))
            digits = true;
        else if (c == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

} // namespace

int RingAdd(int index, int n)
{
    const int r = (index + n) % RingSize;
    return r < 0 ? r + RingSize : r;
}

QString Hex2(quint8 byte) { return QStringLiteral("%1").arg(uint(byte), 2, 16, QLatin1Char('0')).toUpper(); }

QString DecodeDigits(const QString &nibbles)
{
    QString out;
    out.reserve(nibbles.size());
    for (QChar c : nibbles) {
        if (c == u'A')
            out += u'0';
        else if (c != u'0')
            out += c;
    }
    return out;
}

QString SecondsBetween(const QString &endHHMMSS, const QString &startHHMMSS)
{
    auto seconds = [](const QString &t) {
        return ValInt(t.mid(0, 2)) * 3600 + ValInt(t.mid(2, 2)) * 60 + ValInt(t.mid(4, 2));
    };
    qint64 diff = seconds(endHHMMSS) - seconds(startHHMMSS);
    if (diff < 0)
        diff += 86400;
    return QString::number(diff);
}

QString DurationText(const QString &seconds)
{
    bool ok = false;
    const qint64 s = seconds.trimmed().toLongLong(&ok);
    if (!ok || s < 0)
        return seconds;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (s < 3600)
        return two(s / 60) + QLatin1Char(':') + two(s % 60);
    return QString::number(s / 3600) + QLatin1Char(':') + two(s / 60 % 60) + QLatin1Char(':') + two(s % 60);
}

double Val(const QString &text)
{
    const QString number = leadingNumber(text);
    if (number.isEmpty())
        return 0.0;
    bool ok = false;
    // toDouble accepts "5.", ".5" and "-.5"; a lone sign never gets here.
    const double v = number.toDouble(&ok);
    return ok ? v : 0.0;
}

qint64 ValInt(const QString &text)
{
    const QString number = leadingNumber(text);
    if (number.isEmpty())
        return 0;
    int i = 0;
    bool negative = false;
    if (number.at(0) == u'+' || number.at(0) == u'-') {
        negative = number.at(0) == u'-';
        ++i;
    }
    constexpr qint64 maxValue = std::numeric_limits<qint64>::max();
    qint64 v = 0;
    for (; i < number.size() && isDigit(number.at(i)); ++i) {
        const int d = number.at(i).unicode() - u'0';
        if (v > (maxValue - d) / 10)
            return negative ? std::numeric_limits<qint64>::min() : maxValue;
        v = v * 10 + d;
    }
    return negative ? -v : v;
}

bool IsDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!isDigit(c))
            return false;
    return true;
}

bool IsNumeric(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(u'+') || t.startsWith(u'-'))
        t.remove(0, 1);
    return isPlainNumber(t);
}

Status CheckNumber(const QString &text, bool decimalsAllowed, int maxLength, double maxValue, const QString &notNumber,
                   const QString &notWhole, const QString &tooLong, const QString &tooLarge)
{
    if (!isPlainNumber(text))
        return Status::fail(notNumber);
    if (!decimalsAllowed && text.contains(u'.'))
        return Status::fail(notWhole);
    if (text.size() > maxLength)
        return Status::fail(tooLong);
    if (maxValue >= 1 && Val(text) > maxValue)
        return Status::fail(tooLarge);
    return Status::ok();
}

std::optional<QTime> ClockTime(const QString &text)
{
    static const QRegularExpression withColon(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    static const QRegularExpression plain(QStringLiteral("^\\d{1,4}$"));
    const QString t = text.trimmed();
    int h = -1, m = -1;
    if (const auto match = withColon.match(t); match.hasMatch()) {
        h = match.captured(1).toInt();
        m = match.captured(2).toInt();
    } else if (plain.match(t).hasMatch()) {
        const int v = t.toInt();
        h = v / 100;
        m = v % 100;
    }
    if (h < 0 || h > 23 || m < 0 || m > 59)
        return std::nullopt;
    return QTime(h, m);
}

int ChoiceIndex(const QString &text, const QStringList &choices) { return choices.indexOf(text); }

QString NextChoice(const QString &text, const QString &fallback, const QStringList &choices)
{
    const int i = choices.indexOf(text);
    if (i < 0)
        return fallback;
    return choices.at((i + 1) % choices.size());
}

QString RandomDigits(int n)
{
    if (n < 1)
        return QString();
    // n independent digits with the all-zero draw refused is exactly uniform
    // over 1 .. 10^n - 1, for any n.
    QRandomGenerator *rng = QRandomGenerator::system();
    QString out(n, u'0');
    bool allZero = true;
    while (allZero) {
        for (int i = 0; i < n; ++i) {
            const int d = static_cast<int>(rng->bounded(10u));
            out[i] = QChar(u'0' + d);
            if (d != 0)
                allZero = false;
        }
    }
    return out;
}

} // namespace mdlGeneral
} // namespace corvane
