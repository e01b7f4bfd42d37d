#include "FlexGrid.h"
#include "KeyColumns.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>

namespace corvane {

// Paints caption cells grey and applies the per-column alignment, so that
// neither needs an item in every cell.
class FlexGridDelegate : public QStyledItemDelegate {
public:
    explicit FlexGridDelegate(FlexGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = m_grid->alignmentFor(index.row(), index.column());
        if (m_grid->isFixed(index.row(), index.column()) && !index.data(Qt::BackgroundRole).isValid())
            option->backgroundBrush = m_grid->palette().brush(QPalette::Button);
    }

private:
    FlexGrid *m_grid;
};

namespace {
int twipsToPixels(int twips) { return (qMax(0, twips) + FlexGrid::TwipsPerPixel / 2) / FlexGrid::TwipsPerPixel; }
} // namespace

FlexGrid::FlexGrid(QWidget *parent) : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the window's next control; the arrows walk the cells.
    setTabKeyNavigation(false);
    // Selection is kept by the grid itself (anchor and other corner) and only
    // mirrored into Qt's selection model for painting.
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Only keyboard moves scroll to the current cell; a click on a caption or
    // a change made by a window leaves the view where the operator put it.
    setAutoScroll(false);
    setItemDelegate(new FlexGridDelegate(this));
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setMinimumSectionSize(0);

    // The caption rows live in a second view of the same cells, placed over
    // the column header's area so that they do not scroll with the data.
    QHeaderView *header = horizontalHeader();
    m_captions = new QTableView(header);
    m_captions->setObjectName(QStringLiteral("captionRows"));
    m_captions->setAccessibleName(QStringLiteral("列标题"));
    m_captions->setModel(model());
    m_captions->setSelectionModel(selectionModel());
    m_captions->setItemDelegate(itemDelegate());
    m_captions->horizontalHeader()->hide();
    m_captions->verticalHeader()->hide();
    m_captions->horizontalHeader()->setMinimumSectionSize(0);
    m_captions->verticalHeader()->setMinimumSectionSize(1);
    m_captions->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    m_captions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_captions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_captions->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_captions->setFrameShape(QFrame::NoFrame);
    m_captions->setFocusPolicy(Qt::NoFocus);
    m_captions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_captions->setSelectionMode(QAbstractItemView::NoSelection);
    m_captions->setAutoScroll(false);
    m_captions->setWordWrap(false);
    m_captions->viewport()->installEventFilter(this);
    m_captions->raise();
    header->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, m_captions,
            [this](int c, int, int size) { m_captions->setColumnWidth(c, size); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_captions->horizontalScrollBar(), &QScrollBar::setValue);

    connect(model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (first < m_fixedRows)
            refreshCaptionRows(m_fixedRows + (last - first + 1));
        applySizes(first, cols());
        clampState();
        syncView();
    });
    connect(model(), &QAbstractItemModel::columnsInserted, this, [this](const QModelIndex &, int first, int) {
        applySizes(rows(), first);
        fitColumns();
        for (int c = first; c < cols(); ++c)
            syncCaption(c);
        clampState();
        syncView();
    });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int) {
        if (first < m_fixedRows)
            refreshCaptionRows(m_fixedRows);
        clampState();
        syncView();
    });
    connect(model(), &QAbstractItemModel::columnsRemoved, this, [this] {
        clampState();
        syncView();
    });

    setRowCount(2);
    setColumnCount(2);
}

// Rows above fixedRows() are hidden in the data view (the caption view shows
// them); rows below are shown. Only rows before `upto` can have changed side.
void FlexGrid::refreshCaptionRows(int upto)
{
    const int n = qMin(rows(), upto);
    // The scroll position counts shown rows only: keep the same row on top.
    const int top = topRow();
    for (int r = 0; r < n; ++r)
        setRowHidden(r, r < m_fixedRows);
    layoutCaptions();
    if (top >= m_fixedRows && top != topRow())
        setTopRow(top);
}

void FlexGrid::layoutCaptions()
{
    const int n = qMin(m_fixedRows, rows());
    int height = 0;
    for (int r = 0; r < n; ++r)
        height += m_captions->rowHeight(r);
    QHeaderView *header = horizontalHeader();
    if (n > 0 && height > 0) {
        header->setFixedHeight(height);
        header->show();
    } else {
        header->hide();
    }
    m_captions->setGeometry(0, 0, header->width(), height);
    m_captions->verticalScrollBar()->setValue(0);
    m_captions->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
    updateGeometries();
}

void FlexGrid::setRows(int n) { setRowCount(qMax(0, n)); }

void FlexGrid::setCols(int n) { setColumnCount(qMax(0, n)); }

void FlexGrid::setFixedRows(int n)
{
    const int old = m_fixedRows;
    m_fixedRows = qMax(0, n);
    refreshCaptionRows(qMax(old, m_fixedRows));
    if (const int keys = m_keyColumnCount; keys > 0 && old != m_fixedRows) {
        // The key columns show the caption rows above them too.
        m_keyColumnCount = 0;
        setKeyColumns(keys);
    }
    if (m_row < m_fixedRows && rows() > m_fixedRows)
        setCurrent(m_fixedRows, m_col, m_fixedRows, m_col);
    for (int c = 0; c < cols(); ++c)
        syncCaption(c);
    viewport()->update();
}

void FlexGrid::setKeyColumns(int n)
{
    n = qMax(0, n);
    if (n == m_keyColumnCount)
        return;
    delete m_keyColumns;
    m_keyColumns = nullptr;
    m_keyColumnCount = n;
    if (n > 0)
        m_keyColumns = new KeyColumns(this, n, m_fixedRows);
}

void FlexGrid::setFixedCols(int n)
{
    m_fixedCols = qMax(0, n);
    setKeyColumns(qMax(m_fixedCols, m_keyColumnCount));
    if (m_col < m_fixedCols && cols() > m_fixedCols)
        setCurrent(m_row, m_fixedCols, m_row, m_fixedCols);
    viewport()->update();
}

QTableWidgetItem *FlexGrid::cellItem(int r, int c)
{
    if (!inGrid(r, c))
        return nullptr;
    QTableWidgetItem *it = item(r, c);
    if (!it) {
        it = new QTableWidgetItem;
        it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(r, c, it);
    }
    return it;
}

QString FlexGrid::textMatrix(int r, int c) const
{
    if (!inGrid(r, c))
        return QString();
    const QTableWidgetItem *it = item(r, c);
    return it ? it->text() : QString();
}

void FlexGrid::setTextMatrix(int r, int c, const QString &text)
{
    QTableWidgetItem *it = cellItem(r, c);
    if (!it)
        return;
    it->setText(text);
    if (r == m_fixedRows - 1)
        syncCaption(c);
    scheduleFit();
}

// The last caption row doubles as the column header that assistive
// technology reads for each column (Qt's own header stays hidden).
void FlexGrid::syncCaption(int c)
{
    if (c < 0 || c >= cols())
        return;
    const QString caption = m_fixedRows > 0 ? textMatrix(m_fixedRows - 1, c) : QString();
    QTableWidgetItem *h = horizontalHeaderItem(c);
    if (!h) {
        if (caption.isEmpty())
            return;
        h = new QTableWidgetItem;
        setHorizontalHeaderItem(c, h);
    }
    h->setText(caption);
}

void FlexGrid::clear()
{
    clearContents();
    for (int c = 0; c < cols(); ++c)
        syncCaption(c);
}

int FlexGrid::colWidth(int c) const
{
    if (m_colWidths.contains(c))
        return m_colWidths.value(c);
    return c >= 0 && c < cols() ? columnWidth(c) * TwipsPerPixel : 0;
}

void FlexGrid::setColWidth(int c, int twips)
{
    if (c < 0)
        return;
    m_colWidths[c] = qMax(0, twips);
    if (c < cols())
        fitColumns();
}

void FlexGrid::setColWidths(const QList<int> &twips)
{
    for (int c = 0; c < twips.size(); ++c)
        m_colWidths[c] = qMax(0, twips.at(c));
    fitColumns();
}

int FlexGrid::textWidthNeeded(int r, int c) const
{
    if (!inGrid(r, c))
        return 0;
    const QTableWidgetItem *it = item(r, c);
    if (!it || it->text().isEmpty())
        return 0;
    const QVariant font = it->data(Qt::FontRole);
    const QFontMetrics fm = font.isValid() ? QFontMetrics(font.value<QFont>()) : fontMetrics();
    // The item delegate keeps this margin on each side of the text, and the
    // grid line takes one pixel.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return fm.horizontalAdvance(it->text()) + 2 * margin + (showGrid() ? 1 : 0) + 1;
}

void FlexGrid::scheduleFit()
{
    if (m_fitPending || m_fitting)
        return;
    m_fitPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_fitPending)
                fitColumns();
        },
        Qt::QueuedConnection);
}

void FlexGrid::fitColumns()
{
    m_fitPending = false;
    const int n = cols();
    if (n == 0 || m_fitting)
        return;
    m_fitting = true;
    // Every caption row, and the data rows up to a sample that keeps a fill
    // of a long list quick (the first thousand, as Qt's own fitting does).
    constexpr int SampledRows = 1000;
    const int lastRow = qMin(rows(), m_fixedRows + SampledRows);
    QList<int> need(n, 0);
    QList<bool> shown(n, true);
    for (int c = 0; c < n; ++c) {
        const auto set = m_colWidths.constFind(c);
        if (set != m_colWidths.constEnd() && set.value() == 0) {
            shown[c] = false; // a hidden column stays hidden
            continue;
        }
        int w = set != m_colWidths.constEnd() ? twipsToPixels(set.value()) : 0;
        for (int r = 0; r < lastRow; ++r)
            w = qMax(w, textWidthNeeded(r, c));
        need[c] = qMax(w, 8);
    }
    // The room beyond what the columns need is shared out in proportion, the
    // rest of the division going to the last shown column, so the columns
    // end exactly at the grid's right edge.
    int total = 0;
    int last = -1;
    for (int c = 0; c < n; ++c) {
        if (shown[c]) {
            total += need[c];
            last = c;
        }
    }
    const int room = viewport()->width();
    if (last >= 0 && total > 0 && room > total) {
        const int extra = room - total;
        int given = 0;
        for (int c = 0; c < n; ++c) {
            if (!shown[c] || c == last)
                continue;
            const int add = int(qint64(extra) * need[c] / total);
            need[c] += add;
            given += add;
        }
        need[last] += extra - given;
    }
    for (int c = 0; c < n; ++c) {
        const int w = shown[c] ? need[c] : 0;
        if (columnWidth(c) != w)
            setColumnWidth(c, w);
        if (m_captions->columnWidth(c) != w)
            m_captions->setColumnWidth(c, w);
    }
    m_fitting = false;
}

int FlexGrid::rowHeightTwips(int r) const
{
    if (m_rowHeights.contains(r))
        return m_rowHeights.value(r);
    if (r < 0 || r >= rows())
        return 0;
    return (r < m_fixedRows ? m_captions->rowHeight(r) : rowHeight(r)) * TwipsPerPixel;
}

void FlexGrid::setRowHeightTwips(int r, int twips)
{
    if (r < 0)
        return;
    m_rowHeights[r] = qMax(0, twips);
    if (r < rows()) {
        setRowHeight(r, twipsToPixels(twips));
        m_captions->setRowHeight(r, twipsToPixels(twips));
        if (r < m_fixedRows)
            layoutCaptions();
    }
}

void FlexGrid::applySizes(int firstRow, int firstCol)
{
    if (firstCol < cols() || firstRow < rows())
        scheduleFit();
    bool captionsChanged = false;
    for (auto it = m_rowHeights.lowerBound(firstRow); it != m_rowHeights.end() && it.key() < rows(); ++it) {
        setRowHeight(it.key(), twipsToPixels(it.value()));
        m_captions->setRowHeight(it.key(), twipsToPixels(it.value()));
        captionsChanged = captionsChanged || it.key() < m_fixedRows;
    }
    if (captionsChanged)
        layoutCaptions();
}

static Qt::Alignment withVertical(Qt::Alignment a)
{
    if (!(a & Qt::AlignVertical_Mask))
        a |= Qt::AlignVCenter;
    if (!(a & Qt::AlignHorizontal_Mask))
        a |= Qt::AlignLeft;
    return a;
}

Qt::Alignment FlexGrid::colAlignment(int c) const { return m_colAlign.value(c, Qt::AlignLeft | Qt::AlignVCenter); }

void FlexGrid::setColAlignment(int c, Qt::Alignment alignment)
{
    if (c < 0)
        return;
    m_colAlign[c] = withVertical(alignment);
    viewport()->update();
}

Qt::Alignment FlexGrid::fixedAlignment(int c) const { return m_fixedAlign.value(c, Qt::AlignCenter); }

void FlexGrid::setFixedAlignment(int c, Qt::Alignment alignment)
{
    if (c < 0)
        return;
    m_fixedAlign[c] = withVertical(alignment);
    viewport()->update();
}

Qt::Alignment FlexGrid::alignmentFor(int r, int c) const
{
    return r < m_fixedRows ? fixedAlignment(c) : colAlignment(c);
}

QColor FlexGrid::cellBackColor(int r, int c) const
{
    const QTableWidgetItem *it = inGrid(r, c) ? item(r, c) : nullptr;
    if (!it)
        return QColor();
    const QVariant v = it->data(Qt::BackgroundRole);
    return v.isValid() ? v.value<QBrush>().color() : QColor();
}

void FlexGrid::setCellBackColor(int r, int c, const QColor &color)
{
    if (QTableWidgetItem *it = cellItem(r, c)) {
        if (color.isValid())
            it->setBackground(color);
        else
            it->setData(Qt::BackgroundRole, QVariant());
    }
}

QColor FlexGrid::cellForeColor(int r, int c) const
{
    const QTableWidgetItem *it = inGrid(r, c) ? item(r, c) : nullptr;
    if (!it)
        return QColor();
    const QVariant v = it->data(Qt::ForegroundRole);
    return v.isValid() ? v.value<QBrush>().color() : QColor();
}

void FlexGrid::setCellForeColor(int r, int c, const QColor &color)
{
    if (QTableWidgetItem *it = cellItem(r, c)) {
        if (color.isValid())
            it->setForeground(color);
        else
            it->setData(Qt::ForegroundRole, QVariant());
    }
}

QColor FlexGrid::paletteColor(int index)
{
    static const QRgb palette[16] = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
    };
    if (index < 0 || index > 15)
        return QColor();
    return QColor(palette[index]);
}

void FlexGrid::setRow(int r) { setCurrent(r, m_col, r, m_col); }

void FlexGrid::setCol(int c) { setCurrent(m_row, c, m_row, c); }

void FlexGrid::setRowSel(int r) { setCurrent(m_row, m_col, r, m_colSel); }

void FlexGrid::setColSel(int c) { setCurrent(m_row, m_col, m_rowSel, c); }

void FlexGrid::setCurrent(int r, int c, int rSel, int cSel)
{
    if (rows() == 0 || cols() == 0)
        return;
    r = qBound(0, r, rows() - 1);
    rSel = qBound(0, rSel, rows() - 1);
    c = qBound(0, c, cols() - 1);
    cSel = qBound(0, cSel, cols() - 1);
    const bool cellChanged = r != m_row || c != m_col;
    const bool selChanged = cellChanged || rSel != m_rowSel || cSel != m_colSel;
    m_row = r;
    m_col = c;
    m_rowSel = rSel;
    m_colSel = cSel;
    syncView();
    if (cellChanged)
        emit EnterCell();
    if (selChanged)
        emit SelChange();
}

// Keeps the current cell and the selection inside the grid after rows or
// columns come or go. A grid that had no cells starts at its first data cell.
void FlexGrid::clampState()
{
    auto clamp = [](int &v, int first, int count) {
        if (count <= 0)
            v = -1;
        else if (v < 0)
            v = qMin(first, count - 1);
        else if (v >= count)
            v = count - 1;
    };
    clamp(m_row, m_fixedRows, rows());
    clamp(m_rowSel, m_row, rows());
    clamp(m_col, m_fixedCols, cols());
    clamp(m_colSel, m_col, cols());
}

void FlexGrid::syncView()
{
    QItemSelectionModel *sm = selectionModel();
    if (!sm)
        return;
    m_syncing = true;
    if (inGrid(m_row, m_col)) {
        sm->setCurrentIndex(model()->index(m_row, m_col), QItemSelectionModel::NoUpdate);
        // A single current cell shows only its focus frame; a range is
        // highlighted.
        QItemSelection sel;
        if (inGrid(m_rowSel, m_colSel) && (m_rowSel != m_row || m_colSel != m_col)) {
            sel.select(model()->index(qMin(m_row, m_rowSel), qMin(m_col, m_colSel)),
                       model()->index(qMax(m_row, m_rowSel), qMax(m_col, m_colSel)));
        }
        sm->select(sel, QItemSelectionModel::ClearAndSelect);
    } else {
        sm->clearSelection();
    }
    m_syncing = false;
}

void FlexGrid::focusInEvent(QFocusEvent *event)
{
    // Refilled, the view forgets its current cell and would take the first
    // one when the focus comes back; the grid's own current cell stays.
    if (!currentIndex().isValid() && inGrid(m_row, m_col))
        syncView();
    QTableWidget::focusInEvent(event);
}

void FlexGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableWidget::currentChanged(current, previous);
    if (m_syncing || !current.isValid())
        return;
    // Keyboard moves: the new cell becomes current, never a caption cell.
    int r = current.row();
    int c = current.column();
    if (r < m_fixedRows && rows() > m_fixedRows)
        r = m_fixedRows;
    if (c < m_fixedCols && cols() > m_fixedCols)
        c = m_fixedCols;
    setCurrent(r, c, r, c);
    if (inGrid(r, c))
        scrollTo(model()->index(r, c));
}

void FlexGrid::mousePressEvent(QMouseEvent *event) { pressAt(indexAt(event->position().toPoint()), event); }

void FlexGrid::mouseMoveEvent(QMouseEvent *event) { moveTo(event->position().toPoint(), event); }

void FlexGrid::mouseReleaseEvent(QMouseEvent *event) { releaseAt(event); }

void FlexGrid::mouseDoubleClickEvent(QMouseEvent *event) { doubleClickAt(indexAt(event->position().toPoint()), event); }

QModelIndex FlexGrid::captionIndexAt(const QPoint &pos) const
{
    const QModelIndex idx = m_captions->indexAt(pos);
    return idx.isValid() && idx.row() < m_fixedRows ? idx : QModelIndex();
}

// Mouse events on the caption rows are handled as if they had reached the
// grid's own cells.
bool FlexGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == horizontalHeader()) {
        if (event->type() == QEvent::Resize)
            m_captions->setGeometry(0, 0, horizontalHeader()->width(), m_captions->height());
        return false;
    }
    if (watched != m_captions->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        pressAt(captionIndexAt(me->position().toPoint()), me);
        return true;
    }
    case QEvent::MouseMove: {
        auto *me = static_cast<QMouseEvent *>(event);
        moveTo(viewport()->mapFromGlobal(me->globalPosition().toPoint()), me);
        return true;
    }
    case QEvent::MouseButtonRelease: releaseAt(static_cast<QMouseEvent *>(event)); return true;
    case QEvent::MouseButtonDblClick: {
        auto *me = static_cast<QMouseEvent *>(event);
        doubleClickAt(captionIndexAt(me->position().toPoint()), me);
        return true;
    }
    case QEvent::Wheel: QCoreApplication::sendEvent(viewport(), event); return true;
    default: return false;
    }
}

void FlexGrid::pressAt(const QModelIndex &idx, QMouseEvent *event)
{
    m_mouseRow = idx.isValid() ? idx.row() : -1;
    m_mouseCol = idx.isValid() ? idx.column() : -1;
    m_afterDoubleClick = false;
    m_drag = Drag::None;
    m_pressed = event->button() == Qt::LeftButton;

    if (m_pressed && idx.isValid()) {
        const int r = idx.row();
        const int c = idx.column();
        const int lastRow = rows() - 1;
        const int lastCol = cols() - 1;
        const bool extend = (event->modifiers() & Qt::ShiftModifier) && inGrid(m_row, m_col);
        const bool captionRow = r < m_fixedRows;
        const bool captionCol = c < m_fixedCols;
        if (captionRow && !captionCol && m_captionSorts) {
            // A sorting caption sorts; the chosen cell stays chosen.
            emit CaptionClicked(c);
        } else if (!captionRow && !captionCol) {
            m_drag = Drag::Cells;
            if (extend)
                setCurrent(m_row, m_col, r, c);
            else
                setCurrent(r, c, r, c);
        } else if (captionRow && !captionCol && rows() > m_fixedRows) {
            m_drag = Drag::Columns;
            setCurrent(m_fixedRows, extend ? m_col : c, lastRow, c);
        } else if (!captionRow && captionCol && cols() > m_fixedCols) {
            m_drag = Drag::Rows;
            setCurrent(extend ? m_row : r, m_fixedCols, r, lastCol);
        } else if (captionRow && captionCol && rows() > m_fixedRows && cols() > m_fixedCols) {
            setCurrent(m_fixedRows, m_fixedCols, lastRow, lastCol);
        }
    }
    emit MouseDown(event->button(), event->modifiers());
    event->accept();
}

void FlexGrid::extendDrag(int r, int c)
{
    r = qMax(r, m_fixedRows);
    c = qMax(c, m_fixedCols);
    switch (m_drag) {
    case Drag::Cells: setCurrent(m_row, m_col, r, c); break;
    case Drag::Columns: setCurrent(m_row, m_col, m_rowSel, c); break;
    case Drag::Rows: setCurrent(m_row, m_col, r, m_colSel); break;
    case Drag::None: break;
    }
}

void FlexGrid::moveTo(const QPoint &viewportPos, QMouseEvent *event)
{
    if (m_drag == Drag::None || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    QPoint p = viewportPos;
    const QRect area = viewport()->rect();
    // Dragging past an edge scrolls one step, so long selections are possible.
    // Above the data area is the caption band: no scrolling there.
    if (p.y() >= area.bottom())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    else if (p.y() < area.top() - horizontalHeader()->height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    if (p.x() >= area.right())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + 1);
    else if (p.x() < area.left())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - 1);
    p.setX(qBound(area.left(), p.x(), area.right() - 1));
    p.setY(qBound(area.top(), p.y(), area.bottom() - 1));
    const QModelIndex idx = indexAt(p);
    if (idx.isValid())
        extendDrag(idx.row(), idx.column());
    event->accept();
}

void FlexGrid::releaseAt(QMouseEvent *event)
{
    const bool click = event->button() == Qt::LeftButton && m_pressed && !m_afterDoubleClick;
    m_drag = Drag::None;
    m_pressed = false;
    m_afterDoubleClick = false;
    emit MouseUp(event->button(), event->modifiers());
    if (click)
        emit Click();
    event->accept();
}

void FlexGrid::doubleClickAt(const QModelIndex &idx, QMouseEvent *event)
{
    // Only a double click on a data cell means "edit this cell"; one on a
    // caption or on empty space is a plain press.
    if (event->button() != Qt::LeftButton || !idx.isValid() || isFixed(idx.row(), idx.column())) {
        pressAt(idx, event);
        return;
    }
    m_mouseRow = idx.row();
    m_mouseCol = idx.column();
    m_pressed = true;
    m_afterDoubleClick = true;
    m_drag = Drag::None;
    if (idx.row() != m_row || idx.column() != m_col || m_rowSel != m_row || m_colSel != m_col)
        setCurrent(idx.row(), idx.column(), idx.row(), idx.column());
    emit DblClick();
    event->accept();
}

int FlexGrid::topRow() const { return rowAt(0); }

void FlexGrid::setTopRow(int r)
{
    if (!inGrid(r, 0))
        return;
    // Rows just added are not laid out yet; the scroll range must know them.
    executeDelayedItemsLayout();
    scrollTo(model()->index(r, qMax(0, columnAt(0))), QAbstractItemView::PositionAtTop);
}

QRect FlexGrid::cellRect(int r, int c) const
{
    if (!inGrid(r, c))
        return QRect();
    const QModelIndex idx = model()->index(r, c);
    if (r >= m_fixedRows)
        return visualRect(idx);
    // Caption cells sit above the data area: negative viewport y.
    const QRect inCaptions = m_captions->visualRect(idx);
    const QPoint topLeft = viewport()->mapFrom(this, m_captions->viewport()->mapTo(this, inCaptions.topLeft()));
    return QRect(topLeft, inCaptions.size());
}

QRect FlexGrid::cellRectIn(const QWidget *target, int r, int c) const
{
    const QRect vr = cellRect(r, c);
    if (vr.isNull() || !target)
        return vr;
    const QPoint topLeft = target->mapFromGlobal(viewport()->mapToGlobal(vr.topLeft()));
    return QRect(topLeft, vr.size());
}

void FlexGrid::showEvent(QShowEvent *event)
{
    if (accessibleName().isEmpty() && !objectName().isEmpty())
        setAccessibleName(objectName());
    QTableWidget::showEvent(event);
    fitColumns();
}

void FlexGrid::resizeEvent(QResizeEvent *event)
{
    QTableWidget::resizeEvent(event);
    // The viewport has its new size once the scroll bars are placed.
    updateGeometries();
    fitColumns();
}

} // namespace corvane
