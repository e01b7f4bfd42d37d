#include "Money.h"

#include <gtest/gtest.h>
#include <limits>

using corvane::ExactSum;
using corvane::Money;

namespace {

Money m(const char *text) { return Money::fromText(QString::fromUtf8(text)); }

} // namespace

TEST(Money, ReadsTheLeadingNumberLeniently)
{
    EXPECT_EQ(m("").raw(), 0);
    EXPECT_EQ(m("abc").raw(), 0);
    EXPECT_EQ(m("-").raw(), 0);
    EXPECT_EQ(m(".").raw(), 0);
    EXPECT_EQ(m("12.5元").raw(), 125000);
    EXPECT_EQ(m("  -3.25").raw(), -32500);
    EXPECT_EQ(m("+2").raw(), 20000);
    EXPECT_EQ(m(".5").raw(), 5000);
    EXPECT_EQ(m("5.").raw(), 50000);
    EXPECT_EQ(m("0.10").raw(), 1000);
    EXPECT_EQ(m("1 2").raw(), 10000);
    EXPECT_EQ(m("1,5").raw(), 10000);
}

TEST(Money, RoundsPastTheFourthDecimalHalfAwayFromZero)
{
    EXPECT_EQ(m("1.00005").raw(), 10001);
    EXPECT_EQ(m("1.000049999").raw(), 10000);
    EXPECT_EQ(m("-1.00005").raw(), -10001);
    EXPECT_EQ(m("0.99999").raw(), 10000);
    // Exact decimal reading: 0.1 + 0.2 is 0.3, not 0.30000000000000004.
    EXPECT_EQ(m("0.1") + m("0.2"), m("0.3"));
}

TEST(Money, SaturatesInsteadOfWrapping)
{
    const Money huge = m("99999999999999999999999999");
    EXPECT_EQ(huge.raw(), std::numeric_limits<qint64>::max());
    EXPECT_FALSE((huge + m("1")).isNegative());
    EXPECT_FALSE((huge * 1000).isNegative());
    EXPECT_TRUE((-huge - m("5")).isNegative());
    EXPECT_EQ(m("-99999999999999999999999999").raw(), std::numeric_limits<qint64>::min());
}

TEST(Money, TwoDecimalTextRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(m("0.125").toText(), "0.13");
    EXPECT_EQ(m("1.005").toText(), "1.01");
    EXPECT_EQ(m("-0.125").toText(), "-0.13");
    EXPECT_EQ(m("0.1249").toText(), "0.12");
    EXPECT_EQ(m("2.675").toText(), "2.68"); // 2.67499999... as a double
    EXPECT_EQ(m("0").toText(), "0.00");
    EXPECT_EQ(m("-0.004").toText(), "0.00"); // no "-0.00"
    EXPECT_EQ(m("-0.30").toText(), "-0.30");
    EXPECT_EQ(m("1234567.899").toText(), "1234567.90");
    EXPECT_EQ(m("0.995").toText(), "1.00");
}

TEST(Money, ShortTextKeepsThePointOfAWholeAmount)
{
    EXPECT_EQ(m("5").toTextTrimmed(), "5.");
    EXPECT_EQ(m("3.00").toTextTrimmed(), "3.");
    EXPECT_EQ(m("0").toTextTrimmed(), "0.");
    EXPECT_EQ(m("0.5").toTextTrimmed(), "0.5");
    EXPECT_EQ(m("0.55").toTextTrimmed(), "0.55");
    EXPECT_EQ(m("3.10").toTextTrimmed(), "3.1");
    EXPECT_EQ(m("0.555").toTextTrimmed(), "0.56");
    EXPECT_EQ(m("0.999").toTextTrimmed(), "1.");
    EXPECT_EQ(m("-0.5").toTextTrimmed(), "-0.5");
}

TEST(Money, ProductsAreExactAndRoundedOnce)
{
    EXPECT_EQ(m("0.10") * 3 + m("0.20"), m("0.50"));
    EXPECT_EQ(m("2.01").times(m("0.5"), 2), m("1.01")); // 1.005 exactly, not 1.00499...
    EXPECT_EQ(m("0.30").percent(m("10"), 2), m("0.03"));
    EXPECT_EQ(m("0.0099").percent(m("50"), 4), m("0.005"));
    // Rounded once: 0.00495 gives 0.00; rounding to four places first would give 0.01.
    EXPECT_EQ(m("0.0099").percent(m("50"), 2), m("0"));
    EXPECT_EQ(m("-0.25").percent(m("50"), 2), m("-0.13"));
    EXPECT_EQ(m("1.2345").times(m("1"), 0), m("1"));

    ExactSum s;
    s.addPercent(m("0.0099"), m("50")).addTimes(m("0.001"), 2).add(m("0.0001"));
    EXPECT_EQ(s.rounded(4), m("0.0071")); // 0.00495 + 0.002 + 0.0001 = 0.00705
    EXPECT_EQ(s.rounded(2), m("0.01"));
}

TEST(Money, RepeatedChargesStayExact)
{
    Money balance = m("100.00");
    for (int i = 0; i < 10000; ++i)
        balance -= m("0.01");
    EXPECT_EQ(balance.toText(), "0.00");
    EXPECT_FALSE(balance.isNegative());
    balance -= m("0.80");
    EXPECT_EQ(balance.toText(), "-0.80");
}
