// The settlement window's grand total on the system's default printer: a
// CUPS server of the test's own with a PDF queue, and before it runs, no
// printer at all.
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "CupsServer.h"
#include "PdfTools.h"
#include "QueryFixture.h"
#include "TestWait.h"
#include "frmDeposit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace corvane;
using test::s;

namespace {

// Before anything in this program asks CUPS for a printer.
const bool kCupsClientsPointed = [] {
    test::CupsServer::pointClientsHere();
    return true;
}();

TEST(SettlementPrinting, TheGrandTotalGoesToTheDefaultCupsPrinter)
{
    const QString why = test::CupsServer::whyNot();
    if (!why.isEmpty())
        GTEST_SKIP() << "no CUPS server of the test's own can run here: " << why.toStdString()
                     << " (the window tests cover the same paths through a printer port of their own)";
    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(15, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
    test::QueryData data(ctx.db);
    data.setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("25.00"));
    data.addBill({QStringLiteral("801"), s("2026年12月09日10时30分"), QStringLiteral("2"), QStringLiteral("3.40"),
                  QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("3.40")});
    PrintStore store;
    ASSERT_TRUE(bool(store.open(ctx.home.printDb())));
    CallQuery::Criteria c;
    c.callers = {QStringLiteral("801")};
    c.types = {2};
    c.states = CallQuery::StatesFor(0);
    ASSERT_EQ(CallQuery::BuildPrintData(ctx.db, store, c).value(), 1);

    frmDeposit w(ctx, store); // the console's own CUPS printer port
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto *print = w.findChild<QPushButton *>(QStringLiteral("cmdPrintTotal"));
    ASSERT_NE(print, nullptr);

    // No scheduler: no printer, the box, and the window stays open.
    QTest::mouseClick(print, Qt::LeftButton);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, s("没有可用的打印机！"));
    EXPECT_EQ(messages.last()->title, s("错误！"));
    EXPECT_TRUE(w.isVisible());

    test::CupsServer server;
    QString problem;
    ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
    const QString queue = QStringLiteral("corvane-settle-%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(server.addPdfQueue(queue, &problem)) << problem.toStdString();

    QTest::mouseClick(print, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible()) << "printing the grand total closes the window";
    const test::CupsServer::Jobs jobs = server.waitForJobs(queue, 1, 60000);
    ASSERT_EQ(jobs.failed, 0) << server.logTail().toStdString();
    ASSERT_EQ(jobs.completedIds.size(), 1) << server.logTail().toStdString();
    // What the scheduler received is the grand total page, text and all.
    const QStringList pages = test::pdfPageTexts(server.receivedDocument(jobs.completedIds.first()));
    ASSERT_EQ(pages.size(), 1);
    // Rent 25.00 and the call's 3.40.
    for (const QString &t : {s("总计话费"), s("2026年12月09日"), s("合计"), s("28.40"), s("3.40"), s("25.00")})
        EXPECT_TRUE(pages.first().contains(t)) << t.toStdString() << " in " << pages.first().toStdString();
    // And the queue printed it: cups-pdf wrote a page.
    const QString printed = server.outputOf(jobs.completedIds.first());
    ASSERT_FALSE(printed.isEmpty()) << server.logTail().toStdString();
    EXPECT_FALSE(test::pdfPageImage(printed, 0, 50).isNull());
    server.stop();
    store.close();
    ctx.db.close();
}

// The fee list and the receipts reach the printer the way the front desk
// prints them: the preview's print button, the print dialog with the default
// printer chosen, OK.
TEST(SettlementPrinting, FeeListAndReceiptsPrintedFromThePreviewReachTheDefaultCupsPrinter)
{
    const QString why = test::CupsServer::whyNot();
    if (!why.isEmpty())
        GTEST_SKIP() << "no CUPS server of the test's own can run here: " << why.toStdString();
    test::CupsServer server;
    QString problem;
    ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
    const QString queue = QStringLiteral("corvane-receipts-%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(server.addPdfQueue(queue, &problem)) << problem.toStdString();

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(15, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    ctx.login.OPLogin = true;
    ctx.login.OPName = s("前台");
    ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
    test::QueryData data(ctx.db);
    data.setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("0.00"));
    data.setUser(QStringLiteral("802"), s("营业部"), s("李四"), QStringLiteral("0.00"));
    data.addBill({QStringLiteral("801"), s("2026年12月09日10时30分"), QStringLiteral("2"), QStringLiteral("3.40"),
                  QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("3.40")});
    data.addBill({QStringLiteral("802"), s("2026年12月09日11时05分"), QStringLiteral("2"), QStringLiteral("1.70"),
                  QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("1.70")});
    PrintStore store;
    ASSERT_TRUE(bool(store.open(ctx.home.printDb())));
    CallQuery::Criteria criteria;
    criteria.callers = {QStringLiteral("801"), QStringLiteral("802")};
    criteria.types = {2};
    criteria.states = CallQuery::StatesFor(0);
    ASSERT_EQ(CallQuery::BuildPrintData(ctx.db, store, criteria).value(), 2);

    frmDeposit w(ctx, store);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const struct {
        const char *button;
        const char *report;
        const char *title;
        int titles; // how often the title is printed: once per list, once per receipt
        QStringList texts;
    } cases[] = {
        {"cmdGridPrint", "DRPrint", "话费清单", 1, {s("801"), s("802"), s("3.40"), s("1.70")}},
        {"cmdPagePrint", "DRPage", "电信电话费收据", 2, {s("801"), s("802"), s("3.40"), s("1.70"), s("前台")}},
    };
    int jobsSoFar = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.report);
        QString previewName;
        QString chosenPrinter;
        ctx.runModal = [&](QDialog &d) {
            previewName = d.objectName();
            auto *preview = qobject_cast<QPrintPreviewDialog *>(&d);
            if (!preview)
                return 0;
            QAction *printAction = nullptr;
            if (auto *bar = preview->findChild<QToolBar *>())
                for (QAction *a : bar->actions())
                    if (a->text() == QStringLiteral("Print"))
                        printAction = a;
            EXPECT_NE(printAction, nullptr) << "the preview has a print button";
            if (!printAction)
                return 0;
            // The print dialog comes up modal; OK on it as soon as it shows.
            auto *ok = new QTimer(preview);
            QObject::connect(ok, &QTimer::timeout, preview, [&, ok] {
                if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                    chosenPrinter = dialog->printer()->printerName();
                    ok->stop();
                    dialog->accept();
                }
            });
            ok->start(20);
            printAction->trigger();
            return 0;
        };
        QTest::mouseClick(w.findChild<QPushButton *>(QLatin1String(c.button)), Qt::LeftButton);
        EXPECT_EQ(previewName, QLatin1String(c.report));
        EXPECT_EQ(chosenPrinter, queue) << "the default printer is offered";

        const test::CupsServer::Jobs jobs = server.waitForJobs(queue, ++jobsSoFar, 60000);
        ASSERT_EQ(jobs.failed, 0) << server.logTail().toStdString();
        ASSERT_EQ(jobs.completedIds.size(), jobsSoFar) << server.logTail().toStdString();
        const int job = jobs.completedIds.last();
        const QStringList pages = test::pdfPageTexts(server.receivedDocument(job));
        ASSERT_FALSE(pages.isEmpty());
        const QString all = pages.join(QLatin1Char('\n'));
        EXPECT_EQ(all.count(QString::fromUtf8(c.title)), c.titles) << all.toStdString();
        for (const QString &t : c.texts)
            EXPECT_TRUE(all.contains(t)) << t.toStdString() << " in " << all.toStdString();
        EXPECT_FALSE(server.outputOf(job).isEmpty()) << server.logTail().toStdString();
    }
    EXPECT_TRUE(messages.shown().isEmpty());
    server.stop();
    store.close();
    ctx.db.close();
}

} // namespace
