#include "Database.h"
#include "FlexGrid.h"
#include "GridHelpers.h"
#include "QtMessageService.h"
#include "Recordset.h"
#include "TestHome.h"
#include "TestStatus.h"
#include "TestWait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, mods);
    QCoreApplication::sendEvent(target, &e);
}

class GridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid.resize(640, 400);
        grid.setRows(6);
        grid.setCols(4);
        for (int c = 0; c < 4; ++c)
            grid.setColWidth(c, 1200);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 4; ++c)
                grid.setTextMatrix(r, c, QStringLiteral("%1,%2").arg(r).arg(c));
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }
    QPoint centre(int r, int c) const { return grid.cellRect(r, c).center(); }
    // Caption rows are shown by their own view above the data area.
    QWidget *captionArea() const { return grid.findChild<QTableView *>(QStringLiteral("captionRows"))->viewport(); }
    QPoint captionCentre(int r, int c) const
    {
        return captionArea()->mapFrom(&grid, grid.viewport()->mapTo(&grid, centre(r, c)));
    }

    FlexGrid grid;
};

} // namespace

TEST_F(GridTest, WidthsAreMinimumsInTwipsRememberedForColumnsNotYetThere)
{
    FlexGrid g;
    g.resize(200, 100);
    g.setCols(2);
    g.setColWidth(5, 1500);
    g.setRowHeightTwips(0, 500);
    g.setRows(1);
    g.setCols(8);
    EXPECT_GE(g.columnWidth(5), 100) << "1500 twips are 100 pixels at least";
    EXPECT_EQ(g.colWidth(5), 1500);
    // 500 twips are 33 pixels, one of them the grid line.
    EXPECT_EQ(g.cellRect(0, 0).height(), 32);
    // A grid cut down and grown again gets its widths back.
    g.setCols(1);
    g.setCols(8);
    EXPECT_GE(g.columnWidth(5), 100);
    // A width of 0 hides a column, whatever it holds.
    g.setTextMatrix(0, 6, QStringLiteral("hidden"));
    g.setColWidth(6, 0);
    EXPECT_EQ(g.columnWidth(6), 0);
}

// The widths the windows give were measured for another font: a column is at
// least as wide as its captions and values need, and the columns share out
// the grid's width beyond that.
TEST(GridFit, ColumnsFitTheirTextsAndFillTheGrid)
{
    QFont cjk(QStringLiteral("WenQuanYi Zen Hei"));
    cjk.setPointSize(11);
    QWidget window;
    window.resize(900, 300);
    FlexGrid g(&window);
    g.setFont(cjk);
    g.setGeometry(0, 0, 900, 300);
    g.setRows(3);
    g.setCols(4);
    const QStringList captions{QStringLiteral("首次时长"), QStringLiteral("单位手续费"), QStringLiteral("手续费百分比"),
                               QStringLiteral("折价")};
    SetGridRow(g, 0, captions);
    SetColWidths(g, {600, 600, 600, 600});
    SetGridRow(g, 1, {QStringLiteral("60"), QStringLiteral("0.00"), QStringLiteral("一个比标题长得多的值"), QString()});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(test::waitFor([&] {
        // The fit after a change of text comes once events have run.
        return g.columnWidth(2) >= QFontMetrics(cjk).horizontalAdvance(g.textMatrix(1, 2));
    }));
    const QFontMetrics fm(cjk);
    int total = 0;
    for (int c = 0; c < g.cols(); ++c) {
        for (int r = 0; r < 2; ++r)
            EXPECT_LE(fm.horizontalAdvance(g.textMatrix(r, c)), g.columnWidth(c)) << r << "," << c;
        EXPECT_GE(g.columnWidth(c), 40) << "600 twips stay the minimum";
        total += g.columnWidth(c);
    }
    EXPECT_EQ(total, g.viewport()->width()) << "the columns end at the grid's right edge";

    // Wider than the grid: the texts still fit, and the grid scrolls.
    g.setTextMatrix(2, 0, QString(120, QChar(u'长')));
    g.fitColumns();
    EXPECT_LE(fm.horizontalAdvance(g.textMatrix(2, 0)), g.columnWidth(0));
    EXPECT_GT(g.columnWidth(0) + g.columnWidth(1), g.viewport()->width());

    // A narrower window: the columns follow.
    g.setTextMatrix(2, 0, QString());
    window.resize(600, 300);
    g.setGeometry(0, 0, 600, 300);
    ASSERT_TRUE(test::waitFor([&] {
        int sum = 0;
        for (int c = 0; c < g.cols(); ++c)
            sum += g.columnWidth(c);
        return sum == g.viewport()->width();
    }));
}

TEST_F(GridTest, PaintsCaptionsGreyAndCellColours)
{
    grid.setCellBackColor(2, 2, FlexGrid::paletteColor(10));
    grid.setRows(60);
    grid.setTopRow(1);
    const QImage shot = grid.grab().toImage();
    shot.save(test::artifactDir() + QStringLiteral("/flexgrid.png"));
    auto pixelAt = [&](int r, int c) {
        const QRect cell = grid.cellRect(r, c);
        // Some pixels into the cell, clear of text, in the grid's coordinates.
        return shot.pixelColor(grid.viewport()->mapTo(&grid, cell.topLeft() + QPoint(cell.width() - 4, 3)));
    };
    EXPECT_EQ(pixelAt(2, 2), QColor(0, 255, 0));
    EXPECT_EQ(pixelAt(0, 1), grid.palette().color(QPalette::Button));
    EXPECT_EQ(pixelAt(3, 1), grid.palette().color(QPalette::Base));
}

TEST_F(GridTest, CellsOutsideTheGridAreIgnoredAndClearKeepsTheShape)
{
    grid.setTextMatrix(10, 1, QStringLiteral("x"));
    grid.setTextMatrix(1, -1, QStringLiteral("x"));
    EXPECT_EQ(grid.textMatrix(10, 1), QString());
    EXPECT_EQ(grid.rows(), 6);

    grid.setCellBackColor(2, 2, FlexGrid::paletteColor(10));
    grid.setCellForeColor(2, 2, Qt::blue);
    grid.clear();
    EXPECT_EQ(grid.rows(), 6);
    EXPECT_EQ(grid.cols(), 4);
    EXPECT_EQ(grid.colWidth(2), 1200);
    EXPECT_EQ(grid.textMatrix(0, 0), QString());
    EXPECT_EQ(grid.textMatrix(2, 2), QString());
    EXPECT_FALSE(grid.cellBackColor(2, 2).isValid()) << "clear takes the colours too";
    EXPECT_FALSE(grid.cellForeColor(2, 2).isValid());
}

TEST_F(GridTest, ClicksSetCurrentCellAndSelection)
{
    QSignalSpy clicks(&grid, &FlexGrid::Click);
    QSignalSpy enter(&grid, &FlexGrid::EnterCell);
    QSignalSpy downs(&grid, &FlexGrid::MouseDown);
    QSignalSpy ups(&grid, &FlexGrid::MouseUp);

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre(2, 1));
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.col(), 1);
    EXPECT_EQ(grid.rowSel(), 2);
    EXPECT_EQ(grid.colSel(), 1);
    EXPECT_EQ(grid.text(), QStringLiteral("2,1"));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(enter.count(), 1);
    EXPECT_EQ(downs.count(), 1);
    EXPECT_EQ(ups.count(), 1);

    // Shift-click extends from the current cell, which stays where it was.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(4, 3));
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.col(), 1);
    EXPECT_EQ(grid.rowSel(), 4);
    EXPECT_EQ(grid.colSel(), 3);
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 9);

    // A caption cell is never current: clicking it selects its column.
    QTest::mouseClick(captionArea(), Qt::LeftButton, {}, captionCentre(0, 2));
    EXPECT_EQ(grid.mouseRow(), 0);
    EXPECT_EQ(grid.mouseCol(), 2);
    EXPECT_EQ(grid.row(), 1);
    EXPECT_EQ(grid.col(), 2);
    EXPECT_EQ(grid.rowSel(), 5);
    EXPECT_EQ(grid.colSel(), 2);
}

TEST_F(GridTest, DragExtendsFromWhereThePressWas)
{
    sendMouse(grid.viewport(), QEvent::MouseButtonPress, centre(4, 0), Qt::LeftButton, Qt::LeftButton);
    sendMouse(grid.viewport(), QEvent::MouseMove, centre(3, 0), Qt::NoButton, Qt::LeftButton);
    sendMouse(grid.viewport(), QEvent::MouseMove, centre(1, 0), Qt::NoButton, Qt::LeftButton);
    sendMouse(grid.viewport(), QEvent::MouseButtonRelease, centre(1, 0), Qt::LeftButton, Qt::NoButton);
    // The row where the selection began stays the current row.
    EXPECT_EQ(grid.row(), 4);
    EXPECT_EQ(grid.rowSel(), 1);
    EXPECT_EQ(grid.col(), 0);
    EXPECT_EQ(grid.colSel(), 0);
}

TEST_F(GridTest, DoubleClickOnDataCellOnly)
{
    QSignalSpy dbl(&grid, &FlexGrid::DblClick);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, centre(3, 2));
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(grid.row(), 3);
    EXPECT_EQ(grid.col(), 2);
    EXPECT_EQ(grid.mouseRow(), 3);

    QTest::mouseDClick(captionArea(), Qt::LeftButton, {}, captionCentre(0, 2));
    EXPECT_EQ(dbl.count(), 1);
}

TEST_F(GridTest, CaptionRowStaysWhileDataScrolls)
{
    grid.setRows(200);
    grid.setTextMatrix(150, 1, QStringLiteral("150,1"));
    grid.setTopRow(150);
    EXPECT_EQ(grid.topRow(), 150);
    // Row 0 is still on screen, above the data area, and still clickable.
    const QRect caption = grid.cellRect(0, 1);
    EXPECT_LT(caption.bottom(), 0);
    EXPECT_EQ(grid.cellRect(150, 1).top(), 0);
    QTest::mouseClick(captionArea(), Qt::LeftButton, {}, captionCentre(0, 1));
    EXPECT_EQ(grid.mouseRow(), 0);
    EXPECT_EQ(grid.col(), 1);
    // Selecting the column does not jump the view back to the top.
    EXPECT_EQ(grid.topRow(), 150);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre(150, 1));
    EXPECT_EQ(grid.row(), 150);
    EXPECT_EQ(grid.text(), QStringLiteral("150,1"));

    // Scrolled sideways, the captions stay over their columns.
    grid.setColWidth(3, 9000);
    QCoreApplication::processEvents(); // lets the view take in the new width
    grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
    ASSERT_GT(grid.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(grid.cellRect(0, 3).left(), grid.cellRect(150, 3).left());
    EXPECT_EQ(grid.cellRect(0, 0).left(), grid.cellRect(150, 0).left());
    EXPECT_LT(grid.cellRect(0, 0).left(), 0);

    // With two caption rows both stay; data starts at row 2.
    grid.setFixedRows(2);
    EXPECT_EQ(grid.topRow(), 150);
    grid.setTopRow(2);
    EXPECT_EQ(grid.topRow(), 2);
    EXPECT_LT(grid.cellRect(1, 0).bottom(), 0);
    EXPECT_GE(grid.row(), 2);
}

TEST_F(GridTest, KeyboardNeverEntersTheCaptionRow)
{
    grid.setFocus();
    grid.setRow(1);
    grid.setCol(1);
    QSignalSpy enter(&grid, &FlexGrid::EnterCell);
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(grid.row(), 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.rowSel(), 2);
    EXPECT_GE(enter.count(), 1);

    // Moving down past the bottom scrolls the current row into view.
    grid.setRows(100);
    grid.setRow(1);
    for (int i = 0; i < 60; ++i)
        QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.row(), 61);
    EXPECT_TRUE(grid.viewport()->rect().contains(grid.cellRect(61, 1).center()));
}

TEST_F(GridTest, EditCellCoversTheCurrentCell)
{
    QWidget window;
    window.resize(800, 600);
    FlexGrid g(&window);
    g.setGeometry(30, 40, 600, 400);
    g.setRows(5);
    g.setCols(3);
    g.setTextMatrix(3, 2, QStringLiteral("0.50"));
    QLineEdit box(&window);
    box.hide();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    g.setRow(3);
    g.setCol(2);
    EditCell(&box, g);
    const QRect cell = g.cellRect(3, 2);
    EXPECT_EQ(box.geometry(), QRect(g.viewport()->mapTo(&window, cell.topLeft()), cell.size()));
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(box.text(), QStringLiteral("0.50"));
    EXPECT_EQ(box.selectedText(), QStringLiteral("0.50"));
}

TEST(ListHelpers, AddListRowCutsBackToTheNewestHundred)
{
    QTreeWidget list;
    list.setColumnCount(3);
    for (int i = 0; i < 200; ++i)
        AddListRow(&list, ListRowLimit, {QString::number(i), QStringLiteral("a"), QStringLiteral("b")});
    // At the limit nothing is cut yet.
    AddListRow(&list, ListRowLimit, {QStringLiteral("200"), QStringLiteral("a"), QStringLiteral("b")});
    ASSERT_EQ(list.topLevelItemCount(), 201);

    AddListRow(&list, ListRowLimit, {QStringLiteral("new"), QStringLiteral("13309"), QStringLiteral("88")});
    ASSERT_EQ(list.topLevelItemCount(), 101);
    EXPECT_EQ(list.topLevelItem(0)->text(0), QStringLiteral("new"));
    EXPECT_EQ(list.topLevelItem(0)->text(1), QStringLiteral("13309"));
    EXPECT_EQ(list.topLevelItem(0)->text(2), QStringLiteral("88"));
    EXPECT_EQ(list.topLevelItem(1)->text(0), QStringLiteral("200"));
    EXPECT_EQ(list.topLevelItem(100)->text(0), QStringLiteral("101"));
}

TEST(ListHelpers, IndexAndChoices)
{
    QListWidget list;
    list.addItems({QStringLiteral("管理员"), QStringLiteral("张三")});
    EXPECT_EQ(ListIndexOf(QStringLiteral("张三"), &list), 1);
    EXPECT_EQ(ListIndexOf(QStringLiteral("张"), &list), -1);

    QWidget window;
    QComboBox box(&window);
    box.hide();
    window.show();
    const QStringList marks{QStringLiteral("×"), QStringLiteral("√")};
    ShowChoices(&box, QStringLiteral("√"), marks);
    EXPECT_EQ(box.count(), 2);
    EXPECT_EQ(box.currentText(), QStringLiteral("√"));
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(ListIndexOf(QStringLiteral("×"), &box), 0);
    // Loading again replaces the items rather than appending.
    ShowChoices(&box, QStringLiteral("7"), {QStringLiteral("1"), QStringLiteral("2")});
    EXPECT_EQ(box.count(), 2);
    EXPECT_EQ(box.currentIndex(), -1);

    QComboBox editable(&window);
    editable.setEditable(true);
    ShowChoices(&editable, QStringLiteral("12"), {QStringLiteral("1"), QStringLiteral("2")});
    EXPECT_EQ(editable.currentText(), QStringLiteral("12"));
}

namespace {

class FillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ok(
            db.open(home.file(QStringLiteral("fill.mdb")), QByteArrayLiteral("k"), Database::OpenMode::Create)));
        ASSERT_TRUE(db.exec(QStringLiteral("CREATE TABLE \"Client\" (\"编号\" TEXT, \"姓名\" TEXT, \"电话\" TEXT)")));
    }
    void add(const QString &a, const QString &b, const QString &c)
    {
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO \"Client\" VALUES (?,?,?)"), {a, b, c}));
    }

    test::TestHome home;
    Database db;
};

} // namespace

TEST_F(FillTest, EmptyRecordsetLeavesHeaderAndOneEmptyRow)
{
    FlexGrid grid;
    grid.setRows(30);
    grid.setTextMatrix(7, 0, QStringLiteral("old"));
    Recordset rs(db, QStringLiteral("Client"));
    FillGrid(rs, grid, 0, 0, 0);
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(grid.cols(), 3);
    EXPECT_EQ(grid.textMatrix(0, 0), QStringLiteral("编号"));
    EXPECT_EQ(grid.textMatrix(0, 2), QStringLiteral("电话"));
    EXPECT_EQ(grid.textMatrix(1, 0), QString());
    // The caption row is what assistive technology reads as column headers.
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("姓名"));

    // Under a caption row of groups: the header is row 1, one empty row below.
    Recordset again(db, QStringLiteral("Client"));
    FillGrid(again, grid, 0, 0, 1);
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.textMatrix(1, 1), QStringLiteral("姓名"));
    EXPECT_EQ(grid.textMatrix(2, 1), QString());
}

TEST_F(FillTest, RowsColumnsAndLimits)
{
    add("001", "王五", "13309");
    add("002", "O'Brien", "");
    add("003", "李四", "88");
    FlexGrid grid;
    grid.setCellBackColor(1, 0, Qt::red);

    Recordset rs(db, QStringLiteral("Client"));
    FillGrid(rs, grid, 0, 0, 0);
    ASSERT_EQ(grid.rows(), 4);
    EXPECT_EQ(grid.textMatrix(1, 0), QStringLiteral("001"));
    EXPECT_EQ(grid.textMatrix(2, 1), QStringLiteral("O'Brien"));
    EXPECT_EQ(grid.textMatrix(3, 2), QStringLiteral("88"));
    EXPECT_FALSE(grid.cellBackColor(1, 0).isValid());
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(FindGridRow(QStringLiteral("003"), grid, 0), 3);
    EXPECT_EQ(FindGridRow(QStringLiteral("编号"), grid, 0), -1);
    EXPECT_EQ(FindGridRow(QStringLiteral("004"), grid, 0), -1);

    // Fewer columns than the recordset has, and a row limit.
    FillGrid(rs, grid, 2, 2, 0);
    EXPECT_EQ(grid.cols(), 2);
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.textMatrix(2, 1), QStringLiteral("O'Brien"));

    // More columns than there are: the extra cells stay empty.
    FillGrid(rs, grid, 5, 0, 0);
    EXPECT_EQ(grid.cols(), 5);
    EXPECT_EQ(grid.textMatrix(0, 4), QString());
    EXPECT_EQ(grid.textMatrix(3, 0), QStringLiteral("003"));
}

TEST_F(FillTest, FillListJoinsTheSecondColumnAndHonoursTheLimit)
{
    add("001", "王五", "13309");
    add("002", "赵六", "");
    add("003", "李四", "88");
    Recordset rs(db, QStringLiteral("Client"));

    QListWidget list;
    list.addItem(QStringLiteral("stale"));
    FillList(&list, rs, 0, 1);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(0)->text(), QStringLiteral("王五"));

    QComboBox box;
    FillList(&box, rs, 2, 0, 1);
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.itemText(1), QStringLiteral("002--赵六"));
}

namespace {

// Answers the next modal box the real service opens, from inside its event
// loop, so the test never waits on a person.
void answerModal(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(w);
            // An answer that failed part-way must still not leave the test waiting.
            if (auto *dlg = qobject_cast<QDialog *>(w); dlg && dlg->isVisible())
                dlg->reject();
        }
    });
    timer->start();
}

} // namespace

TEST(QtMessageServiceTest, ShowReturnsTheClickedButtonUnderTheDefaultTitle)
{
    QtMessageService service;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    const auto answer = service.show(QStringLiteral("确定退出吗？"), QString(), MessageService::Icon::Question,
                                     MessageService::Buttons::YesNo);
    EXPECT_EQ(answer, MessageService::Answer::No);
    EXPECT_EQ(title, MessageService::defaultTitle());
    EXPECT_EQ(text, QStringLiteral("确定退出吗？"));
    EXPECT_EQ(icon, QMessageBox::Question);

    answerModal([](QWidget *w) { qobject_cast<QMessageBox *>(w)->button(QMessageBox::Retry)->click(); });
    EXPECT_EQ(service.show(QStringLiteral("x"), QStringLiteral("t"), MessageService::Icon::Warning,
                           MessageService::Buttons::RetryCancel),
              MessageService::Answer::Retry);
}

TEST(QtMessageServiceTest, NotifyDoesNotHoldUpTheCaller)
{
    QtMessageService service;
    service.notify(QStringLiteral("交换机故障"), QStringLiteral("警告"), MessageService::Icon::Warning);
    QPointer<QMessageBox> box;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *b = qobject_cast<QMessageBox *>(w);
        if (b && b->text() == QStringLiteral("交换机故障"))
            box = b;
    }
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("警告"));
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
}

// A port fault found while the console starts is shown before its main
// window: once that window is shown, the box is its own and lies over it. A
// different fault replaces the text and its count; the end of the fault is
// said in the same box.
TEST(QtMessageServiceTest, StartFaultsGoOverTheMainWindowAndFollowTheFault)
{
    QtMessageService service;
    EXPECT_EQ(service.notifyKeyed("port-fault-COM1", "无法打开串口 COM1：没有权限", "通讯端口",
                                  MessageService::Icon::Warning),
              1);
    QPointer<QMessageBox> box;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("keyedNotice"))
            box = qobject_cast<QMessageBox *>(w);
    ASSERT_TRUE(box);
    EXPECT_EQ(service.notifyKeyed("port-fault-COM1", "无法打开串口 COM1：没有权限", "通讯端口",
                                  MessageService::Icon::Warning),
              2);
    EXPECT_TRUE(box->text().endsWith("(2次)"));

    QWidget main;
    main.show();
    service.adoptNotices(&main);
    EXPECT_EQ(box->parentWidget(), &main);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->isWindow());

    service.resetKeyed("port-fault-COM1", "无法打开串口 COM1：设备不存在", MessageService::Icon::Warning);
    EXPECT_EQ(service.notifyKeyed("port-fault-COM1", "无法打开串口 COM1：设备不存在", "通讯端口",
                                  MessageService::Icon::Warning),
              1);
    EXPECT_EQ(box->text(), "无法打开串口 COM1：设备不存在") << "the latest fault alone, not counted with the first";
    // SQLite's words go under 详细信息, out of the operator's text.
    service.notifyKeyed("port-fault-COM1", "磁盘已满" + MessageService::detailsMarker() + "database or disk is full",
                        "通讯端口", MessageService::Icon::Warning);
    EXPECT_EQ(box->text(), "磁盘已满 (2次)");
    EXPECT_EQ(box->detailedText(), "database or disk is full");
    service.resetKeyed("port-fault-COM1", "通讯端口 COM1 已恢复。", MessageService::Icon::Information);
    EXPECT_EQ(box->text(), "通讯端口 COM1 已恢复。");
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    box->close();
}

// A question whose safe answer is No answers No to Enter; a box with buttons
// of its own says which one was pressed, and -1 when none was.
TEST(QtMessageServiceTest, DefaultNoAndButtonsOfItsOwn)
{
    QtMessageService service;
    answerModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Return); });
    EXPECT_EQ(service.show(QStringLiteral("是否恢复？"), QString(), MessageService::Icon::Question,
                           MessageService::Buttons::YesNoDefaultNo),
              MessageService::Answer::No);

    QStringList captions;
    answerModal([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *b : box->buttons())
            captions << b->text();
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("确定"));
        for (QAbstractButton *b : box->buttons())
            if (b->text() == QStringLiteral("重新启动监控软件"))
                b->click();
    });
    const QStringList buttons{QStringLiteral("确定"), QStringLiteral("重新启动监控软件")};
    EXPECT_EQ(service.choose(QStringLiteral("完毕"), QStringLiteral("t"), MessageService::Icon::Information, buttons),
              1);
    captions.sort();
    QStringList expected = buttons;
    expected.sort();
    EXPECT_EQ(captions, expected);
    answerModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_EQ(service.choose(QStringLiteral("完毕"), QStringLiteral("t"), MessageService::Icon::Information, buttons),
              -1);
}

TEST(QtMessageServiceTest, AskTextGivesTheTextOrNothingWhenCancelled)
{
    QtMessageService service;
    answerModal([](QWidget *w) {
        auto *dlg = qobject_cast<QInputDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->setTextValue(QStringLiteral("42"));
        dlg->accept();
    });
    EXPECT_EQ(service.askText(QStringLiteral("数量"), QString(), QStringLiteral("1")),
              std::optional<QString>(QStringLiteral("42")));

    answerModal([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    EXPECT_EQ(service.askText(QStringLiteral("数量"), QString()), std::nullopt);
}
