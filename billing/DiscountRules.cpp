#include "DiscountRules.h"

#include "General.h"
#include "Money.h"

#include <cmath>

namespace corvane {
namespace DiscountRules {

namespace {

const QString Star = QStringLiteral("*");
const QString Hash = QStringLiteral("#");

// A number the editor takes (not a number, not whole, too long, too large).
struct NumberRule {
    bool decimals;
    int maxLength;
    double maxValue;
    const char16_t *notNumber;
    const char16_t *notWhole;
    const char16_t *tooLong;
    const char16_t *tooLarge;

    Status check(const QString &text) const
    {
        auto s = [](const char16_t *t) { return t ? QString::fromUtf16(t) : QString(); };
        return CheckNumber(text, decimals, maxLength, maxValue, s(notNumber), s(notWhole), s(tooLong), s(tooLarge));
    }
};

const NumberRule PrefixRule{false,  8, 0, u"请输入数字作为区号！", u"请输入整数作为区号！", u"区号最大为8位整数！",
                            nullptr};
const NumberRule LocalPrefixRule{
    false, 4, 0, u"请输入数字作为区号！", u"请输入整数作为区号！", u"本地网字头最大为4位整数！", nullptr};
const NumberRule TimeRule{false,  4, 0, u"请输入数字作为时长！", u"请输入整数作为时长！", u"时长最大为4位整数！",
                          nullptr};
const NumberRule ChargeRule{true, 5, 100, u"请输入数字作为费率！", nullptr, u"费率最大为99.99！", u"费率最大为99.99！"};
const NumberRule FeeRule{true,
                         6,
                         1000,
                         u"请输入数字作为手续费/附加费！",
                         nullptr,
                         u"手续费/附加费最大为999.99！",
                         u"手续费/附加费最大为999.99！"};
const NumberRule PercentRule{true,
                             6,
                             100,
                             u"请输入数字作为百分比手续费/附加费！",
                             nullptr,
                             u"百分比手续费/附加费最大为100！",
                             u"手续费/附加费百分比最大为100！"};

const NumberRule AccessCodeRule{
    false, 6, 0, u"请输入数字作为切入码！", u"请输入整数作为切入码！", u"切入码最大为6位整数！", nullptr};
const NumberRule PasswordRule{false,  6, 0, u"请输入数字作为密码！", u"请输入整数作为密码！", u"密码最大为6位整数！",
                              nullptr};
constexpr int MaxCardNumberLength = 14;

const NumberRule DiscountRateRule{false,
                                  3,
                                  100,
                                  u"请输入数字作为折扣率！",
                                  u"请输入整数作为折扣率！",
                                  u"折扣率最大为3位整数！",
                                  u"折扣率最大为100！"};
constexpr int MaxTimeLength = 5;

const NumberRule MonthRule{
    false, 2, 12, u"请输入数字作为月份！", u"请输入整数作为月份！", u"月份最大为2位整数！", u"月份最大为12！"};
const NumberRule DayRule{
    false, 2, 31, u"请输入数字作为日期！", u"请输入整数作为日期！", u"日期最大为2位整数！", u"日期最大为31！"};

QString pauseCode(const QString &text)
{
    const int i = ChoiceIndex(text, CardPauseTexts());
    return i < 0 ? QString() : CardPauseCodes().at(i);
}

} // namespace

const QStringList &CardPauseTexts()
{
    static const QStringList list{QStringLiteral("100ms"), QStringLiteral("500ms"), QStringLiteral("1.5s"),
                                  QStringLiteral("2s"), QStringLiteral("2.5s")};
    return list;
}

const QStringList &CardPauseCodes()
{
    static const QStringList list{QStringLiteral("10"), QStringLiteral("50"), QStringLiteral("150"),
                                  QStringLiteral("200"), QStringLiteral("250")};
    return list;
}

const QStringList &LanguageChoices()
{
    static const QStringList list{QStringLiteral("中文"), QStringLiteral("英文")};
    return list;
}

const QStringList &IntervalCaptions()
{
    static const QStringList list{QStringLiteral("10毫秒"), QStringLiteral("100毫秒"), QStringLiteral("500毫秒"),
                                  QStringLiteral("1.5秒"), QStringLiteral("2.5秒")};
    return list;
}

const QStringList &IntervalCodes()
{
    static const QStringList list{QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("50"),
                                  QStringLiteral("150"), QStringLiteral("250")};
    return list;
}

// ---- Feerate -------------------------------------------------------------------

QString DefaultRateName(const QString &typeName) { return typeName + QStringLiteral("默认"); }
QString NewRateName(const QString &typeName) { return typeName + QStringLiteral("新添加"); }
bool IsDefaultRateText(const QString &text) { return text.contains(QStringLiteral("默认")); }

bool FeerateColumnEditable(int tab, int column)
{
    if (column < 0 || column >= FeerateGridColumns)
        return false;
    // Incoming calls have no prefix of their own: one row, fixed name, no discount.
    if (tab == IncomingTab && (column == 0 || column == 1 || column == DiscountMarkColumn))
        return false;
    return true;
}

Checked<QString> CheckFeerateCell(int tab, int column, const QString &text)
{
    using R = Checked<QString>;
    switch (column) {
    case 0:
        if (Status s = PrefixRule.check(text); !s)
            return R::refuse(s.reason());
        // The switch holds local-network prefixes of at most four digits.
        if (tab == LocalTab)
            if (Status s = LocalPrefixRule.check(text); !s)
                return R::refuse(s.reason());
        return text;
    case 1:
        if (text.size() > MaxAreaLength)
            return R::refuse(QStringLiteral("地区最长为40个英文或者20个中文字母！"));
        return text;
    case 2:
    case 4:
        if (Status s = TimeRule.check(text); !s)
            return R::refuse(s.reason());
        return text;
    case 3:
    case 5:
        if (Status s = ChargeRule.check(text); !s)
            return R::refuse(s.reason());
        return Money::fromText(text).toText();
    case 6:
    case 8:
        if (Status s = FeeRule.check(text); !s)
            return R::refuse(s.reason());
        return Money::fromText(text).toText();
    case 7:
    case 9:
        if (Status s = PercentRule.check(text); !s)
            return R::refuse(s.reason());
        return text;
    default: return R::refuse(QStringLiteral("这一列不能修改！"));
    }
}

Checked<QString> CheckBatchValue(int tab, int column, const QString &text, const QStringList &marks)
{
    if (column == DiscountMarkColumn) {
        const QString t = text.trimmed();
        if (marks.size() == 2 && (t == QStringLiteral("0") || t == QStringLiteral("1")))
            return marks.at(t == QStringLiteral("1") ? 1 : 0);
        return Checked<QString>::refuse(QStringLiteral("请输入0（×）或1（√）！"));
    }
    if (column < 2 || column > 9)
        return Checked<QString>::refuse(QStringLiteral("第一列和第二列无法进行批量修改！"));
    return CheckFeerateCell(tab, column, text);
}

QStringList LocalPrefixChangeCommands(const QString &oldPrefix, const QString &newPrefix)
{
    QStringList out;
    const QString remove = LocalPrefixRemoveCommand(oldPrefix);
    if (!remove.isEmpty())
        out << remove;
    out << QStringLiteral("*20*1*1*") + newPrefix + Hash;
    return out;
}

QString LocalPrefixRemoveCommand(const QString &prefix)
{
    if (prefix.isEmpty())
        return QString();
    return QStringLiteral("*20*0*") + prefix + Hash;
}

// ---- IP -------------------------------------------------------------------------

bool IsIPPauseColumn(int column) { return column == 3 || column == 5 || column == 7 || column == 9; }
bool IsIPTextColumn(int column) { return column == 2 || column == 6 || column == 8; }

Checked<QString> CheckIPCell(int column, const QString &text)
{
    using R = Checked<QString>;
    switch (column) {
    case 2:
        if (Status s = AccessCodeRule.check(text); !s)
            return R::refuse(s.reason());
        return text;
    case 6:
        // Digits only: the card number is keyed into the switch digit by digit.
        if (!IsDigits(text) || text.size() > MaxCardNumberLength)
            return R::refuse(QStringLiteral("卡号必须是数字，最长为14位！"));
        return text;
    case 8:
        if (Status s = PasswordRule.check(text); !s)
            return R::refuse(s.reason());
        return text;
    default: return R::refuse(QStringLiteral("这一列不能修改！"));
    }
}

bool IPCardComplete(const IPRow &row)
{
    for (IPField f : {IPField::Code, IPField::Delay1, IPField::Language, IPField::Delay2, IPField::Card,
                      IPField::Delay3, IPField::Password, IPField::Delay4})
        if (row.get(f).isEmpty())
            return false;
    return true;
}

std::optional<QString> IPCardCommand(const IPRow &row)
{
    const QString entry = row.get(IPField::Entry);
    const QString code = row.get(IPField::Code);
    const QString card = row.get(IPField::Card);
    const QString password = row.get(IPField::Password);
    const int language = ChoiceIndex(row.get(IPField::Language), LanguageChoices());
    if (!IsDigits(entry) || !IsDigits(code) || !IsDigits(card) || !IsDigits(password) || language < 0)
        return std::nullopt;
    return QStringLiteral("*81*") + code + Star + QString::number(language + 1) + Star + card + Star + password + Star
           + entry + Hash;
}

std::optional<QString> IPPauseCommand(const IPRow &row)
{
    const QString entry = row.get(IPField::Entry);
    if (!IsDigits(entry))
        return std::nullopt;
    QString out = QStringLiteral("*82*");
    for (IPField f : {IPField::Delay1, IPField::Delay2, IPField::Delay3, IPField::Delay4}) {
        const QString code = pauseCode(row.get(f));
        if (code.isEmpty())
            return std::nullopt;
        out += code + Star;
    }
    return out + entry + Hash;
}

QString IPCardOffCommand(const QString &entry) { return QStringLiteral("*81*0*") + entry + Hash; }

Checked<QString> CheckIPNumber(const QString &text, bool turnOn)
{
    const QString number = text.trimmed();
    if (number.isEmpty() && !turnOn)
        return number;
    // The number is keyed into the switch; "*" or "#" in it would start
    // another field or end the code early.
    if (!IsDigits(number))
        return Checked<QString>::refuse(QStringLiteral("请输入数字作为切入IP方式的电话号码！"));
    return number;
}

QStringList NoCardIPCommands(bool turnOn, const QString &number, int interval)
{
    if (!turnOn)
        return {QStringLiteral("*83*0#")};
    const QString code = IntervalCodes().value(interval, IntervalCodes().first());
    return {QStringLiteral("*83*") + number + Hash, QStringLiteral("*84*") + code + Hash};
}

// ---- Discount -------------------------------------------------------------------

bool IsDiscountMarkColumn(int c) { return c == 1 || c == 5 || c == 9 || c == 11 || c == 13; }
bool IsDiscountTimeColumn(int c) { return c == 2 || c == 3 || c == 6 || c == 7; }
bool IsDiscountRateColumn(int c) { return c == 4 || c == 8 || c == 10 || c == 12 || c == 14; }

QStringList DiscountGroupCaptions()
{
    const QString a = QStringLiteral("时段A"), b = QStringLiteral("时段B");
    const QString sat = QStringLiteral("星期六"), sun = QStringLiteral("星期天"), hol = QStringLiteral("节假日");
    return {QStringLiteral("类型"), a, a, a, a, b, b, b, b, sat, sat, sun, sun, hol, hol};
}

QString FormatBandTime(const QString &text)
{
    if (text.contains(u':') || !IsNumeric(text))
        return text;
    // "HHMM" typed without the colon, as the "00:00" pattern writes a number.
    const qint64 n = qint64(std::llround(Val(text)));
    const qint64 a = n < 0 ? -n : n;
    return QStringLiteral("%1%2:%3")
        .arg(n < 0 ? QStringLiteral("-") : QString())
        .arg(a / 100, 2, 10, QLatin1Char('0'))
        .arg(a % 100, 2, 10, QLatin1Char('0'));
}

Checked<QString> CheckDiscountCell(int column, const QString &text)
{
    if (IsDiscountTimeColumn(column)) {
        if (text.isEmpty() || text.size() > MaxTimeLength)
            return Checked<QString>::refuse(QStringLiteral("时间不能为空，最长为5位！"));
        return FormatBandTime(text);
    }
    if (IsDiscountRateColumn(column)) {
        if (Status s = DiscountRateRule.check(text); !s)
            return Checked<QString>::refuse(s.reason());
        return text;
    }
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改！"));
}

// ---- Holiday --------------------------------------------------------------------

QString TwoDigits(const QString &text) { return QStringLiteral("%1").arg(ValInt(text), 2, 10, QLatin1Char('0')); }

Checked<QString> CheckHolidayCell(int column, const QString &text)
{
    using R = Checked<QString>;
    switch (column) {
    case 0:
        if (text.isEmpty() || text.size() > MaxHolidayNameLength)
            return R::refuse(QStringLiteral("节日名称最长为10位，并且不能为空！"));
        return text;
    case 1:
        if (Status s = MonthRule.check(text); !s)
            return R::refuse(s.reason());
        return TwoDigits(text);
    case 2:
        if (Status s = DayRule.check(text); !s)
            return R::refuse(s.reason());
        return TwoDigits(text);
    default: return R::refuse(QStringLiteral("这一列不能修改！"));
    }
}

} // namespace DiscountRules
} // namespace corvane
