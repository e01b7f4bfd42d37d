#pragma once
#include "ExportSheet.h"
#include "PrintStore.h"
#include "Status.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvane {

// CSV files for machines and for a spreadsheet that opens them as they are:
// UTF-8 with a byte-order mark (so the Chinese text is read right), CR LF
// line ends, quotes doubled. Amounts and counts are plain unquoted numbers
// ("12.30"). Identifiers (extensions, dialled numbers, end times) are always
// quoted, so that a reader told to take quoted fields as text keeps
// "0105551234" as it is; other text is quoted where it holds a comma, a quote
// or a line break. A text that a spreadsheet would take for a formula
// (starting with "=", "@", or "+"/"-" not followed by a number) gets a leading
// apostrophe, so an operator-typed name cannot run as a formula.
namespace Csv {

QString field(const QString &text, CellKind kind = CellKind::Text);
// The whole file: BOM, header line, one line per row.
QByteArray document(const ExportSheet &sheet);
// Writes the file in one step (a failed write leaves no half file behind).
Status write(const QString &path, const QByteArray &document);

} // namespace Csv

// The listed call records (the seven listed columns, the fee as a decimal).
Status exportBillsCsv(const QString &path, const QList<BillRow> &bills);
// The fee rows (eleven columns, amounts as decimals).
Status exportFeesCsv(const QString &path, const QList<FeeRow> &fees);

} // namespace corvane
