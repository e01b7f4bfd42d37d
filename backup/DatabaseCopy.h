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
// target's folder, readable by its owner only, and renamed over the target
// once complete: a failure (a full disk, say) leaves the target as it was and
// no partial file.
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

// The result of PRAGMA quick_check: empty when the file is sound.
QString IntegrityProblem(Database &db);

} // namespace corvane
