#include "SettleLedger.h"

#include "Reports.h"
#include "Schema.h"

#include <QMap>

namespace corvane {

namespace {

const QString kSettleDate = QStringLiteral("结算日期");
const QString kOperator = QStringLiteral("操作员");

// The ledger's columns in stored order, each with what a spreadsheet gets:
// times, callers and ports are text, the record count a number, amounts
// numbers with two decimals.
QList<ExportColumn> ledgerColumns()
{
    static const QStringList identifiers{QStringLiteral("结算时间"), QStringLiteral("主叫号码"),
                                         QStringLiteral("物理端口"), QStringLiteral("首条结束时间"),
                                         QStringLiteral("末条结束时间")};
    static const QStringList texts{QStringLiteral("操作员"), QStringLiteral("组名"), QStringLiteral("用户名称"),
                                   QStringLiteral("说明")};
    QList<ExportColumn> columns;
    for (const QString &name : LedgerTable::columnNames()) {
        const CellKind kind = identifiers.contains(name)         ? CellKind::Identifier
                              : name == QStringLiteral("话单数") ? CellKind::Count
                              : texts.contains(name)             ? CellKind::Text
                                                                 : CellKind::Money;
        columns.append({name, kind});
    }
    return columns;
}

} // namespace

Checked<QStringList> SettleLedger::callers() const { return LedgerTable(m_db).callers(); }

Status SettleLedger::checkRange(const QDate &first, const QDate &last)
{
    if (!first.isValid() || !last.isValid())
        return Status::fail(QStringLiteral("请输入开始日期和结束日期！"));
    if (first > last)
        return Status::fail(QStringLiteral("开始日期不能晚于结束日期！"));
    return Status::ok();
}

Checked<QList<LedgerRow>> SettleLedger::rows(const QDate &first, const QDate &last, const QString &caller) const
{
    if (Status s = checkRange(first, last); !s)
        return Checked<QList<LedgerRow>>::refuse(s);
    return LedgerTable(m_db).select(QDateTime(first, QTime(0, 0, 0)), QDateTime(last, QTime(23, 59, 59)),
                                    caller.isEmpty() ? QStringList() : QStringList{caller});
}

std::pair<QDate, QDate> SettleLedger::monthOf(const QDate &day)
{
    const QDate first(day.year(), day.month(), 1);
    return {first, first.addMonths(1).addDays(-1)};
}

QStringList SettleLedger::header() { return LedgerTable::columnNames(); }

QStringList SettleLedger::texts(const LedgerRow &r)
{
    return {LedgerTable::timeText(r.settledAt),
            r.operatorName,
            r.caller,
            r.port,
            r.group,
            r.name,
            QString::number(r.records),
            r.firstEnd,
            r.lastEnd,
            r.longDistance.toText(),
            r.city.toText(),
            r.local.toText(),
            r.incoming.toText(),
            r.handling.toText(),
            r.service.toText(),
            r.rent.toText(),
            r.total.toText(),
            r.deposit.toText(),
            r.balance.toText(),
            r.collect.toText(),
            r.refund.toText(),
            r.note,
            r.rentMonth,
            r.rentState};
}

SettleLedger::Totals SettleLedger::totalsOf(const QList<LedgerRow> &rows)
{
    Totals t;
    for (const LedgerRow &r : rows) {
        ++t.rows;
        t.records += r.records;
        t.total += r.total;
        t.collect += r.collect;
        t.refund += r.refund;
    }
    return t;
}

QString SettleLedger::totalsText(const Totals &t)
{
    return QStringLiteral("结算记录：%1条   话单数：%2   合计：%3元   应收：%4元   应退：%5元")
        .arg(t.rows)
        .arg(t.records)
        .arg(t.total.toText(), t.collect.toText(), t.refund.toText());
}

QString SettleLedger::nothingFoundText() { return QStringLiteral("所选时段内没有结算记录。"); }

ExportSheet SettleLedger::sheet(const QList<LedgerRow> &rows)
{
    ExportSheet s;
    s.name = QStringLiteral("结算记录");
    s.columns = ledgerColumns();
    s.rows.reserve(rows.size());
    for (const LedgerRow &r : rows)
        s.rows.append(texts(r));
    return s;
}

ReportDef SettleLedger::receiptReport()
{
    ReportDef report = DRPage();
    // A receipt printed again says when and by whom the room was settled.
    for (ReportItem &item : report.detail.items) {
        if (item.kind == ReportItem::Kind::Date) {
            item.kind = ReportItem::Kind::Field;
            item.text = kSettleDate;
        } else if (item.kind == ReportItem::Kind::Label && item.name == QLatin1String("labReceiver")) {
            item.kind = ReportItem::Kind::Field;
            item.text = kOperator;
            item.name.clear();
        }
    }
    return report;
}

TableSource SettleLedger::receiptSource(const QList<LedgerRow> &rows)
{
    // The fee row's columns first, whatever the receipt binds of them, then
    // the ledger's own (deposit, balance, to collect, to refund, ...).
    QStringList columns = findTable(printTables(), QStringLiteral("Print"))->columns;
    for (const QString &c : LedgerTable::columnNames())
        if (!columns.contains(c))
            columns.append(c);
    columns.append(kSettleDate);

    const QStringList ledgerNames = LedgerTable::columnNames();
    QList<QStringList> out;
    out.reserve(rows.size());
    for (const LedgerRow &r : rows) {
        QMap<QString, QString> value;
        const QStringList t = texts(r);
        for (int c = 0; c < ledgerNames.size(); ++c)
            value.insert(ledgerNames.at(c), t.at(c));
        value.insert(QStringLiteral("用户号码"), r.caller);
        value.insert(kSettleDate, longDateText(r.settledAt.date()));
        QStringList line;
        line.reserve(columns.size());
        for (const QString &c : columns)
            line.append(value.value(c));
        out.append(line);
    }
    return TableSource(columns, out);
}

} // namespace corvane
