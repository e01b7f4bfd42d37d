#include "CallQuery.h"

#include "AccountTable.h"
#include "BillTable.h"
#include "ConfigTable.h"
#include "Database.h"
#include "DepositTable.h"
#include "LedgerTable.h"
#include "Money.h"
#include "UserTable.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace corvane::CallQuery {

namespace {

const QString kItemJoin = QStringLiteral("--");

QString q(const QString &name) { return Database::quoteId(name); }

// The number part of a list item "800--张三" (the whole text without "--").
QString itemKey(const QString &item)
{
    const QString t = item.trimmed();
    const int at = t.indexOf(kItemJoin);
    return (at < 0 ? t : t.left(at)).trimmed();
}

// The end-time texts of one hour all start with the same 13 characters
// ("2026年12月09日10"), in both forms; the range's candidates are read through
// the index between the hour of its begin and the hour of its end, and then
// taken or left by their real moment.
QString hourPrefix(const QDateTime &t) { return t.toString(QStringLiteral("yyyy年MM月dd日HH")); }

} // namespace

int FeeColumnOf(const QString &typeCode)
{
    bool ok = false;
    const int code = typeCode.trimmed().toInt(&ok);
    if (!ok)
        return -1;
    switch (code) {
    case 0:
    case 1:
    case 2:
    case 3: return col::PrintFee::LongDistance;
    case 4:
    case 5: return col::PrintFee::Local;
    case 6:
    case 7:
    case 8: return col::PrintFee::City;
    case 9: return col::PrintFee::Incoming;
    default: return -1;
    }
}

void AddRecord(FeeRow &fee, const BillRecord &record)
{
    if (const int c = FeeColumnOf(record.callType()); c >= 0)
        fee.amount(c) += record.charge();
    fee.handling += record.handling();
    fee.service += record.service();
    fee.total += record.fee();
}

Checked<DepositSide> DepositOf(Database &db, const QString &caller)
{
    DepositSide side;
    DepositTable deposits(db);
    std::optional<DepositRow> row;
    if (caller.startsWith(DepositTable::AccountWord)) {
        const auto found = deposits.ofAccount(caller.mid(DepositTable::AccountWord.size()));
        if (!found)
            return found.refusedAs<DepositSide>();
        row = *found;
    } else {
        const auto user = UserTable(db).byNumber(caller);
        if (!user)
            return user.refusedAs<DepositSide>();
        if (!*user)
            return side;
        side.port = (*user)->port();
        const auto found = deposits.ofExtension(side.port);
        if (!found)
            return found.refusedAs<DepositSide>();
        row = *found;
    }
    if (row) {
        side.held = true;
        side.deposit = row->deposit();
        side.balance = row->balance();
    }
    return side;
}

Checked<Rent> RentOf(Database &db, const QString &caller, const QString &port, Money rent, const QDate &day)
{
    Rent r{rent, QString()};
    if (rent.isZero())
        return r;
    const auto charged = LedgerTable(db).rentChargedInMonth(caller, port, day);
    if (!charged)
        return charged.refusedAs<Rent>();
    if (*charged) {
        r.amount = Money();
        r.note = QStringLiteral("本月月租费已于%1结算").arg((*charged)->settledAt.toString(QStringLiteral("MM月dd日")));
    }
    return r;
}

void SetDeposit(FeeRow &fee, const DepositSide &side)
{
    fee.deposit = side.deposit;
    fee.balance = side.balance;
    const Money left = side.deposit - fee.total;
    fee.collect = left.isNegative() ? -left : Money();
    fee.refund = left.isNegative() ? Money() : left;
}

QString StrandedName() { return QStringLiteral("（已停用）"); }

Checked<QStringList> StrandedCallers(Database &db, const QStringList &groups)
{
    const auto callers = BillTable(db).unsettledCallers(groups);
    if (!callers)
        return callers;
    const auto users = UserTable(db).all();
    if (!users)
        return users.refusedAs<QStringList>();
    QSet<QString> numbers;
    for (const UserRow &u : *users)
        numbers.insert(u.get(UserField::Number));
    QStringList out;
    for (const QString &c : *callers)
        if (!c.startsWith(DepositTable::AccountWord) && !numbers.contains(c))
            out.append(c);
    return out;
}

QString settledText() { return BillTable::settledText(); }
QString notSettledText() { return BillTable::notSettledText(); }

Checked<QStringList> FillList(Database &db, SelectMode mode)
{
    QStringList items;
    const QString why = QStringLiteral("选择列表无法读取");
    switch (mode) {
    case SelectMode::Common: {
        const auto config = ConfigTable(db).read();
        const int capacity = config ? config->capacity() : 0;
        const auto rows = UserTable(db).all();
        if (!rows)
            return Checked<QStringList>::refuse(rows.status().context(why));
        for (const UserRow &r : rows->mid(0, capacity))
            items.append(r.get(UserField::Number) + kItemJoin + r.name());
        // A number no user has any more (renumbered, or the user gone) whose
        // calls are not settled yet can still be chosen and settled.
        const auto stranded = StrandedCallers(db);
        if (!stranded)
            return Checked<QStringList>::refuse(stranded.status().context(why));
        for (const QString &number : *stranded)
            items.append(number + kItemJoin + StrandedName());
        break;
    }
    case SelectMode::Group: {
        // The group register: one column, its name.
        const auto rows = db.select(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                        .arg(q(QStringLiteral("组名")), q(QStringLiteral("Group"))));
        if (!rows)
            return Checked<QStringList>::refuse(why + QStringLiteral("：") + rows.reason());
        for (const QStringList &r : *rows)
            items.append(r.at(0));
        break;
    }
    case SelectMode::Account: {
        const auto rows = AccountTable(db).all();
        if (!rows)
            return Checked<QStringList>::refuse(rows.status().context(why));
        for (const AccountRow &r : *rows)
            items.append(r.get(AccountField::Number) + kItemJoin + r.name());
        break;
    }
    }
    return items;
}

Checked<QStringList> CallersFor(Database &db, SelectMode mode, const QStringList &selectedItems)
{
    QStringList callers;
    switch (mode) {
    case SelectMode::Common:
        for (const QString &item : selectedItems)
            if (const QString key = itemKey(item); !key.isEmpty())
                callers.append(key);
        break;
    case SelectMode::Account:
        // Account numbers are three digits everywhere ("账号012").
        for (const QString &item : selectedItems) {
            QString key = itemKey(item);
            if (key.isEmpty())
                continue;
            bool numeric = false;
            const int n = key.toInt(&numeric);
            if (numeric && n >= 0)
                key = AccountTable::numberText(n);
            callers.append(AccountTable::callerText(key));
        }
        break;
    case SelectMode::Group: {
        QSet<QString> groups;
        for (const QString &item : selectedItems)
            if (const QString g = item.trimmed(); !g.isEmpty())
                groups.insert(g);
        if (groups.isEmpty())
            break;
        const auto rows = UserTable(db).all();
        if (!rows)
            return Checked<QStringList>::refuse(rows.status().context(QStringLiteral("用户表无法读取")));
        for (const UserRow &r : *rows) {
            const QString group = r.group().trimmed();
            if (!group.isEmpty() && groups.contains(group) && !r.number().isEmpty())
                callers.append(r.number());
        }
        // The group's calls under a number no user has any more.
        const auto stranded = StrandedCallers(db, QStringList(groups.begin(), groups.end()));
        if (!stranded)
            return Checked<QStringList>::refuse(stranded.status().context(QStringLiteral("话单无法读取")));
        callers += *stranded;
        break;
    }
    }
    callers.removeDuplicates();
    return callers;
}

QStringList StatesFor(int billOption)
{
    switch (billOption) {
    case 1: return {notSettledText()};
    case 2: return {settledText()};
    default: return {settledText(), notSettledText()};
    }
}

std::optional<QDateTime> EndTimeMoment(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\s*(\\d{4})年(\\d{1,2})月(\\d{1,2})日(\\d{1,2})(?:时(\\d{1,2})分|:(\\d{1,2}):(\\d{1,2}))\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const bool minuteForm = m.capturedLength(5) > 0;
    const QTime time(m.captured(4).toInt(), minuteForm ? m.captured(5).toInt() : m.captured(6).toInt(),
                     minuteForm ? 0 : m.captured(7).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

Checked<Chosen> Choose(Database &db, const Criteria &criteria)
{
    Chosen out;
    if (criteria.callers.isEmpty() || criteria.types.isEmpty() || criteria.states.isEmpty())
        return out;
    // BillTable::select chooses nothing without a state.
    if (criteria.begin && criteria.end && *criteria.end < *criteria.begin)
        return out;

    BillTable::Selection selection;
    selection.callers = criteria.callers;
    for (int t : criteria.types)
        selection.types.append(QString::number(t));
    // A settlement lists and sums only what is not settled yet, and says how
    // many of the records asked for it leaves out.
    selection.states = criteria.states;
    if (criteria.settling)
        selection.states = criteria.states.contains(notSettledText()) ? QStringList{notSettledText()} : QStringList();
    const bool ranged = criteria.begin || criteria.end;
    if (criteria.begin)
        selection.fromHour = hourPrefix(*criteria.begin);
    if (criteria.end)
        selection.toHour = hourPrefix(*criteria.end);
    const auto records = BillTable(db).select(selection);
    if (!records)
        return Checked<Chosen>::refuse(records.status().context(QStringLiteral("话单无法读取")));
    auto inRange = [&](const BillRecord &r) {
        if (!ranged)
            return true;
        const std::optional<QDateTime> t = EndTimeMoment(r.endTime());
        return t && !(criteria.begin && *t < *criteria.begin) && !(criteria.end && *t > *criteria.end);
    };
    if (criteria.settling && criteria.states.contains(settledText())) {
        BillTable::Selection settled = selection;
        settled.states = {settledText()};
        const auto left = BillTable(db).select(settled);
        if (!left)
            return Checked<Chosen>::refuse(left.status().context(QStringLiteral("话单无法读取")));
        for (const BillRecord &r : *left)
            out.settledLeftOut += inRange(r) ? 1 : 0;
    }

    // Monthly rents of the users, by user number.
    QHash<QString, Money> rents;
    const auto users = UserTable(db).all();
    if (!users)
        return Checked<Chosen>::refuse(users.status().context(QStringLiteral("用户表无法读取")));
    for (const UserRow &u : *users)
        if (!rents.contains(u.get(UserField::Number)))
            rents.insert(u.get(UserField::Number), u.rent());

    QHash<QString, int> feeOf; // caller -> position in out.fees
    out.bills.reserve(records->size());
    for (const BillRecord &r : *records) {
        if (!inRange(r))
            continue;
        const QString caller = r.caller();
        out.bills.append(BillRow{caller, r.get(BillField::Called), r.endTime(), r.get(BillField::Duration),
                                 r.get(BillField::Rate), r.get(BillField::Area), r.get(BillField::Fee), r.rowId});

        auto found = feeOf.constFind(caller);
        int index;
        if (found == feeOf.constEnd()) {
            FeeRow f;
            f.group = r.get(BillField::Group);
            f.number = caller;
            f.name = r.get(BillField::Name);
            if (!criteria.waiveRent) {
                if (auto rent = rents.constFind(caller); rent != rents.constEnd()) {
                    f.rent = *rent;
                    f.total = *rent;
                }
            }
            index = int(out.fees.size());
            feeOf.insert(caller, index);
            out.fees.append(f);
        } else {
            index = *found;
        }
        AddRecord(out.fees[index], r);
    }
    // Rent once per caller and month, and the deposit side of every fee row.
    for (FeeRow &f : out.fees) {
        const auto side = DepositOf(db, f.number);
        if (!side)
            return Checked<Chosen>::refuse(side.status().context(QStringLiteral("押金无法读取")));
        const auto rent = RentOf(db, f.number, side->port, f.rent, criteria.day);
        if (!rent)
            return Checked<Chosen>::refuse(rent.status().context(QStringLiteral("结算记录无法读取")));
        f.total -= f.rent - rent->amount;
        f.rent = rent->amount;
        f.note = rent->note;
        SetDeposit(f, *side);
    }
    return out;
}

Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria, int *settledLeftOut)
{
    const Checked<Chosen> chosen = Choose(db, criteria);
    if (!chosen)
        return Checked<int>::refuse(chosen.reason());
    if (settledLeftOut)
        *settledLeftOut = chosen->settledLeftOut;
    if (Status s = store.replace(chosen->bills, chosen->fees); !s)
        return Checked<int>::refuse(s.reason());
    return int(chosen->bills.size());
}

} // namespace corvane::CallQuery
