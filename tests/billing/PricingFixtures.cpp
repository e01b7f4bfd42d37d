#include "PricingFixtures.h"

namespace corvane::test {

FeerateRow rateRow(const QString &prefix, const QString &area, const QString &type, const QString &firstTime,
                   const QString &firstCharge, const QString &unitTime, const QString &unitCharge,
                   const QString &handlingPerUnit, const QString &handlingPercent, const QString &servicePerCall,
                   const QString &servicePercent, const QString &discount)
{
    return {prefix,          area,           firstTime,      firstCharge, unitTime, unitCharge, handlingPerUnit,
            handlingPercent, servicePerCall, servicePercent, discount,    type};
}

FeerateRow cityDefaultRow()
{
    return rateRow(QString(), QStringLiteral("市话默认"), QStringLiteral("8"), QStringLiteral("180"),
                   QStringLiteral("0.20"), QStringLiteral("60"), QStringLiteral("0.10"));
}

DiscountRow discountRow(const QString &typeName)
{
    const QString off = QStringLiteral("×");
    DiscountRow d;
    d.type = typeName;
    d.bandA = {off, QStringLiteral("00:00"), QStringLiteral("00:00"), QStringLiteral("100")};
    d.bandB = d.bandA;
    d.saturdayOn = d.sundayOn = d.holidayOn = off;
    d.saturdayPercent = d.sundayPercent = d.holidayPercent = QStringLiteral("100");
    return d;
}

HolidayRow holidayRow(const QString &month, const QString &day) { return {QStringLiteral("节日"), month, day}; }

CallRec callTo(const QString &called, const QString &duration, const QString &endTime)
{
    CallRec rec;
    rec.IsAccount = QStringLiteral("0");
    rec.Trunk = QStringLiteral("1");
    rec.Caller = QStringLiteral("5");
    rec.Called = called;
    rec.Duration = duration;
    rec.EndTime = endTime;
    return rec;
}

} // namespace corvane::test
