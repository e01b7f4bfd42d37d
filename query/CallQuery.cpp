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

namespace {

// The date and time an end time text names, read by hand (a query reads
// this for every record it looks at): "2026年12月09日10时30分" or
// "2026年12月09日10:30:05", blanks around.
struct EndParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    QDateTime moment() const { return QDateTime(QDate(year, month, day), QTime(hour, minute, second)); }
};

std::optional<EndParts> endParts(QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto blank = [](QChar c) {
        const char16_t u = c.unicode();
        return u == u' ' || u == u'\t' || u == u'\n' || u == u'\v' || u == u'\f' || u == u'\r';
    };
    auto isDigit = [&](qsizetype at) { return at < n && text[at].unicode() >= u'0' && text[at].unicode() <= u'9'; };
    // Exactly `exact` digits, or one or two.
    auto number = [&](int exact, int &out) {
        const int most = exact ? exact : 2;
        int count = 0;
        out = 0;
        while (count < most && isDigit(i)) {
            out = out * 10 + (text[i].unicode() - u'0');
            ++i;
            ++count;
        }
        return exact ? count == exact : count > 0;
    };
    auto mark = [&](char16_t c) {
        if (i < n && text[i].unicode() == c) {
            ++i;
            return true;
        }
        return false;
    };
    while (i < n && blank(text[i]))
        ++i;
    EndParts p;
    if (!number(4, p.year) || !mark(u'年') || !number(0, p.month) || !mark(u'月') || !number(0, p.day) || !mark(u'日')
        || !number(0, p.hour))
        return std::nullopt;
    if (mark(u'时')) {
        if (!number(0, p.minute) || !mark(u'分'))
            return std::nullopt;
    } else if (!mark(u':') || !number(0, p.minute) || !mark(u':') || !number(0, p.second)) {
        return std::nullopt;
    }
    while (i < n && blank(text[i]))
        ++i;
    if (i != n || !QDate::isValid(p.year, p.month, p.day) || !QTime::isValid(p.hour, p.minute, p.second))
        return std::nullopt;
    return p;
}

} // namespace

std::optional<QDateTime> EndTimeMoment(QStringView text)
{
    if (const std::optional<EndParts> p = endParts(text))
        return p->moment();
    return std::nullopt;
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
    QHash<QString, QList<NumberSpan>> spansOf; // by number, in history order
    QHash<QString, QString> portOfNumber;      // numbers of today
    QHash<QString, Resolved> chosen;           // caller text -> what it stands for
    QHash<QString, QString> callerOfPort;      // chosen port -> caller text
    QHash<qint64, QString> portOfRecord;       // the port kept with a record

    // The port among the spans of `number` that held it at the end time.
    std::optional<QString> portHolding(const QString &number, QStringView endTime) const
    {
        const std::optional<EndParts> parts = endParts(endTime);
        if (!parts)
            return std::nullopt;
        const auto found = spansOf.constFind(number);
        if (found == spansOf.constEnd())
            return std::nullopt;
        // A number one port has held all along needs no moment.
        if (found->size() == 1 && !found->first().from.isValid() && !found->first().to.isValid())
            return found->first().port;
        return PortHolding(*found, number, parts->moment());
    }

    // The chosen caller text a record belongs to, or empty when it belongs
    // to a room not chosen. The port the intake kept with the record decides;
    // a record without one (stored by an earlier console) goes to the port
    // that had its number when the call ended.
    QString callerOf(qint64 rowId, QStringView callerText, QStringView endTime) const
    {
        const QString caller = callerText.toString();
        if (caller.startsWith(DepositTable::AccountWord))
            return chosen.contains(caller) ? caller : QString();
        std::optional<QString> port;
        if (const auto kept = portOfRecord.constFind(rowId); kept != portOfRecord.constEnd())
            port = *kept;
        else
            port = portHolding(caller, endTime);
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
    for (const NumberSpan &span : *spans)
        rooms.spansOf[span.number].append(span);
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
            for (const NumberSpan &span : *spans)
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

// Adds one record, as the scan reads it, to a fee row.
void addRecord(FeeRow &fee, const BillTable::View &r)
{
    if (const int c = FeeColumnOf(r.get(BillField::CallType).toString()); c >= 0)
        fee.amount(c) += Money::fromText(r.get(BillField::Charge));
    fee.handling += Money::fromText(r.get(BillField::Handling));
    fee.service += Money::fromText(r.get(BillField::Service));
    fee.total += Money::fromText(r.get(BillField::Fee));
}

QString readFailed() { return QStringLiteral("话单无法读取"); }

} // namespace

BillSink::~BillSink() = default;

QString CancelledText() { return QStringLiteral("已取消"); }

Checked<Chosen> Choose(Database &db, const Criteria &criteria, BillSink *sink)
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
    // The ports the intake kept: only records not settled keep one, so
    // there are few, and they are read at once.
    const auto kept = BillTable(db).keptPorts();
    if (!kept)
        return kept.refusedAs<Chosen>();
    rooms->portOfRecord = *kept;

    BillTable::Selection selection;
    selection.callers = numbers;
    // Many callers: the table is read in its order.
    selection.many = numbers.size() * 3 >= users->size() && numbers.size() > 12;
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
    auto inRange = [&](QStringView endTime) {
        if (!ranged)
            return true;
        const std::optional<EndParts> p = endParts(endTime);
        if (!p)
            return false;
        const QDateTime t = p->moment();
        return !(criteria.begin && t < *criteria.begin) && !(criteria.end && t > *criteria.end);
    };
    if (criteria.settling && criteria.states.contains(settledText())) {
        BillTable::Selection settled = selection;
        settled.states = {settledText()};
        const auto left = BillTable(db).scan(settled, [&](const BillTable::View &r) {
            if (inRange(r.get(BillField::EndTime))
                && !rooms->callerOf(r.rowId, r.get(BillField::Caller), r.get(BillField::EndTime)).isEmpty())
                ++out.settledLeftOut;
            return true;
        });
        if (!left)
            return Checked<Chosen>::refuse(left.status().context(readFailed()));
    }

    QHash<QString, int> feeOf;        // caller -> position in out.fees
    std::vector<qint64> chosenIds;    // ascending: the scan is in table order
    QList<QList<Money>> totalsOfRoom; // each room's records' totals, beside room.records
    bool stopped = false;
    const auto read = BillTable(db).scan(selection, [&](const BillTable::View &r) {
        const QStringView endTime = r.get(BillField::EndTime);
        if (!inRange(endTime))
            return true;
        const QString key = rooms->callerOf(r.rowId, r.get(BillField::Caller), endTime);
        if (key.isEmpty())
            return true;
        if (sink) {
            const std::array<QStringView, 7> listed{
                r.get(BillField::Caller),   r.get(BillField::Called), endTime,
                r.get(BillField::Duration), r.get(BillField::Rate),   r.get(BillField::Area),
                r.get(BillField::Fee)};
            if (!sink->add(r.rowId, listed)) {
                stopped = true;
                return false;
            }
        } else {
            out.bills.append(BillRow{r.get(BillField::Caller).toString(), r.get(BillField::Called).toString(),
                                     endTime.toString(), r.get(BillField::Duration).toString(),
                                     r.get(BillField::Rate).toString(), r.get(BillField::Area).toString(),
                                     r.get(BillField::Fee).toString(), r.rowId});
        }
        chosenIds.push_back(r.rowId);
        auto found = feeOf.constFind(key);
        if (found == feeOf.constEnd()) {
            FeeRow f;
            f.group = r.get(BillField::Group).toString();
            f.number = key;
            f.name = r.get(BillField::Name).toString();
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
            totalsOfRoom.append(QList<Money>());
        }
        addRecord(out.fees[*found], r);
        out.rooms[*found].records.append(r.rowId);
        totalsOfRoom[*found].append(Money::fromText(r.get(BillField::Fee)));
        return true;
    });
    if (!read)
        return Checked<Chosen>::refuse(read.status().context(readFailed()));
    if (stopped)
        return Checked<Chosen>::refuse(CancelledText());

    // Whether each room's list holds every record it still has open: then a
    // settlement settles it in full.
    QHash<QString, int> stillOpen;
    if (!out.rooms.isEmpty()) {
        BillTable::Selection open;
        open.callers = numbers;
        for (int t = 0; t < 10; ++t)
            open.types.append(QString::number(t));
        open.states = {notSettledText()};
        const auto unsettled = BillTable(db).scan(open, [&](const BillTable::View &r) {
            if (!std::binary_search(chosenIds.cbegin(), chosenIds.cend(), r.rowId))
                if (const QString key = rooms->callerOf(r.rowId, r.get(BillField::Caller), r.get(BillField::EndTime));
                    !key.isEmpty())
                    ++stillOpen[key];
            return true;
        });
        if (!unsettled)
            return Checked<Chosen>::refuse(unsettled.status().context(readFailed()));
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
            const QList<Money> &totals = totalsOfRoom.at(i);
            for (qsizetype at = 0; at < room.records.size(); ++at) {
                const qint64 id = room.records.at(at);
                const Money c = charges->value(id);
                charged += c;
                if (const Money left = totals.at(at) - c; !left.isZero())
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

namespace {

// Packs the chosen records into a BillList, asking now and then whether to go on.
class ListSink : public BillSink {
public:
    ListSink(BillList &list, const std::function<bool()> &cancelled) : m_list(list), m_cancelled(cancelled) {}
    bool add(qint64 mainRowId, const std::array<QStringView, 7> &listed) override
    {
        m_list.append(mainRowId, listed);
        return !m_cancelled || (m_list.size() % 4096 != 0) || !m_cancelled();
    }

private:
    BillList &m_list;
    const std::function<bool()> &m_cancelled;
};

} // namespace

Checked<Chosen> ListInto(Database &db, PrintStore &store, const Criteria &criteria, BillList &list,
                         const std::function<bool()> &cancelled)
{
    list = BillList();
    ListSink sink(list, cancelled);
    Checked<Chosen> c = Choose(db, criteria, &sink);
    if (!c)
        return c;
    if (cancelled && cancelled())
        return Checked<Chosen>::refuse(CancelledText());
    if (Status s = store.replace(list, c->fees); !s)
        return Checked<Chosen>::refuse(s);
    return c;
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
