#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QStringList>

namespace corvane {

class MessageService;

// The home holds call records, fees and the database key: what the console
// and its tools write is for the owner alone, whatever the umask. The data
// and calls folders are kept to their owner (0700); the databases, their
// logs, the copies restores keep (Quessel-….mdb, Switch-damaged-….mdb) and
// the monthly files too (0600). The home and its other folders (ports/,
// resource/, help/) may be read by others but written by the owner only:
// whoever can write ports/ can point COM1 at a device of theirs, whoever can
// write the home can swap data/.

// Files the program creates from now on are its owner's alone (the umask
// gains 077): monthly files, exports, reports, backups, kept copies. Called
// first in main().
void KeepNewFilesToOwner();

// The home and each folder in it that exists.
QStringList HomeFolders(const HomePaths &home);

// Whether a user other than the owner may write the folder (group or others
// have write permission).
bool OthersMayWrite(const QString &folder);

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
