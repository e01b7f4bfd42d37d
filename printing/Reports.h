#pragma once
#include "PrintStore.h"
#include "Report.h"

namespace corvane {

// The three reports of the bill and settlement windows, on A4.

// Call list "话单" over PrintStore::billListSql(): the seven columns of the
// listed records, page numbers, and in the report footer "话单总数："
// lblRecordCount and "话费总计：" lblSum.
ReportDef DRBillPrint();
// Fee list "话费清单" over PrintStore::feeListSql(), A4 landscape: the eleven
// fee columns, page numbers.
ReportDef DRPrint();
// Receipts "电信电话费收据" over PrintStore::feeListSql(): one receipt per fee
// row, three to a page, "收款员 Receiver" with labReceiver.
ReportDef DRPage();

// Deposit slip "押金收据": one movement of a deposit (paid, topped up,
// lowered), the deposit and balance before and after, "收款员 Receiver"
// with labReceiver and room for the guest's signature.
ReportDef DRForegift();
struct DepositSlip {
    QString number; // the room's number, or "账号012"
    QString name;
    QString what; // "交押金", "续交押金", "退押金"
    Money amount; // taken (or, for "退押金", handed back)
    Money depositBefore, depositAfter, balanceBefore, balanceAfter;
    QDateTime at;
};
TableSource depositSlipSource(const DepositSlip &slip);

// lblRecordCount := the count, lblSum := the sum "0.00" + "元".
void setBillTotals(ReportDef &report, const BillTotals &totals);
// labReceiver := the operator's name.
void setReceiver(ReportDef &report, const QString &operatorName);

// The report's rows from print.mdb (the query each report is bound to).
Checked<TableSource> billListSource(PrintStore &store);
Checked<TableSource> feeListSource(PrintStore &store);
// The same columns over these rows, in this order: the rows a filtered,
// sorted list shows.
TableSource billListSource(const QList<BillRow> &bills);
TableSource feeListSource(const QList<FeeRow> &fees);

} // namespace corvane
