// The query window driven as an operator would, through to the bill window
// and the settlement window (both modal, run through ctx.runModal), their
// previews, the CSV export, deletion behind right 10, the settlement with the
// class commands read off a pseudo-terminal standing in for the switch, and
// the grand total through a printer port of the test's own.
#include "BackgroundWork.h"
#include "ConsoleContext.h"
#include "HexBytes.h"
#include "LedgerTable.h"
#include "PdfTools.h"
#include "PrintJobs.h"
#include "PtyPair.h"
#include "QueryFixture.h"
#include "Settlement.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestInput.h"
#include "TestStatus.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "XlsxReader.h"
#include "frmDeposit.h"
#include "frmPHNBill.h"
#include "frmPHNQuery.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

using namespace corvane;
using test::Bill;
using test::s;

namespace {

using test::child;
using test::hex;
using test::show;

// A default printer or none; keeps a copy of every document handed to it.
class FakePrinters : public PrinterPort {
public:
    std::optional<QString> defaultName;
    QStringList copies;
    test::TestHome home;

    std::optional<QString> defaultPrinter() override { return defaultName; }
    Checked<int> submit(const QString &, const QString &pdfPath, const QString &) override
    {
        const QString copy = home.file(QStringLiteral("job%1.pdf").arg(copies.size() + 1));
        QFile::copy(pdfPath, copy);
        copies.append(copy);
        return int(copies.size());
    }
};

// The texts that begin each word found, one per word, in the order the
// words stand down the pages of a PDF (page by page, top to bottom).
QStringList wordsDownThePages(const QString &pdf, const QStringList &wanted)
{
    const std::optional<test::PdfLayout> layout = test::pdfLayout(pdf);
    if (!layout)
        return {};
    QList<test::PdfWord> found;
    for (const test::PdfWord &w : layout->words)
        if (wanted.contains(w.text))
            found.append(w);
    std::stable_sort(found.begin(), found.end(), [](const test::PdfWord &a, const test::PdfWord &b) {
        return a.page != b.page ? a.page < b.page : a.box.top() < b.box.top();
    });
    QStringList out;
    for (const test::PdfWord &w : found)
        out.append(w.text);
    return out;
}

class QueryWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        ctx.login.OPLogin = true;
        ctx.login.OPName = s("张会计");
        ctx.login.OPRight = QStringList(QList<QString>(LoginState::RightCount, QStringLiteral("1")));
        ASSERT_TRUE(test::openSwitchOnPty(ctx, pty, link));
        pty.take();

        data = std::make_unique<test::QueryData>(ctx.db);
        data->setSettleClass(QStringLiteral("5"));
        data->addGroup(s("营业部"));
        data->setUser(QStringLiteral("801"), s("营业部"), s("张三"), QStringLiteral("30.00"));
        data->setUser(QStringLiteral("802"), s("营业部"), s("李四"), QStringLiteral("0.00"));
        EXPECT_TRUE(test::Ok(data->db.exec(s("UPDATE User SET 分机等级='1' WHERE 用户号码='801'"))));
        data->addDeposit(QStringLiteral("1"), QStringLiteral("801"), QStringLiteral("1"), QStringLiteral("-0.40"),
                         QStringLiteral("20.00"));
        data->addAccount(QStringLiteral("012"), s("前台"), QStringLiteral("1"), QStringLiteral("2"));
        data->addDeposit(QStringLiteral("012"), s("账号"), QStringLiteral("1"), QStringLiteral("-1.00"),
                         QStringLiteral("30.00"));
        bill801a = data->addBill(
            {QStringLiteral("801"), s("2026年12月09日10时30分"), QStringLiteral("2"), QStringLiteral("1.20")});
        bill801b = data->addBill(
            {QStringLiteral("801"), s("2026年12月09日10:31:20"), QStringLiteral("9"), QStringLiteral("0.80")});
        bill8011 = data->addBill({QStringLiteral("8011"), s("2026年12月09日10时30分")});
        bill802 = data->addBill(
            {QStringLiteral("802"), s("2026年12月09日11时00分"), QStringLiteral("8"), QStringLiteral("0.50")});
        billAcct =
            data->addBill({s("账号012"), s("2026年12月09日11时05分"), QStringLiteral("3"), QStringLiteral("2.50")});
        // Group and name as the intake copies them from the user row.
        EXPECT_TRUE(test::Ok(
            data->db.exec(s("UPDATE PHNBill SET 组名=(SELECT 组名 FROM User WHERE User.用户号码=PHNBill.主叫号码), "
                            "用户名称=(SELECT 用户名称 FROM User WHERE User.用户号码=PHNBill.主叫号码) "
                            "WHERE 主叫号码 IN ('801', '802')"))));

        ctx.runModal = [this](QDialog &d) {
            d.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
            const auto handler = modal.find(d.objectName());
            EXPECT_NE(handler, modal.end()) << "unexpected window " << d.objectName().toStdString();
            if (handler != modal.end())
                handler->second(d);
            opened.append(d.objectName());
            return d.result();
        };
    }

    void TearDown() override
    {
        w.reset();
        data.reset();
        test::closeSwitchOnPty(ctx, link);
        ctx.db.close();
    }

    frmPHNQuery &open()
    {
        w = std::make_unique<frmPHNQuery>(ctx, nullptr, &printers);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return *w;
    }

    // Clicks a button, which must be enabled.
    static void click(QWidget *in, const QString &name)
    {
        auto *b = test::child<QAbstractButton>(in, name);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled()) << name.toStdString();
        test::press(b);
    }
    // 开始处理: the records are chosen beside the interface thread, and the
    // list window opens when they are.
    void deal()
    {
        click(w.get(), QStringLiteral("cmdDeal"));
        ASSERT_TRUE(test::waitFor([&] { return w->cmdDeal->isEnabled(); }));
    }
    // Waits for what a window does beside the interface thread (an export,
    // a deletion).
    static bool idle(QWidget *in)
    {
        return test::waitFor([in] {
            const auto *work = in->findChild<BackgroundWork *>();
            return !work || !work->running();
        });
    }
    // Clicks the list items whose text starts with each prefix.
    void pick(const QStringList &prefixes)
    {
        auto *list = test::child<QListWidget>(w.get(), QStringLiteral("lstUser"));
        for (const QString &p : prefixes) {
            ASSERT_NO_FATAL_FAILURE(test::clickItem(list, p, Qt::MatchStartsWith));
            ASSERT_TRUE(list->findItems(p, Qt::MatchStartsWith).first()->isSelected());
        }
    }
    static QString label(QWidget *in) { return test::child<QLabel>(in, QStringLiteral("lblInformation"))->text(); }
    static int listRows(QWidget *in, const QString &grid)
    {
        return test::child<QTableView>(in, grid)->model()->rowCount();
    }

    QByteArray sent() { return test::sentThroughQueue(*link, pty, clock); }

    // Saves the preview's report as PDF and returns its text.
    QString previewText(QDialog &d, const QString &file)
    {
        auto *preview = qobject_cast<ReportPreviewDialog *>(&d);
        EXPECT_NE(preview, nullptr);
        if (!preview)
            return QString();
        const QString path = home.file(file);
        EXPECT_TRUE(bool(preview->savePdf(path)));
        return test::pdfPageTexts(path).join(QLatin1Char('\n'));
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(15, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair pty;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<test::QueryData> data;
    FakePrinters printers;
    std::unique_ptr<frmPHNQuery> w;
    std::map<QString, std::function<void(QDialog &)>> modal;
    QStringList opened;
    qint64 bill801a = 0, bill801b = 0, bill8011 = 0, bill802 = 0, billAcct = 0;
};

TEST_F(QueryWindowTest, QueryListsPrintsExportsAndDeletesBehindRight10)
{
    // A print.mdb that is no database is made anew, not shown as an empty list.
    QDir().mkpath(ctx.home.dataDir());
    QFile damaged(ctx.home.printDb());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("this is no database");
    damaged.close();
    open();
    EXPECT_EQ(test::child<QCheckBox>(w.get(), QStringLiteral("chkClass_9"))->text(), s("呼入"));
    EXPECT_FALSE(test::child<QCheckBox>(w.get(), QStringLiteral("chkRent"))->isEnabled())
        << "offered only when settling";
    // 120 extensions, and the caller 8011 that no extension has any more, whose
    // records can still be listed and settled.
    auto *users = test::child<QListWidget>(w.get(), QStringLiteral("lstUser"));
    ASSERT_EQ(users->count(), 121);
    EXPECT_EQ(users->item(120)->text(), s("8011--（已停用）"));
    pick({s("801--")});

    const QString csv = home.file(QStringLiteral("bills.csv"));
    modal[QStringLiteral("DRBillPrint")] = [&](QDialog &d) {
        const QString text = previewText(d, QStringLiteral("bills.pdf"));
        for (const QString &t : {s("话单"), s("主叫号码"), s("结束时间"), s("2026年12月09日10:31:20"), s("话单总数："),
                                 s("话费总计："), s("2.00元")})
            EXPECT_TRUE(text.contains(t)) << t.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("8011")));
    };
    modal[QStringLiteral("frmPHNBill")] = [&](QDialog &d) {
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 2) << "801 only, not 8011";
        EXPECT_EQ(label(&d), s("总计话单数：2   总计金额：2.00元"));

        // End times in one form, durations as minutes and seconds; both and
        // the money right-aligned.
        auto *view = test::child<QTableView>(&d, QStringLiteral("hfgPHNBill"));
        const QAbstractItemModel *model = view->model();
        auto cell = [&](int r, int c) { return model->index(r, c).data().toString(); };
        auto right = [&](int r, int c) {
            return bool(model->index(r, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
        };
        const QRegularExpression endForm(s("^\\d{4}年\\d\\d月\\d\\d日\\d\\d时\\d\\d分$"));
        QStringList ends;
        for (int r = 0; r < 2; ++r) {
            ends << cell(r, 2);
            EXPECT_TRUE(endForm.match(cell(r, 2)).hasMatch()) << cell(r, 2).toStdString();
            EXPECT_TRUE(QRegularExpression(s("^\\d\\d:\\d\\d$")).match(cell(r, 3)).hasMatch())
                << cell(r, 3).toStdString();
            EXPECT_TRUE(right(r, 3) && right(r, 6)) << r;
            EXPECT_FALSE(right(r, 1)) << r;
        }
        EXPECT_TRUE(ends.contains(s("2026年12月09日10时31分")));
        // A click on a caption sorts by that column, a second click the other way.
        QHeaderView *header = view->horizontalHeader();
        const QPoint onEnd(header->sectionViewportPosition(2) + 4, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onEnd);
        EXPECT_LT(cell(0, 2), cell(1, 2));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onEnd);
        EXPECT_GT(cell(0, 2), cell(1, 2));
        // The filter box leaves the rows holding what is typed.
        auto *filter = test::child<QLineEdit>(&d, QStringLiteral("txtFilter"));
        test::fill(filter, s("10时31分"));
        ASSERT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 1);
        EXPECT_EQ(cell(0, 2), s("2026年12月09日10时31分"));
        test::fill(filter, QString());
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 2);

        click(&d, QStringLiteral("cmdPrint"));

        static_cast<frmPHNBill &>(d).setExportPathAsker([&](const QString &) { return csv; });
        click(&d, QStringLiteral("cmdExport"));
        ASSERT_TRUE(idle(&d));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, s("已导出 2 行到文件：") + csv);

        // Right 10 "0" refuses.
        ctx.login.OPRight[10] = QStringLiteral("0");
        click(&d, QStringLiteral("cmdDelete"));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, s("您没有删除话单的权限！"));
        EXPECT_EQ(messages.last()->title, s("权限不够"));
        EXPECT_EQ(data->cell(s("SELECT count(*) FROM PHNBill")), QStringLiteral("5"));

        // "1" asks first; No keeps everything.
        ctx.login.OPRight[10] = QStringLiteral("1");
        messages.queueAnswer(MessageService::Answer::No);
        click(&d, QStringLiteral("cmdDelete"));
        EXPECT_EQ(messages.last()->text, s("是否删除列表中的2条话单？"));
        EXPECT_EQ(data->cell(s("SELECT count(*) FROM PHNBill")), QStringLiteral("5"));
        messages.queueAnswer(MessageService::Answer::Yes);
        click(&d, QStringLiteral("cmdDelete"));
        ASSERT_TRUE(idle(&d));
        EXPECT_EQ(label(&d), s("总计话单数：0   总计金额：0.00元"));
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 0);
    };
    deal();
    EXPECT_EQ(opened, (QStringList{QStringLiteral("DRBillPrint"), QStringLiteral("frmPHNBill")}));

    // Exactly the two listed records went.
    EXPECT_EQ(
        data->rows(s("SELECT rowid FROM PHNBill ORDER BY rowid")),
        (QList<QStringList>{{QString::number(bill8011)}, {QString::number(bill802)}, {QString::number(billAcct)}}));

    // The spreadsheet file: byte-order mark, header, the two records as
    // sorted, the latest first.
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines.at(0).startsWith(s("主叫号码,")));
    EXPECT_TRUE(lines.at(1).startsWith(s("\"801\",\"02087654321\",\"2026年12月09日10:31:20\",")))
        << lines.at(1).toStdString();
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral(",0.80")));
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral(",1.20"))) << lines.at(2).toStdString();
}

// Filtered and sorted, the bill window totals, previews, exports and deletes
// the records it shows, in the order it shows them; a user the query
// window's filter hides is not queried although it was chosen.
TEST_F(QueryWindowTest, TheBillWindowActsOnTheRecordsShownInTheirOrder)
{
    Bill far{QStringLiteral("801"), s("2026年12月09日12时00分"), QStringLiteral("2"), QStringLiteral("3.40")};
    far.area = s("北京");
    const qint64 bill801c = data->addBill(far);
    open();
    pick({s("801--"), s("802--"), s("8011--")});
    test::fill(test::child<QLineEdit>(w.get(), QStringLiteral("txtFilterUser")), QStringLiteral("1"));

    const QString book = home.file(QStringLiteral("shown.xlsx"));
    QStringList previewFees;
    QString previewText;
    modal[QStringLiteral("DRBillPrint")] = [&](QDialog &d) {
        auto *preview = qobject_cast<ReportPreviewDialog *>(&d);
        ASSERT_NE(preview, nullptr);
        const QString pdf = home.file(QStringLiteral("shown.pdf"));
        ASSERT_TRUE(bool(preview->savePdf(pdf)));
        previewText = test::pdfPageTexts(pdf).join(QLatin1Char('\n'));
        previewFees = wordsDownThePages(pdf, {QStringLiteral("0.80"), QStringLiteral("1.00"), QStringLiteral("1.20"),
                                              QStringLiteral("3.40"), QStringLiteral("0.50")});
    };
    modal[QStringLiteral("frmPHNBill")] = [&](QDialog &d) {
        auto *view = test::child<QTableView>(&d, QStringLiteral("hfgPHNBill"));
        const QAbstractItemModel *model = view->model();
        auto column = [&](int c) {
            QStringList out;
            for (int r = 0; r < model->rowCount(); ++r)
                out << model->index(r, c).data().toString();
            return out;
        };
        EXPECT_EQ(column(0), (QStringList{QStringLiteral("801"), QStringLiteral("801"), QStringLiteral("8011"),
                                          QStringLiteral("801")}))
            << "802 is chosen but hidden";

        // 北京 hidden; by the fee, the cheapest first.
        test::fill(test::child<QLineEdit>(&d, QStringLiteral("txtFilter")), s("广州"));
        EXPECT_EQ(label(&d), s("总计话单数：3   总计金额：3.00元"));
        QHeaderView *header = view->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(6) + 4, header->height() / 2));
        ASSERT_EQ(column(6), (QStringList{QStringLiteral("0.80"), QStringLiteral("1.00"), QStringLiteral("1.20")}));

        click(&d, QStringLiteral("cmdPrint"));
        EXPECT_EQ(previewFees, (QStringList{QStringLiteral("0.80"), QStringLiteral("1.00"), QStringLiteral("1.20")}));
        EXPECT_TRUE(previewText.contains(s("3.00元"))) << previewText.toStdString();

        static_cast<frmPHNBill &>(d).setExportPathAsker([&](const QString &) { return book; });
        click(&d, QStringLiteral("cmdExport"));
        ASSERT_TRUE(idle(&d));
        const auto read = test::readXlsx(book);
        ASSERT_TRUE(read);
        const test::XlsxSheet *sheet = read->sheet(s("话单"));
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->rowCount(), 4);
        const QStringList ends{s("2026年12月09日10:31:20"), s("2026年12月09日10时30分"), s("2026年12月09日10时30分")};
        const QStringList callers{QStringLiteral("801"), QStringLiteral("8011"), QStringLiteral("801")};
        const QList<double> fees{0.8, 1.0, 1.2};
        for (int r = 0; r < 3; ++r) {
            const QList<test::XlsxCell> row = sheet->row(r + 2);
            ASSERT_EQ(row.size(), 7) << r;
            EXPECT_EQ(row.at(0).value, callers.at(r)) << r;
            EXPECT_EQ(row.at(2).value, ends.at(r)) << r;
            EXPECT_DOUBLE_EQ(row.at(6).value.toDouble(), fees.at(r)) << r;
        }

        // The question counts what goes and what the filter keeps; "否" first.
        messages.queueAnswer(MessageService::Answer::Yes);
        click(&d, QStringLiteral("cmdDelete"));
        ASSERT_TRUE(idle(&d));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, s("是否删除列表中显示的3条话单？\n筛选隐藏的1条话单不删除。"));
        EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
        // The filter stays and now shows nothing: nothing to print, export or delete.
        EXPECT_EQ(test::child<QLineEdit>(&d, QStringLiteral("txtFilter"))->text(), s("广州"));
        EXPECT_EQ(model->rowCount(), 0);
        EXPECT_EQ(label(&d), s("总计话单数：0   总计金额：0.00元"));
        for (const char *b : {"cmdPrint", "cmdExport", "cmdDelete"})
            EXPECT_FALSE(test::child<QPushButton>(&d, QString::fromLatin1(b))->isEnabled()) << b;
        test::fill(test::child<QLineEdit>(&d, QStringLiteral("txtFilter")), QString());
        EXPECT_EQ(column(5), QStringList{s("北京")});
        EXPECT_EQ(label(&d), s("总计话单数：1   总计金额：3.40元"));
        EXPECT_TRUE(test::child<QPushButton>(&d, QStringLiteral("cmdDelete"))->isEnabled());
    };
    deal();
    EXPECT_EQ(opened, (QStringList{QStringLiteral("DRBillPrint"), QStringLiteral("frmPHNBill")}));
    EXPECT_EQ(
        data->rows(s("SELECT rowid FROM PHNBill ORDER BY rowid")),
        (QList<QStringList>{{QString::number(bill802)}, {QString::number(billAcct)}, {QString::number(bill801c)}}));
}

// The pickers hold whole seconds: a range typed from 10:30:00 to 10:31:20
// takes the call ending at 10:30 (minute form) and the one at 10:31:20
// (seconds form), although the clock had milliseconds when the window opened;
// a record one second later stays out.
TEST_F(QueryWindowTest, ARangeTypedInWholeSecondsTakesItsFirstAndLastSecond)
{
    clock.set(QDateTime(QDate(2026, 12, 9), QTime(15, 0, 0, 537)));
    data->addBill({QStringLiteral("801"), s("2026年12月09日10:31:21"), QStringLiteral("9"), QStringLiteral("0.10")});
    open();
    pick({s("801--")});
    // The box spans the range's width, so its middle is beside its text: tick it
    // from the keyboard as a clerk tabbing through would.
    QTest::keyClick(test::child<QCheckBox>(w.get(), QStringLiteral("chkON")), Qt::Key_Space);
    ASSERT_TRUE(test::child<QCheckBox>(w.get(), QStringLiteral("chkON"))->isChecked());
    click(w.get(), QStringLiteral("optBill_0"));
    for (const auto &[name, typed] : {std::pair{"dtpTimeBegin", "103000"}, std::pair{"dtpTimeEnd", "103120"}}) {
        auto *time = test::child<QTimeEdit>(w.get(), QString::fromUtf8(name));
        time->setFocus();
        time->setSelectedSection(QDateTimeEdit::HourSection);
        test::typeText(time, QString::fromUtf8(typed));
        QTest::keyClick(time, Qt::Key_Tab);
    }
    modal[QStringLiteral("frmPHNBill")] = [&](QDialog &d) {
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 2) << "10:30 and 10:31:20, not 10:31:21";
    };
    deal();
    EXPECT_EQ(opened, QStringList{QStringLiteral("frmPHNBill")});
}

TEST_F(QueryWindowTest, SettledRecordsOpenTheSettlementWindowWithoutTheSettleButton)
{
    EXPECT_TRUE(test::Ok(data->db.exec(s("UPDATE PHNBill SET 话单性质='已结算' WHERE rowid=?"), {bill801a})));
    open();
    pick({s("801--")});
    click(w.get(), QStringLiteral("optDeposit"));
    EXPECT_TRUE(test::child<QCheckBox>(w.get(), QStringLiteral("chkRent"))->isEnabled());
    click(w.get(), QStringLiteral("optBill_2"));
    modal[QStringLiteral("frmDeposit")] = [&](QDialog &d) {
        EXPECT_FALSE(test::child<QPushButton>(&d, QStringLiteral("cmdDeposit"))->isEnabled());
        // A settlement never sums a settled record again: the list is empty
        // and says what it left out.
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgDeposit")), 0);
        EXPECT_EQ(label(&d), s("总计话费：0.00"));
        EXPECT_TRUE(test::child<QLabel>(&d, QStringLiteral("lblSettled"))->text().contains(s("另有1条已结算的话单")));
    };
    deal();
    EXPECT_EQ(opened, QStringList{QStringLiteral("frmDeposit")});
}

TEST_F(QueryWindowTest, SettlingAGroupPrintsReceiptsAndTheGrandTotal)
{
    open();
    click(w.get(), QStringLiteral("optGroup"));
    pick({s("营业部")});
    click(w.get(), QStringLiteral("optDeposit"));
    click(w.get(), QStringLiteral("chkRent")); // the rent is waived this month

    modal[QStringLiteral("DRPage")] = [&](QDialog &d) {
        const QString text = previewText(d, QStringLiteral("receipts.pdf"));
        for (const QString &t :
             {s("电信电话费收据"), s("收款员"), s("张会计"), s("李四"), s("张三"), s("0.50"), s("2.00")})
            EXPECT_TRUE(text.contains(t)) << t.toStdString();
    };
    modal[QStringLiteral("frmDeposit")] = [&](QDialog &dialog) {
        auto &d = static_cast<frmDeposit &>(dialog);
        EXPECT_EQ(listRows(&d, QStringLiteral("hfgDeposit")), 2);
        EXPECT_EQ(label(&d), s("总计话费：2.50"));

        // Enter in the list settles nothing: no button is the default.
        auto *list = test::child<QTableView>(&d, QStringLiteral("hfgDeposit"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(label(&d), s("总计话费：2.50"));
        EXPECT_EQ(data->stateOf(bill801a), s("未结算"));
        EXPECT_TRUE(d.isVisible());

        // Asked first ("否" is the default); the receipts are printed below.
        messages.queueAnswer(MessageService::Answer::Yes);
        messages.queueAnswer(MessageService::Answer::No);
        click(&d, QStringLiteral("cmdDeposit"));
        // What settling would do is worked out beside the interface thread first.
        ASSERT_TRUE(test::waitFor([&] {
            return messages.texts().contains(s("将结算2户共3条话单，合计2.50元（含月租费）；应收2.90元，应退0.00元。\n"
                                               "结算后押金清零。请按收据收款或退款。确定结算吗？"));
        })) << messages.texts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(label(&d), s("正在处理，请不要退出！"));
        EXPECT_FALSE(d.close()) << "the window is not closed while settling";
        EXPECT_TRUE(d.isVisible());
        ASSERT_TRUE(test::waitFor([&] { return label(&d) == s("处理完毕！"); }));
        EXPECT_TRUE(d.isReady());

        click(&d, QStringLiteral("cmdPagePrint"));

        // No printer: the box, and the window stays open.
        click(&d, QStringLiteral("cmdPrintTotal"));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, s("没有可用的打印机！"));
        EXPECT_EQ(messages.last()->title, s("错误！"));
        EXPECT_TRUE(d.isVisible());
        // A printer: the grand total goes to it and the window closes.
        printers.defaultName = QStringLiteral("front-desk");
        click(&d, QStringLiteral("cmdPrintTotal"));
        EXPECT_FALSE(d.isVisible());
    };
    deal();
    EXPECT_EQ(opened, (QStringList{QStringLiteral("DRPage"), QStringLiteral("frmDeposit")}));

    ASSERT_EQ(printers.copies.size(), 1);
    const QString total = test::pdfPageTexts(printers.copies.first()).join(QLatin1Char('\n'));
    for (const QString &t : {s("总计话费"), s("2026年12月09日"), s("长话费"), s("呼入费"), s("2.50")})
        EXPECT_TRUE(total.contains(t)) << t.toStdString();

    // 801 and 802 settled, 8011 and the account not; 801's deposit and class reset.
    EXPECT_EQ(data->stateOf(bill801a), s("已结算"));
    EXPECT_EQ(data->stateOf(bill801b), s("已结算"));
    EXPECT_EQ(data->stateOf(bill802), s("已结算"));
    EXPECT_EQ(data->stateOf(bill8011), s("未结算"));
    EXPECT_EQ(data->stateOf(billAcct), s("未结算"));
    EXPECT_EQ(data->depositOf(QStringLiteral("1"), false),
              (QStringList{QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("5")}));
    // *10*5*801#, once; nothing for 802, which pays no deposit.
    EXPECT_EQ(show(sent()), show(hex("0B 1A 0B 05 0B 08 A1 0C")));
}

// Filtered and sorted, the settlement window totals, previews, prints and
// exports the rooms it shows, in the order it shows them.
TEST_F(QueryWindowTest, TheSettlementWindowActsOnTheRoomsShownInTheirOrder)
{
    open();
    pick({s("801--"), s("802--"), s("8011--")});
    click(w.get(), QStringLiteral("optDeposit"));
    click(w.get(), QStringLiteral("chkRent")); // fees only: 2.00, 0.50 and 1.00

    const QString book = home.file(QStringLiteral("fees.xlsx"));
    const QStringList names{s("张三"), s("李四"), s("（已停用）")};
    QMap<QString, QStringList> previews; // report -> the names down its pages
    auto keep = [&](QDialog &d) {
        auto *preview = qobject_cast<ReportPreviewDialog *>(&d);
        ASSERT_NE(preview, nullptr);
        const QString pdf = home.file(d.objectName() + QStringLiteral(".pdf"));
        ASSERT_TRUE(bool(preview->savePdf(pdf)));
        previews[d.objectName()] = wordsDownThePages(pdf, names);
    };
    modal[QStringLiteral("DRPrint")] = keep;
    modal[QStringLiteral("DRPage")] = keep;
    modal[QStringLiteral("frmDeposit")] = [&](QDialog &d) {
        auto *view = test::child<QTableView>(&d, QStringLiteral("hfgDeposit"));
        const QAbstractItemModel *model = view->model();
        auto numbers = [&] {
            QStringList out;
            for (int r = 0; r < model->rowCount(); ++r)
                out << model->index(r, 1).data().toString();
            return out;
        };
        ASSERT_EQ(numbers(), (QStringList{QStringLiteral("801"), QStringLiteral("8011"), QStringLiteral("802")}));
        EXPECT_EQ(label(&d), s("总计话费：3.50"));

        // The group's rooms, the smaller total first.
        test::fill(test::child<QLineEdit>(&d, QStringLiteral("txtFilter")), s("营业部"));
        EXPECT_EQ(label(&d), s("总计话费：2.50"));
        QHeaderView *header = view->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(col::PrintFee::Total) + 4, header->height() / 2));
        ASSERT_EQ(numbers(), (QStringList{QStringLiteral("802"), QStringLiteral("801")}));

        click(&d, QStringLiteral("cmdGridPrint"));
        click(&d, QStringLiteral("cmdPagePrint"));
        EXPECT_EQ(previews.value(QStringLiteral("DRPrint")), (QStringList{s("李四"), s("张三")}));
        EXPECT_EQ(previews.value(QStringLiteral("DRPage")), (QStringList{s("李四"), s("张三")}));

        static_cast<frmDeposit &>(d).setExportPathAsker([&](const QString &) { return book; });
        click(&d, QStringLiteral("cmdExport"));
        const auto read = test::readXlsx(book);
        ASSERT_TRUE(read);
        const test::XlsxSheet *sheet = read->sheet(s("话费"));
        ASSERT_NE(sheet, nullptr);
        ASSERT_EQ(sheet->rowCount(), 3);
        EXPECT_EQ(sheet->row(2).at(col::PrintFee::Number).value, QStringLiteral("802"));
        EXPECT_EQ(sheet->row(3).at(col::PrintFee::Number).value, QStringLiteral("801"));
        EXPECT_DOUBLE_EQ(sheet->row(3).at(col::PrintFee::Total).value.toDouble(), 2.0);

        // Nothing shown: nothing to print or export.
        test::fill(test::child<QLineEdit>(&d, QStringLiteral("txtFilter")), s("无此用户"));
        EXPECT_EQ(label(&d), s("总计话费：0.00"));
        for (const char *b : {"cmdGridPrint", "cmdPagePrint", "cmdPrintTotal", "cmdExport"})
            EXPECT_FALSE(test::child<QPushButton>(&d, QString::fromLatin1(b))->isEnabled()) << b;
        test::fill(test::child<QLineEdit>(&d, QStringLiteral("txtFilter")), s("营业部"));

        printers.defaultName = QStringLiteral("front-desk");
        click(&d, QStringLiteral("cmdPrintTotal"));
        EXPECT_FALSE(d.isVisible());
    };
    deal();
    ASSERT_EQ(printers.copies.size(), 1);
    const QString total = test::pdfPageTexts(printers.copies.first()).join(QLatin1Char('\n'));
    EXPECT_TRUE(total.contains(QStringLiteral("2.50"))) << total.toStdString();
    EXPECT_FALSE(total.contains(QStringLiteral("3.50"))) << total.toStdString();
    // Previewing and printing settle nothing.
    EXPECT_EQ(data->stateOf(bill801a), s("未结算"));
    EXPECT_EQ(data->stateOf(bill8011), s("未结算"));
}

TEST_F(QueryWindowTest, AnAccountIsRestoredWithTheAccountCommand)
{
    open();
    click(w.get(), QStringLiteral("optAccount"));
    pick({s("012--")});
    click(w.get(), QStringLiteral("optDeposit"));
    modal[QStringLiteral("frmDeposit")] = [&](QDialog &d) {
        messages.queueAnswer(MessageService::Answer::Yes);
        messages.queueAnswer(MessageService::Answer::No);
        click(&d, QStringLiteral("cmdDeposit"));
        ASSERT_TRUE(test::waitFor([&] { return label(&d) == s("处理完毕！"); }));
        // The account held 30.00 but its balance is -1.00 (31.00 of calls
        // charged already): the 2.50 not charged yet and the 1.00 owed are taken.
        EXPECT_EQ(test::child<QLabel>(&d, QStringLiteral("lblSettled"))->text(),
                  s("已结算1户共1条话单，合计2.50元；应收3.50元，应退0.00元。"));
    };
    deal();
    EXPECT_EQ(data->stateOf(billAcct), s("已结算"));
    EXPECT_EQ(data->cell(s("SELECT 等级 FROM Account WHERE 账号编号='012'")), QStringLiteral("5"));
    // *68*5*2*0*012#
    EXPECT_EQ(show(sent()), show(hex("0B 68 0B 05 0B 02 0B 0A 0B 0A 12 0C")));
}

TEST_F(QueryWindowTest, AFailedSettlementSaysSoAndSendsNothing)
{
    ASSERT_TRUE(data->db.exec(QStringLiteral("CREATE TRIGGER full BEFORE UPDATE ON Foregift "
                                             "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));
    open();
    pick({s("801--")});
    click(w.get(), QStringLiteral("optDeposit"));
    modal[QStringLiteral("frmDeposit")] = [&](QDialog &d) {
        messages.queueAnswer(MessageService::Answer::Yes);
        click(&d, QStringLiteral("cmdDeposit"));
        ASSERT_TRUE(test::waitFor([&] { return static_cast<frmDeposit &>(d).isReady(); }));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_TRUE(messages.last()->text.contains(QStringLiteral("disk is full")))
            << messages.last()->text.toStdString();
        EXPECT_NE(label(&d), s("处理完毕！"));
        EXPECT_TRUE(test::child<QPushButton>(&d, QStringLiteral("cmdDeposit"))->isEnabled()) << "may be tried again";
    };
    deal();
    EXPECT_EQ(data->stateOf(bill801a), s("未结算"));
    EXPECT_EQ(data->cell(s("SELECT 分机等级 FROM User WHERE 用户号码='801'")), QStringLiteral("1"));
    EXPECT_EQ(sent(), QByteArray());
    EXPECT_TRUE(LedgerTable(ctx.db).select({}, {})->isEmpty()) << "no ledger row for a settlement that failed";
}

} // namespace

namespace {

// Dates are typed as clerks write them, the months a clerk asks for most are
// one press, and a list the query left empty says why.
TEST_F(QueryWindowTest, DatesAreTypedAndAnEmptyListSaysWhy)
{
    open();
    test::tick(test::child<QCheckBox>(w.get(), QStringLiteral("chkON")), true);
    auto *begin = test::child<QDateEdit>(w.get(), QStringLiteral("dtpDateBegin"));
    auto *end = test::child<QDateEdit>(w.get(), QStringLiteral("dtpDateEnd"));
    begin->setFocus();
    QTest::keyClicks(begin, QStringLiteral("20261101"));
    EXPECT_EQ(begin->date(), QDate(2026, 11, 1));
    end->setFocus();
    QTest::keyClicks(end, QStringLiteral("1205"));
    EXPECT_EQ(end->date(), QDate(2026, 12, 5)) << "four digits: within the year it shows";

    click(w.get(), QStringLiteral("cmdLastMonth"));
    EXPECT_EQ(begin->date(), QDate(2026, 11, 1));
    EXPECT_EQ(end->date(), QDate(2026, 11, 30));
    EXPECT_EQ(test::child<QTimeEdit>(w.get(), QStringLiteral("dtpTimeEnd"))->time(), QTime(23, 59, 59));

    // The range of one moment finds nothing, and says so.
    w.reset();
    open();
    pick({s("801--")});
    test::tick(test::child<QCheckBox>(w.get(), QStringLiteral("chkON")), true);
    QString said;
    modal[QStringLiteral("frmPHNBill")] = [&](QDialog &d) {
        said = test::child<QLabel>(&d, QStringLiteral("lblEmpty"))->text();
        EXPECT_FALSE(test::child<QPushButton>(&d, QStringLiteral("cmdExport"))->isEnabled());
    };
    deal();
    EXPECT_TRUE(said.contains(s("时间范围只有一个时刻"))) << said.toStdString();

    click(w.get(), QStringLiteral("cmdThisMonth"));
    modal[QStringLiteral("frmPHNBill")] = [&](QDialog &d) { EXPECT_EQ(listRows(&d, QStringLiteral("hfgPHNBill")), 2); };
    deal();
}

} // namespace
