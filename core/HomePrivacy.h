#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QStringList>

namespace corvane {

class MessageService;

// The database key is the same on every installation, so a database file
// that other local users may read is readable by all of them. The home's
// data folder is kept to its owner (0700), the databases, their logs and
// the copies restores keep (Quessel-….mdb, Switch-damaged-….mdb) too (0600).

// Makes a folder or a file accessible to its owner only.
Status MakeFolderPrivate(const QString &path);
Status MakeFilePrivate(const QString &path);

// The home's private folder and files that group or others may reach, each
// with its current mode ("/home/x/data (0755)"). Missing files are skipped.
QStringList LoosePermissions(const HomePaths &home);

// Makes everything LoosePermissions lists private.
Status MakeHomePrivate(const HomePaths &home);

// On start: when the home's data is open to other users, says so and offers
// to make it private. The program runs on whatever the answer. Returns
// whether something was reported.
bool ReportHomePermissions(const HomePaths &home, MessageService &messages);

} // namespace corvane
