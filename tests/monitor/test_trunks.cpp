#include "ConsoleContext.h"
#include "ConsoleHandlers.h"
#include "ConsoleWiring.h"
#include "Data.h"
#include "HomeSetup.h"
#include "PtyPair.h"
#include "Recordset.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestBytes.h"
#include "TestHome.h"
#include "TestWait.h"
#include "TrunkIndicator.h"
#include "TrunkMonitor.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmPHNClient.h"
#include "frmPhoneInf.h"
#include "mdlMain.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <initializer_list>

using namespace corvane;
using corvane::test::bytes;
using corvane::test::waitUntil;

namespace {

const QString CRLF = QStringLiteral("\r\n");

// The console as it runs: the main window, a link whose switch port is one
// pseudo-terminal and whose outward port is another, the console's frame
// handlers on the link. Frames go in through the link's receive path.
class TrunkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb")));
        ctx.BuildLists();
        QString error;
        ASSERT_TRUE(InstallHomeFiles(ctx.home, error)) << error.toStdString();
        QDir().mkpath(ctx.home.portsDir());
        ASSERT_TRUE(switchPty.ok() && outPty.ok());
        ASSERT_TRUE(switchPty.linkAs(test::comLink(ctx.home, 1)));
        ASSERT_TRUE(outPty.linkAs(test::comLink(ctx.home, 2)));
        test::isolateSerialPorts(home.path());

        window = std::make_unique<frmMain>(ctx);
        link = new SwitchLink(ctx, window.get());
        ctx.link = link;
        handlers = InstallConsoleHandlers(ctx, *window);
        ASSERT_EQ(link->frameHandlers(), handlers);
        ASSERT_TRUE(link->OpenPort(1)) << link->mscPort.errorString().toStdString();
    }

    void TearDown() override
    {
        window.reset();
        ctx.link = nullptr;
    }

    void receive(const QByteArray &frame) { link->ReceiveBytes(frame); }
    void at(int h, int m, int s) { clock.set(QDateTime(QDate(2026, 12, 8), QTime(h, m, s))); }

    // Bytes the console has sent to the switch since the last call. A marker
    // command sent last tells "nothing" from "not yet".
    QByteArray sentToSwitch()
    {
        link->SendHex("A5");
        QByteArray got;
        waitUntil([&] {
            got += switchPty.take();
            return got.endsWith(char(0xA5));
        });
        EXPECT_TRUE(got.endsWith(char(0xA5)));
        got.chop(1);
        return got;
    }

    const TrunkRecord &trunk(int number) { return link->TrunkState[size_t(number - 1)]; }

    void setUser(int port, int column, const QString &value)
    {
        Recordset users(ctx.db, "User", Criteria("物理端口", QString::number(port)));
        ASSERT_TRUE(SetField(users, column, value));
    }

    QList<QStringList> bills()
    {
        QList<QStringList> rows;
        Recordset rs(ctx.db, "PHNBill");
        for (rs.moveFirst(); !rs.eof(); rs.moveNext())
            rows << rs.currentRow();
        return rows;
    }

    QStringList incomingRow(int i)
    {
        QStringList out;
        QTreeWidgetItem *item = window->ListViewIn->topLevelItem(i);
        if (item)
            for (int c = 0; c < 3; ++c)
                out << item->text(c);
        return out;
    }

    frmPhoneInf *popup() { return window->phoneInf(); }
    bool popupShown() { return popup() && popup()->isVisible(); }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    test::PtyPair switchPty;
    test::PtyPair outPty;
    std::unique_ptr<frmMain> window;
    SwitchLink *link = nullptr;
    ConsoleHandlers *handlers = nullptr;
};

} // namespace

TEST_F(TrunkTest, UnansweredCallIsListedAsMissedAndNotCharged)
{
    receive(bytes({0xFF, 0xA2, 0x02}));
    EXPECT_EQ(trunk(2).State, 4);
    EXPECT_EQ(window->trunkPicture(1), "phoneon.gif");
    EXPECT_EQ(window->trunkText(1), "外线");

    at(10, 0, 30);
    receive(bytes({0xFF, 0xD2, 0x02}));
    ASSERT_EQ(window->ListViewIn->topLevelItemCount(), 1);
    EXPECT_EQ(incomingRow(0), (QStringList{"", "*", "2026年12月08日10:00:30"}));
    EXPECT_TRUE(bills().isEmpty());
    // The panel counts what is listed, missed calls too.
    EXPECT_EQ(window->panelText(5), "新来电数：1");
    EXPECT_EQ(trunk(2).State, 0);
    EXPECT_EQ(window->trunkPicture(1), "phone.gif");
    EXPECT_EQ(window->trunkText(1), "");
    EXPECT_EQ(link->RingCount(), 0);
}

TEST_F(TrunkTest, AnsweredIncomingCallIsChargedListedAndTheTrunkReset)
{
    setUser(5, 2, "张三");
    setUser(5, 15, "销售部");
    // Caller 130955: nibbles 1 3 A 9 5 5, then filler.
    receive(bytes({0xFF, 0xA8, 0x01, 0x13, 0xA9, 0x55, 0x00, 0x00, 0x00}));
    EXPECT_EQ(trunk(1).State, 4);
    EXPECT_EQ(trunk(1).CallerNo, "130955");
    EXPECT_EQ(window->trunkText(0), "130955");
    EXPECT_TRUE(popupShown());

    receive(bytes({0xFF, 0x44, 0x00, 0x05, 0x01})); // port 5 (extension 805) answers trunk 1
    EXPECT_EQ(trunk(1).State, 6);
    EXPECT_EQ(trunk(1).UserNo, "805");
    EXPECT_EQ(trunk(1).StartTime, "100000");
    EXPECT_EQ(window->trunkPicture(0), "phonehold.gif");
    EXPECT_EQ(window->trunkText(0), "130955" + CRLF + "805");
    EXPECT_EQ(window->trunkTextColor(0), QColor(Qt::blue));

    at(10, 0, 7);
    receive(bytes({0xFF, 0xD2, 0x01}));
    const QList<QStringList> rows = bills();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0], (QStringList{"805", "130955", "2026年12月08日10:00:07", "7", "0.10", "呼入", "0.20", "9", "0.00",
                                    "0.00", "0.20", "未结算", "销售部", "张三"}));
    EXPECT_EQ(incomingRow(0), (QStringList{"130955", "805", "2026年12月08日10:00:07"}));
    EXPECT_EQ(window->panelText(5), "新来电数：1");

    const TrunkRecord &t = trunk(1);
    EXPECT_EQ(t.State, 0);
    EXPECT_TRUE(t.CallerNo.isEmpty() && t.UserNo.isEmpty() && t.StartTime.isEmpty() && t.EndTime.isEmpty()
                && t.Seconds.isEmpty());
    EXPECT_EQ(window->trunkPicture(0), "phone.gif");
    EXPECT_EQ(window->trunkText(0), "");
    EXPECT_EQ(window->trunkTextColor(0), QColor(Qt::black));
}

TEST_F(TrunkTest, TalkTimeIsChargedPerStartedSixSecondsAcrossMidnight)
{
    struct Case {
        QTime answer, release;
        QString seconds, fee;
    };
    const QList<Case> cases = {
        {QTime(10, 0, 0), QTime(10, 0, 0), "0", "0.00"},  {QTime(10, 0, 0), QTime(10, 0, 1), "1", "0.10"},
        {QTime(10, 0, 0), QTime(10, 0, 6), "6", "0.10"},  {QTime(10, 0, 0), QTime(10, 0, 7), "7", "0.20"},
        {QTime(10, 0, 0), QTime(10, 1, 1), "61", "1.10"}, {QTime(23, 59, 50), QTime(0, 0, 10), "20", "0.40"},
    };
    for (const Case &c : cases) {
        clock.set(QDateTime(QDate(2026, 12, 8), c.answer));
        receive(bytes({0xFF, 0xA2, 0x03}));
        receive(bytes({0xFF, 0x44, 0x00, 0x02, 0x03}));
        clock.set(QDateTime(QDate(2026, 12, c.release < c.answer ? 9 : 8), c.release));
        receive(bytes({0xFF, 0xD2, 0x03}));
        const QStringList last = bills().value(bills().size() - 1);
        EXPECT_EQ(last.value(3), c.seconds) << c.answer.toString().toStdString();
        EXPECT_EQ(last.value(6), c.fee) << c.seconds.toStdString();
        EXPECT_EQ(last.value(10), c.fee);
    }
    EXPECT_EQ(bills().size(), cases.size());
    EXPECT_EQ(window->panelText(5), QString("新来电数：%1").arg(cases.size()));
}

TEST_F(TrunkTest, AnIncomingCallThatCannotBeStoredIsReportedAndTheTrunkStillFreed)
{
    ASSERT_TRUE(ctx.db.exec("ALTER TABLE PHNBill RENAME TO PHNBillAway"));
    receive(bytes({0xFF, 0xA2, 0x08}));
    receive(bytes({0xFF, 0x44, 0x00, 0x05, 0x08}));
    at(10, 0, 9);
    receive(bytes({0xFF, 0xD2, 0x08, 0xFF, 0xA2, 0x09}));
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_TRUE(messages.last()->text.startsWith("来电话单未能保存：")) << messages.last()->text.toStdString();
    EXPECT_EQ(trunk(8).State, 0);
    EXPECT_EQ(window->trunkPicture(7), "phone.gif");
    EXPECT_EQ(trunk(9).State, 4); // the next frame was still handled

    // Two more answered calls fail while the box is open: the same box counts them.
    for (int t : {9, 10}) {
        receive(bytes({0xFF, 0xA2, t}));
        receive(bytes({0xFF, 0x44, 0x00, 0x05, t}));
        receive(bytes({0xFF, 0xD2, t}));
        EXPECT_EQ(trunk(t).State, 0) << t;
    }
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.keyedCount(TrunkMonitor::IncomingNotStoredKey), 3);
    EXPECT_TRUE(messages.last()->text.section(MessageService::detailsMarker(), 0, 0).endsWith(" (3次)"))
        << messages.last()->text.toStdString();

    // Closed by the operator, the next failure opens a box again.
    messages.closeKeyed(TrunkMonitor::IncomingNotStoredKey);
    receive(bytes({0xFF, 0xA2, 0x0B, 0xFF, 0x44, 0x00, 0x05, 0x0B, 0xFF, 0xD2, 0x0B}));
    EXPECT_EQ(messages.shown().size(), 2);
    EXPECT_EQ(messages.keyedCount(TrunkMonitor::IncomingNotStoredKey), 1);
}

TEST_F(TrunkTest, BlacklistedCallerIsBlockedAtOnceAndStillShown)
{
    Recordset black = Recordset::forAppend(ctx.db, "BlackLst");
    ASSERT_TRUE(WriteRecord(black, true, {"5551234", "骚扰电话"}));

    receive(bytes({0xFF, 0xA8, 0x05, 0x55, 0x51, 0x23, 0x40, 0x00, 0x00}));
    EXPECT_EQ(sentToSwitch(), bytes({0x62, 0x05}));
    EXPECT_TRUE(popupShown());
    // The system's own words, and that the call was blocked.
    EXPECT_EQ(popup()->lblInfo->text(), "未知来电人：5551234" + CRLF + "已拦截（黑名单）" + CRLF);
    EXPECT_EQ(window->trunkText(4), "5551234");
    // The switch drops it: listed as a blocked call, not a missed one.
    receive(bytes({0xFF, 0xD2, 0x05}));
    ASSERT_GE(window->ListViewIn->topLevelItemCount(), 1);
    EXPECT_EQ(incomingRow(0).mid(0, 2), (QStringList{"5551234", "*已拦截"}));

    // Another caller on trunk 12 is not barred: nothing goes to the switch.
    receive(bytes({0xFF, 0xA8, 0x0C, 0x55, 0x51, 0x23, 0x50, 0x00, 0x00}));
    EXPECT_EQ(sentToSwitch(), QByteArray());
    EXPECT_EQ(trunk(12).CallerNo, "5551235");
}

TEST_F(TrunkTest, CallerNumbersGoOutwardWhileTheOutwardPortIsOpen)
{
    receive(bytes({0xFF, 0xA8, 0x01, 0x13, 0xA9, 0x00, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(link->OpenOutPort(2));
    receive(bytes({0xFF, 0xA8, 0x02, 0x88, 0x12, 0x00, 0x00, 0x00, 0x00}));
    // A ringing trunk whose caller sent no number: an empty record, as receivers know it.
    receive(bytes({0xFF, 0xA8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    const QByteArray expected = "$PHN,8812#\r\n$PHN,#\r\n";
    const QByteArray got = outPty.takeAtLeast(expected.size());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(trunk(3).State, 4);
    EXPECT_EQ(window->trunkText(2), "");
}

TEST_F(TrunkTest, AnswerOnAnIdleTrunkTakesItAndItsReleaseWritesNothing)
{
    receive(bytes({0xFF, 0x44, 0x00, 0x05, 0x04}));
    EXPECT_EQ(trunk(4).State, 9);
    EXPECT_EQ(window->trunkPicture(3), "phoneon.gif");
    EXPECT_EQ(window->trunkText(3), CRLF + "805");
    EXPECT_EQ(window->trunkTextColor(3), QColor(Qt::black));

    // A second answer on the taken trunk colours it and changes nothing else.
    receive(bytes({0xFF, 0x44, 0x00, 0x06, 0x04}));
    EXPECT_EQ(trunk(4).State, 9);
    EXPECT_EQ(window->trunkTextColor(3), QColor(Qt::blue));

    // Of unknown state (the link lost), even a coloured trunk is drawn in the
    // legend's grey, and its tip says what that means.
    window->setTrunkUnknown(3, true);
    EXPECT_EQ(window->lbl[3]->palette().color(QPalette::Disabled, QPalette::WindowText),
              window->palette().color(QPalette::Disabled, QPalette::WindowText));
    EXPECT_FALSE(window->lbl[3]->isEnabled());
    EXPECT_TRUE(window->lbl[3]->toolTip().contains("还没有收到这条中继的任何事件"));
    window->setTrunkUnknown(3, false);
    EXPECT_TRUE(window->lbl[3]->toolTip().isEmpty());

    receive(bytes({0xFF, 0xD2, 0x04}));
    EXPECT_EQ(trunk(4).State, 0);
    EXPECT_TRUE(bills().isEmpty());
    EXPECT_EQ(window->ListViewIn->topLevelItemCount(), 0);
    EXPECT_EQ(window->trunkPicture(3), "phone.gif");
}

TEST_F(TrunkTest, OutgoingCallShowsTheExtensionAndItsDigits)
{
    // Trunk 3 reaches the outside through an indirect office dialled with 9.
    Recordset ex(ctx.db, "Exchange", Criteria("中继", "3"));
    ASSERT_TRUE(SetField(ex, 5, "间局"));
    ASSERT_TRUE(SetField(ex, 7, "9"));

    receive(bytes({0xFF, 0xC4, 0x03, 0x00, 0x02}));
    EXPECT_EQ(trunk(3).State, 3);
    EXPECT_EQ(window->trunkPicture(2), "phoneon.gif");
    EXPECT_EQ(window->trunkText(2), "802");

    receive(bytes({0xFF, 0x78, 0x03, 0x00, 0x02, 0x91, 0x23, 0x00, 0x00}));
    EXPECT_EQ(window->trunkText(2), "802" + CRLF + "123");
    EXPECT_EQ(window->trunkPicture(2), "phonehold.gif");

    // Trunk 4 dials out directly: the 9 stays.
    receive(bytes({0xFF, 0x78, 0x04, 0x00, 0x02, 0x91, 0x23, 0xA0, 0x00}));
    EXPECT_EQ(window->trunkText(3), "802" + CRLF + "91230");
    EXPECT_EQ(trunk(4).State, 3);

    // An extension not shown on the trunks leaves the text alone.
    setUser(7, 14, "×");
    receive(bytes({0xFF, 0xC4, 0x05, 0x00, 0x07}));
    receive(bytes({0xFF, 0x78, 0x05, 0x00, 0x07, 0x12, 0x00, 0x00, 0x00}));
    EXPECT_EQ(trunk(5).State, 3);
    EXPECT_EQ(window->trunkText(4), "");
    EXPECT_EQ(window->trunkPicture(4), "phonehold.gif");

    receive(bytes({0xFF, 0xD2, 0x03}));
    EXPECT_EQ(trunk(3).State, 0);
    EXPECT_TRUE(bills().isEmpty());
    EXPECT_EQ(window->ListViewIn->topLevelItemCount(), 0);
}

TEST_F(TrunkTest, TakeOverMovesTheCallToTheNewExtension)
{
    receive(bytes({0xFF, 0xA8, 0x01, 0x13, 0xA9, 0x00, 0x00, 0x00, 0x00}));
    receive(bytes({0xFF, 0x44, 0x00, 0x05, 0x01}));
    receive(bytes({0xFF, 0x94, 0x00, 0x06, 0x01})); // extension 806 takes trunk 1 over
    EXPECT_EQ(trunk(1).UserNo, "806");
    EXPECT_EQ(trunk(1).State, 6);
    EXPECT_EQ(window->trunkText(0), "1309" + CRLF + "805" + CRLF + "806");
    at(10, 0, 12);
    receive(bytes({0xFF, 0xD2, 0x01}));
    ASSERT_EQ(bills().size(), 1);
    EXPECT_EQ(bills()[0].value(0), "806");
    EXPECT_EQ(bills()[0].value(3), "12");
    EXPECT_EQ(bills()[0].value(6), "0.20");
}

TEST_F(TrunkTest, FramesForUnknownTrunksOrPortsChangeNothingTheyShouldNot)
{
    receive(bytes({0xFF, 0xA2, 0x02}));
    const TrunkStates before = link->TrunkState;
    QStringList texts, pictures;
    for (int t = 0; t < 16; ++t) {
        texts << window->trunkText(t);
        pictures << window->trunkPicture(t);
    }
    Recordset black = Recordset::forAppend(ctx.db, "BlackLst");
    ASSERT_TRUE(WriteRecord(black, true, {"1309", ""}));

    QByteArray stream;
    for (int bad : {0x00, 0x11, 0xFF}) {
        stream += bytes({0xFF, 0xA2, bad});
        stream += bytes({0xFF, 0xA8, bad, 0x13, 0xA9, 0x00, 0x00, 0x00, 0x00});
        stream += bytes({0xFF, 0xC4, bad, 0x00, 0x02});
        stream += bytes({0xFF, 0x78, bad, 0x00, 0x02, 0x12, 0x00, 0x00, 0x00});
        stream += bytes({0xFF, 0x94, 0x00, 0x02, bad});
        stream += bytes({0xFF, 0x44, 0x00, 0x02, bad});
        stream += bytes({0xFF, 0xD2, bad});
    }
    receive(stream);
    EXPECT_EQ(link->RingCount(), 0);
    EXPECT_EQ(sentToSwitch(), QByteArray());
    EXPECT_FALSE(popupShown());
    for (int t = 0; t < 16; ++t) {
        EXPECT_EQ(link->TrunkState[size_t(t)].State, before[size_t(t)].State) << t;
        EXPECT_EQ(link->TrunkState[size_t(t)].CallerNo, before[size_t(t)].CallerNo) << t;
        EXPECT_EQ(window->trunkText(t), texts[t]) << t;
        EXPECT_EQ(window->trunkPicture(t), pictures[t]) << t;
    }
    EXPECT_EQ(window->ListViewIn->topLevelItemCount(), 0);

    // A port with no User row: the state moves on, the text and UserNo stay.
    receive(bytes({0xFF, 0x44, 0x00, 0xC8, 0x02}));
    EXPECT_EQ(trunk(2).State, 6);
    EXPECT_EQ(trunk(2).UserNo, "");
    EXPECT_EQ(window->trunkText(1), "外线");
    receive(bytes({0xFF, 0x94, 0x00, 0xC8, 0x02}));
    EXPECT_EQ(window->trunkText(1), "外线");
    receive(bytes({0xFF, 0xC4, 0x06, 0x00, 0xC8}));
    EXPECT_EQ(trunk(6).State, 3);
    EXPECT_EQ(window->trunkText(5), "");
    at(10, 0, 5);
    receive(bytes({0xFF, 0xD2, 0x02}));
    ASSERT_EQ(bills().size(), 1);
    EXPECT_EQ(bills()[0].mid(0, 4), (QStringList{"", "", "2026年12月08日10:00:05", "5"}));
    EXPECT_EQ(bills()[0].mid(12), (QStringList{"", ""}));

    // The dispatcher went on after all of them.
    receive(bytes({0xFF, 0xA2, 0x10}));
    EXPECT_EQ(trunk(16).State, 4);
}

TEST_F(TrunkTest, CallerNumbersWithLetterNibblesPassThrough)
{
    receive(bytes({0xFF, 0xA8, 0x07, 0x1B, 0xC0, 0xAF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(trunk(7).CallerNo, "1BC0F");
    EXPECT_EQ(window->trunkText(6), "1BC0F");
    ASSERT_TRUE(popupShown());
    EXPECT_EQ(popup()->lblInfo->text(), "未知来电人：1BC0F" + CRLF);
}

TEST_F(TrunkTest, PopUpNamesAKnownCallerBesideTheTrunkPicture)
{
    QStringList client{"0001",          "李四", "蓝海公司", "www.example.cn", "0755123", "深圳市南山区", "518000",
                       "li@example.cn", "",     ""};
    for (int k = 1; k <= 10; ++k)
        client << (k == 7 ? QStringLiteral("130955") : QString());
    Recordset clients = Recordset::forAppend(ctx.db, "Client");
    ASSERT_TRUE(WriteRecord(clients, true, client));

    window->resize(1024, 740);
    window->show();
    receive(bytes({0xFF, 0xA8, 0x06, 0x13, 0xA9, 0x55, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(popupShown());
    EXPECT_EQ(popup()->windowTitle(), "来电信息");
    EXPECT_EQ(popup()->lblInfo->text(), "来电人：李四" + CRLF + "单位：蓝海公司" + CRLF + "网址：www.example.cn" + CRLF
                                            + "传真：0755123" + CRLF + "地址：深圳市南山区" + CRLF + "邮编：518000"
                                            + CRLF + "邮箱：li@example.cn" + CRLF + "电话号码：130955" + CRLF);
    EXPECT_NEAR(popup()->windowOpacity(), 220 / 255.0, 0.01);

    // 100 twips right of and 400 twips below the drawn picture's corner.
    const TrunkIndicator *img = window->imgPHN[5];
    const QPixmap pic = img->pixmap();
    ASSERT_FALSE(pic.isNull());
    const QPoint corner =
        img->mapToGlobal(QPoint((img->width() - pic.width()) / 2, (img->height() - pic.height()) / 2));
    EXPECT_LE((popup()->pos() - (corner + QPoint(6, 26))).manhattanLength(), 1);

    // Goes by itself after eight seconds.
    EXPECT_EQ(popup()->tmrTime->interval(), 8000);
    EXPECT_TRUE(popup()->tmrTime->isActive());
    popup()->tmrTime_Timer();
    EXPECT_FALSE(popupShown());
}

TEST_F(TrunkTest, PopUpIsOnlyForIncomingCallsAndClosesOnClick)
{
    // An idle trunk: no pop-up, and the next call inherits nothing.
    window->imgPHN[8]->setFocus();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(window->imgPHN[8], &press);
    EXPECT_FALSE(popupShown());
    EXPECT_EQ(trunk(9).CallerNo, "");
    receive(bytes({0xFF, 0xC4, 0x09, 0x00, 0x02}));
    handlers->trunks().imgPHN_Click(8);
    EXPECT_FALSE(popupShown());

    // Ringing without a number: the click names it an unknown caller.
    receive(bytes({0xFF, 0xA2, 0x0A}));
    QCoreApplication::sendEvent(window->imgPHN[9], &press);
    ASSERT_TRUE(popupShown());
    EXPECT_EQ(trunk(10).CallerNo, "未知来电");
    EXPECT_EQ(popup()->lblInfo->text(), "未知来电人：未知来电" + CRLF);

    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(popup()->lblInfo, &release);
    EXPECT_FALSE(popupShown());
    EXPECT_FALSE(popup()->tmrTime->isActive());

    // Out-of-range indexes are ignored.
    handlers->trunks().imgPHN_Click(-1);
    handlers->trunks().imgPHN_Click(16);
    EXPECT_FALSE(popupShown());
}

// The operator works in a modal window while callers ring in. The pop-up
// goes where it covers neither that window nor a message box, and never takes
// the keyboard focus from what the operator types in. With no free place it
// waits for the window to close, within its eight seconds, and then shows the
// newest caller; past its eight seconds it does not come at all.
TEST_F(TrunkTest, PopUpNeverCoversAModalWindowOrABoxNorTakesTheFocus)
{
    window->resize(1024, 740);
    window->show();
    const QRect screen = window->screen()->availableGeometry();
    const QPoint wanted = window->trunkPictureTopLeft(5) + QPoint(6, 26);

    // A notice box stands where the pop-up of trunk 6 would go.
    QMessageBox notice(QMessageBox::Warning, "通讯端口", "notice", QMessageBox::Ok, window.get());
    notice.setWindowModality(Qt::NonModal);
    notice.show();
    notice.move(wanted - QPoint(20, 20));
    // The operator types in a modal window elsewhere.
    QDialog work(window.get());
    work.setWindowModality(Qt::ApplicationModal);
    auto *edit = new QLineEdit(&work);
    (new QVBoxLayout(&work))->addWidget(edit);
    work.setGeometry(screen.right() - 300, screen.top() + 40, 260, 120);
    work.show();
    work.activateWindow();
    edit->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return QApplication::activeWindow() == &work && edit->hasFocus(); }));

    receive(bytes({0xFF, 0xA8, 0x06, 0x13, 0xA9, 0x55, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(popupShown());
    QCoreApplication::processEvents();
    EXPECT_FALSE(popup()->frameGeometry().intersects(notice.frameGeometry()));
    EXPECT_FALSE(popup()->frameGeometry().intersects(work.frameGeometry()));
    EXPECT_TRUE(screen.contains(popup()->frameGeometry()));
    EXPECT_TRUE(test::waitFor([&] { return QApplication::activeWindow() == &work; }))
        << "the pop-up must not keep the activation";
    EXPECT_TRUE(edit->hasFocus());
    QTest::keyClicks(edit, "805");
    EXPECT_EQ(edit->text(), "805");

    // The modal window is moved over the pop-up: the pop-up moves aside.
    work.setGeometry(popup()->frameGeometry().adjusted(-30, -30, 30, 30));
    ASSERT_TRUE(test::waitFor([&] { return !popup()->frameGeometry().intersects(work.frameGeometry()); }));
    EXPECT_TRUE(popupShown());

    // It fills the screen: nowhere to go, the pop-up waits; a newer caller
    // meanwhile is the one shown when the window closes.
    work.setGeometry(screen);
    ASSERT_TRUE(test::waitFor([&] { return !popupShown(); }));
    EXPECT_TRUE(popup()->isWaiting());
    clock.advanceMs(5000);
    receive(bytes({0xFF, 0xA8, 0x07, 0x55, 0x51, 0x23, 0x50, 0x00, 0x00}));
    EXPECT_FALSE(popupShown());
    clock.advanceMs(5000); // 10 s after the first caller, 5 s after the newest
    work.hide();
    ASSERT_TRUE(test::waitFor([&] { return popupShown(); }));
    EXPECT_EQ(popup()->lblInfo->text(), "未知来电人：5551235" + CRLF);
    EXPECT_FALSE(popup()->frameGeometry().intersects(notice.frameGeometry()));

    // Past its eight seconds behind a modal window, it does not come back.
    work.show();
    ASSERT_TRUE(test::waitFor([&] { return !popupShown(); }));
    clock.advanceMs(3000);
    EXPECT_FALSE(popup()->isWaiting());
    work.hide();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(popupShown());
}

TEST_F(TrunkTest, CallRecordsWaitForTheIntakeAndAreNotAcknowledgedBeforeIt)
{
    QByteArray record(23, '\0');
    record[0] = char(0xFF);
    record[1] = char(0xFE);
    record[22] = char(0xFE); // sum of bytes 1..21
    receive(record + bytes({0xFF, 0xA2, 0x01}));
    EXPECT_EQ(link->RingCount(), 0);
    EXPECT_EQ(sentToSwitch(), QByteArray());
    EXPECT_EQ(trunk(1).State, 4);

    QList<QByteArray> taken;
    handlers->setCallRecordHandler([&](const QByteArray &frame) {
        taken << frame;
        return 1; // as for a bad checksum: only the sync byte goes
    });
    receive(record);
    ASSERT_EQ(taken.size(), 1);
    EXPECT_EQ(taken[0], record);
    // The rest was hunted through for another sync byte and dropped.
    EXPECT_EQ(link->RingCount(), 0);
}

TEST_F(TrunkTest, ScreenshotOfBusyTrunks)
{
    window->resize(1024, 740);
    window->show();
    setUser(3, 2, "王五");
    receive(bytes({0xFF, 0xA8, 0x01, 0x13, 0x91, 0x23, 0x45, 0x67, 0x80})); // ringing with a number
    receive(bytes({0xFF, 0xA8, 0x02, 0x55, 0x51, 0x23, 0x40, 0x00, 0x00}));
    receive(bytes({0xFF, 0x44, 0x00, 0x03, 0x02}));                         // answered by 803
    receive(bytes({0xFF, 0xC4, 0x05, 0x00, 0x07}));                         // 807 takes a line out
    receive(bytes({0xFF, 0x78, 0x06, 0x00, 0x08, 0x86, 0xA1, 0x23, 0x45})); // 808 dialled
    receive(bytes({0xFF, 0xA2, 0x0B}));                                     // ringing, no number
    receive(bytes({0xFF, 0x44, 0x00, 0x0A, 0x10}));                         // taken while idle
    receive(bytes({0xFF, 0xA2, 0x04}));
    at(10, 0, 20);
    receive(bytes({0xFF, 0xD2, 0x04})); // missed
    QCoreApplication::processEvents();

    const QString path = test::artifactDir() + "/trunks_mainwindow.png";
    ASSERT_TRUE(window->grab().save(path));
    ASSERT_TRUE(popup());
    popup()->show();
    ASSERT_TRUE(popup()->grab().save(test::artifactDir() + "/trunks_phoneinf.png"));
    EXPECT_EQ(trunk(2).State, 6);
    EXPECT_EQ(trunk(6).State, 3);
    EXPECT_EQ(trunk(16).State, 9);
    EXPECT_EQ(window->ListViewIn->topLevelItemCount(), 1);
}

TEST(ConsoleWiring, RunningConsoleHandsTrunkFramesToTheMonitorAndOpensTheClientRegister)
{
    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    QString error;
    ASSERT_TRUE(InitHome(ctx.home, "admin", error)) << error.toStdString();
    test::isolateSerialPorts(home.path());
    QStringList opened;
    ctx.runModal = [&](QDialog &d) {
        opened << d.objectName();
        if (auto *login = qobject_cast<frmLogin *>(&d)) {
            login->txtCode->setText("admin");
            login->cmdOK->click();
        }
        return d.result();
    };
    auto main = Main(ctx);
    ASSERT_NE(main, nullptr);
    ASSERT_NE(ctx.link, nullptr);
    auto *handlers = dynamic_cast<ConsoleHandlers *>(ctx.link->frameHandlers());
    ASSERT_NE(handlers, nullptr);

    ctx.link->ReceiveBytes(bytes({0xFF, 0xA2, 0x03}));
    EXPECT_EQ(main->trunkText(2), "外线");
    EXPECT_EQ(main->trunkPicture(2), "phoneon.gif");
    emit main->trunkClicked(2);
    ASSERT_NE(main->phoneInf(), nullptr);
    EXPECT_TRUE(main->phoneInf()->isVisible());

    main->mnuPHNClient->trigger();
    EXPECT_EQ(opened.value(opened.size() - 1), "frmPHNClient");
    main.reset();
    EXPECT_EQ(ctx.link, nullptr);
}
