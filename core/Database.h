#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QList>
#include <optional>

struct sqlite3;

namespace corvane {

// One open database file (SQLCipher). Switch.mdb is opened with the console's
// key, print.mdb without one. Every value is bound as a parameter, never
// spliced into SQL text.
class Database {
public:
    enum class OpenMode { Existing, Create };

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (or, with Create, creates) the file and checks that the key fits by
    // reading the schema. On failure returns false; lastError() says why.
    bool open(const QString &path, const QByteArray &key, OpenMode mode = OpenMode::Existing);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }
    QString lastError() const { return m_lastError; }
    sqlite3 *handle() const { return m_db; }

    // Runs one statement that returns no rows. Params are QString (TEXT),
    // qint64/int (INTEGER) or a null QVariant.
    bool exec(const QString &sql, const QVariantList &params = {});
    // Runs several statements separated by ';' (schema scripts; no params).
    bool execScript(const QString &sql);
    // Runs a SELECT; each row as text (NULL reads as an empty text).
    std::optional<QList<QStringList>> select(const QString &sql, const QVariantList &params = {},
                                             QStringList *columnNames = nullptr);
    // First column of the first row, nullopt when there is none or on error.
    std::optional<QString> scalar(const QString &sql, const QVariantList &params = {});
    qint64 lastInsertRowId() const;
    int changes() const;

    bool tableExists(const QString &table);
    QStringList columnNames(const QString &table);

    bool beginTransaction();
    bool commit();
    bool rollback();
    bool inTransaction() const { return m_txDepth > 0; }

    // Quotes an identifier (table or column name) for SQL text.
    static QString quoteId(const QString &name);

private:
    bool fail(const QString &what);

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_lastError;
    int m_txDepth = 0;
};

// Rolls back unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database &db) : m_db(db) { m_active = m_db.beginTransaction(); }
    ~Transaction() { if (m_active) m_db.rollback(); }
    bool started() const { return m_active; }
    bool commit()
    {
        if (!m_active) return false;
        m_active = false;
        if (m_db.commit()) return true;
        m_db.rollback();
        return false;
    }

private:
    Database &m_db;
    bool m_active = false;
};

} // namespace corvane
