#include "Data.h"
#include "Database.h"
#include "General.h"
#include "Recordset.h"
#include "UserTable.h"

namespace corvane {

Status SetField(Recordset &rs, int column, const QString &text)
{
    if (Status s = rs.edit(); !s)
        return s;
    if (Status s = rs.setField(column, text); !s) {
        rs.cancelUpdate();
        return s;
    }
    return rs.update();
}

Status WriteRecord(Recordset &rs, bool addNew, const QStringList &values)
{
    if (Status s = addNew ? rs.addNew() : rs.edit(); !s)
        return s;
    for (int i = 0; i < values.size(); ++i) {
        if (Status s = rs.setField(i, values.at(i)); !s) {
            rs.cancelUpdate();
            return s;
        }
    }
    return rs.update();
}

Status DeleteAll(Recordset &rs)
{
    Status first;
    rs.moveFirst();
    while (!rs.eof()) {
        Status s = rs.deleteCurrent();
        if (!s && !first.failed())
            first = s;
        rs.moveNext();
    }
    return first;
}

QString PortToNumber(Database &db, const QString &port) { return UserTable(db).numberOf(port); }

QString NumberToPort(Database &db, const QString &number) { return UserTable(db).portOf(number); }

} // namespace corvane
