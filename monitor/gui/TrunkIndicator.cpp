#include "TrunkIndicator.h"
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace corvane {

TrunkIndicator::TrunkIndicator(int index, QWidget *parent) : QLabel(parent), m_index(index)
{
    setObjectName(QStringLiteral("imgPHN_%1").arg(index));
    setAccessibleName(QStringLiteral("中继%1").arg(index + 1));
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
}

void TrunkIndicator::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(m_index);
    QLabel::mousePressEvent(event);
}

} // namespace corvane

namespace corvane {

void TrunkIndicator::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    const QPixmap picture = pixmap();
    if (picture.isNull())
        return; // the label shows the number itself
    // The number goes just left of the picture's top, where it covers nothing.
    const QRect drawn =
        QStyle::alignedRect(layoutDirection(), alignment(), picture.deviceIndependentSize().toSize(), contentsRect());
    QFont f = font();
    f.setBold(true);
    QPainter p(this);
    p.setFont(f);
    const QString number = QString::number(m_index + 1);
    const int w = p.fontMetrics().horizontalAdvance(number) + 4;
    const QRect box(qMax(0, drawn.left() - w), drawn.top(), w, p.fontMetrics().height());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(box, Qt::AlignRight | Qt::AlignTop, number);
}

} // namespace corvane
