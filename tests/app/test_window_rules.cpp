// Rules every window keeps alike: a question before a destructive action
// answers "否"/"取消" to a stray Enter, a window comes back where it was left
// (on the screen), and F1 opens that window's section of the help.
#include "ConsoleContext.h"
#include "Data.h"
#include "DesktopConventions.h"
#include "DirectoryTables.h"
#include "FlexGrid.h"
#include "GridCellEditor.h"
#include "GridHelpers.h"
#include "HomeSetup.h"
#include "OperatorAdmin.h"
#include "Operators.h"
#include "PrintStore.h"
#include "QtMessageService.h"
#include "Recordset.h"
#include "RegisterBinding.h"
#include "SwitchLink.h"
#include "TallowinWindow.h"
#include "TestHome.h"
#include "WindowDriver.h"
#include "frmAbout.h"
#include "frmChangeCode.h"
#include "frmDeposit.h"
#include "frmHelp.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "frmOperatorRecord.h"
#include "frmOperatorRight.h"
#include "frmPHNBill.h"
#include "frmPHNClient.h"
#include "frmPHNDiscount.h"
#include "frmPHNFee.h"
#include "frmPHNGroup.h"
#include "frmPHNQuery.h"
#include "frmPHNStat.h"
#include "frmPhoneInf.h"
#include "frmPort.h"
#include "frmRestoreLogin.h"
#include "frmSRVBackup.h"
#include "frmSRVRing.h"
#include "frmSWTComparison.h"
#include "frmSWTParameter.h"
#include "frmSettleLedger.h"
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class WindowRulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::isolateSerialPorts(home.path());
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb(), "admin"));
        QString error;
        ASSERT_TRUE(InstallHomeFiles(ctx.home, error)) << error.toStdString();
        OperatorLogin login(ctx);
        ASSERT_TRUE(login.logIn("管理员", "admin"));
    }

    QString count(const QString &sql) { return ctx.db.scalar(sql).value_or("?"); }

    // The last box was a question whose default answer leaves everything as
    // it was (the exit question keeps its information icon).
    void expectSafeQuestion(const char *what)
    {
        ASSERT_NE(messages.last(), nullptr) << what << ": nothing was asked";
        EXPECT_TRUE(MessageService::defaultsToSafeAnswer(messages.last()->buttons))
            << what << ": " << messages.last()->text.toStdString();
        messages.clear();
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

// Enter on each destructive question leaves the data alone: the recorded box
// is a question with "否" or "取消" as its default, and the script answers
// what Enter would.
TEST_F(WindowRulesTest, EveryDestructiveQuestionDefaultsToNo)
{
    {
        frmPHNDiscount w(ctx);
        w.show();
        auto *g = test::child<FlexGrid>(&w, "hfgFeerate_5");
        test::press(&w, "cmdAddDiscount_5");
        const QString rates = count("SELECT count(*) FROM Feerate");
        test::clickCell(g, FindGridRow("本地新添加", *g, 1), 1);
        test::press(&w, "cmdDeleteDiscount_5");
        expectSafeQuestion("rate row");
        EXPECT_EQ(count("SELECT count(*) FROM Feerate"), rates);

        auto *holidays = test::child<FlexGrid>(&w, "hfgHoliday");
        const QString days = count("SELECT count(*) FROM Holiday");
        ASSERT_NE(days, "0");
        test::clickCell(holidays, holidays->fixedRows(), 0);
        test::press(&w, "cmdDeleteHoliday");
        expectSafeQuestion("holiday");
        EXPECT_EQ(count("SELECT count(*) FROM Holiday"), days);
    }
    {
        frmSWTParameter w(ctx);
        w.show();
        auto *special = test::child<QListWidget>(&w, "lstSpecial");
        messages.queueText(QStringLiteral("114"));
        test::press(&w, "cmdAddSPC");
        messages.clear();
        ASSERT_EQ(special->count(), 1);
        test::clickItem(special, special->item(0)->text());
        test::press(&w, "cmdDelSPC");
        expectSafeQuestion("special number");
        EXPECT_EQ(count("SELECT count(*) FROM SPCPhone"), QString::number(special->count()));
        for (const char *button : {"cmdRST", "cmdInitial"}) {
            test::press(&w, QString::fromLatin1(button));
            expectSafeQuestion(button);
        }
    }
    {
        frmPHNClient w(ctx);
        w.show();
        test::press(&w, "cmdAddClient");
        test::fill(test::child<QLineEdit>(&w, "txtClient_0"), "7");
        test::press(&w, "cmdAmendClient");
        ASSERT_EQ(count("SELECT count(*) FROM Client"), "1");
        test::clickCell(test::child<FlexGrid>(&w, "hfgClient"), 1, 0);
        test::press(&w, "cmdDeleteClient");
        expectSafeQuestion("client");
        EXPECT_EQ(count("SELECT count(*) FROM Client"), "1");
    }
    {
        Recordset op = Recordset::forAppend(ctx.db, "OP");
        QStringList row{"张三", "z"};
        for (int i = 0; i < 15; ++i)
            row << "0";
        ASSERT_TRUE(WriteRecord(op, true, row));
        frmOperatorRight w(ctx);
        w.show();
        test::clickItem(w.lstOPName, "张三");
        test::press(&w, "cmdDelete");
        expectSafeQuestion("operator");
        EXPECT_EQ(count("SELECT count(*) FROM OP"), "2");
    }
    {
        frmMain w(ctx);
        w.show();
        EXPECT_FALSE(w.close());
        expectSafeQuestion("exit");
        EXPECT_TRUE(w.isVisible());
    }
}

// The real box: Enter and Escape on a destructive question answer its safe
// button; a plain question keeps "是"/"确定" as its default.
TEST_F(WindowRulesTest, EnterOnARealDestructiveBoxAnswersNo)
{
    QtMessageService boxes;
    auto pressOnBox = [](Qt::Key key) {
        QTimer::singleShot(0, [key] {
            QWidget *box = QApplication::activeModalWidget();
            ASSERT_NE(qobject_cast<QMessageBox *>(box), nullptr);
            QTest::keyClick(box, key);
        });
    };
    using B = MessageService::Buttons;
    using A = MessageService::Answer;
    const struct {
        B buttons;
        Qt::Key key;
        A expected;
    } cases[] = {{B::YesNoDefaultNo, Qt::Key_Return, A::No},
                 {B::OkCancelDefaultCancel, Qt::Key_Return, A::Cancel},
                 {B::YesNoDefaultNo, Qt::Key_Escape, A::No},
                 {B::YesNo, Qt::Key_Return, A::Yes},
                 {B::OkCancel, Qt::Key_Return, A::Ok}};
    for (const auto &c : cases) {
        pressOnBox(c.key);
        EXPECT_EQ(boxes.show("是否删除？", "删除", MessageService::Icon::Question, c.buttons), c.expected)
            << int(c.buttons) << " " << int(c.key);
        if (c.key == Qt::Key_Return) { // the test double answers as Enter does
            EXPECT_EQ(MessageService::defaultAnswer(c.buttons), c.expected);
        }
    }
}

// Each window comes back at the place and size it was left at, per window,
// and a place off the screen (a smaller screen now) is moved onto it.
TEST_F(WindowRulesTest, WindowsComeBackWhereTheyWereLeftWithinTheScreen)
{
    const QString settingsFile = home.file("settings.ini");
    auto conventions = std::make_unique<DesktopConventions>(
        std::make_unique<QSettings>(settingsFile, QSettings::IniFormat), DesktopConventions::HelpOpener());
    conventions->install();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    using Make = std::function<std::unique_ptr<QDialog>()>;
    const QList<Make> windows{
        [&] { return std::make_unique<frmPHNClient>(ctx); }, [&] { return std::make_unique<frmPHNDiscount>(ctx); },
        [&] { return std::make_unique<frmPHNFee>(ctx); }, [&] { return std::make_unique<frmSRVRing>(ctx); },
        [&] { return std::make_unique<frmOperatorRecord>(ctx); }};
    int i = 0;
    int fits = 0;
    for (const Make &make : windows) {
        ++i;
        QRect left;
        QString name;
        {
            auto w = make();
            name = w->objectName();
            w->show();
            const QSize size = w->size().expandedTo(QSize(500 + i * 10, 400)).boundedTo(screen.size());
            w->setGeometry(QRect(screen.topLeft() + QPoint(10 * i, 5 * i), size));
            left = w->geometry();
            w->close();
        }
        int fitting = 0;
        {
            auto w = make();
            w->show();
            // Where it was left; a window wider than this (small) screen at
            // its left edge.
            const QSize minimum = w->minimumSize().expandedTo(w->minimumSizeHint());
            const QRect expected = DesktopConventions::withinScreen(left, screen, minimum);
            EXPECT_EQ(w->geometry(), expected) << name.toStdString();
            fitting += expected == left;
            w->close();
        }
        // Saved on a wider screen than this one.
        {
            QSettings s(settingsFile, QSettings::IniFormat);
            s.setValue("windows/" + name + "/geometry",
                       QRect(screen.right() + 400, screen.bottom() + 300, screen.width() + 200, left.height()));
        }
        auto w = make();
        w->show();
        const QRect g = w->geometry();
        const QSize minimum = w->minimumSize().expandedTo(w->minimumSizeHint());
        EXPECT_EQ(g.topLeft(), QPoint(qMax(screen.left(), screen.right() + 1 - g.width()),
                                      qMax(screen.top(), screen.bottom() + 1 - g.height())))
            << name.toStdString();
        EXPECT_EQ(g.width(), qMax(screen.width(), minimum.width())) << name.toStdString();
        EXPECT_GE(g.height(), minimum.height()) << name.toStdString();
        fits += fitting;
    }
    EXPECT_GE(fits, 3) << "most windows fit and come back exactly where they were";
}

// F1 in a window opens the help at that window's section; the help has a
// section for every window and the backup tool, links that lead somewhere,
// no accelerator marks and a close button.
TEST_F(WindowRulesTest, F1OpensTheHelpAtTheWindowsSection)
{
    QStringList asked;
    QPointer<frmHelp> shown;
    DesktopConventions conventions(std::make_unique<QSettings>(home.file("settings.ini"), QSettings::IniFormat),
                                   [&](QWidget *window, const QString &section) {
                                       asked << section;
                                       shown = frmHelp::open(ctx.home.helpIndex(), window, section, messages);
                                   });
    conventions.install();
    {
        frmPHNFee w(ctx);
        w.show();
        QTest::keyClick(test::child<QLineEdit>(&w, "txtDelay_0"), Qt::Key_F1);
        ASSERT_EQ(asked, QStringList{"frmPHNFee"});
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_GT(shown->browser->verticalScrollBar()->value(), 0) << "scrolled to its section";
        test::press(shown->cmdClose);
        EXPECT_FALSE(shown && shown->isVisible());
    }
    {
        frmSRVRing w(ctx);
        w.show();
        QTest::keyClick(&w, Qt::Key_F1);
        EXPECT_EQ(asked.last(), "frmSRVRing");
        delete shown;
    }

    QFile file(ctx.home.helpIndex());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QStringList anchors;
    for (auto it = QRegularExpression(R"re(<a name="([^"]+)")re").globalMatch(html); it.hasNext();)
        anchors << it.next().captured(1);
    for (const char *window :
         {"frmLogin",       "frmChangeCode",     "frmMain",         "frmPhoneInf",      "frmOperatorRight",
          "frmOperatorNew", "frmOperatorRecord", "frmPHNClient",    "frmPHNDiscount",   "frmPHNFee",
          "frmPHNQuery",    "frmPHNBill",        "frmDeposit",      "frmSettleLedger",  "frmPHNStat",
          "frmPHNGroup",    "frmPort",           "frmSWTParameter", "frmSWTComparison", "frmSRVRing",
          "frmSRVBackup",   "tallowin",          "frmAbout",        "frmHelp"})
        EXPECT_TRUE(anchors.contains(QString::fromLatin1(window))) << window;
    for (auto it = QRegularExpression(R"re(href="#([^"]+)")re").globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(anchors.contains(target)) << target.toStdString();
    }
    QTextBrowser text;
    text.setHtml(html);
    EXPECT_FALSE(text.toPlainText().contains("(&")) << "accelerator marks";
}

// Scrolled sideways, a grid still shows which row is which: its key column
// (the extension, the trunk, the rate type) stays at its left edge.
TEST_F(WindowRulesTest, KeyColumnsStayInViewWhenScrolledSideways)
{
    const struct {
        std::function<std::unique_ptr<QDialog>()> make;
        const char *grid;
    } grids[] = {{[&] { return std::make_unique<frmPHNGroup>(ctx); }, "hfgUser"},
                 {[&] { return std::make_unique<frmSWTParameter>(ctx); }, "hfgExchange"},
                 {[&] { return std::make_unique<frmPHNDiscount>(ctx); }, "hfgDiscount"}};
    for (const auto &g : grids) {
        auto w = g.make();
        w->show();
        auto *grid = test::child<FlexGrid>(w.get(), QString::fromLatin1(g.grid));
        ASSERT_NE(grid, nullptr);
        test::showTabOf(grid);
        w->resize(500, w->height()); // narrower than the grid's columns
        QApplication::processEvents();
        auto *keys = grid->findChild<QTableView *>("keyColumns");
        ASSERT_NE(keys, nullptr) << g.grid;
        EXPECT_FALSE(keys->isVisible()) << g.grid << ": nothing to keep while not scrolled";

        QScrollBar *sideways = grid->horizontalScrollBar();
        ASSERT_GT(sideways->maximum(), 0) << g.grid;
        sideways->setValue(sideways->maximum());
        QApplication::processEvents();
        ASSERT_TRUE(keys->isVisible()) << g.grid;
        EXPECT_EQ(keys->geometry().left(), grid->viewport()->geometry().left()) << g.grid;
        int keyWidth = 0;
        for (int c = 0; c < grid->keyColumns(); ++c)
            keyWidth += grid->columnWidth(c);
        EXPECT_EQ(keys->width(), keyWidth) << g.grid;
        // Its first row is the grid's first row in view, column 0.
        const QModelIndex shown = keys->indexAt(QPoint(2, 2));
        EXPECT_EQ(shown.column(), 0) << g.grid;
        EXPECT_EQ(shown.row(), grid->topRow()) << g.grid;
        EXPECT_EQ(shown.data().toString(), grid->textMatrix(grid->topRow(), 0)) << g.grid;
        // It scrolls down with the grid.
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        QApplication::processEvents();
        EXPECT_EQ(keys->indexAt(QPoint(2, 2)).row(), grid->topRow()) << g.grid;
    }
}

// Every grid or list that can grow longer than a screen has a filter box:
// what a clerk types leaves shown only the rows holding it, Enter in the box
// presses no button, and an emptied box shows every row again.
TEST_F(WindowRulesTest, LongGridsAndListsFilterWhatIsTyped)
{
    for (int i = 0; i < 3; ++i) {
        const QString n = QString::number(i + 1);
        ASSERT_TRUE(ctx.db.exec("INSERT INTO Account VALUES (?, ?, '4', '0', '1234', '普通')", {"50" + n, "账号" + n}));
        ASSERT_TRUE(ctx.db.exec("INSERT INTO Foregift VALUES (?, ?, ?, '4', '10.00', '10.00', '', '×')",
                                {n, "80" + n, "住客" + n}));
        ASSERT_TRUE(ctx.db.exec("INSERT INTO Client (编号, 姓名) VALUES (?, ?)", {"000" + n, "客户" + n}));
        ASSERT_TRUE(ctx.db.exec("INSERT INTO BlackLst VALUES (?, '')", {"1390000000" + n}));
    }
    {
        QFile ring(ctx.home.ringTxt());
        ASSERT_TRUE(ring.open(QIODevice::WriteOnly));
        ring.write("\"801\",\"2026-12-08 18:00\"\r\n\"802\",\"2026-12-08 19:00\"\r\n"
                   "\"803\",\"2026-12-09 07:30\"\r\n");
    }
    const struct {
        std::function<std::unique_ptr<QDialog>()> make;
        const char *view, *box;
        const char *first = nullptr; // a button that fills the list
    } views[] = {{[&] { return std::make_unique<frmPHNGroup>(ctx); }, "hfgUser", "txtFilterUser"},
                 {[&] { return std::make_unique<frmPHNGroup>(ctx); }, "hfgForegift", "txtFilterForegift"},
                 {[&] { return std::make_unique<frmPHNGroup>(ctx); }, "hfgAccount", "txtFilterAccount"},
                 {[&] { return std::make_unique<frmPHNDiscount>(ctx); }, "hfgFeerate_1", "txtFilter_1"},
                 {[&] { return std::make_unique<frmPHNDiscount>(ctx); }, "hfgHoliday", "txtFilterHoliday"},
                 {[&] { return std::make_unique<frmPHNClient>(ctx); }, "hfgClient", "txtFilterClient"},
                 {[&] { return std::make_unique<frmPHNClient>(ctx); }, "hfgBlacklist", "txtFilterBlacklist"},
                 {[&] { return std::make_unique<frmSRVRing>(ctx); }, "lvwRing", "txtFilterRing"},
                 {[&] { return std::make_unique<frmPHNGroup>(ctx); }, "lstUser", "txtFilterMembers"},
                 {[&] { return std::make_unique<frmPHNQuery>(ctx); }, "lstUser", "txtFilterUser"},
                 {[&] { return std::make_unique<frmPHNStat>(ctx); }, "lstUser", "txtFilterUser", "optCommon"}};
    for (const auto &v : views) {
        SCOPED_TRACE(v.view);
        auto w = v.make();
        w->show();
        auto *view = test::child<QAbstractItemView>(w.get(), QString::fromLatin1(v.view));
        auto *box = test::child<QLineEdit>(w.get(), QString::fromLatin1(v.box));
        ASSERT_NE(view, nullptr);
        ASSERT_NE(box, nullptr);
        test::showTabOf(view);
        if (v.first)
            test::press(w.get(), QString::fromLatin1(v.first));
        auto *grid = qobject_cast<FlexGrid *>(view);
        auto *list = qobject_cast<QTreeWidget *>(view);
        auto *choices = qobject_cast<QListWidget *>(view);
        ASSERT_TRUE(grid || list || choices);
        // The data rows as texts, and which of them are shown.
        auto rowTexts = [&] {
            QStringList out;
            if (grid)
                for (int r = grid->fixedRows(); r < grid->rows(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < grid->cols(); ++c)
                        cells << grid->textMatrix(r, c);
                    out << cells.join(u'|');
                }
            else if (list)
                for (int i = 0; i < list->topLevelItemCount(); ++i)
                    out << list->topLevelItem(i)->text(0) + u'|' + list->topLevelItem(i)->text(1);
            else
                for (int i = 0; i < choices->count(); ++i)
                    out << choices->item(i)->text();
            return out;
        };
        auto shown = [&] {
            QList<bool> out;
            if (grid)
                for (int r = grid->fixedRows(); r < grid->rows(); ++r)
                    out << !grid->isRowHidden(r);
            else if (list)
                for (int i = 0; i < list->topLevelItemCount(); ++i)
                    out << !list->topLevelItem(i)->isHidden();
            else
                for (int i = 0; i < choices->count(); ++i)
                    out << !choices->item(i)->isHidden();
            return out;
        };
        const QStringList texts = rowTexts();
        ASSERT_GE(texts.size(), 3);
        // The first cell of the last row: what a clerk would look for.
        const QString wanted = texts.last().section(u'|', 0, 0);
        ASSERT_FALSE(wanted.isEmpty());

        test::fill(box, wanted);
        QApplication::processEvents();
        const QList<bool> after = shown();
        ASSERT_EQ(after.size(), texts.size());
        EXPECT_TRUE(after.last());
        EXPECT_TRUE(after.contains(false)) << wanted.toStdString();
        for (int i = 0; i < texts.size(); ++i)
            EXPECT_EQ(after.at(i), texts.at(i).contains(wanted, Qt::CaseInsensitive)) << texts.at(i).toStdString();

        QTest::keyClick(box, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(messages.shown().isEmpty());
        EXPECT_EQ(rowTexts(), texts);
        // A list's "全部选定" chooses what is shown, nothing unseen; its
        // "全部清除" drops what is shown: a choice the filter hides stays.
        if (choices) {
            ASSERT_FALSE(after.first());
            choices->item(0)->setSelected(true);
            test::press(w.get(), QStringLiteral("cmdSelectAll"));
            for (int i = 0; i < choices->count(); ++i)
                EXPECT_EQ(choices->item(i)->isSelected(), after.at(i) || i == 0) << texts.at(i).toStdString();
            test::press(w.get(), QStringLiteral("cmdClear"));
            for (int i = 0; i < choices->count(); ++i)
                EXPECT_EQ(choices->item(i)->isSelected(), i == 0) << texts.at(i).toStdString();
        }

        test::fill(box, QString());
        EXPECT_FALSE(shown().contains(false));
    }
}

// The labels and buttons of `w` (itself included) whose text is wider than
// they are: "name 'text' needs 87 px, has 78". Mnemonic marks take no room.
QStringList cutTexts(QWidget *w)
{
    QStringList cut;
    auto check = [&](QWidget *widget, QString text, int room) {
        text.remove(QLatin1Char('&'));
        int need = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            need = qMax(need, widget->fontMetrics().horizontalAdvance(line));
        if (need > room)
            cut << QStringLiteral("%1 '%2' needs %3 px, has %4").arg(widget->objectName(), text).arg(need).arg(room);
    };
    QList<QWidget *> all = w->findChildren<QWidget *>();
    all.prepend(w);
    for (QWidget *widget : all) {
        if (!widget->isVisible())
            continue;
        if (auto *l = qobject_cast<QLabel *>(widget)) {
            if (!l->text().isEmpty() && !l->wordWrap() && !Qt::mightBeRichText(l->text()) && l->pixmap().isNull())
                check(l, l->text(), l->contentsRect().width() + 1);
        } else if (auto *b = qobject_cast<QAbstractButton *>(widget)) {
            // A button's text needs a few pixels of frame either side.
            if (!b->text().isEmpty())
                check(b, b->text(), b->width() - 4);
        }
    }
    return cut;
}

// The shown push buttons of `w` without a mnemonic ("name 'text' has none") and
// the mnemonics two shown controls share ("&A: a, b"). A label's mnemonic
// (it moves to its buddy) counts as well; tool-bar buttons, which take no
// mnemonics, do not.
QStringList mnemonicFaults(QWidget *w)
{
    QStringList faults;
    QMap<QChar, QStringList> owners;
    auto mnemonic = [](const QString &text) -> QChar {
        for (qsizetype i = text.indexOf(QLatin1Char('&')); i >= 0 && i + 1 < text.size();
             i = text.indexOf(QLatin1Char('&'), i + 2)) {
            if (text.at(i + 1) != QLatin1Char('&'))
                return text.at(i + 1).toUpper();
        }
        return {};
    };
    for (QWidget *widget : w->findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue;
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(widget)) {
            if (qobject_cast<QToolButton *>(b) || b->text().isEmpty())
                continue;
            text = b->text();
            // Every push button has one; a box or an option may.
            if (mnemonic(text).isNull()) {
                if (!qobject_cast<QPushButton *>(b))
                    continue;
                faults << QStringLiteral("%1 '%2' has none").arg(b->objectName(), text);
                continue;
            }
        } else if (auto *l = qobject_cast<QLabel *>(widget)) {
            if (!l->buddy() || mnemonic(l->text()).isNull())
                continue;
            text = l->text();
        } else {
            continue;
        }
        owners[mnemonic(text)] << (widget->objectName().isEmpty() ? text : widget->objectName());
    }
    for (auto it = owners.cbegin(); it != owners.cend(); ++it)
        if (it->size() > 1)
            faults << QStringLiteral("&%1: %2").arg(it.key()).arg(it->join(QStringLiteral(", ")));
    return faults;
}

// No window shows the text of a label or a button cut short, on any tab, at
// the size it opens with on a 1366x768 screen. Each tab's picture is kept
// with the test's artifacts.
TEST_F(WindowRulesTest, NoWindowCutsTheTextOfALabelOrAButton)
{
    {
        // The check sees a cut text.
        QPushButton narrow("批量修改用户号码");
        narrow.setObjectName("narrow");
        narrow.setFixedWidth(40);
        narrow.show();
        EXPECT_EQ(cutTexts(&narrow).size(), 1);
    }
    OperatorLogin op(ctx);
    ASSERT_TRUE(op.logIn("管理员", "admin"));
    OperatorAdmin admin(ctx);
    SwitchLink link(ctx);
    PrintStore store;
    using Make = std::function<std::unique_ptr<QWidget>()>;
    const QList<Make> windows{[&] { return std::make_unique<frmMain>(ctx); },
                              [&] { return std::make_unique<frmLogin>(ctx); },
                              [&] { return std::make_unique<frmPHNClient>(ctx); },
                              [&] { return std::make_unique<frmPHNDiscount>(ctx); },
                              [&] { return std::make_unique<frmPHNFee>(ctx); },
                              [&] { return std::make_unique<frmSRVRing>(ctx); },
                              [&] { return std::make_unique<frmOperatorRecord>(ctx); },
                              [&] { return std::make_unique<frmOperatorRight>(ctx); },
                              [&] { return std::make_unique<frmPHNGroup>(ctx); },
                              [&] { return std::make_unique<frmPHNQuery>(ctx); },
                              [&] { return std::make_unique<frmPHNStat>(ctx); },
                              [&] { return std::make_unique<frmSettleLedger>(ctx); },
                              [&] { return std::make_unique<frmSWTComparison>(ctx); },
                              [&] { return std::make_unique<frmSWTParameter>(ctx); },
                              [&] { return std::make_unique<frmChangeCode>(ctx, op); },
                              [&] { return std::make_unique<frmOperatorNew>(ctx, admin); },
                              [&] { return std::make_unique<frmPort>(ctx, link); },
                              [&] {
                                  return std::make_unique<frmPHNBill>(
                                      ctx, store, std::make_shared<const BillList>(BillList::from(store.bills())));
                              },
                              [&] { return std::make_unique<frmDeposit>(ctx, store); },
                              [&] { return std::make_unique<frmSRVBackup>(ctx, BackupLauncher{}); },
                              [&] { return std::make_unique<tallowin::frmMain>(ctx); },
                              [&] { return std::make_unique<frmAbout>(ctx.home.resource("company.gif")); },
                              [&] { return std::make_unique<frmHelp>(ctx.home.helpIndex()); },
                              [&] {
                                  auto pop = std::make_unique<frmPhoneInf>(clock);
                                  pop->showAt(QStringLiteral("来电人：王建国\n单位：东方大酒店客房部\n电话号码："
                                                             "13812345678\n已拦截（黑名单）\n"),
                                              QPoint(40, 40));
                                  return std::unique_ptr<QWidget>(std::move(pop));
                              },
                              [&] { return std::make_unique<tallowin::frmRestoreLogin>(); }};
    for (const Make &make : windows) {
        auto w = make();
        // At the size it opens with (its own size or the size it needs), on
        // the screen.
        if (w->testAttribute(Qt::WA_Resized))
            w->resize(w->size().boundedTo(QSize(1366, 740)));
        w->show();
        QApplication::processEvents();
        // "frmMain", "tallowin-frmMain"
        const QString name = QString::fromLatin1(w->metaObject()->className())
                                 .remove(QStringLiteral("corvane::"))
                                 .replace(QStringLiteral("::"), QStringLiteral("-"));
        QList<QPair<QTabWidget *, int>> pages;
        for (QTabWidget *tabs : w->findChildren<QTabWidget *>())
            for (int i = 0; i < tabs->count(); ++i)
                pages.append({tabs, i});
        if (pages.isEmpty())
            pages.append({nullptr, 0});
        for (const auto &[tabs, i] : pages) {
            QString shot = name;
            if (tabs) {
                tabs->setCurrentIndex(i);
                QApplication::processEvents();
                shot += QStringLiteral("-%1-%2").arg(tabs->objectName()).arg(i);
            }
            const QStringList cut = cutTexts(w.get());
            EXPECT_TRUE(cut.isEmpty()) << shot.toStdString() << ": " << cut.join("; ").toStdString();
            const QStringList keys = mnemonicFaults(w.get());
            EXPECT_TRUE(keys.isEmpty()) << shot.toStdString() << ": " << keys.join("; ").toStdString();
            w->grab().save(test::artifactDir() + "/" + shot + ".png");
        }
    }
}

// Every grid of every window from the keyboard alone. Tab leaves each grid
// for the next control. On the first record of an editing grid, Enter or F2
// opens each editable cell in its box or its list, Escape closes it with the
// cell as it was and the focus back on the grid, and Enter stores the value
// again (a list's same choice stores nothing) without a refusal. On a
// register's grid Enter starts "修改" and Escape drops it.
TEST_F(WindowRulesTest, EveryGridIsWorkedFromTheKeyboardAlone)
{
    ClientRow client;
    client.set(ClientField::Id, "1");
    client.set(ClientField::Name, "王建国");
    client.set(PhoneField(0), "13812345678");
    ASSERT_TRUE(ClientTable(ctx.db).insert(client));
    BlackListRow blocked;
    blocked.set(BlackListField::Number, "95013");
    ASSERT_TRUE(BlackListTable(ctx.db).insert(blocked));

    using Make = std::function<std::unique_ptr<QWidget>()>;
    PrintStore store;
    const QList<Make> windows{[&] { return std::make_unique<frmPHNGroup>(ctx); },
                              [&] { return std::make_unique<frmPHNFee>(ctx); },
                              [&] { return std::make_unique<frmPHNDiscount>(ctx); },
                              [&] { return std::make_unique<frmSWTParameter>(ctx); },
                              [&] { return std::make_unique<frmPHNClient>(ctx); },
                              [&] { return std::make_unique<frmOperatorRecord>(ctx); },
                              [&] { return std::make_unique<frmSWTComparison>(ctx); },
                              [&] { return std::make_unique<frmSettleLedger>(ctx); },
                              [&] {
                                  return std::make_unique<frmPHNBill>(
                                      ctx, store, std::make_shared<const BillList>(BillList::from(store.bills())));
                              }};
    int cellsOpened = 0;
    QStringList gridsOpened;
    int registersEdited = 0;
    for (const Make &make : windows) {
        auto w = make();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        QList<QPair<QTabWidget *, int>> pages;
        for (QTabWidget *tabs : w->findChildren<QTabWidget *>())
            for (int i = 0; i < tabs->count(); ++i)
                pages.append({tabs, i});
        if (pages.isEmpty())
            pages.append({nullptr, 0});
        for (const auto &[tabs, page] : pages) {
            if (tabs)
                test::showTab(tabs, page);
            for (FlexGrid *g : w->findChildren<FlexGrid *>()) {
                if (!g->isVisible())
                    continue;
                const std::string where = (w->objectName() + "/" + g->objectName()).toStdString();
                g->setFocus(Qt::TabFocusReason);
                ASSERT_TRUE(g->hasFocus()) << where;
                QTest::keyClick(g, Qt::Key_Tab);
                EXPECT_FALSE(g->hasFocus()) << where << ": Tab stays in the grid";
                EXPECT_TRUE(w->isVisible()) << where;
                const int r = g->fixedRows();
                if (g->rows() <= r)
                    continue;

                if (auto *binding = w->findChild<RegisterBinding *>();
                    binding && binding->editor().rows().size() > 0 && g->findChild<GridCellEditor *>() == nullptr) {
                    auto *amend = qobject_cast<QPushButton *>(w->findChild<QPushButton *>(
                        g->objectName() == QLatin1String("hfgClient") ? QStringLiteral("cmdAmendClient")
                                                                      : QStringLiteral("cmdAmendBlacklist")));
                    ASSERT_NE(amend, nullptr) << where;
                    g->setRow(r);
                    g->setFocus(Qt::TabFocusReason);
                    QTest::keyClick(g, Qt::Key_Return);
                    EXPECT_EQ(amend->text(), RegisterBinding::saveCaption()) << where;
                    auto *box = qobject_cast<QLineEdit *>(QApplication::focusWidget());
                    ASSERT_NE(box, nullptr) << where << ": no box has the focus";
                    const QString kept = box->text();
                    QTest::keyClicks(box, "9");
                    QTest::keyClick(box, Qt::Key_Escape);
                    EXPECT_TRUE(w->isVisible()) << where << ": Escape closed the window";
                    EXPECT_EQ(amend->text(), RegisterBinding::amendCaption()) << where;
                    EXPECT_TRUE(g->hasFocus()) << where;
                    EXPECT_EQ(box->text(), kept) << where;
                    QTest::keyClick(g, Qt::Key_F2);
                    ASSERT_NE(qobject_cast<QLineEdit *>(QApplication::focusWidget()), nullptr) << where;
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                    EXPECT_EQ(amend->text(), RegisterBinding::amendCaption()) << where;
                    EXPECT_EQ(messages.shown().size(), 0) << where << ": " << messages.texts().join("|").toStdString();
                    ++registersEdited;
                    continue;
                }
                auto *editor = g->findChild<GridCellEditor *>();
                if (!editor)
                    continue;
                bool shown = false; // the empty row under the captions holds no record
                for (int c = g->fixedCols(); c < g->cols() && !shown; ++c)
                    shown = !g->textMatrix(r, c).trimmed().isEmpty();
                if (!shown)
                    continue;
                int opened = 0;
                for (int c = g->fixedCols(); c < g->cols(); ++c) {
                    if (g->isColumnHidden(c) || g->colWidth(c) == 0)
                        continue;
                    const std::string cell = where + " column " + g->textMatrix(0, c).toStdString();
                    g->setRow(r);
                    g->setCol(c);
                    g->setFocus(Qt::TabFocusReason);
                    const QString before = g->textMatrix(r, c);
                    messages.clear();
                    QTest::keyClick(g, Qt::Key_F2);
                    if (!editor->isOpen())
                        continue;
                    ++opened;
                    QWidget *in = editor->box()->isVisible() ? static_cast<QWidget *>(editor->box())
                                                             : static_cast<QWidget *>(editor->choiceList());
                    EXPECT_TRUE(in->hasFocus()) << cell;
                    QTest::keyClick(in, Qt::Key_Escape);
                    EXPECT_FALSE(editor->isOpen()) << cell;
                    EXPECT_TRUE(w->isVisible()) << cell << ": Escape closed the window";
                    EXPECT_TRUE(g->hasFocus()) << cell;
                    EXPECT_EQ(g->textMatrix(r, c), before) << cell;
                    QTest::keyClick(g, Qt::Key_Return);
                    ASSERT_TRUE(editor->isOpen()) << cell;
                    QTest::keyClick(in, Qt::Key_Return);
                    if (!messages.shown().isEmpty() && editor->isOpen()) {
                        // A value the cell refuses is said and kept in the box for mending.
                        EXPECT_TRUE(in->hasFocus()) << cell;
                        QTest::keyClick(in, Qt::Key_Escape);
                    }
                    EXPECT_FALSE(editor->isOpen()) << cell << ": " << messages.texts().join("|").toStdString();
                    EXPECT_FALSE(messages.texts().join("").contains("错误"))
                        << cell << ": " << messages.texts().join("|").toStdString();
                    EXPECT_TRUE(g->hasFocus()) << cell;
                }
                if (opened > 0)
                    gridsOpened << QString::fromStdString(where);
                cellsOpened += opened;
            }
        }
    }
    EXPECT_EQ(registersEdited, 2);
    EXPECT_GT(cellsOpened, 40);
    // The grids of each kind of cell were reached (this home has no deposits,
    // accounts or outside numbers to show).
    for (const char *grid : {"frmPHNGroup/hfgUser", "frmPHNFee/hfgWorkday", "frmPHNDiscount/hfgIP",
                             "frmPHNDiscount/hfgHoliday", "frmSWTParameter/hfgExchange"})
        EXPECT_TRUE(gridsOpened.contains(QLatin1String(grid))) << grid << " in " << gridsOpened.join(" ").toStdString();
}

// A label whose text changes is heard with that text: its accessible name
// follows it, the fixed part is its description.
TEST_F(WindowRulesTest, ChangingLabelsAreHeardWithTheirText)
{
    auto heard = [](QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
    {
        frmMain w(ctx);
        EXPECT_EQ(heard(w.lbl[2]), "中继3");
        w.setTrunkText(2, "外线");
        EXPECT_EQ(heard(w.lbl[2]), "中继3：外线");
        w.setTrunkUnknown(2, true);
        EXPECT_EQ(heard(w.lbl[2]), "中继3：状态未知");
    }
    {
        frmSWTComparison w(ctx);
        EXPECT_FALSE(w.lblTip->text().isEmpty());
        EXPECT_EQ(heard(w.lblTip), w.lblTip->text());
    }
}

} // namespace
