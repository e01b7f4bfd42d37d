// The rules of the client register and the blacklist, without the window.
#include "ClientRegisters.h"
#include "ConsoleContext.h"
#include "TestHome.h"
#include <gtest/gtest.h>

using namespace corvane;

TEST(ClientRules, KeyAndNumberFields)
{
    const ClientRules rules;
    struct KeyCase {
        const char *key;
        bool ok;
    };
    for (const KeyCase &c : {KeyCase{"1", true}, KeyCase{"0001", true}, KeyCase{"9999", true}, KeyCase{"12345", false},
                             KeyCase{"", false}, KeyCase{"12a", false}, KeyCase{"一二", false}, KeyCase{"-1", false},
                             KeyCase{"1.5", false}, KeyCase{"'1'", false}, KeyCase{"１２", false}}) {
        const Status s = rules.checkKey(QString::fromUtf8(c.key));
        EXPECT_EQ(bool(s), c.ok) << c.key;
        if (!s) {
            EXPECT_EQ(s.reason(), QStringLiteral("客户编号必须是数字，长度不能超过4位！"));
        }
    }

    struct FieldCase {
        int field;
        const char *text;
        const char *refusal; // nullptr: accepted
    };
    const FieldCase fields[] = {
        {0, "ab", "请输入数字作为客户编号！"},
        {0, "", "请输入数字作为客户编号！"}, // the client number is required
        {0, "12", nullptr},
        {4, "传真", "请输入数字作为电话号码！"},
        {4, "", nullptr}, // fax and phones may stay empty
        {4, "  ", nullptr},
        {15, "139 0000", "请输入数字作为电话号码！"},
        {15, "13900001111", nullptr},
        {19, "电话", "请输入数字作为电话号码！"},
        {5, "任何文字 'x'", nullptr}, // the address is free text
        {9, "备注", nullptr},
    };
    for (const FieldCase &c : fields) {
        const Status s = rules.checkField(c.field, QString::fromUtf8(c.text));
        if (!c.refusal) {
            EXPECT_TRUE(s) << c.field << " " << c.text;
            continue;
        }
        ASSERT_FALSE(s) << c.field << " " << c.text;
        EXPECT_EQ(s.reason(), QString::fromUtf8(c.refusal));
    }
    EXPECT_EQ(rules.stored(10, QStringLiteral(" 13800138000 ")), QStringLiteral("13800138000"));
    EXPECT_EQ(rules.stored(1, QStringLiteral(" 李四 ")), QStringLiteral(" 李四 "));
}

TEST(BlacklistRules, FifteenDigitsAtMostAndAFreeRemark)
{
    const BlacklistRules rules;
    EXPECT_TRUE(rules.checkKey(QStringLiteral("123456789012345")));
    EXPECT_EQ(rules.checkKey(QStringLiteral("1234567890123456")).reason(),
              QStringLiteral("电话号码长度不能超过15位，也不能为空！"));
    EXPECT_FALSE(rules.checkKey(QString()));
    for (const char *bad : {"", "55S1234", "５５５", "推销电话"})
        EXPECT_EQ(rules.checkField(0, QString::fromUtf8(bad)).reason(), QStringLiteral("请输入数字作为电话号码！"))
            << bad;
    EXPECT_TRUE(rules.checkField(0, QStringLiteral("5551234")));
    EXPECT_TRUE(rules.checkField(1, QString()));
    EXPECT_EQ(rules.stored(0, QStringLiteral(" 5551234 ")), QStringLiteral("5551234"));
    EXPECT_EQ(rules.stored(1, QStringLiteral(" 他说\"别再打\" ")), QStringLiteral(" 他说\"别再打\" "));
}

TEST(ClientRegistersTest, ClientsSortByNumberAsTextAndBlacklistKeepsTableOrder)
{
    test::TestHome home;
    Database db;
    ASSERT_TRUE(test::createSwitchDb(db, home.file(QStringLiteral("data/Switch.mdb"))));
    ClientRegisters r(db);
    for (const char *number : {"12", "0001", "3"}) {
        (void)r.clients.add();
        QStringList texts(ClientRules::Fields, QString());
        texts[0] = QString::fromUtf8(number);
        ASSERT_TRUE(r.clients.save(texts)) << number;
    }
    QStringList order;
    for (const QStringList &row : r.clients.rows().rows)
        order << row.value(0);
    EXPECT_EQ(order, (QStringList{"0001", "12", "3"}));
    EXPECT_EQ(r.clients.rows().columns.value(0), QStringLiteral("编号"));
    EXPECT_EQ(r.clients.rows().columns.size(), ClientRules::Fields);

    for (const char *number : {"9", "1"}) {
        (void)r.blacklist.add();
        ASSERT_TRUE(r.blacklist.save({QString::fromUtf8(number), QString()}));
    }
    EXPECT_EQ(r.blacklist.rows().row(0).value(0), QStringLiteral("9"));
    EXPECT_EQ(r.blacklist.rows().row(1).value(0), QStringLiteral("1"));
}
