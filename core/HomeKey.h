#pragma once
#include "HomePaths.h"
#include "Status.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct sqlite3;

namespace corvane {

// The key of a home's Switch.mdb.
//
// A home made by this version has a random key of its own, in the key file
// beside data/ (HOME/database.key, readable by its owner only): data/, a
// backup or a copy of the database taken elsewhere cannot be read without
// it. The key is written for a person as the recovery key, 40 characters in
// eight groups ("7K3QD-…"), shown once when the key is made and kept by the
// site on paper: with it a backup of this home opens on another machine.
// Homes of earlier versions have the program-wide key of every copy of the
// program; such a home gets a key of its own at the console's next start.
//
// The key protects the data at rest: a disk, a USB stick with backups, a copy
// mailed by mistake. It does not protect against whoever may use the home
// owner's account, who can read the key file.

// The key of every home before keys of their own.
QByteArray LegacyDatabaseKey();

QString DatabaseKeyFile(const HomePaths &home);
// Where a new key is written before the database is re-keyed with it.
QString NewDatabaseKeyFile(const HomePaths &home);
bool HasOwnKey(const HomePaths &home);

// The key of the home's Switch.mdb: its key file's, else (an older home) the
// program-wide one. Refused, naming the file and why, when the key file is
// there but cannot be read or holds no key.
Checked<QByteArray> HomeDatabaseKey(const HomePaths &home);

// A new random key (from the system's secure source).
QByteArray NewDatabaseKey();
// The key as the operator reads and types it: eight groups of five.
QString RecoveryKeyText(const QByteArray &key);
// The key a typed recovery key stands for: case, spaces and dashes do not
// matter, nor O for 0 and I or L for 1. nullopt when it is no recovery key.
std::optional<QByteArray> KeyFromRecoveryKey(const QString &typed);

// Writes the key file, readable by its owner only, whole or not at all.
Status WriteKeyFile(const QString &path, const QByteArray &key);

// Whether `key` opens the database file (decrypts its first page; a file of
// that key damaged further on counts), without writing anything, beside it
// either.
bool KeyOpens(const QString &databasePath, const QByteArray &key);

// Brings a home's key to order at a start, under the home's lock:
// - a new key left by a re-key that was cut off becomes the key file when
//   the database opens with it, and goes when it does not;
// - a home without a key of its own whose database opens with the
//   program-wide key is re-keyed: a new key is made, the database re-keyed
//   in one transaction (nothing else changes) and the key file written.
// Returns the recovery key to show once when a new key was made, an empty
// text when nothing was to be done; refused with the reason when the re-key
// failed (the database is then as it was).
Checked<QString> SettleHomeKey(const HomePaths &home);

// Re-keys an open database file (one transaction).
Status RekeyDatabase(sqlite3 *db, const QByteArray &key);

// What a recovery key is for, in the words shown with it.
QString RecoveryKeyNotice(const QString &recoveryKey, const HomePaths &home);

} // namespace corvane
