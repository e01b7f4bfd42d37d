#include "CallQuery.h"

#include "Columns.h"
#include "Database.h"
#include "Money.h"
#include "Schema.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace corvane::CallQuery {

namespace {

const QString kAccountWord = QStringLiteral("账号");
const QString kItemJoin = QStringLiteral("--");

QString q(const QString &name) { return Database::quoteId(name); }

QString column(const QString &table, int position) { return findTable(table)->columns.at(position); }

QString marks(int n)
{
    QStringList m;
    for (int i = 0; i < n; ++i)
        m.append(QStringLiteral("?"));
    return m.join(QLatin1Char(','));
}

// The number part of a list item "800--张三" (the whole text without "--").
QString itemKey(const QString &item)
{
    const QString t = item.trimmed();
    const int at = t.indexOf(kItemJoin);
    return (at < 0 ? t : t.left(at)).trimmed();
}

// The Print column a record's call charge goes to, by its call type; -1 for none.
int chargeColumn(const QString &typeCode)
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

// The end-time texts of one hour all start with the same 13 characters
// ("2026年12月09日10"), in both forms; the range's candidates are read through
// the index between the hour of its begin and the hour of its end, and then
// taken or left by their real moment.
QString hourPrefix(const QDateTime &t) { return t.toString(QStringLiteral("yyyy年MM月dd日HH")); }

} // namespace

QString settledText() { return QStringLiteral("已结算"); }
QString notSettledText() { return QStringLiteral("未结算"); }

Checked<QStringList> FillList(Database &db, SelectMode mode)
{
    QStringList items;
    const QString why = QStringLiteral("选择列表无法读取");
    switch (mode) {
    case SelectMode::Common: {
        const auto cap = db.scalar(
            QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid LIMIT 1")
                .arg(q(column(QStringLiteral("SWTConfig"), col::SWTConfig::Capacity)), q(QStringLiteral("SWTConfig"))));
        const int capacity = cap ? Money::fromText(*cap).wholePart() : 0;
        const auto rows =
            db.select(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid LIMIT ?")
                          .arg(q(column(QStringLiteral("User"), col::User::Number)),
                               q(column(QStringLiteral("User"), col::User::Name)), q(QStringLiteral("User"))),
                      {qMax(0, capacity)});
        if (!rows)
            return Checked<QStringList>::refuse(why + QStringLiteral("：") + rows.reason());
        for (const QStringList &r : *rows)
            items.append(r.at(0) + kItemJoin + r.at(1));
        break;
    }
    case SelectMode::Group: {
        const auto rows = db.select(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                        .arg(q(column(QStringLiteral("Group"), 0)), q(QStringLiteral("Group"))));
        if (!rows)
            return Checked<QStringList>::refuse(why + QStringLiteral("：") + rows.reason());
        for (const QStringList &r : *rows)
            items.append(r.at(0));
        break;
    }
    case SelectMode::Account: {
        const auto rows =
            db.select(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid")
                          .arg(q(column(QStringLiteral("Account"), col::Account::Number)),
                               q(column(QStringLiteral("Account"), col::Account::Name)), q(QStringLiteral("Account"))));
        if (!rows)
            return Checked<QStringList>::refuse(why + QStringLiteral("：") + rows.reason());
        for (const QStringList &r : *rows)
            items.append(r.at(0) + kItemJoin + r.at(1));
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
                key = QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
            callers.append(kAccountWord + key);
        }
        break;
    case SelectMode::Group: {
        QSet<QString> groups;
        for (const QString &item : selectedItems)
            if (const QString g = item.trimmed(); !g.isEmpty())
                groups.insert(g);
        if (groups.isEmpty())
            break;
        const auto rows =
            db.select(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid")
                          .arg(q(column(QStringLiteral("User"), col::User::Number)),
                               q(column(QStringLiteral("User"), col::User::Group)), q(QStringLiteral("User"))));
        if (!rows)
            return Checked<QStringList>::refuse(QStringLiteral("用户表无法读取：") + rows.reason());
        for (const QStringList &r : *rows) {
            const QString group = r.at(1).trimmed();
            if (!group.isEmpty() && groups.contains(group) && !r.at(0).trimmed().isEmpty())
                callers.append(r.at(0).trimmed());
        }
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
    if (criteria.begin && criteria.end && *criteria.end < *criteria.begin)
        return out;

    const TableDef &bill = *findTable(QStringLiteral("PHNBill"));
    QStringList cols;
    for (const QString &c : bill.columns)
        cols.append(q(c));

    // Caller (and end time) through the index; type and state are tested on
    // the rows found (the unary plus keeps the planner off their indexes).
    QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 IN (%4) AND +%5 IN (%6) AND +%7 IN (%8)")
            .arg(cols.join(QStringLiteral(", ")), q(bill.name), cols.at(col::PHNBill::Caller),
                 marks(int(criteria.callers.size())), cols.at(col::PHNBill::CallType),
                 marks(int(criteria.types.size())), cols.at(col::PHNBill::State), marks(int(criteria.states.size())));
    QVariantList params;
    for (const QString &c : criteria.callers)
        params.append(c);
    for (int t : criteria.types)
        params.append(QString::number(t));
    for (const QString &s : criteria.states)
        params.append(s);
    const bool ranged = criteria.begin || criteria.end;
    if (criteria.begin) {
        sql += QStringLiteral(" AND %1 >= ?").arg(cols.at(col::PHNBill::EndTime));
        params.append(hourPrefix(*criteria.begin));
    }
    if (criteria.end) {
        sql += QStringLiteral(" AND %1 < ?").arg(cols.at(col::PHNBill::EndTime));
        params.append(hourPrefix(*criteria.end) + QChar(0x9FFF));
    }

    auto rows = db.select(sql, params);
    if (!rows)
        return Checked<Chosen>::refuse(QStringLiteral("话单无法读取：") + rows.reason());
    // Table order.
    std::sort(rows->begin(), rows->end(),
              [](const QStringList &a, const QStringList &b) { return a.at(0).toLongLong() < b.at(0).toLongLong(); });

    // Monthly rents of the users, by user number.
    QHash<QString, Money> rents;
    const auto users =
        db.select(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid")
                      .arg(q(column(QStringLiteral("User"), col::User::Number)),
                           q(column(QStringLiteral("User"), col::User::Rent)), q(QStringLiteral("User"))));
    if (!users)
        return Checked<Chosen>::refuse(QStringLiteral("用户表无法读取：") + users.reason());
    for (const QStringList &u : *users)
        if (!rents.contains(u.at(0)))
            rents.insert(u.at(0), Money::fromText(u.at(1)));

    QHash<QString, int> feeOf; // caller -> position in out.fees
    out.bills.reserve(rows->size());
    for (const QStringList &r : *rows) {
        // r.at(0) is the rowid; the table's columns follow.
        auto at = [&r](int c) { return r.at(c + 1); };
        if (ranged) {
            const std::optional<QDateTime> t = EndTimeMoment(at(col::PHNBill::EndTime));
            if (!t || (criteria.begin && *t < *criteria.begin) || (criteria.end && *t > *criteria.end))
                continue;
        }
        const QString caller = at(col::PHNBill::Caller);
        out.bills.append(BillRow{caller, at(1), at(2), at(3), at(4), at(5), at(6), r.at(0).toLongLong()});

        auto found = feeOf.constFind(caller);
        int index;
        if (found == feeOf.constEnd()) {
            FeeRow f;
            f.group = at(col::PHNBill::Group);
            f.number = caller;
            f.name = at(col::PHNBill::Name);
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
        FeeRow &f = out.fees[index];
        if (const int c = chargeColumn(at(col::PHNBill::CallType)); c >= 0)
            f.amount(c) += Money::fromText(at(col::PHNBill::Charge));
        f.handling += Money::fromText(at(col::PHNBill::Handling));
        f.service += Money::fromText(at(col::PHNBill::Service));
        f.total += Money::fromText(at(col::PHNBill::Fee));
    }
    return out;
}

Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria)
{
    const Checked<Chosen> chosen = Choose(db, criteria);
    if (!chosen)
        return Checked<int>::refuse(chosen.reason());
    if (Status s = store.replace(chosen->bills, chosen->fees); !s)
        return Checked<int>::refuse(s.reason());
    return int(chosen->bills.size());
}

} // namespace corvane::CallQuery
