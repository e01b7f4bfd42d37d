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

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
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

    frmDeposit w(ctx, store);   // the console's own CUPS printer port
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

} // namespace
