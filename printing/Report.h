#pragma once
#include "Status.h"

#include <QDate>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMarginsF>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace corvane {

class Database;

// Report units are twips (1/1440 inch, 20 to a point). x is measured from the
// paper's left edge, y from the top of the item's section.
constexpr qreal kTwipsPerInch = 1440.0;

// The report font: WenQuanYi Zen Hei, chosen by family, where it is installed
// (every caption is Chinese), else the application's default font. The size
// is set in twips so that it is right on every device the painter is scaled to.
QFont reportFont(qreal points, bool bold = false);
// Whether reportFont() found the CJK family.
bool haveReportCjkFont();
// "2026年12月9日": the long date form used in report headers.
QString longDateText(const QDate &date);

struct ReportItem {
    enum class Kind {
        Label,      // fixed caption; named labels can get their caption before rendering
        Field,      // the current row's value of a column, by column name
        Line,       // a rule from rect.topLeft() to rect.bottomRight()
        PageNumber, // text with %1 = page number, %2 = page count
        Date,       // the report date, long form
        Count,      // number of rows (of the page in page sections, else of the report)
        Sum,        // sum of a money column, "0.00" (same scope as Count)
        Picture,    // the definition's picture named by the current row's value of a column,
                    // scaled into the rect keeping its proportions
    };
    Kind kind = Kind::Label;
    QString name;      // labels: the name captions are set by
    QString text;      // label caption, field or sum column, page number pattern
    QRectF rect;       // twips
    qreal points = 10; // font size
    bool bold = false;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;

    static ReportItem label(const QString &name, const QString &caption, QRectF rect, qreal points = 10,
                            bool bold = false, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    static ReportItem field(const QString &column, QRectF rect, qreal points = 10,
                            Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    static ReportItem line(qreal x1, qreal y, qreal x2);
    static ReportItem pageNumber(QRectF rect, const QString &pattern = QStringLiteral("第%1页 共%2页"),
                                 qreal points = 9);
    static ReportItem date(QRectF rect, qreal points = 10, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter);
    static ReportItem count(QRectF rect, qreal points = 10, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    static ReportItem sum(const QString &column, QRectF rect, qreal points = 10,
                          Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter);
    static ReportItem picture(const QString &column, QRectF rect);
};

struct ReportSection {
    qreal height = 0; // twips; 0 leaves the section out
    QList<ReportItem> items;
    // A table's heading: drawn again at the top of each page its rows go on
    // to, and never left alone at the foot of a page.
    bool heading = false;
    // A table's row: it belongs under the last heading before it. Any other
    // band ends the table.
    bool underHeading = false;
};

// A banded report: report header (first page), page header and footer (every
// page), one detail band per row of the source, report footer (after the last
// row). A detail band is never split across pages.
struct ReportDef {
    QString name;                                                 // "DRBillPrint"
    QString title;                                                // document title (PDF, print job)
    QPageLayout::Orientation orientation = QPageLayout::Portrait; // always A4
    QMarginsF margins{720, 720, 720, 720};                        // twips
    ReportSection reportHeader, pageHeader, detail, pageFooter, reportFooter;
    // Rows of several kinds: when detailKindColumn is set, a row whose value
    // there names one of detailKinds is laid out with that section instead of
    // `detail` (a heading, a chart, a table line).
    QString detailKindColumn;
    QMap<QString, ReportSection> detailKinds;
    // The pictures Picture items show, by name.
    QHash<QString, QImage> pictures;

    // Sets the caption of the label of that name; false when there is none.
    bool setCaption(const QString &labelName, const QString &caption);
    QString caption(const QString &labelName) const;
    QList<ReportSection *> sections();
    QList<const ReportSection *> sections() const;
    // Paper size in twips for the orientation.
    QSizeF paperTwips() const;
};

// The rows a report is bound to.
class ReportSource {
public:
    virtual ~ReportSource() = default;
    virtual QStringList columnNames() const = 0;
    virtual int rowCount() const = 0;
    virtual QString value(int row, int column) const = 0;
};

// Rows held in memory, or read once from a SELECT (on print.mdb).
class TableSource : public ReportSource {
public:
    TableSource() = default;
    TableSource(QStringList columns, QList<QStringList> rows) : m_columns(std::move(columns)), m_rows(std::move(rows))
    {}
    static Checked<TableSource> fromQuery(Database &db, const QString &sql);

    QStringList columnNames() const override { return m_columns; }
    int rowCount() const override { return int(m_rows.size()); }
    QString value(int row, int column) const override;

private:
    QStringList m_columns;
    QList<QStringList> m_rows;
};

// Lays a report out on A4 pages and paints them on any paged device (a print
// preview, a printer, a PDF writer) or on one image per page.
class ReportRenderer {
public:
    // The definition and the source must outlive the renderer.
    ReportRenderer(const ReportDef &def, const ReportSource &source, const QDate &date);
    ~ReportRenderer();

    // Fails when a field or sum names a column the source does not have.
    Status check() const;
    int pageCount() const;
    // The page layout the report wants: A4, its orientation, full page.
    QPageLayout pageLayout() const;

    // Paints every page on the device (one newPage() between pages) and
    // returns the page count. The device is set to A4 in the report's
    // orientation; drawing is placed from the paper's top-left corner.
    Checked<int> render(QPagedPaintDevice &device) const;
    // Paints one page (0-based) with the painter's origin at the paper's
    // top-left corner and the given device resolution.
    void paintPage(QPainter &painter, int page, qreal dpiX, qreal dpiY) const;
    // One page as a white image at `dpi`.
    QImage pageImage(int page, qreal dpi) const;

private:
    struct Band {
        const ReportSection *section;
        int row;   // detail row, -1 for other sections
        qreal top; // twips from the paper's top
    };
    struct Page {
        std::vector<Band> bands;
        int firstRow = 0, rowCount = 0;
    };
    void paginate();
    const ReportSection *detailOf(int row) const;
    void paintItem(QPainter &p, const ReportItem &item, const Band &band, int page) const;
    QString itemText(const ReportItem &item, const Band &band, int page) const;
    bool isPageSection(const ReportSection *s) const;

    const ReportDef &m_def;
    const ReportSource &m_source;
    QDate m_date;
    std::vector<Page> m_pages;
};

// Renders the report into a PDF file (A4, 1200 dpi). Returns the page count.
Checked<int> saveReportPdf(const QString &path, const ReportDef &def, const ReportSource &source, const QDate &date);

} // namespace corvane
