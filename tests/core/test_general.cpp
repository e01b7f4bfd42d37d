#include "FileAccess.h"
#include "General.h"
#include "MessageService.h"

#include <QSet>
#include <gtest/gtest.h>
#include <limits>

using namespace corvane;

TEST(ProtocolConversions, Hex2PadsAndUppercases)
{
    EXPECT_EQ(Hex2(0), QStringLiteral("00"));
    EXPECT_EQ(Hex2(10), QStringLiteral("0A"));
    EXPECT_EQ(Hex2(16), QStringLiteral("10"));
    EXPECT_EQ(Hex2(255), QStringLiteral("FF"));
}

TEST(ProtocolConversions, DecodeDigitsMapsAToZeroAndDropsFiller)
{
    EXPECT_EQ(DecodeDigits(QStringLiteral("13A9000000")), QStringLiteral("1309"));
    // A number with zeros inside: 0 is written as A, so it survives.
    EXPECT_EQ(DecodeDigits(QStringLiteral("8A1A0000")), QStringLiteral("8010"));
    // B to F stand for themselves.
    EXPECT_EQ(DecodeDigits(QStringLiteral("B0C0F")), QStringLiteral("BCF"));
    EXPECT_EQ(DecodeDigits(QStringLiteral("0000")), QString());
}

TEST(ProtocolConversions, RingAddWrapsBothWays)
{
    EXPECT_EQ(RingAdd(100, 12), 112);
    EXPECT_EQ(RingAdd(510, 3), 1);
    EXPECT_EQ(RingAdd(511, 1), 0);
    EXPECT_EQ(RingAdd(0, -1), 511);
    EXPECT_EQ(RingAdd(5, 512 * 3), 5);
}

TEST(ProtocolConversions, DurationsReadAsMinutesAndSecondsThenHours)
{
    EXPECT_EQ(DurationText("0"), "00:00");
    EXPECT_EQ(DurationText(" 125"), "02:05");
    EXPECT_EQ(DurationText("3599"), "59:59");
    EXPECT_EQ(DurationText("3600"), "1:00:00");
    EXPECT_EQ(DurationText("37325"), "10:22:05");
    EXPECT_EQ(DurationText("abc"), "abc"); // not seconds: as stored
    EXPECT_EQ(DurationText("-5"), "-5");
}

TEST(ProtocolConversions, SecondsBetweenCrossesMidnight)
{
    EXPECT_EQ(SecondsBetween(QStringLiteral("100007"), QStringLiteral("100000")), QStringLiteral("7"));
    EXPECT_EQ(SecondsBetween(QStringLiteral("000010"), QStringLiteral("235950")), QStringLiteral("20"));
    EXPECT_EQ(SecondsBetween(QStringLiteral("130000"), QStringLiteral("120000")), QStringLiteral("3600"));
    EXPECT_EQ(SecondsBetween(QStringLiteral("120000"), QStringLiteral("120000")), QStringLiteral("0"));
}

TEST(NumberReading, ValTakesTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12.5abc")), 12.5);
    EXPECT_DOUBLE_EQ(Val(QString()), 0.0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("abc")), 0.0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("   -3.25")), -3.25);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("+7")), 7.0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1.2.3")), 1.2);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("0.50元")), 0.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("-")), 0.0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(".")), 0.0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("x12")), 0.0);
}

TEST(NumberReading, ValIntTruncatesAndClamps)
{
    EXPECT_EQ(ValInt(QStringLiteral("0800")), 800);
    EXPECT_EQ(ValInt(QStringLiteral("12.9")), 12);
    EXPECT_EQ(ValInt(QStringLiteral("-12.9")), -12);
    EXPECT_EQ(ValInt(QStringLiteral(" 45秒")), 45);
    EXPECT_EQ(ValInt(QStringLiteral("")), 0);
    EXPECT_EQ(ValInt(QStringLiteral("99999999999999999999")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(ValInt(QStringLiteral("-99999999999999999999")), std::numeric_limits<qint64>::min());
}

TEST(NumberReading, IsNumericWantsOneCompleteNumber)
{
    for (const char *yes : {"12", " 12 ", "-1.5", "+.5", "5.", "007"})
        EXPECT_TRUE(IsNumeric(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"", " ", ".", "-", "1.2.3", "12a", "1 2", "--1", "1e3"})
        EXPECT_FALSE(IsNumeric(QString::fromLatin1(no))) << no;
}

namespace {

enum Msg { Accepted = -1, NotNumber, NotWhole, TooLong, TooLarge };

struct CheckCase {
    const char *text;
    bool decimals;
    int maxLength;
    double maxValue;
    Msg expected;
};

} // namespace

TEST(CheckNumber, RejectsInOrderWithTheMatchingMessage)
{
    const QStringList messagesByKind{QStringLiteral("用户容量必须是数字!"), QStringLiteral("用户容量必须是整数!"),
                                     QStringLiteral("太长!"), QStringLiteral("用户容量最大为120门!")};
    const CheckCase cases[] = {
        {"abc", false, 3, 120, NotNumber},
        {"", false, 3, 120, NotNumber},
        // Below the maximum and short enough, but not whole.
        {"12.5", false, 5, 120, NotWhole},
        // The point is reported before the length.
        {"1.25", false, 2, 120, NotWhole},
        {"1234", false, 3, 9999, TooLong},
        {"121", false, 3, 120, TooLarge},
        {"120", false, 3, 120, Accepted},
        {"0", false, 3, 120, Accepted},
        // A maximum below 1 means no maximum.
        {"999", false, 3, 0, Accepted},
        {"999.99", true, 6, 999.99, Accepted},
        {"1000.5", true, 6, 999.99, TooLarge},
        // Signs and blanks are not digits the switch could take.
        {"-5", false, 3, 120, NotNumber},
        {"+5", false, 3, 120, NotNumber},
        {" 12", false, 3, 120, NotNumber},
        {"1.2.3", true, 9, 0, NotNumber},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.text);
        const Status s = CheckNumber(QString::fromUtf8(c.text), c.decimals, c.maxLength, c.maxValue, messagesByKind[0],
                                     messagesByKind[1], messagesByKind[2], messagesByKind[3]);
        if (c.expected == Accepted) {
            EXPECT_TRUE(s) << s.reason().toStdString();
            continue;
        }
        ASSERT_FALSE(s);
        // The reason is the caller's message, shown by the window as it stands.
        EXPECT_EQ(s.reason(), messagesByKind[c.expected]);
    }
}

TEST(NumberReading, IsDigitsWantsDigitsOnly)
{
    for (const char *yes : {"0", "801", "02087654321"})
        EXPECT_TRUE(IsDigits(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"", " 801", "801 ", "+801", "-1", "8.0", "8O1", "１２"})
        EXPECT_FALSE(IsDigits(QString::fromUtf8(no))) << no;
}

TEST(NumberReading, ClockTimeReadsTypedAndStoredTimes)
{
    const struct {
        const char *text;
        int hour; // -1: refused
        int minute;
    } cases[] = {
        {"08:30", 8, 30}, {"8:30", 8, 30},  {" 17:05 ", 17, 5}, {"830", 8, 30},   {"0830", 8, 30},
        {"0", 0, 0},      {"2359", 23, 59}, {"2400", -1, 0},    {"12:60", -1, 0}, {"1260", -1, 0},
        {"12345", -1, 0}, {"8.30", -1, 0},  {"", -1, 0},        {"-830", -1, 0},  {"8:3", -1, 0},
    };
    for (const auto &c : cases) {
        const std::optional<QTime> t = ClockTime(QString::fromLatin1(c.text));
        if (c.hour < 0) {
            EXPECT_FALSE(t.has_value()) << c.text;
        } else {
            ASSERT_TRUE(t.has_value()) << c.text;
            EXPECT_EQ(*t, QTime(c.hour, c.minute)) << c.text;
        }
    }
}

TEST(Choices, IndexAndNextWrapOrFallBack)
{
    const QStringList marks{QStringLiteral("×"), QStringLiteral("√")};
    EXPECT_EQ(ChoiceIndex(QStringLiteral("√"), marks), 1);
    EXPECT_EQ(ChoiceIndex(QStringLiteral("?"), marks), -1);
    EXPECT_EQ(NextChoice(QStringLiteral("√"), QStringLiteral("×"), marks), QStringLiteral("×"));
    EXPECT_EQ(NextChoice(QStringLiteral("×"), QStringLiteral("√"), marks), QStringLiteral("√"));
    EXPECT_EQ(NextChoice(QStringLiteral("?"), QStringLiteral("×"), marks), QStringLiteral("×"));
    EXPECT_EQ(NextChoice(QStringLiteral("6"), QStringLiteral("6"), {}), QStringLiteral("6"));

    const QStringList classes{"1", "2", "3", "4", "5", "6", "7", "8"};
    EXPECT_EQ(NextChoice(QStringLiteral("8"), QStringLiteral("6"), classes), QStringLiteral("1"));
    EXPECT_EQ(NextChoice(QStringLiteral("3"), QStringLiteral("6"), classes), QStringLiteral("4"));
}

TEST(RandomDigits, ExactLengthNeverAllZeros)
{
    bool leadingZeroSeen = false;
    for (int i = 0; i < 20000; ++i) {
        const QString p = RandomDigits(4);
        ASSERT_EQ(p.size(), 4) << p.toStdString();
        ASSERT_NE(p, QStringLiteral("0000"));
        for (QChar ch : p)
            ASSERT_TRUE(ch >= u'0' && ch <= u'9') << p.toStdString();
        leadingZeroSeen = leadingZeroSeen || p.startsWith(u'0');
    }
    // Values below 1000 are written with leading zeros, not shortened.
    EXPECT_TRUE(leadingZeroSeen);

    // One digit: every value 1..9 turns up, 0 never does.
    QSet<QString> singles;
    for (int i = 0; i < 2000; ++i)
        singles.insert(RandomDigits(1));
    EXPECT_EQ(singles.size(), 9);
    EXPECT_FALSE(singles.contains(QStringLiteral("0")));

    EXPECT_EQ(RandomDigits(20).size(), 20);
    EXPECT_TRUE(RandomDigits(0).isEmpty());
}

// Sizes in a message: KB below a megabyte; what is needed rounded up, what
// is there rounded down, so that a refusal never reads "needs 1 MB, has 1 MB".
TEST(SizeTexts, KilobytesBelowAMegabyteAndNeverTheSameForLessAndMore)
{
    EXPECT_EQ(SizeNeededText(1), "1 KB");
    EXPECT_EQ(SizeNeededText(900 * 1024 + 1), "901 KB");
    EXPECT_EQ(SizeAvailableText(900 * 1024 + 1), "900 KB");
    EXPECT_EQ(SizeNeededText(1024 * 1024 + 1), "1.1 MB");
    EXPECT_EQ(SizeAvailableText(1024 * 1024 + 1), "1.0 MB");
    EXPECT_NE(SizeNeededText(1100 * 1024), SizeAvailableText(1099 * 1024));
    EXPECT_EQ(SizeNeededText(300LL * 1024 * 1024 + 1), "301 MB");
}
