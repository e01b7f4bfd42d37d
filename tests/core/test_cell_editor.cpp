// The grid cell editor on a grid of its own: the rules a window gives per
// cell, driven with double clicks, typing, Enter, Escape and leaving the box.
#include "FlexGrid.h"
#include "GridCellEditor.h"
#include "MessageService.h"
#include "StoreFailureNotice.h"
#include "WindowDriver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

using namespace corvane;

namespace {

struct StoreCall {
    qint64 rowId;
    int col;
    QString value;
};

class CellEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(700, 300);
        grid = new FlexGrid(&window);
        grid->setObjectName(QStringLiteral("hfgTest"));
        grid->setGeometry(10, 10, 600, 200);
        grid->setRows(5);
        grid->setCols(3);
        SetGridRowTexts();
        box = new QLineEdit(&window);
        box->setObjectName(QStringLiteral("txtTest"));
        other = new QPushButton(QStringLiteral("其他"), &window);
        other->setGeometry(620, 10, 60, 30);

        GridCellEditor::Hooks hooks;
        hooks.rule = [this](const GridCell &c) {
            if (c.text.contains(QStringLiteral("默认")))
                return CellRule::block(QStringLiteral("默认费率名称不可更改！"), QStringLiteral("标题"),
                                       MessageService::Icon::None);
            if (c.col == 1)
                return CellRule::cycle({QStringLiteral("×"), QStringLiteral("√")});
            if (c.col == 2)
                return CellRule::text();
            return CellRule::fixed();
        };
        hooks.check = [](const GridCell &c, const QString &text) -> Checked<QString> {
            if (c.col == 2
                && (text.isEmpty() || text.size() > 3
                    || !std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.isDigit(); })))
                return Checked<QString>::refuse(QStringLiteral("请输入数字！"));
            return text.rightJustified(c.col == 2 ? 3 : 0, u'0');
        };
        hooks.store = [this](const GridCell &c, const QString &value) {
            stores.push_back({c.rowId, c.col, value});
            return StoreResult(failStore ? Status::fail(QStringLiteral("未能写入：disk is full")) : Status::ok(),
                               {QStringLiteral("*1#")});
        };
        hooks.rowId = [this](int r) { return ids.count(r) ? ids.at(r) : -1; };
        hooks.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
            finished.push_back(r.status);
        };
        editor = new GridCellEditor(grid, box, messages, notice, &window, hooks);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void SetGridRowTexts()
    {
        const QStringList captions{QStringLiteral("名称"), QStringLiteral("开关"), QStringLiteral("时长")};
        for (int c = 0; c < 3; ++c)
            grid->setTextMatrix(0, c, captions.at(c));
        grid->setTextMatrix(1, 0, QStringLiteral("市话默认"));
        grid->setTextMatrix(1, 1, QStringLiteral("×"));
        grid->setTextMatrix(1, 2, QStringLiteral("060"));
        grid->setTextMatrix(2, 0, QStringLiteral("北京"));
        grid->setTextMatrix(2, 1, QStringLiteral("?"));
        grid->setTextMatrix(2, 2, QStringLiteral("030"));
        grid->setTextMatrix(3, 0, QStringLiteral("上海"));
        grid->setTextMatrix(3, 2, QStringLiteral("045"));
    }

    QWidget window;
    FlexGrid *grid = nullptr;
    QLineEdit *box = nullptr;
    QPushButton *other = nullptr;
    ScriptedMessageService messages;
    StoreFailureNotice notice{messages};
    GridCellEditor *editor = nullptr;
    std::map<int, qint64> ids{{1, 101}, {2, 102}, {3, 103}}; // grid row 4 shows no record
    std::vector<StoreCall> stores;
    std::vector<Status> finished;
    bool failStore = false;
};

} // namespace

TEST_F(CellEditorTest, CyclicCellsStepAndStoreAtOnce)
{
    test::dblClickCell(grid, 2, 1); // "?" is no choice: the first one
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].rowId, 102);
    EXPECT_EQ(stores[0].col, 1);
    EXPECT_EQ(stores[0].value, QStringLiteral("×"));
    EXPECT_EQ(grid->textMatrix(2, 1), QStringLiteral("×"));
    test::dblClickCell(grid, 2, 1);
    test::dblClickCell(grid, 2, 1);
    ASSERT_EQ(stores.size(), 3u);
    EXPECT_EQ(stores[1].value, QStringLiteral("√"));
    EXPECT_EQ(stores[2].value, QStringLiteral("×"));
    EXPECT_EQ(finished.size(), 3u);
    EXPECT_TRUE(box->isHidden());
    EXPECT_TRUE(messages.shown().isEmpty());

    // Not editable, blocked, or no record behind the row: nothing is stored.
    test::dblClickCell(grid, 3, 0);
    test::dblClickCell(grid, 4, 1);
    EXPECT_EQ(stores.size(), 3u);
    EXPECT_TRUE(messages.shown().isEmpty());
    test::dblClickCell(grid, 1, 0);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("默认费率名称不可更改！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("标题"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::None);
    EXPECT_TRUE(box->isHidden());
    EXPECT_EQ(stores.size(), 3u);
}

TEST_F(CellEditorTest, TextCellsAreCheckedOnEnterAndRefusalsStayInTheBox)
{
    test::dblClickCell(grid, 2, 2);
    ASSERT_TRUE(box->isVisible());
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(box->text(), QStringLiteral("030"));
    EXPECT_EQ(box->selectedText(), QStringLiteral("030"));
    EXPECT_EQ(box->geometry().topLeft(), grid->cellRectIn(&window, 2, 2).topLeft());

    for (const QString &bad : {QStringLiteral("12a"), QStringLiteral("1234"), QStringLiteral("十")}) {
        messages.clear();
        test::typeOver(box, bad);
        QTest::keyClick(box, Qt::Key_Return);
        ASSERT_NE(messages.last(), nullptr) << bad.toStdString();
        EXPECT_EQ(messages.last()->text, QStringLiteral("请输入数字！"));
        EXPECT_EQ(messages.last()->title, QStringLiteral("输入错误"));
        EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(box->hasFocus());
        EXPECT_EQ(box->selectedText(), bad);
    }
    EXPECT_TRUE(stores.empty());

    // The value goes to the row that was clicked, even when the grid's rows
    // name other records by the time Enter is pressed.
    ids[2] = 999;
    messages.clear();
    test::typeOver(box, QStringLiteral("7"));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].rowId, 102);
    EXPECT_EQ(stores[0].value, QStringLiteral("007")) << "the checked form is stored";
    EXPECT_EQ(grid->textMatrix(2, 2), QStringLiteral("007"));
    EXPECT_TRUE(box->isHidden());
    EXPECT_TRUE(messages.shown().isEmpty());
}

TEST_F(CellEditorTest, EscapeOrLeavingTheBoxDropsWhatWasTyped)
{
    test::dblClickCell(grid, 3, 2);
    test::typeOver(box, QStringLiteral("9"));
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->isHidden());
    test::dblClickCell(grid, 3, 2);
    ASSERT_TRUE(box->isVisible());
    test::typeOver(box, QStringLiteral("9"));
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_TRUE(box->isHidden());
    EXPECT_TRUE(stores.empty());
    EXPECT_EQ(grid->textMatrix(3, 2), QStringLiteral("045"));

    // Enter after the box was left does nothing.
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(stores.empty());
}

TEST_F(CellEditorTest, AFailedStoreIsShownOnceAndTheCellKeepsItsValue)
{
    failStore = true;
    test::dblClickCell(grid, 2, 2);
    test::typeOver(box, QStringLiteral("5"));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->title, QStringLiteral("数据库错误"));
    EXPECT_EQ(messages.last()->text, QStringLiteral("未能写入：disk is full"));
    EXPECT_EQ(grid->textMatrix(2, 2), QStringLiteral("030"));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_FALSE(finished[0]) << "the window hears of the failure (and sends nothing)";

    test::dblClickCell(grid, 1, 1);
    EXPECT_EQ(messages.shown().size(), 1) << "the failure goes on: no second box";
    EXPECT_EQ(grid->textMatrix(1, 1), QStringLiteral("×"));
    failStore = false;
    test::dblClickCell(grid, 1, 1);
    EXPECT_EQ(grid->textMatrix(1, 1), QStringLiteral("√"));
    failStore = true;
    test::dblClickCell(grid, 1, 1);
    EXPECT_EQ(messages.shown().size(), 2) << "a failure after a success is shown again";
}
