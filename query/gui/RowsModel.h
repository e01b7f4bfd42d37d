#pragma once
#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

class QTableView;

namespace corvane {

// The rows of a list window as a table model: column captions and the rows
// as text, shown by a view without one item per cell, so that ten thousand
// listed records open at once.
class RowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RowsModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    void setRows(QStringList header, QList<QStringList> rows);
    void clearRows();
    QStringList header() const { return m_header; }
    // Text of a row as the view shows it now (sorted, filtered), unformatted.
    QString text(int row, int column) const;
    // The row of setRows() a shown row stands for; -1 outside.
    int sourceRow(int row) const { return row >= 0 && row < m_order.size() ? m_order.at(row) : -1; }
    // The rows of setRows() shown now, in the order shown (sorted, filtered).
    QList<int> shownRows() const { return m_order; }
    // Whether the filter hides any row.
    bool hidesRows() const { return m_order.size() < m_rows.size(); }

    // Columns holding a duration in seconds: shown as minutes and seconds
    // ("01:05"), right-aligned, sorted by their seconds.
    void setDurationColumns(QList<int> columns);
    // Columns of counts: read right-aligned, like amounts.
    void setCountColumns(QList<int> columns);
    static QString durationText(const QString &seconds);
    // Columns holding end times, stored as the switch gives them
    // ("2026年12月08日04时42分") or as the console stamps an answered incoming
    // call ("2026年12月08日04:43:09"): shown and sorted in the first form.
    void setEndTimeColumns(QList<int> columns);
    static QString endTimeText(const QString &stored);
    // Shows only the rows with `text` in one of their cells; empty shows all.
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // By a column's values, numbers by their value; column -1 is the order
    // the rows came in.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void rebuildOrder();
    // A cell as the view shows it.
    QString shown(int sourceRow, int column) const;

    QStringList m_header;
    QList<QStringList> m_rows;
    QList<int> m_order; // shown row -> row of m_rows
    QList<int> m_rightAligned;
    QList<int> m_durations;
    QList<int> m_counts;
    QList<int> m_endTimes;
    QString m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// A read-only list view over a RowsModel, columns at least the given twips
// wide; a click on a column's caption sorts by it.
QTableView *makeListView(QWidget *parent, const QString &objectName, const QString &accessibleName, RowsModel *model);
void setMinimumWidthsTwips(QTableView *view, const QList<int> &twips);
// A box "筛选：" that shows only the rows of `model` holding what is typed.
QWidget *makeFilterBox(QWidget *parent, RowsModel *model);

} // namespace corvane
