#include "CsvExport.h"
#include "TestHome.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

QString s(const char *utf8) { return QString::fromUtf8(utf8); }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A plain RFC 4180 reader, as a spreadsheet reads the file: quoted fields may
// hold commas, doubled quotes and line breaks; records end with CR LF.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record.append(field);
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            record.append(field);
            field.clear();
            records.append(record);
            record.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.isEmpty() && record.isEmpty()) << "the last record ends with CR LF";
    return records;
}

} // namespace

TEST(CsvExport, FeeRowsRoundTripWithBomQuotingChineseAndMoney)
{
    test::TestHome home;
    FeeRow tricky;
    tricky.group = s("营业部,一楼");
    tricky.number = s("801");
    tricky.name = s("张\"三\"\n经理");
    tricky.longDistance = Money::fromText(s("1234.5"));
    tricky.total = Money::fromText(s("-0.50"));
    FeeRow formula;
    formula.group = s("=1+2");
    formula.number = s("账号012");
    formula.name = s("@SUM(A1)");
    formula.rent = Money::fromText(s("30"));
    const QString path = home.file(QStringLiteral("fees.csv"));
    ASSERT_TRUE(exportFeesCsv(path, {tricky, formula}));

    const QByteArray bytes = readAll(path);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "UTF-8 byte-order mark";
    // Every line break outside a quoted field is CR LF; the one inside the name is kept as written.
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_EQ(bytes.count('\n'), 4);

    const QList<QStringList> rows = parseCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(0), (QStringList{s("组名"), s("用户号码"), s("用户名称"), s("长话费"), s("市话费"), s("本地费"),
                                       s("呼入费"), s("月租费"), s("手续费"), s("服务费"), s("合计"), s("押金"),
                                       s("余额"), s("应收"), s("应退"), s("说明")}));
    EXPECT_EQ(rows.at(1), (QStringList{s("营业部,一楼"), s("801"), s("张\"三\"\n经理"), s("1234.50"), s("0.00"),
                                       s("0.00"), s("0.00"), s("0.00"), s("0.00"), s("0.00"), s("-0.50"), s("0.00"),
                                       s("0.00"), s("0.00"), s("0.00"), QString()}));
    // Texts a spreadsheet would run as formulas are marked as text; amounts are left as numbers.
    EXPECT_EQ(rows.at(2).mid(0, 3), (QStringList{s("'=1+2"), s("账号012"), s("'@SUM(A1)")}));
    EXPECT_EQ(rows.at(2).at(7), s("30.00"));
}

TEST(CsvExport, BillRowsQuoteTheirNumbersAndWriteTheFeeAsADecimal)
{
    test::TestHome home;
    const QList<BillRow> bills{
        {s("801"), s("+8613912345678"), s("2026年12月08日10时01分"), s("65"), s("0.30"), s("移动电话"), s("1.2"), 5},
        {s("账号012"), s("-"), s("2026年12月08日10时02分"), s("6"), s("0.10"), s("呼入"), s("0.10"), 6}};
    const QString path = home.file(QStringLiteral("bills.csv"));
    ASSERT_TRUE(exportBillsCsv(path, bills));
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(readAll(path).mid(3)));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(0).size(), 7) << "the main row id is not exported";
    EXPECT_EQ(rows.at(1), (QStringList{s("801"), s("+8613912345678"), s("2026年12月08日10时01分"), s("65"), s("0.30"),
                                       s("移动电话"), s("1.20")}));
    EXPECT_EQ(rows.at(2).at(1), s("'-")) << "a lone sign is not a number";
    // Caller, dialled number and end time are quoted, so that a reader taking
    // quoted fields as text keeps them as written; numbers are not quoted.
    const QStringList lines = QString::fromUtf8(readAll(path).mid(3)).split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.at(1), s("\"801\",\"+8613912345678\",\"2026年12月08日10时01分\",65,0.30,移动电话,1.20"));
    EXPECT_EQ(lines.at(2), s("\"账号012\",\"'-\",\"2026年12月08日10时02分\",6,0.10,呼入,0.10"));
}

TEST(CsvExport, AFolderThatCannotBeWrittenIsReported)
{
    test::TestHome home;
    QFile plain(home.file(QStringLiteral("plainfile")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString &path :
         {home.file(QStringLiteral("no/such/folder/fees.csv")), home.file(QStringLiteral("plainfile/fees.csv"))}) {
        SCOPED_TRACE(path.toStdString());
        const Status st = exportFeesCsv(path, {});
        ASSERT_FALSE(st);
        EXPECT_TRUE(st.reason().contains(path)) << st.reason().toStdString();
        EXPECT_FALSE(QFile::exists(path));
    }
}
