#pragma once
#include "Status.h"
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// One table: its name and its columns in stored order. Every column is TEXT.
//
// The program addresses columns by their zero-based position; the names matter
// only in criteria (where a column is named in a lookup) and as grid headers.
// Where a name is not fixed by the console's own lookups the name chosen here
// is merely descriptive, and code must not look such a column up by name.
struct TableDef {
    QString name;
    QStringList columns;
    // Column lists of the (non-unique) indexes the console's lookups need.
    QList<QStringList> indexes = {};
    // Indexes earlier versions made that are no longer needed; dropped.
    QStringList retiredIndexes = {};
    // Indexes of some rows only: a query reaches them through the index only
    // when it repeats the condition word for word.
    struct PartialIndex {
        QString name;
        QStringList columns;
        QString where;
    };
    QList<PartialIndex> partialIndexes = {};
};

// Tables of Switch.mdb, in a fixed order (SWTConfig, User, PHNBill first).
const QList<TableDef> &switchTables();
// Tables of the printing scratch database print.mdb: PHNBill and Print.
const QList<TableDef> &printTables();
// The table of that name in the list, or nullptr.
const TableDef *findTable(const QList<TableDef> &tables, const QString &name);
// Convenience: looks in switchTables().
const TableDef *findTable(const QString &name);

// Creates every table that does not exist yet, with its indexes, in one
// transaction. A table that exists already must have exactly the listed
// columns; otherwise nothing is created and the refusal says why.
Status createSchema(Database &db, const QList<TableDef> &tables);
// Makes the listed indexes of the existing tables that a database made by an
// earlier version lacks, and drops the retired ones, in one transaction.
Status updateIndexes(Database &db, const QList<TableDef> &tables);

// Differences between the open database and the list: missing tables and
// tables whose columns differ in name, order or count. Empty when it fits;
// used to check a database before it is taken into service.
QStringList schemaProblems(Database &db, const QList<TableDef> &tables);

} // namespace corvane
