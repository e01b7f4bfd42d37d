#pragma once
#include <QString>
#include <optional>

namespace corvane {

class Database;

// The commands that set an extension's or an account's class in the switch.
namespace ClassCommands {

// "*10*" class "*" number "#": an extension, by the number the switch knows it by.
QString extension(const QString &cls, const QString &number);
// "*68*" class "*" trunk group "*0*" account "#".
QString account(const QString &cls, const QString &trunkGroup, const QString &account);

// A class command about to go to the switch, rewritten to the class the
// database holds now for that extension or account, so that a command kept
// earlier never overtakes a demotion (or a class given back) that went out
// after it was kept. Any other command comes back unchanged.
QString current(Database &db, const QString &code);

} // namespace ClassCommands
} // namespace corvane
