// The fast path (trie, pre-read numbers, rule tables) against a plain reading
// of the pricing rules: scan every row in table order, read every number from
// its text, look holidays and discount rows up by text comparison.
#include "CallTypes.h"
#include "PricingFixtures.h"
#include "RateBook.h"

#include <QDate>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <random>

using namespace corvane;
using namespace corvane::test;

namespace {

Money val(const QString &s) { return Money::fromText(s); }

// Round a value held in 1e-10 yuan to cents, halves away from zero.
qint64 toCents(__int128 v)
{
    const __int128 d = 100000000;
    const __int128 m = v < 0 ? -v : v;
    __int128 q = m / d;
    if (2 * (m % d) >= d)
        ++q;
    return qint64(v < 0 ? -q : q);
}

QString centsText(qint64 c)
{
    const bool neg = c < 0;
    const qint64 m = neg ? -c : c;
    return QStringLiteral("%1%2.%3")
        .arg(neg && m ? QStringLiteral("-") : QString())
        .arg(m / 100)
        .arg(m % 100, 2, 10, QChar('0'));
}

int hhmmOf(const QString &text)
{
    static const QRegularExpression colon(QStringLiteral("^(\\d{1,2}):(\\d{1,2})$"));
    static const QRegularExpression bare(QStringLiteral("^\\d{1,4}$"));
    const QString t = text.trimmed();
    const auto m = colon.match(t);
    if (m.hasMatch())
        return m.captured(1).toInt() * 100 + m.captured(2).toInt();
    if (bare.match(t).hasMatch())
        return t.toInt();
    return -1;
}

// The discount factor as a percentage charged, following the rules step by step.
Money referenceFactor(const RateTables &t, const QString &endTime, const QString &callType)
{
    Money f = val("100");
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,4})年(\\d{1,2})月(\\d{1,2})日(\\d{1,2})时(\\d{1,2})分$"));
    const auto m = re.match(endTime);
    if (!m.hasMatch())
        return f; // the generator below only garbles whole texts
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const int hhmm = m.captured(4).toInt() * 100 + m.captured(5).toInt();

    const Money code = val(callType);
    if (!code.isWhole() || code.isNegative() || code.wholePart() > 9)
        return f;
    const DiscountRow *d = nullptr;
    for (const DiscountRow &row : t.discount) {
        if (row.type == callTypeName(int(code.wholePart()))) {
            d = &row;
            break;
        }
    }
    if (!d)
        return f;
    auto lower = [&f](const QString &pct) {
        Money p = val(pct);
        if (p.isNegative())
            p = Money();
        if (p < f)
            f = p;
    };
    if (date.isValid()) {
        bool holiday = false;
        for (const HolidayRow &h : t.holiday)
            holiday = holiday
                      || (h.month == QStringLiteral("%1").arg(date.month(), 2, 10, QChar('0'))
                          && h.day == QStringLiteral("%1").arg(date.day(), 2, 10, QChar('0')));
        if (holiday && d->holidayOn == "√")
            lower(d->holidayPercent);
        if (date.dayOfWeek() == 6 && d->saturdayOn == "√")
            lower(d->saturdayPercent);
        if (date.dayOfWeek() == 7 && d->sundayOn == "√")
            lower(d->sundayPercent);
    }
    if (m.captured(4).toInt() < 24 && m.captured(5).toInt() < 60) {
        for (const DiscountBand *b : {&d->bandA, &d->bandB}) {
            const int s = hhmmOf(b->start), e = hhmmOf(b->end);
            if (b->on == "√" && s >= 0 && e >= 0 && s < hhmm && e > hhmm)
                lower(b->percent);
        }
    }
    return f;
}

void referencePrice(const RateTables &t, CallRec &rec)
{
    const FeerateRow *def = nullptr;
    for (const FeerateRow &r : t.feerate)
        if (r.type == "8" && r.area == "市话默认") {
            def = &r;
            break;
        }

    QString B;
    rec.Area = "未知地区电话";
    QString T1, C1, TU, S1, S1P, S2, S2P, D;
    if (def) {
        T1 = def->firstTime;
        C1 = def->firstCharge;
        TU = def->unitTime;
        S1 = def->handlingPerUnit;
        S1P = def->handlingPercent;
        S2 = def->servicePerCall;
        S2P = def->servicePercent;
        D = def->discount;
        rec.Rate = def->unitCharge;
        rec.CallType = def->type;
    } else {
        rec.Rate = "0.00";
        rec.CallType = "8";
    }
    if (rec.Called.left(3) == "000") {
        B = "000000000000";
        rec.Area = "无效号码（未知）";
        C1 = rec.Rate = S1 = S1P = S2 = S2P = "0";
        rec.CallType = "8";
    }
    for (const FeerateRow &r : t.feerate) {
        const QString &P = r.prefix;
        if (rec.Called.left(P.size()) == P && P.size() > B.size()) {
            B = P;
            rec.Area = r.area;
            T1 = r.firstTime;
            C1 = r.firstCharge;
            TU = r.unitTime;
            S1 = r.handlingPerUnit;
            S1P = r.handlingPercent;
            S2 = r.servicePerCall;
            S2P = r.servicePercent;
            D = r.discount;
            rec.Rate = r.unitCharge;
            rec.CallType = r.type;
        }
    }
    const Money F = D == "√" ? referenceFactor(t, rec.EndTime, rec.CallType) : val("100");
    const Money dur = val(rec.Duration);
    qint64 N = 0;
    if (val(T1) < dur && !val(TU).isZero() && !val(TU).isNegative()) {
        const qint64 over = (dur - val(T1)).raw(), tu = val(TU).raw();
        N = over / tu + (over % tu ? 1 : 0);
    }
    // All in 1e-10 yuan: amounts carry 1e-4, a percentage's ÷100 and its 1e-4 make the rest.
    const __int128 U = __int128(val(rec.Rate).raw()) * N + val(C1).raw();
    const qint64 p3 = toCents(U * F.raw());
    const qint64 p1 = toCents(U * val(S1P).raw() + __int128(val(S1).raw()) * N * 1000000);
    const qint64 p2 = toCents(U * val(S2P).raw() + __int128(val(S2).raw()) * 1000000);
    rec.FeePart3 = centsText(p3);
    rec.FeePart1 = centsText(p1);
    rec.FeePart2 = centsText(p2);
    rec.Fee = centsText(p1 + p2 + p3);
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    int pick(int n) { return int(m_rng() % unsigned(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    QString digits(int minLen, int maxLen)
    {
        const int n = minLen + pick(maxLen - minLen + 1);
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + pick(10));
        return s;
    }

    QString amount()
    {
        switch (pick(10)) {
        case 0: return QString();
        case 1: return "abc";
        case 2: return QString::number(pick(300));
        case 3: return "-" + QString::number(pick(5)) + "." + digits(1, 2);
        case 4: return QString::number(pick(3)) + "." + digits(3, 6); // past four decimals
        case 5: return "." + digits(1, 3);
        default: return QString::number(pick(100)) + "." + digits(2, 2);
        }
    }

    QString mark() { return chance(60) ? QStringLiteral("√") : (chance(50) ? QStringLiteral("×") : QString()); }

    QString prefix()
    {
        if (chance(5))
            return QString();
        if (chance(5))
            return "000" + digits(0, 12);
        QString p = digits(1, 8);
        if (chance(3))
            p.insert(pick(p.size() + 1), QChar(u'B'));
        return p;
    }

    QString time()
    {
        switch (pick(8)) {
        case 0: return QString();
        case 1: return QString::number(pick(2400));
        case 2: return QStringLiteral("%1:%2").arg(pick(24)).arg(pick(60), 2, 10, QChar('0'));
        default: return QStringLiteral("%1:%2").arg(pick(25), 2, 10, QChar('0')).arg(pick(60), 2, 10, QChar('0'));
        }
    }

    RateTables tables(int rowCount)
    {
        RateTables t;
        QStringList used;
        for (int i = 0; i < rowCount; ++i) {
            FeerateRow r;
            // Reuse prefixes now and then for ties; defaults and near-defaults here and there.
            r.prefix = (!used.isEmpty() && chance(10)) ? used.at(pick(used.size())) : prefix();
            used.append(r.prefix);
            r.area = chance(4) ? "市话默认" : "区" + QString::number(i);
            r.type = chance(3) ? "x" : QString::number(pick(chance(5) ? 12 : 10));
            r.firstTime = chance(80) ? QString::number(pick(400)) : amount();
            r.firstCharge = amount();
            r.unitTime = chance(80) ? QString::number(pick(120)) : amount();
            r.unitCharge = amount();
            r.handlingPerUnit = amount();
            r.handlingPercent = amount();
            r.servicePerCall = amount();
            r.servicePercent = amount();
            r.discount = mark();
            t.feerate.append(r);
        }
        if (chance(80)) {
            FeerateRow d = cityDefaultRow();
            d.firstCharge = amount();
            d.unitCharge = amount();
            d.discount = mark();
            t.feerate.insert(pick(t.feerate.size() + 1), d);
        }
        for (int code = 0; code < 10; ++code) {
            if (chance(20))
                continue;
            DiscountRow d = discountRow(callTypeName(code));
            d.bandA = {mark(), time(), time(), amount()};
            d.bandB = {mark(), time(), time(), amount()};
            d.saturdayOn = mark();
            d.saturdayPercent = amount();
            d.sundayOn = mark();
            d.sundayPercent = amount();
            d.holidayOn = mark();
            d.holidayPercent = amount();
            t.discount.insert(pick(t.discount.size() + 1), d);
        }
        for (int i = pick(12); i > 0; --i) {
            const int m = 1 + pick(12), d = 1 + pick(31);
            t.holiday.append(chance(80) ? holidayRow(QStringLiteral("%1").arg(m, 2, 10, QChar('0')),
                                                     QStringLiteral("%1").arg(d, 2, 10, QChar('0')))
                                        : holidayRow(QString::number(m), QString::number(d)));
        }
        return t;
    }

    CallRec call(const RateTables &t)
    {
        QString called;
        if (!t.feerate.isEmpty() && chance(70)) {
            const QString &p = t.feerate.at(pick(t.feerate.size())).prefix;
            called = chance(15) ? p.left(pick(p.size() + 1)) : p + digits(0, 8);
        } else {
            called = chance(10) ? "000" + digits(0, 10) : digits(0, 14);
        }
        const QDate date = QDate(2024, 1, 1).addDays(pick(1100));
        QString end = QStringLiteral("%1年%2月%3日%4时%5分")
                          .arg(date.year())
                          .arg(date.month(), 2, 10, QChar('0'))
                          .arg(date.day(), 2, 10, QChar('0'))
                          .arg(pick(24), 2, 10, QChar('0'))
                          .arg(pick(60), 2, 10, QChar('0'));
        if (chance(3))
            end = "垃圾";
        const QString duration = chance(95) ? QString::number(pick(65536)) : amount();
        return callTo(called, duration, end);
    }

private:
    std::mt19937 m_rng;
};

} // namespace

TEST(PricingDifferential, FastPathMatchesThePlainScan)
{
    int discounted = 0, matchedRows = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        Generator gen(seed);
        const RateTables tables = gen.tables(seed % 3 == 0 ? 400 : 1 + gen.pick(60));
        const RateBook book(tables);
        for (int i = 0; i < 400; ++i) {
            CallRec fast = gen.call(tables);
            CallRec slow = fast;
            ComputeFee(book, fast);
            referencePrice(tables, slow);
            const QString what = QStringLiteral("seed %1 call %2 to \"%3\" for \"%4\" at %5")
                                     .arg(seed)
                                     .arg(i)
                                     .arg(fast.Called, fast.Duration, fast.EndTime);
            ASSERT_EQ(fast.CallType, slow.CallType) << qPrintable(what);
            ASSERT_EQ(fast.Area, slow.Area) << qPrintable(what);
            ASSERT_EQ(fast.Rate, slow.Rate) << qPrintable(what);
            ASSERT_EQ(fast.FeePart1, slow.FeePart1) << qPrintable(what);
            ASSERT_EQ(fast.FeePart2, slow.FeePart2) << qPrintable(what);
            ASSERT_EQ(fast.FeePart3, slow.FeePart3) << qPrintable(what);
            ASSERT_EQ(fast.Fee, slow.Fee) << qPrintable(what);
            if (fast.Area.startsWith(u'区'))
                ++matchedRows;
            if (GetDiscountFactor(book, fast.EndTime, fast.CallType).percent != val("100"))
                ++discounted;
        }
    }
    // The random cases must reach the interesting paths, or the comparison proves little.
    EXPECT_GT(matchedRows, 5000);
    EXPECT_GT(discounted, 2000);
}
