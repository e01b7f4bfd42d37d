// The extension alarm clock without widgets: the number check, the next
// occurrence of a time (on the test clock), the commands, the list and the
// Ring.Txt file with its damage.
#include "ConsoleContext.h"
#include "RingClock.h"
#include "TestHome.h"
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class RingClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(ctx.db, ctx.home.switchDb()));
        // A switch of 16 extensions: ports 0..15 (numbers 800..815) exist.
        ASSERT_TRUE(ctx.db.exec("UPDATE SWTConfig SET " + firstConfigColumn() + "='16'"));
    }
    QString firstConfigColumn() { return "\"" + ctx.db.columnNames("SWTConfig").at(0) + "\""; }
    void writeRing(const QByteArray &bytes)
    {
        QDir().mkpath(ctx.home.dataDir());
        QFile f(ctx.home.ringTxt());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readRing()
    {
        QFile f(ctx.home.ringTxt());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static QDateTime at(int d, int h, int m) { return QDateTime(QDate(2026, 12, d), QTime(h, m)); }

    test::TestHome home;
    ScriptedMessageService messages;
    TestClock clock{QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0))};
    ConsoleContext ctx{HomePaths(home.path()), messages, clock};
};

} // namespace

TEST(RingTimes, NextOccurrenceTodayWhileTheMinuteIsToComeElseTomorrow)
{
    const QDateTime morning(QDate(2026, 12, 9), QTime(8, 0, 0));
    EXPECT_EQ(RingClock::nextOccurrence(morning, QTime(7, 30)), QDateTime(QDate(2026, 12, 10), QTime(7, 30)));
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 9), QTime(7, 0)), QTime(7, 30)),
              QDateTime(QDate(2026, 12, 9), QTime(7, 30)));
    // The current minute has begun: its alarm is tomorrow's.
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 9), QTime(7, 30, 0)), QTime(7, 30)),
              QDateTime(QDate(2026, 12, 10), QTime(7, 30)));
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 9), QTime(7, 30, 59)), QTime(7, 30)),
              QDateTime(QDate(2026, 12, 10), QTime(7, 30)));
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 9), QTime(7, 29, 59)), QTime(7, 30, 45)),
              QDateTime(QDate(2026, 12, 9), QTime(7, 30)))
        << "seconds of the picker do not count";
    // Across midnight, the year's end and a leap day.
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 30)), QTime(0, 5)),
              QDateTime(QDate(2027, 1, 1), QTime(0, 5)));
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2028, 2, 28), QTime(23, 0)), QTime(6, 0)),
              QDateTime(QDate(2028, 2, 29), QTime(6, 0)));
    EXPECT_EQ(RingClock::nextOccurrence(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 0)), QTime(23, 59)),
              QDateTime(QDate(2026, 12, 10), QTime(23, 59)));
}

TEST(RingTimes, CommandsAndMomentText)
{
    EXPECT_EQ(RingClock::setCode("801", QTime(7, 30)), "*34*801*0730#");
    EXPECT_EQ(RingClock::setCode("919", QTime(0, 0)), "*34*919*0000#");
    EXPECT_EQ(RingClock::setCode("800", QTime(23, 5)), "*34*800*2305#");
    EXPECT_EQ(RingClock::clearCode("801"), "*34*801*0#");

    // Year first, whatever the desktop's locale; old slash dates read too.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = RingClock::formatMoment(QDateTime(QDate(2026, 12, 9), QTime(7, 30)));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime back = RingClock::parseMoment(text);
    QLocale::setDefault(before);
    EXPECT_EQ(text, "2026-12-09 07:30");
    EXPECT_EQ(back, QDateTime(QDate(2026, 12, 9), QTime(7, 30)));
    EXPECT_EQ(RingClock::parseMoment("2026/12/9 7:30"), QDateTime(QDate(2026, 12, 9), QTime(7, 30)));
    EXPECT_EQ(RingClock::parseMoment("2026-12-09 07:30:15"), QDateTime(QDate(2026, 12, 9), QTime(7, 30, 15)));
    for (const QString &bad : QStringList{"", "07:30", "2026-13-01 07:30", "2026-02-30 07:30", "2026-12-09 24:30",
                                          "9/12/2026 07:30", "明天 07:30", "2026-12-09"})
        EXPECT_FALSE(RingClock::parseMoment(bad).isValid()) << bad.toStdString();
}

TEST_F(RingClockTest, NumberCheckAgainstUserAndCapacity)
{
    RingClock ring(ctx);
    const QString refusal = "输入的用户号码不存在，请核对后重新输入！";
    for (const QString &bad : QStringList{"", "  ", "799", "920", "816", "919", "80 1", "801'", "' OR '1'='1"}) {
        const Checked<QString> c = ring.checkNumber(bad);
        EXPECT_FALSE(c) << bad.toStdString();
        EXPECT_EQ(c.reason(), refusal);
    }
    EXPECT_EQ(*ring.checkNumber("800"), "800");
    EXPECT_EQ(*ring.checkNumber(" 815 "), "815") << "port 15 is below the capacity of 16";
    EXPECT_FALSE(ring.setAlarm("816", QTime(7, 30)));
    EXPECT_FALSE(ring.clearAlarm("816"));
    EXPECT_TRUE(ring.alarms().isEmpty());
}

TEST_F(RingClockTest, SettingAndClearingKeepOneItemPerExtension)
{
    RingClock ring(ctx);
    EXPECT_EQ(*ring.setAlarm("801", QTime(7, 30)), "*34*801*0730#"); // 08:00 now: tomorrow
    clock.set(at(9, 8, 10));
    EXPECT_EQ(*ring.setAlarm(" 802", QTime(21, 0)), "*34*802*2100#");
    ASSERT_EQ(ring.alarms().size(), 2);
    EXPECT_EQ(ring.alarms().at(0), (RingAlarm{"802", at(9, 21, 0)})) << "new items go to the top";
    EXPECT_EQ(ring.alarms().at(1), (RingAlarm{"801", at(10, 7, 30)}));

    // Set again: the same item with the newer moment, in its place.
    EXPECT_EQ(*ring.setAlarm("801", QTime(9, 15)), "*34*801*0915#");
    ASSERT_EQ(ring.alarms().size(), 2);
    EXPECT_EQ(ring.alarms().at(1), (RingAlarm{"801", at(9, 9, 15)}));

    // Clearing an extension without an item still sends its command.
    EXPECT_EQ(*ring.clearAlarm("805"), "*34*805*0#");
    EXPECT_EQ(ring.alarms().size(), 2);
    EXPECT_EQ(*ring.clearAlarm("802 "), "*34*802*0#");
    ASSERT_EQ(ring.alarms().size(), 1);
    EXPECT_EQ(ring.alarms().at(0).number, "801");
}

TEST_F(RingClockTest, FileRoundTripDropsAlarmsThatHaveRung)
{
    {
        RingClock ring(ctx);
        ring.load();
        EXPECT_TRUE(ring.alarms().isEmpty()) << "no file yet";
        ASSERT_TRUE(ring.setAlarm("801", QTime(7, 30))); // 10th 07:30
        ASSERT_TRUE(ring.setAlarm("803", QTime(12, 0))); // 9th 12:00
        ASSERT_TRUE(ring.setAlarm("810", QTime(8, 1)));  // 9th 08:01
        ASSERT_TRUE(ring.save());
    }
    // Quoted fields, CR LF, the list order (top first).
    EXPECT_EQ(readRing(), QByteArray("\"810\",\"2026-12-09 08:01\"\r\n"
                                     "\"803\",\"2026-12-09 12:00\"\r\n"
                                     "\"801\",\"2026-12-10 07:30\"\r\n"));

    // Opened again later that day: the 08:01 and 12:00 alarms have rung.
    clock.set(at(9, 12, 0));
    RingClock again(ctx);
    again.load();
    ASSERT_EQ(again.alarms().size(), 1);
    EXPECT_EQ(again.alarms().at(0), (RingAlarm{"801", at(10, 7, 30)}));
    EXPECT_EQ(again.damagedLines(), 0);

    clock.set(at(9, 11, 59));
    RingClock earlier(ctx);
    earlier.load();
    ASSERT_EQ(earlier.alarms().size(), 2);
    EXPECT_EQ(earlier.alarms().at(0).number, "803") << "the list keeps its order across openings";
    EXPECT_EQ(earlier.alarms().at(1).number, "801");
}

TEST_F(RingClockTest, DamagedLinesAreLostAlone)
{
    QByteArray file;
    file += "\"801\",\"2026-12-10 07:30\"\r\n";
    file += "802,2026-12-10 07:30\r\n";         // no quotes
    file += "\"803\",\"明天早上\"\r\n";         // no date (UTF-8 here: another encoding)
    file += "\"804\",\"2026-12-32 07:30\"\r\n"; // no such day
    file += QByteArray("\"\0"
                       "8\0"
                       "0\0"
                       "5\0"
                       "\"\0",
                       10)
            + "\r\n"; // UTF-16 bytes
    file += "\"806\",\"2026-12-10 \xff\xfe"
            "07:30\"\r\n";                      // not GB18030
    file += "\"807\"\r\n";                      // one field
    file += "\r\n";                             // an empty line is no damage
    file += "\"808\",\"2026/12/10 6:05\"\n";    // older form, LF only
    file += "\"809\",\"2026-12-09 07:59\"\r\n"; // rung already: dropped, not damaged
    file += "\"801\",\"2026-12-11 07:30\"\r\n"; // the same extension again: the later line wins
    file += "\"811\",\"2026-12-10 09:00\"";     // no line end at the file's end
    writeRing(file);

    RingClock ring(ctx);
    ring.load();
    QStringList numbers;
    for (const RingAlarm &a : ring.alarms())
        numbers << a.number;
    EXPECT_EQ(numbers, QStringList({"808", "801", "811"}));
    EXPECT_EQ(ring.damagedLines(), 6);
    EXPECT_EQ(ring.alarms().at(1).moment, at(11, 7, 30));
    EXPECT_EQ(ring.alarms().at(0).moment, at(10, 6, 5));
}

TEST_F(RingClockTest, GB18030TextSurvivesAndAFailedWriteKeepsTheOldFile)
{
    // Numbers are digits in practice; whatever User holds is kept exactly.
    ASSERT_TRUE(ctx.db.exec("UPDATE \"User\" SET \"" + ctx.db.columnNames("User").at(1) + "\"='分机\"8' WHERE \""
                            + ctx.db.columnNames("User").at(0) + "\"='3'"));
    RingClock ring(ctx);
    ASSERT_TRUE(ring.setAlarm("分机\"8", QTime(9, 0)));
    ASSERT_TRUE(ring.save());
    const QByteArray bytes = readRing();
    EXPECT_EQ(bytes, QStringEncoder("GB18030").encode(QString("\"分机\"\"8\",\"2026-12-09 09:00\"\r\n")));
    RingClock back(ctx);
    back.load();
    ASSERT_EQ(back.alarms().size(), 1);
    EXPECT_EQ(back.alarms().at(0).number, "分机\"8");

    // Ring.Txt cannot be written (a folder stands in its place): said, nothing lost.
    ASSERT_TRUE(QFile::remove(ctx.home.ringTxt()));
    ASSERT_TRUE(QDir().mkpath(ctx.home.ringTxt()));
    const Status s = ring.save();
    EXPECT_FALSE(s);
    EXPECT_TRUE(s.reason().contains(ctx.home.ringTxt())) << s.reason().toStdString();
}
