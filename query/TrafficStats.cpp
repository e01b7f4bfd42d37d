#include "TrafficStats.h"

#include "BillSummary.h"
#include "BillTable.h"
#include "CallQuery.h"
#include "CallTypes.h"
#include "ConsoleContext.h"
#include "Database.h"

#include <QDateTime>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <functional>

namespace corvane::TrafficStats {

namespace {

QString col(BillField f) { return Database::quoteId(BillTable::columnName(f)); }

QString marks(qsizetype n)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m.append(QStringLiteral("?"));
    return m.join(u',');
}

// An end time in the shape of one of its two stored forms,
// "2026年12月09日10时30分" or "2026年12月09日10:30:05", with a real time of
// day. Such texts sort as their moments and have their date and hour at
// fixed places; whether the date is a real one is decided per day, on the
// grouped days (realDay), not per record.
QString canonicalEndTime() { return QStringLiteral("stored_end_time(%1)").arg(col(BillField::EndTime)); }

// Whether a grouped day "2026年12月09日" is a date of the calendar.
bool realDay(const QString &day) { return QDate::fromString(day, QStringLiteral("yyyy年MM月dd日")).isValid(); }

// The records of the selection whose end time text lies between the first
// hour of `first` and the last hour of `last`, read as a query reads them
// through the end-time index.
struct Where {
    QString sql;
    QVariantList params;
    QDateTime begin, end;
};

Where whereFor(const Selection &s, const QDate &first, const QDate &last)
{
    Where w;
    w.begin = QDateTime(first, QTime(0, 0, 0));
    w.end = QDateTime(last, QTime(23, 59, 59));
    QStringList types;
    for (int t = 0; t < kCallTypeCount; ++t)
        types.append(QStringLiteral("'%1'").arg(t));
    // The state has an index of its own that would be the wrong way in:
    // the unary plus keeps the planner on the end time (or caller) index.
    w.sql = QStringLiteral("+%1 IN (%2) AND +%3 IN (%4) AND %5 >= ? AND %5 < ?")
                .arg(col(BillField::CallType), types.join(u','), col(BillField::State), marks(s.states.size()),
                     col(BillField::EndTime));
    for (const QString &st : s.states)
        w.params.append(st);
    w.params.append(first.toString(QStringLiteral("yyyy年MM月dd日00")));
    w.params.append(last.toString(QStringLiteral("yyyy年MM月dd日23")) + QChar(0x9FFF));
    if (!s.everyCaller) {
        w.sql += QStringLiteral(" AND %1 IN (%2)").arg(col(BillField::Caller), marks(s.callers.size()));
        for (const QString &c : s.callers)
            w.params.append(c);
    }
    return w;
}

// Lines by key, summed from grouped rows or single records.
class Tally {
public:
    Line &at(const QString &key)
    {
        auto it = m_lines.find(key);
        if (it == m_lines.end()) {
            it = m_lines.insert(key, Line());
            it->key = key;
        }
        return *it;
    }
    void add(const QString &key, bool incoming, qint64 calls, Money fees, const QString &name = {})
    {
        Line &l = at(key);
        if (incoming) {
            l.inCalls += calls;
            l.inFees += fees;
        } else {
            l.calls += calls;
            l.fees += fees;
        }
        if (l.name.isEmpty())
            l.name = name;
    }
    const QMap<QString, Line> &lines() const { return m_lines; }

private:
    QMap<QString, Line> m_lines;
};

// The range's records, read once: the columns the figures group by, the fee
// in exact units and whether the end time is in a stored form. The figures
// are then summed from this copy, which is no bigger than the range.
const QString kRows = QStringLiteral("temp.stat_rows");

Status copyRange(Database &db, const Where &w)
{
    if (Status s = db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kRows)); !s)
        return s;
    if (Status s = db.exec(QStringLiteral("CREATE TABLE %1 (day, hour, type, incoming, caller, name, grp, area, "
                                          "endtime, fee, units, canon)")
                               .arg(kRows));
        !s)
        return s;
    const QString e = col(BillField::EndTime);
    const QString t = col(BillField::CallType);
    const QString f = col(BillField::Fee);
    const QString sql =
        QStringLiteral("INSERT INTO %1 SELECT substr(%2,1,11), substr(%2,12,2), %3, %3 = '9', %4, %5, %6, %7, %2, %8,"
                       " money_units(%8), %9 FROM %10 WHERE %11")
            .arg(kRows, e, t, col(BillField::Caller), col(BillField::Name), col(BillField::Group), col(BillField::Area),
                 f, canonicalEndTime(), Database::quoteId(BillTable::Name), w.sql);
    if (Status st = db.exec(sql, w.params); !st)
        return st;
    // Records of a day no calendar has ("2026年02月30日") are no records of
    // the range: a query does not take them either.
    const auto days = db.select(QStringLiteral("SELECT DISTINCT day FROM %1 WHERE canon").arg(kRows));
    if (!days)
        return days.status();
    for (const QStringList &d : *days)
        if (!realDay(d.value(0)))
            if (Status st =
                    db.exec(QStringLiteral("UPDATE %1 SET canon = NULL WHERE day = ?").arg(kRows), {d.value(0)});
                !st)
                return st;
    return Status::ok();
}

// One grouped sum over the copied records in a stored form: key, incoming,
// calls, fee units, unread fees, name.
Status grouped(Database &db, const QString &key, const QString &nameExpr, Tally &tally, qint64 *unread = nullptr)
{
    const QString sql = QStringLiteral("SELECT %1, incoming, count(*), sum(units), sum(units IS NULL), %2 FROM %3"
                                       " WHERE canon GROUP BY 1, 2")
                            .arg(key, nameExpr.isEmpty() ? QStringLiteral("''") : nameExpr, kRows);
    const auto rows = db.select(sql);
    if (!rows)
        return rows.status();
    for (const QStringList &r : *rows) {
        tally.add(r.at(0), r.at(1) == QLatin1String("1"), r.at(2).toLongLong(), Money::fromRaw(r.at(3).toLongLong()),
                  r.at(5));
        if (unread)
            *unread += r.at(4).toLongLong();
    }
    return Status::ok();
}

// The months straight from the stored records (twelve of them are more than
// is worth copying), one month at a time: a whole month's bounds are real
// days, so no day the calendar lacks falls inside them, and the sums need no
// grouping (and no sorting of the records). Tells how many records are in no
// stored form.
Checked<qint64> groupedMonths(Database &db, const Selection &s, const QDate &firstMonth, const QDate &lastMonth,
                              Tally &tally)
{
    const QString stored = canonicalEndTime();
    const QString in = QStringLiteral("%1 = '9'").arg(col(BillField::CallType));
    const QString units = QStringLiteral("money_units(%1)").arg(col(BillField::Fee));
    qint64 odd = 0;
    for (QDate m = firstMonth; m <= lastMonth; m = m.addMonths(1)) {
        const Where w = whereFor(s, m, m.addMonths(1).addDays(-1));
        const QString sql = QStringLiteral("SELECT sum(%1 AND NOT %2), sum(%1 AND %2),"
                                           " sum(CASE WHEN %1 AND NOT %2 THEN %3 END),"
                                           " sum(CASE WHEN %1 AND %2 THEN %3 END), sum(NOT %1) FROM %4 WHERE %5")
                                .arg(stored, in, units, Database::quoteId(BillTable::Name), w.sql);
        const auto rows = db.select(sql, w.params);
        if (!rows)
            return rows.refusedAs<qint64>();
        const QStringList r = rows->value(0);
        const QString key = m.toString(QStringLiteral("yyyy年MM月"));
        tally.add(key, false, r.value(0).toLongLong(), Money::fromRaw(r.value(2).toLongLong()));
        tally.add(key, true, r.value(1).toLongLong(), Money::fromRaw(r.value(3).toLongLong()));
        odd += r.value(4).toLongLong();
    }
    return odd;
}

// A record whose end time is in neither stored form but still reads as a
// moment (a query takes it by that moment).
struct OddRecord {
    QString caller, name, group, area, type;
    QDateTime at;
    Money fee;
    bool feeRead = false;
};

// Whether a fee text holds a number as Money::fromText reads one (as the
// database's money_units() decides it for the other records).
bool holdsNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[ \\t\\r\\n]*[+-]?\\.?[0-9]"));
    return number.match(text).hasMatch();
}

// The records whose end time is in no stored form, from the copy of the
// range (`w` null) or from the stored records.
Checked<QList<OddRecord>> oddRecords(Database &db, const Where *w, const QDateTime &begin, const QDateTime &end)
{
    QString sql;
    QVariantList params;
    if (w) {
        const QStringList columns{col(BillField::Caller), col(BillField::Name),     col(BillField::Group),
                                  col(BillField::Area),   col(BillField::CallType), col(BillField::EndTime),
                                  col(BillField::Fee)};
        sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 AND NOT %4")
                  .arg(columns.join(QStringLiteral(", ")), Database::quoteId(BillTable::Name), w->sql,
                       canonicalEndTime());
        params = w->params;
    } else {
        sql = QStringLiteral("SELECT caller, name, grp, area, type, endtime, fee FROM %1 WHERE NOT canon").arg(kRows);
    }
    const auto rows = db.select(sql, params);
    if (!rows)
        return rows.refusedAs<QList<OddRecord>>();
    QList<OddRecord> out;
    for (const QStringList &r : *rows) {
        const std::optional<QDateTime> at = CallQuery::EndTimeMoment(r.at(5));
        if (!at || *at < begin || *at > end)
            continue;
        OddRecord o{r.at(0), r.at(1), r.at(2), r.at(3), r.at(4), *at, Money(), false};
        o.fee = Money::fromText(r.at(6));
        o.feeRead = holdsNumber(r.at(6));
        out.append(o);
    }
    return out;
}

// An end time text in one of the two stored forms, as stored_end_time()
// reads it in the database: "2026年12月09日04时42分" or
// "2026年12月09日04:43:09", an hour below 24, minutes and seconds below 60.
bool storedForm(QStringView t)
{
    auto digit = [&](int i) { return t[i].unicode() >= u'0' && t[i].unicode() <= u'9'; };
    auto digits = [&](int i, int n) {
        for (int k = i; k < i + n; ++k)
            if (!digit(k))
                return false;
        return true;
    };
    auto below60 = [&](int i) { return digits(i, 2) && t[i].unicode() < u'6'; };
    if (t.size() != 17 && t.size() != 19)
        return false;
    if (!digits(0, 4) || t[4] != u'年' || !digits(5, 2) || t[7] != u'月' || !digits(8, 2) || t[10] != u'日'
        || !digits(11, 2) || t[11].unicode() > u'2' || (t[11] == u'2' && t[12].unicode() > u'3'))
        return false;
    if (t.size() == 17)
        return t[13] == u'时' && below60(14) && t[16] == u'分';
    return t[13] == u':' && below60(14) && t[16] == u':' && below60(17);
}

// The text bounds of a range of whole days as whereFor() reads it: from the
// first hour of `first` up to (not including) past the last hour of `last`.
QString lowBound(const QDate &first) { return first.toString(QStringLiteral("yyyy年MM月dd日00")); }
QString highBound(const QDate &last) { return last.toString(QStringLiteral("yyyy年MM月dd日23")) + QChar(0x9FFF); }
QString monthText(const QDate &d) { return d.toString(QStringLiteral("yyyy年MM月")); }

// A caller's calls and fees, incoming apart, with the greatest of the names
// its records carry (as max(name) sorts them).
struct CallerSum {
    qint64 calls = 0;
    Money fees;
    QString name;
    void add(qint64 n, Money f, const QString &withName)
    {
        calls += n;
        fees += f;
        if (withName.toUtf8() > name.toUtf8())
            name = withName;
    }
};
using CallerSums = QMap<QPair<QString, int>, CallerSum>; // (caller, incoming) -> sums

// What the figures are summed from, gathered part by part: the records of
// partial months from a copy of them, whole months from the sums kept of
// them (BillSummary), and the records read one by one.
struct Parts {
    Tally days, types, hours, groups, areas; // days by "2026年12月09日"
    CallerSums callers;
    QList<OddRecord> odd; // in the order of their end times
    qint64 unread = 0;
};

// The records of these end times (listed by BillSummary) of the call types
// counted and the selection's states, in the order of the end-time index:
// caller, name, group, area, type, end time, fee.
Checked<QList<QStringList>> listedRecords(Database &db, const Selection &s, const QStringList &endTimes)
{
    QList<QStringList> out;
    QStringList types;
    for (int t = 0; t < kCallTypeCount; ++t)
        types.append(QStringLiteral("'%1'").arg(t));
    constexpr int kSlice = 400;
    for (int at = 0; at < endTimes.size(); at += kSlice) {
        const QStringList slice = endTimes.mid(at, kSlice);
        QVariantList params;
        for (const QString &k : slice)
            params.append(k);
        for (const QString &st : s.states)
            params.append(st);
        const QString sql =
            QStringLiteral("SELECT %1, %2, %3, %4, %5, %6, %7 FROM %8 WHERE %6 IN (%9) AND +%5 IN (%10) AND +%11 IN "
                           "(%12) AND %13 ORDER BY %6, %5, %11, %7, rowid")
                .arg(col(BillField::Caller), col(BillField::Name), col(BillField::Group), col(BillField::Area),
                     col(BillField::CallType), col(BillField::EndTime), col(BillField::Fee),
                     Database::quoteId(BillTable::Name), marks(slice.size()), types.join(u','), col(BillField::State),
                     marks(s.states.size()), BillSummary::listedCondition());
        const auto rows = db.select(sql, params);
        if (!rows)
            return rows;
        out += *rows;
    }
    return out;
}

// The records whose end time text lies between `from` and `before` that
// the sums list by their end time, read one by one: those in a stored form
// (with a fee written otherwise) go where the grouped sums would have put
// them; the others are read as odd records, by their moment.
Status listedPart(Database &db, const Selection &s, const QString &from, const QString &before, const QDateTime &begin,
                  const QDateTime &end, Parts &p)
{
    const auto keys = BillSummary(db).listedEndTimes(from, before, s.states);
    if (!keys)
        return keys.status();
    const auto rows = listedRecords(db, s, *keys);
    if (!rows)
        return rows.status();
    for (const QStringList &r : *rows) {
        const QString &endText = r.at(5);
        const bool in = r.at(4) == QLatin1String("9");
        if (storedForm(endText) && realDay(endText.left(11))) {
            const Money fee = Money::fromText(r.at(6));
            p.days.add(endText.left(11), in, 1, fee);
            p.types.add(r.at(4), in, 1, fee);
            p.hours.add(endText.mid(11, 2), in, 1, fee);
            p.callers[{r.at(0), in ? 1 : 0}].add(1, fee, r.at(1));
            p.groups.add(r.at(2), in, 1, fee);
            p.areas.add(r.at(3), in, 1, fee);
            p.unread += holdsNumber(r.at(6)) ? 0 : 1;
            continue;
        }
        const std::optional<QDateTime> moment = CallQuery::EndTimeMoment(endText);
        if (!moment || *moment < begin || *moment > end)
            continue;
        OddRecord o{
            r.at(0), r.at(1), r.at(2), r.at(3), r.at(4), *moment, Money::fromText(r.at(6)), holdsNumber(r.at(6))};
        p.odd.append(o);
    }
    return Status::ok();
}

// The twelve months as groupedMonths() sums them, from the sums kept of
// them and the few records they list by end time.
Checked<qint64> summedMonths(Database &db, const Selection &s, const QDate &firstMonth, const QDate &lastMonth,
                             Tally &tally)
{
    const auto time =
        BillSummary(db).sums(BillSummary::Dim::Time, monthText(firstMonth), monthText(lastMonth), s.states);
    if (!time)
        return time.refusedAs<qint64>();
    for (const BillSummary::Sum &t : *time)
        tally.add(t.day.left(8), t.incoming, t.calls, Money::fromRaw(t.units));
    const QDate monthsEnd = lastMonth.addMonths(1).addDays(-1);
    const auto keys = BillSummary(db).listedEndTimes(lowBound(firstMonth), highBound(monthsEnd), s.states);
    if (!keys)
        return keys.refusedAs<qint64>();
    // Which month's own bounds a text lies in, if any.
    auto monthOf = [&](const QString &text) -> std::optional<QDate> {
        for (QDate m = firstMonth; m <= lastMonth; m = m.addMonths(1))
            if (text >= lowBound(m) && text < highBound(m.addMonths(1).addDays(-1)))
                return m;
        return std::nullopt;
    };
    QStringList inMonths;
    for (const QString &k : *keys)
        if (monthOf(k))
            inMonths.append(k);
    const auto rows = listedRecords(db, s, inMonths);
    if (!rows)
        return rows.refusedAs<qint64>();
    qint64 odd = 0;
    for (const QStringList &r : *rows) {
        if (!storedForm(r.at(5))) {
            ++odd;
            continue;
        }
        tally.add(monthText(*monthOf(r.at(5))), r.at(4) == QLatin1String("9"), 1, Money::fromText(r.at(6)));
    }
    return odd;
}

// The callers of the copied records in a stored form, each with the
// greatest name its records carry.
Status groupedCallers(Database &db, CallerSums &sums)
{
    const auto rows = db.select(QStringLiteral("SELECT caller, incoming, count(*), sum(units), max(name) FROM %1 WHERE "
                                               "canon GROUP BY 1, 2")
                                    .arg(kRows));
    if (!rows)
        return rows.status();
    for (const QStringList &r : *rows)
        sums[{r.at(0), r.at(1) == QLatin1String("1") ? 1 : 0}].add(r.at(2).toLongLong(),
                                                                   Money::fromRaw(r.at(3).toLongLong()), r.at(4));
    return Status::ok();
}

// The records of the days from `first` to `last` (their end time text in
// those days' bounds), copied and summed; odd records are taken when their
// moment lies between `begin` and `end` (the whole range's).
Status recordPart(Database &db, const Selection &s, const QDate &first, const QDate &last, const QDateTime &begin,
                  const QDateTime &end, Parts &p)
{
    const Where w = whereFor(s, first, last);
    Status st = copyRange(db, w);
    if (st)
        st = grouped(db, QStringLiteral("day"), QString(), p.days, &p.unread);
    if (st)
        st = grouped(db, QStringLiteral("type"), QString(), p.types);
    if (st)
        st = grouped(db, QStringLiteral("hour"), QString(), p.hours);
    if (st)
        st = groupedCallers(db, p.callers);
    if (st)
        st = grouped(db, QStringLiteral("grp"), QString(), p.groups);
    if (st)
        st = grouped(db, QStringLiteral("area"), QString(), p.areas);
    if (st) {
        const auto odd = oddRecords(db, nullptr, begin, end);
        if (odd)
            p.odd += *odd;
        else
            st = odd.status();
    }
    (void)db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(kRows));
    return st;
}

// The whole months from `firstMonth` to `lastMonth` from their sums.
Status summedPart(Database &db, const Selection &s, const QDate &firstMonth, const QDate &lastMonth, Parts &p)
{
    const BillSummary sums(db);
    const QString from = monthText(firstMonth), to = monthText(lastMonth);
    const auto time = sums.sums(BillSummary::Dim::Time, from, to, s.states);
    if (!time)
        return time.status();
    for (const BillSummary::Sum &t : *time) {
        const Money fees = Money::fromRaw(t.units);
        p.days.add(t.day, t.incoming, t.calls, fees);
        p.types.add(t.type, t.incoming, t.calls, fees);
        p.hours.add(t.hour, t.incoming, t.calls, fees);
        p.unread += t.unread;
    }
    const auto callers = sums.sums(BillSummary::Dim::Caller, from, to, s.states);
    if (!callers)
        return callers.status();
    for (const BillSummary::Sum &c : *callers)
        p.callers[{c.key, c.incoming ? 1 : 0}].add(c.calls, Money::fromRaw(c.units), c.name);
    for (const auto &[dim, tally] :
         {std::pair{BillSummary::Dim::Group, &p.groups}, {BillSummary::Dim::Area, &p.areas}}) {
        const auto rows = sums.sums(dim, from, to, s.states);
        if (!rows)
            return rows.status();
        for (const BillSummary::Sum &g : *rows)
            tally->add(g.key, g.incoming, g.calls, Money::fromRaw(g.units));
    }
    return Status::ok();
}

QString dayKey(const QDate &d) { return d.toString(Qt::ISODate); }
QString monthKey(const QDate &d) { return d.toString(QStringLiteral("yyyy-MM")); }

// Grouped keys of the database ("2026年12月01日", "2026年12月") as day and month keys.
Tally rekey(const Tally &t, const QString &from, const QString &to)
{
    Tally out;
    for (const Line &l : t.lines()) {
        const QDate d = QDate::fromString(l.key, from);
        Line &m = out.at(d.isValid() ? d.toString(to) : l.key);
        m.calls += l.calls;
        m.inCalls += l.inCalls;
        m.fees += l.fees;
        m.inFees += l.inFees;
    }
    return out;
}

// The ten highest lines by `more`, ties by key.
QList<Line> topTen(const Tally &t, const std::function<bool(const Line &, const Line &)> &more)
{
    QList<Line> all = t.lines().values();
    std::stable_sort(all.begin(), all.end(), more);
    return all.mid(0, 10);
}

bool byFees(const Line &a, const Line &b)
{
    if (a.allFees() != b.allFees())
        return a.allFees() > b.allFees();
    return a.allCalls() > b.allCalls();
}

bool byCalls(const Line &a, const Line &b)
{
    if (a.allCalls() != b.allCalls())
        return a.allCalls() > b.allCalls();
    return a.allFees() > b.allFees();
}

QString noGroupText() { return QStringLiteral("（无分组）"); }
QString noAreaText() { return QStringLiteral("（无地区）"); }

QList<ExportColumn> inOutColumns(const QString &first)
{
    return {{first, CellKind::Text},
            {QStringLiteral("呼出次数"), CellKind::Count},
            {QStringLiteral("呼出话费"), CellKind::Money},
            {QStringLiteral("呼入次数"), CellKind::Count},
            {QStringLiteral("呼入话费"), CellKind::Money},
            {QStringLiteral("话费合计"), CellKind::Money}};
}

QStringList inOutRow(const QString &first, const Line &l)
{
    return {first,
            QString::number(l.calls),
            l.fees.toText(),
            QString::number(l.inCalls),
            l.inFees.toText(),
            l.allFees().toText()};
}

ExportSheet inOutSheet(const QString &name, const QString &first, const QList<Line> &lines)
{
    ExportSheet s{name, inOutColumns(first), {}};
    for (const Line &l : lines)
        s.rows.append(inOutRow(l.label, l));
    return s;
}

} // namespace

Status OpenForReading(Database &db, const QString &path, const QByteArray &key)
{
    if (Status s = db.open(path, key); !s)
        return s;
    // The figures read the range's pages several times: keep them decrypted
    // (up to 128 MB for this short-lived connection); the copy of the range
    // stays in memory.
    for (const char *pragma : {"PRAGMA cache_size=-131072", "PRAGMA temp_store=MEMORY"}) {
        if (Status s = db.exec(QString::fromLatin1(pragma)); !s) {
            db.close();
            return s;
        }
    }
    return Status::ok();
}

Status CheckRange(const QDate &first, const QDate &last)
{
    if (!first.isValid() || !last.isValid())
        return Status::fail(QStringLiteral("请输入开始日期和结束日期！"));
    if (first > last)
        return Status::fail(QStringLiteral("开始日期不能晚于结束日期！"));
    return Status::ok();
}

namespace {

bool choosesNothing(const Selection &s) { return s.states.isEmpty() || (!s.everyCaller && s.callers.isEmpty()); }

QString failedText() { return QStringLiteral("话单无法统计"); }

} // namespace

Checked<QList<Line>> Months(Database &db, const Selection &selection)
{
    if (Status s = CheckRange(selection.first, selection.last); !s)
        return Checked<QList<Line>>::refuse(s);
    // The twelve months up to the last of the range.
    const QDate lastMonth(selection.last.year(), selection.last.month(), 1);
    const QDate firstMonth = lastMonth.addMonths(-11);
    const QDate monthsEnd = lastMonth.addMonths(1).addDays(-1);

    Tally months;
    if (!choosesNothing(selection)) {
        const Where mw = whereFor(selection, firstMonth, monthsEnd);
        Tally monthTally;
        const auto oddInMonths = selection.everyCaller && BillSummary(db).exists()
                                     ? summedMonths(db, selection, firstMonth, lastMonth, monthTally)
                                     : groupedMonths(db, selection, firstMonth, lastMonth, monthTally);
        if (!oddInMonths)
            return Checked<QList<Line>>::refuse(oddInMonths.status().context(failedText()));
        months = rekey(monthTally, QStringLiteral("yyyy年MM月"), QStringLiteral("yyyy-MM"));
        // The months' own records in no stored form are read only when there are any.
        if (*oddInMonths > 0) {
            const auto oddMonths = oddRecords(db, &mw, mw.begin, mw.end);
            if (!oddMonths)
                return Checked<QList<Line>>::refuse(oddMonths.status().context(failedText()));
            for (const OddRecord &o : *oddMonths)
                months.add(monthKey(o.at.date()), o.type == QLatin1String("9"), 1, o.fee);
        }
    }
    QList<Line> out;
    for (QDate m = firstMonth; m <= lastMonth; m = m.addMonths(1)) {
        Line l = months.lines().value(monthKey(m));
        l.key = monthKey(m);
        l.label = m.toString(QStringLiteral("yyyy年MM月"));
        out.append(l);
    }
    return out;
}

Checked<Result> Compute(Database &db, const Selection &selection, const QDate &today, Scope scope)
{
    if (Status s = CheckRange(selection.first, selection.last); !s)
        return Checked<Result>::refuse(s);
    Result r;
    r.selection = selection;
    const QString why = failedText();

    Tally days, types, hours, callers, groups, areas;
    if (!choosesNothing(selection)) {
        const Where whole = whereFor(selection, selection.first, selection.last);
        Parts p;
        // Whole months of every caller come from their sums; the days before
        // and after them from the records.
        const QDate firstWhole = selection.first.day() == 1
                                     ? selection.first
                                     : QDate(selection.first.year(), selection.first.month(), 1).addMonths(1);
        const QDate lastWhole = selection.last.addDays(1).day() == 1
                                    ? selection.last
                                    : QDate(selection.last.year(), selection.last.month(), 1).addDays(-1);
        const bool summed = selection.everyCaller && firstWhole < lastWhole && BillSummary(db).exists();
        Status s = Status::ok();
        if (!summed) {
            s = recordPart(db, selection, selection.first, selection.last, whole.begin, whole.end, p);
        } else {
            if (selection.first < firstWhole)
                s = recordPart(db, selection, selection.first, firstWhole.addDays(-1), whole.begin, whole.end, p);
            if (s)
                s = summedPart(db, selection, firstWhole, lastWhole, p);
            if (s)
                s = listedPart(db, selection,
                               selection.first < firstWhole ? highBound(firstWhole.addDays(-1))
                                                            : lowBound(selection.first),
                               lastWhole < selection.last ? lowBound(lastWhole.addDays(1)) : highBound(selection.last),
                               whole.begin, whole.end, p);
            if (s && lastWhole < selection.last)
                s = recordPart(db, selection, lastWhole.addDays(1), selection.last, whole.begin, whole.end, p);
        }
        if (!s)
            return Checked<Result>::refuse(s.context(why));
        r.unreadFees = p.unread;
        days = rekey(p.days, QStringLiteral("yyyy年MM月dd日"), QStringLiteral("yyyy-MM-dd"));
        types = p.types;
        hours = p.hours;
        groups = p.groups;
        areas = p.areas;
        for (auto it = p.callers.cbegin(); it != p.callers.cend(); ++it)
            callers.add(it.key().first, it.key().second == 1, it->calls, it->fees, it->name);
        for (const OddRecord &o : std::as_const(p.odd)) {
            const bool in = o.type == QLatin1String("9");
            days.add(dayKey(o.at.date()), in, 1, o.fee);
            types.add(o.type, in, 1, o.fee);
            hours.add(o.at.toString(QStringLiteral("HH")), in, 1, o.fee);
            callers.add(o.caller, in, 1, o.fee, o.name);
            groups.add(o.group, in, 1, o.fee);
            areas.add(o.area, in, 1, o.fee);
            r.unreadFees += o.feeRead ? 0 : 1;
        }
    }

    const bool manyYears = selection.first.year() != selection.last.year();
    for (QDate d = selection.first; d <= selection.last; d = d.addDays(1)) {
        Line l = days.lines().value(dayKey(d));
        l.key = dayKey(d);
        l.label = d.toString(manyYears ? QStringLiteral("yyyy年MM月dd日") : QStringLiteral("MM月dd日"));
        r.days.append(l);
        r.total.calls += l.calls;
        r.total.inCalls += l.inCalls;
        r.total.fees += l.fees;
        r.total.inFees += l.inFees;
    }
    r.total.label = QStringLiteral("合计");
    if (scope == Scope::All) {
        auto months = Months(db, selection);
        if (!months)
            return Checked<Result>::refuse(months.status());
        r.months = std::move(*months);
    }
    for (int t = 0; t < kCallTypeCount; ++t) {
        Line l = types.lines().value(QString::number(t));
        l.key = QString::number(t);
        l.label = callTypeName(t);
        r.types.append(l);
    }
    for (int h = 0; h < 24; ++h) {
        const QString key = QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
        Line l = hours.lines().value(key);
        l.key = key;
        l.label = key + QStringLiteral("时");
        r.hours.append(l);
    }
    r.callers = topTen(callers, byFees);
    for (Line &l : r.callers)
        l.label = l.key;
    r.groups = topTen(groups, byFees);
    for (Line &l : r.groups)
        l.label = l.key.trimmed().isEmpty() ? noGroupText() : l.key;
    r.areasByCalls = topTen(areas, byCalls);
    r.areasByFees = topTen(areas, byFees);
    for (QList<Line> *list : {&r.areasByCalls, &r.areasByFees})
        for (Line &l : *list)
            l.label = l.key.trimmed().isEmpty() ? noAreaText() : l.key;

    const QDate lastElapsed = qMin(selection.last, today);
    r.elapsedDays = int(qMax<qint64>(1, selection.first.daysTo(lastElapsed) + 1));
    // To the cent, halves away from zero.
    const qint64 raw = r.total.allFees().raw();
    const qint64 perCent = 100 * qint64(r.elapsedDays);
    const qint64 cents = ((raw < 0 ? -raw : raw) * 2 + perCent) / (2 * perCent);
    r.averagePerDay = Money::fromRaw((raw < 0 ? -cents : cents) * 100);
    return r;
}

QString nothingText() { return QStringLiteral("没有话单"); }

QString rangeText(const Selection &s)
{
    return QStringLiteral("%1至%2").arg(s.first.toString(QStringLiteral("yyyy年MM月dd日")),
                                        s.last.toString(QStringLiteral("yyyy年MM月dd日")));
}

QString summaryText(const Result &r)
{
    if (r.empty())
        return nothingText();
    QString text =
        QStringLiteral("话单：%1条（呼出%2条，呼入%3条）  话费合计：%4元（呼出%5元，呼入%6元）  日均：%7元")
            .arg(r.total.allCalls())
            .arg(r.total.calls)
            .arg(r.total.inCalls)
            .arg(r.total.allFees().toText(), r.total.fees.toText(), r.total.inFees.toText(), r.averagePerDay.toText());
    if (r.unreadFees > 0)
        text += QStringLiteral("  话费无法读取（按0.00计）：%1条").arg(r.unreadFees);
    return text;
}

QString shareText(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return QStringLiteral("0.00%");
    // Hundredths of a percent, halves up.
    const __int128 scaled = static_cast<__int128>(part) * 10000 * 2 / whole;
    const qint64 hundredths = qint64((scaled + 1) / 2);
    return QStringLiteral("%1.%2%").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QList<ExportSheet> Sheets(const Result &r)
{
    QList<ExportSheet> out;
    ExportSheet days = inOutSheet(QStringLiteral("每日话务"), QStringLiteral("日期"), r.days);
    days.rows.append(inOutRow(QStringLiteral("合计"), r.total));
    days.rows.append(
        QStringList{QStringLiteral("日均"), QString(), QString(), QString(), QString(), r.averagePerDay.toText()});
    out.append(days);
    out.append(inOutSheet(QStringLiteral("每月话务"), QStringLiteral("月份"), r.months));

    ExportSheet types{QStringLiteral("话单类型"),
                      {{QStringLiteral("话单类型"), CellKind::Text},
                       {QStringLiteral("次数"), CellKind::Count},
                       {QStringLiteral("话费"), CellKind::Money},
                       {QStringLiteral("次数占比"), CellKind::Text},
                       {QStringLiteral("话费占比"), CellKind::Text}},
                      {}};
    for (const Line &l : r.types)
        types.rows.append(QStringList{l.label, QString::number(l.allCalls()), l.allFees().toText(),
                                      shareText(l.allCalls(), r.total.allCalls()),
                                      shareText(l.allFees().raw(), r.total.allFees().raw())});
    out.append(types);

    ExportSheet callers = inOutSheet(QStringLiteral("主叫话费前十"), QStringLiteral("主叫号码"), r.callers);
    callers.columns.insert(1, ExportColumn{QStringLiteral("用户名称"), CellKind::Text});
    callers.columns[0].kind = CellKind::Identifier;
    for (int i = 0; i < r.callers.size(); ++i)
        callers.rows[i].insert(1, r.callers.at(i).name);
    out.append(callers);
    out.append(inOutSheet(QStringLiteral("分组话费前十"), QStringLiteral("组名"), r.groups));

    auto areaSheet = [](const QString &name, const QList<Line> &lines) {
        ExportSheet s{name,
                      {{QStringLiteral("地区"), CellKind::Text},
                       {QStringLiteral("通话次数"), CellKind::Count},
                       {QStringLiteral("话费"), CellKind::Money}},
                      {}};
        for (const Line &l : lines)
            s.rows.append(QStringList{l.label, QString::number(l.allCalls()), l.allFees().toText()});
        return s;
    };
    out.append(areaSheet(QStringLiteral("地区通话次数前十"), r.areasByCalls));
    out.append(areaSheet(QStringLiteral("地区话费前十"), r.areasByFees));
    out.append(inOutSheet(QStringLiteral("时段话务"), QStringLiteral("时段"), r.hours));
    return out;
}

} // namespace corvane::TrafficStats
