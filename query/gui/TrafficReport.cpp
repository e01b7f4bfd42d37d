#include "TrafficReport.h"

#include "CallQuery.h"
#include "Database.h"
#include "HomeKey.h"
#include "HomePaths.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QPainter>
#include <QPen>
#include <QPieSeries>
#include <QPieSlice>
#include <QRegularExpression>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <cmath>

namespace corvane::TrafficReport {

namespace {

using TrafficStats::Line;
using TrafficStats::Result;

double yuan(Money m) { return double(m.raw()) / double(Money::kScale); }

// The chart's text in points; on a picture that is printed, in the picture's
// pixels of a point, so that 8 points on paper are 8 points.
struct Look {
    qreal pixelsPerPoint = 0; // 0: the screen's points

    QFont font(int points, bool bold = false) const
    {
        QFont f = reportFont(points, bold);
        if (pixelsPerPoint > 0)
            f.setPixelSize(qMax(1, qRound(points * pixelsPerPoint)));
        else
            f.setPointSize(points);
        return f;
    }
};

// No chart text is smaller than this.
constexpr int kSmallestPoints = 8;
// More lines than this are labelled one in so many (a year of days).
constexpr int kLabelledLines = 31;

QChart *newChart(const QString &title, const Look &look)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->setTitleFont(look.font(12, true));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setFont(look.font(9));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

// "无数据" in the middle of a chart with nothing to draw, instead of bare axes.
QChart *noData(QChart *chart, const Look &look)
{
    chart->legend()->hide();
    auto *text = new QGraphicsSimpleTextItem(QStringLiteral("无数据"), chart);
    text->setFont(look.font(14, true));
    text->setBrush(QColor(0x80, 0x80, 0x80));
    auto centre = [chart, text] {
        const QRectF area = chart->plotArea().isEmpty() ? chart->rect() : chart->plotArea();
        const QRectF box = text->boundingRect();
        text->setPos(area.center() - box.center());
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, centre);
    QObject::connect(chart, &QGraphicsWidget::geometryChanged, chart, centre);
    centre();
    return chart;
}

bool nothingIn(const QList<Line> &lines)
{
    for (const Line &l : lines)
        if (l.allCalls() > 0 || !l.allFees().isZero())
            return false;
    return true;
}

QAbstractAxis *categories(QChart *chart, const QList<Line> &lines, const Look &look)
{
    if (lines.size() <= kLabelledLines) {
        auto *axis = new QBarCategoryAxis;
        QStringList labels;
        for (const Line &l : lines)
            labels.append(l.label);
        axis->append(labels);
        axis->setLabelsFont(look.font(kSmallestPoints));
        if (lines.size() > 12)
            axis->setLabelsAngle(-90);
        chart->addAxis(axis, Qt::AlignBottom);
        return axis;
    }
    // A long range: a label on every so many lines, the bars between unlabelled.
    auto *axis = new QCategoryAxis;
    const int step = (int(lines.size()) + kLabelledLines - 1) / kLabelledLines;
    for (int i = 0; i < lines.size(); i += step)
        axis->append(lines.at(i).label, i);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setRange(-0.5, qreal(lines.size()) - 0.5);
    axis->setGridLineVisible(false);
    axis->setLabelsFont(look.font(kSmallestPoints));
    axis->setLabelsAngle(-90);
    chart->addAxis(axis, Qt::AlignBottom);
    return axis;
}

QValueAxis *valueAxis(QChart *chart, const QString &title, Qt::Alignment side, const Look &look)
{
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setTitleFont(look.font(9));
    axis->setLabelsFont(look.font(kSmallestPoints));
    axis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(axis, side);
    return axis;
}

// From 0 to a little above `most`, in four or five round steps (1, 2 or 5
// times a power of ten; whole steps for counts), labelled with as many
// decimals as the step needs: a month of small fees reads 0.5, 1.0, not 0,
// 0, 1, 1.
void roundRange(QValueAxis *axis, qreal most, bool counts)
{
    const qreal top = qMax<qreal>(most * 1.1, counts ? 4 : 1);
    const qreal rough = top / 4;
    const qreal power = std::pow(10.0, std::floor(std::log10(rough)));
    qreal step = 10 * power;
    for (const qreal f : {1.0, 2.0, 5.0})
        if (f * power >= rough) {
            step = f * power;
            break;
        }
    if (counts)
        step = qMax<qreal>(1, std::ceil(step));
    const int steps = int(std::ceil(top / step - 1e-9));
    axis->setRange(0, steps * step);
    axis->setTickCount(steps + 1);
    axis->setLabelFormat(step >= 1     ? QStringLiteral("%.0f")
                         : step >= 0.1 ? QStringLiteral("%.1f")
                                       : QStringLiteral("%.2f"));
}

void attach(QChart *chart, QAbstractSeries *series, QAbstractAxis *x, QAbstractAxis *y)
{
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

// Fees of outgoing and incoming calls stacked per line, the calls as a line
// on the right-hand axis.
QChart *feesAndCalls(const QString &title, const QList<Line> &lines, const Look &look)
{
    QChart *chart = newChart(title, look);
    if (nothingIn(lines))
        return noData(chart, look);
    auto *out = new QBarSet(QStringLiteral("呼出话费（元）"));
    auto *in = new QBarSet(QStringLiteral("呼入话费（元）"));
    auto *calls = new QLineSeries;
    calls->setName(QStringLiteral("通话次数"));
    // Apart from the bars' blue and green.
    calls->setPen(QPen(QColor(0xd9, 0x53, 0x1e), 2));
    qreal most = 0, mostFee = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const Line &l = lines.at(i);
        *out << yuan(l.fees);
        *in << yuan(l.inFees);
        calls->append(i, qreal(l.allCalls()));
        most = qMax(most, qreal(l.allCalls()));
        mostFee = qMax(mostFee, yuan(l.allFees()));
    }
    auto *bars = new QStackedBarSeries;
    bars->append(out);
    bars->append(in);
    QAbstractAxis *x = categories(chart, lines, look);
    QValueAxis *fees = valueAxis(chart, QStringLiteral("话费（元）"), Qt::AlignLeft, look);
    QValueAxis *count = valueAxis(chart, QStringLiteral("次数"), Qt::AlignRight, look);
    roundRange(fees, mostFee, false);
    roundRange(count, most, true);
    attach(chart, bars, x, fees);
    attach(chart, calls, x, count);
    return chart;
}

// One bar set per line list: `value` of each line.
QChart *simpleBars(const QString &title, const QString &setName, const QList<Line> &lines,
                   const std::function<qreal(const Line &)> &value, const Look &look)
{
    QChart *chart = newChart(title, look);
    if (nothingIn(lines))
        return noData(chart, look);
    auto *set = new QBarSet(setName);
    qreal most = 0;
    for (const Line &l : lines) {
        *set << value(l);
        most = qMax(most, value(l));
    }
    auto *bars = new QBarSeries;
    bars->append(set);
    QAbstractAxis *x = categories(chart, lines, look);
    QValueAxis *y = valueAxis(chart, setName, Qt::AlignLeft, look);
    roundRange(y, most, setName == QStringLiteral("通话次数"));
    attach(chart, bars, x, y);
    chart->legend()->hide();
    return chart;
}

QChart *hoursChart(const QString &title, const QList<Line> &lines, const Look &look)
{
    QChart *chart = newChart(title, look);
    if (nothingIn(lines))
        return noData(chart, look);
    auto *out = new QBarSet(QStringLiteral("呼出次数"));
    auto *in = new QBarSet(QStringLiteral("呼入次数"));
    qreal most = 0;
    for (const Line &l : lines) {
        *out << qreal(l.calls);
        *in << qreal(l.inCalls);
        most = qMax(most, qreal(l.allCalls()));
    }
    auto *bars = new QStackedBarSeries;
    bars->append(out);
    bars->append(in);
    QAbstractAxis *x = categories(chart, lines, look);
    QValueAxis *y = valueAxis(chart, QStringLiteral("次数"), Qt::AlignLeft, look);
    roundRange(y, most, true);
    attach(chart, bars, x, y);
    return chart;
}

// Shares of the fees by call type (of the calls when nothing cost anything).
QChart *typesChart(const QString &title, const Result &r, const Look &look)
{
    QChart *chart = newChart(title, look);
    if (nothingIn(r.types))
        return noData(chart, look);
    auto *pie = new QPieSeries;
    const bool byFees = !r.total.allFees().isZero();
    const qint64 whole = byFees ? r.total.allFees().raw() : r.total.allCalls();
    for (const Line &l : r.types) {
        const qint64 part = byFees ? l.allFees().raw() : l.allCalls();
        if (part <= 0)
            continue;
        QPieSlice *slice = pie->append(l.label + QLatin1Char(' ') + TrafficStats::shareText(part, whole), qreal(part));
        slice->setLabelVisible(true);
        slice->setLabelFont(look.font(9));
    }
    chart->addSeries(pie);
    chart->legend()->setAlignment(Qt::AlignRight);
    return chart;
}

QString reportTitle() { return QStringLiteral("话务统计报表"); }

QString statesText(const QStringList &states)
{
    if (states.size() > 1)
        return QStringLiteral("全部话单");
    return states.value(0) == CallQuery::settledText() ? QStringLiteral("已结算话单") : QStringLiteral("未结算话单");
}

// Report columns: the kind of row, its picture, and the table's cells.
constexpr int kCells = 7;
const QString kKind = QStringLiteral("kind");
const QString kPicture = QStringLiteral("picture");
QString cell(int i) { return QStringLiteral("c%1").arg(i); }

ReportDef reportDef(const Result &r)
{
    ReportDef def;
    def.name = QStringLiteral("DRTrafficStats");
    def.title = reportTitle();
    const qreal left = def.margins.left();
    const qreal width = def.paperTwips().width() - def.margins.left() - def.margins.right();

    def.reportHeader.height = 1500;
    def.reportHeader.items = {
        ReportItem::label(QStringLiteral("lblTitle"), reportTitle(), QRectF(left, 0, width, 500), 16, true,
                          Qt::AlignCenter),
        ReportItem::label(QStringLiteral("lblRange"),
                          QStringLiteral("统计时段：") + TrafficStats::rangeText(r.selection),
                          QRectF(left, 560, width, 280)),
        ReportItem::label(
            QStringLiteral("lblSelection"),
            QStringLiteral("主叫：%1    话单：%2").arg(r.selection.description, statesText(r.selection.states)),
            QRectF(left, 850, width, 280)),
        ReportItem::label(QStringLiteral("lblSummary"), TrafficStats::summaryText(r), QRectF(left, 1140, width, 280),
                          10, true),
    };
    def.pageFooter.height = 400;
    def.pageFooter.items = {ReportItem::line(left, 40, left + width),
                            ReportItem::pageNumber(QRectF(left, 100, width, 280)),
                            ReportItem::date(QRectF(left, 100, width, 280), 9)};

    def.detailKindColumn = kKind;
    // A figure's heading stays on the page of its chart.
    ReportSection chart;
    chart.height = 5600;
    chart.items = {ReportItem::field(cell(0), QRectF(left, 160, width, 360), 12),
                   ReportItem::picture(kPicture, QRectF(left, 600, width, 4900))};
    chart.items.first().bold = true;
    ReportSection head, row;
    head.height = 320;
    row.height = 280;
    const qreal firstWidth = 2000;
    const qreal cellWidth = (width - firstWidth) / (kCells - 1);
    for (int i = 0; i < kCells; ++i) {
        const QRectF rect(i == 0 ? left : left + firstWidth + (i - 1) * cellWidth, 0,
                          i == 0 ? firstWidth : cellWidth - 60, 280);
        const Qt::Alignment align = (i == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
        ReportItem h = ReportItem::field(cell(i), rect, 9, align);
        h.bold = true;
        head.items.append(h);
        row.items.append(ReportItem::field(cell(i), rect, 9, align));
    }
    head.items.append(ReportItem::line(left, 300, left + width));
    head.heading = true;
    row.underHeading = true;
    def.detailKinds.insert(QStringLiteral("chart"), chart);
    def.detailKinds.insert(QStringLiteral("head"), head);
    def.detailKinds.insert(QStringLiteral("row"), row);
    return def;
}

TableSource reportSource(const Result &r, ReportDef &def)
{
    QStringList columns{kKind, kPicture};
    for (int i = 0; i < kCells; ++i)
        columns.append(cell(i));
    QList<QStringList> rows;
    auto add = [&](const QString &kind, const QString &picture, const QStringList &cells) {
        QStringList row{kind, picture};
        for (int i = 0; i < kCells; ++i)
            row.append(cells.value(i));
        rows.append(row);
    };
    const QList<ExportSheet> sheets = TrafficStats::Sheets(r);
    const QRectF place = def.detailKinds.value(QStringLiteral("chart")).items.at(1).rect;
    const QSize pictureSize(qRound(place.width() / kTwipsPerInch * kPrintDpi),
                            qRound(place.height() / kTwipsPerInch * kPrintDpi));
    for (int i = 0; i < kFigureCount; ++i) {
        const QString picture = QStringLiteral("figure%1").arg(i);
        // Drawn at the size it is printed, its text in printed points.
        def.pictures.insert(picture, chartImage(r, i, pictureSize, kPrintDpi / 72.0));
        add(QStringLiteral("chart"), picture, {QStringLiteral("%1. %2").arg(i + 1).arg(figureTitle(i))});
        const ExportSheet &sheet = sheets.at(i);
        add(QStringLiteral("head"), QString(), sheet.header());
        for (const QStringList &cells : sheet.rows)
            add(QStringLiteral("row"), QString(), cells);
    }
    return TableSource(columns, rows);
}

} // namespace

QString figureTitle(int i)
{
    static const char16_t *const titles[kFigureCount] = {
        u"每日话务",     u"每月话务",         u"话单类型",     u"主叫话费前十",
        u"分组话费前十", u"地区通话次数前十", u"地区话费前十", u"时段话务",
    };
    return i >= 0 && i < kFigureCount ? QString::fromUtf16(titles[i]) : QString();
}

QChart *makeChart(const Result &r, int i, qreal pixelsPerPoint)
{
    const Look look{pixelsPerPoint};
    const QString title = figureTitle(i);
    switch (i) {
    case 0:
        return feesAndCalls(QStringLiteral("%1（话费合计%2元，日均%3元）")
                                .arg(title, r.total.allFees().toText(), r.averagePerDay.toText()),
                            r.days, look);
    case 1: {
        // "2026年01月" is cut short under a bar: the axis reads "2026-01".
        QList<Line> months = r.months;
        for (Line &l : months)
            l.label = l.key;
        return feesAndCalls(title, months, look);
    }
    case 2: return typesChart(title, r, look);
    case 3:
        return simpleBars(
            title, QStringLiteral("话费（元）"), r.callers, [](const Line &l) { return yuan(l.allFees()); }, look);
    case 4:
        return simpleBars(
            title, QStringLiteral("话费（元）"), r.groups, [](const Line &l) { return yuan(l.allFees()); }, look);
    case 5:
        return simpleBars(
            title, QStringLiteral("通话次数"), r.areasByCalls, [](const Line &l) { return qreal(l.allCalls()); }, look);
    case 6:
        return simpleBars(
            title, QStringLiteral("话费（元）"), r.areasByFees, [](const Line &l) { return yuan(l.allFees()); }, look);
    case 7: return hoursChart(title, r.hours, look);
    default: return newChart(title, look);
    }
}

QImage chartImage(const Result &r, int i, const QSize &size, qreal pixelsPerPoint)
{
    QGraphicsScene scene;
    QChart *chart = makeChart(r, i, pixelsPerPoint);
    scene.addItem(chart); // the scene owns it
    chart->setGeometry(QRectF(QPointF(0, 0), QSizeF(size)));
    scene.setSceneRect(QRectF(QPointF(0, 0), QSizeF(size)));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), scene.sceneRect());
    painter.end();
    return image;
}

Status saveChartPng(const QString &path, const Result &r, int i)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!chartImage(r, i).save(&buffer, "PNG"))
        return Status::fail(QStringLiteral("无法生成图片 %1").arg(path));
    return writeExportFile(path, bytes);
}

Checked<int> savePdf(const QString &path, const Result &r, const QDate &date)
{
    ReportDef def = reportDef(r);
    const TableSource source = reportSource(r, def);
    return saveReportPdf(path, def, source, date);
}

Checked<int> saveReport(const QString &path, const Result &r, const QDate &date)
{
    if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        return exportSheets(path, TrafficStats::Sheets(r));
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return savePdf(path, r, date);
    return Checked<int>::refuse(QStringLiteral("报表文件须以 .pdf 或 .xlsx 结尾：%1").arg(path));
}

Checked<QString> MonthlyReport(const HomePaths &home, const QString &month, const QString &out, const QDate &today)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(month);
    const QDate first = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1) : QDate();
    if (!first.isValid())
        return Checked<QString>::refuse(QStringLiteral("月份须写成 YYYY-MM：%1").arg(month));
    if (!out.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
        && !out.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        return Checked<QString>::refuse(QStringLiteral("报表文件须以 .pdf 或 .xlsx 结尾：%1").arg(out));
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key)
        return Checked<QString>::refuse(key.reason());
    Database db;
    if (Status s = TrafficStats::OpenForReading(db, home.switchDb(), *key); !s)
        return Checked<QString>::refuse(s);
    TrafficStats::Selection selection;
    selection.first = first;
    selection.last = first.addMonths(1).addDays(-1);
    selection.states = CallQuery::StatesFor(0);
    selection.description = QStringLiteral("全部主叫");
    const auto result = TrafficStats::Compute(db, selection, today);
    db.close();
    if (!result)
        return Checked<QString>::refuse(result.status());
    const auto written = saveReport(QFileInfo(out).absoluteFilePath(), *result, today);
    if (!written)
        return Checked<QString>::refuse(written.status());
    return QStringLiteral("%1  %2\n已写入文件：%3")
        .arg(TrafficStats::rangeText(selection), TrafficStats::summaryText(*result), QFileInfo(out).absoluteFilePath());
}

} // namespace corvane::TrafficReport
