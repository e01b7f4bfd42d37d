#include "frmPhoneInf.h"

#include "Clock.h"
#include "PassiveWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

namespace corvane {

namespace {

// Where a window of `size` wanted at `wanted` goes: there when it fits on
// `screen` clear of every rectangle of `keepClear`, else the nearest such
// place beside one of them or in a corner of the screen; nothing when there
// is none.
std::optional<QPoint> clearSpot(const QPoint &wanted, const QSize &size, const QList<QRect> &keepClear,
                                const QRect &screen)
{
    const int gap = frmPhoneInf::Gap;
    auto onScreen = [&](QPoint p) {
        p.setX(qBound(screen.left(), p.x(), screen.right() + 1 - size.width()));
        p.setY(qBound(screen.top(), p.y(), screen.bottom() + 1 - size.height()));
        return p;
    };
    auto clear = [&](const QPoint &p) {
        const QRect r(p, size);
        if (!screen.contains(r))
            return false;
        return std::none_of(keepClear.begin(), keepClear.end(),
                            [&](const QRect &k) { return r.intersects(k.adjusted(-gap, -gap, gap, gap)); });
    };
    QList<QPoint> candidates{onScreen(wanted)};
    for (const QRect &k : keepClear) {
        candidates << onScreen(QPoint(k.right() + 1 + gap, wanted.y()))
                   << onScreen(QPoint(k.left() - gap - size.width(), wanted.y()))
                   << onScreen(QPoint(wanted.x(), k.bottom() + 1 + gap))
                   << onScreen(QPoint(wanted.x(), k.top() - gap - size.height()));
    }
    candidates << onScreen(screen.topLeft()) << onScreen(screen.topRight()) << onScreen(screen.bottomLeft())
               << onScreen(screen.bottomRight());
    std::stable_sort(candidates.begin(), candidates.end(), [&](const QPoint &a, const QPoint &b) {
        return (a - wanted).manhattanLength() < (b - wanted).manhattanLength();
    });
    for (const QPoint &p : candidates) {
        if (clear(p))
            return p;
    }
    return std::nullopt;
}

bool isWorkWindow(const QWidget *w)
{
    return w->isWindow() && w->isVisible() && !w->isMinimized()
           && (w->windowModality() != Qt::NonModal || qobject_cast<const QMessageBox *>(w));
}

} // namespace

frmPhoneInf::frmPhoneInf(Clock &clock, QWidget *owner) : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmPhoneInf"));
    setWindowTitle(QStringLiteral("来电信息"));
    setWindowOpacity(Opacity / 255.0);
    setAttribute(Qt::WA_DeleteOnClose, false); // hidden and shown again for every caller
    MakePassive(this);
    // A note-coloured card, so it stands out from the trunk panel under it.
    QPalette card = palette();
    card.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    card.setColor(QPalette::WindowText, Qt::black);
    setPalette(card);
    setAutoFillBackground(true);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setAccessibleName(QStringLiteral("来电信息"));
    lblInfo->setTextFormat(Qt::PlainText);
    lblInfo->setWordWrap(true);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInfo->setMinimumWidth(220);
    lblInfo->setMaximumWidth(360);
    lblInfo->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->addWidget(lblInfo);

    tmrTime = new ClockTimer(clock, this);
    tmrTime->setObjectName(QStringLiteral("tmrTime"));
    tmrTime->setInterval(ShowMs);
    tmrTime->setSingleShot(true);
    connect(tmrTime, &ClockTimer::timeout, this, &frmPhoneInf::tmrTime_Timer);
}

void frmPhoneInf::showAt(const QString &info, const QPoint &topLeft)
{
    lblInfo->setText(info);
    adjustSize();
    m_wanted = topLeft;
    if (!m_active) {
        m_active = true;
        // Windows that open, move or close while it is up decide where it
        // may be.
        qApp->installEventFilter(this);
    }
    tmrTime->start();
    place();
}

QList<QRect> frmPhoneInf::workWindows() const
{
    QList<QRect> frames;
    for (const QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && isWorkWindow(w))
            frames << w->frameGeometry();
    }
    return frames;
}

void frmPhoneInf::place()
{
    m_placePending = false;
    if (!m_active)
        return;
    // The frame around it, as far as the window system has told it; before
    // it was shown, the frame of the main window tells how thick the window
    // system draws one, so that the pop-up does not end below the screen.
    QSize frame = isVisible() ? frameGeometry().size() : size();
    if (!isVisible() && parentWidget() && parentWidget()->window()->isVisible()) {
        const QWidget *main = parentWidget()->window();
        frame += main->frameGeometry().size() - main->geometry().size();
    }
    const QScreen *s = parentWidget() ? parentWidget()->screen() : screen();
    const QRect screenRect = s ? s->availableGeometry() : QRect(QPoint(0, 0), frame * 4);
    const std::optional<QPoint> spot = clearSpot(m_wanted, frame, workWindows(), screenRect);
    if (!spot) {
        hide(); // waits for a modal window or a box to close
        return;
    }
    if (pos() != *spot)
        move(*spot);
    if (!isVisible()) {
        show();
        raise();
        // Once shown its own frame is known: placed again by it.
        placeSoon();
    }
}

void frmPhoneInf::placeSoon()
{
    // After the event that moved a window is through, once for many events.
    if (m_placePending)
        return;
    m_placePending = true;
    QTimer::singleShot(0, this, &frmPhoneInf::place);
}

void frmPhoneInf::dismiss()
{
    m_active = false;
    qApp->removeEventFilter(this);
    tmrTime->stop();
    hide();
}

void frmPhoneInf::tmrTime_Timer() { dismiss(); }

void frmPhoneInf::lblInfo_Click() { dismiss(); }

void frmPhoneInf::closeEvent(QCloseEvent *e)
{
    dismiss();
    QWidget::closeEvent(e);
}

bool frmPhoneInf::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == lblInfo && e->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
        lblInfo_Click();
        return true;
    }
    if (m_active && watched != this && watched->isWidgetType()) {
        switch (e->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            if (static_cast<QWidget *>(watched)->isWindow())
                placeSoon();
            break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace corvane
