#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QDateTime>
#include <QStringList>

namespace corvane {

// Files named by the second they were made: PREFIX-YYYYMMDD-HHMMSS.mdb, so
// that none overwrites another and a listing shows them in their order.
// Backups are "Switch-…", the copies a restore keeps of the database it
// replaced "Quessel-…", a damaged database moved aside "Switch-damaged-…".
QString BackupPrefix();
QString QuesselPrefix();
QString DamagedPrefix();

// A new dated name in `folder`; when a file of that second exists, "-2",
// "-3"… follow the time.
QString NewDatedFile(const QString &folder, const QString &prefix, const QDateTime &when);
// The dated files of `folder` with that prefix, oldest first by name (paths).
QStringList DatedFiles(const QString &folder, const QString &prefix);
// Removes all but the newest `keep` dated files of that prefix, newest by
// the time each was written (not by its name, which a clock that was wrong,
// a dead CMOS battery, another time zone, may have dated in the future or
// the past). `written` (the file just written, or the copy a message names)
// is never removed and counts among the `keep`. Returns the paths removed,
// or the first file that could not be removed.
Checked<QStringList> KeepNewestDated(const QString &folder, const QString &prefix, int keep,
                                     const QString &written = QString());
// Whether a dated file of that prefix in `folder` carries a later time in
// its name than `written`: the clock that named `written` is behind.
bool ClockBehindNames(const QString &folder, const QString &prefix, const QString &written);

// How many copies of replaced databases the home keeps.
constexpr int kKeptRestoreCopies = 3;

// The scratch files of a restore in the data folder: the chosen file being
// prepared, and the copy of a damaged database its calls are read from.
QString RestoreStagingFile(const HomePaths &home);
QString RescueReadingFile(const HomePaths &home);

// Removes what a killed backup, restore or console left in the home:
// unfinished copies (".Quessel-….mdb.XXXXXX", ".Switch.mdb.XXXXXX") and
// their journals that no running program writes, and, when the caller holds
// the home's lock (so no restore runs), a restore's scratch files. Returns
// the names removed.
QStringList RemoveLeftovers(const HomePaths &home, bool homeLocked);
// The same at a program's start: the scratch files of a restore too when the
// home's lock can be taken (no console, no restore runs).
QStringList RemoveLeftoversAtStart(const HomePaths &home);

} // namespace corvane
