// The settlement ledger window "结算记录" driven as the front desk uses it:
// the month listed at opening with the days' first and last seconds inside,
// a caller chosen, a reversed range typed, receipts printed again as they
// were printed at settlement, and the list exported as a workbook, as CSV and
// into a folder that cannot be written.
#include "ConsoleContext.h"
#include "LedgerTable.h"
#include "PdfTools.h"
#include "PrintJobs.h"
#include "RowsModel.h"
#include "TestHome.h"
#include "TestInput.h"
#include "TestStatus.h"
#include "WindowDriver.h"
#include "XlsxReader.h"
#include "frmSettleLedger.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

using namespace corvane;

namespace {

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

LedgerRow ledgerRow(const QDateTime &at, const QString &caller, int records, const char *total, const char *deposit,
                    const char *collect, const char *refund, const char *rent = "0.00")
{
    LedgerRow r;
    r.settledAt = at;
    r.operatorName = s("张会计");
    r.caller = caller;
    r.port = caller.startsWith(s("账号")) ? QString() : QString::number(caller.toInt() - 800);
    r.group = s("营业部");
    r.name = s("客房") + caller;
    r.records = records;
    r.firstEnd = s("2026年11月28日08时00分");
    r.lastEnd = s("2026年11月30日17:59:59");
    r.longDistance = Money::fromText(s("1.10"));
    r.rent = Money::fromText(s(rent));
    r.total = Money::fromText(s(total));
    r.deposit = Money::fromText(s(deposit));
    r.collect = Money::fromText(s(collect));
    r.refund = Money::fromText(s(refund));
    return r;
}

class LedgerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.login.OPLogin = true;
        ctx.login.OPName = s("李出纳");
        ctx.runModal = [this](QDialog &d) {
            d.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
            const auto handler = modal.find(d.objectName());
            EXPECT_NE(handler, modal.end()) << "unexpected window " << d.objectName().toStdString();
            if (handler != modal.end())
                handler->second(d);
            return d.result();
        };
    }
    void TearDown() override
    {
        w.reset();
        ctx.db.close();
    }

    // Two settlements of room 801 in December at its first and last second,
    // the front desk's account between them, and one row on either side.
    void settleAMonth()
    {
        LedgerTable ledger(ctx.db);
        const QList<LedgerRow> rows{
            ledgerRow(QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59)), s("801"), 1, "3.00", "50.00", "0.00", "47.00"),
            ledgerRow(QDateTime(QDate(2026, 12, 1), QTime(0, 0, 0)), s("801"), 3, "40.10", "50.00", "0.00", "9.90",
                      "30.00"),
            ledgerRow(QDateTime(QDate(2026, 12, 9), QTime(15, 0, 0)), s("账号012"), 2, "2.50", "0.00", "2.50", "0.00"),
            ledgerRow(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)), s("801"), 1, "5.00", "0.00", "5.00", "0.00"),
            ledgerRow(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)), s("802"), 1, "1.00", "0.00", "1.00", "0.00")};
        for (const LedgerRow &r : rows)
            ASSERT_TRUE(ledger.append(r));
    }

    frmSettleLedger &open()
    {
        w = std::make_unique<frmSettleLedger>(ctx);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return *w;
    }

    template <class T>
    T *child(const QString &name)
    {
        T *found = w->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    void click(const QString &name)
    {
        auto *b = child<QPushButton>(name);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled()) << name.toStdString();
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() / 2, b->height() / 2));
    }
    // Types the first date over what its picker shows, as the operator
    // does: Alt+B (its label's mnemonic) selects the picker's year, the
    // digits fill year, month and day.
    void typeBeginDate(const QString &text)
    {
        w->activateWindow(); // back from the preview
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
        auto *d = child<QDateEdit>(QStringLiteral("dtpDateBegin"));
        ASSERT_TRUE(d->hasFocus());
        test::typeText(d, text);
        QTest::keyClick(d, Qt::Key_Tab);
    }
    QString label() { return child<QLabel>(QStringLiteral("lblInformation"))->text(); }
    QAbstractItemModel *list() { return child<QTableView>(QStringLiteral("hfgLedger"))->model(); }
    // The listed column `caption` of every row.
    QStringList column(const QString &caption)
    {
        QAbstractItemModel *m = list();
        int c = 0;
        while (c < m->columnCount() && m->headerData(c, Qt::Horizontal).toString() != caption)
            ++c;
        QStringList out;
        for (int r = 0; r < m->rowCount(); ++r)
            out.append(m->index(r, c).data().toString());
        return out;
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        auto *view = child<QTableView>(QStringLiteral("hfgLedger"));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                          view->visualRect(list()->index(row, 1)).center());
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 20), QTime(9, 30, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    std::unique_ptr<frmSettleLedger> w;
    std::map<QString, std::function<void(QDialog &)>> modal;
};

} // namespace

TEST_F(LedgerWindowTest, ListsTheMonthByCallerWithTotalsAndReprintsTheReceiptsAsSettled)
{
    // A home settled before the ledger existed: an empty list, no failure.
    open();
    EXPECT_EQ(label(), s("所选时段内没有结算记录。"));
    EXPECT_EQ(child<QComboBox>(QStringLiteral("cmbCaller"))->count(), 1);
    EXPECT_TRUE(messages.shown().isEmpty());
    w.reset();

    settleAMonth();
    open();
    EXPECT_EQ(child<QDateEdit>(QStringLiteral("dtpDateBegin"))->date(), QDate(2026, 12, 1));
    EXPECT_EQ(child<QDateEdit>(QStringLiteral("dtpDateEnd"))->date(), QDate(2026, 12, 31));
    // The month's first and last second are inside, the seconds around them not.
    EXPECT_EQ(column(s("结算时间")),
              (QStringList{s("2026-12-01 00:00:00"), s("2026-12-09 15:00:00"), s("2026-12-31 23:59:59")}));
    EXPECT_EQ(column(s("主叫号码")), (QStringList{s("801"), s("账号012"), s("801")}));
    // End times stored in the switch's form and the console's read alike.
    const int firstEnd = int(SettleLedger::header().indexOf(s("首条结束时间")));
    const int lastEnd = firstEnd + 1;
    ASSERT_GE(firstEnd, 0) << SettleLedger::header().join(u',').toStdString();
    const QString shownFirst = list()->index(0, firstEnd).data().toString();
    const QString shownLast = list()->index(0, lastEnd).data().toString();
    EXPECT_EQ(RowsModel::endTimeText(s("2026年11月28日08时00分")), shownFirst);
    EXPECT_EQ(RowsModel::endTimeText(s("2026年11月30日17时59分")), shownLast);
    EXPECT_EQ(column(s("应退")), (QStringList{s("9.90"), s("0.00"), s("0.00")}));
    EXPECT_EQ(label(), s("结算记录：3条   话单数：6   合计：47.60元   应收：7.50元   应退：9.90元"));
    const int total = int(SettleLedger::header().indexOf(s("合计")));
    const int caller = int(SettleLedger::header().indexOf(s("主叫号码")));
    EXPECT_TRUE(list()->index(0, total).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    EXPECT_FALSE(list()->index(0, caller).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);

    // One caller: the callers the ledger knows, in order of first settlement.
    auto *callers = child<QComboBox>(QStringLiteral("cmbCaller"));
    ASSERT_EQ(callers->count(), 4);
    EXPECT_EQ(callers->itemText(0), s("全部"));
    EXPECT_EQ(callers->itemText(2), s("账号012"));
    callers->setFocus();
    QTest::keyClick(callers, Qt::Key_Down);
    ASSERT_EQ(callers->currentText(), s("801"));
    click(QStringLiteral("cmdQuery"));
    EXPECT_EQ(column(s("结算时间")), (QStringList{s("2026-12-01 00:00:00"), s("2026-12-31 23:59:59")}));
    EXPECT_EQ(label(), s("结算记录：2条   话单数：4   合计：45.10元   应收：5.00元   应退：9.90元"));

    // A receipt printed again shows the day it was settled and who settled
    // it, not today and the operator reprinting it.
    click(QStringLiteral("cmdReprint"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, s("请先在列表中选择要重印收据的结算记录。"));
    clickRow(0);
    QString receipt;
    modal[QStringLiteral("DRPage")] = [&](QDialog &d) {
        auto *preview = qobject_cast<ReportPreviewDialog *>(&d);
        ASSERT_NE(preview, nullptr);
        EXPECT_EQ(preview->reportPageCount(), 1);
        const QString pdf = home.file(QStringLiteral("receipt.pdf"));
        ASSERT_TRUE(bool(preview->savePdf(pdf)));
        receipt = test::pdfPageTexts(pdf).join(QLatin1Char('\n'));
    };
    click(QStringLiteral("cmdReprint"));
    for (const QString &t : {s("电信电话费收据"), s("2026年12月1日"), s("张会计"), s("客房801"), s("801"), s("30.00"),
                             s("40.10"), s("1.10")})
        EXPECT_TRUE(receipt.contains(t)) << t.toStdString() << "\n" << receipt.toStdString();
    for (const QString &t : {s("2026年12月20日"), s("李出纳"), s("5.00")})
        EXPECT_FALSE(receipt.contains(t)) << t.toStdString();

    // Both rows chosen: two receipts.
    clickRow(1, Qt::ShiftModifier);
    click(QStringLiteral("cmdReprint"));
    EXPECT_TRUE(receipt.contains(s("2026年12月31日")) && receipt.contains(s("2026年12月1日")));

    // Sorted newest first by a click (two) on "结算时间": the row clicked is
    // the record printed.
    auto *view = child<QTableView>(QStringLiteral("hfgLedger"));
    const int when = int(SettleLedger::header().indexOf(s("结算时间")));
    const QPoint onWhen(view->horizontalHeader()->sectionViewportPosition(when) + 4,
                        view->horizontalHeader()->height() / 2);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, onWhen);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, onWhen);
    EXPECT_EQ(column(s("结算时间")), (QStringList{s("2026-12-31 23:59:59"), s("2026-12-01 00:00:00")}));
    clickRow(0);
    click(QStringLiteral("cmdReprint"));
    EXPECT_TRUE(receipt.contains(s("2026年12月31日")));
    EXPECT_FALSE(receipt.contains(s("2026年12月1日")));

    // A range typed backwards lists nothing and says why.
    messages.clear();
    typeBeginDate(s("2027年01月05日"));
    ASSERT_EQ(child<QDateEdit>(QStringLiteral("dtpDateBegin"))->date(), QDate(2027, 1, 5));
    click(QStringLiteral("cmdQuery"));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, s("开始日期不能晚于结束日期！"));
    EXPECT_EQ(messages.last()->title, s("输入错误"));
    EXPECT_EQ(list()->rowCount(), 0);
    EXPECT_EQ(w->listed().size(), 0);

    // The same one-day range, typed, is a whole day.
    typeBeginDate(s("20261231"));
    click(QStringLiteral("cmdQuery"));
    EXPECT_EQ(column(s("结算时间")), QStringList{s("2026-12-31 23:59:59")});
    // Nothing edits the ledger: the rows are all still there.
    EXPECT_EQ(LedgerTable(ctx.db).select({}, {})->size(), 5);
}

TEST_F(LedgerWindowTest, ExportsTheListAsAWorkbookOrCsvAndSaysWhereOrWhyNot)
{
    settleAMonth();
    open();
    QString path;
    w->setExportPathAsker([&](const QString &suggested) {
        EXPECT_TRUE(suggested.endsWith(s("结算记录20261201-20261231.xlsx"))) << suggested.toStdString();
        return path;
    });

    path = home.file(QStringLiteral("ledger.xlsx"));
    click(QStringLiteral("cmdExport"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, s("已导出 3 行到文件：") + path);
    const auto book = test::readXlsx(path);
    ASSERT_TRUE(book);
    const test::XlsxSheet *sheet = book->sheet(s("结算记录"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->frozenRows, 1);
    EXPECT_EQ(sheet->rowCount(), 4);
    const QStringList header = SettleLedger::header();
    const QList<test::XlsxCell> head = sheet->row(1);
    ASSERT_EQ(head.size(), header.size());
    EXPECT_TRUE(head.at(0).bold);
    const QList<test::XlsxCell> second = sheet->row(3);
    auto at = [&](const char *caption) { return second.at(int(header.indexOf(s(caption)))); };
    EXPECT_EQ(at("主叫号码").type, test::XlsxCell::Type::String);
    EXPECT_EQ(at("主叫号码").value, s("账号012"));
    EXPECT_EQ(at("结算时间").value, s("2026-12-09 15:00:00"));
    EXPECT_EQ(at("首条结束时间").type, test::XlsxCell::Type::String);
    EXPECT_EQ(at("话单数").type, test::XlsxCell::Type::Number);
    EXPECT_EQ(at("话单数").value, s("2"));
    for (const char *money : {"长话费", "月租费", "合计", "押金", "应收", "应退"}) {
        EXPECT_EQ(at(money).type, test::XlsxCell::Type::Number) << money;
        EXPECT_EQ(at(money).numFormat, s("0.00")) << money;
    }
    EXPECT_DOUBLE_EQ(at("应收").value.toDouble(), 2.5);
    EXPECT_EQ(sheet->row(2).at(int(header.indexOf(s("物理端口")))).type, test::XlsxCell::Type::String);

    // CSV for machines: the callers and times quoted as text.
    path = home.file(QStringLiteral("ledger.csv"));
    click(QStringLiteral("cmdExport"));
    EXPECT_EQ(messages.last()->text, s("已导出 3 行到文件：") + path);
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll().mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines.at(2).startsWith(s("\"2026-12-09 15:00:00\",张会计,\"账号012\",\"\",营业部,客房账号012,2,")))
        << lines.at(2).toStdString();

    // A folder that cannot be written: the file and the reason, no file left.
    QFile plain(home.file(QStringLiteral("plainfile")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    path = home.file(QStringLiteral("plainfile/ledger.xlsx"));
    messages.clear();
    click(QStringLiteral("cmdExport"));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_TRUE(messages.last()->text.startsWith(s("无法写入文件 ") + path + s("：")))
        << messages.last()->text.toStdString();
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_FALSE(QFile::exists(path));
}

// Filtered and sorted, the totals and the workbook hold the rows shown, in
// the order shown.
TEST_F(LedgerWindowTest, TotalsAndExportFollowTheFilterAndTheSort)
{
    settleAMonth();
    open();
    const QString path = home.file(QStringLiteral("shown.xlsx"));
    w->setExportPathAsker([&](const QString &) { return path; });
    test::fill(child<QLineEdit>(QStringLiteral("txtFilter")), s("801"));
    EXPECT_EQ(label(), s("结算记录：2条   话单数：4   合计：45.10元   应收：5.00元   应退：9.90元"));
    auto *view = child<QTableView>(QStringLiteral("hfgLedger"));
    const int when = int(SettleLedger::header().indexOf(s("结算时间")));
    const QPoint onWhen(view->horizontalHeader()->sectionViewportPosition(when) + 4,
                        view->horizontalHeader()->height() / 2);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, onWhen);
    QTest::mouseClick(view->horizontalHeader()->viewport(), Qt::LeftButton, {}, onWhen);
    ASSERT_EQ(column(s("结算时间")), (QStringList{s("2026-12-31 23:59:59"), s("2026-12-01 00:00:00")}));

    click(QStringLiteral("cmdExport"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, s("已导出 2 行到文件：") + path);
    const auto book = test::readXlsx(path);
    ASSERT_TRUE(book);
    const test::XlsxSheet *sheet = book->sheet(s("结算记录"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rowCount(), 3);
    EXPECT_EQ(sheet->row(2).at(when).value, s("2026-12-31 23:59:59"));
    EXPECT_EQ(sheet->row(3).at(when).value, s("2026-12-01 00:00:00"));

    // Nothing shown: the totals are nil and there is nothing to export.
    test::fill(child<QLineEdit>(QStringLiteral("txtFilter")), s("802"));
    EXPECT_EQ(list()->rowCount(), 0);
    EXPECT_EQ(label(), s("结算记录：0条   话单数：0   合计：0.00元   应收：0.00元   应退：0.00元"));
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("cmdExport"))->isEnabled());
}
