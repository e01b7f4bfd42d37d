#include "ExportSheet.h"
#include "CsvExport.h"
#include "Schema.h"
#include "XlsxExport.h"

#include <QFileInfo>
#include <QSaveFile>

namespace corvane {

QStringList ExportSheet::header() const
{
    QStringList h;
    h.reserve(columns.size());
    for (const ExportColumn &c : columns)
        h.append(c.caption);
    return h;
}

ExportSheet billSheet(const QList<BillRow> &bills)
{
    const QStringList names =
        findTable(printTables(), QStringLiteral("PHNBill"))->columns.mid(0, col::PrintBill::ListedCount);
    ExportSheet sheet;
    sheet.name = QStringLiteral("话单");
    for (int c = 0; c < names.size(); ++c) {
        CellKind kind = CellKind::Text;
        switch (c) {
        case col::PrintBill::Caller:
        case col::PrintBill::Called:
        case col::PrintBill::EndTime: kind = CellKind::Identifier; break;
        case col::PrintBill::Duration: kind = CellKind::Count; break;
        case col::PrintBill::Rate:
        case col::PrintBill::Fee: kind = CellKind::Money; break;
        default: break;
        }
        sheet.columns.append({names.at(c), kind});
    }
    sheet.rows.reserve(bills.size());
    for (const BillRow &b : bills) {
        QStringList r = b.listed();
        r[col::PrintBill::Fee] = Money::fromText(b.fee).toText();
        sheet.rows.append(std::move(r));
    }
    return sheet;
}

ExportSheet feeSheet(const QList<FeeRow> &fees)
{
    const QStringList names = findTable(printTables(), QStringLiteral("Print"))->columns;
    ExportSheet sheet;
    sheet.name = QStringLiteral("话费");
    for (int c = 0; c < names.size(); ++c) {
        const CellKind kind = c >= col::PrintFee::FirstMoney ? CellKind::Money
                              : c == col::PrintFee::Number   ? CellKind::Identifier
                                                             : CellKind::Text;
        sheet.columns.append({names.at(c), kind});
    }
    sheet.rows.reserve(fees.size());
    for (const FeeRow &f : fees)
        sheet.rows.append(f.texts());
    return sheet;
}

ExportFormat exportFormatOf(const QString &path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0 ? ExportFormat::Csv
                                                                                             : ExportFormat::Xlsx;
}

QString exportFileFilters() { return QStringLiteral("Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"); }

QString withExportSuffix(const QString &path, const QString &chosenFilter)
{
    if (path.isEmpty())
        return path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("csv"))
        return path;
    return path + (chosenFilter.contains(QStringLiteral("*.csv")) ? QStringLiteral(".csv") : QStringLiteral(".xlsx"));
}

Checked<int> exportSheets(const QString &path, const QList<ExportSheet> &sheets)
{
    if (sheets.isEmpty())
        return Checked<int>::refuse(QStringLiteral("没有可导出的表格"));
    if (exportFormatOf(path) == ExportFormat::Csv) {
        if (Status s = Csv::write(path, Csv::document(sheets.first())); !s)
            return Checked<int>::refuse(s);
        return int(sheets.first().rows.size());
    }
    if (Status s = writeXlsx(path, sheets); !s)
        return Checked<int>::refuse(s);
    int rows = 0;
    for (const ExportSheet &sheet : sheets)
        rows += int(sheet.rows.size());
    return rows;
}

Status writeExportFile(const QString &path, const QByteArray &bytes)
{
    const QString what = QStringLiteral("无法写入文件 %1").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::fail(file.errorString()).context(what);
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return Status::fail(why).context(what);
    }
    if (!file.commit())
        return Status::fail(file.errorString()).context(what);
    return Status::ok();
}

} // namespace corvane
