#include "ConsoleContext.h"
#include "CallTypes.h"

namespace corvane {

void ConsoleContext::BuildLists()
{
    CallTypeNames = callTypeNames();
    CheckMarks = {QStringLiteral("×"), QStringLiteral("√")};
}

QString ConsoleContext::stamp() const { return clock.now().toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss")); }

} // namespace corvane
