#pragma once
#include "Status.h"
#include <QString>

namespace corvane {

class Database;

// Fills a freshly created Switch.mdb with the rows a new installation starts
// from: the configuration row, 120 extensions (ports 0-119, numbers 800-919),
// 12 trunks in Exchange and ExNO, the charging delays, a default rate row per
// call type plus sample area-code prefixes, one discount row per call type,
// 13 IP rows, a few holidays and the operator "管理员" with every right and
// the hash of adminPassword (PasswordHash).
//
// Everything is written in one transaction. Refuses (writes nothing) when any of these tables already holds a row, so a
// second run can never duplicate the configuration row or the extensions, and when the administrator password is empty
// (the console never lets a password be set empty). The schema must exist (createSchema).
Status insertDefaultRows(Database &db, const QString &adminPassword);

} // namespace corvane
