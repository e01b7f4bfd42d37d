#include "PendingCommands.h"

namespace corvane {

const QString PendingCommands::Table = QStringLiteral("CommandPending");

namespace {

QString kindText(PendingCommand::Kind k)
{
    switch (k) {
    case PendingCommand::Kind::Hex: return QStringLiteral("H");
    case PendingCommand::Kind::Clock: return QStringLiteral("C");
    case PendingCommand::Kind::Star: break;
    }
    return QStringLiteral("S");
}

PendingCommand::Kind kindOf(const QString &text)
{
    if (text == QLatin1String("H"))
        return PendingCommand::Kind::Hex;
    if (text == QLatin1String("C"))
        return PendingCommand::Kind::Clock;
    return PendingCommand::Kind::Star;
}

} // namespace

QString PendingCommand::settingKey(const QString &code)
{
    const int last = code.lastIndexOf(QLatin1Char('*'));
    return last < 0 ? code : code.left(last + 1);
}

Status PendingCommands::ensureTable()
{
    if (!m_db.isOpen())
        return Status::fail(QStringLiteral("数据库未打开"));
    // Seq never repeats: the link counts what it has loaded by it.
    if (Status s = m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"Seq\" INTEGER PRIMARY KEY "
                                            "AUTOINCREMENT, \"Kind\" TEXT NOT NULL, \"Command\" TEXT NOT NULL, "
                                            "\"GapMs\" INTEGER NOT NULL, \"Setting\" TEXT NOT NULL DEFAULT '', "
                                            "\"Expires\" TEXT NOT NULL DEFAULT '')")
                                 .arg(Database::quoteId(Table)));
        !s)
        return s.context(QStringLiteral("无法建立待发命令表"));
    // A table of an earlier version has no time limits yet.
    if (!m_db.select(QStringLiteral("SELECT \"Expires\" FROM %1 LIMIT 0").arg(Database::quoteId(Table))))
        return m_db
            .exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN \"Expires\" TEXT NOT NULL DEFAULT ''")
                      .arg(Database::quoteId(Table)))
            .context(QStringLiteral("无法建立待发命令表"));
    return Status::ok();
}

Status PendingCommands::keep(const QList<PendingCommand> &commands)
{
    if (commands.isEmpty())
        return Status::ok();
    if (Status s = ensureTable(); !s)
        return s;
    const QString sql =
        QStringLiteral(
            "INSERT INTO %1 (\"Kind\", \"Command\", \"GapMs\", \"Setting\", \"Expires\") VALUES (?, ?, ?, ?, ?)")
            .arg(Database::quoteId(Table));
    for (const PendingCommand &c : commands) {
        const QString key = c.kind == PendingCommand::Kind::Star ? PendingCommand::settingKey(c.text) : QString();
        const QString expires = c.expires.isValid() ? c.expires.toString(Qt::ISODate) : QString();
        if (Status s = m_db.exec(sql, {kindText(c.kind), c.text, qMax(0, c.gapMs), key, expires}); !s)
            return s.context(QStringLiteral("待发命令未能保存"));
    }
    return Status::ok();
}

Status PendingCommands::keepStar(const QStringList &codes, int gapMs)
{
    QList<PendingCommand> commands;
    for (const QString &code : codes)
        commands << PendingCommand::Star(code, gapMs);
    return keep(commands);
}

Checked<QList<PendingCommand>> PendingCommands::after(qint64 seq, int limit)
{
    if (Status s = ensureTable(); !s)
        return Checked<QList<PendingCommand>>::refuse(s);
    const auto rows = m_db.select(
        QStringLiteral(
            "SELECT Seq, \"Kind\", \"Command\", \"GapMs\", \"Expires\" FROM %1 WHERE Seq > ? ORDER BY Seq LIMIT ?")
            .arg(Database::quoteId(Table)),
        {seq, limit});
    if (!rows)
        return Checked<QList<PendingCommand>>::refuse(rows.status());
    QList<PendingCommand> out;
    for (const QStringList &row : *rows)
        out.append({kindOf(row.value(1)), row.value(2), row.value(3).toInt(), row.value(0).toLongLong(),
                    row.value(4).isEmpty() ? QDateTime() : QDateTime::fromString(row.value(4), Qt::ISODate)});
    return out;
}

Checked<QList<qint64>> PendingCommands::seqs()
{
    if (Status s = ensureTable(); !s)
        return Checked<QList<qint64>>::refuse(s);
    const auto rows = m_db.select(QStringLiteral("SELECT Seq FROM %1 ORDER BY Seq").arg(Database::quoteId(Table)));
    if (!rows)
        return Checked<QList<qint64>>::refuse(rows.status());
    QList<qint64> out;
    for (const QStringList &row : *rows)
        out << row.value(0).toLongLong();
    return out;
}

Status PendingCommands::remove(qint64 seq)
{
    if (Status s = ensureTable(); !s)
        return s;
    return m_db.exec(QStringLiteral("DELETE FROM %1 WHERE Seq = ?").arg(Database::quoteId(Table)), {seq});
}

Status PendingCommands::remove(const QList<qint64> &seqs)
{
    if (seqs.isEmpty())
        return Status::ok();
    return InTransaction(m_db, [&]() -> Status {
        for (qint64 seq : seqs) {
            if (Status s = remove(seq); !s)
                return s;
        }
        return Status::ok();
    });
}

Checked<int> PendingCommands::count()
{
    if (Status s = ensureTable(); !s)
        return Checked<int>::refuse(s);
    const auto n = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(Table)));
    if (!n)
        return Checked<int>::refuse(n.status());
    return n->toInt();
}

Checked<QStringList> PendingCommands::textsIn(const QString &schema)
{
    const auto exists = m_db.scalar(
        QStringLiteral("SELECT count(*) FROM %1.sqlite_master WHERE type='table' AND name=?").arg(schema), {Table});
    if (!exists)
        return Checked<QStringList>::refuse(exists.status());
    if (exists->toInt() == 0)
        return QStringList();
    const auto rows = m_db.select(
        QStringLiteral("SELECT \"Kind\", \"Command\" FROM %1.%2 ORDER BY Seq").arg(schema, Database::quoteId(Table)));
    if (!rows)
        return Checked<QStringList>::refuse(rows.status());
    QStringList out;
    for (const QStringList &r : *rows)
        out << (kindOf(r.value(0)) == PendingCommand::Kind::Clock ? QStringLiteral("系统时钟") : r.value(1));
    return out;
}

Status PendingCommands::clearIn(const QString &schema)
{
    const auto exists = m_db.scalar(
        QStringLiteral("SELECT count(*) FROM %1.sqlite_master WHERE type='table' AND name=?").arg(schema), {Table});
    if (!exists)
        return exists.status();
    if (exists->toInt() == 0)
        return Status::ok();
    return m_db.exec(QStringLiteral("DELETE FROM %1.%2").arg(schema, Database::quoteId(Table)));
}

StoreResult StoreKept(Database &db, const std::function<StoreResult()> &store,
                      const std::function<int(const QString &)> &gapFor)
{
    StoreResult result;
    const Status s = InTransaction(db, [&]() -> Status {
        result = store();
        if (!result)
            return result.status;
        QList<PendingCommand> commands;
        for (const QString &code : result.commands)
            commands << PendingCommand::Star(code, gapFor ? gapFor(code) : PendingCommand::DefaultGapMs);
        return PendingCommands(db).keep(commands);
    });
    if (!s) {
        // The store's own refusal is reported as it came; a failure to keep
        // the commands (or to commit) undoes the change as well.
        if (result)
            result.status = s;
        result.commands.clear();
    }
    return result;
}

StoreResult StoreKept(Database &db, const std::function<StoreResult()> &store, int gapMs)
{
    return StoreKept(db, store, [gapMs](const QString &) { return gapMs; });
}

} // namespace corvane
