#pragma once
#include "Money.h"
#include "PackedRows.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <memory>

class QTableView;

namespace corvane {

// The rows of a list window as a table model: column captions and the rows
// as packed text (PackedRows), shown by a view without one item per cell,
// so that a million listed records open at once.
//
// A big list (more rows than backgroundFrom()) is filtered and sorted in a
// worker thread: the view keeps showing the rows as they were, "busy" is
// true meanwhile, and the new order takes their place when it is ready (a
// newer request makes an older one moot). A small list is ordered at once.
class RowsModel : public QAbstractTableModel {
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
public:
    explicit RowsModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}
    ~RowsModel() override;

    void setRows(QStringList header, QList<QStringList> rows);
    // Rows prepared beside the interface thread, taken as they are.
    void setRows(QStringList header, std::shared_ptr<const PackedRows> rows);
    void clearRows();
    QStringList header() const { return m_header; }
    // Text of a row as the view shows it now (sorted, filtered), unformatted.
    QString text(int row, int column) const;
    // The row of setRows() a shown row stands for; -1 outside.
    int sourceRow(int row) const { return row >= 0 && row < m_order.size() ? m_order.at(row) : -1; }
    // The rows of setRows() shown now, in the order shown (sorted, filtered).
    QList<int> shownRows() const { return m_order; }
    // Whether the filter hides any row.
    bool hidesRows() const { return m_order.size() < rowsHeld(); }
    // The rows as set, shown or not.
    qsizetype rowsHeld() const { return m_rows ? m_rows->size() : 0; }
    std::shared_ptr<const PackedRows> rows() const { return m_rows; }

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
    // A column of amounts summed over the rows shown (shownSum()).
    void setSumColumn(int column) { m_sumColumn = column; }
    Money shownSum() const { return m_shownSum; }
    // Shows only the rows with `text` in one of their cells; empty shows all.
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }

    // A filter or sort is being worked out beside the interface thread.
    bool busy() const { return m_busy; }
    // From how many rows on the order is worked out in a worker thread.
    static int backgroundFrom();
    static void setBackgroundFrom(int rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // By a column's values, numbers by their value; column -1 is the order
    // the rows came in.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    void busyChanged(bool busy);

private:
    void rebuildOrder();
    void setBusy(bool busy);
    // A cell as the view shows it.
    QString shown(int sourceRow, int column) const;

    QStringList m_header;
    std::shared_ptr<const PackedRows> m_rows;
    QList<int> m_order; // shown row -> row of m_rows
    Money m_shownSum;
    QList<int> m_rightAligned;
    QList<int> m_durations;
    QList<int> m_counts;
    QList<int> m_endTimes;
    QString m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_sumColumn = -1;
    bool m_busy = false;
    quint64 m_generation = 0; // of the latest order asked for
};

// A read-only list view over a RowsModel, columns at least the given twips
// wide; a click on a column's caption sorts by it.
QTableView *makeListView(QWidget *parent, const QString &objectName, const QString &accessibleName, RowsModel *model);
void setMinimumWidthsTwips(QTableView *view, const QList<int> &twips);
// A box "筛选：" that shows only the rows of `model` holding what is typed.
QWidget *makeFilterBox(QWidget *parent, RowsModel *model);

} // namespace corvane
