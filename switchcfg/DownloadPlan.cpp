#include "DownloadPlan.h"
#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "DumpValues.h"
#include "General.h"
#include "Recordset.h"

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
QStringList rowByKey(Database &db, const QString &table, int keyColumn, const QString &key)
{
    Recordset rs(db, table);
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        if (rs.value(keyColumn).trimmed() == key)
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
    explicit Builder(Database &db) : m_db(db) {}
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

    Database &m_db;
    DownloadPlan m_plan;
    QStringList m_config;
};

void Builder::extensions(int capacity)
{
    Recordset users(m_db, QStringLiteral("User"));
    Recordset deposits(m_db, QStringLiteral("Foregift"));
    for (int p = 0; p < capacity; ++p) {
        const QString port = QString::number(p);
        QStringList u;
        for (users.moveFirst(); !users.eof(); users.moveNext()) {
            if (users.value(0).trimmed() == port) {
                u = users.currentRow();
                break;
            }
        }
        if (u.isEmpty()) {
            note(QStringLiteral("物理端口%1没有用户资料，未下传。").arg(p));
            continue;
        }
        const QString number = u.value(1).trimmed();
        if (!IsDigits(number)) {
            note(QStringLiteral("物理端口%1的用户号码“%2”不是数字，该分机未下传。").arg(p).arg(u.value(1)));
            continue;
        }
        const QString tail = QStringLiteral("*") + number + QStringLiteral("#");
        send(QStringLiteral("*11*") + port + tail);

        const QString cls = u.value(3).trimmed();
        if (IsDigits(cls))
            send(QStringLiteral("*10*") + cls + tail);
        else
            note(QStringLiteral("分机%1的等级“%2”无效，未下传。").arg(number, u.value(3)));

        struct Mark {
            const char *code;
            int column;
        };
        static const Mark marks[] = {{"*59*", 4}, {"*41*", 6}, {"*40*", 7}, {"*42*", 8}, {"*43*", 9}};
        for (const Mark &m : marks) {
            if (const auto d = position(u.value(m.column), CheckMarks()))
                send(QLatin1String(m.code) + *d + tail);
            else
                note(QStringLiteral("分机%1第%2列“%3”不是“√”或“×”，%4未下传。")
                         .arg(number)
                         .arg(m.column)
                         .arg(u.value(m.column), QLatin1String(m.code)));
        }

        const QString group = u.value(10).trimmed();
        if (IsDigits(group))
            send(QStringLiteral("*48*") + group + tail);
        else
            note(QStringLiteral("分机%1的中继分组“%2”无效，未下传。").arg(number, u.value(10)));

        // Dialling password: only a deposit user whose password is in force has one.
        QString password = QStringLiteral("0");
        if (u.value(12) == QStringLiteral("押金")) {
            Criteria own(QStringLiteral("物理端口"), u.value(0));
            own.andNe(QStringLiteral("用户号码"), QStringLiteral("账号"));
            if (deposits.findFirst(own) && deposits.value(7) == Yes && IsDigits(deposits.value(6).trimmed()))
                password = deposits.value(6).trimmed();
        }
        send(QStringLiteral("*67*") + port + QStringLiteral("*") + password + QStringLiteral("#"));

        const QString limit = u.value(11).trimmed();
        if (IsDigits(limit))
            send(QStringLiteral("*61*") + limit + tail);
        else
            note(QStringLiteral("分机%1的呼出时限“%2”无效，未下传。").arg(number, u.value(11)));
    }
}

void Builder::trunks()
{
    for (int t = 1; t <= Trunks; ++t) {
        const QString trunk = QString::number(t);
        const QStringList ex = rowByKey(m_db, QStringLiteral("Exchange"), 0, trunk);
        if (ex.isEmpty()) {
            note(QStringLiteral("%1号中继没有设置行，未下传。").arg(t));
            continue;
        }
        const QString tail = QStringLiteral("*") + trunk + QStringLiteral("#");
        struct Choice {
            const char *code;
            int column;
            const QStringList &(*list)();
        };
        static const Choice choices[] = {{"*44*", 1, &CheckMarks},
                                         {"*05*", 2, &ChargeModes},
                                         {"*06*", 3, &IncomingModes},
                                         {"*07*", 4, &DialModes},
                                         {"*08*", 5, &OutgoingModes}};
        for (const Choice &c : choices) {
            if (const auto d = position(ex.value(c.column), c.list()))
                send(QLatin1String(c.code) + *d + tail);
            else
                note(QStringLiteral("%1号中继第%2列“%3”不在可选值中，%4未下传。")
                         .arg(t)
                         .arg(c.column)
                         .arg(ex.value(c.column), QLatin1String(c.code)));
        }
        const QString route = ex.value(6).trimmed();
        if (IsDigits(route))
            send(QStringLiteral("*09*") + route + tail);
        else
            note(QStringLiteral("%1号中继的路由局向“%2”无效，未下传。").arg(t).arg(ex.value(6)));

        if (ex.value(5) == QStringLiteral("间局")) {
            const QString direction = ex.value(7).trimmed();
            if (IsDigits(direction))
                send(QStringLiteral("*08*1*") + trunk + QStringLiteral("*") + direction + QStringLiteral("#"));
            else {
                note(QStringLiteral("%1号中继的间局局向“%2”无效，未下传。").arg(t).arg(ex.value(7)));
                pause();
            }
        } else {
            pause();
        }

        if (const auto d = position(ex.value(8), CheckMarks()))
            send(QStringLiteral("*60*") + *d + tail);
        else
            note(QStringLiteral("%1号中继的来电显示“%2”不是“√”或“×”，未下传。").arg(t).arg(ex.value(8)));
        const QString group = ex.value(9).trimmed();
        if (IsDigits(group))
            send(QStringLiteral("*47*") + group + tail);
        else
            note(QStringLiteral("%1号中继的分组“%2”无效，未下传。").arg(t).arg(ex.value(9)));

        send(QStringLiteral("*12*0*") + trunk + QStringLiteral("#"), VirtualClearGapMs);
        for (int c = 10; c <= 14; ++c) {
            const QString port = ex.value(c).trimmed();
            if (port.isEmpty())
                continue;
            const QString number = PortToNumber(m_db, port).trimmed();
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
        const QStringList row = rowByKey(m_db, QStringLiteral("ExNO"), 0, trunk);
        if (row.isEmpty()) {
            note(QStringLiteral("%1号中继没有工作日设置行，未下传。").arg(t));
            continue;
        }
        const QString key = row.value(0).trimmed();
        if (ValInt(key) > 1) {
            const QString outside = row.value(8).trimmed();
            if (IsDigits(outside))
                send(QStringLiteral("*77*") + key + QStringLiteral("*") + outside + QStringLiteral("#"));
            else {
                if (!outside.isEmpty() && outside != QStringLiteral("无需设置"))
                    note(QStringLiteral("%1号中继的外线号码“%2”不是数字，未下传。").arg(t).arg(row.value(8)));
                pause();
            }
        }

        if (row.value(1) != Yes) {
            send(QStringLiteral("*86*0*") + trunk + QStringLiteral("#"));
            continue;
        }
        const QString first = row.value(2).trimmed();
        const QString last = row.value(3).trimmed();
        const auto a = hhmm(row.value(4)), b = hhmm(row.value(5)), c = hhmm(row.value(6)), d = hhmm(row.value(7));
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
    for (int k = 0; k < 5; ++k) {
        const QString port = m_config.value(9 + k).trimmed();
        if (!port.isEmpty()) {
            const QString number = PortToNumber(m_db, port).trimmed();
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
    const Recordset fee(m_db, QStringLiteral("Feesetting"));
    if (!fee.hasCurrent()) {
        note(QStringLiteral("没有计费延时设置，未下传。"));
        return;
    }
    struct Delay {
        const char *code;
        int column;
    };
    static const Delay list[] = {{"*27*", 0}, {"*24*", 1}, {"*21*", 2}, {"*17*", 3}, {"*53*", 4}};
    for (const Delay &d : list) {
        const QString v = fee.value(d.column).trimmed();
        if (IsDigits(v))
            send(QLatin1String(d.code) + v + QStringLiteral("#"));
        else
            note(QStringLiteral("计费延时“%1”无效，%2未下传。").arg(fee.value(d.column), QLatin1String(d.code)));
    }
}

void Builder::ipCards()
{
    for (int t = 1; t <= Trunks; ++t) {
        const QString entry = QString::number(t);
        const QStringList ip = rowByKey(m_db, QStringLiteral("IP"), 0, entry);
        if (ip.value(1) != Yes) {
            send(QStringLiteral("*81*0*") + entry + QStringLiteral("#"));
            continue;
        }
        const auto language = position(ip.value(4), LanguageChoices());
        QStringList codes;
        for (int c : {3, 5, 7, 9}) {
            const int i = ChoiceIndex(ip.value(c), DelayChoices());
            if (i >= 0)
                codes.append(DelayCodes().at(i));
        }
        const QString access = ip.value(2), card = ip.value(6), password = ip.value(8);
        if (!language || codes.size() != 4 || !IsDigits(access) || !IsDigits(card) || !IsDigits(password)
            || !IsDigits(ip.value(0))) {
            note(QStringLiteral("IP卡%1的资料不全或无效，未下传。").arg(t));
            continue;
        }
        send(QStringLiteral("*81*") + access + QStringLiteral("*") + QString::number(language->toInt() + 1)
             + QStringLiteral("*") + card + QStringLiteral("*") + password + QStringLiteral("*") + ip.value(0)
             + QStringLiteral("#"));
        send(QStringLiteral("*82*") + codes.join(QLatin1Char('*')) + QStringLiteral("*") + entry + QStringLiteral("#"));
    }

    // IP dialling without a card number. The stored interval is the index of
    // the option chosen in the rate window, so it is sent with that window's
    // codes.
    const QStringList noCard = rowByKey(m_db, QStringLiteral("IP"), 0, QStringLiteral("13"));
    if (noCard.value(1).trimmed() == QLatin1String("1")) {
        const QString number = noCard.value(2).trimmed();
        const QString index = noCard.value(3).trimmed();
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
    Recordset rows(m_db, QStringLiteral("Feerate"), Criteria(QStringLiteral("类型"), QStringLiteral("5")),
                   Database::quoteId(QStringLiteral("区号")) + QStringLiteral(", rowid"));
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        if (rows.value(1) == QStringLiteral("本地默认"))
            continue;
        const QString prefix = rows.value(0).trimmed();
        if (IsDigits(prefix))
            send(QStringLiteral("*20*1*1*") + prefix + QStringLiteral("#"));
        else if (!prefix.isEmpty())
            note(QStringLiteral("本地网字头“%1”不是数字，未下传。").arg(rows.value(0)));
    }
}

void Builder::specialNumbers()
{
    send(QStringLiteral("*19*0#"));
    Recordset rows(m_db, QStringLiteral("SPCPhone"));
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        const QString number = rows.value(0).trimmed();
        if (IsDigits(number))
            send(QStringLiteral("*19*6*7*") + number + QStringLiteral("#"));
        else if (!number.isEmpty())
            note(QStringLiteral("特服号码“%1”不是数字，未下传。").arg(rows.value(0)));
    }
}

Checked<DownloadPlan> Builder::build()
{
    if (!m_db.isOpen())
        return Checked<DownloadPlan>::refuse(QStringLiteral("数据库未打开"));
    const Recordset config(m_db, QStringLiteral("SWTConfig"));
    m_config = config.currentRow();
    if (m_config.isEmpty())
        return Checked<DownloadPlan>::refuse(QStringLiteral("数据库中没有系统设置（SWTConfig），不能下传"));
    const QString capacityText = m_config.value(0).trimmed();
    if (!IsDigits(capacityText) || capacityText.size() > 3 || capacityText.toInt() > MaxPorts)
        return Checked<DownloadPlan>::refuse(
            QStringLiteral("用户容量“%1”不是0到120的整数，不能下传").arg(m_config.value(0)));
    const int capacity = capacityText.toInt();

    send(QStringLiteral("*32*") + capacityText + QStringLiteral("#"));
    const QString length = m_config.value(3).trimmed();
    if (IsDigits(length))
        send(QStringLiteral("*04*") + length + QStringLiteral("#"), NumberLengthGapMs);
    else
        note(QStringLiteral("分机号长“%1”无效，未下传。").arg(m_config.value(3)));

    extensions(capacity);
    trunks();
    trunkNumbersAndWorkdays();

    for (int f : {4, 5, 6}) {
        static const char *const codes[] = {"*71*", "*80*", "*73*"};
        const QString v = m_config.value(f).trimmed();
        if (IsDigits(v))
            send(QLatin1String(codes[f - 4]) + v + QStringLiteral("#"));
        else
            note(QStringLiteral("系统设置第%1项“%2”无效，%3未下传。")
                     .arg(f)
                     .arg(m_config.value(f), QLatin1String(codes[f - 4])));
    }
    sendClock();
    agents();
    delays();
    ipCards();

    const QString night = m_config.value(7).trimmed();
    const QString nightNumber = night.isEmpty() ? QString() : PortToNumber(m_db, night).trimmed();
    if (IsDigits(nightNumber))
        send(QStringLiteral("*50*") + nightNumber + QStringLiteral("#"));
    else
        note(QStringLiteral("夜服值班分机“%1”无效，未下传。").arg(night));

    localPrefixes();
    specialNumbers();
    return m_plan;
}

} // namespace

Checked<DownloadPlan> BuildDownload(Database &db) { return Builder(db).build(); }

} // namespace corvane
