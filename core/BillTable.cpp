#include "BillTable.h"

#include "Database.h"
#include "Schema.h"
#include "TableAccess.h"

#include <QStringDecoder>
#include <algorithm>
#include <vector>

namespace corvane {

namespace {

QString col(Database &db, BillField f) { return TableAccess::column(db, BillTable::Name, int(f)); }

QString marks(qsizetype n)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m.append(QStringLiteral("?"));
    return m.join(u',');
}

} // namespace

const QString BillTable::Name = QStringLiteral("PHNBill");
QString BillTable::notSettledText() { return QStringLiteral("未结算"); }
QString BillTable::settledText() { return QStringLiteral("已结算"); }

bool BillRecord::settled() const { return get(BillField::State) == BillTable::settledText(); }

QString BillTable::columnName(BillField f) { return findTable(Name)->columns.at(int(f)); }
QStringList BillTable::columnNames() { return findTable(Name)->columns; }

const QString BillTable::PortTable = QStringLiteral("BillPort");

Checked<qint64> BillTable::append(const BillRecord &record, const QString &port)
{
    QStringList values = record.values;
    while (values.size() < BillFieldCount)
        values.append(QString());
    values[int(BillField::State)] = notSettledText();
    const auto id = TableAccess::insert(m_db, Name, values);
    if (!id || port.isEmpty())
        return id;
    if (Status s =
            m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"话单\" INTEGER PRIMARY KEY, \"物理端口\" TEXT)")
                          .arg(Database::quoteId(PortTable)));
        !s)
        return Checked<qint64>::refuse(s);
    // A row id freed by a deletion and taken again leaves no stale port behind.
    if (Status s =
            m_db.exec(QStringLiteral("INSERT OR REPLACE INTO %1 VALUES (?, ?)").arg(Database::quoteId(PortTable)),
                      {*id, port.trimmed()});
        !s)
        return Checked<qint64>::refuse(s);
    return id;
}

Checked<QHash<qint64, QString>> BillTable::portsOf(const QList<qint64> &rowIds) const
{
    QHash<qint64, QString> out;
    if (rowIds.isEmpty() || !m_db.tableExists(PortTable))
        return out;
    constexpr int kSlice = 500;
    for (int from = 0; from < rowIds.size(); from += kSlice) {
        const QList<qint64> slice = rowIds.mid(from, kSlice);
        QVariantList params;
        for (qint64 id : slice)
            params.append(id);
        const auto rows = m_db.select(QStringLiteral("SELECT \"话单\", \"物理端口\" FROM %1 WHERE \"话单\" IN (%2)")
                                          .arg(Database::quoteId(PortTable), marks(int(slice.size()))),
                                      params);
        if (!rows)
            return Checked<QHash<qint64, QString>>::refuse(rows.status().context(QStringLiteral("话单端口无法读取")));
        for (const QStringList &r : *rows)
            out.insert(r.value(0).toLongLong(), r.value(1));
    }
    return out;
}

QString BillTable::openIndex() { return QStringLiteral("idx_PHNBill_open"); }

QString BillTable::openCondition() { return QStringLiteral("\"话单性质\" = '未结算'"); }

namespace {

QString endTimeIndex() { return QStringLiteral("idx_PHNBill_结束时间_话单类型_话单性质_总费用"); }

bool hasIndex(Database &db, const QString &name)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' AND name=?"), {name})
               .value_or(QString())
               .toInt()
           > 0;
}

// A record's columns as the database gave them (UTF-8), held until the
// records found through an index are put in table order.
struct HeldRecord {
    qint64 rowId = -1;
    QByteArray bytes;
    std::array<int, BillFieldCount + 1> at{};
};

} // namespace

Checked<bool> BillTable::scan(const Selection &s, const std::function<bool(const View &)> &record) const
{
    if (s.callers.isEmpty() || s.types.isEmpty() || s.states.isEmpty())
        return true;
    const bool openOnly = s.states == QStringList{notSettledText()};
    const bool ranged = !s.fromHour.isEmpty() || !s.toHour.isEmpty();
    // How the rows are reached: the index of records not settled, the table
    // in its order, the end-time index, or the caller index.
    enum class Path { Open, Table, EndTime, Caller } path = Path::Caller;
    if (openOnly && hasIndex(m_db, openIndex()))
        path = Path::Open;
    else if (s.many && !ranged)
        path = Path::Table;
    else if (s.many && hasIndex(m_db, endTimeIndex()))
        path = Path::EndTime;

    const bool callerIndexed = path == Path::Open || path == Path::Caller;
    QString where = QStringLiteral("%1%2 IN (%3) AND +%4 IN (%5)")
                        .arg(callerIndexed ? QString() : QStringLiteral("+"), col(m_db, BillField::Caller),
                             marks(s.callers.size()), col(m_db, BillField::CallType), marks(s.types.size()));
    QVariantList params;
    for (const QString &c : s.callers)
        params.append(c);
    for (const QString &t : s.types)
        params.append(t);
    // The unary plus keeps the planner off an index where the condition
    // would be the wrong way in; the index of records not settled needs its
    // own condition word for word.
    if (path == Path::Open) {
        where += QStringLiteral(" AND ") + openCondition();
    } else {
        where += QStringLiteral(" AND +%1 IN (%2)").arg(col(m_db, BillField::State), marks(s.states.size()));
        for (const QString &st : s.states)
            params.append(st);
    }
    if (!s.fromHour.isEmpty()) {
        where += QStringLiteral(" AND %1 >= ?").arg(col(m_db, BillField::EndTime));
        params.append(s.fromHour);
    }
    if (!s.toHour.isEmpty()) {
        where += QStringLiteral(" AND %1 < ?").arg(col(m_db, BillField::EndTime));
        params.append(s.toHour + QChar(0x9FFF));
    }
    QStringList columns{QStringLiteral("rowid")};
    for (int f = 0; f < BillFieldCount; ++f)
        columns.append(col(m_db, BillField(f)));
    QString from = Database::quoteId(Name);
    switch (path) {
    case Path::Open: from += QStringLiteral(" INDEXED BY ") + Database::quoteId(openIndex()); break;
    case Path::EndTime: from += QStringLiteral(" INDEXED BY ") + Database::quoteId(endTimeIndex()); break;
    case Path::Table: from += QStringLiteral(" NOT INDEXED"); break;
    case Path::Caller: break;
    }
    // No ORDER BY: the rows of an index are put in table order here, the
    // table is read in it.
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns.join(u','), from, where);

    QStringDecoder utf8(QStringDecoder::Utf8);
    std::vector<QChar> text;
    View view;
    // The views of one record, decoded from its columns.
    auto hand = [&](qint64 rowId, auto bytesOf) {
        qsizetype need = 0;
        for (int f = 0; f < BillFieldCount; ++f)
            need += bytesOf(f).size();
        if (qsizetype(text.size()) < need + 1)
            text.resize(size_t(need + 1) * 2);
        QChar *at = text.data();
        view.rowId = rowId;
        for (int f = 0; f < BillFieldCount; ++f) {
            QChar *end = utf8.appendToBuffer(at, bytesOf(f));
            view.values[size_t(f)] = QStringView(at, end - at);
            at = end;
        }
        return record(view);
    };

    if (path == Path::Table) {
        return m_db.each(sql, params, [&](const Database::RowView &r) {
            return hand(r.integer(0), [&](int f) { return r.bytes(f + 1); });
        });
    }
    std::vector<HeldRecord> held;
    const auto read = m_db.each(sql, params, [&](const Database::RowView &r) {
        HeldRecord h;
        h.rowId = r.integer(0);
        for (int f = 0; f < BillFieldCount; ++f) {
            h.at[size_t(f)] = int(h.bytes.size());
            h.bytes.append(r.bytes(f + 1));
        }
        h.at[BillFieldCount] = int(h.bytes.size());
        held.push_back(std::move(h));
        return true;
    });
    if (!read)
        return read;
    std::sort(held.begin(), held.end(), [](const HeldRecord &a, const HeldRecord &b) { return a.rowId < b.rowId; });
    for (const HeldRecord &h : held) {
        const bool more = hand(h.rowId, [&](int f) {
            return QByteArrayView(h.bytes.constData() + h.at[size_t(f)], h.at[size_t(f) + 1] - h.at[size_t(f)]);
        });
        if (!more)
            return false;
    }
    return true;
}

Checked<QList<BillRecord>> BillTable::select(const Selection &s) const
{
    QList<BillRecord> out;
    const auto read = scan(s, [&](const View &v) {
        BillRecord b;
        b.rowId = v.rowId;
        for (int f = 0; f < BillFieldCount; ++f)
            b.values[f] = v.values[size_t(f)].toString();
        out.append(std::move(b));
        return true;
    });
    if (!read)
        return read.refusedAs<QList<BillRecord>>();
    return out;
}

Checked<QHash<qint64, QString>> BillTable::keptPorts() const
{
    QHash<qint64, QString> out;
    if (!m_db.tableExists(PortTable))
        return out;
    const auto read =
        m_db.each(QStringLiteral("SELECT \"话单\", \"物理端口\" FROM %1").arg(Database::quoteId(PortTable)), {},
                  [&](const Database::RowView &r) {
                      out.insert(r.integer(0), QString::fromUtf8(r.bytes(1)));
                      return true;
                  });
    if (!read)
        return Checked<QHash<qint64, QString>>::refuse(read.status().context(QStringLiteral("话单端口无法读取")));
    return out;
}

Checked<QStringList> BillTable::unsettledCallers(const QStringList &groups) const
{
    // Through the index of records not settled, whose condition it repeats.
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                      .arg(col(m_db, BillField::Caller), Database::quoteId(Name), openCondition());
    QVariantList params;
    if (!groups.isEmpty()) {
        sql += QStringLiteral(" AND %1 IN (%2)").arg(col(m_db, BillField::Group), marks(groups.size()));
        for (const QString &g : groups)
            params.append(g);
    }
    sql += QStringLiteral(" GROUP BY 1 ORDER BY min(rowid)");
    const auto rows = m_db.select(sql, params);
    if (!rows)
        return rows.refusedAs<QStringList>();
    QStringList out;
    for (const QStringList &r : *rows)
        out.append(r.value(0));
    return out;
}

Checked<QList<BillRecord>> BillTable::byRowIds(const QList<qint64> &rowIds) const
{
    QList<BillRecord> out;
    constexpr int Chunk = 500;
    for (qsizetype at = 0; at < rowIds.size(); at += Chunk) {
        const QList<qint64> part = rowIds.mid(at, Chunk);
        QVariantList params;
        for (qint64 id : part)
            params.append(id);
        auto rows = TableAccess::read(m_db, Name, QStringLiteral("rowid IN (%1)").arg(marks(part.size())), params);
        if (!rows)
            return rows.refusedAs<QList<BillRecord>>();
        for (TableAccess::StoredRow &r : *rows) {
            BillRecord b;
            b.rowId = r.rowId;
            b.values = std::move(r.values);
            out.append(std::move(b));
        }
    }
    std::sort(out.begin(), out.end(), [](const BillRecord &a, const BillRecord &b) { return a.rowId < b.rowId; });
    return out;
}

Checked<bool> BillTable::markSettled(qint64 rowId, const QString &caller, const QString &endTime)
{
    const Status s = m_db.exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ? AND %2 = ? AND %3 = ? AND %4 = ?")
                                   .arg(Database::quoteId(Name), col(m_db, BillField::State),
                                        col(m_db, BillField::Caller), col(m_db, BillField::EndTime)),
                               {settledText(), rowId, notSettledText(), caller, endTime});
    if (!s)
        return Checked<bool>::refuse(s);
    const bool gone = m_db.changes() > 0;
    if (gone && m_db.tableExists(PortTable))
        if (Status p = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE \"话单\" = ?").arg(Database::quoteId(PortTable)),
                                 {rowId});
            !p)
            return Checked<bool>::refuse(p);
    return gone;
}

Checked<bool> BillTable::removeListed(qint64 rowId, const QString &caller, const QString &endTime)
{
    const Status s =
        m_db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = ? AND %2 = ? AND %3 = ?")
                      .arg(Database::quoteId(Name), col(m_db, BillField::Caller), col(m_db, BillField::EndTime)),
                  {rowId, caller, endTime});
    if (!s)
        return Checked<bool>::refuse(s);
    const bool gone = m_db.changes() > 0;
    if (gone && m_db.tableExists(PortTable))
        if (Status p = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE \"话单\" = ?").arg(Database::quoteId(PortTable)),
                                 {rowId});
            !p)
            return Checked<bool>::refuse(p);
    return gone;
}

} // namespace corvane
