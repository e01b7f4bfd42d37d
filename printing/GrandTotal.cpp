#include "GrandTotal.h"
#include "Report.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace corvane {

namespace GrandTotal {

QStringList captions()
{
    return {QStringLiteral("长话费"), QStringLiteral("市话费"), QStringLiteral("本地费"), QStringLiteral("呼入费"),
            QStringLiteral("月租费"), QStringLiteral("手续费"), QStringLiteral("服务费"), QStringLiteral("合计")};
}

int columnOf(int index) { return col::PrintFee::FirstMoney + index; }

QString dateText(const QDate &date)
{
    const QString ymd = date.toString(QStringLiteral("yyyyMMdd"));
    return ymd.mid(0, 4) + QStringLiteral("年") + ymd.mid(4, 2) + QStringLiteral("月") + ymd.mid(6, 2)
           + QStringLiteral("日");
}

} // namespace GrandTotal

namespace {

// Text with its top-left corner at the point, in twips.
void textAt(QPainter &p, QPointF at, const QString &text)
{
    p.drawText(QRectF(at, QSizeF(20000, 2000)), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

} // namespace

void paintGrandTotal(QPainter &painter, qreal dpiX, qreal dpiY, const FeeTotals &totals, const QDate &date)
{
    using namespace GrandTotal;
    painter.save();
    painter.scale(dpiX / kTwipsPerInch, dpiY / kTwipsPerInch);
    painter.setPen(Qt::black);
    painter.setFont(reportFont(20));
    textAt(painter, kTitleAt, QStringLiteral("总计话费"));
    painter.setFont(reportFont(12));
    textAt(painter, kDateAt, dateText(date));
    painter.setPen(QPen(Qt::black, 15));
    painter.drawLine(QPointF(kRuleFromX, kRuleY), QPointF(kRuleToX, kRuleY));
    painter.setPen(Qt::black);
    const QStringList names = captions();
    for (int i = 0; i < names.size(); ++i) {
        textAt(painter, QPointF(kColumnX[i], kCaptionY), names.at(i));
        textAt(painter, QPointF(kColumnX[i], kTotalY), totals.at(columnOf(i)).toText());
    }
    textAt(painter, QPointF(kColumnX[0], kDepositCaptionY), QStringLiteral("应收"));
    textAt(painter, QPointF(kColumnX[0], kDepositTotalY), totals.collect.toText());
    textAt(painter, QPointF(kColumnX[1], kDepositCaptionY), QStringLiteral("应退"));
    textAt(painter, QPointF(kColumnX[1], kDepositTotalY), totals.refund.toText());
    painter.restore();
}

Status renderGrandTotal(QPagedPaintDevice &device, const FeeTotals &totals, const QDate &date)
{
    QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);
    device.setPageLayout(layout);
    const QPageLayout actual = device.pageLayout();
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    const QPoint offset = actual.paintRectPixels(dpiX).topLeft() - actual.fullRectPixels(dpiX).topLeft();
    QPainter painter;
    if (!painter.begin(&device))
        return Status::fail(QStringLiteral("总计话费无法开始绘制"));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-offset);
    paintGrandTotal(painter, dpiX, dpiY, totals, date);
    if (!painter.end())
        return Status::fail(QStringLiteral("总计话费未能完成"));
    return Status::ok();
}

Status saveGrandTotalPdf(const QString &path, const FeeTotals &totals, const QDate &date)
{
    if (!QFileInfo(path).absoluteDir().exists())
        return Status::fail(QStringLiteral("无法写入文件 %1（文件夹不存在）").arg(path));
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setTitle(QStringLiteral("总计话费"));
    writer.setCreator(QStringLiteral("Velloran1.3版"));
    return renderGrandTotal(writer, totals, date).context(QStringLiteral("无法写入文件 %1").arg(path));
}

} // namespace corvane
