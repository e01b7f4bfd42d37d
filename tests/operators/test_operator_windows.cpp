// The rights management, add operator and usage record windows, driven as
// the administrator would: clicks on the list, the check boxes and the
// buttons, typing into the add window, boxes answered from a script.
#include "ConsoleContext.h"
#include "Data.h"
#include "FlexGrid.h"
#include "OperatorAdmin.h"
#include "Operators.h"
#include "PasswordHash.h"
#include "Recordset.h"
#include "TestHome.h"
#include "WindowDriver.h"
#include "frmOperatorRecord.h"
#include "frmOperatorRight.h"
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class OperatorWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb"), "admin"));
        OperatorLogin login(ctx);
        ASSERT_TRUE(login.logIn("管理员", "admin"));
    }

    void addOperator(const QString &name, const QString &password, const QString &rights)
    {
        Recordset op = Recordset::forAppend(ctx.db, "OP");
        QStringList row{name, password};
        for (QChar c : rights)
            row << QString(c);
        row << "0"
            << "0"
            << "0"
            << "0";
        ASSERT_TRUE(WriteRecord(op, true, row));
    }
    QStringList opRow(const QString &name)
    {
        Recordset op(ctx.db, "OP");
        return op.findFirst(Criteria(op.columnNames().at(0), name)) ? op.currentRow() : QStringList();
    }

    static QString selected(frmOperatorRight &w)
    {
        const auto items = w.lstOPName->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    static QStringList listed(frmOperatorRight &w)
    {
        QStringList out;
        for (int i = 0; i < w.lstOPName->count(); ++i)
            out << w.lstOPName->item(i)->text();
        return out;
    }
    static QString boxes(frmOperatorRight &w)
    {
        QString out;
        for (int i = 0; i < 11; ++i)
            out += w.findChild<QCheckBox *>(QStringLiteral("chkRight_%1").arg(i))->isChecked() ? '1' : '0';
        return out;
    }
    // Clicks the boxes whose state differs from `wanted`.
    static void setBoxes(frmOperatorRight &w, const QString &wanted)
    {
        for (int i = 0; i < 11; ++i)
            test::tick(test::child<QCheckBox>(&w, QStringLiteral("chkRight_%1").arg(i)), wanted.at(i) == '1');
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

TEST_F(OperatorWindowsTest, RightsOfTheSelectedOperatorAreShownAndSaved)
{
    addOperator("值班员", "z", "10000000001");
    frmOperatorRight w(ctx);
    w.show();
    EXPECT_EQ(w.windowTitle(), "权限管理");
    EXPECT_EQ(w.fraRight->title(), "操作员权限：");
    EXPECT_EQ(w.findChild<QCheckBox *>("chkRight_7")->text(), "分机闹钟");
    EXPECT_EQ(w.findChild<QCheckBox *>("chkRight_10")->text(), "删除话单权限");
    EXPECT_EQ(listed(w), QStringList({"管理员", "值班员"}));
    EXPECT_EQ(selected(w), "管理员");
    EXPECT_EQ(boxes(w), "11111111111");

    test::clickItem(w.lstOPName, "值班员");
    EXPECT_EQ(boxes(w), "10000000001");
    setBoxes(w, "00000001010");
    test::press(&w, "cmdSave");
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "操作员“值班员”的权限已保存。");
    messages.clear();
    EXPECT_EQ(opRow("值班员").mid(2, 11).join(""), "00000001010");
    EXPECT_EQ(ctx.login.OPRight.join(""), "11111111111") << "another operator's rights wait for their login";

    // Switching back and forth shows what is stored.
    test::clickItem(w.lstOPName, "管理员");
    EXPECT_EQ(boxes(w), "11111111111");
    test::clickItem(w.lstOPName, "值班员");
    EXPECT_EQ(boxes(w), "00000001010");
    EXPECT_TRUE(messages.shown().isEmpty()) << "nothing unsaved, nothing asked";

    // Ticks not saved are offered for saving before another operator is
    // shown: "取消" stays, "否" drops them, "是" saves them.
    setBoxes(w, "11000001010");
    messages.queueAnswer(MessageService::Answer::Cancel);
    test::clickItem(w.lstOPName, "管理员");
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "操作员“值班员”的权限已修改，尚未保存。\n是否保存？");
    EXPECT_EQ(selected(w), "值班员");
    EXPECT_EQ(boxes(w), "11000001010");
    messages.queueAnswer(MessageService::Answer::No);
    test::clickItem(w.lstOPName, "管理员");
    EXPECT_EQ(selected(w), "管理员");
    EXPECT_EQ(opRow("值班员").mid(2, 11).join(""), "00000001010");
    test::clickItem(w.lstOPName, "值班员");
    setBoxes(w, "01000001010");
    messages.clear();
    messages.queueAnswer(MessageService::Answer::Yes);
    test::clickItem(w.lstOPName, "管理员");
    EXPECT_EQ(messages.texts(),
              QStringList({"操作员“值班员”的权限已修改，尚未保存。\n是否保存？", "操作员“值班员”的权限已保存。"}));
    EXPECT_EQ(opRow("值班员").mid(2, 11).join(""), "01000001010");
    EXPECT_EQ(selected(w), "管理员");
    EXPECT_EQ(boxes(w), "11111111111");

    // The administrator's own rights are in force at once, even all cleared.
    test::clickItem(w.lstOPName, "管理员");
    setBoxes(w, "00000000000");
    test::press(&w, "cmdSave");
    EXPECT_EQ(opRow("管理员").mid(2, 11).join(""), "00000000000");
    EXPECT_EQ(ctx.login.OPRight.join(""), "00000000000");
    for (int right = 0; right <= 9; ++right)
        EXPECT_FALSE(CheckGate(ctx, Right(right))) << right;
}

TEST_F(OperatorWindowsTest, AddWindowChecksInOrderThenAddsOrSelectsTheExistingOne)
{
    addOperator("张三", "z", "00000000000");
    frmOperatorRight w(ctx);
    w.show();

    struct Attempt {
        QString name{}, code{}, confirm{};
        QString message{};           // empty: accepted
        const char *focus = nullptr; // the box that gets the focus after a refusal
    };
    QList<Attempt> attempts;
    QStringList problems;
    ctx.runModal = [&](QDialog &d) {
        auto *dlg = qobject_cast<frmOperatorNew *>(&d);
        EXPECT_NE(dlg, nullptr);
        if (!dlg)
            return 0;
        EXPECT_EQ(dlg->windowTitle(), "添加操作员");
        EXPECT_EQ(dlg->txtCode->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dlg->txtConfirm->echoMode(), QLineEdit::Password);
        dlg->show();
        for (const Attempt &a : attempts) {
            if (a.name == "<cancel>") {
                test::press(dlg, "cmdCancel");
                break;
            }
            messages.clear();
            test::typeOver(test::child<QLineEdit>(dlg, "txtOPName"), a.name);
            test::typeOver(test::child<QLineEdit>(dlg, "txtCode"), a.code);
            test::typeOver(test::child<QLineEdit>(dlg, "txtConfirm"), a.confirm);
            test::press(dlg, "cmdOk");
            const QString said = messages.last() ? messages.last()->text : QString();
            if (said != a.message)
                problems << a.name + ": " + said;
            if (!a.message.isEmpty() && messages.last()) {
                EXPECT_EQ(messages.last()->title, "输入有误");
                EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
            }
            if (a.focus) {
                EXPECT_EQ(dlg->focusWidget(), dlg->findChild<QLineEdit *>(QString::fromUtf8(a.focus)))
                    << a.message.toStdString();
                EXPECT_TRUE(dlg->isVisible()) << "a refusal leaves the window open";
            }
        }
        return d.result();
    };

    attempts = {{"", "pw", "pw", "请输入操作员姓名!", "txtOPName"},
                {"o'brien 带 空格", "", "", "密码不能为空!", "txtCode"},
                {"o'brien 带 空格", "pw", "pw2", "密码和确认密码不相符!", "txtCode"},
                {"o'brien 带 空格", "p'w 中", "p'w 中", "", nullptr}};
    test::press(&w, "cmdAdd");
    EXPECT_EQ(problems, QStringList());
    EXPECT_EQ(listed(w), QStringList({"管理员", "张三", "o'brien 带 空格"}));
    EXPECT_EQ(selected(w), "o'brien 带 空格");
    EXPECT_EQ(boxes(w), "00000000000") << "a new operator has no rights";
    const QStringList row = opRow("o'brien 带 空格");
    ASSERT_EQ(row.size(), 17);
    EXPECT_TRUE(PasswordHash::isHashed(row.at(1)));
    EXPECT_TRUE(PasswordHash::verify(row.at(1), "p'w 中"));

    // A name that exists: said, the window closes, the existing one is selected.
    test::clickItem(w.lstOPName, "管理员");
    attempts = {{"张三", "x", "x", "该操作员已经存在!", nullptr}};
    test::press(&w, "cmdAdd");
    EXPECT_EQ(problems, QStringList());
    EXPECT_EQ(listed(w).size(), 3);
    EXPECT_EQ(selected(w), "张三");
    EXPECT_EQ(opRow("张三").at(1), "z");

    // Cancel adds nothing and keeps the selection.
    attempts = {{"<cancel>"}};
    test::press(&w, "cmdAdd");
    EXPECT_EQ(listed(w).size(), 3);
    EXPECT_EQ(selected(w), "张三");
}

TEST_F(OperatorWindowsTest, DeleteAsksAndNeverDeletesTheAdministrator)
{
    addOperator("张三", "z", "00000000000");
    addOperator("李四", "l", "00000000000");
    frmOperatorRight w(ctx);
    w.show();

    test::press(&w, "cmdDelete");
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "管理员用户不可删除!");
    EXPECT_EQ(messages.last()->title, "删除错误");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_EQ(listed(w).size(), 3);

    test::clickItem(w.lstOPName, "张三");
    messages.clear();
    messages.queueAnswer(MessageService::Answer::No);
    test::press(&w, "cmdDelete");
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->text, "是否真的要删除用户  '张三'  ?");
    EXPECT_EQ(messages.last()->title, "删除操作员");
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Question);
    EXPECT_FALSE(opRow("张三").isEmpty());
    EXPECT_EQ(selected(w), "张三");

    messages.queueAnswer(MessageService::Answer::Yes);
    test::press(&w, "cmdDelete");
    EXPECT_TRUE(opRow("张三").isEmpty());
    EXPECT_EQ(listed(w), QStringList({"管理员", "李四"}));
    EXPECT_EQ(selected(w), "管理员");
    EXPECT_EQ(boxes(w), "11111111111");

    // Nothing selected: nothing is asked and nothing deleted or saved.
    w.lstOPName->clearSelection();
    EXPECT_FALSE(w.fraRight->isEnabled());
    messages.clear();
    test::press(&w, "cmdDelete");
    test::press(&w, "cmdSave");
    ASSERT_EQ(messages.shown().size(), 2);
    EXPECT_NE(messages.shown().at(0).buttons, MessageService::Buttons::YesNoDefaultNo);
    EXPECT_EQ(ctx.db.scalar("SELECT count(*) FROM OP").value_or("?"), "2");
    EXPECT_EQ(opRow("管理员").mid(2, 11).join(""), "11111111111");
}

TEST_F(OperatorWindowsTest, UsageRecordIsReadOnlyInSerialOrderAndTakesThousandsOfRows)
{
    // 20000 logins written out of order, the serials passing five digits.
    ASSERT_TRUE(ctx.db.exec("BEGIN"));
    for (int n = 100010; n > 80010; --n)
        ASSERT_TRUE(ctx.db.exec("INSERT INTO OPRec VALUES (?, ?, '2026年12月08日08:00:00', '2026年12月08日09:00:00')",
                                {OperatorRecordSerial(n), n % 2 ? "张三" : "管理员"}));
    ASSERT_TRUE(ctx.db.exec("COMMIT"));

    frmOperatorRecord w(ctx);
    w.show();
    EXPECT_EQ(w.windowTitle(), "操作员使用记录");
    auto *grid = w.findChild<FlexGrid *>("hfgOperatorRecord");
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->rows(), 20001);
    EXPECT_EQ(grid->cols(), 4);
    EXPECT_EQ(grid->textMatrix(0, 0), "序号");
    EXPECT_EQ(grid->textMatrix(0, 3), "登出时间");
    EXPECT_EQ(grid->textMatrix(1, 0), "80011");
    // 99999 then 100000, as numbers, all the way down.
    const int at99999 = 99999 - 80010;
    EXPECT_EQ(grid->textMatrix(at99999, 0), "99999");
    EXPECT_EQ(grid->textMatrix(at99999 + 1, 0), "100000");
    EXPECT_EQ(grid->textMatrix(at99999 + 1, 1), "管理员");
    EXPECT_EQ(grid->textMatrix(20000, 0), "100010");
    bool ordered = true;
    for (int r = 2; r <= 20000 && ordered; ++r)
        ordered = grid->textMatrix(r, 0).toInt() == grid->textMatrix(r - 1, 0).toInt() + 1;
    EXPECT_TRUE(ordered);

    // Nothing can be changed: a double click and typing leave every cell as it was.
    const QString before = grid->textMatrix(3, 1);
    EXPECT_EQ(before, "张三"); // serial 80013
    const QRect cell = grid->cellRect(3, 1);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClicks(grid, "x");
    QTest::keyClick(grid, Qt::Key_Delete);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->textMatrix(3, 1), before);
    EXPECT_EQ(ctx.db.scalar("SELECT count(*) FROM OPRec").value_or("?"), "20000");

    EXPECT_EQ(w.findChild<QLabel *>("lblNote")->text(), "提示：为保证操作员记录的完整性，以上数据不可以修改或者删除。");
    test::press(&w, "cmdLeave");
    EXPECT_FALSE(w.isVisible());
}
