#pragma once
#include "HomePaths.h"
#include <QString>

namespace corvane {

class MessageService;

// Creates a new home: its folders, Switch.mdb with every table and its default
// rows, print.mdb, the resource pictures and the help page. Refuses an empty
// administrator password and never overwrites an existing database. On
// failure nothing half-made is left behind and `error` says why.
// The database gets a key of its own (HomeKey.h), or keeps the one of a key
// file the home already has (so that its backups still open); a new key's
// recovery key goes to *recoveryKey, to be shown once.
bool InitHome(const HomePaths &home, const QString &adminPassword, QString &error, QString *recoveryKey = nullptr);

// Whether the home has never held a database: no data folder (or one with
// nothing but lock files), no pictures installed, no copies a restore kept.
// A home that had one has lost it; it gets no new, empty database in its
// place (the start says how to restore one).
bool IsNewHome(const HomePaths &home);

// First start on a home without a database (from the desktop's menu, where
// no terminal shows --init): says so and offers to create it here, asking
// for the administrator's password twice. Returns whether the database now
// exists; false when the operator declined or creating it failed (shown).
bool OfferNewHome(const HomePaths &home, MessageService &messages, QString *recoveryKey = nullptr);

// Sets a new home up for a demonstration: call records go to monthly files in
// HOME/calls/ and out on serial port 2 (where the simulator listens); one
// client and one blacklisted caller are registered.
bool ConfigureDemoHome(const HomePaths &home, QString &error);

// Copies the shipped pictures into the home where they are missing, and the
// shipped help page where it is missing or differs.
bool InstallHomeFiles(const HomePaths &home, QString &error);

} // namespace corvane
