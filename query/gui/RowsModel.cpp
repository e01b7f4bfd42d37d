#include "RowsModel.h"

#include <QHeaderView>
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
    endResetModel();
}

void RowsModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString RowsModel::text(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    return m_rows.at(row).value(column);
}

int RowsModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int RowsModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_header.size()); }

QVariant RowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter)
                                   | (m_rightAligned.contains(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
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
