#pragma once
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::test {

// Reads a workbook (.xlsx) back as a spreadsheet program sees it: the zip's
// XML parts are taken out with `unzip -p` and read with QXmlStreamReader.

struct XlsxCell {
    enum class Type { Number, String, Other };
    Type type = Type::Other;
    QString value;     // the number as written, or the string itself
    QString numFormat; // "General", "0", "0.00", ...
    bool bold = false;
};

struct XlsxSheet {
    QString name;
    QMap<QString, XlsxCell> cells; // by reference: "A1", "B2"
    QMap<int, double> widths;      // 0-based column -> width in characters, where set
    int frozenRows = 0;            // rows frozen above the pane
    const XlsxCell *cell(const QString &ref) const;
    // Every cell of a row (1-based) in column order, as "A2" .. the last one written.
    QList<XlsxCell> row(int r) const;
    int rowCount() const; // the highest row number written
};

struct XlsxBook {
    QList<XlsxSheet> sheets;
    const XlsxSheet *sheet(const QString &name) const;
};

// nullopt when the file is no workbook (or unzip is missing).
std::optional<XlsxBook> readXlsx(const QString &path);

} // namespace corvane::test
