#include "DepositTable.h"

#include "AccountTable.h"
#include "ClassCommands.h"
#include "ConfigTable.h"
#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableAccess.h"
#include "UserTable.h"

#include <QSet>
#include <functional>

namespace corvane {

namespace {

const QString kZero = QStringLiteral("0.00");

QString col(Database &db, DepositField f) { return TableAccess::column(db, DepositTable::Name, int(f)); }

DepositRow toRow(TableAccess::StoredRow &&s)
{
    DepositRow r;
    r.rowId = s.rowId;
    r.values = std::move(s.values);
    while (r.values.size() < DepositFieldCount)
        r.values.append(QString());
    return r;
}

QList<QPair<int, QString>> positions(const QList<QPair<DepositField, QString>> &fields)
{
    QList<QPair<int, QString>> cols;
    for (const auto &[f, v] : fields)
        cols.append({int(f), v});
    return cols;
}

QString extensionWhere(Database &db)
{
    return col(db, DepositField::Key) + QStringLiteral("=? AND ") + col(db, DepositField::Number)
           + QStringLiteral("<>?");
}

QString accountWhere(Database &db)
{
    return col(db, DepositField::Key) + QStringLiteral("=? AND ") + col(db, DepositField::Number)
           + QStringLiteral("=?");
}

} // namespace

const QString DepositTable::Name = QStringLiteral("Foregift");
const QString DepositTable::AccountWord = QStringLiteral("账号");

bool DepositRow::isAccount() const { return number() == DepositTable::AccountWord; }

QString DepositTable::columnName(DepositField f) { return findTable(Name)->columns.at(int(f)); }
QStringList DepositTable::columnNames() { return findTable(Name)->columns; }

Checked<QList<DepositRow>> DepositTable::all() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<QList<DepositRow>>();
    QList<DepositRow> out;
    for (TableAccess::StoredRow &s : *rows)
        out.append(toRow(std::move(s)));
    return out;
}

Checked<TableRows> DepositTable::rows() const
{
    auto rows = TableAccess::read(m_db, Name);
    if (!rows)
        return rows.refusedAs<TableRows>();
    TableRows t;
    t.columns = columnNames();
    for (TableAccess::StoredRow &s : *rows) {
        t.rowIds.append(s.rowId);
        t.rows.append(std::move(s.values));
    }
    return t;
}

Checked<std::optional<DepositRow>> DepositTable::first(const QString &where, const QVariantList &params) const
{
    auto rows = TableAccess::read(m_db, Name, where, params, QStringLiteral("rowid"), 1);
    if (!rows)
        return rows.refusedAs<std::optional<DepositRow>>();
    if (rows->isEmpty())
        return std::optional<DepositRow>();
    return std::optional<DepositRow>(toRow(std::move(rows->first())));
}

Checked<std::optional<DepositRow>> DepositTable::byRowId(qint64 rowId) const
{
    return first(QStringLiteral("rowid=?"), {rowId});
}

Checked<std::optional<DepositRow>> DepositTable::ofExtension(const QString &port) const
{
    return first(extensionWhere(m_db), {port.trimmed(), AccountWord});
}

Checked<std::optional<DepositRow>> DepositTable::ofAccount(const QString &account) const
{
    return first(accountWhere(m_db), {account.trimmed(), AccountWord});
}

Checked<std::optional<DepositRow>> DepositTable::of(const MoneyOwner &owner) const
{
    return owner.account ? ofAccount(owner.key) : ofExtension(owner.key);
}

SettlementMoney SettlementMoney::of(Money deposit, Money balance, Money settled, Money charged, Money rent, bool full)
{
    SettlementMoney m;
    m.deposit = deposit;
    m.balance = balance;
    m.settled = settled;
    m.charged = charged;
    m.rent = rent;
    m.full = full;
    // The settled calls the balance does not hold yet, and the rent.
    const Money left = balance - rent - (settled - charged);
    if (full) {
        m.refund = left.isNegative() ? Money() : left;
        m.collect = left.isNegative() ? -left : Money();
        return m;
    }
    const Money owed = settled + rent;
    if (deposit >= owed) {
        m.depositAfter = deposit - owed;
    } else {
        m.collect = owed - deposit;
        m.depositAfter = Money();
    }
    m.balanceAfter = left + m.collect;
    return m;
}

namespace {

QString demotionKind(const DepositRow &row)
{
    return row.isAccount() ? DepositTable::AccountWord : QStringLiteral("分机");
}

Status ensureDemotionTable(Database &db)
{
    return db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"类别\" TEXT, \"键\" TEXT, \"原等级\" TEXT)")
                       .arg(Database::quoteId(DepositTable::DemotionTable)));
}

bool isMoney(DepositField f) { return f == DepositField::Balance || f == DepositField::Deposit; }

} // namespace

const QString DepositTable::DemotionTable = QStringLiteral("DemotedClass");

Checked<JournalRow> DepositTable::record(const DepositRow &row, JournalRow entry)
{
    MoneyJournal journal(m_db);
    if (const auto made = journal.ensure(); !made)
        return made.refusedAs<JournalRow>();
    entry.owner = row.owner();
    if (entry.number.isEmpty())
        entry.number = row.isAccount() ? AccountTable::callerText(row.key()) : row.number();
    return journal.append(entry, row.balance(), row.deposit());
}

Status DepositTable::setMoney(const DepositRow &row, Money balance, Money deposit)
{
    return TableAccess::update(
        m_db, Name, row.rowId,
        {{int(DepositField::Balance), balance.toText()}, {int(DepositField::Deposit), deposit.toText()}});
}

QString DepositTable::numberOf(const DepositRow &row) const
{
    if (row.isAccount())
        return row.key();
    // The switch knows the extension by its number; without a user row the
    // deposit row's number is the one, never the port.
    const auto user = UserTable(m_db).byPort(row.key());
    if (user && *user && !(*user)->number().isEmpty())
        return (*user)->number();
    return row.number();
}

Status DepositTable::setClass(const DepositRow &row, const QString &cls)
{
    if (Status s = write(row.rowId, {{DepositField::Class, cls}}); !s)
        return s;
    return setOwnerClass(row.owner(), cls);
}

Status DepositTable::setOwnerClass(const MoneyOwner &owner, const QString &cls)
{
    if (owner.account) {
        AccountTable accounts(m_db);
        const auto account = accounts.byNumber(owner.key);
        if (!account)
            return account.status();
        return *account ? accounts.write((*account)->rowId, {{AccountField::Class, cls}}) : Status::ok();
    }
    UserTable users(m_db);
    const auto user = users.byPort(owner.key);
    if (!user)
        return user.status();
    return *user ? users.write((*user)->rowId, {{UserField::Class, cls}}) : Status::ok();
}

Checked<ClassMove> DepositTable::demote(const DepositRow &row, const QString &demoteClass)
{
    ClassMove move;
    move.cls = demoteClass;
    QString before = row.get(DepositField::Class).trimmed();
    QString trunk;
    bool ownerFound = false;
    if (row.isAccount()) {
        const auto account = AccountTable(m_db).byNumber(row.key());
        if (!account)
            return account.refusedAs<ClassMove>();
        if (*account) {
            ownerFound = true;
            before = (*account)->cls();
            trunk = (*account)->trunkGroup();
        }
    } else {
        const auto user = UserTable(m_db).byPort(row.key());
        if (!user)
            return user.refusedAs<ClassMove>();
        if (*user)
            before = (*user)->cls();
    }
    if (Status s = ensureDemotionTable(m_db); !s)
        return Checked<ClassMove>::refuse(s);
    // The class before the first demotion is the one to give back: a second
    // overrun while demoted keeps it.
    const auto known = demotedFrom(row);
    if (!known)
        return known.refusedAs<ClassMove>();
    if (!*known)
        if (Status s =
                m_db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?)").arg(Database::quoteId(DemotionTable)),
                          {demotionKind(row), row.key(), before});
            !s)
            return Checked<ClassMove>::refuse(s);
    if (Status s = setClass(row, demoteClass); !s)
        return Checked<ClassMove>::refuse(s);
    if (row.isAccount()) {
        // An account the Account table no longer has cannot be told.
        if (ownerFound)
            move.commands << ClassCommands::account(demoteClass, trunk, row.key());
    } else if (const QString number = numberOf(row); !number.isEmpty()) {
        move.commands << ClassCommands::extension(demoteClass, number);
    }
    return move;
}

Checked<ClassMove> DepositTable::giveBackClass(const DepositRow &row)
{
    ClassMove move;
    const auto before = demotedFrom(row);
    if (!before)
        return before.refusedAs<ClassMove>();
    const QString balance = row.balance().toText();
    const QString who = row.isAccount() ? QStringLiteral("账号") + row.key() : QStringLiteral("分机") + numberOf(row);
    if (!*before) {
        // Demoted by an older console, which kept no class: the operator sets it.
        move.notice =
            QStringLiteral("%1的余额已恢复为%2元。原等级不明，请在“用户信息”或“账号”中设置等级。").arg(who, balance);
        return move;
    }
    move.cls = **before;
    if (Status s = setClass(row, move.cls); !s)
        return Checked<ClassMove>::refuse(s);
    if (Status s = forgetDemotion(row); !s)
        return Checked<ClassMove>::refuse(s);
    if (row.isAccount()) {
        const auto account = AccountTable(m_db).byNumber(row.key());
        if (!account)
            return account.refusedAs<ClassMove>();
        if (*account)
            move.commands << ClassCommands::account(move.cls, (*account)->trunkGroup(), row.key());
    } else if (const QString number = numberOf(row); !number.isEmpty()) {
        move.commands << ClassCommands::extension(move.cls, number);
    }
    move.notice = QStringLiteral("%1的余额已恢复为%2元，等级已恢复为%3。").arg(who, balance, move.cls);
    return move;
}

Checked<ClassMove> DepositTable::followBalance(const DepositRow &row, Money before, Money after,
                                               const QString &demoteClass)
{
    const auto demoted = demotedFrom(row);
    if (!demoted)
        return demoted.refusedAs<ClassMove>();
    if (after.isNegative()) {
        // In debt: demoted, unless it is already.
        if (*demoted)
            return ClassMove();
        return demote(row, demoteClass);
    }
    if (*demoted || before.isNegative())
        return giveBackClass(row);
    return ClassMove();
}

Checked<std::optional<QString>> DepositTable::demotedFrom(const DepositRow &row) const
{
    if (!m_db.tableExists(DemotionTable))
        return std::optional<QString>();
    const auto rows =
        m_db.select(QStringLiteral("SELECT \"原等级\" FROM %1 WHERE \"类别\"=? AND \"键\"=? ORDER BY rowid LIMIT 1")
                        .arg(Database::quoteId(DemotionTable)),
                    {demotionKind(row), row.key()});
    if (!rows)
        return rows.refusedAs<std::optional<QString>>();
    if (rows->isEmpty())
        return std::optional<QString>();
    return std::optional<QString>(rows->first().value(0));
}

Status DepositTable::forgetDemotion(const DepositRow &row)
{
    if (!m_db.tableExists(DemotionTable))
        return Status::ok();
    return m_db.exec(
        QStringLiteral("DELETE FROM %1 WHERE \"类别\"=? AND \"键\"=?").arg(Database::quoteId(DemotionTable)),
        {demotionKind(row), row.key()});
}

Checked<DepositTable::Charged> DepositTable::charge(const DepositRow &row, Money fee, qint64 billRowId,
                                                    const QString &demoteClass)
{
    Charged c;
    // Rounded as it is stored, so that "ran out" is judged on what the table holds.
    c.balance = Money::fromText((row.balance() - fee).toText());
    c.overrun = c.balance.isNegative();
    JournalRow e;
    e.kind = MoneyKind::CallCharged;
    e.amount = c.balance - row.balance();
    e.billRowId = billRowId;
    if (c.overrun)
        e.cls = demoteClass;
    if (const auto r = record(row, e); !r)
        return r.refusedAs<Charged>();
    if (Status s = setMoney(row, c.balance, row.deposit()); !s)
        return Checked<Charged>::refuse(s);
    if (c.overrun) {
        DepositRow now = row;
        now.set(DepositField::Balance, c.balance.toText());
        const auto moved = demote(now, demoteClass);
        if (!moved)
            return moved.refusedAs<Charged>();
        c.commands = moved->commands;
    }
    return c;
}

namespace {

// What a class rule will do, so that the journal row can name the class.
QString classAfter(const std::optional<QString> &demoted, const DepositRow &row, Money before, Money after,
                   const QString &demoteClass)
{
    (void)row;
    if (after.isNegative())
        return demoted ? QString() : demoteClass;
    if (demoted)
        return *demoted;
    (void)before;
    return QString();
}

} // namespace

Checked<DepositTable::Moved> DepositTable::changeDeposit(const DepositRow &row, Money deposit,
                                                         const QString &demoteClass)
{
    const Money diff = deposit - row.deposit();
    if (diff.isZero())
        return Moved{row, Money(), ClassMove()};
    const auto demoted = demotedFrom(row);
    if (!demoted)
        return demoted.refusedAs<Moved>();
    Moved m;
    m.change = diff;
    m.now = row;
    const Money balance = row.balance() + diff;
    m.now.set(DepositField::Balance, balance.toText());
    m.now.set(DepositField::Deposit, deposit.toText());
    JournalRow e;
    e.kind = diff.isNegative() ? MoneyKind::DepositLowered : MoneyKind::DepositPaid;
    e.amount = diff;
    e.depositDelta = diff;
    e.cls = classAfter(*demoted, row, row.balance(), balance, demoteClass);
    if (const auto r = record(row, e); !r)
        return r.refusedAs<Moved>();
    if (Status s = setMoney(row, balance, deposit); !s)
        return Checked<Moved>::refuse(s);
    const auto cls = followBalance(m.now, row.balance(), balance, demoteClass);
    if (!cls)
        return cls.refusedAs<Moved>();
    m.cls = *cls;
    if (!m.cls.cls.isEmpty())
        m.now.set(DepositField::Class, m.cls.cls);
    return m;
}

Checked<DepositTable::Moved> DepositTable::topUp(const DepositRow &row, Money amount, const QString &demoteClass)
{
    if (amount.isZero() || amount.isNegative())
        return Checked<Moved>::refuse(QStringLiteral("续交押金的金额必须大于0"));
    const auto demoted = demotedFrom(row);
    if (!demoted)
        return demoted.refusedAs<Moved>();
    Moved m;
    m.change = amount;
    m.now = row;
    const Money balance = row.balance() + amount;
    const Money deposit = row.deposit() + amount;
    m.now.set(DepositField::Balance, balance.toText());
    m.now.set(DepositField::Deposit, deposit.toText());
    JournalRow e;
    e.kind = MoneyKind::TopUp;
    e.amount = amount;
    e.depositDelta = amount;
    e.cls = classAfter(*demoted, row, row.balance(), balance, demoteClass);
    if (const auto r = record(row, e); !r)
        return r.refusedAs<Moved>();
    if (Status s = setMoney(row, balance, deposit); !s)
        return Checked<Moved>::refuse(s);
    const auto cls = followBalance(m.now, row.balance(), balance, demoteClass);
    if (!cls)
        return cls.refusedAs<Moved>();
    m.cls = *cls;
    if (!m.cls.cls.isEmpty())
        m.now.set(DepositField::Class, m.cls.cls);
    return m;
}

QString DepositTable::changeText(const DepositRow &row, Money deposit)
{
    const Money diff = deposit - row.deposit();
    const QString money = diff.isNegative() ? QStringLiteral("退还%1元").arg((-diff).toText())
                                            : QStringLiteral("收取%1元").arg(diff.toText());
    return QStringLiteral("押金由%1改为%2，%3；余额%4→%5")
        .arg(row.deposit().toText(), deposit.toText(), money, row.balance().toText(), (row.balance() + diff).toText());
}

QString DepositTable::topUpText(const DepositRow &row, Money amount)
{
    return QStringLiteral("续交押金%1元，收取%1元；押金%2→%3，余额%4→%5")
        .arg(amount.toText(), row.deposit().toText(), (row.deposit() + amount).toText(), row.balance().toText(),
             (row.balance() + amount).toText());
}

Checked<ClassMove> DepositTable::settle(const DepositRow &row, const Settling &s)
{
    DepositRow now = row;
    auto put = [&](JournalRow e) -> Status {
        e.ledgerRowId = s.ledgerRowId;
        const auto r = record(now, e);
        if (!r)
            return r.status();
        now.set(DepositField::Balance, r->balanceAfter.toText());
        now.set(DepositField::Deposit, r->depositAfter.toText());
        return Status::ok();
    };
    if (!s.money.rent.isZero()) {
        JournalRow e;
        e.kind = MoneyKind::RentCharged;
        e.amount = -s.money.rent;
        e.month = s.rentMonth;
        if (Status st = put(e); !st)
            return Checked<ClassMove>::refuse(st);
    } else if (s.rentWaived) {
        JournalRow e;
        e.kind = MoneyKind::RentWaived;
        e.month = s.rentMonth;
        e.note = QStringLiteral("已免");
        if (Status st = put(e); !st)
            return Checked<ClassMove>::refuse(st);
    }
    for (const auto &[bill, amount] : s.uncharged) {
        if (amount.isZero())
            continue;
        JournalRow e;
        e.kind = MoneyKind::SettledCharges;
        e.amount = -amount;
        e.billRowId = bill;
        if (Status st = put(e); !st)
            return Checked<ClassMove>::refuse(st);
    }
    if (s.money.full) {
        JournalRow e;
        e.kind = s.money.collect.isZero() ? MoneyKind::Refund : MoneyKind::Collection;
        e.amount = s.money.collect.isZero() ? -s.money.refund : s.money.collect;
        e.depositDelta = -now.deposit();
        e.cls = s.settleClass;
        if (Status st = put(e); !st)
            return Checked<ClassMove>::refuse(st);
    } else {
        if (!s.money.collect.isZero()) {
            JournalRow e;
            e.kind = MoneyKind::Collection;
            e.amount = s.money.collect;
            if (Status st = put(e); !st)
                return Checked<ClassMove>::refuse(st);
        }
        const Money used = now.deposit() - s.money.depositAfter;
        if (!used.isZero()) {
            JournalRow e;
            e.kind = MoneyKind::DepositUsed;
            e.depositDelta = -used;
            if (Status st = put(e); !st)
                return Checked<ClassMove>::refuse(st);
        }
    }
    // The journal and the money worked out for the receipt must agree.
    if (now.balance() != s.money.balanceAfter || now.deposit() != s.money.depositAfter)
        return Checked<ClassMove>::refuse(QStringLiteral("%1的结算金额不符：余额%2（应为%3），押金%4（应为%5）")
                                              .arg(row.owner().describe(row.number()), now.balance().toText(),
                                                   s.money.balanceAfter.toText(), now.deposit().toText(),
                                                   s.money.depositAfter.toText()));
    if (Status st = setMoney(row, now.balance(), now.deposit()); !st)
        return Checked<ClassMove>::refuse(st);
    if (!s.money.full)
        return followBalance(now, row.balance(), now.balance(), s.demoteClass);

    // Settled in full: the class after settlement, the remembered one forgotten.
    ClassMove move;
    move.cls = s.settleClass;
    if (Status st = setClass(now, s.settleClass); !st)
        return Checked<ClassMove>::refuse(st);
    if (Status st = forgetDemotion(now); !st)
        return Checked<ClassMove>::refuse(st);
    if (row.isAccount()) {
        const auto account = AccountTable(m_db).byNumber(row.key());
        if (!account)
            return account.refusedAs<ClassMove>();
        if (*account)
            move.commands << ClassCommands::account(s.settleClass, (*account)->trunkGroup(), row.key());
    } else if (const QString number = numberOf(row); !number.isEmpty()) {
        move.commands << ClassCommands::extension(s.settleClass, number);
    }
    return move;
}

Checked<QStringList> DepositTable::giveBackCharges(const QList<qint64> &billRowIds, const QString &note)
{
    QStringList commands;
    const auto charges = MoneyJournal(m_db).chargesByBill(billRowIds);
    if (!charges)
        return charges.refusedAs<QStringList>();
    const auto config = ConfigTable(m_db).read();
    if (!config)
        return config.refusedAs<QStringList>();
    for (const MoneyJournal::BillCharge &c : *charges) {
        if (c.amount.isZero())
            continue;
        const auto row = of(c.owner);
        if (!row)
            return row.refusedAs<QStringList>();
        if (!*row)
            continue; // given up since: its money was settled with it
        const auto demoted = demotedFrom(**row);
        if (!demoted)
            return demoted.refusedAs<QStringList>();
        const Money after = (*row)->balance() + c.amount;
        JournalRow e;
        e.kind = MoneyKind::ChargeGivenBack;
        e.amount = c.amount;
        e.billRowId = c.bill;
        e.note = note;
        e.cls = classAfter(*demoted, **row, (*row)->balance(), after, config->demoteClass());
        if (const auto r = record(**row, e); !r)
            return r.refusedAs<QStringList>();
        if (Status s = setMoney(**row, after, (*row)->deposit()); !s)
            return Checked<QStringList>::refuse(s);
        DepositRow now = **row;
        now.set(DepositField::Balance, after.toText());
        const auto cls = followBalance(now, (*row)->balance(), after, config->demoteClass());
        if (!cls)
            return cls.refusedAs<QStringList>();
        commands += cls->commands;
    }
    return commands;
}

Status DepositTable::write(qint64 rowId, const QList<QPair<DepositField, QString>> &fields)
{
    for (const auto &f : fields)
        if (isMoney(f.first))
            return Status::fail(QStringLiteral("押金金额只能通过交押金、话费和结算改变"));
    return TableAccess::update(m_db, Name, rowId, positions(fields));
}

Status DepositTable::followUser(const QString &port, const QList<QPair<DepositField, QString>> &fields)
{
    const auto row = ofExtension(port);
    if (!row)
        return row.status();
    if (!*row)
        return Status::ok();
    return write((*row)->rowId, fields);
}

Status DepositTable::followAccount(const QString &account, const QList<QPair<DepositField, QString>> &fields)
{
    const auto row = ofAccount(account);
    if (!row)
        return row.status();
    if (!*row)
        return Status::ok();
    return write((*row)->rowId, fields);
}

Status DepositTable::addForUser(const UserRow &user)
{
    const auto existing = ofExtension(user.port());
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::ok();
    DepositRow r;
    r.set(DepositField::Key, user.port());
    r.set(DepositField::Number, user.number());
    r.set(DepositField::Name, user.name());
    r.set(DepositField::Class, user.cls());
    r.set(DepositField::Balance, kZero);
    r.set(DepositField::Deposit, kZero);
    r.set(DepositField::PasswordOn, QStringLiteral("×"));
    return TableAccess::insert(m_db, Name, r.values).status();
}

Status DepositTable::addForAccount(const AccountRow &account)
{
    const auto existing = ofAccount(account.number());
    if (!existing)
        return existing.status();
    if (*existing)
        return Status::ok();
    DepositRow r;
    r.set(DepositField::Key, account.number());
    r.set(DepositField::Number, AccountWord);
    r.set(DepositField::Name, account.get(AccountField::Name));
    r.set(DepositField::Class, account.get(AccountField::Class));
    r.set(DepositField::Balance, kZero);
    r.set(DepositField::Deposit, kZero);
    r.set(DepositField::Password, account.get(AccountField::Password));
    r.set(DepositField::PasswordOn, QStringLiteral("√"));
    return TableAccess::insert(m_db, Name, r.values).status();
}

namespace {

Status removeWithJournal(Database &db, DepositTable &table, const std::optional<DepositRow> &row,
                         const std::function<Checked<JournalRow>(const DepositRow &, JournalRow)> &record)
{
    if (!row)
        return Status::ok();
    if (row->holdsMoney()) {
        // What it still holds goes back to the caller (or is owed by it).
        JournalRow e;
        e.kind = MoneyKind::Closed;
        e.amount = -row->balance();
        e.depositDelta = -row->deposit();
        if (const auto r = record(*row, e); !r)
            return r.status();
    }
    (void)table;
    return TableAccess::remove(db, DepositTable::Name, row->rowId);
}

} // namespace

Status DepositTable::removeOfExtension(const QString &port)
{
    return InTransaction(m_db, [&]() -> Status {
        auto rows = TableAccess::read(m_db, Name, extensionWhere(m_db), {port.trimmed(), AccountWord});
        if (!rows)
            return rows.status();
        for (TableAccess::StoredRow &s : *rows) {
            const DepositRow row = toRow(std::move(s));
            if (Status st = removeWithJournal(m_db, *this, row,
                                              [this](const DepositRow &r, JournalRow e) { return record(r, e); });
                !st)
                return st;
            if (Status st = forgetDemotion(row); !st)
                return st;
        }
        return Status::ok();
    });
}

Status DepositTable::removeOfAccount(const QString &account)
{
    return InTransaction(m_db, [&]() -> Status {
        auto rows = TableAccess::read(m_db, Name, accountWhere(m_db), {account.trimmed(), AccountWord});
        if (!rows)
            return rows.status();
        for (TableAccess::StoredRow &s : *rows) {
            const DepositRow row = toRow(std::move(s));
            if (Status st = removeWithJournal(m_db, *this, row,
                                              [this](const DepositRow &r, JournalRow e) { return record(r, e); });
                !st)
                return st;
            if (Status st = forgetDemotion(row); !st)
                return st;
        }
        return Status::ok();
    });
}

Checked<DepositTable::Kept> DepositTable::keepMoneyFrom(const QString &schema)
{
    const QString t = Database::quoteId(Name);
    const QString key = col(m_db, DepositField::Key);
    const QString number = col(m_db, DepositField::Number);
    const QString balance = col(m_db, DepositField::Balance);
    const QString paid = col(m_db, DepositField::Deposit);
    QStringList all;
    for (const QString &c : columnNames())
        all.append(Database::quoteId(c));
    // An extension's deposit is the one of its port, an account's the one of
    // its number: the number column of an extension's row may have changed
    // since the backup (a renumbered extension), its port has not.
    const QString sameKind = QStringLiteral("(c.%1 = ?) = (%2.%1 = ?)").arg(number, QStringLiteral("%1"));
    auto same = [&](const QString &other) {
        return QStringLiteral("c.%1 IS %2.%1 AND ").arg(key, other) + QString(sameKind).arg(other);
    };
    auto pick = [&](const QString &column) {
        return QStringLiteral("(SELECT c.%1 FROM %2.%3 AS c WHERE %4 ORDER BY c.rowid LIMIT 1)")
            .arg(column, schema, t, same(QStringLiteral("main.") + t));
    };
    const QVariantList word{AccountWord, AccountWord};
    Kept k;
    if (Status s =
            m_db.exec(QStringLiteral("UPDATE main.%1 SET %2=%3, %4=%5 WHERE EXISTS (SELECT 1 FROM %6.%1 AS c "
                                     "WHERE %7)")
                          .arg(t, balance, pick(balance), paid, pick(paid), schema, same(QStringLiteral("main.") + t)),
                      word + word + word);
        !s)
        return Checked<Kept>::refuse(s);
    k.kept = m_db.changes();
    // A deposit taken after the backup comes as a whole row.
    if (Status s = m_db.exec(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%1 AS c WHERE NOT EXISTS "
                                            "(SELECT 1 FROM main.%1 AS m WHERE %4) ORDER BY c.rowid")
                                 .arg(t, all.join(QStringLiteral(", ")), schema, same(QStringLiteral("m"))),
                             word);
        !s)
        return Checked<Kept>::refuse(s);
    k.added = m_db.changes();
    // One deposit per port and per account: the first row of each stays.
    if (Status s = m_db.exec(QStringLiteral("DELETE FROM main.%1 WHERE rowid > (SELECT min(m.rowid) FROM main.%1 AS m "
                                            "WHERE m.%2 IS main.%1.%2 AND (m.%3 = ?) = (main.%1.%3 = ?))")
                                 .arg(t, key, number),
                             word);
        !s)
        return Checked<Kept>::refuse(s);
    // Each extension's deposit carries its user's number, as the user table
    // the restore brought has it.
    if (Status s =
            m_db.exec(QStringLiteral("UPDATE main.%1 SET %2=(SELECT u.%3 FROM main.%4 AS u WHERE u.%5=main.%1.%6 "
                                     "ORDER BY u.rowid LIMIT 1) WHERE %2<>? AND EXISTS (SELECT 1 FROM main.%4 "
                                     "AS u WHERE u.%5=main.%1.%6)")
                          .arg(t, number, TableAccess::column(m_db, UserTable::Name, int(UserField::Number)),
                               Database::quoteId(UserTable::Name),
                               TableAccess::column(m_db, UserTable::Name, int(UserField::Port)), key),
                      {AccountWord});
        !s)
        return Checked<Kept>::refuse(s);
    return k;
}

Checked<DepositTable::Replayed> DepositTable::replayJournal(std::optional<qint64> fileLastSeq, bool withCalls,
                                                            const QList<QPair<qint64, QString>> &undone,
                                                            const QString &current)
{
    Replayed out;
    MoneyJournal journal(m_db);
    if (const auto made = journal.ensure(); !made)
        return made.refusedAs<Replayed>();

    // A deposit taken since the file was made comes whole, as the replaced
    // database (attached as `current`) has it: its money is its journal's
    // already, so the journal is not replayed onto it again.
    QSet<MoneyOwner> whole;
    auto rowOf = [&](const MoneyOwner &owner, bool create) -> Checked<std::optional<DepositRow>> {
        auto row = of(owner);
        if (!row || *row || !create || whole.contains(owner))
            return row;
        const QString t = Database::quoteId(Name);
        QStringList all;
        for (const QString &c : columnNames())
            all.append(Database::quoteId(c));
        const QString where = owner.account ? accountWhere(m_db) : extensionWhere(m_db);
        if (Status s = m_db.exec(QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM %3.%1 WHERE %4 ORDER BY rowid "
                                                "LIMIT 1")
                                     .arg(t, all.join(QStringLiteral(", ")), current, where),
                                 {owner.key, AccountWord});
            !s)
            return Checked<std::optional<DepositRow>>::refuse(s);
        whole.insert(owner);
        // Its class is the one the switch was told: its user or account takes it.
        const auto copied = of(owner);
        if (!copied)
            return copied;
        if (*copied)
            if (Status s = setClass(**copied, (*copied)->get(DepositField::Class).trimmed()); !s)
                return Checked<std::optional<DepositRow>>::refuse(s);
        return std::optional<DepositRow>();
    };
    auto giveUp = [&](const DepositRow &row) -> Status { return TableAccess::remove(m_db, Name, row.rowId); };

    QSet<MoneyOwner> touched;
    if (!fileLastSeq) {
        // A file from before the journal: every deposit is brought to what
        // its journal adds up to.
        const auto sums = journal.sums();
        if (!sums)
            return sums.refusedAs<Replayed>();
        for (auto it = sums->cbegin(); it != sums->cend(); ++it) {
            const bool closed = it->lastKind == kindText(MoneyKind::Closed);
            const auto row = rowOf(it.key(), !closed);
            if (whole.contains(it.key()))
                continue;
            if (!row)
                return row.refusedAs<Replayed>();
            if (!*row)
                continue;
            if (closed && it->balance.isZero() && it->deposit.isZero()) {
                if (Status s = giveUp(**row); !s)
                    return Checked<Replayed>::refuse(s);
            } else if (Status s = setMoney(**row, it->balance, it->deposit); !s) {
                return Checked<Replayed>::refuse(s);
            }
            touched.insert(it.key());
        }
    } else {
        const auto rows = journal.after(*fileLastSeq);
        if (!rows)
            return rows.refusedAs<Replayed>();
        QHash<MoneyOwner, QString> lastClass;
        for (const JournalRow &r : *rows) {
            const auto row = rowOf(r.owner, true);
            if (!row)
                return row.refusedAs<Replayed>();
            ++out.rows;
            touched.insert(r.owner);
            if (!r.cls.isEmpty())
                lastClass.insert(r.owner, r.cls);
            if (!*row || whole.contains(r.owner))
                continue;
            const Money balance = (*row)->balance() + r.amount;
            const Money deposit = (*row)->deposit() + r.depositDelta;
            if (Status s = setMoney(**row, balance, deposit); !s)
                return Checked<Replayed>::refuse(s);
            if (!r.cls.isEmpty())
                if (Status s = setClass(**row, r.cls); !s)
                    return Checked<Replayed>::refuse(s);
            if (r.kind == MoneyKind::Closed)
                if (Status s = giveUp(**row); !s)
                    return Checked<Replayed>::refuse(s);
        }
        // A room settled and given up since has no deposit any more; the
        // class it was settled to is still the one the switch holds.
        for (auto it = lastClass.cbegin(); it != lastClass.cend(); ++it) {
            const auto row = of(it.key());
            if (!row)
                return row.refusedAs<Replayed>();
            if (!*row)
                if (Status s = setOwnerClass(it.key(), it.value()); !s)
                    return Checked<Replayed>::refuse(s);
        }
    }
    out.deposits = touched.size();

    if (withCalls) {
        // Calls charged that the restored records no longer hold are not
        // billed any more: their charges go back to the deposits.
        const auto charged = journal.chargedBillsAfter(fileLastSeq.value_or(0));
        if (!charged)
            return charged.refusedAs<Replayed>();
        QList<qint64> gone;
        for (qint64 bill : *charged) {
            const auto present = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE rowid=?")
                                                 .arg(Database::quoteId(QStringLiteral("PHNBill"))),
                                             {bill});
            if (!present)
                return present.refusedAs<Replayed>();
            if (present->toLongLong() == 0)
                gone.append(bill);
        }
        const auto back = giveBackCharges(gone, QStringLiteral("话单随恢复撤销"));
        if (!back)
            return back.refusedAs<Replayed>();
        out.givenBack = gone.size();
        out.commands += *back;
        // Settlements the restored records undo: recorded, their money stays
        // where it went.
        for (const auto &[ledger, text] : undone) {
            const auto owners = journal.ownersOfLedger(ledger);
            if (!owners)
                return owners.refusedAs<Replayed>();
            for (const MoneyOwner &owner : *owners) {
                const auto row = of(owner);
                if (!row)
                    return row.refusedAs<Replayed>();
                if (!*row)
                    continue;
                JournalRow e;
                e.kind = MoneyKind::Undone;
                e.ledgerRowId = ledger;
                e.note = text;
                if (const auto r = record(**row, e); !r)
                    return r.refusedAs<Replayed>();
            }
        }
    }
    return out;
}

} // namespace corvane
