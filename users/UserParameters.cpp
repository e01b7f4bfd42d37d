#include "UserParameters.h"

#include "Columns.h"
#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "General.h"
#include "Money.h"
#include "SwitchLink.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringEncoder>
#include <QTimer>

namespace corvane {

const QString UserParameters::Ordinary = QStringLiteral("普通");
const QString UserParameters::Prepaid = QStringLiteral("押金");
const QString UserParameters::AccountWord = QStringLiteral("账号");

namespace {

const QString ColPort = QStringLiteral("物理端口");
const QString ColNumber = QStringLiteral("用户号码");
const QString ColGroup = QStringLiteral("组名");
const QString ColAccount = QStringLiteral("账号编号");

// Star code of each yes/no column of User: "*NN*" d "*" number "#".
QString markCode(int col)
{
    switch (col) {
    case 4: return QStringLiteral("59");
    case 5: return QStringLiteral("15");
    case 6: return QStringLiteral("41");
    case 7: return QStringLiteral("40");
    case 8: return QStringLiteral("42");
    case 9: return QStringLiteral("43");
    default: return QString();
    }
}

bool isMarkColumn(int col) { return (col >= 4 && col <= 9) || col == col::User::ShowOnTrunk; }

QStringList numbersFrom(int first, int last)
{
    QStringList out;
    for (int i = first; i <= last; ++i)
        out << QString::number(i);
    return out;
}

bool wholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    return digits.match(text).hasMatch();
}

Status rowGone() { return Status::fail(QStringLiteral("这条记录已不在表中")); }

Criteria userDeposit(const QString &port)
{
    return Criteria(ColPort, port).andNe(ColNumber, UserParameters::AccountWord);
}

Criteria accountDeposit(const QString &number)
{
    return Criteria(ColPort, number).andEq(ColNumber, UserParameters::AccountWord);
}

// Runs the writes of one change in one transaction; nothing is kept when a
// step fails.
template <class F>
Status inTransaction(Database &db, const QString &what, F &&steps)
{
    return InTransaction(db, std::forward<F>(steps)).context(what);
}

Status deleteRows(Recordset &rs)
{
    Status s;
    rs.moveFirst();
    while (s && rs.hasCurrent()) {
        s = rs.deleteCurrent();
        rs.moveNext();
    }
    return s;
}

bool holdsMoney(const Recordset &deposit)
{
    return !Money::fromText(deposit.value(col::Foregift::Balance)).isZero()
           || !Money::fromText(deposit.value(col::Foregift::Deposit)).isZero();
}

QString accountText(qint64 n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); }

} // namespace

UserParameters::UserParameters(Database &db, QStringList marks) : m_db(db), m_marks(std::move(marks))
{
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
    // Port order, so that a grid row always shows the port it stands for.
    m_user = std::make_unique<Recordset>(db, QStringLiteral("User"), Criteria(),
                                         QStringLiteral("CAST(") + Database::quoteId(ColPort)
                                             + QStringLiteral(" AS INTEGER), rowid"));
    m_config = std::make_unique<Recordset>(db, QStringLiteral("SWTConfig"));
    m_account = std::make_unique<Recordset>(db, QStringLiteral("Account"));
    m_group = std::make_unique<Recordset>(db, QStringLiteral("Group"));
    m_foregift = std::make_unique<Recordset>(db, QStringLiteral("Foregift"));
}

UserParameters::~UserParameters() = default;

int UserParameters::byteLength(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return int(QByteArray(encoder.encode(text)).size());
}

// ---- configuration --------------------------------------------------------------------

QString UserParameters::config(int col) const
{
    m_config->requery();
    m_config->moveFirst();
    return m_config->value(col).trimmed();
}

int UserParameters::capacity() const
{
    return int(qBound(qint64(0), ValInt(config(col::SWTConfig::Capacity)), qint64(120)));
}

int UserParameters::passwordLength() const
{
    const int n = int(ValInt(config(2)));
    return n >= 1 && n <= 8 ? n : 6;
}

int UserParameters::numberLength() const
{
    const int n = int(ValInt(config(3)));
    return n >= 3 && n <= 6 ? n : 3;
}

// ---- users ----------------------------------------------------------------------------

TableRows UserParameters::users()
{
    m_user->requery();
    const TableRows all = m_user->snapshot();
    const int cap = capacity();
    TableRows shown;
    shown.columns = all.columns;
    for (int i = 0; i < all.size() && shown.size() < cap; ++i) {
        const QString port = all.rows.at(i).value(col::User::Port).trimmed();
        if (!wholeNumber(port) || ValInt(port) >= cap)
            continue;
        shown.rows << all.rows.at(i);
        shown.rowIds << all.rowIds.at(i);
    }
    m_shownUsers = shown;
    return shown;
}

qint64 UserParameters::userRowId(int index) const { return m_shownUsers.rowId(index); }

QStringList UserParameters::userChoices(int col) const
{
    if (col == col::User::Class)
        return numbersFrom(1, 8);
    if (col == col::User::TrunkGroup)
        return numbersFrom(0, 12);
    if (col == col::User::PayType)
        return {Ordinary, Prepaid};
    if (isMarkColumn(col))
        return m_marks;
    return {};
}

CellRule UserParameters::userRule(int col) const
{
    switch (col) {
    case col::User::Number:
    case col::User::Name:
    case col::User::TimeLimit:
    case col::User::Rent: return CellRule::text();
    case col::User::Class: return CellRule::cycle(userChoices(col), QStringLiteral("6"));
    case col::User::TrunkGroup: return CellRule::cycle(userChoices(col), QStringLiteral("1"));
    case col::User::PayType: return CellRule::cycle(userChoices(col), Ordinary);
    default:
        if (isMarkColumn(col))
            return CellRule::cycle(m_marks, m_marks.at(1));
        return CellRule::fixed();
    }
}

Checked<QString> UserParameters::checkUserValue(int col, const QString &text) const
{
    const QString t = text.trimmed();
    switch (col) {
    case col::User::Number: {
        const QString len = QString::number(numberLength());
        if (Status s = CheckNumber(t, false, numberLength(), 999999, QStringLiteral("请输入数字作为用户号码！"),
                                   QStringLiteral("请输入整数作为用户号码！"),
                                   QStringLiteral("用户号码最大为") + len + QStringLiteral("位整数！"), QString());
            !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    case col::User::Name:
        // Counted as the system stores it: a Chinese character takes two bytes.
        if (byteLength(t) > 32)
            return Checked<QString>::refuse(QStringLiteral("用户名称最长为32个英文或者16个中文字母！"));
        return t;
    case col::User::TimeLimit:
        if (Status s = CheckNumber(t, false, 3, 255, QStringLiteral("请输入数字作为呼出时限！"),
                                   QStringLiteral("请输入整数作为呼出时限！"), QStringLiteral("呼出时限最大为255！"),
                                   QStringLiteral("呼出时限最大为255！"));
            !s)
            return Checked<QString>::refuse(s.reason());
        return QString::number(ValInt(t));
    case col::User::Rent:
        if (Status s = CheckNumber(t, true, 6, 999.99, QStringLiteral("请输入数字作为月租费！"),
                                   QStringLiteral("请输入数字作为月租费！"), QStringLiteral("月租费最大为999.99！"),
                                   QStringLiteral("月租费最大为999.99！"));
            !s)
            return Checked<QString>::refuse(s.reason());
        if (Money::fromText(t) > Money::fromText(QStringLiteral("999.99")))
            return Checked<QString>::refuse(QStringLiteral("月租费最大为999.99！"));
        return Money::fromText(t).toText();
    default: break;
    }
    if (!userChoices(col).contains(t))
        return Checked<QString>::refuse(QStringLiteral("提示：请选择您要修改的内容。"));
    return t;
}

Checked<UserParameters::PortRange> UserParameters::checkRange(const QString &first, const QString &last) const
{
    const int cap = capacity();
    const QString a = first.trimmed();
    const QString b = last.trimmed();
    const QString why =
        QStringLiteral("物理端口号必须是0到%1之间的整数，请检查“从物理端口号”和“到物理端口号”！").arg(cap - 1);
    if (cap < 1 || !wholeNumber(a) || !wholeNumber(b) || ValInt(a) >= cap || ValInt(b) >= cap)
        return Checked<PortRange>::refuse(why);
    return PortRange{int(ValInt(a)), int(ValInt(b))};
}

Checked<UserParameters::AmendPlan> UserParameters::planAmend(int col, const PortRange &range,
                                                             const QString &value) const
{
    if (col < 1 || col >= UserGridColumns)
        return Checked<AmendPlan>::refuse(QStringLiteral("提示：请选择您要修改的内容。"));
    AmendPlan plan;
    plan.col = col;
    plan.range = range;
    const int n = range.count();
    if (col != col::User::Number) {
        for (int k = 0; k < n; ++k)
            plan.values << value;
        return plan;
    }

    // Renumbering: port first + k gets value + k × step. Every new number is
    // checked before anything is written or sent.
    const qint64 base = ValInt(value);
    QMap<QString, QString> others; // number -> port, for the ports outside the range
    const TableRows all = Recordset(m_db, QStringLiteral("User")).snapshot();
    const int lo = qMin(range.first, range.last);
    const int hi = qMax(range.first, range.last);
    for (const QStringList &row : all.rows) {
        const QString port = row.value(col::User::Port).trimmed();
        const qint64 p = ValInt(port);
        if (wholeNumber(port) && p >= lo && p <= hi)
            continue;
        const QString number = row.value(col::User::Number).trimmed();
        if (!number.isEmpty() && !others.contains(number))
            others.insert(number, port);
    }
    for (int k = 0; k < n; ++k) {
        const qint64 v = base + qint64(k) * range.step();
        if (v < 0)
            return Checked<AmendPlan>::refuse(QStringLiteral("批量修改后的用户号码不能为负数！"));
        const QString text = k == 0 ? value.trimmed() : QString::number(v);
        if (text.size() > numberLength())
            return Checked<AmendPlan>::refuse(QStringLiteral("用户号码最大为%1位整数！").arg(numberLength()));
        if (others.contains(text))
            return Checked<AmendPlan>::refuse(
                QStringLiteral("用户号码%1已经被物理端口%2的分机使用！").arg(text, others.value(text)));
        plan.values << text;
    }
    return plan;
}

QStringList UserParameters::depositsAtRisk(const AmendPlan &plan) const
{
    QStringList out;
    if (plan.col != col::User::PayType || plan.values.value(0) != Ordinary)
        return out;
    for (int k = 0; k < plan.range.count(); ++k) {
        const QString port = QString::number(plan.port(k));
        Recordset dep(m_db, QStringLiteral("Foregift"), userDeposit(port));
        for (dep.moveFirst(); dep.hasCurrent(); dep.moveNext()) {
            if (holdsMoney(dep))
                out << QStringLiteral("%1（余额%2元）")
                           .arg(dep.value(col::Foregift::Number).trimmed(),
                                Money::fromText(dep.value(col::Foregift::Balance)).toText());
        }
    }
    return out;
}

QStringList UserParameters::userCommands(int col, const QString &port, const QString &number,
                                         const QString &value) const
{
    const QString v = value.trimmed();
    auto code = [&](const QString &c, const QString &arg) {
        return QLatin1Char('*') + c + QLatin1Char('*') + arg + QLatin1Char('*') + number + QLatin1Char('#');
    };
    switch (col) {
    case col::User::Number: return {QStringLiteral("*11*") + port + QLatin1Char('*') + v + QLatin1Char('#')};
    case col::User::Class: return {code(QStringLiteral("10"), v)};
    case col::User::TrunkGroup: return {code(QStringLiteral("48"), v)};
    case col::User::TimeLimit: return {code(QStringLiteral("61"), v)};
    default: break;
    }
    const QString mark = markCode(col);
    if (!mark.isEmpty())
        return {code(mark, QString::number(qMax(0, ChoiceIndex(v, m_marks))))};
    return {};
}

StoreResult UserParameters::amendPort(const AmendPlan &plan, int k)
{
    if (k < 0 || k >= plan.values.size())
        return StoreResult(rowGone());
    const int col = plan.col;
    const QString port = QString::number(plan.port(k));
    const QString value = plan.values.at(k);
    // The port's own row, found by its port: never the row that happens to
    // follow in the table.
    Recordset user(m_db, QStringLiteral("User"), Criteria(ColPort, port));
    if (!user.findFirst(Criteria(ColPort, port)))
        return StoreResult(Status::fail(QStringLiteral("物理端口%1没有用户记录").arg(port)));
    const QString number = user.value(col::User::Number).trimmed();
    Recordset dep(m_db, QStringLiteral("Foregift"), userDeposit(port));
    const bool hasDeposit = dep.recordCount() > 0;
    dep.moveFirst();

    const Status s = inTransaction(m_db, QStringLiteral("物理端口%1未能修改").arg(port), [&]() -> Status {
        if (Status w = SetField(user, col, value); !w)
            return w;
        switch (col) {
        case col::User::Number:
            // The deposit row goes with its extension's number.
            return hasDeposit ? SetField(dep, col::Foregift::Number, value) : Status::ok();
        case col::User::Name: return hasDeposit ? SetField(dep, col::Foregift::Name, value) : Status::ok();
        case col::User::Class: return hasDeposit ? SetField(dep, col::Foregift::Class, value.trimmed()) : Status::ok();
        case col::User::PayType:
            if (value == Ordinary)
                return deleteRows(dep);
            if (value == Prepaid && !hasDeposit) {
                Recordset add = Recordset::forAppend(m_db, QStringLiteral("Foregift"));
                return WriteRecord(add, true,
                                   {port, number, user.value(col::User::Name), user.value(col::User::Class),
                                    QStringLiteral("0.00"), QStringLiteral("0.00"), QString(), m_marks.at(0)});
            }
            return Status::ok();
        default: return Status::ok();
        }
    });
    if (!s)
        return StoreResult(s, {}, true);
    return StoreResult(Status::ok(), userCommands(col, port, number, value));
}

// ---- groups -----------------------------------------------------------------------------

QStringList UserParameters::groups()
{
    m_group->requery();
    QStringList out;
    for (const QStringList &row : m_group->snapshot().rows)
        out << row.value(0);
    return out;
}

QStringList UserParameters::userItems()
{
    QStringList out;
    for (const QStringList &row : users().rows)
        out << row.value(col::User::Number) + QStringLiteral("--") + row.value(col::User::Name);
    return out;
}

QList<bool> UserParameters::membersOf(const QString &group)
{
    QList<bool> out;
    for (const QStringList &row : users().rows)
        out << (!group.isEmpty() && row.value(col::User::Group) == group);
    return out;
}

Checked<QString> UserParameters::checkNewGroup(const QString &name)
{
    const QString t = name.trimmed();
    if (t.isEmpty() || byteLength(t) > 20)
        return Checked<QString>::refuse(QStringLiteral("组名长度不能为空，长度不能超过10个汉字或20个英文字符！"));
    if (groups().contains(t))
        return Checked<QString>::refuse(QStringLiteral("您输入的组名已经存在！"));
    return t;
}

Status UserParameters::addGroup(const QString &name)
{
    const Status s = WriteRecord(*m_group, true, {name});
    m_group->requery();
    return s.context(QStringLiteral("组未能添加"));
}

Status UserParameters::saveGroup(const QString &group, const QList<bool> &selected)
{
    if (group.isEmpty())
        return Status::ok();
    const TableRows shown = users();
    return inTransaction(m_db, QStringLiteral("组成员未能保存"), [&]() -> Status {
        for (int i = 0; i < shown.size() && i < selected.size(); ++i) {
            const QString current = shown.rows.at(i).value(col::User::Group);
            QString wanted = current;
            if (selected.at(i))
                wanted = group;
            else if (current == group)
                wanted.clear();
            if (wanted == current)
                continue;
            if (!m_user->moveToId(shown.rowIds.at(i)))
                return rowGone();
            if (Status s = SetField(*m_user, col::User::Group, wanted); !s)
                return s;
        }
        return Status::ok();
    });
}

Status UserParameters::deleteGroup(const QString &group)
{
    return inTransaction(m_db, QStringLiteral("组未能删除"), [&]() -> Status {
        Recordset g(m_db, QStringLiteral("Group"), Criteria(ColGroup, group));
        if (Status s = deleteRows(g); !s)
            return s;
        Recordset members(m_db, QStringLiteral("User"), Criteria(ColGroup, group));
        for (members.moveFirst(); members.hasCurrent(); members.moveNext()) {
            if (Status s = SetField(members, col::User::Group, QString()); !s)
                return s;
        }
        return Status::ok();
    });
}

// ---- deposits ---------------------------------------------------------------------------

TableRows UserParameters::deposits()
{
    m_foregift->requery();
    m_shownDeposits = m_foregift->snapshot();
    return m_shownDeposits;
}

qint64 UserParameters::depositRowId(int index) const { return m_shownDeposits.rowId(index); }

QStringList UserParameters::depositRow(qint64 rowId) const
{
    return m_shownDeposits.row(m_shownDeposits.indexOf(rowId));
}

CellRule UserParameters::depositRule(const GridCell &cell) const
{
    const QStringList row = depositRow(cell.rowId);
    if (row.value(col::Foregift::Port).trimmed().isEmpty())
        return CellRule::fixed();
    if (cell.col == col::Foregift::Deposit || cell.col == col::Foregift::Password)
        return CellRule::text();
    if (cell.col == col::Foregift::PasswordOn && row.value(col::Foregift::Number).trimmed() != AccountWord)
        return CellRule::cycle(m_marks, m_marks.at(1));
    return CellRule::fixed();
}

Checked<QString> UserParameters::checkDeposit(const GridCell &cell, const QString &text) const
{
    const QString t = text.trimmed();
    if (cell.col == col::Foregift::Deposit) {
        if (Status s = CheckNumber(t, true, 8, 999, QStringLiteral("请输入数字作为押金！"), QString(),
                                   QStringLiteral("押金最大为8位（含小数点和2位小数）！"),
                                   QStringLiteral("押金最大为999.00元"));
            !s)
            return Checked<QString>::refuse(s.reason());
        return Money::fromText(t).toText();
    }
    if (cell.col == col::Foregift::Password) {
        const QString tooLong = QStringLiteral("密码最长为%1位！").arg(passwordLength());
        if (Status s = CheckNumber(t, false, passwordLength(), 999999999, QStringLiteral("请输入整数作为密码！"),
                                   QStringLiteral("请输入整数作为密码！"), tooLong, tooLong);
            !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    if (cell.col == col::Foregift::PasswordOn && m_marks.contains(t))
        return t;
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
}

StoreResult UserParameters::storeDeposit(const GridCell &cell, const QString &value)
{
    Recordset &fg = *m_foregift;
    if (!fg.moveToId(cell.rowId))
        return StoreResult(rowGone(), {}, true);
    const QString key = fg.value(col::Foregift::Port).trimmed();
    const bool account = fg.value(col::Foregift::Number).trimmed() == AccountWord;
    QStringList commands;
    auto writeColumns = [&](const QList<std::pair<int, QString>> &cols) -> Status {
        if (Status s = fg.edit(); !s)
            return s;
        for (const auto &c : cols) {
            if (Status s = fg.setField(c.first, c.second); !s) {
                fg.cancelUpdate();
                return s;
            }
        }
        return fg.update();
    };
    Status s;
    if (cell.col == col::Foregift::Deposit) {
        // A new deposit paid: the balance starts again from it.
        s = inTransaction(m_db, QStringLiteral("押金未能保存"), [&] {
            return writeColumns({{col::Foregift::Balance, value}, {col::Foregift::Deposit, value}});
        });
    } else if (cell.col == col::Foregift::Password) {
        s = inTransaction(m_db, QStringLiteral("密码未能保存"), [&]() -> Status {
            if (Status w = writeColumns({{col::Foregift::Password, value}}); !w)
                return w;
            if (!account)
                return Status::ok();
            Recordset acct(m_db, QStringLiteral("Account"), Criteria(ColAccount, key));
            return acct.hasCurrent() ? SetField(acct, col::Account::Password, value) : Status::ok();
        });
        commands << QStringLiteral("*67*") + key + QLatin1Char('*') + value + QLatin1Char('#');
    } else if (cell.col == col::Foregift::PasswordOn && !account) {
        const bool on = value == m_marks.at(1);
        const QString password = on ? RandomDigits(passwordLength()) : QString();
        s = inTransaction(m_db, QStringLiteral("密码未能保存"), [&] {
            return writeColumns({{col::Foregift::Password, password}, {col::Foregift::PasswordOn, value}});
        });
        commands << (on ? QStringLiteral("*67*") + key + QLatin1Char('*') + password + QLatin1Char('#')
                        : QStringLiteral("*67*") + key + QStringLiteral("*0#"));
    } else {
        return StoreResult(Status::fail(QStringLiteral("这一列不能修改")));
    }
    if (!s)
        commands.clear();
    return StoreResult(s, commands, true);
}

QString UserParameters::depositPassword(qint64 rowId) const
{
    Recordset &fg = *m_foregift;
    fg.requery();
    return fg.moveToId(rowId) ? fg.value(col::Foregift::Password) : QString();
}

std::optional<QString> UserParameters::depositMoney(const QString &key, bool account) const
{
    Recordset dep(m_db, QStringLiteral("Foregift"), account ? accountDeposit(key) : userDeposit(key));
    for (dep.moveFirst(); dep.hasCurrent(); dep.moveNext()) {
        if (holdsMoney(dep))
            return Money::fromText(dep.value(col::Foregift::Balance)).toText();
    }
    return std::nullopt;
}

// ---- accounts ---------------------------------------------------------------------------

TableRows UserParameters::accounts()
{
    m_account->requery();
    m_shownAccounts = m_account->snapshot();
    return m_shownAccounts;
}

qint64 UserParameters::accountRowId(int index) const { return m_shownAccounts.rowId(index); }

CellRule UserParameters::accountRule(const GridCell &cell) const
{
    const QStringList row = m_shownAccounts.row(m_shownAccounts.indexOf(cell.rowId));
    if (row.value(col::Account::Number).trimmed().isEmpty())
        return CellRule::fixed();
    switch (cell.col) {
    case col::Account::Name:
    case col::Account::Class:
    case col::Account::Password: return CellRule::text();
    case col::Account::PayType: return CellRule::cycle({Ordinary, Prepaid}, Ordinary);
    default: return CellRule::fixed();
    }
}

Checked<QString> UserParameters::checkAccount(const GridCell &cell, const QString &text) const
{
    const QString t = text.trimmed();
    switch (cell.col) {
    case col::Account::Name:
        if (byteLength(t) > 16)
            return Checked<QString>::refuse(QStringLiteral("账号名称不能超过8个汉字或者16个英文字符!"));
        return t;
    case col::Account::Class: {
        const QString range = QStringLiteral("账号等级只能在1～6之间!");
        if (Status s = CheckNumber(t, false, 1, 6, QStringLiteral("请输入数字作为账号等级！"),
                                   QStringLiteral("请输入整数作为账号等级！"), range, range);
            !s)
            return Checked<QString>::refuse(s.reason());
        if (ValInt(t) < 1)
            return Checked<QString>::refuse(range);
        return t;
    }
    case col::Account::Password: {
        const QString tooLong = QStringLiteral("密码最长为%1位！").arg(passwordLength());
        if (Status s = CheckNumber(t, false, passwordLength(), 999999999, QStringLiteral("请输入整数作为密码！"),
                                   QStringLiteral("请输入整数作为密码！"), tooLong, tooLong);
            !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    case col::Account::PayType:
        if (t == Ordinary || t == Prepaid)
            return t;
        break;
    default: break;
    }
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
}

StoreResult UserParameters::storeAccount(const GridCell &cell, const QString &value)
{
    Recordset &acct = *m_account;
    acct.requery();
    if (!acct.moveToId(cell.rowId))
        return StoreResult(rowGone(), {}, true);
    const QString n = acct.value(col::Account::Number).trimmed();
    const QString trunkGroup = acct.value(col::Account::TrunkGroup).trimmed();
    const QString cls = acct.value(col::Account::Class).trimmed();
    const QString password = acct.value(col::Account::Password).trimmed();
    const QString name = acct.value(col::Account::Name);
    Recordset dep(m_db, QStringLiteral("Foregift"), accountDeposit(n));
    const bool hasDeposit = dep.recordCount() > 0;
    dep.moveFirst();
    QStringList commands;
    auto mirror = [&](int depositCol, const QString &v) {
        return hasDeposit ? SetField(dep, depositCol, v) : Status::ok();
    };
    const Status s = inTransaction(m_db, QStringLiteral("账号%1未能修改").arg(n), [&]() -> Status {
        if (Status w = SetField(acct, cell.col, value); !w)
            return w;
        switch (cell.col) {
        case col::Account::Name: return mirror(col::Foregift::Name, value);
        case col::Account::Class:
            commands << QStringLiteral("*68*") + value + QLatin1Char('*') + trunkGroup + QStringLiteral("*0*") + n
                            + QLatin1Char('#');
            return mirror(col::Foregift::Class, value);
        case col::Account::Password:
            commands << QStringLiteral("*67*") + n + QLatin1Char('*') + value + QLatin1Char('#');
            return mirror(col::Foregift::Password, value);
        case col::Account::PayType:
            if (value == Ordinary)
                return deleteRows(dep);
            commands << QStringLiteral("*68*") + cls + QLatin1Char('*') + trunkGroup + QStringLiteral("*0*") + n
                            + QLatin1Char('#')
                     << QStringLiteral("*67*") + n + QLatin1Char('*') + password + QLatin1Char('#');
            if (hasDeposit)
                return Status::ok();
            {
                Recordset add = Recordset::forAppend(m_db, QStringLiteral("Foregift"));
                return WriteRecord(add, true,
                                   {n, AccountWord, name, cls, QStringLiteral("0.00"), QStringLiteral("0.00"), password,
                                    m_marks.at(1)});
            }
        default: return Status::ok();
        }
    });
    if (!s)
        commands.clear();
    return StoreResult(s, commands, true);
}

Checked<QString> UserParameters::nextAccountNumber() const
{
    const TableRows rows = m_account->snapshot();
    QSet<qint64> used;
    for (const QStringList &row : rows.rows)
        used.insert(ValInt(row.value(col::Account::Number)));
    if (rows.size() < MaxAccount - 1) {
        for (qint64 n = MaxAccount; n >= 1; --n) {
            if (!used.contains(n))
                return accountText(n);
        }
    }
    return Checked<QString>::refuse(QStringLiteral("账号已经申请完毕！"));
}

StoreResult UserParameters::addAccount()
{
    m_account->requery();
    const Checked<QString> n = nextAccountNumber();
    if (!n)
        return StoreResult(n.status());
    const Status s = WriteRecord(
        *m_account, true,
        {*n, *n + AccountWord, QStringLiteral("4"), QStringLiteral("0"), RandomDigits(passwordLength()), Ordinary});
    m_account->requery();
    if (!s)
        return StoreResult(s.context(QStringLiteral("账号未能添加")), {}, true);
    // These two take the account number without its leading zeros.
    const QString bare = QString::number(ValInt(*n));
    return StoreResult(
        Status::ok(),
        {QStringLiteral("*68*4*0*0*") + bare + QLatin1Char('#'), QStringLiteral("*74*1*1*") + bare + QLatin1Char('#')},
        true);
}

StoreResult UserParameters::deleteAccount(qint64 rowId)
{
    Recordset &acct = *m_account;
    acct.requery();
    if (!acct.moveToId(rowId))
        return StoreResult(Status::ok(), {}, true);
    const QString n = acct.value(col::Account::Number).trimmed();
    if (n.isEmpty())
        return StoreResult(Status::ok());
    const Status s = inTransaction(m_db, QStringLiteral("账号%1未能删除").arg(n), [&]() -> Status {
        // An account's deposit row goes with it, whatever its payment type
        // says: a deposit row of no account would be charged by nobody.
        Recordset dep(m_db, QStringLiteral("Foregift"), accountDeposit(n));
        if (Status d = deleteRows(dep); !d)
            return d;
        return acct.deleteCurrent();
    });
    acct.requery();
    return StoreResult(s, {}, true);
}

std::optional<QString> UserParameters::accountMoney(qint64 rowId) const
{
    const QStringList row = m_shownAccounts.row(m_shownAccounts.indexOf(rowId));
    const QString n = row.value(col::Account::Number).trimmed();
    if (n.isEmpty())
        return std::nullopt;
    return depositMoney(n, true);
}

// ---- the run of one amendment -------------------------------------------------------------

UserAmendRun::UserAmendRun(UserParameters &params, UserParameters::AmendPlan plan, SwitchLink *link, QObject *parent)
    : QObject(parent), m_params(params), m_plan(std::move(plan)), m_link(link)
{}

Status UserAmendRun::start()
{
    if (m_running)
        return Status::fail(QStringLiteral("正在批量修改，请稍候！"));
    m_running = true;
    m_next = 0;
    const Status s = runStep();
    if (s && !m_waitingOn)
        advance();
    return s;
}

Status UserAmendRun::runStep()
{
    const int k = m_next++;
    const StoreResult r = m_params.amendPort(m_plan, k);
    emit stepped(m_next, m_plan.values.size(), m_plan.port(k), m_plan.values.value(k), r.status);
    if (!r) {
        end(r.status);
        return r.status;
    }
    if (m_link && !r.commands.isEmpty()) {
        CommandBatch *batch = m_link->QueueStarCommands(r.commands, LinkCommand::DefaultGapMs);
        // A change of one port is done once its commands are queued: the
        // operator goes on to the next cell at once.
        if (m_plan.values.size() == 1)
            return Status::ok();
        m_waitingOn = batch;
        connect(batch, &CommandBatch::finished, this, [this, batch] {
            if (m_waitingOn != batch)
                return;
            m_waitingOn = nullptr;
            advance();
        });
    }
    return Status::ok();
}

void UserAmendRun::advance()
{
    while (m_running && !m_waitingOn) {
        if (m_next >= m_plan.values.size()) {
            end(Status::ok());
            return;
        }
        if (!runStep())
            return;
    }
}

void UserAmendRun::finishNow()
{
    if (!m_running)
        return;
    if (m_waitingOn)
        m_waitingOn->disconnect(this);
    m_waitingOn = nullptr;
    QStringList codes;
    Status s;
    while (s && m_next < m_plan.values.size()) {
        const int k = m_next++;
        const StoreResult r = m_params.amendPort(m_plan, k);
        s = r.status;
        if (s)
            codes += r.commands;
    }
    if (m_link && !codes.isEmpty())
        m_link->QueueStarCommands(codes, LinkCommand::DefaultGapMs);
    end(s);
}

void UserAmendRun::end(const Status &s)
{
    m_running = false;
    emit finished(s);
}

} // namespace corvane
