#pragma once
#include "PrintStore.h"
#include "Status.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// What a column of an exported list holds, which decides how a spreadsheet
// gets it.
enum class CellKind {
    Text,       // names, groups, areas, notes
    Identifier, // digits that are not quantities: extensions, dialled and account numbers, end times
    Count,      // whole numbers: durations, record counts
    Money,      // amounts and rates, two decimals
};

struct ExportColumn {
    QString caption;
    CellKind kind = CellKind::Text;
};

// One list as it is exported: a named sheet, its columns and its rows as the
// windows show them (amounts in "0.00" form).
struct ExportSheet {
    QString name;
    QList<ExportColumn> columns;
    QList<QStringList> rows;

    QStringList header() const;
};

// The listed call records: the seven listed columns ("话单").
ExportSheet billSheet(const QList<BillRow> &bills);
// The fee rows: the eleven columns of print.mdb's Print ("话费").
ExportSheet feeSheet(const QList<FeeRow> &fees);

// A spreadsheet workbook (.xlsx) unless the file is named ".csv".
enum class ExportFormat { Xlsx, Csv };
ExportFormat exportFormatOf(const QString &path);
// The file dialog's choices, the workbook first.
QString exportFileFilters();
// The name with the suffix of the chosen filter when it has neither ".xlsx" nor ".csv".
QString withExportSuffix(const QString &path, const QString &chosenFilter);

// Writes the sheets in the format the file name asks for: a workbook with one
// sheet each, or the first sheet as CSV. Returns how many rows were written.
// A file that cannot be written is reported with its name and the reason, and
// nothing is left behind.
Checked<int> exportSheets(const QString &path, const QList<ExportSheet> &sheets);

// Writes a whole file in one step: into a temporary file beside it, renamed
// over the target only when complete. A failure names the file.
Status writeExportFile(const QString &path, const QByteArray &bytes);

} // namespace corvane
