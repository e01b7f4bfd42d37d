#pragma once

class QDateEdit;
class QDateTimeEdit;

namespace corvane {

// A time box the operator types a whole time into ("0730" for 07:30):
// wherever it is clicked or tabbed into, typing starts at its first section.
void AcceptTypedTime(QDateTimeEdit *box);

// A date box the operator types a date into as clerks write it: the digits
// typed anywhere in it fill it, "20261101" for 1 November 2026, "1101" for
// 1 November of the year it shows.
void AcceptTypedDate(QDateEdit *box);

} // namespace corvane
