#include "DatabaseHealth.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DatabaseCopy.h"
#include "HomeKey.h"
#include "Restore.h"
#include "Schema.h"
#include <QFileInfo>
#include <sqlite3.h>

namespace corvane {

namespace {

bool isFileFault(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Column names of a table; empty when there is no such table or it cannot be read.
QStringList columnsOf(sqlite3 *db, const QString &table)
{
    QStringList names;
    const QByteArray sql = QStringLiteral("PRAGMA table_info(%1)").arg(Database::quoteId(table)).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &stmt, nullptr) == SQLITE_OK)
        while (sqlite3_step(stmt) == SQLITE_ROW)
            names.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1))));
    sqlite3_finalize(stmt);
    return names;
}

// Whether every row and column of the table can be read.
bool readsWhole(sqlite3 *db, const QString &table)
{
    const QByteArray sql = QStringLiteral("SELECT * FROM %1").arg(Database::quoteId(table)).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), sql.size(), &stmt, nullptr);
    if (rc == SQLITE_OK) {
        const int n = sqlite3_column_count(stmt);
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            for (int c = 0; c < n; ++c)
                sqlite3_column_text(stmt, c);
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

// A table of the switch's layout that reads whole.
bool keepable(sqlite3 *db, const QString &table)
{
    return columnsOf(db, table) == findTable(table)->columns && readsWhole(db, table);
}

} // namespace

Checked<DatabaseCondition> CheckDatabase(const HomePaths &home, CheckDepth depth)
{
    using State = DatabaseCondition::State;
    DatabaseCondition c;
    const QString path = home.switchDb();
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        c.state = State::Missing;
        c.summary = QStringLiteral("不存在");
        for (const char *log : {"-wal", "-journal"})
            c.leftovers = c.leftovers || QFileInfo::exists(path + QLatin1String(log));
        if (info.isSymLink() && !info.exists()) {
            c.problem =
                QStringLiteral("数据库文件 %1 是一个失效的链接，指向的 %2 不存在（它所在的磁盘是否没有挂载？）。")
                    .arg(path, info.symLinkTarget());
            c.summary = QStringLiteral("失效的链接");
            c.leftovers = true;
        } else if (info.isDir()) {
            c.problem = QStringLiteral("数据库文件 %1 的位置上是一个文件夹，不是数据库文件。").arg(path);
            c.summary = QStringLiteral("是文件夹");
            c.leftovers = true;
        } else {
            c.problem = QStringLiteral("数据库文件不存在：%1").arg(path);
        }
        return c;
    }
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key)
        return Checked<DatabaseCondition>::refuse(key.reason());
    ReadOnlyDatabase db;
    int rc = SQLITE_OK;
    // Read-write only so that the log files a look at a database in
    // write-ahead mode makes are removed again when it closes.
    if (Status opened = db.open(path, *key, &rc, ReadOnlyDatabase::Access::ReadWrite); !opened) {
        if (!isFileFault(rc))
            return Checked<DatabaseCondition>::refuse(opened.reason());
        c.state = State::Unreadable;
        c.problem = HasOwnKey(home)
                        ? QStringLiteral("数据库文件 %1 不能用本系统的数据库密钥（%2）打开：密钥不同或文件已损坏。")
                              .arg(path, DatabaseKeyFile(home))
                        : QStringLiteral("数据库文件 %1 不能用本系统的数据库密钥打开：密钥不同（密钥文件 %2 "
                                         "不见了？）或文件已损坏。")
                              .arg(path, DatabaseKeyFile(home));
        c.summary = QStringLiteral("无法打开");
        return c;
    }
    // The tables first: an empty or foreign file is no database of ours,
    // whatever its integrity.
    QStringList missing;
    for (const TableDef &def : switchTables()) {
        const QStringList columns = columnsOf(db.handle(), def.name);
        if (columns.isEmpty())
            missing.append(QStringLiteral("缺少表 %1").arg(def.name));
        else if (columns != def.columns)
            missing.append(QStringLiteral("表 %1 的列不对").arg(def.name));
    }
    if (missing.size() == switchTables().size()) {
        c.state = State::Unreadable;
        c.problem = QStringLiteral("数据库文件 %1 不是本系统的数据库（没有本系统的表）。").arg(path);
        c.summary = QStringLiteral("不是本系统的数据库");
        return c;
    }
    if (depth == CheckDepth::Quick && missing.isEmpty()) {
        c.callsReadable = c.usageReadable = true;
        return c;
    }
    const Checked<QStringList> problems =
        depth == CheckDepth::Full ? IntegrityProblems(db.handle()) : Checked<QStringList>(QStringList());
    if (!problems)
        return Checked<DatabaseCondition>::refuse(problems.reason());
    if (problems->isEmpty() && missing.isEmpty()) {
        c.callsReadable = c.usageReadable = true;
        return c;
    }
    // What of it a restore can still keep.
    c.callsReadable =
        keepable(db.handle(), QStringLiteral("PHNBill")) && keepable(db.handle(), QStringLiteral("Foregift"))
        && (columnsOf(db.handle(), CallIntakeSeenTable()).isEmpty() || readsWhole(db.handle(), CallIntakeSeenTable()));
    c.usageReadable = keepable(db.handle(), QStringLiteral("OPRec"));
    if (!problems->isEmpty()) {
        c.state = State::Damaged;
        c.problem = QStringLiteral("数据库文件 %1 已损坏：\n%2").arg(path, DescribeProblems(*problems));
        c.summary = QStringLiteral("已损坏");
        return c;
    }
    c.state = State::Damaged;
    c.problem = QStringLiteral("数据库文件 %1 不完整：\n%2").arg(path, DescribeProblems(missing));
    c.summary = QStringLiteral("不完整");
    return c;
}

QString HowToRestoreText(const HomePaths &home)
{
    return QStringLiteral("请用最近的备份文件恢复数据库：在备份程序“交换机系统--参数备份与恢复”的窗口中选择〖恢复〗，"
                          "或在终端中运行\n    tallowin --home %1 --restore 备份文件\n"
                          "原来的数据库文件会改名保留，不会被删除。")
        .arg(home.root());
}

} // namespace corvane
