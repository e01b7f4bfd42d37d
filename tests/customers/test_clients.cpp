// The clients and blacklist window, driven as an operator would: clicks on
// the grid and the buttons, typing into the boxes, Tab to leave a box. The
// boxes the window shows are read back, and the tables it writes.
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "TestHome.h"
#include "TestWait.h"
#include "WindowDriver.h"
#include "frmPHNClient.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using Icon = MessageService::Icon;

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb")));
        open();
    }

    void open()
    {
        w = std::make_unique<frmPHNClient>(ctx);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    template <typename T>
    T *child(const QString &name)
    {
        return test::child<T>(w.get(), name);
    }
    QLineEdit *clientBox(int i) { return child<QLineEdit>(QStringLiteral("txtClient_%1").arg(i)); }
    QLineEdit *blackBox(int i) { return child<QLineEdit>(QStringLiteral("txtBlacklist_%1").arg(i)); }
    QPushButton *button(const char *name) { return child<QPushButton>(QString::fromLatin1(name)); }
    FlexGrid *grid(const char *name) { return child<FlexGrid>(QString::fromLatin1(name)); }

    // "添加", the given boxes typed, "保存".
    void addClient(const QMap<int, QString> &boxes)
    {
        test::press(button("cmdAddClient"));
        for (auto it = boxes.begin(); it != boxes.end(); ++it)
            test::fill(clientBox(it.key()), it.value());
        test::press(button("cmdAmendClient"));
    }
    void addBlacklist(const QString &number, const QString &remark = QString())
    {
        test::press(button("cmdAddBlacklist"));
        test::fill(blackBox(0), number);
        test::fill(blackBox(1), remark);
        test::press(button("cmdAmendBlacklist"));
    }

    QList<QStringList> rows(const QString &table)
    {
        return ctx.db.select(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table))
            .value_or(QList<QStringList>());
    }

    void expectLast(const QString &text, const QString &title, Icon icon)
    {
        ASSERT_NE(messages.last(), nullptr) << "no message, expected " << text.toStdString();
        EXPECT_EQ(messages.last()->text, text);
        EXPECT_EQ(messages.last()->title, title);
        EXPECT_EQ(messages.last()->icon, icon);
    }
    void expectNoMessage() { EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString(); }

    // Browsing: boxes read-only and empty, "添加"/"删除" usable, "修改".
    void expectClientsBrowsing()
    {
        for (int i = 0; i < frmPHNClient::ClientColumns; ++i) {
            EXPECT_FALSE(clientBox(i)->isEnabled()) << i;
            EXPECT_EQ(clientBox(i)->text(), QString()) << i;
        }
        EXPECT_EQ(button("cmdAmendClient")->text(), "修改(&M)");
        EXPECT_TRUE(button("cmdAddClient")->isEnabled());
        EXPECT_TRUE(button("cmdDeleteClient")->isEnabled());
    }
    void expectClientsEditing()
    {
        for (int i = 0; i < frmPHNClient::ClientColumns; ++i)
            EXPECT_TRUE(clientBox(i)->isEnabled()) << i;
        EXPECT_EQ(button("cmdAmendClient")->text(), "保存(&S)");
        EXPECT_FALSE(button("cmdAddClient")->isEnabled());
        EXPECT_FALSE(button("cmdDeleteClient")->isEnabled());
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
    std::unique_ptr<frmPHNClient> w;
};

} // namespace

TEST_F(ClientTest, OpensBrowsingWithBothRegistersInTheirGrids)
{
    EXPECT_EQ(w->windowTitle(), "客户/黑名单信息");
    auto *tabs = child<QTabWidget>("sstClient");
    EXPECT_EQ(tabs->tabText(0), "客户信息");
    EXPECT_EQ(tabs->tabText(1), "黑名单");
    FlexGrid *clients = grid("hfgClient");
    EXPECT_EQ(clients->cols(), 20);
    EXPECT_EQ(clients->textMatrix(0, 0), "编号");
    EXPECT_EQ(clients->textMatrix(0, 19), "电话10");
    EXPECT_EQ(clients->rows(), 2); // header and one empty row
    EXPECT_EQ(grid("hfgBlacklist")->textMatrix(0, 0), "电话号码");
    expectClientsBrowsing();
    EXPECT_FALSE(blackBox(0)->isEnabled());

    test::press(button("cmdAddClient"));
    expectClientsEditing();
    EXPECT_TRUE(clientBox(0)->hasFocus());
    test::fill(clientBox(0), "0001");
    test::fill(clientBox(1), "李四");
    test::fill(clientBox(10), "13800138000");
    // For a person to look at.
    EXPECT_TRUE(w->grab().save(test::artifactDir() + "/clients_window.png"));
}

TEST_F(ClientTest, NewClientIsStoredAsTypedAndItsNumberMayNotRepeat)
{
    const QString longText(300, QChar(u'长'));
    addClient({{0, "12"},
               {1, "O'Brien \"Ltd\"; DROP TABLE Client;--"},
               {2, "蓝海贸易有限公司"},
               {8, longText},
               {10, " 13800138000 "},
               {19, "0755"}});
    expectNoMessage();
    auto stored = rows("Client");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].value(0), "12");
    EXPECT_EQ(stored[0].value(1), "O'Brien \"Ltd\"; DROP TABLE Client;--");
    EXPECT_EQ(stored[0].value(2), "蓝海贸易有限公司");
    EXPECT_EQ(stored[0].value(8), longText);
    EXPECT_EQ(stored[0].value(10), "13800138000"); // numbers are stored trimmed
    EXPECT_EQ(stored[0].value(19), "0755");
    EXPECT_EQ(grid("hfgClient")->textMatrix(1, 1), stored[0].value(1));
    expectClientsBrowsing();

    addClient({{0, "12"}, {1, "重复"}});
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    expectClientsEditing();
    EXPECT_EQ(clientBox(1)->text(), "重复"); // the refused edit stays on screen
    EXPECT_TRUE(clientBox(0)->hasFocus());
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, EditedClientKeepsItsOwnNumberButCannotTakeAnother)
{
    addClient({{0, "0007"}, {1, "甲"}});
    addClient({{0, "0009"}, {1, "乙"}});
    FlexGrid *g = grid("hfgClient");
    ASSERT_EQ(g->textMatrix(2, 0), "0009");

    test::clickCell(g, 2, 0);
    EXPECT_EQ(clientBox(0)->text(), "0009");
    EXPECT_EQ(clientBox(1)->text(), "乙");
    test::press(button("cmdAmendClient"));
    expectClientsEditing();
    EXPECT_EQ(clientBox(0)->selectedText(), "0009");
    EXPECT_EQ(clientBox(1)->text(), "乙");
    test::fill(clientBox(1), "乙改");
    test::press(button("cmdAmendClient"));
    expectNoMessage();
    EXPECT_EQ(rows("Client"), (QList<QStringList>{QStringList{"0007", "甲"} + QStringList(18, ""),
                                                  QStringList{"0009", "乙改"} + QStringList(18, "")}));

    test::clickCell(g, 2, 0);
    test::press(button("cmdAmendClient"));
    test::fill(clientBox(0), "0007");
    test::press(button("cmdAmendClient"));
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    EXPECT_EQ(rows("Client").size(), 2);
    EXPECT_EQ(rows("Client")[1].value(0), "0009");
}

TEST_F(ClientTest, ClientNumberMustBeOneToFourDigits)
{
    test::press(button("cmdAddClient"));
    test::fill(clientBox(1), "x");
    struct Case {
        QString typed;
        QString message;
        QString title;
        Icon icon;
    };
    const QString rule = "客户编号必须是数字，长度不能超过4位！";
    // A text that is no number at all is caught as the box is checked;
    // a number that breaks the rule by the save.
    const Case cases[] = {
        {"12345", rule, "请重新输入", Icon::Information},
        {"-1", rule, "请重新输入", Icon::Information},
        {"1.5", rule, "请重新输入", Icon::Information},
        {"  ", "请输入数字作为客户编号！", "输入错误", Icon::Critical},
        {"12a", "请输入数字作为客户编号！", "输入错误", Icon::Critical},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        messages.clear();
        test::fill(clientBox(0), c.typed);
        test::press(button("cmdAmendClient"));
        expectLast(c.message, c.title, c.icon);
        EXPECT_TRUE(clientBox(0)->hasFocus());
        if (c.message == rule) {
            EXPECT_EQ(clientBox(0)->selectedText(), c.typed) << "the number is selected for typing over";
        }
        expectClientsEditing();
    }
    EXPECT_TRUE(rows("Client").isEmpty());
    test::fill(clientBox(0), "1");
    test::press(button("cmdAmendClient"));
    expectClientsBrowsing();
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, NumberBoxesAreCheckedWhenLeftAndTheFocusComesBack)
{
    test::press(button("cmdAddClient"));
    test::fill(clientBox(0), "ab");
    messages.clear();
    QTest::keyClick(clientBox(0), Qt::Key_Tab);
    expectLast("请输入数字作为客户编号！", "输入错误", Icon::Critical);
    ASSERT_TRUE(test::waitFor([&] { return clientBox(0)->hasFocus(); })) << "the focus goes back to the number";

    test::fill(clientBox(0), "5");
    test::fill(clientBox(12), "abc");
    messages.clear();
    QTest::keyClick(clientBox(12), Qt::Key_Tab);
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    ASSERT_TRUE(test::waitFor([&] { return clientBox(12)->hasFocus(); })) << "the focus goes back to the phone";

    // Saving with the mouse leaves the focus there: the same check refuses it.
    messages.clear();
    test::press(button("cmdAmendClient"));
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    EXPECT_TRUE(rows("Client").isEmpty());

    // Free text, and an empty phone, may be left.
    test::fill(clientBox(12), "");
    messages.clear();
    QTest::keyClick(clientBox(12), Qt::Key_Tab);
    test::fill(clientBox(5), "任何文字 'x'");
    QTest::keyClick(clientBox(5), Qt::Key_Tab);
    expectNoMessage();
    test::fill(clientBox(12), "8888");
    test::press(button("cmdAmendClient"));
    expectNoMessage();
    ASSERT_EQ(rows("Client").size(), 1);
    EXPECT_EQ(rows("Client")[0].value(12), "8888");
    EXPECT_EQ(rows("Client")[0].value(5), "任何文字 'x'");
}

TEST_F(ClientTest, ModifyAndDeleteNeedASelectedRow)
{
    test::press(button("cmdAmendClient"));
    expectLast("请在数据网格中选择好您要修改的项！", "请选择", Icon::Information);
    expectClientsBrowsing();
    test::press(button("cmdDeleteClient"));
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);

    addClient({{0, "1"}, {1, "甲"}});
    addClient({{0, "2"}, {1, "乙"}});
    FlexGrid *g = grid("hfgClient");
    QTest::mouseClick(g->findChild<QWidget *>("captionRows"), Qt::LeftButton); // the header selects nothing
    EXPECT_EQ(clientBox(0)->text(), "");
    test::clickCell(g, 1, 0);
    EXPECT_EQ(clientBox(1)->text(), "甲");
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(button("cmdDeleteClient"));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "是否删除“1”？");
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(rows("Client").size(), 1);
    EXPECT_EQ(rows("Client")[0].value(0), "2");
    expectClientsBrowsing();
    EXPECT_EQ(g->textMatrix(1, 0), "2");
    EXPECT_EQ(g->rows(), 2);

    // Deleting again with nothing selected deletes nothing.
    test::press(button("cmdDeleteClient"));
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, AFailedSaveIsReportedOnceAndNothingTypedIsLost)
{
    ASSERT_TRUE(ctx.db.exec(
        QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON Client BEGIN SELECT RAISE(ABORT, 'disk is full'); END")));
    addClient({{0, "1"}, {1, "甲"}});
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->title, "数据库错误");
    EXPECT_EQ(messages.last()->icon, Icon::Critical);
    EXPECT_TRUE(messages.last()->text.startsWith("客户信息未能保存：")) << messages.last()->text.toStdString();
    EXPECT_TRUE(messages.last()->text.contains("disk is full"));
    expectClientsEditing();
    EXPECT_EQ(clientBox(1)->text(), "甲");

    test::press(button("cmdAmendClient"));
    EXPECT_EQ(messages.shown().size(), 1) << "the same failure is not shown twice";
    ASSERT_TRUE(ctx.db.exec(QStringLiteral("DROP TRIGGER full")));
    test::press(button("cmdAmendClient"));
    EXPECT_EQ(messages.shown().size(), 1);
    expectClientsBrowsing();
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, BlacklistNumbersAreUpToFifteenDigitsAndUnique)
{
    child<QTabWidget>("sstClient")->setCurrentIndex(1);
    addBlacklist("1234567890123456");
    expectLast("电话号码长度不能超过15位，也不能为空！", "请重新输入", Icon::Information);
    EXPECT_EQ(button("cmdAmendBlacklist")->text(), "保存(&S)");
    test::fill(blackBox(0), "推销电话");
    test::press(button("cmdAmendBlacklist"));
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    EXPECT_TRUE(rows("BlackLst").isEmpty());
    ASSERT_TRUE(test::waitFor([&] { return blackBox(0)->hasFocus(); }));

    test::fill(blackBox(0), " 123456789012345 ");
    test::fill(blackBox(1), "他说\"别再打\" it's");
    messages.clear();
    test::press(button("cmdAmendBlacklist"));
    expectNoMessage();
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"123456789012345", "他说\"别再打\" it's"}}));
    EXPECT_EQ(button("cmdAmendBlacklist")->text(), "修改(&M)");
    EXPECT_FALSE(blackBox(0)->isEnabled());
    EXPECT_EQ(blackBox(0)->text(), "");
    EXPECT_EQ(grid("hfgBlacklist")->textMatrix(1, 0), "123456789012345");

    addBlacklist("123456789012345", "again");
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    EXPECT_EQ(rows("BlackLst").size(), 1);

    // The remark is free, the number is not.
    messages.clear();
    test::fill(blackBox(0), "55S1234");
    QTest::keyClick(blackBox(0), Qt::Key_Tab);
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    ASSERT_TRUE(test::waitFor([&] { return blackBox(0)->hasFocus(); }));
    test::fill(blackBox(0), "5551234");
    test::fill(blackBox(1), "");
    messages.clear();
    QTest::keyClick(blackBox(1), Qt::Key_Tab);
    expectNoMessage();
}

TEST_F(ClientTest, BlacklistRowIsEditedAndDeletedThroughTheGrid)
{
    child<QTabWidget>("sstClient")->setCurrentIndex(1);
    test::press(button("cmdAmendBlacklist"));
    expectLast("请在数据网格中选择好您要修改的项！", "请选择", Icon::Information);
    addBlacklist("5551234", "a");
    addBlacklist("5559999", "b");

    FlexGrid *g = grid("hfgBlacklist");
    test::clickCell(g, 2, 0);
    EXPECT_EQ(blackBox(0)->text(), "5559999");
    test::press(button("cmdAmendBlacklist"));
    test::fill(blackBox(1), "b2");
    messages.clear();
    test::press(button("cmdAmendBlacklist")); // its own number is accepted
    expectNoMessage();
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"5551234", "a"}, {"5559999", "b2"}}));

    test::clickCell(g, 1, 0);
    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(button("cmdDeleteBlacklist"));
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"5559999", "b2"}}));
    EXPECT_EQ(blackBox(0)->text(), "");
    test::press(button("cmdDeleteBlacklist"));
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);
}

// The filter box over a register leaves the rows holding what is typed,
// also after the register is refilled; the rows stay where they are.
TEST_F(ClientTest, TheFilterShowsTheMatchingRows)
{
    addClient({{0, "1"}, {1, "甲"}, {2, "北京路"}});
    addClient({{0, "2"}, {1, "乙"}, {2, "南京路"}});
    FlexGrid *g = grid("hfgClient");
    auto *filter = child<QLineEdit>("txtFilterClient");
    test::fill(filter, "南京");
    EXPECT_TRUE(g->isRowHidden(1));
    EXPECT_FALSE(g->isRowHidden(2));
    EXPECT_EQ(g->textMatrix(2, 1), "乙");
    addClient({{0, "3"}, {1, "丙"}, {2, "南京西路"}});
    ASSERT_TRUE(test::waitFor([&] { return g->rows() == 4 && g->isRowHidden(1); }));
    EXPECT_FALSE(g->isRowHidden(3));
    test::fill(filter, QString());
    for (int r = 1; r < g->rows(); ++r)
        EXPECT_FALSE(g->isRowHidden(r)) << r;
}

TEST_F(ClientTest, GridColumnsShowTheirCaptionsWholeAndFillTheGrid)
{
    addClient({{0, "1"}, {1, "一个很长很长的名字，比两千三百缇宽得多的名字"}});
    for (const char *name : {"hfgClient", "hfgBlacklist"}) {
        FlexGrid *g = grid(name);
        child<QTabWidget>("sstClient")->setCurrentIndex(QString::fromUtf8(name) == "hfgClient" ? 0 : 1);
        QApplication::processEvents();
        int total = 0;
        for (int c = 0; c < g->cols(); ++c) {
            for (int r = 0; r < g->rows(); ++r)
                EXPECT_LE(g->fontMetrics().horizontalAdvance(g->textMatrix(r, c)), g->columnWidth(c))
                    << name << " cell " << r << "," << c;
            EXPECT_GE(g->columnWidth(c), g->colWidth(c) / FlexGrid::TwipsPerPixel) << "widths are minimums";
            total += g->columnWidth(c);
        }
        EXPECT_GE(total, g->viewport()->width()) << name << ": no empty room right of the columns";
    }
}
