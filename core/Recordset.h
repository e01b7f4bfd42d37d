#pragma once
#include "Criteria.h"
#include <QString>
#include <QStringList>
#include <QList>
#include <optional>

namespace corvane {

class Database;

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
    Recordset(Database &db, const QString &table, const Criteria &filter = {},
              const QString &orderBy = QString());
    // Read-only recordset on a SELECT; values bound as parameters.
    static Recordset query(Database &db, const QString &sql, const QVariantList &params = {});
    // Updatable recordset on a table that loads no rows: for appending only.
    static Recordset forAppend(Database &db, const QString &table);

    bool isValid() const { return m_valid; }
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

    // Editing: edit() or addNew(), then setField(), then update().
    bool edit();
    bool addNew();
    bool setField(int column, const QString &value);
    bool update();
    void cancelUpdate();
    bool deleteCurrent();

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
    QStringList m_columns;
    QList<QStringList> m_rows;
    QList<qint64> m_rowIds;
    int m_pos = 0;
    bool m_noMatch = false;
    bool m_noCurrent = false;   // after no-match or delete
    enum class EditMode { None, Edit, AddNew } m_editMode = EditMode::None;
    QStringList m_buffer;
};

} // namespace corvane
