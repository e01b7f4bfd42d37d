#include "RestoreNotice.h"
#include "Database.h"

namespace corvane::RestoreNotice {

const QString Table = QStringLiteral("RestoreNotice");

namespace {

Status ensure(Database &db)
{
    return db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"时间\" TEXT NOT NULL, \"文件\" TEXT NOT NULL)")
                       .arg(Database::quoteId(Table)));
}

} // namespace

Status record(Database &db, const QDateTime &at, const QString &file)
{
    if (Status s = ensure(db); !s)
        return s;
    if (Status s = db.exec(QStringLiteral("DELETE FROM %1").arg(Database::quoteId(Table))); !s)
        return s;
    return db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(Database::quoteId(Table)),
                   {at.toString(Qt::ISODate), file});
}

Checked<std::optional<Entry>> take(Database &db)
{
    using Result = Checked<std::optional<Entry>>;
    if (!db.tableExists(Table))
        return std::optional<Entry>();
    const auto rows = db.select(QStringLiteral("SELECT \"时间\", \"文件\" FROM %1").arg(Database::quoteId(Table)));
    if (!rows)
        return Result::refuse(rows.status());
    if (rows->isEmpty())
        return std::optional<Entry>();
    if (Status s = db.exec(QStringLiteral("DELETE FROM %1").arg(Database::quoteId(Table))); !s)
        return Result::refuse(s);
    const QStringList &r = rows->first();
    return std::optional<Entry>(Entry{QDateTime::fromString(r.value(0), Qt::ISODate), r.value(1)});
}

QString questionText(const Entry &e)
{
    return QStringLiteral("数据库已于%1用备份文件 %2 恢复。\n"
                          "恢复前等待发往交换机的命令已删除，交换机中可能保存着恢复后的数据库没有的参数。\n"
                          "是否现在打开“交换机信息比照”进行比照？")
        .arg(e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), e.file);
}

} // namespace corvane::RestoreNotice
