// "交换机参数覆盖数据库": the local-prefix rule, one transaction, only the
// changed columns, ports stored as ports, and the refusals.
//
// Each test programs the simulator's memory from the database, so that the
// dump agrees with it, and then changes single bytes of the memory at the
// positions the protocol gives them.
#include "DumpFixture.h"
#include "SimBridge.h"
#include "SwitchToDatabase.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

class Copy : public ::testing::Test {
protected:
    // The memory as the database programs it.
    void programSwitch()
    {
        Checked<DownloadPlan> plan = BuildDownload(env.db);
        ASSERT_TRUE(plan);
        const QStringList refused = applyDownload(*plan, memory, env.clock.now());
        ASSERT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
    }
    void compare()
    {
        env.runDump(dumpTexts(memory));
        ASSERT_TRUE(env.dump->complete());
    }
    QStringList differing() const
    {
        QStringList out;
        for (const ComparisonRow &r : env.dump->rows())
            if (r.verdict == Verdict::Different)
                out << QString::number(r.row);
        return out;
    }
    QList<QStringList> localRows()
    {
        return env.db.select(QStringLiteral("SELECT rowid, * FROM Feerate WHERE 类型='5' ORDER BY rowid"))
            .value_or(QList<QStringList>{});
    }

    DumpEnv env;
    sim::ParameterMemory memory;
};

TEST_F(Copy, LocalPrefixesAreCopiedByValue)
{
    env.exec(QStringLiteral(
        "INSERT INTO Feerate VALUES ('81', '本地81', '30', '0.50', '30', '0.50', '0.00', '0', '0.00', '0', '×', '5')"));
    env.exec(QStringLiteral(
        "INSERT INTO Feerate VALUES ('82', '本地82', '30', '0.60', '30', '0.60', '0.00', '0', '0.00', '0', '×', '5')"));
    programSwitch();
    // At the switch: 82 goes, 80 comes (into 82's slot).
    ASSERT_TRUE(memory.apply(QStringLiteral("*20*0*82#")).applied);
    ASSERT_TRUE(memory.apply(QStringLiteral("*20*1*1*80#")).applied);
    compare();
    EXPECT_EQ(differing(), (QStringList{"50"}));

    const QList<QStringList> before = localRows();
    ASSERT_EQ(before.size(), 3);
    const QStringList localDefault = before[0];
    ASSERT_EQ(localDefault[2], QStringLiteral("本地默认"));

    CopyOutcome out = CopySwitchToDatabase(env.db, *env.dump);
    ASSERT_TRUE(out.status) << out.status.reason().toStdString();
    EXPECT_EQ(out.summary.prefixesAdded, 1);
    EXPECT_EQ(out.summary.prefixesRemoved, 1);
    EXPECT_EQ(out.summary.changedRows(), 2);

    const QList<QStringList> after = localRows();
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[0], localDefault); // "本地默认" untouched
    EXPECT_EQ(after[1], before[1]);    // 81 keeps its row and its rates
    // 80 is new, with the rates of "本地默认".
    QStringList added = localDefault;
    added[0] = after[2][0]; // its own row id
    added[1] = QStringLiteral("80");
    added[2] = QStringLiteral("本地新添加");
    EXPECT_EQ(after[2], added);

    compare();
    EXPECT_TRUE(differing().isEmpty()) << differing().join(QLatin1Char(' ')).toStdString();
}

TEST_F(Copy, OneTransactionAllOrNothing)
{
    env.exec(QStringLiteral("INSERT INTO SPCPhone VALUES ('114')"));
    programSwitch();
    memory.setByte(0, 21, 0);                    // waiting tone: SWTConfig
    memory.setByte(0, 29, 30);                   // international delay: Feesetting
    memory.apply(QStringLiteral("*20*1*1*80#")); // local prefix: Feerate
    memory.apply(QStringLiteral("*19*0*114#"));  // special number gone: SPCPhone
    memory.setByte(4, 84 + 2, 3);                // trunk 3 group: Exchange
    memory.setByte(49, 7, 2);                    // port 7 trunk group: User
    compare();
    // The new prefix has no database row to differ from ("不可比照").
    EXPECT_EQ(differing(), (QStringList{"19", "24", "97", "180", "376"}));

    const QStringList tables{"SWTConfig", "Feesetting", "Feerate", "SPCPhone", "Exchange", "User", "Foregift"};
    QList<QList<QStringList>> before;
    for (const QString &t : tables)
        before << env.table(t);

    // The trunk step fails after the configuration, delays, prefixes and
    // special numbers have been written.
    env.exec(QStringLiteral("CREATE TRIGGER refuse_exchange BEFORE UPDATE ON Exchange "
                            "BEGIN SELECT RAISE(ABORT, 'Exchange is read-only'); END"));
    CopyOutcome out = CopySwitchToDatabase(env.db, *env.dump);
    EXPECT_TRUE(out.status.failed());
    EXPECT_TRUE(out.status.reason().startsWith(QStringLiteral("数据库没有修改"))) << out.status.reason().toStdString();
    EXPECT_TRUE(out.status.reason().contains(QStringLiteral("Exchange")));
    for (int i = 0; i < tables.size(); ++i)
        EXPECT_EQ(env.table(tables[i]), before[i]) << tables[i].toStdString();
    EXPECT_FALSE(env.db.inTransaction());

    env.exec(QStringLiteral("DROP TRIGGER refuse_exchange"));
    out = CopySwitchToDatabase(env.db, *env.dump);
    ASSERT_TRUE(out.status) << out.status.reason().toStdString();
    EXPECT_EQ(out.summary.configRows, 1);
    EXPECT_EQ(out.summary.feesettingRows, 1);
    EXPECT_EQ(out.summary.prefixesAdded, 1);
    EXPECT_EQ(out.summary.specialRemoved, 1);
    EXPECT_EQ(out.summary.trunkRows, 1);
    EXPECT_EQ(out.summary.userRows, 1);
    EXPECT_EQ(env.value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("0"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 国际延时 FROM Feesetting")), QStringLiteral("30"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT count(*) FROM SPCPhone")), QStringLiteral("0"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 中继分组 FROM Exchange WHERE 中继='3'")), QStringLiteral("3"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 分机中继分组 FROM User WHERE 物理端口='7'")), QStringLiteral("2"));
}

TEST_F(Copy, WritesOnlyWhatChangedAndKeepsPortsAsPorts)
{
    env.exec(QStringLiteral("UPDATE User SET 付费方式='押金' WHERE 物理端口='5'"));
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('5', '805', '', '4', '10.00', '10.00', '', '×')"));
    env.exec(QStringLiteral("INSERT INTO Foregift VALUES ('5', '账号', '', '4', '1.00', '1.00', '77', '√')"));
    // The database holds users for ports 0 to 99 only.
    env.exec(QStringLiteral("DELETE FROM User WHERE CAST(物理端口 AS INTEGER) >= 100"));
    programSwitch();
    ASSERT_TRUE(memory.apply(QStringLiteral("*11*5*855#")).applied);
    // Virtual operator 1 of trunk 3 on port 31 (flag 144 + 2, port 132 + 2),
    // agent operator 1 on port 9 (flag 78, port 79).
    memory.setByte(4, 146, 0x01);
    memory.setByte(4, 134, 31);
    memory.setByte(0, 78, 0x01);
    memory.setByte(0, 79, 9);
    compare();
    EXPECT_EQ(differing(), (QStringList{"350"}));
    EXPECT_EQ(env.dump->row(43).verdict, Verdict::NotComparable);
    EXPECT_EQ(env.dump->row(183).verdict, Verdict::NotComparable);

    env.exec(QStringLiteral("CREATE TABLE WriteLog (what TEXT)"));
    env.exec(QStringLiteral("CREATE TRIGGER log_user AFTER UPDATE ON User BEGIN INSERT INTO WriteLog VALUES ('user ' "
                            "|| new.物理端口); END"));
    env.exec(QStringLiteral("CREATE TRIGGER log_untouched AFTER UPDATE OF 用户名称, 分机附加功能, 付费方式, 月租费, "
                            "中继显示号码, 组名 ON User "
                            "BEGIN INSERT INTO WriteLog VALUES ('untouched column'); END"));
    env.exec(QStringLiteral(
        "CREATE TRIGGER log_config AFTER UPDATE OF 用户容量, 超额或清账后等级, 交换机串口, 话单文件路径 ON SWTConfig "
        "BEGIN INSERT INTO WriteLog VALUES ('untouched config'); END"));
    env.exec(QStringLiteral("CREATE TRIGGER log_exchange AFTER UPDATE ON Exchange BEGIN INSERT INTO WriteLog VALUES "
                            "('trunk ' || new.中继); END"));

    CopyOutcome out = CopySwitchToDatabase(env.db, *env.dump);
    ASSERT_TRUE(out.status) << out.status.reason().toStdString();
    const auto log = env.db.select(QStringLiteral("SELECT what FROM WriteLog ORDER BY rowid"));
    ASSERT_TRUE(log);
    QStringList writes;
    for (const QStringList &r : *log)
        writes << r.value(0);
    EXPECT_EQ(writes, (QStringList{"trunk 3", "user 5"}));

    EXPECT_EQ(env.value(QStringLiteral("SELECT 用户号码 FROM User WHERE 物理端口='5'")), QStringLiteral("855"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 虚拟总机1 FROM Exchange WHERE 中继='3'")), QStringLiteral("31"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 代理总机1 FROM SWTConfig")), QStringLiteral("9"));
    // The extension's deposit row follows its new number; the account's does not.
    EXPECT_EQ(env.value(QStringLiteral("SELECT group_concat(用户号码, ',') FROM Foregift WHERE 物理端口='5'")),
              QStringLiteral("855,账号"));
    EXPECT_EQ(out.summary.userRows, 1);
    EXPECT_EQ(out.summary.trunkRows, 1);
    EXPECT_EQ(out.summary.configRows, 1);
    EXPECT_EQ(out.summary.depositRows, 1);
    EXPECT_EQ(out.summary.missingUserRows, 20);
    ASSERT_EQ(out.summary.notes.size(), 1);
    EXPECT_EQ(out.summary.notes[0],
              QStringLiteral("交换机有120门分机，数据库只有其中100门的用户资料：只修改了已有的100门。"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT count(*) FROM User")), QStringLiteral("100"));
}

// The database changes after the comparison: the call intake lowers a
// class as a deposit runs out. A copy from that grid would put the old class
// back: it is refused and names the change; after a new comparison it goes.
TEST_F(Copy, AGridOlderThanTheDatabaseIsRefused)
{
    programSwitch();
    ASSERT_TRUE(memory.apply(QStringLiteral("*73*0#")).applied);
    compare();
    EXPECT_EQ(differing(), (QStringList{"19"}));
    env.exec(QStringLiteral("UPDATE User SET 分机等级='7' WHERE 物理端口='6'"));
    CopyOutcome out = CopySwitchToDatabase(env.db, *env.dump);
    EXPECT_FALSE(out.status);
    EXPECT_EQ(out.status.reason(),
              QStringLiteral("信息比照之后数据库已有1项修改（如第364行分机等级第7门），请重新比照后再覆盖数据库！"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 分机等级 FROM User WHERE 物理端口='6'")), QStringLiteral("7"));
    EXPECT_EQ(env.value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("1"));

    compare();
    out = CopySwitchToDatabase(env.db, *env.dump);
    ASSERT_TRUE(out.status) << out.status.reason().toStdString();
    EXPECT_EQ(env.value(QStringLiteral("SELECT 呼入等待信号音类型 FROM SWTConfig")), QStringLiteral("0"));
    // The switch still has its own class for port 6, which the copy takes.
    EXPECT_EQ(env.value(QStringLiteral("SELECT 分机等级 FROM User WHERE 物理端口='6'")),
              QString::number(memory.byte(27, 6) & 0x0F));
}

TEST_F(Copy, ValuesTheDatabaseCannotTakeRefuseTheCopy)
{
    struct Case {
        const char *what;
        int block, offset, value;
        QString reasonPart;
    };
    const Case cases[] = {
        {"trunk 2 outgoing mode outside its list", 4, 12 + 1, 0x05, QStringLiteral("第163行")},
        {"capacity byte for 256 extensions", 0, 6, 0x20, QStringLiteral("第5行")},
        {"port 3 caller display outside its list", 7, 3, 0x07, QStringLiteral("第334行")},
    };
    programSwitch();
    const QStringList tables{"SWTConfig", "Exchange", "User"};
    QList<QList<QStringList>> before;
    for (const QString &t : tables)
        before << env.table(t);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const quint8 old = memory.byte(c.block, c.offset);
        memory.setByte(c.block, c.offset, quint8(c.value));
        compare();
        CopyOutcome out = CopySwitchToDatabase(env.db, *env.dump);
        EXPECT_TRUE(out.status.failed());
        EXPECT_TRUE(out.status.reason().contains(c.reasonPart)) << out.status.reason().toStdString();
        memory.setByte(c.block, c.offset, old);
    }
    for (int i = 0; i < tables.size(); ++i)
        EXPECT_EQ(env.table(tables[i]), before[i]) << tables[i].toStdString();
}

} // namespace
