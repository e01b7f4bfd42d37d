#pragma once
#include "Status.h"
#include <QByteArray>
#include <QMap>
#include <QString>
#include <functional>
#include <optional>

struct sqlite3;

namespace corvane {

class Database;

// Reports how far a long step has come (done of total units, total 0 when
// unknown). Returning false stops the step; what it had written is dropped.
using Progress = std::function<bool(const QString &step, qint64 done, qint64 total)>;

// Copies every page of `source` into `dest` through SQLite's online backup, as
// one transaction on `dest`: either the whole copy is committed or nothing of
// it. `source` is read inside one read transaction held across the steps, so
// the copy is one consistent state even while another connection writes (and
// it takes what a write-ahead log holds). Both must be open with the same key.
Status CopyPages(sqlite3 *source, sqlite3 *dest, const QString &step, const Progress &progress = {});

// Writes a copy of `source` to `target`, encrypted with `key`, as one file
// with no write-ahead log beside it. The copy is made in a new file in the
// target's folder (".<name>.XXXXXX", locked while it is written, so that
// RemoveLeftoverCopies tells a copy in progress from one a killed program
// left), readable by its owner only, and renamed over the target once
// complete: a failure (a full disk, say) leaves the target as it was and no
// partial file.
Status CopyToFile(sqlite3 *source, const QString &target, const QByteArray &key, const QString &step,
                  const Progress &progress = {});

// Copies a file byte for byte (owner-only permissions on the copy).
Status CopyFileBytes(const QString &from, const QString &to, const QString &step, const Progress &progress = {});

// Removes a database file together with its rollback journal, write-ahead log
// and shared-memory file.
void RemoveDatabaseFiles(const QString &path);

// The content of every table (rowid and every column, in rowid order), one
// digest per table; nullopt when the database cannot be read. Two databases
// with the same digests hold the same rows.
std::optional<QMap<QString, QByteArray>> ContentDigest(sqlite3 *db);

// Removes what copies into `folder` left behind when their program was killed:
// the unfinished ".<name>.mdb.XXXXXX" files with their journals. A copy that
// is still being written (by this or another program) is left alone. Returns
// the names removed.
QStringList RemoveLeftoverCopies(const QString &folder);

// The problems PRAGMA quick_check finds, one a line: empty when the file is
// sound. Refused when the check itself could not run (a read error of this
// machine, a full disk), which says nothing about the file.
Checked<QStringList> IntegrityProblems(sqlite3 *db);
Checked<QStringList> IntegrityProblems(Database &db);

// At most five problems, one a line, and how many more there were.
QString DescribeProblems(const QStringList &problems);

// A connection that only reads a database file and never changes its
// journal mode. ReadOnly: the file stays byte for byte as it was (a copy
// kept for putting a database back). ReadWrite: opened for writing but only
// read; when it is the file's last connection, it merges a write-ahead log
// it found and removes the log files, as every program's last connection
// does (a look at the console's database that leaves nothing behind).
class ReadOnlyDatabase {
public:
    ReadOnlyDatabase() = default;
    ~ReadOnlyDatabase() { close(); }
    ReadOnlyDatabase(const ReadOnlyDatabase &) = delete;
    ReadOnlyDatabase &operator=(const ReadOnlyDatabase &) = delete;

    // Opens the file and reads its schema with the key. On failure the
    // reason, and in `code` SQLite's result code (SQLITE_NOTADB: not a
    // database of this key; SQLITE_CORRUPT: damaged; others: this machine).
    enum class Access { ReadOnly, ReadWrite };
    Status open(const QString &path, const QByteArray &key, int *code = nullptr, Access access = Access::ReadOnly);
    void close();
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace corvane
