#include "Clock.h"
#include "GrandTotal.h"
#include "PdfTools.h"
#include "PrintStore.h"
#include "Report.h"
#include "Reports.h"
#include "TestHome.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::PdfLayout;
using corvane::test::PdfWord;

namespace {

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

BillRow call(int i, const QString &fee)
{
    return BillRow{QString::number(9000 + i),
                   s("0208765%1").arg(i, 4, 10, QLatin1Char('0')),
                   s("2026年12月08日10时%1分").arg(i % 60, 2, 10, QLatin1Char('0')),
                   s("65"),
                   s("0.30"),
                   s("广州"),
                   fee,
                   i + 1};
}

FeeRow feeRow(const QString &group, const QString &number, const QString &name, QList<int> cents)
{
    FeeRow f;
    f.group = group;
    f.number = number;
    f.name = name;
    for (int i = 0; i < cents.size(); ++i)
        f.amount(col::PrintFee::FirstMoney + i) = Money::fromRaw(qint64(cents.at(i)) * 100);
    return f;
}

// The words on one text line of a page, left to right.
QStringList lineOf(const PdfLayout &layout, int page, const PdfWord &anchor)
{
    QList<PdfWord> line;
    for (const PdfWord &w : layout.wordsOn(page))
        if (qAbs(w.box.center().y() - anchor.box.center().y()) < 3)
            line.append(w);
    std::sort(line.begin(), line.end(), [](const PdfWord &a, const PdfWord &b) { return a.box.left() < b.box.left(); });
    QStringList texts;
    for (const PdfWord &w : line)
        texts.append(w.text);
    return texts;
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock.set(QDateTime(QDate(2026, 12, 9), QTime(9, 30, 0)));
        ASSERT_TRUE(store.open(home.file(QStringLiteral("data/print.mdb"))));
    }

    // Renders the report over print.mdb into a PDF and returns its path.
    QString render(const ReportDef &def, bool feeList, int *pages = nullptr)
    {
        Checked<TableSource> rows = feeList ? feeListSource(store) : billListSource(store);
        EXPECT_TRUE(rows) << rows.reason().toStdString();
        const QString path = home.file(def.name + QStringLiteral(".pdf"));
        Checked<int> n = saveReportPdf(path, def, *rows, clock.now().date());
        EXPECT_TRUE(n) << n.reason().toStdString();
        if (pages)
            *pages = n ? *n : -1;
        // Left for a person to look at.
        const QString copy = test::artifactDir() + QStringLiteral("/") + def.name + QStringLiteral(".pdf");
        QFile::remove(copy);
        QFile::copy(path, copy);
        return path;
    }

    test::TestHome home;
    TestClock clock;
    PrintStore store;
};

const QStringList kBillCaptions{s("主叫号码"), s("被叫号码"), s("结束时间"), s("时长"),
                                s("费率"),     s("通达地址"), s("总费用")};

} // namespace

TEST_F(ReportTest, CallListShowsTitleCaptionsRowsAndTotals)
{
    ASSERT_TRUE(store.replace({call(1, s("1.20")), call(2, s("0.35")),
                               BillRow{s("账号012"), s("13912345678"), s("2026年12月08日23时59分"), s("600"), s("0.50"),
                                       s("移动电话"), s("5.00"), 40}},
                              {}));
    ReportDef def = DRBillPrint();
    setBillTotals(def, store.billTotals());
    int pages = 0;
    const QString path = render(def, false, &pages);
    EXPECT_EQ(pages, 1);

    const QStringList texts = test::pdfPageTexts(path);
    ASSERT_EQ(texts.size(), 1);
    const QString &text = texts.first();
    for (const QString &c : kBillCaptions)
        EXPECT_TRUE(text.contains(c)) << c.toStdString();
    for (const char *v : {"9001", "02087650001", "2026年12月08日10时01分", "账号012", "13912345678",
                          "2026年12月08日23时59分", "600", "0.50", "移动电话", "5.00", "1.20", "0.35", "话单总数：",
                          "话费总计：", "6.55元", "2026年12月9日", "第1页 共1页"})
        EXPECT_TRUE(text.contains(s(v))) << v;

    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    ASSERT_NE(layout->find(s("话单")), nullptr) << "the title";
    // The captions stand in one line in their order, over the rows.
    const PdfWord *first = layout->find(kBillCaptions.first());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *first), kBillCaptions);
    const PdfWord *row = layout->find(s("账号012"));
    ASSERT_NE(row, nullptr);
    EXPECT_GT(row->box.top(), first->box.bottom());
    EXPECT_EQ(lineOf(*layout, 0, *row), (QStringList{s("账号012"), s("13912345678"), s("2026年12月08日23时59分"),
                                                     s("600"), s("0.50"), s("移动电话"), s("5.00")}));
    // The count stands beside its caption.
    const PdfWord *count = layout->find(s("话单总数："));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *count), (QStringList{s("话单总数："), s("3"), s("话费总计："), s("6.55元")}));

    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    if (haveReportCjkFont()) {
        EXPECT_TRUE(pdf.readAll().contains("WenQuanYi")) << "the CJK font is embedded by name";
    }
}

TEST_F(ReportTest, LongListBreaksAcrossPagesWithThePageHeaderOnEach)
{
    QList<BillRow> bills;
    for (int i = 0; i < 100; ++i)
        bills.append(call(i, s("0.10")));
    ASSERT_TRUE(store.replace(bills, {}));
    ReportDef def = DRBillPrint();
    setBillTotals(def, store.billTotals());
    int pages = 0;
    const QString path = render(def, false, &pages);
    ASSERT_EQ(pages, 3);

    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->pageSizes.size(), 3);
    QStringList callersInOrder;
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        EXPECT_LT(layout->pageSizes.at(p).width(), layout->pageSizes.at(p).height()) << "portrait";
        const PdfWord *caption = layout->find(kBillCaptions.first(), p);
        ASSERT_NE(caption, nullptr) << "page header on every page";
        EXPECT_EQ(lineOf(*layout, p, *caption), kBillCaptions);
        EXPECT_EQ(layout->find(s("话单"), p) != nullptr, p == 0) << "the title only on the first page";
        EXPECT_EQ(layout->find(s("话单总数："), p) != nullptr, p == 2) << "the totals after the last row";
        EXPECT_NE(layout->find(s("第%1页").arg(p + 1), p), nullptr);
        EXPECT_NE(layout->find(s("共3页"), p), nullptr);
        for (const PdfWord &w : layout->wordsOn(p)) {
            if (w.text.size() == 4 && w.text.startsWith(QLatin1String("90"))) {
                callersInOrder.append(w.text);
                EXPECT_GT(w.box.top(), caption->box.bottom()) << "rows stand under the page header";
                EXPECT_LT(w.box.bottom(), layout->pageSizes.at(p).height() - 36) << "rows stay above the margin";
            }
        }
    }
    QStringList expected;
    for (int i = 0; i < 100; ++i)
        expected.append(QString::number(9000 + i));
    EXPECT_EQ(callersInOrder, expected) << "every row once, in order";
    EXPECT_NE(layout->find(s("10.00元"), 2), nullptr);
}

TEST_F(ReportTest, AnEmptyListPrintsWithoutDetailLines)
{
    ASSERT_TRUE(store.clear());
    ReportDef def = DRBillPrint();
    setBillTotals(def, store.billTotals());
    int pages = 0;
    const QString path = render(def, false, &pages);
    EXPECT_EQ(pages, 1);
    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    const PdfWord *count = layout->find(s("话单总数："));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *count), (QStringList{s("话单总数："), s("0"), s("话费总计："), s("0.00元")}));
    const PdfWord *caption = layout->find(kBillCaptions.first());
    ASSERT_NE(caption, nullptr);
    for (const PdfWord &w : layout->wordsOn(0))
        EXPECT_FALSE(w.box.top() > caption->box.bottom() + 2 && w.box.bottom() < count->box.top() - 2)
            << "a detail line: " << w.text.toStdString();
}

TEST_F(ReportTest, FeeListHasItsCaptionsAndFieldsInOrder)
{
    ASSERT_TRUE(store.replace(QList<BillRow>(),
                              {feeRow(s("营业部"), s("801"), s("张三"), {101, 202, 303, 404, 505, 606, 707, 2828}),
                               feeRow(s("客房部"), s("账号012"), s("前台"), {1, 2, 3, 4, 5, 6, 7, 28})}));
    int pages = 0;
    const QString path = render(DRPrint(), true, &pages);
    EXPECT_EQ(pages, 1);
    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    EXPECT_GT(layout->pageSizes.at(0).width(), layout->pageSizes.at(0).height()) << "landscape";
    EXPECT_NE(layout->find(s("话费清单")), nullptr);
    EXPECT_NE(layout->find(s("2026年12月9日")), nullptr);
    EXPECT_NE(layout->find(s("第1页")), nullptr);

    const PdfWord *caption = layout->find(s("组名"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *caption),
              (QStringList{s("组名"), s("用户号码"), s("用户名称"), s("长话费"), s("市话费"), s("本地费"), s("月租费"),
                           s("手续费"), s("服务费"), s("合计"), s("呼入费")}));
    // Amounts in the table are columns 3..10; the list shows rent, handling,
    // service and total before the incoming fee.
    const PdfWord *row = layout->find(s("801"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *row), (QStringList{s("营业部"), s("801"), s("张三"), s("1.01"), s("2.02"), s("3.03"),
                                                     s("5.05"), s("6.06"), s("7.07"), s("28.28"), s("4.04")}));
    const PdfWord *account = layout->find(s("账号012"));
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(lineOf(*layout, 0, *account).last(), s("0.04"));
}

TEST_F(ReportTest, ReceiptsOnePerFeeRowWithTheReceiver)
{
    QList<FeeRow> fees;
    for (int i = 0; i < 4; ++i)
        fees.append(feeRow(s("营业部"), QString::number(801 + i), s("用户%1").arg(i),
                           {100 + i, 200 + i, 300 + i, 400 + i, 500 + i, 600 + i, 700 + i, 2800 + i}));
    // The last one held a deposit of 50.00 and is refunded what the calls left.
    fees.last().deposit = Money::fromRaw(500000);
    fees.last().refund = Money::fromRaw(500000 - 280300);
    ASSERT_TRUE(store.replace(QList<BillRow>(), fees));
    ReportDef def = DRPage();
    setReceiver(def, s("王小明"));
    int pages = 0;
    const QString path = render(def, true, &pages);
    EXPECT_EQ(pages, 2) << "three receipts to a page";

    const QStringList texts = test::pdfPageTexts(path);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(test::occurrences(texts.at(0), s("电信电话费收据")), 3);
    EXPECT_EQ(test::occurrences(texts.at(1), s("电信电话费收据")), 1);
    EXPECT_EQ(test::occurrences(texts.join(QString()), s("王小明")), 4);
    for (const char *c : {"结算时段", "Time Slice", "没有限制", "结算日期", "2026年12月9日", "组名", "Group",
                          "User Name", "User Number", "项目Item", "费用(元)", "Fee(Yuan)", "收款员", "Receiver"})
        EXPECT_TRUE(texts.at(1).contains(s(c))) << c;

    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    // The last receipt (page 2): every caption with its own value beside it,
    // after the caption's English words.
    const QList<QPair<const char *, const char *>> beside{
        {"长话费", "1.03"},    {"本地费", "3.03"},   {"市话费", "2.03"}, {"呼入费", "4.03"}, {"服务费", "7.03"},
        {"手续费", "6.03"},    {"月租费", "5.03"},   {"合计", "28.03"},  {"组名", "营业部"}, {"用户号码", "804"},
        {"用户名称", "用户3"}, {"收款员", "王小明"}, {"押金", "50.00"},  {"应收", "0.00"},   {"应退", "21.97"}};
    const QRegularExpression english(QStringLiteral("^[A-Za-z()-]+$"));
    for (const auto &[caption, value] : beside) {
        SCOPED_TRACE(caption);
        const PdfWord *c = layout->find(s(caption), 1);
        ASSERT_NE(c, nullptr);
        const QStringList line = lineOf(*layout, 1, *c);
        int at = line.indexOf(s(caption)) + 1;
        while (at < line.size() && english.match(line.at(at)).hasMatch())
            ++at;
        ASSERT_LT(at, line.size());
        EXPECT_EQ(line.at(at), s(value));
    }
}

TEST_F(ReportTest, CountAndSumFieldsCoverThePageInPageBandsAndTheReportElsewhere)
{
    ReportDef def;
    def.name = QStringLiteral("sums");
    def.detail.height = 1400;
    def.detail.items = {ReportItem::field(QStringLiteral("id"), QRectF(1000, 100, 2000, 400)),
                        ReportItem::field(QStringLiteral("fee"), QRectF(4000, 100, 2000, 400))};
    def.pageFooter.height = 500;
    def.pageFooter.items = {ReportItem::label(QString(), QStringLiteral("page"), QRectF(1000, 50, 1000, 400)),
                            ReportItem::count(QRectF(2000, 50, 1500, 400)),
                            ReportItem::sum(QStringLiteral("fee"), QRectF(4000, 50, 2000, 400))};
    def.reportFooter.height = 500;
    def.reportFooter.items = {ReportItem::label(QString(), QStringLiteral("report"), QRectF(1000, 50, 1000, 400)),
                              ReportItem::count(QRectF(2000, 50, 1500, 400)),
                              ReportItem::sum(QStringLiteral("fee"), QRectF(4000, 50, 2000, 400))};
    QList<QStringList> rows;
    Money all;
    for (int i = 0; i < 23; ++i) {
        const Money fee = Money::fromRaw(1234567 + i * 3333); // 123.4567 … rounded when written
        rows.append({QStringLiteral("r%1").arg(i, 2, 10, QLatin1Char('0')), fee.toText()});
        all += Money::fromText(fee.toText());
    }
    const TableSource source({QStringLiteral("id"), QStringLiteral("fee")}, rows);
    const QString path = home.file(QStringLiteral("sums.pdf"));
    Checked<int> pages = saveReportPdf(path, def, source, clock.now().date());
    ASSERT_TRUE(pages);
    ASSERT_GE(*pages, 2);

    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    int seen = 0;
    for (int p = 0; p < *pages; ++p) {
        SCOPED_TRACE(p);
        // Sum what the page shows, and compare with its footer.
        int count = 0;
        Money sum;
        for (const PdfWord &w : layout->wordsOn(p)) {
            if (w.text.startsWith(QLatin1Char('r')) && w.text.size() == 3) {
                ++count;
                const QStringList line = lineOf(*layout, p, w);
                sum += Money::fromText(line.at(line.indexOf(w.text) + 1));
            }
        }
        seen += count;
        const PdfWord *footer = layout->find(QStringLiteral("page"), p);
        ASSERT_NE(footer, nullptr);
        EXPECT_EQ(lineOf(*layout, p, *footer),
                  (QStringList{QStringLiteral("page"), QString::number(count), sum.toText()}));
    }
    EXPECT_EQ(seen, 23);
    const PdfWord *report = layout->find(QStringLiteral("report"), *pages - 1);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(lineOf(*layout, *pages - 1, *report),
              (QStringList{QStringLiteral("report"), QStringLiteral("23"), all.toText()}));
}

TEST_F(ReportTest, AFieldWithoutAColumnFailsWithItsName)
{
    ReportDef def = DRBillPrint();
    def.detail.items.append(ReportItem::field(QStringLiteral("没有这列"), QRectF(100, 0, 100, 100)));
    const TableSource source(kBillCaptions, {});
    Checked<int> pages = saveReportPdf(home.file(QStringLiteral("x.pdf")), def, source, clock.now().date());
    ASSERT_FALSE(pages);
    EXPECT_TRUE(pages.reason().contains(s("没有这列"))) << pages.reason().toStdString();
    EXPECT_FALSE(ReportRenderer(DRPrint(), source, clock.now().date()).check()) << "fee fields on bill rows";
}

TEST_F(ReportTest, TooLongValuesShrinkToTheirColumnInsteadOfBeingCut)
{
    const QString longCalled = s("008613912345678901234567");
    const QString longArea = s("新疆维吾尔自治区乌鲁木齐市郊县");
    ASSERT_TRUE(store.replace({BillRow{s("9999"), longCalled, s("2026年12月08日10时01分"), s("12345"), s("12.50"),
                                       longArea, s("123456.78"), 1}},
                              {}));
    const QString path = render(DRBillPrint(), false);
    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    const PdfWord *row = layout->find(s("9999"));
    ASSERT_NE(row, nullptr);
    const QStringList line = lineOf(*layout, 0, *row);
    EXPECT_EQ(line, (QStringList{s("9999"), longCalled, s("2026年12月08日10时01分"), s("12345"), s("12.50"), longArea,
                                 s("123456.78")}));
    // No value runs into its neighbour.
    QList<PdfWord> words;
    for (const PdfWord &w : layout->wordsOn(0))
        if (qAbs(w.box.center().y() - row->box.center().y()) < 3)
            words.append(w);
    std::sort(words.begin(), words.end(),
              [](const PdfWord &a, const PdfWord &b) { return a.box.left() < b.box.left(); });
    for (int i = 1; i < words.size(); ++i)
        EXPECT_LT(words.at(i - 1).box.right(), words.at(i).box.left()) << words.at(i).text.toStdString();
    EXPECT_LT(words.last().box.right(), layout->pageSizes.at(0).width() - 30);
}

// ---- the grand total ---------------------------------------------------------

namespace {

FeeTotals sampleTotals(PrintStore &store)
{
    EXPECT_TRUE(
        store.replace(QList<BillRow>(), {feeRow(s("a"), s("801"), s("x"), {12345, 2, 30, 400, 5000, 60, 7, 17844}),
                                         feeRow(s("a"), s("802"), s("y"), {1, 1, 1, 1, 1, 1, 1, 7})}));
    return store.feeTotals();
}

const QStringList kTotalTexts{s("123.46"), s("0.03"), s("0.31"), s("4.01"),
                              s("50.01"),  s("0.61"), s("0.08"), s("178.51")};

} // namespace

TEST_F(ReportTest, GrandTotalTextsStandAtTheirTwipsPositions)
{
    const FeeTotals totals = sampleTotals(store);
    const QString path = home.file(QStringLiteral("total.pdf"));
    ASSERT_TRUE(saveGrandTotalPdf(path, totals, clock.now().date()));
    auto layout = test::pdfLayout(path);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->pageSizes.size(), 1);
    EXPECT_NEAR(layout->pageSizes.at(0).width(), 595.3, 1.0) << "A4 portrait";
    EXPECT_NEAR(layout->pageSizes.at(0).height(), 841.9, 1.0);

    // pdftotext boxes are in points (20 twips); a box's top is the font's ascent above the baseline.
    auto expectAt = [&](const QString &text, QPointF twips) {
        SCOPED_TRACE(text.toStdString());
        const PdfWord *w = layout->find(text);
        ASSERT_NE(w, nullptr);
        EXPECT_NEAR(w->box.left(), twips.x() / 20, 1.0);
        EXPECT_NEAR(w->box.top(), twips.y() / 20, 3.0);
    };
    expectAt(s("总计话费"), GrandTotal::kTitleAt);
    expectAt(s("2026年12月09日"), GrandTotal::kDateAt);
    const QStringList captions{s("长话费"), s("市话费"), s("本地费"), s("呼入费"),
                               s("月租费"), s("手续费"), s("服务费"), s("合计")};
    const qreal xs[] = {500, 2000, 3500, 5000, 6500, 8000, 9200, 10400};
    for (int i = 0; i < 8; ++i) {
        expectAt(captions.at(i), QPointF(xs[i], 2950));
        expectAt(kTotalTexts.at(i), QPointF(xs[i], 3300));
    }
    // The title is the larger font.
    EXPECT_GT(layout->find(s("总计话费"))->box.height(), 1.5 * layout->find(s("长话费"))->box.height());
}

TEST_F(ReportTest, GrandTotalInkOnAnImageAtKnownResolution)
{
    const FeeTotals totals = sampleTotals(store);
    // 144 dpi: 10 twips to a pixel.
    QImage image(1191, 1684, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        paintGrandTotal(p, 144, 144, totals, clock.now().date());
    }
    // The rule from (500, 2600) to (11000, 2600).
    const QRect rule = test::inkBox(image, QRect(0, 240, 1191, 40));
    ASSERT_FALSE(rule.isNull());
    EXPECT_NEAR(rule.left(), 50, 2);
    EXPECT_NEAR(rule.right(), 1100, 2);
    EXPECT_NEAR(rule.center().y(), 260, 2);
    EXPECT_LE(rule.height(), 4);

    // Each text's ink starts just right of and below its top-left corner.
    struct Spot {
        QPointF twips;
        int fontPx; // points × 2 at 144 dpi
    };
    QList<Spot> spots{{GrandTotal::kTitleAt, 40}, {GrandTotal::kDateAt, 24}};
    for (qreal x : GrandTotal::kColumnX) {
        spots.append({QPointF(x, GrandTotal::kCaptionY), 24});
        spots.append({QPointF(x, GrandTotal::kTotalY), 24});
    }
    // "应收" and "应退" under the first two columns.
    for (int i : {0, 1}) {
        spots.append({QPointF(GrandTotal::kColumnX[i], GrandTotal::kDepositCaptionY), 24});
        spots.append({QPointF(GrandTotal::kColumnX[i], GrandTotal::kDepositTotalY), 24});
    }
    for (const Spot &spot : spots) {
        SCOPED_TRACE(QStringLiteral("%1,%2").arg(spot.twips.x()).arg(spot.twips.y()).toStdString());
        const QPoint at((spot.twips / 10).toPoint());
        const QRect ink = test::inkBox(image, QRect(at.x() - 20, at.y() - 4, 100, spot.fontPx + 4));
        ASSERT_FALSE(ink.isNull());
        EXPECT_GE(ink.left(), at.x() - 1);
        EXPECT_LE(ink.left(), at.x() + spot.fontPx / 4);
        EXPECT_GE(ink.top(), at.y());
        EXPECT_LE(ink.top(), at.y() + spot.fontPx / 2);
    }
    // Nothing else on the page: no ink above the title or below the totals.
    EXPECT_TRUE(test::inkBox(image, QRect(0, 0, 1191, 145)).isNull());
    EXPECT_TRUE(test::inkBox(image, QRect(0, 370, 1191, 15)).isNull());
    EXPECT_TRUE(test::inkBox(image, QRect(0, 460, 1191, 1300)).isNull());
}
