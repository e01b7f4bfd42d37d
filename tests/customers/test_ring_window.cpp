// The alarm clock window driven as an operator would: typing the number and
// the time, clicking the buttons, leaving. The commands are read off a
// pseudo-terminal standing in for the switch's port and compared with bytes
// written out by hand; a marker command queued behind them tells when all
// have arrived.
#include "ConsoleContext.h"
#include "HexBytes.h"
#include "PtyPair.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmSRVRing.h"
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using test::hex;
using test::show;

class RingWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ASSERT_TRUE(ctx.db.exec("UPDATE SWTConfig SET \"" + ctx.db.columnNames("SWTConfig").at(0) + "\"='16'"));
        ASSERT_TRUE(test::openSwitchOnPty(ctx, pty, link));
    }
    void TearDown() override
    {
        test::closeSwitchOnPty(ctx, link);
        ctx.db.close();
    }

    QByteArray sent() { return test::sentThroughQueue(*link, pty, clock); }

    // Types the number and the time as the operator does and clicks a button.
    void enter(frmSRVRing &w, const QString &number, const QString &hhmm, const QString &button)
    {
        test::typeOver(test::child<QLineEdit>(&w, "txtNo"), number);
        if (!hhmm.isEmpty())
            test::typeTime(test::child<QTimeEdit>(&w, "dtpTime"), hhmm);
        test::press(&w, button);
    }
    static QStringList items(frmSRVRing &w)
    {
        QStringList out;
        auto *list = w.findChild<QTreeWidget *>("lvwRing");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(0) + " " + list->topLevelItem(i)->text(1);
        return out;
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair pty;
    std::unique_ptr<SwitchLink> link;
};

} // namespace

TEST_F(RingWindowTest, SetAndClearSendTheirCommandsAndKeepOneItemPerExtension)
{
    frmSRVRing w(ctx);
    w.show();
    EXPECT_EQ(w.windowTitle(), "闹钟设置");
    EXPECT_EQ(w.findChild<QPushButton *>("cmdOk")->text(), "设置(&O)");
    EXPECT_EQ(w.dtpTime->displayFormat(), "HH:mm");

    enter(w, "801", "0730", "cmdOk");
    EXPECT_EQ(w.dtpTime->time(), QTime(7, 30));
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A1 0B A7 3A 0C"))); // *34*801*0730#
    EXPECT_EQ(items(w), QStringList({"801 2026-12-10 07:30"})) << "07:30 set at 08:00 is tomorrow's";

    enter(w, "802", "2130", "cmdOk");
    enter(w, " 801 ", "0915", "cmdOk");
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A2 0B 21 3A 0C"     // *34*802*2130#
                                     "0B 34 0B 08 A1 0B A9 15 0C"))); // *34*801*0915#
    EXPECT_EQ(items(w), QStringList({"802 2026-12-09 21:30", "801 2026-12-09 09:15"}));

    // Clearing an extension without an item still sends the command.
    enter(w, "805", QString(), "cmdClear");
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A5 0B 0A 0C"))); // *34*805*0#
    EXPECT_TRUE(messages.shown().isEmpty()) << "no alarm, nothing to ask";
    // A pending alarm is cleared only on "是"; Enter ("否") keeps it.
    enter(w, "802", QString(), "cmdClear");
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, "是否清除分机802在2026-12-09 21:30的闹钟？");
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(sent(), QByteArray());
    EXPECT_EQ(items(w), QStringList({"802 2026-12-09 21:30", "801 2026-12-09 09:15"}));
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    enter(w, "802", QString(), "cmdClear");
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A2 0B 0A 0C"))); // *34*802*0#
    EXPECT_EQ(items(w), QStringList({"801 2026-12-09 09:15"}));

    // Numbers that do not exist, or whose port is past the capacity of 16.
    for (const QString &bad : QStringList{"816", "799", "", "8O1"}) {
        messages.clear();
        enter(w, bad, "0600", "cmdOk");
        enter(w, bad, QString(), "cmdClear");
        ASSERT_EQ(messages.shown().size(), 2) << bad.toStdString();
        EXPECT_EQ(messages.last()->text, "输入的用户号码不存在，请核对后重新输入！");
        EXPECT_EQ(messages.last()->title, "输入错误");
        EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    }
    EXPECT_EQ(sent(), QByteArray());
    EXPECT_EQ(items(w), QStringList({"801 2026-12-09 09:15"}));
}

// As a clerk works: a click anywhere in the time box and "0645" typed is
// 06:45; Enter in the number box sets the alarm.
TEST_F(RingWindowTest, ATypedTimeIsTakenAndEnterSetsTheAlarm)
{
    frmSRVRing w(ctx);
    w.show();
    ASSERT_TRUE(test::waitFor([&] { return w.isActiveWindow(); }));
    const QRect box = w.dtpTime->rect();
    QTest::mouseClick(w.dtpTime, Qt::LeftButton, {}, QPoint(box.width() * 2 / 5, box.height() / 2)); // the minutes
    auto *text = w.dtpTime->findChild<QLineEdit *>();
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(test::waitFor([&] { return text->selectedText() == "08"; })) << "the hour is selected";
    test::typeText(w.dtpTime, "0645");
    EXPECT_EQ(w.dtpTime->time(), QTime(6, 45));

    auto *number = test::child<QLineEdit>(&w, "txtNo");
    test::fill(number, "803");
    QTest::keyClick(number, Qt::Key_Return);
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A3 0B A6 45 0C"))); // *34*803*0645#
    EXPECT_EQ(items(w), QStringList({"803 2026-12-10 06:45"}));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(RingWindowTest, AlarmsSurviveLeavingAndThoseThatRangAreGone)
{
    {
        frmSRVRing w(ctx);
        w.show();
        enter(w, "801", "0730", "cmdOk");
        enter(w, "803", "0805", "cmdOk");
        QTest::mouseClick(w.findChild<QPushButton *>("cmdLeave"), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
    QFile f(ctx.home.ringTxt());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\"803\",\"2026-12-09 08:05\"\r\n\"801\",\"2026-12-10 07:30\"\r\n"));
    f.close();

    clock.set(QDateTime(QDate(2026, 12, 9), QTime(8, 4, 59)));
    {
        frmSRVRing w(ctx);
        EXPECT_EQ(items(w), QStringList({"803 2026-12-09 08:05", "801 2026-12-10 07:30"}));
        w.show();
        w.close(); // closing by the frame writes the file too
    }
    clock.set(QDateTime(QDate(2026, 12, 9), QTime(8, 5, 0)));
    frmSRVRing later(ctx);
    EXPECT_EQ(items(later), QStringList({"801 2026-12-10 07:30"}));
    EXPECT_TRUE(messages.shown().isEmpty());
}

TEST_F(RingWindowTest, AFileThatCannotBeWrittenIsSaid)
{
    ASSERT_TRUE(QDir().mkpath(ctx.home.ringTxt())); // a folder where Ring.Txt belongs
    frmSRVRing w(ctx);
    w.show();
    enter(w, "801", "0730", "cmdOk");
    (void)sent();

    // Retry keeps the window and its list.
    messages.queueAnswer(MessageService::Answer::Retry);
    QTest::mouseClick(w.findChild<QPushButton *>("cmdLeave"), Qt::LeftButton);
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.startsWith("闹钟记录未能保存：")) << messages.last()->text.toStdString();
    EXPECT_TRUE(messages.last()->text.contains(ctx.home.ringTxt()));
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::RetryCancel);
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(items(w), QStringList({"801 2026-12-10 07:30"}));

    // Once the place is free, leaving again writes the file.
    ASSERT_TRUE(QDir(ctx.home.ringTxt()).removeRecursively());
    messages.clear();
    QTest::mouseClick(w.findChild<QPushButton *>("cmdLeave"), Qt::LeftButton);
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(QFile::exists(ctx.home.ringTxt()));

    // Cancel leaves without the file.
    ASSERT_TRUE(QFile::remove(ctx.home.ringTxt()));
    ASSERT_TRUE(QDir().mkpath(ctx.home.ringTxt()));
    frmSRVRing again(ctx);
    again.show();
    messages.queueAnswer(MessageService::Answer::Cancel);
    QTest::mouseClick(again.findChild<QPushButton *>("cmdLeave"), Qt::LeftButton);
    EXPECT_EQ(messages.shown().size(), 1);
    EXPECT_FALSE(again.isVisible());
}

// Alarms set while the switch is away wait for it, each only until its own
// moment: the one whose moment passed first is not sent (it would ring the
// next day), the clerk is told which room to call, and the list drops it as
// it drops an alarm that rang; the other one goes once the switch is back.
TEST_F(RingWindowTest, AnAlarmThatMissedItsMomentIsNotSentAndIsTold)
{
    link->SetLinkUp(false);
    frmSRVRing w(ctx);
    w.show();
    enter(w, "801", "0830", "cmdOk");
    enter(w, "802", "0900", "cmdOk");
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.startsWith("交换机未连接，2条命令将在连接恢复后发送。"))
        << messages.last()->text.toStdString();
    EXPECT_EQ(items(w), QStringList({"802 2026-12-09 09:00", "801 2026-12-09 08:30"}));

    clock.set(QDateTime(QDate(2026, 12, 9), QTime(8, 45)));
    link->SetLinkUp(true);
    EXPECT_EQ(show(sent()), show(hex("0B 34 0B 08 A2 0B A9 AA 0C"))); // *34*802*0900#
    ASSERT_EQ(messages.desktopNotices().size(), 1);
    const auto &told = messages.desktopNotices().first();
    EXPECT_EQ(told.text, "分机801在2026-12-09 08:30的叫醒闹钟未能在时间之前送到交换机，已不再发送。\n"
                         "请人工通知该房间。");
    EXPECT_EQ(told.icon, MessageService::Icon::Warning);
    ASSERT_TRUE(test::waitFor([&] {
        clock.advanceMs(100);
        return link->KeptCount() == 0;
    }));
    w.close();
    frmSRVRing later(ctx);
    EXPECT_EQ(items(later), QStringList({"802 2026-12-09 09:00"}));
}
