#pragma once
#include "PrintStore.h"
#include "Status.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// CSV files a spreadsheet opens as they are: UTF-8 with a byte-order mark
// (so the Chinese text is read right), CR LF line ends, fields quoted where
// they hold a comma, a quote or a line break, quotes doubled. Amounts are
// plain decimals ("12.30"). A text field that a spreadsheet would take for a
// formula (starting with "=", "@", or "+"/"-" not followed by a number) gets
// a leading apostrophe, so an operator-typed name cannot run as a formula.
namespace Csv {

QString field(const QString &text, bool isNumber = false);
// The whole file: BOM, header line, one line per row. numberColumns are
// written as they are, without the formula guard.
QByteArray document(const QStringList &header, const QList<QStringList> &rows, const QList<int> &numberColumns = {});
// Writes the file in one step (a failed write leaves no half file behind).
Status write(const QString &path, const QByteArray &document);

} // namespace Csv

// The listed call records (the seven listed columns, the fee as a decimal).
Status exportBillsCsv(const QString &path, const QList<BillRow> &bills);
// The fee rows (eleven columns, amounts as decimals).
Status exportFeesCsv(const QString &path, const QList<FeeRow> &fees);

} // namespace corvane
