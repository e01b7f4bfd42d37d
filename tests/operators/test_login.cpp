#include "ConsoleContext.h"
#include "Data.h"
#include "OperatorGates.h"
#include "Operators.h"
#include "PasswordHash.h"
#include "Recordset.h"
#include "TestHome.h"
#include "WindowDriver.h"
#include "frmChangeCode.h"
#include "frmLogin.h"
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb"), "admin")); }

    // Adds an operator with the given rights (11 characters of '0'/'1').
    void addOperator(const QString &name, const QString &password, const QString &rights = QString(11, '0'))
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

    QString storedPassword(const QString &name)
    {
        Recordset op(ctx.db, "OP");
        op.findFirst(Criteria(op.columnNames().at(0), name));
        return op.value(1, "<none>");
    }

    // Logs in through the real window, typing the name and the password
    // and clicking "登入(&I)"; returns whether the window accepted.
    bool logIn(frmLogin &w, const QString &name, const QString &password)
    {
        test::typeOver(w.findChild<QComboBox *>("cmbOPName")->lineEdit(), name);
        test::typeOver(test::child<QLineEdit>(&w, "txtCode"), password);
        test::press(&w, "cmdOK");
        return w.result() == QDialog::Accepted;
    }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(1, 28, 32))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

TEST_F(LoginTest, WindowListsOperatorsAndPresetsAdministrator)
{
    addOperator("张三", "x");
    frmLogin w(ctx);
    EXPECT_EQ(w.windowTitle(), "登录系统");
    EXPECT_EQ(w.cmbOPName->currentText(), "管理员");
    ASSERT_EQ(w.cmbOPName->count(), 2);
    EXPECT_EQ(w.cmbOPName->itemText(1), "张三");
    EXPECT_EQ(w.txtCode->echoMode(), QLineEdit::Password);
    EXPECT_EQ(w.findChild<QPushButton *>("cmdChangePassword")->text(), "修改密码(&C)");
}

TEST_F(LoginTest, WrongPasswordThenRightOne)
{
    frmLogin w(ctx);
    EXPECT_FALSE(logIn(w, "管理员", "Admin")); // case matters
    ASSERT_NE(messages.last(), nullptr);
    EXPECT_EQ(messages.last()->text, "错误的密码！");
    EXPECT_EQ(messages.last()->title, "密码错误");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_FALSE(ctx.login.OPLogin);
    // The wrong password is gone: what is typed next is a new try.
    EXPECT_TRUE(w.txtCode->text().isEmpty());
    QTest::keyClicks(w.txtCode, "admin");
    EXPECT_EQ(w.txtCode->text(), "admin");
    EXPECT_FALSE(logIn(w, "管理员", "admin ")); // no trimming
    EXPECT_FALSE(ctx.login.OPLogin);

    EXPECT_TRUE(logIn(w, "管理员", "admin"));
    EXPECT_TRUE(ctx.login.OPLogin);
    EXPECT_EQ(ctx.login.OPName, "管理员");
    EXPECT_EQ(ctx.login.OPLoginTime, "2026年12月08日01:28:32");
    EXPECT_EQ(ctx.login.OPRight, QStringList(QList<QString>(11, "1")));
}

TEST_F(LoginTest, UnknownNameNeverLogsIn)
{
    frmLogin w(ctx);
    // Load the administrator first, so a stale password is in the login state.
    EXPECT_FALSE(logIn(w, "管理员", "wrong"));
    EXPECT_TRUE(PasswordHash::verify(ctx.login.OPCode, "admin"));
    EXPECT_FALSE(logIn(w, "无此人", "admin"));
    EXPECT_FALSE(ctx.login.OPLogin);
    EXPECT_FALSE(logIn(w, "", ""));
    EXPECT_FALSE(ctx.login.OPLogin);
    EXPECT_FALSE(logIn(w, "管理员' OR '1'='1", "admin"));
    EXPECT_FALSE(ctx.login.OPLogin);
}

TEST_F(LoginTest, AwkwardNamesAndPasswordsWork)
{
    const QString longName = QString(300, QChar(0x4E2D));
    const QList<QPair<QString, QString>> cases = {
        {"o'brien", "p'w\"d"}, {"带 空格", " 前后空格 "}, {longName, QString(500, 'k')}, {"李四", "密码；'--"}};
    for (const auto &[name, password] : cases)
        addOperator(name, password);
    for (const auto &[name, password] : cases) {
        frmLogin w(ctx);
        EXPECT_TRUE(logIn(w, name, password)) << name.left(20).toStdString();
        EXPECT_EQ(ctx.login.OPName, name);
        frmLogin again(ctx);
        EXPECT_FALSE(logIn(again, name, password.trimmed() + "x"));
    }
}

TEST_F(LoginTest, CancelLeavesLoggedOut)
{
    frmLogin w(ctx);
    test::press(&w, "cmdCancel");
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_FALSE(ctx.login.OPLogin);
}

TEST_F(LoginTest, ChangePasswordChecksInOrderAndStores)
{
    frmLogin w(ctx);
    QStringList seen;
    // Drive the change window: each entry is (old, new, confirm) and whether to press OK.
    QList<QStringList> attempts;
    ctx.runModal = [&](QDialog &d) {
        auto *dlg = qobject_cast<frmChangeCode *>(&d);
        EXPECT_NE(dlg, nullptr);
        seen << test::child<QLabel>(dlg, "lblOperator")->text(); // whose password it is
        for (const QStringList &a : attempts) {
            if (a.at(0) == "<cancel>") {
                test::press(dlg, "cmdCancel");
                break;
            }
            test::typeOver(test::child<QLineEdit>(dlg, "txtOld"), a.at(0));
            test::typeOver(test::child<QLineEdit>(dlg, "txtNew"), a.at(1));
            test::typeOver(test::child<QLineEdit>(dlg, "txtConfirm"), a.at(2));
            test::press(dlg, "cmdOk");
            seen << (messages.last() ? messages.last()->text : QString());
        }
        return d.result();
    };

    attempts = {{"bad", "n", "n"}, {"admin", "", ""}, {"admin", "新'密码", "新'密"}, {"admin", "新'密码", "新'密码"}};
    test::typeOver(w.cmbOPName->lineEdit(), "管理员");
    test::press(&w, "cmdChangePassword");
    EXPECT_EQ(seen,
              QStringList({"管理员", "原密码输入错误!", "密码不能为空!", "密码和确认密码不相符!", "密码修改成功!"}));
    const QString changed = storedPassword("管理员");
    EXPECT_TRUE(PasswordHash::isHashed(changed)) << "the new password is stored as its hash";
    EXPECT_TRUE(PasswordHash::verify(changed, "新'密码"));
    EXPECT_FALSE(ctx.login.OPLogin) << "changing the password does not log in";

    // A cancelled change leaves the stored password alone.
    attempts = {{"<cancel>"}};
    test::press(&w, "cmdChangePassword");
    EXPECT_EQ(storedPassword("管理员"), changed);

    EXPECT_FALSE(logIn(w, "管理员", "admin"));
    EXPECT_TRUE(logIn(w, "管理员", "新'密码"));
}

TEST_F(LoginTest, ChangePasswordForUnknownNameTouchesNoRow)
{
    addOperator("张三", "zs");
    frmLogin w(ctx);
    EXPECT_FALSE(logIn(w, "张三", "no")); // loads 张三
    bool opened = false;
    ctx.runModal = [&](QDialog &) {
        opened = true;
        return 0;
    };
    test::typeOver(w.cmbOPName->lineEdit(), "nobody");
    test::press(&w, "cmdChangePassword");
    EXPECT_FALSE(opened);
    EXPECT_EQ(storedPassword("张三"), "zs");
    EXPECT_TRUE(PasswordHash::verify(storedPassword("管理员"), "admin"));
}

TEST_F(LoginTest, UsageRecordSerials)
{
    EXPECT_EQ(OperatorRecordSerial(11), "00011");
    EXPECT_EQ(OperatorRecordSerial(99999), "99999");
    EXPECT_EQ(OperatorRecordSerial(100000), "100000");

    frmLogin w(ctx);
    ASSERT_TRUE(logIn(w, "管理员", "admin"));
    for (int i = 0; i < 11; ++i) {
        clock.advanceSecs(60);
        ASSERT_TRUE(AddOperatorRecord(ctx));
    }
    Recordset rec(ctx.db, "OPRec");
    ASSERT_EQ(rec.recordCount(), 11);
    rec.moveLast();
    EXPECT_EQ(rec.currentRow(), QStringList({"00011", "管理员", "2026年12月08日01:28:32", "2026年12月08日01:39:32"}));
    EXPECT_EQ(ctx.login.OPLogoutTime, "2026年12月08日01:39:32");
}

TEST_F(LoginTest, RightsGate)
{
    EXPECT_FALSE(PassGate(ctx, Right::CallQuery));
    EXPECT_EQ(messages.last()->text, "您没有登录系统,请先登录!");
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::None);

    addOperator("新人", "n");
    frmLogin w(ctx);
    ASSERT_TRUE(logIn(w, "新人", "n"));
    for (int right = 0; right <= 9; ++right) {
        messages.clear();
        EXPECT_FALSE(PassGate(ctx, Right(right)));
        ASSERT_NE(messages.last(), nullptr);
        EXPECT_EQ(messages.last()->text, "您没有使用此功能的权限！");
        EXPECT_EQ(messages.last()->title, "权限不够");
    }
    EXPECT_FALSE(MayDeleteBills(ctx));
    EXPECT_EQ(messages.last()->text, "您没有删除话单的权限！");

    ctx.login.OPRight[5] = "1";
    EXPECT_TRUE(PassGate(ctx, Right::SwitchParameters));
    ctx.login.OPRight[5] = " 1";
    EXPECT_FALSE(PassGate(ctx, Right::SwitchParameters)) << "a right is granted only by exactly \"1\"";
    for (const char *notGranted : {" 0 ", "", " 1", "2"}) {
        ctx.login.OPRight[10] = QString::fromUtf8(notGranted);
        EXPECT_FALSE(MayDeleteBills(ctx)) << "deleting call records needs exactly \"1\", not \"" << notGranted << '"';
    }
    ctx.login.OPRight[10] = "1";
    EXPECT_TRUE(MayDeleteBills(ctx));
}

TEST_F(LoginTest, APasswordTheDatabaseRefusesIsReported)
{
    frmLogin w(ctx);
    ASSERT_TRUE(ctx.db.exec("CREATE TRIGGER full BEFORE UPDATE ON OP BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    int result = -1;
    ctx.runModal = [&](QDialog &d) {
        test::typeOver(test::child<QLineEdit>(&d, "txtOld"), "admin");
        test::typeOver(test::child<QLineEdit>(&d, "txtNew"), "neu");
        test::typeOver(test::child<QLineEdit>(&d, "txtConfirm"), "neu");
        test::press(&d, "cmdOk");
        result = d.result();
        return result;
    };
    test::press(&w, "cmdChangePassword");
    // Only the failure is shown: no success before it.
    ASSERT_EQ(messages.shown().size(), 1) << messages.texts().join(" | ").toStdString();
    EXPECT_TRUE(messages.last()->text.startsWith("密码未能保存：")) << messages.last()->text.toStdString();
    EXPECT_TRUE(messages.last()->text.contains("disk is full"));
    EXPECT_EQ(messages.last()->title, "修改密码");
    EXPECT_NE(result, QDialog::Accepted) << "the window stays open with what was typed";
    EXPECT_TRUE(PasswordHash::verify(ctx.login.OPCode, "admin")) << "the login state keeps the stored password";
    EXPECT_TRUE(PasswordHash::verify(storedPassword("管理员"), "admin"));
    EXPECT_FALSE(PasswordHash::verify(storedPassword("管理员"), "neu"));
}
