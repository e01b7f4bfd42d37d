#pragma once
#include "Status.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace corvane {

class Database;

// The plumbing under the gateways of the shared tables: whole rows read with
// their row ids, columns written by position. Only the gateways in core use
// it; everything else names columns through a gateway's fields.
namespace TableAccess {

struct StoredRow {
    qint64 rowId = -1;
    QStringList values;
};

// Rows of `table`, every column in stored order (as many as the table has), filtered by an SQL condition
// over quoted column names with '?' parameters, in `orderBy` order (none
// when it is empty).
Checked<QList<StoredRow>> read(Database &db, const QString &table, const QString &where = QString(),
                               const QVariantList &params = {}, const QString &orderBy = QStringLiteral("rowid"),
                               int limit = -1);
// The quoted name of column `position` of a table as the database holds it
// (the console addresses columns by position; the names are the file's).
QString column(Database &db, const QString &table, int position);
// Sets the given columns of one row; refused when the row is gone.
Status update(Database &db, const QString &table, qint64 rowId, const QList<QPair<int, QString>> &columns);
// Appends a row (missing values are empty) and gives its row id.
Checked<qint64> insert(Database &db, const QString &table, const QStringList &values);
Status remove(Database &db, const QString &table, qint64 rowId);

} // namespace TableAccess
} // namespace corvane
