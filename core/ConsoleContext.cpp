#include "ConsoleContext.h"

namespace corvane {

void ConsoleContext::BuildLists()
{
    CallTypeNames = {QStringLiteral("港澳台"), QStringLiteral("国际"),   QStringLiteral("国内"),
                     QStringLiteral("移动电话"), QStringLiteral("信息台"), QStringLiteral("本地"),
                     QStringLiteral("网络电话"), QStringLiteral("虚拟网"), QStringLiteral("市话"),
                     QStringLiteral("呼入")};
    CheckMarks = {QStringLiteral("×"), QStringLiteral("√")};
}

QString ConsoleContext::stamp() const
{
    return clock.now().toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss"));
}

} // namespace corvane
