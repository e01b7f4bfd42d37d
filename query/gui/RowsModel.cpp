#include "RowsModel.h"
#include "KeyColumns.h"

#include <QCollator>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>

namespace corvane {

void RowsModel::setRows(QStringList header, QList<QStringList> rows)
{
    beginResetModel();
    m_header = std::move(header);
    m_rows = std::move(rows);
    // Amount columns read right-aligned: a column whose first row is "0.00"-form.
    m_rightAligned.clear();
    static const QRegularExpression amount(QStringLiteral("^-?\\d+\\.\\d\\d$"));
    if (!m_rows.isEmpty())
        for (int c = 0; c < m_rows.first().size(); ++c)
            if (amount.match(m_rows.first().at(c)).hasMatch())
                m_rightAligned.append(c);
    rebuildOrder();
    endResetModel();
}

void RowsModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_order.clear();
    endResetModel();
}

void RowsModel::setCountColumns(QList<int> columns)
{
    beginResetModel();
    m_counts = std::move(columns);
    endResetModel();
}

void RowsModel::setDurationColumns(QList<int> columns)
{
    beginResetModel();
    m_durations = std::move(columns);
    endResetModel();
}

QString RowsModel::durationText(const QString &seconds)
{
    bool ok = false;
    const qint64 s = seconds.trimmed().toLongLong(&ok);
    if (!ok || s < 0)
        return seconds;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

void RowsModel::setEndTimeColumns(QList<int> columns)
{
    beginResetModel();
    m_endTimes = std::move(columns);
    rebuildOrder();
    endResetModel();
}

QString RowsModel::endTimeText(const QString &stored)
{
    static const QRegularExpression stamped(QStringLiteral("^(\\d{4}年\\d\\d月\\d\\d日)(\\d\\d):(\\d\\d):\\d\\d$"));
    const QRegularExpressionMatch m = stamped.match(stored.trimmed());
    if (!m.hasMatch())
        return stored;
    return m.captured(1) + m.captured(2) + QStringLiteral("时") + m.captured(3) + QStringLiteral("分");
}

QString RowsModel::shown(int sourceRow, int column) const
{
    const QString t = m_rows.at(sourceRow).value(column);
    if (m_durations.contains(column))
        return durationText(t);
    if (m_endTimes.contains(column))
        return endTimeText(t);
    return t;
}

void RowsModel::setFilter(const QString &text)
{
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    rebuildOrder();
    endResetModel();
}

void RowsModel::rebuildOrder()
{
    m_order.clear();
    const QString wanted = m_filter.trimmed();
    for (int r = 0; r < m_rows.size(); ++r) {
        if (!wanted.isEmpty()) {
            bool found = false;
            for (int c = 0; c < m_rows.at(r).size() && !found; ++c)
                found = shown(r, c).contains(wanted, Qt::CaseInsensitive);
            if (!found)
                continue;
        }
        m_order.append(r);
    }
    if (m_sortColumn < 0)
        return;
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    collator.setNumericMode(true);
    const int c = m_sortColumn;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        const QString x = m_endTimes.contains(c) ? shown(a, c) : m_rows.at(a).value(c);
        const QString y = m_endTimes.contains(c) ? shown(b, c) : m_rows.at(b).value(c);
        bool okX = false;
        bool okY = false;
        const double nx = x.toDouble(&okX);
        const double ny = y.toDouble(&okY);
        const int cmp = okX && okY ? (nx < ny ? -1 : (nx > ny ? 1 : 0)) : collator.compare(x, y);
        return m_sortOrder == Qt::AscendingOrder ? cmp < 0 : cmp > 0;
    });
}

void RowsModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    m_sortColumn = column;
    m_sortOrder = order;
    rebuildOrder();
    endResetModel();
}

QString RowsModel::text(int row, int column) const
{
    const int r = sourceRow(row);
    return r < 0 ? QString() : m_rows.at(r).value(column);
}

int RowsModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_order.size()); }
int RowsModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_header.size()); }

QVariant RowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const int r = sourceRow(index.row());
        return r < 0 ? QString() : shown(r, index.column());
    }
    if (role == Qt::TextAlignmentRole) {
        const bool right = m_rightAligned.contains(index.column()) || m_durations.contains(index.column())
                           || m_counts.contains(index.column());
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter) | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_header.value(section);
    return section + 1;
}

QTableView *makeListView(QWidget *parent, const QString &objectName, const QString &accessibleName, RowsModel *model)
{
    auto *view = new QTableView(parent);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    // Uniform row heights: the view never measures ten thousand rows.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->horizontalHeader()->setStretchLastSection(true);
    // Sorted by a click on a caption; until then the rows keep their order.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    // The first column (the caller, the user) stays in view when scrolled sideways.
    new KeyColumns(view, 1);
    return view;
}

void setMinimumWidthsTwips(QTableView *view, const QList<int> &twips)
{
    constexpr int kTwipsPerPixel = 15;
    for (int c = 0; c < twips.size(); ++c) {
        const int captionWidth = view->horizontalHeader()->fontMetrics().horizontalAdvance(
                                     view->model()->headerData(c, Qt::Horizontal).toString())
                                 + 16;
        view->setColumnWidth(c, qMax(twips.at(c) / kTwipsPerPixel, captionWidth));
    }
}

} // namespace corvane

namespace corvane {

QWidget *makeFilterBox(QWidget *parent, RowsModel *model)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(QStringLiteral("筛选(&F)："), box);
    auto *edit = new QLineEdit(box);
    edit->setObjectName(QStringLiteral("txtFilter"));
    edit->setClearButtonEnabled(true);
    edit->setPlaceholderText(QStringLiteral("输入号码、时间或其他文字"));
    caption->setBuddy(edit);
    row->addWidget(caption);
    row->addWidget(edit, 1);
    QObject::connect(edit, &QLineEdit::textChanged, model, &RowsModel::setFilter);
    return box;
}

} // namespace corvane
