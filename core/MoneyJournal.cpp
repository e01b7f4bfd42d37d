#include "MoneyJournal.h"

#include "Database.h"
#include "DepositTable.h"

namespace corvane {

namespace {

// Stored order of the columns. The sequence is the row id; every other value
// is text, amounts "0.00".
enum Column {
    Seq,
    At,
    Operator,
    OwnerKind,
    Key,
    Number,
    Kind,
    Amount,
    BalanceAfter,
    DepositDelta,
    DepositAfter,
    Class,
    Bill,
    Ledger,
    Month,
    Note,
    ColumnCount
};

const QStringList &names()
{
    static const QStringList n{
        QStringLiteral("序号"), QStringLiteral("时间"),     QStringLiteral("操作员"), QStringLiteral("类别"),
        QStringLiteral("键"),   QStringLiteral("号码"),     QStringLiteral("种类"),   QStringLiteral("金额"),
        QStringLiteral("余额"), QStringLiteral("押金变动"), QStringLiteral("押金"),   QStringLiteral("等级"),
        QStringLiteral("话单"), QStringLiteral("结算"),     QStringLiteral("月份"),   QStringLiteral("说明")};
    return n;
}

QString q(int c) { return Database::quoteId(names().at(c)); }
QString table() { return Database::quoteId(MoneyJournal::Name); }

const QString kTimeForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kExtension = QStringLiteral("分机");

struct KindText {
    MoneyKind kind;
    const char16_t *text;
};
constexpr KindText kKinds[] = {
    {MoneyKind::Opening, u"期初"},
    {MoneyKind::DepositPaid, u"交押金"},
    {MoneyKind::TopUp, u"续交押金"},
    {MoneyKind::DepositLowered, u"退押金"},
    {MoneyKind::CallCharged, u"话费"},
    {MoneyKind::ChargeGivenBack, u"话费退回"},
    {MoneyKind::RentCharged, u"月租"},
    {MoneyKind::RentWaived, u"免月租"},
    {MoneyKind::SettledCharges, u"结算补计"},
    {MoneyKind::Refund, u"结算退款"},
    {MoneyKind::Collection, u"结算收款"},
    {MoneyKind::DepositUsed, u"押金抵扣"},
    {MoneyKind::Closed, u"注销"},
    {MoneyKind::Undone, u"撤销结算"},
};

QString selectAll()
{
    QStringList cols;
    for (int c = 0; c < ColumnCount; ++c)
        cols.append(q(c));
    return QStringLiteral("SELECT %1 FROM %2").arg(cols.join(u','), table());
}

QString idText(qint64 id) { return id < 0 ? QString() : QString::number(id); }
qint64 idOf(const QString &t)
{
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    return ok ? v : -1;
}

JournalRow fromValues(const QStringList &v)
{
    JournalRow r;
    r.seq = v.value(Seq).toLongLong();
    r.at = QDateTime::fromString(v.value(At), kTimeForm);
    r.operatorName = v.value(Operator);
    r.owner.account = v.value(OwnerKind) == DepositTable::AccountWord;
    r.owner.key = v.value(Key);
    r.number = v.value(Number);
    r.kind = kindOf(v.value(Kind)).value_or(MoneyKind::Opening);
    r.amount = Money::fromText(v.value(Amount));
    r.balanceAfter = Money::fromText(v.value(BalanceAfter));
    r.depositDelta = Money::fromText(v.value(DepositDelta));
    r.depositAfter = Money::fromText(v.value(DepositAfter));
    r.cls = v.value(Class);
    r.billRowId = idOf(v.value(Bill));
    r.ledgerRowId = idOf(v.value(Ledger));
    r.month = v.value(Month);
    r.note = v.value(Note);
    return r;
}

Checked<QList<JournalRow>> rowsOf(Database &db, const QString &where, const QVariantList &params)
{
    const auto rows = db.select(selectAll() + where + QStringLiteral(" ORDER BY ") + q(Seq), params);
    if (!rows)
        return Checked<QList<JournalRow>>::refuse(rows.status().context(QStringLiteral("押金流水无法读取")));
    QList<JournalRow> out;
    out.reserve(rows->size());
    for (const QStringList &r : *rows)
        out.append(fromValues(r));
    return out;
}

QString ownerWhere() { return QStringLiteral("%1=? AND %2=?").arg(q(OwnerKind), q(Key)); }

} // namespace

const QString MoneyJournal::Name = QStringLiteral("MoneyJournal");

QString kindText(MoneyKind kind)
{
    for (const KindText &k : kKinds)
        if (k.kind == kind)
            return QString::fromUtf16(k.text);
    return QString();
}

std::optional<MoneyKind> kindOf(const QString &text)
{
    for (const KindText &k : kKinds)
        if (text == QString::fromUtf16(k.text))
            return k.kind;
    return std::nullopt;
}

QString MoneyOwner::kindText() const { return account ? DepositTable::AccountWord : kExtension; }

QString MoneyOwner::describe(const QString &number) const
{
    if (account)
        return QStringLiteral("账号%1").arg(key);
    return number.isEmpty() ? QStringLiteral("物理端口%1").arg(key)
                            : QStringLiteral("分机%1（物理端口%2）").arg(number, key);
}

size_t qHash(const MoneyOwner &o, size_t seed) { return ::qHash(o.key, seed) ^ (o.account ? 0x9e3779b9u : 0u); }

QStringList MoneyJournal::columnNames() { return names(); }

QString MoneyJournal::monthText(const QDate &day) { return day.toString(QStringLiteral("yyyy-MM")); }

bool MoneyJournal::exists() const { return m_db.tableExists(Name); }

Checked<bool> MoneyJournal::ensure()
{
    const auto has = m_db.hasTable(Name);
    if (!has)
        return has.refusedAs<bool>();
    if (*has)
        return false;
    QStringList cols{q(Seq) + QStringLiteral(" INTEGER PRIMARY KEY")};
    for (int c = Seq + 1; c < ColumnCount; ++c)
        cols.append(q(c) + QStringLiteral(" TEXT DEFAULT ''"));
    const Status made = InTransaction(m_db, [&]() -> Status {
        if (Status s = m_db.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(table(), cols.join(u','))); !s)
            return s;
        if (Status s = m_db.exec(
                QStringLiteral("CREATE INDEX %1 ON %2 (%3, %4)")
                    .arg(Database::quoteId(QStringLiteral("idx_MoneyJournal_owner")), table(), q(OwnerKind), q(Key)));
            !s)
            return s;
        if (Status s =
                m_db.exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                              .arg(Database::quoteId(QStringLiteral("idx_MoneyJournal_bill")), table(), q(Bill)));
            !s)
            return s;
        // The money the deposits hold now is where their journals begin.
        const auto deposits = DepositTable(m_db).all();
        if (!deposits)
            return deposits.status();
        for (const DepositRow &d : *deposits) {
            JournalRow r;
            r.owner = d.owner();
            r.number = d.isAccount() ? QString() : d.number();
            r.kind = MoneyKind::Opening;
            r.amount = d.balance();
            r.depositDelta = d.deposit();
            r.cls = d.get(DepositField::Class).trimmed();
            if (const auto added = append(r, Money(), Money()); !added)
                return added.status();
        }
        return Status::ok();
    });
    if (!made)
        return Checked<bool>::refuse(made.context(QStringLiteral("押金流水表无法建立")));
    return true;
}

Checked<JournalRow> MoneyJournal::append(JournalRow row, Money balanceBefore, Money depositBefore)
{
    const Database::Stamp stamp = m_db.stamp();
    if (!row.at.isValid())
        row.at = stamp.at;
    if (row.operatorName.isEmpty())
        row.operatorName = stamp.operatorName;
    row.balanceAfter = balanceBefore + row.amount;
    row.depositAfter = depositBefore + row.depositDelta;
    QStringList v = QStringList(QList<QString>(ColumnCount));
    v[At] = row.at.toString(kTimeForm);
    v[Operator] = row.operatorName;
    v[OwnerKind] = row.owner.kindText();
    v[Key] = row.owner.key;
    v[Number] = row.number;
    v[Kind] = kindText(row.kind);
    v[Amount] = row.amount.toText();
    v[BalanceAfter] = row.balanceAfter.toText();
    v[DepositDelta] = row.depositDelta.toText();
    v[DepositAfter] = row.depositAfter.toText();
    v[Class] = row.cls;
    v[Bill] = idText(row.billRowId);
    v[Ledger] = idText(row.ledgerRowId);
    v[Month] = row.month;
    v[Note] = row.note;
    QStringList cols, marks;
    QVariantList params;
    for (int c = Seq + 1; c < ColumnCount; ++c) {
        cols.append(q(c));
        marks.append(QStringLiteral("?"));
        params.append(v.at(c));
    }
    if (Status s = m_db.exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table(), cols.join(u','), marks.join(u',')), params);
        !s)
        return Checked<JournalRow>::refuse(s.context(QStringLiteral("押金流水无法写入")));
    row.seq = m_db.lastInsertRowId();
    return row;
}

Checked<QList<JournalRow>> MoneyJournal::all() const
{
    if (!exists())
        return QList<JournalRow>();
    return rowsOf(m_db, QString(), {});
}

Checked<QList<JournalRow>> MoneyJournal::after(qint64 seq) const
{
    if (!exists())
        return QList<JournalRow>();
    return rowsOf(m_db, QStringLiteral(" WHERE %1>?").arg(q(Seq)), {seq});
}

Checked<QList<JournalRow>> MoneyJournal::of(const MoneyOwner &owner) const
{
    if (!exists())
        return QList<JournalRow>();
    return rowsOf(m_db, QStringLiteral(" WHERE ") + ownerWhere(), {owner.kindText(), owner.key});
}

Checked<qint64> MoneyJournal::lastSeq() const
{
    if (!exists())
        return qint64(0);
    const auto v = m_db.scalar(QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2").arg(q(Seq), table()));
    if (!v)
        return v.refusedAs<qint64>();
    return v->toLongLong();
}

Checked<QHash<MoneyOwner, MoneyJournal::Sums>> MoneyJournal::sums() const
{
    const auto rows = all();
    if (!rows)
        return rows.refusedAs<QHash<MoneyOwner, Sums>>();
    QHash<MoneyOwner, Sums> out;
    for (const JournalRow &r : *rows) {
        Sums &s = out[r.owner];
        s.balance += r.amount;
        s.deposit += r.depositDelta;
        ++s.rows;
        s.lastKind = kindText(r.kind);
    }
    return out;
}

Checked<QHash<qint64, Money>> MoneyJournal::chargesOf(const QList<qint64> &billRowIds, const MoneyOwner &owner) const
{
    QHash<qint64, Money> out;
    if (billRowIds.isEmpty() || !exists())
        return out;
    const QStringList kinds{kindText(MoneyKind::CallCharged), kindText(MoneyKind::SettledCharges),
                            kindText(MoneyKind::ChargeGivenBack)};
    // Read in slices: a settlement of a busy room names thousands of rows.
    constexpr int kSlice = 400;
    for (int from = 0; from < billRowIds.size(); from += kSlice) {
        const QList<qint64> slice = billRowIds.mid(from, kSlice);
        QStringList marks;
        QVariantList params{owner.kindText(), owner.key, kinds.at(0), kinds.at(1), kinds.at(2)};
        for (qint64 id : slice) {
            marks.append(QStringLiteral("?"));
            params.append(QString::number(id));
        }
        const auto rows =
            m_db.select(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 AND %5 IN (?, ?, ?) AND %1 IN (%6)")
                            .arg(q(Bill), q(Amount), table(), ownerWhere(), q(Kind), marks.join(u',')),
                        params);
        if (!rows)
            return Checked<QHash<qint64, Money>>::refuse(rows.status().context(QStringLiteral("押金流水无法读取")));
        // A charge lowers the balance; what the call cost the deposit is its negation.
        for (const QStringList &r : *rows)
            out[r.value(0).toLongLong()] -= Money::fromText(r.value(1));
    }
    return out;
}

Checked<QList<MoneyJournal::BillCharge>> MoneyJournal::chargesByBill(const QList<qint64> &billRowIds) const
{
    QList<BillCharge> out;
    if (billRowIds.isEmpty() || !exists())
        return out;
    QHash<QPair<qint64, MoneyOwner>, int> at;
    constexpr int kSlice = 400;
    for (int from = 0; from < billRowIds.size(); from += kSlice) {
        QStringList marks;
        QVariantList params{kindText(MoneyKind::CallCharged), kindText(MoneyKind::SettledCharges),
                            kindText(MoneyKind::ChargeGivenBack)};
        for (qint64 id : billRowIds.mid(from, kSlice)) {
            marks.append(QStringLiteral("?"));
            params.append(QString::number(id));
        }
        const auto rows = rowsOf(
            m_db, QStringLiteral(" WHERE %1 IN (?, ?, ?) AND %2 IN (%3)").arg(q(Kind), q(Bill), marks.join(u',')),
            params);
        if (!rows)
            return rows.refusedAs<QList<BillCharge>>();
        for (const JournalRow &r : *rows) {
            const QPair<qint64, MoneyOwner> k{r.billRowId, r.owner};
            auto it = at.constFind(k);
            if (it == at.constEnd()) {
                it = at.insert(k, int(out.size()));
                out.append(BillCharge{r.billRowId, r.owner, Money()});
            }
            out[*it].amount -= r.amount;
        }
    }
    return out;
}

Checked<QList<qint64>> MoneyJournal::chargedBillsAfter(qint64 seq) const
{
    QList<qint64> out;
    if (!exists())
        return out;
    const auto rows = m_db.select(QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %3>? AND %4 IN (?, ?) AND %1<>''")
                                      .arg(q(Bill), table(), q(Seq), q(Kind)),
                                  {seq, kindText(MoneyKind::CallCharged), kindText(MoneyKind::SettledCharges)});
    if (!rows)
        return Checked<QList<qint64>>::refuse(rows.status().context(QStringLiteral("押金流水无法读取")));
    for (const QStringList &r : *rows)
        out.append(r.value(0).toLongLong());
    return out;
}

Checked<QList<MoneyOwner>> MoneyJournal::ownersOfLedger(qint64 ledgerRowId) const
{
    QList<MoneyOwner> out;
    if (!exists())
        return out;
    const auto rows = m_db.select(
        QStringLiteral("SELECT DISTINCT %1, %2 FROM %3 WHERE %4=?").arg(q(OwnerKind), q(Key), table(), q(Ledger)),
        {QString::number(ledgerRowId)});
    if (!rows)
        return Checked<QList<MoneyOwner>>::refuse(rows.status().context(QStringLiteral("押金流水无法读取")));
    for (const QStringList &r : *rows)
        out.append(MoneyOwner{r.value(0) == DepositTable::AccountWord, r.value(1)});
    return out;
}

Checked<std::optional<JournalRow>> MoneyJournal::rentDealtWith(const MoneyOwner &owner, const QString &month) const
{
    if (!exists())
        return std::optional<JournalRow>();
    const auto rows =
        rowsOf(m_db, QStringLiteral(" WHERE %1 AND %2=? AND %3 IN (?, ?)").arg(ownerWhere(), q(Month), q(Kind)),
               {owner.kindText(), owner.key, month, kindText(MoneyKind::RentCharged), kindText(MoneyKind::RentWaived)});
    if (!rows)
        return rows.refusedAs<std::optional<JournalRow>>();
    if (rows->isEmpty())
        return std::optional<JournalRow>();
    return std::optional<JournalRow>(rows->first());
}

Checked<QStringList> MoneyJournal::mismatches() const
{
    QStringList out;
    if (!exists())
        return out;
    const auto journal = sums();
    if (!journal)
        return journal.refusedAs<QStringList>();
    const auto deposits = DepositTable(m_db).all();
    if (!deposits)
        return deposits.refusedAs<QStringList>();
    QSet<MoneyOwner> seen;
    for (const DepositRow &d : *deposits) {
        const MoneyOwner owner = d.owner();
        if (seen.contains(owner))
            continue;
        seen.insert(owner);
        const Sums s = journal->value(owner);
        if (s.balance != d.balance() || s.deposit != d.deposit())
            out.append(QStringLiteral("%1：余额%2元，押金%3元；流水合计余额%4元，押金%5元")
                           .arg(owner.describe(d.isAccount() ? QString() : d.number()), d.balance().toText(),
                                d.deposit().toText(), s.balance.toText(), s.deposit.toText()));
    }
    for (auto it = journal->cbegin(); it != journal->cend(); ++it) {
        if (seen.contains(it.key()))
            continue;
        if (!it->balance.isZero() || !it->deposit.isZero())
            out.append(QStringLiteral("%1：押金记录已不存在；流水合计余额%2元，押金%3元")
                           .arg(it.key().describe(QString()), it->balance.toText(), it->deposit.toText()));
    }
    return out;
}

} // namespace corvane
