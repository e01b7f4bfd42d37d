#pragma once

class QWidget;

namespace corvane {

// Makes a top-level window one that shows itself without taking the keyboard
// focus from the window the operator works in (the caller pop-up, a desktop
// notice): it asks the window system not to activate it, and where the
// window system activates it anyway, hands the activation straight back to
// the window that was active when it was shown. Call before the first show.
void MakePassive(QWidget *window);

// A notice that shows itself without taking the focus, as above, but that
// the operator may go to: once clicked it keeps the focus, so Enter or
// Escape closes it. Shown over `owner` (the main window) and kept above it.
void MakeNotice(QWidget *window);

} // namespace corvane
