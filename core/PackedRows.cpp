#include "PackedRows.h"

namespace corvane {

void PackedRows::reserve(qsizetype rows, qsizetype chars)
{
    m_starts.reserve(size_t(rows) * size_t(m_columns) + 1);
    m_text.reserve(size_t(chars));
}

QStringList PackedRows::row(qsizetype r) const
{
    QStringList out;
    out.reserve(m_columns);
    for (int c = 0; c < m_columns; ++c)
        out.append(text(r, c));
    return out;
}

PackedRows PackedRows::from(int columns, const QList<QStringList> &rows)
{
    PackedRows out(columns);
    qsizetype chars = 0;
    for (const QStringList &r : rows)
        for (const QString &c : r)
            chars += c.size();
    out.reserve(rows.size(), chars);
    for (const QStringList &r : rows)
        out.append(r);
    return out;
}

} // namespace corvane
