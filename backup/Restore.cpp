#include "Restore.h"
#include "BillTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DatabaseHealth.h"
#include "DepositTable.h"
#include "FileAccess.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "HomePrivacy.h"
#include "LedgerTable.h"
#include "MoneyJournal.h"
#include "NumberHistory.h"
#include "Operators.h"
#include "PendingCommands.h"
#include "RestoreNotice.h"
#include "Schema.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace corvane {

namespace {

const QString kCur = QStringLiteral("cur");

QString q(const QString &name) { return Database::quoteId(name); }

QString unchanged() { return QStringLiteral("\n数据库没有改动。"); }

} // namespace

QString NoDatabaseText(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = f.read(1024);
    const QString no = QStringLiteral("文件 %1 不是本系统的数据库备份").arg(file);
    if (head.startsWith(QByteArrayLiteral("SQLite format 3")))
        return no + QStringLiteral("（是一个未加密的数据库）。");
    if (f.size() % 512 != 0 || head.size() < 512 || head.count('\0') == head.size())
        return no + QStringLiteral("。");
    return QString();
}

namespace {

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
    qint64 calls = -1;      // current call records kept (-1: the file's were taken)
    qint64 fileCalls = 0;   // call records the file brought
    qint64 usageRows = -1;  // usage rows kept (-1: the current table did not fit)
    qint64 deposits = 0;    // deposits the journal moved since the file was made
    qint64 journalRows = 0; // journal rows replayed
    qint64 givenBack = 0;   // charges given back for calls the file does not hold
    qint64 undone = 0;      // settlements the file's records undo
    bool journal = false;   // the money came by the journal (else kept deposit by deposit)
    // Commands that waited for the switch, in the current database and in
    // the file: they carry values of a database that is no more.
    QStringList droppedCommands;
};

// Rows of the current ledger (attached) that the file's ledger does not hold:
// the settlements made since the file was made.
Checked<QList<LedgerRow>> ledgerRowsSince(Database &db)
{
    if (currentColumns(db, LedgerTable::Name).isEmpty())
        return QList<LedgerRow>();
    qint64 last = 0;
    if (db.tableExists(LedgerTable::Name)) {
        const auto v =
            db.scalar(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM main.%1").arg(q(LedgerTable::Name)));
        if (!v)
            return v.refusedAs<QList<LedgerRow>>();
        last = v->toLongLong();
    }
    return LedgerTable(db).rowsAfter(last, kCur);
}

// Puts what a restore keeps from the current database (attached from
// `current`, a copy of it; none when empty) into the prepared file, and brings
// the file up to date: the console's own tables and the indexes of the switch
// tables. One transaction.
Status keepCurrent(Database &db, const QString &current, const QByteArray &key, bool withCalls, bool keepUsage,
                   const QDateTime &at, const QString &file, const QString &recordedAs, Kept &kept)
{
    // The journal rows the restore writes carry its time.
    db.setStampSource([at] { return Database::Stamp{at, QString()}; });
    const bool attached = !current.isEmpty();
    if (attached) {
        if (Status s =
                db.exec(QStringLiteral("ATTACH DATABASE ? AS %1 KEY ?").arg(kCur), {current, QString::fromLatin1(key)});
            !s)
            return Status::fail(QStringLiteral("无法打开 %1：%2").arg(current, s.reason()));
    }
    auto fits = [&](const QString &table) { return currentColumns(db, table) == findTable(table)->columns; };

    Status s = InTransaction(db, [&]() -> Status {
        // Commands still waiting for the switch set values of the database
        // being replaced (the current one's) or of the file's own day: none
        // of them may go to the switch after the restore. They are named; the
        // console offers a comparison at its next start instead.
        PendingCommands waitingTable(db);
        if (attached) {
            const auto waiting = waitingTable.textsIn(kCur);
            if (!waiting)
                return waiting.status();
            kept.droppedCommands += *waiting;
        }
        const auto fileWaiting = waitingTable.textsIn(QStringLiteral("main"));
        if (!fileWaiting)
            return fileWaiting.status();
        kept.droppedCommands += *fileWaiting;
        if (Status c = waitingTable.clearIn(QStringLiteral("main")); !c)
            return c;
        if (Status n = RestoreNotice::record(db, at, QFileInfo(file).absoluteFilePath()); !n)
            return n;
        // The file's ledger in the layout of today, so that none of its rows is lost.
        if (db.tableExists(LedgerTable::Name))
            if (Status l = LedgerTable(db).ensure(); !l)
                return l;
        // The file's money journal ends here; what the current one holds
        // beyond it is replayed onto the file's deposits.
        std::optional<qint64> fileLastSeq;
        if (db.tableExists(MoneyJournal::Name)) {
            const auto last = MoneyJournal(db).lastSeq();
            if (!last)
                return last.status();
            fileLastSeq = *last;
        }
        const bool currentJournal = attached && !currentColumns(db, MoneyJournal::Name).isEmpty();
        QList<QPair<qint64, QString>> undone;
        if (!withCalls) {
            if (!fits(BillTable::Name))
                return Status::fail(QStringLiteral(
                    "当前数据库的话单表不完整，无法保留当前话单（可勾选“话单信息”，使用备份文件中的话单）"));
            qint64 calls = 0;
            if (Status c = copyRows(db, BillTable::Name, BillTable::columnNames(), &calls); !c)
                return c;
            kept.calls = calls;
            // The settlement ledger goes with the call records it describes.
            for (const QString &own : {CallIntakeSeenTable(), LedgerTable::Name, BillTable::PortTable})
                if (Status c = takeOwnTable(db, own, true); !c)
                    return c;
        } else {
            if (attached) {
                const auto since = ledgerRowsSince(db);
                if (!since)
                    return since.status();
                for (const LedgerRow &r : *since)
                    undone.append({r.rowId, UndoneText(r)});
            }
            for (const QString &own : {CallIntakeSeenTable(), LedgerTable::Name, BillTable::PortTable})
                if (Status c = bringOwnTableUpToDate(db, own); !c)
                    return c;
            kept.fileCalls = db.scalar(QStringLiteral("SELECT count(*) FROM main.%1").arg(q(BillTable::Name)))
                                 .value_or(QString())
                                 .toLongLong();
        }
        for (const QString &own : CopiesOnTheirWayTables()) {
            if (attached) {
                if (Status c = takeOwnTable(db, own, true); !c)
                    return c;
            } else if (db.tableExists(own)) {
                if (Status c = db.exec(QStringLiteral("DELETE FROM main.%1").arg(q(own))); !c)
                    return c;
            }
        }
        // Money moved since the file was made stays moved: the current
        // journal, the classes it demoted and the numbers the rooms had come
        // along, and the journal is replayed onto the file's deposits.
        if (attached)
            for (const QString &own : {DepositTable::DemotionTable, MoneyJournal::Name, NumberHistory::Name})
                if (Status c = takeOwnTable(db, own, true); !c)
                    return c;
        if (currentJournal) {
            const auto replayed = DepositTable(db).replayJournal(fileLastSeq, withCalls, undone, kCur);
            if (!replayed)
                return replayed.status();
            kept.journalRows = replayed->rows;
            kept.deposits = replayed->deposits;
            kept.givenBack = replayed->givenBack;
            kept.undone = qint64(undone.size());
            kept.journal = true;
            // Classes the replay changed anew (a deposit out of debt once the
            // charges of calls the file does not hold went back) go to the
            // switch at the console's next start.
            if (!replayed->commands.isEmpty()) {
                PendingCommands pending(db);
                if (Status p = pending.ensureTable(); !p)
                    return p;
                if (Status p = pending.keepStar(replayed->commands); !p)
                    return p;
            }
        } else {
            // A database from before the journal: its money is kept as it
            // stands, deposit by deposit, and the next start begins a journal
            // from the deposits as restored.
            if (attached) {
                if (!fits(DepositTable::Name))
                    return Status::fail(QStringLiteral("当前数据库的押金表不完整，无法保留当前押金余额"));
                const auto money = DepositTable(db).keepMoneyFrom(kCur);
                if (!money)
                    return money.status();
                kept.deposits = money->kept + money->added;
            }
            if (db.tableExists(MoneyJournal::Name))
                if (Status d = db.exec(QStringLiteral("DROP TABLE main.%1").arg(q(MoneyJournal::Name))); !d)
                    return d;
        }
        // The numbers the restored users have are theirs from now on (the
        // console's start begins a history the home lacks).
        if (db.tableExists(NumberHistory::Name))
            if (Status h = NumberHistory(db).reconcile(at); !h)
                return h;
        // The usage record is never cut back, whatever else comes from the file.
        if (keepUsage && fits(QStringLiteral("OPRec"))) {
            qint64 rows = 0;
            if (Status c = copyRows(db, QStringLiteral("OPRec"), findTable(QStringLiteral("OPRec"))->columns, &rows);
                !c)
                return c;
            kept.usageRows = rows;
        }
        // Who restored, in the record that outlives the restore.
        if (!recordedAs.isEmpty()) {
            const QString stamp = at.toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss"));
            if (Status r = AppendOperatorRecord(db, recordedAs, stamp, stamp); !r)
                return r;
        }
        return createSchema(db, switchTables());
    });
    if (attached)
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
        if (k.givenBack > 0)
            parts.append(QStringLiteral("备份后的 %1 条话单随恢复撤销，其话费退回押金").arg(k.givenBack));
        if (k.undone > 0)
            parts.append(QStringLiteral("撤销备份后的结算 %1 笔（押金流水保留，不会重复退款）").arg(k.undone));
    } else {
        parts.append(QStringLiteral("保留当前话单 %1 条").arg(k.calls));
    }
    if (k.journal)
        parts.append(QStringLiteral("押金按流水重放 %1 笔（%2 户）").arg(k.journalRows).arg(k.deposits));
    else
        parts.append(QStringLiteral("保留当前押金余额 %1 户").arg(k.deposits));
    if (k.usageRows >= 0)
        parts.append(QStringLiteral("保留操作员使用记录 %1 条").arg(k.usageRows));
    QString text = parts.join(QStringLiteral("，"));
    if (!k.droppedCommands.isEmpty()) {
        constexpr int Named = 10;
        QString named = k.droppedCommands.mid(0, Named).join(QStringLiteral("、"));
        if (k.droppedCommands.size() > Named)
            named += QStringLiteral("等");
        text += QStringLiteral("；删除了 %1 条等待发往交换机的命令（它们的参数属于被替换的数据库）：%2")
                    .arg(k.droppedCommands.size())
                    .arg(named);
    }
    text +=
        QStringLiteral("。\n交换机中可能保存着恢复后的数据库没有的参数，监控软件下次启动时将提示进行交换机信息比照");
    return text;
}

// After a failure inside the write. The database is compared with the copy
// taken before (opened only to read, so the copy stays as it is): when the
// write never reached it, that is said and nothing is written; otherwise it
// is made the copy again and compared row for row.
ToolResult putBack(Database &live, const QString &copyPath, const QByteArray &key, const QString &why,
                   const Progress &progress)
{
    const QString head = why + QLatin1Char('\n');
    ReadOnlyDatabase copy;
    if (Status opened = copy.open(copyPath, key); !opened)
        return {
            ToolOutcome::NotPutBack,
            head + QStringLiteral("无法打开 %1：%2\n请不要删除该文件，并与我们联系！").arg(copyPath, opened.reason())};
    const auto before = ContentDigest(copy.handle());
    auto sameAsBefore = [&] {
        const auto now = ContentDigest(live.handle());
        const auto problems = IntegrityProblems(live);
        return before && now && *before == *now && problems && problems->isEmpty();
    };
    if (sameAsBefore())
        return {ToolOutcome::Failed, head + QStringLiteral("数据库没有改动。")};
    const Status written = CopyPages(copy.handle(), live.handle(), QStringLiteral("复原数据库"), progress);
    if (sameAsBefore()) {
        (void)live.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        return {ToolOutcome::PutBack,
                head + QStringLiteral("数据库已从 %1 复原为恢复前的内容（已逐行核对）。").arg(copyPath)};
    }
    return {ToolOutcome::NotPutBack,
            head
                + QStringLiteral("数据库未能从 %1 复原%2。\n恢复前的数据库保存在该文件中，请不要删除它，并与我们联系！")
                      .arg(copyPath, written ? QString() : QStringLiteral("：") + written.reason())};
}

// Free bytes on the file system of `folder` for this user; nullopt when unknown.
std::optional<qint64> freeBytes(const QString &folder, dev_t *device)
{
    struct statvfs fs {};
    struct stat st {};
    const QByteArray native = QFile::encodeName(folder);
    if (::statvfs(native.constData(), &fs) != 0 || ::stat(native.constData(), &st) != 0)
        return std::nullopt;
    *device = st.st_dev;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

qint64 fileSize(const QString &path)
{
    qint64 size = 0;
    for (const char *suffix : {"", "-wal"})
        size += QFileInfo(path + QLatin1String(suffix)).size();
    return size;
}

// Refuses, with the figures, a restore the disk has no room for (see
// RestoreSpaceNeeded).
std::optional<ToolResult> checkSpace(const HomePaths &home, const QString &file, bool rescue, bool readsCurrent)
{
    const RestoreSpace need = RestoreSpaceNeeded(fileSize(file), fileSize(home.switchDb()), rescue, readsCurrent);
    dev_t dataDevice = 0;
    dev_t rootDevice = 0;
    const auto dataFree = freeBytes(home.dataDir(), &dataDevice);
    const auto rootFree = freeBytes(home.root(), &rootDevice);
    if (!dataFree || !rootFree)
        return std::nullopt; // nothing known: the copies themselves report a full disk
    auto refuse = [&](qint64 needed, qint64 available, const QString &folder) {
        return ToolResult{ToolOutcome::Refused,
                          QStringLiteral("磁盘空间不足：恢复需要约 %1 可用空间，文件夹 %2 所在的磁盘只有 %3。")
                                  .arg(SizeNeededText(needed), folder, SizeAvailableText(available))
                              + unchanged()};
    };
    if (dataDevice == rootDevice) {
        if (need.dataFolder + need.homeFolder > *dataFree)
            return refuse(need.dataFolder + need.homeFolder, *dataFree, home.dataDir());
        return std::nullopt;
    }
    if (need.dataFolder > *dataFree)
        return refuse(need.dataFolder, *dataFree, home.dataDir());
    if (need.homeFolder > *rootFree)
        return refuse(need.homeFolder, *rootFree, home.root());
    return std::nullopt;
}

// The chosen file, read into the staging file, is checked. Nothing when it
// can serve; otherwise the refusal, or the failure when the check itself
// could not run.
std::optional<ToolResult> checkChosen(Database &stage, const QString &file)
{
    const Checked<QString> problem = RestoreFileProblem(stage);
    if (!problem)
        return ToolResult{ToolOutcome::Failed,
                          QStringLiteral("无法检查文件 %1：%2").arg(file, problem.reason()) + unchanged()};
    if (!problem->isEmpty())
        return ToolResult{ToolOutcome::Refused,
                          QStringLiteral("文件 %1 不能用于恢复：%2").arg(file, *problem) + unchanged()};
    return std::nullopt;
}

// Moves a damaged or unreadable database aside (with its logs), under a
// dated name readable by its owner only, or whatever stands in its place (a
// dead link, a folder) or beside it (the log of a killed console, which
// would otherwise be played into the restored file). Returns the new name of
// what was moved (the main name even when only a log was there); empty when
// nothing was there.
Checked<QString> moveAside(const HomePaths &home, const QDateTime &when)
{
    const QString aside = NewDatedFile(home.dataDir(), DamagedPrefix(), when);
    const QString db = home.switchDb();
    // The shared-memory index is rebuilt from the log, and an empty log holds nothing.
    QFile::remove(db + QStringLiteral("-shm"));
    if (QFileInfo(db + QStringLiteral("-wal")).size() == 0)
        QFile::remove(db + QStringLiteral("-wal"));
    bool moved = false;
    for (const char *suffix : {"", "-wal", "-journal"}) {
        const QString from = db + QLatin1String(suffix);
        const QFileInfo info(from);
        if (!info.exists() && !info.isSymLink())
            continue;
        const QString to = aside + QLatin1String(suffix);
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            return Checked<QString>::refuse(
                QStringLiteral("无法把 %1 改名为 %2：%3").arg(from, to, QString::fromLocal8Bit(std::strerror(errno))));
        moved = true;
        if (info.isSymLink())
            continue; // a link has no mode of its own
        (void)(info.isDir() ? MakeFolderPrivate(to) : MakeFilePrivate(to));
    }
    return moved ? aside : QString();
}

// The restore onto a database that is missing, cannot be opened or is
// damaged: the prepared file takes its place, the old file is kept aside.
ToolResult rescue(const HomePaths &home, const RestoreRequest &request, const DatabaseCondition &condition,
                  Database &stage, const QByteArray &key, const QDateTime &when, const Progress &progress)
{
    const bool keepCalls = !request.withCalls && condition.callsReadable;
    const bool keepUsage = condition.usageReadable;
    // The damaged file is read through a copy, so that it stays byte for
    // byte as it was.
    const QString reading = RescueReadingFile(home);
    struct Scratch {
        QString path;
        ~Scratch() { RemoveDatabaseFiles(path); }
    } scratch{reading};
    QString current;
    if (keepCalls || keepUsage) {
        RemoveDatabaseFiles(reading);
        Status s = CopyFileBytes(home.switchDb(), reading, QStringLiteral("读取当前数据库"), progress);
        if (s && QFileInfo::exists(home.switchDb() + QStringLiteral("-wal")))
            s = CopyFileBytes(home.switchDb() + QStringLiteral("-wal"), reading + QStringLiteral("-wal"),
                              QStringLiteral("读取当前数据库"), progress);
        if (!s)
            return {ToolOutcome::Failed, s.reason() + unchanged()};
        current = reading;
    }
    Kept kept;
    if (Status s =
            keepCurrent(stage, current, key, !keepCalls, keepUsage, when, request.file, request.recordedAs, kept);
        !s)
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(s.reason()) + unchanged()};
    if (auto refused = checkChosen(stage, request.file))
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(refused->text)};
    // Merged into the staging file: it is the new database as it stands.
    const QString staging = stage.path();
    stage.close();
    if (progress && !progress(QStringLiteral("写入数据库"), 0, 1))
        return {ToolOutcome::Failed, QStringLiteral("写入数据库：已中止") + unchanged()};

    const Checked<QString> moved = moveAside(home, when);
    if (!moved)
        return {ToolOutcome::Failed, moved.reason() + unchanged()};
    const QString aside = *moved;
    if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(home.switchDb()).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QString text = QStringLiteral("无法写入数据库 %1：%2").arg(home.switchDb(), why);
        if (!aside.isEmpty())
            text += QStringLiteral("\n原来的数据库文件在 %1。").arg(aside);
        return {ToolOutcome::Failed, text};
    }
    (void)MakeFilePrivate(home.switchDb());
    if (progress)
        progress(QStringLiteral("写入数据库"), 1, 1);

    QString text = QStringLiteral("已用 %1 恢复数据库 %2；%3。")
                       .arg(QFileInfo(request.file).absoluteFilePath(), home.switchDb(), keptText(kept, !keepCalls));
    if (aside.isEmpty()) {
        text += QStringLiteral("\n恢复前没有数据库文件。");
    } else if (condition.state == DatabaseCondition::State::Missing && !QFileInfo::exists(aside)
               && !QFileInfo(aside).isSymLink()) {
        text += QStringLiteral("\n恢复前没有数据库文件；留下的日志文件已改名保存为 %1-wal（或 -journal），"
                               "没有写入恢复后的数据库。")
                    .arg(aside);
    } else {
        if (!request.withCalls && !keepCalls)
            text += QStringLiteral("\n当前数据库的话单无法读取，话单和押金余额取自备份文件。");
        text += QStringLiteral("\n原来的数据库（%1）已改名保存为 %2。").arg(condition.summary, aside);
    }
    return {ToolOutcome::Done, text};
}

} // namespace

QString CallIntakeSeenTable() { return QStringLiteral("CallIntakeSeen"); }

QStringList CopiesOnTheirWayTables() { return {QStringLiteral("OutwardPending"), QStringLiteral("CallFilePending")}; }

QString UndoneText(const LedgerRow &row)
{
    return QStringLiteral("%1 于%2结算 %3 条，合计%4元%5")
        .arg(row.caller, row.settledAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .arg(row.records)
        .arg(row.total.toText(), !row.refund.isZero()    ? QStringLiteral("，已退%1元").arg(row.refund.toText())
                                 : !row.collect.isZero() ? QStringLiteral("，已收%1元").arg(row.collect.toText())
                                                         : QString());
}

QString UndoneSummary(const QList<LedgerRow> &rows)
{
    if (rows.isEmpty())
        return QString();
    QSet<QString> rooms;
    int records = 0;
    Money total;
    QStringList lines;
    for (const LedgerRow &r : rows) {
        rooms.insert(r.caller);
        records += r.records;
        total += r.total;
        if (lines.size() < 10)
            lines.append(UndoneText(r));
    }
    if (rows.size() > lines.size())
        lines.append(QStringLiteral("……"));
    return QStringLiteral("备份之后的 %1 笔结算（%2 户，%3 条话单，合计%4元）将被撤销，这些话单恢复为未结算；"
                          "押金流水保留，已退的押金不会重复退还：\n%5")
        .arg(rows.size())
        .arg(rooms.size())
        .arg(records)
        .arg(total.toText(), lines.join(QLatin1Char('\n')));
}

Checked<QList<LedgerRow>> SettlementsUndoneBy(const HomePaths &home, const QString &file, const QByteArray &typedKey)
{
    if (!QFileInfo::exists(home.switchDb()) || !QFileInfo(file).isFile())
        return QList<LedgerRow>();
    const Checked<QByteArray> homeKey = HomeDatabaseKey(home);
    const std::optional<QByteArray> fileKey = KeyOfChosenFile(home, file, typedKey);
    if (!homeKey || !fileKey)
        return QList<LedgerRow>(); // the restore itself says why
    Database live;
    if (Status s = live.open(home.switchDb(), *homeKey); !s)
        return QList<LedgerRow>();
    if (!live.tableExists(LedgerTable::Name))
        return QList<LedgerRow>();
    if (Status s = live.exec(QStringLiteral("ATTACH DATABASE ? AS %1 KEY ?").arg(QStringLiteral("chosen")),
                             {file, QString::fromLatin1(*fileKey)});
        !s)
        return QList<LedgerRow>();
    qint64 last = 0;
    const auto has =
        live.select(QStringLiteral("SELECT 1 FROM chosen.sqlite_master WHERE name=?"), {LedgerTable::Name});
    if (!has)
        return QList<LedgerRow>(); // not a database of this key: the restore refuses it
    if (!has->isEmpty()) {
        const auto v =
            live.scalar(QStringLiteral("SELECT coalesce(max(rowid), 0) FROM chosen.%1").arg(q(LedgerTable::Name)));
        if (!v)
            return v.refusedAs<QList<LedgerRow>>();
        last = v->toLongLong();
    }
    (void)live.exec(QStringLiteral("DETACH DATABASE chosen"));
    return LedgerTable(live).rowsAfter(last);
}

QString RestoreKeepsText(bool withCalls)
{
    if (withCalls)
        return QStringLiteral("恢复时参数和话单取自备份文件，备份后的结算被撤销；押金按押金流水保持当前金额，"
                              "已退的押金不会重复退还；当前的操作员使用记录保留。"
                              "恢复前的数据库保存为 Quessel-日期-时间.mdb（保留最近三份）。");
    return QStringLiteral("恢复时参数取自备份文件；当前的话单和操作员使用记录保留不变，押金按押金流水保持当前金额。"
                          "恢复前的数据库保存为 Quessel-日期-时间.mdb（保留最近三份）。");
}

RestoreSpace RestoreSpaceNeeded(qint64 fileBytes, qint64 databaseBytes, bool rescue, bool readsCurrent)
{
    // bench_restore measures what a restore writes at its peak beside the
    // files there are: up to 4.3 times the larger of the two databases (the
    // file read in and its log, the copy of the current database, the new
    // content in the database's log, which holds pages more than once when
    // the cache spills), up to 2 times when a missing or damaged database is
    // replaced whole, up to 3 times when what can still be read of a damaged
    // one is read through a copy of it. Asked for with room to spare.
    const qint64 larger = qMax(fileBytes, databaseBytes);
    if (rescue)
        return {readsCurrent ? larger * 4 : larger * 5 / 2, 0};
    return {larger * 5 - databaseBytes, databaseBytes};
}

Checked<QString> RestoreFileProblem(Database &db)
{
    const Checked<QStringList> bad = IntegrityProblems(db);
    if (!bad)
        return Checked<QString>::refuse(bad.reason());
    if (!bad->isEmpty())
        return QStringLiteral("文件已损坏：\n%1").arg(DescribeProblems(*bad));
    const QStringList problems = schemaProblems(db, switchTables());
    if (!problems.isEmpty())
        return QStringLiteral("不是本系统的数据库：\n%1").arg(DescribeProblems(problems));
    const Checked<qint64> backupOperators = CountOperatorsWith(db, Right::Backup);
    if (!backupOperators)
        return Checked<QString>::refuse(backupOperators.reason());
    if (*backupOperators == 0)
        return QStringLiteral("文件中没有一个操作员有“参数备份与恢复”的权限，恢复后没有人能再用备份程序"
                              "（也没有人能恢复别的备份）。");
    return QString();
}

std::optional<QByteArray> KeyOfChosenFile(const HomePaths &home, const QString &file, const QByteArray &typed)
{
    QList<QByteArray> keys;
    if (const Checked<QByteArray> own = HomeDatabaseKey(home))
        keys << *own;
    keys << LegacyDatabaseKey();
    if (!typed.isEmpty())
        keys << typed;
    for (const QByteArray &key : std::as_const(keys))
        if (KeyOpens(file, key))
            return key;
    return std::nullopt;
}

QString NeedsKeyText(const QString &file, bool keyTyped)
{
    if (keyTyped)
        return QStringLiteral("所输入的恢复密钥打不开文件 %1：密钥不对，或者文件不是本系统的数据库备份。").arg(file);
    return QStringLiteral("文件 %1 不能用本系统的数据库密钥打开。它可能是另一套系统（另一台计算机）的备份，"
                          "恢复时需要输入那套系统的恢复密钥；也可能不是本系统的数据库备份，或已损坏。")
        .arg(file);
}

ToolResult RestoreDatabase(const HomePaths &home, const RestoreRequest &request, const Progress &progress)
{
    const QString file = request.file.trimmed();
    const QFileInfo chosen(file);
    const QFileInfo dbInfo(home.switchDb());
    const QDateTime when = request.at.isValid() ? request.at : QDateTime::currentDateTime();
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

    // Whether it is a database of a key known here, before anything else
    // (a big file that is none is refused as such, not for want of space).
    const Checked<QByteArray> homeKey = HomeDatabaseKey(home);
    if (!homeKey)
        return {ToolOutcome::Failed, homeKey.reason() + unchanged()};
    const std::optional<QByteArray> fileKey = KeyOfChosenFile(home, file, request.fileKey);
    if (!fileKey) {
        if (const QString why = AccessProblem(file); !why.isEmpty())
            return {ToolOutcome::Failed, why + unchanged()};
        if (const QString what = NoDatabaseText(file); !what.isEmpty())
            return {ToolOutcome::Refused, what + unchanged()};
        return {request.fileKey.isEmpty() ? ToolOutcome::NeedsKey : ToolOutcome::Refused,
                NeedsKeyText(file, !request.fileKey.isEmpty()) + unchanged()};
    }

    // A home whose data folder went with the database gets it back, private.
    if (!QFileInfo(home.dataDir()).isDir() && QFileInfo(home.root()).isDir()) {
        if (!QDir().mkdir(home.dataDir()) || !MakeFolderPrivate(home.dataDir()))
            return {ToolOutcome::Failed, QStringLiteral("无法建立文件夹 %1").arg(home.dataDir()) + unchanged()};
    }
    HomeLock lock;
    if (Status s = lock.acquire(home); !s)
        return {ToolOutcome::Refused, s.reason() + unchanged()};
    HomeLock restoring(HomeLock::Kind::Restore);
    if (Status s = restoring.acquire(home); !s)
        return {ToolOutcome::Refused, s.reason() + unchanged()};
    // What an interrupted restore or copy left goes first, so none of it is replayed.
    RemoveLeftovers(home, true);

    const Checked<DatabaseCondition> condition = CheckDatabase(home);
    if (!condition)
        return {ToolOutcome::Failed, condition.reason() + unchanged()};
    // A rescue reads what it keeps of the damaged database through a copy.
    const bool readsCurrent = (!request.withCalls && condition->callsReadable) || condition->usageReadable;
    if (auto refused = checkSpace(home, file, !condition->sound(), readsCurrent))
        return *refused;

    // The chosen file is read once, into a scratch file: it is checked and
    // prepared there and never written itself.
    const QString staging = RestoreStagingFile(home);
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
    {
        // Whether its pages open, told apart from a read error here.
        ReadOnlyDatabase probe;
        int rc = 0;
        if (Status opened = probe.open(staging, *fileKey, &rc); !opened) {
            if ((rc & 0xff) != SQLITE_NOTADB && (rc & 0xff) != SQLITE_CORRUPT)
                return {ToolOutcome::Failed,
                        QStringLiteral("无法读取文件 %1：%2").arg(file, opened.reason()) + unchanged()};
            return {ToolOutcome::Refused, QStringLiteral("文件 %1 已损坏，无法读取。").arg(file) + unchanged()};
        }
    }
    if (Status opened = stage.open(staging, *fileKey); !opened)
        return {ToolOutcome::Failed, QStringLiteral("无法读取文件 %1：%2").arg(file, opened.reason()) + unchanged()};
    // A backup of an older version or of another home takes the home's key.
    if (*fileKey != *homeKey)
        if (Status s = RekeyDatabase(stage.handle(), *homeKey); !s)
            return {ToolOutcome::Failed, s.reason() + unchanged()};
    if (auto refused = checkChosen(stage, file))
        return *refused;

    if (!condition->sound())
        return rescue(home, {file, request.withCalls, when, {}, request.recordedAs}, *condition, stage, *homeKey, when,
                      progress);

    Database live;
    if (Status opened = live.open(home.switchDb(), *homeKey); !opened)
        return {ToolOutcome::Failed, opened.reason() + unchanged()};
    if (Status s = takeExclusive(live); !s)
        return {ToolOutcome::Refused, s.reason() + unchanged()};

    // The copy of the database as it is now, kept under a name of its own.
    const QString copy = NewDatedFile(home.root(), QuesselPrefix(), when);
    if (Status s = CopyToFile(live.handle(), copy, *homeKey,
                              QStringLiteral("保存当前数据库到 %1").arg(QFileInfo(copy).fileName()), progress);
        !s)
        return {ToolOutcome::Failed, s.reason() + unchanged()};

    Kept kept;
    if (Status s = keepCurrent(stage, copy, *homeKey, request.withCalls, true, when, file, request.recordedAs, kept);
        !s)
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(s.reason()) + unchanged()};
    if (auto refused = checkChosen(stage, file))
        return {ToolOutcome::Failed, QStringLiteral("准备恢复内容失败：%1").arg(refused->text)};

    // The one write into the database: all pages in one transaction, in the
    // database's own write-ahead log, so the old content (whatever its log
    // held) and the new one never mix.
    Status written = CopyPages(stage.handle(), live.handle(), QStringLiteral("写入数据库"), progress);
    if (written) {
        const Checked<QString> problem = RestoreFileProblem(live);
        if (!problem)
            written = Status::fail(QStringLiteral("无法检查恢复后的数据库：%1").arg(problem.reason()));
        else if (!problem->isEmpty())
            written = Status::fail(QStringLiteral("恢复后的数据库不完整：%1").arg(*problem));
        else if (progress && !progress(QStringLiteral("检查恢复后的数据库"), 1, 1))
            written = Status::fail(QStringLiteral("检查恢复后的数据库：已中止"));
    }
    if (!written)
        return putBack(live, copy, *homeKey, written.reason(), progress);
    // Into the main file now; when this fails the log still holds it all.
    (void)live.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    live.close();
    stage.close();
    (void)KeepNewestDated(home.root(), QuesselPrefix(), kKeptRestoreCopies, copy);

    QString text = QStringLiteral("已用 %1 恢复数据库 %2；%3。")
                       .arg(chosen.absoluteFilePath(), home.switchDb(), keptText(kept, request.withCalls));
    text += QStringLiteral("\n恢复前的数据库（含当时的话单）保存在 %1。").arg(copy);
    return {ToolOutcome::Done, text};
}

} // namespace corvane
