#include "TrunkIndicator.h"
#include <QMouseEvent>

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
