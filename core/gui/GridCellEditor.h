#pragma once
#include "GridEdit.h"
#include "StoreResult.h"
#include <QObject>
#include <functional>

class QLineEdit;
class QListWidget;
class QWidget;

namespace corvane {

class FlexGrid;
class MessageService;
class StoreFailureNotice;

// The editing cycle of a grid cell, written once for every grid window: a
// double click on a data cell asks the window's logic for the cell's rule;
// a cyclic cell steps to its next choice, which is checked and stored at
// once; a text cell opens the line edit over the cell, where Enter checks and
// stores the typed value and Escape or leaving the box cancels. A refused
// value shows its reason and stays in the box with its text selected. A
// store failure goes to the window's store-failure notice. After a store
// the window is told (stored), to send the commands and refill the grid.
//
// The same from the keyboard: Enter or F2 on the grid edits its current cell;
// a cell with a fixed list of values opens the list over the cell instead of
// stepping, where the arrows move, Enter or a click takes one value (one
// store, one command) and Escape or leaving the list takes none. After a
// store or a cancel from the keyboard the focus goes back to the grid.
//
// The value always goes to the record behind the row that was clicked: the
// row id is taken from rowId(gridRow) when the cell is opened.
class GridCellEditor : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<CellRule(const GridCell &)> rule;
        std::function<Checked<QString>(const GridCell &, const QString &)> check;
        std::function<StoreResult(const GridCell &, const QString &)> store;
        // Row id of the record shown in a grid row; -1 when it shows none.
        std::function<qint64(int gridRow)> rowId;
        // After every store (taken or not); the cell shows the value when it was taken.
        std::function<void(const GridCell &, const QString &, const StoreResult &)> stored;
    };

    // `box` is the window's in-cell line edit (txtFeerate_5, txtIP, …); the
    // editor hides it and takes over its Enter, Escape and focus-out.
    GridCellEditor(FlexGrid *grid, QLineEdit *box, MessageService &messages, StoreFailureNotice &notice,
                   QWidget *window, Hooks hooks);

    FlexGrid *grid() const { return m_grid; }
    QLineEdit *box() const { return m_box; }
    // The list a fixed-list cell opens from the keyboard.
    QListWidget *choiceList() const { return m_list; }
    bool isOpen() const;
    // The cell the open box edits.
    const GridCell &target() const { return m_target; }

public slots:
    // Edits the grid's current cell, as a double click on it does.
    void open();
    // Edits the grid's current cell from the keyboard: as open(), but a
    // fixed-list cell shows its list.
    void edit();
    // Enter in the box.
    void commit();
    // Escape or leaving the box: what was typed is dropped.
    void cancel();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The cell at the grid's current place with its rule; false when there
    // is nothing to edit there (a refusal is shown when the rule blocks it).
    bool current(GridCell &cell, CellRule &rule);
    void showList(const GridCell &cell, const CellRule &rule);
    void choose();
    void closeList();
    void backToGrid();
    void keepPlace(const GridCell &cell);
    void apply(const GridCell &cell, const QString &value);
    void refuse(const Status &why, const CellRule &rule);

    FlexGrid *m_grid;
    QLineEdit *m_box;
    QListWidget *m_list;
    MessageService &m_messages;
    StoreFailureNotice &m_notice;
    QWidget *m_window;
    Hooks m_hooks;
    GridCell m_target;
    CellRule m_rule;
    bool m_showingRefusal = false;
};

} // namespace corvane
