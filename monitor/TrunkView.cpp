#include "TrunkView.h"

#include "GridHelpers.h"
#include "TrunkIndicator.h"
#include "frmMain.h"

#include <QPixmap>
#include <QStyle>
#include <QTreeWidget>

namespace corvane {

void MainWindowTrunkView::setTrunkPicture(int t, const QString &fileName) { m_main.setTrunkPicture(t, fileName); }
void MainWindowTrunkView::setTrunkText(int t, const QString &text) { m_main.setTrunkText(t, text); }
QString MainWindowTrunkView::trunkText(int t) const { return m_main.trunkText(t); }
void MainWindowTrunkView::setTrunkTextColor(int t, const QColor &color) { m_main.setTrunkTextColor(t, color); }

void MainWindowTrunkView::addIncomingRow(int rowLimit, const QStringList &values)
{
    AddListRow(m_main.ListViewIn, rowLimit, values);
}

int MainWindowTrunkView::incomingRowCount() const { return m_main.ListViewIn->topLevelItemCount(); }

void MainWindowTrunkView::setPanelText(int panel, const QString &text) { m_main.setPanelText(panel, text); }

QPoint MainWindowTrunkView::pictureTopLeft(int t) const
{
    if (t < 0 || t >= frmMain::TrunkCount)
        return m_main.mapToGlobal(QPoint(0, 0));
    const TrunkIndicator *img = m_main.imgPHN[size_t(t)];
    // The indicator is wider than its picture; find where the picture is drawn.
    QRect drawn = img->contentsRect();
    const QPixmap picture = img->pixmap();
    if (!picture.isNull())
        drawn = QStyle::alignedRect(img->layoutDirection(), img->alignment(),
                                    picture.deviceIndependentSize().toSize(), img->contentsRect());
    return img->mapToGlobal(drawn.topLeft());
}

QWidget *MainWindowTrunkView::popupOwner() const { return &m_main; }

} // namespace corvane
