#pragma once
#include "MessageService.h"
#include "Status.h"
#include <QStringList>

namespace corvane {

// The cell of a grid that an edit is about: where it was double-clicked, the
// text it showed, and the row id of the record behind its row, so that the
// value goes to the record that was clicked even when rows look alike.
struct GridCell {
    int row = -1;
    int col = -1;
    qint64 rowId = -1;
    QString text;
};

// How a double click edits a cell. The window's logic gives one for every
// cell; the grid cell editor (core/gui) carries it out.
struct CellRule {
    enum class Kind {
        Fixed, // not editable: the double click does nothing
        Cycle, // steps to the next of `choices`, wrapping; checked and stored at once
        Text,  // opens a line edit over the cell; Enter checks and stores
    };
    Kind kind = Kind::Fixed;
    QStringList choices;
    // The choice a cyclic cell takes when its text is none of the choices;
    // empty means the first choice.
    QString fallback;
    // A failed status: the double click shows this reason and edits nothing.
    Status blocked;
    // Title and icon of a refusal (blocked, or a value the check refuses).
    QString title = QStringLiteral("输入错误");
    MessageService::Icon icon = MessageService::Icon::Critical;

    static CellRule fixed() { return {}; }
    static CellRule text()
    {
        CellRule r;
        r.kind = Kind::Text;
        return r;
    }
    static CellRule cycle(QStringList values, QString otherwise = QString())
    {
        CellRule r;
        r.kind = Kind::Cycle;
        r.choices = std::move(values);
        r.fallback = std::move(otherwise);
        return r;
    }
    static CellRule block(QString reason, QString title, MessageService::Icon icon)
    {
        CellRule r;
        r.blocked = Status::fail(std::move(reason));
        r.title = std::move(title);
        r.icon = icon;
        return r;
    }
    CellRule &refusedAs(QString refusalTitle, MessageService::Icon refusalIcon)
    {
        title = std::move(refusalTitle);
        icon = refusalIcon;
        return *this;
    }
};

} // namespace corvane
