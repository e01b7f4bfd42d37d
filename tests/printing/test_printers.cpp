#include "CupsServer.h"
#include "MessageService.h"
#include "PdfTools.h"
#include "PrintJobs.h"
#include "Reports.h"
#include "TestHome.h"

#include "ExportDialog.h"
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

// Before anything in this program asks CUPS for a printer.
const bool kCupsClientsPointed = [] {
    test::CupsServer::pointClientsHere();
    return true;
}();

QString s(const char *utf8) { return QString::fromUtf8(utf8); }
const QDate kToday(2026, 12, 9);

FeeRow feeRow(const QString &number, const QString &name, int cents)
{
    FeeRow f;
    f.group = s("营业部");
    f.number = number;
    f.name = name;
    for (int c = col::PrintFee::FirstMoney; c <= col::PrintFee::Total; ++c)
        f.amount(c) = Money::fromRaw(qint64(cents + c) * 100);
    return f;
}

FeeTotals totalsOf(const QList<FeeRow> &fees)
{
    FeeTotals t;
    for (const FeeRow &f : fees)
        for (int i = 0; i < col::PrintFee::MoneyCount; ++i)
            t.sums[i] += f.amounts()[i];
    return t;
}

TableSource feeSource(const QList<FeeRow> &fees)
{
    QList<QStringList> rows;
    for (const FeeRow &f : fees)
        rows.append(f.texts());
    return TableSource({s("组名"), s("用户号码"), s("用户名称"), s("长话费"), s("市话费"), s("本地费"), s("呼入费"),
                        s("月租费"), s("手续费"), s("服务费"), s("合计"), s("押金"), s("余额"), s("应收"), s("应退"),
                        s("说明")},
                       rows);
}

// A printer port of the test's own: a default printer or none, and a printer
// that takes or refuses the job. It keeps a copy of every document handed to it.
class FakePrinters : public PrinterPort {
public:
    std::optional<QString> defaultName;
    QString refusal; // non-empty: every job is refused with it
    QStringList submittedTo, titles, copies;
    test::TestHome home;

    std::optional<QString> defaultPrinter() override { return defaultName; }
    Checked<int> submit(const QString &printer, const QString &pdfPath, const QString &title) override
    {
        submittedTo.append(printer);
        titles.append(title);
        const QString copy = home.file(QStringLiteral("job%1.pdf").arg(copies.size() + 1));
        QFile::copy(pdfPath, copy);
        copies.append(copy);
        if (!refusal.isEmpty())
            return Checked<int>::refuse(refusal);
        return int(copies.size());
    }
};

} // namespace

TEST(DirectPrinting, OutcomesOfTheDefaultPrinter)
{
    const QList<FeeRow> fees{feeRow(s("801"), s("张三"), 100), feeRow(s("802"), s("李四"), 2000)};
    const FeeTotals totals = totalsOf(fees);
    struct Case {
        const char *what;
        std::optional<QString> printer;
        QString refusal;
        bool printed;
        const char *detailHas;
    };
    const QList<Case> cases{
        {"no default printer", std::nullopt, QString(), false, "没有默认打印机"},
        {"printer refuses the job", QStringLiteral("office"), s("not accepting jobs"), false, "not accepting jobs"},
        {"printer takes the job", QStringLiteral("office"), QString(), true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakePrinters printers;
        printers.defaultName = c.printer;
        printers.refusal = c.refusal;
        QString detail;
        const Status st = printGrandTotal(printers, totals, kToday, &detail);
        EXPECT_EQ(bool(st), c.printed);
        if (!c.printed) {
            EXPECT_EQ(st.reason(), s("没有可用的打印机！"));
            EXPECT_TRUE(detail.contains(s(c.detailHas))) << detail.toStdString();
        }
        EXPECT_EQ(printers.copies.size(), c.printer ? 1 : 0) << "nothing is painted for no printer";
        if (!c.printer)
            continue;
        EXPECT_EQ(printers.submittedTo.first(), *c.printer);
        EXPECT_EQ(printers.titles.first(), s("总计话费"));
        // What went to the printer is the grand total page.
        const QStringList pages = test::pdfPageTexts(printers.copies.first());
        ASSERT_EQ(pages.size(), 1);
        for (const QString &t : {s("总计话费"), s("2026年12月09日"), s("合计"), totals.total().toText(),
                                 totals.at(col::PrintFee::LongDistance).toText()})
            EXPECT_TRUE(pages.first().contains(t)) << t.toStdString();
    }
}

TEST(DirectPrinting, ReceiptsGoToThePrinterAsOneJob)
{
    QList<FeeRow> fees;
    for (int i = 0; i < 5; ++i)
        fees.append(feeRow(QString::number(801 + i), s("用户%1").arg(i), i * 1000));
    FakePrinters printers;
    printers.defaultName = QStringLiteral("office");
    ReportDef def = DRPage();
    setReceiver(def, s("王小明"));
    const TableSource rows = feeSource(fees);
    ASSERT_TRUE(printReport(printers, def, rows, kToday));
    ASSERT_EQ(printers.copies.size(), 1);
    const QStringList pages = test::pdfPageTexts(printers.copies.first());
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(test::occurrences(pages.join(QString()), s("王小明")), 5);
    EXPECT_TRUE(pages.at(1).contains(s("805")));
}

TEST(DirectPrinting, AFailureIsShownAsNoPrinterWithOk)
{
    ScriptedMessageService messages;
    showPrintFailure(messages, Status::ok());
    EXPECT_TRUE(messages.shown().isEmpty());
    FakePrinters none;
    showPrintFailure(messages, printGrandTotal(none, FeeTotals(), kToday));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, s("没有可用的打印机！"));
    EXPECT_EQ(messages.last()->title, s("错误！"));
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::Ok);
}

TEST(ReportPreview, PreviewShowsEveryPageAndSavesAPdf)
{
    QList<QStringList> rows;
    for (int i = 0; i < 100; ++i)
        rows.append({QString::number(9000 + i), s("02087654321"), s("2026年12月08日10时01分"), s("65"), s("0.30"),
                     s("广州"), s("0.10")});
    ReportDef def = DRBillPrint();
    setBillTotals(def, BillTotals{100, Money::fromYuan(10)});
    ScriptedMessageService messages;
    ReportPreviewDialog dialog(
        def,
        TableSource({s("主叫号码"), s("被叫号码"), s("结束时间"), s("时长"), s("费率"), s("通达地址"), s("总费用")},
                    rows),
        kToday, messages);
    EXPECT_EQ(dialog.objectName(), s("DRBillPrint"));
    auto *preview = dialog.findChild<QPrintPreviewWidget *>();
    ASSERT_NE(preview, nullptr);
    preview->updatePreview();
    EXPECT_EQ(preview->pageCount(), 3);
    EXPECT_EQ(dialog.reportPageCount(), 3);
    EXPECT_TRUE(messages.shown().isEmpty());

    auto *bar = dialog.findChild<QToolBar *>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->actions().contains(dialog.savePdfAction())) << "the operator reaches it in the preview";

    test::TestHome home;
    const QString path = home.file(QStringLiteral("list.pdf"));
    dialog.setPdfPathAsker([&] { return path; });
    dialog.savePdfAction()->trigger();
    const QStringList pages = test::pdfPageTexts(path);
    ASSERT_EQ(pages.size(), 3);
    EXPECT_TRUE(pages.at(2).contains(s("10.00元")));
    EXPECT_TRUE(messages.shown().isEmpty());

    const QString bad = home.file(QStringLiteral("no/such/folder/list.pdf"));
    dialog.setPdfPathAsker([&] { return bad; });
    dialog.savePdfAction()->trigger();
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_TRUE(messages.last()->text.contains(s("无法写入文件"))) << messages.last()->text.toStdString();
    EXPECT_EQ(messages.last()->title, s("错误！"));
}

// A preview opens readable (the page fills the width, most of the screen
// at first) and at the size it was last left at; files are offered in the
// operator's own folder, never beside the database.
TEST(ReportPreview, OpensReadableRemembersItsSizeAndOffersTheOperatorsFolder)
{
    QSettings().remove(ReportPreviewDialog::geometryKey(s("DRPage")));
    ScriptedMessageService messages;
    auto open = [&] { return std::make_unique<ReportPreviewDialog>(DRPage(), TableSource({}, {}), kToday, messages); };
    auto first = open();
    auto *view = first->findChild<QPrintPreviewWidget *>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->zoomMode(), QPrintPreviewWidget::FitToWidth);
    EXPECT_GE(first->width(), 1000);
    EXPECT_GE(first->height(), 760);
    first->resize(1111, 777);
    first->done(QDialog::Rejected);
    EXPECT_EQ(open()->size(), QSize(1111, 777)) << "kept for the next preview";

    first->setPdfName(s("收据-805-20261210.pdf"), s("前台"));
    EXPECT_EQ(first->pdfName(), s("收据-805-20261210.pdf"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QSettings().remove(s("folders/前台"));
    EXPECT_EQ(offeredPath(s("前台"), s("/somewhere/收据.pdf")), QDir(documents).filePath(s("收据.pdf")));
    test::TestHome home;
    rememberFolder(s("前台"), home.file(s("收据-805-20261210.pdf")));
    EXPECT_EQ(offeredFolder(s("前台")), QFileInfo(home.file(s("x"))).absolutePath());
    EXPECT_NE(offeredFolder(s("夜班")), offeredFolder(s("前台"))) << "one operator's folder is not another's";
}

namespace {

// Ink of a page image, as a mask of dark pixels.
QList<QPoint> inkPixels(const QImage &image)
{
    QList<QPoint> ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 140)
                ink.append(QPoint(x, y));
    return ink;
}

// The share of a's ink that has no ink of b within one pixel.
double unmatchedInk(const QImage &a, const QImage &b)
{
    const QList<QPoint> ink = inkPixels(a);
    if (ink.isEmpty())
        return 1.0;
    int unmatched = 0;
    for (const QPoint &p : ink) {
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy)
            for (int dx = -1; dx <= 1 && !near; ++dx) {
                const QPoint q = p + QPoint(dx, dy);
                near = b.rect().contains(q) && qGray(b.pixel(q)) < 140;
            }
        unmatched += near ? 0 : 1;
    }
    return double(unmatched) / ink.size();
}

// The printed file matches what was sent: same pages, same size, same ink.
void expectPrintedAsSent(const QString &printed, const QString &sent, int pages)
{
    auto out = test::pdfLayout(printed);
    ASSERT_TRUE(out);
    ASSERT_EQ(out->pageSizes.size(), pages);
    for (int p = 0; p < pages; ++p) {
        SCOPED_TRACE(p);
        EXPECT_NEAR(out->pageSizes.at(p).width(), 595.3, 2.0) << "A4";
        EXPECT_NEAR(out->pageSizes.at(p).height(), 841.9, 2.0);
        const QImage a = test::pdfPageImage(printed, p, 50);
        const QImage b = test::pdfPageImage(sent, p, 50);
        ASSERT_FALSE(a.isNull());
        ASSERT_EQ(a.size(), b.size());
        EXPECT_GT(inkPixels(b).size(), 500) << "the page has content";
        EXPECT_LT(unmatchedInk(a, b), 0.05);
        EXPECT_LT(unmatchedInk(b, a), 0.05);
    }
}

} // namespace

TEST(CupsPrinting, NoSchedulerMeansNoPrinter)
{
    // The process's CUPS clients talk to a socket with no scheduler behind it
    // (the next test starts one there and stops it again).
    CupsPrinterPort cups;
    EXPECT_FALSE(cups.defaultPrinter());
    QString detail;
    const Status st = printGrandTotal(cups, FeeTotals(), kToday, &detail);
    EXPECT_EQ(st.reason(), s("没有可用的打印机！"));
    EXPECT_FALSE(detail.isEmpty());
}

TEST(CupsPrinting, DirectPrintingReachesTheDefaultCupsPrinter)
{
    const QString why = test::CupsServer::whyNot();
    if (!why.isEmpty())
        GTEST_SKIP() << "no CUPS server of the test's own can run here: " << why.toStdString()
                     << " (DirectPrinting covers the same paths against Qt's PDF output)";
    QElapsedTimer took;
    took.start();
    const QList<FeeRow> fees{feeRow(s("801"), s("张三"), 100), feeRow(s("802"), s("李四"), 2000),
                             feeRow(s("账号012"), s("前台"), 30000), feeRow(s("804"), s("赵六"), 5)};
    const FeeTotals totals = totalsOf(fees);
    CupsPrinterPort cups;
    QString detail;

    // No scheduler behind the socket: no printer, and the grand total says so.
    EXPECT_FALSE(cups.defaultPrinter());
    Status st = printGrandTotal(cups, totals, kToday, &detail);
    EXPECT_EQ(st.reason(), s("没有可用的打印机！"));

    test::CupsServer server;
    QString problem;
    ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
    EXPECT_FALSE(cups.defaultPrinter()) << "a scheduler without queues has no default printer";

    const QString queue = QStringLiteral("corvane-test-%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(server.addPdfQueue(queue, &problem)) << problem.toStdString();
    ASSERT_EQ(cups.defaultPrinter().value_or(QString()), queue);

    ASSERT_TRUE(printGrandTotal(cups, totals, kToday, &detail)) << detail.toStdString();
    ReportDef receipts = DRPage();
    setReceiver(receipts, s("王小明"));
    const TableSource rows = feeSource(fees);
    ASSERT_TRUE(printReport(cups, receipts, rows, kToday, &detail)) << detail.toStdString();

    const test::CupsServer::Jobs jobs = server.waitForJobs(queue, 2, 60000);
    ASSERT_EQ(jobs.failed, 0) << server.logTail().toStdString();
    ASSERT_EQ(jobs.completedIds.size(), 2) << server.logTail().toStdString();

    // What the scheduler received is the console's document, text and all.
    const QString totalSent = server.receivedDocument(jobs.completedIds.at(0));
    const QStringList totalText = test::pdfPageTexts(totalSent);
    ASSERT_EQ(totalText.size(), 1) << totalSent.toStdString();
    for (const QString &t : {s("总计话费"), s("2026年12月09日"), totals.total().toText()})
        EXPECT_TRUE(totalText.first().contains(t)) << t.toStdString();
    const QString receiptsSent = server.receivedDocument(jobs.completedIds.at(1));
    const QStringList receiptText = test::pdfPageTexts(receiptsSent);
    ASSERT_EQ(receiptText.size(), 2);
    EXPECT_EQ(test::occurrences(receiptText.join(QString()), s("王小明")), 4);
    EXPECT_TRUE(receiptText.join(QString()).contains(s("账号012")));

    // And the printer printed it: the PDF cups-pdf wrote shows the same pages.
    const QString totalPrinted = server.outputOf(jobs.completedIds.at(0));
    const QString receiptsPrinted = server.outputOf(jobs.completedIds.at(1));
    ASSERT_FALSE(totalPrinted.isEmpty()) << server.logTail().toStdString();
    ASSERT_FALSE(receiptsPrinted.isEmpty()) << server.logTail().toStdString();
    expectPrintedAsSent(totalPrinted, totalSent, 1);
    expectPrintedAsSent(receiptsPrinted, receiptsSent, 2);

    // A queue that refuses jobs: reported, not taken for printed.
    ASSERT_TRUE(server.setAccepting(queue, false, &problem)) << problem.toStdString();
    st = printGrandTotal(cups, totals, kToday, &detail);
    EXPECT_EQ(st.reason(), s("没有可用的打印机！"));
    EXPECT_TRUE(detail.contains(queue)) << detail.toStdString();

    server.stop();
    EXPECT_FALSE(server.isRunning());
    EXPECT_FALSE(cups.defaultPrinter()) << "the scheduler is gone";
    EXPECT_EQ(server.outputCount(), 2) << "the refused job printed nothing";
    std::cout << "[ CUPS     ] server, queue, two jobs printed and read back in " << took.elapsed() << " ms\n";
}
