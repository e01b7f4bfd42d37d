#pragma once
#include "DatabaseCopy.h"
#include "HomePaths.h"
#include <QDateTime>
#include <QString>

namespace corvane {

// How a backup or a restore ended.
enum class ToolOutcome {
    Done,       // finished; `text` says what was done
    Refused,    // nothing was changed; `text` says why
    OpenError,  // the home's database could not be opened; nothing was changed
    Failed,     // stopped before the database was touched; `text` says why
    PutBack,    // failed after it began; the database was put back from Quessel.mdb
    NotPutBack, // failed after it began and could not be put back; Quessel.mdb is kept
    NeedsKey,   // the chosen file opens with no key this home knows: nothing was changed;
                // the recovery key of the home it comes from is wanted
};

struct ToolResult {
    ToolOutcome outcome = ToolOutcome::Done;
    QString text;
    bool ok() const { return outcome == ToolOutcome::Done; }
};

// The message shown when a database cannot be opened.
QString DatabaseOpenErrorText();

// The file a backup is written to: the chosen name trimmed, with ".mdb" added
// when it does not end in it (in any case). A folder (an existing one, or a
// name ending in "/") gets a dated file in it, Switch-YYYYMMDD-HHMMSS.mdb for
// `when`. Empty when nothing was chosen.
QString BackupTargetName(const QString &chosen, const QDateTime &when);

// Whether a backup can go to `target` (a name from BackupTargetName): its
// folder exists, it is not a folder itself and not the home's database.
Status CheckBackupTarget(const HomePaths &home, const QString &target);

// Writes a consistent, encrypted copy of the home's database to `target`,
// also while the console runs and writes to it, and whatever the write-ahead
// log holds. An existing file is replaced only by a complete copy; what
// killed backups left in the target's folder goes first. Refused while a
// restore replaces the database.
ToolResult BackupDatabase(const HomePaths &home, const QString &target, const Progress &progress = {});

// One run of the backup tool's backup, as the window, the command line and
// the timer ask for it; its outcome is recorded in the home (BackupStatus.h).
struct BackupRun {
    QString chosen;          // a file, or a folder: an existing one, a name ending in "/", any name with keep
    int keep = 0;            // > 0: the newest `keep` backups of the folder stay, by the time each was written
    bool makeFolder = false; // a missing folder is made (else refused: a disk not mounted, most likely)
    QString how;             // "窗口", "命令行", "定时"
    QDateTime when;          // for the dated name (now when not set)
};
// Devices and pipes are refused as targets; a target on the database's disk
// is allowed, and the outcome says so; what --keep removed is named, and a
// clock that dated the new backup before older ones is pointed out.
ToolResult RunBackup(const HomePaths &home, const BackupRun &run, const Progress &progress = {});

} // namespace corvane
