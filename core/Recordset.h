#pragma once
#include "Criteria.h"
#include "Status.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;

// A copy of a recordset's rows, as a grid shows them: the column names, the
// values of each row and the row id behind it, so that an edit made in the
// grid goes to the record that was clicked.
struct TableRows {
    QStringList columns;
    QList<QStringList> rows;
    QList<qint64> rowIds;

    int size() const { return int(rows.size()); }
    qint64 rowId(int index) const { return index >= 0 && index < rowIds.size() ? rowIds.at(index) : -1; }
    QStringList row(int index) const { return rows.value(index); }
    // Position of the row with this id, -1 when there is none.
    int indexOf(qint64 id) const { return id < 0 ? -1 : int(rowIds.indexOf(id)); }
};

// A dynaset over a table (updatable) or a SELECT (read-only): rows in table
// order (insertion order), a current row, find-first/next with no-match, fields
// by zero-based position, edit/add-new/update/delete.
//
// Reading a field with no current row yields nothing, so callers can keep their
// previous value, which is how every procedure treats a failed read.
class Recordset {
public:
    // Updatable recordset on a table, optionally restricted by a filter and
    // ordered by a column list (default: insertion order).
    Recordset(Database &db, const QString &table, const Criteria &filter = {}, const QString &orderBy = QString());
    // Read-only recordset on a SELECT; values bound as parameters.
    static Recordset query(Database &db, const QString &sql, const QVariantList &params = {});
    // Updatable recordset on a table that loads no rows: for appending only.
    static Recordset forAppend(Database &db, const QString &table);

    bool isValid() const { return m_valid; }
    // Why the rows could not be read (success while valid).
    const Status &status() const { return m_status; }
    bool isUpdatable() const { return !m_table.isEmpty(); }
    QString table() const { return m_table; }
    QStringList columnNames() const { return m_columns; }
    int columnCount() const { return m_columns.size(); }
    int recordCount() const { return m_rows.size(); }

    bool eof() const { return m_pos >= m_rows.size() || m_rows.isEmpty(); }
    bool bof() const { return m_pos < 0; }
    bool hasCurrent() const;
    int position() const { return m_pos; }

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void moveTo(int index);
    // Makes the row with this row id current; false (no current row) when
    // the recordset does not hold it.
    bool moveToId(qint64 rowId);

    // Finds from the first row / after the current row. noMatch() tells the
    // outcome; after no match there is no current row.
    bool findFirst(const Criteria &c);
    bool findNext(const Criteria &c);
    bool noMatch() const { return m_noMatch; }

    std::optional<QString> field(int column) const;
    // Copies field `column` into `into` when there is a current row; leaves it
    // untouched otherwise. Returns whether it was read.
    bool read(int column, QString &into) const;
    QString value(int column, const QString &fallback = QString()) const
    {
        auto v = field(column);
        return v ? *v : fallback;
    }
    QStringList currentRow() const;
    qint64 currentRowId() const;
    // Row id of the row at a position, -1 outside the rows.
    qint64 rowIdAt(int index) const { return index >= 0 && index < m_rowIds.size() ? m_rowIds.at(index) : -1; }

    // Editing: edit() or addNew(), then setField(), then update(). An edit
    // writes exactly the columns set in it, even a value equal to the cached
    // one, and leaves every other column as the database holds it: another
    // writer may have changed those since this recordset read the row. A new
    // row is written whole. Failures carry the database's reason.
    Status edit();
    Status addNew();
    Status setField(int column, const QString &value);
    Status update();
    void cancelUpdate();
    Status deleteCurrent();

    // The rows as they are now: column names, values and the row id of each.
    TableRows snapshot() const;

    // Re-reads the rows from the database, keeping the current row index.
    void requery();

private:
    Recordset() = default;
    void load();

    Database *m_db = nullptr;
    QString m_table;
    QString m_sql;
    QVariantList m_params;
    Criteria m_filter;
    QString m_orderBy;
    bool m_valid = false;
    Status m_status;
    QStringList m_columns;
    QList<QStringList> m_rows;
    QList<qint64> m_rowIds;
    int m_pos = 0;
    bool m_noMatch = false;
    bool m_noCurrent = false; // after no-match or delete
    enum class EditMode { None, Edit, AddNew } m_editMode = EditMode::None;
    QStringList m_buffer;
    QList<bool> m_set; // columns set in the edit under way
};

} // namespace corvane
