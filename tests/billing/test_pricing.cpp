#include "PricingFixtures.h"
#include "RateBook.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kTuesday = QStringLiteral("2026年12月08日10时00分");
const QString kSaturday = QStringLiteral("2026年12月12日10时00分");
const QString kSunday = QStringLiteral("2026年12月13日10时00分");

CallRec priced(const RateTables &t, CallRec rec)
{
    ComputeFee(RateBook(t), rec);
    return rec;
}

Money pct(const RateBook &book, const QString &endTime, const QString &type = QStringLiteral("8"))
{
    return GetDiscountFactor(book, endTime, type).percent;
}

QString fees(const CallRec &r) { return QStringList{r.FeePart3, r.FeePart1, r.FeePart2, r.Fee}.join(u' '); }

} // namespace

TEST(Pricing, WorkedExampleWithHalfPriceOnSaturday)
{
    RateTables t;
    t.feerate = {cityDefaultRow(),
                 rateRow("021", "上海", "2", "180", "0.20", "60", "0.10", "0", "10", "0.50", "0", "√")};
    DiscountRow d = discountRow("国内");
    d.saturdayOn = "√";
    d.saturdayPercent = "50";
    t.discount = {d};

    const CallRec r = priced(t, callTo("02112345678", "200", kSaturday));
    EXPECT_EQ(r.Area, "上海");
    EXPECT_EQ(r.CallType, "2");
    EXPECT_EQ(r.Rate, "0.10");
    EXPECT_EQ(fees(r), "0.15 0.03 0.50 0.68");
    // On a Tuesday the same call pays the full call charge.
    EXPECT_EQ(fees(priced(t, callTo("02112345678", "200", kTuesday))), "0.30 0.03 0.50 0.83");
}

TEST(Pricing, UnmatchedAndInvalidNumbers)
{
    RateTables t;
    FeerateRow city = cityDefaultRow();
    city.servicePerCall = "0.50";
    t.feerate = {rateRow("010", "北京", "2", "60", "0.30", "60", "0.30"), city};

    CallRec r = priced(t, callTo("7654321", "200"));
    EXPECT_EQ(r.Area, "未知地区电话");
    EXPECT_EQ(r.CallType, "8");
    EXPECT_EQ(r.Rate, "0.10");
    EXPECT_EQ(fees(r), "0.30 0.00 0.50 0.80");

    // "000…" is invalid: nothing is charged, not even the default row's service fee.
    r = priced(t, callTo("000123", "5000"));
    EXPECT_EQ(r.Area, "无效号码（未知）");
    EXPECT_EQ(r.CallType, "8");
    EXPECT_EQ(r.Rate, "0");
    EXPECT_EQ(fees(r), "0.00 0.00 0.00 0.00");

    // Short of three zeros it is an ordinary unmatched number.
    EXPECT_EQ(priced(t, callTo("00", "10")).Area, "未知地区电话");

    // Invalid numbers behave as if twelve digits had matched: prefixes up to
    // that length cannot take them, a longer one can.
    t.feerate.append(rateRow("000", "零", "1", "0", "9", "0", "9"));
    EXPECT_EQ(priced(t, callTo("0001234567890123", "10")).Area, "无效号码（未知）");
    t.feerate.append(rateRow("0001234567890", "长号", "1", "0", "1.50", "0", "0"));
    r = priced(t, callTo("0001234567890123", "10"));
    EXPECT_EQ(r.Area, "长号");
    EXPECT_EQ(r.Fee, "1.50");
}

TEST(Pricing, LongestPrefixWinsWhateverTheOrder)
{
    const FeerateRow p0 = rateRow("0", "长途", "2", "60", "1", "60", "1");
    const FeerateRow p01 = rateRow("01", "华北", "2", "60", "2", "60", "2");
    const FeerateRow p010 = rateRow("010", "北京", "2", "60", "3", "60", "3");
    const QList<QList<FeerateRow>> orders = {{p0, p01, p010}, {p010, p01, p0}, {p01, p010, p0}};
    for (const auto &order : orders) {
        RateTables t;
        t.feerate = order;
        t.feerate.prepend(cityDefaultRow());
        EXPECT_EQ(priced(t, callTo("01062345678", "30")).Area, "北京");
        EXPECT_EQ(priced(t, callTo("0216234", "30")).Area, "长途");
        EXPECT_EQ(priced(t, callTo("0176234", "30")).Area, "华北");
    }
}

TEST(Pricing, TiesEmptyPrefixesAndPrefixesLongerThanTheNumber)
{
    RateTables t;
    t.feerate = {rateRow("", "空字头", "3", "0", "5", "0", "5"), cityDefaultRow(),
                 rateRow("13", "移动甲", "3", "60", "0.40", "60", "0.40"),
                 rateRow("13", "移动乙", "3", "60", "0.90", "60", "0.90"),
                 rateRow("1380000", "长字头", "3", "60", "0.10", "60", "0.10")};
    // Equal lengths: the first row in table order.
    EXPECT_EQ(priced(t, callTo("13912345678", "30")).Area, "移动甲");
    // A prefix longer than the dialled number never matches.
    EXPECT_EQ(priced(t, callTo("138000", "30")).Area, "移动甲");
    EXPECT_EQ(priced(t, callTo("1380000", "30")).Area, "长字头");
    // An empty prefix is never taken, even ahead of the default row.
    const CallRec r = priced(t, callTo("5551234", "30"));
    EXPECT_EQ(r.Area, "未知地区电话");
    EXPECT_EQ(r.Fee, "0.20");
    // Prefixes are compared as text: a letter from the switch is a character like any other.
    t.feerate.append(rateRow("1B", "特服", "4", "0", "0.01", "0", "0"));
    EXPECT_EQ(priced(t, callTo("1B7", "30")).Area, "特服");
}

TEST(Pricing, UnitCounting)
{
    RateTables t;
    t.feerate = {cityDefaultRow(), rateRow("9", "按秒", "5", "0", "0", "1", "0.01"),
                 rateRow("8", "无单位", "5", "180", "0.20", "0", "0.10"),
                 rateRow("7", "负单位", "5", "10", "0.20", "-60", "0.10"),
                 rateRow("6", "小数", "5", "0.5", "0", "0.25", "0.01", "0.001")};

    EXPECT_EQ(priced(t, callTo("5", "180")).Fee, "0.20"); // duration equal to the first period
    EXPECT_EQ(priced(t, callTo("5", "181")).Fee, "0.30"); // one started unit is charged in full
    EXPECT_EQ(priced(t, callTo("5", "240")).Fee, "0.30");
    EXPECT_EQ(priced(t, callTo("5", "241")).Fee, "0.40");
    EXPECT_EQ(priced(t, callTo("5", "0")).Fee, "0.20"); // the first period is always charged
    EXPECT_EQ(priced(t, callTo("5", "")).Fee, "0.20");
    EXPECT_EQ(priced(t, callTo("8", "5000")).Fee, "0.20"); // no unit length: no units

    // Unit counts go past 32767: the longest call the switch reports, second by second.
    EXPECT_EQ(priced(t, callTo("9", "65535")).Fee, "655.35");
    // A negative unit length counts no units instead of crediting the caller.
    EXPECT_EQ(priced(t, callTo("7", "100")).Fee, "0.20");
    // Fractional lengths: (2 - 0.5) / 0.25 = 6 units; handling 0.001 per unit.
    const CallRec r = priced(t, callTo("6", "2"));
    EXPECT_EQ(r.FeePart3, "0.06");
    EXPECT_EQ(r.FeePart1, "0.01");
}

TEST(Pricing, FeePartsAreRoundedExactlyAndTheTotalAddsTheRoundedParts)
{
    RateTables t;
    t.feerate = {cityDefaultRow(), rateRow("1", "半分", "2", "60", "0.01", "60", "0", "0", "50", "0", "50"),
                 rateRow("2", "折半", "2", "60", "2.01", "60", "0", "0", "0", "0", "0", "√")};
    DiscountRow d = discountRow("国内");
    d.sundayOn = "√";
    d.sundayPercent = "50";
    t.discount = {d};

    // 0.01 + 0.005 + 0.005: each part rounds up, so the total is 0.03, not 0.02.
    CallRec r = priced(t, callTo("1", "10"));
    EXPECT_EQ(fees(r), "0.01 0.01 0.01 0.03");
    // 2.01 × 50% is exactly 1.005 and rounds to 1.01 (a binary double gives 1.00499...).
    r = priced(t, callTo("2", "10", kSunday));
    EXPECT_EQ(r.FeePart3, "1.01");
    EXPECT_EQ(r.Fee, "1.01");
}

TEST(Pricing, DiscountSwitchOfTheRowDecides)
{
    RateTables t;
    FeerateRow city = cityDefaultRow();
    city.discount = "√";
    t.feerate = {city, rateRow("0", "长途", "2", "60", "1.00", "60", "1.00", "0", "0", "0", "0", "×")};
    DiscountRow shi = discountRow("市话");
    shi.holidayOn = "√";
    shi.holidayPercent = "50";
    DiscountRow guonei = shi;
    guonei.type = "国内";
    t.discount = {shi, guonei};
    t.holiday = {holidayRow("12", "08")};

    EXPECT_EQ(priced(t, callTo("5551234", "60", kTuesday)).Fee, "0.10");
    EXPECT_EQ(priced(t, callTo("0211234", "60", kTuesday)).Fee, "1.00");
}

TEST(Pricing, WithoutADefaultCityRowNothingIsLeftOverFromTheLastCall)
{
    RateTables t;
    t.feerate = {rateRow("010", "北京", "2", "60", "0.30", "60", "0.30", "0.05", "10", "1", "0")};
    CallRec r = priced(t, callTo("0101234", "200"));
    EXPECT_EQ(r.Area, "北京");
    EXPECT_EQ(fees(r), "1.20 0.27 1.00 2.47");

    // The same record object, next call: every priced member is written afresh.
    r.Called = "5551234";
    r = priced(t, r);
    EXPECT_EQ(r.Area, "未知地区电话");
    EXPECT_EQ(r.CallType, "8");
    EXPECT_EQ(r.Rate, "0.00");
    EXPECT_EQ(fees(r), "0.00 0.00 0.00 0.00");

    // A default row of another type, or a city row with another name, is not the default.
    t.feerate.append(rateRow("", "市话默认", "5", "0", "9", "0", "9"));
    t.feerate.append(rateRow("", "市话", "8", "0", "9", "0", "9"));
    EXPECT_EQ(priced(t, callTo("5551234", "60")).Fee, "0.00");
    t.feerate.append(cityDefaultRow());
    EXPECT_EQ(priced(t, callTo("5551234", "60")).Fee, "0.20");

    // A book with no tables at all (the database could not be read).
    CallRec empty = callTo("0101234", "60");
    ComputeFee(RateBook(), empty);
    EXPECT_EQ(empty.Area + " " + empty.Fee, "未知地区电话 0.00");
}

TEST(DiscountFactor, LowestApplicableRuleWins)
{
    RateTables t;
    DiscountRow d = discountRow("市话");
    d.saturdayOn = "√";
    d.saturdayPercent = "50";
    d.holidayOn = "√";
    d.holidayPercent = "80";
    d.bandA = {"√", "08:00", "12:00", "70"};
    d.bandB = {"√", "09:00", "11:00", "60"};
    t.discount = {d};
    t.holiday = {holidayRow("12", "12"), holidayRow("12", "08")};
    const RateBook book(t);

    EXPECT_EQ(pct(book, "2026年12月12日07时00分"), Money::fromText(u"50"));  // Saturday and holiday
    EXPECT_EQ(pct(book, "2026年12月08日07时00分"), Money::fromText(u"80"));  // holiday only
    EXPECT_EQ(pct(book, "2026年12月08日08时30分"), Money::fromText(u"70"));  // band A beats the holiday
    EXPECT_EQ(pct(book, "2026年12月08日10时00分"), Money::fromText(u"60"));  // inside both bands
    EXPECT_EQ(pct(book, "2026年12月09日13时00分"), Money::fromText(u"100")); // nothing applies
}

TEST(DiscountFactor, BandLimitsAreExclusive)
{
    RateTables t;
    DiscountRow d = discountRow("市话");
    d.bandA = {"√", "08:00", "12:00", "50"};
    d.bandB = {"√", "22:00", "07:00", "10"}; // end not after start: never applies
    t.discount = {d};
    const RateBook book(t);
    const Money full = Money::fromText(u"100"), half = Money::fromText(u"50");

    EXPECT_EQ(pct(book, "2026年12月08日08时00分"), full);
    EXPECT_EQ(pct(book, "2026年12月08日08时01分"), half);
    EXPECT_EQ(pct(book, "2026年12月08日11时59分"), half);
    EXPECT_EQ(pct(book, "2026年12月08日12时00分"), full);
    EXPECT_EQ(pct(book, "2026年12月08日23时30分"), full);
    EXPECT_EQ(pct(book, "2026年12月08日03时00分"), full);

    t.discount[0].bandA.on = "×"; // switched off: ignored inside the band
    EXPECT_EQ(pct(RateBook(t), "2026年12月08日10时00分"), full);
    t.discount[0].bandA = {"√", "8:00", "1200", "50"};
    EXPECT_EQ(pct(RateBook(t), "2026年12月08日10时00分"), half);
    t.discount[0].bandA = {"√", "", "12:00", "50"}; // unreadable limit: the band does not hold
    EXPECT_EQ(pct(RateBook(t), "2026年12月08日10时00分"), full);
}

TEST(DiscountFactor, PercentagesAndLookups)
{
    RateTables t;
    DiscountRow d = discountRow("市话");
    d.sundayOn = "√";
    d.sundayPercent = "120"; // a discount never raises the price
    d.saturdayOn = "√";
    d.saturdayPercent = ""; // empty reads as 0: free
    d.holidayOn = "√";
    d.holidayPercent = "-20";               // below 0 is held at 0, never a credit
    DiscountRow late = discountRow("市话"); // a second row of the name is not read
    late.sundayOn = "√";
    late.sundayPercent = "10";
    t.discount = {d, late};
    t.holiday = {holidayRow("1", "1"), holidayRow("05", "01"), holidayRow("12", "25")};
    const RateBook book(t);

    EXPECT_EQ(pct(book, kSunday), Money::fromText(u"100"));
    EXPECT_EQ(pct(book, kSaturday), Money());
    EXPECT_EQ(pct(book, "2026年12月25日10时00分"), Money());
    EXPECT_EQ(pct(book, "2026年01月01日10时00分"), Money::fromText(u"100")); // stored "1", never found
    EXPECT_EQ(pct(book, "2026年05月01日10时00分"), Money());
    // Types without a Discount row, or outside 0..9, pay the full price.
    EXPECT_EQ(pct(book, kSaturday, "2"), Money::fromText(u"100"));
    EXPECT_EQ(pct(book, kSaturday, "12"), Money::fromText(u"100"));
    EXPECT_EQ(pct(book, kSaturday, "x"), Money::fromText(u"100")); // reads as 0: 港澳台, no row
    // An unreadable end time leaves only the rules it can still decide.
    EXPECT_EQ(pct(book, "?"), Money::fromText(u"100"));
}

TEST(DiscountFactor, EndTimeIsReadFromTheIntakeText)
{
    CallTime t = CallTime::fromEndTime("2026年12月08日23时30分");
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 8);
    EXPECT_EQ(t.weekday, 2);
    EXPECT_EQ(t.hhmm, 2330);

    t = CallTime::fromEndTime("2026年12月13日00:05:09"); // an answered incoming call's form
    EXPECT_EQ(t.weekday, 7);
    EXPECT_EQ(t.hhmm, 5);

    t = CallTime::fromEndTime("2026年02月30日10时00分"); // no such date; the time still counts
    EXPECT_FALSE(t.hasDate());
    EXPECT_EQ(t.hhmm, 1000);

    t = CallTime::fromEndTime("2026年1A月08日25时30分"); // a corrupt BCD byte
    EXPECT_FALSE(t.hasDate());
    EXPECT_EQ(t.hhmm, -1);
}
