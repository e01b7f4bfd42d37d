#pragma once
#include <QWidget>

class QLabel;
class QTimer;

namespace corvane {

// "来电信息": what the customer directory knows about a caller, shown beside
// the trunk indicator, slightly transparent. It goes away by itself when it
// loses the focus, when its text is clicked or after eight seconds.
class frmPhoneInf : public QWidget {
    Q_OBJECT
public:
    static constexpr int ShowMs = 8000;
    static constexpr int Opacity = 220; // of 255

    explicit frmPhoneInf(QWidget *owner = nullptr);

    QLabel *lblInfo;
    QTimer *tmrTime;

    // Sets the text, puts the top-left corner at `topLeft` (screen position),
    // shows the window and starts the eight seconds again.
    void showAt(const QString &info, const QPoint &topLeft);

public slots:
    void tmrTime_Timer();
    void lblInfo_Click();

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void hideEvent(QHideEvent *e) override;
};

} // namespace corvane
