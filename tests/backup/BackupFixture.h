#pragma once
#include "Database.h"
#include "HomePaths.h"
#include "TestHome.h"
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane::test {

// A home with a Switch.mdb holding the default rows, deposits, a few call
// records, usage rows and frames the intake has seen.
class BackupHome {
public:
    BackupHome();
    bool ok() const { return m_ok; }
    const HomePaths &paths() const { return m_paths; }
    QString file(const QString &relative) const { return m_dir.file(relative); }
    QString root() const { return m_dir.path(); }

private:
    TestHome m_dir;
    HomePaths m_paths;
    bool m_ok = false;
};

// Opens a database of a test with the console's key (or `key`).
bool openDb(Database &db, const QString &path, const QByteArray &key = QByteArrayLiteral("vosquirnel"));

// Appends `n` call records whose called numbers carry `tag`.
bool addCalls(Database &db, int n, const QString &tag);
// The seen-frames table in the intake's layout, with `n` frames tagged `tag`.
bool addSeenFrames(Database &db, int n, const QString &tag);

// Every row of a table with its rowid in front, in rowid order (empty on
// error). A file is read through a copy and never changed.
QList<QStringList> rowsOf(const QString &dbPath, const QString &table);
QList<QStringList> rowsOf(Database &db, const QString &table);
// Every table with its rows, as rowsOf gives them.
QMap<QString, QList<QStringList>> allRows(const QString &dbPath);

QByteArray fileBytes(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// Files of a folder (names), hidden ones included.
QStringList filesIn(const QString &folder);

} // namespace corvane::test
