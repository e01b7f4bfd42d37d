#pragma once
// Printing: the scratch store print.mdb and everything the bill and settlement
// windows print from it.
//
// Logic, no widgets (library corvane_printing):
//   PrintStore     print.mdb (no key): the listed call records (PHNBill, seven
//                  columns plus the main row id each copies) and the fee rows
//                  (Print, eleven columns); opens or recreates the file, fills
//                  both tables in one transaction, totals with exact money,
//                  deletes the listed records from Switch.mdb by their row id.
//   Report*        a small banded report renderer on QPainter: report and page
//                  header and footer, a detail band per row of a SELECT on
//                  print.mdb (or any ReportSource), fields, count and sum,
//                  page number, date, rules and named labels. The same pages go
//                  to a print preview, a printer, a PDF file or an image.
//   Reports        the three reports: DRBillPrint (call list), DRPrint (fee
//                  list), DRPage (receipts).
//   GrandTotal     the one-page grand total at its fixed twips positions.
//   ExportSheet    a list as it is exported (columns that are text,
//                  identifiers, counts or amounts); the bill and fee lists as
//                  sheets; the export by the file's suffix.
//   XlsxExport     the lists as a spreadsheet workbook (libxlsxwriter).
//   CsvExport      the lists as CSV for machines.
//
// Window side (library corvane_printinggui, gui/PrintJobs.h): the preview
// dialog, direct printing to the default CUPS printer through an injectable
// PrinterPort, and the "没有可用的打印机！" outcome as a Status.
#include "CsvExport.h"
#include "ExportSheet.h"
#include "GrandTotal.h"
#include "PrintStore.h"
#include "Report.h"
#include "Reports.h"
#include "XlsxExport.h"
