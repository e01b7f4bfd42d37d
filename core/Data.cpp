#include "Data.h"
#include "Database.h"
#include "General.h"
#include "Recordset.h"

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

QString PortToNumber(Database &db, const QString &port)
{
    if (port.isEmpty())
        return QString();
    auto number =
        db.scalar(QStringLiteral("SELECT \"用户号码\" FROM \"User\" WHERE \"物理端口\"=? ORDER BY rowid LIMIT 1"),
                  {port.trimmed()});
    return number ? *number : port;
}

QString NumberToPort(Database &db, const QString &number)
{
    if (number.isEmpty())
        return QString();
    auto port =
        db.scalar(QStringLiteral("SELECT \"物理端口\" FROM \"User\" WHERE \"用户号码\"=? ORDER BY rowid LIMIT 1"),
                  {number.trimmed()});
    if (!port)
        return number;
    auto capacity = db.scalar(QStringLiteral("SELECT * FROM \"SWTConfig\" ORDER BY rowid LIMIT 1"));
    // Only ports inside the configured capacity are real extensions. Both are
    // read as every stored number is: the leading number ("120门" is 120).
    // A port that holds no number at all is no extension.
    const qint64 cap = capacity ? ValInt(*capacity) : 0;
    const bool hasNumber = IsNumeric(port->trimmed().left(1));
    return hasNumber && ValInt(*port) < cap ? *port : number;
}

} // namespace corvane
