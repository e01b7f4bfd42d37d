#include "DownloadPlan.h"
#include "AccountTable.h"
#include "ClassCommands.h"
#include "ConfigTable.h"
#include "Criteria.h"
#include "Database.h"
#include "DepositTable.h"
#include "DiscountRules.h"
#include "DumpValues.h"
#include "FeeSettings.h"
#include "General.h"
#include "RateTables.h"
#include "Recordset.h"
#include "SwitchTables.h"
#include "TrunkTable.h"
#include "UserTable.h"

#include <optional>

namespace corvane {

qint64 DownloadPlan::totalMs() const
{
    qint64 total = 0;
    for (const SwitchCommand &c : commands)
        total += c.gapMs;
    return total;
}

QStringList DownloadPlan::starCodes() const
{
    QStringList out;
    for (const SwitchCommand &c : commands)
        if (c.kind == SwitchCommand::Kind::StarCode)
            out.append(c.text);
    return out;
}

namespace {

using namespace SwitchChoices;

constexpr int NormalGapMs = 100;
constexpr int NumberLengthGapMs = 10000; // the switch renumbers its extensions
constexpr int VirtualClearGapMs = 200;
constexpr int MaxPorts = 120;
constexpr int Trunks = 12;

const QString Yes = QStringLiteral("√");
const QString No = QStringLiteral("×");

// The first row of a table whose key column, trimmed, is `key`.
template <class Column>
QStringList rowByKey(Database &db, const QString &table, Column keyColumn, const QString &key)
{
    Recordset rs(db, table);
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        if (rs.value(int(keyColumn)).trimmed() == key)
            return rs.currentRow();
    return {};
}

// "08:30" (or "830", "0830") as the four digits the switch takes.
std::optional<QString> hhmm(const QString &text)
{
    const std::optional<QTime> t = ClockTime(text);
    if (!t)
        return std::nullopt;
    return t->toString(QStringLiteral("HHmm"));
}

class Builder {
public:
    explicit Builder(Database &db) : m_db(db), m_users(db) {}
    Checked<DownloadPlan> build();

private:
    void send(const QString &code, int gapMs = NormalGapMs)
    {
        m_plan.commands.append({SwitchCommand::Kind::StarCode, code, gapMs});
    }
    void sendClock() { m_plan.commands.append({SwitchCommand::Kind::Clock, QString(), NormalGapMs}); }
    // A pause where the order waits although it sent nothing.
    void pause(int ms = NormalGapMs)
    {
        if (!m_plan.commands.isEmpty())
            m_plan.commands.last().gapMs += ms;
    }
    void note(const QString &text) { m_plan.notes.append(text); }
    // Position of a stored text in its list, as the digit the switch takes.
    std::optional<QString> position(const QString &text, const QStringList &list) const
    {
        const int i = ChoiceIndex(text, list);
        if (i < 0)
            return std::nullopt;
        return QString::number(i);
    }

    void extensions(int capacity);
    void trunks();
    void trunkNumbersAndWorkdays();
    void agents();
    void delays();
    void ipCards();
    void localPrefixes();
    void specialNumbers();
    void accounts();

    Database &m_db;
    UserTable m_users;
    DownloadPlan m_plan;
    ConfigRow m_config;
};

void Builder::extensions(int capacity)
{
    const QList<UserRow> users = m_users.all().value_or(QList<UserRow>());
    const DepositTable deposits(m_db);
    for (int p = 0; p < capacity; ++p) {
        const QString port = QString::number(p);
        const UserRow *u = FirstWith(users, port, [](const UserRow &r) { return r.port(); });
        if (!u) {
            note(QStringLiteral("物理端口%1没有用户资料，未下传。").arg(p));
            continue;
        }
        const QString number = u->number();
        if (!IsDigits(number)) {
            note(QStringLiteral("物理端口%1的用户号码“%2”不是数字，该分机未下传。")
                     .arg(p)
                     .arg(u->get(UserField::Number)));
            continue;
        }
        const QString tail = QStringLiteral("*") + number + QStringLiteral("#");
        send(QStringLiteral("*11*") + port + tail);

        const QString cls = u->cls();
        if (IsDigits(cls))
            send(QStringLiteral("*10*") + cls + tail);
        else
            note(QStringLiteral("分机%1的等级“%2”无效，未下传。").arg(number, u->get(UserField::Class)));

        struct Mark {
            const char *code;
            UserField field;
        };
        // "*15*" (the extension's sixth switch) too: the dump does not
        // carry it, so only a download sets it again.
        static const Mark marks[] = {{"*59*", UserField::CallerDisplay}, {"*15*", UserField::ExtraFunction},
                                     {"*41*", UserField::DialLocal},     {"*40*", UserField::DialSpecial},
                                     {"*42*", UserField::CallInternal},  {"*43*", UserField::TrunkIn}};
        for (const Mark &m : marks) {
            if (const auto d = position(u->get(m.field), CheckMarks()))
                send(QLatin1String(m.code) + *d + tail);
            else
                note(QStringLiteral("分机%1第%2列“%3”不是“√”或“×”，%4未下传。")
                         .arg(number)
                         .arg(int(m.field))
                         .arg(u->get(m.field), QLatin1String(m.code)));
        }

        const QString group = u->get(UserField::TrunkGroup).trimmed();
        if (IsDigits(group))
            send(QStringLiteral("*48*") + group + tail);
        else
            note(QStringLiteral("分机%1的中继分组“%2”无效，未下传。").arg(number, u->get(UserField::TrunkGroup)));

        // Dialling password: only a deposit user whose password is in force has one.
        QString password = QStringLiteral("0");
        if (u->prepaid()) {
            const auto own = deposits.ofExtension(u->port());
            if (own && *own && (*own)->get(DepositField::PasswordOn) == Yes
                && IsDigits((*own)->get(DepositField::Password).trimmed()))
                password = (*own)->get(DepositField::Password).trimmed();
        }
        send(QStringLiteral("*67*") + port + QStringLiteral("*") + password + QStringLiteral("#"));

        const QString limit = u->get(UserField::TimeLimit).trimmed();
        if (IsDigits(limit))
            send(QStringLiteral("*61*") + limit + tail);
        else
            note(QStringLiteral("分机%1的呼出时限“%2”无效，未下传。").arg(number, u->get(UserField::TimeLimit)));
    }
}

void Builder::trunks()
{
    const QList<TrunkRow> rows = TrunkTable(m_db).all().value_or(QList<TrunkRow>());
    for (int t = 1; t <= Trunks; ++t) {
        const QString trunk = QString::number(t);
        const TrunkRow *ex = FirstWith(rows, trunk, [](const TrunkRow &r) { return r.trunk(); });
        if (!ex) {
            note(QStringLiteral("%1号中继没有设置行，未下传。").arg(t));
            continue;
        }
        const QString tail = QStringLiteral("*") + trunk + QStringLiteral("#");
        struct Choice {
            const char *code;
            TrunkField field;
            const QStringList &(*list)();
        };
        static const Choice choices[] = {{"*44*", TrunkField::OnOff, &CheckMarks},
                                         {"*05*", TrunkField::ChargeMode, &ChargeModes},
                                         {"*06*", TrunkField::IncomingMode, &IncomingModes},
                                         {"*07*", TrunkField::DialMode, &DialModes},
                                         {"*08*", TrunkField::OutgoingMode, &OutgoingModes}};
        for (const Choice &c : choices) {
            if (const auto d = position(ex->get(c.field), c.list()))
                send(QLatin1String(c.code) + *d + tail);
            else
                note(QStringLiteral("%1号中继第%2列“%3”不在可选值中，%4未下传。")
                         .arg(t)
                         .arg(int(c.field))
                         .arg(ex->get(c.field), QLatin1String(c.code)));
        }
        const QString route = ex->get(TrunkField::Route).trimmed();
        if (IsDigits(route))
            send(QStringLiteral("*09*") + route + tail);
        else
            note(QStringLiteral("%1号中继的路由局向“%2”无效，未下传。").arg(t).arg(ex->get(TrunkField::Route)));

        if (ex->get(TrunkField::OutgoingMode) == QStringLiteral("间局")) {
            const QString direction = ex->get(TrunkField::IndirectDirection).trimmed();
            if (IsDigits(direction))
                send(QStringLiteral("*08*1*") + trunk + QStringLiteral("*") + direction + QStringLiteral("#"));
            else {
                note(QStringLiteral("%1号中继的间局局向“%2”无效，未下传。")
                         .arg(t)
                         .arg(ex->get(TrunkField::IndirectDirection)));
                pause();
            }
        } else {
            pause();
        }

        if (const auto d = position(ex->get(TrunkField::CallerDisplay), CheckMarks()))
            send(QStringLiteral("*60*") + *d + tail);
        else
            note(QStringLiteral("%1号中继的来电显示“%2”不是“√”或“×”，未下传。")
                     .arg(t)
                     .arg(ex->get(TrunkField::CallerDisplay)));
        const QString group = ex->get(TrunkField::Group).trimmed();
        if (IsDigits(group))
            send(QStringLiteral("*47*") + group + tail);
        else
            note(QStringLiteral("%1号中继的分组“%2”无效，未下传。").arg(t).arg(ex->get(TrunkField::Group)));

        send(QStringLiteral("*12*0*") + trunk + QStringLiteral("#"), VirtualClearGapMs);
        for (int k = 0; k < VirtualOperators; ++k) {
            const QString port = ex->get(VirtualField(k)).trimmed();
            if (port.isEmpty())
                continue;
            const QString number = m_users.numberOf(port).trimmed();
            if (IsDigits(number))
                send(QStringLiteral("*12*") + number + tail);
            else
                note(QStringLiteral("%1号中继的虚拟总机“%2”无效，未下传。").arg(t).arg(port));
        }
    }
}

void Builder::trunkNumbersAndWorkdays()
{
    send(QStringLiteral("*77*0#"));
    for (int t = 1; t <= Trunks; ++t) {
        const QString trunk = QString::number(t);
        const QStringList row = rowByKey(m_db, SwitchTables::Workdays, FeeSettings::Trunk, trunk);
        if (row.isEmpty()) {
            note(QStringLiteral("%1号中继没有工作日设置行，未下传。").arg(t));
            continue;
        }
        const QString key = row.value(FeeSettings::Trunk).trimmed();
        if (ValInt(key) > 1) {
            const QString outside = row.value(FeeSettings::OutsideNumber).trimmed();
            if (IsDigits(outside))
                send(QStringLiteral("*77*") + key + QStringLiteral("*") + outside + QStringLiteral("#"));
            else {
                if (!outside.isEmpty() && outside != FeeSettings::NoSetting())
                    note(QStringLiteral("%1号中继的外线号码“%2”不是数字，未下传。")
                             .arg(t)
                             .arg(row.value(FeeSettings::OutsideNumber)));
                pause();
            }
        }

        if (row.value(FeeSettings::WorkdayOn) != Yes) {
            send(QStringLiteral("*86*0*") + trunk + QStringLiteral("#"));
            continue;
        }
        const QString first = row.value(FeeSettings::FirstDay).trimmed();
        const QString last = row.value(FeeSettings::LastDay).trimmed();
        const auto a = hhmm(row.value(FeeSettings::Period1Start)), b = hhmm(row.value(FeeSettings::Period1End)),
                   c = hhmm(row.value(FeeSettings::Period2Start)), d = hhmm(row.value(FeeSettings::Period2End));
        if (!IsDigits(first) || !IsDigits(last) || !a || !b || !c || !d) {
            note(QStringLiteral("%1号中继的工作日或时段无效，工作日设置未下传。").arg(t));
            continue;
        }
        send(QStringLiteral("*86*") + first + QStringLiteral("*") + last + QStringLiteral("*") + key
             + QStringLiteral("#"));
        send(QStringLiteral("*85*") + *a + *b + QStringLiteral("*") + *c + *d + QStringLiteral("*") + key
             + QStringLiteral("#"));
    }
}

void Builder::agents()
{
    send(QStringLiteral("*49*0#"));
    for (int k = 0; k < AgentCount; ++k) {
        const QString port = m_config.get(AgentField(k)).trimmed();
        if (!port.isEmpty()) {
            const QString number = m_users.numberOf(port).trimmed();
            if (IsDigits(number)) {
                send(QStringLiteral("*49*") + number + QStringLiteral("#"));
                continue;
            }
            note(QStringLiteral("代理总机%1“%2”无效，未下传。").arg(k + 1).arg(port));
        }
        pause();
    }
}

void Builder::delays()
{
    const Recordset fee(m_db, SwitchTables::Delays);
    if (!fee.hasCurrent()) {
        note(QStringLiteral("没有计费延时设置，未下传。"));
        return;
    }
    struct Delay {
        const char *code;
        DelayColumn column;
    };
    static const Delay list[] = {{"*27*", DelayColumn::International},
                                 {"*24*", DelayColumn::Domestic},
                                 {"*21*", DelayColumn::Local},
                                 {"*17*", DelayColumn::City},
                                 {"*53*", DelayColumn::Mobile}};
    for (const Delay &d : list) {
        const QString v = fee.value(int(d.column)).trimmed();
        if (IsDigits(v))
            send(QLatin1String(d.code) + v + QStringLiteral("#"));
        else
            note(QStringLiteral("计费延时“%1”无效，%2未下传。").arg(fee.value(int(d.column)), QLatin1String(d.code)));
    }
}

void Builder::ipCards()
{
    for (int t = 1; t <= Trunks; ++t) {
        const QString entry = QString::number(t);
        const QStringList ip = rowByKey(m_db, SwitchTables::IP, IPColumn::Entry, entry);
        if (cell(ip, IPColumn::On) != Yes) {
            send(QStringLiteral("*81*0*") + entry + QStringLiteral("#"));
            continue;
        }
        const auto language = position(cell(ip, IPColumn::Language), LanguageChoices());
        QStringList codes;
        for (IPColumn c : {IPColumn::Pause1, IPColumn::Pause2, IPColumn::Pause3, IPColumn::Pause4}) {
            const int i = ChoiceIndex(cell(ip, c), DelayChoices());
            if (i >= 0)
                codes.append(DelayCodes().at(i));
        }
        const QString access = cell(ip, IPColumn::AccessCode), card = cell(ip, IPColumn::Card),
                      password = cell(ip, IPColumn::Password), key = cell(ip, IPColumn::Entry);
        if (!language || codes.size() != 4 || !IsDigits(access) || !IsDigits(card) || !IsDigits(password)
            || !IsDigits(key)) {
            note(QStringLiteral("IP卡%1的资料不全或无效，未下传。").arg(t));
            continue;
        }
        send(QStringLiteral("*81*") + access + QStringLiteral("*") + QString::number(language->toInt() + 1)
             + QStringLiteral("*") + card + QStringLiteral("*") + password + QStringLiteral("*") + key
             + QStringLiteral("#"));
        send(QStringLiteral("*82*") + codes.join(QLatin1Char('*')) + QStringLiteral("*") + entry + QStringLiteral("#"));
    }

    // IP dialling without a card number. The stored interval is the index of
    // the option chosen in the rate window, so it is sent with that window's
    // codes.
    const QStringList noCard = rowByKey(m_db, SwitchTables::IP, NoCardColumn::Entry, DiscountRules::NoCardEntry);
    if (cell(noCard, NoCardColumn::On).trimmed() == QLatin1String("1")) {
        const QString number = cell(noCard, NoCardColumn::Number).trimmed();
        const QString index = cell(noCard, NoCardColumn::Interval).trimmed();
        const int i = IsDigits(index) ? index.toInt() : -1;
        if (IsDigits(number) && i >= 0 && i < IntervalCodes().size()) {
            send(QStringLiteral("*83*") + number + QStringLiteral("#"));
            send(QStringLiteral("*84*") + IntervalCodes().at(i) + QStringLiteral("#"));
            return;
        }
        note(QStringLiteral("无卡号IP电话的号码或时间间隔无效，未下传。"));
        return;
    }
    send(QStringLiteral("*83*0#"));
}

void Builder::localPrefixes()
{
    send(QStringLiteral("*20*0#"));
    Recordset rows(m_db, SwitchTables::Feerate, Criteria(QStringLiteral("类型"), QStringLiteral("5")),
                   Database::quoteId(QStringLiteral("区号")) + QStringLiteral(", rowid"));
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        const FeerateRow rate = FeerateRow::fromColumns(rows.currentRow());
        if (rate.area == QStringLiteral("本地默认"))
            continue;
        const QString prefix = rate.prefix.trimmed();
        if (IsDigits(prefix))
            send(QStringLiteral("*20*1*1*") + prefix + QStringLiteral("#"));
        else if (!prefix.isEmpty())
            note(QStringLiteral("本地网字头“%1”不是数字，未下传。").arg(rate.prefix));
    }
}

// The call accounts, which the dump does not carry: class and trunk group,
// open, and the dialling password of a deposit account (none otherwise), as
// the user window sends them.
void Builder::accounts()
{
    const auto rows = AccountTable(m_db).all();
    if (!rows) {
        note(QStringLiteral("账号未能读出，未下传：%1").arg(rows.reason()));
        return;
    }
    for (const AccountRow &a : *rows) {
        const QString n = a.number();
        const QString bare = QString::number(ValInt(n));
        if (!IsDigits(n) || !IsDigits(a.cls()) || !IsDigits(a.trunkGroup())) {
            note(QStringLiteral("账号“%1”的编号、等级或中继分组无效，未下传。").arg(n));
            continue;
        }
        send(ClassCommands::account(a.cls(), a.trunkGroup(), n));
        send(QStringLiteral("*74*1*1*") + bare + QStringLiteral("#"));
        const QString password = a.get(AccountField::Password).trimmed();
        send(QStringLiteral("*67*") + n + QStringLiteral("*")
             + (a.prepaid() && IsDigits(password) ? password : QStringLiteral("0")) + QStringLiteral("#"));
    }
}

void Builder::specialNumbers()
{
    send(QStringLiteral("*19*0#"));
    Recordset rows(m_db, SwitchTables::Special);
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        const QString stored = rows.value(int(SpecialColumn::Number));
        const QString number = stored.trimmed();
        if (IsDigits(number))
            send(QStringLiteral("*19*6*7*") + number + QStringLiteral("#"));
        else if (!number.isEmpty())
            note(QStringLiteral("特服号码“%1”不是数字，未下传。").arg(stored));
    }
}

Checked<DownloadPlan> Builder::build()
{
    if (!m_db.isOpen())
        return Checked<DownloadPlan>::refuse(QStringLiteral("数据库未打开"));
    const Checked<ConfigRow> config = ConfigTable(m_db).read();
    if (!config)
        return Checked<DownloadPlan>::refuse(config.reason() + QStringLiteral("，不能下传"));
    m_config = *config;
    const QString capacityText = m_config.get(ConfigField::Capacity).trimmed();
    if (!IsDigits(capacityText) || capacityText.size() > 3 || capacityText.toInt() > MaxPorts)
        return Checked<DownloadPlan>::refuse(
            QStringLiteral("用户容量“%1”不是0到120的整数，不能下传").arg(m_config.get(ConfigField::Capacity)));
    const int capacity = capacityText.toInt();

    send(QStringLiteral("*32*") + capacityText + QStringLiteral("#"));
    const QString length = m_config.get(ConfigField::NumberLength).trimmed();
    if (IsDigits(length))
        send(QStringLiteral("*04*") + length + QStringLiteral("#"), NumberLengthGapMs);
    else
        note(QStringLiteral("分机号长“%1”无效，未下传。").arg(m_config.get(ConfigField::NumberLength)));

    extensions(capacity);
    trunks();
    trunkNumbersAndWorkdays();

    struct Setting {
        ConfigField field;
        const char *code;
    };
    static const Setting settings[] = {
        {ConfigField::FunctionDigit, "*71*"}, {ConfigField::CodeLimit, "*80*"}, {ConfigField::Signal, "*73*"}};
    for (const Setting &f : settings) {
        const QString v = m_config.get(f.field).trimmed();
        if (IsDigits(v))
            send(QLatin1String(f.code) + v + QStringLiteral("#"));
        else
            note(QStringLiteral("系统设置第%1项“%2”无效，%3未下传。")
                     .arg(int(f.field))
                     .arg(m_config.get(f.field), QLatin1String(f.code)));
    }
    sendClock();
    agents();
    delays();
    ipCards();

    const QString night = m_config.get(ConfigField::NightPort).trimmed();
    const QString nightNumber = night.isEmpty() ? QString() : m_users.numberOf(night).trimmed();
    if (IsDigits(nightNumber))
        send(QStringLiteral("*50*") + nightNumber + QStringLiteral("#"));
    else
        note(QStringLiteral("夜服值班分机“%1”无效，未下传。").arg(night));

    localPrefixes();
    specialNumbers();
    accounts();
    return m_plan;
}

} // namespace

Checked<DownloadPlan> BuildDownload(Database &db) { return Builder(db).build(); }

} // namespace corvane
