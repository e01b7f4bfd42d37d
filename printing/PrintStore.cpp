#include "PrintStore.h"
#include "DepositTable.h"
#include "PendingCommands.h"

#include "BillTable.h"
#include "Database.h"
#include "Schema.h"
#include "SqlStatement.h"
#include <QSet>
#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvane {

using printing_detail::SqlStatement;

namespace {

const TableDef &billTable() { return *findTable(printTables(), QStringLiteral("PHNBill")); }
const TableDef &feeTable() { return *findTable(printTables(), QStringLiteral("Print")); }

QString columnList(const QStringList &columns)
{
    QStringList quoted;
    for (const QString &c : columns)
        quoted.append(Database::quoteId(c));
    return quoted.join(QStringLiteral(", "));
}

QString placeholders(int n)
{
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks.append(QStringLiteral("?"));
    return marks.join(QStringLiteral(", "));
}

QString insertSql(const TableDef &t)
{
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(Database::quoteId(t.name), columnList(t.columns), placeholders(t.columns.size()));
}

// Text columns, except the main row id of the bill list, which is an integer.
QString createSql(const TableDef &t, int integerColumn)
{
    QStringList cols;
    for (int i = 0; i < t.columns.size(); ++i)
        cols.append(Database::quoteId(t.columns.at(i))
                    + (i == integerColumn ? QStringLiteral(" INTEGER") : QStringLiteral(" TEXT DEFAULT ''")));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(Database::quoteId(t.name), cols.join(QStringLiteral(", ")));
}

bool removeDatabaseFiles(const QString &path, QString *why)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QString file = path + suffix;
        if (QFileInfo::exists(file) && !QFile::remove(file)) {
            *why = QStringLiteral("无法删除文件 %1").arg(file);
            return false;
        }
    }
    return true;
}

} // namespace

Money &FeeRow::amount(int column)
{
    switch (column) {
    case col::PrintFee::LongDistance: return longDistance;
    case col::PrintFee::City: return city;
    case col::PrintFee::Local: return local;
    case col::PrintFee::Incoming: return incoming;
    case col::PrintFee::Rent: return rent;
    case col::PrintFee::Handling: return handling;
    case col::PrintFee::Service: return service;
    default: return total;
    }
}

QStringList FeeRow::texts() const
{
    QStringList t{group, number, name};
    for (Money m : amounts())
        t.append(m.toText());
    t << deposit.toText() << balance.toText() << collect.toText() << refund.toText() << note;
    return t;
}

BillTotals billTotalsOf(const QList<BillRow> &bills)
{
    BillTotals t;
    t.count = int(bills.size());
    for (const BillRow &b : bills)
        t.feeSum += Money::fromText(b.fee);
    return t;
}

FeeTotals feeTotalsOf(const QList<FeeRow> &fees)
{
    FeeTotals t;
    for (const FeeRow &f : fees) {
        const auto amounts = f.amounts();
        for (int i = 0; i < col::PrintFee::MoneyCount; ++i)
            t.sums[i] += amounts[i];
        t.collect += f.collect;
        t.refund += f.refund;
    }
    return t;
}

void BillList::append(qint64 mainRowId, const std::array<QStringView, col::PrintBill::ListedCount> &listed)
{
    rows.append(listed);
    mainRowIds.push_back(mainRowId);
    ++totals.count;
    totals.feeSum += Money::fromText(listed[col::PrintBill::Fee]);
}

BillRow BillList::row(qsizetype i) const
{
    auto t = [&](int c) { return rows.text(i, c); };
    return BillRow{t(0), t(1), t(2), t(3), t(4), t(5), t(6), mainRowIds[size_t(i)]};
}

BillList BillList::from(const QList<BillRow> &bills)
{
    BillList out;
    for (const BillRow &b : bills)
        out.append(b.mainRowId, {b.caller, b.called, b.endTime, b.duration, b.rate, b.area, b.fee});
    return out;
}

QString billInformation(const BillTotals &totals)
{
    return QStringLiteral("总计话单数：") + QString::number(totals.count) + QStringLiteral("   ")
           + QStringLiteral("总计金额：") + totals.feeSumText() + QStringLiteral("元");
}

QString feeInformation(const FeeTotals &totals) { return QStringLiteral("总计话费：") + totals.total().toText(); }

PrintStore::PrintStore() : m_db(std::make_unique<Database>()) {}
PrintStore::~PrintStore() = default;

bool PrintStore::isOpen() const { return m_db->isOpen(); }
Database &PrintStore::database() { return *m_db; }
void PrintStore::close() { m_db->close(); }

Status PrintStore::open(const QString &path)
{
    close();
    m_path = path;
    m_recreatedBecause.clear();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status::fail(QStringLiteral("无法建立文件夹 %1").arg(QFileInfo(path).absolutePath()));

    if (!QFileInfo::exists(path)) {
        if (Status s = m_db->open(path, QByteArray(), Database::OpenMode::Create); !s)
            return s;
        return createTables();
    }
    if (Status s = m_db->open(path, QByteArray(), Database::OpenMode::Existing); !s)
        return recreate(s.reason());
    const QStringList problems = schemaProblems(*m_db, printTables());
    if (!problems.isEmpty())
        return recreate(problems.join(QStringLiteral("；")));
    // A scratch copy: consistent after a crash is enough, durable is not needed.
    return m_db->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

Status PrintStore::recreate(const QString &why)
{
    close();
    m_recreatedBecause = why;
    QString removeError;
    if (!removeDatabaseFiles(m_path, &removeError))
        return Status::fail(removeError);
    if (Status s = m_db->open(m_path, QByteArray(), Database::OpenMode::Create); !s)
        return s;
    return createTables();
}

Status PrintStore::createTables()
{
    const Status made = InTransaction(*m_db, [this]() -> Status {
        if (Status s = m_db->exec(createSql(billTable(), col::PrintBill::MainRowId)); !s)
            return s;
        return m_db->exec(createSql(feeTable(), -1));
    });
    if (!made)
        return made;
    return m_db->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

Status PrintStore::clear() { return replace(BillList(), {}); }

Status PrintStore::replace(const QList<BillRow> &bills, const QList<FeeRow> &fees)
{
    return replace(BillList::from(bills), fees);
}

Status PrintStore::replace(const BillList &bills, const QList<FeeRow> &fees)
{
    if (!isOpen())
        return Status::fail(QStringLiteral("print.mdb 未打开"));
    const QString what = QStringLiteral("打印数据未能写入");
    return InTransaction(
               *m_db,
               [&]() -> Status {
                   for (const TableDef *t : {&billTable(), &feeTable()})
                       if (Status s = m_db->exec(QStringLiteral("DELETE FROM %1").arg(Database::quoteId(t->name))); !s)
                           return s;

                   SqlStatement addBill(m_db->handle(), insertSql(billTable()));
                   if (!addBill.isValid())
                       return Status::fail(addBill.error());
                   for (qsizetype r = 0; r < bills.size(); ++r) {
                       bool bound = true;
                       for (int c = 0; c < col::PrintBill::ListedCount; ++c)
                           bound = addBill.bind(c + 1, bills.rows.cell(r, c)) && bound;
                       bound = addBill.bind(col::PrintBill::MainRowId + 1, bills.mainRowIds[size_t(r)]) && bound;
                       if (!bound || !addBill.run())
                           return Status::fail(addBill.error());
                   }

                   SqlStatement addFee(m_db->handle(), insertSql(feeTable()));
                   if (!addFee.isValid())
                       return Status::fail(addFee.error());
                   for (const FeeRow &f : fees) {
                       const QStringList texts = f.texts();
                       bool bound = true;
                       for (int c = 0; c < texts.size(); ++c)
                           bound = addFee.bind(c + 1, texts.at(c)) && bound;
                       if (!bound || !addFee.run())
                           return Status::fail(addFee.error());
                   }
                   return Status::ok();
               })
        .context(what);
}

Status PrintStore::recordSettlement(const QList<BillRow> &settledBills, const QList<FeeRow> &settledFees)
{
    if (!isOpen())
        return Status::fail(QStringLiteral("print.mdb 未打开"));
    QList<BillRow> listedBills = bills();
    QSet<qint64> have;
    for (const BillRow &b : std::as_const(listedBills))
        have.insert(b.mainRowId);
    for (const BillRow &b : settledBills)
        if (!have.contains(b.mainRowId))
            listedBills.append(b);
    QList<FeeRow> listedFees = fees();
    for (const FeeRow &f : settledFees) {
        auto it =
            std::find_if(listedFees.begin(), listedFees.end(), [&](const FeeRow &l) { return l.number == f.number; });
        if (it != listedFees.end())
            *it = f;
        else
            listedFees.append(f);
    }
    return replace(listedBills, listedFees);
}

QString PrintStore::billListSql()
{
    QStringList listed = billTable().columns.mid(0, col::PrintBill::ListedCount);
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
        .arg(columnList(listed), Database::quoteId(billTable().name));
}

QString PrintStore::feeListSql()
{
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
        .arg(columnList(feeTable().columns), Database::quoteId(feeTable().name));
}

QList<BillRow> PrintStore::bills()
{
    QList<BillRow> out;
    const auto rows = m_db->select(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                       .arg(columnList(billTable().columns), Database::quoteId(billTable().name)));
    if (!rows)
        return out;
    out.reserve(rows->size());
    for (const QStringList &r : *rows) {
        BillRow b{r.at(0), r.at(1), r.at(2), r.at(3), r.at(4), r.at(5), r.at(6), r.at(7).toLongLong()};
        out.append(std::move(b));
    }
    return out;
}

QList<FeeRow> PrintStore::fees()
{
    QList<FeeRow> out;
    const auto rows = m_db->select(feeListSql());
    if (!rows)
        return out;
    out.reserve(rows->size());
    for (const QStringList &r : *rows) {
        FeeRow f;
        f.group = r.at(col::PrintFee::Group);
        f.number = r.at(col::PrintFee::Number);
        f.name = r.at(col::PrintFee::Name);
        for (int c = col::PrintFee::FirstMoney; c <= col::PrintFee::Total; ++c)
            f.amount(c) = Money::fromText(r.at(c));
        f.deposit = Money::fromText(r.value(col::PrintFee::Deposit));
        f.balance = Money::fromText(r.value(col::PrintFee::Balance));
        f.collect = Money::fromText(r.value(col::PrintFee::Collect));
        f.refund = Money::fromText(r.value(col::PrintFee::Refund));
        f.note = r.value(col::PrintFee::Note);
        out.append(std::move(f));
    }
    return out;
}

BillTotals PrintStore::billTotals()
{
    BillTotals t;
    const auto rows = m_db->select(
        QStringLiteral("SELECT %1 FROM %2")
            .arg(Database::quoteId(billTable().columns.at(col::PrintBill::Fee)), Database::quoteId(billTable().name)));
    if (!rows)
        return t;
    t.count = int(rows->size());
    for (const QStringList &r : *rows)
        t.feeSum += Money::fromText(r.at(0));
    return t;
}

FeeTotals PrintStore::feeTotals()
{
    FeeTotals t;
    const QStringList money = feeTable().columns.mid(col::PrintFee::FirstMoney, col::PrintFee::MoneyCount)
                              << feeTable().columns.at(col::PrintFee::Collect)
                              << feeTable().columns.at(col::PrintFee::Refund);
    const auto rows =
        m_db->select(QStringLiteral("SELECT %1 FROM %2").arg(columnList(money), Database::quoteId(feeTable().name)));
    if (!rows)
        return t;
    for (const QStringList &r : *rows) {
        for (int i = 0; i < col::PrintFee::MoneyCount; ++i)
            t.sums[i] += Money::fromText(r.at(i));
        t.collect += Money::fromText(r.at(col::PrintFee::MoneyCount));
        t.refund += Money::fromText(r.at(col::PrintFee::MoneyCount + 1));
    }
    return t;
}

Checked<int> PrintStore::deleteListedFromMain(Database &switchDb) { return deleteFromMain(switchDb, bills()); }

Checked<int> PrintStore::deleteFromMain(Database &switchDb, const QList<BillRow> &rows, QList<qint64> *gone)
{
    const QString what = QStringLiteral("话单未能删除");
    if (!isOpen() || !switchDb.isOpen())
        return Checked<int>::refuse(what + QStringLiteral("：数据库未打开"));
    BillTable main(switchDb);
    int deleted = 0;
    QList<qint64> goneIds;
    const Status s = InTransaction(switchDb, [&]() -> Status {
        goneIds.clear();
        for (const BillRow &b : rows) {
            const auto removed = main.removeListed(b.mainRowId, b.caller, b.endTime);
            if (!removed)
                return removed.status();
            if (*removed)
                goneIds.append(b.mainRowId);
        }
        deleted = int(goneIds.size());
        // A deleted call is not billed: what it cost a deposit goes back,
        // recorded in the journal, and a room that comes out of debt gets
        // its class back (in the switch after the commit).
        const auto back = DepositTable(switchDb).giveBackCharges(goneIds, QStringLiteral("话单已删除"));
        if (!back)
            return back.status();
        return PendingCommands(switchDb).keepStar(*back, PendingCommand::DefaultGapMs);
    });
    if (!s)
        return Checked<int>::refuse(s.context(what));
    // The list loses the rows deleted.
    const QSet<qint64> removedIds(goneIds.cbegin(), goneIds.cend());
    const Status listed = InTransaction(*m_db, [&]() -> Status {
        QList<qint64> rowids;
        const auto read = m_db->each(QStringLiteral("SELECT rowid, %1 FROM %2")
                                         .arg(Database::quoteId(billTable().columns.at(col::PrintBill::MainRowId)),
                                              Database::quoteId(billTable().name)),
                                     {}, [&](const Database::RowView &r) {
                                         if (removedIds.contains(r.integer(1)))
                                             rowids.append(r.integer(0));
                                         return true;
                                     });
        if (!read)
            return read.status();
        for (qint64 rowid : std::as_const(rowids))
            if (Status d = m_db->exec(
                    QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Database::quoteId(billTable().name)), {rowid});
                !d)
                return d;
        return Status::ok();
    });
    if (!listed)
        qWarning("print.mdb not brought in line with the deletion: %s", qPrintable(listed.reason()));
    if (gone)
        *gone = goneIds;
    return deleted;
}

} // namespace corvane
