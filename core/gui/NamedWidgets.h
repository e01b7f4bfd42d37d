#pragma once
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace corvane {

class FlexGrid;

// The controls the windows build by hand, each with its object name (the
// name tests and the accessibility tree find it by) and an accessible name.
namespace NamedWidgets {

// "txtDelay" and 2 -> "txtDelay_2", the name of a control array's member.
QString indexed(const char *name, int i);

// A button that never becomes the dialog's default: a stray Enter in a grid
// or box must not press "结算" or "删除". Its accessible name is the caption
// without its accelerator ("离开(&X)" -> "离开").
QPushButton *button(QWidget *parent, const QString &caption, const QString &name);

FlexGrid *grid(QWidget *parent, const QString &name, const QString &accessible);

// The hidden editor laid over a grid cell.
QLineEdit *cellBox(QWidget *parent, const QString &name);

// A box with its label: the label's text names it, the label's mnemonic
// focuses it.
QLineEdit *labelledBox(QWidget *parent, const QString &name, QLabel *label);

// Names a control built by hand: its object name, and its accessible name
// without an accelerator mark.
template <class W>
W *named(W *w, const QString &name, const QString &accessible)
{
    w->setObjectName(name);
    w->setAccessibleName(QString(accessible).remove(QLatin1Char('&')));
    return w;
}

// A label whose mnemonic focuses `buddy`.
QLabel *buddyLabel(QWidget *parent, const QString &text, QWidget *buddy);

} // namespace NamedWidgets
} // namespace corvane
