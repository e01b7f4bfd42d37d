#pragma once
#include <QColor>
#include <QMap>
#include <QTableWidget>

class QTableView;

namespace corvane {

class KeyColumns;

// The console's grid: a text table whose first fixedRows() rows (and first
// fixedCols() columns) are caption cells, painted grey and never current.
// Rows and columns are numbered as the windows speak of them: with one fixed
// row, row 0 holds the column captions and data starts at row 1. The caption
// rows are cells like any other (textMatrix(0, c)); they stay in place while
// the data rows scroll under them, shown by a second view of the same cells
// where Qt's column header would be.
//
// Sizes are given in twips (15 per pixel) and are remembered per column and
// row, so they may be set before the grid has that many columns or rows.
// Column widths are minimums: a column is always at least as wide as its
// captions and its values need (in the font the grid shows them in), and the
// columns share out the room the grid has beyond that, so no text is cut off
// and no part of the grid stays empty. A width of 0 hides the column.
//
// Cells are never edited by the table itself: windows place a line edit or a
// combo box over a cell (EditCell, ShowChoices) and write the result back.
//
// The current cell (row(), col()) is where a selection began; rowSel() and
// colSel() are its other corner. A click makes the clicked cell current; a
// drag or a shift-click extends the selection; a click on a caption cell
// selects the whole column (or row) below (or beside) it.
class FlexGrid : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int TwipsPerPixel = 15;

    explicit FlexGrid(QWidget *parent = nullptr);

    int rows() const { return rowCount(); }
    void setRows(int n);
    int cols() const { return columnCount(); }
    void setCols(int n);
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int n);
    int fixedCols() const { return m_fixedCols; }
    // Fixed columns also stay in view while the grid scrolls sideways.
    void setFixedCols(int n);
    // The first n columns stay in view while the grid scrolls sideways
    // (a grid's key: the extension, the trunk); 0 lets them scroll.
    void setKeyColumns(int n);
    int keyColumns() const { return m_keyColumnCount; }

    // Text of a cell; empty for a cell outside the grid. Writes outside the
    // grid are ignored.
    QString textMatrix(int r, int c) const;
    void setTextMatrix(int r, int c, const QString &text);
    // Text of the current cell.
    QString text() const { return textMatrix(m_row, m_col); }
    void setText(const QString &text) { setTextMatrix(m_row, m_col, text); }

    // Column width (the minimum that was set, see above) and row height in twips.
    int colWidth(int c) const;
    void setColWidth(int c, int twips);
    // Column i gets twips[i]; one fit after all of them.
    void setColWidths(const QList<int> &twips);
    // Sizes the columns to their texts and the grid's width now; the grid also
    // does this by itself after its texts or its size change.
    void fitColumns();
    // Width one cell text needs in pixels, margins and grid line included.
    int textWidthNeeded(int r, int c) const;
    int rowHeightTwips(int r) const;
    void setRowHeightTwips(int r, int twips);

    // Alignment of the data cells of a column, and of its caption cells.
    Qt::Alignment colAlignment(int c) const;
    void setColAlignment(int c, Qt::Alignment alignment);
    Qt::Alignment fixedAlignment(int c) const;
    void setFixedAlignment(int c, Qt::Alignment alignment);

    // Cell colours; an invalid colour when none was set (the cell shows the
    // grid's own colours).
    QColor cellBackColor(int r, int c) const;
    void setCellBackColor(int r, int c, const QColor &color);
    QColor cellForeColor(int r, int c) const;
    void setCellForeColor(int r, int c, const QColor &color);
    // The classic 16-colour palette: 0 black, 7 light grey, 10 light green,
    // 12 light red, 15 white. Indexes outside 0..15 give an invalid colour.
    static QColor paletteColor(int index);

    // Current cell and selection. Setting row or col makes the selection that
    // one cell. Values are clamped to the grid.
    using QTableWidget::column;
    using QTableWidget::row;
    int row() const { return m_row; }
    int col() const { return m_col; }
    void setRow(int r);
    void setCol(int c);
    int rowSel() const { return m_rowSel; }
    int colSel() const { return m_colSel; }
    void setRowSel(int r);
    void setColSel(int c);
    // Cell under the mouse at the last press or double click; -1 outside.
    // A click on a column's caption sorts by that column (CaptionClicked)
    // instead of choosing the column.
    void setCaptionSorts(bool on) { m_captionSorts = on; }
    int mouseRow() const { return m_mouseRow; }
    int mouseCol() const { return m_mouseCol; }

    // First row shown at the top; setTopRow scrolls that row to the top.
    int topRow() const;
    void setTopRow(int r);

    // Rectangle of a cell in viewport pixels, or mapped into another widget's
    // coordinates (for placing an editor that is not a child of the grid).
    QRect cellRect(int r, int c) const;
    QRect cellRectIn(const QWidget *target, int r, int c) const;
    // The current cell's rectangle in viewport pixels.
    int cellLeft() const { return cellRect(m_row, m_col).left(); }
    int cellTop() const { return cellRect(m_row, m_col).top(); }
    int cellWidth() const { return cellRect(m_row, m_col).width(); }
    int cellHeight() const { return cellRect(m_row, m_col).height(); }

public slots:
    // Empties every cell's text and colours; rows, columns and sizes stay.
    void clear();

signals:
    void Click();
    void DblClick();
    void EnterCell();
    void SelChange();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void CaptionClicked(int col);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag { None, Cells, Columns, Rows };

    QTableWidgetItem *cellItem(int r, int c);
    bool inGrid(int r, int c) const { return r >= 0 && r < rows() && c >= 0 && c < cols(); }
    bool isFixed(int r, int c) const { return r < m_fixedRows || c < m_fixedCols; }
    void setCurrent(int r, int c, int rSel, int cSel);
    void clampState();
    void syncView();
    void applySizes(int firstRow, int firstCol);
    void scheduleFit();
    void syncCaption(int c);
    void extendDrag(int r, int c);
    void pressAt(const QModelIndex &idx, QMouseEvent *event);
    void moveTo(const QPoint &viewportPos, QMouseEvent *event);
    void releaseAt(QMouseEvent *event);
    void doubleClickAt(const QModelIndex &idx, QMouseEvent *event);
    QModelIndex captionIndexAt(const QPoint &pos) const;
    void layoutCaptions();
    void refreshCaptionRows(int upto);

    friend class FlexGridDelegate;
    Qt::Alignment alignmentFor(int r, int c) const;

    QTableView *m_captions = nullptr; // the frozen caption rows
    KeyColumns *m_keyColumns = nullptr;
    int m_keyColumnCount = 0;
    int m_fixedRows = 1;
    int m_fixedCols = 0;
    int m_row = -1, m_col = -1, m_rowSel = -1, m_colSel = -1;
    int m_mouseRow = -1, m_mouseCol = -1;
    bool m_captionSorts = false;
    QMap<int, int> m_colWidths;  // twips
    QMap<int, int> m_rowHeights; // twips
    QMap<int, Qt::Alignment> m_colAlign;
    QMap<int, Qt::Alignment> m_fixedAlign;
    Drag m_drag = Drag::None;
    bool m_syncing = false;
    bool m_pressed = false;
    bool m_afterDoubleClick = false;
    bool m_fitPending = false;
    bool m_fitting = false;
};

} // namespace corvane
