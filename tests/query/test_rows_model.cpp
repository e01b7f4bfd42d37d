// The list model of the list windows: a big list is filtered and sorted in a
// worker thread, and must come out exactly as a small one ordered at once.
#include "General.h"
#include "RowsModel.h"
#include "TestWait.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QStringList kHeader{"主叫号码", "结束时间", "通话时长", "总费用", "备注"};

// Seeded rows as the bill list holds them: numbers of several lengths, end
// times stamped to the second (some written otherwise), durations in
// seconds, amounts, and a text column with repeats.
QList<QStringList> sampleRows(int n)
{
    QRandomGenerator random(35);
    const QStringList notes{"京", "沪", "", "长途", "市话", "京A"};
    QList<QStringList> rows;
    for (int i = 0; i < n; ++i) {
        const QString number = QString::number(random.bounded(2) ? 800 + random.bounded(30) : random.bounded(100));
        QString end = QStringLiteral("2026年12月%1日%2:%3:%4")
                          .arg(1 + random.bounded(28), 2, 10, QLatin1Char('0'))
                          .arg(random.bounded(24), 2, 10, QLatin1Char('0'))
                          .arg(random.bounded(60), 2, 10, QLatin1Char('0'))
                          .arg(random.bounded(60), 2, 10, QLatin1Char('0'));
        if (i % 97 == 0)
            end = QStringLiteral("12/0%1/2026").arg(1 + i % 9);
        const QString fee =
            QStringLiteral("%1.%2").arg(random.bounded(20)).arg(random.bounded(100), 2, 10, QLatin1Char('0'));
        rows.append({number, end, QString::number(random.bounded(4000)), fee, notes.at(random.bounded(6))});
    }
    return rows;
}

// The model ordered as asked, at once or in the worker, once it is done.
struct Ordered {
    QList<int> shown;
    QString sum;
};

Ordered orderedBy(int backgroundFrom, const QList<QStringList> &rows, const QString &filter, int column,
                  Qt::SortOrder order)
{
    RowsModel::setBackgroundFrom(backgroundFrom);
    RowsModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    m.setDurationColumns({2});
    m.setEndTimeColumns({1});
    m.setSumColumn(3);
    m.setRows(kHeader, rows);
    m.setFilter(filter);
    if (column >= 0)
        m.sort(column, order);
    EXPECT_TRUE(test::waitFor([&] { return !m.busy(); }, 20000));
    return {m.shownRows(), m.shownSum().toText()};
}

class RowsModelTest : public ::testing::Test {
protected:
    void TearDown() override { RowsModel::setBackgroundFrom(20000); }
};

} // namespace

TEST_F(RowsModelTest, ABigListIsOrderedInTheWorkerAsASmallOneAtOnce)
{
    const QList<QStringList> rows = sampleRows(600);
    for (const QString &filter : {QString(), QStringLiteral("京"), QStringLiteral("时3"), QStringLiteral("01:")}) {
        for (int column = -1; column < kHeader.size(); ++column) {
            for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                SCOPED_TRACE(testing::Message()
                             << "filter " << filter.toStdString() << " column " << column << " order " << order);
                const Ordered atOnce = orderedBy(1000000, rows, filter, column, order);
                const Ordered worker = orderedBy(1, rows, filter, column, order);
                EXPECT_EQ(worker.shown, atOnce.shown);
                EXPECT_EQ(worker.sum, atOnce.sum);
            }
        }
    }
}

// What a sort means, checked against the rows themselves: amounts and
// durations by their value, end times by the moment, equal values in the
// order they came; the sum is that of the rows shown.
TEST_F(RowsModelTest, SortsByTheValueAndKeepsEqualRowsInTheirOrder)
{
    RowsModel::setBackgroundFrom(1);
    const QList<QStringList> rows = sampleRows(400);
    const Ordered byFee = orderedBy(1, rows, QString(), 3, Qt::AscendingOrder);
    ASSERT_EQ(byFee.shown.size(), rows.size());
    for (int i = 1; i < byFee.shown.size(); ++i) {
        const double a = rows.at(byFee.shown.at(i - 1)).at(3).toDouble();
        const double b = rows.at(byFee.shown.at(i)).at(3).toDouble();
        ASSERT_LE(a, b) << i;
        if (a == b) {
            EXPECT_LT(byFee.shown.at(i - 1), byFee.shown.at(i)) << "equal amounts keep their order";
        }
    }
    const Ordered byDuration = orderedBy(1, rows, QString(), 2, Qt::DescendingOrder);
    for (int i = 1; i < byDuration.shown.size(); ++i)
        ASSERT_GE(rows.at(byDuration.shown.at(i - 1)).at(2).toInt(), rows.at(byDuration.shown.at(i)).at(2).toInt());
    // "9" before "10": the number, not the text.
    const Ordered byNumber =
        orderedBy(1, {{"10", "", "", "0.00", ""}, {"9", "", "", "0.00", ""}}, QString(), 0, Qt::AscendingOrder);
    EXPECT_EQ(byNumber.shown, QList<int>({1, 0}));

    const Ordered kept = orderedBy(1, rows, QStringLiteral("京"), 3, Qt::AscendingOrder);
    Money sum;
    for (int r : kept.shown) {
        EXPECT_TRUE(rows.at(r).join(QLatin1Char('|')).contains(QStringLiteral("京")));
        sum += Money::fromText(rows.at(r).at(3));
    }
    EXPECT_EQ(kept.sum, sum.toText());
}

// While the worker orders the list the view keeps what it showed, and a newer
// filter makes an older one moot.
TEST_F(RowsModelTest, TheLatestFilterWins)
{
    RowsModel::setBackgroundFrom(1);
    RowsModel m;
    m.setRows(kHeader, sampleRows(300));
    ASSERT_FALSE(m.busy()) << "a list shown as it came needs no worker";
    const QList<int> before = m.shownRows();
    m.setFilter(QStringLiteral("沪"));
    EXPECT_TRUE(m.busy());
    EXPECT_EQ(m.shownRows(), before);
    m.setFilter(QStringLiteral("长途"));
    ASSERT_TRUE(test::waitFor([&] { return !m.busy(); }, 20000));
    ASSERT_FALSE(m.shownRows().isEmpty());
    for (int row = 0; row < m.rowCount(); ++row)
        EXPECT_EQ(m.text(row, 4), QStringLiteral("长途"));
}

// The lists write a duration as every other window does: 02:05, from an hour 1:02:05.
TEST(RowsModelText, DurationsAsEveryWindowWritesThem)
{
    for (const char *seconds : {"0", "59", "125", "3599", "3600", "37325", " 61", "abc", "-5"})
        EXPECT_EQ(corvane::RowsModel::durationText(QString::fromLatin1(seconds)),
                  corvane::DurationText(QString::fromLatin1(seconds)))
            << seconds;
}
