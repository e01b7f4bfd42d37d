#include "OperatorGates.h"
#include "ConsoleContext.h"
#include "Operators.h"

namespace corvane {

bool PassGate(ConsoleContext &ctx, Right right, QWidget *parent)
{
    const Status s = CheckGate(ctx, right);
    if (s)
        return true;
    if (!ctx.login.OPLogin)
        ctx.messages.show(s.reason(), MessageService::defaultTitle(), MessageService::Icon::None,
                          MessageService::Buttons::Ok, parent);
    else
        ctx.messages.show(s.reason(), QStringLiteral("权限不够"), MessageService::Icon::Critical,
                          MessageService::Buttons::Ok, parent);
    return false;
}

bool MayDeleteBills(ConsoleContext &ctx, QWidget *parent)
{
    const Status s = CheckDeleteBills(ctx);
    if (!s)
        ctx.messages.show(s.reason(), QStringLiteral("权限不够"), MessageService::Icon::Critical,
                          MessageService::Buttons::Ok, parent);
    return bool(s);
}

} // namespace corvane
