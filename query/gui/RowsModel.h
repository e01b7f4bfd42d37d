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
    QString text(int row, int column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_header;
    QList<QStringList> m_rows;
    QList<int> m_rightAligned;
};

// A read-only list view over a RowsModel, columns at least the given twips wide.
QTableView *makeListView(QWidget *parent, const QString &objectName, const QString &accessibleName, RowsModel *model);
void setMinimumWidthsTwips(QTableView *view, const QList<int> &twips);

} // namespace corvane
