#pragma once
#include "Backup.h"
#include <QStringList>

namespace corvane {

class Database;

// The table the call intake keeps of the frames it has taken recently. It is
// not one of the switch tables: a backup made before the intake had it lacks
// it, and a restore brings it up to date.
QString CallIntakeSeenTable();

// What a restore takes from the chosen file and what it keeps of the current
// database, in words for the window.
QString RestoreKeepsText(bool withCalls);

struct RestoreRequest {
    QString file;           // the chosen backup file
    bool withCalls = false; // "话单信息": take the file's call records too
};

// Checks that `db` (a copy of the chosen file) can serve as the home's
// database: it is sound and holds every switch table with its columns.
// Returns the reason when it cannot.
Status CheckRestoreFile(Database &db);

// Replaces the home's database by the chosen file.
//
// Nothing is changed until the file has been checked and a copy of the current
// database is in Quessel.mdb. The new content is prepared in a scratch file
// and written into the database in one transaction, so the database is either
// wholly the old one or wholly the new one. Without `withCalls` the current
// call records, the frames the intake has seen and the deposit money (balance
// and deposit paid) stay as they were; the operators' usage record always
// stays. Refused while the console (or any other program) has the database
// open.
ToolResult RestoreDatabase(const HomePaths &home, const RestoreRequest &request, const Progress &progress = {});

} // namespace corvane
