#include "PassiveWindow.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace corvane {

namespace {

class FocusReturner : public QObject {
public:
    // once: only the activation that comes with showing is handed back.
    explicit FocusReturner(QWidget *window, bool once = false) : QObject(window), m_window(window), m_once(once) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::Show) {
            QWidget *active = QApplication::activeWindow();
            m_returnTo = active != m_window ? active : nullptr;
        } else if (event->type() == QEvent::WindowActivate && m_returnTo && m_returnTo->isVisible()) {
            m_returnTo->activateWindow();
            if (m_once)
                m_returnTo = nullptr;
        } else if (event->type() == QEvent::MouseButtonPress && m_once) {
            m_returnTo = nullptr; // the operator came to it
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_once = false;
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

void MakeNotice(QWidget *window)
{
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->installEventFilter(new FocusReturner(window, true));
}

} // namespace corvane
