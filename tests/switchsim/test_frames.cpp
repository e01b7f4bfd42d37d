// The simulator's pure parts against bytes written out by hand: frames the
// switch sends, commands the console sends, and the scenario format.
#include "CommandDecoder.h"
#include "Frames.h"
#include "Scenario.h"
#include "TestPrint.h"
#include <gtest/gtest.h>

using namespace corvane::sim;

namespace {
QByteArray hex(const char *text) { return Frames::fromHex(QString::fromLatin1(text)); }
QString show(const QByteArray &b) { return Frames::toHex(b); }
} // namespace

TEST(SwitchFrames, CallRecordMatchesHandWrittenBytes)
{
    // Trunk 3, port 5: line word 0x0C05. 8 December, 23:30, 125 units, dialled 1309.
    const CallRecordData r{3, 5, false, 12, 8, 23, 30, 125, QStringLiteral("1309")};
    EXPECT_EQ(show(Frames::callRecord(r)),
              show(hex("FF FE 0C 05 12 08 23 30 00 7D 13 A9 00 00 00 00 00 00 00 00 00 00 B5")));

    // Account 12 on trunk 1: the account flag makes the minute byte 0xB0 at 23:30.
    const CallRecordData a{1, 12, true, 12, 8, 23, 30, 300, QStringLiteral("13912345678")};
    EXPECT_EQ(show(Frames::callRecord(a)),
              show(hex("FF FE 04 0C 12 08 23 B0 01 2C 13 91 23 45 67 80 00 00 00 00 00 00 1B")));

    // Highest trunk and port in the line word, fourteen digits, spare bytes
    // covered by the sum: FE+FF+FF+01+31+00+59+FF+FF+12+34+56+78+9A+12+34
    // +01+02+03+04+05 = 1928 = 0x788.
    const CallRecordData m{
        63, 1023, false, 1, 31, 0, 59, 0xFFFF, QStringLiteral("12345678901234"), hex("01 02 03 04 05")};
    EXPECT_EQ(show(Frames::callRecord(m)),
              show(hex("FF FE FF FF 01 31 00 59 FF FF 12 34 56 78 9A 12 34 01 02 03 04 05 88")));
    // A wrong checksum, one more than the right one.
    EXPECT_EQ(show(Frames::corruptChecksum(Frames::callRecord(m))),
              show(hex("FF FE FF FF 01 31 00 59 FF FF 12 34 56 78 9A 12 34 01 02 03 04 05 89")));
}

TEST(SwitchFrames, TrunkAndLinkFramesMatchHandWrittenBytes)
{
    EXPECT_EQ(show(Frames::trunkRinging(3)), QStringLiteral("FF A2 03"));
    EXPECT_EQ(show(Frames::callerId(5, QStringLiteral("13800138000"))), QStringLiteral("FF A8 05 13 8A A1 38 AA A0"));
    EXPECT_EQ(show(Frames::callerId(2, QString())), QStringLiteral("FF A8 02 00 00 00 00 00 00"));
    EXPECT_EQ(show(Frames::trunkSeized(1, 7)), QStringLiteral("FF C4 01 00 07"));
    EXPECT_EQ(show(Frames::trunkDialled(1, 7, QStringLiteral("0105"))), QStringLiteral("FF 78 01 00 07 A1 A5 00 00"));
    EXPECT_EQ(show(Frames::trunkUserChange(3, 5)), QStringLiteral("FF 94 00 03 05"));
    EXPECT_EQ(show(Frames::trunkAnswer(5, 3)), QStringLiteral("FF 44 00 05 03"));
    EXPECT_EQ(show(Frames::trunkReleased(16)), QStringLiteral("FF D2 10"));
    EXPECT_EQ(show(Frames::linkRequest()), QStringLiteral("FF E1"));
    EXPECT_EQ(show(Frames::acknowledge()), QStringLiteral("FF 5A"));
    EXPECT_EQ(show(Frames::linkAlive(7)), QStringLiteral("FF B2 07"));
    EXPECT_EQ(show(Frames::fault(0x3C)), QStringLiteral("FF 62 3C"));
    // Every frame is as long as the console expects for its type.
    for (const QByteArray &f : {Frames::trunkRinging(1), Frames::callerId(1, QStringLiteral("1")),
                                Frames::trunkSeized(1, 1), Frames::trunkDialled(1, 1, QStringLiteral("1")),
                                Frames::trunkUserChange(1, 1), Frames::trunkAnswer(1, 1), Frames::trunkReleased(1),
                                Frames::linkRequest(), Frames::acknowledge(), Frames::linkAlive(0), Frames::fault(1)})
        EXPECT_EQ(f.size(), Frames::frameLength(quint8(f[1]))) << show(f).toStdString();
}

TEST(SwitchFrames, DigitPacking)
{
    EXPECT_EQ(show(Frames::packDigits(QStringLiteral("1309"), 14)), QStringLiteral("13 A9 00 00 00 00 00"));
    EXPECT_EQ(Frames::unpackDigits(hex("13 A9 00 00 00 00 00")), QStringLiteral("1309"));
    EXPECT_EQ(show(Frames::packDigits(QStringLiteral("123456789"), 8)), QStringLiteral("12 34 56 78")); // cut to fit
    EXPECT_EQ(show(Frames::packDigitsRight(QStringLiteral("80"), 4)), QStringLiteral("00 8A"));
    EXPECT_EQ(show(Frames::packDigitsRight(QStringLiteral("801"), 6)), QStringLiteral("00 08 A1"));
    EXPECT_EQ(Frames::unpackDigits(hex("00 01 1A 1A")), QStringLiteral("11010"));
}

TEST(SwitchFrames, DumpBlockCarriesNumberAndChecksum)
{
    const QByteArray ones(256, char(0x01));
    const QByteArray b = Frames::dumpBlock(2, ones);
    ASSERT_EQ(b.size(), 258);
    EXPECT_EQ(quint8(b[0]), 2);
    EXPECT_EQ(b.mid(1, 256), ones);
    EXPECT_EQ(quint8(b[257]), 0x02); // (2 + 256) mod 256

    QByteArray data(256, '\0');
    data[0] = char(0xFF);
    EXPECT_EQ(quint8(Frames::dumpBlock(49, data)[257]), 0x30);          // 49 + 255 = 304
    EXPECT_EQ(Frames::dumpBlock(3, QByteArray("\x05", 1)).size(), 258); // short data is zero-filled
}

TEST(SwitchFrames, FrameReaderCutsAStreamLikeTheConsole)
{
    FrameReader r;
    // Noise before a sync byte is skipped; an unknown type drops the sync byte only.
    auto frames = r.feed(hex("00 12 FF B2 00 FF 33 FF A2"));
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(show(frames[0]), QStringLiteral("FF B2 00"));
    EXPECT_EQ(show(r.pending()), QStringLiteral("FF A2"));
    frames = r.feed(hex("03"));
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(show(frames[0]), QStringLiteral("FF A2 03"));
    EXPECT_EQ(r.discarded(), 4);
}

// ---- commands from the console --------------------------------------------

TEST(SwitchCommands, ClockCommandFromTheWorkedExample)
{
    CommandDecoder d;
    const auto cmds = d.feed(hex("E8 26 12 08 02 01 42 6D"));
    ASSERT_EQ(cmds.size(), 1);
    EXPECT_EQ(cmds[0].kind, Command::Clock);
    EXPECT_EQ(cmds[0].clock, QDateTime(QDate(2026, 12, 8), QTime(1, 42)));
    EXPECT_EQ(cmds[0].weekday, 2);
    EXPECT_TRUE(cmds[0].weekdayMatches);
    EXPECT_EQ(cmds[0].text, QStringLiteral("CLOCK 2026-12-08 01:42 weekday 2"));

    // A Sunday travels as 07; a Sunday sent as 00 is decoded but flagged.
    auto sunday =
        d.feed(hex("E8 26 12 13 07 09 05") + QByteArray(1, char(0xE8 + 0x26 + 0x12 + 0x13 + 0x07 + 0x09 + 0x05)));
    ASSERT_EQ(sunday.size(), 1);
    EXPECT_TRUE(sunday[0].weekdayMatches);
    auto zero = d.feed(hex("E8 26 12 13 00 09 05") + QByteArray(1, char(0xE8 + 0x26 + 0x12 + 0x13 + 0x09 + 0x05)));
    ASSERT_EQ(zero.size(), 1);
    EXPECT_EQ(zero[0].kind, Command::Clock);
    EXPECT_FALSE(zero[0].weekdayMatches);
    EXPECT_TRUE(zero[0].text.contains(QStringLiteral("date is weekday 7")));

    // Wrong checksum, or a month that is no BCD month: not a clock.
    EXPECT_EQ(d.feed(hex("E8 26 12 08 02 01 42 6E")).value(0).kind, Command::BadClock);
    EXPECT_EQ(d.feed(hex("E8 26 13 08 02 01 42 6E")).value(0).kind, Command::BadClock);
}

TEST(SwitchCommands, StarCodesDecodeToTheirDigitText)
{
    struct Case {
        const char *bytes;
        const char *text;
    };
    const Case cases[] = {
        {"0B 1A 0B 03 0B 02 A1 0C", "*10*3*201#"},
        {"0B 0A 0B 01 21 0C", "*00*121#"}, // code 00 travels as 0A
        {"0B 58 0B 5A 0C", "*58*50#"},     // 5A inside a star code is no acknowledgement
        {"0B 49 0B 0A 0C", "*49*0#"},
        {"0B 32 0B 01 2A 0C", "*32*120#"},
        {"0B A5 0B 01 0B 03 0C", "*05*1*3#"}, // A5 inside a star code is no NAK
        {"0B 19 0B 06 0B 07 0B 01 1A 1A 0C", "*19*6*7*11010#"},
    };
    for (const Case &c : cases) {
        CommandDecoder d;
        const auto cmds = d.feed(hex(c.bytes));
        ASSERT_EQ(cmds.size(), 1) << c.bytes;
        EXPECT_EQ(cmds[0].kind, Command::StarCode) << c.bytes;
        EXPECT_EQ(cmds[0].text, QLatin1String(c.text));
    }
    // A byte with a nibble above A is no star code; decoding goes on after it.
    CommandDecoder d;
    const auto bad = d.feed(hex("0B 1F 0C 5A"));
    ASSERT_EQ(bad.size(), 2);
    EXPECT_EQ(bad[0].kind, Command::BadStarCode);
    EXPECT_EQ(bad[1].kind, Command::Ack);
}

TEST(SwitchCommands, FixedCommandsInOneStreamAndInPieces)
{
    const QByteArray stream =
        hex("5A A5 66 23 45 98 31 00 0B 1A 0B 03 0B 02 A1 0C 62 05 11 0B 49 0B 0A 0C 11 F1 E8 26 12 08 02 01 42 6D 77");
    const QStringList expected{"ACK",
                               "NAK",
                               "DUMP",
                               "RESET",
                               "USER OPEN",
                               "*10*3*201#",
                               "BLOCK 62 05",
                               "USER CLOSE",
                               "*49*0#",
                               "EXIT",
                               "CLOCK 2026-12-08 01:42 weekday 2",
                               "UNKNOWN 77"};

    CommandDecoder whole;
    QStringList got;
    for (const Command &c : whole.feed(stream))
        got << c.text;
    EXPECT_EQ(got, expected);

    // Byte by byte gives the same commands.
    CommandDecoder bytewise;
    got.clear();
    for (char b : stream)
        for (const Command &c : bytewise.feed(QByteArray(1, b)))
            got << c.text;
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(bytewise.hasPending());
}

TEST(SwitchCommands, PendingBytesSettleOnFlush)
{
    // A lone 11 could still become 11 F1: nothing until the line is quiet.
    CommandDecoder d;
    EXPECT_TRUE(d.feed(hex("11")).isEmpty());
    EXPECT_TRUE(d.hasPending());
    const auto flushed = d.flush();
    ASSERT_EQ(flushed.size(), 1);
    EXPECT_EQ(flushed[0].text, QStringLiteral("USER CLOSE"));

    // A cut-off reset command gives up its first byte and resumes at the next.
    CommandDecoder r;
    QStringList texts;
    for (const Command &c : r.feed(hex("23 45 5A")))
        texts << c.text;
    EXPECT_EQ(texts, (QStringList{"UNKNOWN 23", "UNKNOWN 45", "ACK"}));

    // A star code without its end key is given up after the length limit.
    CommandDecoder s;
    const auto cmds = s.feed(QByteArray(1, 0x0B) + QByteArray(CommandDecoder::MaxStarCodeBytes, char(0x11)));
    ASSERT_FALSE(cmds.isEmpty());
    EXPECT_EQ(cmds[0].text, QStringLiteral("UNKNOWN 0B"));
}

// ---- scenario format --------------------------------------------------------

TEST(SwitchScenario, ParsesEveryActionAndSortsByTime)
{
    QString error;
    const auto sc = Scenario::parse(
        QStringLiteral("# demo\n"
                       "at 4 answer trunk=3 port=5   # answered\n"
                       "at 2.0 ring trunk=3\n"
                       "at 2.5 callerid trunk=3 number=13800138000\n"
                       "at 10 seize trunk=1 port=7\n"
                       "at 11 dial trunk=1 port=7 digits=01055512\n"
                       "at 12 takeover trunk=3 port=6\n"
                       "at 40 record trunk=1 port=7 end=2026-12-08T23:30 duration=125 called=0105551234\n"
                       "at 41 record trunk=2 account=12 duration=300 called=139\n"
                       "at 42 fault code=3C\n"
                       "at 43 raw bytes=FF,B2,00\n"
                       "at 44 silence state=on\n"
                       "at 45 linkrequest\n"
                       "at 9 release trunk=3\n"
                       "repeat 60\n"),
        &error);
    ASSERT_TRUE(sc) << error.toStdString();
    EXPECT_EQ(sc->repeatMs, 60000);
    ASSERT_EQ(sc->events.size(), 13);
    EXPECT_EQ(sc->events[0].kind, ScenarioEvent::Ring);
    EXPECT_EQ(sc->events[0].atMs, 2000);
    EXPECT_EQ(sc->events[1].digits, QStringLiteral("13800138000"));
    EXPECT_EQ(sc->events[2].kind, ScenarioEvent::Answer);
    EXPECT_EQ(sc->events[3].kind, ScenarioEvent::Release);

    const ScenarioEvent &rec = sc->events[7];
    ASSERT_EQ(rec.kind, ScenarioEvent::Record);
    EXPECT_FALSE(rec.recordEndNow);
    EXPECT_EQ(show(Frames::callRecord(rec.record)).left(23), QStringLiteral("FF FE 04 07 12 08 23 30"));
    const ScenarioEvent &acc = sc->events[8];
    EXPECT_TRUE(acc.record.account);
    EXPECT_EQ(acc.record.line, 12);
    EXPECT_TRUE(acc.recordEndNow);
    EXPECT_EQ(sc->events[9].code, 0x3C);
    EXPECT_EQ(show(sc->events[10].raw), QStringLiteral("FF B2 00"));
    EXPECT_TRUE(sc->events[11].on);
}

TEST(SwitchScenario, MistakesNameTheirLine)
{
    struct Case {
        const char *text;
        const char *error;
    };
    const Case cases[] = {
        {"at 1 ring trunk=3\nat 2 ring\n", "line 2: missing trunk="},
        {"at 1 ring trunk=x\n", "line 1: trunk must be a whole number from 0 to 255"},
        {"at 1 bang trunk=1\n", "line 1: unknown action 'bang'"},
        {"at 1 ring trunk=1 port=2\n", "line 1: unknown key port="},
        {"at 1 record trunk=1 duration=1 called=1\n", "line 1: record needs either port= or account="},
        {"at 1 record trunk=1 port=1 account=2 duration=1 called=1\n", "line 1: record needs either port= or account="},
        {"at 1 record trunk=1 port=1 duration=70000 called=1\n",
         "line 1: duration must be a whole number from 0 to 65535"},
        {"at 1 record trunk=1 port=1 duration=1 called=123456789012345\n", "line 1: called holds at most 14 digits"},
        {"at 1 record trunk=1 port=1 duration=1 called=1 end=yesterday\n",
         "line 1: end must be now or YYYY-MM-DDTHH:MM"},
        {"at 1 callerid trunk=1 number=12a\n", "line 1: number must be digits"},
        {"at -1 ring trunk=1\n", "line 1: time must be a number of seconds"},
        {"ring trunk=1\n", "line 1: expected 'at <seconds> <action> key=value ...' or 'repeat <seconds>'"},
        {"\n\nrepeat 5\nat 6 ring trunk=1\n", "line 3: repeat must be longer than the last event time"},
        {"at 1 raw bytes=FFB\n", "line 1: bytes must be hex pairs, e.g. bytes=FF,B2,00"},
    };
    for (const Case &c : cases) {
        QString error;
        EXPECT_FALSE(Scenario::parse(QString::fromLatin1(c.text), &error)) << c.text;
        EXPECT_EQ(error, QLatin1String(c.error)) << c.text;
    }
}

TEST(SwitchScenario, ShippedDemoIsValid)
{
    QString error;
    const auto sc = Scenario::load(QStringLiteral(SWITCHSIM_DEMO), &error);
    ASSERT_TRUE(sc) << error.toStdString();
    EXPECT_GT(sc->repeatMs, 0);
    int records = 0, rings = 0, answers = 0;
    for (const ScenarioEvent &e : sc->events) {
        records += e.kind == ScenarioEvent::Record;
        rings += e.kind == ScenarioEvent::Ring;
        answers += e.kind == ScenarioEvent::Answer;
    }
    EXPECT_GE(records, 3);
    EXPECT_GT(rings, answers); // some calls are missed
}

TEST(ScenarioText, MemorySettings)
{
    QString error;
    auto sc = Scenario::parse(QStringLiteral("at 1 set block=0 offset=21 value=00\n"), &error);
    ASSERT_TRUE(sc) << error.toStdString();
    ASSERT_EQ(sc->events.size(), 1);
    EXPECT_EQ(sc->events[0].kind, ScenarioEvent::SetByte);
    EXPECT_EQ(sc->events[0].block, 0);
    EXPECT_EQ(sc->events[0].offset, 21);
    EXPECT_EQ(sc->events[0].value, 0x00);
    for (const char *bad : {"at 1 set block=50 offset=0 value=00", "at 1 set block=0 offset=256 value=00",
                            "at 1 set block=0 offset=0 value=1FF", "at 1 set block=0 offset=0"}) {
        EXPECT_FALSE(Scenario::parse(QString::fromLatin1(bad), &error)) << bad;
        EXPECT_TRUE(error.startsWith(QStringLiteral("line 1:"))) << error.toStdString();
    }

    auto e = parseMemorySetting(QStringLiteral("49:5=0A"), &error);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->block, 49);
    EXPECT_EQ(e->offset, 5);
    EXPECT_EQ(e->value, 0x0A);
    for (const char *bad : {"50:0=00", "0:256=00", "0:0=100", "0-0=00", ""})
        EXPECT_FALSE(parseMemorySetting(QString::fromLatin1(bad), &error)) << bad;
}
