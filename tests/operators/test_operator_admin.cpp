// Operator passwords, rights management and the usage record, without
// widgets: the hashes and their upgrade, the add window's checks in order,
// deleting, rights in force, the order of the usage record.
#include "ConsoleContext.h"
#include "Data.h"
#include "OperatorAdmin.h"
#include "Operators.h"
#include "PasswordHash.h"
#include "Recordset.h"
#include "TestHome.h"
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class OperatorAdminTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::createSwitchDb(ctx.db, home.file("data/Switch.mdb"), "admin")); }

    // An operator row as a database made before passwords were hashed holds it.
    void addPlainOperator(const QString &name, const QString &password, const QString &rights = QString(11, '0'))
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
        if (!op.findFirst(Criteria(op.columnNames().at(0), name)))
            return {};
        return op.currentRow();
    }
    int opCount() { return ctx.db.scalar("SELECT count(*) FROM OP").value_or("-1").toInt(); }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 8), QTime(8, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

TEST(PasswordHashTest, SaltedSelfDescribingAndVerified)
{
    const Checked<QString> a = PasswordHash::hash("密码 p'w\"d");
    const Checked<QString> b = PasswordHash::hash("密码 p'w\"d");
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->startsWith("$argon2id$")) << a->toStdString();
    EXPECT_NE(*a, *b) << "each hash has its own salt";
    EXPECT_FALSE(a->contains("密码"));
    EXPECT_TRUE(PasswordHash::isHashed(*a));
    EXPECT_TRUE(PasswordHash::verify(*a, "密码 p'w\"d"));
    EXPECT_TRUE(PasswordHash::verify(*b, "密码 p'w\"d"));
    for (const QString &wrong : QStringList{"密码 p'w\"", "密码 P'W\"D", " 密码 p'w\"d", ""})
        EXPECT_FALSE(PasswordHash::verify(*a, wrong)) << wrong.toStdString();
    EXPECT_FALSE(PasswordHash::needsUpgrade(*a));

    // A plain value is told by the missing tag, compared exactly, and upgraded.
    EXPECT_FALSE(PasswordHash::isHashed("admin"));
    EXPECT_FALSE(PasswordHash::isHashed("argon2id$x"));
    EXPECT_TRUE(PasswordHash::verify("admin", "admin"));
    EXPECT_FALSE(PasswordHash::verify("admin", "admin "));
    EXPECT_FALSE(PasswordHash::verify("admin", "Admin"));
    EXPECT_TRUE(PasswordHash::needsUpgrade("admin"));
    EXPECT_FALSE(PasswordHash::verify("", "")) << "an empty stored value matches nothing";
    // A damaged hash string matches nothing and is replaced at the next login.
    EXPECT_FALSE(PasswordHash::verify(a->left(a->size() - 4), "密码 p'w\"d"));
}

TEST(PasswordHashTest, ConsoleCostIsTheInteractiveOne)
{
    // The console itself hashes at libsodium's interactive limits (64 MiB,
    // two passes); the test programs run at the minimum. Both verify anywhere.
    const Checked<QString> cheap = PasswordHash::hash("pw");
    PasswordHash::setCost(PasswordHash::Cost::Interactive);
    const Checked<QString> real = PasswordHash::hash("pw");
    const bool cheapNeedsUpgrade = PasswordHash::needsUpgrade(*cheap);
    const bool realVerifies = PasswordHash::verify(*real, "pw");
    PasswordHash::setCost(PasswordHash::Cost::Minimum);
    ASSERT_TRUE(cheap && real);
    EXPECT_TRUE(real->contains("$m=65536,t=2,p=1$")) << real->toStdString();
    EXPECT_TRUE(realVerifies);
    EXPECT_TRUE(cheapNeedsUpgrade) << "a hash cheaper than the console's is renewed at login";
    EXPECT_TRUE(PasswordHash::verify(*real, "pw")) << "a hash carries its own cost";
}

TEST_F(OperatorAdminTest, PlainRowIsUpgradedAtItsNextSuccessfulLogin)
{
    addPlainOperator("老张", "old'pw");
    OperatorLogin login(ctx);

    // A wrong password neither logs in nor touches the row.
    EXPECT_FALSE(login.logIn("老张", "old'pw "));
    EXPECT_EQ(opRow("老张").at(1), "old'pw");

    ASSERT_TRUE(login.logIn("老张", "old'pw"));
    EXPECT_TRUE(ctx.login.OPLogin);
    const QString stored = opRow("老张").at(1);
    EXPECT_TRUE(stored.startsWith("$argon2id$")) << stored.toStdString();
    EXPECT_EQ(ctx.login.OPCode, stored);

    // From now on the hash decides.
    OperatorLogin again(ctx);
    EXPECT_FALSE(again.logIn("老张", stored)) << "the hash itself is no password";
    EXPECT_FALSE(ctx.login.OPLogin);
    EXPECT_TRUE(again.logIn("老张", "old'pw"));
    EXPECT_EQ(opRow("老张").at(1), stored) << "a current hash is not rewritten";

    // The default operator of a new database is hashed from the start.
    EXPECT_TRUE(PasswordHash::isHashed(opRow("管理员").at(1)));
    EXPECT_TRUE(again.logIn("管理员", "admin"));
}

TEST_F(OperatorAdminTest, UpgradeThatCannotBeWrittenLeavesTheLoginStanding)
{
    addPlainOperator("老李", "li");
    ASSERT_TRUE(ctx.db.exec("CREATE TRIGGER full BEFORE UPDATE ON OP BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    OperatorLogin login(ctx);
    EXPECT_TRUE(login.logIn("老李", "li"));
    EXPECT_EQ(opRow("老李").at(1), "li");
    EXPECT_EQ(ctx.login.OPCode, "li") << "the login state keeps what the row holds";
    ASSERT_TRUE(ctx.db.exec("DROP TRIGGER full"));
    EXPECT_TRUE(login.logIn("老李", "li"));
    EXPECT_TRUE(PasswordHash::verify(opRow("老李").at(1), "li"));
    EXPECT_TRUE(PasswordHash::isHashed(opRow("老李").at(1)));
}

TEST_F(OperatorAdminTest, AddChecksInOrderAndStoresAHashedOperatorWithoutRights)
{
    using Kind = OperatorAdmin::AddOutcome::Kind;
    using Field = OperatorAdmin::AddOutcome::Field;
    OperatorAdmin admin(ctx);
    ASSERT_TRUE(admin.select("管理员"));
    struct Case {
        QString name, code, confirm, reason;
        Field focus;
    };
    const QList<Case> refused = {
        {"", "", "x", "请输入操作员姓名!", Field::Name},
        {"   ", "pw", "pw", "请输入操作员姓名!", Field::Name},
        {"张三", "", "", "密码不能为空!", Field::Code},
        {"张三", "", "x", "密码不能为空!", Field::Code},
        {"张三", "pw", "pW", "密码和确认密码不相符!", Field::Code},
        {"张三", "pw", "pw ", "密码和确认密码不相符!", Field::Code},
        {"管理员", "", "", "密码不能为空!", Field::Code}, // the name is checked for existence last
    };
    for (const Case &c : refused) {
        const auto out = admin.addOperator(c.name, c.code, c.confirm);
        EXPECT_EQ(out.kind, Kind::Refused) << c.reason.toStdString();
        EXPECT_EQ(out.reason, c.reason);
        EXPECT_EQ(out.focus, c.focus) << c.reason.toStdString();
        EXPECT_EQ(admin.selectedName(), "管理员") << "a refusal keeps the selection";
    }
    EXPECT_EQ(opCount(), 1);

    const QList<QPair<QString, QString>> names = {
        {"o'brien \"ob\"", "p'w"}, {"带 空格的名字", " 空格 "}, {"王五' OR '1'='1", "x"}};
    for (const auto &[name, pw] : names) {
        const auto out = admin.addOperator(name, pw, pw);
        ASSERT_EQ(out.kind, Kind::Added) << name.toStdString() << " " << out.reason.toStdString();
        EXPECT_EQ(admin.selectedName(), name);
        const QStringList row = opRow(name);
        ASSERT_EQ(row.size(), 17);
        EXPECT_TRUE(PasswordHash::isHashed(row.at(1)));
        EXPECT_TRUE(PasswordHash::verify(row.at(1), pw));
        EXPECT_EQ(row.mid(2), QStringList(QList<QString>(15, "0")));
        EXPECT_EQ(admin.selectedRights(), QList<bool>(11, false));
    }
    EXPECT_EQ(opCount(), 4);
    EXPECT_EQ(admin.names(), QStringList({"管理员", "o'brien \"ob\"", "带 空格的名字", "王五' OR '1'='1"}));

    // Spaces around a name cannot be seen in the list or typed at the login.
    EXPECT_EQ(admin.addOperator("  赵六 ", "z", "z").kind, Kind::Added);
    EXPECT_FALSE(opRow("赵六").isEmpty());

    // A taken name: nothing added, the existing operator selected.
    ASSERT_TRUE(admin.select("管理员"));
    const auto dup = admin.addOperator("带 空格的名字", "other", "other");
    EXPECT_EQ(dup.kind, Kind::Exists);
    EXPECT_EQ(dup.reason, "该操作员已经存在!");
    EXPECT_EQ(admin.selectedName(), "带 空格的名字");
    EXPECT_EQ(admin.addOperator(" 赵六", "z", "z").kind, Kind::Exists);
    EXPECT_EQ(opCount(), 5);
    EXPECT_TRUE(PasswordHash::verify(opRow("带 空格的名字").at(1), " 空格 ")) << "the existing password stays";
    EXPECT_EQ(admin.addOperator("赵六x", "z", "z").kind, Kind::Added) << "names are compared whole";

    // The new operator logs in and has no right at all.
    OperatorLogin login(ctx);
    ASSERT_TRUE(login.logIn("o'brien \"ob\"", "p'w"));
    for (int right = 0; right <= 9; ++right)
        EXPECT_EQ(CheckGate(ctx, Right(right)).reason(), "您没有使用此功能的权限！") << right;
    EXPECT_FALSE(CheckDeleteBills(ctx));
}

TEST_F(OperatorAdminTest, AddThatTheDatabaseRefusesIsReportedAndAddsNothing)
{
    OperatorAdmin admin(ctx);
    ASSERT_TRUE(admin.select("管理员"));
    ASSERT_TRUE(ctx.db.exec("CREATE TRIGGER full BEFORE INSERT ON OP BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    const auto out = admin.addOperator("张三", "pw", "pw");
    EXPECT_EQ(out.kind, OperatorAdmin::AddOutcome::Kind::Failed);
    EXPECT_TRUE(out.reason.contains("disk is full")) << out.reason.toStdString();
    EXPECT_EQ(opCount(), 1);
    EXPECT_EQ(admin.names(), QStringList({"管理员"}));
    EXPECT_EQ(admin.selectedName(), "管理员");
}

TEST_F(OperatorAdminTest, RightsAreInForceAtOnceForTheAdministratorOnly)
{
    addPlainOperator("值班员", "z", "11111111111");
    OperatorLogin login(ctx);
    ASSERT_TRUE(login.logIn("管理员", "admin"));

    OperatorAdmin admin(ctx);
    QList<bool> some(11, false);
    some[7] = some[9] = true;

    // Another operator's rights: stored, not in force for whoever is logged in.
    ASSERT_TRUE(admin.select("值班员"));
    ASSERT_TRUE(admin.saveRights(some));
    EXPECT_EQ(opRow("值班员").mid(2, 11), QStringList({"0", "0", "0", "0", "0", "0", "0", "1", "0", "1", "0"}));
    EXPECT_EQ(opRow("值班员").at(1), "z") << "saving rights leaves the password alone";
    EXPECT_EQ(ctx.login.OPRight, QStringList(QList<QString>(11, "1")));
    ASSERT_TRUE(admin.select("管理员"));
    EXPECT_EQ(admin.names().size(), 2);
    EXPECT_EQ(admin.selectedRights(), QList<bool>(11, true)) << "listing the names keeps the selection";

    // The administrator's own rights change at once, even all of them cleared.
    ASSERT_TRUE(admin.saveRights(QList<bool>(11, false)));
    EXPECT_EQ(ctx.login.OPRight, QStringList(QList<QString>(11, "0")));
    for (int right = 0; right <= 9; ++right)
        EXPECT_FALSE(CheckGate(ctx, Right(right))) << right;
    EXPECT_TRUE(ctx.login.isAdministrator()) << "the rights entry does not depend on the rights";

    // 值班员 gets the new rights at the next login.
    OperatorLogin next(ctx);
    ASSERT_TRUE(next.logIn("值班员", "z"));
    EXPECT_TRUE(CheckGate(ctx, Right::AlarmClock));
    EXPECT_TRUE(CheckGate(ctx, Right::OperatorRecord));
    EXPECT_FALSE(CheckGate(ctx, Right::Clients));
    EXPECT_FALSE(CheckDeleteBills(ctx));

    // A write the database refuses changes nothing in force.
    ASSERT_TRUE(next.logIn("管理员", "admin"));
    ASSERT_TRUE(admin.select("管理员"));
    ASSERT_TRUE(ctx.db.exec("CREATE TRIGGER full BEFORE UPDATE ON OP BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    const Status s = admin.saveRights(QList<bool>(11, true));
    EXPECT_FALSE(s);
    EXPECT_TRUE(s.reason().startsWith("权限未能保存")) << s.reason().toStdString();
    EXPECT_EQ(ctx.login.OPRight, QStringList(QList<QString>(11, "0")));

    // Rights read as the number a column starts with.
    ASSERT_TRUE(ctx.db.exec("DROP TRIGGER full"));
    ASSERT_TRUE(
        ctx.db.exec("UPDATE OP SET \"费率折价\"=' 1', \"计费设置\"='2', \"分机闹钟\"='x' WHERE \"用户名\"='值班员'"));
    ASSERT_TRUE(admin.select("值班员"));
    const QList<bool> read = admin.selectedRights();
    EXPECT_TRUE(read.at(1));
    EXPECT_TRUE(read.at(2));
    EXPECT_FALSE(read.at(7));
}

TEST_F(OperatorAdminTest, DeleteRules)
{
    addPlainOperator("张三", "z");
    addPlainOperator("李四", "l");
    OperatorAdmin admin(ctx);

    ASSERT_TRUE(admin.select("管理员"));
    EXPECT_EQ(admin.checkDelete().reason(), "管理员用户不可删除!");
    EXPECT_FALSE(admin.deleteSelected());
    EXPECT_FALSE(opRow("管理员").isEmpty());

    EXPECT_FALSE(admin.select("无此人"));
    EXPECT_FALSE(admin.hasSelection());
    EXPECT_FALSE(admin.checkDelete()) << "nothing selected, nothing to delete";
    EXPECT_FALSE(admin.deleteSelected());
    EXPECT_FALSE(admin.saveRights(QList<bool>(11, true)));
    EXPECT_EQ(opCount(), 3);

    EXPECT_EQ(OperatorAdmin::deleteQuestion("张三"), "是否真的要删除用户  '张三'  ?");
    ASSERT_TRUE(admin.select("张三"));
    ASSERT_TRUE(admin.checkDelete());
    ASSERT_TRUE(admin.deleteSelected());
    EXPECT_TRUE(opRow("张三").isEmpty());
    EXPECT_FALSE(opRow("李四").isEmpty());
    EXPECT_EQ(admin.names(), QStringList({"管理员", "李四"}));

    ASSERT_TRUE(admin.select("李四"));
    ASSERT_TRUE(ctx.db.exec("CREATE TRIGGER keep BEFORE DELETE ON OP BEGIN SELECT RAISE(ABORT, 'locked'); END"));
    const Status s = admin.deleteSelected();
    EXPECT_FALSE(s);
    EXPECT_TRUE(s.reason().contains("locked"));
    EXPECT_FALSE(opRow("李四").isEmpty());
}

TEST_F(OperatorAdminTest, UsageRecordInTheOrderOfItsSerialsAsNumbers)
{
    // Written out of order on purpose; the serials pass five digits.
    const QStringList serials = {"100000", "99999", "00010", "00002", "100001", "00001", "99998"};
    for (const QString &s : serials)
        ASSERT_TRUE(ctx.db.exec("INSERT INTO OPRec VALUES (?, ?, '2026年12月08日08:00:00', '2026年12月08日09:00:00')",
                                {s, "op" + s}));
    const TableRows rows = OperatorRecords(ctx);
    ASSERT_EQ(rows.columns, QStringList({"序号", "操作员", "登录时间", "登出时间"}));
    QStringList order;
    for (const QStringList &r : rows.rows)
        order << r.at(0);
    EXPECT_EQ(order, QStringList({"00001", "00002", "00010", "99998", "99999", "100000", "100001"}));
    EXPECT_EQ(rows.rows.at(5).at(1), "op100000");
}
