#pragma once
#include "Rights.h"

class QWidget;

namespace corvane {

class ConsoleContext;

// The gates in front of the working windows as the main window applies
// them: the refusal of CheckGate or CheckDeleteBills is shown in its box.
// Each returns whether the window (or the deletion) may go ahead.
bool PassGate(ConsoleContext &ctx, Right right, QWidget *parent = nullptr);
bool MayDeleteBills(ConsoleContext &ctx, QWidget *parent = nullptr);

} // namespace corvane
