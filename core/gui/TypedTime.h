#pragma once

class QDateTimeEdit;

namespace corvane {

// A time box the operator types a whole time into ("0730" for 07:30):
// wherever it is clicked or tabbed into, typing starts at its first section.
void AcceptTypedTime(QDateTimeEdit *box);

} // namespace corvane
