#include "ConsoleContext.h"
#include "ConsoleWiring.h"
#include "PtyPair.h"
#include "Recordset.h"
#include "SwitchLink.h"
#include "SwitchOnPty.h"
#include "TestBytes.h"
#include "TestHome.h"
#include "TrunkIndicator.h"
#include "WindowDriver.h"
#include "frmLogin.h"
#include "frmMain.h"
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb"), "admin"));
        test::isolateSerialPorts(home.path());
        ctx.BuildLists();
        window = std::make_unique<frmMain>(ctx);
        for (int right = 0; right <= 9; ++right)
            window->registerWindow(Right(right), [this, right](QWidget *) { opened << right; });
        // The settlement ledger, a second window behind right 3.
        window->registerWindow(window->mnuPHNLedger, [this](QWidget *) { opened << 30; });
        window->Form_Load();
    }

    void logInAs(const QString &name, const QString &rights)
    {
        ctx.login.OPLogin = true;
        ctx.login.OPName = name;
        ctx.login.OPLoginTime = ctx.stamp();
        for (int i = 0; i < 11; ++i)
            ctx.login.OPRight[i] = QString(rights.at(i));
        window->ShowOperatorState();
    }

    QAction *entry(const char *name) { return window->findChild<QAction *>(QLatin1String(name)); }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    std::unique_ptr<frmMain> window;
    QList<int> opened;
};

const char *const kGated[] = {"mnuPHNClient", "mnuPHNDiscount", "mnuPHNFee",       "mnuPHNQuery",
                              "mnuPHNLedger", "mnuSWTGroup",    "mnuSWTParameter", "mnuSWTComparison",
                              "mnuSRVRing",   "mnuSRVBackup",   "mnuOPRecord"};

} // namespace

TEST_F(MainWindowTest, LoggedOutEveryGatedEntryAndButtonAsksForLogin)
{
    EXPECT_EQ(window->panelText(3), "操作员:无");
    EXPECT_EQ(window->toolButtons.value("Login")->toolTip(), "登入系统");
    for (const char *name : kGated) {
        messages.clear();
        QAction *a = entry(name);
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
        ASSERT_EQ(messages.shown().size(), 1) << name;
        EXPECT_EQ(messages.last()->text, "您没有登录系统,请先登录!");
    }
    for (const char *key : {"Config", "Discount", "Bill", "Ledger", "Ring", "Group"}) {
        messages.clear();
        window->toolButtons.value(QString::fromUtf8(key))->trigger();
        ASSERT_EQ(messages.shown().size(), 1) << key;
        EXPECT_EQ(messages.last()->text, "您没有登录系统,请先登录!");
    }
    EXPECT_TRUE(opened.isEmpty());
    // Help and about are not gated.
    QDir().mkpath(ctx.home.helpDir());
    QFile help(ctx.home.helpIndex());
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html><body>help</body></html>");
    help.close();
    int modal = 0;
    ctx.runModal = [&](QDialog &) {
        ++modal;
        return 0;
    };
    messages.clear();
    window->mnuHelp->trigger();
    window->mnuHLPAbout->trigger();
    EXPECT_EQ(modal, 2);
    EXPECT_TRUE(messages.shown().isEmpty());
}

TEST_F(MainWindowTest, RightsDecideWhichWindowsOpen)
{
    logInAs("值班员", "11111011111"); // right 5 missing
    window->toolButtons.value("Config")->trigger();
    EXPECT_EQ(messages.last()->text, "您没有使用此功能的权限！");
    EXPECT_EQ(messages.last()->title, "权限不够");
    messages.clear();
    entry("mnuSWTParameter")->trigger();
    EXPECT_EQ(messages.shown().size(), 1);
    EXPECT_TRUE(opened.isEmpty());

    window->toolButtons.value("Discount")->trigger();
    window->toolButtons.value("Bill")->trigger();
    window->toolButtons.value("Ledger")->trigger();
    window->toolButtons.value("Ring")->trigger();
    window->toolButtons.value("Group")->trigger();
    entry("mnuOPRecord")->trigger();
    EXPECT_EQ(opened, QList<int>({1, 3, 30, 7, 4, 9}));
    EXPECT_FALSE(window->mnuOPRight->isEnabled()) << "rights management is for 管理员 only";

    // The settlement ledger is behind the query's right 3.
    logInAs("收银员", "11101111111");
    opened.clear();
    messages.clear();
    entry("mnuPHNLedger")->trigger();
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "您没有使用此功能的权限！");
}

TEST_F(MainWindowTest, UnbuiltWindowsStayDisabled)
{
    frmMain bare(ctx);
    bare.Form_Load();
    for (const char *name : kGated)
        EXPECT_FALSE(bare.findChild<QAction *>(QLatin1String(name))->isEnabled()) << name;
    EXPECT_FALSE(bare.toolButtons.value("Config")->isEnabled());
    bare.registerWindow(Right::SwitchParameters, [](QWidget *) {});
    EXPECT_TRUE(bare.toolButtons.value("Config")->isEnabled()) << "the button follows its entry";
}

// The status bar's optional panels (the outward port, the commands
// waiting) appear without widening a window of 1024 pixels.
TEST_F(MainWindowTest, PanelsThatAppearKeepTheWindowsWidth)
{
    window->resize(1024, 768);
    window->show();
    const int width = window->width();
    ASSERT_EQ(width, 1024);
    window->setPanelText(6, QStringLiteral("外发端口：正常（COM2）"));
    window->setPanelText(7, QStringLiteral("待发命令：1330"));
    test::child<QLabel>(window.get(), QStringLiteral("sbStatus_6"))->show();
    test::child<QLabel>(window.get(), QStringLiteral("sbStatus_7"))->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), width);
    EXPECT_LE(window->minimumSizeHint().width(), 1024);
}

TEST_F(MainWindowTest, LogoutAndLoginThroughButtonFive)
{
    logInAs("管理员", "11111111111");
    window->setRightsWindow([](QWidget *) {});
    EXPECT_TRUE(window->mnuOPRight->isEnabled());
    EXPECT_EQ(window->toolButtons.value("Login")->toolTip(), "登出系统");
    EXPECT_EQ(window->toolButtons.value("Login")->text(), "登出") << "the caption says what a press does";
    EXPECT_FALSE(window->mnuOPLogin->isEnabled());

    // The question defaults to keeping the login.
    window->toolButtons.value("Login")->trigger();
    EXPECT_EQ(messages.last()->text, "是否要登出系统?");
    EXPECT_EQ(messages.last()->title, "登出系统");
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::OkCancelDefaultCancel);
    EXPECT_TRUE(ctx.login.OPLogin);

    clock.advanceSecs(90);
    messages.queueAnswer(MessageService::Answer::Ok);
    window->toolButtons.value("Login")->trigger();
    EXPECT_FALSE(ctx.login.OPLogin);
    EXPECT_EQ(window->panelText(3), "操作员:无");
    EXPECT_EQ(window->toolButtons.value("Login")->toolTip(), "登入系统");
    EXPECT_EQ(window->toolButtons.value("Login")->text(), "登入");
    EXPECT_FALSE(window->mnuOPRight->isEnabled());
    Recordset rec(ctx.db, "OPRec");
    ASSERT_EQ(rec.recordCount(), 1);
    EXPECT_EQ(rec.value(3), "2026年12月08日09:01:30");

    // The same button now logs in, through the real login window.
    ctx.runModal = [](QDialog &d) {
        auto *login = qobject_cast<frmLogin *>(&d);
        login->txtCode->setText("admin");
        login->cmdOK->click();
        return d.result();
    };
    window->toolButtons.value("Login")->trigger();
    EXPECT_TRUE(ctx.login.OPLogin);
    EXPECT_EQ(window->panelText(3), "操作员:管理员");
    EXPECT_TRUE(window->mnuOPRight->isEnabled());
}

TEST_F(MainWindowTest, ResizeSpreadsIndicatorsFourByFour)
{
    window->resize(1200, 800);
    window->show();
    QCoreApplication::processEvents();
    const int right = window->centralWidget()->width();
    EXPECT_EQ(window->ListViewIn->geometry().right(), right - 1);
    // At least 4000 twips, and room for a caller, an extension and a time.
    EXPECT_GE(window->ListViewIn->width(), 4000 / 15);
    EXPECT_LE(window->ListViewIn->width(), right / 2);
    // The legend under the indicators, above the call list.
    const QRect legend = window->fraLegend->geometry();
    EXPECT_GT(legend.height(), 0);
    EXPECT_LT(legend.bottom(), window->ListViewOut->y());
    EXPECT_LT(legend.right(), window->ListViewIn->x());
    EXPECT_EQ(window->ListViewOut->geometry().bottom(), window->centralWidget()->height() - 1);
    for (int i = 0; i < 16; ++i) {
        const QRect pic = window->imgPHN[i]->geometry();
        EXPECT_LT(pic.right(), window->ListViewIn->x()) << i;
        EXPECT_LT(pic.bottom(), window->ListViewOut->y()) << i;
        EXPECT_LT(pic.bottom(), window->lbl[i]->geometry().top() + 1) << "text under its picture";
        EXPECT_LT(window->lbl[i]->geometry().bottom(), legend.top()) << i;
        if (i % 4) {
            EXPECT_GT(pic.x(), window->imgPHN[i - 1]->x());
        }
        if (i >= 4) {
            EXPECT_GT(pic.y(), window->imgPHN[i - 4]->y());
        }
    }
    // Too small: the layout is kept as it was.
    const QRect before = window->imgPHN[15]->geometry();
    window->resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->imgPHN[15]->geometry(), before);
}

// What the search takes is copied outward too: the front desk on COM2 gets
// the call and the caller number taken while the search still ran, and no
// clock command of the search (COM2 is passed over, though it comes before
// the switch's COM3).
TEST(MainWindowLoad, RecordsAndCallsTakenDuringThePortSearchAreCountedAndCopied)
{
    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb"), "admin"));
    ASSERT_TRUE(ctx.db.exec("UPDATE SWTConfig SET " + ctx.db.columnNames("SWTConfig").at(14) + "='1', "
                            + ctx.db.columnNames("SWTConfig").at(15) + "='2'"));
    ctx.BuildLists();
    // The switch on COM3 answers the search's clock command and, in the same
    // breath, reports a finished call and an incoming call answered and done.
    ASSERT_TRUE(QDir().mkpath(ctx.home.portsDir()));
    test::PtyPair switchPty;
    ASSERT_TRUE(switchPty.ok());
    ASSERT_TRUE(switchPty.linkAs(test::comLink(ctx.home, 3)));
    test::PtyPair desk;
    ASSERT_TRUE(desk.linkAs(test::comLink(ctx.home, 2)));
    test::isolateSerialPorts(home.path());
    // Trunk 3, port 5, 12-08 23:30, 60 s, dialled 9123;
    // FE+0C+05+12+08+23+30+3C+91+23 = 620 = 0x26C.
    const QByteArray record = test::bytes({0xFF, 0xFE, 0x0C, 0x05, 0x12, 0x08, 0x23, 0x30, 0x00, 0x3C, 0x91, 0x23,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6C});
    const QByteArray incoming = test::bytes({0xFF, 0xA8, 0x04, 0x55, 0x51, 0x23, 0x40, 0x00, 0x00, // caller 5551234
                                             0xFF, 0x44, 0x00, 0x05, 0x04,                         // 805 answers
                                             0xFF, 0xD2, 0x04});                                   // released
    switchPty.responder = [&](const QByteArray &chunk) {
        return chunk.contains(char(0xE8)) ? test::bytes({0xFF, 0x5A}) + record + incoming : QByteArray();
    };

    frmMain window(ctx);
    ConsoleHandlers *handlers = InstallConsoleHandlers(ctx, window);
    ASSERT_NE(InstallCallIntake(ctx, window, *handlers), nullptr);
    clock.setStepRealWaitMs(1);
    window.Form_Load();

    ASSERT_TRUE(ctx.link->LinkUp());
    ASSERT_EQ(window.ListViewOut->topLevelItemCount(), 1);
    ASSERT_EQ(window.ListViewIn->topLevelItemCount(), 1);
    EXPECT_EQ(window.panelText(4), "新话单数：1");
    EXPECT_EQ(window.panelText(5), "新来电数：1");
    EXPECT_EQ(ctx.link->PortNumber(), 3);
    const QByteArray copies = "$FEE,805,202612082330,60,0.2,9123#\r\n$PHN,5551234#\r\n";
    EXPECT_EQ(desk.takeAtLeast(int(copies.size())), copies);
    ctx.link->ClosePorts();
}
