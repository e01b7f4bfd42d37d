// The switch never silently differs from the console. A seeded run of edits
// through the real windows (switch parameters with their lists, fee
// settings, user parameters, deposits, accounts, wake-up calls) against the
// simulated switch behind a cable that fails as cables do: a stretch with
// only the console's direction broken, the adapter pulled between a list's
// clear and its entries, an answer lost after a list entry arrived, the
// console restarted while the switch is away, a download cut under way, a
// download stopped with earlier edits waiting, a wake-up call that misses
// its moment. Once the cable is whole and the waiting commands have gone, a
// comparison through the comparison window finds no difference, and the
// switch's memory is what a download of the database makes of it: every
// list without a double, and every setting the comparison cannot see
// (dialling passwords, outside numbers, working days, IP cards, accounts),
// and every alarm of the alarm list is set in the switch at its time.
#include "AccountTable.h"
#include "ComparisonRow.h"
#include "ConsoleContext.h"
#include "DownloadPlan.h"
#include "FlexGrid.h"
#include "LineProxy.h"
#include "PendingCommands.h"
#include "RingClock.h"
#include "SimBridge.h"
#include "SwitchComparison.h"
#include "SwitchLink.h"
#include "SwitchSimulator.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPHNFee.h"
#include "frmPHNGroup.h"
#include "frmSRVRing.h"
#include "frmSWTComparison.h"
#include "frmSWTParameter.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
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
        o.linkAliveMs = 2000; // the switch talks on its own, whatever it hears
        o.linkRequestMs = 0;
        sim.setOptions(o);
        QObject::connect(&sim, &sim::SwitchSimulator::starCodeApplied,
                         [this](const QString &code, bool applied, const QString &note) {
                             arrived << code;
                             if (!applied)
                                 refused << code + QStringLiteral(": ") + note;
                         });
        // The switch starts out as the database has programmed it.
        const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
        ASSERT_TRUE(plan);
        ASSERT_TRUE(test::applyDownload(*plan, sim.memory(), clock.now()).isEmpty());
        start = sim.memory();
        QString error;
        ASSERT_TRUE(cable.plugIn(home.path(), 1, &error)) << error.toStdString();
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

    // The console's link as the main window opens it, with its watchdog and
    // task timers: it finds the switch on its own.
    void startConsole()
    {
        link = std::make_unique<SwitchLink>(ctx);
        ctx.link = link.get();
        QObject::connect(link.get(), &SwitchLink::statusText, link.get(), [this](const QString &t) { status = t; });
        link->SendKept();
        link->OpenPort(1);
        link->StartTimers();
    }
    // Closed as the operator closes them: the alarm window writes its list.
    void closeWindows()
    {
        if (ring)
            ring->close();
        params.reset();
        fee.reset();
        users.reset();
        ring.reset();
    }

    void pump()
    {
        QCoreApplication::processEvents();
        sim.poll();
        QCoreApplication::processEvents();
    }
    // Lets the line run in steps of stepMs until done() or limitMs of the
    // console's time.
    bool runUntil(const std::function<bool()> &done, int limitMs, int stepMs = 100)
    {
        for (int t = 0; t < limitMs && !done(); t += stepMs) {
            clock.advanceMs(stepMs);
            pump();
        }
        return done();
    }
    // Everything waiting has gone out and the switch has answered for it.
    void settle()
    {
        ASSERT_TRUE(
            runUntil([&] { return link->CanSend() && link->KeptCount() == 0 && link->QueuedCount() == 0; }, 120000))
            << link->KeptCount() << " commands still waiting, " << link->commands().UnprovenCount() << " unanswered; "
            << status.toStdString();
        for (int i = 0; i < 5; ++i)
            pump();
    }
    // Lets the queue run a little while the windows are used.
    void step()
    {
        clock.advanceMs(150);
        pump();
    }
    int rows() { return value(QStringLiteral("SELECT count(*) FROM CommandPending")).toInt(); }

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
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstConfig")), 1);
        test::dblClickCell(test::child<FlexGrid>(&w, QStringLiteral("hfgExchange")), pick(1, 12), cols[pick(0, 4)]);
    }
    // A virtual operator of a trunk set or cleared: the trunk's whole list goes.
    void editVirtual(int trunk = 0, const QString &number = QString())
    {
        frmSWTParameter &w = window(params);
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstConfig")), 1);
        const int t = trunk > 0 ? trunk : pick(1, 12);
        test::dblClickCell(test::child<FlexGrid>(&w, QStringLiteral("hfgExchange")), t, 10 + pick(0, 4));
        auto *box = test::child<QLineEdit>(&w, QStringLiteral("txtExchange"));
        const QString typed = !number.isEmpty() ? number
                              : pick(0, 3) == 0 ? QString()
                                                : QString::number(820 + pick(0, 20));
        test::typeOver(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void editAgents()
    {
        frmSWTParameter &w = window(params);
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstConfig")), 0);
        const int k = pick(0, 4);
        test::typeOver(test::child<QLineEdit>(&w, QStringLiteral("txtAgent_%1").arg(k)),
                       pick(0, 2) == 0 ? QString() : QString::number(840 + pick(0, 20)));
        test::press(&w, QStringLiteral("cmdSaveAgent"));
    }
    // A special-service number added, or the first one listed deleted.
    void editSpecial(bool add = false)
    {
        frmSWTParameter &w = window(params);
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstConfig")), 0);
        auto *list = test::child<QListWidget>(&w, QStringLiteral("lstSpecial"));
        if (add || list->count() < 2 || pick(0, 2) > 0) {
            QString number;
            do
                number = QString::number(9500 + pick(0, 99));
            while (!list->findItems(number, Qt::MatchExactly).isEmpty());
            messages.queueText(number);
            test::press(&w, QStringLiteral("cmdAddSPC"));
            return;
        }
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        messages.queueAnswer(MessageService::Answer::Yes);
        test::press(&w, QStringLiteral("cmdDelSPC"));
    }
    void editSignal()
    {
        frmSWTParameter &w = window(params);
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstConfig")), 0);
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
        test::showTab(test::child<QTabWidget>(&w, QStringLiteral("sstGroup")), 0);
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
    // A wake-up call for an extension, `minutes` from now (a random time
    // later today or tomorrow when 0).
    void editAlarm(const QString &number = QString(), int minutes = 0)
    {
        frmSRVRing &w = window(ring);
        const QTime at = minutes > 0 ? clock.now().addSecs(60 * minutes).time() : QTime(pick(0, 23), pick(0, 59));
        test::typeOver(test::child<QLineEdit>(&w, QStringLiteral("txtNo")),
                       number.isEmpty() ? QString::number(800 + pick(0, 30)) : number);
        test::typeTime(test::child<QTimeEdit>(&w, QStringLiteral("dtpTime")), at.toString(QStringLiteral("HHmm")));
        test::press(&w, QStringLiteral("cmdOk"));
    }

    void edit()
    {
        switch (pick(0, 12)) {
        case 0:
        case 1: editTrunk(); break;
        case 2: editSignal(); break;
        case 3: editFunctionDigit(); break;
        case 4: editDelay(); break;
        case 5: editUser(); break;
        case 6: editDeposit(); break;
        case 7: editAccount(); break;
        case 8:
        case 9: editVirtual(); break;
        case 10: editAgents(); break;
        case 11: editSpecial(); break;
        default: editAlarm(); break;
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

    // What the switch holds that a download of the database would not have
    // made of it, byte by byte (the switch's clock left out), account by
    // account, and the alarms of the alarm list.
    QStringList memoryDifferences()
    {
        QStringList out;
        // Every alarm still to come in the list is set in the switch at its
        // time (the switch keeps one that has rung; the list does not).
        if (ring) {
            ring->close();
            ring.reset();
        }
        RingClock list(ctx);
        list.load();
        for (const RingAlarm &a : list.alarms())
            if (sim.memory().alarm(a.number) != a.moment.toString(QStringLiteral("HHmm")))
                out << QStringLiteral("alarm of %1: switch %2, list %3")
                           .arg(a.number, sim.memory().alarm(a.number), RingClock::formatMoment(a.moment));
        const Checked<DownloadPlan> plan = BuildDownload(ctx.db);
        if (!plan)
            return {plan.reason()};
        sim::ParameterMemory expected = start;
        const QStringList notTaken = test::applyDownload(*plan, expected, clock.now());
        for (const QString &n : notTaken)
            out << QStringLiteral("download not taken: ") + n;
        const sim::ParameterMemory &got = sim.memory();
        // The prefixes and special-service numbers are sets to the switch: a
        // number added after one was deleted takes the freed slot. Each must
        // be there as often as the database has it.
        auto sorted = [](QStringList l) {
            l.sort();
            return l;
        };
        if (sorted(got.localPrefixes()) != sorted(expected.localPrefixes()))
            out << QStringLiteral("local prefixes: switch %1, database %2")
                       .arg(got.localPrefixes().join(QLatin1Char(',')),
                            expected.localPrefixes().join(QLatin1Char(',')));
        if (sorted(got.specialNumbers()) != sorted(expected.specialNumbers()))
            out << QStringLiteral("special numbers: switch %1, database %2")
                       .arg(got.specialNumbers().join(QLatin1Char(',')),
                            expected.specialNumbers().join(QLatin1Char(',')));
        for (int b = 0; b < sim::ParameterMemory::BlockCount; ++b) {
            if (b == sim::ParameterMemory::LocalPrefixBlock || b == sim::ParameterMemory::SpecialNumberBlock)
                continue;
            for (int i = 0; i < sim::ParameterMemory::BlockSize; ++i) {
                if (b == 0 && i >= sim::ParameterMemory::DateYear && i <= sim::ParameterMemory::TimeMinute)
                    continue;
                if (got.byte(b, i) != expected.byte(b, i))
                    out << QStringLiteral("block %1 byte %2: switch %3, database %4")
                               .arg(b)
                               .arg(i)
                               .arg(got.byte(b, i), 2, 16, QLatin1Char('0'))
                               .arg(expected.byte(b, i), 2, 16, QLatin1Char('0'));
            }
        }
        const auto accounts = AccountTable(ctx.db).all();
        if (!accounts)
            return out << accounts.reason();
        for (const AccountRow &a : *accounts) {
            const auto held = got.account(a.number().toInt());
            const QString password = a.prepaid() ? a.get(AccountField::Password).trimmed() : QString();
            if (!held || QString::number(held->cls) != a.cls() || QString::number(held->trunkGroup) != a.trunkGroup()
                || held->password != password || !held->opened)
                out << QStringLiteral("account %1: switch %2/%3/%4, database %5/%6/%7")
                           .arg(a.number())
                           .arg(held ? held->cls : -1)
                           .arg(held ? held->trunkGroup : -1)
                           .arg(held ? held->password : QStringLiteral("-"), a.cls(), a.trunkGroup(), password);
        }
        return out;
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    sim::SwitchSimulator sim{&clock};
    test::LineProxy cable{sim};
    sim::ParameterMemory start; // the switch before the first edit
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<frmSWTParameter> params;
    std::unique_ptr<frmPHNFee> fee;
    std::unique_ptr<frmPHNGroup> users;
    std::unique_ptr<frmSRVRing> ring;
    std::mt19937 rng{20261210};
    QStringList arrived;
    QStringList refused;
    QString status;
};

} // namespace

TEST_F(ParityTest, SeededEditsThroughAFailingCableEndInAgreement)
{
    ASSERT_TRUE(runUntil([&] { return link->CanSend(); }, 10000)) << "the console finds the switch";
    for (int i = 0; i < 25; ++i)
        edit();
    settle();

    // Only the console's direction is cut: the switch still talks, but hears
    // nothing. Within ten seconds the console says so and keeps what it
    // could not deliver; a wake-up call due in three minutes waits with it.
    cable.dropToSwitch = true;
    const qint64 cutAt = clock.monotonicMs();
    const QDateTime alarmAt = clock.now().addSecs(3 * 60);
    editAlarm(QStringLiteral("805"), 3);
    for (int i = 0; i < 8; ++i)
        edit();
    ASSERT_TRUE(runUntil([&] { return link->SendDown(); }, 15000));
    EXPECT_LE(clock.monotonicMs() - cutAt, 10000);
    EXPECT_EQ(status, QStringLiteral("通讯端口：发送失败"));
    EXPECT_TRUE(link->LinkUp()) << "the switch's frames still arrive";
    // The alarm's moment passes while the cable is cut; the rest waits.
    ASSERT_TRUE(runUntil([&] { return clock.now() > alarmAt.addSecs(60); }, 5 * 60 * 1000, 1000));
    EXPECT_GT(link->KeptCount(), 0);
    EXPECT_EQ(rows(), link->KeptCount());
    cable.dropToSwitch = false;
    settle();
    EXPECT_TRUE(memoryDifferences().isEmpty()) << memoryDifferences().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(status, QStringLiteral("通讯端口：正常"));
    EXPECT_TRUE(sim.memory().alarm(QStringLiteral("805")).isEmpty()) << "an alarm past its moment is not sent";
    bool told = false;
    for (const auto &n : messages.desktopNotices())
        told = told || n.text.startsWith(QStringLiteral("分机805在"));
    EXPECT_TRUE(told) << "the clerk is told which room to call";

    // A special-service number reaches the switch, and the switch's answer
    // after it is lost: it is not sent again on its own (the switch would
    // list it twice), the list is written anew.
    editSpecial(true);
    ASSERT_TRUE(runUntil([&] { return !arrived.isEmpty() && arrived.last().startsWith(QStringLiteral("*19*6*7*")); },
                         5000, 20));
    cable.dropToConsole = true;
    ASSERT_TRUE(runUntil([&] { return !link->LinkUp(); }, 15000));
    cable.dropToConsole = false;
    settle();
    EXPECT_TRUE(memoryDifferences().isEmpty()) << memoryDifferences().join(QLatin1Char('\n')).toStdString();

    // The adapter is pulled after the switch took the clear of a trunk's
    // virtual operators and before their entries.
    editVirtual(7, QStringLiteral("833"));
    ASSERT_TRUE(runUntil([&] { return arrived.contains(QStringLiteral("*12*0*7#")); }, 5000, 10));
    cable.unplug();
    ASSERT_TRUE(runUntil([&] { return !link->LinkUp(); }, 15000));
    const int unplugged = link->KeptCount();
    EXPECT_GT(unplugged, 0);

    // Unplugged: the changes are stored, their commands wait and the windows say so.
    messages.clear();
    for (int i = 0; i < 20; ++i)
        edit();
    const int waiting = link->KeptCount();
    EXPECT_GT(waiting, unplugged);
    EXPECT_EQ(rows(), waiting);
    bool toldWaiting = false;
    for (const QString &text : messages.texts())
        toldWaiting = toldWaiting || text.startsWith(QStringLiteral("交换机未连接，"));
    EXPECT_TRUE(toldWaiting) << messages.texts().join(QLatin1Char('\n')).toStdString();

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

    // Plugged in again: the console finds the adapter, what waited goes first.
    ASSERT_TRUE(cable.plugIn(home.path(), 1));
    settle();
    EXPECT_TRUE(memoryDifferences().isEmpty()) << memoryDifferences().join(QLatin1Char('\n')).toStdString();

    // A download on a whole cable, and the console's direction cut under it:
    // the bar counts what the switch has answered for, never the commands
    // written into the cut. Stopped, it leaves nothing of its own waiting.
    {
        frmSWTComparison w(ctx);
        w.show();
        auto *bar = test::child<QProgressBar>(&w, QStringLiteral("pgbSend"));
        const qsizetype atStart = arrived.size();
        const qint64 droppedBefore = cable.droppedToSwitch();
        test::press(&w, QStringLiteral("cmdSend"));
        ASSERT_TRUE(runUntil([&] { return bar->value() >= 30; }, 60000));
        cable.dropToSwitch = true;
        ASSERT_TRUE(runUntil([&] { return link->SendDown(); }, 15000));
        EXPECT_GT(cable.droppedToSwitch() - droppedBefore, 100) << "commands went into the cut";
        EXPECT_GE(bar->value(), 30);
        EXPECT_LE(bar->value(), arrived.size() - atStart);
        test::press(&w, QStringLiteral("cmdStop"));
        EXPECT_EQ(link->KeptCount(), 0);
        EXPECT_EQ(rows(), 0);
    }
    cable.dropToSwitch = false;
    settle();

    // The console's direction cut again, edits waiting, and a download
    // started and stopped at once: the edits still wait, and go once the
    // cable is mended.
    cable.dropToSwitch = true;
    ASSERT_TRUE(runUntil([&] { return link->SendDown(); }, 15000));
    for (int i = 0; i < 4; ++i)
        edit();
    const int before = link->KeptCount();
    ASSERT_GT(before, 0);
    {
        frmSWTComparison w(ctx);
        w.show();
        test::press(&w, QStringLiteral("cmdSend"));
        EXPECT_GT(link->KeptCount(), before);
        test::press(&w, QStringLiteral("cmdStop"));
        const QString tip = test::child<QLabel>(&w, QStringLiteral("lblTip"))->text();
        EXPECT_TRUE(tip.endsWith(QStringLiteral("其他修改的%1条命令仍在等待发往交换机。").arg(before)))
            << tip.toStdString();
    }
    EXPECT_EQ(link->KeptCount(), before);
    EXPECT_EQ(rows(), before);
    cable.dropToSwitch = false;
    settle();

    for (int i = 0; i < 25; ++i)
        edit();
    closeWindows();
    settle();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();

    QString tip;
    const QStringList differing = compareThroughTheWindow(&tip);
    EXPECT_TRUE(differing.isEmpty()) << differing.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("不一致0项"))) << tip.toStdString();
    const QStringList memory = memoryDifferences();
    EXPECT_TRUE(memory.isEmpty()) << memory.join(QLatin1Char('\n')).toStdString();
    RingClock alarms(ctx);
    alarms.load();
    EXPECT_FALSE(alarms.alarms().isEmpty()) << "the run leaves alarms to compare";
    EXPECT_GT(arrived.filter(QStringLiteral("*12*")).size(), 0);
    EXPECT_GT(arrived.filter(QStringLiteral("*19*6*7*")).size(), 0);
    EXPECT_GT(arrived.filter(QStringLiteral("*49*")).size(), 0);
}
