#pragma once
#include <QList>
#include <QRect>
#include <QWidget>

class QLabel;

namespace corvane {

class Clock;
class ClockTimer;

// "来电信息": what the customer directory knows about a caller, shown beside
// the trunk indicator, slightly transparent. It goes away when its text is
// clicked or eight seconds after the caller came (on the console's clock).
//
// It never hides the operator's work: it never takes the keyboard focus
// (MakePassive), and it never covers a modal window or a message box of the
// console. Where its place beside the trunk is covered by one, it goes to the
// nearest place on the screen clear of them; where there is none, it waits
// for them to close, within its eight seconds, and then shows the newest
// caller. A window that opens or moves over it later moves it on too.
class frmPhoneInf : public QWidget {
    Q_OBJECT
public:
    static constexpr int ShowMs = 8000;
    static constexpr int Opacity = 220; // of 255
    // Room kept between the pop-up and a window it must not cover.
    static constexpr int Gap = 8;

    explicit frmPhoneInf(Clock &clock, QWidget *owner = nullptr);

    QLabel *lblInfo;
    ClockTimer *tmrTime;

    // Sets the text, wants its top-left corner at `topLeft` (screen
    // position), shows it where it covers no modal window or message box and
    // starts the eight seconds again.
    void showAt(const QString &info, const QPoint &topLeft);
    // Within its eight seconds, but held back until a place is clear.
    bool isWaiting() const { return m_active && !isVisible(); }

public slots:
    void tmrTime_Timer();
    void lblInfo_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void place();
    void placeSoon();
    void dismiss();
    // The frames of the console's modal windows and message boxes on view.
    QList<QRect> workWindows() const;

    QPoint m_wanted;
    bool m_active = false;
    bool m_placePending = false;
};

} // namespace corvane
