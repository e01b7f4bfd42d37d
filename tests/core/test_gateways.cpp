#include "AccountTable.h"
#include "BillTable.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DepositTable.h"
#include "MoneyJournal.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "TrunkTable.h"
#include "UserTable.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::Ok(test::createSwitchDb(db, home.file("data/Switch.mdb")))); }

    UserRow user(const QString &port)
    {
        const auto u = UserTable(db).byPort(port);
        EXPECT_TRUE(test::Ok(u));
        return u && *u ? **u : UserRow();
    }

    test::TestHome home;
    Database db;
};

// The rules that follow a user: its deposit row is found by its port whatever
// its number is now, takes every new number, and an account's deposit with
// the same key text is another row.
TEST_F(GatewayTest, ADepositFollowsItsUserAndAnAccountsDepositStaysApart)
{
    UserTable users(db);
    DepositTable deposits(db);
    ASSERT_TRUE(test::Ok(users.write(user("12").rowId, {{UserField::PayType, UserTable::Prepaid}})));
    ASSERT_TRUE(test::Ok(deposits.addForUser(user("12"))));
    ASSERT_TRUE(test::Ok(deposits.addForUser(user("12")))) << "a second add is no second row";
    AccountRow account;
    account.set(AccountField::Number, QStringLiteral("12"));
    account.set(AccountField::Name, QStringLiteral("前台"));
    account.set(AccountField::Class, QStringLiteral("4"));
    account.set(AccountField::Password, QStringLiteral("5150"));
    ASSERT_TRUE(test::Ok(deposits.addForAccount(account)));

    for (const QString &number : QStringList{QStringLiteral("8120"), QStringLiteral("555")}) {
        ASSERT_TRUE(test::Ok(users.renumber(user("12").rowId, number)));
        const auto own = deposits.ofExtension(QStringLiteral("12"));
        ASSERT_TRUE(own && *own);
        EXPECT_EQ((*own)->number(), number);
        EXPECT_EQ(users.numberOf(QStringLiteral("12")), number);
        EXPECT_EQ(users.portOf(number), QStringLiteral("12"));
    }
    const auto acct = deposits.ofAccount(QStringLiteral("12"));
    ASSERT_TRUE(acct && *acct);
    EXPECT_TRUE((*acct)->isAccount());
    EXPECT_EQ((*acct)->get(DepositField::Password), QStringLiteral("5150"));
    EXPECT_EQ(deposits.all()->size(), 2);

    // Charged to exactly nothing is not run out; below nothing is, and the
    // class goes down with it. Money moves only through the journal.
    const DepositRow own = **deposits.ofExtension(QStringLiteral("12"));
    EXPECT_FALSE(deposits.write(own.rowId, {{DepositField::Balance, QStringLiteral("9.00")}}))
        << "no write sets money past the journal";
    ASSERT_TRUE(test::Ok(deposits.changeDeposit(own, Money::fromText(QStringLiteral("0.80")), QStringLiteral("1"))));
    const auto even = deposits.charge(**deposits.ofExtension(QStringLiteral("12")),
                                      Money::fromText(QStringLiteral("0.80")), 1, QStringLiteral("1"));
    ASSERT_TRUE(even);
    EXPECT_FALSE(even->overrun);
    // The user row is gone (a deposit row left behind): the switch is still
    // told the extension by the number the deposit row has, never its port.
    ASSERT_TRUE(test::Ok(db.exec(QStringLiteral("DELETE FROM User WHERE rowid=?"), {user("12").rowId})));
    const auto over = deposits.charge(**deposits.ofExtension(QStringLiteral("12")),
                                      Money::fromText(QStringLiteral("0.05")), 2, QStringLiteral("1"));
    ASSERT_TRUE(over);
    EXPECT_TRUE(over->overrun);
    EXPECT_EQ(over->commands, QStringList{QStringLiteral("*10*1*555#")}) << "by its number, never its port";
    const DepositRow after = **deposits.ofExtension(QStringLiteral("12"));
    EXPECT_EQ(after.get(DepositField::Balance), QStringLiteral("-0.05"));
    EXPECT_EQ(after.get(DepositField::Class), QStringLiteral("1"));
    EXPECT_EQ((*deposits.ofAccount(QStringLiteral("12")))->balance(), Money()) << "the account's deposit is untouched";
    EXPECT_EQ(*MoneyJournal(db).mismatches(), QStringList()) << "the balance is its journal";
}

// A call record goes in with its fourteen columns and comes back the same,
// whatever state it was given; marking and deleting name it by row id and
// only while it is still the listed record.
TEST_F(GatewayTest, ACallRecordWrittenAndReadBackIsTheSameRecord)
{
    BillTable bills(db);
    BillRecord r;
    const QStringList values{
        QStringLiteral("801"),    QStringLiteral("02087654321"), QStringLiteral("2026年12月09日10时30分"),
        QStringLiteral("95"),     QStringLiteral("0.30"),        QStringLiteral("广州"),
        QStringLiteral("0.70"),   QStringLiteral("2"),           QStringLiteral("0.05"),
        QStringLiteral("0.05"),   QStringLiteral("0.60"),        QStringLiteral("已结算"),
        QStringLiteral("营业部"), QStringLiteral("张'三")};
    r.values = values;
    const auto id = bills.append(r);
    ASSERT_TRUE(test::Ok(id));
    BillTable::Selection all{{QStringLiteral("801")},
                             {QStringLiteral("2")},
                             {BillTable::notSettledText(), BillTable::settledText()},
                             QStringLiteral("2026年12月09日10"),
                             QStringLiteral("2026年12月09日10")};
    const auto back = bills.select(all);
    ASSERT_TRUE(test::Ok(back));
    ASSERT_EQ(back->size(), 1);
    QStringList expected = values;
    expected[int(BillField::State)] = BillTable::notSettledText();
    EXPECT_EQ(back->first().values, expected);
    EXPECT_EQ(back->first().rowId, *id);
    EXPECT_EQ(back->first().fee(), Money::fromText(QStringLiteral("0.70")));

    all.toHour = QStringLiteral("2026年12月09日09");
    EXPECT_TRUE(bills.select(all)->isEmpty()) << "an hour before the record";

    EXPECT_FALSE(*bills.markSettled(*id, QStringLiteral("802"), r.endTime())) << "another caller";
    EXPECT_TRUE(*bills.markSettled(*id, QStringLiteral("801"), r.endTime()));
    EXPECT_FALSE(*bills.markSettled(*id, QStringLiteral("801"), r.endTime())) << "settled once";
    EXPECT_FALSE(*bills.removeListed(*id, QStringLiteral("801"), QStringLiteral("2026年12月09日10时31分")));
    EXPECT_TRUE(*bills.removeListed(*id, QStringLiteral("801"), r.endTime()));
}

// The configuration row is written field by field: nothing else changes, and
// a table without its row says so instead of writing nowhere.
TEST_F(GatewayTest, ConfigurationFieldsAreWrittenAloneAndAMissingRowIsAFailure)
{
    ConfigTable config(db);
    const ConfigRow before = *config.read();
    ASSERT_TRUE(test::Ok(config.write(
        {{ConfigField::OutwardPort, QStringLiteral("2")}, {ConfigField::FilePath, QStringLiteral("/x/")}})));
    ConfigRow expected = before;
    expected.set(ConfigField::OutwardPort, QStringLiteral("2"));
    expected.set(ConfigField::FilePath, QStringLiteral("/x/"));
    EXPECT_EQ(config.read()->values, expected.values);
    EXPECT_EQ(config.value(ConfigField::FilePath), QStringLiteral("/x/"));

    ASSERT_TRUE(db.exec(QStringLiteral("DELETE FROM SWTConfig")));
    EXPECT_FALSE(config.read());
    EXPECT_FALSE(config.write(ConfigField::NightReset, QStringLiteral("1")));

    const auto trunk = TrunkTable(db).byTrunk(7);
    ASSERT_TRUE(trunk && *trunk);
    EXPECT_EQ((*trunk)->trunk(), QStringLiteral("7"));
    EXPECT_FALSE(*TrunkTable(db).byTrunk(13));
}

} // namespace
