#pragma once
#include "CallRec.h"
#include "RateTables.h"

namespace corvane::test {

// A Feerate row in stored order; the arguments follow the table's columns.
FeerateRow rateRow(const QString &prefix, const QString &area, const QString &type, const QString &firstTime,
                   const QString &firstCharge, const QString &unitTime, const QString &unitCharge,
                   const QString &handlingPerUnit = QStringLiteral("0"),
                   const QString &handlingPercent = QStringLiteral("0"),
                   const QString &servicePerCall = QStringLiteral("0"),
                   const QString &servicePercent = QStringLiteral("0"), const QString &discount = QStringLiteral("×"));

// "市话默认": 180 s for 0.20, then 0.10 per 60 s, no fees, no discount.
FeerateRow cityDefaultRow();

// A Discount row for the type name with every rule switched off.
DiscountRow discountRow(const QString &typeName);

HolidayRow holidayRow(const QString &month, const QString &day);

CallRec callTo(const QString &called, const QString &duration,
               const QString &endTime = QStringLiteral("2026年12月08日10时00分"));

} // namespace corvane::test
