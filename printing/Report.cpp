#include "Report.h"
#include "Database.h"
#include "Money.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace corvane {

namespace {

const QString kCjkFamily = QStringLiteral("WenQuanYi Zen Hei");

constexpr qreal kTwipsPerPoint = 20.0;
constexpr qreal kRulePen = 12.0;     // twips, about 0.2 mm
constexpr qreal kSmallestFit = 0.55; // a text too wide shrinks to at most this share

// Draws one line of text inside rect; a text wider than the rect is drawn
// smaller until it fits, and only past the smallest size is it shortened.
void drawFitted(QPainter &p, const QRectF &rect, QString text, QFont font, Qt::Alignment align)
{
    if (text.isEmpty())
        return;
    QFontMetricsF fm(font);
    const qreal width = fm.horizontalAdvance(text);
    if (width > rect.width() && rect.width() > 0) {
        const int size = font.pixelSize();
        const int fitted = int(size * rect.width() / width);
        font.setPixelSize(qMax(fitted, int(size * kSmallestFit)));
        fm = QFontMetricsF(font);
        if (fm.horizontalAdvance(text) > rect.width())
            text = fm.elidedText(text, Qt::ElideRight, rect.width());
    }
    p.setFont(font);
    p.drawText(rect, int(align) | Qt::TextSingleLine, text);
}

} // namespace

bool haveReportCjkFont()
{
    static const bool have = QFontDatabase::families().contains(kCjkFamily);
    return have;
}

QFont reportFont(qreal points, bool bold)
{
    QFont f = haveReportCjkFont() ? QFont(kCjkFamily) : QFont();
    f.setPixelSize(qMax(1, qRound(points * kTwipsPerPoint)));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QString longDateText(const QDate &date)
{
    return QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
}

// ---- items and definitions -------------------------------------------------

ReportItem ReportItem::label(const QString &name, const QString &caption, QRectF rect, qreal points, bool bold,
                             Qt::Alignment align)
{
    ReportItem i;
    i.kind = Kind::Label;
    i.name = name;
    i.text = caption;
    i.rect = rect;
    i.points = points;
    i.bold = bold;
    i.align = align;
    return i;
}

ReportItem ReportItem::field(const QString &column, QRectF rect, qreal points, Qt::Alignment align)
{
    ReportItem i;
    i.kind = Kind::Field;
    i.text = column;
    i.rect = rect;
    i.points = points;
    i.align = align;
    return i;
}

ReportItem ReportItem::line(qreal x1, qreal y, qreal x2)
{
    ReportItem i;
    i.kind = Kind::Line;
    i.rect = QRectF(QPointF(x1, y), QPointF(x2, y));
    return i;
}

ReportItem ReportItem::pageNumber(QRectF rect, const QString &pattern, qreal points)
{
    ReportItem i;
    i.kind = Kind::PageNumber;
    i.text = pattern;
    i.rect = rect;
    i.points = points;
    i.align = Qt::AlignHCenter | Qt::AlignVCenter;
    return i;
}

ReportItem ReportItem::date(QRectF rect, qreal points, Qt::Alignment align)
{
    ReportItem i;
    i.kind = Kind::Date;
    i.rect = rect;
    i.points = points;
    i.align = align;
    return i;
}

ReportItem ReportItem::count(QRectF rect, qreal points, Qt::Alignment align)
{
    ReportItem i;
    i.kind = Kind::Count;
    i.rect = rect;
    i.points = points;
    i.align = align;
    return i;
}

ReportItem ReportItem::sum(const QString &column, QRectF rect, qreal points, Qt::Alignment align)
{
    ReportItem i;
    i.kind = Kind::Sum;
    i.text = column;
    i.rect = rect;
    i.points = points;
    i.align = align;
    return i;
}

ReportItem ReportItem::picture(const QString &column, QRectF rect)
{
    ReportItem i;
    i.kind = Kind::Picture;
    i.text = column;
    i.rect = rect;
    return i;
}

QList<ReportSection *> ReportDef::sections()
{
    QList<ReportSection *> all{&reportHeader, &pageHeader, &detail, &pageFooter, &reportFooter};
    for (ReportSection &s : detailKinds)
        all.append(&s);
    return all;
}

QList<const ReportSection *> ReportDef::sections() const
{
    QList<const ReportSection *> all{&reportHeader, &pageHeader, &detail, &pageFooter, &reportFooter};
    for (const ReportSection &s : detailKinds)
        all.append(&s);
    return all;
}

bool ReportDef::setCaption(const QString &labelName, const QString &caption)
{
    bool found = false;
    for (ReportSection *s : sections())
        for (ReportItem &i : s->items)
            if (i.kind == ReportItem::Kind::Label && i.name == labelName) {
                i.text = caption;
                found = true;
            }
    return found;
}

QString ReportDef::caption(const QString &labelName) const
{
    for (const ReportSection *s : sections())
        for (const ReportItem &i : s->items)
            if (i.kind == ReportItem::Kind::Label && i.name == labelName)
                return i.text;
    return QString();
}

QSizeF ReportDef::paperTwips() const
{
    const QSizeF mm = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    QSizeF tw(mm.width() / 25.4 * kTwipsPerInch, mm.height() / 25.4 * kTwipsPerInch);
    return orientation == QPageLayout::Landscape ? tw.transposed() : tw;
}

// ---- sources ----------------------------------------------------------------

Checked<TableSource> TableSource::fromQuery(Database &db, const QString &sql)
{
    QStringList columns;
    auto rows = db.select(sql, {}, &columns);
    if (!rows)
        return Checked<TableSource>::refuse(QStringLiteral("报表数据无法读取：") + rows.reason());
    return TableSource(std::move(columns), std::move(*rows));
}

QString TableSource::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    const QStringList &r = m_rows.at(row);
    return column >= 0 && column < r.size() ? r.at(column) : QString();
}

// ---- renderer ---------------------------------------------------------------

ReportRenderer::ReportRenderer(const ReportDef &def, const ReportSource &source, const QDate &date)
    : m_def(def), m_source(source), m_date(date)
{
    paginate();
}

ReportRenderer::~ReportRenderer() = default;

Status ReportRenderer::check() const
{
    const QStringList columns = m_source.columnNames();
    for (const ReportSection *s : m_def.sections())
        for (const ReportItem &i : s->items)
            if ((i.kind == ReportItem::Kind::Field || i.kind == ReportItem::Kind::Sum
                 || i.kind == ReportItem::Kind::Picture)
                && !columns.contains(i.text))
                return Status::fail(QStringLiteral("报表 %1 的字段 %2 不在数据中").arg(m_def.name, i.text));
    return Status::ok();
}

int ReportRenderer::pageCount() const { return int(m_pages.size()); }

bool ReportRenderer::isPageSection(const ReportSection *s) const
{
    return s == &m_def.pageHeader || s == &m_def.pageFooter;
}

const ReportSection *ReportRenderer::detailOf(int row) const
{
    if (!m_def.detailKindColumn.isEmpty()) {
        const QString kind = m_source.value(row, m_source.columnNames().indexOf(m_def.detailKindColumn));
        const auto it = m_def.detailKinds.constFind(kind);
        if (it != m_def.detailKinds.constEnd())
            return &*it;
    }
    return &m_def.detail;
}

void ReportRenderer::paginate()
{
    m_pages.clear();
    const qreal paperHeight = m_def.paperTwips().height();
    const qreal top = m_def.margins.top();
    const qreal footerTop = paperHeight - m_def.margins.bottom() - m_def.pageFooter.height;
    qreal y = top;

    auto startPage = [&](int firstRow) {
        Page page;
        page.firstRow = firstRow;
        y = top;
        if (m_pages.empty() && m_def.reportHeader.height > 0) {
            page.bands.push_back({&m_def.reportHeader, -1, y});
            y += m_def.reportHeader.height;
        }
        if (m_def.pageHeader.height > 0) {
            page.bands.push_back({&m_def.pageHeader, -1, y});
            y += m_def.pageHeader.height;
        }
        if (m_def.pageFooter.height > 0)
            page.bands.push_back({&m_def.pageFooter, -1, footerTop});
        m_pages.push_back(std::move(page));
    };

    startPage(0);
    const int rows = m_source.rowCount();
    int heading = -1; // the row of the heading of the table being laid out
    for (int r = 0; r < rows; ++r) {
        const ReportSection *detail = detailOf(r);
        const qreal detailHeight = detail->height;
        if (detailHeight <= 0)
            continue;
        if (detail->heading)
            heading = r;
        else if (!detail->underHeading)
            heading = -1;
        // A heading keeps its first row with it.
        qreal needed = detailHeight;
        if (detail->heading && r + 1 < rows && detailOf(r + 1)->underHeading)
            needed += detailOf(r + 1)->height;
        // A band that does not fit goes to the next page, unless the page
        // has no band of its own yet (a band taller than a page).
        if (y + needed > footerTop && m_pages.back().rowCount > 0) {
            startPage(r);
            if (detail->underHeading && heading >= 0) {
                const ReportSection *head = detailOf(heading);
                m_pages.back().bands.push_back({head, heading, y});
                y += head->height;
            }
        }
        m_pages.back().bands.push_back({detail, r, y});
        ++m_pages.back().rowCount;
        y += detailHeight;
    }
    if (m_def.reportFooter.height > 0) {
        if (y + m_def.reportFooter.height > footerTop)
            startPage(rows);
        m_pages.back().bands.push_back({&m_def.reportFooter, -1, y});
    }
}

QPageLayout ReportRenderer::pageLayout() const
{
    QPageLayout layout(QPageSize(QPageSize::A4), m_def.orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);
    return layout;
}

QString ReportRenderer::itemText(const ReportItem &item, const Band &band, int page) const
{
    switch (item.kind) {
    case ReportItem::Kind::Label: return item.text;
    case ReportItem::Kind::Field: return m_source.value(band.row, m_source.columnNames().indexOf(item.text));
    case ReportItem::Kind::PageNumber:
        return QString(item.text)
            .replace(QStringLiteral("%1"), QString::number(page + 1))
            .replace(QStringLiteral("%2"), QString::number(pageCount()));
    case ReportItem::Kind::Date: return longDateText(m_date);
    case ReportItem::Kind::Count:
    case ReportItem::Kind::Sum: {
        int first = 0, count = m_source.rowCount();
        if (isPageSection(band.section)) {
            first = m_pages.at(page).firstRow;
            count = m_pages.at(page).rowCount;
        }
        if (item.kind == ReportItem::Kind::Count)
            return QString::number(count);
        const int column = m_source.columnNames().indexOf(item.text);
        Money sum;
        for (int r = first; r < first + count; ++r)
            sum += Money::fromText(m_source.value(r, column));
        return sum.toText();
    }
    case ReportItem::Kind::Line:
    case ReportItem::Kind::Picture: break;
    }
    return QString();
}

void ReportRenderer::paintItem(QPainter &p, const ReportItem &item, const Band &band, int page) const
{
    const QRectF r = item.rect.translated(0, band.top);
    if (item.kind == ReportItem::Kind::Line) {
        p.setPen(QPen(Qt::black, kRulePen));
        p.drawLine(r.topLeft(), r.bottomRight());
        return;
    }
    if (item.kind == ReportItem::Kind::Picture) {
        const QImage image = m_def.pictures.value(m_source.value(band.row, m_source.columnNames().indexOf(item.text)));
        if (image.isNull() || r.isEmpty())
            return;
        QSizeF size = QSizeF(image.size()).scaled(r.size(), Qt::KeepAspectRatio);
        const QRectF target(r.left() + (r.width() - size.width()) / 2, r.top() + (r.height() - size.height()) / 2,
                            size.width(), size.height());
        p.drawImage(target, image);
        return;
    }
    p.setPen(Qt::black);
    drawFitted(p, r, itemText(item, band, page), reportFont(item.points, item.bold), item.align);
}

void ReportRenderer::paintPage(QPainter &painter, int page, qreal dpiX, qreal dpiY) const
{
    if (page < 0 || page >= pageCount())
        return;
    painter.save();
    painter.scale(dpiX / kTwipsPerInch, dpiY / kTwipsPerInch);
    for (const Band &band : m_pages.at(page).bands)
        for (const ReportItem &item : band.section->items)
            paintItem(painter, item, band, page);
    painter.restore();
}

Checked<int> ReportRenderer::render(QPagedPaintDevice &device) const
{
    if (Status s = check(); !s)
        return Checked<int>::refuse(s.reason());
    device.setPageLayout(pageLayout());
    const QPageLayout actual = device.pageLayout();
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    // The painter starts at the printable area; items are placed from the paper's corner.
    const QPoint offset = actual.paintRectPixels(dpiX).topLeft() - actual.fullRectPixels(dpiX).topLeft();

    QPainter painter;
    if (!painter.begin(&device))
        return Checked<int>::refuse(QStringLiteral("报表 %1 无法开始绘制").arg(m_def.name));
    painter.setRenderHint(QPainter::Antialiasing);
    for (int page = 0; page < pageCount(); ++page) {
        if (page > 0 && !device.newPage()) {
            painter.end();
            return Checked<int>::refuse(QStringLiteral("报表 %1 无法换页").arg(m_def.name));
        }
        painter.save();
        painter.translate(-offset);
        paintPage(painter, page, dpiX, dpiY);
        painter.restore();
    }
    if (!painter.end())
        return Checked<int>::refuse(QStringLiteral("报表 %1 未能完成").arg(m_def.name));
    return pageCount();
}

QImage ReportRenderer::pageImage(int page, qreal dpi) const
{
    const QSizeF paper = m_def.paperTwips();
    QImage image(qRound(paper.width() * dpi / kTwipsPerInch), qRound(paper.height() * dpi / kTwipsPerInch),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, page, dpi, dpi);
    painter.end();
    return image;
}

Checked<int> saveReportPdf(const QString &path, const ReportDef &def, const ReportSource &source, const QDate &date)
{
    if (!QFileInfo(path).absoluteDir().exists())
        return Checked<int>::refuse(QStringLiteral("无法写入文件 %1（文件夹不存在）").arg(path));
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setTitle(def.title);
    writer.setCreator(QStringLiteral("Velloran1.3版"));
    ReportRenderer renderer(def, source, date);
    if (Status s = renderer.check(); !s)
        return Checked<int>::refuse(s.reason());
    Checked<int> pages = renderer.render(writer);
    if (!pages)
        return Checked<int>::refuse(QStringLiteral("无法写入文件 %1（%2）").arg(path, pages.reason()));
    return pages;
}

} // namespace corvane
