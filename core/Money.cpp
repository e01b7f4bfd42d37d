#include "Money.h"

#include <limits>

namespace corvane {

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();

qint64 saturate(__int128 v)
{
    if (v > kMax)
        return kMax;
    if (v < kMin)
        return kMin;
    return static_cast<qint64>(v);
}

constexpr qint64 pow10(int n)
{
    qint64 r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

// v ÷ d rounded half away from zero (d > 0).
__int128 divRound(__int128 v, __int128 d)
{
    const bool neg = v < 0;
    __int128 m = neg ? -v : v;
    __int128 q = m / d;
    if ((m % d) * 2 >= d)
        ++q;
    return neg ? -q : q;
}

int clampDecimals(int d) { return d < 0 ? 0 : (d > 4 ? 4 : d); }

// Writes |raw| rounded to cents as "I.FF" into buf (from the end); returns the
// start. Cents come out of the rounding, so "0.005" is already "0.01".
struct Cents {
    bool negative;
    quint64 whole;
    int cents;
};

Cents splitCents(qint64 raw)
{
    __int128 c = divRound(raw, 100); // cents, halves away from zero
    Cents r;
    r.negative = c < 0;
    unsigned __int128 m = r.negative ? static_cast<unsigned __int128>(-c) : static_cast<unsigned __int128>(c);
    r.whole = static_cast<quint64>(m / 100);
    r.cents = static_cast<int>(m % 100);
    if (r.whole == 0 && r.cents == 0)
        r.negative = false;
    return r;
}

// Appends the decimal digits of v to buf at pos; returns the new pos.
int putDigits(char *buf, int pos, quint64 v)
{
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        buf[pos++] = tmp[--n];
    return pos;
}

} // namespace

Money Money::fromYuan(qint64 yuan) { return Money(saturate(static_cast<__int128>(yuan) * kScale)); }

Money Money::fromText(QStringView text)
{
    const QChar *p = text.data();
    const QChar *end = p + text.size();
    while (p < end && (*p == u' ' || *p == u'\t' || *p == u'\r' || *p == u'\n'))
        ++p;
    bool neg = false;
    if (p < end && (*p == u'+' || *p == u'-')) {
        neg = (*p == u'-');
        ++p;
    }
    // Whole digits, saturating far beyond any real amount.
    constexpr __int128 kCap = static_cast<__int128>(kMax) * 10;
    __int128 value = 0;
    bool any = false;
    while (p < end && p->unicode() >= u'0' && p->unicode() <= u'9') {
        if (value < kCap)
            value = value * 10 + (p->unicode() - u'0');
        any = true;
        ++p;
    }
    value *= kScale;
    if (p < end && *p == u'.') {
        ++p;
        qint64 place = kScale / 10;
        while (p < end && p->unicode() >= u'0' && p->unicode() <= u'9') {
            const int digit = p->unicode() - u'0';
            if (place > 0) {
                value += digit * place;
                place /= 10;
            } else if (place == 0) {
                // Fifth decimal decides the rounding; later ones cannot change it.
                if (digit >= 5)
                    value += 1;
                place = -1;
            }
            any = true;
            ++p;
        }
    }
    if (!any)
        return Money();
    return Money(saturate(neg ? -value : value));
}

QString Money::toText() const
{
    const Cents c = splitCents(m_raw);
    char buf[32];
    int pos = 0;
    if (c.negative)
        buf[pos++] = '-';
    pos = putDigits(buf, pos, c.whole);
    buf[pos++] = '.';
    buf[pos++] = char('0' + c.cents / 10);
    buf[pos++] = char('0' + c.cents % 10);
    return QString::fromLatin1(buf, pos);
}

QString Money::toTextTrimmed() const
{
    // "0.##": the cents without trailing zeros, the point always kept.
    QString text = toText();
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return text;
}

Money Money::roundedToCents() const { return Money(saturate(divRound(m_raw, 100) * 100)); }

Money Money::operator-() const { return Money(saturate(-static_cast<__int128>(m_raw))); }

Money Money::operator+(Money o) const { return Money(saturate(static_cast<__int128>(m_raw) + o.m_raw)); }

Money Money::operator-(Money o) const { return Money(saturate(static_cast<__int128>(m_raw) - o.m_raw)); }

Money Money::operator*(qint64 n) const { return Money(saturate(static_cast<__int128>(m_raw) * n)); }

Money Money::times(Money factor, int decimals) const { return ExactSum().addTimes(*this, factor).rounded(decimals); }

Money Money::percent(Money pct, int decimals) const { return ExactSum().addPercent(*this, pct).rounded(decimals); }

// 1e-10 units: an amount (1e-4) is scaled by 1e6; amount × factor (1e-8) by
// 100; amount × percent ÷ 100 is exactly the product of the raw values.
// Only absurd stored values can leave the 128-bit range; they saturate.
namespace {

constexpr __int128 kWideMax = ~static_cast<unsigned __int128>(0) >> 1;
constexpr __int128 kWideMin = -kWideMax; // symmetric, so negating never overflows

__int128 wideMul(__int128 a, __int128 b)
{
    __int128 r;
    if (__builtin_mul_overflow(a, b, &r))
        return ((a < 0) != (b < 0)) ? kWideMin : kWideMax;
    return r;
}

__int128 wideAdd(__int128 a, __int128 b)
{
    __int128 r;
    if (__builtin_add_overflow(a, b, &r))
        return b < 0 ? kWideMin : kWideMax;
    return r;
}

} // namespace

ExactSum &ExactSum::add(Money a)
{
    m_value = wideAdd(m_value, wideMul(a.raw(), 1000000));
    return *this;
}

ExactSum &ExactSum::addTimes(Money a, Money factor)
{
    m_value = wideAdd(m_value, wideMul(wideMul(a.raw(), factor.raw()), 100));
    return *this;
}

ExactSum &ExactSum::addPercent(Money a, Money pct)
{
    m_value = wideAdd(m_value, wideMul(a.raw(), pct.raw()));
    return *this;
}

ExactSum &ExactSum::addTimes(Money a, qint64 n)
{
    m_value = wideAdd(m_value, wideMul(wideMul(a.raw(), n), 1000000));
    return *this;
}

Money ExactSum::rounded(int decimals) const
{
    const int d = clampDecimals(decimals);
    const __int128 q = divRound(m_value, pow10(10 - d));
    return Money::fromRaw(saturate(q * pow10(4 - d)));
}

} // namespace corvane
