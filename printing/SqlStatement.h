#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <sqlite3.h>

namespace corvane::printing_detail {

// One prepared statement, reused for every row of a bulk write: bind, step,
// reset. Only for this library's own bulk paths; everything else goes through
// Database.
class SqlStatement {
public:
    SqlStatement(sqlite3 *db, const QString &sql) : m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (!db || sqlite3_prepare_v2(db, utf8.constData(), utf8.size(), &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~SqlStatement() { sqlite3_finalize(m_stmt); }
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }

    bool bind(int index, const QString &text) { return bind(index, QStringView(text)); }
    bool bind(int index, QStringView text)
    {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_bind_text(m_stmt, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    bool bind(int index, qint64 value) { return sqlite3_bind_int64(m_stmt, index, value) == SQLITE_OK; }

    // Runs the bound statement to its end and makes it ready for the next row.
    bool run()
    {
        int rc;
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        }
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return rc == SQLITE_DONE;
    }

    QString error() const
    {
        const char *msg = m_db ? sqlite3_errmsg(m_db) : nullptr;
        return QString::fromUtf8(msg ? msg : "statement failed");
    }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace corvane::printing_detail
