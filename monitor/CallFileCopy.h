#pragma once
#include "Status.h"

#include <QSet>
#include <QString>

namespace corvane {

class Database;

// The monthly text files of call records (the configured folder + YYYYMM.txt,
// one line a record, GB18030, CR LF).
//
// Every line is kept in a table of the console's own (Table) in the
// transaction that stores its record, and appended to its file after the
// commit; the rows of lines in their files go in the transaction of the next
// record (no commit of their own). So a console killed
// between the commit and the append, or a file that cannot be written for a
// while (a full disk, a folder gone), loses no line: what is kept is appended
// at the next Flush, in order.
//
// A console killed after the append, before the next record, leaves lines
// that are in their files and still kept. A Flush of a new run first looks at the
// end of each file: the kept lines the file already ends with are taken as
// written, so no line is written twice. (A file that ended with the very same
// text as a kept line, caller, number, duration, end minute and fee, by a
// call of its own would be taken for it; the switch sends no two such calls
// back to back, and the intake takes a second one for a repeat.)
//
// Files are made readable and writable by their owner only.
class CallFileCopy {
public:
    static const QString Table;

    explicit CallFileCopy(Database &db) : m_db(db) {}

    // Creates the table when it is missing; false while the database is closed.
    bool EnsureTable();
    // Keeps `line` (without its line end) for the file `path`, in the open
    // transaction, and removes there the rows of lines already appended.
    Status Keep(const QString &path, const QString &line);
    // The transaction of the last Keep was committed.
    void Committed();
    // Appends the kept lines their files lack, oldest first. A file that
    // cannot be written keeps its lines waiting (the lines of other files go
    // on); the outcome names every such file and why, one a line.
    Status Flush();
    // Lines kept and not yet appended (read from the table).
    int Pending();

    // The bytes of a line in its file.
    static QByteArray LineBytes(const QString &line);

private:
    struct Row {
        qint64 seq;
        QString path;
        QByteArray bytes;
    };
    // The kept lines of a path the file already ends with (a run killed
    // after appending them): how many of `rows`, from the first.
    static int alreadyWritten(const QString &path, const QList<Row> &rows);
    Status append(const Row &row);

    Database &m_db;
    bool m_tableReady = false;
    // The ends of the files have been compared with what was kept.
    bool m_checked = false;
    // Rows appended in this run and not yet removed from the table, and
    // those the open transaction removes.
    QSet<qint64> m_appended;
    QSet<qint64> m_removing;
};

} // namespace corvane
