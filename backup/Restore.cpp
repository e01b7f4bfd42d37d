#include "Restore.h"
#include "BillTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "HomeLock.h"
#include "LedgerTable.h"
#include "Schema.h"
#include <QFile>
#include <QFileInfo>

namespace corvane {

namespace {

const QString kCur = QStringLiteral("cur");

QString q(const QString &name) { return Database::quoteId(name); }

// The scratch file a restore prepares the new content in, beside the database.
QString stagingPath(const HomePaths &home) { return home.switchDb() + QStringLiteral(".restoring"); }

QString unchanged() { return QStringLiteral("\n数据库没有改动。"); }

// Columns of a table of the attached copy of the current database; empty when
// it has no such table.
QStringList currentColumns(Database &db, const QString &table)
{
    QStringList names;
    auto rows = db.select(QStringLiteral("PRAGMA %1.table_info(%2)").arg(kCur, q(table)));
    if (rows)
        for (const QStringList &r : *rows)
            names.append(r.value(1));
    return names;
}

QString columnList(const QStringList &columns)
{
    QStringList quoted;
    for (const QString &c : columns)
        quoted.append(q(c));
    return quoted.join(QStringLiteral(", "));
}

// Whether the table's rowid is one of its columns (INTEGER PRIMARY KEY).
bool rowidIsColumn(Database &db, const QString &schema, const QString &table)
{
    auto rows = db.select(QStringLiteral("PRAGMA %1.table_info(%2)").arg(schema, q(table)));
    if (!rows)
        return false;
    int keys = 0;
    bool integerKey = false;
    for (const QStringList &r : *rows) {
        if (r.value(5).toInt() > 0) {
            ++keys;
            integerKey = r.value(2).compare(QStringLiteral("INTEGER"), Qt::CaseInsensitive) == 0;
        }
    }
    return keys == 1 && integerKey;
}

// Replaces the rows of main.table by those of cur.table, rowids included (the
// console's windows and the intake rely on table order).
Status copyRows(Database &db, const QString &table, const QStringList &columns, qint64 *count = nullptr)
{
    if (Status s = db.exec(QStringLiteral("DELETE FROM main.%1").arg(q(table))); !s)
        return s;
    const bool withRowid = !rowidIsColumn(db, kCur, table);
    const QString cols = (withRowid ? QStringLiteral("rowid, ") : QString()) + columnList(columns);
    if (Status s = db.exec(
            QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%1 ORDER BY rowid").arg(q(table), cols, kCur));
        !s)
        return s;
    if (count)
        *count = db.changes();
    return Status::ok();
}

// A table of the console's own (not a switch table) made exactly as in the
// current database: its layout and indexes, and its rows when `withRows`.
Status takeOwnTable(Database &db, const QString &table, bool withRows)
{
    auto parts = db.select(QStringLiteral("SELECT sql FROM %1.sqlite_master WHERE tbl_name=? AND sql IS NOT NULL "
                                          "ORDER BY type<>'table'")
                               .arg(kCur),
                           {table});
    if (!parts)
        return parts.status();
    if (parts->isEmpty()) {
        // The current database has none: nothing seen is carried over.
        if (db.tableExists(table))
            return db.exec(QStringLiteral("DELETE FROM main.%1").arg(q(table)));
        return Status::ok();
    }
    if (Status s = db.exec(QStringLiteral("DROP TABLE IF EXISTS main.%1").arg(q(table))); !s)
        return s;
    for (const QStringList &p : *parts)
        if (Status s = db.exec(p.value(0)); !s)
            return s;
    if (withRows)
        return copyRows(db, table, currentColumns(db, table));
    return Status::ok();
}

// The file's own table stays when it has the current layout; otherwise it is
// made anew, empty, in the current layout.
Status bringOwnTableUpToDate(Database &db, const QString &table)
{
    const QStringList current = currentColumns(db, table);
    if (current.isEmpty())
        return Status::ok();
    if (db.tableExists(table) && db.columnNames(table) == current)
        return Status::ok();
    return takeOwnTable(db, table, false);
}

struct Kept {
    qint64 calls = -1;     // current call records kept (-1: the file's were taken)
    qint64 fileCalls = 0;  // call records the file brought
    qint64 usageRows = -1; // usage rows kept (-1: the current table did not fit)
    qint64 deposits = 0;
    qint64 depositsAdded = 0;
};

// Puts what a restore keeps from the current database (attached from its copy
// Quessel.mdb) into the prepared file, and brings the file up to date: the
// console's own tables and the indexes of the switch tables. One transaction.
Status keepCurrent(Database &db, const QString &quessel, bool withCalls, Kept &kept)
{
    if (Status s = db.exec(QStringLiteral("ATTACH DATABASE ? AS %1 KEY ?").arg(kCur),
                           {quessel, QString::fromLatin1(ConsoleContext::databaseKey())});
        !s)
        return Status::fail(QStringLiteral("无法打开 %1：%2").arg(quessel, s.reason()));
    auto fits = [&](const QString &table) { return currentColumns(db, table) == findTable(table)->columns; };

    Status s = InTransaction(db, [&]() -> Status {
        if (!withCalls) {
            if (!fits(BillTable::Name))
                return Status::fail(QStringLiteral(
                    "当前数据库的话单表不完整，无法保留当前话单（可勾选“话单信息”，使用备份文件中的话单）"));
            if (!fits(DepositTable::Name))
                return Status::fail(QStringLiteral(
                    "当前数据库的押金表不完整，无法保留当前押金余额（可勾选“话单信息”，使用备份文件中的话单和押金）"));
            qint64 calls = 0;
            if (Status c = copyRows(db, BillTable::Name, BillTable::columnNames(), &calls); !c)
                return c;
            kept.calls = calls;
            // The settlement ledger and the classes kept from demotions go
            // with the call records and deposits they describe.
            for (const QString &own : {CallIntakeSeenTable(), LedgerTable::Name, DepositTable::DemotionTable})
                if (Status c = takeOwnTable(db, own, true); !c)
                    return c;
            // Deposits: balance and deposit paid are money the kept call
            // records and settlements have moved.
            const auto deposits = DepositTable(db).keepBalancesFrom(kCur);
            if (!deposits)
                return deposits.status();
            kept.deposits = deposits->kept;
            kept.depositsAdded = deposits->added;
        } else {
            for (const QString &own : {CallIntakeSeenTable(), LedgerTable::Name, DepositTable::DemotionTable})
                if (Status c = bringOwnTableUpToDate(db, own); !c)
                    return c;
            kept.fileCalls = db.scalar(QStringLiteral("SELECT count(*) FROM main.%1").arg(q(BillTable::Name)))
                                 .value_or(QString())
                                 .toLongLong();
        }
        // The usage record is never cut back, whatever else comes from the file.
        if (fits(QStringLiteral("OPRec"))) {
            qint64 rows = 0;
            if (Status c = copyRows(db, QStringLiteral("OPRec"), findTable(QStringLiteral("OPRec"))->columns, &rows);
                !c)
                return c;
            kept.usageRows = rows;
        }
        return createSchema(db, switchTables());
    });
    if (Status detached = db.exec(QStringLiteral("DETACH DATABASE %1").arg(kCur)); !detached && s)
        s = detached;
    return s;
}

// The database connection for the restore: exclusive, so that no other
// program can read or write while the content changes, and a restore never
// starts while one has the database open.
Status takeExclusive(Database &live)
{
    if (Status s = live.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")); !s)
        return s;
    if (!InTransaction(live, [] { return Status::ok(); }))
        return Status::fail(QStringLiteral("数据库 %1 正被其他程序使用，请先关闭使用它的程序（监控软件、备份程序）。")
                                .arg(live.path()));
    return Status::ok();
}

QString keptText(const Kept &k, bool withCalls)
{
    QStringList parts;
    if (withCalls) {
        parts.append(QStringLiteral("话单取自备份文件（%1 条）").arg(k.fileCalls));
    } else {
        parts.append(QStringLiteral("保留当前话单 %1 条").arg(k.calls));
        parts.append(QStringLiteral("保留当前押金余额 %1 户").arg(k.deposits + k.depositsAdded));
    }
    if (k.usageRows >= 0)
        parts.append(QStringLiteral("保留操作员使用记录 %1 条").arg(k.usageRows));
    return parts.join(QStringLiteral("，"));
}

// After a failure inside the write: the database is made the copy taken
// before, and compared with it row for row.
ToolResult putBack(Database &live, const HomePaths &home, const QString &why, const Progress &progress)
{
    Database copy;
    const QString head = why + QLatin1Char('\n');
    if (Status opened = copy.open(home.quessel(), ConsoleContext::databaseKey()); !opened)
        return {ToolOutcome::NotPutBack, head
                                             + QStringLiteral("无法打开 %1：%2\n请不要删除该文件，并与我们联系！")
                                                   .arg(home.quessel(), opened.reason())};
    const Status written =
        CopyPages(copy.handle(), live.handle(), QStringLiteral("从 Quessel.mdb 复原数据库"), progress);
    const auto before = ContentDigest(copy.handle());
    const auto now = ContentDigest(live.handle());
    if (before && now && *before == *now && IntegrityProblem(live).isEmpty()) {
        (void)live.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        return {ToolOutcome::PutBack,
                head + QStringLiteral("数据库已从 %1 复原为恢复前的内容（已逐行核对）。").arg(home.quessel())};
    }
    return {ToolOutcome::NotPutBack,
            head
                + QStringLiteral("数据库未能从 %1 复原%2。\n恢复前的数据库保存在该文件中，请不要删除它，并与我们联系！")
                      .arg(home.quessel(), written ? QString() : QStringLiteral("：") + written.reason())};
}

} // namespace

QString CallIntakeSeenTable() { return QStringLiteral("CallIntakeSeen"); }

QString RestoreKeepsText(bool withCalls)
{
    if (withCalls)
        return QStringLiteral("恢复时参数、话单和押金余额都取自备份文件；当前的操作员使用记录保留。"
                              "恢复前的数据库留在 Quessel.mdb 中。");
    return QStringLiteral("恢复时参数取自备份文件；当前的话单、押金余额和操作员使用记录保留不变。");
}

Status CheckRestoreFile(Database &db)
{
    if (const QString bad = IntegrityProblem(db); !bad.isEmpty())
        return Status::fail(QStringLiteral("文件已损坏：%1").arg(bad));
    const QStringList problems = schemaProblems(db, switchTables());
    if (!problems.isEmpty())
        return Status::fail(QStringLiteral("不是本系统的数据库：%1").arg(problems.mid(0, 5).join(QLatin1Char('\n'))));
    return Status::ok();
}

ToolResult RestoreDatabase(const HomePaths &home, const RestoreRequest &request, const Progress &progress)
{
    const QString file = request.file.trimmed();
    const QFileInfo chosen(file);
    const QFileInfo dbInfo(home.switchDb());
    if (file.isEmpty())
        return {ToolOutcome::Refused, QStringLiteral("没有选择要恢复的文件。")};
    if (!chosen.exists())
        return {ToolOutcome::Refused, QStringLiteral("文件不存在：%1").arg(file) + unchanged()};
    if (!chosen.isFile())
        return {ToolOutcome::Refused, QStringLiteral("%1 不是文件").arg(file) + unchanged()};
    if (dbInfo.exists() && chosen.canonicalFilePath() == dbInfo.canonicalFilePath())
        return {ToolOutcome::Refused, QStringLiteral("所选文件 %1 就是当前数据库本身。").arg(file) + unchanged()};
    if (chosen.size() == 0)
        return {ToolOutcome::Refused, QStringLiteral("文件 %1 是空的，不是数据库备份。").arg(file) + unchanged()};

    if (!dbInfo.exists())
        return {ToolOutcome::OpenError, QStringLiteral("数据库文件不存在：%1").arg(home.switchDb())};
    HomeLock lock;
    if (Status s = lock.acquire(home); !s)
        return {ToolOutcome::Refused, s.reason() + unchanged()};

    // The chosen file is read once, into a scratch file: it is checked and
    // prepared there and never written itself. A scratch file (and its log)
    // left by an interrupted restore goes first, so none of it is replayed.
    const QString staging = stagingPath(home);
    RemoveDatabaseFiles(staging);
    struct Scratch {
        QString path;
        ~Scratch() { RemoveDatabaseFiles(path); }
    } scratch{staging};
    Database stage; // closed before the scratch file goes

    if (Status s = CopyFileBytes(file, staging, QStringLiteral("读取所选文件"), progress); !s)
        return {ToolOutcome::Failed, s.reason() + unchanged()};
    // A copy of a database taken while its write-ahead log held changes.
    if (QFileInfo::exists(file + QStringLiteral("-wal")))
        if (Status s = CopyFileBytes(file + QStringLiteral("-wal"), staging + QStringLiteral("-wal"),
                                     QStringLiteral("读取所选文件"), progress);
            !s)
            return {ToolOutcome::Failed, s.reason() + unchanged()};
    if (!stage.open(staging, ConsoleContext::databaseKey()))
        return {ToolOutcome::Refused,
                QStringLiteral("文件 %1 不能用本系统的数据库密码打开（不是数据库、密码不同或文件已损坏）。").arg(file)
                    + unchanged()};
    if (Status s = CheckRestoreFile(stage); !s)
        return {ToolOutcome::Refused, QStringLiteral("文件 %1 不能用于恢复：%2").arg(file, s.reason()) + unchanged()};

    Database live;
    if (Status opened = live.open(home.switchDb(), ConsoleContext::databaseKey()); !opened)
        return {ToolOutcome::OpenError, opened.reason()};
    if (Status s = takeExclusive(live); !s)
        return {ToolOutcome::Refused, s.reason() + unchanged()};

    if (Status s = CopyToFile(live.handle(), home.quessel(), ConsoleContext::databaseKey(),
                              QStringLiteral("保存当前数据库到 Quessel.mdb"), progress);
        !s)
        return {ToolOutcome::Failed, s.reason() + unchanged()};

    Kept kept;
    if (Status s = keepCurrent(stage, home.quessel(), request.withCalls, kept); !s)
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(s.reason()) + unchanged()};
    if (Status s = CheckRestoreFile(stage); !s)
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(s.reason()) + unchanged()};

    // The one write into the database: all pages in one transaction, in the
    // database's own write-ahead log, so the old content (whatever its log
    // held) and the new one never mix.
    Status written = CopyPages(stage.handle(), live.handle(), QStringLiteral("写入数据库"), progress);
    if (written)
        if (Status s = CheckRestoreFile(live); !s)
            written = Status::fail(QStringLiteral("恢复后的数据库不完整：%1").arg(s.reason()));
    if (!written)
        return putBack(live, home, written.reason(), progress);
    // Into the main file now; when this fails the log still holds it all.
    (void)live.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    live.close();
    stage.close();

    QString text = QStringLiteral("已用 %1 恢复数据库 %2；%3。")
                       .arg(chosen.absoluteFilePath(), home.switchDb(), keptText(kept, request.withCalls));
    if (request.withCalls)
        text += QStringLiteral("\n恢复前的数据库（含当时的话单）保存在 %1。").arg(home.quessel());
    else
        QFile::remove(home.quessel());
    return {ToolOutcome::Done, text};
}

} // namespace corvane
