#pragma once
#include "LoginState.h"
#include <QString>

namespace corvane {

// The eleven rights of an operator, in the order of the OP columns 2..12 and
// of the login state's OPRight. The first ten gate the working windows of the
// main window's menus; DeleteBills gates deleting listed call records.
enum class Right {
    Clients = 0,      // 客户/黑名单信息
    Discounts,        // 费率折价
    FeeSettings,      // 计费设置
    CallQuery,        // 话单查询与结算
    UserParameters,   // 用户参数设置
    SwitchParameters, // 交换机参数设置
    SwitchComparison, // 交换机信息比照
    AlarmClock,       // 分机闹钟
    Backup,           // 参数备份与恢复
    OperatorRecord,   // 操作员使用记录
    DeleteBills,      // 删除话单权限
};

constexpr int RightIndex(Right r) { return static_cast<int>(r); }
static_assert(RightIndex(Right::DeleteBills) + 1 == LoginState::RightCount);

// The OP column that holds a right.
constexpr int RightColumn(Right r) { return 2 + RightIndex(r); }

// The logged-in operator's value of a right, as stored ("1" grants it).
inline QString RightValue(const LoginState &s, Right r) { return s.right(RightIndex(r)); }

} // namespace corvane
