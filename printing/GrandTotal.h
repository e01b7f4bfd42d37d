#pragma once
#include "PrintStore.h"
#include "Status.h"

#include <QDate>
#include <QPointF>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;
class QPainter;

namespace corvane {

// The one-page grand total of a settlement run, drawn at fixed positions in
// twips from the paper's top-left corner: the title, the date, a rule, and
// the eight fee totals under their captions.
namespace GrandTotal {

constexpr QPointF kTitleAt{5000, 1500}; // font 20
constexpr QPointF kDateAt{9500, 1900};  // font 12
constexpr qreal kRuleY = 2600, kRuleFromX = 500, kRuleToX = 11000;
constexpr qreal kCaptionY = 2950, kTotalY = 3300;
// Under the fee totals: what the front desk collected and refunded.
constexpr qreal kDepositCaptionY = 3900, kDepositTotalY = 4250;
constexpr qreal kColumnX[8] = {500, 2000, 3500, 5000, 6500, 8000, 9200, 10400};

// "长话费", "市话费", "本地费", "呼入费", "月租费", "手续费", "服务费", "合计".
QStringList captions();
// The Print column whose total stands in each caption's column.
int columnOf(int index);
// "2026年12月09日".
QString dateText(const QDate &date);

} // namespace GrandTotal

// Paints the grand total with the painter's origin at the paper's top-left
// corner, for a device of the given resolution. Each text's top-left corner
// is at its position.
void paintGrandTotal(QPainter &painter, qreal dpiX, qreal dpiY, const FeeTotals &totals, const QDate &date);
// One A4 portrait page on the device (set to full page).
Status renderGrandTotal(QPagedPaintDevice &device, const FeeTotals &totals, const QDate &date);
Status saveGrandTotalPdf(const QString &path, const FeeTotals &totals, const QDate &date);

} // namespace corvane
