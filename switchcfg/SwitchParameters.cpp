#include "SwitchParameters.h"

#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "DumpValues.h"
#include "General.h"
#include "SwitchTables.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace corvane {

namespace {

const QString Indirect = QStringLiteral("间局");

constexpr int NormalGapMs = 100;
constexpr int NumberLengthGapMs = 10000;
constexpr int MaxCapacity = 120;

QString star(const QString &code, const QStringList &args)
{
    return QStringLiteral("*") + code + QStringLiteral("*") + args.join(QLatin1Char('*')) + QStringLiteral("#");
}

Status notStored(const Status &s) { return s.context(QStringLiteral("设置未能保存")); }

struct NumberCheck {
    int maxLength;
    double maxValue;
    QString notNumber, notWhole, tooLong, tooLarge;
};

Checked<QString> checked(const QString &text, const NumberCheck &k)
{
    const QString t = text.trimmed();
    if (Status s = CheckNumber(t, false, k.maxLength, k.maxValue, k.notNumber, k.notWhole, k.tooLong, k.tooLarge); !s)
        return Checked<QString>::refuse(s.reason());
    return t;
}

// A value the switch reads as a number is stored as it holds it: "04" is 4.
Checked<QString> number(const QString &text, const NumberCheck &k)
{
    const Checked<QString> v = checked(text, k);
    if (!v)
        return v;
    return QString::number(ValInt(*v));
}

bool isVirtual(TrunkField f) { return f >= TrunkField::Virtual1 && f <= TrunkField::Virtual5; }

// The trunk settings with a number check: length, limit and the messages.
const NumberCheck *trunkCheck(TrunkField field)
{
    static const NumberCheck route{1,
                                   9,
                                   QStringLiteral("请输入数字作为局向！"),
                                   QStringLiteral("请输入整数作为局向！"),
                                   QStringLiteral("局向最大为9！"),
                                   QStringLiteral("局向最大为9！")};
    static const NumberCheck indirect{2,
                                      99,
                                      QStringLiteral("请输入数字作为间局局向！"),
                                      QStringLiteral("请输入整数作为间局局向！"),
                                      QStringLiteral("间局局向最大为99！"),
                                      QStringLiteral("间局局向最大为99！")};
    static const NumberCheck group{2,
                                   12,
                                   QStringLiteral("请输入数字作为中继分组！"),
                                   QStringLiteral("请输入整数作为中继分组！"),
                                   QStringLiteral("中继分组最大为12！"),
                                   QStringLiteral("中继分组最大为12！")};
    static const NumberCheck virtualOp{8,
                                       99999999,
                                       QStringLiteral("请输入整数作为虚拟总机号码！"),
                                       QStringLiteral("请输入整数作为虚拟总机号码！"),
                                       QStringLiteral("虚拟总机号码最长为8位！"),
                                       QStringLiteral("虚拟总机号码最长为8位！")};
    switch (field) {
    case TrunkField::Route: return &route;
    case TrunkField::IndirectDirection: return &indirect;
    case TrunkField::Group: return &group;
    default: return isVirtual(field) ? &virtualOp : nullptr;
    }
}

const char *trunkCode(TrunkField field)
{
    switch (field) {
    case TrunkField::OnOff: return "44";
    case TrunkField::ChargeMode: return "05";
    case TrunkField::IncomingMode: return "06";
    case TrunkField::DialMode: return "07";
    case TrunkField::CallerDisplay: return "60";
    default: return nullptr;
    }
}

} // namespace

QStringList TrunkBatch::allCommands() const
{
    QStringList out;
    for (const QStringList &c : commands)
        out += c;
    return out;
}

int SwitchParameters::GapAfter(const QString &code)
{
    return code.startsWith(QLatin1String("*04*")) ? NumberLengthGapMs : NormalGapMs;
}

SwitchParameters::SwitchParameters(Database &db) : m_db(db), m_config(db), m_trunks(db), m_users(db) {}

QStringList SwitchParameters::ChargeModes() { return SwitchChoices::ChargeModes(); }
QStringList SwitchParameters::IncomingModes() { return SwitchChoices::IncomingModes(); }
QStringList SwitchParameters::DialModes() { return SwitchChoices::DialModes(); }
QStringList SwitchParameters::OutgoingModes() { return SwitchChoices::OutgoingModes(); }
QStringList SwitchParameters::CheckMarks() { return SwitchChoices::CheckMarks(); }

QStringList SwitchParameters::choicesOf(TrunkField field)
{
    switch (field) {
    case TrunkField::OnOff:
    case TrunkField::CallerDisplay: return CheckMarks();
    case TrunkField::ChargeMode: return ChargeModes();
    case TrunkField::IncomingMode: return IncomingModes();
    case TrunkField::DialMode: return DialModes();
    case TrunkField::OutgoingMode: return OutgoingModes();
    default: return {};
    }
}

bool SwitchParameters::isNumberField(TrunkField field) { return trunkCheck(field) != nullptr; }

// ---- reading ---------------------------------------------------------------------------

ConfigRow SwitchParameters::config() const { return m_config.read().value_or(ConfigRow()); }

QString SwitchParameters::nightNumber() const { return m_users.numberOf(setting(ConfigField::NightPort)); }

QStringList SwitchParameters::agentNumbers() const
{
    QStringList out;
    for (const QString &port : config().agentPorts())
        out << m_users.numberOf(port);
    return out;
}

QStringList SwitchParameters::specialNumbers() const
{
    QStringList out;
    const TableRows rows = Recordset(m_db, SwitchTables::Special).snapshot();
    for (const QStringList &r : rows.rows)
        out << cell(r, SpecialColumn::Number);
    return out;
}

TableRows SwitchParameters::trunks() const
{
    TableRows rows;
    rows.columns = TrunkTable::columnNames();
    const auto all = m_trunks.all();
    for (TrunkRow r : all.value_or(QList<TrunkRow>())) {
        for (int k = 0; k < VirtualOperators; ++k)
            r.set(VirtualField(k), m_users.numberOf(r.get(VirtualField(k))));
        rows.rows << r.values;
        rows.rowIds << r.rowId;
    }
    return rows;
}

// ---- system tab ----------------------------------------------------------------------------

StoreResult SwitchParameters::storeConfig(ConfigField field, const QString &value, QStringList commands)
{
    const Checked<ConfigRow> c = m_config.read();
    if (!c)
        return StoreResult(notStored(c.status()));
    if (c->get(field) == value)
        return StoreResult(Status::ok());
    if (Status s = m_config.write(field, value); !s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), std::move(commands));
}

Checked<QString> SwitchParameters::checkCapacity(const QString &text) const
{
    // A text too long for the box gets a message of its own rather than an
    // empty box.
    const Checked<QString> v = number(text, {3, double(MaxCapacity), QStringLiteral("用户容量必须是数字!"),
                                             QStringLiteral("用户容量必须是整数!"), TooLongCapacity(),
                                             QStringLiteral("用户容量最大为120门!")});
    // A switch without extensions is no setting: the switch would lose them all.
    if (v && ValInt(*v) < 1)
        return Checked<QString>::refuse(QStringLiteral("用户容量至少为1门!"));
    return v;
}

StoreResult SwitchParameters::storeCapacity(const QString &value)
{
    return storeConfig(ConfigField::Capacity, value, {star(QStringLiteral("32"), {value})});
}

QString SwitchParameters::CapacityNote(const QString &capacity)
{
    const int n = int(ValInt(capacity));
    if (n % 8 == 0)
        return QString();
    return QStringLiteral("交换机以8门为单位设置用户容量，交换机中的容量将为%1门，比照时将显示为不一致。")
        .arg(qMin((n + 7) / 8 * 8, MaxCapacity));
}

Checked<QString> SwitchParameters::checkGrade(const QString &text) const
{
    return number(text,
                  {1, 7, QStringLiteral("超额或清账后等级必须是数字!"), QStringLiteral("超额或清账后等级必须是整数!"),
                   TooLongGrade(), QStringLiteral("超额或清账后等级最大为7级!")});
}

StoreResult SwitchParameters::storeGrade(const QString &value)
{
    return storeConfig(ConfigField::DemoteClass, value, {});
}

StoreResult SwitchParameters::storeCodeLength(const QString &value)
{
    const int n = int(ValInt(value));
    if (!IsDigits(value) || n < 1 || n > 8)
        return StoreResult(Status::fail(QStringLiteral("随机账号密码长度为1到8位")));
    return storeConfig(ConfigField::PasswordLength, value, {});
}

Checked<SwitchParameters::Renumbering> SwitchParameters::renumbering(const QString &value) const
{
    using Result = Checked<Renumbering>;
    if (!IsDigits(value) || value.size() != 1 || value.toInt() < 3 || value.toInt() > 6)
        return Result::refuse(QStringLiteral("分机号长为3到6位"));
    const int n = value.toInt();
    qint64 base = 8;
    for (int k = 1; k < n; ++k)
        base *= 10;
    const qint64 limit = base / 8 * 10; // the first number one digit longer

    // The new number of every user, by row: refused before anything is
    // written when a port cannot be numbered or two rows would share a number.
    Checked<QList<UserRow>> users = m_users.all();
    if (!users)
        return Result::refuse(users.status());
    Renumbering out;
    out.users = std::move(*users);
    QSet<QString> seen;
    for (const UserRow &u : std::as_const(out.users)) {
        const QString port = u.port();
        if (!IsDigits(port) || base + ValInt(port) >= limit)
            return Result::refuse(
                QStringLiteral("物理端口“%1”无法编为%2位分机号，分机号长未修改！").arg(u.get(UserField::Port)).arg(n));
        const QString number = QString::number(base + ValInt(port));
        if (seen.contains(number))
            return Result::refuse(
                QStringLiteral("重新编号后分机号%1重复（物理端口%2），分机号长未修改！").arg(number, port));
        seen.insert(number);
        out.numbers << number;
    }
    return out;
}

Status SwitchParameters::checkNumberLength(const QString &value) const { return renumbering(value).status(); }

StoreResult SwitchParameters::storeNumberLength(const QString &value)
{
    const Checked<ConfigRow> c = m_config.read();
    if (!c)
        return StoreResult(notStored(c.status()));
    if (c->get(ConfigField::NumberLength) == value)
        return StoreResult(Status::ok());
    const Checked<Renumbering> plan = renumbering(value);
    if (!plan)
        return StoreResult(plan.status());

    const Status s = InTransaction(m_db, [&]() -> Status {
        if (Status w = m_config.write(ConfigField::NumberLength, value); !w)
            return w;
        for (int i = 0; i < plan->users.size(); ++i) {
            const UserRow &u = plan->users.at(i);
            if (u.get(UserField::Number) == plan->numbers.at(i))
                continue;
            // The extension's deposit row follows the number; account rows
            // ("账号") keep theirs.
            if (Status w = m_users.renumber(u.rowId, plan->numbers.at(i)); !w)
                return w;
        }
        return Status::ok();
    });
    if (!s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), {star(QStringLiteral("04"), {value})}, true);
}

StoreResult SwitchParameters::storeFunctionDigit(const QString &value)
{
    if (!IsDigits(value) || value.size() != 1 || value == QLatin1String("0"))
        return StoreResult(Status::fail(QStringLiteral("功能首位字头为1到9")));
    return storeConfig(ConfigField::FunctionDigit, value, {star(QStringLiteral("71"), {value})});
}

StoreResult SwitchParameters::storeCodeLimit(bool on)
{
    const QString v = on ? QStringLiteral("1") : QStringLiteral("0");
    return storeConfig(ConfigField::CodeLimit, v, {star(QStringLiteral("80"), {v})});
}

StoreResult SwitchParameters::storeSignal(int index)
{
    if (index != 0 && index != 1)
        return StoreResult(Status::fail(QStringLiteral("信号音类型为音乐或回铃音")));
    const QString v = QString::number(index);
    return storeConfig(ConfigField::Signal, v, {star(QStringLiteral("73"), {v})});
}

Checked<QString> SwitchParameters::checkNightNumber(const QString &text) const
{
    const int length = int(ValInt(setting(ConfigField::NumberLength)));
    const QString tooLong = QStringLiteral("值班分机号过长！");
    const Checked<QString> v = checked(text, {length > 0 ? length : 6, 999999, QStringLiteral("值班分机号必须是数字!"),
                                              QStringLiteral("值班分机号必须是整数!"), tooLong, tooLong});
    if (!v)
        return v;
    // The configuration holds the extension's port: a number no extension
    // has could only be stored as something else.
    const auto user = m_users.byNumber(*v);
    if (!user)
        return Checked<QString>::refuse(user.reason());
    if (!*user || ValInt((*user)->port()) >= ValInt(setting(ConfigField::Capacity)))
        return Checked<QString>::refuse(QStringLiteral("值班分机号%1不存在，请核对后再输入！").arg(*v));
    return v;
}

StoreResult SwitchParameters::storeNightNumber(const QString &number)
{
    const Checked<QString> v = checkNightNumber(number);
    if (!v)
        return StoreResult(v.status());
    const QString port = m_users.portOf(*v);
    if (Status s = m_config.write(ConfigField::NightPort, port); !s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), {star(QStringLiteral("50"), {*v})});
}

Checked<QStringList> SwitchParameters::checkAgents(const QStringList &numbers) const
{
    const NumberCheck k{8,
                        99999999,
                        QStringLiteral("请输入整数作为代理总机！"),
                        QStringLiteral("请输入整数作为代理总机！"),
                        QStringLiteral("代理总机最长为8位！"),
                        QStringLiteral("代理总机最长为8位！")};
    QStringList ports;
    for (int i = 0; i < AgentCount; ++i) {
        const QString t = numbers.value(i).trimmed();
        if (t.isEmpty()) {
            ports << QString();
            continue;
        }
        const Checked<QString> v = checked(t, k);
        if (!v)
            return Checked<QStringList>::refuse(v.reason());
        const QString port = m_users.portOf(*v);
        if (port == *v)
            return Checked<QStringList>::refuse(QStringLiteral("您输入的部分代理总机号不存在，请核对后再输入！"));
        ports << port;
    }
    return ports;
}

StoreResult SwitchParameters::storeAgents(const QStringList &numbers)
{
    const Checked<QStringList> ports = checkAgents(numbers);
    if (!ports)
        return StoreResult(ports.status());
    // The five in one statement: the table never holds half of the list.
    QList<QPair<ConfigField, QString>> fields;
    for (int i = 0; i < AgentCount; ++i)
        fields.append({AgentField(i), ports->at(i)});
    if (Status s = m_config.write(fields); !s)
        return StoreResult(notStored(s));
    QStringList commands{QStringLiteral("*49*0#")};
    for (int i = 0; i < AgentCount; ++i)
        if (!ports->at(i).isEmpty())
            commands << star(QStringLiteral("49"), {numbers.value(i).trimmed()});
    return StoreResult(Status::ok(), commands);
}

Checked<QString> SwitchParameters::checkSpecialNumber(const QString &text) const
{
    const Checked<QString> v = checked(
        text, {8, 99999999, QStringLiteral("请输入整数作为特服号码！"), QStringLiteral("请输入整数作为特服号码！"),
               QStringLiteral("特服号最长为8位！"), QStringLiteral("特服号最长为8位！")});
    if (!v)
        return v;
    // The switch takes a field "00" as 0: such a number could never be dialled.
    if (*v == QLatin1String("00"))
        return Checked<QString>::refuse(QStringLiteral("特服号码不能为00！"));
    if (specialNumbers().contains(*v))
        return Checked<QString>::refuse(QStringLiteral("您输入的特服号已经存在！"));
    return v;
}

StoreResult SwitchParameters::addSpecialNumber(const QString &number)
{
    const Checked<QString> v = checkSpecialNumber(number);
    if (!v)
        return StoreResult(v.status());
    Recordset rs = Recordset::forAppend(m_db, SwitchTables::Special);
    if (Status s = WriteRecord(rs, true, {*v}); !s)
        return StoreResult(s.context(QStringLiteral("特服号码未能保存")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*19*6*7*") + *v + QStringLiteral("#")}, true);
}

StoreResult SwitchParameters::deleteSpecialNumber(const QString &number)
{
    Recordset rs(m_db, SwitchTables::Special,
                 Criteria(columnName(SwitchTables::Special, SpecialColumn::Number), number));
    if (rs.hasCurrent())
        if (Status s = rs.deleteCurrent(); !s)
            return StoreResult(s.context(QStringLiteral("特服号码未能删除")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*19*0*") + number + QStringLiteral("#")}, true);
}

StoreResult SwitchParameters::storeFlag(ConfigField field, bool on)
{
    if (field != ConfigField::OutwardOn && field != ConfigField::FileOutputOn && field != ConfigField::NightReset)
        return StoreResult(Status::fail(QStringLiteral("这一项不是开关")));
    return storeConfig(field, on ? QStringLiteral("1") : QStringLiteral("0"), {});
}

StoreResult SwitchParameters::storeOutwardPort(const QString &number)
{
    const int n = int(ValInt(number));
    if (!IsDigits(number) || n < 1 || n > 16)
        return StoreResult(Status::fail(QStringLiteral("串口号为1到16")));
    return storeConfig(ConfigField::OutwardPort, number, {});
}

Checked<QString> SwitchParameters::PrepareOutputFolder(const QString &chosen)
{
    const QString path = QDir::cleanPath(chosen.trimmed());
    if (chosen.trimmed().isEmpty())
        return Checked<QString>::refuse(QStringLiteral("没有选择路径"));
    QDir dir;
    if (!dir.mkpath(path) || !QFileInfo(path).isDir())
        return Checked<QString>::refuse(QStringLiteral("无法建立文件夹“%1”，路径未修改！").arg(path));
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

StoreResult SwitchParameters::storeOutputFolder(const QString &folder)
{
    return storeConfig(ConfigField::FilePath, folder, {});
}

// ---- trunk tab ----------------------------------------------------------------------------------

Checked<QString> SwitchParameters::checkTrunkValue(TrunkField field, const QString &text) const
{
    const QStringList choices = choicesOf(field);
    if (!choices.isEmpty()) {
        if (!choices.contains(text))
            return Checked<QString>::refuse(
                QStringLiteral("请在列表中选择：%1").arg(choices.join(QStringLiteral("、"))));
        return text;
    }
    const NumberCheck *k = trunkCheck(field);
    if (!k)
        return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
    const bool virtualOp = isVirtual(field);
    if (virtualOp && text.trimmed().isEmpty())
        return QString();
    // Route, direction and group are numbers to the switch; an operator's
    // extension number is dialled digits.
    const Checked<QString> v = virtualOp ? checked(text, *k) : number(text, *k);
    if (!v || !virtualOp)
        return v;
    if (m_users.portOf(*v) == *v)
        return Checked<QString>::refuse(QStringLiteral("您输入的虚拟总机号不存在，请核对后再输入！"));
    return v;
}

Checked<std::pair<int, int>> SwitchParameters::checkTrunkRange(const QString &first, const QString &last) const
{
    const QString a = first.trimmed(), b = last.trimmed();
    if (!IsDigits(a) || !IsDigits(b) || a.size() > 2 || b.size() > 2 || a.toInt() < 1 || a.toInt() > Trunks
        || b.toInt() < 1 || b.toInt() > Trunks)
        return Checked<std::pair<int, int>>::refuse(QStringLiteral("中继号必须是1到12的整数！"));
    return std::make_pair(a.toInt(), b.toInt());
}

// The trunk's whole list of virtual operators, sent again after any change.
QStringList SwitchParameters::virtualCommands(const TrunkRow &row) const
{
    const QString trunk = row.trunk();
    QStringList out{QStringLiteral("*12*0*") + trunk + QStringLiteral("#")};
    for (int k = 0; k < VirtualOperators; ++k) {
        const QString port = row.get(VirtualField(k)).trimmed();
        if (port.isEmpty())
            continue;
        const QString number = m_users.numberOf(port).trimmed();
        if (IsDigits(number))
            out << star(QStringLiteral("12"), {number, trunk});
    }
    return out;
}

TrunkBatch SwitchParameters::ApplyTrunkSetting(TrunkField field, int first, int last, const QString &value)
{
    TrunkBatch batch;
    if (field < TrunkField::OnOff || field > TrunkField::Virtual5) {
        batch.status = Status::fail(QStringLiteral("这一列不能修改"));
        return batch;
    }
    if (first < 1 || first > Trunks || last < 1 || last > Trunks) {
        batch.status = Status::fail(QStringLiteral("中继号必须是1到12的整数！"));
        return batch;
    }
    const Checked<QString> v = checkTrunkValue(field, value);
    if (!v) {
        batch.status = v.status();
        return batch;
    }
    const bool virtualOp = isVirtual(field);
    // A virtual operator is kept as the port of the extension.
    const QString stored = virtualOp && !v->isEmpty() ? m_users.portOf(*v) : *v;
    batch.cell = *v;

    const int step = last < first ? -1 : 1;
    QList<TrunkRow> rows;
    const Status s = InTransaction(m_db, [&]() -> Status {
        for (int t = first;; t += step) {
            const auto found = m_trunks.byTrunk(t);
            if (!found)
                return found.status();
            if (!*found)
                return Status::fail(QStringLiteral("%1号中继没有设置行").arg(t));
            TrunkRow row = **found;
            QList<QPair<TrunkField, QString>> changed;
            if (virtualOp) {
                QStringList operators;
                for (int k = 0; k < VirtualOperators; ++k) {
                    const TrunkField f = VirtualField(k);
                    const QString port = f == field ? stored : row.get(f).trimmed();
                    if (!port.isEmpty())
                        operators << port;
                }
                while (operators.size() < VirtualOperators)
                    operators << QString();
                for (int k = 0; k < VirtualOperators; ++k) {
                    if (row.get(VirtualField(k)) != operators.at(k)) {
                        row.set(VirtualField(k), operators.at(k));
                        changed.append({VirtualField(k), operators.at(k)});
                    }
                }
                batch.refill = batch.refill || changed.size() != 1 || changed.first().first != field;
            } else if (row.get(field) != stored) {
                row.set(field, stored);
                changed.append({field, stored});
            }
            if (Status w = m_trunks.write(row.rowId, changed); !w)
                return w;
            rows << row;
            batch.trunks << QString::number(t);
            if (t == last)
                return Status::ok();
        }
    });
    if (!s) {
        batch.status = notStored(s);
        return batch;
    }

    for (const TrunkRow &row : std::as_const(rows)) {
        const QString trunk = row.trunk();
        QStringList codes;
        const int k = ChoiceIndex(*v, choicesOf(field));
        if (const char *code = trunkCode(field)) {
            codes << star(QLatin1String(code), {QString::number(k), trunk});
        } else if (field == TrunkField::OutgoingMode) {
            codes << star(QStringLiteral("08"), {QString::number(k), trunk});
            const QString direction = row.get(TrunkField::IndirectDirection).trimmed();
            if (k != 0 && IsDigits(direction))
                codes << star(QStringLiteral("08"), {QStringLiteral("1"), trunk, direction});
            const QString route = row.get(TrunkField::Route).trimmed();
            if (IsDigits(route))
                codes << star(QStringLiteral("09"), {route, trunk});
        } else if (field == TrunkField::Route) {
            codes << star(QStringLiteral("09"), {*v, trunk});
        } else if (field == TrunkField::IndirectDirection) {
            if (row.get(TrunkField::OutgoingMode) == Indirect)
                codes << star(QStringLiteral("08"), {QStringLiteral("1"), trunk, *v});
        } else if (field == TrunkField::Group) {
            codes << star(QStringLiteral("47"), {*v, trunk});
        } else if (virtualOp) {
            codes = virtualCommands(row);
        }
        batch.commands << codes;
    }
    return batch;
}

} // namespace corvane
