#include "PassiveWindow.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace corvane {

namespace {

class FocusReturner : public QObject {
public:
    explicit FocusReturner(QWidget *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::Show) {
            QWidget *active = QApplication::activeWindow();
            m_returnTo = active != m_window ? active : nullptr;
        } else if (event->type() == QEvent::WindowActivate && m_returnTo && m_returnTo->isVisible()) {
            m_returnTo->activateWindow();
        }
        return false;
    }

private:
    QWidget *m_window;
    QPointer<QWidget> m_returnTo;
};

} // namespace

void MakePassive(QWidget *window)
{
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    window->setFocusPolicy(Qt::NoFocus);
    window->installEventFilter(new FocusReturner(window));
}

} // namespace corvane
