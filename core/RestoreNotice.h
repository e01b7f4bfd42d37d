#pragma once
#include "Status.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace corvane {

class Database;

// The console's note that its database was restored from a backup (table
// RestoreNotice, the console's own). The switch may hold values the restored
// database does not, and no command is on its way to correct them: the
// console says so at its next start and offers the comparison, once.
namespace RestoreNotice {

struct Entry {
    QDateTime at; // when the restore ran
    QString file; // the backup it took
};

extern const QString Table;

// Written by the restore into the database it makes (in its transaction).
Status record(Database &db, const QDateTime &at, const QString &file);
// The note, taken out of the table: none when no restore happened since the
// last start.
Checked<std::optional<Entry>> take(Database &db);

// The question the console asks at its start.
QString questionText(const Entry &e);

} // namespace RestoreNotice
} // namespace corvane
