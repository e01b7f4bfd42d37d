// "话务统计" opened from the main window's menu as a manager uses it: this
// month at first, then December for two rooms, every figure's table, the
// chart as PNG, the PDF report and the workbook read back; an empty month;
// and the monthly report of the command line beside the open console.
#include "ConsoleContext.h"
#include "PdfTools.h"
#include "QueryFixture.h"
#include "RowsModel.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "TestWait.h"
#include "TrafficReport.h"
#include "WindowDriver.h"
#include "XlsxReader.h"
#include "frmMain.h"
#include "frmPHNStat.h"

#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QListWidget>
#include <QPieSeries>
#include <QPieSlice>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace corvane;
using test::s;

namespace {

QStringList tableRow(const RowsModel *m, int row)
{
    QStringList out;
    for (int c = 0; c < m->columnCount(); ++c)
        out.append(m->text(row, c));
    return out;
}

class StatWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        test::isolateSerialPorts(home.path());
        ctx.BuildLists();
        ctx.login.OPLogin = true;
        ctx.login.OPName = s("经理");
        for (int i = 0; i < 11; ++i)
            ctx.login.OPRight[i] = QStringLiteral("1");
        test::QueryData data(ctx.db);
        data.addTrafficSample();
    }
    void TearDown() override { ctx.db.close(); }

    bool computed(frmPHNStat &w)
    {
        return test::waitFor([&] { return !w.busy() && w.shown().has_value(); }, 30000);
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2027, 1, 5), QTime(9, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

// The figures are worked out beside the window: after half a second a
// progress window offers "取消", which leaves no figures at all.
TEST_F(StatWindowTest, ACancelledStatisticShowsNoFigures)
{
    frmPHNStat w(ctx);
    w.show();
    ASSERT_TRUE(computed(w));
    test::press(w.cmdStat);
    EXPECT_TRUE(w.busy());
    EXPECT_FALSE(w.cmdStat->isEnabled());
    clock.advanceMs(500);
    auto *progress = w.findChild<QProgressDialog *>("prgWork");
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->labelText().startsWith(s("正在统计"))) << progress->labelText().toStdString();
    auto *cancel = progress->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    test::press(cancel);
    ASSERT_TRUE(test::waitFor([&] { return !w.busy(); }, 30000));
    EXPECT_FALSE(w.shown().has_value());
    EXPECT_EQ(w.lblInformation->text(), s("统计已取消。"));
    EXPECT_TRUE(w.cmdStat->isEnabled());
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(StatWindowTest, FromTheMenuToChartsTablesAndExports)
{
    frmMain console(ctx);
    bool opened = false;
    console.registerWindow(console.mnuPHNStat, [&](QWidget *parent) {
        opened = true;
        frmPHNStat w(ctx, parent);
        w.show();
        // This month: one incoming call on New Year's Day.
        ASSERT_TRUE(computed(w));
        EXPECT_EQ(w.dtpDateBegin->date(), QDate(2027, 1, 1));
        EXPECT_EQ(w.dtpDateEnd->date(), QDate(2027, 1, 31));
        EXPECT_TRUE(w.lblInformation->text().startsWith(s("话单：1条（呼出0条，呼入1条）  话费合计：0.50元")))
            << w.lblInformation->text().toStdString();

        // December, rooms 801 and 802, every state.
        w.dtpDateBegin->setDate(QDate(2026, 12, 1));
        w.dtpDateEnd->setDate(QDate(2026, 12, 31));
        test::clickIndicator(w.optCommon);
        ASSERT_TRUE(w.lstUser->isEnabled());
        test::clickItem(w.lstUser, s("801--张三"));
        test::clickItem(w.lstUser, s("802--李四"));
        test::press(w.cmdStat);
        ASSERT_TRUE(test::waitFor([&] { return !w.busy(); }, 30000));
        ASSERT_TRUE(w.shown());
        EXPECT_EQ(w.lblInformation->text(),
                  s("话单：5条（呼出4条，呼入1条）  话费合计：16.60元（呼出16.30元，呼入0.30元）"
                    "  日均：0.54元  话费无法读取（按0.00计）：1条"));
        EXPECT_EQ(tableRow(w.table(0), 31), QStringList({"合计", "4", "16.30", "1", "0.30", "16.60"}));
        EXPECT_EQ(tableRow(w.table(0), 2), QStringList({"12月03日", "1", "3.60", "1", "0.30", "3.90"}));
        // The twelve months come after the range's figures and hold the same December.
        EXPECT_EQ(tableRow(w.table(1), 11), QStringList({"2026年12月", "4", "16.30", "1", "0.30", "16.60"}));
        EXPECT_EQ(tableRow(w.table(2), 1), QStringList({"国际", "1", "12.50", "20.00%", "75.30%"}));
        EXPECT_EQ(tableRow(w.table(3), 0), QStringList({"802", "李四", "3", "12.70", "0", "0.00", "12.70"}));
        EXPECT_EQ(w.table(3)->rowCount(), 2); // the account was not chosen
        EXPECT_EQ(tableRow(w.table(7), 9), QStringList({"09时", "2", "16.10", "1", "0.30", "16.40"}));
        auto *chart = test::child<QChartView>(&w, "chtStat_0");
        ASSERT_NE(chart->chart(), nullptr);
        EXPECT_TRUE(chart->chart()->title().contains(s("话费合计16.60元，日均0.54元")));

        QStringList asked;
        w.setPathAsker([&](const QString &kind, const QString &suggested) {
            asked.append(kind + QLatin1Char(' ') + QFileInfo(suggested).fileName());
            return home.file(s("统计.") + kind);
        });
        // The shares of the call types as a picture.
        test::showTab(w.sstStat, 2);
        test::press(w.cmdPicture);
        const QImage picture(home.file(s("统计.png")));
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(1200, 640));
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 8)
            for (int x = 0; x < picture.width(); x += 8)
                colours.insert(picture.pixel(x, y));
        EXPECT_GT(colours.size(), 4) << "the pie has slices of their own colours";
        EXPECT_EQ(messages.last()->text, s("已导出图片到文件：") + home.file(s("统计.png")));

        // The report: title, range, choice, date, page numbers, every table.
        test::press(w.cmdReport);
        const QStringList pages = test::pdfPageTexts(home.file(s("统计.pdf")));
        ASSERT_GE(pages.size(), 3);
        const QString first = pages.first();
        EXPECT_TRUE(first.contains(s("话务统计报表")));
        EXPECT_TRUE(first.contains(s("统计时段：2026年12月01日至2026年12月31日")));
        EXPECT_TRUE(first.contains(s("正常选定：801--张三、802--李四")));
        EXPECT_TRUE(first.contains(s("2027年1月5日")));
        EXPECT_TRUE(first.contains(s("第1页 共%1页").arg(pages.size()))) << first.toStdString();
        const QString all = pages.join(u'\n');
        for (const char *title : {"每日话务", "每月话务", "话单类型", "主叫话费前十", "分组话费前十",
                                  "地区通话次数前十", "地区话费前十", "时段话务"})
            EXPECT_TRUE(all.contains(s(title))) << title;
        EXPECT_TRUE(all.contains(s("75.30%")));
        EXPECT_EQ(messages.last()->text, s("已导出%1页报表到文件：%2").arg(pages.size()).arg(home.file(s("统计.pdf"))));

        // The workbook: a sheet per table, amounts as numbers.
        test::press(w.cmdExport);
        const auto book = test::readXlsx(home.file(s("统计.xlsx")));
        ASSERT_TRUE(book);
        ASSERT_EQ(book->sheets.size(), 8);
        const test::XlsxSheet *days = book->sheet(s("每日话务"));
        ASSERT_NE(days, nullptr);
        ASSERT_NE(days->cell("A33"), nullptr);
        EXPECT_EQ(days->cell("A33")->value, s("合计"));
        EXPECT_EQ(days->cell("F33")->type, test::XlsxCell::Type::Number);
        EXPECT_DOUBLE_EQ(days->cell("F33")->value.toDouble(), 16.6);
        const test::XlsxSheet *callers = book->sheet(s("主叫话费前十"));
        ASSERT_NE(callers, nullptr);
        EXPECT_EQ(callers->cell("A2")->value, "802");
        EXPECT_EQ(callers->cell("A2")->type, test::XlsxCell::Type::String);
        EXPECT_EQ(asked, QStringList({s("png 话单类型20261201-20261231.png"), s("pdf 话务统计20261201-20261231.pdf"),
                                      s("xlsx 话务统计20261201-20261231.xlsx")}));

        // A month without records: said so, empty charts, empty rankings.
        w.dtpDateBegin->setDate(QDate(2026, 6, 1));
        w.dtpDateEnd->setDate(QDate(2026, 6, 30));
        test::press(w.cmdStat);
        ASSERT_TRUE(test::waitFor([&] { return !w.busy(); }, 30000));
        EXPECT_EQ(w.lblInformation->text(), s("没有话单"));
        EXPECT_EQ(w.table(0)->rowCount(), 32);
        EXPECT_EQ(w.table(3)->rowCount(), 0);
        EXPECT_NE(test::child<QChartView>(&w, "chtStat_2")->chart(), nullptr);
    });
    console.findChild<QAction *>(QStringLiteral("mnuPHNStat"))->trigger();
    EXPECT_TRUE(opened);
}

// A year on paper: the printed charts' text is at least 8 points, the day
// axis is labelled sparsely enough to read, a table that runs on to the next
// page repeats its headings there, and a figure with nothing says so.
TEST_F(StatWindowTest, AYearOnPaperReads)
{
    frmPHNStat w(ctx);
    w.show();
    ASSERT_TRUE(computed(w));
    w.dtpDateBegin->setDate(QDate(2026, 1, 1));
    w.dtpDateEnd->setDate(QDate(2026, 12, 31));
    test::press(w.cmdStat);
    ASSERT_TRUE(test::waitFor([&] { return !w.busy(); }, 30000));
    ASSERT_TRUE(w.shown());
    const TrafficStats::Result &year = *w.shown();
    ASSERT_EQ(year.days.size(), 365);

    const qreal perPoint = TrafficReport::kPrintDpi / 72.0;
    for (int i = 0; i < TrafficReport::kFigureCount; ++i) {
        std::unique_ptr<QChart> chart(TrafficReport::makeChart(year, i, perPoint));
        QList<QFont> fonts{chart->titleFont(), chart->legend()->font()};
        for (QAbstractAxis *axis : chart->axes()) {
            fonts << axis->labelsFont();
            if (!axis->titleText().isEmpty())
                fonts << axis->titleFont();
            if (axis->orientation() == Qt::Horizontal) {
                const QStringList labels = axis->type() == QAbstractAxis::AxisTypeCategory
                                               ? static_cast<QCategoryAxis *>(axis)->categoriesLabels()
                                               : static_cast<QBarCategoryAxis *>(axis)->categories();
                EXPECT_LE(labels.size(), 31) << TrafficReport::figureTitle(i).toStdString();
                if (i == 0) {
                    EXPECT_GE(labels.size(), 12);
                    EXPECT_EQ(labels.first(), s("01月01日"));
                }
            }
        }
        for (QAbstractSeries *series : chart->series())
            if (auto *pie = qobject_cast<QPieSeries *>(series))
                for (QPieSlice *slice : pie->slices())
                    fonts << slice->labelFont();
        for (const QFont &f : fonts)
            EXPECT_GE(f.pixelSize(), qRound(8 * perPoint)) << TrafficReport::figureTitle(i).toStdString();
    }

    // As printed, for a look by eye.
    TrafficReport::chartImage(year, 0, QSize(1454, 680), perPoint).save(test::artifactDir() + "/year-days-chart.png");

    // The day table takes several pages; each of them starts with its headings.
    const QString pdf = home.file(s("年.pdf"));
    ASSERT_TRUE(TrafficReport::savePdf(pdf, year, clock.now().date()));
    const QStringList pages = test::pdfPageTexts(pdf);
    const QRegularExpression dayRow(QStringLiteral("(^|\\n)\\s*\\d\\d月\\d\\d日"));
    int dayPages = 0;
    for (const QString &page : pages) {
        const auto first = dayRow.match(page);
        if (!first.hasMatch())
            continue;
        ++dayPages;
        const qsizetype heading = page.indexOf(s("呼出次数"));
        EXPECT_TRUE(heading >= 0 && heading < first.capturedStart()) << page.left(300).toStdString();
    }
    EXPECT_GE(dayPages, 5);

    // A summer without calls: every chart says so instead of drawing bare axes.
    w.dtpDateBegin->setDate(QDate(2026, 6, 1));
    w.dtpDateEnd->setDate(QDate(2026, 8, 31));
    test::press(w.cmdStat);
    ASSERT_TRUE(test::waitFor([&] { return !w.busy(); }, 30000));
    for (int i = 0; i < TrafficReport::kFigureCount; ++i) {
        std::unique_ptr<QChart> chart(TrafficReport::makeChart(*w.shown(), i));
        bool said = false;
        for (QGraphicsItem *item : chart->childItems())
            if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item))
                said = said || text->text() == s("无数据");
        EXPECT_TRUE(said) << TrafficReport::figureTitle(i).toStdString();
        EXPECT_TRUE(chart->series().isEmpty());
    }
}

TEST_F(StatWindowTest, MonthlyReportFromTheCommandLineBesideTheConsole)
{
    // ctx.db stays open read-write, as a running console holds it.
    const QString out = home.file(s("月报.xlsx"));
    const auto done = TrafficReport::MonthlyReport(ctx.home, QStringLiteral("2026-12"), out, QDate(2027, 1, 5));
    ASSERT_TRUE(done) << done.reason().toStdString();
    EXPECT_TRUE(done->contains(s("话费合计：17.85元"))) << done->toStdString();
    const auto book = test::readXlsx(out);
    ASSERT_TRUE(book);
    const test::XlsxSheet *days = book->sheet(s("每日话务"));
    ASSERT_NE(days, nullptr);
    EXPECT_DOUBLE_EQ(days->cell("F33")->value.toDouble(), 17.85);
    EXPECT_EQ(book->sheet(s("主叫话费前十"))->cell("A4")->value, s("账号012"));
    // The console is in the middle of storing a call: the report reads what
    // was committed before, and the store then commits.
    ASSERT_TRUE(test::Ok(ctx.db.beginTransaction()));
    ASSERT_TRUE(test::Ok(ctx.db.exec(QStringLiteral("UPDATE PHNBill SET 总费用 = '99.00'"))));
    const QString pdf = home.file(s("月报.pdf"));
    const auto during = TrafficReport::MonthlyReport(ctx.home, QStringLiteral("2026-12"), pdf, QDate(2027, 1, 5));
    ASSERT_TRUE(during) << during.reason().toStdString();
    EXPECT_TRUE(during->contains(s("话费合计：17.85元"))) << during->toStdString();
    EXPECT_TRUE(test::Ok(ctx.db.commit()));
    const QString first = test::pdfPageTexts(pdf).value(0);
    EXPECT_TRUE(first.contains(s("主叫：全部主叫")) && first.contains(s("话单：全部话单"))) << first.toStdString();

    EXPECT_EQ(TrafficReport::MonthlyReport(ctx.home, QStringLiteral("2026-13"), out, QDate(2027, 1, 5)).reason(),
              s("月份须写成 YYYY-MM：2026-13"));
    EXPECT_FALSE(
        TrafficReport::MonthlyReport(ctx.home, QStringLiteral("2026-12"), home.file(s("月报.txt")), QDate(2027, 1, 5)));
    EXPECT_FALSE(TrafficReport::MonthlyReport(HomePaths(home.file(s("nowhere"))), QStringLiteral("2026-12"), out,
                                              QDate(2027, 1, 5)));
}
