#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "Recordset.h"
#include "TestHome.h"
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
        w = std::make_unique<frmPHNClient>(ctx);
    }

    QList<QStringList> rows(const QString &table, const QString &order = QString())
    {
        QList<QStringList> out;
        Recordset rs(ctx.db, table, Criteria(), order);
        for (rs.moveFirst(); !rs.eof(); rs.moveNext())
            out << rs.currentRow();
        return out;
    }

    // Starts a new client, fills the given boxes and saves.
    void addClient(const QMap<int, QString> &boxes)
    {
        w->cmdAddClient->click();
        for (auto it = boxes.begin(); it != boxes.end(); ++it)
            w->txtClient[it.key()]->setText(it.value());
        w->cmdAmendClient->click();
    }

    void addBlacklist(const QString &number, const QString &remark = QString())
    {
        w->cmdAddBlacklist->click();
        w->txtBlacklist[0]->setText(number);
        w->txtBlacklist[1]->setText(remark);
        w->cmdAmendBlacklist->click();
    }

    void selectClientRow(int row)
    {
        w->hfgClient->setRow(row);
        w->hfgClient_Click();
    }

    void expectLast(const QString &text, const QString &title, Icon icon)
    {
        ASSERT_NE(messages.last(), nullptr) << "no message, expected " << text.toStdString();
        EXPECT_EQ(messages.last()->text, text);
        EXPECT_EQ(messages.last()->title, title);
        EXPECT_EQ(messages.last()->icon, icon);
    }

    bool clientBoxesEnabled()
    {
        for (QLineEdit *b : w->txtClient)
            if (!b->isEnabled())
                return false;
        return true;
    }
    bool clientBoxesDisabledAndEmpty()
    {
        for (QLineEdit *b : w->txtClient)
            if (b->isEnabled() || !b->text().isEmpty())
                return false;
        return true;
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
    EXPECT_EQ(w->sstClient->tabText(0), "客户信息");
    EXPECT_EQ(w->sstClient->tabText(1), "黑名单");
    EXPECT_EQ(w->hfgClient->cols(), 20);
    EXPECT_EQ(w->hfgClient->textMatrix(0, 0), "编号");
    EXPECT_EQ(w->hfgClient->textMatrix(0, 19), "电话10");
    EXPECT_EQ(w->hfgClient->rows(), 2);   // header and one empty row
    EXPECT_EQ(w->hfgClient->colWidth(0), 1000);
    EXPECT_EQ(w->hfgClient->colWidth(1), 2300);
    EXPECT_EQ(w->hfgClient->colWidth(19), 1000);
    EXPECT_EQ(w->hfgBlacklist->colWidth(0), 2000);
    EXPECT_EQ(w->hfgBlacklist->colWidth(1), 7500);
    EXPECT_EQ(w->hfgBlacklist->textMatrix(0, 0), "电话号码");
    EXPECT_TRUE(clientBoxesDisabledAndEmpty());
    EXPECT_FALSE(w->txtBlacklist[0]->isEnabled());
    EXPECT_EQ(w->cmdAmendClient->text(), "修改");
    EXPECT_TRUE(w->cmdAddClient->isEnabled() && w->cmdDeleteClient->isEnabled());

    w->cmdAddClient->click();
    EXPECT_TRUE(w->clientEditing() && w->clientInsert());
    // For a person to look at.
    w->txtClient[0]->setText("0001");
    w->txtClient[1]->setText("李四");
    w->txtClient[10]->setText("13800138000");
    w->show();
    EXPECT_TRUE(w->grab().save(test::artifactDir() + "/clients_window.png"));
    EXPECT_TRUE(clientBoxesEnabled());
    EXPECT_EQ(w->cmdAmendClient->text(), "保存");
    EXPECT_FALSE(w->cmdAddClient->isEnabled() || w->cmdDeleteClient->isEnabled());
}

TEST_F(ClientTest, NewClientIsStoredAsTypedAndItsNumberMayNotRepeat)
{
    const QString longText(3000, QChar(u'长'));
    addClient({{0, "12"},
               {1, "O'Brien \"Ltd\"; DROP TABLE Client;--"},
               {2, "蓝海贸易有限公司"},
               {8, longText},
               {10, " 13800138000 "},
               {19, "0755"}});
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString();
    auto stored = rows("Client");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].value(0), "12");
    EXPECT_EQ(stored[0].value(1), "O'Brien \"Ltd\"; DROP TABLE Client;--");
    EXPECT_EQ(stored[0].value(2), "蓝海贸易有限公司");
    EXPECT_EQ(stored[0].value(8), longText);
    EXPECT_EQ(stored[0].value(10), "13800138000");   // numbers are stored trimmed
    EXPECT_EQ(stored[0].value(19), "0755");
    EXPECT_EQ(w->hfgClient->textMatrix(1, 1), stored[0].value(1));
    EXPECT_TRUE(clientBoxesDisabledAndEmpty());
    EXPECT_FALSE(w->clientEditing());
    EXPECT_EQ(w->cmdAmendClient->text(), "修改");
    EXPECT_TRUE(w->cmdAddClient->isEnabled() && w->cmdDeleteClient->isEnabled());

    addClient({{0, "12"}, {1, "重复"}});
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    EXPECT_TRUE(w->clientEditing());
    EXPECT_EQ(w->cmdAmendClient->text(), "保存");
    EXPECT_EQ(w->txtClient[1]->text(), "重复");   // the refused edit stays on screen
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, EditedClientKeepsItsOwnNumberButCannotTakeAnother)
{
    addClient({{0, "0007"}, {1, "甲"}});
    addClient({{0, "0009"}, {1, "乙"}});
    ASSERT_EQ(w->hfgClient->textMatrix(2, 0), "0009");

    // A real click on the grid selects the row.
    w->show();
    QTest::mouseClick(w->hfgClient->viewport(), Qt::LeftButton, {}, w->hfgClient->cellRect(2, 1).center());
    EXPECT_EQ(w->txtClient[0]->text(), "0009");
    EXPECT_EQ(w->txtClient[1]->text(), "乙");

    w->cmdAmendClient->click();
    EXPECT_TRUE(w->clientEditing());
    EXPECT_FALSE(w->clientInsert());
    EXPECT_EQ(w->txtClient[1]->text(), "乙");
    w->txtClient[1]->setText("乙改");
    w->cmdAmendClient->click();
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString();
    EXPECT_EQ(rows("Client", "rowid"),
              (QList<QStringList>{QStringList{"0007", "甲"} + QStringList(18, ""),
                                  QStringList{"0009", "乙改"} + QStringList(18, "")}));

    selectClientRow(2);
    w->cmdAmendClient->click();
    w->txtClient[0]->setText("0007");
    w->cmdAmendClient->click();
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    EXPECT_EQ(rows("Client").size(), 2);
    EXPECT_EQ(rows("Client", "rowid")[1].value(0), "0009");
}

TEST_F(ClientTest, ClientNumberMustBeOneToFourDigits)
{
    const QString rule = "客户编号必须是数字，长度不能超过4位！";
    for (const QString &bad : {QString("12345"), QString(""), QString("  "), QString("12a"), QString("一二"),
                               QString("-1"), QString("1.5"), QString("'1'")}) {
        messages.clear();
        addClient({{0, bad}, {1, "x"}});
        expectLast(rule, "请重新输入", Icon::Information);
        w->cmdAddClient->setEnabled(true);   // leave the refused edit for the next attempt
    }
    EXPECT_TRUE(rows("Client").isEmpty());

    // Numbers sort as text: 0001 comes before 12.
    w = std::make_unique<frmPHNClient>(ctx);
    addClient({{0, "12"}});
    addClient({{0, "0001"}});
    EXPECT_EQ(w->hfgClient->textMatrix(1, 0), "0001");
    EXPECT_EQ(w->hfgClient->textMatrix(2, 0), "12");
}

TEST_F(ClientTest, NumberBoxesAreCheckedWhenLeftAndBeforeSaving)
{
    w->cmdAddClient->click();
    w->txtClient[0]->setText("ab");
    EXPECT_FALSE(w->txtClient_Validate(0));
    expectLast("请输入数字作为客户编号！", "输入错误", Icon::Critical);
    w->txtClient[4]->setText("传真");
    EXPECT_FALSE(w->txtClient_Validate(4));
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    w->txtClient[0]->setText("");
    EXPECT_FALSE(w->txtClient_Validate(0));   // the client number is required
    messages.clear();
    w->txtClient[4]->setText("");
    EXPECT_TRUE(w->txtClient_Validate(4));    // fax and phones may stay empty
    EXPECT_TRUE(messages.shown().isEmpty());
    w->txtClient[15]->setText("139 0000");
    EXPECT_FALSE(w->txtClient_Validate(15));
    w->txtClient[15]->setText("13900001111");
    EXPECT_TRUE(w->txtClient_Validate(15));
    w->txtClient[5]->setText("任何文字 'x'");
    messages.clear();
    EXPECT_TRUE(w->txtClient_Validate(5));
    EXPECT_TRUE(messages.shown().isEmpty());

    // Leaving a phone box by Tab with letters in it: the message, and the focus comes back.
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->txtClient[0]->setText("5");
    w->txtClient[12]->setFocus();
    ASSERT_TRUE(w->txtClient[12]->hasFocus());
    QTest::keyClicks(w->txtClient[12], "abc");
    messages.clear();
    QTest::keyClick(w->txtClient[12], Qt::Key_Tab);
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    QTRY_VERIFY_WITH_TIMEOUT(w->txtClient[12]->hasFocus(), 2000);

    // Saving with the mouse leaves the focus there: the same check refuses it.
    messages.clear();
    w->cmdAmendClient->click();
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    EXPECT_TRUE(rows("Client").isEmpty());

    // A phone box filled without being left is still checked on saving.
    w->txtClient[12]->setText("8888");
    w->txtClient[17]->setText("电话");
    messages.clear();
    w->cmdAmendClient->click();
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    EXPECT_TRUE(rows("Client").isEmpty());

    w->txtClient[17]->setText("");
    messages.clear();
    w->cmdAmendClient->click();
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString();
    ASSERT_EQ(rows("Client").size(), 1);
    EXPECT_EQ(rows("Client")[0].value(12), "8888");
}

TEST_F(ClientTest, ModifyAndDeleteNeedASelectedRow)
{
    w->cmdAmendClient->click();
    expectLast("请在数据网格中选择好您要修改的项！", "请选择", Icon::Information);
    EXPECT_FALSE(w->clientEditing());
    w->cmdDeleteClient->click();
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);

    addClient({{0, "1"}, {1, "甲"}});
    addClient({{0, "2"}, {1, "乙"}});
    selectClientRow(0);   // the header row selects nothing
    EXPECT_EQ(w->txtClient[0]->text(), "");
    selectClientRow(1);
    EXPECT_EQ(w->txtClient[1]->text(), "甲");
    messages.clear();
    w->cmdDeleteClient->click();
    EXPECT_TRUE(messages.shown().isEmpty());
    EXPECT_EQ(rows("Client").size(), 1);
    EXPECT_EQ(rows("Client")[0].value(0), "2");
    EXPECT_TRUE(clientBoxesDisabledAndEmpty());
    EXPECT_EQ(w->hfgClient->textMatrix(1, 0), "2");
    EXPECT_EQ(w->hfgClient->rows(), 2);

    // Deleting again with nothing selected deletes nothing.
    w->cmdDeleteClient->click();
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);
    EXPECT_EQ(rows("Client").size(), 1);
}

TEST_F(ClientTest, BlacklistNumbersAreUpToFifteenDigitsAndUnique)
{
    w->sstClient->setCurrentIndex(1);
    addBlacklist("1234567890123456");
    expectLast("电话号码长度不能超过15位，也不能为空！", "请重新输入", Icon::Information);
    EXPECT_TRUE(w->blacklistEditing());
    w->txtBlacklist[0]->setText("");
    w->cmdAmendBlacklist->click();
    expectLast("电话号码长度不能超过15位，也不能为空！", "请重新输入", Icon::Information);
    w->txtBlacklist[0]->setText("推销电话");
    w->cmdAmendBlacklist->click();
    expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    EXPECT_TRUE(rows("BlackLst").isEmpty());

    w->txtBlacklist[0]->setText(" 123456789012345 ");
    w->txtBlacklist[1]->setText("他说\"别再打\" it's");
    messages.clear();
    w->cmdAmendBlacklist->click();
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString();
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"123456789012345", "他说\"别再打\" it's"}}));
    EXPECT_FALSE(w->blacklistEditing());
    EXPECT_EQ(w->cmdAmendBlacklist->text(), "修改");
    EXPECT_FALSE(w->txtBlacklist[0]->isEnabled());
    EXPECT_EQ(w->txtBlacklist[0]->text(), "");
    EXPECT_EQ(w->hfgBlacklist->textMatrix(1, 0), "123456789012345");

    addBlacklist("123456789012345", "again");
    expectLast("输入的编号已经存在！", "请重新输入", Icon::Information);
    EXPECT_EQ(rows("BlackLst").size(), 1);

    for (const QString &bad : {QString(""), QString("55S1234"), QString("５５５")}) {
        w->txtBlacklist[0]->setText(bad);
        messages.clear();
        EXPECT_FALSE(w->txtBlacklist_Validate(0)) << bad.toStdString();
        expectLast("请输入数字作为电话号码！", "输入错误", Icon::Critical);
    }
    w->txtBlacklist[0]->setText("5551234");
    EXPECT_TRUE(w->txtBlacklist_Validate(0));
    w->txtBlacklist[1]->setText("");
    EXPECT_TRUE(w->txtBlacklist_Validate(1));   // the remark is free
}

TEST_F(ClientTest, BlacklistRowIsEditedAndDeletedThroughTheGrid)
{
    w->cmdAmendBlacklist->click();
    expectLast("请在数据网格中选择好您要修改的项！", "请选择", Icon::Information);
    addBlacklist("5551234", "a");
    addBlacklist("5559999", "b");

    w->hfgBlacklist->setRow(2);
    w->hfgBlacklist_Click();
    EXPECT_EQ(w->txtBlacklist[0]->text(), "5559999");
    w->cmdAmendBlacklist->click();
    EXPECT_FALSE(w->blacklistInsert());
    w->txtBlacklist[1]->setText("b2");
    messages.clear();
    w->cmdAmendBlacklist->click();   // its own number is accepted
    EXPECT_TRUE(messages.shown().isEmpty()) << messages.texts().join("|").toStdString();
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"5551234", "a"}, {"5559999", "b2"}}));

    w->hfgBlacklist->setRow(1);
    w->hfgBlacklist_Click();
    w->cmdDeleteBlacklist->click();
    EXPECT_EQ(rows("BlackLst"), (QList<QStringList>{{"5559999", "b2"}}));
    EXPECT_EQ(w->txtBlacklist[0]->text(), "");
    w->cmdDeleteBlacklist->click();
    expectLast("请在数据网格中选择好您要删除的项！", MessageService::defaultTitle(), Icon::None);
}
