#pragma once
#include "Status.h"
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace corvane {

// One open database file (SQLCipher). Switch.mdb is opened with the console's
// key, print.mdb without one. Every value is bound as a parameter, never
// spliced into SQL text. Every call that can fail returns its outcome with the
// database's reason (Status, Checked).
class Database {
public:
    enum class OpenMode { Existing, Create };
    using Rows = QList<QStringList>;

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (or, with Create, creates) the file and checks that the key fits by
    // reading the schema.
    Status open(const QString &path, const QByteArray &key, OpenMode mode = OpenMode::Existing);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

    // Runs one statement that returns no rows. Params are QString (TEXT),
    // qint64/int (INTEGER) or a null QVariant.
    Status exec(const QString &sql, const QVariantList &params = {});
    // Runs several statements separated by ';' (schema scripts; no params).
    Status execScript(const QString &sql);
    // Runs a SELECT; each row as text (NULL reads as an empty text).
    Checked<Rows> select(const QString &sql, const QVariantList &params = {}, QStringList *columnNames = nullptr);
    // A SELECT read row by row without keeping the rows: `row` sees each one
    // (its columns as UTF-8 bytes, valid during the call) and returns false to
    // stop. True when every row was seen, false when `row` stopped it.
    class RowView {
    public:
        int columns() const;
        QByteArrayView bytes(int column) const;
        qint64 integer(int column) const;

    private:
        friend class Database;
        explicit RowView(sqlite3_stmt *stmt) : m_stmt(stmt) {}
        sqlite3_stmt *m_stmt;
    };
    Checked<bool> each(const QString &sql, const QVariantList &params, const std::function<bool(const RowView &)> &row);
    // Makes a statement running on this connection in another thread stop
    // with an error ("interrupted"), as a cancel button does.
    void interrupt();
    // First column of the first row; refused on an error and when there is no row.
    Checked<QString> scalar(const QString &sql, const QVariantList &params = {});
    qint64 lastInsertRowId() const;
    int changes() const;

    Checked<bool> hasTable(const QString &table);
    // Whether the table exists; false also when that cannot be read.
    bool tableExists(const QString &table) { return hasTable(table).value_or(false); }
    QStringList columnNames(const QString &table);

    // A transaction, or a savepoint inside one. Prefer InTransaction().
    Status beginTransaction();
    Status commit();
    Status rollback();
    bool inTransaction() const { return m_txDepth > 0; }

    // Quotes an identifier (table or column name) for SQL text.
    static QString quoteId(const QString &name);

    // Who changes the data and when, for the rows that record it (the money
    // journal, the number history). The console points it at its clock and
    // the operator logged in; without a source, the system time and no name.
    struct Stamp {
        QDateTime at;
        QString operatorName;
    };
    void setStampSource(std::function<Stamp()> source) { m_stampSource = std::move(source); }
    Stamp stamp() const;

private:
    Status failure(const QString &what) const;
    // Statements are prepared once and kept for the next call with the same
    // text: the call intake, the settlement and the copies run the same few
    // statements thousands of times.
    sqlite3_stmt *prepared(const QString &sql);
    void release(sqlite3_stmt *stmt);
    void finalizeStatements();
    static constexpr int kCachedStatements = 64;

    QHash<QString, sqlite3_stmt *> m_statements;
    // Column names by table, read once: the gateways name their columns on
    // every statement. Forgotten whenever the schema may have changed.
    QHash<QString, QStringList> m_columns;
    sqlite3 *m_db = nullptr;
    QString m_path;
    std::function<Stamp()> m_stampSource;
    int m_txDepth = 0;
};

// Rolls back unless commit() was called. begun() says whether it started.
class Transaction {
public:
    explicit Transaction(Database &db) : m_db(db), m_begun(db.beginTransaction()) {}
    ~Transaction()
    {
        if (m_begun && !m_done)
            (void)m_db.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    const Status &begun() const { return m_begun; }
    // Commits. When the commit fails the transaction is rolled back and the
    // commit's reason is returned (a full disk), never the rollback's.
    Status commit()
    {
        if (!m_begun)
            return m_begun;
        if (m_done)
            return Status::fail(QStringLiteral("事务已结束"));
        m_done = true;
        Status s = m_db.commit();
        if (!s)
            (void)m_db.rollback();
        return s;
    }

private:
    Database &m_db;
    Status m_begun;
    bool m_done = false;
};

// Runs `steps` (returning Status) in one transaction: committed when they
// succeed, rolled back when they or the commit fail. The outcome is the first
// failure: the begin's, the steps' or the commit's.
template <class F>
Status InTransaction(Database &db, F &&steps)
{
    Transaction tx(db);
    if (!tx.begun())
        return tx.begun();
    if (Status s = steps(); !s)
        return s;
    return tx.commit();
}

} // namespace corvane
