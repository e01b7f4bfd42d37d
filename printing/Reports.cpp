#include "Reports.h"
#include "Schema.h"

namespace corvane {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment kCenter = Qt::AlignHCenter | Qt::AlignVCenter;

struct Column {
    QString caption; // caption and bound column name
    qreal width;
    Qt::Alignment align;
};

// Title, rule and date across the width; the same head for both lists.
ReportSection listHeader(const QString &title, qreal left, qreal right)
{
    ReportSection s;
    s.height = 1250;
    s.items = {
        ReportItem::label(QStringLiteral("lblTitle"), title, QRectF(left, 80, right - left, 620), 20, true, kCenter),
        ReportItem::line(left, 800, right), ReportItem::date(QRectF(right - 4000, 880, 4000, 300), 10)};
    return s;
}

// Captions over the columns with a rule under them, and the detail band with
// one field per column and a rule.
void addColumns(ReportDef &r, const QList<Column> &columns, qreal left, qreal right, qreal detailPoints)
{
    r.pageHeader.height = 450;
    r.detail.height = 330;
    qreal x = left;
    for (const Column &c : columns) {
        const QRectF head(x + 60, 50, c.width - 120, 320);
        r.pageHeader.items.append(ReportItem::label(QString(), c.caption, head, 10, true, c.align));
        r.detail.items.append(
            ReportItem::field(c.caption, QRectF(x + 60, 10, c.width - 120, 300), detailPoints, c.align));
        x += c.width;
    }
    r.pageHeader.items.append(ReportItem::line(left, 410, right));
    r.detail.items.append(ReportItem::line(left, 325, right));
}

ReportSection pageNumberFooter(qreal left, qreal right)
{
    ReportSection s;
    s.height = 420;
    s.items = {ReportItem::pageNumber(QRectF(left, 100, right - left, 300))};
    return s;
}

} // namespace

ReportDef DRBillPrint()
{
    ReportDef r;
    r.name = QStringLiteral("DRBillPrint");
    r.title = QStringLiteral("话单");
    r.orientation = QPageLayout::Portrait;
    r.margins = QMarginsF(750, 720, 750, 720);
    const qreal left = r.margins.left();
    const qreal right = r.paperTwips().width() - r.margins.right();

    r.reportHeader = listHeader(QStringLiteral("话单"), left, right);
    addColumns(r,
               {{QStringLiteral("主叫号码"), 1350, kLeft},
                {QStringLiteral("被叫号码"), 1750, kLeft},
                {QStringLiteral("结束时间"), 2650, kLeft},
                {QStringLiteral("时长"), 800, kRight},
                {QStringLiteral("费率"), 800, kRight},
                {QStringLiteral("通达地址"), 1850, kLeft},
                {QStringLiteral("总费用"), right - left - 9200, kRight}},
               left, right, 9);
    r.pageFooter = pageNumberFooter(left, right);

    r.reportFooter.height = 800;
    r.reportFooter.items = {
        ReportItem::line(left, 80, right),
        ReportItem::label(QString(), QStringLiteral("话单总数："), QRectF(left, 250, 1500, 360), 11, true),
        ReportItem::label(QStringLiteral("lblRecordCount"), QString(), QRectF(left + 1500, 250, 2500, 360), 11),
        ReportItem::label(QString(), QStringLiteral("话费总计："), QRectF(left + 5000, 250, 1500, 360), 11, true),
        ReportItem::label(QStringLiteral("lblSum"), QString(), QRectF(left + 6500, 250, right - left - 6500, 360), 11),
    };
    return r;
}

ReportDef DRPrint()
{
    ReportDef r;
    r.name = QStringLiteral("DRPrint");
    r.title = QStringLiteral("话费清单");
    r.orientation = QPageLayout::Landscape;
    r.margins = QMarginsF(720, 720, 720, 720);
    const qreal left = r.margins.left();
    const qreal right = r.paperTwips().width() - r.margins.right();
    const qreal money = (right - left - 5400) / 8;

    r.reportHeader = listHeader(QStringLiteral("话费清单"), left, right);
    QList<Column> columns{{QStringLiteral("组名"), 1500, kLeft},
                          {QStringLiteral("用户号码"), 1500, kLeft},
                          {QStringLiteral("用户名称"), 2400, kLeft}};
    for (const QString &c :
         {QStringLiteral("长话费"), QStringLiteral("市话费"), QStringLiteral("本地费"), QStringLiteral("月租费"),
          QStringLiteral("手续费"), QStringLiteral("服务费"), QStringLiteral("合计"), QStringLiteral("呼入费")})
        columns.append({c, money, kRight});
    addColumns(r, columns, left, right, 10);
    r.pageFooter = pageNumberFooter(left, right);
    return r;
}

ReportDef DRPage()
{
    ReportDef r;
    r.name = QStringLiteral("DRPage");
    r.title = QStringLiteral("电信电话费收据");
    r.orientation = QPageLayout::Portrait;
    r.margins = QMarginsF(1000, 720, 1000, 720);
    const qreal left = r.margins.left();
    const qreal right = r.paperTwips().width() - r.margins.right();
    const qreal half = left + (right - left) / 2;
    const qreal line = 300;
    auto caption = [](const QString &text, qreal x, qreal y, qreal w, bool bold = false) {
        return ReportItem::label(QString(), text, QRectF(x, y, w, 300), 10, bold);
    };

    // The detail band is one receipt.
    ReportSection &s = r.detail;
    s.height = 5000;
    s.items = {
        ReportItem::label(QStringLiteral("lblTitle"), QStringLiteral("电信电话费收据"),
                          QRectF(left, 80, right - left, 520), 18, true, kCenter),
        caption(QStringLiteral("结算时段 Time Slice"), left, 700, 2400),
        caption(QStringLiteral("没有限制"), left + 2400, 700, 2000),
        caption(QStringLiteral("结算日期 Date"), half, 700, 1900),
        ReportItem::date(QRectF(half + 1900, 700, right - half - 1900, 300), 10, kLeft),
        ReportItem::line(left, 1100, right),

        caption(QStringLiteral("组名 Group"), left, 1200, 3400),
        ReportItem::field(QStringLiteral("组名"), QRectF(left + 3400, 1200, right - left - 3400, line)),
        caption(QStringLiteral("用户名称         User Name"), left, 1200 + line + 20, 3400),
        ReportItem::field(QStringLiteral("用户名称"), QRectF(left + 3400, 1200 + line + 20, right - left - 3400, line)),
        caption(QStringLiteral("用户号码           User Number"), left, 1200 + 2 * (line + 20), 3400),
        ReportItem::field(QStringLiteral("用户号码"),
                          QRectF(left + 3400, 1200 + 2 * (line + 20), right - left - 3400, line)),
        ReportItem::line(left, 2200, right),
    };

    // The fee table: two pairs of "item" and "fee" columns, four rows each.
    const qreal itemWidth = (half - left) * 0.6;
    const qreal feeWidth = (half - left) - itemWidth - 200;
    for (qreal x : {left, half}) {
        s.items.append(caption(QStringLiteral("项目Item"), x, 2280, itemWidth, true));
        s.items.append(ReportItem::label(QString(), QStringLiteral("费用(元) Fee(Yuan)"),
                                         QRectF(x + itemWidth, 2280, feeWidth, 300), 10, true, kRight));
    }
    s.items.append(ReportItem::line(left, 2640, right));
    const QList<QPair<QString, QString>> fees{
        {QStringLiteral("长话费 Long-Distance"), QStringLiteral("长话费")},
        {QStringLiteral("本地费 Local Call"), QStringLiteral("本地费")},
        {QStringLiteral("市话费 City Call"), QStringLiteral("市话费")},
        {QStringLiteral("呼入费 In Call"), QStringLiteral("呼入费")},
        {QStringLiteral("服务费 Service Fee"), QStringLiteral("服务费")},
        {QStringLiteral("手续费 Handling Fee"), QStringLiteral("手续费")},
        {QStringLiteral("月租费 Rent Feel"), QStringLiteral("月租费")},
        {QStringLiteral("合计 Total"), QStringLiteral("合计")},
    };
    for (int i = 0; i < fees.size(); ++i) {
        const qreal x = i < 4 ? left : half;
        const qreal y = 2720 + (i % 4) * (line + 20);
        s.items.append(caption(fees.at(i).first, x, y, itemWidth));
        s.items.append(ReportItem::field(fees.at(i).second, QRectF(x + itemWidth, y, feeWidth, line), 10, kRight));
    }
    s.items.append(ReportItem::line(left, 4040, right));
    // What the front desk does with the deposit: the deposit held, and the
    // amount still to collect or to refund (one of the two is 0.00).
    const QList<QPair<QString, QString>> deposit{
        {QStringLiteral("押金 Deposit"), QStringLiteral("押金")},
        {QStringLiteral("应收 To Collect"), QStringLiteral("应收")},
        {QStringLiteral("应退 To Refund"), QStringLiteral("应退")},
    };
    // Three receipts still fit a page: the receiver moves beside the refund.
    for (int i = 0; i < deposit.size(); ++i) {
        const qreal x = i == 0 ? left : half;
        const qreal y = 4120 + (i == 2 ? line + 20 : 0);
        s.items.append(caption(deposit.at(i).first, x, y, itemWidth, i > 0));
        s.items.append(ReportItem::field(deposit.at(i).second, QRectF(x + itemWidth, y, feeWidth, line), 10, kRight));
    }
    s.items.append(caption(QStringLiteral("收款员 Receiver"), left, 4120 + line + 20, 2000, true));
    s.items.append(ReportItem::label(QStringLiteral("labReceiver"), QString(),
                                     QRectF(left + 2000, 4120 + line + 20, half - left - 2200, 300), 10));
    // Why the rent is what it is: the month it is for, or that it was
    // settled or waived already.
    s.items.append(caption(QStringLiteral("说明 Note"), left, 4760, 2000, true));
    s.items.append(ReportItem::field(QStringLiteral("说明"), QRectF(left + 2000, 4760, right - left - 2000, line), 10));
    s.height = 5100;
    // The cut line between two receipts.
    s.items.append(ReportItem::line(left, 5060, right));
    return r;
}

ReportDef DRForegift()
{
    ReportDef r;
    r.name = QStringLiteral("DRForegift");
    r.title = QStringLiteral("押金收据");
    r.orientation = QPageLayout::Portrait;
    r.margins = QMarginsF(1000, 720, 1000, 720);
    const qreal left = r.margins.left();
    const qreal right = r.paperTwips().width() - r.margins.right();
    const qreal half = left + (right - left) / 2;
    const qreal line = 320;
    auto caption = [](const QString &text, qreal x, qreal y, qreal w, bool bold = false) {
        return ReportItem::label(QString(), text, QRectF(x, y, w, 300), 10, bold);
    };
    ReportSection &s = r.detail;
    s.height = 4000;
    s.items = {
        ReportItem::label(QStringLiteral("lblTitle"), QStringLiteral("押金收据"), QRectF(left, 80, right - left, 520),
                          18, true, kCenter),
        caption(QStringLiteral("日期 Date"), half, 700, 1600),
        ReportItem::field(QStringLiteral("时间"), QRectF(half + 1600, 700, right - half - 1600, 300)),
        ReportItem::line(left, 1100, right),
    };
    const QList<QPair<QString, QString>> rows{
        {QStringLiteral("用户号码 User Number"), QStringLiteral("用户号码")},
        {QStringLiteral("用户名称 User Name"), QStringLiteral("用户名称")},
        {QStringLiteral("项目 Item"), QStringLiteral("项目")},
        {QStringLiteral("金额(元) Amount(Yuan)"), QStringLiteral("金额")},
        {QStringLiteral("押金 Deposit"), QStringLiteral("押金")},
        {QStringLiteral("余额 Balance"), QStringLiteral("余额")},
    };
    for (int i = 0; i < rows.size(); ++i) {
        const qreal y = 1200 + i * (line + 20);
        s.items.append(caption(rows.at(i).first, left, y, 3400, i == 3));
        s.items.append(ReportItem::field(rows.at(i).second, QRectF(left + 3400, y, right - left - 3400, line), 10));
    }
    const qreal y = 1200 + rows.size() * (line + 20) + 100;
    s.items.append(ReportItem::line(left, y, right));
    s.items.append(caption(QStringLiteral("收款员 Receiver"), left, y + 100, 2000, true));
    s.items.append(ReportItem::label(QStringLiteral("labReceiver"), QString(),
                                     QRectF(left + 2000, y + 100, half - left, 300), 10));
    s.items.append(caption(QStringLiteral("客户签字 Signature"), half, y + 100, 2400, true));
    return r;
}

TableSource depositSlipSource(const DepositSlip &slip)
{
    return TableSource({QStringLiteral("用户号码"), QStringLiteral("用户名称"), QStringLiteral("项目"),
                        QStringLiteral("金额"), QStringLiteral("押金"), QStringLiteral("余额"), QStringLiteral("时间")},
                       {{slip.number, slip.name, slip.what, slip.amount.toText(),
                         QStringLiteral("%1 → %2").arg(slip.depositBefore.toText(), slip.depositAfter.toText()),
                         QStringLiteral("%1 → %2").arg(slip.balanceBefore.toText(), slip.balanceAfter.toText()),
                         slip.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
}

void setBillTotals(ReportDef &report, const BillTotals &totals)
{
    report.setCaption(QStringLiteral("lblRecordCount"), QString::number(totals.count));
    report.setCaption(QStringLiteral("lblSum"), totals.feeSumText() + QStringLiteral("元"));
}

void setReceiver(ReportDef &report, const QString &operatorName)
{
    report.setCaption(QStringLiteral("labReceiver"), operatorName);
}

Checked<TableSource> billListSource(PrintStore &store)
{
    return TableSource::fromQuery(store.database(), PrintStore::billListSql());
}

Checked<TableSource> feeListSource(PrintStore &store)
{
    return TableSource::fromQuery(store.database(), PrintStore::feeListSql());
}

TableSource billListSource(const QList<BillRow> &bills)
{
    QList<QStringList> rows;
    rows.reserve(bills.size());
    for (const BillRow &b : bills)
        rows.append(b.listed());
    return TableSource(findTable(printTables(), QStringLiteral("PHNBill"))->columns.mid(0, col::PrintBill::ListedCount),
                       std::move(rows));
}

TableSource feeListSource(const QList<FeeRow> &fees)
{
    QList<QStringList> rows;
    rows.reserve(fees.size());
    for (const FeeRow &f : fees)
        rows.append(f.texts());
    return TableSource(findTable(printTables(), QStringLiteral("Print"))->columns, std::move(rows));
}

} // namespace corvane
