#include "XlsxReader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace corvane::test {

namespace {

std::optional<QByteArray> part(const QString &path, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, member});
    if (!p.waitForStarted(5000) || !p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// "C12" -> column 2 (0-based), row 12.
std::pair<int, int> split(const QString &ref)
{
    int col = 0, i = 0;
    while (i < ref.size() && ref.at(i).isLetter())
        col = col * 26 + (ref.at(i++).toUpper().unicode() - 'A' + 1);
    return {col - 1, ref.mid(i).toInt()};
}

QString refOf(int col, int row)
{
    QString letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

QStringList sharedStrings(const QByteArray &xml)
{
    QStringList out;
    QXmlStreamReader r(xml);
    QString current;
    bool inItem = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("si")) {
            inItem = true;
            current.clear();
        } else if (r.isStartElement() && r.name() == QLatin1String("t") && inItem) {
            current += r.readElementText();
        } else if (r.isEndElement() && r.name() == QLatin1String("si")) {
            out.append(current);
            inItem = false;
        }
    }
    return out;
}

struct Styles {
    QList<QPair<int, int>> xfs; // numFmtId, fontId of each cell format
    QList<bool> boldFonts;
    QMap<int, QString> formats{{0, QStringLiteral("General")}, {1, QStringLiteral("0")}, {2, QStringLiteral("0.00")}};
};

Styles styles(const QByteArray &xml)
{
    Styles s;
    QXmlStreamReader r(xml);
    QString section;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto name = r.name();
            if (name == QLatin1String("fonts") || name == QLatin1String("cellXfs")
                || name == QLatin1String("cellStyleXfs"))
                section = name.toString();
            else if (name == QLatin1String("numFmt"))
                s.formats.insert(r.attributes().value(QLatin1String("numFmtId")).toInt(),
                                 r.attributes().value(QLatin1String("formatCode")).toString());
            else if (name == QLatin1String("font") && section == QLatin1String("fonts"))
                s.boldFonts.append(false);
            else if (name == QLatin1String("b") && section == QLatin1String("fonts") && !s.boldFonts.isEmpty())
                s.boldFonts.last() = r.attributes().value(QLatin1String("val")) != QLatin1String("0");
            else if (name == QLatin1String("xf") && section == QLatin1String("cellXfs"))
                s.xfs.append({r.attributes().value(QLatin1String("numFmtId")).toInt(),
                              r.attributes().value(QLatin1String("fontId")).toInt()});
        } else if (r.isEndElement()) {
            const auto name = r.name();
            if (name == QLatin1String("fonts") || name == QLatin1String("cellXfs")
                || name == QLatin1String("cellStyleXfs"))
                section.clear();
        }
    }
    return s;
}

XlsxSheet sheetOf(const QByteArray &xml, const QStringList &strings, const Styles &st)
{
    XlsxSheet sheet;
    QXmlStreamReader r(xml);
    XlsxCell cell;
    QString ref;
    bool shared = false; // the value is an index into the shared strings
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto a = r.attributes();
            if (r.name() == QLatin1String("pane") && a.value(QLatin1String("state")) == QLatin1String("frozen")) {
                sheet.frozenRows = a.value(QLatin1String("ySplit")).toInt();
            } else if (r.name() == QLatin1String("col")) {
                if (a.hasAttribute(QLatin1String("width")))
                    for (int c = a.value(QLatin1String("min")).toInt(); c <= a.value(QLatin1String("max")).toInt(); ++c)
                        sheet.widths.insert(c - 1, a.value(QLatin1String("width")).toDouble());
            } else if (r.name() == QLatin1String("c")) {
                ref = a.value(QLatin1String("r")).toString();
                cell = XlsxCell();
                const QString t = a.value(QLatin1String("t")).toString();
                shared = t == QLatin1String("s");
                cell.type = t.isEmpty() || t == QLatin1String("n") ? XlsxCell::Type::Number
                            : (t == QLatin1String("s") || t == QLatin1String("inlineStr") || t == QLatin1String("str"))
                                ? XlsxCell::Type::String
                                : XlsxCell::Type::Other;
                const int xf = a.value(QLatin1String("s")).toInt();
                const auto [fmt, font] = st.xfs.value(xf, {0, 0});
                cell.numFormat = st.formats.value(fmt, QStringLiteral("?%1").arg(fmt));
                cell.bold = st.boldFonts.value(font, false);
            } else if (r.name() == QLatin1String("v")) {
                const QString v = r.readElementText();
                cell.value = shared ? strings.value(v.toInt()) : v;
            } else if (r.name() == QLatin1String("t")) {
                cell.value += r.readElementText(); // an inline string
            }
        } else if (r.isEndElement() && r.name() == QLatin1String("c")) {
            sheet.cells.insert(ref, cell);
        }
    }
    return sheet;
}

} // namespace

const XlsxCell *XlsxSheet::cell(const QString &ref) const
{
    const auto it = cells.find(ref);
    return it == cells.end() ? nullptr : &*it;
}

QList<XlsxCell> XlsxSheet::row(int r) const
{
    int last = -1;
    for (auto it = cells.begin(); it != cells.end(); ++it)
        if (split(it.key()).second == r)
            last = qMax(last, split(it.key()).first);
    QList<XlsxCell> out;
    for (int c = 0; c <= last; ++c)
        out.append(cells.value(refOf(c, r)));
    return out;
}

int XlsxSheet::rowCount() const
{
    int n = 0;
    for (auto it = cells.begin(); it != cells.end(); ++it)
        n = qMax(n, split(it.key()).second);
    return n;
}

const XlsxSheet *XlsxBook::sheet(const QString &name) const
{
    for (const XlsxSheet &s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::optional<XlsxBook> readXlsx(const QString &path)
{
    const auto workbook = part(path, QStringLiteral("xl/workbook.xml"));
    const auto styleXml = part(path, QStringLiteral("xl/styles.xml"));
    if (!workbook || !styleXml)
        return std::nullopt;
    const QStringList strings =
        sharedStrings(part(path, QStringLiteral("xl/sharedStrings.xml")).value_or(QByteArray()));
    const Styles st = styles(*styleXml);
    XlsxBook book;
    QXmlStreamReader r(*workbook);
    int index = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("sheet")) {
            ++index;
            const auto xml = part(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(index));
            if (!xml)
                return std::nullopt;
            XlsxSheet sheet = sheetOf(*xml, strings, st);
            sheet.name = r.attributes().value(QLatin1String("name")).toString();
            book.sheets.append(std::move(sheet));
        }
    }
    return book;
}

} // namespace corvane::test
