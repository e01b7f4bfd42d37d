#include "CsvExport.h"

namespace corvane {

namespace Csv {

namespace {

bool startsWithNumber(const QString &text, int from)
{
    return from < text.size() && (text.at(from).isDigit() || text.at(from) == u'.');
}

bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    if (c == u'=' || c == u'@')
        return true;
    return (c == u'+' || c == u'-') && !startsWithNumber(text, 1);
}

bool isNumber(CellKind kind) { return kind == CellKind::Count || kind == CellKind::Money; }

} // namespace

QString field(const QString &text, CellKind kind)
{
    QString t = (!isNumber(kind) && looksLikeFormula(text)) ? QLatin1Char('\'') + text : text;
    const bool quote =
        kind == CellKind::Identifier || t.contains(u',') || t.contains(u'"') || t.contains(u'\n') || t.contains(u'\r');
    if (!quote)
        return t;
    t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QByteArray document(const ExportSheet &sheet)
{
    QString text;
    auto addLine = [&](const QStringList &fields, bool isHeader) {
        QStringList out;
        out.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            out.append(field(fields.at(i), isHeader ? CellKind::Text : sheet.columns.value(i).kind));
        text += out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    addLine(sheet.header(), true);
    for (const QStringList &r : sheet.rows)
        addLine(r, false);
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

Status write(const QString &path, const QByteArray &document) { return writeExportFile(path, document); }

} // namespace Csv

Status exportBillsCsv(const QString &path, const QList<BillRow> &bills)
{
    return Csv::write(path, Csv::document(billSheet(bills)));
}

Status exportFeesCsv(const QString &path, const QList<FeeRow> &fees)
{
    return Csv::write(path, Csv::document(feeSheet(fees)));
}

} // namespace corvane
