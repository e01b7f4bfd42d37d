// The parameter memory: star codes land where the console reads them back
// from the dump, and the dump blocks carry the marker and checksum it checks.
#include "CommandDecoder.h"
#include "Frames.h"
#include "ParameterMemory.h"
#include "TestPrint.h"
#include <gtest/gtest.h>

using namespace corvane::sim;

namespace {
QString bytesAt(const ParameterMemory &m, int block, std::initializer_list<int> offsets)
{
    QByteArray b;
    for (int o : offsets)
        b.append(char(m.byte(block, o)));
    return Frames::toHex(b);
}
} // namespace

TEST(SwitchMemory, FactoryStateAsTheDumpShowsIt)
{
    ParameterMemory m;
    EXPECT_EQ(m.byte(0, 4), 0x67); // marker the console looks for in block 0
    EXPECT_EQ(m.byte(0, 6), 0x0F); // 120 extensions, in eighths
    EXPECT_EQ(m.capacity(), 120);
    EXPECT_EQ(m.byte(0, 7), 3); // extension number length
    // Port 0 is extension 800: block 6 byte 0, block 5 byte 120, block 5 byte 0.
    EXPECT_EQ(bytesAt(m, 6, {0}) + " " + bytesAt(m, 5, {120, 0}), QStringLiteral("00 08 AA"));
    EXPECT_EQ(m.extensionNumber(119), QStringLiteral("919"));
    EXPECT_EQ(m.portOfNumber(QStringLiteral("805")), 5);
    EXPECT_FALSE(m.portOfNumber(QStringLiteral("920")));
    EXPECT_TRUE(m.localPrefixes().isEmpty());
    EXPECT_TRUE(m.specialNumbers().isEmpty());
}

TEST(SwitchMemory, SystemStarCodes)
{
    ParameterMemory m;
    EXPECT_TRUE(m.apply(QStringLiteral("*32*64#")).applied);
    EXPECT_EQ(m.byte(0, 6), 8);
    EXPECT_EQ(m.capacity(), 64);
    EXPECT_FALSE(m.apply(QStringLiteral("*32*121#")).applied);
    EXPECT_EQ(m.byte(0, 6), 8);

    // A new number length renumbers the extensions 8 x 10^(n-1) + port, as
    // the console renumbers its users; the capacity stays in eighths.
    m.apply(QStringLiteral("*11*7*8888#"));
    EXPECT_TRUE(m.apply(QStringLiteral("*04*4#")).applied);
    EXPECT_EQ(m.byte(0, 7), 4);
    EXPECT_EQ(m.extensionNumber(0), QStringLiteral("8000"));
    EXPECT_EQ(m.extensionNumber(7), QStringLiteral("8007"));
    EXPECT_EQ(bytesAt(m, 6, {119}) + " " + bytesAt(m, 5, {239, 119}), QStringLiteral("00 81 19"));
    EXPECT_EQ(m.portOfNumber(QStringLiteral("8063")), 63);
    EXPECT_FALSE(m.portOfNumber(QStringLiteral("8064"))); // beyond the capacity of 64
    EXPECT_TRUE(m.apply(QStringLiteral("*04*6#")).applied);
    EXPECT_EQ(m.extensionNumber(119), QStringLiteral("800119"));
    EXPECT_FALSE(m.apply(QStringLiteral("*04*7#")).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*04*2#")).applied);
    EXPECT_EQ(m.byte(0, 7), 6);
    EXPECT_TRUE(m.apply(QStringLiteral("*04*3#")).applied);
    EXPECT_EQ(m.extensionNumber(7), QStringLiteral("807"));
    m.apply(QStringLiteral("*71*9#"));
    m.apply(QStringLiteral("*80*1#"));
    m.apply(QStringLiteral("*73*0#"));
    EXPECT_EQ(bytesAt(m, 0, {22, 77, 21}), QStringLiteral("09 01 00"));
    // The five charging delays, in the bytes the comparison reads.
    m.apply(QStringLiteral("*27*30#"));
    m.apply(QStringLiteral("*24*20#"));
    m.apply(QStringLiteral("*21*15#"));
    m.apply(QStringLiteral("*17*5#"));
    m.apply(QStringLiteral("*53*8#"));
    EXPECT_EQ(bytesAt(m, 0, {29, 28, 26, 25, 31}), QStringLiteral("1E 14 0F 05 08"));

    // Night service and agent operators are given as extension numbers, kept as ports.
    m.apply(QStringLiteral("*11*31*831#"));
    EXPECT_TRUE(m.apply(QStringLiteral("*50*831#")).applied);
    EXPECT_EQ(m.byte(0, 53), 31);
    EXPECT_FALSE(m.apply(QStringLiteral("*50*999#")).applied);
    m.apply(QStringLiteral("*49*0#"));
    m.apply(QStringLiteral("*49*800#"));
    m.apply(QStringLiteral("*49*831#"));
    EXPECT_EQ(bytesAt(m, 0, {78, 79, 80, 81, 82}), QStringLiteral("01 00 01 1F 00"));
    for (const char *e : {"*49*801#", "*49*802#", "*49*803#"})
        EXPECT_TRUE(m.apply(QLatin1String(e)).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*49*804#")).applied); // five at most
    m.apply(QStringLiteral("*49*0#"));
    EXPECT_EQ(bytesAt(m, 0, {78, 80, 82, 84, 86}), QStringLiteral("00 00 00 00 00"));
}

TEST(SwitchMemory, PrefixAndSpecialNumberLists)
{
    ParameterMemory m;
    // Prefix 80 reads back from (byte 48 + i, byte i) = 00 8A.
    EXPECT_TRUE(m.apply(QStringLiteral("*20*1*1*80#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*20*1*1*0755#")).applied);
    EXPECT_EQ(bytesAt(m, 1, {48, 0, 49, 1}), QStringLiteral("00 8A A7 55"));
    EXPECT_EQ(m.localPrefixes(), (QStringList{"80", "0755"}));
    EXPECT_TRUE(m.apply(QStringLiteral("*20*0*80#")).applied);
    EXPECT_EQ(m.localPrefixes(), (QStringList{"0755"}));
    EXPECT_TRUE(m.apply(QStringLiteral("*20*1*1*81#")).applied); // reuses the freed slot
    EXPECT_EQ(bytesAt(m, 1, {48, 0}), QStringLiteral("00 81"));
    EXPECT_FALSE(m.apply(QStringLiteral("*20*1*1*12345#")).applied); // four digits at most
    m.apply(QStringLiteral("*20*0#"));
    EXPECT_TRUE(m.localPrefixes().isEmpty());

    // Special number 11010 reads back from (156 + i, 104 + i, 52 + i, i) = 00 01 1A 1A.
    EXPECT_TRUE(m.apply(QStringLiteral("*19*6*7*11010#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*19*6*7*114#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*19*6*7*114#")).applied); // told twice, listed twice
    EXPECT_EQ(bytesAt(m, 2, {156, 104, 52, 0}), QStringLiteral("00 01 1A 1A"));
    EXPECT_EQ(m.byte(0, 65), 3); // count of special numbers
    EXPECT_TRUE(m.apply(QStringLiteral("*19*0*11010#")).applied);
    EXPECT_EQ(m.specialNumbers(), (QStringList{"114", "114"}));
    EXPECT_EQ(m.byte(0, 65), 2);
    m.apply(QStringLiteral("*19*0#"));
    EXPECT_EQ(m.byte(0, 65), 0);

    // Capacity of the lists.
    for (int i = 0; i < ParameterMemory::LocalPrefixSlots; ++i)
        ASSERT_TRUE(m.apply(QStringLiteral("*20*1*1*%1#").arg(1000 + i)).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*20*1*1*99#")).applied);
}

TEST(SwitchMemory, TrunkStarCodes)
{
    ParameterMemory m;
    m.apply(QStringLiteral("*09*4*3#"));
    m.apply(QStringLiteral("*08*1*3#"));
    m.apply(QStringLiteral("*07*2*3#"));
    m.apply(QStringLiteral("*05*1*3#"));
    m.apply(QStringLiteral("*06*2*3#"));
    m.apply(QStringLiteral("*47*4*3#"));
    m.apply(QStringLiteral("*44*0*3#"));
    m.apply(QStringLiteral("*60*0*3#"));
    // Trunk 3 is i = 2: bytes i, 12+i, 24+i, 36+i, 48+i, 84+i, 96+i, 120+i.
    EXPECT_EQ(bytesAt(m, 4, {2, 14, 26, 38, 50, 86, 98, 122}), QStringLiteral("04 01 02 01 02 04 00 00"));
    // The indirect-office direction (four fields) does not touch the outgoing mode.
    EXPECT_TRUE(m.apply(QStringLiteral("*08*1*3*9#")).applied);
    EXPECT_EQ(m.byte(4, 14), 1);
    EXPECT_FALSE(m.apply(QStringLiteral("*44*1*13#")).applied); // the dump holds 12 trunks

    // Virtual operators: flag 144 + 24(k-1) + i, port 132 + 24(k-1) + i.
    m.apply(QStringLiteral("*12*0*3#"));
    EXPECT_TRUE(m.apply(QStringLiteral("*12*803*3#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*12*810*3#")).applied);
    EXPECT_EQ(bytesAt(m, 4, {146, 134, 170, 158}), QStringLiteral("01 03 01 0A"));
    EXPECT_FALSE(m.apply(QStringLiteral("*12*999*3#")).applied);
    m.apply(QStringLiteral("*12*0*3#"));
    EXPECT_EQ(bytesAt(m, 4, {146, 170}), QStringLiteral("00 00"));
}

TEST(SwitchMemory, ExtensionStarCodes)
{
    ParameterMemory m;
    // Port 0 renumbered 801: the comparison reads 00 08 A1.
    EXPECT_TRUE(m.apply(QStringLiteral("*11*0*801#")).applied);
    EXPECT_EQ(bytesAt(m, 6, {0}) + " " + bytesAt(m, 5, {120, 0}), QStringLiteral("00 08 A1"));
    // Port 1 was 801 too: the first port holding a number wins, as the switch would find it.
    EXPECT_EQ(m.portOfNumber(QStringLiteral("801")), 0);
    EXPECT_TRUE(m.apply(QStringLiteral("*11*119*123456#")).applied);
    EXPECT_EQ(m.extensionNumber(119), QStringLiteral("123456"));
    EXPECT_FALSE(m.apply(QStringLiteral("*11*120*900#")).applied);

    EXPECT_TRUE(m.apply(QStringLiteral("*10*3*805#")).applied);
    m.apply(QStringLiteral("*59*0*805#"));
    m.apply(QStringLiteral("*41*0*805#"));
    m.apply(QStringLiteral("*40*0*805#"));
    m.apply(QStringLiteral("*42*0*805#"));
    m.apply(QStringLiteral("*43*0*805#"));
    m.apply(QStringLiteral("*48*7*805#"));
    m.apply(QStringLiteral("*61*30*805#"));
    EXPECT_EQ(m.byte(27, 5) & 0x0F, 3);
    EXPECT_EQ(m.byte(31, 5) & 0x0F, 0);
    EXPECT_EQ(bytesAt(m, 7, {5}), QStringLiteral("00"));
    EXPECT_EQ(bytesAt(m, 35, {5}), QStringLiteral("00"));
    EXPECT_EQ(bytesAt(m, 10, {125, 5}), QStringLiteral("00 00"));
    EXPECT_EQ(bytesAt(m, 49, {5}), QStringLiteral("07"));
    EXPECT_EQ(bytesAt(m, 6, {125}), QStringLiteral("1E"));
    // Port 4 untouched.
    EXPECT_EQ(m.byte(27, 4), 1);
    EXPECT_EQ(m.byte(7, 4), 1);

    // An extension beyond the capacity is not found.
    m.apply(QStringLiteral("*32*8#"));
    EXPECT_FALSE(m.apply(QStringLiteral("*10*3*809#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*10*3*807#")).applied);

    // Codes the memory does not hold are refused, not misapplied; factory reset restores.
    const QByteArray before = m.block(27);
    EXPECT_FALSE(m.apply(QStringLiteral("*99*4*0*0*12#")).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*10*3#")).applied);
    EXPECT_EQ(m.block(27), before);
    EXPECT_TRUE(m.apply(QStringLiteral("*00*121#")).applied);
    EXPECT_EQ(m.capacity(), 120);
    EXPECT_EQ(m.extensionNumber(0), QStringLiteral("800"));
}

TEST(SwitchMemory, ClockAndDumpBlocks)
{
    ParameterMemory m;
    m.setClock(QDateTime(QDate(2026, 12, 8), QTime(1, 42, 30)));
    EXPECT_EQ(bytesAt(m, 0, {32, 33, 34, 35, 36, 37}), QStringLiteral("26 12 08 02 01 42"));

    for (int n = 0; n < ParameterMemory::BlockCount; ++n) {
        const QByteArray b = Frames::dumpBlock(n, m.block(n));
        ASSERT_EQ(b.size(), 258);
        EXPECT_EQ(quint8(b[0]), n);
        unsigned sum = 0;
        for (int i = 0; i < 257; ++i)
            sum += quint8(b[i]);
        EXPECT_EQ(quint8(b[257]), quint8(sum & 0xFF)) << "block " << n;
    }
    // The console finds block 0 by the 0x67 at offset 5 from the block number.
    EXPECT_EQ(quint8(Frames::dumpBlock(0, m.block(0))[5]), 0x67);
}

TEST(SwitchMemory, DownloadCommandsKeptOutsideTheComparedBlocks)
{
    ParameterMemory m;
    // Dialling password of port 5: eight nibbles in 11:5, 11:125, 12:5, 12:125.
    EXPECT_TRUE(m.apply(QStringLiteral("*67*5*246810#")).applied);
    EXPECT_EQ(bytesAt(m, 11, {5, 125}) + " " + bytesAt(m, 12, {5, 125}), QStringLiteral("00 24 68 1A"));
    EXPECT_EQ(m.dialPassword(5), QStringLiteral("246810"));
    EXPECT_TRUE(m.apply(QStringLiteral("*67*5*0#")).applied);
    EXPECT_EQ(m.dialPassword(5), QString());
    // Above the last port the number is an account's; above 511 nobody's.
    EXPECT_TRUE(m.apply(QStringLiteral("*67*120*1234#")).applied);
    EXPECT_EQ(m.account(120)->password, QStringLiteral("1234"));
    EXPECT_FALSE(m.apply(QStringLiteral("*67*512*1234#")).applied);

    // Outside line number of trunk 3: (13:2, 13:14, 13:26, 13:38).
    EXPECT_TRUE(m.apply(QStringLiteral("*77*3*87654321#")).applied);
    EXPECT_EQ(bytesAt(m, 13, {2, 14, 26, 38}), QStringLiteral("87 65 43 21"));
    EXPECT_TRUE(m.apply(QStringLiteral("*77*0#")).applied);
    EXPECT_EQ(m.outsideNumber(3), QString());
    EXPECT_FALSE(m.apply(QStringLiteral("*77*13*123456#")).applied);

    // Working days of trunk 3: on, days 1 to 5, periods 08:00-12:00 and 13:30-17:30 in BCD.
    EXPECT_TRUE(m.apply(QStringLiteral("*86*1*5*3#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*85*08001200*13301730*3#")).applied);
    EXPECT_EQ(bytesAt(m, 14, {2, 14, 26}), QStringLiteral("01 01 05"));
    EXPECT_EQ(bytesAt(m, 14, {38, 50, 62, 74, 86, 98, 110, 122}), QStringLiteral("08 00 12 00 13 30 17 30"));
    EXPECT_TRUE(m.apply(QStringLiteral("*86*0*3#")).applied);
    EXPECT_EQ(m.byte(14, 2), 0);
    EXPECT_EQ(m.byte(14, 14), 1); // the days stay, only the limit is lifted
    EXPECT_FALSE(m.apply(QStringLiteral("*86*0*5*3#")).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*85*08001260*13301730*3#")).applied);

    // IP card 2 (i = 1): on, language, four pauses, access code, password, card number.
    EXPECT_TRUE(m.apply(QStringLiteral("*81*17909*2*12345678901234*123456*2#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*82*10*50*150*250*2#")).applied);
    EXPECT_EQ(bytesAt(m, 15, {1, 13}), QStringLiteral("01 02"));
    EXPECT_EQ(bytesAt(m, 15, {25, 37, 49, 61}), QStringLiteral("0A 32 96 FA"));
    EXPECT_EQ(bytesAt(m, 15, {73, 85, 97}), QStringLiteral("01 79 A9"));
    EXPECT_EQ(bytesAt(m, 15, {109, 121, 133}), QStringLiteral("12 34 56"));
    EXPECT_EQ(bytesAt(m, 15, {145, 157, 169, 181, 193, 205, 217}), QStringLiteral("12 34 56 78 9A 12 34"));
    EXPECT_TRUE(m.apply(QStringLiteral("*81*0*2#")).applied);
    EXPECT_EQ(m.byte(15, 1), 0);
    EXPECT_FALSE(m.apply(QStringLiteral("*81*17909*3*1*1*2#")).applied); // language 1 or 2

    // IP dialling without a card.
    EXPECT_TRUE(m.apply(QStringLiteral("*83*17951#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*84*150#")).applied);
    EXPECT_EQ(bytesAt(m, 16, {0, 6, 7, 8, 9}), QStringLiteral("01 01 79 51 96"));
    EXPECT_TRUE(m.apply(QStringLiteral("*83*0#")).applied);
    EXPECT_EQ(bytesAt(m, 16, {0, 8}), QStringLiteral("00 00"));

    // None of it touches a block the comparison reads.
    ParameterMemory fresh;
    for (int b : {0, 1, 2, 4, 5, 6, 7, 10, 27, 31, 35, 49})
        EXPECT_EQ(m.block(b), fresh.block(b)) << "block " << b;
}

TEST(SwitchMemory, AccountCodesKeptBesideTheBlocks)
{
    // The bytes as the console packs them, written out by hand.
    CommandDecoder decoder;
    const QList<Command> got = decoder.feed(QByteArray::fromHex("0B680B040B0A0B0A0B05A90C"
                                                                "0B740B010B010B070C"
                                                                "0B670B0AA70B1234560C"
                                                                "0B670B050B9876540C"));
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[0].code, QStringLiteral("*68*4*0*0*509#"));
    EXPECT_EQ(got[2].code, QStringLiteral("*67*007*123456#"));
    ParameterMemory m;
    const QByteArray blocks = m.block(11) + m.block(12);
    for (const Command &c : got.mid(0, 3))
        EXPECT_TRUE(m.apply(c.code).applied) << c.code.toStdString();
    ASSERT_TRUE(m.account(509).has_value());
    EXPECT_EQ(m.account(509)->cls, 4);
    EXPECT_EQ(m.account(509)->trunkGroup, 0);
    EXPECT_FALSE(m.account(509)->opened);
    EXPECT_TRUE(m.account(7)->opened);
    // An account's password (number with its leading zeros) is no port's.
    EXPECT_EQ(m.account(7)->password, QStringLiteral("123456"));
    EXPECT_EQ(m.block(11) + m.block(12), blocks);
    EXPECT_TRUE(m.apply(got[3].code).applied);
    EXPECT_EQ(m.dialPassword(5), QStringLiteral("987654"));
    // The intake's demotion of an account carries three digits.
    EXPECT_TRUE(m.apply(QStringLiteral("*68*1*0*0*007#")).applied);
    EXPECT_EQ(m.account(7)->cls, 1);
    EXPECT_FALSE(m.apply(QStringLiteral("*68*4*0*0*512#")).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*68*9*0*0*12#")).applied);
    EXPECT_FALSE(m.apply(QStringLiteral("*74*2*1*12#")).applied);
    EXPECT_TRUE(m.apply(QStringLiteral("*00*121#")).applied);
    EXPECT_FALSE(m.account(7).has_value());
}
