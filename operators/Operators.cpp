#include "Operators.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "Recordset.h"

namespace corvane {

namespace {
const QString kOpTable = QStringLiteral("OP");
const QString kOpRecTable = QStringLiteral("OPRec");
} // namespace

bool LoadOperator(ConsoleContext &ctx, Recordset &op, const QString &name)
{
    LoginState &s = ctx.login;
    s.OPLogin = false;
    if (!op.isValid() || op.columnCount() < 1)
        return false;
    if (!op.findFirst(Criteria(op.columnNames().at(0), name)))
        return false;
    op.read(0, s.OPName);
    op.read(1, s.OPCode);
    for (int i = 0; i < LoginState::RightCount; ++i)
        op.read(i + 2, s.OPRight[i]);
    return true;
}

QString OperatorRecordSerial(qint64 n)
{
    return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

bool AddOperatorRecord(ConsoleContext &ctx)
{
    LoginState &s = ctx.login;
    s.OPLogoutTime = ctx.stamp();
    auto count = ctx.db.scalar(QStringLiteral("SELECT count(*) FROM \"OPRec\""));
    const qint64 n = count ? count->toLongLong() : 0;
    Recordset rec = Recordset::forAppend(ctx.db, kOpRecTable);
    return WriteRecord(rec, true, {OperatorRecordSerial(n + 1), s.OPName, s.OPLoginTime, s.OPLogoutTime});
}

const QList<Right> &Rights()
{
    static const QList<Right> rights = {
        {0, QStringLiteral("客户/黑名单信息")}, {1, QStringLiteral("费率折价")},
        {2, QStringLiteral("计费设置")},        {3, QStringLiteral("话单查询与结算")},
        {4, QStringLiteral("用户参数设置")},    {5, QStringLiteral("交换机参数设置")},
        {6, QStringLiteral("交换机信息比照")},  {7, QStringLiteral("分机闹钟")},
        {8, QStringLiteral("参数备份与恢复")},  {9, QStringLiteral("操作员使用记录")},
        {10, QStringLiteral("删除话单权限")},
    };
    return rights;
}

GateResult CheckRight(const ConsoleContext &ctx, int right)
{
    if (!ctx.login.OPLogin)
        return GateResult::NotLoggedIn;
    if (ctx.login.right(right) != QStringLiteral("1"))
        return GateResult::NoRight;
    return GateResult::Allowed;
}

bool PassGate(ConsoleContext &ctx, int right, QWidget *parent)
{
    switch (CheckRight(ctx, right)) {
    case GateResult::NotLoggedIn:
        ctx.messages.show(QStringLiteral("您没有登录系统,请先登录!"), MessageService::defaultTitle(),
                          MessageService::Icon::None, MessageService::Buttons::Ok, parent);
        return false;
    case GateResult::NoRight:
        ctx.messages.show(QStringLiteral("您没有使用此功能的权限！"), QStringLiteral("权限不够"),
                          MessageService::Icon::Critical, MessageService::Buttons::Ok, parent);
        return false;
    case GateResult::Allowed:
        break;
    }
    return true;
}

bool MayDeleteBills(ConsoleContext &ctx, QWidget *parent)
{
    if (ctx.login.right(10).trimmed() == QStringLiteral("0")) {
        ctx.messages.show(QStringLiteral("您没有删除话单的权限！"), QStringLiteral("权限不够"),
                          MessageService::Icon::Critical, MessageService::Buttons::Ok, parent);
        return false;
    }
    return true;
}

} // namespace corvane
