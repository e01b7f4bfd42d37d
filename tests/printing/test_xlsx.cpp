// The lists as a spreadsheet workbook, read back from the zip as a
// spreadsheet program reads it: identifiers stay text with their leading
// zeros, amounts are numbers shown with two decimals, the header row is bold
// and frozen, the columns are as wide as what they hold.
#include "ExportSheet.h"
#include "TestHome.h"
#include "XlsxReader.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

} // namespace

TEST(XlsxExport, ListsAsSheetsWithTextIdentifiersAndNumericAmounts)
{
    test::TestHome home;
    const QList<BillRow> bills{
        {s("801"), s("0105551234"), s("2026年12月08日10时01分"), s("65"), s("0.30"), s("北京"), s("1.2"), 5},
        {s("账号012"), s("-"), s("2026年12月08日10:02:00"), s("6"), s("0.10"), s("呼入"), s("0.1"), 6}};
    FeeRow fee;
    fee.group = s("营业部");
    fee.number = s("0801");
    fee.name = s("张三");
    fee.rent = Money::fromText(s("30"));
    fee.total = Money::fromText(s("31.2"));
    const QString path = home.file(QStringLiteral("lists.xlsx"));
    const Checked<int> written = exportSheets(path, {billSheet(bills), feeSheet({fee})});
    ASSERT_TRUE(written) << written.reason().toStdString();
    EXPECT_EQ(*written, 3);

    const auto book = test::readXlsx(path);
    ASSERT_TRUE(book) << "unzip reads the workbook";
    ASSERT_EQ(book->sheets.size(), 2);
    const test::XlsxSheet *list = book->sheet(s("话单"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->rowCount(), 3);

    // A bold, frozen header row.
    EXPECT_EQ(list->frozenRows, 1);
    const QList<test::XlsxCell> header = list->row(1);
    ASSERT_EQ(header.size(), 7);
    EXPECT_EQ(header.at(0).value, s("主叫号码"));
    EXPECT_EQ(header.at(6).value, s("总费用"));
    for (const test::XlsxCell &c : header)
        EXPECT_TRUE(c.bold && c.type == test::XlsxCell::Type::String) << c.value.toStdString();

    // Caller, dialled number and end time are text: no leading zero is lost.
    const QList<test::XlsxCell> first = list->row(2);
    ASSERT_EQ(first.size(), 7);
    for (int c : {0, 1, 2, 5})
        EXPECT_EQ(first.at(c).type, test::XlsxCell::Type::String) << c;
    EXPECT_EQ(first.at(1).value, s("0105551234"));
    EXPECT_EQ(first.at(2).value, s("2026年12月08日10时01分"));
    EXPECT_FALSE(first.at(1).bold);
    // The duration a whole number, rate and fee numbers shown "0.00".
    EXPECT_EQ(first.at(3).type, test::XlsxCell::Type::Number);
    EXPECT_EQ(first.at(3).value, s("65"));
    EXPECT_EQ(first.at(3).numFormat, s("0"));
    for (int c : {4, 6}) {
        EXPECT_EQ(first.at(c).type, test::XlsxCell::Type::Number) << c;
        EXPECT_EQ(first.at(c).numFormat, s("0.00")) << c;
    }
    EXPECT_DOUBLE_EQ(first.at(6).value.toDouble(), 1.2);
    EXPECT_EQ(list->row(3).at(1).value, s("-"));
    EXPECT_EQ(list->row(3).at(0).value, s("账号012"));

    // Every column is set at least as wide as its caption; the end time, the
    // widest value, gets the widest column.
    ASSERT_EQ(list->widths.size(), 7);
    for (int c = 0; c < 7; ++c)
        EXPECT_GE(list->widths.value(c), 2.0 * header.at(c).value.size()) << c;
    for (int c : {0, 1, 3, 4, 5, 6})
        EXPECT_GT(list->widths.value(2), list->widths.value(c)) << c;

    const test::XlsxSheet *fees = book->sheet(s("话费"));
    ASSERT_NE(fees, nullptr);
    EXPECT_EQ(fees->frozenRows, 1);
    const QList<test::XlsxCell> row = fees->row(2);
    // The eleven columns of a fee row, then deposit, balance, collect and
    // refund; the empty note writes no cell.
    ASSERT_EQ(row.size(), 15);
    EXPECT_EQ(row.at(1).type, test::XlsxCell::Type::String);
    EXPECT_EQ(row.at(1).value, s("0801"));
    EXPECT_EQ(row.at(2).value, s("张三"));
    for (int c = 3; c < 15; ++c) {
        EXPECT_EQ(row.at(c).type, test::XlsxCell::Type::Number) << c;
        EXPECT_EQ(row.at(c).numFormat, s("0.00")) << c;
    }
    EXPECT_DOUBLE_EQ(row.at(7).value.toDouble(), 30.0);
    EXPECT_DOUBLE_EQ(row.at(10).value.toDouble(), 31.2);
}

TEST(XlsxExport, AFolderThatCannotBeWrittenIsReportedAndLeavesNothing)
{
    test::TestHome home;
    QFile plain(home.file(QStringLiteral("plainfile")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QList<BillRow> bills{
        {s("801"), s("0105551234"), s("2026年12月08日10时01分"), s("65"), s("0.30"), s("北京"), s("1.20"), 5}};
    for (const char *name : {"no/such/folder/list.xlsx", "plainfile/list.xlsx", "plainfile/list.csv"}) {
        const QString path = home.file(QString::fromUtf8(name));
        SCOPED_TRACE(path.toStdString());
        const Checked<int> written = exportSheets(path, {billSheet(bills)});
        ASSERT_FALSE(written);
        EXPECT_TRUE(written.reason().startsWith(s("无法写入文件 ") + path + s("："))) << written.reason().toStdString();
        EXPECT_GT(written.reason().size(), (s("无法写入文件 ") + path + s("：")).size()) << "and why";
        EXPECT_FALSE(QFile::exists(path));
    }
    EXPECT_EQ(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{QStringLiteral("plainfile")})
        << "no half-written file beside it";
}
