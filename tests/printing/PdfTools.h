#pragma once
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::test {

// Reading PDF files back with poppler's command-line tools (poppler-utils).

// The text of every page, in reading order (pdftotext); empty when it fails.
QStringList pdfPageTexts(const QString &path);

struct PdfWord {
    QString text;
    QRectF box;   // points, from the page's top-left corner
    int page = 0; // 0-based
};
struct PdfLayout {
    QList<QSizeF> pageSizes; // points
    QList<PdfWord> words;
    QList<PdfWord> wordsOn(int page) const;
    // The first word on the page equal to text, or nullptr.
    const PdfWord *find(const QString &text, int page = 0) const;
};
// Words with their boxes (pdftotext -bbox); nullopt when it fails.
std::optional<PdfLayout> pdfLayout(const QString &path);

// One page rendered in grey at dpi (pdftoppm); a null image when it fails.
QImage pdfPageImage(const QString &path, int page, int dpi);

// The bounding box of the dark pixels inside the region, empty when there are none.
QRect inkBox(const QImage &image, const QRect &region, int threshold = 128);

// How many times needle occurs in text.
int occurrences(const QString &text, const QString &needle);

} // namespace corvane::test
