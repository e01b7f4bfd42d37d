// The call-record intake: frames written out by hand, pricing, deposits and
// demotion, the copies (file, outward port, list), failed stores and repeats.
#include "CallFileCopy.h"
#include "CallRecordDecoder.h"
#include "Database.h"
#include "HomeKey.h"
#include "IntakeFixture.h"
#include "OutwardQueue.h"
#include "Recordset.h"
#include "Schema.h"
#include "SignalLog.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Trunk 3, port 5, 12-08 23:30, 60 s, dialled 9 1 2 3; checksum worked out by
// hand: FE+0C+05+12+08+23+30+3C+91+23 = 620 = 0x26C.
const QByteArray kPort5Call = bytes({0xFF, 0xFE, 0x0C, 0x05, 0x12, 0x08, 0x23, 0x30, 0x00, 0x3C, 0x91, 0x23,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6C});

// Trunk 3, account 12 (flag in the minute byte 0xB0), 12-08 23:30, 200 s, 1 3 A 9;
// FE+0C+0C+12+08+23+B0+C8+13+A9 = 903 = 0x387.
const QByteArray kAccount12Call = bytes({0xFF, 0xFE, 0x0C, 0x0C, 0x12, 0x08, 0x23, 0xB0, 0x00, 0xC8, 0x13, 0xA9,
                                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x87});
// The same on account 7: 903 - 0C + 07 = 898 = 0x382.
const QByteArray kAccount7Call = bytes({0xFF, 0xFE, 0x0C, 0x07, 0x12, 0x08, 0x23, 0xB0, 0x00, 0xC8, 0x13, 0xA9,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x82});

// Calls with spare bytes 01 23 45 67 89, all on trunk 2, port 7, ending 12-08
// 21:15, to 5551234 (nibbles 55 51 23 40).
// 45 s: FE+08+07+12+08+21+15+00+2D+55+51+23+40+01+23+45+67+89 = 1004 = 0x3EC.
const QByteArray kSpare45s = bytes({0xFF, 0xFE, 0x08, 0x07, 0x12, 0x08, 0x21, 0x15, 0x00, 0x2D, 0x55, 0x51,
                                    0x23, 0x40, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xEC});
// Only the duration differs, 46 s: 1004 + 1 = 1005 = 0x3ED.
const QByteArray kSpare46s = bytes({0xFF, 0xFE, 0x08, 0x07, 0x12, 0x08, 0x21, 0x15, 0x00, 0x2E, 0x55, 0x51,
                                    0x23, 0x40, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xED});
// Only the number differs, 5551235 (nibbles 55 51 23 50): 1004 - 40 + 50 = 1020 = 0x3FC.
const QByteArray kSpareTo5551235 = bytes({0xFF, 0xFE, 0x08, 0x07, 0x12, 0x08, 0x21, 0x15, 0x00, 0x2D, 0x55, 0x51,
                                          0x23, 0x50, 0x00, 0x00, 0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xFC});

QString gb18030(const QByteArray &b) { return QStringDecoder("GB18030").decode(b); }

class IntakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Rates of our own, so that every fee below can be worked out by hand.
        ASSERT_TRUE(env.exec("DELETE FROM Feerate"));
        const QList<QStringList> rates{
            {"", "市话默认", "180", "0.20", "60", "0.10", "0", "0", "0", "0", "×", "8"},
            {"123", "测试区", "60", "0.80", "60", "0.40", "0", "0", "0", "0", "×", "2"},
            {"13", "移动", "60", "0.20", "60", "0.20", "0", "0", "0", "0", "×", "3"},
        };
        for (const QStringList &r : rates) {
            QVariantList p;
            for (const QString &v : r)
                p << v;
            ASSERT_TRUE(env.exec("INSERT INTO Feerate VALUES (?,?,?,?,?,?,?,?,?,?,?,?)", p));
        }
        env.fees->invalidate();
        // Trunk 3 goes out through an indirect office reached with 9.
        ASSERT_TRUE(env.exec("UPDATE Exchange SET 中继出局方式='间局', 间局局向='9' WHERE 中继='3'"));
        ASSERT_TRUE(env.exec("UPDATE User SET 用户名称='张三', 组名='一组' WHERE 物理端口='5'"));
    }

    QString deposit(const QString &port, int col, bool account = false)
    {
        Recordset rs(env.ctx->db, "Foregift",
                     account ? Criteria("物理端口", port).andEq("用户号码", "账号")
                             : Criteria("物理端口", port).andNe("用户号码", "账号"));
        return rs.value(col);
    }

    IntakeEnv env;
};

} // namespace

// The hand-written frames themselves are checked through the intake below;
// here the corners of the layout.
TEST(CallRecordDecoding, CornersOfTheFrameLayout)
{
    const QDate today(2026, 12, 8);
    // Upper bits of the month byte are not part of the month; bytes that are
    // no BCD come out as their hex digits; the whole line word and duration
    // range. (The decoder does not look at the checksum byte.)
    DecodedCall d = DecodeCallRecord(bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xF2, 0x3F, 0x2A, 0x7B, 0xFF, 0xFF, 0xBC, 0xDE,
                                            0xF0, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}),
                                     today);
    EXPECT_EQ(d.trunk, 63);
    EXPECT_EQ(d.line, 1023);
    EXPECT_FALSE(d.account);
    EXPECT_EQ(d.endTime(), "2026年12月3F日2A时7B分");
    EXPECT_EQ(d.duration, 65535);
    EXPECT_EQ(d.called, "BCDEF");
    d = DecodeCallRecord(bytes({0xFF, 0xFE, 0, 0, 0x1A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                         today);
    EXPECT_EQ(d.endTime(), "2026年1A月01日00时00分");
    EXPECT_EQ(d.called, "");
    EXPECT_EQ(d.duration, 0);

    // A call that ended in December and arrives in January belongs to the old year.
    EXPECT_EQ(DecodeCallRecord(kPort5Call, QDate(2027, 1, 1)).endTime(), "2026年12月08日23时30分");
    EXPECT_EQ(DecodeCallRecord(kPort5Call, QDate(2026, 12, 31)).year, 2026);

    QByteArray bad = kPort5Call;
    bad[22] = char(0x6D);
    EXPECT_FALSE(CallRecordChecksumOk(bad));
    EXPECT_FALSE(CallRecordChecksumOk(kPort5Call.left(22)));
    // Every spare byte counts, the last one (offset 21) too: the sum without
    // it, 1004 - 89 = 867 = 0x363, is no checksum.
    EXPECT_TRUE(CallRecordChecksumOk(kSpare45s));
    QByteArray without21 = kSpare45s;
    without21[22] = char(0x63);
    EXPECT_FALSE(CallRecordChecksumOk(without21));

    // Only a leading direction digit on an indirect route goes.
    EXPECT_EQ(StripIndirectOffice("9123", "直局", "9"), "9123");
    EXPECT_EQ(StripIndirectOffice("8123", "间局", "9"), "8123");
    EXPECT_EQ(StripIndirectOffice("", "间局", "9"), "");
}

TEST_F(IntakeTest, ExtensionCallIsStrippedPricedChargedDemotedAndCopied)
{
    env.addDeposit("5", "805", "0.50");
    const QString folder = env.home.file("bills");
    ASSERT_TRUE(QDir().mkpath(folder));
    env.setConfig(17, folder + "\\");

    // The frame arrives in three pieces; it is taken once the last is in.
    env.link->ReceiveBytes(kPort5Call.left(10));
    env.link->ReceiveBytes(kPort5Call.mid(10, 10));
    EXPECT_TRUE(env.bills().isEmpty());
    env.link->ReceiveBytes(kPort5Call.mid(20));

    const QList<QStringList> bills = env.bills();
    ASSERT_EQ(bills.size(), 1);
    EXPECT_EQ(bills[0], (QStringList{"805", "123", "2026年12月08日23时30分", "60", "0.40", "测试区", "0.80", "2",
                                     "0.00", "0.00", "0.80", "未结算", "一组", "张三"}));
    EXPECT_EQ(deposit("5", 4), "-0.30");
    EXPECT_EQ(deposit("5", 3), "1");
    EXPECT_EQ(env.rowOf("User", "物理端口", "5").value(3), "1");
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "*10*1*805#"}));

    EXPECT_EQ(gb18030(env.outward()), "$FEE,805,202612082330,60,0.8,123#\r\n");
    QFile file(folder + "/202612.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray line = file.readAll();
    EXPECT_EQ(line,
              QStringEncoder("GB18030").encode(QStringLiteral(
                  "主叫号码：805；被叫号码：123；通话时长：60；结束时间：2026年12月08日23时30分；话费：0.80\r\n")));
    ASSERT_EQ(env.view.rows.size(), 1);
    EXPECT_EQ(env.view.rows[0],
              (QStringList{"805", "123", "2026年12月08日23时30分", "60", "测试区", "0.40", "0.80", "3"}));
    EXPECT_TRUE(env.messages.shown().isEmpty());
}

TEST_F(IntakeTest, DepositOfExactlyTheFeeIsNotOverrun)
{
    env.addDeposit("5", "805", "3.00");
    // 1860 s at the city rate: 0.20 + 28 × 0.10 = 3.00, a whole amount.
    env.intake->ProcessCallRecord(callFrame(5, 10, 1860));
    EXPECT_EQ(deposit("5", 4), "0.00");
    EXPECT_EQ(deposit("5", 3), "4");
    EXPECT_EQ(env.rowOf("User", "物理端口", "5").value(3), "4");
    EXPECT_EQ(env.sent(), QStringList{"ACK"});
    EXPECT_EQ(gb18030(env.outward()), "$FEE,805,202612082210,1860,3.,5551234#\r\n");
    // No folder configured: no file anywhere.
    EXPECT_TRUE(QDir(env.home.path()).entryList({"*.txt"}, QDir::Files).isEmpty());
}

TEST_F(IntakeTest, AccountsAreKeptWithThreeDigits)
{
    ASSERT_TRUE(env.exec("INSERT INTO Account VALUES ('012','销售部','4','2','123456','押金')"));
    env.addDeposit("012", "账号", "0.10");

    env.intake->ProcessCallRecord(kAccount12Call);
    ASSERT_EQ(env.bills().size(), 1);
    const QStringList row = env.bills()[0];
    EXPECT_EQ(row[0], "账号012");
    EXPECT_EQ(row[2], "2026年12月08日23时30分");
    // 200 s to a mobile: 0.20 + 3 × 0.20.
    EXPECT_EQ(row[6], "0.80");
    EXPECT_EQ(row.mid(11), (QStringList{"未结算", "", "销售部"}));
    EXPECT_EQ(deposit("012", 4, true), "-0.70");
    EXPECT_EQ(deposit("012", 3, true), "1");
    EXPECT_EQ(env.rowOf("Account", "账号编号", "012").value(2), "1");
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "*68*1*2*0*012#"}));
    // The extension on port 12 is not touched by the account's call.
    EXPECT_EQ(env.rowOf("User", "物理端口", "12").value(3), "4");

    // An account without rows is still recorded under its number.
    env.intake->ProcessCallRecord(kAccount7Call);
    ASSERT_EQ(env.bills().size(), 2);
    EXPECT_EQ(env.bills()[1][0], "账号007");
    EXPECT_EQ(env.bills()[1].mid(12), (QStringList{"", ""}));
    EXPECT_EQ(env.sent(), QStringList{"ACK"});
}

TEST_F(IntakeTest, UnusualRecordsAreStoredAndAcknowledged)
{
    // Port 1023 has no user: the port stands as the caller, no group or name.
    // FE+07+FF+12+08+22+01+55+51+23+40 = 842 = 0x34A.
    env.intake->ProcessCallRecord(bytes({0xFF, 0xFE, 0x07, 0xFF, 0x12, 0x08, 0x22, 0x01, 0x00, 0x00, 0x55, 0x51,
                                         0x23, 0x40, 0,    0,    0,    0,    0,    0,    0,    0,    0x4A}));
    // Month and day bytes that are no BCD are kept as the switch sent them.
    // FE+04+06+1A+3F+22+02+10+55+51+23+40 = 670 = 0x29E.
    env.intake->ProcessCallRecord(bytes({0xFF, 0xFE, 0x04, 0x06, 0x1A, 0x3F, 0x22, 0x02, 0x00, 0x10, 0x55, 0x51,
                                         0x23, 0x40, 0,    0,    0,    0,    0,    0,    0,    0,    0x9E}));
    // The longest duration the switch can report, and one of nothing dialled.
    env.intake->ProcessCallRecord(callFrame(7, 3, 65535));
    env.intake->ProcessCallRecord(callFrame(8, 4, 0, ""));
    // A balance that is no number counts as nothing left.
    env.addDeposit("9", "809", "abc");
    env.intake->ProcessCallRecord(callFrame(9, 5, 10));

    EXPECT_EQ(env.sent(), (QStringList{"ACK", "ACK", "ACK", "ACK", "ACK", "*10*1*809#"}));
    const QList<QStringList> b = env.bills();
    ASSERT_EQ(b.size(), 5);
    EXPECT_EQ(b[0][0], "1023");
    EXPECT_EQ(b[0].mid(12), (QStringList{"", ""}));
    EXPECT_EQ(b[1][2], "2026年1A月3F日22时02分");
    EXPECT_EQ(b[1][0], "806");
    // 0.20 + ceil((65535 - 180) / 60) = 1090 units of 0.10.
    EXPECT_EQ(b[2][3], "65535");
    EXPECT_EQ(b[2][6], "109.20");
    EXPECT_EQ(b[3][1], "");
    EXPECT_EQ(b[3][5], "未知地区电话");
    EXPECT_EQ(b[3][6], "0.20");
    EXPECT_EQ(deposit("9", 4), "-0.20");
    EXPECT_TRUE(env.messages.shown().isEmpty());
}

TEST_F(IntakeTest, BadChecksumDropsOneByteAndSendsNothing)
{
    QByteArray bad = kPort5Call;
    bad[22] = char(0x6B);
    EXPECT_EQ(env.intake->ProcessCallRecord(bad), 1);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::BadChecksum);
    EXPECT_TRUE(env.sent().isEmpty());
    EXPECT_TRUE(env.bills().isEmpty());

    // Through the dispatcher: the hunt goes on past the bad frame to the good one.
    env.link->ReceiveBytes(bad + kPort5Call);
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(env.sent(), QStringList{"ACK"});
    EXPECT_EQ(env.link->RingCount(), 0);
}

TEST_F(IntakeTest, OutputFileFaultIsShownOnceAndTheRecordStillStored)
{
    // A folder under a regular file can be neither made nor written, even by root.
    QFile plain(env.home.file("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    env.setConfig(17, env.home.file("plain") + "/");
    env.intake->ProcessCallRecord(callFrame(5, 10, 30));
    env.intake->ProcessCallRecord(callFrame(5, 11, 30));
    EXPECT_EQ(env.bills().size(), 2);
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "ACK"}));
    ASSERT_EQ(env.messages.shown().size(), 1);
    EXPECT_EQ(env.messages.last()->title, "话单文件错误");
    EXPECT_TRUE(env.messages.last()->text.contains(env.home.file("plain") + "/202612.txt"));

    // Once it can be written again, the next fault is shown again.
    const QString good = env.home.file("bills") + "/";
    QDir().mkpath(good);
    env.setConfig(17, good);
    env.intake->ProcessCallRecord(callFrame(5, 12, 30));
    env.setConfig(17, env.home.file("missing/dir") + "/");
    env.intake->ProcessCallRecord(callFrame(5, 13, 30));
    env.intake->ProcessCallRecord(callFrame(5, 14, 30));
    EXPECT_EQ(env.messages.shown().size(), 2);
    EXPECT_EQ(env.bills().size(), 5);
    QFile file(good + "202612.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 1);
}

TEST_F(IntakeTest, LockedOrReadOnlyDatabaseStoresNothingAndAcknowledgesNothing)
{
    env.addDeposit("5", "805", "1.00");
    const QString folder = env.home.file("bills") + "/";
    QDir().mkpath(folder);
    env.setConfig(17, folder);
    ASSERT_TRUE(env.exec("PRAGMA busy_timeout=20"));
    Database other;
    ASSERT_TRUE(other.open(env.ctx->db.path(), LegacyDatabaseKey()));
    ASSERT_TRUE(other.exec("BEGIN IMMEDIATE"));

    // The switch sends the record again and again while the other writer holds on.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(env.intake->ProcessCallRecord(kPort5Call), 23);
        EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Failed);
    }
    EXPECT_TRUE(env.sent().isEmpty());
    EXPECT_TRUE(env.outward().isEmpty());
    EXPECT_TRUE(env.view.rows.isEmpty());
    EXPECT_FALSE(QFile::exists(folder + "202612.txt"));
    // One box, its count raised by each resend.
    ASSERT_EQ(env.messages.shown().size(), 1);
    EXPECT_EQ(env.messages.last()->title, "话单存储错误");
    EXPECT_EQ(env.messages.last()->icon, MessageService::Icon::Critical);
    EXPECT_TRUE(env.messages.last()->text.startsWith("话单无法存入数据库，本话单未确认，交换机将重发。"));
    // The count follows what the operator reads; SQLite's words come after it.
    const QString text = env.messages.last()->text;
    EXPECT_TRUE(text.section(MessageService::detailsMarker(), 0, 0).endsWith(" (3次)")) << text.toStdString();
    EXPECT_TRUE(text.contains("数据库正被其他程序使用")) << text.toStdString();
    EXPECT_EQ(env.messages.keyedCount(CallIntake::StoreFailedKey), 3);

    ASSERT_TRUE(other.exec("ROLLBACK"));
    env.intake->ProcessCallRecord(kPort5Call);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Stored);
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(deposit("5", 4), "0.20");
    EXPECT_EQ(env.sent(), QStringList{"ACK"});

    // A database that takes no writes. Once the operator has closed the box,
    // the next failure opens a new one.
    env.messages.closeKeyed(CallIntake::StoreFailedKey);
    ASSERT_TRUE(env.exec("PRAGMA query_only=1"));
    env.intake->ProcessCallRecord(callFrame(5, 10, 30));
    env.intake->ProcessCallRecord(callFrame(5, 10, 30));
    ASSERT_EQ(env.messages.shown().size(), 2);
    EXPECT_EQ(env.messages.keyedCount(CallIntake::StoreFailedKey), 2);
    EXPECT_TRUE(env.sent().isEmpty());
    ASSERT_TRUE(env.exec("PRAGMA query_only=0"));
    env.intake->ProcessCallRecord(callFrame(5, 10, 30));
    EXPECT_EQ(env.bills().size(), 2);
    EXPECT_EQ(deposit("5", 4), "0.00");
    EXPECT_EQ(env.sent(), QStringList{"ACK"});

    QFile file(folder + "202612.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 2);
    EXPECT_EQ(env.outward().count("$FEE,"), 2);
}

TEST_F(IntakeTest, FailureAfterTheDepositLeavesNothingHalfWritten)
{
    env.addDeposit("5", "805", "0.50");
    // The call record itself cannot be written, after the deposit was changed.
    ASSERT_TRUE(env.exec("CREATE TEMP TRIGGER no_bills BEFORE INSERT ON main.PHNBill "
                         "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    env.intake->ProcessCallRecord(kPort5Call);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Failed);
    EXPECT_EQ(deposit("5", 4), "0.50");
    EXPECT_EQ(deposit("5", 3), "4");
    EXPECT_EQ(env.rowOf("User", "物理端口", "5").value(3), "4");
    EXPECT_TRUE(env.bills().isEmpty());
    EXPECT_TRUE(env.sent().isEmpty()); // neither acknowledgement nor demotion
    EXPECT_TRUE(env.messages.last()->text.contains("disk full"));

    ASSERT_TRUE(env.exec("DROP TRIGGER no_bills"));
    env.intake->ProcessCallRecord(kPort5Call);
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(deposit("5", 4), "-0.30");
    EXPECT_EQ(env.rowOf("User", "物理端口", "5").value(3), "1");
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "*10*1*805#"}));
}

TEST_F(IntakeTest, CallsDifferingOnlyInDurationOrNumberAreStoredWithTheirSpareBytesSummed)
{
    // Back to back, each differing from the one before in one field only.
    for (const QByteArray &f : {kSpareTo5551235, kSpare45s, kSpare46s})
        EXPECT_EQ(env.intake->ProcessCallRecord(f), 23);
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "ACK", "ACK"}));
    const QList<QStringList> b = env.bills();
    ASSERT_EQ(b.size(), 3);
    const QString end = "2026年12月08日21时15分";
    EXPECT_EQ(b[0].mid(0, 4), (QStringList{"807", "5551235", end, "45"}));
    EXPECT_EQ(b[1].mid(0, 4), (QStringList{"807", "5551234", end, "45"}));
    EXPECT_EQ(b[2].mid(0, 4), (QStringList{"807", "5551234", end, "46"}));

    // A checksum that leaves out the last spare byte is refused.
    QByteArray without21 = kSpare45s;
    without21[22] = char(0x63);
    EXPECT_EQ(env.intake->ProcessCallRecord(without21), 1);
    EXPECT_TRUE(env.sent().isEmpty());
}

TEST_F(IntakeTest, OnlyAResendOfTheLastRecordTakenIsARepeat)
{
    const QByteArray a = callFrame(5, 20, 12, "88886666"); // a short call to a busy number
    const QByteArray b = callFrame(6, 20, 40);
    struct Case {
        const char *what;
        QList<QByteArray> frames;
        int stored;
    };
    const QList<Case> cases = {
        {"a resend of the last record", {a, a}, 1},
        {"resent twice", {a, a, a}, 1},
        {"the same call again with another record between", {a, b, a}, 3},
        {"each resent, then the first call again", {a, a, b, b, a}, 3},
        {"a resend after a record that could not be checked", {a, bytes({0xFF, 0xFE}) + QByteArray(21, '\x01'), a}, 1},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(env.exec("DELETE FROM PHNBill"));
        ASSERT_TRUE(env.exec("DELETE FROM CallIntakeSeen"));
        env.sent();
        for (const QByteArray &f : c.frames)
            env.link->ReceiveBytes(f);
        EXPECT_EQ(env.bills().size(), c.stored) << c.what;
        // Every good frame is acknowledged, repeats included.
        EXPECT_EQ(env.sent().count("ACK"), c.frames.count(a) + c.frames.count(b)) << c.what;
    }
    EXPECT_TRUE(env.messages.shown().isEmpty());
}

TEST_F(IntakeTest, ResendAfterTheConsoleDiedBeforeItsAcknowledgementIsStoredOnce)
{
    env.addDeposit("5", "805", "1.00");
    // Committed, then the console is gone before the acknowledgement leaves.
    env.ctx->link = nullptr;
    env.intake->ProcessCallRecord(kPort5Call);
    ASSERT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Stored);
    env.ctx->link = env.link.get();
    EXPECT_TRUE(env.sent().isEmpty());

    // A new console on the same file, some hours later: the switch still
    // holds the record and sends it again.
    const QString path = env.ctx->db.path();
    env.ctx->db.close();
    ASSERT_TRUE(env.ctx->db.open(path, LegacyDatabaseKey()));
    env.fees = std::make_unique<FeeEngine>(env.ctx->db);
    env.restartIntake();
    env.clock.advanceSecs(3 * 3600);
    env.link->ReceiveBytes(kPort5Call);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Repeat);
    EXPECT_EQ(env.sent(), QStringList{"ACK"});
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(deposit("5", 4), "0.20");
    EXPECT_EQ(env.outward().count("$FEE,"), 0);
    EXPECT_EQ(env.view.rows.size(), 1); // listed when it was taken, not again
    // The table is our own and does not upset the check of the switch tables.
    EXPECT_TRUE(schemaProblems(env.ctx->db, switchTables()).isEmpty());

    // A day after it was taken the same bytes are a call of their own.
    env.clock.advanceSecs(22 * 3600);
    env.intake->ProcessCallRecord(kPort5Call);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Stored);
    EXPECT_EQ(env.bills().size(), 2);
    EXPECT_EQ(deposit("5", 4), "-0.60");
}

TEST_F(IntakeTest, HomeOfAnEarlierConsoleKeepsItsFramesSeen)
{
    // An earlier console kept every frame of the last ten minutes, oldest first.
    ASSERT_TRUE(env.exec("DROP TABLE CallIntakeSeen"));
    ASSERT_TRUE(env.exec("CREATE TABLE CallIntakeSeen (\"Frame\" TEXT NOT NULL, \"SeenMs\" INTEGER NOT NULL)"));
    const qint64 now = env.clock.now().toMSecsSinceEpoch();
    // kSpare45s, then kPort5Call, each as its bytes 1 to 21 in hex.
    const QString spare45s = QString("FE 08 07 12 08 21 15 00 2D 55 51 23 40 00 00 00 01 23 45 67 89").remove(' ');
    const QString port5 = QString("FE 0C 05 12 08 23 30 00 3C 91 23 00 00 00 00 00 00 00 00 00 00").remove(' ');
    ASSERT_TRUE(env.exec("INSERT INTO CallIntakeSeen VALUES (?, ?)", {spare45s, now - 120000}));
    ASSERT_TRUE(env.exec("INSERT INTO CallIntakeSeen VALUES (?, ?)", {port5, now - 60000}));
    env.restartIntake();

    // The newest row was the last record taken: its resend is a repeat.
    env.intake->ProcessCallRecord(kPort5Call);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Repeat);
    // An older one is a new call now, and the old rows are cleared out.
    env.intake->ProcessCallRecord(kSpare45s);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Stored);
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(env.sent(), (QStringList{"ACK", "ACK"}));
    EXPECT_EQ(env.select("SELECT count(*) FROM CallIntakeSeen")[0][0], "1");
    env.intake->ProcessCallRecord(kSpare45s);
    EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Repeat);
}

// The front desk's receiver goes away under the open outward port (its
// adapter pulled). The copies of the calls taken meanwhile are kept in the
// database, committed with their calls, and stay there across a restart of
// the console; once a device is behind COM2 again they go out in their order.
// The operator is told once that the port cannot be written, and once that it
// is back. Beyond the limit the oldest copies go, not the newest.
TEST_F(IntakeTest, OutwardCopiesWaitInTheDatabaseWhileThePortIsGoneAndGoOutInOrder)
{
    auto fee = [](int minute) {
        return QStringLiteral("$FEE,805,2026120822%1,30,0.2,5551234#\r\n").arg(minute, 2, 10, QChar('0'));
    };
    auto kept = [&] {
        QStringList records;
        for (const QStringList &r : env.select("SELECT Record FROM OutwardPending ORDER BY Seq"))
            records << r.value(0);
        return records;
    };
    const QString com2 = env.ctx->home.portsDir() + "/COM2";
    env.intake->ProcessCallRecord(callFrame(5, 1, 30));
    EXPECT_EQ(gb18030(env.outward()), fee(1));
    EXPECT_TRUE(waitUntil([&] { return kept().isEmpty(); })) << "sent copies leave the table";

    ASSERT_TRUE(unplugLink(com2));
    SignalLog panel(env.link.get(), &SwitchLink::outwardStatusText);
    env.link->tmrState_Timer();
    EXPECT_FALSE(env.link->mscOut.isOpen()) << "the device under the open port is gone";
    for (int minute = 2; minute <= 4; ++minute) {
        env.intake->ProcessCallRecord(callFrame(5, minute, 30));
        EXPECT_EQ(env.intake->lastOutcome(), CallIntake::Outcome::Stored);
    }
    EXPECT_EQ(env.bills().size(), 4);
    EXPECT_EQ(kept(), (QStringList{fee(2), fee(3), fee(4)}));
    for (int i = 0; i < 5; ++i)
        env.link->tmrState_Timer();
    ASSERT_EQ(env.messages.desktopNotices().size(), 1);
    const auto &down = env.messages.desktopNotices().first();
    EXPECT_EQ(down.title, "外发端口");
    EXPECT_TRUE(down.text.startsWith("话单外发串口 COM2 无法写入：")) << down.text.toStdString();
    EXPECT_TRUE(down.text.contains("端口恢复后按顺序补发")) << down.text.toStdString();
    ASSERT_GE(panel.count(), 1);
    EXPECT_EQ(panel.last().at(0).toString(), "外发端口：错误，3条待发");

    // The console is restarted meanwhile: what waits is still there.
    env.ctx->link = nullptr;
    env.link.reset();
    env.link = std::make_unique<SwitchLink>(*env.ctx);
    env.ctx->link = env.link.get();
    env.link->setFrameHandlers(&env.handlers);
    ASSERT_TRUE(env.link->OpenPort(1));
    EXPECT_FALSE(env.link->OpenOutPort(2));
    env.restartIntake();
    EXPECT_EQ(env.link->outward().Pending(), 3);
    ASSERT_EQ(env.messages.desktopNotices().size(), 2) << "the new console says it too";

    // Full at two: the oldest copy goes when the next call comes.
    env.link->outward().setLimit(2);
    env.intake->ProcessCallRecord(callFrame(5, 5, 30));
    EXPECT_EQ(kept(), (QStringList{fee(4), fee(5)}));
    EXPECT_EQ(env.link->outward().Dropped(), 2);

    // Plugged in again, as another device: the copies go out in their order.
    PtyPair desk;
    ASSERT_TRUE(desk.linkAs(com2));
    env.link->tmrState_Timer();
    ASSERT_TRUE(env.link->mscOut.isOpen());
    const QByteArray expected = (fee(4) + fee(5)).toLatin1();
    EXPECT_EQ(desk.takeAtLeast(int(expected.size())), expected);
    EXPECT_TRUE(waitUntil([&] { return kept().isEmpty(); }));
    env.intake->ProcessCallRecord(callFrame(5, 6, 30));
    EXPECT_EQ(desk.takeAtLeast(int(fee(6).size())), fee(6).toLatin1());
    EXPECT_EQ(env.bills().size(), 6);
    ASSERT_EQ(env.messages.desktopNotices().size(), 3);
    EXPECT_TRUE(env.messages.desktopNotices().last().text.startsWith("话单外发串口 COM2 已恢复"))
        << env.messages.desktopNotices().last().text.toStdString();
}

// The outward port fails while a record is handed to it but before its bytes
// left the console (the port is closed as a failing device closes it, and
// what it still buffered is dropped). That record is the first to go when
// the port is back, ahead of the calls taken meanwhile: the front desk gets
// every record, in order, without a restart of the console.
TEST_F(IntakeTest, OutwardRecordInFlightWhenThePortFailsGoesFirstWhenItIsBack)
{
    auto fee = [](int minute) {
        return QStringLiteral("$FEE,805,2026120822%1,30,0.2,5551234#\r\n").arg(minute, 2, 10, QChar('0')).toLatin1();
    };
    env.intake->ProcessCallRecord(callFrame(5, 1, 30));
    env.link->mscOut.close();
    EXPECT_EQ(env.link->outward().Pending(), 1) << "not passed on: still kept";
    env.intake->ProcessCallRecord(callFrame(5, 2, 30));
    env.intake->ProcessCallRecord(callFrame(5, 3, 30));
    EXPECT_EQ(env.outSide.take(), QByteArray()) << "nothing reached the desk while the port was down";

    env.link->tmrState_Timer(); // the heal step opens the port again
    ASSERT_TRUE(env.link->mscOut.isOpen());
    const QByteArray expected = fee(1) + fee(2) + fee(3);
    EXPECT_EQ(env.outSide.takeAtLeast(int(expected.size())), expected);
    EXPECT_TRUE(waitUntil([&] { return env.link->outward().Pending() == 0; }));
}

// The copies wait in the database up to the limit the README promises, ten
// thousand records, a few days of a busy exchange; beyond it the oldest go.
TEST_F(IntakeTest, OutwardCopyHoldsTenThousandRecordsThenDropsTheOldest)
{
    const QString com2 = env.ctx->home.portsDir() + "/COM2";
    ASSERT_TRUE(unplugLink(com2));
    env.link->tmrState_Timer();
    ASSERT_FALSE(env.link->mscOut.isOpen());
    ASSERT_TRUE(env.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 9999) "
                         "INSERT INTO OutwardPending (Record) SELECT '$FEE,old' || i || '#' FROM n"));
    env.intake->ProcessCallRecord(callFrame(5, 1, 30));
    EXPECT_EQ(env.link->outward().Pending(), 10000) << "ten thousand are kept";
    EXPECT_EQ(env.link->outward().Dropped(), 0);
    env.intake->ProcessCallRecord(callFrame(5, 2, 30));
    EXPECT_EQ(env.link->outward().Pending(), 10000);
    EXPECT_EQ(env.link->outward().Dropped(), 1);
    EXPECT_EQ(env.select("SELECT Record FROM OutwardPending ORDER BY Seq LIMIT 1").value(0).value(0), "$FEE,old2#")
        << "the oldest went";
    EXPECT_EQ(env.select("SELECT Record FROM OutwardPending ORDER BY Seq DESC LIMIT 1").value(0).value(0),
              "$FEE,805,202612082202,30,0.2,5551234#\r\n");
    ASSERT_FALSE(env.messages.desktopNotices().isEmpty());
    EXPECT_TRUE(env.messages.desktopNotices().last().text.contains("最多保存10000条"))
        << env.messages.desktopNotices().last().text.toStdString();
}

// The monthly file gets every stored record once, whatever moment a console
// is killed at. A line is kept with its record and written after the commit:
// killed before the write, the next start writes it; killed after the write
// but before the kept line went, the next start sees the file already ends
// with it. The file is its owner's alone, whatever the umask.
TEST_F(IntakeTest, MonthlyFileHoldsEveryStoredRecordOnceAcrossKilledConsoles)
{
    const QString folder = env.home.file("calls") + "/";
    ASSERT_TRUE(QDir().mkpath(folder));
    env.setConfig(17, folder);
    const QString path = folder + "202612.txt";
    auto line = [](int minute) {
        return QStringLiteral(
                   "主叫号码：805；被叫号码：5551234；通话时长：30；结束时间：2026年12月08日22时%1分；话费：0.20")
            .arg(minute, 2, 10, QChar('0'));
    };
    auto keep = [&](int minute) {
        ASSERT_TRUE(env.exec("INSERT INTO CallFilePending (Path, Line) VALUES (?, ?)", {path, line(minute)}));
    };
    auto append = [&](int minute) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(CallFileCopy::LineBytes(line(minute)));
    };

    const mode_t before = ::umask(0);
    env.intake->ProcessCallRecord(callFrame(5, 1, 30));
    ::umask(before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    keep(2); // killed after the commit of call 2, before its line
    env.restartIntake();
    keep(3); // killed after writing the line of call 3
    append(3);
    keep(4); // and of call 4, but not of call 5
    append(4);
    keep(5);
    env.restartIntake();
    EXPECT_EQ(env.intake->callFile().Pending(), 0);

    env.intake->ProcessCallRecord(callFrame(5, 6, 30));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray expected;
    for (int minute : {1, 2, 3, 4, 5, 6})
        expected += CallFileCopy::LineBytes(line(minute));
    EXPECT_EQ(gb18030(f.readAll()), gb18030(expected));
}
