// The intake and the trunk events as the main window shows them: the call
// lists, their counts and their columns.
#include "ConsoleHandlers.h"
#include "ConsoleWiring.h"
#include "IntakeFixture.h"
#include "MainWindowViews.h"
#include "TrunkIndicator.h"
#include "frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Trunk 3, port 5, 12-08 23:30, 60 s, dialled 9 1 2 3;
// FE+0C+05+12+08+23+30+3C+91+23 = 620 = 0x26C.
const QByteArray kPort5Call = bytes({0xFF, 0xFE, 0x0C, 0x05, 0x12, 0x08, 0x23, 0x30, 0x00, 0x3C, 0x91, 0x23,
                                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6C});

// The captions are Chinese; the lists are measured in the CJK font the
// console ships with, put back afterwards.
class CjkFont {
public:
    CjkFont() : m_saved(QApplication::font())
    {
        QFont cjk(QStringLiteral("WenQuanYi Zen Hei"));
        cjk.setPointSize(11);
        QApplication::setFont(cjk);
    }
    ~CjkFont() { QApplication::setFont(m_saved); }
    static bool available() { return QFontDatabase::families().contains(QStringLiteral("WenQuanYi Zen Hei")); }

private:
    QFont m_saved;
};

// Whether every column shows its header and every listed value whole; the
// first column or value cut short is named in `why`.
bool columnsShowEverything(QTreeWidget *list, QString *why)
{
    const QFontMetrics fm(list->font());
    for (int c = 0; c < list->columnCount(); ++c) {
        const QString header = list->headerItem()->text(c);
        if (list->columnWidth(c) < list->header()->sectionSizeHint(c)
            || list->columnWidth(c) < fm.horizontalAdvance(header)) {
            *why = QStringLiteral("header of column %1 (%2): %3 px").arg(c).arg(header).arg(list->columnWidth(c));
            return false;
        }
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QString text = list->topLevelItem(row)->text(c);
            const QModelIndex index = list->model()->index(row, c);
            if (list->columnWidth(c) < fm.horizontalAdvance(text)
                || list->columnWidth(c) < list->sizeHintForIndex(index).width()) {
                *why = QStringLiteral("row %1 column %2 (%3): %4 px for %5 px of text")
                           .arg(row)
                           .arg(c)
                           .arg(text)
                           .arg(list->columnWidth(c))
                           .arg(fm.horizontalAdvance(text));
                return false;
            }
        }
    }
    return true;
}

int columnsTotal(QTreeWidget *list)
{
    int total = 0;
    for (int c = 0; c < list->columnCount(); ++c)
        total += list->columnWidth(c);
    return total;
}

} // namespace

TEST(IntakeWindow, MainWindowListKeepsTheNewestRowsAndCountsThem)
{
    IntakeEnv env;
    frmMain window(*env.ctx);
    MainWindowCallView view(window);
    env.intake->setView(&view);
    for (int i = 0; i < 201; ++i)
        window.ListViewOut->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::number(i)}));
    EXPECT_EQ(window.panelText(4), "新话单数：201");

    env.intake->ProcessCallRecord(kPort5Call);
    ASSERT_EQ(window.ListViewOut->topLevelItemCount(), 101);
    EXPECT_EQ(window.ListViewOut->topLevelItem(0)->text(0), "805");
    EXPECT_EQ(window.ListViewOut->topLevelItem(0)->text(7), "3");
    // The duration as minutes and seconds; numbers and money right-aligned.
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d$").match(window.ListViewOut->topLevelItem(0)->text(3)).hasMatch())
        << window.ListViewOut->topLevelItem(0)->text(3).toStdString();
    for (int c : {3, 5, 6})
        EXPECT_TRUE(window.ListViewOut->topLevelItem(0)->textAlignment(c) & Qt::AlignRight) << c;
    EXPECT_EQ(window.ListViewOut->topLevelItem(1)->text(0), "0");
    EXPECT_EQ(window.ListViewOut->topLevelItem(100)->text(0), "99");
    EXPECT_EQ(window.panelText(4), "新话单数：101");

    env.intake->ProcessCallRecord(callFrame(6, 11, 30));
    EXPECT_EQ(window.ListViewOut->topLevelItemCount(), 102);
    EXPECT_EQ(window.panelText(4), "新话单数：102");
}

TEST(IntakeWindow, RunningConsoleHandsCallRecordsToTheIntake)
{
    IntakeEnv env;
    frmMain window(*env.ctx);
    ConsoleHandlers *handlers = InstallConsoleHandlers(*env.ctx, window);
    ASSERT_NE(InstallCallIntake(*env.ctx, window, *handlers), nullptr);
    env.link->ReceiveBytes(kPort5Call);
    EXPECT_EQ(env.bills().size(), 1);
    EXPECT_EQ(env.sent(), QStringList{"ACK"});
    ASSERT_EQ(window.ListViewOut->topLevelItemCount(), 1);
    EXPECT_EQ(window.ListViewOut->topLevelItem(0)->text(1), "9123");
    EXPECT_EQ(window.panelText(4), "新话单数：1");
}

TEST(IntakeWindow, ListColumnsShowTheirHeadersAndValuesWholeInTheCjkFont)
{
    ASSERT_TRUE(CjkFont::available()) << "fonts-wqy-zenhei is not installed";
    CjkFont font;
    IntakeEnv env;
    frmMain window(*env.ctx);
    ConsoleHandlers *handlers = InstallConsoleHandlers(*env.ctx, window);
    ASSERT_NE(InstallCallIntake(*env.ctx, window, *handlers), nullptr);
    window.resize(1024, 740);
    window.show();
    QCoreApplication::processEvents();

    QString why;
    EXPECT_TRUE(columnsShowEverything(window.ListViewOut, &why)) << why.toStdString();
    EXPECT_TRUE(columnsShowEverything(window.ListViewIn, &why)) << why.toStdString();

    // Nothing moves as calls arrive: the places before.
    QList<QRect> places{window.ListViewIn->geometry(), window.ListViewOut->geometry()};
    for (int i = 0; i < 16; ++i)
        places << window.imgPHN[i]->geometry() << window.lbl[i]->geometry();

    // A call record and an answered incoming call with a long caller number.
    env.link->ReceiveBytes(kPort5Call);
    env.link->ReceiveBytes(bytes({0xFF, 0xA8, 0x02, 0x13, 0x91, 0x23, 0x45, 0x67, 0x8A}));
    env.link->ReceiveBytes(bytes({0xFF, 0x44, 0x00, 0x05, 0x02}));
    env.clock.advanceSecs(30);
    env.link->ReceiveBytes(bytes({0xFF, 0xD2, 0x02}));
    QCoreApplication::processEvents();
    ASSERT_EQ(window.ListViewOut->topLevelItemCount(), 1);
    ASSERT_EQ(window.ListViewIn->topLevelItemCount(), 1);

    const QString endTime = window.ListViewOut->topLevelItem(0)->text(2);
    EXPECT_EQ(endTime, "2026年12月08日23时30分");
    const QFontMetrics fm(window.ListViewOut->font());
    EXPECT_GE(window.ListViewOut->columnWidth(2), fm.horizontalAdvance(endTime));
    EXPECT_TRUE(columnsShowEverything(window.ListViewOut, &why)) << why.toStdString();
    EXPECT_TRUE(columnsShowEverything(window.ListViewIn, &why)) << why.toStdString();

    // The lists use their room: the columns fill the width, the incoming-call
    // list is wider than its 4000 twips where its columns need it and stays
    // at the right edge.
    EXPECT_GE(columnsTotal(window.ListViewOut), window.ListViewOut->viewport()->width());
    EXPECT_GE(columnsTotal(window.ListViewIn), window.ListViewIn->viewport()->width());
    EXPECT_GE(window.ListViewIn->width(), 4000 / 15);
    EXPECT_LE(columnsTotal(window.ListViewIn), window.ListViewIn->viewport()->width() + 1)
        << "the incoming calls need no sideways scrolling";
    EXPECT_EQ(window.ListViewIn->geometry().right(), window.centralWidget()->width() - 1);
    QList<QRect> after{window.ListViewIn->geometry(), window.ListViewOut->geometry()};
    for (int i = 0; i < 16; ++i)
        after << window.imgPHN[i]->geometry() << window.lbl[i]->geometry();
    EXPECT_EQ(after, places);
    for (int i = 0; i < 16; ++i)
        EXPECT_LT(window.imgPHN[i]->geometry().right(), window.ListViewIn->x()) << i;
    ASSERT_TRUE(window.grab().save(artifactDir() + "/intake_lists_cjk.png"));
}
