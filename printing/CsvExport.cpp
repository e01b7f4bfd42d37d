#include "CsvExport.h"
#include "Schema.h"

#include <QFileInfo>
#include <QSaveFile>

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

} // namespace

QString field(const QString &text, bool isNumber)
{
    QString t = (!isNumber && looksLikeFormula(text)) ? QLatin1Char('\'') + text : text;
    const bool quote = t.contains(u',') || t.contains(u'"') || t.contains(u'\n') || t.contains(u'\r');
    if (!quote)
        return t;
    t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QByteArray document(const QStringList &header, const QList<QStringList> &rows, const QList<int> &numberColumns)
{
    QString text;
    auto addLine = [&](const QStringList &fields, bool isHeader) {
        QStringList out;
        out.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            out.append(field(fields.at(i), !isHeader && numberColumns.contains(i)));
        text += out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    addLine(header, true);
    for (const QStringList &r : rows)
        addLine(r, false);
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

Status write(const QString &path, const QByteArray &document)
{
    const QString what = QStringLiteral("无法写入文件 %1").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::fail(file.errorString()).context(what);
    if (file.write(document) != document.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return Status::fail(why).context(what);
    }
    if (!file.commit())
        return Status::fail(file.errorString()).context(what);
    return Status::ok();
}

} // namespace Csv

Status exportBillsCsv(const QString &path, const QList<BillRow> &bills)
{
    const QStringList header =
        findTable(printTables(), QStringLiteral("PHNBill"))->columns.mid(0, col::PrintBill::ListedCount);
    QList<QStringList> rows;
    rows.reserve(bills.size());
    for (const BillRow &b : bills) {
        QStringList r = b.listed();
        r[col::PrintBill::Fee] = Money::fromText(b.fee).toText();
        rows.append(std::move(r));
    }
    return Csv::write(
        path, Csv::document(header, rows, {col::PrintBill::Duration, col::PrintBill::Rate, col::PrintBill::Fee}));
}

Status exportFeesCsv(const QString &path, const QList<FeeRow> &fees)
{
    const QStringList header = findTable(printTables(), QStringLiteral("Print"))->columns;
    QList<QStringList> rows;
    rows.reserve(fees.size());
    for (const FeeRow &f : fees)
        rows.append(f.texts());
    QList<int> amounts;
    for (int c = col::PrintFee::FirstMoney; c <= col::PrintFee::Total; ++c)
        amounts.append(c);
    return Csv::write(path, Csv::document(header, rows, amounts));
}

} // namespace corvane
