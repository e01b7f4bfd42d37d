#include "CallQuery.h"

#include "AccountTable.h"
#include "BillTable.h"
#include "ConfigTable.h"
#include "Database.h"
#include "DepositTable.h"
#include "DirectoryTables.h"
#include "LedgerTable.h"
#include "Money.h"
#include "NumberHistory.h"
#include "UserTable.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace corvane::CallQuery {

namespace {

const QString kItemJoin = QStringLiteral("--");

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

QString StrandedName() { return QStringLiteral("（已停用）"); }

Checked<QStringList> StrandedCallers(Database &db, const QStringList &groups)
{
    const auto callers = BillTable(db).unsettledCallers(groups);
    if (!callers)
        return callers;
    const auto users = UserTable(db).all();
    if (!users)
        return users.refusedAs<QStringList>();
    const auto spans = NumberHistory(db).all();
    if (!spans)
        return spans.refusedAs<QStringList>();
    QSet<QString> numbers;
    for (const UserRow &u : *users)
        numbers.insert(u.get(UserField::Number));
    // A former number of a room is settled with the room.
    for (const NumberSpan &span : *spans)
        numbers.insert(span.number);
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
        const auto names = GroupTable(db).names();
        if (!names)
            return Checked<QStringList>::refuse(names.status().context(why));
        items = *names;
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

QString RentNote(const QString &month, const QString &what)
{
    const QDate first = QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    const QString name = first.isValid() ? first.toString(QStringLiteral("yyyy年M月")) : month;
    return what.isEmpty() ? name + QStringLiteral("月租费") : name + QStringLiteral("：") + what;
}

namespace {

// Who a chosen caller stands for.
struct Resolved {
    enum Kind { Account, Extension, Number } kind = Number;
    QString port;
};

// The room a record belongs to: the port whose number it was when the call
// ended; without such a span, the room that has the number today.
struct Rooms {
    QList<NumberSpan> spans;
    QHash<QString, QString> portOfNumber; // numbers of today
    QHash<QString, Resolved> chosen;      // caller text -> what it stands for
    QHash<QString, QString> callerOfPort; // chosen port -> caller text
    QHash<qint64, QString> portOfRecord;  // the port kept with a record

    // The chosen caller text a record belongs to, or empty when it belongs
    // to a room not chosen. The port the intake kept with the record decides;
    // a record without one (stored by an earlier console) goes to the port
    // that had its number when the call ended.
    QString callerOf(const BillRecord &r) const
    {
        const QString caller = r.caller();
        if (caller.startsWith(DepositTable::AccountWord))
            return chosen.contains(caller) ? caller : QString();
        std::optional<QString> port;
        if (const auto kept = portOfRecord.constFind(r.rowId); kept != portOfRecord.constEnd())
            port = *kept;
        else if (const std::optional<QDateTime> t = EndTimeMoment(r.endTime()))
            port = PortHolding(spans, caller, *t);
        if (!port)
            port = portOfNumber.value(caller);
        if (port && !port->isEmpty())
            return callerOfPort.value(*port);
        const auto it = chosen.constFind(caller);
        return it != chosen.constEnd() && it->kind == Resolved::Number ? caller : QString();
    }
};

Checked<Rooms> resolveRooms(Database &db, const Criteria &criteria, const QList<UserRow> &users, QStringList &numbers)
{
    Rooms rooms;
    const auto spans = NumberHistory(db).all();
    if (!spans)
        return spans.refusedAs<Rooms>();
    rooms.spans = *spans;
    for (const UserRow &u : users)
        if (!u.number().isEmpty() && !rooms.portOfNumber.contains(u.number()))
            rooms.portOfNumber.insert(u.number(), u.port());
    QSet<QString> wanted;
    for (const QString &caller : criteria.callers) {
        Resolved r;
        if (caller.startsWith(DepositTable::AccountWord)) {
            r.kind = Resolved::Account;
        } else if (const QString port = criteria.ports.value(caller, rooms.portOfNumber.value(caller));
                   !port.isEmpty()) {
            r.kind = Resolved::Extension;
            r.port = port;
            rooms.callerOfPort.insert(port, caller);
            // Every number the room had.
            for (const NumberSpan &span : std::as_const(rooms.spans))
                if (span.port == port)
                    wanted.insert(span.number);
        }
        rooms.chosen.insert(caller, r);
        wanted.insert(caller);
    }
    for (const QString &caller : criteria.callers)
        if (wanted.remove(caller))
            numbers.append(caller);
    for (const QString &n : std::as_const(wanted))
        numbers.append(n);
    return rooms;
}

// The ports kept with these records, added to what the rooms know.
Status keepPorts(Database &db, const QList<BillRecord> &records, Rooms &rooms)
{
    QList<qint64> ids;
    ids.reserve(records.size());
    for (const BillRecord &r : records)
        if (!r.caller().startsWith(DepositTable::AccountWord) && !rooms.portOfRecord.contains(r.rowId))
            ids.append(r.rowId);
    const auto ports = BillTable(db).portsOf(ids);
    if (!ports)
        return ports.status();
    rooms.portOfRecord.insert(*ports);
    return Status::ok();
}

} // namespace

Checked<Chosen> Choose(Database &db, const Criteria &criteria)
{
    Chosen out;
    if (criteria.callers.isEmpty() || criteria.types.isEmpty() || criteria.states.isEmpty())
        return out;
    // BillTable::select chooses nothing without a state.
    if (criteria.begin && criteria.end && *criteria.end < *criteria.begin)
        return out;

    const auto users = UserTable(db).all();
    if (!users)
        return Checked<Chosen>::refuse(users.status().context(QStringLiteral("用户表无法读取")));
    QStringList numbers;
    auto rooms = resolveRooms(db, criteria, *users, numbers);
    if (!rooms)
        return rooms.refusedAs<Chosen>();

    BillTable::Selection selection;
    selection.callers = numbers;
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
    if (Status s = keepPorts(db, *records, *rooms); !s)
        return Checked<Chosen>::refuse(s);
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
        if (Status s = keepPorts(db, *left, *rooms); !s)
            return Checked<Chosen>::refuse(s);
        for (const BillRecord &r : *left)
            out.settledLeftOut += inRange(r) && !rooms->callerOf(r).isEmpty() ? 1 : 0;
    }

    QHash<QString, int> feeOf; // caller -> position in out.fees
    QSet<qint64> chosenIds;
    QHash<qint64, Money> totalOf;
    out.bills.reserve(records->size());
    for (const BillRecord &r : *records) {
        if (!inRange(r))
            continue;
        const QString key = rooms->callerOf(r);
        if (key.isEmpty())
            continue;
        out.bills.append(BillRow{r.caller(), r.get(BillField::Called), r.endTime(), r.get(BillField::Duration),
                                 r.get(BillField::Rate), r.get(BillField::Area), r.get(BillField::Fee), r.rowId});
        chosenIds.insert(r.rowId);
        totalOf.insert(r.rowId, r.fee());
        auto found = feeOf.constFind(key);
        if (found == feeOf.constEnd()) {
            FeeRow f;
            f.group = r.get(BillField::Group);
            f.number = key;
            f.name = r.get(BillField::Name);
            Room room;
            room.caller = key;
            const Resolved how = rooms->chosen.value(key);
            room.port = how.kind == Resolved::Extension ? how.port : QString();
            if (how.kind == Resolved::Account)
                room.owner = MoneyOwner{true, key.mid(DepositTable::AccountWord.size()).trimmed()};
            else
                room.owner = MoneyOwner{false, room.port};
            found = feeOf.insert(key, int(out.fees.size()));
            out.fees.append(f);
            out.rooms.append(room);
        }
        AddRecord(out.fees[*found], r);
        out.rooms[*found].records.append(r.rowId);
    }

    // Whether each room's list holds every record it still has open: then a
    // settlement settles it in full.
    QHash<QString, int> stillOpen;
    if (!out.rooms.isEmpty()) {
        BillTable::Selection open;
        open.callers = numbers;
        for (int t = 0; t < 10; ++t)
            open.types.append(QString::number(t));
        open.states = {notSettledText()};
        const auto unsettled = BillTable(db).select(open);
        if (!unsettled)
            return Checked<Chosen>::refuse(unsettled.status().context(QStringLiteral("话单无法读取")));
        if (Status s = keepPorts(db, *unsettled, *rooms); !s)
            return Checked<Chosen>::refuse(s);
        for (const BillRecord &r : *unsettled)
            if (!chosenIds.contains(r.rowId))
                if (const QString key = rooms->callerOf(r); !key.isEmpty())
                    ++stillOpen[key];
    }

    // Monthly rents by port.
    QHash<QString, Money> rents;
    for (const UserRow &u : *users)
        if (!rents.contains(u.port()))
            rents.insert(u.port(), u.rent());
    const QString month = MoneyJournal::monthText(criteria.day);
    DepositTable deposits(db);
    MoneyJournal journal(db);
    LedgerTable ledger(db);
    for (int i = 0; i < out.fees.size(); ++i) {
        FeeRow &f = out.fees[i];
        Room &room = out.rooms[i];
        room.rentMonth = month;
        std::optional<DepositRow> deposit;
        if (room.owner.account || !room.port.isEmpty()) {
            const auto found = deposits.of(room.owner);
            if (!found)
                return Checked<Chosen>::refuse(found.status().context(QStringLiteral("押金无法读取")));
            deposit = *found;
        }
        room.held = deposit.has_value();

        // The rent, once per room and month: a room's own (by its port), not
        // charged again when a run charged or waived it for this month.
        Money rent = room.port.isEmpty() ? Money() : rents.value(room.port);
        f.note.clear();
        if (!rent.isZero()) {
            const auto dealt = ledger.rentDealtWith(room.caller, room.port, month);
            if (!dealt)
                return Checked<Chosen>::refuse(dealt.status().context(QStringLiteral("结算记录无法读取")));
            std::optional<QString> how;
            if (*dealt)
                how = (*dealt)->rentState == LedgerTable::waived()
                          ? QStringLiteral("本月月租费已于%1免去")
                                .arg((*dealt)->settledAt.toString(QStringLiteral("MM月dd日")))
                          : QStringLiteral("本月月租费已于%1结算")
                                .arg((*dealt)->settledAt.toString(QStringLiteral("MM月dd日")));
            else if (room.held) {
                const auto paid = journal.rentDealtWith(room.owner, month);
                if (!paid)
                    return Checked<Chosen>::refuse(paid.status());
                if (*paid)
                    how = QStringLiteral("本月月租费已于%1结算").arg((*paid)->at.toString(QStringLiteral("MM月dd日")));
            }
            if (how) {
                rent = Money();
                f.note = RentNote(month, *how);
            } else if (criteria.waiveRent) {
                rent = Money();
                room.rentWaived = true;
                f.note = RentNote(month, QStringLiteral("本月月租费已免"));
            } else {
                f.note = RentNote(month, QString());
            }
        }
        f.rent = rent;
        f.total += rent;

        // What the deposit was charged for these records already.
        Money charged;
        if (deposit) {
            const auto charges = journal.chargesOf(room.records, room.owner);
            if (!charges)
                return Checked<Chosen>::refuse(charges.status());
            for (qint64 id : std::as_const(room.records)) {
                const Money c = charges->value(id);
                charged += c;
                if (const Money left = totalOf.value(id) - c; !left.isZero())
                    room.uncharged.append({id, left});
            }
        }
        const Money settled = f.total - rent;
        room.money = SettlementMoney::of(deposit ? deposit->deposit() : Money(), deposit ? deposit->balance() : Money(),
                                         settled, charged, rent, stillOpen.value(room.caller) == 0);
        f.deposit = room.money.deposit;
        f.balance = room.money.balance;
        f.collect = room.money.collect;
        f.refund = room.money.refund;
        if (!room.money.full && criteria.settling)
            f.note = (f.note.isEmpty() ? QString() : f.note + QStringLiteral("；"))
                     + QStringLiteral("部分结算，另有%1条话单未结").arg(stillOpen.value(room.caller));
    }
    return out;
}

Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria, Chosen *chosen)
{
    Checked<Chosen> c = Choose(db, criteria);
    if (!c)
        return Checked<int>::refuse(c.reason());
    if (Status s = store.replace(c->bills, c->fees); !s)
        return Checked<int>::refuse(s.reason());
    const int n = int(c->bills.size());
    if (chosen)
        *chosen = std::move(*c);
    return n;
}

} // namespace corvane::CallQuery
