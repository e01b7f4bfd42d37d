#include "RateBook.h"

#include "CallTypes.h"

#include <QDate>

namespace corvane {

namespace {

const QString kMark = QStringLiteral("√");
const QString kCityType = QStringLiteral("8");
const QString kCityDefault = QStringLiteral("市话默认");
const QString kUnknownArea = QStringLiteral("未知地区电话");
const QString kInvalidArea = QStringLiteral("无效号码（未知）");
const QString kZero = QStringLiteral("0");
const QString kZeroAmount = QStringLiteral("0.00");
// Invalid numbers count as if a twelve-digit prefix had matched, so only a
// longer prefix can still take them over.
constexpr int kInvalidPrefixLength = 12;

bool isDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

// Whole number from a run of digits [from, to); -1 when empty, too long or not all digits.
int digitsValue(const QString &s, int from, int to, int maxLength)
{
    if (to <= from || to - from > maxLength)
        return -1;
    int v = 0;
    for (int i = from; i < to; ++i) {
        if (!isDigit(s.at(i)))
            return -1;
        v = v * 10 + (s.at(i).unicode() - u'0');
    }
    return v;
}

// A band limit "HH:MM" (or "H:MM", or bare digits "HHMM") as the number HHMM;
// -1 when it cannot be read, which keeps the band from applying.
int bandTime(const QString &text)
{
    const QString t = text.trimmed();
    const int colon = t.indexOf(u':');
    if (colon < 0)
        return digitsValue(t, 0, t.size(), 4);
    const int h = digitsValue(t, 0, colon, 2);
    const int m = digitsValue(t, colon + 1, t.size(), 2);
    if (h < 0 || m < 0)
        return -1;
    return h * 100 + m;
}

// A percentage charged. Below 0 would turn a charge into a credit, so it is
// held at 0: a discount can make a call free, never pay the caller.
Money percentCharged(const QString &text)
{
    const Money p = Money::fromText(text);
    return p.isNegative() ? Money() : p;
}

} // namespace

CallTime CallTime::fromEndTime(const QString &endTime)
{
    CallTime t;
    const int yearMark = endTime.indexOf(u'年');
    const int monthMark = endTime.indexOf(u'月');
    const int dayMark = endTime.indexOf(u'日');
    if (yearMark > 0 && monthMark > yearMark && dayMark > monthMark) {
        const int y = digitsValue(endTime, 0, yearMark, 4);
        const int m = digitsValue(endTime, yearMark + 1, monthMark, 2);
        const int d = digitsValue(endTime, monthMark + 1, dayMark, 2);
        const QDate date(y, m, d);
        if (y > 0 && date.isValid()) {
            t.month = m;
            t.day = d;
            t.weekday = date.dayOfWeek();
        }
    }
    // Time of day after the date: "23时30分" from the intake, "23:30:00" from incoming calls.
    const int from = dayMark >= 0 ? dayMark + 1 : 0;
    int hourMark = endTime.indexOf(u'时', from);
    int minuteEnd = endTime.indexOf(u'分', from);
    if (hourMark < 0) {
        hourMark = endTime.indexOf(u':', from);
        minuteEnd = hourMark < 0 ? -1 : endTime.indexOf(u':', hourMark + 1);
        if (hourMark >= 0 && minuteEnd < 0)
            minuteEnd = endTime.size();
    }
    if (hourMark > from && minuteEnd > hourMark) {
        const int h = digitsValue(endTime, from, hourMark, 2);
        const int m = digitsValue(endTime, hourMark + 1, minuteEnd, 2);
        if (h >= 0 && h < 24 && m >= 0 && m < 60)
            t.hhmm = h * 100 + m;
    }
    return t;
}

RateBook::RateBook(const RateTables &tables)
{
    m_trie.emplace_back();
    m_rows.reserve(size_t(tables.feerate.size()));
    for (const FeerateRow &r : tables.feerate) {
        Row row;
        row.prefix = r.prefix;
        row.area = r.area;
        row.rate = r.unitCharge;
        row.type = r.type;
        row.firstTime = Money::fromText(r.firstTime);
        row.firstCharge = Money::fromText(r.firstCharge);
        row.unitTime = Money::fromText(r.unitTime);
        row.unitCharge = Money::fromText(r.unitCharge);
        row.handlingPerUnit = Money::fromText(r.handlingPerUnit);
        row.handlingPercent = Money::fromText(r.handlingPercent);
        row.servicePerCall = Money::fromText(r.servicePerCall);
        row.servicePercent = Money::fromText(r.servicePercent);
        row.discount = (r.discount == kMark);
        const int index = int(m_rows.size());
        m_rows.push_back(std::move(row));
        if (m_defaultRow < 0 && r.type == kCityType && r.area == kCityDefault)
            m_defaultRow = index;
        // An empty prefix is never taken, so it does not enter the trie.
        if (!r.prefix.isEmpty())
            insertPrefix(r.prefix, index);
    }

    for (int code = 0; code < kCallTypeCount; ++code) {
        const QString name = callTypeName(code);
        for (const DiscountRow &d : tables.discount) {
            if (d.type != name)
                continue;
            Rule rule;
            auto band = [](const DiscountBand &b) {
                Band out;
                out.start = bandTime(b.start);
                out.end = bandTime(b.end);
                out.on = b.on == kMark && out.start >= 0 && out.end >= 0;
                out.percent = percentCharged(b.percent);
                return out;
            };
            rule.bandA = band(d.bandA);
            rule.bandB = band(d.bandB);
            rule.saturdayOn = d.saturdayOn == kMark;
            rule.saturdayPercent = percentCharged(d.saturdayPercent);
            rule.sundayOn = d.sundayOn == kMark;
            rule.sundayPercent = percentCharged(d.sundayPercent);
            rule.holidayOn = d.holidayOn == kMark;
            rule.holidayPercent = percentCharged(d.holidayPercent);
            m_rules[size_t(code)] = rule;
            break; // the first row of the type's name counts
        }
    }

    // Holidays are looked up by the two-digit month and day texts, so only rows
    // stored exactly that way can ever be found ("1" is not "01").
    for (const HolidayRow &h : tables.holiday) {
        const int m = h.month.size() == 2 ? digitsValue(h.month, 0, 2, 2) : -1;
        const int d = h.day.size() == 2 ? digitsValue(h.day, 0, 2, 2) : -1;
        if (m >= 0 && d >= 0)
            m_holidays.set(size_t(m * 100 + d));
    }
}

void RateBook::insertPrefix(const QString &prefix, int row)
{
    int node = 0;
    for (QChar c : prefix) {
        const char16_t u = c.unicode();
        int next = -1;
        if (u >= u'0' && u <= u'9') {
            next = m_trie[size_t(node)].digit[u - u'0'];
        } else {
            for (const auto &e : m_trie[size_t(node)].other)
                if (e.first == u)
                    next = e.second;
        }
        if (next < 0) {
            next = int(m_trie.size());
            m_trie.emplace_back();
            Node &parent = m_trie[size_t(node)];
            if (u >= u'0' && u <= u'9')
                parent.digit[u - u'0'] = next;
            else
                parent.other.emplace_back(u, next);
        }
        node = next;
    }
    // Among equally long prefixes the first row in table order wins.
    if (m_trie[size_t(node)].row < 0)
        m_trie[size_t(node)].row = row;
}

int RateBook::longestMatch(const QString &called, int minLength) const
{
    int best = -1;
    int node = 0;
    const int n = called.size();
    const QChar *s = called.constData();
    for (int i = 0; i < n; ++i) {
        const char16_t u = s[i].unicode();
        const Node &cur = m_trie[size_t(node)];
        int next = -1;
        if (u >= u'0' && u <= u'9') {
            next = cur.digit[u - u'0'];
        } else {
            for (const auto &e : cur.other)
                if (e.first == u)
                    next = e.second;
        }
        if (next < 0)
            break;
        node = next;
        if (i + 1 > minLength && m_trie[size_t(node)].row >= 0)
            best = m_trie[size_t(node)].row;
    }
    return best;
}

DiscountFactor RateBook::discountFactor(const QString &endTime, const QString &callType) const
{
    return discountFactor(CallTime::fromEndTime(endTime), callType);
}

DiscountFactor RateBook::discountFactor(const CallTime &t, const QString &callType) const
{
    DiscountFactor f;
    // A code outside 0..9, or a type without a Discount row, has no rules and
    // pays the full price.
    const Money code = Money::fromText(callType);
    if (!code.isWhole() || code.isNegative() || code.wholePart() >= kCallTypeCount)
        return f;
    const std::optional<Rule> &rule = m_rules[size_t(code.wholePart())];
    if (!rule)
        return f;

    // Every rule that holds may lower the factor; the lowest wins.
    auto consider = [&f](Money pct) {
        if (pct < f.percent)
            f.percent = pct;
    };
    if (t.hasDate()) {
        if (rule->holidayOn && m_holidays.test(size_t(t.month * 100 + t.day)))
            consider(rule->holidayPercent);
        if (t.weekday == 6 && rule->saturdayOn)
            consider(rule->saturdayPercent);
        if (t.weekday == 7 && rule->sundayOn)
            consider(rule->sundayPercent);
    }
    if (t.hhmm >= 0) {
        // Only the end of the call counts, strictly inside the band; a band
        // whose end is not after its start never holds.
        for (const Band *b : {&rule->bandA, &rule->bandB})
            if (b->on && b->start < t.hhmm && b->end > t.hhmm)
                consider(b->percent);
    }
    return f;
}

void RateBook::price(CallRec &rec) const
{
    // Start from the default city row, which prices every number no prefix
    // matches. Without one, a call is priced at zero as a city call rather than
    // with whatever the previous call left behind.
    const Row *base = m_defaultRow >= 0 ? &m_rows[size_t(m_defaultRow)] : nullptr;
    Money firstTime, firstCharge, unitTime, unitCharge;
    Money handlingPerUnit, handlingPercent, servicePerCall, servicePercent;
    bool discount = false;
    rec.Area = kUnknownArea;
    if (base) {
        firstTime = base->firstTime;
        firstCharge = base->firstCharge;
        unitTime = base->unitTime;
        unitCharge = base->unitCharge;
        handlingPerUnit = base->handlingPerUnit;
        handlingPercent = base->handlingPercent;
        servicePerCall = base->servicePerCall;
        servicePercent = base->servicePercent;
        discount = base->discount;
        rec.Rate = base->rate;
        rec.CallType = base->type;
    } else {
        rec.Rate = kZeroAmount;
        rec.CallType = kCityType;
    }

    int minLength = 0;
    const QString &called = rec.Called;
    if (called.size() >= 3 && called.at(0) == u'0' && called.at(1) == u'0' && called.at(2) == u'0') {
        // Invalid number: no charge, but first period, unit and discount switch stay those of the default row.
        minLength = kInvalidPrefixLength;
        rec.Area = kInvalidArea;
        firstCharge = unitCharge = Money();
        handlingPerUnit = handlingPercent = servicePerCall = servicePercent = Money();
        rec.Rate = kZero;
        rec.CallType = kCityType;
    }

    const int match = longestMatch(called, minLength);
    if (match >= 0) {
        const Row &r = m_rows[size_t(match)];
        rec.Area = r.area;
        rec.Rate = r.rate;
        rec.CallType = r.type;
        firstTime = r.firstTime;
        firstCharge = r.firstCharge;
        unitTime = r.unitTime;
        unitCharge = r.unitCharge;
        handlingPerUnit = r.handlingPerUnit;
        handlingPercent = r.handlingPercent;
        servicePerCall = r.servicePerCall;
        servicePercent = r.servicePercent;
        discount = r.discount;
    }

    const DiscountFactor factor = discount ? discountFactor(rec.EndTime, rec.CallType) : DiscountFactor();

    // Each started further unit is charged in full; the first period always is.
    // Counted in 64 bits: the switch reports up to 65535 s, beyond a 16-bit count.
    // A unit length below zero would count negative units, so it counts none.
    const Money duration = Money::fromText(rec.Duration);
    qint64 units = 0;
    if (firstTime < duration && unitTime > Money()) {
        const qint64 over = (duration - firstTime).raw();
        units = over / unitTime.raw() + (over % unitTime.raw() != 0 ? 1 : 0);
    }

    // Both percentages are of the undiscounted charge; each part is rounded
    // once, and the total is the sum of the rounded parts.
    const Money charge = unitCharge * units + firstCharge;
    const Money part3 = charge.percent(factor.percent, 2);
    const Money part1 = ExactSum().addPercent(charge, handlingPercent).addTimes(handlingPerUnit, units).rounded(2);
    const Money part2 = ExactSum().addPercent(charge, servicePercent).add(servicePerCall).rounded(2);
    rec.FeePart1 = part1.toText();
    rec.FeePart2 = part2.toText();
    rec.FeePart3 = part3.toText();
    rec.Fee = (part3 + part1 + part2).toText();
}

void ComputeFee(const RateBook &book, CallRec &rec) { book.price(rec); }

DiscountFactor GetDiscountFactor(const RateBook &book, const QString &endTime, const QString &callType)
{
    return book.discountFactor(endTime, callType);
}

} // namespace corvane
