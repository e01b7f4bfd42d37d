// The charging settings without the window: delays, outside line numbers and
// working days, their checks and the star codes each store hands back.
#include "Database.h"
#include "FeeSettings.h"
#include "TestHome.h"
#include "TestStatus.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

class FeeSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::createSwitchDb(db, home.file(QStringLiteral("Switch.mdb"))));
        fee = std::make_unique<FeeSettings>(db, QStringList{"×", "√"});
    }
    void exec(const QString &sql) { ASSERT_TRUE(test::Ok(db.exec(sql))); }
    QStringList exno(int trunk)
    {
        auto rows = db.select(QStringLiteral("SELECT * FROM ExNO WHERE 中继号=?"), {QString::number(trunk)});
        return rows && !rows->isEmpty() ? rows->first() : QStringList();
    }
    // The cell of ExNO row `trunk`, column `col`, as the grids name it.
    GridCell cell(int trunk, int col)
    {
        const TableRows rows = fee->workdays().value_or(TableRows());
        for (int i = 0; i < rows.size(); ++i)
            if (rows.row(i).value(0) == QString::number(trunk))
                return GridCell{i + 1, col, rows.rowId(i), rows.row(i).value(col)};
        return {};
    }

    test::TestHome home;
    Database db;
    std::unique_ptr<FeeSettings> fee;
};

TEST_F(FeeSettingsTest, DelaysAreWholeSecondsUpTo255AndSentOnlyWhenChanged)
{
    EXPECT_EQ(fee->delays().value_or(QStringList()), (QStringList{"10", "10", "10", "10", "10"}));
    StoreResult same = fee->storeDelay(3, QStringLiteral(" 10 "));
    EXPECT_TRUE(bool(same));
    EXPECT_TRUE(same.commands.isEmpty());

    const char *codes[] = {"*27*30#", "*24*20#", "*21*0#", "*17*5#", "*53*255#"};
    const char *values[] = {"30", "20", "0", "5", "255"};
    for (int i = 0; i < 5; ++i) {
        StoreResult r = fee->storeDelay(i, QLatin1String(values[i]));
        ASSERT_TRUE(bool(r)) << i;
        EXPECT_EQ(r.commands, QStringList{QLatin1String(codes[i])});
    }
    EXPECT_EQ(fee->delays().value_or(QStringList()), (QStringList{"30", "20", "0", "5", "255"}));

    for (const char *bad : {"256", "-1", "1.5", "5秒", "abc", "", " ", "1e2", "0x10", "1000"}) {
        StoreResult r = fee->storeDelay(3, QString::fromUtf8(bad));
        EXPECT_FALSE(bool(r)) << bad;
        EXPECT_TRUE(r.commands.isEmpty()) << bad;
        EXPECT_EQ(fee->checkDelay(3, QString::fromUtf8(bad)).reason(),
                  QStringLiteral("计费延时必须是0到255的整数（秒）！"))
            << bad;
    }
    EXPECT_EQ(fee->delays().value_or(QStringList()).value(3), QStringLiteral("5"));
}

TEST_F(FeeSettingsTest, OutsideNumbersHaveSixToEightDigits)
{
    EXPECT_EQ(fee->checkOutsideNumber(QStringLiteral("12345")).reason(), QStringLiteral("电话号码长度为6到8位!"));
    EXPECT_EQ(fee->checkOutsideNumber(QStringLiteral("123456789")).reason(), QStringLiteral("电话号码长度为6到8位!"));
    EXPECT_EQ(fee->checkOutsideNumber(QStringLiteral("12345a")).reason(), QStringLiteral("外线号码必须是数字!"));
    EXPECT_EQ(fee->checkOutsideNumber(QStringLiteral("８７６５４３")).reason(), QStringLiteral("外线号码必须是数字!"));

    const TableRows rows = fee->outsideNumbers().value_or(TableRows());
    ASSERT_EQ(rows.size(), 12);
    EXPECT_EQ(rows.columns, (QStringList{"中继号", "外线号码"}));
    EXPECT_EQ(rows.row(0), (QStringList{"1", "无需设置"}));
    GridCell trunk1{1, 1, rows.rowId(0), rows.row(0).value(1)};
    EXPECT_EQ(fee->outsideRule(trunk1).kind, CellRule::Kind::Fixed);
    GridCell trunk3{3, 1, rows.rowId(2), QString()};
    EXPECT_EQ(fee->outsideRule(trunk3).kind, CellRule::Kind::Text);

    StoreResult r = fee->storeOutsideNumber(trunk3, QStringLiteral(" 87654321 "));
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, QStringList{"*77*3*87654321#"});
    EXPECT_EQ(exno(3).value(8), QStringLiteral("87654321"));
    EXPECT_FALSE(bool(fee->storeOutsideNumber(trunk1, QStringLiteral("12345678"))));
    EXPECT_EQ(exno(1).value(8), QStringLiteral("无需设置"));

    exec(QStringLiteral("UPDATE ExNO SET 外线号码='7654321' WHERE 中继号='12'"));
    r = fee->clearOutsideNumbers();
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, QStringList{"*77*0#"});
    EXPECT_EQ(exno(3).value(8), QString());
    EXPECT_EQ(exno(12).value(8), QString());
    EXPECT_EQ(exno(1).value(8), QStringLiteral("无需设置"));
}

TEST_F(FeeSettingsTest, WorkdayPairAsTheSwitchTakesIt)
{
    const QStringList row{"3", "√", "1", "5", "08:00", "12:00", "13:30", "17:30"};
    EXPECT_EQ(*FeeSettings::WorkdayCommands(row), (QStringList{"*86*1*5*3#", "*85*08001200*13301730*3#"}));
    QStringList bad = row;
    bad[6] = QStringLiteral("25:99");
    EXPECT_TRUE(FeeSettings::WorkdayCommands(bad).refused());

    EXPECT_EQ(*FeeSettings::NormalisePeriod(QStringLiteral("830")), QStringLiteral("08:30"));
    EXPECT_EQ(*FeeSettings::NormalisePeriod(QStringLiteral("8:30")), QStringLiteral("08:30"));
    EXPECT_EQ(*FeeSettings::NormalisePeriod(QStringLiteral("1730")), QStringLiteral("17:30"));
    EXPECT_EQ(*FeeSettings::NormalisePeriod(QStringLiteral("0")), QStringLiteral("00:00"));
    for (const char *t : {"25:99", "2500", "12:60", "12.30", "-830", "", "08:30:00", "八点", "12345"})
        EXPECT_TRUE(FeeSettings::NormalisePeriod(QString::fromUtf8(t)).refused()) << t;
}

TEST_F(FeeSettingsTest, WorkingDaysStoreAndSendByTheMark)
{
    // Days out of range are refused with one message.
    for (const char *d : {"0", "8", "12", "a", "", "1.5"}) {
        EXPECT_EQ(fee->checkWorkday(cell(3, 2), QLatin1String(d)).reason(), QStringLiteral("工作日设置范围1～7！"))
            << d;
        EXPECT_FALSE(bool(fee->storeWorkday(cell(3, 3), QLatin1String(d)))) << d;
    }
    EXPECT_EQ(exno(3).value(3), QStringLiteral("5"));

    // Limits off: a period is stored (reformatted) and nothing is sent.
    StoreResult r = fee->storeWorkday(cell(3, 4), QStringLiteral("830"));
    ASSERT_TRUE(bool(r));
    EXPECT_TRUE(r.commands.isEmpty());
    EXPECT_EQ(exno(3).value(4), QStringLiteral("08:30"));

    // On: the pair with the row's values.
    EXPECT_EQ(fee->workdayRule(cell(3, 1)).kind, CellRule::Kind::Cycle);
    r = fee->storeWorkday(cell(3, 1), QStringLiteral("√"));
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, (QStringList{"*86*1*5*3#", "*85*08301200*14001800*3#"}));
    r = fee->storeWorkday(cell(3, 3), QStringLiteral("6"));
    EXPECT_EQ(r.commands, (QStringList{"*86*1*6*3#", "*85*08301200*14001800*3#"}));
    // A week that ends on Sunday, day 7, goes to the switch as well.
    r = fee->storeWorkday(cell(3, 3), QStringLiteral("7"));
    ASSERT_TRUE(bool(r));
    EXPECT_EQ(r.commands, (QStringList{"*86*1*7*3#", "*85*08301200*14001800*3#"}));
    EXPECT_EQ(exno(3).value(3), QStringLiteral("7"));

    // Off: "*86*0*" and the days and periods stay as they are.
    r = fee->storeWorkday(cell(3, 1), QStringLiteral("×"));
    EXPECT_EQ(r.commands, QStringList{"*86*0*3#"});
    EXPECT_EQ(exno(3).mid(1, 7), (QStringList{"×", "1", "7", "08:30", "12:00", "14:00", "18:00"}));

    // A row with a period the switch cannot take cannot be switched on.
    exec(QStringLiteral("UPDATE ExNO SET 时段二起='25:99' WHERE 中继号='4'"));
    EXPECT_TRUE(fee->checkWorkday(cell(4, 1), QStringLiteral("√")).refused());
    EXPECT_FALSE(bool(fee->storeWorkday(cell(4, 1), QStringLiteral("√"))));
    EXPECT_EQ(exno(4).value(1), QStringLiteral("×"));
    // The trunk number is the key and cannot be edited.
    EXPECT_EQ(fee->workdayRule(cell(4, 0)).kind, CellRule::Kind::Fixed);
}

} // namespace
