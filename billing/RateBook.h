#pragma once
#include "CallRec.h"
#include "Money.h"
#include "RateTables.h"

#include <QString>
#include <array>
#include <bitset>
#include <optional>
#include <utility>
#include <vector>

namespace corvane {

// The moment a call ended, as the discount rules need it.
struct CallTime {
    int month = 0;   // 1..12, 0 when the date cannot be read
    int day = 0;     // 1..31
    int weekday = 0; // Monday 1 .. Sunday 7
    int hhmm = -1;   // hour × 100 + minute, -1 when the time cannot be read

    bool hasDate() const { return weekday != 0; }
    // Reads the intake's text "2026年12月08日23时30分" (also "…日23:30:00").
    // A part that is missing or out of range is left unknown, and the rules
    // that need it do not apply.
    static CallTime fromEndTime(const QString &endTime);
};

// The discount factor, held exactly as the percentage of the call charge that
// is charged: 100 is the full price, 50 half of it.
struct DiscountFactor {
    Money percent = Money::fromYuan(100);
    friend bool operator==(DiscountFactor a, DiscountFactor b) { return a.percent == b.percent; }
};

// An immutable snapshot of Feerate, Discount and Holiday, read once into the
// shape pricing needs: numbers parsed, prefixes in a trie, discount rules by
// type code, holidays in a lookup table. Pricing a call costs the length of the
// dialled number, not the size of the rate table.
class RateBook {
public:
    RateBook() : m_trie(1) {} // an empty book prices every call at zero
    explicit RateBook(const RateTables &tables);

    // Completes the call record: CallType, Area, Rate, Fee and FeePart1..3.
    void price(CallRec &rec) const;
    DiscountFactor discountFactor(const QString &endTime, const QString &callType) const;
    DiscountFactor discountFactor(const CallTime &t, const QString &callType) const;

    int feerateCount() const { return int(m_rows.size()); }
    bool hasDefaultRow() const { return m_defaultRow >= 0; }

private:
    // A Feerate row with its numbers read.
    struct Row {
        QString prefix, area, rate, type;
        Money firstTime, firstCharge, unitTime, unitCharge;
        Money handlingPerUnit, handlingPercent, servicePerCall, servicePercent;
        bool discount = false;
    };
    struct Band {
        bool on = false;
        int start = 0, end = 0;
        Money percent;
    };
    struct Rule {
        Band bandA, bandB;
        bool saturdayOn = false, sundayOn = false, holidayOn = false;
        Money saturdayPercent, sundayPercent, holidayPercent;
    };
    struct Node {
        int row = -1;                                // first row in table order ending here
        std::array<int, 10> digit;                   // children for '0'..'9'
        std::vector<std::pair<char16_t, int>> other; // children for any other character
        Node() { digit.fill(-1); }
    };

    void insertPrefix(const QString &prefix, int row);
    // First row of the longest prefix of `called` longer than `minLength`, or -1.
    int longestMatch(const QString &called, int minLength) const;

    std::vector<Row> m_rows;
    std::vector<Node> m_trie;
    int m_defaultRow = -1;
    std::array<std::optional<Rule>, 10> m_rules; // by type code
    std::bitset<100 * 100> m_holidays;           // month × 100 + day, two-digit texts only
};

// Prices one call from a snapshot: the procedures by the names the rest of the
// console uses.
void ComputeFee(const RateBook &book, CallRec &rec);
DiscountFactor GetDiscountFactor(const RateBook &book, const QString &endTime, const QString &callType);

} // namespace corvane
