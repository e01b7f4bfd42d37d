#pragma once
#include "ExportSheet.h"
#include "Status.h"

#include <QList>
#include <QString>

namespace corvane {

// A spreadsheet workbook (.xlsx, written with libxlsxwriter), one worksheet
// per list: the header row in bold and frozen, every column as wide as its
// caption and its widest value. Text and identifiers are text cells, so that
// "0105551234" keeps its leading zero; amounts are numbers shown with two
// decimals ("0.00"); counts are whole numbers. A value that does not read as
// the number its column holds is kept as text rather than changed.
//
// The workbook is put together in a private temporary folder and written to
// `path` in one step: a failure names the file and the reason, and leaves no
// file behind.
Status writeXlsx(const QString &path, const QList<ExportSheet> &sheets);

} // namespace corvane
