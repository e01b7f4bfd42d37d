#pragma once
#include "GridEdit.h"
#include "Recordset.h"
#include "Status.h"
#include "StoreResult.h"

#include <QStringList>
#include <array>

namespace corvane {

class Database;
class FeeEngine;

// The rate, discount, IP and holiday tables as the "费率折价" window edits
// them, without the window: the recordsets it keeps open, the rule of every
// cell, the checks, the stores and the star codes each store sends. Every
// store returns its outcome; the window shows a refusal, reports a failed
// store and sends the commands of one that was taken. Pricing is told after
// every write, so the next call is priced from the new tables.
//
// Rows are named by their row id, so a value goes to the row that was
// clicked even when rows share a prefix or a name.
class RateTablesEditor {
public:
    static constexpr int TypeTabs = 10;
    static constexpr int EditableTypeTabs = 9; // the incoming tab has no add, delete, locate or batch

    // typeNames: the call-type names in code order; marks: "×" and "√".
    RateTablesEditor(Database &db, QStringList typeNames, QStringList marks, FeeEngine *engine = nullptr);
    ~RateTablesEditor();

    QString typeName(int t) const { return m_typeNames.value(t); }
    const QStringList &marks() const { return m_marks; }

    // ---- what the grids show --------------------------------------------------
    // Rates of type t by prefix; ties keep their table order. A read the
    // database refused is an error, never an empty grid. The row ids a
    // grid's rows stand for are those of its last fill.
    Checked<TableRows> feerate(int t);
    // The twelve card entries (row "13" is the setting without a card).
    Checked<TableRows> ipCards();
    Checked<TableRows> discount();
    Checked<TableRows> holiday();

    struct NoCardSetting {
        bool on = false;
        QString number;
        int interval = -1; // -1: no option chosen
    };
    Checked<NoCardSetting> noCardSetting() const;
    // Row id of the row at a position of those lists, -1 when there is none.
    qint64 feerateRowId(int t, int index) const;
    qint64 ipCardRowId(int index) const;
    qint64 discountRowId(int index) const;
    qint64 holidayRowId(int index) const;

    // ---- rate grids (tab t) -----------------------------------------------------
    CellRule feerateRule(int t, const GridCell &cell) const;
    Checked<QString> checkFeerate(int t, const GridCell &cell, const QString &text) const;
    // Stores the value; a new prefix on the local tab also goes to the switch
    // (the old one removed first).
    StoreResult storeFeerate(int t, const GridCell &cell, const QString &value);
    // A new row copying the type's default row, named "<type>新添加".
    StoreResult addRate(int t);
    // Default rows are never deleted.
    Status checkDeleteRate(int t, qint64 rowId) const;
    StoreResult deleteRate(int t, qint64 rowId);

    // Batch change of one column of several rows (by row id), in one
    // transaction: the selection must lie in one column, not the first two.
    Status checkBatchColumns(int col, int colSel) const; // shown under "错误！"
    Status checkBatchColumn(int col) const;              // shown under "警告！"
    Checked<QString> checkBatchValue(int t, int col, const QString &text) const;
    StoreResult batchChange(int t, const QList<qint64> &rowIds, int col, const QString &value);

    // ---- IP cards ---------------------------------------------------------------
    CellRule ipRule(const GridCell &cell) const;
    // Also the switch of a card: it goes on or off only when columns 2 to 9
    // are filled (and can be keyed into the switch).
    Checked<QString> checkIP(const GridCell &cell, const QString &value) const;
    // Stores the value; an enabled card's commands follow.
    StoreResult storeIP(const GridCell &cell, const QString &value);
    Checked<QString> checkNoCardNumber(const QString &text, bool turnOn) const;
    // Writes row "13" (appended when the table lacks it) and the commands.
    StoreResult setNoCard(bool turnOn, const QString &number, int interval);

    // ---- discount periods -------------------------------------------------------
    CellRule discountRule(const GridCell &cell) const;
    Checked<QString> checkDiscount(const GridCell &cell, const QString &text) const;
    StoreResult storeDiscount(const GridCell &cell, const QString &value);

    // ---- holidays ---------------------------------------------------------------
    CellRule holidayRule(const GridCell &cell) const;
    Checked<QString> checkHoliday(const GridCell &cell, const QString &text) const;
    StoreResult storeHoliday(const GridCell &cell, const QString &value);
    StoreResult addHoliday();
    StoreResult deleteHoliday(qint64 rowId);

private:
    template <class Table>
    StoreResult store(Table &&table, qint64 rowId, int col, const QString &value, QStringList commands = {},
                      bool refill = false);
    void tablesChanged();
    // The row of a fill with this row id (empty when the fill had none).
    static QStringList shownRow(const TableRows &rows, qint64 rowId);

    Database &m_db;
    QStringList m_typeNames;
    QStringList m_marks;
    FeeEngine *m_engine;
    // What the grids were filled with last.
    std::array<TableRows, TypeTabs> m_feerate;
    // The next fill of a rate grid orders its rows by prefix again.
    std::array<bool, TypeTabs> m_reorder{true, true, true, true, true, true, true, true, true, true};
    TableRows m_ip;
    TableRows m_discount;
    TableRows m_holiday;
};

} // namespace corvane
