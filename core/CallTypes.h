#pragma once
#include <QString>
#include <QStringList>

namespace corvane {

// Call-type names in code order: the code stored in Feerate "类型" and PHNBill
// is the position here; Discount rows are keyed by the name.
inline constexpr int kCallTypeCount = 10;

inline QString callTypeName(int code)
{
    static const char16_t *const names[kCallTypeCount] = {
        u"港澳台", u"国际", u"国内", u"移动电话", u"信息台", u"本地", u"网络电话", u"虚拟网", u"市话", u"呼入",
    };
    if (code < 0 || code >= kCallTypeCount)
        return QString();
    return QString::fromUtf16(names[code]);
}

inline QStringList callTypeNames()
{
    QStringList all;
    for (int code = 0; code < kCallTypeCount; ++code)
        all << callTypeName(code);
    return all;
}

} // namespace corvane
