// The rate, discount, IP and holiday tables window, driven as an operator
// would: double-clicks on grid cells, typing into the in-cell editors, Enter
// and Escape, clicks on buttons. The star codes it sends are read off a
// pseudo-terminal standing in for the switch's port and compared with bytes
// written out by hand; a marker command queued behind them tells when all
// have arrived, so no test waits a fixed time.
#include "ConsoleContext.h"
#include "DiscountRules.h"
#include "FeeEngine.h"
#include "FlexGrid.h"
#include "GridHelpers.h"
#include "HexBytes.h"
#include "PtyPair.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPHNDiscount.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using test::hex;
using test::show;

class DiscountWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        ASSERT_TRUE(test::openSwitchOnPty(ctx, pty, link));
        engine = std::make_unique<FeeEngine>(ctx.db);
    }

    void TearDown() override
    {
        w.reset();
        test::closeSwitchOnPty(ctx, link);
        engine.reset();
        ctx.db.close();
    }

    frmPHNDiscount &open()
    {
        w = std::make_unique<frmPHNDiscount>(ctx, nullptr, engine.get());
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return *w;
    }

    template <typename T>
    T *child(const QString &name)
    {
        return test::child<T>(w.get(), name);
    }
    FlexGrid *grid(const QString &name) { return child<FlexGrid>(name); }
    QLineEdit *edit(const QString &name) { return child<QLineEdit>(name); }

    QByteArray sent() { return test::sentThroughQueue(*link, pty, clock); }

    QList<QStringList> rows(const QString &sql, const QVariantList &params = {})
    {
        return ctx.db.select(sql, params).value_or(QList<QStringList>());
    }
    QString cell(const QString &sql, const QVariantList &params = {})
    {
        return ctx.db.scalar(sql, params).value_or(QStringLiteral("<none>"));
    }
    int feerateCount() { return cell(QStringLiteral("SELECT count(*) FROM Feerate")).toInt(); }

    // One value typed into a grid cell: refused with its message, or stored as
    // `stored` (the typed text when that is empty).
    struct CellCase {
        int col;
        QString typed;
        QString refusal; // empty: accepted
        QString stored = {};
    };
    // Types each case into row r of the grid and checks the table row that
    // `storedRow` reads: an accepted value lands there and in the grid, a refused
    // one leaves the row as it was and keeps the editor open.
    void checkCellCases(FlexGrid *g, int r, QLineEdit *editor, const std::function<QStringList()> &storedRow,
                        const QList<CellCase> &cases)
    {
        for (const CellCase &k : cases) {
            const QStringList before = storedRow();
            test::dblClickCell(g, r, k.col);
            ASSERT_FALSE(editor->isHidden()) << k.col;
            test::enter(editor, k.typed);
            if (!k.refusal.isEmpty()) {
                expectRefused(k.refusal, editor, k.typed);
                EXPECT_EQ(storedRow(), before) << k.typed.toStdString();
                QTest::keyClick(editor, Qt::Key_Escape); // Escape drops what was typed
                EXPECT_TRUE(editor->isHidden());
                continue;
            }
            const QString expected = k.stored.isEmpty() ? k.typed : k.stored;
            EXPECT_TRUE(messages.shown().isEmpty()) << k.typed.toStdString();
            EXPECT_EQ(storedRow().value(k.col), expected) << k.typed.toStdString();
            EXPECT_EQ(g->textMatrix(r, k.col), expected) << k.typed.toStdString();
            EXPECT_TRUE(editor->isHidden());
        }
    }

    void expectRefused(const QString &message, QLineEdit *editor, const QString &typed)
    {
        ASSERT_NE(messages.last(), nullptr) << "no message for " << typed.toStdString();
        EXPECT_EQ(messages.last()->text, message) << typed.toStdString();
        EXPECT_EQ(messages.last()->title, QStringLiteral("输入错误"));
        EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
        // The refused text stays in the box, selected for typing over.
        EXPECT_FALSE(editor->isHidden());
        EXPECT_TRUE(editor->hasFocus());
        EXPECT_EQ(editor->text(), typed);
        EXPECT_EQ(editor->selectedText(), typed);
        messages.clear();
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair pty;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<FeeEngine> engine;
    std::unique_ptr<frmPHNDiscount> w;
};

TEST_F(DiscountWindowTest, OpensWithEveryTableInItsGrid)
{
    // The setting without a card number comes from IP row "13".
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE IP SET 启用='1', 切入码='88886666', 延时1='3' WHERE 序号='13'")));
    open();

    auto *tabs = child<QTabWidget>(QStringLiteral("sstDiscount"));
    ASSERT_EQ(tabs->count(), 12);
    for (int t = 0; t < 10; ++t)
        EXPECT_EQ(tabs->tabText(t), ctx.CallTypeNames.at(t));
    EXPECT_EQ(tabs->tabText(10), QStringLiteral("IP设置"));
    EXPECT_EQ(tabs->tabText(11), QStringLiteral("折价"));

    // Rates of one type, ordered by prefix; the default row's empty prefix first.
    FlexGrid *domestic = grid(QStringLiteral("hfgFeerate_2"));
    EXPECT_EQ(domestic->cols(), 11);
    EXPECT_EQ(domestic->textMatrix(0, 0), QStringLiteral("区号"));
    EXPECT_EQ(domestic->textMatrix(0, 10), QStringLiteral("折价"));
    EXPECT_EQ(domestic->textMatrix(1, 1), QStringLiteral("国内默认"));
    EXPECT_EQ(domestic->textMatrix(2, 0), QStringLiteral("0"));
    EXPECT_EQ(domestic->textMatrix(3, 0), QStringLiteral("010"));
    EXPECT_EQ(domestic->rows(), 1 + cell(QStringLiteral("SELECT count(*) FROM Feerate WHERE 类型='2'")).toInt());
    // Only the types with rows of their own have the row tools.
    EXPECT_EQ(w->findChild<QPushButton *>(QStringLiteral("cmdAddDiscount_9")), nullptr);
    EXPECT_NE(w->findChild<QPushButton *>(QStringLiteral("cmdChangeValue_8")), nullptr);

    FlexGrid *ip = grid(QStringLiteral("hfgIP"));
    EXPECT_EQ(ip->rows(), 13); // captions and the twelve cards, not row "13"
    EXPECT_EQ(ip->textMatrix(12, 0), QStringLiteral("12"));
    EXPECT_TRUE(child<QCheckBox>(QStringLiteral("chkTurnOnIP"))->isChecked());
    EXPECT_TRUE(child<QRadioButton>(QStringLiteral("optDelay_3"))->isChecked());
    EXPECT_EQ(edit(QStringLiteral("txtIPNumber"))->text(), QStringLiteral("88886666"));

    // Group captions over the column names.
    FlexGrid *discount = grid(QStringLiteral("hfgDiscount"));
    EXPECT_EQ(discount->fixedRows(), 2);
    const QStringList groups{"类型",  "时段A",  "时段A",  "时段A",  "时段A",  "时段B",  "时段B", "时段B",
                             "时段B", "星期六", "星期六", "星期天", "星期天", "节假日", "节假日"};
    for (int c = 0; c < groups.size(); ++c)
        EXPECT_EQ(discount->textMatrix(0, c), groups.at(c)) << c;
    EXPECT_EQ(discount->textMatrix(1, 1), QStringLiteral("时段A开关"));
    EXPECT_EQ(discount->textMatrix(2, 0), QStringLiteral("港澳台"));
    EXPECT_EQ(discount->rows(), 12);

    EXPECT_EQ(grid(QStringLiteral("hfgHoliday"))->textMatrix(1, 0), QStringLiteral("元旦"));
    EXPECT_EQ(sent(), QByteArray());

    // Pictures of three tabs for a person to look at.
    for (int t : {5, 10, 11}) {
        tabs->setCurrentIndex(t);
        QApplication::processEvents();
        w->grab().save(test::artifactDir() + QStringLiteral("/frmPHNDiscount_tab%1.png").arg(t));
    }
}

TEST_F(DiscountWindowTest, DefaultRowsKeepTheirNamesAndCannotBeDeleted)
{
    open();
    FlexGrid *city = grid(QStringLiteral("hfgFeerate_8"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_8"));
    const int r = FindGridRow(QStringLiteral("市话默认"), *city, 1);
    ASSERT_GT(r, 0);

    test::dblClickCell(city, r, 1);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("默认费率名称不可更改！"));
    EXPECT_EQ(messages.last()->title, MessageService::defaultTitle());
    EXPECT_TRUE(editor->isHidden());
    messages.clear();

    // Its rates stay editable, and the next call is priced with them.
    test::dblClickCell(city, r, 3);
    ASSERT_FALSE(editor->isHidden());
    EXPECT_EQ(editor->text(), QStringLiteral("0.20"));
    test::enter(editor, QStringLiteral("0.3"));
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_TRUE(editor->isHidden());
    EXPECT_EQ(cell(QStringLiteral("SELECT 首次费率 FROM Feerate WHERE 地区='市话默认'")), QStringLiteral("0.30"));
    EXPECT_EQ(city->textMatrix(FindGridRow(QStringLiteral("市话默认"), *city, 1), 3), QStringLiteral("0.30"));
    CallRec call;
    call.Called = QStringLiteral("88886666");
    call.Duration = QStringLiteral("10");
    call.EndTime = QStringLiteral("2026年12月08日10时00分");
    engine->ComputeFee(call);
    EXPECT_EQ(call.Fee, QStringLiteral("0.30"));

    const int before = feerateCount();
    test::clickCell(city, FindGridRow(QStringLiteral("市话默认"), *city, 1), 1);
    test::press(w.get(), QStringLiteral("cmdDeleteDiscount_8"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("默认费率不可删除！"));
    EXPECT_EQ(feerateCount(), before);

    // Incoming calls: prefix, name and discount switch stay as they are.
    messages.clear();
    FlexGrid *incoming = grid(QStringLiteral("hfgFeerate_9"));
    QLineEdit *incomingEditor = edit(QStringLiteral("txtFeerate_9"));
    const QString mark = incoming->textMatrix(1, 10);
    for (int c : {0, 1, 10}) {
        test::dblClickCell(incoming, 1, c);
        EXPECT_TRUE(incomingEditor->isHidden()) << c;
    }
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(cell(QStringLiteral("SELECT 折价 FROM Feerate WHERE 类型='9'")), mark);
    test::dblClickCell(incoming, 1, 5);
    EXPECT_FALSE(incomingEditor->isHidden());
    EXPECT_EQ(sent(), QByteArray());
}

TEST_F(DiscountWindowTest, RateEditorRefusesBadValuesAndStoresGoodOnes)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_2"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_2"));
    test::press(w.get(), QStringLiteral("cmdAddDiscount_2"));
    const QStringList added = rows(QStringLiteral("SELECT * FROM Feerate WHERE 地区='国内新添加'")).value(0);
    const QStringList fallback = rows(QStringLiteral("SELECT * FROM Feerate WHERE 地区='国内默认'")).value(0);
    ASSERT_EQ(added.size(), 12);
    EXPECT_EQ(added.mid(2), fallback.mid(2)); // a copy of the default row, type included
    EXPECT_EQ(added.at(0), QString());

    const QList<CellCase> cases{
        {0, "123456789", "区号最大为8位整数！", ""},
        {0, "12.5", "请输入整数作为区号！", ""},
        {0, "01a", "请输入数字作为区号！", ""},
        {0, "0'1", "请输入数字作为区号！", ""},
        {0, "", "请输入数字作为区号！", ""},
        {0, "12345678", "", "12345678"},
        {2, "12345", "时长最大为4位整数！", ""},
        {2, "6.5", "请输入整数作为时长！", ""},
        {2, "六十", "请输入数字作为时长！", ""},
        {2, "9999", "", "9999"},
        {3, "100.01", "费率最大为99.99！", ""},
        {3, "abc", "请输入数字作为费率！", ""},
        {3, "", "请输入数字作为费率！", ""},
        {3, "-1", "请输入数字作为费率！", ""},
        {3, "100", "", "100.00"},
        {5, ".5", "", "0.50"},
        {6, "1000.1", "手续费/附加费最大为999.99！", ""},
        {6, "1234567", "手续费/附加费最大为999.99！", ""},
        {6, "1000", "", "1000.00"},
        {7, "100.5", "手续费/附加费百分比最大为100！", ""},
        {7, "1234567", "百分比手续费/附加费最大为100！", ""},
        {7, "百分之十", "请输入数字作为百分比手续费/附加费！", ""},
        {7, "100", "", "100"},
        {9, "101", "手续费/附加费百分比最大为100！", ""},
        {1, QString(41, 'a'), "地区最长为40个英文或者20个中文字母！", ""},
        {1, QString(40, QChar(0x4E2D)), "", QString(40, QChar(0x4E2D))},
        {1, "O'Neil \"东\"; --", "", "O'Neil \"东\"; --"},
    };
    // Rows keep their place in the grid while their cells change.
    const int r = FindGridRow(QStringLiteral("国内新添加"), *g, 1);
    ASSERT_GT(r, 0);
    checkCellCases(
        g, r, editor,
        [&] {
            return rows(QStringLiteral("SELECT * FROM Feerate WHERE rowid=(SELECT max(rowid) FROM Feerate)")).value(0);
        },
        cases);

    // The discount switch flips at a double click.
    const QString mark = g->textMatrix(r, 10);
    test::dblClickCell(g, r, 10);
    const QString flipped = mark == QStringLiteral("√") ? QStringLiteral("×") : QStringLiteral("√");
    EXPECT_EQ(cell(QStringLiteral("SELECT 折价 FROM Feerate WHERE rowid=(SELECT max(rowid) FROM Feerate)")), flipped);
    EXPECT_EQ(g->textMatrix(r, 10), flipped);
    EXPECT_EQ(sent(), QByteArray());
}

TEST_F(DiscountWindowTest, LocalPrefixesAreReplacedInTheSwitch)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_5"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_5"));
    test::press(w.get(), QStringLiteral("cmdAddDiscount_5"));
    EXPECT_EQ(sent(), QByteArray());
    // Both rows have no prefix yet; the default row came first.
    ASSERT_EQ(g->textMatrix(1, 1), QStringLiteral("本地默认"));
    ASSERT_EQ(g->textMatrix(2, 1), QStringLiteral("本地新添加"));

    test::dblClickCell(g, 2, 0);
    test::enter(editor, QStringLiteral("0571"));
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 01 0B 01 0B A5 71 0C"))); // *20*1*1*0571#
    EXPECT_EQ(cell(QStringLiteral("SELECT 区号 FROM Feerate WHERE 地区='本地新添加'")), QStringLiteral("0571"));

    const int r = FindGridRow(QStringLiteral("0571"), *g, 0);
    ASSERT_GT(r, 0);
    test::dblClickCell(g, r, 0);
    test::enter(editor, QStringLiteral("05712"));
    expectRefused(QStringLiteral("本地网字头最大为4位整数！"), editor, QStringLiteral("05712"));
    test::enter(editor, QStringLiteral("123456789"));
    expectRefused(QStringLiteral("区号最大为8位整数！"), editor, QStringLiteral("123456789"));
    EXPECT_EQ(sent(), QByteArray());
    EXPECT_EQ(cell(QStringLiteral("SELECT 区号 FROM Feerate WHERE 地区='本地新添加'")), QStringLiteral("0571"));

    // The old prefix goes first, then the new one comes.
    test::enter(editor, QStringLiteral("0572"));
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 0A 0B A5 71 0C"           // *20*0*0571#
                                     "0B 2A 0B 01 0B 01 0B A5 72 0C"))); // *20*1*1*0572#

    // The default row's prefix is no local-network prefix of the switch.
    test::dblClickCell(g, FindGridRow(QStringLiteral("本地默认"), *g, 1), 0);
    test::enter(editor, QStringLiteral("9"));
    EXPECT_EQ(cell(QStringLiteral("SELECT 区号 FROM Feerate WHERE 地区='本地默认'")), QStringLiteral("9"));
    EXPECT_EQ(sent(), QByteArray());

    test::clickCell(g, FindGridRow(QStringLiteral("0572"), *g, 0), 0);
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), QStringLiteral("cmdDeleteDiscount_5"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("是否删除区号0572的费率“本地新添加”？"));
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 0A 0B A5 72 0C"))); // *20*0*0572#
    EXPECT_EQ(cell(QStringLiteral("SELECT count(*) FROM Feerate WHERE 类型='5'")), QStringLiteral("1"));

    // A row that never had a prefix leaves the switch alone when deleted.
    test::press(w.get(), QStringLiteral("cmdAddDiscount_5"));
    test::clickCell(g, FindGridRow(QStringLiteral("本地新添加"), *g, 1), 1);
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), QStringLiteral("cmdDeleteDiscount_5"));
    EXPECT_EQ(cell(QStringLiteral("SELECT count(*) FROM Feerate WHERE 类型='5'")), QStringLiteral("1"));
    EXPECT_EQ(sent(), QByteArray());

    // Without a link the table is still written.
    ctx.link = nullptr;
    test::press(w.get(), QStringLiteral("cmdAddDiscount_5"));
    test::dblClickCell(g, FindGridRow(QStringLiteral("本地新添加"), *g, 1), 0);
    test::enter(editor, QStringLiteral("0573"));
    EXPECT_EQ(cell(QStringLiteral("SELECT 区号 FROM Feerate WHERE 地区='本地新添加'")), QStringLiteral("0573"));
    EXPECT_EQ(sent(), QByteArray());
}

TEST_F(DiscountWindowTest, BatchChangeWritesExactlyTheSelectedRows)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_2"));
    QLineEdit *value = edit(QStringLiteral("txtValue_2"));
    auto *change = child<QPushButton>(QStringLiteral("cmdChangeValue_2"));
    auto marks = [&] {
        QStringList out;
        for (const QStringList &row :
             rows(QStringLiteral("SELECT 折价 FROM Feerate WHERE 类型='2' ORDER BY 区号, rowid")))
            out << row.at(0);
        return out;
    };
    const QStringList before = marks();
    ASSERT_GE(before.size(), 6);
    ASSERT_EQ(before.count(QStringLiteral("√")), before.size());

    test::clickCell(g, 2, 3);
    test::clickCell(g, 4, 4, Qt::ShiftModifier);
    test::fill(value, QStringLiteral("1"));
    test::press(change);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("你选择了多列数据，无法进行修改！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("错误！"));

    test::clickCell(g, 2, 1);
    test::clickCell(g, 4, 1, Qt::ShiftModifier);
    test::press(change);
    EXPECT_EQ(messages.last()->text, QStringLiteral("第一列和第二列无法进行批量修改！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("警告！"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Information);
    messages.clear();

    // Selected from row 4 up to row 2.
    test::clickCell(g, 4, 10);
    test::clickCell(g, 2, 10, Qt::ShiftModifier);
    test::fill(value, QStringLiteral("0"));
    test::press(change);
    EXPECT_TRUE(messages.shown().isEmpty());
    QStringList expected = before;
    for (int i = 1; i <= 3; ++i)
        expected[i] = QStringLiteral("×");
    EXPECT_EQ(marks(), expected);
    EXPECT_EQ(g->textMatrix(3, 10), QStringLiteral("×"));
    EXPECT_EQ(g->textMatrix(5, 10), QStringLiteral("√"));

    // The same rows with a filter showing only 广州 (row 4): the rows it
    // hides are left as they are.
    test::clickCell(g, 2, 10);
    test::clickCell(g, 4, 10, Qt::ShiftModifier);
    test::fill(edit(QStringLiteral("txtFilter_2")), QStringLiteral("广州"));
    ASSERT_TRUE(g->isRowHidden(3));
    ASSERT_FALSE(g->isRowHidden(4));
    test::fill(value, QStringLiteral("1"));
    test::press(change);
    expected[3] = QStringLiteral("√");
    EXPECT_EQ(marks(), expected);
    test::fill(edit(QStringLiteral("txtFilter_2")), QString());
    EXPECT_FALSE(g->isRowHidden(3));

    // A value the cell editor refuses is refused for many rows as well.
    test::fill(value, QStringLiteral("2"));
    test::press(change);
    EXPECT_EQ(marks(), expected);
    test::clickCell(g, 2, 5);
    test::clickCell(g, 3, 5, Qt::ShiftModifier);
    test::fill(value, QStringLiteral("200"));
    test::press(change);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("费率最大为99.99！"));
    test::fill(value, QStringLiteral("0.5"));
    test::press(change);
    const QList<QStringList> unit =
        rows(QStringLiteral("SELECT 单位费率 FROM Feerate WHERE 类型='2' ORDER BY 区号, rowid"));
    EXPECT_EQ(unit.value(1).value(0), QStringLiteral("0.50"));
    EXPECT_EQ(unit.value(2).value(0), QStringLiteral("0.50"));
    EXPECT_NE(unit.value(3).value(0), QStringLiteral("0.50"));
    EXPECT_EQ(g->textMatrix(2, 5), QStringLiteral("0.50"));

    // Rows that share a prefix (new rows have none, like the default row):
    // the selected one is changed, not the first with the same prefix.
    auto *add = child<QPushButton>(QStringLiteral("cmdAddDiscount_2"));
    test::press(add);
    test::press(add);
    ASSERT_EQ(g->textMatrix(1, 1), QStringLiteral("国内默认"));
    ASSERT_EQ(g->textMatrix(3, 1), QStringLiteral("国内新添加"));
    test::clickCell(g, 3, 3);
    test::fill(value, QStringLiteral("9"));
    test::press(change);
    const QList<QStringList> first =
        rows(QStringLiteral("SELECT 地区, 首次费率 FROM Feerate WHERE 类型='2' AND 区号='' ORDER BY rowid"));
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(first.at(0), (QStringList{"国内默认", "0.07"}));
    EXPECT_EQ(first.at(1), (QStringList{"国内新添加", "0.07"}));
    EXPECT_EQ(first.at(2), (QStringList{"国内新添加", "9.00"}));
    EXPECT_EQ(sent(), QByteArray());
}

TEST_F(DiscountWindowTest, LocateScrollsToThePrefix)
{
    open();
    test::showTabOf(grid(QStringLiteral("hfgFeerate_2")));
    w->resize(900, 320); // fewer rows in view than in the grid
    QApplication::processEvents();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_2"));
    test::fill(edit(QStringLiteral("txtHead_2")), QStringLiteral(" 021 "));
    test::press(w.get(), QStringLiteral("cmdLocation_2"));
    const int r = FindGridRow(QStringLiteral("021"), *g, 0);
    ASSERT_GT(r, 2);
    EXPECT_EQ(g->row(), r);
    EXPECT_EQ(g->col(), 0);
    EXPECT_EQ(g->topRow(), r);

    test::clickCell(g, 2, 0);
    test::fill(edit(QStringLiteral("txtHead_2")), QStringLiteral("99"));
    messages.clear();
    test::press(w.get(), QStringLiteral("cmdLocation_2"));
    EXPECT_EQ(g->row(), 2);
    // Nothing found is said, and the prefix is ready to be typed over.
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("没有找到区号为99的费率。"));
    EXPECT_TRUE(edit(QStringLiteral("txtHead_2"))->hasSelectedText());
}

TEST_F(DiscountWindowTest, IPCardsAreSentAsTheCardPair)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgIP"));
    QLineEdit *editor = edit(QStringLiteral("txtIP"));
    const int r = 10; // entry "10": its number holds a 0 digit
    ASSERT_EQ(g->textMatrix(r, 0), QStringLiteral("10"));
    auto stored = [&] { return rows(QStringLiteral("SELECT * FROM IP WHERE 序号='10'")).value(0); };

    test::dblClickCell(g, r, 1);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("请填写好所有信息后再启动该IP卡！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("请填写其他信息"));
    EXPECT_EQ(stored().value(1), QStringLiteral("×"));
    messages.clear();

    const QList<CellCase> cases{
        {2, "1234567", "切入码最大为6位整数！"},
        {2, "17.9", "请输入整数作为切入码！"},
        {2, "179O9", "请输入数字作为切入码！"},
        {2, "17909", ""},
        {6, "123456789012345", "卡号必须是数字，最长为14位！"},
        {6, "1234.5", "卡号必须是数字，最长为14位！"},
        {6, "", "卡号必须是数字，最长为14位！"},
        {6, "12345678901234", ""},
        {8, "1*2#", "请输入数字作为密码！"},
        {8, "1.5", "请输入整数作为密码！"},
        {8, "1234567", "密码最大为6位整数！"},
        {8, "123456", ""},
    };
    checkCellCases(g, r, editor, stored, cases);
    // A disabled card is edited without a word to the switch.
    test::dblClickCell(g, r, 3);
    EXPECT_EQ(stored().value(3), QStringLiteral("2s"));
    EXPECT_EQ(sent(), QByteArray());

    test::dblClickCell(g, r, 1);
    EXPECT_EQ(stored().value(1), QStringLiteral("√"));
    // *81*17909*1*12345678901234*123456*10#, then *82*200*150*150*150*10#
    EXPECT_EQ(show(sent()), show(hex("0B 81 0B 01 79 A9 0B 01 0B 12 34 56 78 9A 12 34 0B 12 34 56 0B 1A 0C"
                                     "0B 82 0B 02 AA 0B 01 5A 0B 01 5A 0B 01 5A 0B 1A 0C")));

    test::dblClickCell(g, r, 4); // language: the first command of the pair
    EXPECT_EQ(stored().value(4), QStringLiteral("英文"));
    EXPECT_EQ(show(sent()), show(hex("0B 81 0B 01 79 A9 0B 02 0B 12 34 56 78 9A 12 34 0B 12 34 56 0B 1A 0C")));

    test::dblClickCell(g, r, 9); // a pause: the second command
    EXPECT_EQ(stored().value(9), QStringLiteral("2s"));
    EXPECT_EQ(show(sent()), show(hex("0B 82 0B 02 AA 0B 01 5A 0B 01 5A 0B 02 AA 0B 1A 0C")));

    test::dblClickCell(g, r, 8);
    test::enter(editor, QStringLiteral("654321"));
    EXPECT_EQ(show(sent()), show(hex("0B 81 0B 01 79 A9 0B 02 0B 12 34 56 78 9A 12 34 0B 65 43 21 0B 1A 0C"
                                     "0B 82 0B 02 AA 0B 01 5A 0B 01 5A 0B 02 AA 0B 1A 0C")));
    test::dblClickCell(g, r, 8);
    test::enter(editor, QStringLiteral("abc"));
    expectRefused(QStringLiteral("请输入数字作为密码！"), editor, QStringLiteral("abc"));
    EXPECT_EQ(sent(), QByteArray());
    QTest::keyClick(editor, Qt::Key_Escape);

    test::dblClickCell(g, r, 1);
    EXPECT_EQ(stored().value(1), QStringLiteral("×"));
    EXPECT_EQ(show(sent()), show(hex("0B 81 0B 0A 0B 1A 0C"))); // *81*0*10#
    // The other cards were never touched.
    EXPECT_EQ(cell(QStringLiteral("SELECT count(*) FROM IP WHERE 切入码<>''")), QStringLiteral("1"));
}

TEST_F(DiscountWindowTest, IPDiallingWithoutCardNumber)
{
    open();
    auto *turnOn = child<QCheckBox>(QStringLiteral("chkTurnOnIP"));
    auto *number = edit(QStringLiteral("txtIPNumber"));
    auto *set = child<QPushButton>(QStringLiteral("cmdSetIP"));
    auto row13 = [&] { return rows(QStringLiteral("SELECT 序号, 启用, 切入码, 延时1 FROM IP WHERE 序号='13'")); };
    const QList<QStringList> cards = rows(QStringLiteral("SELECT * FROM IP WHERE 序号<>'13' ORDER BY rowid"));

    test::tick(turnOn, true);
    test::fill(number, QStringLiteral(" 88886666 "));
    test::press(child<QRadioButton>(QStringLiteral("optDelay_2")));
    test::press(set);
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(row13(), (QList<QStringList>{{"13", "1", "88886666", "2"}}));
    EXPECT_EQ(show(sent()), show(hex("0B 83 0B 88 88 66 66 0C" // *83*88886666#
                                     "0B 84 0B 5A 0C")));      // *84*50#

    // "*" or "#" in the number would reach the switch as keys of their own.
    test::fill(number, QStringLiteral("8888*6666"));
    test::press(set);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->title, QStringLiteral("输入错误"));
    EXPECT_EQ(row13().value(0).value(2), QStringLiteral("88886666"));
    test::fill(number, QString());
    test::press(set);
    EXPECT_EQ(row13().value(0).value(2), QStringLiteral("88886666"));
    EXPECT_EQ(sent(), QByteArray());
    messages.clear();

    test::tick(turnOn, false);
    test::press(set);
    EXPECT_EQ(row13(), (QList<QStringList>{{"13", "0", "", "2"}}));
    EXPECT_EQ(show(sent()), show(hex("0B 83 0B 0A 0C"))); // *83*0#
    EXPECT_EQ(rows(QStringLiteral("SELECT * FROM IP WHERE 序号<>'13' ORDER BY rowid")), cards);

    // A table without that row gets it added; card 12 is left alone.
    w.reset();
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("DELETE FROM IP WHERE 序号='13'")));
    open();
    test::tick(child<QCheckBox>(QStringLiteral("chkTurnOnIP")), true);
    test::fill(edit(QStringLiteral("txtIPNumber")), QStringLiteral("168"));
    test::press(child<QRadioButton>(QStringLiteral("optDelay_4")));
    test::press(w.get(), QStringLiteral("cmdSetIP"));
    EXPECT_EQ(row13(), (QList<QStringList>{{"13", "1", "168", "4"}}));
    EXPECT_EQ(rows(QStringLiteral("SELECT * FROM IP WHERE 序号<>'13' ORDER BY rowid")), cards);
    EXPECT_EQ(show(sent()), show(hex("0B 83 0B 01 68 0C"     // *83*168#
                                     "0B 84 0B 02 5A 0C"))); // *84*250#
}

TEST_F(DiscountWindowTest, DiscountPeriodsAreCheckedAndPriceTheNextCall)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgDiscount"));
    QLineEdit *editor = edit(QStringLiteral("txtDiscount"));
    const int r = FindGridRow(QStringLiteral("市话"), *g, 0);
    ASSERT_GE(r, 2);
    auto stored = [&](int col) {
        return rows(QStringLiteral("SELECT * FROM Discount WHERE 类型='市话'")).value(0).value(col);
    };
    const QString night = QStringLiteral("2026年12月08日03时00分");
    EXPECT_EQ(engine->GetDiscountFactor(night, QStringLiteral("8")).percent, Money::fromYuan(100));

    test::dblClickCell(g, r, 1); // band A, 00:00 to 07:00 at 50, switched on
    EXPECT_EQ(stored(1), QStringLiteral("√"));
    EXPECT_EQ(g->textMatrix(r, 1), QStringLiteral("√"));
    EXPECT_EQ(engine->GetDiscountFactor(night, QStringLiteral("8")).percent, Money::fromYuan(50));

    const QList<CellCase> cases{
        {4, "101", "折扣率最大为100！", ""},
        {4, "1000", "折扣率最大为3位整数！", ""},
        {4, "5.5", "请输入整数作为折扣率！", ""},
        {4, "半价", "请输入数字作为折扣率！", ""},
        {4, "30", "", "30"},
        {3, "", "时间不能为空，最长为5位！", ""},
        {3, "12:345", "时间不能为空，最长为5位！", ""},
        {3, "230", "", "02:30"},
        {14, "100", "", "100"},
    };
    checkCellCases(
        g, r, editor, [&] { return rows(QStringLiteral("SELECT * FROM Discount WHERE 类型='市话'")).value(0); }, cases);
    // The band now ends at 02:30 and charges 30 %.
    EXPECT_EQ(engine->GetDiscountFactor(QStringLiteral("2026年12月08日02时00分"), QStringLiteral("8")).percent,
              Money::fromYuan(30));
    EXPECT_EQ(engine->GetDiscountFactor(night, QStringLiteral("8")).percent, Money::fromYuan(100));
    // Other types keep their own rows.
    EXPECT_EQ(cell(QStringLiteral("SELECT count(*) FROM Discount WHERE 时段A开关='√'")), QStringLiteral("1"));
    EXPECT_EQ(sent(), QByteArray());
}

TEST_F(DiscountWindowTest, HolidaysAreAddedEditedAndDeletedRowByRow)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgHoliday"));
    QLineEdit *editor = edit(QStringLiteral("txtHoliday"));
    auto *add = child<QPushButton>(QStringLiteral("cmdAddHoliday"));
    auto all = [&] { return rows(QStringLiteral("SELECT * FROM Holiday ORDER BY rowid")); };
    const int preset = all().size();

    test::press(add);
    test::press(add);
    QList<QStringList> table = all();
    ASSERT_EQ(table.size(), preset + 2);
    EXPECT_EQ(table.last(), (QStringList{"新节假日", "01", "01"}));
    const int second = preset + 2; // grid row of the second new holiday
    EXPECT_EQ(g->textMatrix(second, 0), QStringLiteral("新节假日"));

    const QList<CellCase> cases{
        {1, "13", "月份最大为12！", ""},
        {1, "123", "月份最大为2位整数！", ""},
        {1, "1.5", "请输入整数作为月份！", ""},
        {1, "五月", "请输入数字作为月份！", ""},
        {1, "5", "", "05"},
        {2, "32", "日期最大为31！", ""},
        {2, "0x", "请输入数字作为日期！", ""},
        {2, "7", "", "07"},
        {0, "", "节日名称最长为10位，并且不能为空！", ""},
        {0, "ABCDEFGHIJK", "节日名称最长为10位，并且不能为空！", ""},
        {0, "劳动'节\"", "", "劳动'节\""},
    };
    checkCellCases(
        g, second, editor, [&] { return all().last(); }, cases);
    // Only the row that was edited changed; its twin kept the new-row values.
    table = all();
    EXPECT_EQ(table.at(preset), (QStringList{"新节假日", "01", "01"}));
    EXPECT_EQ(table.at(preset + 1), (QStringList{"劳动'节\"", "05", "07"}));

    // Pricing finds the date the window wrote with two digits.
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE Discount SET 节假日开关='√', 节假日折扣率='40' WHERE 类型='市话'")));
    EXPECT_EQ(engine->GetDiscountFactor(QStringLiteral("2027年05月07日10时00分"), QStringLiteral("8")).percent,
              Money::fromYuan(40));

    test::clickCell(g, preset + 1, 0); // the first of the two new rows
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), QStringLiteral("cmdDeleteHoliday"));
    table = all();
    ASSERT_EQ(table.size(), preset + 1);
    EXPECT_EQ(table.last(), (QStringList{"劳动'节\"", "05", "07"}));
    EXPECT_EQ(g->rows(), preset + 2);
}

} // namespace

namespace {

// A person's double click: the editor opens over the cell, keeps the focus
// through the button release, and goes away when the focus leaves it.
TEST_F(DiscountWindowTest, MouseDoubleClickOpensTheEditorOverTheCell)
{
    open();
    test::showTabOf(grid(QStringLiteral("hfgHoliday")));
    FlexGrid *g = grid(QStringLiteral("hfgHoliday"));
    QLineEdit *editor = edit(QStringLiteral("txtHoliday"));
    const QRect cellRect = g->cellRect(1, 1);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, cellRect.center());
    QApplication::processEvents();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_TRUE(editor->hasFocus());
    EXPECT_EQ(editor->text(), QStringLiteral("01"));
    EXPECT_EQ(editor->geometry().topLeft(), g->cellRectIn(editor->parentWidget(), 1, 1).topLeft());

    QTest::keyClicks(editor, QStringLiteral("2"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(cell(QStringLiteral("SELECT 月份 FROM Holiday WHERE 节日='元旦'")), QStringLiteral("02"));
    EXPECT_FALSE(editor->isVisible());

    // Leaving the box drops what was typed.
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(1, 2).center());
    ASSERT_TRUE(editor->isVisible());
    QTest::keyClicks(editor, QStringLiteral("9"));
    test::clickCell(g, 2, 0);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(cell(QStringLiteral("SELECT 日期 FROM Holiday WHERE 节日='元旦'")), QStringLiteral("01"));
}

// Every caption and every value of the grids is shown whole, and the
// columns use the width the window gives them (the twips widths are
// minimums, measured for another font).
TEST_F(DiscountWindowTest, GridTextsAreShownWholeAndTheGridsAreFilled)
{
    QFont cjk(QStringLiteral("WenQuanYi Zen Hei"));
    QApplication::setFont(cjk);
    open();
    w->resize(1200, 700);
    for (const QString &name : {QStringLiteral("hfgFeerate_2"), QStringLiteral("hfgFeerate_5"), QStringLiteral("hfgIP"),
                                QStringLiteral("hfgDiscount"), QStringLiteral("hfgHoliday")}) {
        FlexGrid *g = grid(name);
        test::showTabOf(g);
        ASSERT_TRUE(test::waitFor([&] { return g->isVisible(); }));
        QApplication::processEvents();
        int total = 0;
        for (int c = 0; c < g->cols(); ++c) {
            // Row 0 of the discount grid holds the group captions, which span
            // their columns; every other caption and value has its own cell.
            for (int r = name == QStringLiteral("hfgDiscount") ? 1 : 0; r < g->rows(); ++r) {
                const QString text = g->textMatrix(r, c);
                EXPECT_LE(QFontMetrics(g->font()).horizontalAdvance(text), g->columnWidth(c))
                    << name.toStdString() << " cell " << r << "," << c << " \"" << text.toStdString() << "\"";
            }
            EXPECT_GE(g->columnWidth(c) * FlexGrid::TwipsPerPixel + FlexGrid::TwipsPerPixel, g->colWidth(c))
                << name.toStdString() << " column " << c << " is narrower than its minimum";
            total += g->columnWidth(c);
        }
        EXPECT_GE(total, g->viewport()->width()) << name.toStdString() << ": room left empty right of the columns";
    }
    w->grab().save(test::artifactDir() + QStringLiteral("/frmPHNDiscount_fitted.png"));
    QApplication::setFont(QFont());
}

// The window holds Feerate open; the pricing settings or another console
// change a column meanwhile. An edit of another column puts nothing back.
TEST_F(DiscountWindowTest, AnEditLeavesColumnsOthersChangedAlone)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_8"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_8"));
    const int r = FindGridRow(QStringLiteral("市话默认"), *g, 1);
    ASSERT_GT(r, 0);
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("UPDATE Feerate SET 单位费率='0.88', 折价='×' WHERE 地区='市话默认'")));

    test::dblClickCell(g, r, 3);
    test::enter(editor, QStringLiteral("0.3"));
    EXPECT_EQ(rows(QStringLiteral("SELECT 首次费率, 单位费率, 折价 FROM Feerate WHERE 地区='市话默认'")),
              (QList<QStringList>{{"0.30", "0.88", "×"}}));
}

// A store the database refuses: one box with its reason, nothing sent to the
// switch, and the next failure is shown only after a store has succeeded.
TEST_F(DiscountWindowTest, AFailedStoreIsReportedOnceAndSendsNothing)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_5"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_5"));
    test::press(w.get(), QStringLiteral("cmdAddDiscount_5"));
    ASSERT_EQ(g->textMatrix(2, 1), QStringLiteral("本地新添加"));
    ASSERT_TRUE(ctx.db.exec(
        QStringLiteral("CREATE TRIGGER full BEFORE UPDATE ON Feerate BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));

    test::dblClickCell(g, 2, 0);
    test::enter(editor, QStringLiteral("0571"));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->title, QStringLiteral("数据库错误"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_TRUE(messages.last()->text.contains(QStringLiteral("disk is full"))) << messages.last()->text.toStdString();
    EXPECT_EQ(g->textMatrix(2, 0), QString()) << "the grid shows what the table holds";
    EXPECT_EQ(sent(), QByteArray()) << "the switch never learns a prefix the table does not hold";

    test::dblClickCell(g, 2, 10); // the discount switch fails as well: no second box
    EXPECT_EQ(messages.shown().size(), 1);

    ASSERT_TRUE(ctx.db.exec(QStringLiteral("DROP TRIGGER full")));
    test::dblClickCell(g, 2, 0);
    test::enter(editor, QStringLiteral("0571"));
    EXPECT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 01 0B 01 0B A5 71 0C"))); // *20*1*1*0571#

    ASSERT_TRUE(ctx.db.exec(
        QStringLiteral("CREATE TRIGGER full BEFORE UPDATE ON Feerate BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));
    test::dblClickCell(g, FindGridRow(QStringLiteral("0571"), *g, 0), 10);
    EXPECT_EQ(messages.shown().size(), 2) << "a new failure after a success is shown";
}

// The commands of a change are queued, not sent from inside the click, and
// reach the switch also when the window is closed before they have gone.
TEST_F(DiscountWindowTest, CommandsGoThroughTheQueueAndOutliveTheWindow)
{
    open();
    FlexGrid *g = grid(QStringLiteral("hfgFeerate_5"));
    QLineEdit *editor = edit(QStringLiteral("txtFeerate_5"));
    test::press(w.get(), QStringLiteral("cmdAddDiscount_5"));
    test::dblClickCell(g, 2, 0);
    test::enter(editor, QStringLiteral("0571"));
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 01 0B 01 0B A5 71 0C")));

    test::dblClickCell(g, 2, 0);
    test::enter(editor, QStringLiteral("0572"));
    EXPECT_EQ(link->QueuedCount(), 2) << "both commands wait in the queue";
    test::press(w.get(), QStringLiteral("cmdLeave"));
    w.reset();
    EXPECT_EQ(show(sent()), show(hex("0B 2A 0B 0A 0B A5 71 0C"           // *20*0*0571#
                                     "0B 2A 0B 01 0B 01 0B A5 72 0C"))); // *20*1*1*0572#
}

} // namespace
