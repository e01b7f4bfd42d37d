// The switch never silently differs from the console. A seeded run of edits
// through the real windows (switch parameters, fee settings, user
// parameters, deposits, accounts) against the simulated switch on a
// pseudo-terminal, with the switch unplugged for a stretch and the console
// restarted in the middle while it is unplugged. Once the switch is back and
// the waiting commands have gone, a comparison through the comparison window
// finds no difference, and every dialling password in force is the
// switch's.
#include "ComparisonRow.h"
#include "ConsoleContext.h"
#include "DownloadPlan.h"
#include "FlexGrid.h"
#include "PendingCommands.h"
#include "PtyPair.h"
#include "SimBridge.h"
#include "SwitchComparison.h"
#include "SwitchLink.h"
#include "SwitchSimulator.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPHNFee.h"
#include "frmPHNGroup.h"
#include "frmSWTComparison.h"
#include "frmSWTParameter.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMap>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <random>

using namespace corvane;

namespace {

class ParityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        ctx.BuildLists();
        sim.setAutoPoll(false);
        sim::SwitchSimulator::Options o;
        o.linkAliveMs = 2000; // heard now and then: kept commands leave the table
        o.linkRequestMs = 0;
        sim.setOptions(o);
        QObject::connect(&sim, &sim::SwitchSimulator::starCodeApplied,
                         [this](const QString &code, bool applied, const QString &note) {
                             if (!applied)
                                 refused << code + QStringLiteral(": ") + note;
                         });
        // The switch starts out as the database has programmed it.
        const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
        ASSERT_TRUE(plan);
        ASSERT_TRUE(test::applyDownload(*plan, sim.memory(), clock.now()).isEmpty());
        noPassword = sim.memory().dialPassword(0);
        plugIn();
        startConsole();
    }

    void TearDown() override
    {
        closeWindows();
        ctx.link = nullptr;
        link.reset();
        sim.stop();
        ctx.db.close();
    }

    void plugIn()
    {
        QString error;
        ASSERT_TRUE(sim.startPty(home.path(), 1, &error)) << error.toStdString();
    }
    // The console's link as the main window opens it; the switch answers
    // whenever the port is open.
    void startConsole()
    {
        link = std::make_unique<SwitchLink>(ctx);
        ctx.link = link.get();
        link->SendKept();
        openPort();
    }
    void openPort()
    {
        if (!link->OpenPort(1))
            return;
        ASSERT_TRUE(test::waitFor(
            [&] {
                sim.poll();
                return sim.isPeerConnected();
            },
            3000));
        link->SetLinkUp(true);
    }
    void unplug()
    {
        sim.stop();
        // COM1 names a device that is not there, as an unplugged adapter does.
        ASSERT_TRUE(test::unplugLink(ctx.home.portsDir() + QStringLiteral("/COM1")));
        link->ClosePorts();
        link->SetLinkUp(false);
    }
    void replug()
    {
        plugIn();
        openPort();
    }
    void closeWindows()
    {
        params.reset();
        fee.reset();
        users.reset();
    }

    void pump()
    {
        QCoreApplication::processEvents();
        sim.poll();
        QCoreApplication::processEvents();
    }
    // Everything waiting has gone out and the switch has taken it.
    void settle()
    {
        ASSERT_TRUE(test::waitFor(
            [&] {
                clock.advanceMs(100);
                pump();
                // Kept commands leave the table once the switch has answered after them.
                return link->KeptCount() == 0 && link->QueuedCount() == 0;
            },
            60000))
            << link->KeptCount() << " commands still waiting, " << link->commands().UnprovenCount() << " unanswered";
        for (int i = 0; i < 5; ++i)
            pump();
    }
    // Lets the queue run a little while the windows are used.
    void step()
    {
        clock.advanceMs(150);
        pump();
    }

    template <class W>
    W &window(std::unique_ptr<W> &w)
    {
        if (!w) {
            w = std::make_unique<W>(ctx);
            w->show();
            w->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        }
        return *w;
    }

    QString value(const QString &sql, const QVariantList &p = {})
    {
        return ctx.db.scalar(sql, p).value_or(QStringLiteral("<none>"));
    }

    // ---- the edits, each as an operator makes it ----------------------------------------

    void editTrunk()
    {
        static const int cols[] = {1, 2, 3, 4, 8};
        frmSWTParameter &w = window(params);
        test::dblClickCell(test::child<FlexGrid>(&w, QStringLiteral("hfgExchange")), pick(1, 12), cols[pick(0, 4)]);
    }
    void editSignal()
    {
        frmSWTParameter &w = window(params);
        test::clickIndicator(test::child<QRadioButton>(&w, QStringLiteral("optSignal_%1").arg(pick(0, 1))));
    }
    void editFunctionDigit()
    {
        frmSWTParameter &w = window(params);
        auto *head = test::child<QComboBox>(&w, QStringLiteral("cmbHead"));
        test::showTabOf(head);
        head->setFocus(Qt::TabFocusReason);
        QTest::keyClick(head, pick(0, 1) ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(head, Qt::Key_Return);
    }
    void editDelay()
    {
        frmPHNFee &w = window(fee);
        test::typeAndLeave(test::child<QLineEdit>(&w, QStringLiteral("txtDelay_%1").arg(pick(0, 4))),
                           QString::number(pick(0, 60)));
    }
    void editUser()
    {
        static const int cols[] = {3, 4, 5, 6, 7, 8, 9, 10};
        frmPHNGroup &w = window(users);
        test::dblClickCell(test::child<FlexGrid>(&w, QStringLiteral("hfgUser")), pick(0, 119) + 1, cols[pick(0, 7)]);
    }
    // A deposit user among ports 10 to 14 switches the password in force on
    // or off ("√" draws a new random password).
    void editDeposit()
    {
        frmPHNGroup &w = window(users);
        const int port = pick(10, 14);
        auto *tabs = test::child<QTabWidget>(&w, QStringLiteral("sstGroup"));
        if (value(QStringLiteral("SELECT 付费方式 FROM User WHERE 物理端口=?"), {QString::number(port)})
            != QStringLiteral("押金")) {
            test::showTab(tabs, 0);
            test::dblClickCell(test::child<FlexGrid>(&w, QStringLiteral("hfgUser")), port + 1, 12);
            return;
        }
        test::showTab(tabs, 2);
        auto *g = test::child<FlexGrid>(&w, QStringLiteral("hfgForegift"));
        for (int r = 1; r < g->rows(); ++r) {
            if (g->textMatrix(r, 0) == QString::number(port)) {
                test::dblClickCell(g, r, 7);
                return;
            }
        }
        ADD_FAILURE() << "no deposit row for port " << port;
    }
    void editAccount()
    {
        frmPHNGroup &w = window(users);
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstGroup")), 3);
        auto *g = test::child<FlexGrid>(&w, QStringLiteral("hfgAccount"));
        if (g->rows() < 3 || pick(0, 3) == 0) {
            test::press(&w, QStringLiteral("cmdAddAccount"));
            return;
        }
        const int r = pick(1, g->rows() - 1);
        if (pick(0, 1)) {
            test::dblClickCell(g, r, 5); // 普通 <-> 押金
        } else {
            test::dblClickCell(g, r, 2);
            test::enter(test::child<QLineEdit>(&w, QStringLiteral("txtAccount")), QString::number(pick(1, 6)));
        }
    }

    void edit()
    {
        switch (pick(0, 7)) {
        case 0:
        case 1: editTrunk(); break;
        case 2: editSignal(); break;
        case 3: editFunctionDigit(); break;
        case 4: editDelay(); break;
        case 5: editUser(); break;
        case 6: editDeposit(); break;
        default: editAccount(); break;
        }
        step();
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

    // The comparison window's verdict on the simulator's memory: the rows
    // with a database counterpart that do not agree.
    QStringList compareThroughTheWindow(QString *tip)
    {
        frmSWTComparison w(ctx);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        test::press(&w, QStringLiteral("cmdComparison"));
        EXPECT_TRUE(test::waitFor(
            [&] {
                sim.poll();
                return !w.comparison().DumpMode();
            },
            20000));
        *tip = test::child<QLabel>(&w, QStringLiteral("lblTip"))->text();
        QStringList out;
        const ParameterDump &dump = w.comparison().dump();
        for (const ComparisonRow &r : dump.rows())
            if (r.db.source != DbRef::Source::None && r.verdict != Verdict::Same)
                out << QStringLiteral("%1 %2 %3: %4 / %5").arg(r.row).arg(r.item, r.detail, r.switchValue, r.dbValue);
        return out;
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    sim::SwitchSimulator sim{&clock};
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<frmSWTParameter> params;
    std::unique_ptr<frmPHNFee> fee;
    std::unique_ptr<frmPHNGroup> users;
    std::mt19937 rng{20261210};
    QStringList refused;
    QString noPassword; // how the switch holds "no password"
};

} // namespace

TEST_F(ParityTest, SeededEditsWithTheSwitchUnpluggedAndARestartEndInAgreement)
{
    for (int i = 0; i < 25; ++i)
        edit();
    settle();

    // The last changes go out just before the adapter is pulled, before the
    // switch has answered after them: nothing shows they reached it, so they
    // go again once it is back.
    for (int i = 0; i < 3; ++i)
        edit();
    ASSERT_TRUE(test::waitFor(
        [&] {
            clock.advanceMs(20);
            pump();
            return link->QueuedCount() == 0;
        },
        20000));
    const int unheard = link->commands().UnprovenCount();
    EXPECT_GT(unheard, 0);

    // Unplugged: the changes are stored, their commands wait and the windows say so.
    unplug();
    EXPECT_EQ(link->KeptCount(), unheard);
    messages.clear();
    for (int i = 0; i < 20; ++i)
        edit();
    const int waiting = link->KeptCount();
    EXPECT_GT(waiting, 0);
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM CommandPending")), QString::number(waiting));
    bool told = false;
    for (const QString &text : messages.texts())
        told = told || text.startsWith(QStringLiteral("交换机未连接，"));
    EXPECT_TRUE(told) << messages.texts().join(QLatin1Char('\n')).toStdString();

    // The console ends and starts again while the switch is still unplugged:
    // nothing is lost, and more changes join the queue behind the old ones.
    closeWindows();
    ctx.link = nullptr;
    link.reset();
    startConsole();
    EXPECT_EQ(link->KeptCount(), waiting);
    for (int i = 0; i < 10; ++i)
        edit();
    EXPECT_GE(link->KeptCount(), waiting);

    // Plugged in again: what waited goes first, the rest follows.
    replug();
    settle();
    for (int i = 0; i < 25; ++i)
        edit();
    closeWindows();
    settle();
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM CommandPending")), QStringLiteral("0"));
    EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();

    QString tip;
    const QStringList differing = compareThroughTheWindow(&tip);
    EXPECT_TRUE(differing.isEmpty()) << differing.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(tip.endsWith(QStringLiteral("不一致0项"))) << tip.toStdString();

    // The dialling passwords, which the dump does not show: the one in force
    // for a deposit user with "√", none for everybody else (also for a
    // deposit user made ordinary again).
    const auto rows =
        ctx.db.select(QStringLiteral("SELECT 物理端口, 密码 FROM Foregift WHERE 用户号码<>'账号' AND 启用密码='√'"));
    ASSERT_TRUE(rows);
    QMap<int, QString> inForce;
    for (const QStringList &r : *rows)
        inForce.insert(r.value(0).toInt(), r.value(1));
    EXPECT_FALSE(inForce.isEmpty()) << "the run set no password";
    for (int port = 0; port < 120; ++port)
        EXPECT_EQ(sim.memory().dialPassword(port), inForce.value(port, noPassword)) << "port " << port;
}
