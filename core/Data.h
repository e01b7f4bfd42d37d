#pragma once
#include "Status.h"
#include <QString>
#include <QStringList>

namespace corvane {

class Database;
class Recordset;

// The recordset procedures every writer uses (edit-set-update, add-new). Each
// returns whether the database took the change and, when it did not, why.
// An edit writes only the columns it names (see Recordset::edit).
Status SetField(Recordset &rs, int column, const QString &text);
Status WriteRecord(Recordset &rs, bool addNew, const QStringList &values);
// Deletes every row; goes on past a row that cannot be deleted and reports
// the first failure.
Status DeleteAll(Recordset &rs);

// Physical port <-> user (extension) number through the User table. Both give
// their input back unchanged when no row matches.
QString PortToNumber(Database &db, const QString &port);
QString NumberToPort(Database &db, const QString &number);

} // namespace corvane
