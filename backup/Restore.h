#pragma once
#include "Backup.h"
#include "LedgerTable.h"
#include <QStringList>
#include <optional>

namespace corvane {

class Database;

// The table the call intake keeps of the frames it has taken recently. It is
// not one of the switch tables: a backup made before the intake had it lacks
// it, and a restore brings it up to date.
QString CallIntakeSeenTable();

// The console's tables of copies of call records on their way, to the
// outward port and to the monthly files. A restore keeps the current ones,
// never the file's: those were sent or written long ago.
QStringList CopiesOnTheirWayTables();

// What a restore takes from the chosen file and what it keeps of the current
// database, in words for the window.
QString RestoreKeepsText(bool withCalls);

struct RestoreRequest {
    RestoreRequest(QString f, bool calls = false, QDateTime when = {}, QByteArray key = {}, QString by = {})
        : file(std::move(f)), withCalls(calls), at(std::move(when)), fileKey(std::move(key)), recordedAs(std::move(by))
    {}
    QString file;           // the chosen backup file
    bool withCalls = false; // "话单信息": take the file's call records too
    QDateTime at;           // when it runs, for the names of the files it keeps (now when not set)
    // The key of a file from another home (from its recovery key); empty
    // when the file is this home's or an older one's.
    QByteArray fileKey;
    // Who restores, as the usage row written with the restore names them
    // (CheckRestorer); no row when empty.
    QString recordedAs;
};

// The key the chosen file opens with: the home's own, the program-wide one of
// backups made before the home had its own, or `typed` (a recovery key the
// operator gave). nullopt when none opens it. Only its first page is read.
std::optional<QByteArray> KeyOfChosenFile(const HomePaths &home, const QString &file, const QByteArray &typed = {});
// What a file that opens with no key is, when it plainly is no database of
// this system (one of another key cannot be told from noise): empty when it
// may be one. An encrypted database is whole pages of bytes that look random
// from the first byte on.
QString NoDatabaseText(const QString &file);
// What is said when the chosen file opens with no key the home knows.
QString NeedsKeyText(const QString &file, bool keyTyped);

// The settlements made since the chosen file was made (rows of the current
// ledger the file's does not hold): a restore that takes the file's call
// records ("话单信息") undoes them, and says so first. Empty when the file
// cannot be read (the restore itself says why).
Checked<QList<LedgerRow>> SettlementsUndoneBy(const HomePaths &home, const QString &file,
                                              const QByteArray &typedKey = {});
// One undone settlement for the operator: "805 于2026-12-09 18:05 结算 3 条，合计12.50元".
QString UndoneText(const LedgerRow &row);
// The question's paragraph about them; empty when there are none.
QString UndoneSummary(const QList<LedgerRow> &rows);

// Checks that `db` (a copy of the chosen file) can serve as the home's
// database: it is sound, holds every switch table with its columns, and
// names an operator with the right to reach the backup tool (else nobody
// could restore again). Returns what is wrong with it (empty when it can
// serve); refused when the check itself could not run (a read error, a full
// disk), which says nothing about the file.
Checked<QString> RestoreFileProblem(Database &db);

// The free space a restore needs, in bytes, in the data folder and in the
// home folder (the same disk or not), for a chosen file and a current
// database of these sizes (logs included). `rescue`: the current database is
// missing or damaged and is replaced whole; `readsCurrent`: what can still be
// read of it (calls, usage records) is read through a copy and kept.
struct RestoreSpace {
    qint64 dataFolder = 0;
    qint64 homeFolder = 0;
};
RestoreSpace RestoreSpaceNeeded(qint64 fileBytes, qint64 databaseBytes, bool rescue, bool readsCurrent = false);

// Replaces the home's database by the chosen file.
//
// Nothing is changed until the file has been checked, the disk found to have
// room for the restore, and a copy of the current database made in the home
// (Quessel-YYYYMMDD-HHMMSS.mdb, owner-only; the three newest are kept). The
// new content is prepared in a scratch file and written into the database in
// one transaction, so the database is either wholly the old one or wholly the
// new one; the usage row of `recordedAs` is written in it. Without `withCalls` the current call records, the frames the
// intake has seen and the deposit money (balance and deposit paid) stay as
// they were; the operators' usage record always stays. Refused while the
// console (or any other program) has the database open.
//
// A database that is missing, cannot be opened with the key or fails its
// check is replaced whole: the old file is moved aside under a dated name in
// the data folder (Switch-damaged-YYYYMMDD-HHMMSS.mdb), never deleted, and
// its call records are kept only when they can be read in full.
ToolResult RestoreDatabase(const HomePaths &home, const RestoreRequest &request, const Progress &progress = {});

} // namespace corvane
