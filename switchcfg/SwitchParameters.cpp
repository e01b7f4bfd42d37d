#include "SwitchParameters.h"

#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "DumpValues.h"
#include "General.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace corvane {

namespace {

const QString Config = QStringLiteral("SWTConfig");
const QString Exchange = QStringLiteral("Exchange");
const QString Special = QStringLiteral("SPCPhone");
const QString TrunkKey = QStringLiteral("中继");
const QString SpecialKey = QStringLiteral("特服号码");
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

// The trunk columns with a number check: length, limit and the messages.
const NumberCheck *trunkCheck(int column)
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
    switch (column) {
    case ExchangeCol::Route: return &route;
    case ExchangeCol::IndirectDirection: return &indirect;
    case ExchangeCol::Group: return &group;
    default: return column >= ExchangeCol::FirstVirtual && column <= ExchangeCol::LastVirtual ? &virtualOp : nullptr;
    }
}

const char *trunkCode(int column)
{
    switch (column) {
    case ExchangeCol::OnOff: return "44";
    case ExchangeCol::ChargeMode: return "05";
    case ExchangeCol::IncomingMode: return "06";
    case ExchangeCol::DialMode: return "07";
    case ExchangeCol::CallerDisplay: return "60";
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

SwitchParameters::SwitchParameters(Database &db) : m_db(db) {}

QStringList SwitchParameters::ChargeModes() { return SwitchChoices::ChargeModes(); }
QStringList SwitchParameters::IncomingModes() { return SwitchChoices::IncomingModes(); }
QStringList SwitchParameters::DialModes() { return SwitchChoices::DialModes(); }
QStringList SwitchParameters::OutgoingModes() { return SwitchChoices::OutgoingModes(); }
QStringList SwitchParameters::CheckMarks() { return SwitchChoices::CheckMarks(); }

QStringList SwitchParameters::choicesOf(int column)
{
    switch (column) {
    case ExchangeCol::OnOff:
    case ExchangeCol::CallerDisplay: return CheckMarks();
    case ExchangeCol::ChargeMode: return ChargeModes();
    case ExchangeCol::IncomingMode: return IncomingModes();
    case ExchangeCol::DialMode: return DialModes();
    case ExchangeCol::OutgoingMode: return OutgoingModes();
    default: return {};
    }
}

bool SwitchParameters::isNumberColumn(int column) { return trunkCheck(column) != nullptr; }

// ---- reading ---------------------------------------------------------------------------

QStringList SwitchParameters::config() const
{
    const Recordset rs(m_db, Config);
    return rs.currentRow();
}

QString SwitchParameters::nightNumber() const { return PortToNumber(m_db, setting(ConfigCol::NightExtension)); }

QStringList SwitchParameters::agentNumbers() const
{
    const QStringList c = config();
    QStringList out;
    for (int i = 0; i < ConfigCol::Agents; ++i)
        out << PortToNumber(m_db, c.value(ConfigCol::FirstAgent + i));
    return out;
}

QStringList SwitchParameters::specialNumbers() const
{
    QStringList out;
    const TableRows rows = Recordset(m_db, Special).snapshot();
    for (const QStringList &r : rows.rows)
        out << r.value(0);
    return out;
}

TableRows SwitchParameters::trunks() const
{
    TableRows rows = Recordset(m_db, Exchange).snapshot();
    for (QStringList &r : rows.rows)
        for (int c = ExchangeCol::FirstVirtual; c <= ExchangeCol::LastVirtual && c < r.size(); ++c)
            r[c] = PortToNumber(m_db, r[c]);
    return rows;
}

// ---- system tab ----------------------------------------------------------------------------

Status SwitchParameters::setConfig(int column, const QString &value)
{
    Recordset rs(m_db, Config);
    if (!rs.hasCurrent())
        return Status::fail(QStringLiteral("数据库中没有系统设置"));
    return SetField(rs, column, value);
}

StoreResult SwitchParameters::storeConfig(int column, const QString &value, QStringList commands)
{
    const QStringList c = config();
    if (c.isEmpty())
        return StoreResult(notStored(Status::fail(QStringLiteral("数据库中没有系统设置"))));
    if (c.value(column) == value)
        return StoreResult(Status::ok());
    if (Status s = setConfig(column, value); !s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), std::move(commands));
}

Checked<QString> SwitchParameters::checkCapacity(const QString &text) const
{
    // A text too long for the box gets a message of its own rather than an
    // empty box.
    return checked(text,
                   {3, double(MaxCapacity), QStringLiteral("用户容量必须是数字!"),
                    QStringLiteral("用户容量必须是整数!"), TooLongCapacity(), QStringLiteral("用户容量最大为120门!")});
}

StoreResult SwitchParameters::storeCapacity(const QString &value)
{
    return storeConfig(ConfigCol::Capacity, value, {star(QStringLiteral("32"), {value})});
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
    return checked(text,
                   {1, 7, QStringLiteral("超额或清账后等级必须是数字!"), QStringLiteral("超额或清账后等级必须是整数!"),
                    TooLongGrade(), QStringLiteral("超额或清账后等级最大为7级!")});
}

StoreResult SwitchParameters::storeGrade(const QString &value) { return storeConfig(ConfigCol::Grade, value, {}); }

StoreResult SwitchParameters::storeCodeLength(const QString &value)
{
    const int n = int(ValInt(value));
    if (!IsDigits(value) || n < 1 || n > 8)
        return StoreResult(Status::fail(QStringLiteral("随机账号密码长度为1到8位")));
    return storeConfig(ConfigCol::CodeLength, value, {});
}

Checked<SwitchParameters::Renumbering> SwitchParameters::renumbering(const QString &value, TableRows &rows) const
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
    rows = Recordset(m_db, QStringLiteral("User")).snapshot();
    Renumbering out;
    QSet<QString> seen;
    for (const QStringList &r : rows.rows) {
        const QString port = r.value(0).trimmed();
        if (!IsDigits(port) || base + ValInt(port) >= limit)
            return Result::refuse(
                QStringLiteral("物理端口“%1”无法编为%2位分机号，分机号长未修改！").arg(r.value(0)).arg(n));
        const QString number = QString::number(base + ValInt(port));
        if (seen.contains(number))
            return Result::refuse(
                QStringLiteral("重新编号后分机号%1重复（物理端口%2），分机号长未修改！").arg(number, port));
        seen.insert(number);
        out.numbers << number;
        out.byPort.insert(port, number);
    }
    return out;
}

Status SwitchParameters::checkNumberLength(const QString &value) const
{
    TableRows rows;
    return renumbering(value, rows).status();
}

StoreResult SwitchParameters::storeNumberLength(const QString &value)
{
    const QStringList c = config();
    if (c.isEmpty())
        return StoreResult(notStored(Status::fail(QStringLiteral("数据库中没有系统设置"))));
    if (c.value(ConfigCol::NumberLength) == value)
        return StoreResult(Status::ok());
    TableRows rows;
    const Checked<Renumbering> plan = renumbering(value, rows);
    if (!plan)
        return StoreResult(plan.status());
    const QList<QString> &numbers = plan->numbers;
    const QHash<QString, QString> &byPort = plan->byPort;
    Recordset users(m_db, QStringLiteral("User"));

    Transaction tx(m_db);
    if (!tx.begun())
        return StoreResult(notStored(tx.begun()));
    if (Status s = setConfig(ConfigCol::NumberLength, value); !s)
        return StoreResult(notStored(s));
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.row(i).value(1) == numbers.at(i))
            continue;
        if (!users.moveToId(rows.rowId(i)))
            return StoreResult(notStored(Status::fail(QStringLiteral("用户资料已被更改"))));
        if (Status s = SetField(users, 1, numbers.at(i)); !s)
            return StoreResult(notStored(s));
    }
    // The deposit rows of an extension carry its number too; account rows
    // ("账号") keep theirs.
    Recordset deposits(m_db, QStringLiteral("Foregift"));
    for (deposits.moveFirst(); !deposits.eof(); deposits.moveNext()) {
        if (deposits.value(1) == QStringLiteral("账号"))
            continue;
        const QString port = deposits.value(0).trimmed();
        if (!byPort.contains(port) || deposits.value(1) == byPort.value(port))
            continue;
        if (Status s = SetField(deposits, 1, byPort.value(port)); !s)
            return StoreResult(notStored(s));
    }
    if (Status s = tx.commit(); !s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), {star(QStringLiteral("04"), {value})}, true);
}

StoreResult SwitchParameters::storeFunctionDigit(const QString &value)
{
    if (!IsDigits(value) || value.size() != 1 || value == QLatin1String("0"))
        return StoreResult(Status::fail(QStringLiteral("功能首位字头为1到9")));
    return storeConfig(ConfigCol::FunctionDigit, value, {star(QStringLiteral("71"), {value})});
}

StoreResult SwitchParameters::storeCodeLimit(bool on)
{
    const QString v = on ? QStringLiteral("1") : QStringLiteral("0");
    return storeConfig(ConfigCol::CodeLimit, v, {star(QStringLiteral("80"), {v})});
}

StoreResult SwitchParameters::storeSignal(int index)
{
    if (index != 0 && index != 1)
        return StoreResult(Status::fail(QStringLiteral("信号音类型为音乐或回铃音")));
    const QString v = QString::number(index);
    return storeConfig(ConfigCol::Signal, v, {star(QStringLiteral("73"), {v})});
}

Checked<QString> SwitchParameters::checkNightNumber(const QString &text) const
{
    const int length = int(ValInt(setting(ConfigCol::NumberLength)));
    const QString tooLong = QStringLiteral("值班分机号过长！");
    return checked(text, {length > 0 ? length : 6, 999999, QStringLiteral("值班分机号必须是数字!"),
                          QStringLiteral("值班分机号必须是整数!"), tooLong, tooLong});
}

StoreResult SwitchParameters::storeNightNumber(const QString &number)
{
    // The port of the extension; a number no extension has is kept as it is.
    const QString port = NumberToPort(m_db, number);
    if (config().isEmpty())
        return StoreResult(notStored(Status::fail(QStringLiteral("数据库中没有系统设置"))));
    if (Status s = setConfig(ConfigCol::NightExtension, port); !s)
        return StoreResult(notStored(s));
    return StoreResult(Status::ok(), {star(QStringLiteral("50"), {number})});
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
    for (int i = 0; i < ConfigCol::Agents; ++i) {
        const QString t = numbers.value(i).trimmed();
        if (t.isEmpty()) {
            ports << QString();
            continue;
        }
        const Checked<QString> v = checked(t, k);
        if (!v)
            return Checked<QStringList>::refuse(v.reason());
        const QString port = NumberToPort(m_db, *v);
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
    Recordset rs(m_db, Config);
    if (!rs.hasCurrent())
        return StoreResult(notStored(Status::fail(QStringLiteral("数据库中没有系统设置"))));
    if (Status s = rs.edit(); !s)
        return StoreResult(notStored(s));
    for (int i = 0; i < ConfigCol::Agents; ++i)
        if (Status s = rs.setField(ConfigCol::FirstAgent + i, ports->at(i)); !s) {
            rs.cancelUpdate();
            return StoreResult(notStored(s));
        }
    if (Status s = rs.update(); !s)
        return StoreResult(notStored(s));
    QStringList commands{QStringLiteral("*49*0#")};
    for (int i = 0; i < ConfigCol::Agents; ++i)
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
    if (specialNumbers().contains(*v))
        return Checked<QString>::refuse(QStringLiteral("您输入的特服号已经存在！"));
    return v;
}

StoreResult SwitchParameters::addSpecialNumber(const QString &number)
{
    const Checked<QString> v = checkSpecialNumber(number);
    if (!v)
        return StoreResult(v.status());
    Recordset rs = Recordset::forAppend(m_db, Special);
    if (Status s = WriteRecord(rs, true, {*v}); !s)
        return StoreResult(s.context(QStringLiteral("特服号码未能保存")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*19*6*7*") + *v + QStringLiteral("#")}, true);
}

StoreResult SwitchParameters::deleteSpecialNumber(const QString &number)
{
    Recordset rs(m_db, Special, Criteria(SpecialKey, number));
    if (rs.hasCurrent())
        if (Status s = rs.deleteCurrent(); !s)
            return StoreResult(s.context(QStringLiteral("特服号码未能删除")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*19*0*") + number + QStringLiteral("#")}, true);
}

StoreResult SwitchParameters::storeFlag(int column, bool on)
{
    if (column != ConfigCol::OutwardOn && column != ConfigCol::FileOutputOn && column != ConfigCol::NightReset)
        return StoreResult(Status::fail(QStringLiteral("这一项不是开关")));
    return storeConfig(column, on ? QStringLiteral("1") : QStringLiteral("0"), {});
}

StoreResult SwitchParameters::storeOutwardPort(const QString &number)
{
    const int n = int(ValInt(number));
    if (!IsDigits(number) || n < 1 || n > 16)
        return StoreResult(Status::fail(QStringLiteral("串口号为1到16")));
    return storeConfig(ConfigCol::OutwardPort, number, {});
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
    return storeConfig(ConfigCol::FilePath, folder, {});
}

// ---- trunk tab ----------------------------------------------------------------------------------

Checked<QString> SwitchParameters::checkTrunkValue(int column, const QString &text) const
{
    const QStringList choices = choicesOf(column);
    if (!choices.isEmpty()) {
        if (!choices.contains(text))
            return Checked<QString>::refuse(
                QStringLiteral("请在列表中选择：%1").arg(choices.join(QStringLiteral("、"))));
        return text;
    }
    const NumberCheck *k = trunkCheck(column);
    if (!k)
        return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
    const bool virtualOp = column >= ExchangeCol::FirstVirtual;
    if (virtualOp && text.trimmed().isEmpty())
        return QString();
    const Checked<QString> v = checked(text, *k);
    if (!v || !virtualOp)
        return v;
    if (NumberToPort(m_db, *v) == *v)
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
QStringList SwitchParameters::virtualCommands(const QStringList &row) const
{
    const QString trunk = row.value(ExchangeCol::Trunk).trimmed();
    QStringList out{QStringLiteral("*12*0*") + trunk + QStringLiteral("#")};
    for (int c = ExchangeCol::FirstVirtual; c <= ExchangeCol::LastVirtual; ++c) {
        const QString port = row.value(c).trimmed();
        if (port.isEmpty())
            continue;
        const QString number = PortToNumber(m_db, port).trimmed();
        if (IsDigits(number))
            out << star(QStringLiteral("12"), {number, trunk});
    }
    return out;
}

TrunkBatch SwitchParameters::ApplyTrunkSetting(int column, int first, int last, const QString &value)
{
    TrunkBatch batch;
    if (column < ExchangeCol::OnOff || column > ExchangeCol::LastVirtual) {
        batch.status = Status::fail(QStringLiteral("这一列不能修改"));
        return batch;
    }
    if (first < 1 || first > Trunks || last < 1 || last > Trunks) {
        batch.status = Status::fail(QStringLiteral("中继号必须是1到12的整数！"));
        return batch;
    }
    const Checked<QString> v = checkTrunkValue(column, value);
    if (!v) {
        batch.status = v.status();
        return batch;
    }
    const bool virtualOp = column >= ExchangeCol::FirstVirtual;
    // A virtual operator is kept as the port of the extension.
    const QString stored = virtualOp && !v->isEmpty() ? NumberToPort(m_db, *v) : *v;
    batch.cell = *v;

    const int step = last < first ? -1 : 1;
    Transaction tx(m_db);
    if (!tx.begun()) {
        batch.status = notStored(tx.begun());
        return batch;
    }
    QList<QStringList> rows;
    for (int t = first;; t += step) {
        const QString trunk = QString::number(t);
        Recordset rs(m_db, Exchange, Criteria(TrunkKey, trunk));
        if (!rs.hasCurrent()) {
            batch.status = notStored(Status::fail(QStringLiteral("%1号中继没有设置行").arg(t)));
            return batch;
        }
        QStringList row = rs.currentRow();
        while (row.size() < ExchangeCol::Count)
            row << QString();
        QList<int> changed;
        if (virtualOp) {
            QStringList operators;
            for (int c = ExchangeCol::FirstVirtual; c <= ExchangeCol::LastVirtual; ++c) {
                const QString port = c == column ? stored : row.value(c).trimmed();
                if (!port.isEmpty())
                    operators << port;
            }
            while (operators.size() < ExchangeCol::LastVirtual - ExchangeCol::FirstVirtual + 1)
                operators << QString();
            for (int c = ExchangeCol::FirstVirtual; c <= ExchangeCol::LastVirtual; ++c) {
                const QString now = operators.at(c - ExchangeCol::FirstVirtual);
                if (row.value(c) != now) {
                    row[c] = now;
                    changed << c;
                }
            }
            batch.refill = batch.refill || changed != QList<int>{column};
        } else if (row.value(column) != stored) {
            row[column] = stored;
            changed << column;
        }
        if (!changed.isEmpty()) {
            Status s = rs.edit();
            for (int c : changed)
                if (s)
                    s = rs.setField(c, row.value(c));
            if (s)
                s = rs.update();
            else
                rs.cancelUpdate();
            if (!s) {
                batch.status = notStored(s);
                return batch;
            }
        }
        rows << row;
        batch.trunks << trunk;
        if (t == last)
            break;
    }
    if (Status s = tx.commit(); !s) {
        batch.status = notStored(s);
        return batch;
    }

    for (const QStringList &row : rows) {
        const QString trunk = row.value(ExchangeCol::Trunk).trimmed();
        QStringList codes;
        const int k = ChoiceIndex(*v, choicesOf(column));
        if (const char *code = trunkCode(column)) {
            codes << star(QLatin1String(code), {QString::number(k), trunk});
        } else if (column == ExchangeCol::OutgoingMode) {
            codes << star(QStringLiteral("08"), {QString::number(k), trunk});
            const QString direction = row.value(ExchangeCol::IndirectDirection).trimmed();
            if (k != 0 && IsDigits(direction))
                codes << star(QStringLiteral("08"), {QStringLiteral("1"), trunk, direction});
            const QString route = row.value(ExchangeCol::Route).trimmed();
            if (IsDigits(route))
                codes << star(QStringLiteral("09"), {route, trunk});
        } else if (column == ExchangeCol::Route) {
            codes << star(QStringLiteral("09"), {*v, trunk});
        } else if (column == ExchangeCol::IndirectDirection) {
            if (row.value(ExchangeCol::OutgoingMode) == Indirect)
                codes << star(QStringLiteral("08"), {QStringLiteral("1"), trunk, *v});
        } else if (column == ExchangeCol::Group) {
            codes << star(QStringLiteral("47"), {*v, trunk});
        } else if (virtualOp) {
            codes = virtualCommands(row);
        }
        batch.commands << codes;
    }
    return batch;
}

} // namespace corvane
