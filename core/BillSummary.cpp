#include "BillSummary.h"

#include "BillTable.h"
#include "Database.h"

#include <tuple>

namespace corvane {

namespace {

const QString kTable = QStringLiteral("\"BillSums\"");
const QStringList kKeys{QStringLiteral("维度"), QStringLiteral("月份"), QStringLiteral("日"),   QStringLiteral("时"),
                        QStringLiteral("类型"), QStringLiteral("键"),   QStringLiteral("名称"), QStringLiteral("性质")};
constexpr int kDims = 5;

// A column of a record: of the row a trigger sees (`row` "NEW" or "OLD"),
// or of the table (`row` empty), never NULL.
QString column(const QString &row, BillField f)
{
    const QString name = Database::quoteId(BillTable::columnName(f));
    return QStringLiteral("coalesce(%1%2, '')").arg(row.isEmpty() ? QString() : row + QLatin1Char('.'), name);
}

struct Record {
    QString end, fee, type, state, caller, name, group, area;
    explicit Record(const QString &row)
        : end(column(row, BillField::EndTime)), fee(column(row, BillField::Fee)),
          type(column(row, BillField::CallType)), state(column(row, BillField::State)),
          caller(column(row, BillField::Caller)), name(column(row, BillField::Name)),
          group(column(row, BillField::Group)), area(column(row, BillField::Area))
    {}

    QString typeCounts() const { return QStringLiteral("%1 IN ('0','1','2','3','4','5','6','7','8','9')").arg(type); }
    // An end time in one of the two stored forms on a day the calendar has
    // (as the statistics read it: stored_end_time() and a real day).
    QString storedForm() const
    {
        const QString day = QStringLiteral("[0-9][0-9][0-9][0-9]年[0-9][0-9]月[0-9][0-9]日");
        const QStringList times{QStringLiteral("[01][0-9]时[0-5][0-9]分"), QStringLiteral("2[0-3]时[0-5][0-9]分"),
                                QStringLiteral("[01][0-9]:[0-5][0-9]:[0-5][0-9]"),
                                QStringLiteral("2[0-3]:[0-5][0-9]:[0-5][0-9]")};
        QStringList forms;
        for (const QString &t : times)
            forms.append(QStringLiteral("%1 GLOB '%2%3'").arg(end, day, t));
        const QString y = QStringLiteral("CAST(substr(%1, 1, 4) AS INTEGER)").arg(end);
        const QString m = QStringLiteral("CAST(substr(%1, 6, 2) AS INTEGER)").arg(end);
        const QString d = QStringLiteral("CAST(substr(%1, 9, 2) AS INTEGER)").arg(end);
        return QStringLiteral("(%1) AND %2 >= 1 AND %3 BETWEEN 1 AND 12 AND %4 BETWEEN 1 AND (CASE %3 WHEN 2 THEN 28 + "
                              "(%2 % 4 = 0 AND (%2 % 100 <> 0 OR %2 % 400 = 0)) WHEN 4 THEN 30 WHEN 6 THEN 30 "
                              "WHEN 9 THEN 30 WHEN 11 THEN 30 ELSE 31 END)")
            .arg(forms.join(QStringLiteral(" OR ")), y, m, d);
    }
    // A fee written "12.34" (as the console writes every fee).
    QString plainFee() const
    {
        return QStringLiteral("(%1 GLOB '[0-9]*.[0-9][0-9]' AND NOT %1 GLOB '*[^0-9.]*' AND "
                              "length(%1) - length(replace(%1, '.', '')) = 1 AND length(%1) <= 15)")
            .arg(fee);
    }
    QString summed() const
    {
        return QStringLiteral("(%1 AND %2 AND (%3 OR %4 = ''))").arg(typeCounts(), storedForm(), plainFee(), fee);
    }
    QString listed() const { return QStringLiteral("(%1 AND NOT %2)").arg(typeCounts(), summed()); }
    QString units() const
    {
        return QStringLiteral("(CASE WHEN %1 = '' THEN 0 ELSE CAST(replace(%1, '.', '') AS INTEGER) * 100 END)")
            .arg(fee);
    }
    QString unread() const { return QStringLiteral("(%1 = '')").arg(fee); }
    QString incoming() const { return QStringLiteral("(CASE WHEN %1 = '9' THEN '9' ELSE '' END)").arg(type); }
    QString month() const { return QStringLiteral("substr(%1, 1, 8)").arg(end); }

    // The key of dimension `dim` (0 time, 1 caller, 2 group, 3 area, 4
    // listed by end time), in the order of kKeys, and when it applies.
    QStringList key(int dim) const
    {
        const QString none = QStringLiteral("''");
        switch (dim) {
        case 0:
            return {QStringLiteral("'T'"),
                    month(),
                    QStringLiteral("substr(%1, 1, 11)").arg(end),
                    QStringLiteral("substr(%1, 12, 2)").arg(end),
                    type,
                    none,
                    none,
                    state};
        case 1: return {QStringLiteral("'C'"), month(), none, none, incoming(), caller, name, state};
        case 2: return {QStringLiteral("'G'"), month(), none, none, incoming(), group, none, state};
        case 3: return {QStringLiteral("'A'"), month(), none, none, incoming(), area, none, state};
        default: return {QStringLiteral("'X'"), none, none, none, type, end, none, state};
        }
    }
    QString when(int dim) const { return dim < 4 ? summed() : listed(); }
};

QString keyMatch(const QStringList &key)
{
    QStringList parts;
    for (int i = 0; i < kKeys.size(); ++i)
        parts.append(QStringLiteral("%1 = %2").arg(Database::quoteId(kKeys.at(i)), key.at(i)));
    return parts.join(QStringLiteral(" AND "));
}

// The statements that add (or take away) one record, of trigger row `row`,
// for the dimensions from `first` to `last`: the trigger's condition chose
// them already.
QString change(const QString &row, bool add, int first, int last)
{
    const Record r(row);
    QString out;
    for (int dim = first; dim <= last; ++dim) {
        const QStringList key = r.key(dim);
        const QString units = dim < 4 ? r.units() : QStringLiteral("0");
        const QString unread = dim < 4 ? r.unread() : QStringLiteral("0");
        if (add)
            out += QStringLiteral("INSERT OR IGNORE INTO %1 VALUES (%2, 0, 0, 0);\n")
                       .arg(kTable, key.join(QStringLiteral(", ")));
        out += QStringLiteral(
                   "UPDATE %1 SET \"次数\" = \"次数\" %2 1, \"金额\" = \"金额\" %2 %3, \"无额\" = \"无额\" %2 %4 "
                   "WHERE %5;\n")
                   .arg(kTable, add ? QStringLiteral("+") : QStringLiteral("-"), units, unread, keyMatch(key));
        if (!add)
            out += QStringLiteral("DELETE FROM %1 WHERE %2 AND \"次数\" = 0;\n").arg(kTable, keyMatch(key));
    }
    return out;
}

// The triggers: for each way a record changes, one for a record that is
// summed and one for a record listed by its end time, each deciding that
// once in its condition.
QStringList triggerSql()
{
    const QString bill = Database::quoteId(BillTable::Name);
    QStringList watched;
    for (BillField f : {BillField::EndTime, BillField::Fee, BillField::CallType, BillField::State, BillField::Caller,
                        BillField::Name, BillField::Group, BillField::Area})
        watched.append(Database::quoteId(BillTable::columnName(f)));
    QStringList out;
    const struct {
        const char *name;
        const char *event;
        const char *row;
        bool add;
    } kinds[] = {{"insert", "INSERT", "NEW", true},
                 {"delete", "DELETE", "OLD", false},
                 {"update_old", "UPDATE", "OLD", false},
                 {"update_new", "UPDATE", "NEW", true}};
    for (const auto &k : kinds) {
        const QString row = QString::fromLatin1(k.row);
        const Record r(row);
        const QString event = QString::fromLatin1(k.event) == QLatin1String("UPDATE")
                                  ? QStringLiteral("UPDATE OF %1").arg(watched.join(QStringLiteral(", ")))
                                  : QString::fromLatin1(k.event);
        for (bool summed : {true, false})
            out.append(
                QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 WHEN %4 BEGIN\n%5END")
                    .arg(Database::quoteId(QStringLiteral("trg_BillSums_%1_%2")
                                               .arg(QString::fromLatin1(k.name),
                                                    summed ? QStringLiteral("summed") : QStringLiteral("listed"))),
                         event, bill, summed ? r.summed() : r.listed(),
                         change(row, k.add, summed ? 0 : 4, summed ? 3 : 4)));
    }
    return out;
}

QStringList triggerNames()
{
    QStringList names;
    for (const char *k : {"insert", "delete", "update_old", "update_new"})
        for (const char *w : {"summed", "listed"})
            names.append(QStringLiteral("trg_BillSums_%1_%2").arg(QString::fromLatin1(k), QString::fromLatin1(w)));
    return names;
}

// The sums of the records as they are, grouped as the table holds them.
QString summedRecords()
{
    const Record r{QString()};
    QStringList parts;
    for (int dim = 0; dim < kDims; ++dim) {
        const QStringList key = r.key(dim);
        const QString units = dim < 4 ? QStringLiteral("sum(%1)").arg(r.units()) : QStringLiteral("0");
        const QString unread = dim < 4 ? QStringLiteral("sum(%1)").arg(r.unread()) : QStringLiteral("0");
        QStringList groupBy;
        for (int i = 1; i <= kKeys.size(); ++i)
            groupBy.append(QString::number(i));
        parts.append(QStringLiteral("SELECT %1, count(*), %2, %3 FROM %4 WHERE %5 GROUP BY %6")
                         .arg(key.join(QStringLiteral(", ")), units, unread, Database::quoteId(BillTable::Name),
                              r.when(dim), groupBy.join(u',')));
    }
    return parts.join(QStringLiteral(" UNION ALL "));
}

// The key columns, quoted, in their order.
QString keyList()
{
    QStringList quoted;
    for (const QString &k : kKeys)
        quoted.append(Database::quoteId(k));
    return quoted.join(QStringLiteral(", "));
}

QString marks(qsizetype n)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m.append(QStringLiteral("?"));
    return m.join(u',');
}

} // namespace

const QString BillSummary::Name = QStringLiteral("BillSums");

bool BillSummary::exists() const
{
    const QStringList triggers = triggerNames();
    QVariantList params{Name};
    for (const QString &t : triggers)
        params.append(t);
    const auto n = m_db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE (type='table' AND name=?) OR "
                                              "(type='trigger' AND name IN (%1))")
                                   .arg(marks(triggers.size())),
                               params);
    return n && n->toInt() == 1 + triggers.size();
}

qint64 BillSummary::estimateMs() const
{
    if (exists())
        return 0;
    // About 6 µs a record on a desk computer of two cores.
    const qint64 records =
        m_db.scalar(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM %1").arg(Database::quoteId(BillTable::Name)))
            .value_or(QString())
            .toLongLong();
    return records * 6 / 1000;
}

Checked<bool> BillSummary::ensure()
{
    if (exists())
        return false;
    QStringList columns;
    for (const QString &k : kKeys)
        columns.append(Database::quoteId(k) + QStringLiteral(" TEXT NOT NULL"));
    const Status made = InTransaction(m_db, [&]() -> Status {
        // A table without its triggers may have missed writes: made anew.
        const auto old = m_db.select(
            QStringLiteral("SELECT name FROM sqlite_master WHERE type='trigger' AND name LIKE 'trg_BillSums_%'"));
        if (!old)
            return old.status();
        for (const QStringList &t : *old)
            if (Status s = m_db.exec(QStringLiteral("DROP TRIGGER %1").arg(Database::quoteId(t.value(0)))); !s)
                return s;
        if (Status s = m_db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kTable)); !s)
            return s;
        if (Status s = m_db.exec(QStringLiteral("CREATE TABLE %1 (%2, \"次数\" INTEGER NOT NULL, \"金额\" INTEGER NOT "
                                                "NULL, \"无额\" INTEGER NOT NULL, PRIMARY KEY (%3)) WITHOUT ROWID")
                                     .arg(kTable, columns.join(QStringLiteral(", ")), keyList()));
            !s)
            return s;
        if (Status s = m_db.exec(QStringLiteral("INSERT INTO %1 %2").arg(kTable, summedRecords())); !s)
            return s;
        for (const QString &t : triggerSql())
            if (Status s = m_db.exec(t); !s)
                return s;
        return Status::ok();
    });
    if (!made)
        return Checked<bool>::refuse(made.context(QStringLiteral("话单汇总无法建立")));
    return true;
}

Checked<QList<BillSummary::Sum>> BillSummary::sums(Dim dim, const QString &firstMonth, const QString &lastMonth,
                                                   const QStringList &states) const
{
    QList<Sum> out;
    if (states.isEmpty())
        return out;
    QString keys;
    QString code;
    switch (dim) {
    case Dim::Time:
        code = QStringLiteral("T");
        keys = QStringLiteral("\"日\", \"时\", \"类型\", ''");
        break;
    case Dim::Caller:
        code = QStringLiteral("C");
        keys = QStringLiteral("\"键\", \"名称\", \"类型\", ''");
        break;
    case Dim::Group:
        code = QStringLiteral("G");
        keys = QStringLiteral("\"键\", '', \"类型\", ''");
        break;
    case Dim::Area:
        code = QStringLiteral("A");
        keys = QStringLiteral("\"键\", '', \"类型\", ''");
        break;
    }
    QVariantList params{code, firstMonth, lastMonth};
    for (const QString &s : states)
        params.append(s);
    const auto read = m_db.each(QStringLiteral("SELECT %1, sum(\"次数\"), sum(\"金额\"), sum(\"无额\") FROM %2 WHERE "
                                               "\"维度\" = ? AND \"月份\" >= ? AND \"月份\" <= ? AND \"性质\" IN (%3) "
                                               "GROUP BY 1, 2, 3 ORDER BY 1, 2, 3")
                                    .arg(keys, kTable, marks(states.size())),
                                params, [&](const Database::RowView &r) {
                                    Sum s;
                                    const QString a = QString::fromUtf8(r.bytes(0));
                                    const QString b = QString::fromUtf8(r.bytes(1));
                                    const QString type = QString::fromUtf8(r.bytes(2));
                                    if (dim == Dim::Time) {
                                        s.day = a;
                                        s.hour = b;
                                        s.type = type;
                                    } else {
                                        s.key = a;
                                        s.name = b;
                                    }
                                    s.incoming = type == QLatin1String("9");
                                    s.calls = r.integer(4);
                                    s.units = r.integer(5);
                                    s.unread = r.integer(6);
                                    out.append(s);
                                    return true;
                                });
    if (!read)
        return Checked<QList<Sum>>::refuse(read.status().context(QStringLiteral("话单汇总无法读取")));
    return out;
}

Checked<QStringList> BillSummary::listedEndTimes(const QString &from, const QString &before,
                                                 const QStringList &states) const
{
    QStringList out;
    if (states.isEmpty())
        return out;
    QVariantList params{from, before};
    for (const QString &s : states)
        params.append(s);
    const auto read = m_db.each(QStringLiteral("SELECT DISTINCT \"键\" FROM %1 WHERE \"维度\" = 'X' AND \"月份\" = '' "
                                               "AND \"键\" >= ? AND \"键\" < ? AND \"性质\" IN (%2) ORDER BY 1")
                                    .arg(kTable, marks(states.size())),
                                params, [&](const Database::RowView &r) {
                                    out.append(QString::fromUtf8(r.bytes(0)));
                                    return true;
                                });
    if (!read)
        return Checked<QStringList>::refuse(read.status().context(QStringLiteral("话单汇总无法读取")));
    return out;
}

QString BillSummary::listedCondition() { return Record(QString()).listed(); }

Checked<QStringList> BillSummary::mismatches() const
{
    if (!exists())
        return QStringList{QStringLiteral("没有话单汇总")};
    QStringList out;
    const QString all = QStringLiteral("%1, \"次数\", \"金额\", \"无额\"").arg(keyList());
    const QString records = summedRecords();
    for (const auto &[first, second, what] :
         {std::tuple{records, QStringLiteral("SELECT %1 FROM %2").arg(all, kTable), QStringLiteral("话单有而汇总无")},
          std::tuple{QStringLiteral("SELECT %1 FROM %2").arg(all, kTable), records,
                     QStringLiteral("汇总有而话单无")}}) {
        const auto rows =
            m_db.select(QStringLiteral("SELECT * FROM (%1) EXCEPT SELECT * FROM (%2)").arg(first, second));
        if (!rows)
            return rows.refusedAs<QStringList>();
        for (const QStringList &r : *rows)
            out.append(what + QStringLiteral("：") + r.join(u'|'));
    }
    return out;
}

} // namespace corvane
