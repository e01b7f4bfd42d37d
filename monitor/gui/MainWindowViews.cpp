#include "MainWindowViews.h"

#include "General.h"
#include "GridHelpers.h"
#include "frmMain.h"

#include <QColor>
#include <QTreeWidget>

namespace corvane {

void MainWindowCallView::ShowCall(const QStringList &columns)
{
    // Durations as minutes and seconds, like the bill list; numbers and
    // money read right-aligned.
    QStringList shown = columns;
    if (shown.size() > DurationColumn)
        shown[DurationColumn] = DurationText(shown.at(DurationColumn));
    AddListRow(m_window.ListViewOut, ListRowLimit, shown);
    if (QTreeWidgetItem *row = m_window.ListViewOut->topLevelItem(0))
        for (int c : {DurationColumn, RateColumn, FeeColumn})
            row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

void MainWindowTrunkView::setTrunkPicture(int t, const QString &fileName) { m_main.setTrunkPicture(t, fileName); }
void MainWindowTrunkView::setTrunkText(int t, const QString &text) { m_main.setTrunkText(t, text); }
QString MainWindowTrunkView::trunkText(int t) const { return m_main.trunkText(t); }
void MainWindowTrunkView::setTrunkTextColor(int t, Qt::GlobalColor color)
{
    m_main.setTrunkTextColor(t, QColor(color));
}

void MainWindowTrunkView::setTrunkUnknown(int t, bool unknown) { m_main.setTrunkUnknown(t, unknown); }

void MainWindowTrunkView::addIncomingRow(int rowLimit, const QStringList &values)
{
    AddListRow(m_main.ListViewIn, rowLimit, values);
}

void MainWindowTrunkView::showCallerInfo(int t, const QString &info) { m_main.ShowPhoneInf(t, info); }

} // namespace corvane
