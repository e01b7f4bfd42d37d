#pragma once
// Driving a window as a person does, for the window tests: widgets found by
// object name, tabs, buttons, check boxes, text boxes, grid cells and lists,
// clicked and typed at through QtTest. A step whose widget is missing fails
// the test and does nothing.
#include "TestInput.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QString>
#include <gtest/gtest.h>

class QDateTimeEdit;
class QListWidget;
class QTabWidget;

namespace corvane {
class FlexGrid;
class ScriptedMessageService;
} // namespace corvane

namespace corvane::test {

// The child of `root` with this object name; a missing one fails the test
// and comes back null.
template <class T = QWidget>
T *child(const QObject *root, const QString &name)
{
    T *found = root ? root->findChild<T *>(name) : nullptr;
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

// Every tab widget above `widget` shows the tab that holds it, as a click on
// that tab does.
void showTabOf(QWidget *widget);
// A click on tab `index`.
void showTab(QTabWidget *tabs, int index);

// A click in the middle of a button, its tab shown first.
void press(QAbstractButton *button);
void press(const QObject *root, const QString &name);
// A click on the indicator of a check box or option button.
void clickIndicator(QAbstractButton *button);
// Ticks or unticks a check box with a click on its indicator, unless it is
// so already.
void tick(QAbstractButton *box, bool on);

// Selects all of a box's text and types over it (the box has focus, as an
// open cell editor has).
void typeOver(QLineEdit *box, const QString &text);
// Clicks into a box and types over its text.
void fill(QLineEdit *box, const QString &text);
// Types over the box that has focus and presses Enter.
void enter(QLineEdit *box, const QString &text);
// How the operator leaves a box after typing: the tab key or Enter.
enum class Leave { Tab, Enter };
// Clicks into a box, types over its text and leaves it.
void typeAndLeave(QLineEdit *box, const QString &text, Leave how = Leave::Tab);
// Types a time ("0730") into a time box from its hour on.
void typeTime(QDateTimeEdit *box, const QString &digits);

// A grid cell scrolled into view (its tab shown): its centre, a click
// (Shift extends the selection from the current cell), a double click, its
// text.
QPoint cellCentre(FlexGrid *grid, int row, int col);
void clickCell(FlexGrid *grid, int row, int col, Qt::KeyboardModifiers mods = {});
void dblClickCell(FlexGrid *grid, int row, int col);
QString cellText(FlexGrid *grid, int row, int col);

// A click on the one item of a list whose text matches.
void clickItem(QListWidget *list, const QString &text, Qt::MatchFlags match = Qt::MatchExactly);

// The last box shown is "输入错误" with the error icon, saying `text`; the
// boxes are forgotten after.
void expectInputError(ScriptedMessageService &messages, const QString &text);

} // namespace corvane::test
