#include "Protocol.h"
#include "SwitchLink.h"
#include "TestBytes.h"

#include <QDateTime>
#include <gtest/gtest.h>
#include <initializer_list>

using namespace corvane;
using corvane::test::bytes;

namespace {

QByteArray starBytes(const char *code) { return HexToBytes(PackStarCode(QString::fromLatin1(code))); }

QByteArray clockBytes(int y, int m, int d, int hh, int mm)
{
    return HexToBytes(ClockCommand(QDateTime(QDate(y, m, d), QTime(hh, mm))));
}

} // namespace

// Worked examples of the protocol, written out byte by byte.
TEST(Protocol, StarCodesPackAsTheSwitchKeysThem)
{
    EXPECT_EQ(starBytes("*10*3*201#"), bytes({0x0B, 0x1A, 0x0B, 0x03, 0x0B, 0x02, 0xA1, 0x0C}));
    EXPECT_EQ(starBytes("*00*121#"), bytes({0x0B, 0x0A, 0x0B, 0x01, 0x21, 0x0C}));
    EXPECT_EQ(starBytes("*58*50#"), bytes({0x0B, 0x58, 0x0B, 0x5A, 0x0C}));
    EXPECT_EQ(starBytes("*49*0#"), bytes({0x0B, 0x49, 0x0B, 0x0A, 0x0C}));
    // A longer code with an even field that holds zeros and an empty field.
    EXPECT_EQ(starBytes("*68*3*0*12#"), bytes({0x0B, 0x68, 0x0B, 0x03, 0x0B, 0x0A, 0x0B, 0x12, 0x0C}));
    EXPECT_EQ(starBytes("*41**2#"), bytes({0x0B, 0x41, 0x0B, 0x0B, 0x02, 0x0C}));
}

TEST(Protocol, ClockFrameCarriesBcdDateWeekdayTimeAndChecksum)
{
    // Tuesday 8 December 2026, 01:42.
    EXPECT_EQ(clockBytes(2026, 12, 8, 1, 42), bytes({0xE8, 0x26, 0x12, 0x08, 0x02, 0x01, 0x42, 0x6D}));
    // Sunday is 07, not 00: E8+26+12+13+07+23+59 = 0x1B6.
    EXPECT_EQ(clockBytes(2026, 12, 13, 23, 59), bytes({0xE8, 0x26, 0x12, 0x13, 0x07, 0x23, 0x59, 0xB6}));
    // Monday 01 and Saturday 06; midnight of a new year.
    EXPECT_EQ(clockBytes(2027, 1, 4, 0, 0), bytes({0xE8, 0x27, 0x01, 0x04, 0x01, 0x00, 0x00, 0x15}));
    EXPECT_EQ(clockBytes(2026, 12, 12, 9, 5).at(4), char(0x06));
}

TEST(Protocol, ChecksumAndHexConversion)
{
    EXPECT_EQ(HexChecksum(QStringLiteral("FE01")), QStringLiteral("FF"));
    EXPECT_EQ(HexChecksum(QStringLiteral("FFFF")), QStringLiteral("FE"));
    EXPECT_EQ(HexChecksum(QString()), QStringLiteral("00"));
    EXPECT_EQ(HexChecksum(QStringLiteral("0a0b")), QStringLiteral("15"));

    EXPECT_TRUE(HexToBytes(QString()).isEmpty());
    EXPECT_EQ(HexToBytes(QStringLiteral("5A1")), bytes({0x5A})); // trailing digit ignored
    EXPECT_EQ(HexToBytes(QStringLiteral("11f1")), bytes({0x11, 0xF1}));
    // Lenient pairs: digits count up to the first other character.
    EXPECT_EQ(HexToBytes(QStringLiteral("1ZZ1")), bytes({0x01, 0x00}));

    EXPECT_EQ(BytesToHex(bytes({0x00, 0x67, 0xAB})), QStringLiteral("0067AB"));
}

TEST(Protocol, OutwardRecordsAreGb18030)
{
    // 账号 in GB18030 (same as GB2312), and the euro sign, which GB18030 keeps
    // at A2E3 where GBK code pages put 80.
    EXPECT_EQ(SwitchLink::OutwardBytes(QStringLiteral("$FEE,账号12,3.,#\r\n")), QByteArray("$FEE,\xD5\xCB\xBA\xC5"
                                                                                           "12,3.,#\r\n"));
    EXPECT_EQ(SwitchLink::OutwardBytes(QStringLiteral("€")), bytes({0xA2, 0xE3}));
    EXPECT_EQ(SwitchLink::OutwardBytes(QStringLiteral("$PHN,01012345678#\r\n")), QByteArray("$PHN,01012345678#\r\n"));
}
