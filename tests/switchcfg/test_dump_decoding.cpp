// Decoding of hand-written dump blocks into comparison rows, the checksum
// test before a block's rows are trusted, the row count and the verdicts.
#include "DumpFixture.h"
#include "DumpValues.h"
#include "SwitchTables.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Block 0 with 120 extensions (byte 6 = 0x0F), 计费方式 0x3A, 附加费类型 0x01
// and agent operator 2 on port 0x1F (flag byte 80 = 0x01, port byte 81).
// Checksum: 0x67 + 0x0F + 0x3A + 0x01 + 0x01 + 0x1F = 0xD1.
QString block0WithAgent()
{
    return blockText({{4, 0x67}, {6, 0x0F}, {8, 0x3A}, {52, 0x01}, {80, 0x01}, {81, 0x1F}}, 0xD1);
}
// The same capacity with 附加费类型 0x00 and agent 2's flag 0x00:
// 0x67 + 0x0F + 0x1F = 0x95.
QString block0WithoutAgent() { return blockText({{4, 0x67}, {6, 0x0F}, {52, 0x00}, {80, 0x00}, {81, 0x1F}}, 0x95); }
// Local prefix 80 in slot 0: byte 48 = 0x00, byte 0 = 0x8A; 1 + 0x8A = 0x8B.
QString block1Prefix80() { return blockText({{48, 0x00}, {0, 0x8A}}, 0x8B); }
// Special number 11010 in slot 0: bytes 156, 104, 52, 0 = 00 01 1A 1A; 2 + 0x01 + 0x1A + 0x1A = 0x37.
QString block2Special11010() { return blockText({{156, 0x00}, {104, 0x01}, {52, 0x1A}, {0, 0x1A}}, 0x37); }
// Extension on port 0 numbered 801: block 6 byte 0 = 0x00 (checksum 6), block 5
// byte 120 = 0x08 and byte 0 = 0xA1 (5 + 0x08 + 0xA1 = 0xAE).
QString block5Number801() { return blockText({{120, 0x08}, {0, 0xA1}}, 0xAE); }

class DumpDecoding : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('80', '本地80', '5')"));
        env.exec(QStringLiteral("INSERT INTO SPCPhone VALUES ('11010')"));
        env.exec(QStringLiteral("UPDATE User SET 用户号码='801' WHERE 物理端口='0'"));
    }
    DumpEnv env;
};

TEST_F(DumpDecoding, WorkedExamplesOfTheProtocol)
{
    struct Case {
        const char *what;
        bool withAgent;
        int row;
        QString switchValue;
        QString verdict;
    };
    const Case cases[] = {
        {"capacity 0x0F is 120 extensions", true, 5, QStringLiteral("120"), QStringLiteral("数据一致--5")},
        {"计费方式 shows its two hex digits", true, 7, QStringLiteral("3A"), QStringLiteral("不可比照--7")},
        {"附加费类型 0x01", true, 34, QStringLiteral("金额"), QStringLiteral("不可比照--34")},
        {"附加费类型 0x00", false, 34, QStringLiteral("百分比"), QStringLiteral("不可比照--34")},
        {"agent 2 flag 0x01 port 0x1F", true, 44, QStringLiteral("31"), QStringLiteral("不可比照--44")},
        {"agent 2 flag 0x00", false, 44, QString(), QStringLiteral("数据一致--44")},
        {"local prefix 80", true, 49, QStringLiteral("80"), QStringLiteral("数据一致--49")},
        {"special-service number 11010", true, 97, QStringLiteral("11010"), QStringLiteral("数据一致--97")},
        {"extension 801 on port 0", true, 305, QStringLiteral("801"), QStringLiteral("数据一致--305")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        env.runDump({{0, c.withAgent ? block0WithAgent() : block0WithoutAgent()},
                     {1, block1Prefix80()},
                     {2, block2Special11010()},
                     {5, block5Number801()}});
        ASSERT_TRUE(env.dump->complete());
        const ComparisonRow &r = env.dump->row(c.row);
        EXPECT_EQ(r.row, c.row);
        EXPECT_EQ(r.switchValue, c.switchValue);
        EXPECT_EQ(r.verdictText, c.verdict);
    }
}

TEST_F(DumpDecoding, CaptionsAndDatabaseCounterparts)
{
    env.runDump({{0, block0WithAgent()}, {5, block5Number801()}});
    struct Case {
        int row;
        QString item, detail, dbValue, table;
        QString column;
        QString key;
    };
    const Case cases[] = {
        {5, QStringLiteral("交换机"), QStringLiteral("分机门数"), QStringLiteral("120"), QStringLiteral("SWTConfig"),
         ConfigTable::columnName(ConfigField::Capacity), QString()},
        {23, QStringLiteral("交换机"), QStringLiteral("国内长途延时时间"), QStringLiteral("10"),
         QStringLiteral("Feesetting"), columnName(SwitchTables::Delays, DelayColumn::Domestic), QString()},
        {44, QStringLiteral("代理总机（物理端口）"), QStringLiteral("2"), QString(), QStringLiteral("SWTConfig"),
         ConfigTable::columnName(ConfigField::Agent2), QString()},
        {150, QStringLiteral("中继出局方式"), QStringLiteral("1号中继"), QStringLiteral("直局"),
         QStringLiteral("Exchange"), TrunkTable::columnName(TrunkField::OutgoingMode), QStringLiteral("1")},
        {161, QStringLiteral("虚拟总机5（物理端口）"), QStringLiteral("1号中继"), QString(), QStringLiteral("Exchange"),
         TrunkTable::columnName(TrunkField::Virtual5), QStringLiteral("1")},
        {305, QStringLiteral("分机号码"), QStringLiteral("第1门"), QStringLiteral("801"), QStringLiteral("User"),
         UserTable::columnName(UserField::Number), QStringLiteral("0")},
        {313 + 9 * 119, QStringLiteral("分机中继分组"), QStringLiteral("第120门"), QStringLiteral("0"),
         QStringLiteral("User"), UserTable::columnName(UserField::TrunkGroup), QStringLiteral("119")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row);
        const ComparisonRow &r = env.dump->row(c.row);
        EXPECT_EQ(r.item, c.item);
        EXPECT_EQ(r.detail, c.detail);
        EXPECT_EQ(r.dbValue, c.dbValue);
        EXPECT_EQ(r.db.table, c.table);
        EXPECT_EQ(r.db.column, c.column);
        EXPECT_EQ(r.db.key, c.key);
    }
    // Date and time compare with the console's clock (2026-12-08 01:42).
    EXPECT_EQ(env.dump->row(26).dbValue, QStringLiteral("261208"));
    EXPECT_EQ(env.dump->row(27).dbValue, QStringLiteral("0142"));
    EXPECT_EQ(env.dump->row(26).db.source, DbRef::Source::ConsoleDate);
    EXPECT_EQ(env.dump->row(1).db.source, DbRef::Source::None);
}

TEST_F(DumpDecoding, BytesOutsideTheirListsAreShownInvalid)
{
    // A byte that is no position of its list is neither an element of it nor
    // an empty cell; the row disagrees with the database and says why. A
    // flag byte is no list: only its digit value 1 means "in use".
    struct Case {
        const char *what;
        int block;
        QString text;
        int row;
        QString switchValue;
        bool valid;
    };
    const Case cases[] = {
        // 0x0A read as decimal digits up to the letter would be 0, "百分比".
        {"fee type 0x0A", 0, blockText({{6, 0x0F}, {52, 0x0A}}, 0x19), 34, QStringLiteral("无效值0A"), false},
        {"outgoing mode 0x05", 4, blockText({{12, 0x05}}, 0x09), 150, QStringLiteral("无效值05"), false},
        // A flagged port is in use only when its flag's digit value is 1;
        // any other flag is an unused slot, shown empty.
        {"virtual operator flag 0x01", 4, blockText({{144, 0x01}, {132, 0x07}}, 0x0C), 157, QStringLiteral("7"), true},
        {"virtual operator flag 0x02", 4, blockText({{144, 0x02}, {132, 0x07}}, 0x0D), 157, QString(), true},
        {"virtual operator flag 0xFF", 4, blockText({{144, 0xFF}, {132, 0x07}}, 0xFF + 0x07 + 4), 157, QString(), true},
        {"virtual operator flag 0x11", 4, blockText({{144, 0x11}, {132, 0x07}}, 0x11 + 0x07 + 4), 157, QString(), true},
        {"trunk on 0x01", 4, blockText({{96, 0x01}}, 0x05), 155, QStringLiteral("√"), true},
        // Class and local right sit in the second hex digit: 0x34 is class 4, 0x11 is "√".
        {"class in the low nibble", 27, blockText({{0, 0x34}}, 0x34 + 27), 310, QStringLiteral("4"), true},
        {"local right in the low nibble", 31, blockText({{0, 0x11}}, 0x11 + 31), 311, QStringLiteral("√"), true},
        {"local right nibble 0xA", 31, blockText({{0, 0x0A}}, 0x0A + 31), 311, QStringLiteral("无效值0A"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QMap<int, QString> blocks{{c.block, c.text}};
        if (c.block != 0)
            blocks.insert(0, blockText({{6, 0x0F}}, 0x0F));
        env.runDump(blocks);
        ASSERT_TRUE(env.dump->complete());
        const ComparisonRow &r = env.dump->row(c.row);
        EXPECT_EQ(r.switchValue, c.switchValue);
        EXPECT_EQ(r.switchValueValid, c.valid);
        // Never "数据一致": with a database value it disagrees, without one it
        // cannot be compared.
        if (!c.valid) {
            EXPECT_EQ(r.verdict, r.dbValue.isEmpty() ? Verdict::NotComparable : Verdict::Different);
        }
    }
}

TEST_F(DumpDecoding, LocalPrefixesAndSpecialNumbersCompareAsLists)
{
    // The switch keeps 81 in slot 0 and 80 in slot 1; the table lists them
    // in 区号 order and also has 82, which the switch lacks.
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('82', '本地82', '5')"));
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('81', '本地81', '5')"));
    // slot 0: 00 81, slot 1: 00 8A; 1 + 0x81 + 0x8A = 0x10C
    const QString block1 = blockText({{0, 0x81}, {1, 0x8A}}, 0x0C);
    env.runDump({{1, block1}});
    EXPECT_EQ(env.dump->row(49).switchValue, QStringLiteral("81"));
    EXPECT_EQ(env.dump->row(49).verdictText, QStringLiteral("数据一致--49"));
    EXPECT_EQ(env.dump->row(50).switchValue, QStringLiteral("80"));
    EXPECT_EQ(env.dump->row(50).verdictText, QStringLiteral("数据一致--50"));
    EXPECT_EQ(env.dump->row(51).switchValue, QString());
    EXPECT_EQ(env.dump->row(51).dbValue, QStringLiteral("82"));
    EXPECT_EQ(env.dump->row(51).verdictText, QStringLiteral("数据不一致--51"));
    EXPECT_EQ(env.dump->row(52).verdictText, QStringLiteral("数据一致--52"));
    // The "本地默认" row is no prefix of the switch and is never compared.
    for (int n = 49; n <= 96; ++n)
        EXPECT_NE(env.dump->row(n).dbValue, QStringLiteral("本地默认"));
}

TEST_F(DumpDecoding, ChecksumIsTestedBeforeTheRowsAreTrusted)
{
    ASSERT_TRUE(env.dump->start());
    // 0xD2 is one more than the right sum 0xD1.
    env.dump->DecodeParameterBlock(
        blockText({{4, 0x67}, {6, 0x0F}, {8, 0x3A}, {52, 0x01}, {80, 0x01}, {81, 0x1F}}, 0xD2));
    EXPECT_EQ(env.link.events, (QStringList{"collect 0", "request", "nak"}));
    EXPECT_EQ(env.dump->DumpErrorCount(), 1);
    EXPECT_EQ(env.dump->DumpBlockNo(), 0);
    EXPECT_EQ(env.dump->rowCount(), 0); // nothing of the bad block is shown
    EXPECT_TRUE(env.dump->DumpMode());

    env.dump->DecodeParameterBlock(block0WithAgent());
    EXPECT_EQ(env.link.events.mid(3), (QStringList{"collect 1", "ack"}));
    EXPECT_EQ(env.dump->DumpErrorCount(), 1); // a good block does not clear the count
    EXPECT_EQ(env.dump->DumpBlockNo(), 1);
    EXPECT_EQ(env.dump->row(7).switchValue, QStringLiteral("3A"));

    // A damaged repeat of block 1 does not touch the rows of block 0.
    env.dump->DecodeParameterBlock(blockText({{48, 0x00}, {0, 0x8A}}, 0x8A));
    EXPECT_EQ(env.dump->DumpErrorCount(), 2);
    EXPECT_FALSE(env.dump->row(49).decoded());
    env.dump->DecodeParameterBlock(block1Prefix80());
    EXPECT_EQ(env.dump->row(49).switchValue, QStringLiteral("80"));
    EXPECT_EQ(env.link.answers(), (QStringList{"nak", "ack", "nak", "ack"}));
}

// The sum runs over all 256 data bytes: a block whose last byte is not zero
// is taken with the sum that counts it and refused with one that leaves it out.
TEST_F(DumpDecoding, TheChecksumCountsTheLastDataByte)
{
    ASSERT_TRUE(env.dump->start());
    // 0x0F + 0x37 = 0x46; without byte 255 it would be 0x0F.
    env.dump->DecodeParameterBlock(blockText({{6, 0x0F}, {255, 0x37}}, 0x0F));
    EXPECT_EQ(env.link.answers(), QStringList{"nak"});
    EXPECT_EQ(env.dump->DumpErrorCount(), 1);
    EXPECT_EQ(env.dump->rowCount(), 0);
    env.dump->DecodeParameterBlock(blockText({{6, 0x0F}, {255, 0x37}}, 0x46));
    EXPECT_EQ(env.link.answers(), (QStringList{"nak", "ack"}));
    EXPECT_EQ(env.dump->DumpErrorCount(), 1);
    EXPECT_EQ(env.dump->DumpBlockNo(), 1);
    EXPECT_EQ(env.dump->row(5).switchValue, QStringLiteral("120"));
}

TEST_F(DumpDecoding, MalformedBlockTextsAreRefused)
{
    const QString good = emptyBlock(0);
    QString lower = blockText({{6, 0xAB}}, 0xAB).toLower();
    const QString cases[] = {
        good.left(513),
        good + QStringLiteral("0"),
        QString(),
        QString(good).replace(10, 1, QStringLiteral("G")),
        QString(good).replace(0, 2, QStringLiteral(" 0")),
    };
    for (const QString &text : cases) {
        SCOPED_TRACE(text.left(12).toStdString());
        ASSERT_TRUE(env.dump->start());
        env.link.events.clear();
        env.dump->DecodeParameterBlock(text);
        EXPECT_EQ(env.link.events, QStringList{"nak"});
        EXPECT_EQ(env.dump->DumpBlockNo(), 0);
        env.dump->abandon();
    }
    // Lower-case digits are still the same bytes.
    ASSERT_TRUE(env.dump->start());
    env.link.events.clear();
    env.dump->DecodeParameterBlock(lower);
    EXPECT_EQ(env.link.events, (QStringList{"collect 1", "ack"}));
}

TEST_F(DumpDecoding, RowCountFollowsTheCapacity)
{
    struct Case {
        const char *what;
        QString databaseCapacity;
        int byte6;
        int ports;
    };
    const Case cases[] = {
        {"eight on both sides", QStringLiteral("8"), 0x01, 8},
        {"120 on both sides", QStringLiteral("120"), 0x0F, 120},
        {"switch reports more than the database", QStringLiteral("8"), 0x0F, 120},
        {"database holds more than the switch", QStringLiteral("64"), 0x02, 64},
        {"damaged capacity byte", QStringLiteral("64"), 0x20, 120},
        {"no capacity at all", QStringLiteral("abc"), 0x00, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        env.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量=?"), {c.databaseCapacity});
        QSignalSpy finished(env.dump.get(), &ParameterDump::finished);
        env.runDump({{0, blockText({{6, c.byte6}}, c.byte6)}});
        ASSERT_TRUE(env.dump->complete());
        EXPECT_EQ(env.dump->extensionPorts(), c.ports);
        EXPECT_EQ(env.dump->rowCount(), 304 + 9 * c.ports);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_EQ(env.dump->tipText(), QStringLiteral("信息比照结束！"));
        EXPECT_FALSE(env.dump->DumpMode());
        EXPECT_EQ(env.link.events.mid(env.link.events.size() - 2), (QStringList{"end", "ack"}));
        // Every row carries a verdict ending in its own number.
        for (int n = 1; n <= env.dump->rowCount(); ++n) {
            const ComparisonRow &r = env.dump->row(n);
            ASSERT_NE(r.verdict, Verdict::None) << n;
            ASSERT_TRUE(r.verdictText.endsWith(QStringLiteral("--%1").arg(n))) << n;
        }
        EXPECT_TRUE(env.dump->row(env.dump->rowCount() + 1).verdictText.isEmpty());
    }
    // The damaged byte shows as 256 extensions and cannot agree with the database.
    env.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='64'"));
    env.runDump({{0, blockText({{6, 0x20}}, 0x20)}});
    EXPECT_EQ(env.dump->row(5).switchValue, QStringLiteral("256"));
    EXPECT_FALSE(env.dump->row(5).switchValueValid);
    EXPECT_EQ(env.dump->row(5).verdictText, QStringLiteral("数据不一致--5"));
}

TEST(Verdicts, TextsAndColours)
{
    struct Case {
        QString s, d;
        Verdict v;
        QString text;
        int palette;
        unsigned rgb;
    };
    const Case cases[] = {
        {QStringLiteral(" 5 "), QStringLiteral("5"), Verdict::Same, QStringLiteral("数据一致--5"), 10, 0x00FF00},
        {QString(), QString(), Verdict::Same, QStringLiteral("数据一致--5"), 10, 0x00FF00},
        {QStringLiteral("5"), QStringLiteral(" "), Verdict::NotComparable, QStringLiteral("不可比照--5"), 7, 0xC0C0C0},
        {QStringLiteral("5"), QStringLiteral("6"), Verdict::Different, QStringLiteral("数据不一致--5"), 12, 0xFF0000},
        {QString(), QStringLiteral("6"), Verdict::Different, QStringLiteral("数据不一致--5"), 12, 0xFF0000},
    };
    for (const Case &c : cases) {
        const Verdict v = CompareValues(c.s, c.d);
        EXPECT_EQ(v, c.v);
        EXPECT_EQ(VerdictText(v, 5), c.text);
        EXPECT_EQ(VerdictPaletteIndex(v), c.palette);
        EXPECT_EQ(PaletteRgb(VerdictPaletteIndex(v)), c.rgb);
    }
    EXPECT_EQ(PaletteRgb(0), 0x000000u);
    EXPECT_EQ(PaletteRgb(15), 0xFFFFFFu);
}

TEST(DumpValueRules, DigitValueStopsAtTheFirstLetter)
{
    EXPECT_EQ(DumpValue::Digit(0x12), 12);
    EXPECT_EQ(DumpValue::Digit(0x01), 1);
    EXPECT_EQ(DumpValue::Digit(0x1A), 1);
    EXPECT_EQ(DumpValue::Digit(0xA1), 0);
    EXPECT_EQ(DumpValue::Hex(0x12), QStringLiteral("18"));
    EXPECT_EQ(DumpValue::Digits({0x00, 0x01, 0x1A, 0x1A}), QStringLiteral("11010"));
    EXPECT_EQ(DumpValue::Digits({0x00, 0x8A}), QStringLiteral("80"));
}

} // namespace

TEST_F(DumpDecoding, AgentAndVirtualOperatorListsCompareClosedUp)
{
    // The database names agent 2 and virtual operator 2 of trunk 1 only; the
    // switch, keyed "*49*0#" then one "*49*" per named agent, holds each in
    // its first slot.
    env.exec(QStringLiteral("UPDATE SWTConfig SET 代理总机2='31'"));
    env.exec(QStringLiteral("UPDATE Exchange SET 虚拟总机2='7' WHERE 中继='1'"));
    // Block 0: 120 extensions, agent slot 1 flag byte 78 = 0x01, port byte 79 = 0x1F;
    // 0x67 + 0x0F + 0x01 + 0x1F = 0x96.
    const QString block0 = blockText({{4, 0x67}, {6, 0x0F}, {78, 0x01}, {79, 0x1F}}, 0x96);
    // Block 4: trunk 1 virtual slot 1 flag byte 144 = 0x01, port byte 132 = 0x07; 4 + 0x01 + 0x07 = 0x0C.
    const QString block4 = blockText({{144, 0x01}, {132, 0x07}}, 0x0C);
    env.runDump({{0, block0}, {4, block4}});
    ASSERT_TRUE(env.dump->complete());
    EXPECT_EQ(env.dump->row(43).switchValue, QStringLiteral("31"));
    EXPECT_EQ(env.dump->row(43).dbValue, QStringLiteral("31"));
    EXPECT_EQ(env.dump->row(43).verdictText, QStringLiteral("数据一致--43"));
    EXPECT_EQ(env.dump->row(44).verdictText, QStringLiteral("数据一致--44"));
    EXPECT_EQ(env.dump->row(157).switchValue, QStringLiteral("7"));
    EXPECT_EQ(env.dump->row(157).verdictText, QStringLiteral("数据一致--157"));
    EXPECT_EQ(env.dump->row(158).verdictText, QStringLiteral("数据一致--158"));
}
