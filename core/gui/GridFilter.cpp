#include "GridFilter.h"

#include "FlexGrid.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace corvane {

namespace {

void applyFilter(FlexGrid *grid, const QString &wanted)
{
    for (int r = grid->fixedRows(); r < grid->rows(); ++r) {
        bool found = wanted.isEmpty();
        for (int c = 0; c < grid->cols() && !found; ++c)
            found = grid->textMatrix(r, c).contains(wanted, Qt::CaseInsensitive);
        grid->setRowHidden(r, !found);
    }
}

void applyFilter(QTreeWidget *list, const QString &wanted)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        bool found = wanted.isEmpty();
        for (int c = 0; c < list->columnCount() && !found; ++c)
            found = item->text(c).contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!found);
    }
}

void applyFilter(QListWidget *list, const QString &wanted)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setHidden(!wanted.isEmpty() && !list->item(i)->text().contains(wanted, Qt::CaseInsensitive));
}

// Enter in a filter box only filters (as typing already did): it does not
// press the window's default button.
class SwallowEnter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The box, filtering `view` by `apply` as it is typed in and again whenever
// the view's rows are refilled (a row added, deleted, changed).
QWidget *filterBox(QWidget *parent, QAbstractItemView *view, const QString &boxName,
                   std::function<void(const QString &)> apply)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(QStringLiteral("筛选："), box);
    auto *edit = new QLineEdit(box);
    edit->setObjectName(boxName);
    edit->setClearButtonEnabled(true);
    edit->installEventFilter(new SwallowEnter(edit));
    edit->setAccessibleName(QStringLiteral("筛选") + view->accessibleName());
    caption->setBuddy(edit);
    row->addWidget(caption);
    row->addWidget(edit, 1);
    QPointer<QAbstractItemView> target(view);
    auto filter = [target, edit, apply] {
        if (target)
            apply(edit->text().trimmed());
    };
    QObject::connect(edit, &QLineEdit::textChanged, view, filter);
    auto again = [edit, filter] {
        // Once per burst of changes, and only while something is typed.
        if (edit->text().trimmed().isEmpty() || edit->property("filterPending").toBool())
            return;
        edit->setProperty("filterPending", true);
        QTimer::singleShot(0, edit, [edit, filter] {
            edit->setProperty("filterPending", false);
            filter();
        });
    };
    QObject::connect(view->model(), &QAbstractItemModel::rowsInserted, edit, again);
    QObject::connect(view->model(), &QAbstractItemModel::modelReset, edit, again);
    QObject::connect(view->model(), &QAbstractItemModel::dataChanged, edit, again);
    return box;
}

} // namespace

QWidget *MakeGridFilter(QWidget *parent, FlexGrid *grid, const QString &boxName)
{
    return filterBox(parent, grid, boxName, [grid](const QString &wanted) { applyFilter(grid, wanted); });
}

QWidget *MakeListFilter(QWidget *parent, QTreeWidget *list, const QString &boxName)
{
    return filterBox(parent, list, boxName, [list](const QString &wanted) { applyFilter(list, wanted); });
}

QWidget *MakeListFilter(QWidget *parent, QListWidget *list, const QString &boxName)
{
    return filterBox(parent, list, boxName, [list](const QString &wanted) { applyFilter(list, wanted); });
}

void SelectShownItems(QListWidget *list)
{
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden())
            list->item(i)->setSelected(true);
}

void InvertShownItems(QListWidget *list)
{
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden())
            list->item(i)->setSelected(!list->item(i)->isSelected());
}

void ClearShownItems(QListWidget *list)
{
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden())
            list->item(i)->setSelected(false);
}

QStringList SelectedShownItems(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden() && list->item(i)->isSelected())
            out.append(list->item(i)->text());
    return out;
}

} // namespace corvane
