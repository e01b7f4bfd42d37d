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

QString ConsoleContext::stamp() const { return clock.now().toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")); }

} // namespace corvane
