#include "UserParameters.h"

#include "PendingCommands.h"
#include <algorithm>

#include "AccountTable.h"
#include "ClassCommands.h"
#include "ConfigTable.h"
#include "Data.h"
#include "Database.h"
#include "DepositTable.h"
#include "DirectoryTables.h"
#include "General.h"
#include "Money.h"
#include "SwitchLink.h"
#include "UserTable.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringEncoder>
#include <QTimer>
#include <algorithm>

namespace corvane {

const QString UserParameters::Ordinary = QStringLiteral("普通");
const QString UserParameters::Prepaid = QStringLiteral("押金");
const QString UserParameters::AccountWord = QStringLiteral("账号");

namespace {

// The user grid shows the User columns in their stored order: grid column c
// is field c.
UserField userField(int col) { return UserField(col); }
DepositField depositField(int col) { return DepositField(col); }
AccountField accountField(int col) { return AccountField(col); }

// Star code of each yes/no setting of a user: "*NN*" d "*" number "#".
QString markCode(UserField f)
{
    switch (f) {
    case UserField::CallerDisplay: return QStringLiteral("59");
    case UserField::ExtraFunction: return QStringLiteral("15");
    case UserField::DialLocal: return QStringLiteral("41");
    case UserField::DialSpecial: return QStringLiteral("40");
    case UserField::CallInternal: return QStringLiteral("42");
    case UserField::TrunkIn: return QStringLiteral("43");
    default: return QString();
    }
}

bool isMarkColumn(UserField f) { return !markCode(f).isEmpty() || f == UserField::ShowOnTrunk; }

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

// Runs the writes of one change in one transaction; nothing is kept when a
// step fails.
template <class F>
Status inTransaction(Database &db, const QString &what, F &&steps)
{
    return InTransaction(db, std::forward<F>(steps)).context(what);
}

// Rows of a gateway as the grids show them, with the row ids.
template <class Row>
TableRows gridRows(const QStringList &columns, const QList<Row> &rows)
{
    TableRows t;
    t.columns = columns;
    for (const Row &r : rows) {
        t.rows.append(r.values);
        t.rowIds.append(r.rowId);
    }
    return t;
}

// Numbers by their value, before texts; texts as text.
bool SortKeyLess(const QString &a, const QString &b)
{
    bool aNumber = false, bNumber = false;
    const double x = a.toDouble(&aNumber), y = b.toDouble(&bNumber);
    if (aNumber && bNumber)
        return x < y;
    if (aNumber != bNumber)
        return aNumber;
    return a < b;
}

} // namespace

UserParameters::UserParameters(Database &db, QStringList marks) : m_db(db), m_marks(std::move(marks))
{
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
}

UserParameters::~UserParameters() = default;

int UserParameters::byteLength(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return int(QByteArray(encoder.encode(text)).size());
}

// ---- configuration --------------------------------------------------------------------

ConfigRow UserParameters::config() const
{
    const auto row = ConfigTable(m_db).read();
    return row ? *row : ConfigRow();
}

int UserParameters::capacity() const { return config().capacity(); }
int UserParameters::passwordLength() const { return config().passwordLength(); }
int UserParameters::numberLength() const { return config().numberLength(); }

// ---- users ----------------------------------------------------------------------------

Checked<TableRows> UserParameters::users()
{
    const auto all = UserTable(m_db).inPortOrder();
    if (!all)
        return Checked<TableRows>::refuse(all.status().context(QStringLiteral("用户资料无法读取")));
    const int cap = capacity();
    QList<UserRow> shown;
    for (const UserRow &r : *all) {
        if (shown.size() >= cap)
            break;
        if (!wholeNumber(r.port()) || ValInt(r.port()) >= cap)
            continue;
        shown << r;
    }
    m_userRows = shown;
    m_shownUsers = gridRows(UserTable::columnNames(), shown);
    return m_shownUsers;
}

qint64 UserParameters::userRowId(int index) const { return m_shownUsers.rowId(index); }

QStringList UserParameters::userChoices(int col) const
{
    const UserField f = userField(col);
    if (f == UserField::Class)
        return numbersFrom(1, 8);
    if (f == UserField::TrunkGroup)
        return numbersFrom(0, 12);
    if (f == UserField::PayType)
        return {Ordinary, Prepaid};
    if (isMarkColumn(f))
        return m_marks;
    return {};
}

CellRule UserParameters::userRule(int col) const
{
    const UserField f = userField(col);
    switch (f) {
    case UserField::Number:
    case UserField::Name:
    case UserField::TimeLimit:
    case UserField::Rent: return CellRule::text();
    case UserField::Class: return CellRule::cycle(userChoices(col), QStringLiteral("6"));
    case UserField::TrunkGroup: return CellRule::cycle(userChoices(col), QStringLiteral("1"));
    case UserField::PayType: return CellRule::cycle(userChoices(col), Ordinary);
    default:
        if (isMarkColumn(f))
            return CellRule::cycle(m_marks, m_marks.at(1));
        return CellRule::fixed();
    }
}

namespace {

// The switch takes a password field "0" or "00" as no password at all: the
// console would hold a password the switch does not ask for.
Status checkPasswordDigits(const QString &password)
{
    if (password == QLatin1String("0") || password == QLatin1String("00"))
        return Status::fail(QStringLiteral("密码不能为0或00！"));
    return Status::ok();
}

// Money is paid in yuan and fen: a third decimal would be rounded away
// without anyone having paid it.
Status checkCents(const QString &amount)
{
    const int point = amount.indexOf(QLatin1Char('.'));
    if (point >= 0 && amount.size() - point - 1 > 2)
        return Status::fail(QStringLiteral("押金最多两位小数！"));
    return Status::ok();
}

} // namespace

Checked<QString> UserParameters::checkUserValue(int col, const QString &text) const
{
    const QString t = text.trimmed();
    switch (userField(col)) {
    case UserField::Number: {
        const QString len = QString::number(numberLength());
        if (Status s = CheckNumber(t, false, numberLength(), 999999, QStringLiteral("请输入数字作为用户号码！"),
                                   QStringLiteral("请输入整数作为用户号码！"),
                                   QStringLiteral("用户号码最大为") + len + QStringLiteral("位整数！"), QString());
            !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    case UserField::Name:
        // Counted as the system stores it: a Chinese character takes two bytes.
        if (byteLength(t) > 32)
            return Checked<QString>::refuse(QStringLiteral("用户名称最长为32个英文或者16个中文字母！"));
        return t;
    case UserField::TimeLimit:
        if (Status s = CheckNumber(t, false, 3, 255, QStringLiteral("请输入数字作为呼出时限！"),
                                   QStringLiteral("请输入整数作为呼出时限！"), QStringLiteral("呼出时限最大为255！"),
                                   QStringLiteral("呼出时限最大为255！"));
            !s)
            return Checked<QString>::refuse(s.reason());
        return QString::number(ValInt(t));
    case UserField::Rent:
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
    if (userField(col) != UserField::Number) {
        for (int k = 0; k < n; ++k)
            plan.values << value;
        return plan;
    }

    // Renumbering: port first + k gets value + k × step. Every new number is
    // checked before anything is written or sent.
    const qint64 base = ValInt(value);
    QMap<QString, QString> others; // number -> port, for the ports outside the range
    const auto all = UserTable(m_db).all();
    if (!all)
        return all.refusedAs<AmendPlan>();
    const int lo = qMin(range.first, range.last);
    const int hi = qMax(range.first, range.last);
    for (const UserRow &row : *all) {
        const QString port = row.port();
        const qint64 p = ValInt(port);
        if (wholeNumber(port) && p >= lo && p <= hi)
            continue;
        const QString number = row.number();
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
    if (userField(plan.col) != UserField::PayType || plan.values.value(0) != Ordinary)
        return out;
    for (int k = 0; k < plan.range.count(); ++k) {
        const auto dep = DepositTable(m_db).ofExtension(QString::number(plan.port(k)));
        if (dep && *dep && (*dep)->holdsMoney())
            out << QStringLiteral("%1（余额%2元）").arg((*dep)->number(), (*dep)->balance().toText());
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
    const UserField f = userField(col);
    switch (f) {
    case UserField::Number: return {QStringLiteral("*11*") + port + QLatin1Char('*') + v + QLatin1Char('#')};
    case UserField::Class: return {code(QStringLiteral("10"), v)};
    case UserField::TrunkGroup: return {code(QStringLiteral("48"), v)};
    case UserField::TimeLimit: return {code(QStringLiteral("61"), v)};
    default: break;
    }
    const QString mark = markCode(f);
    if (!mark.isEmpty())
        return {code(mark, QString::number(qMax(0, ChoiceIndex(v, m_marks))))};
    return {};
}

StoreResult UserParameters::amendPort(const AmendPlan &plan, int k)
{
    if (k < 0 || k >= plan.values.size())
        return StoreResult(rowGone());
    const UserField field = userField(plan.col);
    const QString port = QString::number(plan.port(k));
    const QString value = plan.values.at(k);
    // The port's own row, found by its port: never the row that happens to
    // follow in the table.
    UserTable users(m_db);
    DepositTable deposits(m_db);
    const auto found = users.byPort(port);
    if (!found || !*found)
        return StoreResult(Status::fail(QStringLiteral("物理端口%1没有用户记录").arg(port)));
    const UserRow user = **found;
    const QString number = user.number();

    const Status s = inTransaction(m_db, QStringLiteral("物理端口%1未能修改").arg(port), [&]() -> Status {
        // A new number, name or class goes into the deposit row too (the
        // user gateway carries it over).
        if (Status w = users.write(user.rowId, {{field, value}}); !w)
            return w;
        switch (field) {
        case UserField::PayType:
            if (value == Ordinary)
                return deposits.removeOfExtension(port);
            if (value == Prepaid)
                return deposits.addForUser(user);
            return Status::ok();
        default: return Status::ok();
        }
    });
    if (!s)
        return StoreResult(s, {}, true);
    QStringList commands = userCommands(plan.col, port, number, value);
    // A deposit user made ordinary dials without a password from now on, in
    // the switch as in the tables.
    if (field == UserField::PayType && value == Ordinary && user.get(UserField::PayType).trimmed() != Ordinary)
        commands << QStringLiteral("*67*") + port + QStringLiteral("*0#");
    return StoreResult(Status::ok(), commands);
}

StoreResult UserParameters::amendPortKept(const AmendPlan &plan, int k)
{
    return StoreKept(
        m_db, [&] { return amendPort(plan, k); }, PendingCommand::DefaultGapMs);
}

// ---- groups -----------------------------------------------------------------------------

Checked<QStringList> UserParameters::groups() const
{
    const auto names = GroupTable(m_db).names();
    if (!names)
        return Checked<QStringList>::refuse(names.status().context(QStringLiteral("组无法读取")));
    return names;
}

QStringList UserParameters::userItems()
{
    (void)users(); // the rows as the grid shows them
    QStringList out;
    for (const UserRow &row : std::as_const(m_userRows))
        out << row.get(UserField::Number) + QStringLiteral("--") + row.name();
    return out;
}

QList<bool> UserParameters::membersOf(const QString &group)
{
    (void)users(); // the rows as the grid shows them
    QList<bool> out;
    for (const UserRow &row : std::as_const(m_userRows))
        out << (!group.isEmpty() && row.group() == group);
    return out;
}

Checked<QString> UserParameters::checkNewGroup(const QString &name)
{
    const QString t = name.trimmed();
    if (t.isEmpty() || byteLength(t) > 20)
        return Checked<QString>::refuse(QStringLiteral("组名长度不能为空，长度不能超过10个汉字或20个英文字符！"));
    const Checked<QStringList> existing = groups();
    if (!existing)
        return existing.refusedAs<QString>();
    if (existing->contains(t))
        return Checked<QString>::refuse(QStringLiteral("您输入的组名已经存在！"));
    return t;
}

Status UserParameters::addGroup(const QString &name)
{
    GroupRow row;
    row.set(GroupField::Name, name);
    return GroupTable(m_db).insert(row).status().context(QStringLiteral("组未能添加"));
}

Status UserParameters::saveGroup(const QString &group, const QList<bool> &selected)
{
    if (group.isEmpty())
        return Status::ok();
    (void)users(); // the rows as the grid shows them
    const QList<UserRow> shown = m_userRows;
    UserTable table(m_db);
    return inTransaction(m_db, QStringLiteral("组成员未能保存"), [&]() -> Status {
        for (int i = 0; i < shown.size() && i < selected.size(); ++i) {
            const QString current = shown.at(i).group();
            QString wanted = current;
            if (selected.at(i))
                wanted = group;
            else if (current == group)
                wanted.clear();
            if (wanted == current)
                continue;
            if (Status s = table.write(shown.at(i).rowId, {{UserField::Group, wanted}}); !s)
                return s;
        }
        return Status::ok();
    });
}

Status UserParameters::deleteGroup(const QString &group)
{
    return inTransaction(m_db, QStringLiteral("组未能删除"), [&]() -> Status {
        if (const auto gone = GroupTable(m_db).removeWhere(GroupField::Name, group); !gone)
            return gone.status();
        UserTable table(m_db);
        const auto members = table.ofGroup(group);
        if (!members)
            return members.status();
        for (const UserRow &member : *members)
            if (Status s = table.write(member.rowId, {{UserField::Group, QString()}}); !s)
                return s;
        return Status::ok();
    });
}

// ---- deposits ---------------------------------------------------------------------------

Checked<TableRows> UserParameters::deposits()
{
    const auto all = DepositTable(m_db).all();
    if (!all)
        return Checked<TableRows>::refuse(all.status().context(QStringLiteral("押金无法读取")));
    m_depositRows = *all;
    // Room order: extensions by port, then accounts by number.
    auto roomLess = [](const DepositRow &a, const DepositRow &b) {
        if (a.isAccount() != b.isAccount())
            return b.isAccount();
        return SortKeyLess(a.key(), b.key());
    };
    std::stable_sort(m_depositRows.begin(), m_depositRows.end(), roomLess);
    if (m_depositSort >= 0) {
        const int c = m_depositSort;
        const bool up = m_depositOrder == Qt::AscendingOrder;
        std::stable_sort(m_depositRows.begin(), m_depositRows.end(), [&](const DepositRow &a, const DepositRow &b) {
            const QString x = a.values.value(c).trimmed(), y = b.values.value(c).trimmed();
            return up ? SortKeyLess(x, y) : SortKeyLess(y, x);
        });
    }
    QStringList captions = DepositTable::columnNames();
    if (m_depositSort >= 0 && m_depositSort < captions.size())
        captions[m_depositSort] += m_depositOrder == Qt::AscendingOrder ? QStringLiteral(" ▲") : QStringLiteral(" ▼");
    m_shownDeposits = gridRows(captions, m_depositRows);
    return m_shownDeposits;
}

void UserParameters::sortDeposits(int column)
{
    if (column < 0) {
        m_depositSort = -1;
        m_depositOrder = Qt::AscendingOrder;
        return;
    }
    m_depositOrder =
        column == m_depositSort && m_depositOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_depositSort = column;
}

qint64 UserParameters::depositRowId(int index) const { return m_shownDeposits.rowId(index); }

DepositRow UserParameters::shownDeposit(qint64 rowId) const
{
    for (const DepositRow &r : m_depositRows)
        if (r.rowId == rowId)
            return r;
    return DepositRow();
}

CellRule UserParameters::depositRule(const GridCell &cell) const
{
    const DepositRow row = shownDeposit(cell.rowId);
    if (row.key().isEmpty())
        return CellRule::fixed();
    const DepositField f = depositField(cell.col);
    if (f == DepositField::Deposit || f == DepositField::Password)
        return CellRule::text();
    if (f == DepositField::PasswordOn && !row.isAccount())
        return CellRule::cycle(m_marks, m_marks.at(1));
    return CellRule::fixed();
}

Checked<QString> UserParameters::checkDeposit(const GridCell &cell, const QString &text) const
{
    const QString t = text.trimmed();
    const DepositField f = depositField(cell.col);
    if (f == DepositField::Deposit) {
        if (Status s = CheckNumber(t, true, 8, 999, QStringLiteral("请输入数字作为押金！"), QString(),
                                   QStringLiteral("押金最大为8位（含小数点和2位小数）！"),
                                   QStringLiteral("押金最大为999.00元"));
            !s)
            return Checked<QString>::refuse(s.reason());
        if (Status s = checkCents(t); !s)
            return Checked<QString>::refuse(s.reason());
        return Money::fromText(t).toText();
    }
    if (f == DepositField::Password) {
        const QString tooLong = QStringLiteral("密码最长为%1位！").arg(passwordLength());
        if (Status s = CheckNumber(t, false, passwordLength(), 999999999, QStringLiteral("请输入整数作为密码！"),
                                   QStringLiteral("请输入整数作为密码！"), tooLong, tooLong);
            !s)
            return Checked<QString>::refuse(s.reason());
        if (Status s = checkPasswordDigits(t); !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    if (f == DepositField::PasswordOn && m_marks.contains(t))
        return t;
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
}

StoreResult UserParameters::storeDeposit(const GridCell &cell, const QString &value)
{
    DepositTable deposits(m_db);
    const auto found = deposits.byRowId(cell.rowId);
    if (!found || !*found)
        return StoreResult(rowGone(), {}, true);
    const DepositRow row = **found;
    const QString key = row.key();
    const bool account = row.isAccount();
    const DepositField f = depositField(cell.col);
    QStringList commands;
    Status s;
    QString notice;
    if (f == DepositField::Deposit) {
        // The deposit held set anew: the balance moves by the difference, so
        // the calls charged stay charged; a balance pushed below 0.00
        // demotes, one 0.00 or more again gives the class back.
        s = inTransaction(m_db, QStringLiteral("押金未能保存"), [&]() -> Status {
            const auto moved = deposits.changeDeposit(row, Money::fromText(value), config().demoteClass());
            if (!moved)
                return moved.status();
            commands = moved->cls.commands;
            notice = moved->cls.notice;
            return Status::ok();
        });
    } else if (f == DepositField::Password) {
        s = inTransaction(m_db, QStringLiteral("密码未能保存"), [&]() -> Status {
            if (Status w = deposits.write(row.rowId, {{DepositField::Password, value}}); !w)
                return w;
            if (!account)
                return Status::ok();
            AccountTable accounts(m_db);
            const auto acct = accounts.byNumber(key);
            if (!acct)
                return acct.status();
            return *acct ? accounts.write((*acct)->rowId, {{AccountField::Password, value}}) : Status::ok();
        });
        commands << QStringLiteral("*67*") + key + QLatin1Char('*') + value + QLatin1Char('#');
    } else if (f == DepositField::PasswordOn && !account) {
        const bool on = value == m_marks.at(1);
        const QString password = on ? RandomDigits(passwordLength()) : QString();
        s = inTransaction(m_db, QStringLiteral("密码未能保存"), [&] {
            return deposits.write(row.rowId, {{DepositField::Password, password}, {DepositField::PasswordOn, value}});
        });
        commands << (on ? QStringLiteral("*67*") + key + QLatin1Char('*') + password + QLatin1Char('#')
                        : QStringLiteral("*67*") + key + QStringLiteral("*0#"));
    } else {
        return StoreResult(Status::fail(QStringLiteral("这一列不能修改")));
    }
    if (!s)
        commands.clear();
    StoreResult result(s, commands, true);
    if (s)
        result.notice = notice;
    return result;
}

StoreResult UserParameters::topUpDeposit(qint64 rowId, const QString &amount)
{
    DepositTable deposits(m_db);
    const auto found = deposits.byRowId(rowId);
    if (!found || !*found)
        return StoreResult(rowGone(), {}, true);
    QStringList commands;
    QString notice;
    const Status s = inTransaction(m_db, QStringLiteral("续交押金未能保存"), [&]() -> Status {
        const auto moved = deposits.topUp(**found, Money::fromText(amount), config().demoteClass());
        if (!moved)
            return moved.status();
        commands = moved->cls.commands;
        notice = moved->cls.notice;
        return Status::ok();
    });
    StoreResult result(s, s ? commands : QStringList(), true);
    if (s)
        result.notice = notice;
    return result;
}

Checked<QString> UserParameters::checkTopUp(const QString &text) const
{
    const QString t = text.trimmed();
    if (Status s =
            CheckNumber(t, true, 8, 999, QStringLiteral("请输入数字作为押金！"), QString(),
                        QStringLiteral("押金最大为8位（含小数点和2位小数）！"), QStringLiteral("押金最大为999.00元"));
        !s)
        return Checked<QString>::refuse(s.reason());
    if (Status s = checkCents(t); !s)
        return Checked<QString>::refuse(s.reason());
    if (!Money::fromText(t).isNegative() && Money::fromText(t).isZero())
        return Checked<QString>::refuse(QStringLiteral("续交押金的金额必须大于0！"));
    return Money::fromText(t).toText();
}

QString UserParameters::depositChangeText(qint64 rowId, const QString &deposit) const
{
    const DepositRow row = shownDeposit(rowId);
    const auto now = DepositTable(m_db).byRowId(rowId);
    return DepositTable::changeText(now && *now ? **now : row, Money::fromText(deposit));
}

Checked<std::optional<JournalRow>> UserParameters::lastMovement(qint64 rowId) const
{
    const auto row = DepositTable(m_db).byRowId(rowId);
    if (!row)
        return row.refusedAs<std::optional<JournalRow>>();
    if (!*row)
        return std::optional<JournalRow>();
    const auto rows = MoneyJournal(m_db).of((*row)->owner());
    if (!rows)
        return rows.refusedAs<std::optional<JournalRow>>();
    if (rows->isEmpty())
        return std::optional<JournalRow>();
    return std::optional<JournalRow>(rows->last());
}

QString UserParameters::topUpText(qint64 rowId, const QString &amount) const
{
    const auto now = DepositTable(m_db).byRowId(rowId);
    return DepositTable::topUpText(now && *now ? **now : shownDeposit(rowId), Money::fromText(amount));
}

QString UserParameters::depositPassword(qint64 rowId) const
{
    const auto row = DepositTable(m_db).byRowId(rowId);
    return row && *row ? (*row)->get(DepositField::Password) : QString();
}

std::optional<QString> UserParameters::depositMoney(const QString &key, bool account) const
{
    DepositTable deposits(m_db);
    const auto row = account ? deposits.ofAccount(key) : deposits.ofExtension(key);
    if (row && *row && (*row)->holdsMoney())
        return (*row)->balance().toText();
    return std::nullopt;
}

// ---- accounts ---------------------------------------------------------------------------

Checked<TableRows> UserParameters::accounts()
{
    const auto all = AccountTable(m_db).all();
    if (!all)
        return Checked<TableRows>::refuse(all.status().context(QStringLiteral("账号无法读取")));
    m_accountRows = *all;
    m_shownAccounts = gridRows(AccountTable::columnNames(), m_accountRows);
    return m_shownAccounts;
}

qint64 UserParameters::accountRowId(int index) const { return m_shownAccounts.rowId(index); }

AccountRow UserParameters::shownAccount(qint64 rowId) const
{
    for (const AccountRow &r : m_accountRows)
        if (r.rowId == rowId)
            return r;
    return AccountRow();
}

CellRule UserParameters::accountRule(const GridCell &cell) const
{
    if (shownAccount(cell.rowId).number().isEmpty())
        return CellRule::fixed();
    switch (accountField(cell.col)) {
    case AccountField::Name:
    case AccountField::Class:
    case AccountField::Password: return CellRule::text();
    case AccountField::PayType: return CellRule::cycle({Ordinary, Prepaid}, Ordinary);
    default: return CellRule::fixed();
    }
}

Checked<QString> UserParameters::checkAccount(const GridCell &cell, const QString &text) const
{
    const QString t = text.trimmed();
    switch (accountField(cell.col)) {
    case AccountField::Name:
        if (byteLength(t) > 16)
            return Checked<QString>::refuse(QStringLiteral("账号名称不能超过8个汉字或者16个英文字符!"));
        return t;
    case AccountField::Class: {
        const QString range = QStringLiteral("账号等级只能在1～6之间!");
        if (Status s = CheckNumber(t, false, 1, 6, QStringLiteral("请输入数字作为账号等级！"),
                                   QStringLiteral("请输入整数作为账号等级！"), range, range);
            !s)
            return Checked<QString>::refuse(s.reason());
        if (ValInt(t) < 1)
            return Checked<QString>::refuse(range);
        return QString::number(ValInt(t)); // a number to the switch: "04" is 4
    }
    case AccountField::Password: {
        const QString tooLong = QStringLiteral("密码最长为%1位！").arg(passwordLength());
        if (Status s = CheckNumber(t, false, passwordLength(), 999999999, QStringLiteral("请输入整数作为密码！"),
                                   QStringLiteral("请输入整数作为密码！"), tooLong, tooLong);
            !s)
            return Checked<QString>::refuse(s.reason());
        if (Status s = checkPasswordDigits(t); !s)
            return Checked<QString>::refuse(s.reason());
        return t;
    }
    case AccountField::PayType:
        if (t == Ordinary || t == Prepaid)
            return t;
        break;
    default: break;
    }
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
}

StoreResult UserParameters::storeAccount(const GridCell &cell, const QString &value)
{
    AccountTable accounts(m_db);
    const auto found = accounts.byRowId(cell.rowId);
    if (!found || !*found)
        return StoreResult(rowGone(), {}, true);
    const AccountRow acct = **found;
    const QString n = acct.number();
    const QString trunkGroup = acct.trunkGroup();
    const QString cls = acct.cls();
    const QString password = acct.get(AccountField::Password).trimmed();
    const AccountField f = accountField(cell.col);
    DepositTable deposits(m_db);
    QStringList commands;
    const Status s = inTransaction(m_db, QStringLiteral("账号%1未能修改").arg(n), [&]() -> Status {
        if (Status w = accounts.write(acct.rowId, {{f, value}}); !w)
            return w;
        // Name, class and password go into the deposit row too (the
        // account gateway carries them over).
        switch (f) {
        case AccountField::Class: commands << ClassCommands::account(value, trunkGroup, n); return Status::ok();
        case AccountField::Password:
            commands << QStringLiteral("*67*") + n + QLatin1Char('*') + value + QLatin1Char('#');
            return Status::ok();
        case AccountField::PayType:
            if (value == Ordinary) {
                if (acct.get(AccountField::PayType).trimmed() != Ordinary)
                    commands << QStringLiteral("*67*") + n + QStringLiteral("*0#");
                return deposits.removeOfAccount(n);
            }
            commands << QStringLiteral("*68*") + cls + QLatin1Char('*') + trunkGroup + QStringLiteral("*0*") + n
                            + QLatin1Char('#')
                     << QStringLiteral("*67*") + n + QLatin1Char('*') + password + QLatin1Char('#');
            return deposits.addForAccount(acct);
        default: return Status::ok();
        }
    });
    if (!s)
        commands.clear();
    return StoreResult(s, commands, true);
}

Checked<QString> UserParameters::nextAccountNumber() const
{
    const auto rows = AccountTable(m_db).all();
    if (!rows)
        return rows.refusedAs<QString>();
    QSet<qint64> used;
    for (const AccountRow &row : *rows)
        used.insert(ValInt(row.get(AccountField::Number)));
    if (rows->size() < MaxAccount - 1) {
        for (qint64 n = MaxAccount; n >= 1; --n) {
            if (!used.contains(n))
                return AccountTable::numberText(int(n));
        }
    }
    return Checked<QString>::refuse(QStringLiteral("账号已经申请完毕！"));
}

StoreResult UserParameters::addAccount()
{
    const Checked<QString> n = nextAccountNumber();
    if (!n)
        return StoreResult(n.status());
    AccountRow row;
    row.set(AccountField::Number, *n);
    row.set(AccountField::Name, *n + AccountWord);
    row.set(AccountField::Class, QStringLiteral("4"));
    row.set(AccountField::TrunkGroup, QStringLiteral("0"));
    row.set(AccountField::Password, RandomDigits(passwordLength()));
    row.set(AccountField::PayType, Ordinary);
    const Status s = AccountTable(m_db).add(row).status();
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
    AccountTable accounts(m_db);
    const auto found = accounts.byRowId(rowId);
    if (!found || !*found)
        return StoreResult(Status::ok(), {}, true);
    const QString n = (*found)->number();
    if (n.isEmpty())
        return StoreResult(Status::ok());
    // An account's deposit row goes with it, whatever its payment type says
    // (the account gateway hands back what it held): a deposit row of no
    // account would be charged by nobody.
    const Status s = accounts.remove(rowId).context(QStringLiteral("账号%1未能删除").arg(n));
    if (!s)
        return StoreResult(s, {}, true);
    // The switch still knows the account: it gets the class an account that
    // ran out of money gets, so that nobody can dial on it any more.
    const QString demote = ConfigTable(m_db).value(ConfigField::DemoteClass).trimmed();
    if (!IsDigits(demote))
        return StoreResult(Status::ok(), {}, true);
    return StoreResult(Status::ok(),
                       {QStringLiteral("*68*") + demote + QLatin1Char('*') + (*found)->trunkGroup()
                        + QStringLiteral("*0*") + n + QLatin1Char('#')},
                       true);
}

std::optional<QString> UserParameters::accountMoney(qint64 rowId) const
{
    const QString n = shownAccount(rowId).number();
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
    const StoreResult r = m_params.amendPortKept(m_plan, k);
    emit stepped(m_next, m_plan.values.size(), m_plan.port(k), m_plan.values.value(k), r.status);
    if (!r) {
        end(r.status);
        return r.status;
    }
    if (m_link && !r.commands.isEmpty()) {
        CommandBatch *batch = m_link->SendKept();
        // A change of one port is done once its commands are queued: the
        // operator goes on to the next cell at once. While the switch cannot
        // take them there is nothing to wait for: the ports are written and
        // their commands kept in order.
        if (m_plan.values.size() == 1 || !batch || !m_link->CanSend())
            return Status::ok();
        m_waitingOn = batch;
        connect(batch, &CommandBatch::finished, this, [this, batch] {
            if (m_waitingOn != batch)
                return;
            m_waitingOn = nullptr;
            advance();
        });
        // The link lost meanwhile: the commands stay kept in order, the
        // remaining ports need not wait for them.
        connect(m_link, &SwitchLink::linkUpChanged, batch, [this, batch](bool up) {
            if (up || m_waitingOn != batch)
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
    Status s;
    while (s && m_next < m_plan.values.size()) {
        const int k = m_next++;
        s = m_params.amendPortKept(m_plan, k).status;
    }
    if (m_link)
        m_link->SendKept();
    end(s);
}

void UserAmendRun::end(const Status &s)
{
    m_running = false;
    emit finished(s);
}

} // namespace corvane
