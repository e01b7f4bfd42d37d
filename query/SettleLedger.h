#pragma once
#include "ExportSheet.h"
#include "LedgerTable.h"
#include "Money.h"
#include "Report.h"
#include "Status.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace corvane {

class Database;

// The settlement ledger as the window "结算记录" lists it: the rows settled
// in a range of whole days, of one caller or of all, their totals, their
// receipts printed again and the list as a spreadsheet. It only reads: the
// ledger is written by the settlement alone and never changed afterwards.
class SettleLedger {
public:
    explicit SettleLedger(Database &db) : m_db(db) {}

    // Every caller found in the ledger, in order of first settlement.
    Checked<QStringList> callers() const;
    // A range of whole days: both days given, the first not after the last.
    static Status checkRange(const QDate &first, const QDate &last);
    // The rows settled from the start of `first` to the end of `last`, of
    // `caller` (every caller when empty), oldest first. A range checkRange
    // refuses is refused with its reason.
    Checked<QList<LedgerRow>> rows(const QDate &first, const QDate &last, const QString &caller = {}) const;

    // The first and the last day of the month of `day`.
    static std::pair<QDate, QDate> monthOf(const QDate &day);

    // The listed columns: those of a ledger row, in their stored order.
    static QStringList header();
    static QStringList texts(const LedgerRow &row);

    struct Totals {
        int rows = 0;
        int records = 0;
        Money total, collect, refund;
    };
    static Totals totalsOf(const QList<LedgerRow> &rows);
    // "结算记录：2条   话单数：5   合计：71.20元   应收：0.00元   应退：8.80元"
    static QString totalsText(const Totals &totals);
    static QString nothingFoundText(); // "所选时段内没有结算记录。"

    // The rows as the sheet "结算记录": times, callers and ports as text, the
    // record count as a number, the amounts as numbers with two decimals.
    static ExportSheet sheet(const QList<LedgerRow> &rows);

    // The receipt printed at settlement ("电信电话费收据"), with the date of
    // each row's settlement and the operator who settled it in place of
    // today's date and the operator reprinting it.
    static ReportDef receiptReport();
    // One receipt per row: the columns of a fee row (user number = the
    // caller) and those of the ledger row, and "结算日期" in the long form.
    static TableSource receiptSource(const QList<LedgerRow> &rows);

private:
    Database &m_db;
};

} // namespace corvane
