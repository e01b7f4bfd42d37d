#pragma once
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace corvane {

// An amount of money (or any decimal quantity stored as text: rates,
// percentages, durations) held exactly in 1/10000 units as a 64-bit integer.
// Amounts are kept as text in the database; fromText() reads them, toText()
// writes them with two decimals. No binary floating point is involved, so a
// balance charged a thousand times is still exact.
//
// Arithmetic saturates at the limits of the 64-bit range instead of wrapping:
// a wrapped balance would change sign.
class Money {
public:
    static constexpr qint64 kScale = 10000; // units per yuan

    constexpr Money() = default;
    static constexpr Money fromRaw(qint64 units) { return Money(units); }
    static Money fromYuan(qint64 yuan);

    // Lenient read, as every stored amount is read: leading blanks are skipped,
    // then an optional sign, digits, an optional point and more digits. The
    // rest of the text is ignored; empty or non-numeric text is 0. Digits past
    // the fourth decimal are rounded half away from zero.
    static Money fromText(QStringView text);

    constexpr qint64 raw() const { return m_raw; }
    constexpr bool isZero() const { return m_raw == 0; }
    constexpr bool isNegative() const { return m_raw < 0; }
    // Whether the value has no fractional part.
    constexpr bool isWhole() const { return m_raw % kScale == 0; }
    // The whole part, truncated towards zero.
    constexpr qint64 wholePart() const { return m_raw / kScale; }

    // "0.00": two decimals, halves rounded away from zero (0.125 -> "0.13",
    // -0.125 -> "-0.13"); an amount that rounds to zero is "0.00", never "-0.00".
    QString toText() const;
    // "0.##": at most two decimals, trailing zeros dropped, and a whole amount
    // keeps its point (5 -> "5.", 0.5 -> "0.5", 0.55 -> "0.55"), as the outward
    // call-record copy has always been written.
    QString toTextTrimmed() const;

    // The amount rounded to whole cents (halves away from zero).
    Money roundedToCents() const;

    Money operator-() const;
    Money operator+(Money o) const;
    Money operator-(Money o) const;
    Money &operator+=(Money o) { return *this = *this + o; }
    Money &operator-=(Money o) { return *this = *this - o; }
    // Times a whole count (units of a call, number of calls).
    Money operator*(qint64 n) const;

    // Exact product with a decimal factor held as Money (e.g. 0.5), rounded
    // once to `decimals` places (0 to 4), halves away from zero.
    Money times(Money factor, int decimals = 4) const;
    // Exact this × percent ÷ 100, rounded once to `decimals` places.
    Money percent(Money pct, int decimals = 4) const;

    friend constexpr bool operator==(Money a, Money b) { return a.m_raw == b.m_raw; }
    friend constexpr bool operator!=(Money a, Money b) { return a.m_raw != b.m_raw; }
    friend constexpr bool operator<(Money a, Money b) { return a.m_raw < b.m_raw; }
    friend constexpr bool operator<=(Money a, Money b) { return a.m_raw <= b.m_raw; }
    friend constexpr bool operator>(Money a, Money b) { return a.m_raw > b.m_raw; }
    friend constexpr bool operator>=(Money a, Money b) { return a.m_raw >= b.m_raw; }

private:
    constexpr explicit Money(qint64 raw) : m_raw(raw) {}
    qint64 m_raw = 0;
};

// An exact sum of amounts and of products of amounts with factors and
// percentages, kept at 1e-10 of a unit in 128 bits so that a fee assembled from
// several terms is rounded only once, when it is written.
class ExactSum {
public:
    ExactSum &add(Money a);
    ExactSum &addTimes(Money a, Money factor); // a × factor
    ExactSum &addPercent(Money a, Money pct);  // a × pct ÷ 100
    ExactSum &addTimes(Money a, qint64 n);     // a × n
    // Rounded half away from zero to `decimals` places (0 to 4).
    Money rounded(int decimals = 2) const;

private:
    __int128 m_value = 0; // in 1e-10 units
};

} // namespace corvane
