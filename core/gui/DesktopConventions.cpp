#include "DesktopConventions.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace corvane {

namespace {

// Set on a window once its place was restored, so that showing it again
// (a dialog reopened, a window restored from the task bar) leaves it alone.
const char *const kRestored = "corvaneGeometryRestored";

} // namespace

DesktopConventions::DesktopConventions(std::unique_ptr<QSettings> settings, HelpOpener help, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_help(std::move(help))
{}

DesktopConventions::~DesktopConventions()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void DesktopConventions::install() { qApp->installEventFilter(this); }

bool DesktopConventions::remembers(const QWidget *window)
{
    if (!window || !window->isWindow())
        return false;
    const QString name = window->objectName();
    return name.startsWith(QLatin1String("frm")) && name != QLatin1String("frmSplash")
           && name != QLatin1String("frmPhoneInf");
}

QRect DesktopConventions::withinScreen(const QRect &saved, const QRect &screen, const QSize &minimum)
{
    if (!saved.isValid() || !screen.isValid())
        return saved;
    QRect r(saved.topLeft(), saved.size().boundedTo(screen.size()).expandedTo(minimum));
    r.moveLeft(qMax(screen.left(), qMin(r.left(), screen.right() - r.width() + 1)));
    r.moveTop(qMax(screen.top(), qMin(r.top(), screen.bottom() - r.height() + 1)));
    return r;
}

QString DesktopConventions::key(const QWidget *window) const
{
    return QStringLiteral("windows/") + window->objectName();
}

void DesktopConventions::save(QWidget *window)
{
    if (!remembers(window) || !window->property(kRestored).toBool())
        return;
    const bool maximized = window->isMaximized();
    const QRect place = maximized ? window->normalGeometry() : window->geometry();
    m_settings->setValue(key(window) + QStringLiteral("/geometry"), place);
    m_settings->setValue(key(window) + QStringLiteral("/maximized"), maximized);
    m_settings->sync();
}

void DesktopConventions::restore(QWidget *window)
{
    if (!remembers(window) || window->property(kRestored).toBool())
        return;
    window->setProperty(kRestored, true);
    const QRect saved = m_settings->value(key(window) + QStringLiteral("/geometry")).toRect();
    if (!saved.isValid())
        return;
    QScreen *screen = QGuiApplication::screenAt(saved.center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // A window never comes back smaller than its contents need.
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    const QRect place = screen ? withinScreen(saved, screen->availableGeometry(), minimum)
                               : QRect(saved.topLeft(), saved.size().expandedTo(minimum));
    window->setGeometry(place);
    if (m_settings->value(key(window) + QStringLiteral("/maximized")).toBool())
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

bool DesktopConventions::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
        if (watched->isWidgetType())
            restore(static_cast<QWidget *>(watched));
        break;
    case QEvent::Hide:
    case QEvent::Close:
        if (watched->isWidgetType())
            save(static_cast<QWidget *>(watched));
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1 && watched->isWidgetType() && m_help) {
            QWidget *window = static_cast<QWidget *>(watched)->window();
            // The help window itself answers F1 by staying where it is.
            if (window->objectName() == QLatin1String("frmHelp"))
                return true;
            m_help(window, window->objectName());
            return true;
        }
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
