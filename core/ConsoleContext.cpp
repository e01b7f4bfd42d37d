#include "ConsoleContext.h"
#include "CallTypes.h"
#include "HomeKey.h"

namespace corvane {

void ConsoleContext::BuildLists()
{
    CallTypeNames = callTypeNames();
    CheckMarks = {QStringLiteral("×"), QStringLiteral("√")};
}

QByteArray ConsoleContext::databaseKey() const { return HomeDatabaseKey(home).value_or(LegacyDatabaseKey()); }
Status ConsoleContext::Beside::open(Database &db) const
{
    if (Status s = db.open(path, key); !s)
        return s;
    // Pages read by a big list stay decrypted for the rest of it.
    if (Status s = db.exec(QStringLiteral("PRAGMA cache_size=-65536")); !s) {
        db.close();
        return s;
    }
    const Database::Stamp at = stamp;
    db.setStampSource([at] { return at; });
    return Status::ok();
}

QString ConsoleContext::stamp() const { return clock.now().toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")); }

} // namespace corvane
