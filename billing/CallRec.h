#pragma once
#include <QString>

namespace corvane {

// The call record being handled: filled by the call-record intake from the
// switch's frame, completed by ComputeFee (type, rate, fee, area and the three
// fee parts), then charged and stored. Every member is text, as stored.
struct CallRec {
    QString IsAccount; // "1" for a call made with an account code
    QString CallType;  // call-type code "0".."9" of the rate row used
    QString Trunk;
    QString Caller;
    QString EndTime;  // "2026年12月08日23时30分"
    QString Duration; // seconds, decimal text
    QString Called;   // dialled digits
    QString Rate;     // charge per further unit, as stored in the rate row
    QString Fee;      // total, "0.00"
    QString Area;     // area name of the rate row, or a fixed name
    QString FeePart1; // handling fee, "0.00"
    QString FeePart2; // service fee, "0.00"
    QString FeePart3; // call charge after the discount, "0.00"
};

} // namespace corvane
