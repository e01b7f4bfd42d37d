// The rules of the switch parameters without the window: the checks and
// their messages, the renumbering of the extensions, the agent operators and
// the trunk batch, each against a real database.
#include "Database.h"
#include "SwitchParameters.h"
#include "TestHome.h"
#include "TestPrint.h"
#include "TestStatus.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class SwitchParametersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(db, home.file(QStringLiteral("Switch.mdb"))));
        params = std::make_unique<SwitchParameters>(db);
    }

    void exec(const QString &sql, const QVariantList &p = {}) { ASSERT_TRUE(test::Ok(db.exec(sql, p))); }
    QString value(const QString &sql, const QVariantList &p = {})
    {
        return db.scalar(sql, p).value_or(QStringLiteral("<none>"));
    }
    QStringList column(const QString &sql)
    {
        QStringList out;
        for (const QStringList &r : db.select(sql).value_or(QList<QStringList>()))
            out << r.value(0);
        return out;
    }
    QString trunk(int t, const char *col)
    {
        return value(QStringLiteral("SELECT %1 FROM Exchange WHERE 中继=?").arg(QString::fromUtf8(col)),
                     {QString::number(t)});
    }

    test::TestHome home;
    Database db;
    std::unique_ptr<SwitchParameters> params;
};

TEST_F(SwitchParametersTest, NumberBoxesRefuseWithTheirMessages)
{
    struct Case {
        QString text;
        QString refusal;
    };
    const QList<Case> capacity{{"120", ""},
                               {"064", ""},
                               {"0", "用户容量至少为1门!"},
                               {"000", "用户容量至少为1门!"},
                               {"121", "用户容量最大为120门!"},
                               {"12.5", "用户容量必须是整数!"},
                               {"abc", "用户容量必须是数字!"},
                               {"-5", "用户容量必须是数字!"},
                               {"+5", "用户容量必须是数字!"},
                               {"1 2", "用户容量必须是数字!"},
                               {"一百", "用户容量必须是数字!"},
                               {"", "用户容量必须是数字!"},
                               {"0120", "用户容量最多为3位数字!"}};
    for (const Case &k : capacity) {
        const Checked<QString> v = params->checkCapacity(k.text);
        if (k.refusal.isEmpty()) {
            EXPECT_TRUE(bool(v)) << k.text.toStdString();
        } else {
            ASSERT_TRUE(v.refused()) << k.text.toStdString();
            EXPECT_EQ(v.reason(), k.refusal) << k.text.toStdString();
        }
    }
    // Numbers the switch reads as numbers are kept as it holds them; digits
    // it dials keep their zeros, and "00", which it would take as 0, is refused.
    EXPECT_EQ(*params->checkCapacity(QStringLiteral("064")), QStringLiteral("64"));
    EXPECT_EQ(*params->checkTrunkValue(TrunkField::Group, QStringLiteral("04")), QStringLiteral("4"));
    EXPECT_EQ(*params->checkTrunkValue(TrunkField::IndirectDirection, QStringLiteral("05")), QStringLiteral("5"));
    EXPECT_EQ(*params->checkSpecialNumber(QStringLiteral("0755")), QStringLiteral("0755"));
    EXPECT_EQ(params->checkSpecialNumber(QStringLiteral("00")).reason(), QStringLiteral("特服号码不能为00！"));
    EXPECT_EQ(params->checkGrade(QStringLiteral("8")).reason(), QStringLiteral("超额或清账后等级最大为7级!"));
    EXPECT_EQ(params->checkGrade(QStringLiteral("1.")).reason(), QStringLiteral("超额或清账后等级必须是整数!"));
    EXPECT_TRUE(bool(params->checkGrade(QStringLiteral("7"))));
    // The night-service number may be as long as the extension numbers.
    EXPECT_EQ(params->checkNightNumber(QStringLiteral("8000")).reason(), QStringLiteral("值班分机号过长！"));
    EXPECT_EQ(params->checkNightNumber(QStringLiteral("8a")).reason(), QStringLiteral("值班分机号必须是数字!"));
    EXPECT_TRUE(bool(params->checkNightNumber(QStringLiteral("805"))));

    // The trunk columns.
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Route, QStringLiteral("10")).reason(),
              QStringLiteral("局向最大为9！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Route, QStringLiteral("x")).reason(),
              QStringLiteral("请输入数字作为局向！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::IndirectDirection, QStringLiteral("100")).reason(),
              QStringLiteral("间局局向最大为99！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::IndirectDirection, QStringLiteral("9.5")).reason(),
              QStringLiteral("请输入整数作为间局局向！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Group, QStringLiteral("13")).reason(),
              QStringLiteral("中继分组最大为12！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Virtual3, QStringLiteral("123456789")).reason(),
              QStringLiteral("虚拟总机号码最长为8位！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Virtual3, QStringLiteral("'; --")).reason(),
              QStringLiteral("请输入整数作为虚拟总机号码！"));
    EXPECT_EQ(params->checkTrunkValue(TrunkField::Virtual3, QStringLiteral("999")).reason(),
              QStringLiteral("您输入的虚拟总机号不存在，请核对后再输入！"));
    EXPECT_EQ(*params->checkTrunkValue(TrunkField::Virtual3, QStringLiteral(" ")), QString());
    EXPECT_TRUE(params->checkTrunkValue(TrunkField::OutgoingMode, QStringLiteral("外局")).refused());
    // Ranges: either way round, 1 to 12, numbers only.
    EXPECT_EQ(*params->checkTrunkRange(QStringLiteral("5"), QStringLiteral("2")), std::make_pair(5, 2));
    const std::pair<const char *, const char *> bad[] = {{"0", "3"}, {"1", "13"}, {"a", "3"}, {"2", ""}, {"1.5", "3"}};
    for (const auto &[a, b] : bad)
        EXPECT_EQ(params->checkTrunkRange(QLatin1String(a), QLatin1String(b)).reason(),
                  QStringLiteral("中继号必须是1到12的整数！"))
            << a << "-" << b;
}

TEST_F(SwitchParametersTest, SystemSettingsStoreWhenChangedAndSendTheirCode)
{
    StoreResult same = params->storeCapacity(QStringLiteral("120"));
    EXPECT_TRUE(bool(same));
    EXPECT_TRUE(same.commands.isEmpty());
    StoreResult r = params->storeCapacity(QStringLiteral("96"));
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, QStringList{"*32*96#"});
    EXPECT_EQ(params->setting(ConfigField::Capacity), QStringLiteral("96"));
    EXPECT_EQ(params->storeFunctionDigit(QStringLiteral("9")).commands, QStringList{"*71*9#"});
    EXPECT_EQ(params->storeCodeLimit(true).commands, QStringList{"*80*1#"});
    EXPECT_EQ(params->storeSignal(0).commands, QStringList{"*73*0#"});
    EXPECT_TRUE(params->storeSignal(0).commands.isEmpty());
    EXPECT_TRUE(params->storeGrade(QStringLiteral("3")).commands.isEmpty());
    EXPECT_EQ(params->setting(ConfigField::DemoteClass), QStringLiteral("3"));

    // The night-service extension is kept as its port; a number no extension
    // of the switch has is refused and nothing is stored or sent.
    EXPECT_EQ(params->storeNightNumber(QStringLiteral("805")).commands, QStringList{"*50*805#"});
    EXPECT_EQ(params->setting(ConfigField::NightPort), QStringLiteral("5"));
    EXPECT_EQ(params->nightNumber(), QStringLiteral("805"));
    for (const char *n : {"999", "900"}) { // port 100 of 900 lies beyond the capacity of 96
        const StoreResult night = params->storeNightNumber(QString::fromLatin1(n));
        EXPECT_EQ(night.status.reason(), QStringLiteral("值班分机号%1不存在，请核对后再输入！").arg(QLatin1String(n)));
        EXPECT_TRUE(night.commands.isEmpty());
        EXPECT_EQ(params->setting(ConfigField::NightPort), QStringLiteral("5"));
    }
}

TEST_F(SwitchParametersTest, AgentsAreCheckedAllBeforeAnyIsStoredOrSent)
{
    exec(QStringLiteral("UPDATE SWTConfig SET 代理总机1='3', 代理总机2='4'"));
    const ConfigRow before = params->config();

    // The third box names no extension: nothing is stored, nothing sent.
    StoreResult refused = params->storeAgents({"801", "", "999", "802", ""});
    ASSERT_FALSE(bool(refused));
    EXPECT_EQ(refused.status.reason(), QStringLiteral("您输入的部分代理总机号不存在，请核对后再输入！"));
    EXPECT_TRUE(refused.commands.isEmpty());
    EXPECT_EQ(params->config().values, before.values);
    EXPECT_EQ(params->checkAgents({"801", "8a"}).reason(), QStringLiteral("请输入整数作为代理总机！"));
    EXPECT_EQ(params->checkAgents({"123456789"}).reason(), QStringLiteral("代理总机最长为8位！"));

    StoreResult r = params->storeAgents({" 801 ", "", "810", "", ""});
    ASSERT_TRUE(bool(r)) << r.status.reason().toStdString();
    EXPECT_EQ(r.commands, (QStringList{"*49*0#", "*49*801#", "*49*810#"}));
    EXPECT_EQ(params->config().agentPorts(), (QStringList{"1", "", "10", "", ""}));
    EXPECT_EQ(params->agentNumbers(), (QStringList{"801", "", "810", "", ""}));
}

TEST_F(SwitchParametersTest, NewNumberLengthRenumbersEveryUserAndTheirDeposits)
{
    // One user more than the default 120, a deposit row of an extension and
    // one of an account.
    exec(QStringLiteral("INSERT INTO User (物理端口, 用户号码) VALUES ('120', '920')"));
    exec(QStringLiteral("INSERT INTO Foregift (物理端口, 用户号码, 余额) VALUES ('7', '807', '10.00')"));
    exec(QStringLiteral("INSERT INTO Foregift (物理端口, 用户号码, 余额) VALUES ('7', '账号', '5.00')"));
    exec(QStringLiteral("UPDATE SWTConfig SET 夜服值班分机='4', 代理总机1='9'"));

    StoreResult r = params->storeNumberLength(QStringLiteral("4"));
    ASSERT_TRUE(bool(r)) << r.status.reason().toStdString();
    EXPECT_EQ(r.commands, QStringList{"*04*4#"});
    EXPECT_EQ(SwitchParameters::GapAfter(r.commands.first()), 10000);
    EXPECT_EQ(params->setting(ConfigField::NumberLength), QStringLiteral("4"));
    const QStringList numbers = column(QStringLiteral("SELECT 用户号码 FROM User ORDER BY CAST(物理端口 AS INTEGER)"));
    ASSERT_EQ(numbers.size(), 121);
    for (int p = 0; p < 121; ++p)
        EXPECT_EQ(numbers.at(p), QString::number(8000 + p)) << p;
    EXPECT_EQ(column(QStringLiteral("SELECT 用户号码 FROM Foregift WHERE 物理端口='7' ORDER BY rowid")),
              (QStringList{"8007", "账号"}));
    EXPECT_EQ(params->nightNumber(), QStringLiteral("8004"));
    EXPECT_EQ(params->agentNumbers().first(), QStringLiteral("8009"));

    // Six digits: 800000 + port.
    ASSERT_TRUE(bool(params->storeNumberLength(QStringLiteral("6"))));
    EXPECT_EQ(value(QStringLiteral("SELECT 用户号码 FROM User WHERE 物理端口='119'")), QStringLiteral("800119"));

    // Two rows of one port would get one number: refused, nothing changed.
    exec(QStringLiteral("INSERT INTO User (物理端口, 用户号码) VALUES ('5', '777')"));
    const QStringList before = column(QStringLiteral("SELECT 用户号码 FROM User ORDER BY rowid"));
    EXPECT_EQ(params->checkNumberLength(QStringLiteral("3")).reason(),
              QStringLiteral("重新编号后分机号805重复（物理端口5），分机号长未修改！"));
    StoreResult refused = params->storeNumberLength(QStringLiteral("3"));
    EXPECT_FALSE(bool(refused));
    EXPECT_TRUE(refused.commands.isEmpty());
    EXPECT_EQ(params->setting(ConfigField::NumberLength), QStringLiteral("6"));
    EXPECT_EQ(column(QStringLiteral("SELECT 用户号码 FROM User ORDER BY rowid")), before);

    // Port 200 has no three-digit number.
    exec(QStringLiteral("DELETE FROM User WHERE 用户号码='777'"));
    exec(QStringLiteral("INSERT INTO User (物理端口, 用户号码) VALUES ('200', '1000')"));
    EXPECT_TRUE(params->storeNumberLength(QStringLiteral("3")).status.failed());
    EXPECT_EQ(params->setting(ConfigField::NumberLength), QStringLiteral("6"));
}

TEST_F(SwitchParametersTest, RenumberingThatTheDatabaseRefusesChangesNothing)
{
    exec(QStringLiteral("CREATE TRIGGER full BEFORE UPDATE OF 用户号码 ON User WHEN NEW.物理端口='60' "
                        "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    StoreResult r = params->storeNumberLength(QStringLiteral("4"));
    ASSERT_FALSE(bool(r));
    EXPECT_TRUE(r.status.reason().contains(QStringLiteral("disk is full")));
    EXPECT_TRUE(r.commands.isEmpty());
    EXPECT_EQ(params->setting(ConfigField::NumberLength), QStringLiteral("3"));
    EXPECT_EQ(value(QStringLiteral("SELECT 用户号码 FROM User WHERE 物理端口='0'")), QStringLiteral("800"));
}

TEST_F(SwitchParametersTest, OutgoingModeBatchSendsEachTrunksOwnDirections)
{
    for (int t = 2; t <= 5; ++t)
        exec(QStringLiteral("UPDATE Exchange SET 中继路由局向=?, 间局局向=? WHERE 中继=?"),
             {QString::number(t), QString::number(10 + t), QString::number(t)});
    // Trunk 3's row moved to the end of the table: rows are found by trunk.
    exec(QStringLiteral("INSERT INTO Exchange SELECT * FROM Exchange WHERE 中继='3'"));
    exec(QStringLiteral(
        "DELETE FROM Exchange WHERE 中继='3' AND rowid=(SELECT min(rowid) FROM Exchange WHERE 中继='3')"));

    TrunkBatch b = params->ApplyTrunkSetting(TrunkField::OutgoingMode, 5, 2, QStringLiteral("间局"));
    ASSERT_TRUE(bool(b)) << b.status.reason().toStdString();
    EXPECT_EQ(b.trunks, (QStringList{"5", "4", "3", "2"}));
    EXPECT_EQ(b.commands.value(0), (QStringList{"*08*1*5#", "*08*1*5*15#", "*09*5*5#"}));
    EXPECT_EQ(b.commands.value(2), (QStringList{"*08*1*3#", "*08*1*3*13#", "*09*3*3#"}));
    EXPECT_EQ(b.commands.value(3), (QStringList{"*08*1*2#", "*08*1*2*12#", "*09*2*2#"}));
    for (int t = 2; t <= 5; ++t)
        EXPECT_EQ(trunk(t, "中继出局方式"), QStringLiteral("间局")) << t;
    EXPECT_EQ(trunk(6, "中继出局方式"), QStringLiteral("直局"));

    b = params->ApplyTrunkSetting(TrunkField::OutgoingMode, 3, 3, QStringLiteral("直局"));
    EXPECT_EQ(b.allCommands(), (QStringList{"*08*0*3#", "*09*3*3#"}));

    // The indirect direction of a trunk that goes direct is stored, not sent.
    b = params->ApplyTrunkSetting(TrunkField::IndirectDirection, 3, 4, QStringLiteral("42"));
    ASSERT_TRUE(bool(b));
    EXPECT_EQ(b.commands, (QList<QStringList>{{}, {"*08*1*4*42#"}}));
    EXPECT_EQ(trunk(3, "间局局向"), QStringLiteral("42"));

    b = params->ApplyTrunkSetting(TrunkField::Group, 2, 5, QStringLiteral("4"));
    EXPECT_EQ(b.allCommands(), (QStringList{"*47*4*2#", "*47*4*3#", "*47*4*4#", "*47*4*5#"}));
    EXPECT_EQ(params->ApplyTrunkSetting(TrunkField::OnOff, 3, 3, QStringLiteral("×")).allCommands(),
              QStringList{"*44*0*3#"});
    EXPECT_EQ(params->ApplyTrunkSetting(TrunkField::ChargeMode, 3, 3, QStringLiteral("反极")).allCommands(),
              QStringList{"*05*1*3#"});
    EXPECT_EQ(params->ApplyTrunkSetting(TrunkField::CallerDisplay, 12, 12, QStringLiteral("×")).allCommands(),
              QStringList{"*60*0*12#"});
}

TEST_F(SwitchParametersTest, VirtualOperatorsAreKeptAsPortsAndResentWhole)
{
    TrunkBatch b = params->ApplyTrunkSetting(TrunkField::Virtual1, 3, 3, QStringLiteral("805"));
    ASSERT_TRUE(bool(b));
    EXPECT_EQ(b.allCommands(), (QStringList{"*12*0*3#", "*12*805*3#"}));
    // Typed into the third column: the switch holds it second, and so does the row.
    b = params->ApplyTrunkSetting(TrunkField::Virtual3, 3, 3, QStringLiteral("810"));
    EXPECT_EQ(b.allCommands(), (QStringList{"*12*0*3#", "*12*805*3#", "*12*810*3#"}));
    EXPECT_TRUE(b.refill);
    EXPECT_EQ(trunk(3, "虚拟总机2"), QStringLiteral("10"));
    EXPECT_EQ(trunk(3, "虚拟总机3"), QString());
    EXPECT_EQ(params->trunks().row(2).value(11), QStringLiteral("810"));

    // Clearing the first closes the list up.
    b = params->ApplyTrunkSetting(TrunkField::Virtual1, 3, 3, QString());
    EXPECT_EQ(b.allCommands(), (QStringList{"*12*0*3#", "*12*810*3#"}));
    EXPECT_EQ(trunk(3, "虚拟总机1"), QStringLiteral("10"));
    EXPECT_EQ(trunk(3, "虚拟总机2"), QString());
    // Over a range, each trunk keeps its own list.
    ASSERT_TRUE(bool(params->ApplyTrunkSetting(TrunkField::Virtual1, 4, 4, QStringLiteral("811"))));
    b = params->ApplyTrunkSetting(TrunkField::Virtual2, 3, 4, QStringLiteral("812"));
    EXPECT_EQ(b.commands,
              (QList<QStringList>{{"*12*0*3#", "*12*810*3#", "*12*812*3#"}, {"*12*0*4#", "*12*811*4#", "*12*812*4#"}}));

    b = params->ApplyTrunkSetting(TrunkField::Virtual2, 3, 3, QStringLiteral("999"));
    EXPECT_FALSE(bool(b));
    EXPECT_TRUE(b.allCommands().isEmpty());
}

TEST_F(SwitchParametersTest, BatchIsOneTransactionAndSendsNothingWhenRefused)
{
    exec(QStringLiteral("CREATE TRIGGER full BEFORE UPDATE ON Exchange WHEN NEW.中继='4' "
                        "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
    TrunkBatch b = params->ApplyTrunkSetting(TrunkField::Group, 2, 5, QStringLiteral("7"));
    ASSERT_FALSE(bool(b));
    EXPECT_TRUE(b.allCommands().isEmpty());
    for (int t = 2; t <= 5; ++t)
        EXPECT_EQ(trunk(t, "中继分组"), QStringLiteral("0")) << t;

    // A trunk without its row: nothing of the batch is kept.
    exec(QStringLiteral("DROP TRIGGER full"));
    exec(QStringLiteral("DELETE FROM Exchange WHERE 中继='4'"));
    b = params->ApplyTrunkSetting(TrunkField::Group, 2, 5, QStringLiteral("7"));
    EXPECT_FALSE(bool(b));
    EXPECT_EQ(trunk(2, "中继分组"), QStringLiteral("0"));
}

TEST_F(SwitchParametersTest, SpecialNumbersAndOutputFolder)
{
    StoreResult r = params->addSpecialNumber(QStringLiteral("114"));
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, QStringList{"*19*6*7*114#"});
    EXPECT_EQ(params->checkSpecialNumber(QStringLiteral("114")).reason(), QStringLiteral("您输入的特服号已经存在！"));
    EXPECT_EQ(params->checkSpecialNumber(QString()).reason(), QStringLiteral("请输入整数作为特服号码！"));
    EXPECT_EQ(params->checkSpecialNumber(QStringLiteral("123456789")).reason(), QStringLiteral("特服号最长为8位！"));
    EXPECT_TRUE(params->addSpecialNumber(QStringLiteral("114")).commands.isEmpty());
    ASSERT_TRUE(bool(params->addSpecialNumber(QStringLiteral("95555"))));
    EXPECT_EQ(params->specialNumbers(), (QStringList{"114", "95555"}));
    r = params->deleteSpecialNumber(QStringLiteral("114"));
    EXPECT_EQ(r.commands, QStringList{"*19*0*114#"});
    EXPECT_EQ(params->specialNumbers(), QStringList{"95555"});

    const QString nested = home.file(QStringLiteral("out/话单/2026"));
    const Checked<QString> folder = SwitchParameters::PrepareOutputFolder(nested);
    ASSERT_TRUE(bool(folder)) << folder.reason().toStdString();
    EXPECT_EQ(*folder, nested + QStringLiteral("/"));
    EXPECT_TRUE(QDir(nested).exists());
    EXPECT_EQ(*SwitchParameters::PrepareOutputFolder(nested), nested + QStringLiteral("/")); // existing: fine
    QFile file(home.file(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(SwitchParameters::PrepareOutputFolder(home.file(QStringLiteral("plain/sub"))).refused());
}

} // namespace
