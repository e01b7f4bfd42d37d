#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <initializer_list>
#include <vector>

namespace corvane {

// The rows of a list as one block of text: every cell a piece of it, no
// string of its own. A million listed records take a hundred megabytes
// this way instead of several hundred as lists of strings, and a worker
// thread can read them while the window shows them (once made, they are
// only read).
class PackedRows {
public:
    explicit PackedRows(int columns = 0) : m_columns(columns) { m_starts.push_back(0); }

    int columns() const { return m_columns; }
    qsizetype size() const { return qsizetype(m_starts.size() - 1) / qMax(1, m_columns); }
    bool isEmpty() const { return size() == 0; }

    void reserve(qsizetype rows, qsizetype chars);
    // One row: as many cells as there are columns (missing ones empty).
    template <class Cells>
    void append(const Cells &cells)
    {
        int c = 0;
        for (const auto &cell : cells) {
            if (c++ == m_columns)
                break;
            add(QStringView(cell));
        }
        for (; c < m_columns; ++c)
            add(QStringView());
    }
    void append(std::initializer_list<QStringView> cells) { append<std::initializer_list<QStringView>>(cells); }

    QStringView cell(qsizetype row, int column) const
    {
        const size_t at = size_t(row) * size_t(m_columns) + size_t(column);
        return QStringView(m_text.data() + m_starts[at], qsizetype(m_starts[at + 1] - m_starts[at]));
    }
    QString text(qsizetype row, int column) const { return cell(row, column).toString(); }
    QStringList row(qsizetype row) const;

    static PackedRows from(int columns, const QList<QStringList> &rows);

private:
    void add(QStringView text)
    {
        m_text.insert(m_text.end(), text.begin(), text.end());
        m_starts.push_back(quint32(m_text.size()));
    }

    int m_columns = 0;
    std::vector<QChar> m_text;
    std::vector<quint32> m_starts; // where each cell begins; one more for the end
};

} // namespace corvane
