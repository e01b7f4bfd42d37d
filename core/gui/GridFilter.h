#pragma once
#include <QString>
#include <QStringList>

class QListWidget;
class QTreeWidget;
class QWidget;

namespace corvane {

class FlexGrid;

// A box "筛选：" over a long grid: only the data rows holding what is typed
// stay shown (in any column); empty shows them all. The rows are hidden, not
// removed, so row numbers and the row ids behind them stay as they are. A
// grid refilled is filtered again.
QWidget *MakeGridFilter(QWidget *parent, FlexGrid *grid, const QString &boxName);
// The same over a list: only its items holding what is typed stay shown.
QWidget *MakeListFilter(QWidget *parent, QTreeWidget *list, const QString &boxName);
QWidget *MakeListFilter(QWidget *parent, QListWidget *list, const QString &boxName);

// "全部选定", "反向选定" and "全部清除" of a list with a filter act on the
// items shown: an item the filter hides is never chosen or dropped unseen.
void SelectShownItems(QListWidget *list);
void InvertShownItems(QListWidget *list);
void ClearShownItems(QListWidget *list);
// The texts of the items chosen and shown, in list order: what a query of
// the chosen takes.
QStringList SelectedShownItems(const QListWidget *list);

} // namespace corvane
