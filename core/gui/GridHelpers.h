#pragma once
#include "Status.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <Qt>

class QComboBox;
class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace corvane {

class MessageService;

class FlexGrid;
class Recordset;
struct TableRows;

// Fillers and finders for the grids, lists and combo boxes of the windows,
// and the placing of in-cell editors. Reachable as corvane::FillGrid and
// corvane::mdlGeneral::FillGrid.
inline namespace mdlGeneral {

// Row limit of the live call lists and the size they are cut back to.
constexpr int ListRowLimit = 200;
constexpr int ListRowsKept = 100;

// Position of the first item equal to text, -1 when there is none.
int ListIndexOf(const QString &text, const QListWidget *list);
int ListIndexOf(const QString &text, const QComboBox *box);

// First grid row from 1 to the last whose cell in the column equals text
// exactly, -1 when there is none.
int FindGridRow(const QString &text, const FlexGrid &grid, int column);

// Puts a row at the top of a list (a QTreeWidget used as a list view): text
// values[0], further columns values[1..]. A list that already holds more rows
// than rowLimit is first cut back to the 100 newest.
void AddListRow(QTreeWidget *list, int rowLimit, const QStringList &values);

// Fills a grid from a recordset, from its first row: row headerRow gets the
// column names, data row n goes to grid row headerRow + n. columnCount 0
// takes every column of the recordset; rowLimit 0 means no limit. A grid with
// no data rows keeps one empty row under the header. Leaves the recordset at
// its end.
void FillGrid(Recordset &rs, FlexGrid &grid, int columnCount, int rowLimit, int headerRow);
// The same from rows a window's logic read (its recordset stays with it).
void FillGrid(const TableRows &rows, FlexGrid &grid, int columnCount, int rowLimit, int headerRow);
// The same from a read that may have been refused: the grid is left empty
// (its header kept) and the operator told why, never shown an empty table
// as if it were one.
void FillGrid(const Checked<TableRows> &rows, FlexGrid &grid, int columnCount, int rowLimit, int headerRow,
              MessageService &messages, QWidget *parent);

// Fills a list or combo box with one item per row, from the first row: the
// value column's text, followed by "--" and the second column's text when
// secondColumn is 0 or more. limit 0 means no limit.
void FillList(QListWidget *list, Recordset &rs, int limit, int valueColumn, int secondColumn = -1);
void FillList(QComboBox *box, Recordset &rs, int limit, int valueColumn, int secondColumn = -1);

// Column i gets widthsTwips[i] as its minimum width; the columns then fit
// their texts and fill the grid (see FlexGrid).
void SetColWidths(FlexGrid &grid, const QList<int> &widthsTwips);
void SetColAlignment(FlexGrid &grid, int column, Qt::Alignment alignment);
// Cell (row, i) gets values[i].
void SetGridRow(FlexGrid &grid, int row, const QStringList &values);

// Loads a combo box used as an in-cell editor with its choices, shows text in
// it and makes it visible.
void ShowChoices(QComboBox *box, const QString &text, const QStringList &choices);

// Shows a text box with its whole text selected and gives it the focus.
void SelectAllText(QLineEdit *box);

// Moves a text box to the given rectangle (in its parent's coordinates), sets
// its text and selects it for typing over.
void EditCell(QLineEdit *box, const QString &text, int left, int top, int width, int height);
// The same over the grid's current cell, with that cell's text; works whether
// the box is a child of the grid or of the window around it.
void EditCell(QLineEdit *box, const FlexGrid &grid);

} // namespace mdlGeneral
} // namespace corvane
