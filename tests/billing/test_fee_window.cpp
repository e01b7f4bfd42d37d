// The charging settings window driven as an operator would: typing into the
// delay boxes and leaving them, double clicks and the in-cell editors of the
// two grids, the clear button. The star codes are read off a pseudo-terminal
// standing in for the switch's port.
#include "CommandDecoder.h"
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "HexBytes.h"
#include "ParameterMemory.h"
#include "PtyPair.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPHNFee.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using test::hex;
using test::show;

class FeeWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        ASSERT_TRUE(test::openSwitchOnPty(ctx, pty, link));
    }
    void TearDown() override
    {
        w.reset();
        test::closeSwitchOnPty(ctx, link);
        ctx.db.close();
    }

    frmPHNFee &open()
    {
        w = std::make_unique<frmPHNFee>(ctx);
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
    QLineEdit *delay(int i) { return child<QLineEdit>(QStringLiteral("txtDelay_%1").arg(i)); }

    QByteArray sent() { return test::sentThroughQueue(*link, pty, clock); }
    QString value(const QString &sql) { return ctx.db.scalar(sql).value_or(QStringLiteral("<none>")); }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair pty;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<frmPHNFee> w;
};

TEST_F(FeeWindowTest, DelaysGoOnlyWhenChangedAndOnlyWhenValid)
{
    open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("计费设置"));
    EXPECT_EQ(child<QLineEdit>(QStringLiteral("txtDelay_3"))->text(), QStringLiteral("10"));
    test::typeAndLeave(delay(3), QStringLiteral("10"));
    EXPECT_TRUE(sent().isEmpty());

    for (const char *bad : {"256", "5.5", "-5", "五", " "}) {
        test::typeAndLeave(delay(3), QString::fromUtf8(bad));
        test::expectInputError(messages, QStringLiteral("计费延时必须是0到255的整数（秒）！"));
        EXPECT_TRUE(child<QLineEdit>(QStringLiteral("txtDelay_3"))->hasFocus()) << bad;
    }
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(value(QStringLiteral("SELECT 市话延时 FROM Feesetting")), QStringLiteral("10"));

    test::typeAndLeave(delay(3), QStringLiteral("5"));
    EXPECT_EQ(show(sent()), show(hex("0B 17 0B 05 0C"))); // *17*5#
    EXPECT_EQ(value(QStringLiteral("SELECT 市话延时 FROM Feesetting")), QStringLiteral("5"));
    test::typeAndLeave(delay(0), QStringLiteral("30"));
    EXPECT_EQ(show(sent()), show(hex("0B 27 0B 3A 0C"))); // *27*30#
}

TEST_F(FeeWindowTest, OutsideNumbersAndClearingThem)
{
    open();
    auto *g = child<FlexGrid>(QStringLiteral("hfgExNO"));
    QLineEdit *box = child<QLineEdit>(QStringLiteral("txtExNO"));
    EXPECT_EQ(g->textMatrix(0, 1), QStringLiteral("外线号码"));
    EXPECT_EQ(g->textMatrix(1, 1), QStringLiteral("无需设置"));
    test::dblClickCell(g, 1, 1);
    EXPECT_FALSE(box->isVisible()); // trunk 1's number cannot be set

    test::dblClickCell(g, 3, 1);
    ASSERT_TRUE(box->isVisible());
    for (const char *bad : {"12345", "123456789"}) {
        test::enter(box, QLatin1String(bad));
        test::expectInputError(messages, QStringLiteral("电话号码长度为6到8位!"));
    }
    test::enter(box, QStringLiteral("12345a"));
    test::expectInputError(messages, QStringLiteral("外线号码必须是数字!"));
    EXPECT_TRUE(sent().isEmpty());
    test::enter(box, QStringLiteral("87654321"));
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(g->textMatrix(3, 1), QStringLiteral("87654321"));
    // *77*3*87654321#
    EXPECT_EQ(show(sent()), show(hex("0B 77 0B 03 0B 87 65 43 21 0C")));

    QTest::mouseClick(child<QPushButton>(QStringLiteral("cmdClear")), Qt::LeftButton);
    EXPECT_EQ(show(sent()), show(hex("0B 77 0B 0A 0C"))); // *77*0#
    EXPECT_EQ(g->textMatrix(3, 1), QString());
    EXPECT_EQ(g->textMatrix(1, 1), QStringLiteral("无需设置"));
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM ExNO WHERE 外线号码<>''")), QStringLiteral("1"));
}

TEST_F(FeeWindowTest, WorkingDaysAndPeriods)
{
    open();
    auto *g = child<FlexGrid>(QStringLiteral("hfgWorkday"));
    QLineEdit *box = child<QLineEdit>(QStringLiteral("txtWorkday"));
    EXPECT_EQ(g->cols(), 8);
    EXPECT_EQ(g->textMatrix(0, 1), QStringLiteral("工作日控制"));

    // Days outside 1..7 are refused.
    for (const char *bad : {"0", "8"}) {
        test::dblClickCell(g, 3, 2);
        ASSERT_TRUE(box->isVisible());
        test::enter(box, QLatin1String(bad));
        test::expectInputError(messages, QStringLiteral("工作日设置范围1～7！"));
        QTest::keyClick(box, Qt::Key_Escape);
    }
    // A period while the mark is "×": stored, reformatted, nothing sent.
    test::dblClickCell(g, 3, 4);
    test::enter(box, QStringLiteral("830"));
    EXPECT_EQ(g->textMatrix(3, 4), QStringLiteral("08:30"));
    EXPECT_EQ(value(QStringLiteral("SELECT 时段一起 FROM ExNO WHERE 中继号='3'")), QStringLiteral("08:30"));
    test::dblClickCell(g, 3, 5);
    test::enter(box, QStringLiteral("25:99"));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, QStringLiteral("时段必须是有效的时间，如08:30！"));
    messages.clear();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(sent().isEmpty());

    // The mark on: the pair, with the pause between its commands.
    test::dblClickCell(g, 3, 1);
    EXPECT_EQ(g->textMatrix(3, 1), QStringLiteral("√"));
    // *86*1*5*3#, *85*08301200*14001800*3#
    EXPECT_EQ(show(sent()), show(hex("0B 86 0B 01 0B 05 0B 03 0C 0B 85 0B A8 3A 12 AA 0B 14 AA 18 AA 0B 03 0C")));
    // Editing while "√" sends the pair again.
    test::dblClickCell(g, 3, 7);
    test::enter(box, QStringLiteral("1730"));
    EXPECT_EQ(show(sent()), show(hex("0B 86 0B 01 0B 05 0B 03 0C 0B 85 0B A8 3A 12 AA 0B 14 AA 17 3A 0B 03 0C")));

    // The mark off: "*86*0*3#", days and periods kept.
    test::dblClickCell(g, 3, 1);
    EXPECT_EQ(show(sent()), show(hex("0B 86 0B 0A 0B 03 0C")));
    EXPECT_EQ(value(QStringLiteral(
                  "SELECT 工作日控制 || 起始星期 || 结束星期 || 时段一起 || 时段二止 FROM ExNO WHERE 中继号='3'")),
              QStringLiteral("×1508:3017:30"));
}

TEST_F(FeeWindowTest, TheSimulatedSwitchFollowsTheChargingSettings)
{
    open();
    auto *numbers = child<FlexGrid>(QStringLiteral("hfgExNO"));
    auto *days = child<FlexGrid>(QStringLiteral("hfgWorkday"));
    QByteArray bytes;
    test::typeAndLeave(delay(0), QStringLiteral("30"));
    test::typeAndLeave(delay(1), QStringLiteral("20"));
    test::typeAndLeave(delay(2), QStringLiteral("0"));
    test::typeAndLeave(delay(4), QStringLiteral("255"));
    test::dblClickCell(numbers, 4, 1);
    test::enter(child<QLineEdit>(QStringLiteral("txtExNO")), QStringLiteral("654321"));
    test::dblClickCell(numbers, 12, 1);
    test::enter(child<QLineEdit>(QStringLiteral("txtExNO")), QStringLiteral("12345678"));
    test::dblClickCell(days, 5, 6);
    test::enter(child<QLineEdit>(QStringLiteral("txtWorkday")), QStringLiteral("1330"));
    test::dblClickCell(days, 5, 1);
    test::dblClickCell(days, 6, 1);
    test::dblClickCell(days, 6, 1);
    bytes = sent();

    sim::ParameterMemory memory;
    sim::CommandDecoder decoder;
    QStringList refused;
    for (const sim::Command &c : decoder.feed(bytes)) {
        ASSERT_EQ(c.kind, sim::Command::StarCode) << c.text.toStdString();
        if (const auto o = memory.apply(c.code); !o.applied)
            refused << c.code + QStringLiteral(": ") + o.note;
    }
    EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();

    // Delays: international, domestic, local, city, mobile in block 0.
    const QStringList delays = ctx.db.select(QStringLiteral("SELECT * FROM Feesetting")).value().first();
    const int bytesOf[] = {29, 28, 26, 25, 31};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(QString::number(memory.byte(0, bytesOf[i])), delays.at(i)) << i;
    for (int t = 2; t <= 12; ++t)
        EXPECT_EQ(memory.outsideNumber(t), value(QStringLiteral("SELECT 外线号码 FROM ExNO WHERE 中继号='%1'").arg(t)))
            << t;
    // Working days of trunk 5 on, trunk 6 off again: block 14.
    auto bcd = [](quint8 b) { return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')); };
    EXPECT_EQ(memory.byte(14, 4), 1);
    EXPECT_EQ(memory.byte(14, 5), 0);
    EXPECT_EQ(QString::number(memory.byte(14, 12 + 4)) + QString::number(memory.byte(14, 24 + 4)),
              QStringLiteral("15"));
    EXPECT_EQ(bcd(memory.byte(14, 36 + 4)) + bcd(memory.byte(14, 48 + 4)) + bcd(memory.byte(14, 60 + 4))
                  + bcd(memory.byte(14, 72 + 4)) + bcd(memory.byte(14, 84 + 4)) + bcd(memory.byte(14, 96 + 4))
                  + bcd(memory.byte(14, 108 + 4)) + bcd(memory.byte(14, 120 + 4)),
              QStringLiteral("0800120013301800"));
}

} // namespace
