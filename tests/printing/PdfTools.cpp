#include "PdfTools.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace corvane::test {

namespace {

std::optional<QByteArray> run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

} // namespace

QStringList pdfPageTexts(const QString &path)
{
    auto out =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!out)
        return {};
    QStringList pages = QString::fromUtf8(*out).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QList<PdfWord> PdfLayout::wordsOn(int page) const
{
    QList<PdfWord> out;
    for (const PdfWord &w : words)
        if (w.page == page)
            out.append(w);
    return out;
}

const PdfWord *PdfLayout::find(const QString &text, int page) const
{
    for (const PdfWord &w : words)
        if (w.page == page && w.text == text)
            return &w;
    return nullptr;
}

std::optional<PdfLayout> pdfLayout(const QString &path)
{
    auto out = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"),
                                                 QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!out)
        return std::nullopt;
    PdfLayout layout;
    QXmlStreamReader xml(*out);
    int page = -1;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("page")) {
            ++page;
            layout.pageSizes.append(QSizeF(a.value("width").toDouble(), a.value("height").toDouble()));
        } else if (xml.name() == QLatin1String("word")) {
            PdfWord w;
            w.page = page;
            w.box = QRectF(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()),
                           QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()));
            w.text = xml.readElementText();
            layout.words.append(w);
        }
    }
    if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        return std::nullopt;
    return layout;
}

QImage pdfPageImage(const QString &path, int page, int dpi)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    if (!run(QStringLiteral("pdftoppm"), {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi),
                                          QStringLiteral("-f"), QString::number(page + 1), QStringLiteral("-l"),
                                          QString::number(page + 1), QStringLiteral("-singlefile"), path, prefix}))
        return QImage();
    return QImage(prefix + QStringLiteral(".pgm"));
}

QRect inkBox(const QImage &image, const QRect &region, int threshold)
{
    const QRect r = region.intersected(image.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < threshold) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

int occurrences(const QString &text, const QString &needle) { return text.count(needle); }

} // namespace corvane::test
