#pragma once
#include <QString>
#include <QStringList>

namespace corvane {

class Database;
class Recordset;

// The recordset procedures every writer uses (edit-set-update, add-new).
// Each returns whether the database took the change.
bool SetField(Recordset &rs, int column, const QString &text);
bool WriteRecord(Recordset &rs, bool addNew, const QStringList &values);
bool DeleteAll(Recordset &rs);

// Physical port <-> user (extension) number through the User table. Both give
// their input back unchanged when no row matches.
QString PortToNumber(Database &db, const QString &port);
QString NumberToPort(Database &db, const QString &number);

} // namespace corvane
