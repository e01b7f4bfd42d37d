// The link's windows driven as an operator does: the port window ("串口选择")
// while the search runs, a window that closes while its batch is queued, and
// the switch-fault boxes.
#include "ConfigTable.h"
#include "PortFixture.h"
#include "QtMessageService.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPort.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Picks "COMn" in the list with the keyboard: Home, then Down.
void choosePort(QWidget &window, int n)
{
    auto *list = child<QComboBox>(&window, QStringLiteral("cmbPort"));
    if (!list)
        return;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 1; i < n; ++i)
        QTest::keyClick(list, Qt::Key_Down);
}

class PortWindowTest : public PortTest {
protected:
    // Moves the clock on (letting the pseudo-terminals answer) until the
    // search has ended.
    bool searchEnds()
    {
        return env.clock.waitFor([&] { return !link.Searching(); }, 20000);
    }
};

} // namespace

TEST_F(PortWindowTest, SearchStopsAtTheAnsweringPortAndTheWindowFollows)
{
    ptys[2]->responder = answerClock;
    frmPort window(*env.ctx, link);
    window.show();
    QSignalSpy tried(&link, &SwitchLink::portSelected);
    press(&window, QStringLiteral("cmdAuto"));
    // The click handler returned at once; the search runs on.
    EXPECT_TRUE(link.Searching());
    EXPECT_FALSE(window.cmdAuto->isEnabled());
    ASSERT_TRUE(searchEnds());

    EXPECT_TRUE(link.LinkUp());
    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(window.cmbPort->currentIndex(), 1);
    EXPECT_EQ(window.lblSearch->text(), QStringLiteral("在 COM2 找到交换机。"));
    EXPECT_TRUE(window.cmdAuto->isEnabled());
    EXPECT_EQ(ptys[1]->take(), kClock0142);
    EXPECT_EQ(ptys[2]->take(), kClock0142);
    ASSERT_EQ(tried.count(), 2) << "no port after the switch's was tried";
    EXPECT_EQ(tried.at(1).at(0).toInt(), 2);
    // Half a second per port tried, on the test clock.
    EXPECT_EQ(env.clock.monotonicMs(), 1000);
}

// The link has been down for a while; the watchdog ticks on its 1000 ms beat
// and one tick falls inside the half second in which the switch on COM2
// answers. The answer must keep the search on COM2.
TEST_F(PortWindowTest, SearchKeepsTheAnsweringPortWhileTheWatchdogTicks)
{
    ptys[2]->responder = answerClock;
    link.LinkSilence = SwitchLink::SilenceLimit;
    link.StartTimers();
    env.clock.advanceMs(300); // ticks at 1000, 2000, …: COM2 is tried from 800 to 1300
    QSignalSpy ticksDown(&link, &SwitchLink::statusText);

    frmPort window(*env.ctx, link);
    window.show();
    QSignalSpy tried(&link, &SwitchLink::portSelected);
    press(&window, QStringLiteral("cmdAuto"));
    ASSERT_TRUE(searchEnds());

    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_EQ(window.cmbPort->currentIndex(), 1);
    EXPECT_TRUE(link.LinkUp());
    EXPECT_EQ(tried.count(), 2) << "the search went past the switch";
    EXPECT_GE(env.clock.monotonicMs(), 1300) << "a watchdog tick fell inside the wait";
    // The answer brings panel 2 back; the tick after it does not drop the link.
    ASSERT_EQ(ticksDown.count(), 1);
    EXPECT_EQ(ticksDown.at(0).at(0).toString(), QStringLiteral("通讯端口：正常"));
    EXPECT_EQ(link.LinkSilence, 1);
}

TEST_F(PortWindowTest, OkDuringASearchStopsItAndStoresThePortItOpens)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("1"));
    frmPort window(*env.ctx, link);
    window.show();
    press(&window, QStringLiteral("cmdAuto"));
    // No switch anywhere: the search is on COM3 when the operator picks COM5.
    ASSERT_TRUE(env.clock.waitFor([&] { return link.search().candidate() == 3; }, 5000));
    EXPECT_TRUE(window.lblSearch->text().startsWith(QStringLiteral("正在试 COM3（")))
        << window.lblSearch->text().toStdString();
    choosePort(window, 5);
    QSignalSpy tried(&link, &SwitchLink::portSelected);
    press(&window, QStringLiteral("cmdOK"));

    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(link.Searching());
    // Long after: the port stored is the port open, no other port was
    // tried, and COM5 got nothing but what was sent to it.
    env.clock.waitFor({}, 10000);
    EXPECT_EQ(tried.count(), 0);
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("5"));
    EXPECT_EQ(link.PortNumber(), 5);
    EXPECT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(sentDuring(
                  *ptys[5], [&] { link.SendAck(); }, Marker::Queued),
              bytes({0x5A}));
}

TEST_F(PortWindowTest, PortWindowStoresAndOpensTheChosenPort)
{
    ASSERT_TRUE(link.OpenPort(7));
    QFile::remove(com(16)); // no device behind COM16
    frmPort window(*env.ctx, link);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("串口选择"));
    ASSERT_EQ(window.cmbPort->count(), 16);
    // Each port with the device it stands for.
    EXPECT_EQ(window.cmbPort->itemText(6), QStringLiteral("COM7 → ") + QFileInfo(com(7)).canonicalFilePath());
    EXPECT_TRUE(window.cmbPort->itemText(15).startsWith(QStringLiteral("COM16 → ")));
    EXPECT_TRUE(window.cmbPort->itemText(15).endsWith(QStringLiteral("（不存在）")));
    EXPECT_EQ(window.cmbPort->currentIndex(), 6);
    EXPECT_EQ(window.lbl->buddy(), window.cmbPort);

    choosePort(window, 5);
    press(&window, QStringLiteral("cmdOK"));

    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("5"));
    EXPECT_EQ(link.PortNumber(), 5);
    EXPECT_TRUE(link.mscPort.isOpen());
    ASSERT_NE(env.messages.last(), nullptr);
    EXPECT_EQ(env.messages.last()->text,
              QStringLiteral("通讯串口已设为 COM5（%1），已打开。").arg(QFileInfo(com(5)).canonicalFilePath()));
    EXPECT_EQ(sentDuring(*ptys[5], [&] { link.SendAck(); }), bytes({0x5A}));
}

TEST_F(PortWindowTest, PortWindowStoresAPortThatDoesNotOpen)
{
    QFile::remove(com(9));
    ASSERT_TRUE(QFile::link(env.home.file(QStringLiteral("gone")), com(9)));
    frmPort window(*env.ctx, link);
    window.show();
    choosePort(window, 9);
    press(&window, QStringLiteral("cmdOK"));
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("9"));
    EXPECT_FALSE(link.mscPort.isOpen());
    EXPECT_TRUE(env.messages.last()->text.endsWith(QStringLiteral("（不存在）），现在无法打开，设备接上后自动打开。")))
        << env.messages.last()->text.toStdString();

    // Once the device is there, the probe opens it.
    ASSERT_TRUE(ptys[9]->linkAs(com(9)));
    link.tmrQuest_Timer();
    EXPECT_TRUE(link.mscPort.isOpen());
    EXPECT_EQ(ptys[9]->takeAtLeast(8), kClock0142);
}

TEST_F(PortWindowTest, APortThatCannotBeStoredIsToldAndTheWindowStays)
{
    env.setConfig(int(ConfigField::SwitchPort), QStringLiteral("2"));
    // The configuration row refuses every change (a locked or read-only file
    // behaves the same way).
    ASSERT_TRUE(env.ctx->db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON \"SWTConfig\" "
                                                "BEGIN SELECT RAISE(ABORT, 'read-only'); END")));
    frmPort window(*env.ctx, link);
    window.show();
    choosePort(window, 4);
    press(&window, QStringLiteral("cmdOK"));

    ASSERT_EQ(env.messages.shown().size(), 1);
    EXPECT_TRUE(env.messages.last()->text.startsWith(QStringLiteral("通讯串口未能保存：")))
        << env.messages.last()->text.toStdString();
    EXPECT_EQ(env.messages.last()->title, QStringLiteral("串口选择"));
    EXPECT_EQ(env.messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_NE(window.result(), QDialog::Accepted);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(env.config(int(ConfigField::SwitchPort)), QStringLiteral("2"));
}

namespace {

// A window that commits a change and sends it as a batch, showing the
// progress in a label, as the programming windows do.
class BatchWindow : public QDialog {
public:
    BatchWindow(SwitchLink &link, const QStringList &codes)
    {
        setObjectName(QStringLiteral("BatchWindow"));
        progress = new QLabel(this);
        progress->setObjectName(QStringLiteral("lblProgress"));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(progress);
        batch = link.QueueStarCommands(codes);
        connect(batch, &CommandBatch::progress, this, [this](int done, int total, const QString &current) {
            progress->setText(QStringLiteral("%1/%2 %3").arg(done).arg(total).arg(current));
        });
    }
    QLabel *progress;
    QPointer<CommandBatch> batch;
};

} // namespace

TEST_F(PortWindowTest, AWindowClosedMidBatchStillSendsAllOfIt)
{
    ASSERT_TRUE(link.OpenPort(1));
    const QStringList codes = {QStringLiteral("*10*3*201#"), QStringLiteral("*00*121#"),   QStringLiteral("*58*50#"),
                               QStringLiteral("*49*0#"),     QStringLiteral("*10*3*201#"), QStringLiteral("*58*50#")};
    // The same codes packed by hand.
    const QByteArray expected = bytes({0x0B, 0x1A, 0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C, 0x0B, 0x0A, 0x0B, 0x01, 0x21,
                                       0x0C, 0x0B, 0x58, 0x0B, 0x5A, 0x0C, 0x0B, 0x49, 0x0B, 0x0A, 0x0C, 0x0B, 0x1A,
                                       0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C, 0x0B, 0x58, 0x0B, 0x5A, 0x0C});

    auto *window = new BatchWindow(link, codes);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QPointer<CommandBatch> batch = window->batch;
    QPointer<BatchWindow> alive = window;
    ASSERT_TRUE(batch);
    QSignalSpy finished(batch.data(), &CommandBatch::finished);

    QByteArray got;
    ASSERT_TRUE(env.clock.waitFor(
        [&] {
            got += ptys[1]->take();
            return batch && batch->done() == 2;
        },
        5000));
    EXPECT_EQ(window->progress->text(), QStringLiteral("2/6 *00*121#"));
    EXPECT_EQ(link.QueuedCount(), 4);

    // The operator closes the window with Escape in the middle of the batch.
    QTest::keyClick(window, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(alive.isNull()) << "the window is gone";
    ASSERT_TRUE(batch) << "its batch is not";

    ASSERT_TRUE(env.clock.waitFor(
        [&] {
            got += ptys[1]->take();
            return got.size() >= expected.size() && finished.count() == 1;
        },
        5000));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(finished.at(0), (QVariantList{6, 0}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(batch.isNull()) << "the finished batch is cleaned up";
    EXPECT_EQ(sentDuring(
                  *ptys[1], [] {}, Marker::Queued),
              QByteArray())
        << "nothing more after it";
}

// The real boxes: one per fault code, its text counting the repeats, never
// holding up the frames behind.
TEST(FaultBoxes, OneBoxPerCodeCountsItsRepeats)
{
    TestHome home;
    QtMessageService messages;
    TestClock clock;
    ConsoleContext ctx(HomePaths(home.path()), messages, clock);
    SwitchLink link(ctx);
    RecordingHandlers handlers;
    link.setFrameHandlers(&handlers);

    auto faultBoxes = [] {
        QList<QMessageBox *> boxes;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                boxes << box;
        }
        return boxes;
    };

    QByteArray stream;
    for (int i = 0; i < 50; ++i)
        stream += bytes({0xFF, 0x62, 0x1F});
    stream += bytes({0xFF, 0xA2, 0x04, 0xFF, 0x62, 0x03});
    link.ReceiveBytes(stream);

    EXPECT_EQ(handlers.frames(), QList<QByteArray>{bytes({0xFF, 0xA2, 0x04})});
    EXPECT_EQ(link.RingCount(), 0);
    ASSERT_EQ(faultBoxes().size(), 2);
    QMessageBox *box1F = messages.keyedBox(QStringLiteral("switch-fault-1F"));
    ASSERT_NE(box1F, nullptr);
    EXPECT_EQ(box1F->text(), QStringLiteral("系统检测到重要故障，故障代码为-->1F (50次)"));
    EXPECT_EQ(box1F->windowTitle(), QStringLiteral("系统故障"));
    EXPECT_EQ(box1F->icon(), QMessageBox::Critical);
    EXPECT_FALSE(box1F->isModal());

    // The operator closes the 1F box; the next 1F opens a fresh one.
    QPointer<QMessageBox> closed = box1F;
    QTest::mouseClick(box1F->button(QMessageBox::Ok), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    ASSERT_EQ(faultBoxes().size(), 1);
    link.ReceiveBytes(bytes({0xFF, 0x62, 0x1F}));
    ASSERT_EQ(faultBoxes().size(), 2);
    ASSERT_NE(messages.keyedBox(QStringLiteral("switch-fault-1F")), nullptr);
    EXPECT_EQ(messages.keyedBox(QStringLiteral("switch-fault-1F"))->text(),
              QStringLiteral("系统检测到重要故障，故障代码为-->1F"));

    for (QMessageBox *box : faultBoxes())
        box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A desktop without a tray (the offscreen platform has none): the notice is a
// box that leaves the keyboard where the operator types, and a second notice
// of the same key takes the place of the first instead of piling up.
TEST(DesktopNotice, ShowsWithoutTakingTheFocusAndReplacesItsOwnKey)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    QtMessageService messages;
    QDialog work;
    work.setObjectName(QStringLiteral("frmMain")); // the console's main window
    auto *edit = new QLineEdit(&work);
    (new QVBoxLayout(&work))->addWidget(edit);
    work.show();
    work.activateWindow();
    edit->setFocus();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &work && edit->hasFocus(); }));

    messages.desktopNotice(QStringLiteral("link-state"), QStringLiteral("与交换机的通讯中断"),
                           QStringLiteral("通讯中断"), MessageService::Icon::Critical);
    QMessageBox *notice = messages.desktopNoticeBox(QStringLiteral("link-state"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("通讯中断"));
    EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == &work; })) << "the notice kept the activation";
    QTest::keyClicks(edit, "805");
    EXPECT_EQ(edit->text(), QStringLiteral("805"));

    messages.desktopNotice(QStringLiteral("link-state"), QStringLiteral("与交换机的通讯已恢复"),
                           QStringLiteral("通讯恢复"), MessageService::Icon::Information);
    EXPECT_EQ(messages.desktopNoticeBox(QStringLiteral("link-state")), notice);
    EXPECT_EQ(notice->text(), QStringLiteral("与交换机的通讯已恢复"));
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("通讯恢复"));
    int shown = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        shown += w->objectName() == QStringLiteral("desktopNotice") && w->isVisible();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(notice->parentWidget(), &work) << "kept above the main window";

    // The operator goes to it: it keeps the keyboard, and Escape closes it.
    QTest::mouseClick(notice, Qt::LeftButton);
    notice->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == notice; }));
    QTest::keyClick(notice, Qt::Key_Escape);
    EXPECT_FALSE(notice->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(messages.desktopNoticeBox(QStringLiteral("link-state")), nullptr);
}
