#include "WindowDriver.h"
#include "FlexGrid.h"
#include "MessageService.h"

#include <QDateTimeEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace corvane::test {

void showTabOf(QWidget *widget)
{
    if (!widget)
        return;
    // Outermost first: an inner tab bar is only there to click once its own
    // tab is shown.
    QList<QTabWidget *> above;
    for (QWidget *w = widget->parentWidget(); w; w = w->parentWidget())
        if (auto *tabs = qobject_cast<QTabWidget *>(w))
            above.prepend(tabs);
    for (QTabWidget *tabs : above) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i) == widget || tabs->widget(i)->isAncestorOf(widget)) {
                if (tabs->currentIndex() != i)
                    showTab(tabs, i);
                break;
            }
        }
    }
}

void showTab(QTabWidget *tabs, int index)
{
    if (!tabs)
        return;
    QTabBar *bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    EXPECT_EQ(tabs->currentIndex(), index) << tabs->objectName().toStdString();
}

void press(QAbstractButton *button)
{
    if (!button)
        return;
    showTabOf(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void press(const QObject *root, const QString &name) { press(child<QAbstractButton>(root, name)); }

void clickIndicator(QAbstractButton *button)
{
    if (!button)
        return;
    showTabOf(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void tick(QAbstractButton *box, bool on)
{
    if (!box)
        return;
    if (box->isChecked() != on)
        clickIndicator(box);
    EXPECT_EQ(box->isChecked(), on) << box->objectName().toStdString();
}

void typeOver(QLineEdit *box, const QString &text)
{
    if (!box)
        return;
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    typeText(box, text);
}

void fill(QLineEdit *box, const QString &text)
{
    if (!box)
        return;
    showTabOf(box);
    QTest::mouseClick(box, Qt::LeftButton);
    typeOver(box, text);
}

void enter(QLineEdit *box, const QString &text)
{
    if (!box)
        return;
    typeOver(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

void typeAndLeave(QLineEdit *box, const QString &text, Leave how)
{
    if (!box)
        return;
    fill(box, text);
    QTest::keyClick(box, how == Leave::Tab ? Qt::Key_Tab : Qt::Key_Return);
}

void typeTime(QDateTimeEdit *box, const QString &digits)
{
    if (!box)
        return;
    box->setFocus();
    box->setSelectedSection(QDateTimeEdit::HourSection);
    typeText(box, digits);
}

QPoint cellCentre(FlexGrid *grid, int row, int col)
{
    if (!grid)
        return {};
    showTabOf(grid);
    grid->scrollTo(grid->model()->index(row, col));
    return grid->cellRect(row, col).center();
}

namespace {

// The caption rows are drawn by a view of their own over the grid's top: a
// click there reaches that view.
std::pair<QWidget *, QPoint> clickTarget(FlexGrid *grid, int row, int col)
{
    const QPoint at = cellCentre(grid, row, col);
    if (row < grid->fixedRows())
        if (auto *captions = grid->findChild<QTableView *>(QStringLiteral("captionRows"))) {
            const QPoint inGrid = grid->viewport()->mapTo(grid, at);
            return {captions->viewport(), captions->viewport()->mapFrom(grid, inGrid)};
        }
    return {grid->viewport(), at};
}

} // namespace

void clickCell(FlexGrid *grid, int row, int col, Qt::KeyboardModifiers mods)
{
    if (!grid)
        return;
    const auto [widget, at] = clickTarget(grid, row, col);
    QTest::mouseClick(widget, Qt::LeftButton, mods, at);
}

void dblClickCell(FlexGrid *grid, int row, int col)
{
    if (!grid)
        return;
    const auto [widget, at] = clickTarget(grid, row, col);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

QString cellText(FlexGrid *grid, int row, int col) { return grid ? grid->textMatrix(row, col) : QString(); }

void clickItem(QListWidget *list, const QString &text, Qt::MatchFlags match)
{
    if (!list)
        return;
    const QList<QListWidgetItem *> found = list->findItems(text, match);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

void expectInputError(ScriptedMessageService &messages, const QString &text)
{
    ASSERT_NE(messages.last(), nullptr) << "no box, expected " << text.toStdString();
    EXPECT_EQ(messages.last()->text, text);
    EXPECT_EQ(messages.last()->title, QStringLiteral("输入错误"));
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Critical);
    messages.clear();
}

} // namespace corvane::test
