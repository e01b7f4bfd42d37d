#include "GridFilter.h"

#include "FlexGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace corvane {

namespace {

void applyFilter(FlexGrid *grid, const QString &typed)
{
    const QString wanted = typed.trimmed();
    for (int r = grid->fixedRows(); r < grid->rows(); ++r) {
        bool found = wanted.isEmpty();
        for (int c = 0; c < grid->cols() && !found; ++c)
            found = grid->textMatrix(r, c).contains(wanted, Qt::CaseInsensitive);
        grid->setRowHidden(r, !found);
    }
}

} // namespace

QWidget *MakeGridFilter(QWidget *parent, FlexGrid *grid, const QString &boxName)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto *caption = new QLabel(QStringLiteral("筛选："), box);
    auto *edit = new QLineEdit(box);
    edit->setObjectName(boxName);
    edit->setClearButtonEnabled(true);
    edit->setAccessibleName(QStringLiteral("筛选") + grid->accessibleName());
    caption->setBuddy(edit);
    row->addWidget(caption);
    row->addWidget(edit, 1);
    QPointer<FlexGrid> target(grid);
    QObject::connect(edit, &QLineEdit::textChanged, grid, [target](const QString &text) {
        if (target)
            applyFilter(target, text);
    });
    // A refilled grid (a row added, deleted, changed) keeps the filter.
    auto again = [target, edit] {
        // Once per burst of changes, and only while something is typed.
        if (edit->text().trimmed().isEmpty() || edit->property("filterPending").toBool())
            return;
        edit->setProperty("filterPending", true);
        QTimer::singleShot(0, edit, [target, edit] {
            edit->setProperty("filterPending", false);
            if (target)
                applyFilter(target, edit->text());
        });
    };
    QObject::connect(grid->model(), &QAbstractItemModel::rowsInserted, edit, again);
    QObject::connect(grid->model(), &QAbstractItemModel::modelReset, edit, again);
    QObject::connect(grid->model(), &QAbstractItemModel::dataChanged, edit, again);
    return box;
}

} // namespace corvane
