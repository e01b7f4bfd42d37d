#pragma once
#include "LedgerTable.h"
#include "Money.h"
#include "PackedRows.h"
#include "Status.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

namespace corvane {

class Database;

// Column positions of the two tables of print.mdb.
namespace col::PrintBill {
constexpr int Caller = 0;
constexpr int Called = 1;
constexpr int EndTime = 2;
constexpr int Duration = 3;
constexpr int Rate = 4;
constexpr int Area = 5;
constexpr int Fee = 6;
constexpr int MainRowId = 7;   // not listed: the main PHNBill row this one copies
constexpr int ListedCount = 7; // columns shown in lists and reports
} // namespace col::PrintBill

namespace col::PrintFee {
constexpr int Group = 0;
constexpr int Number = 1;
constexpr int Name = 2;
constexpr int LongDistance = 3;
constexpr int City = 4;
constexpr int Local = 5;
constexpr int Incoming = 6;
constexpr int Rent = 7;
constexpr int Handling = 8;
constexpr int Service = 9;
constexpr int Total = 10;
constexpr int FirstMoney = 3;
constexpr int MoneyCount = 8;
constexpr int Deposit = 11; // deposit held
constexpr int Balance = 12; // balance held
constexpr int Collect = 13; // 应收
constexpr int Refund = 14;  // 应退
constexpr int Note = 15;    // why no rent was charged
constexpr int Count = 16;
} // namespace col::PrintFee

// One listed call record: columns 0 to 6 of a main PHNBill row, as text, and
// the rowid of that main row.
struct BillRow {
    QString caller, called, endTime, duration, rate, area, fee;
    qint64 mainRowId = 0;

    // The seven listed columns in table order.
    QStringList listed() const { return {caller, called, endTime, duration, rate, area, fee}; }
    friend bool operator==(const BillRow &a, const BillRow &b)
    {
        return a.listed() == b.listed() && a.mainRowId == b.mainRowId;
    }
};

// One fee summary row of a user or account, with the deposit it holds and
// what the front desk collects or refunds.
struct FeeRow {
    QString group, number, name;
    Money longDistance, city, local, incoming, rent, handling, service, total;
    Money deposit, balance, collect, refund;
    QString note;

    // The eight amounts in table order (columns 3 to 10).
    std::array<Money, col::PrintFee::MoneyCount> amounts() const
    {
        return {longDistance, city, local, incoming, rent, handling, service, total};
    }
    Money &amount(int column); // column 3..10
    // All eleven columns as stored, amounts "0.00".
    QStringList texts() const;
    friend bool operator==(const FeeRow &a, const FeeRow &b) { return a.texts() == b.texts(); }
};

// Row count and fee sum of the listed call records.
struct BillTotals {
    int count = 0;
    Money feeSum;
    QString feeSumText() const { return feeSum.toText(); }
};

// Count and fee sum of these records (those a filtered list shows).
BillTotals billTotalsOf(const QList<BillRow> &bills);

// The listed records of a list of any size: the seven listed columns
// packed (PackedRows), the main row ids beside them, and their totals. A
// query fills it in a worker thread; the bill window shows it.
struct BillList {
    PackedRows rows{col::PrintBill::ListedCount};
    std::vector<qint64> mainRowIds;
    BillTotals totals;

    qsizetype size() const { return qsizetype(mainRowIds.size()); }
    void append(qint64 mainRowId, const std::array<QStringView, col::PrintBill::ListedCount> &listed);
    BillRow row(qsizetype i) const;
    static BillList from(const QList<BillRow> &bills);
};
// The bill window's summary line: "总计话单数：12   总计金额：3.40元".
QString billInformation(const BillTotals &totals);

// The eight column totals of the fee rows, in table order (columns 3 to 10).
struct FeeTotals {
    std::array<Money, col::PrintFee::MoneyCount> sums{};
    // What the front desk collects and refunds over all the rows.
    Money collect, refund;
    Money at(int column) const { return sums.at(column - col::PrintFee::FirstMoney); }
    Money total() const { return at(col::PrintFee::Total); }
};

// Column totals and what is collected and refunded over these fee rows.
FeeTotals feeTotalsOf(const QList<FeeRow> &fees);
// The settlement window's summary line: "总计话费：" + the grand total.
QString feeInformation(const FeeTotals &totals);

// print.mdb: the scratch store that the query fills and that the bill and
// settlement windows list, total and print. It has no key. A file that is not
// a database, or whose tables are missing or laid out otherwise, is thrown
// away and made anew: the store only ever holds the result of the last query.
class PrintStore {
public:
    PrintStore();
    ~PrintStore();
    PrintStore(const PrintStore &) = delete;
    PrintStore &operator=(const PrintStore &) = delete;

    // Opens the file, creating or recreating it with its two tables where needed.
    Status open(const QString &path);
    void close();
    bool isOpen() const;
    // Why the file was made anew at the last open (empty when it was fine or new).
    QString recreatedBecause() const { return m_recreatedBecause; }
    Database &database();

    // Empties both tables.
    Status clear();
    // Empties both tables and writes these rows, all in one transaction: the
    // store holds either the old list or the whole new one.
    Status replace(const QList<BillRow> &bills, const QList<FeeRow> &fees);
    Status replace(const BillList &bills, const QList<FeeRow> &fees);

    QList<BillRow> bills();
    QList<FeeRow> fees();
    // After a settlement: each settled room's fee row becomes what was
    // settled (the rent charged, the total, the deposit side), and the
    // records settled that the list did not show are added, so that the
    // receipts printed now show what was settled.
    Status recordSettlement(const QList<BillRow> &settledBills, const QList<FeeRow> &settledFees);
    BillTotals billTotals();
    FeeTotals feeTotals();

    // The SELECT texts the reports run: the seven listed columns of PHNBill
    // (without the main row id), and every column of Print.
    static QString billListSql();
    static QString feeListSql();

    // Deletes from the main PHNBill every row that this list copies, in one
    // transaction. A row is taken by its own rowid, and only while its caller
    // and end time are still those listed (a rowid freed and reused since the
    // query is left alone). Returns how many rows went.
    Checked<int> deleteListedFromMain(Database &switchDb);
    // The same for these listed rows only (the rows a filtered list shows).
    // A deleted record that a deposit paid for gives its charge back; the
    // class commands that follows are kept for the switch in the same
    // transaction. The rows deleted leave this list too.
    // `gone`, when given, gets the main row ids deleted.
    Checked<int> deleteFromMain(Database &switchDb, const QList<BillRow> &rows, QList<qint64> *gone = nullptr);

private:
    Status createTables();
    Status recreate(const QString &why);

    std::unique_ptr<Database> m_db;
    QString m_path;
    QString m_recreatedBecause;
};

} // namespace corvane
