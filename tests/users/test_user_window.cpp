// The user parameters window driven as an operator would: clicks, drags and
// double clicks on the grids, typing into the in-cell editors and the batch
// boxes, the buttons and the tabs. What reaches the switch is read off a
// pseudo-terminal and decoded by the simulator's reader; at the end the
// simulator's parameter memory, fed with those commands, must agree with the
// User table.
#include "BillTable.h"
#include "CallQuery.h"
#include "ConfigTable.h"
#include "DepositTable.h"
#include "FlexGrid.h"
#include "GridHelpers.h"
#include "IntakeFixture.h"
#include "Money.h"
#include "ParameterMemory.h"
#include "TestHome.h"
#include "TestWait.h"
#include "UserTable.h"
#include "WindowDriver.h"
#include "frmPHNGroup.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class UserWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        w.reset();
        env.messages.clear();
    }

    frmPHNGroup &open()
    {
        w = std::make_unique<frmPHNGroup>(*env.ctx);
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

    // Lets the queue send everything; the commands the switch received.
    QStringList drained()
    {
        EXPECT_TRUE(test::waitFor(
            [&] {
                env.clock.advanceMs(100);
                return env.link->QueuedCount() == 0 && (!w || !w->amending());
            },
            30000));
        const QStringList got = env.sent();
        all += got;
        return got;
    }

    QStringList user(int port) { return env.rowOf("User", "物理端口", QString::number(port)); }

    test::IntakeEnv env;
    std::unique_ptr<frmPHNGroup> w;
    QStringList all; // every command of the test, in order
};

TEST_F(UserWindowTest, TellsTheSwitchWhenItOpensAndHoweverItCloses)
{
    open();
    EXPECT_EQ(drained(), QStringList{"USER OPEN"});
    auto *tabs = child<QTabWidget>("sstGroup");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "用户信息");
    EXPECT_EQ(tabs->tabText(1), "用户所属企业");
    EXPECT_EQ(tabs->tabText(2), "用户押金");
    EXPECT_EQ(tabs->tabText(3), "账号");
    FlexGrid *g = grid("hfgUser");
    EXPECT_EQ(g->cols(), 15);
    EXPECT_EQ(g->rows(), 121);
    EXPECT_EQ(g->textMatrix(0, 1), "用户号码");
    EXPECT_EQ(g->textMatrix(120, 0), "119");
    EXPECT_EQ(g->textMatrix(120, 1), "919");
    EXPECT_EQ(g->colWidth(13), 800);

    test::press(w.get(), "cmdExit");
    EXPECT_TRUE(w->isHidden());
    EXPECT_EQ(drained(), QStringList{"USER CLOSE"});

    // Closed by the window manager.
    open();
    w->close();
    EXPECT_EQ(drained(), (QStringList{"USER OPEN", "USER CLOSE"}));

    // The console ends with the window open.
    open();
    w.reset();
    EXPECT_TRUE(test::waitFor([&] {
        env.clock.advanceMs(100);
        return env.link->QueuedCount() == 0;
    }));
    EXPECT_EQ(env.sent(), (QStringList{"USER OPEN", "USER CLOSE"}));

    // With a capacity of 64 the grid shows 64 users.
    env.setConfig(int(ConfigField::Capacity), "64");
    open();
    EXPECT_EQ(grid("hfgUser")->rows(), 65);
}

TEST_F(UserWindowTest, RenumbersADraggedRangeAndRefusesBadRangesBeforeSending)
{
    for (int p = 0; p <= 4; ++p)
        ASSERT_TRUE(
            env.exec("UPDATE User SET 用户号码=? WHERE 物理端口=?", {QString::number(700 + p), QString::number(p)}));
    // Room 805 (port 5) holds a deposit and a call not settled yet.
    Database &db = env.ctx->db;
    ASSERT_TRUE(env.exec("UPDATE User SET 付费方式=? WHERE 物理端口='5'", {UserTable::Prepaid}));
    const auto room = UserTable(db).byPort("5");
    ASSERT_TRUE(room && *room);
    ASSERT_TRUE(DepositTable(db).addForUser(**room));
    BillRecord call;
    call.set(BillField::Caller, "805");
    call.set(BillField::EndTime, "2026年12月09日10时30分");
    call.set(BillField::Fee, "1.20");
    call.set(BillField::CallType, "4");
    ASSERT_TRUE(BillTable(db).append(call));
    open();
    drained();
    FlexGrid *g = grid("hfgUser");

    // Press on port 5's number, release on port 7's.
    test::clickCell(g, 6, 1);
    EXPECT_EQ(edit("txtPortBegin")->text(), "5");
    EXPECT_FALSE(edit("txtValue")->isHidden());
    EXPECT_EQ(edit("txtValue")->text(), "805");
    test::clickCell(g, 8, 1, Qt::ShiftModifier);
    EXPECT_EQ(edit("txtPortEnd")->text(), "7");
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：批量修改'用户号码'!");
    EXPECT_EQ(child<QPushButton>("cmdAmendUser")->text(), "批量修改(&B)\n\n'用户号码'");
    ASSERT_TRUE(child<QPushButton>("cmdAmendUser")->isEnabled());
    test::fill(edit("txtValue"), "801");
    test::press(w.get(), "cmdAmendUser");
    EXPECT_EQ(drained(), (QStringList{"*11*5*801#", "*11*6*802#", "*11*7*803#"}));
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：已经处理完毕！");
    EXPECT_EQ(g->textMatrix(6, 1), "801");
    EXPECT_EQ(g->textMatrix(8, 1), "803");
    // The deposit follows port 5 to its new number; the call made as 805 can
    // still be chosen for a bill or a settlement.
    const auto deposit = DepositTable(db).ofExtension("5");
    ASSERT_TRUE(deposit && *deposit);
    EXPECT_EQ((*deposit)->number(), "801");
    const auto callers = CallQuery::FillList(db, CallQuery::SelectMode::Common);
    ASSERT_TRUE(callers);
    EXPECT_TRUE(callers->contains("805--" + CallQuery::StrandedName())) << callers->join(',').toStdString();

    // Typed the other way round: 801, 800, 799.
    test::fill(edit("txtPortBegin"), "7");
    test::fill(edit("txtPortEnd"), "5");
    test::press(w.get(), "cmdAmendUser");
    EXPECT_EQ(drained(), (QStringList{"*11*7*801#", "*11*6*800#", "*11*5*799#"}));
    EXPECT_EQ(user(5).value(1), "799");

    // Ranges that are not two ports of this switch, and a number taken.
    for (const auto &range : QList<QPair<QString, QString>>{{"7", "120"}, {"x", "5"}, {"5", ""}, {"-2", "5"}}) {
        test::fill(edit("txtPortBegin"), range.first);
        test::fill(edit("txtPortEnd"), range.second);
        test::press(w.get(), "cmdAmendUser");
        test::expectInputError(env.messages,
                               "物理端口号必须是0到119之间的整数，请检查“从物理端口号”和“到物理端口号”！");
    }
    test::fill(edit("txtPortBegin"), "5");
    test::fill(edit("txtPortEnd"), "7");
    test::fill(edit("txtValue"), "806");
    test::press(w.get(), "cmdAmendUser");
    test::expectInputError(env.messages, "用户号码808已经被物理端口8的分机使用！");
    test::fill(edit("txtValue"), "8x");
    test::press(w.get(), "cmdAmendUser");
    test::expectInputError(env.messages, "请输入数字作为用户号码！");
    EXPECT_TRUE(drained().isEmpty());
    EXPECT_EQ(user(6).value(1), "800");

    // Two columns dragged: no batch.
    test::clickCell(g, 3, 2);
    test::clickCell(g, 4, 3, Qt::ShiftModifier);
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：您选择了网格的多列数据，程序无法进行批量修改！");
    EXPECT_FALSE(child<QPushButton>("cmdAmendUser")->isEnabled());

    // Filtered to "70": ports 0 to 4 (700 to 704) and port 70. A range over
    // shown rows only is a batch; one over rows the filter hides is not, as
    // it would change users nobody sees.
    test::fill(edit("txtFilterUser"), "70");
    ASSERT_FALSE(g->isRowHidden(71));
    ASSERT_TRUE(g->isRowHidden(6));
    test::clickCell(g, 1, 3);
    test::clickCell(g, 5, 3, Qt::ShiftModifier);
    EXPECT_TRUE(child<QPushButton>("cmdAmendUser")->isEnabled());
    // Ports typed over the range after the choice are held to the same rule
    // when the batch is pressed: nothing is changed or sent.
    test::fill(edit("txtPortEnd"), "10");
    test::press(w.get(), "cmdAmendUser");
    test::expectInputError(env.messages, "所选范围内有筛选隐藏的用户，请清空筛选后再批量修改！");
    EXPECT_TRUE(drained().isEmpty());
    test::clickCell(g, 71, 3, Qt::ShiftModifier);
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：所选范围内有筛选隐藏的用户，请清空筛选后再批量修改！");
    EXPECT_EQ(edit("txtPortEnd")->text(), "70");
    EXPECT_FALSE(child<QPushButton>("cmdAmendUser")->isEnabled());
    test::fill(edit("txtFilterUser"), "");
    EXPECT_FALSE(g->isRowHidden(6));

    // The locate box scrolls to a number; an unknown one moves nothing.
    test::fill(edit("txtPhone"), "900");
    test::press(w.get(), "cmdLocal");
    EXPECT_EQ(g->row(), 101);
    test::fill(edit("txtPhone"), "555");
    test::press(w.get(), "cmdLocal");
    EXPECT_EQ(g->row(), 101);
}

TEST_F(UserWindowTest, DoubleClicksStepChoicesAndEditTextsInPlace)
{
    open();
    drained();
    FlexGrid *g = grid("hfgUser");
    QLineEdit *box = edit("txtUser");

    test::dblClickCell(g, 9, 3); // port 8, class 4 -> 5
    EXPECT_EQ(g->textMatrix(9, 3), "5");
    test::dblClickCell(g, 9, 4);  // caller display √ -> ×
    test::dblClickCell(g, 9, 10); // trunk group 0 -> 1
    EXPECT_EQ(drained(), (QStringList{"*10*5*808#", "*59*0*808#", "*48*1*808#"}));

    // The in-place editor: refusals keep it open, Enter stores.
    test::dblClickCell(g, 9, 2);
    ASSERT_FALSE(box->isHidden());
    test::enter(box, QString(17, QChar(0x5F20)));
    test::expectInputError(env.messages, "用户名称最长为32个英文或者16个中文字母！");
    EXPECT_FALSE(box->isHidden());
    test::enter(box, QString(16, QChar(0x5F20)));
    EXPECT_TRUE(box->isHidden());
    EXPECT_EQ(user(8).value(2), QString(16, QChar(0x5F20)));
    test::dblClickCell(g, 9, 11);
    test::enter(box, "256");
    test::expectInputError(env.messages, "呼出时限最大为255！");
    test::enter(box, "90");
    test::dblClickCell(g, 9, 13);
    test::enter(box, "1000");
    test::expectInputError(env.messages, "月租费最大为999.99！");
    test::enter(box, "12.5");
    EXPECT_EQ(user(8).value(13), "12.50");
    test::dblClickCell(g, 9, 1);
    test::enter(box, "809");
    test::expectInputError(env.messages, "用户号码809已经被物理端口9的分机使用！");
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->isHidden());
    EXPECT_EQ(drained(), QStringList{"*61*90*808#"});
    EXPECT_EQ(user(8).value(1), "808");
}

// The keyboard alone: Enter or F2 opens the current cell, a class is chosen
// from its list (4 -> 3 is one key and one command, not seven double
// clicks), Escape drops what was typed or chosen, and a deposit is taken.
TEST_F(UserWindowTest, TheKeyboardAloneChangesAClassAndTakesADeposit)
{
    open();
    drained();
    FlexGrid *g = grid("hfgUser");
    g->setFocus(Qt::OtherFocusReason);
    auto keys = [&](QWidget *to, Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(to, key);
    };
    // To port 8's class.
    keys(g, Qt::Key_Down, 9 - g->row());
    keys(g, Qt::Key_Right, 3 - g->col());
    ASSERT_EQ(std::pair(g->row(), g->col()), std::pair(9, 3));
    ASSERT_EQ(g->text(), "4");

    keys(g, Qt::Key_Return);
    auto *list = child<QListWidget>("txtUser_choices");
    ASSERT_TRUE(list->isVisible());
    EXPECT_TRUE(list->hasFocus());
    EXPECT_EQ(list->count(), 8);
    EXPECT_EQ(list->currentItem()->text(), "4");
    keys(list, Qt::Key_Up);
    EXPECT_TRUE(env.sent().isEmpty()) << "moving in the list sends nothing";
    keys(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(g->hasFocus());
    EXPECT_EQ(g->text(), "3");
    EXPECT_EQ(drained(), QStringList{"*10*3*808#"});
    EXPECT_EQ(user(8).value(3), "3");

    // Escape, Tab or the same value again: nothing is stored or sent.
    keys(g, Qt::Key_F2);
    keys(list, Qt::Key_Down, 2);
    keys(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(g->hasFocus());
    keys(g, Qt::Key_F2);
    keys(list, Qt::Key_Return);
    keys(g, Qt::Key_Left); // the name
    keys(g, Qt::Key_Enter);
    QLineEdit *box = edit("txtUser");
    ASSERT_TRUE(box->isVisible());
    QTest::keyClicks(box, "Desk8");
    keys(box, Qt::Key_Escape);
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(g->hasFocus());
    EXPECT_TRUE(drained().isEmpty());
    EXPECT_EQ(user(8).value(3), "3");
    EXPECT_EQ(user(8).value(2), g->text());

    // Typed and stored with Enter.
    keys(g, Qt::Key_F2);
    QTest::keyClicks(box, "Desk8");
    keys(box, Qt::Key_Return);
    EXPECT_EQ(user(8).value(2), "Desk8");
    EXPECT_TRUE(g->hasFocus());

    // Port 8 becomes a deposit extension, and is given 50 yuan.
    keys(g, Qt::Key_Right, 12 - g->col());
    keys(g, Qt::Key_Return);
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->currentItem()->text(), "普通");
    keys(list, Qt::Key_Down);
    keys(list, Qt::Key_Return);
    EXPECT_EQ(g->text(), "押金");
    // Tab leaves the grid for the next control instead of walking its cells.
    keys(g, Qt::Key_Tab);
    EXPECT_FALSE(g->hasFocus());
    EXPECT_EQ(std::pair(g->row(), g->col()), std::pair(9, 12));

    test::showTab(child<QTabWidget>("sstGroup"), 2);
    FlexGrid *fg = grid("hfgForegift");
    fg->setFocus(Qt::TabFocusReason);
    const int row = FindGridRow("8", *fg, 0);
    ASSERT_GT(row, 0);
    keys(fg, Qt::Key_Down, row - fg->row());
    keys(fg, Qt::Key_Right, 5 - fg->col());
    keys(fg, Qt::Key_F2);
    QLineEdit *money = edit("txtForegift");
    ASSERT_TRUE(money->isVisible());
    money->selectAll();
    QTest::keyClicks(money, "50");
    env.messages.queueAnswer(MessageService::Answer::Yes);
    keys(money, Qt::Key_Return);
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "8").mid(4, 2), (QStringList{"50.00", "50.00"}));
    EXPECT_TRUE(fg->hasFocus());
    EXPECT_EQ(std::pair(fg->row(), fg->col()), std::pair(row, 5)) << "the keys go on from the cell just stored";
    w->grab().save(test::artifactDir() + "/keyboard_deposit.png");
}

// The deposits are listed in room order whatever order they were opened in,
// and a click on a caption sorts by that column, again the other way round,
// keeping the chosen deposit chosen.
TEST_F(UserWindowTest, DepositsInRoomOrderSortByACaption)
{
    open();
    drained();
    FlexGrid *g = grid("hfgUser");
    for (int port : {12, 5, 10})
        test::dblClickCell(g, port + 1, 12);
    test::showTab(child<QTabWidget>("sstGroup"), 2);
    FlexGrid *fg = grid("hfgForegift");
    auto ports = [&] {
        QStringList out;
        for (int r = fg->fixedRows(); r < fg->rows(); ++r)
            out << fg->textMatrix(r, 0);
        return out;
    };
    ASSERT_EQ(ports(), (QStringList{"5", "10", "12"}));
    QLineEdit *box = edit("txtForegift");
    const QList<std::pair<QString, QString>> paid{{"5", "30"}, {"10", "10"}, {"12", "20"}};
    for (const auto &[port, money] : paid) {
        test::dblClickCell(fg, FindGridRow(port, *fg, 0), 5);
        env.messages.queueAnswer(MessageService::Answer::Yes);
        test::enter(box, money);
    }
    ASSERT_EQ(env.rowOf("Foregift", "物理端口", "10").value(4), "10.00");

    fg->setRow(FindGridRow("12", *fg, 0));
    test::clickCell(fg, 0, 4);
    EXPECT_EQ(ports(), (QStringList{"10", "12", "5"}));
    EXPECT_EQ(fg->textMatrix(0, 4), "余额 ▲");
    EXPECT_EQ(fg->textMatrix(fg->row(), 0), "12");
    test::clickCell(fg, 0, 4);
    EXPECT_EQ(ports(), (QStringList{"5", "12", "10"}));
    EXPECT_EQ(fg->textMatrix(0, 4), "余额 ▼");
    EXPECT_EQ(fg->textMatrix(fg->row(), 0), "12");
    // A deposit changed in the sorted list is the one on that row.
    test::dblClickCell(fg, 1, 5);
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::enter(box, "5");
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").value(5), "5.00");
    EXPECT_EQ(ports(), (QStringList{"12", "10", "5"}));
}

TEST_F(UserWindowTest, DepositsFollowThePaymentTypeAndTheIntakeChargesThemWhileOpen)
{
    open();
    drained();
    FlexGrid *g = grid("hfgUser");
    test::dblClickCell(g, 6, 12); // port 5 -> 押金
    EXPECT_EQ(g->textMatrix(6, 12), "押金");
    test::showTab(child<QTabWidget>("sstGroup"), 2);
    FlexGrid *fg = grid("hfgForegift");
    ASSERT_EQ(fg->textMatrix(1, 0), "5");
    EXPECT_EQ(fg->textMatrix(0, 4), "余额");
    QLineEdit *box = edit("txtForegift");

    test::dblClickCell(fg, 1, 5);
    test::enter(box, "1000");
    test::expectInputError(env.messages, "押金最大为999.00元");
    test::enter(box, "abc");
    test::expectInputError(env.messages, "请输入数字作为押金！");
    test::enter(box, "12.555");
    test::expectInputError(env.messages, "押金最多两位小数！");
    // Money changes hands: asked first, naming what is taken; "否" keeps it.
    test::enter(box, "12.5");
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_EQ(env.messages.last()->text, "押金由0.00改为12.50，收取12.50元；余额0.00→12.50。\n确定吗？");
    EXPECT_EQ(env.messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").mid(4, 2), (QStringList{"0.00", "0.00"}));
    test::dblClickCell(fg, 1, 5);
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::enter(box, "12.5");
    EXPECT_EQ(fg->textMatrix(1, 4), "12.50");
    EXPECT_EQ(fg->textMatrix(1, 5), "12.50");
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").mid(4, 2), (QStringList{"12.50", "12.50"}));

    test::dblClickCell(fg, 1, 7); // × -> √: a new password
    const QString pw = fg->textMatrix(1, 6);
    EXPECT_TRUE(QRegularExpression("^[0-9]{6}$").match(pw).hasMatch());
    EXPECT_EQ(fg->textMatrix(1, 7), "√");
    EXPECT_EQ(drained(), QStringList{"*67*5*" + pw + "#"});
    test::dblClickCell(fg, 1, 7);
    EXPECT_EQ(fg->textMatrix(1, 6), "");
    EXPECT_EQ(fg->textMatrix(1, 7), "×");
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").mid(6), (QStringList{"", "×"}));
    EXPECT_EQ(drained(), QStringList{"*67*5*0#"});

    // A call while the window is open lowers the balance; the next fill shows it.
    env.intake->ProcessCallRecord(test::callFrame(5, 20, 1860));
    const QString charged = env.rowOf("Foregift", "物理端口", "5").value(4);
    EXPECT_NE(charged, "12.50");
    test::showTab(child<QTabWidget>("sstGroup"), 0);
    test::showTab(child<QTabWidget>("sstGroup"), 2);
    EXPECT_EQ(grid("hfgForegift")->textMatrix(1, 4), charged);
    drained();

    // A top-up adds to the deposit and the balance, after a question.
    grid("hfgForegift")->setRow(1);
    env.messages.queueText(QStringLiteral("20"));
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), QStringLiteral("cmdTopUp"));
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").mid(4, 2),
              (QStringList{(Money::fromText(charged) + Money::fromYuan(20)).toText(), "32.50"}));
    EXPECT_TRUE(env.messages.texts().contains("是否打印押金收据？"));

    // Back to 普通 with money left: the operator is asked; No keeps it.
    test::showTab(child<QTabWidget>("sstGroup"), 0);
    env.messages.queueAnswer(MessageService::Answer::No);
    test::dblClickCell(g, 6, 12);
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_TRUE(env.messages.last()->text.contains("805")) << env.messages.last()->text.toStdString();
    EXPECT_EQ(g->textMatrix(6, 12), "押金");
    EXPECT_EQ(env.select("SELECT * FROM Foregift").size(), 1);
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::dblClickCell(g, 6, 12);
    EXPECT_EQ(g->textMatrix(6, 12), "普通");
    EXPECT_TRUE(env.select("SELECT * FROM Foregift").isEmpty());
    // An ordinary extension dials without a password in the switch too.
    EXPECT_EQ(drained(), QStringList{"*67*5*0#"});
}

TEST_F(UserWindowTest, GroupsAreAddedSavedAndDeleted)
{
    ASSERT_TRUE(env.exec("INSERT INTO \"Group\" VALUES ('乙公司')"));
    ASSERT_TRUE(env.exec("UPDATE User SET 组名='乙公司' WHERE 物理端口 IN ('1','2')"));
    open();
    test::showTab(child<QTabWidget>("sstGroup"), 1);
    auto *groups = child<QListWidget>("lstGroup");
    auto *users = child<QListWidget>("lstUser");
    ASSERT_EQ(users->count(), 120);
    EXPECT_EQ(users->item(5)->text(), "805--");
    EXPECT_TRUE(users->item(1)->isSelected());
    EXPECT_FALSE(users->item(3)->isSelected());

    env.messages.queueText(QString(21, 'g'));
    test::press(w.get(), "cmdAddGroup");
    test::expectInputError(env.messages, "组名长度不能为空，长度不能超过10个汉字或20个英文字符！");
    env.messages.queueText(QString());
    test::press(w.get(), "cmdAddGroup");
    test::expectInputError(env.messages, "组名长度不能为空，长度不能超过10个汉字或20个英文字符！");
    env.messages.queueText(QString("乙公司"));
    test::press(w.get(), "cmdAddGroup");
    test::expectInputError(env.messages, "您输入的组名已经存在！");
    env.messages.queueText(QString(20, 'g'));
    test::press(w.get(), "cmdAddGroup");
    for (const auto &shown : env.messages.shown())
        EXPECT_NE(shown.title, "输入错误") << shown.text.toStdString();
    env.messages.clear();
    ASSERT_EQ(groups->count(), 2);
    EXPECT_EQ(groups->currentItem()->text(), QString(20, 'g'));
    EXPECT_EQ(users->selectedItems().size(), 0);

    // 2 joins from 乙公司, 5 and 6 join; 1 stays in 乙公司.
    for (int i : {2, 5, 6})
        QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, users->visualItemRect(users->item(i)).center());
    test::press(w.get(), "cmdSave");
    EXPECT_EQ(user(2).value(15), QString(20, 'g'));
    EXPECT_EQ(user(5).value(15), QString(20, 'g'));
    EXPECT_EQ(user(1).value(15), "乙公司");
    // Filtered to 805, "全部清除" and a save take 805 out of the group
    // alone: the members the filter hides stay.
    test::fill(edit("txtFilterMembers"), "805");
    test::press(w.get(), "cmdClear");
    test::press(w.get(), "cmdSave");
    EXPECT_EQ(user(5).value(15), "");
    EXPECT_EQ(user(2).value(15), QString(20, 'g'));
    EXPECT_EQ(user(6).value(15), QString(20, 'g'));
    test::fill(edit("txtFilterMembers"), "");
    test::press(w.get(), "cmdSelectContrary");
    EXPECT_EQ(users->selectedItems().size(), 118);
    test::press(w.get(), "cmdClear");
    EXPECT_EQ(users->selectedItems().size(), 0);
    test::press(w.get(), "cmdSelectAll");
    EXPECT_EQ(users->selectedItems().size(), 120);

    env.messages.queueAnswer(MessageService::Answer::No);
    test::press(w.get(), "cmdDeleteGroup");
    EXPECT_EQ(env.messages.last()->text, "是否真的要删除 '" + QString(20, 'g') + "' 组");
    EXPECT_EQ(groups->count(), 2);
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), "cmdDeleteGroup");
    EXPECT_EQ(groups->count(), 1);
    EXPECT_EQ(user(5).value(15), "");
    EXPECT_EQ(env.select("SELECT * FROM \"Group\"").size(), 1);
}

TEST_F(UserWindowTest, AccountsAreAddedChangedAndDeleted)
{
    open();
    drained();
    test::showTab(child<QTabWidget>("sstGroup"), 3);
    FlexGrid *g = grid("hfgAccount");
    test::press(w.get(), "cmdAddAccount");
    test::press(w.get(), "cmdAddAccount");
    EXPECT_EQ(g->textMatrix(1, 0), "511");
    EXPECT_EQ(g->textMatrix(2, 0), "510");
    EXPECT_EQ(g->textMatrix(2, 1), "510账号");
    EXPECT_EQ(drained(), (QStringList{"*68*4*0*0*511#", "*74*1*1*511#", "*68*4*0*0*510#", "*74*1*1*510#"}));

    QLineEdit *box = edit("txtAccount");
    test::dblClickCell(g, 2, 2);
    test::enter(box, "7");
    test::expectInputError(env.messages, "账号等级只能在1～6之间!");
    test::enter(box, "0");
    test::expectInputError(env.messages, "账号等级只能在1～6之间!");
    test::enter(box, "3");
    test::dblClickCell(g, 2, 5); // 普通 -> 押金
    const QString pw = g->textMatrix(2, 4);
    EXPECT_EQ(drained(), (QStringList{"*68*3*0*0*510#", "*68*3*0*0*510#", "*67*510*" + pw + "#"}));
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "510"),
              (QStringList{"510", "账号", "510账号", "3", "0.00", "0.00", pw, "√"}));
    test::dblClickCell(g, 2, 4);
    test::enter(box, "1234567");
    test::expectInputError(env.messages, "密码最长为6位！");
    test::enter(box, "00"); // the switch would take it as no password
    test::expectInputError(env.messages, "密码不能为0或00！");
    test::enter(box, "2468");
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "510").value(6), "2468");
    EXPECT_EQ(drained(), QStringList{"*67*510*2468#"});

    // Back to 普通: the switch drops its password too.
    test::dblClickCell(g, 2, 5);
    EXPECT_EQ(drained(), QStringList{"*67*510*0#"});
    test::dblClickCell(g, 2, 5); // and 押金 again
    drained();

    // The delete asks first and names the money left on the deposit.
    ASSERT_TRUE(env.exec("UPDATE Foregift SET 余额='3.20' WHERE 物理端口='510'"));
    test::clickCell(g, 2, 1);
    env.messages.queueAnswer(MessageService::Answer::No);
    test::press(w.get(), "cmdDeleteAccount");
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_TRUE(env.messages.last()->text.contains("3.20")) << env.messages.last()->text.toStdString();
    EXPECT_EQ(env.select("SELECT * FROM Account").size(), 2);
    EXPECT_TRUE(drained().isEmpty());
    env.messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), "cmdDeleteAccount");
    EXPECT_EQ(env.select("SELECT * FROM Account").size(), 1);
    EXPECT_TRUE(env.select("SELECT * FROM Foregift").isEmpty());
    // The switch gets the demotion class for it, so the account stops working.
    EXPECT_EQ(drained(), QStringList{"*68*1*0*0*510#"});

    // Without money it asks as well.
    test::clickCell(g, 1, 1);
    env.messages.queueAnswer(MessageService::Answer::No);
    test::press(w.get(), "cmdDeleteAccount");
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_EQ(env.messages.last()->title, "删除账号");
    EXPECT_EQ(env.select("SELECT * FROM Account").size(), 1);
    EXPECT_TRUE(drained().isEmpty());
}

TEST_F(UserWindowTest, ABatchOverEveryExtensionShowsProgressAndTheSwitchAgreesAfterwards)
{
    open();
    FlexGrid *g = grid("hfgUser");
    env.addDeposit("40", "840", "0.50");
    // Every port's class, over all 120 extensions, typed from the last to the first.
    test::clickCell(g, 1, 3);
    test::fill(edit("txtPortBegin"), "119");
    test::fill(edit("txtPortEnd"), "0");
    auto *values = child<QComboBox>("cmbValue");
    ASSERT_FALSE(values->isHidden());
    values->setCurrentIndex(values->findText("6"));
    test::press(w.get(), "cmdAmendUser");
    ASSERT_TRUE(w->amending());
    // The window and the intake keep running while it goes out.
    ASSERT_TRUE(test::waitFor(
        [&] {
            env.clock.advanceMs(100);
            return child<QLabel>("lblTip")->text() == "提示：已经处理100/120";
        },
        20000));
    env.intake->ProcessCallRecord(test::callFrame(40, 30, 1860));
    EXPECT_EQ(user(40).value(3), "1"); // port 40 was passed already and is demoted now
    test::dblClickCell(g, 2, 4);
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_EQ(env.messages.last()->text, "正在批量修改，请稍候！");
    env.messages.clear();
    drained();
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：已经处理完毕！");
    EXPECT_EQ(user(0).value(3), "6");
    EXPECT_EQ(user(40).value(3), "1");

    // More of every kind, by the grid.
    test::dblClickCell(g, 9, 4);
    test::dblClickCell(g, 9, 5);
    test::dblClickCell(g, 9, 6);
    test::dblClickCell(g, 9, 7);
    test::dblClickCell(g, 9, 8);
    test::dblClickCell(g, 9, 9);
    test::dblClickCell(g, 9, 10);
    test::dblClickCell(g, 9, 11);
    test::enter(edit("txtUser"), "120");
    test::dblClickCell(g, 9, 1);
    test::enter(edit("txtUser"), "555");
    test::dblClickCell(g, 6, 12);
    test::showTab(child<QTabWidget>("sstGroup"), 2);
    test::dblClickCell(grid("hfgForegift"), FindGridRow("5", *grid("hfgForegift"), 0), 7);
    drained();
    w.reset();
    drained();

    // The simulator, fed with every command the console wrote, from its
    // factory state with the numbers and classes of the database's defaults.
    sim::ParameterMemory memory;
    for (const QString &code : all) {
        if (code.startsWith('*')) {
            EXPECT_TRUE(memory.apply(code).applied) << code.toStdString();
        }
    }
    const QStringList marks = env.ctx->CheckMarks;
    using M = sim::ParameterMemory;
    for (int p = 0; p < 120; ++p) {
        const QStringList u = user(p);
        EXPECT_EQ(memory.extensionNumber(p), u[1]) << p;
        EXPECT_EQ(memory.byte(M::ClassBlock, p) & 0x0F, u[3].toInt()) << p;
        if (p != 8)
            continue;
        EXPECT_EQ(memory.byte(M::CallerDisplayBlock, p), marks.indexOf(u[4]));
        EXPECT_EQ(memory.byte(M::FlagBlock, p), marks.indexOf(u[5]));
        EXPECT_EQ(memory.byte(M::LocalRightBlock, p) & 0x0F, marks.indexOf(u[6]));
        EXPECT_EQ(memory.byte(M::SpecialRightBlock, p), marks.indexOf(u[7]));
        EXPECT_EQ(memory.byte(M::RightsBlock, 120 + p), marks.indexOf(u[8]));
        EXPECT_EQ(memory.byte(M::RightsBlock, p), marks.indexOf(u[9]));
        EXPECT_EQ(memory.byte(M::TrunkGroupBlock, p), u[10].toInt());
        EXPECT_EQ(memory.byte(M::NumberHighBlock, 120 + p), u[11].toInt());
    }
    EXPECT_EQ(user(8).value(1), "555");
    EXPECT_EQ(memory.dialPassword(5), env.rowOf("Foregift", "物理端口", "5").value(6));
    EXPECT_FALSE(memory.dialPassword(5).isEmpty());
}

} // namespace

namespace {

TEST_F(UserWindowTest, ClosingDuringABatchStillSendsEveryPortBeforeTheClosingFrame)
{
    open();
    FlexGrid *g = grid("hfgUser");
    test::clickCell(g, 1, 9);
    test::fill(edit("txtPortBegin"), "0");
    test::fill(edit("txtPortEnd"), "119");
    auto *values = child<QComboBox>("cmbValue");
    values->setCurrentIndex(values->findText("×"));
    test::press(w.get(), "cmdAmendUser");
    ASSERT_TRUE(test::waitFor(
        [&] {
            env.clock.advanceMs(100);
            return child<QLabel>("lblTip")->text() == "提示：已经处理20/120";
        },
        20000));
    w->close();
    EXPECT_EQ(env.select("SELECT count(*) FROM User WHERE 分机允许中继呼入权='×'").value(0).value(0), "120");
    const QStringList got = drained();
    ASSERT_EQ(got.size(), 122);
    EXPECT_EQ(got.first(), "USER OPEN");
    EXPECT_EQ(got.at(1), "*43*0*800#");
    EXPECT_EQ(got.at(120), "*43*0*919#");
    EXPECT_EQ(got.last(), "USER CLOSE");
}

} // namespace

TEST_F(UserWindowTest, TheBatchChangesTheColumnItsCaptionNamesAfterKeyboardMoves)
{
    open();
    drained();
    FlexGrid *g = grid("hfgUser");
    // The class of port 5, then seven steps right with the keyboard: the
    // batch now changes the trunk group, and the range is typed.
    test::clickCell(g, 6, 3);
    EXPECT_EQ(child<QPushButton>("cmdAmendUser")->text(), "批量修改(&B)\n\n'分机等级'");
    g->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(g, Qt::Key_Right);
    ASSERT_EQ(g->col(), 10);
    const QString header = g->textMatrix(0, 10);
    EXPECT_EQ(child<QPushButton>("cmdAmendUser")->text(), "批量修改(&B)\n\n'" + header + "'");
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：批量修改'" + header + "'!");
    EXPECT_EQ(edit("txtPortBegin")->text(), "5");
    EXPECT_EQ(edit("txtPortEnd")->text(), "5");
    test::fill(edit("txtPortEnd"), "7");
    auto *choices = child<QComboBox>("cmbValue");
    ASSERT_FALSE(choices->isHidden()); // the trunk group's list, not the class's
    EXPECT_EQ(choices->currentText(), "0");
    choices->setCurrentIndex(choices->findText("2"));
    test::press(w.get(), "cmdAmendUser");
    EXPECT_EQ(drained(), (QStringList{"*48*2*805#", "*48*2*806#", "*48*2*807#"}));
    EXPECT_EQ(user(5).value(3), "4"); // the class is untouched
    EXPECT_EQ(user(7).value(10), "2");

    // The switch has answered the probe after them: they reached it.
    ASSERT_TRUE(test::waitFor(
        [&] {
            env.clock.advanceMs(100);
            return env.link->KeptCount() == 0;
        },
        5000));

    // Without the switch the batch is stored, its commands wait and the tip
    // says so instead of "处理完毕"; they go once the switch is back.
    env.link->ClosePorts();
    env.link->SetLinkUp(false);
    test::clickCell(g, 9, 10);
    test::fill(edit("txtPortEnd"), "9");
    choices->setCurrentIndex(choices->findText("3"));
    test::press(w.get(), "cmdAmendUser");
    EXPECT_EQ(user(9).value(10), "3");
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：交换机未连接，2条命令将在连接恢复后发送。");
    ASSERT_TRUE(env.link->OpenPort(1));
    env.link->SetLinkUp(true);
    EXPECT_EQ(drained(), (QStringList{"*48*3*808#", "*48*3*809#"}));
}

TEST_F(UserWindowTest, AFailedDepositWriteLeavesUserAndAccountAsTheyWereAndSendsNothing)
{
    open();
    drained();
    test::showTab(child<QTabWidget>("sstGroup"), 3);
    test::press(w.get(), "cmdAddAccount");
    drained();
    ASSERT_TRUE(env.exec("CREATE TRIGGER depositFull BEFORE INSERT ON Foregift "
                         "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    const QStringList userBefore = user(5);
    const QStringList accountBefore = env.rowOf("Account", "账号编号", "511");
    ASSERT_FALSE(accountBefore.isEmpty());

    // Port 5 to 押金: its deposit row cannot be written.
    test::showTab(child<QTabWidget>("sstGroup"), 0);
    env.messages.clear();
    test::dblClickCell(grid("hfgUser"), 6, 12);
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_TRUE(env.messages.last()->text.contains("disk is full")) << env.messages.last()->text.toStdString();
    EXPECT_EQ(user(5), userBefore);
    EXPECT_EQ(grid("hfgUser")->textMatrix(6, 12), "普通");

    // A store that succeeds in between: the next failure is told again.
    test::dblClickCell(grid("hfgUser"), 7, 3);
    EXPECT_EQ(drained(), QStringList{"*10*5*806#"});

    // A batch over ports 4 to 7 that fails on port 6 says where and why;
    // ports 4 and 5 are stored and sent, 6 and 7 neither.
    ASSERT_TRUE(env.exec("CREATE TRIGGER port6Locked BEFORE UPDATE ON User WHEN OLD.物理端口='6' "
                         "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    test::clickCell(grid("hfgUser"), 5, 3);
    test::fill(edit("txtPortEnd"), "7");
    auto *classes = child<QComboBox>("cmbValue");
    classes->setCurrentIndex(classes->findText("2"));
    env.messages.clear();
    test::press(w.get(), "cmdAmendUser");
    EXPECT_EQ(drained(), (QStringList{"*10*2*804#", "*10*2*805#"}));
    EXPECT_EQ(child<QLabel>("lblTip")->text(), "提示：已经处理2/4，物理端口6未能修改");
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_TRUE(env.messages.last()->text.contains("物理端口6")) << env.messages.last()->text.toStdString();
    EXPECT_TRUE(env.messages.last()->text.contains("disk is full")) << env.messages.last()->text.toStdString();
    EXPECT_EQ(user(5).value(3), "2");
    EXPECT_EQ(user(6).value(3), "5");
    EXPECT_EQ(user(7).value(3), "4");
    test::dblClickCell(grid("hfgUser"), 10, 3); // a success again: port 9, 4 -> 5
    EXPECT_EQ(drained(), QStringList{"*10*5*809#"});

    // Account 511 to 押金, likewise.
    test::showTab(child<QTabWidget>("sstGroup"), 3);
    env.messages.clear();
    test::dblClickCell(grid("hfgAccount"), 1, 5);
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_TRUE(env.messages.last()->text.contains("disk is full")) << env.messages.last()->text.toStdString();
    EXPECT_EQ(env.rowOf("Account", "账号编号", "511"), accountBefore);
    EXPECT_EQ(grid("hfgAccount")->textMatrix(1, 5), "普通");
    EXPECT_TRUE(env.select("SELECT * FROM Foregift").isEmpty());
    EXPECT_TRUE(drained().isEmpty());
}
