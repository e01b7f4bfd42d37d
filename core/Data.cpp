#include "Data.h"
#include "Database.h"
#include "Recordset.h"

namespace corvane {

bool SetField(Recordset &rs, int column, const QString &text)
{
    if (!rs.edit())
        return false;
    if (!rs.setField(column, text)) {
        rs.cancelUpdate();
        return false;
    }
    return rs.update();
}

bool WriteRecord(Recordset &rs, bool addNew, const QStringList &values)
{
    if (!(addNew ? rs.addNew() : rs.edit()))
        return false;
    for (int i = 0; i < values.size(); ++i) {
        if (!rs.setField(i, values.at(i))) {
            rs.cancelUpdate();
            return false;
        }
    }
    return rs.update();
}

bool DeleteAll(Recordset &rs)
{
    bool ok = true;
    rs.moveFirst();
    while (!rs.eof()) {
        if (!rs.deleteCurrent()) {
            ok = false;
            rs.moveNext();
            continue;
        }
        rs.moveNext();
    }
    return ok;
}

QString PortToNumber(Database &db, const QString &port)
{
    if (port.isEmpty())
        return QString();
    auto number = db.scalar(QStringLiteral("SELECT \"用户号码\" FROM \"User\" WHERE \"物理端口\"=? ORDER BY rowid LIMIT 1"),
                            {port.trimmed()});
    return number ? *number : port;
}

QString NumberToPort(Database &db, const QString &number)
{
    if (number.isEmpty())
        return QString();
    auto port = db.scalar(QStringLiteral("SELECT \"物理端口\" FROM \"User\" WHERE \"用户号码\"=? ORDER BY rowid LIMIT 1"),
                          {number.trimmed()});
    if (!port)
        return number;
    auto capacity = db.scalar(QStringLiteral("SELECT * FROM \"SWTConfig\" ORDER BY rowid LIMIT 1"));
    // Only ports inside the configured capacity are real extensions.
    const int cap = capacity ? capacity->trimmed().toInt() : 0;
    bool ok = false;
    const int p = port->trimmed().toInt(&ok);
    return (ok && p < cap) ? *port : number;
}

} // namespace corvane
