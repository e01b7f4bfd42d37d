#include "frmPhoneInf.h"
#include <QColor>
#include <QPalette>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace corvane {

frmPhoneInf::frmPhoneInf(QWidget *owner) : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmPhoneInf"));
    setWindowTitle(QStringLiteral("来电信息"));
    setWindowOpacity(Opacity / 255.0);
    setAttribute(Qt::WA_DeleteOnClose, false); // hidden and shown again for every caller
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

    tmrTime = new QTimer(this);
    tmrTime->setObjectName(QStringLiteral("tmrTime"));
    tmrTime->setInterval(ShowMs);
    tmrTime->setSingleShot(true);
    connect(tmrTime, &QTimer::timeout, this, &frmPhoneInf::tmrTime_Timer);
}

void frmPhoneInf::showAt(const QString &info, const QPoint &topLeft)
{
    lblInfo->setText(info);
    adjustSize();
    move(topLeft);
    show();
    raise();
    activateWindow();
    tmrTime->start();
}

void frmPhoneInf::tmrTime_Timer() { close(); }

void frmPhoneInf::lblInfo_Click() { close(); }

bool frmPhoneInf::event(QEvent *e)
{
    // Losing the focus to any other window closes the pop-up.
    if (e->type() == QEvent::WindowDeactivate && isVisible())
        close();
    return QWidget::event(e);
}

bool frmPhoneInf::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == lblInfo && e->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
        lblInfo_Click();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void frmPhoneInf::hideEvent(QHideEvent *e)
{
    tmrTime->stop();
    QWidget::hideEvent(e);
}

} // namespace corvane
