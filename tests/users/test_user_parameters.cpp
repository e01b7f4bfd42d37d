// The rules, writes and star codes of the user parameters, without the
// window: batch changes over port ranges in both directions, the checks that
// refuse a range or a renumbering before anything is written or sent, the
// deposit rows that follow the payment type, groups, deposits, accounts,
// and a batch that runs while the intake charges a deposit. The switch side
// is a pseudo-terminal whose bytes are decoded by the simulator's reader.
#include "AccountTable.h"
#include "CommandDecoder.h"
#include "ConfigTable.h"
#include "DepositTable.h"
#include "General.h"
#include "IntakeFixture.h"
#include "ParameterMemory.h"
#include "Recordset.h"
#include "TestWait.h"
#include "UserParameters.h"
#include "UserTable.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace corvane;
using Plan = UserParameters::AmendPlan;

namespace {

class UserParametersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        params = std::make_unique<UserParameters>(env.ctx->db, env.ctx->CheckMarks);
        ASSERT_TRUE(params->users());
    }

    // Everything queued has gone out; the commands the switch received.
    QStringList drained()
    {
        EXPECT_TRUE(test::waitFor(
            [&] {
                env.clock.advanceMs(100);
                return env.link->QueuedCount() == 0;
            },
            20000));
        return env.sent();
    }

    Plan plan(int col, int first, int last, const QString &value)
    {
        const auto p = params->planAmend(col, {first, last}, value);
        EXPECT_TRUE(bool(p)) << p.reason().toStdString();
        return p ? *p : Plan();
    }

    // Runs a change to its end, paced by the link's queue.
    Status run(const Plan &p)
    {
        UserAmendRun r(*params, p, env.link.get());
        Status last;
        QObject::connect(&r, &UserAmendRun::finished, [&](const Status &s) { last = s; });
        const Status first = r.start();
        EXPECT_TRUE(test::waitFor(
            [&] {
                env.clock.advanceMs(100);
                return !r.isRunning();
            },
            30000));
        return first ? last : first;
    }

    QStringList user(int port) { return env.rowOf("User", "物理端口", QString::number(port)); }
    QList<QStringList> userDeposits(int port)
    {
        return env.select("SELECT * FROM Foregift WHERE 物理端口=? AND 用户号码<>'账号'", {QString::number(port)});
    }
    QString cell(const QString &sql, const QVariantList &p = {})
    {
        const auto rows = env.select(sql, p);
        return rows.isEmpty() ? QStringLiteral("<none>") : rows.first().value(0);
    }
    GridCell depositCell(const QString &port, const QString &number, int col)
    {
        const TableRows rows = *params->deposits();
        for (int i = 0; i < rows.size(); ++i)
            if (rows.rows[i].value(0) == port && rows.rows[i].value(1) == number)
                return GridCell{i + 1, col, rows.rowIds[i], rows.rows[i].value(col)};
        ADD_FAILURE() << "no deposit row " << port.toStdString();
        return {};
    }
    GridCell accountCell(const QString &n, int col)
    {
        const TableRows rows = *params->accounts();
        for (int i = 0; i < rows.size(); ++i)
            if (rows.rows[i].value(0) == n)
                return GridCell{i + 1, col, rows.rowIds[i], rows.rows[i].value(col)};
        ADD_FAILURE() << "no account " << n.toStdString();
        return {};
    }

    test::IntakeEnv env;
    std::unique_ptr<UserParameters> params;
};

TEST_F(UserParametersTest, RenumberingARangeGivesConsecutiveNumbersUpAndDown)
{
    // Ports 0 to 4 move out of the way, so 799 to 803 are free.
    for (int p = 0; p <= 4; ++p)
        ASSERT_TRUE(
            env.exec("UPDATE User SET 用户号码=? WHERE 物理端口=?", {QString::number(700 + p), QString::number(p)}));
    env.addDeposit("6", "806", "3.00");

    ASSERT_TRUE(run(plan(int(UserField::Number), 5, 7, "801")));
    EXPECT_EQ(user(5).value(1), "801");
    EXPECT_EQ(user(6).value(1), "802");
    EXPECT_EQ(user(7).value(1), "803");
    // The deposit row goes with its extension's new number, its money untouched.
    ASSERT_EQ(userDeposits(6).size(), 1);
    EXPECT_EQ(userDeposits(6)[0].value(1), "802");
    EXPECT_EQ(userDeposits(6)[0].value(4), "3.00");
    EXPECT_EQ(drained(), (QStringList{"*11*5*801#", "*11*6*802#", "*11*7*803#"}));

    ASSERT_TRUE(run(plan(int(UserField::Number), 7, 5, "801")));
    EXPECT_EQ(user(7).value(1), "801");
    EXPECT_EQ(user(6).value(1), "800");
    EXPECT_EQ(user(5).value(1), "799");
    EXPECT_EQ(userDeposits(6)[0].value(1), "800");
    EXPECT_EQ(drained(), (QStringList{"*11*7*801#", "*11*6*800#", "*11*5*799#"}));
}

TEST_F(UserParametersTest, RenumberingThatCannotStandIsRefusedBeforeAnythingHappens)
{
    struct Case {
        int first, last;
        QString value;
        QString reason;
    };
    const QList<Case> cases{
        {5, 7, "806", "用户号码808已经被物理端口8的分机使用！"}, // 806, 807, 808: 808 is port 8's
        {7, 5, "1", "批量修改后的用户号码不能为负数！"},         // 1, 0, -1
        {5, 7, "998", "用户号码最大为3位整数！"},                // 998, 999, 1000
        {3, 3, "805", "用户号码805已经被物理端口5的分机使用！"},
    };
    for (const Case &c : cases) {
        const auto p = params->planAmend(int(UserField::Number), {c.first, c.last}, c.value);
        ASSERT_FALSE(bool(p)) << c.value.toStdString();
        EXPECT_EQ(p.reason(), c.reason);
    }
    // Inside the range numbers may move: 6 to 8 from 806 keeps them on their own ports' range.
    EXPECT_TRUE(bool(params->planAmend(int(UserField::Number), {6, 8}, "806")));
    EXPECT_EQ(user(5).value(1), "805");
    EXPECT_TRUE(drained().isEmpty());
}

TEST_F(UserParametersTest, TypedRangesMustBeTwoPortsOfThisSwitch)
{
    env.setConfig(int(ConfigField::Capacity), "64");
    for (const auto &bad : QList<QPair<QString, QString>>{
             {"5", "64"}, {"a", "3"}, {"3", ""}, {"-1", "3"}, {"1.5", "3"}, {" ", "2"}, {"3", "1e2"}}) {
        const auto r = params->checkRange(bad.first, bad.second);
        EXPECT_FALSE(bool(r)) << bad.first.toStdString() << ".." << bad.second.toStdString();
        if (!r) {
            EXPECT_TRUE(r.reason().contains("0到63")) << r.reason().toStdString();
        }
    }
    const auto down = params->checkRange(" 63", "0 ");
    ASSERT_TRUE(bool(down));
    EXPECT_EQ(down->first, 63);
    EXPECT_EQ(down->step(), -1);
    EXPECT_EQ(down->count(), 64);
    // The grid shows the ports below the capacity only.
    EXPECT_EQ(params->users()->size(), 64);
}

TEST_F(UserParametersTest, EachPortIsReachedByItsPortNotByTableOrder)
{
    // Port 6's row now stands last in the table.
    const QStringList row6 = user(6);
    ASSERT_TRUE(env.exec("DELETE FROM User WHERE 物理端口='6'"));
    QVariantList values;
    for (const QString &v : row6)
        values << v;
    ASSERT_TRUE(env.exec("INSERT INTO User VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", values));

    ASSERT_TRUE(run(plan(int(UserField::Class), 5, 7, "2")));
    for (int p = 4; p <= 8; ++p)
        EXPECT_EQ(user(p).value(3), p >= 5 && p <= 7 ? "2" : "4") << p;
    EXPECT_EQ(cell("SELECT count(*) FROM User"), "120");
    EXPECT_EQ(drained(), (QStringList{"*10*2*805#", "*10*2*806#", "*10*2*807#"}));
    // The grid still shows port p on row p + 1.
    const TableRows shown = *params->users();
    EXPECT_EQ(shown.rows.at(6).value(0), "6");
    EXPECT_EQ(shown.rows.at(7).value(0), "7");
}

TEST_F(UserParametersTest, EveryColumnSendsItsOwnCommand)
{
    const QString no = env.ctx->CheckMarks.at(0);
    const QString yes = env.ctx->CheckMarks.at(1);
    struct Case {
        int col;
        QString value;
        QString code;
    };
    const QList<Case> cases{{4, no, "*59*0*810#"},     {5, yes, "*15*1*810#"},      {6, no, "*41*0*810#"},
                            {7, no, "*40*0*810#"},     {8, no, "*42*0*810#"},       {9, no, "*43*0*810#"},
                            {10, "12", "*48*12*810#"}, {11, "255", "*61*255*810#"}, {3, "8", "*10*8*810#"}};
    for (const Case &c : cases) {
        ASSERT_TRUE(run(plan(c.col, 10, 10, c.value)));
        EXPECT_EQ(user(10).value(c.col), c.value);
        EXPECT_EQ(drained(), QStringList{c.code}) << c.col;
    }
    // Name, rent and the trunk-indicator mark are the console's own.
    ASSERT_TRUE(run(plan(2, 10, 12, "前台")));
    ASSERT_TRUE(run(plan(13, 10, 10, *params->checkUserValue(13, "12.5"))));
    ASSERT_TRUE(run(plan(14, 10, 10, no)));
    EXPECT_EQ(user(12).value(2), "前台");
    EXPECT_EQ(user(10).value(13), "12.50");
    EXPECT_EQ(user(10).value(14), no);
    EXPECT_TRUE(drained().isEmpty());
}

TEST_F(UserParametersTest, TypedUserValuesAreCheckedAsTheSystemCountsThem)
{
    struct Case {
        int col;
        QString text;
        QString reason; // empty: accepted
    };
    const QList<Case> cases{
        {1, "8a1", "请输入数字作为用户号码！"},
        {1, "80.1", "请输入整数作为用户号码！"},
        {1, "8011", "用户号码最大为3位整数！"},
        {1, "801", ""},
        {2, QString(32, 'a'), ""},
        {2, QString(33, 'a'), "用户名称最长为32个英文或者16个中文字母！"},
        {2, QString(16, QChar(0x5F20)), ""},
        {2, QString(17, QChar(0x5F20)), "用户名称最长为32个英文或者16个中文字母！"},
        {11, "256", "呼出时限最大为255！"},
        {11, "1.5", "请输入整数作为呼出时限！"},
        {11, "x", "请输入数字作为呼出时限！"},
        {13, "999.99", ""},
        {13, "999.991", "月租费最大为999.99！"},
        {13, "1000", "月租费最大为999.99！"},
        {13, "abc", "请输入数字作为月租费！"},
    };
    for (const Case &c : cases) {
        const Checked<QString> v = params->checkUserValue(c.col, c.text);
        EXPECT_EQ(bool(v), c.reason.isEmpty()) << c.col << " " << c.text.toStdString();
        if (!v) {
            EXPECT_EQ(v.reason(), c.reason) << c.text.toStdString();
        }
    }
}

TEST_F(UserParametersTest, TheDepositRowFollowsThePaymentType)
{
    ASSERT_TRUE(env.exec("UPDATE User SET 用户名称='李四', 分机等级='3' WHERE 物理端口='5'"));
    ASSERT_TRUE(run(plan(12, 5, 5, "押金")));
    ASSERT_TRUE(run(plan(12, 5, 5, "押金")));
    ASSERT_EQ(userDeposits(5).size(), 1);
    EXPECT_EQ(userDeposits(5)[0], (QStringList{"5", "805", "李四", "3", "0.00", "0.00", "", "×"}));

    // Name and class are mirrored; the class goes to the switch.
    ASSERT_TRUE(run(plan(2, 5, 5, "王五")));
    ASSERT_TRUE(run(plan(3, 5, 5, "6")));
    EXPECT_EQ(userDeposits(5)[0].value(2), "王五");
    EXPECT_EQ(userDeposits(5)[0].value(3), "6");
    EXPECT_EQ(drained(), QStringList{"*10*6*805#"});

    // A deposit holding money is named before it would be dropped.
    ASSERT_TRUE(env.exec("UPDATE Foregift SET 余额='12.50' WHERE 物理端口='5'"));
    const Plan back = plan(12, 3, 7, "普通");
    EXPECT_EQ(params->depositsAtRisk(back), QStringList{"805（余额12.50元）"});
    EXPECT_TRUE(params->depositsAtRisk(plan(12, 3, 7, "押金")).isEmpty());
    ASSERT_TRUE(run(back));
    EXPECT_TRUE(userDeposits(5).isEmpty());
    EXPECT_EQ(user(5).value(12), "普通");
}

TEST_F(UserParametersTest, SavingAGroupMovesOnlyItsOwnMembers)
{
    EXPECT_EQ(params->checkNewGroup(QString(21, 'g')).reason(),
              "组名长度不能为空，长度不能超过10个汉字或20个英文字符！");
    EXPECT_EQ(params->checkNewGroup("  ").reason(), "组名长度不能为空，长度不能超过10个汉字或20个英文字符！");
    EXPECT_FALSE(bool(params->checkNewGroup(QString(11, QChar(0x7EC4)))));
    ASSERT_TRUE(bool(params->checkNewGroup(QString(20, 'g'))));
    EXPECT_EQ(*params->checkNewGroup(" 甲公司 "), "甲公司");
    ASSERT_TRUE(params->addGroup("甲公司"));
    ASSERT_TRUE(params->addGroup("乙公司"));
    EXPECT_EQ(params->checkNewGroup("甲公司").reason(), "您输入的组名已经存在！");

    ASSERT_TRUE(env.exec("UPDATE User SET 组名='乙公司' WHERE 物理端口 IN ('1','2','3')"));
    ASSERT_TRUE(env.exec("UPDATE User SET 组名='甲公司' WHERE 物理端口 IN ('4','5')"));
    QList<bool> selected(120, false);
    selected[2] = selected[5] = selected[6] = true; // 2 moves over from 乙, 4 leaves, 5 stays, 6 joins
    ASSERT_TRUE(params->saveGroup("甲公司", selected));
    const QList<bool> a = params->membersOf("甲公司");
    const QList<bool> b = params->membersOf("乙公司");
    EXPECT_EQ(a.count(true), 3);
    EXPECT_TRUE(a[2] && a[5] && a[6]);
    EXPECT_TRUE(b[1] && b[3] && !b[2]);
    EXPECT_EQ(b.count(true), 2);
    EXPECT_EQ(user(4).value(15), "");

    ASSERT_TRUE(params->deleteGroup("甲公司"));
    EXPECT_EQ(params->groups().value_or(QStringList()), QStringList{"乙公司"});
    EXPECT_EQ(params->membersOf("甲公司").count(true), 0);
    EXPECT_EQ(cell("SELECT count(*) FROM User WHERE 组名='甲公司'"), "0");
    EXPECT_EQ(user(1).value(15), "乙公司");
}

TEST_F(UserParametersTest, DepositAmountsPasswordsAndThePasswordMark)
{
    env.addDeposit("5", "805", "3.00");
    const GridCell deposit = depositCell("5", "805", int(DepositField::Deposit));
    EXPECT_EQ(params->checkDeposit(deposit, "1000").reason(), "押金最大为999.00元");
    EXPECT_EQ(params->checkDeposit(deposit, "abc").reason(), "请输入数字作为押金！");
    EXPECT_EQ(params->checkDeposit(deposit, "123456.78").reason(), "押金最大为8位（含小数点和2位小数）！");
    const Checked<QString> amount = params->checkDeposit(deposit, "12.5");
    ASSERT_TRUE(bool(amount));
    ASSERT_TRUE(params->storeDeposit(deposit, *amount));
    EXPECT_EQ(userDeposits(5)[0].mid(4, 2), (QStringList{"12.50", "12.50"}));

    const GridCell password = depositCell("5", "805", int(DepositField::Password));
    EXPECT_EQ(params->checkDeposit(password, "1234567").reason(), "密码最长为6位！");
    EXPECT_EQ(params->checkDeposit(password, "12a").reason(), "请输入整数作为密码！");
    const StoreResult typed = params->storeDeposit(password, "4321");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed.commands, QStringList{"*67*5*4321#"});

    // The mark on: a fresh random password of the configured length.
    const GridCell mark = depositCell("5", "805", int(DepositField::PasswordOn));
    const CellRule rule = params->depositRule(mark);
    ASSERT_EQ(rule.kind, CellRule::Kind::Cycle);
    EXPECT_EQ(NextChoice("", rule.fallback, rule.choices), "√");
    const StoreResult on = params->storeDeposit(mark, "√");
    ASSERT_TRUE(on);
    const QString drawn = userDeposits(5)[0].value(6);
    EXPECT_TRUE(QRegularExpression("^[0-9]{6}$").match(drawn).hasMatch()) << drawn.toStdString();
    EXPECT_NE(drawn, "000000");
    EXPECT_EQ(on.commands, QStringList{"*67*5*" + drawn + "#"});
    const StoreResult off = params->storeDeposit(depositCell("5", "805", int(DepositField::PasswordOn)), "×");
    ASSERT_TRUE(off);
    EXPECT_EQ(off.commands, QStringList{"*67*5*0#"});
    EXPECT_EQ(userDeposits(5)[0].mid(6), (QStringList{"", "×"}));
    EXPECT_EQ(userDeposits(5)[0].value(4), "12.50");
}

TEST_F(UserParametersTest, AccountsAreNumberedFrom511DownWithThreeDigits)
{
    ASSERT_EQ(*params->nextAccountNumber(), "511");
    ASSERT_TRUE(env.exec("INSERT INTO Account VALUES ('511','a','4','0','1','普通'), ('510','b','4','0','1','普通')"));
    ASSERT_TRUE(params->accounts());
    const StoreResult added = params->addAccount();
    ASSERT_TRUE(added);
    EXPECT_EQ(added.commands, (QStringList{"*68*4*0*0*509#", "*74*1*1*509#"}));
    const QStringList row = env.rowOf("Account", "账号编号", "509");
    ASSERT_EQ(row.size(), 6);
    EXPECT_EQ(row.mid(0, 4), (QStringList{"509", "509账号", "4", "0"}));
    EXPECT_TRUE(QRegularExpression("^[0-9]{6}$").match(row[4]).hasMatch());
    EXPECT_EQ(row[5], "普通");

    // Account 7: three digits in the table, the deposit row and the commands
    // that carry them; none of the leading zeros in the two that never did.
    ASSERT_TRUE(env.exec("DELETE FROM Account"));
    QStringList values;
    for (int n = 511; n >= 8; --n)
        values << QStringLiteral("('%1','','4','0','1','普通')").arg(n, 3, 10, QLatin1Char('0'));
    ASSERT_TRUE(env.exec("INSERT INTO Account VALUES " + values.join(',')));
    ASSERT_TRUE(params->accounts());
    const StoreResult seven = params->addAccount();
    ASSERT_TRUE(seven);
    EXPECT_EQ(seven.commands, (QStringList{"*68*4*0*0*7#", "*74*1*1*7#"}));
    const QString pw = env.rowOf("Account", "账号编号", "007").value(4);
    ASSERT_FALSE(pw.isEmpty());
    const StoreResult prepaid = params->storeAccount(accountCell("007", int(AccountField::PayType)), "押金");
    ASSERT_TRUE(prepaid);
    EXPECT_EQ(prepaid.commands, (QStringList{"*68*4*0*0*007#", "*67*007*" + pw + "#"}));
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "007"),
              (QStringList{"007", "账号", "007账号", "4", "0.00", "0.00", pw, "√"}));

    // Classes 1 to 6 only; an accepted class and name are mirrored.
    const GridCell cls = accountCell("007", int(AccountField::Class));
    EXPECT_EQ(params->checkAccount(cls, "0").reason(), "账号等级只能在1～6之间!");
    EXPECT_EQ(params->checkAccount(cls, "7").reason(), "账号等级只能在1～6之间!");
    EXPECT_EQ(params->checkAccount(cls, "x").reason(), "请输入数字作为账号等级！");
    EXPECT_EQ(params->storeAccount(cls, "6").commands, QStringList{"*68*6*0*0*007#"});
    const GridCell name = accountCell("007", int(AccountField::Name));
    EXPECT_EQ(params->checkAccount(name, QString(9, QChar(0x7EC4))).reason(),
              "账号名称不能超过8个汉字或者16个英文字符!");
    ASSERT_TRUE(params->storeAccount(name, *params->checkAccount(name, QString(8, QChar(0x7EC4)))));
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "007").mid(2, 2), (QStringList{QString(8, QChar(0x7EC4)), "6"}));

    // Money on the deposit is reported before the account goes; then both go.
    ASSERT_TRUE(env.exec("UPDATE Foregift SET 余额='5.00', 押金='5.00' WHERE 物理端口='007'"));
    EXPECT_EQ(params->accountMoney(accountCell("007", 0).rowId), std::optional<QString>("5.00"));
    ASSERT_TRUE(params->deleteAccount(accountCell("007", 0).rowId));
    EXPECT_EQ(cell("SELECT count(*) FROM Foregift"), "0");
    EXPECT_EQ(cell("SELECT count(*) FROM Account WHERE 账号编号='007'"), "0");

    // 510 accounts: the list is full, even with 001 still free.
    for (int n = 7; n >= 2; --n)
        ASSERT_TRUE(env.exec("INSERT INTO Account VALUES (?,'','4','0','1','普通')",
                             {QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'))}));
    ASSERT_TRUE(params->accounts());
    EXPECT_EQ(params->nextAccountNumber().reason(), "账号已经申请完毕！");
    EXPECT_FALSE(params->addAccount());
}

TEST_F(UserParametersTest, ACallChargedDuringABatchKeepsItsBalanceAndItsDemotion)
{
    // Port 5 is passed early in the batch, port 100 late.
    env.addDeposit("5", "805", "0.50");
    env.addDeposit("100", "900", "20.00");
    UserAmendRun r(*params, plan(int(UserField::Class), 0, 119, "5"), env.link.get());
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(test::waitFor(
        [&] {
            env.clock.advanceMs(100);
            return r.done() >= 30;
        },
        20000));
    ASSERT_TRUE(r.isRunning());

    // Two calls now: port 5's deposit runs out, port 100's goes down.
    env.intake->ProcessCallRecord(test::callFrame(5, 10, 1860));
    const QString fee5 = env.intake->currentRecord().Fee;
    env.intake->ProcessCallRecord(test::callFrame(100, 11, 1860));
    const QString fee100 = env.intake->currentRecord().Fee;
    ASSERT_GT(fee5.toDouble(), 0.5);
    const QString balance5 = env.rowOf("Foregift", "物理端口", "5").value(4);
    const QString balance100 = env.rowOf("Foregift", "物理端口", "100").value(4);
    EXPECT_TRUE(balance5.startsWith('-'));

    ASSERT_TRUE(test::waitFor(
        [&] {
            env.clock.advanceMs(100);
            return !r.isRunning();
        },
        30000));
    // The batch wrote classes only: both balances stand as charged.
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "5").value(4), balance5);
    EXPECT_EQ(env.rowOf("Foregift", "物理端口", "100").value(4), balance100);
    // Port 5 keeps its demotion, in the table and in the switch: the batch's
    // command for it had gone before the demotion's.
    EXPECT_EQ(user(5).value(3), "1");
    EXPECT_EQ(user(100).value(3), "5");
    EXPECT_EQ(user(6).value(3), "5");

    const QStringList got = drained();
    sim::ParameterMemory memory;
    for (const QString &code : got)
        if (code.startsWith('*')) {
            EXPECT_TRUE(memory.apply(code).applied) << code.toStdString();
        }
    for (int p = 0; p < 120; ++p)
        EXPECT_EQ(memory.byte(sim::ParameterMemory::ClassBlock, p) & 0x0F, user(p).value(3).toInt()) << p;
    EXPECT_EQ(got.count("*10*1*805#"), 1);
    EXPECT_LT(got.indexOf("*10*5*805#"), got.indexOf("*10*1*805#"));
}

} // namespace
