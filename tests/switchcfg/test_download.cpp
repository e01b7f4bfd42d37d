// "数据库参数下传至交换机": the ordered command list with its pauses.
#include "DownloadPlan.h"
#include "DumpFixture.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

using Kind = SwitchCommand::Kind;

SwitchCommand star(const QString &text, int gap = 100) { return {Kind::StarCode, text, gap}; }

class Download : public ::testing::Test {
protected:
    DownloadPlan build()
    {
        Checked<DownloadPlan> plan = BuildDownload(env.db);
        EXPECT_TRUE(plan) << plan.reason().toStdString();
        return plan ? *plan : DownloadPlan{};
    }
    int indexOf(const DownloadPlan &p, const QString &code)
    {
        for (int i = 0; i < p.commands.size(); ++i)
            if (p.commands[i].text == code)
                return i;
        return -1;
    }
    DumpEnv env;
};

TEST_F(Download, CapacityEight)
{
    env.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='8'"));
    // Port 3 pays by deposit but has no deposit row; port 4 has one with its
    // password in force; port 5 one whose password is off.
    env.exec(QStringLiteral("UPDATE User SET 付费方式='押金' WHERE 物理端口 IN ('3', '4', '5')"));
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('4', '804', '', '4', '0.00', '0.00', '1234', '√')"));
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('5', '805', '', '4', '0.00', '0.00', '4321', '×')"));
    // An account's deposit row on port number 3 is not the extension's.
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('3', '账号', '', '4', '0.00', '0.00', '9999', '√')"));
    env.exec(QStringLiteral("UPDATE Exchange SET 中继出局方式='间局', 间局局向='5' WHERE 中继='2'"));

    const DownloadPlan p = build();
    EXPECT_TRUE(p.notes.isEmpty()) << p.notes.join(QLatin1Char('\n')).toStdString();
    ASSERT_GE(p.commands.size(), 90);
    EXPECT_EQ(p.commands[0], star(QStringLiteral("*32*8#")));
    EXPECT_EQ(p.commands[1], star(QStringLiteral("*04*3#"), 10000));

    // Eight blocks of eleven commands, ports 0 to 7: the classic ten and the
    // "*15*" switch, which the dump does not carry.
    QList<SwitchCommand> expected;
    for (int port = 0; port < 8; ++port) {
        const QString n = QString::number(800 + port);
        const QString password = port == 4 ? QStringLiteral("1234") : QStringLiteral("0");
        expected << star(QStringLiteral("*11*%1*%2#").arg(port).arg(n)) << star(QStringLiteral("*10*4*%1#").arg(n))
                 << star(QStringLiteral("*59*1*%1#").arg(n)) << star(QStringLiteral("*15*0*%1#").arg(n))
                 << star(QStringLiteral("*41*1*%1#").arg(n)) << star(QStringLiteral("*40*1*%1#").arg(n))
                 << star(QStringLiteral("*42*1*%1#").arg(n)) << star(QStringLiteral("*43*1*%1#").arg(n))
                 << star(QStringLiteral("*48*0*%1#").arg(n))
                 << star(QStringLiteral("*67*%1*%2#").arg(port).arg(password))
                 << star(QStringLiteral("*61*0*%1#").arg(n));
    }
    EXPECT_EQ(p.commands.mid(2, 88), expected);
    EXPECT_FALSE(p.commands[90].text.startsWith(QStringLiteral("*11*")));

    // Trunk 1 (直局): no "*08*1*" command, its pause goes after "*09*";
    // the virtual operators are cleared with a 0.2 s pause.
    const int t1 = indexOf(p, QStringLiteral("*44*1*1#"));
    ASSERT_EQ(t1, 90);
    const QList<SwitchCommand> trunk1{
        star(QStringLiteral("*44*1*1#")), star(QStringLiteral("*05*2*1#")), star(QStringLiteral("*06*1*1#")),
        star(QStringLiteral("*07*0*1#")), star(QStringLiteral("*08*0*1#")), star(QStringLiteral("*09*0*1#"), 200),
        star(QStringLiteral("*60*1*1#")), star(QStringLiteral("*47*0*1#")), star(QStringLiteral("*12*0*1#"), 200),
    };
    EXPECT_EQ(p.commands.mid(t1, 9), trunk1);
    for (const QString &code : p.starCodes())
        EXPECT_FALSE(code.startsWith(QStringLiteral("*08*1*1*"))) << code.toStdString();
    // Trunk 2 (间局) gets the direction after its route.
    const int t2 = indexOf(p, QStringLiteral("*09*0*2#"));
    ASSERT_GT(t2, 0);
    EXPECT_EQ(p.commands[t2], star(QStringLiteral("*09*0*2#")));
    EXPECT_EQ(p.commands[t2 + 1], star(QStringLiteral("*08*1*2*5#")));
    EXPECT_EQ(p.commands[t2 - 1], star(QStringLiteral("*08*1*2#")));

    // One clock command, after the waiting tone and before the agents.
    int clocks = 0;
    for (const SwitchCommand &c : p.commands)
        clocks += c.kind == Kind::Clock ? 1 : 0;
    EXPECT_EQ(clocks, 1);
    const int clock = indexOf(p, QStringLiteral("*73*1#")) + 1;
    EXPECT_EQ(p.commands[clock].kind, Kind::Clock);
    // No agent operators: the five pauses follow the clearing command.
    EXPECT_EQ(p.commands[clock + 1], star(QStringLiteral("*49*0#"), 600));
}

TEST_F(Download, FullOrderOfTheTail)
{
    env.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='0', 代理总机1='2', 代理总机2='5', 夜服值班分机='7'"));
    env.exec(QStringLiteral("UPDATE Exchange SET 虚拟总机1='7' WHERE 中继='3'"));
    env.exec(QStringLiteral("UPDATE ExNO SET 外线号码='12345678' WHERE 中继号='2'"));
    env.exec(QStringLiteral("UPDATE ExNO SET 工作日控制='√' WHERE 中继号='3'"));
    env.exec(QStringLiteral("UPDATE IP SET 启用='√', 切入码='17909', 卡号='12345678', 密码='123456' WHERE 序号='1'"));
    env.exec(QStringLiteral("UPDATE IP SET 启用='1', 切入码='17951', 延时1='0' WHERE 序号='13'"));
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('82', '本地82', '5')"));
    env.exec(QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('80', '本地80', '5')"));
    env.exec(QStringLiteral("INSERT INTO SPCPhone VALUES ('114')"));
    env.exec(QStringLiteral("INSERT INTO SPCPhone VALUES ('11010')"));

    const DownloadPlan p = build();
    EXPECT_TRUE(p.notes.isEmpty()) << p.notes.join(QLatin1Char('\n')).toStdString();
    const QStringList codes = p.starCodes();
    auto after = [&](const QString &first, int n) { return codes.mid(codes.indexOf(first), n); };

    EXPECT_EQ(after(QStringLiteral("*12*0*3#"), 2), (QStringList{"*12*0*3#", "*12*807*3#"}));
    EXPECT_EQ(after(QStringLiteral("*77*0#"), 6), (QStringList{"*77*0#", "*86*0*1#", "*77*2*12345678#", "*86*0*2#",
                                                               "*86*1*5*3#", "*85*08001200*14001800*3#"}));
    EXPECT_EQ(after(QStringLiteral("*71*6#"), 3), (QStringList{"*71*6#", "*80*0#", "*73*1#"}));
    EXPECT_EQ(after(QStringLiteral("*49*0#"), 3), (QStringList{"*49*0#", "*49*802#", "*49*805#"}));
    EXPECT_EQ(after(QStringLiteral("*27*10#"), 5),
              (QStringList{"*27*10#", "*24*10#", "*21*10#", "*17*10#", "*53*10#"}));
    EXPECT_EQ(after(QStringLiteral("*81*17909*1*12345678*123456*1#"), 3),
              (QStringList{"*81*17909*1*12345678*123456*1#", "*82*150*150*150*150*1#", "*81*0*2#"}));
    // Interval index 0 is the rate window's first option, "10毫秒", code 1.
    EXPECT_EQ(codes.mid(codes.indexOf(QStringLiteral("*81*0*12#")), 9),
              (QStringList{"*81*0*12#", "*83*17951#", "*84*1#", "*50*807#", "*20*0#", "*20*1*1*80#", "*20*1*1*82#",
                           "*19*0#", "*19*6*7*114#"}));
    EXPECT_EQ(codes.last(), QStringLiteral("*19*6*7*11010#"));
    // The accounts last: class and trunk group, open, password (a deposit
    // account's own, none for an ordinary one).
    env.exec(QStringLiteral("INSERT INTO Account VALUES ('007', '007账号', '3', '2', '4455', '押金')"));
    env.exec(QStringLiteral("INSERT INTO Account VALUES ('511', '511账号', '4', '0', '1234', '普通')"));
    const QStringList withAccounts = build().starCodes();
    EXPECT_EQ(withAccounts.mid(withAccounts.indexOf(QStringLiteral("*19*6*7*11010#"))),
              (QStringList{"*19*6*7*11010#", "*68*3*2*0*007#", "*74*1*1*7#", "*67*007*4455#", "*68*4*0*0*511#",
                           "*74*1*1*511#", "*67*511*0#"}));
    // Trunk 1 has no outside number to set; trunks 3 to 12 have none stored:
    // each pauses all the same.
    EXPECT_EQ(p.commands[p.commands.indexOf(star(QStringLiteral("*86*1*5*3#"))) + 1].gapMs, 200);
    // The "本地默认" row is never sent.
    for (const QString &c : codes)
        EXPECT_NE(c, QStringLiteral("*20*1*1*#"));
}

TEST_F(Download, AllExtensionsAndTheTime)
{
    const DownloadPlan p = build();
    EXPECT_TRUE(p.notes.isEmpty());
    // 2 + 120 × 11 extension commands + 12 trunks × 9 + 1 + 12 + 3 + clock +
    // 1 + 5 + 12 + 1 + 1 + 1 + 1; no accounts yet.
    EXPECT_EQ(p.commands.size(), 1469);
    // 10 s after "*04*", 0.1 s after most commands, the longer trunk and agent pauses.
    EXPECT_EQ(p.totalMs(), 10000 + 1468 * 100 + 12 * 100 + 12 * 100 + 11 * 100 + 5 * 100);
}

TEST_F(Download, ValuesThatCannotBeKeyedAreLeftOut)
{
    struct Case {
        const char *what;
        QString sql;
        QString missing; // a command that must not be in the list
        QString note;    // part of the note that says so
    };
    const Case cases[] = {
        {"caller display not a mark", QStringLiteral("UPDATE User SET 分机来电显示='?' WHERE 物理端口='1'"),
         QStringLiteral("*59*"), QStringLiteral("分机801")},
        {"number with a blank inside", QStringLiteral("UPDATE User SET 用户号码='8 02' WHERE 物理端口='2'"),
         QStringLiteral("*11*2*"), QStringLiteral("物理端口2")},
        {"unknown charging mode", QStringLiteral("UPDATE Exchange SET 中继计费开关方式='按次' WHERE 中继='4'"),
         QStringLiteral("*05*"), QStringLiteral("4号中继")},
        {"IP card with an unknown language",
         QStringLiteral("UPDATE IP SET 启用='√', 切入码='1', 卡号='2', 密码='3', 语言='法文' WHERE 序号='5'"),
         QStringLiteral("*81*1*"), QStringLiteral("IP卡5")},
        {"prefix that is no number", QStringLiteral("INSERT INTO Feerate (区号, 地区, 类型) VALUES ('8#1', 'x', '5')"),
         QStringLiteral("*20*1*1*8"), QStringLiteral("8#1")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DumpEnv fresh;
        fresh.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='8'"));
        fresh.exec(c.sql);
        Checked<DownloadPlan> plan = BuildDownload(fresh.db);
        ASSERT_TRUE(plan);
        EXPECT_TRUE(plan->notes.join(QLatin1Char('\n')).contains(c.note))
            << plan->notes.join(QLatin1Char('\n')).toStdString();
        int matching = 0;
        for (const QString &code : plan->starCodes())
            matching += code.startsWith(c.missing) ? 1 : 0;
        // Every other extension / trunk still gets its command.
        if (c.missing == QLatin1String("*59*"))
            EXPECT_EQ(matching, 7);
        else if (c.missing == QLatin1String("*05*"))
            EXPECT_EQ(matching, 11);
        else
            EXPECT_EQ(matching, 0);
    }

    env.exec(QStringLiteral("UPDATE SWTConfig SET 用户容量='12O'"));
    Checked<DownloadPlan> refused = BuildDownload(env.db);
    EXPECT_TRUE(refused.refused());
    EXPECT_TRUE(refused.reason().contains(QStringLiteral("12O")));
}

} // namespace
