#include "Database.h"
#include "MessageService.h"
#include "Money.h"
#include <QFileInfo>
#include <cstring>
#include <sqlite3.h>

namespace corvane {

namespace {

bool bindParams(sqlite3_stmt *stmt, const QVariantList &params)
{
    for (int i = 0; i < params.size(); ++i) {
        const QVariant &v = params.at(i);
        int rc;
        if (v.isNull()) {
            rc = sqlite3_bind_null(stmt, i + 1);
        } else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt
                   || v.typeId() == QMetaType::ULongLong) {
            rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
        } else {
            const QByteArray utf8 = v.toString().toUtf8();
            rc = sqlite3_bind_text(stmt, i + 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            return false;
    }
    return true;
}

QString columnText(sqlite3_stmt *stmt, int col)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, col));
    if (!p)
        return QString();
    return QString::fromUtf8(p, sqlite3_column_bytes(stmt, col));
}

} // namespace

Database::~Database() { close(); }

namespace {

// What an SQLite result code means to an operator.
QString meaningOf(int code)
{
    switch (code & 0xff) {
    case SQLITE_FULL: return QStringLiteral("磁盘已满");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("数据库文件已损坏，或不是本系统的数据库");
    case SQLITE_CANTOPEN: return QStringLiteral("无法打开文件（文件或文件夹不存在，或没有权限）");
    case SQLITE_READONLY: return QStringLiteral("数据库文件或其文件夹只读，无法写入");
    case SQLITE_PERM:
    case SQLITE_AUTH: return QStringLiteral("没有权限");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("数据库正被其他程序使用，请稍后再试");
    case SQLITE_IOERR: return QStringLiteral("读写磁盘出错（磁盘故障或已拔出？）");
    case SQLITE_CONSTRAINT: return QStringLiteral("数据库拒绝了这次写入");
    case SQLITE_NOMEM: return QStringLiteral("内存不足");
    case SQLITE_ERROR: return QStringLiteral("数据库的结构与本程序不符（缺少表或列？）");
    default: return QStringLiteral("数据库错误（代码 %1）").arg(code & 0xff);
    }
}

} // namespace

Status Database::failure(const QString &what) const
{
    // The operator reads what went wrong in words of their own; SQLite's text
    // (and the statement) follow under 详细信息 for whoever looks into it.
    const int code = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN;
    const char *msg = m_db ? sqlite3_errmsg(m_db) : nullptr;
    const QString raw = msg && *msg ? QString::fromUtf8(msg) : QString();
    const bool statement = !what.isEmpty() && what.at(0).unicode() < 0x80;
    QString why = statement ? meaningOf(code) : what + QStringLiteral("：") + meaningOf(code);
    const QString details = statement ? what + (raw.isEmpty() ? QString() : QStringLiteral(": ") + raw) : raw;
    if (!details.isEmpty())
        why += MessageService::detailsMarker() + details;
    return Status::fail(why);
}

namespace {

// Whether a stored text holds a number as Money::fromText reads one: after
// blanks and a sign, a digit, or a point and a digit.
bool holdsNumber(const char *p, int size)
{
    const char *end = p + size;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
        ++p;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    if (p < end && *p == '.')
        ++p;
    return p < end && *p >= '0' && *p <= '9';
}

// money_units(text): the amount a stored money text holds, read as every
// amount is read (Money::fromText), in 1/10000 units: an integer, so that
// sum() stays exact. NULL for a text that holds no number, so that such
// records can be counted.
void moneyUnits(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    if (!text || !holdsNumber(text, size)) {
        sqlite3_result_null(context);
        return;
    }
    // The form every fee is written in, "12.34", read at once; anything else
    // as Money::fromText reads it.
    if (size >= 4 && size <= 15 && text[size - 3] == '.') {
        qint64 units = 0;
        bool plain = true;
        for (int i = 0; i < size && plain; ++i) {
            if (i == size - 3)
                continue;
            plain = text[i] >= '0' && text[i] <= '9';
            units = units * 10 + (text[i] - '0');
        }
        if (plain) {
            sqlite3_result_int64(context, units * (Money::kScale / 100));
            return;
        }
    }
    sqlite3_result_int64(context, Money::fromText(QString::fromUtf8(text, size)).raw());
}

// stored_end_time(text): 1 when an end time is written in one of the two
// forms the call intake stores, "2026年12月09日04时42分" or
// "2026年12月09日04:43:09", with digits where digits go, an hour below 24 and
// minutes and seconds below 60; 0 otherwise. Whether the day is one the
// calendar has is left to the caller (a handful of days, not every record).
void storedEndTime(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *t = reinterpret_cast<const unsigned char *>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    // The marks in UTF-8: 年 月 日, then 时 and 分.
    static const char year[] = "\xE5\xB9\xB4", month[] = "\xE6\x9C\x88", day[] = "\xE6\x97\xA5";
    static const char hourMark[] = "\xE6\x97\xB6", minuteMark[] = "\xE5\x88\x86";
    auto digits = [&](int at, int count) {
        for (int i = at; i < at + count; ++i)
            if (t[i] < '0' || t[i] > '9')
                return false;
        return true;
    };
    auto mark = [&](int at, const char *m) { return memcmp(t + at, m, 3) == 0; };
    auto below = [&](int at, char tens, char units) { return t[at] < tens || (t[at] == tens && t[at + 1] < units); };
    auto below60 = [&](int at) { return digits(at, 2) && t[at] < '6'; };
    bool ok = t && (size == 27 || size == 25) && digits(0, 4) && mark(4, year) && digits(7, 2) && mark(9, month)
              && digits(12, 2) && mark(14, day) && digits(17, 2) && below(17, '2', '4');
    if (ok && size == 27)
        ok = mark(19, hourMark) && below60(22) && mark(24, minuteMark);
    else if (ok)
        ok = t[19] == ':' && below60(20) && t[22] == ':' && below60(23);
    sqlite3_result_int(context, ok ? 1 : 0);
}

} // namespace

Status Database::open(const QString &path, const QByteArray &key, OpenMode mode)
{
    close();
    m_path = path;
    const QFileInfo info(path);
    if (mode == OpenMode::Existing && !info.exists())
        return Status::fail(QStringLiteral("数据库文件不存在：%1").arg(path));
    if (mode == OpenMode::Create && info.exists())
        return Status::fail(QStringLiteral("数据库文件已存在：%1").arg(path));
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (mode == OpenMode::Create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const QByteArray nativePath = QFile::encodeName(path);
    int rc = sqlite3_open_v2(nativePath.constData(), &db, flags, nullptr);
    m_db = db;
    if (rc != SQLITE_OK) {
        const Status s = failure(QStringLiteral("无法打开数据库文件 %1").arg(path));
        close();
        return s;
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        close();
        return Status::fail(QStringLiteral("数据库文件只读，无法写入：%1").arg(path));
    }
    if (!key.isEmpty() && sqlite3_key(m_db, key.constData(), key.size()) != SQLITE_OK) {
        const Status s = failure(QStringLiteral("无法设置数据库密码 %1").arg(path));
        close();
        return s;
    }
    // Short: a locked database must not freeze the console; the switch resends.
    sqlite3_busy_timeout(m_db, 500);
    // Reading the schema proves that the key fits and that the file is ours.
    if (const auto n = scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")); !n) {
        close();
        return Status::fail(QStringLiteral("数据库文件 %1 无法读取（密码错误或文件已损坏）：%2").arg(path, n.reason()));
    }
    // Every connection can sum stored amounts exactly (the statistics).
    if (sqlite3_create_function_v2(m_db, "money_units", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, moneyUnits,
                                   nullptr, nullptr, nullptr)
        != SQLITE_OK) {
        const Status s = failure(QStringLiteral("数据库文件 %1 无法使用").arg(path));
        close();
        return s;
    }
    if (sqlite3_create_function_v2(m_db, "stored_end_time", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   storedEndTime, nullptr, nullptr, nullptr)
        != SQLITE_OK) {
        const Status s = failure(QStringLiteral("数据库文件 %1 无法使用").arg(path));
        close();
        return s;
    }
    // Committed call records must survive a power cut.
    const auto journal = scalar(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!journal || journal->compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0) {
        close();
        return Status::fail(QStringLiteral("数据库文件 %1 无法写入日志：%2")
                                .arg(path, journal ? QStringLiteral("数据库文件或其文件夹只读？") : journal.reason()));
    }
    if (Status s = exec(QStringLiteral("PRAGMA synchronous=FULL")); !s) {
        close();
        return s;
    }
    if (Status s = exec(QStringLiteral("PRAGMA case_sensitive_like=ON")); !s) {
        close();
        return s;
    }
    return Status::ok();
}

sqlite3_stmt *Database::prepared(const QString &sql)
{
    if (sqlite3_stmt *cached = m_statements.take(sql))
        return cached;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

void Database::release(sqlite3_stmt *stmt)
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    const QString sql = QString::fromUtf8(sqlite3_sql(stmt));
    // A statement in use twice at once (a select inside a select) is kept once.
    if (m_statements.size() >= kCachedStatements || m_statements.contains(sql)) {
        sqlite3_finalize(stmt);
        return;
    }
    m_statements.insert(sql, stmt);
}

void Database::finalizeStatements()
{
    for (sqlite3_stmt *stmt : std::as_const(m_statements))
        sqlite3_finalize(stmt);
    m_statements.clear();
}

void Database::close()
{
    m_columns.clear();
    finalizeStatements();
    if (m_db) {
        while (m_txDepth > 0)
            (void)rollback();
        finalizeStatements();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_txDepth = 0;
}

namespace {

// Statements after which the column names read before may be wrong.
bool changesSchema(const QString &sql)
{
    const QStringView head = QStringView(sql).trimmed().left(6);
    for (const char *word : {"CREATE", "ALTER", "DROP", "ATTACH", "DETACH"})
        if (head.startsWith(QLatin1StringView(word), Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

Status Database::exec(const QString &sql, const QVariantList &params)
{
    if (!m_db)
        return Status::fail(QStringLiteral("数据库未打开"));
    if (changesSchema(sql))
        m_columns.clear();
    sqlite3_stmt *stmt = prepared(sql);
    if (!stmt)
        return failure(sql);
    bool ok = bindParams(stmt, params);
    if (ok) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        ok = (rc == SQLITE_DONE);
    }
    const Status s = ok ? Status::ok() : failure(sql);
    release(stmt);
    return s;
}

Status Database::execScript(const QString &sql)
{
    if (!m_db)
        return Status::fail(QStringLiteral("数据库未打开"));
    m_columns.clear();
    char *err = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_exec(m_db, utf8.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const Status s = Status::fail(QString::fromUtf8(err ? err : "error"));
        sqlite3_free(err);
        return s;
    }
    return Status::ok();
}

Checked<Database::Rows> Database::select(const QString &sql, const QVariantList &params, QStringList *columnNames)
{
    if (!m_db)
        return Checked<Rows>::refuse(QStringLiteral("数据库未打开"));
    sqlite3_stmt *stmt = prepared(sql);
    if (!stmt)
        return Checked<Rows>::refuse(failure(sql));
    if (!bindParams(stmt, params)) {
        const Status s = failure(sql);
        release(stmt);
        return Checked<Rows>::refuse(s);
    }
    const int n = sqlite3_column_count(stmt);
    if (columnNames) {
        columnNames->clear();
        for (int c = 0; c < n; ++c)
            columnNames->append(QString::fromUtf8(sqlite3_column_name(stmt, c)));
    }
    Rows rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        QStringList row;
        row.reserve(n);
        for (int c = 0; c < n; ++c)
            row.append(columnText(stmt, c));
        rows.append(std::move(row));
    }
    const Status s = rc == SQLITE_DONE ? Status::ok() : failure(sql);
    release(stmt);
    if (!s)
        return Checked<Rows>::refuse(s);
    return rows;
}

int Database::RowView::columns() const { return sqlite3_column_count(m_stmt); }

QByteArrayView Database::RowView::bytes(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return p ? QByteArrayView(p, sqlite3_column_bytes(m_stmt, column)) : QByteArrayView();
}

qint64 Database::RowView::integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

Checked<bool> Database::each(const QString &sql, const QVariantList &params,
                             const std::function<bool(const RowView &)> &row)
{
    if (!m_db)
        return Checked<bool>::refuse(QStringLiteral("数据库未打开"));
    sqlite3_stmt *stmt = prepared(sql);
    if (!stmt)
        return Checked<bool>::refuse(failure(sql));
    if (!bindParams(stmt, params)) {
        const Status s = failure(sql);
        release(stmt);
        return Checked<bool>::refuse(s);
    }
    const RowView view(stmt);
    int rc;
    bool whole = true;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        if (!row(view)) {
            whole = false;
            break;
        }
    const Status s = !whole || rc == SQLITE_DONE ? Status::ok() : failure(sql);
    release(stmt);
    if (!s)
        return Checked<bool>::refuse(s);
    return whole;
}

void Database::interrupt()
{
    if (m_db)
        sqlite3_interrupt(m_db);
}

Checked<QString> Database::scalar(const QString &sql, const QVariantList &params)
{
    const auto rows = select(sql, params);
    if (!rows)
        return Checked<QString>::refuse(rows.reason());
    if (rows->isEmpty() || rows->first().isEmpty())
        return Checked<QString>::refuse(QStringLiteral("没有数据：%1").arg(sql));
    return rows->first().first();
}

qint64 Database::lastInsertRowId() const { return m_db ? sqlite3_last_insert_rowid(m_db) : 0; }
int Database::changes() const { return m_db ? sqlite3_changes(m_db) : 0; }

Checked<bool> Database::hasTable(const QString &table)
{
    const auto n = scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?"), {table});
    if (!n)
        return Checked<bool>::refuse(n.reason());
    return n->toInt() > 0;
}

QStringList Database::columnNames(const QString &table)
{
    if (const auto known = m_columns.constFind(table); known != m_columns.constEnd())
        return *known;
    QStringList names;
    const auto rows = select(QStringLiteral("PRAGMA table_info(%1)").arg(quoteId(table)));
    if (rows)
        for (const auto &r : *rows)
            if (r.size() > 1)
                names.append(r.at(1));
    if (!names.isEmpty())
        m_columns.insert(table, names);
    return names;
}

Status Database::beginTransaction()
{
    if (!m_db)
        return Status::fail(QStringLiteral("数据库未打开"));
    const QString sql =
        m_txDepth == 0 ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT sp%1").arg(m_txDepth);
    if (Status s = exec(sql); !s)
        return s;
    ++m_txDepth;
    return Status::ok();
}

Status Database::commit()
{
    if (m_txDepth <= 0)
        return Status::fail(QStringLiteral("没有进行中的事务"));
    const QString sql = m_txDepth == 1 ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE sp%1").arg(m_txDepth - 1);
    if (Status s = exec(sql); !s)
        return s;
    --m_txDepth;
    return Status::ok();
}

Status Database::rollback()
{
    if (m_txDepth <= 0)
        return Status::fail(QStringLiteral("没有进行中的事务"));
    m_columns.clear(); // a table altered in the transaction is back as it was
    Status s;
    if (m_txDepth == 1) {
        s = exec(QStringLiteral("ROLLBACK"));
        // A failed COMMIT may already have ended the transaction.
        if (!s && sqlite3_get_autocommit(m_db))
            s = Status::ok();
    } else {
        const QString sp = QStringLiteral("sp%1").arg(m_txDepth - 1);
        s = exec(QStringLiteral("ROLLBACK TO ") + sp);
        if (s)
            s = exec(QStringLiteral("RELEASE ") + sp);
    }
    --m_txDepth;
    return s;
}

QString Database::quoteId(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

Database::Stamp Database::stamp() const
{
    if (m_stampSource)
        return m_stampSource();
    return {QDateTime::currentDateTime(), QString()};
}

} // namespace corvane
