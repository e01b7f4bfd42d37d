#include "LedgerTable.h"

#include "Database.h"
#include "DepositTable.h"

namespace corvane {

namespace {

// Stored order of the columns; every value is text, amounts "0.00".
enum Column {
    SettledAt,
    Operator,
    Caller,
    Port,
    Group,
    Name,
    Records,
    FirstEnd,
    LastEnd,
    LongDistance,
    City,
    Local,
    Incoming,
    Handling,
    Service,
    Rent,
    Total,
    Deposit,
    Balance,
    Collect,
    Refund,
    Note,
    RentMonth, // "2026-12": the month whose rent this run dealt with
    RentState, // "已收" charged, "已免" waived, empty: none dealt with
    ColumnCount
};

const QStringList &names()
{
    static const QStringList n{
        QStringLiteral("结算时间"), QStringLiteral("操作员"),       QStringLiteral("主叫号码"),
        QStringLiteral("物理端口"), QStringLiteral("组名"),         QStringLiteral("用户名称"),
        QStringLiteral("话单数"),   QStringLiteral("首条结束时间"), QStringLiteral("末条结束时间"),
        QStringLiteral("长话费"),   QStringLiteral("市话费"),       QStringLiteral("本地费"),
        QStringLiteral("呼入费"),   QStringLiteral("手续费"),       QStringLiteral("服务费"),
        QStringLiteral("月租费"),   QStringLiteral("合计"),         QStringLiteral("押金"),
        QStringLiteral("余额"),     QStringLiteral("应收"),         QStringLiteral("应退"),
        QStringLiteral("说明"),     QStringLiteral("月租月份"),     QStringLiteral("月租处理")};
    return n;
}

QString q(int c) { return Database::quoteId(names().at(c)); }
QString table() { return Database::quoteId(LedgerTable::Name); }

QStringList toValues(const LedgerRow &r)
{
    QStringList v = QStringList(QList<QString>(ColumnCount));
    v[SettledAt] = LedgerTable::timeText(r.settledAt);
    v[Operator] = r.operatorName;
    v[Caller] = r.caller;
    v[Port] = r.port;
    v[Group] = r.group;
    v[Name] = r.name;
    v[Records] = QString::number(r.records);
    v[FirstEnd] = r.firstEnd;
    v[LastEnd] = r.lastEnd;
    v[LongDistance] = r.longDistance.toText();
    v[City] = r.city.toText();
    v[Local] = r.local.toText();
    v[Incoming] = r.incoming.toText();
    v[Handling] = r.handling.toText();
    v[Service] = r.service.toText();
    v[Rent] = r.rent.toText();
    v[Total] = r.total.toText();
    v[Deposit] = r.deposit.toText();
    v[Balance] = r.balance.toText();
    v[Collect] = r.collect.toText();
    v[Refund] = r.refund.toText();
    v[Note] = r.note;
    v[RentMonth] = r.rentMonth;
    v[RentState] = r.rentState;
    return v;
}

LedgerRow fromValues(qint64 rowId, const QStringList &v)
{
    LedgerRow r;
    r.rowId = rowId;
    r.settledAt = QDateTime::fromString(v.value(SettledAt), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    r.operatorName = v.value(Operator);
    r.caller = v.value(Caller);
    r.port = v.value(Port);
    r.group = v.value(Group);
    r.name = v.value(Name);
    r.records = v.value(Records).toInt();
    r.firstEnd = v.value(FirstEnd);
    r.lastEnd = v.value(LastEnd);
    r.longDistance = Money::fromText(v.value(LongDistance));
    r.city = Money::fromText(v.value(City));
    r.local = Money::fromText(v.value(Local));
    r.incoming = Money::fromText(v.value(Incoming));
    r.handling = Money::fromText(v.value(Handling));
    r.service = Money::fromText(v.value(Service));
    r.rent = Money::fromText(v.value(Rent));
    r.total = Money::fromText(v.value(Total));
    r.deposit = Money::fromText(v.value(Deposit));
    r.balance = Money::fromText(v.value(Balance));
    r.collect = Money::fromText(v.value(Collect));
    r.refund = Money::fromText(v.value(Refund));
    r.note = v.value(Note);
    r.rentMonth = v.value(RentMonth);
    r.rentState = v.value(RentState);
    return r;
}

QString selectAll()
{
    QStringList cols;
    for (int c = 0; c < ColumnCount; ++c)
        cols.append(q(c));
    return QStringLiteral("SELECT rowid, %1 FROM %2").arg(cols.join(u','), table());
}

Checked<QList<LedgerRow>> rowsOf(Database &db, const QString &sql, const QVariantList &params)
{
    const auto rows = db.select(sql, params);
    if (!rows)
        return Checked<QList<LedgerRow>>::refuse(rows.status().context(QStringLiteral("结算记录无法读取")));
    QList<LedgerRow> out;
    for (QStringList r : *rows) {
        const qint64 id = r.takeFirst().toLongLong();
        out.append(fromValues(id, r));
    }
    return out;
}

} // namespace

const QString LedgerTable::Name = QStringLiteral("SettleLedger");

bool LedgerRow::isAccount() const { return caller.startsWith(DepositTable::AccountWord); }

QStringList LedgerTable::columnNames() { return names(); }

QString LedgerTable::timeText(const QDateTime &t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

Status LedgerTable::ensure()
{
    QStringList cols;
    for (int c = 0; c < ColumnCount; ++c)
        cols.append(q(c) + QStringLiteral(" TEXT"));
    if (Status s = m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(table(), cols.join(u','))); !s)
        return s.context(QStringLiteral("结算记录表无法建立"));
    // A ledger of an earlier console lacks the columns added since; its
    // rows keep what they said (an empty rent month).
    const QStringList have = m_db.columnNames(Name);
    for (int c = 0; c < ColumnCount; ++c)
        if (!have.contains(names().at(c)))
            if (Status s = m_db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT DEFAULT ''").arg(table(), q(c)));
                !s)
                return s.context(QStringLiteral("结算记录表无法更新"));
    if (Status s =
            m_db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                          .arg(Database::quoteId(QStringLiteral("idx_SettleLedger_time")), table(), q(SettledAt)));
        !s)
        return s.context(QStringLiteral("结算记录表无法建立"));
    return m_db
        .exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3, %4)")
                  .arg(Database::quoteId(QStringLiteral("idx_SettleLedger_caller")), table(), q(Caller), q(SettledAt)))
        .context(QStringLiteral("结算记录表无法建立"));
}

Checked<qint64> LedgerTable::append(const LedgerRow &row)
{
    if (Status s = ensure(); !s)
        return Checked<qint64>::refuse(s);
    QStringList cols, marks;
    QVariantList params;
    const QStringList values = toValues(row);
    for (int c = 0; c < ColumnCount; ++c) {
        cols.append(q(c));
        marks.append(QStringLiteral("?"));
        params.append(values.at(c));
    }
    if (Status s = m_db.exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table(), cols.join(u','), marks.join(u',')), params);
        !s)
        return Checked<qint64>::refuse(s.context(QStringLiteral("结算记录未能写入")));
    return m_db.lastInsertRowId();
}

Checked<QList<LedgerRow>> LedgerTable::select(const QDateTime &from, const QDateTime &to,
                                              const QStringList &callers) const
{
    if (!m_db.tableExists(Name))
        return QList<LedgerRow>();
    QStringList where;
    QVariantList params;
    if (from.isValid()) {
        where.append(q(SettledAt) + QStringLiteral(" >= ?"));
        params.append(timeText(from));
    }
    if (to.isValid()) {
        where.append(q(SettledAt) + QStringLiteral(" <= ?"));
        params.append(timeText(to));
    }
    if (!callers.isEmpty()) {
        QStringList marks;
        for (const QString &c : callers) {
            marks.append(QStringLiteral("?"));
            params.append(c);
        }
        where.append(q(Caller) + QStringLiteral(" IN (") + marks.join(u',') + QLatin1Char(')'));
    }
    QString sql = selectAll();
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY ") + q(SettledAt) + QStringLiteral(", rowid");
    return rowsOf(m_db, sql, params);
}

QString LedgerTable::charged() { return QStringLiteral("已收"); }
QString LedgerTable::waived() { return QStringLiteral("已免"); }

Checked<std::optional<LedgerRow>> LedgerTable::rentDealtWith(const QString &caller, const QString &port,
                                                             const QString &month) const
{
    if (!m_db.tableExists(Name))
        return std::optional<LedgerRow>();
    const QDate first = QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    if (!first.isValid())
        return std::optional<LedgerRow>();
    // An extension is the same room whatever its number is now: its port
    // decides; an account, or an extension without a user, by its caller text.
    const bool byPort = !port.isEmpty();
    const QString who = byPort ? q(Port) + QStringLiteral(" = ? AND ") + q(Caller) + QStringLiteral(" NOT LIKE ?")
                               : q(Caller) + QStringLiteral(" = ?");
    QVariantList params;
    params.append(byPort ? port : caller);
    if (byPort)
        params.append(DepositTable::AccountWord + QLatin1Char('%'));
    // The month a run dealt with is recorded; a run of an earlier console
    // charged the rent of the month it ran in.
    params << month << charged() << waived() << timeText(QDateTime(first, QTime(0, 0)))
           << timeText(QDateTime(first.addMonths(1), QTime(0, 0)));
    const auto rows = rowsOf(m_db,
                             selectAll()
                                 + QStringLiteral(" WHERE %1 AND ((%2 = ? AND %3 IN (?, ?)) OR (coalesce(%2, '') = '' "
                                                  "AND %4 >= ? AND %4 < ?)) ORDER BY rowid")
                                       .arg(who, q(RentMonth), q(RentState), q(SettledAt)),
                             params);
    if (!rows)
        return rows.refusedAs<std::optional<LedgerRow>>();
    for (const LedgerRow &r : *rows)
        if (!r.rentMonth.isEmpty() || !r.rent.isZero())
            return std::optional<LedgerRow>(r);
    return std::optional<LedgerRow>();
}

Checked<QList<LedgerRow>> LedgerTable::rowsAfter(qint64 rowId, const QString &schema) const
{
    QStringList cols;
    for (int c = 0; c < ColumnCount; ++c)
        cols.append(q(c));
    // A ledger of an earlier console lacks the newest columns: read what it has.
    const auto have = m_db.select(QStringLiteral("PRAGMA %1.table_info(%2)").arg(schema, table()));
    if (!have)
        return have.refusedAs<QList<LedgerRow>>();
    if (have->isEmpty())
        return QList<LedgerRow>();
    QStringList present;
    for (const QStringList &r : *have)
        present.append(r.value(1));
    for (int c = 0; c < ColumnCount; ++c)
        if (!present.contains(names().at(c)))
            cols[c] = QStringLiteral("''");
    return rowsOf(m_db,
                  QStringLiteral("SELECT rowid, %1 FROM %2.%3 WHERE rowid > ? ORDER BY rowid")
                      .arg(cols.join(u','), schema, table()),
                  {rowId});
}

Checked<QStringList> LedgerTable::callers() const
{
    if (!m_db.tableExists(Name))
        return QStringList();
    const auto rows =
        m_db.select(QStringLiteral("SELECT %1 FROM %2 GROUP BY %1 ORDER BY min(rowid)").arg(q(Caller), table()));
    if (!rows)
        return rows.refusedAs<QStringList>();
    QStringList out;
    for (const QStringList &r : *rows)
        out.append(r.value(0));
    return out;
}

} // namespace corvane
