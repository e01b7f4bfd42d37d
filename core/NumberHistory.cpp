#include "NumberHistory.h"

#include "Database.h"
#include "UserTable.h"

#include <QHash>

namespace corvane {

namespace {

const QString kForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");

enum Column { Port, Number, From, To, ColumnCount };

const QStringList &names()
{
    static const QStringList n{QStringLiteral("物理端口"), QStringLiteral("用户号码"), QStringLiteral("起始时间"),
                               QStringLiteral("终止时间")};
    return n;
}

QString q(int c) { return Database::quoteId(names().at(c)); }
QString table() { return Database::quoteId(NumberHistory::Name); }

QDateTime timeOf(const QString &t) { return t.isEmpty() ? QDateTime() : QDateTime::fromString(t, kForm); }

Status open(Database &db, const QString &port, const QString &number, const QDateTime &from)
{
    return db.exec(QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, '')")
                       .arg(table(), q(Port), q(Number), q(From), q(To)),
                   {port, number, NumberHistory::timeText(from)});
}

} // namespace

const QString NumberHistory::Name = QStringLiteral("NumberHistory");

QString NumberHistory::timeText(const QDateTime &t) { return t.isValid() ? t.toString(kForm) : QString(); }

bool NumberHistory::exists() const { return m_db.tableExists(Name); }

Status NumberHistory::ensure()
{
    const auto has = m_db.hasTable(Name);
    if (!has)
        return has.status();
    if (*has)
        return Status::ok();
    return InTransaction(m_db, [&]() -> Status {
        QStringList cols;
        for (int c = 0; c < ColumnCount; ++c)
            cols.append(q(c) + QStringLiteral(" TEXT DEFAULT ''"));
        if (Status s = m_db.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(table(), cols.join(u','))); !s)
            return s.context(QStringLiteral("号码变更记录表无法建立"));
        for (const auto &[name, col] : {std::pair{QStringLiteral("idx_NumberHistory_port"), int(Port)},
                                        std::pair{QStringLiteral("idx_NumberHistory_number"), int(Number)}})
            if (Status s = m_db.exec(
                    QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(Database::quoteId(name), table(), q(col)));
                !s)
                return s;
        // Today's numbers, held since the beginning.
        return reconcile(QDateTime());
    });
}

Status NumberHistory::reconcile(const QDateTime &at)
{
    const auto users = UserTable(m_db).all();
    if (!users)
        return users.status();
    const auto spans = all();
    if (!spans)
        return spans.status();
    QHash<QString, NumberSpan> openOf;
    QHash<QString, bool> known;
    for (const NumberSpan &s : *spans) {
        known.insert(s.port, true);
        if (s.isOpen())
            openOf.insert(s.port, s);
    }
    for (const UserRow &u : *users) {
        const QString port = u.port();
        if (port.isEmpty() || u.number().isEmpty())
            continue;
        const auto it = openOf.constFind(port);
        if (it != openOf.constEnd() && it->number == u.number())
            continue;
        if (it != openOf.constEnd() || known.contains(port)) {
            if (Status s = renumbered(port, u.number(), at); !s)
                return s;
        } else if (Status s = open(m_db, port, u.number(), QDateTime()); !s) {
            return s;
        }
        openOf.insert(port, NumberSpan{port, u.number(), at, QDateTime()});
    }
    return Status::ok();
}

Status NumberHistory::renumbered(const QString &port, const QString &number, const QDateTime &at)
{
    if (!exists())
        return Status::ok(); // begun at the next start, with the numbers of then
    return InTransaction(m_db, [&]() -> Status {
        if (Status s = m_db.exec(QStringLiteral("UPDATE %1 SET %2=? WHERE %3=? AND %2=''").arg(table(), q(To), q(Port)),
                                 {timeText(at), port.trimmed()});
            !s)
            return s;
        return open(m_db, port.trimmed(), number.trimmed(), at);
    });
}

Checked<QList<NumberSpan>> NumberHistory::select(const QString &where, const QVariantList &params) const
{
    if (!exists())
        return QList<NumberSpan>();
    const auto rows = m_db.select(QStringLiteral("SELECT %1, %2, %3, %4 FROM %5%6 ORDER BY rowid")
                                      .arg(q(Port), q(Number), q(From), q(To), table(), where),
                                  params);
    if (!rows)
        return Checked<QList<NumberSpan>>::refuse(rows.status().context(QStringLiteral("号码变更记录无法读取")));
    QList<NumberSpan> out;
    for (const QStringList &r : *rows)
        out.append(NumberSpan{r.value(Port), r.value(Number), timeOf(r.value(From)), timeOf(r.value(To))});
    return out;
}

Checked<QList<NumberSpan>> NumberHistory::all() const { return select(QString(), {}); }

Checked<QList<NumberSpan>> NumberHistory::ofPort(const QString &port) const
{
    return select(QStringLiteral(" WHERE %1=?").arg(q(Port)), {port.trimmed()});
}

Checked<QList<NumberSpan>> NumberHistory::ofNumber(const QString &number) const
{
    return select(QStringLiteral(" WHERE %1=?").arg(q(Number)), {number.trimmed()});
}

std::optional<QString> PortHolding(const QList<NumberSpan> &spans, const QString &number, const QDateTime &t)
{
    for (const NumberSpan &s : spans)
        if (s.number == number && s.contains(t))
            return s.port;
    return std::nullopt;
}

} // namespace corvane
