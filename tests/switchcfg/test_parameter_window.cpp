// The switch parameters window driven as an operator would: typing into the
// boxes and leaving them with Tab, choosing from lists, double clicks and
// drags on the trunk grid, the in-cell editor with Enter, the buttons and
// the scripted boxes. What reaches the switch is read off a pseudo-terminal
// standing in for its port; a few commands are held against bytes written
// out by hand, and every command is played into the simulator's parameter
// memory, which must end agreeing with the database.
#include "BillTable.h"
#include "CallIntake.h"
#include "CallQuery.h"
#include "CommandDecoder.h"
#include "ConsoleContext.h"
#include "DepositTable.h"
#include "DownloadPlan.h"
#include "DumpFixture.h"
#include "FeeEngine.h"
#include "FlexGrid.h"
#include "Frames.h"
#include "HexBytes.h"
#include "ParameterDump.h"
#include "ParameterMemory.h"
#include "PtyPair.h"
#include "SimBridge.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "TestWait.h"
#include "UserTable.h"
#include "WindowDriver.h"
#include "frmSWTParameter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using test::hex;
using test::show;

class ParameterWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        ASSERT_TRUE(test::openSwitchOnPty(ctx, pty, link));
        ASSERT_TRUE(outward.ok());
        ASSERT_TRUE(outward.linkAs(ctx.home.portsDir() + QStringLiteral("/COM2")));
    }

    void TearDown() override
    {
        w.reset();
        test::closeSwitchOnPty(ctx, link);
        ctx.db.close();
    }

    // The switch as the database has programmed it before the window opens.
    void programSwitch()
    {
        Checked<DownloadPlan> plan = BuildDownload(ctx.db);
        ASSERT_TRUE(bool(plan)) << plan.reason().toStdString();
        const QStringList refused = test::applyDownload(*plan, memory, clock.now());
        ASSERT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
    }

    frmSWTParameter &open()
    {
        w = std::make_unique<frmSWTParameter>(ctx);
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
    QLineEdit *edit(const QString &name) { return child<QLineEdit>(name); }
    FlexGrid *trunks() { return child<FlexGrid>(QStringLiteral("hfgExchange")); }

    // Everything the switch received, up to a marker command queued behind
    // the window's commands, as bytes; each step moves the test clock on by
    // stepMs and notes the tip of the trunk tab when it changes.
    QByteArray sentBytes(int stepMs = 200)
    {
        const auto noteTip = [this] {
            if (!w)
                return;
            const QString tip = child<QLabel>(QStringLiteral("lblTip"))->text();
            if (tips.isEmpty() || tips.last() != tip)
                tips << tip;
        };
        if (w)
            tips << child<QLabel>(QStringLiteral("lblTip"))->text();
        return test::sentThroughQueue(*link, pty, clock, stepMs, noteTip, 10000);
    }
    // The same as star codes, each played into the simulator's memory.
    QStringList sent(int stepMs = 200)
    {
        QStringList codes;
        sim::CommandDecoder decoder;
        for (const sim::Command &c : decoder.feed(sentBytes(stepMs))) {
            codes << c.text;
            if (c.kind != sim::Command::StarCode)
                continue;
            const sim::ParameterMemory::Outcome o = memory.apply(c.code);
            if (!o.applied)
                refusedBySwitch << c.code + QStringLiteral(": ") + o.note;
        }
        return codes;
    }

    // The switch's memory read back and compared with the database: the rows
    // that have a database value and do not agree.
    QStringList disagreeing()
    {
        test::RecordingDumpLink dumpLink;
        ParameterDump dump(ctx.db, clock, dumpLink);
        EXPECT_TRUE(bool(dump.start()));
        const QMap<int, QString> blocks = test::dumpTexts(memory);
        for (int n = 0; n < sim::ParameterMemory::BlockCount; ++n)
            dump.DecodeParameterBlock(blocks.value(n));
        EXPECT_TRUE(dump.complete());
        QStringList out;
        for (const ComparisonRow &r : dump.rows())
            if (r.db.source != DbRef::Source::None && r.verdict != Verdict::Same)
                out << QStringLiteral("%1 %2 %3: %4 / %5").arg(r.row).arg(r.item, r.detail, r.switchValue, r.dbValue);
        return out;
    }

    QString value(const QString &sql, const QVariantList &p = {})
    {
        return ctx.db.scalar(sql, p).value_or(QStringLiteral("<none>"));
    }
    void exec(const QString &sql, const QVariantList &p = {}) { ASSERT_TRUE(test::Ok(ctx.db.exec(sql, p))); }
    QString trunk(int t, const char *col)
    {
        return value(QStringLiteral("SELECT %1 FROM Exchange WHERE 中继=?").arg(QString::fromUtf8(col)),
                     {QString::number(t)});
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair pty;
    test::PtyPair outward;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<frmSWTParameter> w;
    sim::ParameterMemory memory;
    QStringList refusedBySwitch;
    QStringList tips;
};

TEST_F(ParameterWindowTest, OpensWithTheStoredSettings)
{
    exec(QStringLiteral(
        "UPDATE SWTConfig SET 夜服值班分机='4', 代理总机2='9', 呼入等待信号音类型='0', 话单文件路径='/srv/话单/'"));
    exec(QStringLiteral("UPDATE Exchange SET 虚拟总机1='7' WHERE 中继='2'"));
    exec(QStringLiteral("INSERT INTO SPCPhone VALUES ('114'), ('95555')"));
    open();
    auto *tabs = child<QTabWidget>(QStringLiteral("sstConfig"));
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("系统"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("中继"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("参数设置"));
    EXPECT_EQ(edit(QStringLiteral("txtUserSum"))->text(), QStringLiteral("120"));
    EXPECT_EQ(child<QComboBox>(QStringLiteral("cmbPHNLen"))->currentText(), QStringLiteral("3"));
    EXPECT_EQ(child<QComboBox>(QStringLiteral("cmbCodeLen"))->currentText(), QStringLiteral("6"));
    EXPECT_EQ(child<QComboBox>(QStringLiteral("cmbHead"))->currentText(), QStringLiteral("6"));
    EXPECT_EQ(edit(QStringLiteral("txtNightNO"))->text(), QStringLiteral("804"));
    EXPECT_EQ(edit(QStringLiteral("txtAgent_1"))->text(), QStringLiteral("809"));
    EXPECT_TRUE(child<QRadioButton>(QStringLiteral("optSignal_0"))->isChecked());
    EXPECT_EQ(child<QComboBox>(QStringLiteral("cmbCOM"))->currentText(), QStringLiteral("2"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblFile"))->text(), QStringLiteral("/srv/话单/"));
    auto *list = child<QListWidget>(QStringLiteral("lstSpecial"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("95555"));

    FlexGrid *g = trunks();
    EXPECT_EQ(g->cols(), 15);
    EXPECT_EQ(g->rows(), 13);
    EXPECT_EQ(g->textMatrix(0, 5), QStringLiteral("中继出局方式"));
    EXPECT_EQ(g->textMatrix(12, 0), QStringLiteral("12"));
    EXPECT_EQ(g->textMatrix(2, 10), QStringLiteral("807")); // the port shown as its number
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblTip"))->text(), QStringLiteral("提示：请选择您要修改的内容。"));
    EXPECT_TRUE(sent().isEmpty());

    for (int t = 0; t < 2; ++t) {
        tabs->setCurrentIndex(t);
        QApplication::processEvents();
        w->grab().save(test::artifactDir() + QStringLiteral("/frmSWTParameter_tab%1.png").arg(t));
    }
}

TEST_F(ParameterWindowTest, CapacityAndClassBoxesCheckAsTheyAreLeft)
{
    exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='96'"));
    open();
    QLineEdit *box = edit(QStringLiteral("txtUserSum"));

    struct Case {
        const char *typed;
        const char *message;
    };
    for (const Case &k : {Case{"121", "用户容量最大为120门!"}, Case{"12.5", "用户容量必须是整数!"},
                          Case{"abc", "用户容量必须是数字!"}, Case{"-1", "用户容量必须是数字!"},
                          Case{"一百", "用户容量必须是数字!"}, Case{"0120", "用户容量最多为3位数字!"}}) {
        test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QString::fromUtf8(k.typed));
        test::expectInputError(messages, QString::fromUtf8(k.message));
        EXPECT_TRUE(box->hasFocus()) << k.typed; // the focus stays in the box
        EXPECT_EQ(value(QStringLiteral("SELECT 用户容量 FROM SWTConfig")), QStringLiteral("96"));
    }
    EXPECT_TRUE(sent().isEmpty());

    // Re-entering the stored value sends nothing; 120 goes to the switch.
    test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QStringLiteral("96"));
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_TRUE(sentBytes().isEmpty());
    test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QStringLiteral("120"));
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(show(sentBytes()), show(hex("0B 32 0B 01 2A 0C")));
    EXPECT_EQ(value(QStringLiteral("SELECT 用户容量 FROM SWTConfig")), QStringLiteral("120"));

    test::typeAndLeave(edit(QStringLiteral("txtGrade")), QStringLiteral("8"));
    test::expectInputError(messages, QStringLiteral("超额或清账后等级最大为7级!"));
    EXPECT_TRUE(edit(QStringLiteral("txtGrade"))->hasFocus());
    test::typeAndLeave(edit(QStringLiteral("txtGrade")), QStringLiteral("3"));
    EXPECT_EQ(value(QStringLiteral("SELECT 超额或清账后等级 FROM SWTConfig")), QStringLiteral("3"));
    EXPECT_TRUE(sent().isEmpty()); // the class is not the switch's
}

TEST_F(ParameterWindowTest, NumberLengthRenumbersAndTheBoxesFollow)
{
    exec(QStringLiteral("UPDATE SWTConfig SET 夜服值班分机='4', 代理总机1='9'"));
    exec(QStringLiteral("UPDATE Exchange SET 虚拟总机1='7' WHERE 中继='2'"));
    // Room 801 (port 1) holds a deposit and a call not settled yet.
    exec(QStringLiteral("UPDATE User SET 付费方式=? WHERE 物理端口='1'"), {UserTable::Prepaid});
    const auto room = UserTable(ctx.db).byPort(QStringLiteral("1"));
    ASSERT_TRUE(room && *room);
    ASSERT_TRUE(test::Ok(DepositTable(ctx.db).addForUser(**room)));
    BillRecord call;
    call.set(BillField::Caller, QStringLiteral("801"));
    call.set(BillField::EndTime, QStringLiteral("2026年12月09日10时30分"));
    call.set(BillField::Fee, QStringLiteral("1.20"));
    call.set(BillField::CallType, QStringLiteral("4"));
    ASSERT_TRUE(test::Ok(BillTable(ctx.db).append(call)));
    programSwitch();
    open();
    auto *length = child<QComboBox>(QStringLiteral("cmbPHNLen"));
    length->setFocus(Qt::TabFocusReason);
    // A wheel notch or an arrow key only moves in the list.
    QWheelEvent notch(QPointF(5, 5), length->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(length, &notch);
    EXPECT_EQ(length->currentText(), QStringLiteral("3"));
    QTest::keyClick(length, Qt::Key_Down); // 3 -> 4
    EXPECT_EQ(length->currentText(), QStringLiteral("4"));
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT 分机号长 FROM SWTConfig")), QStringLiteral("3"));
    // Enter asks before every extension is renumbered; "否" is the default.
    QTest::keyClick(length, Qt::Key_Return);
    ASSERT_TRUE(messages.last());
    EXPECT_TRUE(messages.last()->text.startsWith(QStringLiteral("将重新编号全部分机")))
        << messages.last()->text.toStdString();
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(length->currentText(), QStringLiteral("3"));
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT 用户号码 FROM User WHERE 物理端口='119'")), QStringLiteral("919"));

    QTest::keyClick(length, Qt::Key_Down);
    messages.queueAnswer(MessageService::Answer::Yes);
    QTest::keyClick(length, Qt::Key_Return);
    EXPECT_EQ(length->currentText(), QStringLiteral("4"));
    EXPECT_EQ(sent(), QStringList{"*04*4#"});
    EXPECT_EQ(value(QStringLiteral("SELECT 分机号长 FROM SWTConfig")), QStringLiteral("4"));
    EXPECT_EQ(value(QStringLiteral("SELECT 用户号码 FROM User WHERE 物理端口='119'")), QStringLiteral("8119"));
    EXPECT_EQ(edit(QStringLiteral("txtNightNO"))->text(), QStringLiteral("8004"));
    EXPECT_EQ(edit(QStringLiteral("txtAgent_0"))->text(), QStringLiteral("8009"));
    EXPECT_EQ(trunks()->textMatrix(2, 10), QStringLiteral("8007"));
    // The deposit follows port 1 to 8001; the call made as 801 can still be
    // chosen for a bill or a settlement.
    const auto deposit = DepositTable(ctx.db).ofExtension(QStringLiteral("1"));
    ASSERT_TRUE(deposit && *deposit);
    EXPECT_EQ((*deposit)->number(), QStringLiteral("8001"));
    const auto callers = CallQuery::FillList(ctx.db, CallQuery::SelectMode::Common);
    ASSERT_TRUE(test::Ok(callers));
    EXPECT_TRUE(callers->contains(QStringLiteral("801--") + CallQuery::StrandedName()));
    EXPECT_TRUE(callers->contains(QStringLiteral("8001--") + (*room)->name()));
    // Leaving the list sends nothing more.
    QTest::keyClick(length, Qt::Key_Tab);
    EXPECT_TRUE(sent().isEmpty());

    // The function digit acts on Enter too, never on an arrow key alone.
    auto *head = child<QComboBox>(QStringLiteral("cmbHead"));
    head->setFocus(Qt::TabFocusReason);
    QTest::keyClick(head, Qt::Key_Down); // 6 -> 7
    EXPECT_TRUE(sent().isEmpty());
    QTest::keyClick(head, Qt::Key_Return);
    EXPECT_EQ(sent(), QStringList{"*71*7#"});
    EXPECT_EQ(value(QStringLiteral("SELECT 功能首位字头 FROM SWTConfig")), QStringLiteral("7"));

    // The night-service box now takes four digits.
    test::typeAndLeave(edit(QStringLiteral("txtNightNO")), QStringLiteral("80050"));
    test::expectInputError(messages, QStringLiteral("值班分机号过长！"));
    test::typeOver(edit(QStringLiteral("txtNightNO")), QStringLiteral("8005"));
    test::press(w.get(), QStringLiteral("cmdSet"));
    EXPECT_EQ(sent(), QStringList{"*50*8005#"});
    EXPECT_EQ(value(QStringLiteral("SELECT 夜服值班分机 FROM SWTConfig")), QStringLiteral("5"));

    EXPECT_TRUE(refusedBySwitch.isEmpty()) << refusedBySwitch.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ParameterWindowTest, TrunkCellsStepOnDoubleClickAndBatchesGoInEitherDirection)
{
    exec(QStringLiteral("UPDATE Exchange SET 中继开关='×' WHERE 中继='3'"));
    exec(QStringLiteral("UPDATE Exchange SET 中继路由局向='3', 间局局向='25' WHERE 中继='4'"));
    exec(QStringLiteral("UPDATE Exchange SET 中继路由局向='6', 间局局向='61' WHERE 中继='6'"));
    programSwitch();
    open();
    FlexGrid *g = trunks();

    // "×" -> "√" -> "×" on trunk 3.
    test::dblClickCell(trunks(), 3, 1);
    EXPECT_EQ(g->textMatrix(3, 1), QStringLiteral("√"));
    EXPECT_EQ(trunk(3, "中继开关"), QStringLiteral("√"));
    EXPECT_EQ(show(sentBytes()), show(hex("0B 44 0B 01 0B 03 0C"))); // *44*1*3#
    memory.apply(QStringLiteral("*44*1*3#"));
    test::dblClickCell(trunks(), 3, 1);
    EXPECT_EQ(sent(), QStringList{"*44*0*3#"});
    EXPECT_EQ(trunk(3, "中继开关"), QStringLiteral("×"));

    // The group of trunks 2 to 5, selected downwards, then upwards.
    tips.clear();
    test::clickCell(trunks(), 2, 9);
    test::clickCell(trunks(), 5, 9, Qt::ShiftModifier);
    EXPECT_EQ(edit(QStringLiteral("txtExBegin"))->text(), QStringLiteral("2"));
    EXPECT_EQ(edit(QStringLiteral("txtExEnd"))->text(), QStringLiteral("5"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblTip"))->text(), QStringLiteral("提示：批量修改'中继分组'!"));
    auto *amend = child<QPushButton>(QStringLiteral("cmdAmend"));
    EXPECT_TRUE(amend->isEnabled());
    EXPECT_EQ(amend->text(), QStringLiteral("批量修改(&B)\n\n'中继分组'"));
    QLineEdit *value = edit(QStringLiteral("txtValue"));
    EXPECT_TRUE(value->isVisible());
    QTest::mouseClick(value, Qt::LeftButton);
    test::typeOver(value, QStringLiteral("13"));
    test::press(w.get(), QStringLiteral("cmdAmend"));
    test::expectInputError(messages, QStringLiteral("中继分组最大为12！"));
    test::typeOver(value, QStringLiteral("4"));
    tips.clear();
    test::press(w.get(), QStringLiteral("cmdAmend"));
    EXPECT_EQ(sent(50), (QStringList{"*47*4*2#", "*47*4*3#", "*47*4*4#", "*47*4*5#"}));
    EXPECT_EQ(tips, (QStringList{"提示：已经处理1/4", "提示：已经处理2/4", "提示：已经处理3/4", "提示：已经处理4/4",
                                 "提示：已经处理完毕！"}));
    for (int t = 2; t <= 5; ++t)
        EXPECT_EQ(g->textMatrix(t, 9), QStringLiteral("4"));

    test::clickCell(trunks(), 5, 9);
    test::clickCell(trunks(), 2, 9, Qt::ShiftModifier);
    EXPECT_EQ(edit(QStringLiteral("txtExBegin"))->text(), QStringLiteral("5"));
    EXPECT_EQ(edit(QStringLiteral("txtExEnd"))->text(), QStringLiteral("2"));
    test::typeOver(value, QStringLiteral("7"));
    tips.clear();
    test::press(w.get(), QStringLiteral("cmdAmend"));
    EXPECT_EQ(sent(50), (QStringList{"*47*7*5#", "*47*7*4#", "*47*7*3#", "*47*7*2#"}));
    EXPECT_EQ(tips.value(0), QStringLiteral("提示：已经处理1/4"));
    EXPECT_EQ(tips.value(3), QStringLiteral("提示：已经处理4/4"));
    EXPECT_EQ(trunk(2, "中继分组"), QStringLiteral("7"));

    // A range typed by hand outside 1..12 is refused.
    test::typeOver(edit(QStringLiteral("txtExEnd")), QStringLiteral("13"));
    test::press(w.get(), QStringLiteral("cmdAmend"));
    test::expectInputError(messages, QStringLiteral("中继号必须是1到12的整数！"));

    // Outgoing mode over trunks 4 to 6: each trunk's own directions.
    test::clickCell(trunks(), 4, 5);
    test::clickCell(trunks(), 6, 5, Qt::ShiftModifier);
    auto *choice = child<QComboBox>(QStringLiteral("cmbValue"));
    EXPECT_TRUE(choice->isVisible());
    EXPECT_FALSE(value->isVisible());
    choice->setCurrentText(QStringLiteral("间局"));
    test::press(w.get(), QStringLiteral("cmdAmend"));
    EXPECT_EQ(sent(), (QStringList{"*08*1*4#", "*08*1*4*25#", "*09*3*4#", "*08*1*5#", "*08*1*5*0#", "*09*0*5#",
                                   "*08*1*6#", "*08*1*6*61#", "*09*6*6#"}));
    // A double click steps trunk 4 back to "直局": the route direction only.
    test::dblClickCell(trunks(), 4, 5);
    EXPECT_EQ(g->textMatrix(4, 5), QStringLiteral("直局"));
    EXPECT_EQ(sent(), (QStringList{"*08*0*4#", "*09*3*4#"}));

    // The indirect direction of a direct trunk is stored and not sent.
    test::dblClickCell(trunks(), 4, 7);
    QLineEdit *cellBox = edit(QStringLiteral("txtExchange"));
    ASSERT_TRUE(cellBox->isVisible());
    EXPECT_EQ(cellBox->text(), QStringLiteral("25"));
    test::typeOver(cellBox, QStringLiteral("42"));
    QTest::keyClick(cellBox, Qt::Key_Return);
    EXPECT_FALSE(cellBox->isVisible());
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(trunk(4, "间局局向"), QStringLiteral("42"));
    EXPECT_EQ(g->textMatrix(4, 7), QStringLiteral("42"));
    // ... and of an indirect one is.
    test::dblClickCell(trunks(), 5, 7);
    test::typeOver(cellBox, QStringLiteral("9"));
    QTest::keyClick(cellBox, Qt::Key_Return);
    EXPECT_EQ(sent(), QStringList{"*08*1*5*9#"});
    test::dblClickCell(trunks(), 5, 6);
    test::typeOver(cellBox, QStringLiteral("x"));
    QTest::keyClick(cellBox, Qt::Key_Return);
    test::expectInputError(messages, QStringLiteral("请输入数字作为局向！"));
    EXPECT_TRUE(sent().isEmpty());

    // Several columns: no batch.
    test::clickCell(trunks(), 2, 2);
    test::clickCell(trunks(), 3, 4, Qt::ShiftModifier);
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblTip"))->text(),
              QStringLiteral("提示：您选择了网格的多列数据，程序无法进行批量修改！"));
    EXPECT_FALSE(amend->isEnabled());
    EXPECT_EQ(amend->text(), QStringLiteral("批量修改(&B)"));

    // Charging, incoming and dialling modes step through their lists.
    test::dblClickCell(trunks(), 7, 2); // 延时 -> 不计费
    test::dblClickCell(trunks(), 7, 3); // 转接 -> 群呼
    test::dblClickCell(trunks(), 7, 4); // 音频 -> 脉冲
    test::dblClickCell(trunks(), 7, 8); // √ -> ×
    EXPECT_EQ(sent(), (QStringList{"*05*0*7#", "*06*2*7#", "*07*1*7#", "*60*0*7#"}));

    EXPECT_TRUE(refusedBySwitch.isEmpty()) << refusedBySwitch.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
}

// The switch goes on reporting calls while a batch over all twelve trunks goes
// out: each record is stored and acknowledged at once, between the batch's
// commands, and the batch goes on to its end.
TEST_F(ParameterWindowTest, CallsAreTakenWhileABatchOverEveryTrunkGoesOut)
{
    struct IntakeHandlers : FrameHandlers {
        CallIntake *intake = nullptr;
        int ProcessCallRecord(const QByteArray &frame) override { return intake->ProcessCallRecord(frame); }
    } handlers;
    FeeEngine fees(ctx.db);
    CallIntake intake(ctx, fees);
    handlers.intake = &intake;
    link->setFrameHandlers(&handlers);
    programSwitch();
    open();

    test::clickCell(trunks(), 1, 9);
    test::clickCell(trunks(), 12, 9, Qt::ShiftModifier);
    EXPECT_EQ(edit(QStringLiteral("txtExBegin"))->text(), QStringLiteral("1"));
    EXPECT_EQ(edit(QStringLiteral("txtExEnd"))->text(), QStringLiteral("12"));
    test::typeOver(edit(QStringLiteral("txtValue")), QStringLiteral("3"));
    test::press(w.get(), QStringLiteral("cmdAmend"));

    auto *tip = child<QLabel>(QStringLiteral("lblTip"));
    const auto stored = [&] { return value(QStringLiteral("SELECT count(*) FROM PHNBill")); };
    const QString before = stored();
    QByteArray got;
    ASSERT_TRUE(test::waitFor(
        [&] {
            clock.advanceMs(50);
            got += pty.take();
            // Some trunks done and several still to go.
            const QString t = tip->text();
            return t.startsWith(QStringLiteral("提示：已经处理")) && t.endsWith(QStringLiteral("/12"))
                   && t.mid(7).section(QLatin1Char('/'), 0, 0).toInt() >= 2
                   && t.mid(7).section(QLatin1Char('/'), 0, 0).toInt() <= 8;
        },
        10000))
        << tip->text().toStdString();

    const sim::CallRecordData call{2, 5, false, 12, 9, 10, 30, 95, QStringLiteral("01088886666")};
    pty.write(sim::Frames::callRecord(call));
    ASSERT_TRUE(test::waitFor(
        [&] {
            got += pty.take();
            return stored() != before;
        },
        5000))
        << "the record was not stored while the batch ran";
    EXPECT_EQ(stored().toInt(), before.toInt() + 1);
    EXPECT_NE(tip->text(), QStringLiteral("提示：已经处理完毕！")) << "the batch had already ended";

    got += sentBytes(50);
    QStringList codes;
    sim::CommandDecoder decoder;
    for (const sim::Command &c : decoder.feed(got))
        codes << c.text;
    QStringList batch;
    for (int t = 1; t <= 12; ++t)
        batch << QStringLiteral("*47*3*%1#").arg(t);
    const int ack = int(codes.indexOf(QStringLiteral("ACK")));
    ASSERT_GE(ack, 0) << codes.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(codes.count(QStringLiteral("ACK")), 1);
    // Acknowledged between the batch's commands, none of which was lost.
    EXPECT_GT(ack, 0);
    EXPECT_LT(ack, int(codes.size()) - 1);
    codes.removeAll(QStringLiteral("ACK"));
    EXPECT_EQ(codes, batch);
    EXPECT_EQ(tip->text(), QStringLiteral("提示：已经处理完毕！"));
    for (int t = 1; t <= 12; ++t)
        EXPECT_EQ(trunk(t, "中继分组"), QStringLiteral("3")) << t;
    EXPECT_EQ(value(QStringLiteral("SELECT 被叫号码 FROM PHNBill ORDER BY rowid DESC LIMIT 1")),
              QStringLiteral("01088886666"));
    link->setFrameHandlers(nullptr);
}

TEST_F(ParameterWindowTest, VirtualOperatorsAreTypedAsNumbersAndResent)
{
    programSwitch();
    open();
    FlexGrid *g = trunks();
    QLineEdit *cellBox = edit(QStringLiteral("txtExchange"));
    auto typeInto = [&](int r, int c, const QString &text) {
        test::dblClickCell(trunks(), r, c);
        ASSERT_TRUE(cellBox->isVisible());
        test::typeOver(cellBox, text);
        QTest::keyClick(cellBox, Qt::Key_Return);
    };
    typeInto(3, 10, QStringLiteral("805"));
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(sent(), (QStringList{"*12*0*3#", "*12*805*3#"}));
    typeInto(3, 12, QStringLiteral("810"));
    EXPECT_EQ(sent(), (QStringList{"*12*0*3#", "*12*805*3#", "*12*810*3#"}));
    // The switch holds it second: so does the row.
    EXPECT_EQ(trunk(3, "虚拟总机2"), QStringLiteral("10"));
    EXPECT_EQ(g->textMatrix(3, 11), QStringLiteral("810"));
    EXPECT_EQ(g->textMatrix(3, 12), QString());

    typeInto(3, 11, QStringLiteral("999"));
    test::expectInputError(messages, QStringLiteral("您输入的虚拟总机号不存在，请核对后再输入！"));
    typeInto(3, 11, QStringLiteral("'8'"));
    test::expectInputError(messages, QStringLiteral("请输入整数作为虚拟总机号码！"));
    EXPECT_TRUE(sent().isEmpty());

    // Clearing one sends the rest again.
    typeInto(3, 10, QString());
    EXPECT_EQ(sent(), (QStringList{"*12*0*3#", "*12*810*3#"}));
    EXPECT_EQ(trunk(3, "虚拟总机1"), QStringLiteral("10"));
    EXPECT_EQ(g->textMatrix(3, 10), QStringLiteral("810"));
    EXPECT_EQ(g->textMatrix(3, 11), QString());

    EXPECT_TRUE(refusedBySwitch.isEmpty()) << refusedBySwitch.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ParameterWindowTest, AgentsSpecialNumbersAndTheSwitchButtons)
{
    programSwitch();
    open();

    // Agents: a refused box keeps everything as it was.
    test::typeOver(edit(QStringLiteral("txtAgent_0")), QStringLiteral("801"));
    test::typeOver(edit(QStringLiteral("txtAgent_2")), QStringLiteral("999"));
    test::press(w.get(), QStringLiteral("cmdSaveAgent"));
    test::expectInputError(messages, QStringLiteral("您输入的部分代理总机号不存在，请核对后再输入！"));
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT 代理总机1 FROM SWTConfig")), QString());
    test::typeOver(edit(QStringLiteral("txtAgent_2")), QStringLiteral("812"));
    test::press(w.get(), QStringLiteral("cmdSaveAgent"));
    EXPECT_EQ(sent(), (QStringList{"*49*0#", "*49*801#", "*49*812#"}));
    EXPECT_EQ(value(QStringLiteral("SELECT 代理总机3 FROM SWTConfig")), QStringLiteral("12"));

    // Special-service numbers.
    messages.queueText(QStringLiteral(" 114 "));
    test::press(w.get(), QStringLiteral("cmdAddSPC"));
    EXPECT_EQ(sent(), QStringList{"*19*6*7*114#"});
    auto *list = child<QListWidget>(QStringLiteral("lstSpecial"));
    ASSERT_EQ(list->count(), 1);
    messages.queueText(QStringLiteral("114"));
    test::press(w.get(), QStringLiteral("cmdAddSPC"));
    test::expectInputError(messages, QStringLiteral("您输入的特服号已经存在！"));
    messages.queueText(std::nullopt); // cancelled
    test::press(w.get(), QStringLiteral("cmdAddSPC"));
    test::expectInputError(messages, QStringLiteral("请输入整数作为特服号码！"));
    messages.queueText(QStringLiteral("１１０"));
    test::press(w.get(), QStringLiteral("cmdAddSPC"));
    test::expectInputError(messages, QStringLiteral("请输入整数作为特服号码！"));
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM SPCPhone")), QStringLiteral("1"));
    messages.queueText(QStringLiteral("95555"));
    test::press(w.get(), QStringLiteral("cmdAddSPC"));
    EXPECT_EQ(sent(), QStringList{"*19*6*7*95555#"});

    test::press(w.get(), QStringLiteral("cmdDelSPC"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("请在列表中选择要删除的特服号码！"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("无法删除"));
    messages.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(w.get(), QStringLiteral("cmdDelSPC"));
    EXPECT_EQ(messages.last()->text, QStringLiteral("是否删除特服号码“114”？"));
    EXPECT_EQ(sent(), QStringList{"*19*0*114#"});
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("95555"));

    // Reset and initialisation only when confirmed, initialisation twice.
    messages.queueAnswer(MessageService::Answer::Cancel);
    test::press(w.get(), QStringLiteral("cmdRST"));
    EXPECT_EQ(messages.last()->text, QStringLiteral("您确认需要进行复位操作吗？"));
    EXPECT_EQ(messages.last()->title, QStringLiteral("复位确认"));
    EXPECT_TRUE(sent().isEmpty());
    messages.queueAnswer(MessageService::Answer::Ok);
    test::press(w.get(), QStringLiteral("cmdRST"));
    EXPECT_EQ(show(sentBytes()), show(hex("0B 58 0B 5A 0C")));
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Ok);
    messages.queueAnswer(MessageService::Answer::Cancel);
    test::press(w.get(), QStringLiteral("cmdInitial"));
    EXPECT_EQ(messages.texts(), (QStringList{"您确认需要进行初始化操作吗？",
                                             "初始化交换机将改变部分数据和全部设置参数为出厂状态！请再次确认！"}));
    messages.queueAnswer(MessageService::Answer::Cancel);
    test::press(w.get(), QStringLiteral("cmdInitial"));
    EXPECT_TRUE(sentBytes().isEmpty());
    messages.queueAnswer(MessageService::Answer::Ok);
    messages.queueAnswer(MessageService::Answer::Ok);
    test::press(w.get(), QStringLiteral("cmdInitial"));
    EXPECT_EQ(show(sentBytes()), show(hex("0B 0A 0B 01 21 0C")));
}

TEST_F(ParameterWindowTest, OutwardCopyByPortAndToFiles)
{
    open();
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkOutCOMM")));
    EXPECT_TRUE(link->mscOut.isOpen());
    EXPECT_EQ(link->OutPortNumber(), 2);
    EXPECT_EQ(value(QStringLiteral("SELECT 启用串口向外发送 FROM SWTConfig")), QStringLiteral("1"));
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkOutCOMM")));
    EXPECT_FALSE(link->mscOut.isOpen());
    EXPECT_EQ(value(QStringLiteral("SELECT 启用串口向外发送 FROM SWTConfig")), QStringLiteral("0"));

    // A port that cannot be opened is told.
    auto *port = child<QComboBox>(QStringLiteral("cmbCOM"));
    port->setFocus(Qt::TabFocusReason);
    QTest::keyClick(port, Qt::Key_Down); // 2 -> 3, stored on Enter
    EXPECT_EQ(value(QStringLiteral("SELECT 向外发送串口 FROM SWTConfig")), QStringLiteral("2"));
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(value(QStringLiteral("SELECT 向外发送串口 FROM SWTConfig")), QStringLiteral("3"));
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkOutCOMM")));
    EXPECT_FALSE(link->mscOut.isOpen());
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("串口3无法打开，话单不能向外发送！"));
    messages.clear();

    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkOutFile")));
    EXPECT_EQ(value(QStringLiteral("SELECT 启用文件向外发送 FROM SWTConfig")), QStringLiteral("1"));
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkAutoReset")));
    EXPECT_EQ(value(QStringLiteral("SELECT 启用夜间自动复位 FROM SWTConfig")), QStringLiteral("1"));

    // The folder chosen in the dialog is created and stored with its separator.
    const QString folder = home.file(QStringLiteral("话单"));
    QString chosen = QStringLiteral("话单");
    ctx.runModal = [&](QDialog &d) {
        auto *dialog = qobject_cast<QFileDialog *>(&d);
        if (!dialog)
            return int(QDialog::Rejected);
        dialog->setDirectory(home.path());
        dialog->selectFile(chosen);
        return int(QDialog::Accepted);
    };
    test::press(w.get(), QStringLiteral("cmdSelectPath"));
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblFile"))->text(), folder + QStringLiteral("/"));
    EXPECT_EQ(value(QStringLiteral("SELECT 话单文件路径 FROM SWTConfig")), folder + QStringLiteral("/"));

    // A folder that cannot be made leaves the path as it was.
    QFile plain(home.file(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    chosen = QStringLiteral("plain");
    test::press(w.get(), QStringLiteral("cmdSelectPath"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.startsWith(QStringLiteral("无法建立文件夹")));
    EXPECT_EQ(value(QStringLiteral("SELECT 话单文件路径 FROM SWTConfig")), folder + QStringLiteral("/"));
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ParameterWindowTest, SystemSettingsReachTheSimulatedSwitch)
{
    programSwitch();
    open();
    test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QStringLiteral("64"));
    auto *head = child<QComboBox>(QStringLiteral("cmbHead"));
    head->setFocus(Qt::TabFocusReason);
    QTest::keyClick(head, Qt::Key_Down); // 6 -> 7
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("chkCodeLMT")));
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("optSignal_0")));
    test::clickIndicator(child<QAbstractButton>(QStringLiteral("optSignal_0"))); // again: nothing
    // "设置" checks the box itself: letters never reach the switch.
    test::typeOver(edit(QStringLiteral("txtNightNO")), QStringLiteral("8'1"));
    test::press(w.get(), QStringLiteral("cmdSet"));
    test::expectInputError(messages, QStringLiteral("值班分机号必须是数字!"));
    test::typeOver(edit(QStringLiteral("txtNightNO")), QStringLiteral("810"));
    test::press(w.get(), QStringLiteral("cmdSet"));
    EXPECT_EQ(sent(), (QStringList{"*32*64#", "*71*7#", "*80*1#", "*73*0#", "*50*810#"}));
    EXPECT_EQ(value(QStringLiteral("SELECT 功能首位字头 || 启用密码时限制市话 || 呼入等待信号音类型 FROM SWTConfig")),
              QStringLiteral("710"));
    EXPECT_TRUE(refusedBySwitch.isEmpty()) << refusedBySwitch.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(disagreeing().isEmpty()) << disagreeing().join(QLatin1Char('\n')).toStdString();

    // A capacity that is no multiple of eight: the switch keeps eighths.
    test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QStringLiteral("100"));
    EXPECT_EQ(sent(), QStringList{"*32*100#"});
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text,
              QStringLiteral("交换机以8门为单位设置用户容量，交换机中的容量将为104门，比照时将显示为不一致。"));
    EXPECT_EQ(memory.capacity(), 104);
    EXPECT_FALSE(disagreeing().isEmpty());
}

} // namespace

// The switch renumbers its extensions for ten seconds after "*04*": the next
// command waits that long, whatever else is queued behind it.
TEST_F(ParameterWindowTest, NothingFollowsTheNumberLengthForTenSeconds)
{
    open();
    auto *length = child<QComboBox>(QStringLiteral("cmbPHNLen"));
    length->setFocus(Qt::TabFocusReason);
    QTest::keyClick(length, Qt::Key_Down);
    messages.queueAnswer(MessageService::Answer::Yes);
    QTest::keyClick(length, Qt::Key_Return);
    link->QueueStarCommands({QStringLiteral("*99#")});
    sim::CommandDecoder decoder;
    QList<QPair<QString, qint64>> arrived;
    ASSERT_TRUE(test::waitFor(
        [&] {
            clock.advanceMs(10);
            for (const sim::Command &c : decoder.feed(pty.take()))
                arrived << qMakePair(c.text, clock.monotonicMs());
            return !arrived.isEmpty() && arrived.last().first == QStringLiteral("*99#");
        },
        20000));
    // The probe after it (the switch is asked whether it has it) waits too.
    ASSERT_GE(arrived.size(), 2);
    EXPECT_EQ(arrived.at(0).first, QStringLiteral("*04*4#"));
    const qint64 gap = arrived.at(1).second - arrived.at(0).second;
    EXPECT_GE(gap, 10000 - 10); // read off in steps of 10 ms
    EXPECT_LT(gap, 10100);
}

// With the switch gone a change is stored and its commands wait: the window
// says how many, and a trunk batch never ends on "处理完毕".
TEST_F(ParameterWindowTest, WithoutTheSwitchChangesWaitAndTheWindowSaysSo)
{
    open();
    // First the night-service box: a number no extension has is refused; an
    // emptied box is left without a word, and nothing is stored.
    test::typeAndLeave(edit(QStringLiteral("txtNightNO")), QStringLiteral("999"));
    test::expectInputError(messages, QStringLiteral("值班分机号999不存在，请核对后再输入！"));
    test::typeOver(edit(QStringLiteral("txtNightNO")), QString());
    QTest::keyClick(edit(QStringLiteral("txtNightNO")), Qt::Key_Tab);
    EXPECT_FALSE(edit(QStringLiteral("txtNightNO"))->hasFocus());
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT 夜服值班分机 FROM SWTConfig")), QStringLiteral("0"));

    link->ClosePorts();
    link->SetLinkUp(false);
    test::typeAndLeave(edit(QStringLiteral("txtUserSum")), QStringLiteral("96"));
    EXPECT_EQ(value(QStringLiteral("SELECT 用户容量 FROM SWTConfig")), QStringLiteral("96"));
    ASSERT_TRUE(messages.last());
    EXPECT_EQ(messages.last()->text, QStringLiteral("交换机未连接，1条命令将在连接恢复后发送。"));

    test::clickCell(trunks(), 2, 9);
    test::clickCell(trunks(), 5, 9, Qt::ShiftModifier);
    QLineEdit *box = edit(QStringLiteral("txtValue"));
    QTest::mouseClick(box, Qt::LeftButton);
    test::typeOver(box, QStringLiteral("07")); // a number to the switch: stored as 7
    test::press(w.get(), QStringLiteral("cmdAmend"));
    EXPECT_EQ(trunk(5, "中继分组"), QStringLiteral("7"));
    EXPECT_EQ(link->KeptCount(), 5);
    EXPECT_EQ(child<QLabel>(QStringLiteral("lblTip"))->text(),
              QStringLiteral("提示：交换机未连接，5条命令将在连接恢复后发送。"));
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM CommandPending")), QStringLiteral("5"));
}
