#include "DatabaseCopy.h"
#include "Database.h"
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

// Pages per backup step: about a quarter of a megabyte between two reports.
constexpr int kPagesPerStep = 256;
// A step that finds the destination locked is tried again this often (each
// try already waits for the connection's busy time-out).
constexpr int kBusyRetries = 4;

QString errorText(int rc) { return QString::fromUtf8(sqlite3_errstr(rc)); }

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool execRaw(sqlite3 *db, const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// Starts a read transaction and fixes its snapshot by reading the schema.
bool beginSnapshot(sqlite3 *db)
{
    if (!execRaw(db, "BEGIN"))
        return false;
    sqlite3_stmt *stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr) == SQLITE_OK
              && sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    if (!ok)
        execRaw(db, "ROLLBACK");
    return ok;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Status CopyPages(sqlite3 *source, sqlite3 *dest, const QString &step, const Progress &progress)
{
    if (!source || !dest)
        return Status::fail(step + QStringLiteral("：数据库未打开"));
    // Our own read transaction keeps one snapshot for all steps; without it a
    // write by another connection between two steps would start the copy over.
    const bool ownSnapshot = sqlite3_get_autocommit(source) != 0;
    if (ownSnapshot && !beginSnapshot(source))
        return Status::fail(
            QStringLiteral("%1：无法读取数据库：%2").arg(step, QString::fromUtf8(sqlite3_errmsg(source))));

    sqlite3_backup *backup = sqlite3_backup_init(dest, "main", source, "main");
    if (!backup) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(dest));
        if (ownSnapshot)
            execRaw(source, "ROLLBACK");
        return Status::fail(QStringLiteral("%1：%2").arg(step, why));
    }
    int rc = SQLITE_OK;
    int busy = 0;
    bool stopped = false;
    for (;;) {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (++busy > kBusyRetries)
                break;
            continue;
        }
        if (rc != SQLITE_OK)
            break;
        busy = 0;
        const int total = sqlite3_backup_pagecount(backup);
        if (progress && !progress(step, total - sqlite3_backup_remaining(backup), total)) {
            stopped = true;
            break;
        }
    }
    const int total = sqlite3_backup_pagecount(backup);
    // Finishing an unfinished copy rolls the destination back.
    const int finishRc = sqlite3_backup_finish(backup);
    if (ownSnapshot)
        execRaw(source, "COMMIT");
    if (stopped)
        return Status::fail(step + QStringLiteral("：已中止"));
    if (rc != SQLITE_DONE)
        return Status::fail(QStringLiteral("%1：%2").arg(step, errorText(rc)));
    if (finishRc != SQLITE_OK)
        return Status::fail(QStringLiteral("%1：%2").arg(step, errorText(finishRc)));
    if (progress)
        progress(step, total, total);
    return Status::ok();
}

Status CopyToFile(sqlite3 *source, const QString &target, const QByteArray &key, const QString &step,
                  const Progress &progress)
{
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    // QTemporaryFile makes the file readable and writable by its owner only;
    // SQLite keeps that mode for the file and gives it to its journal.
    QTemporaryFile tmp(folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.open())
        return Status::fail(QStringLiteral("无法在文件夹 %1 中写入文件：%2").arg(folder, tmp.errorString()));
    const QString tmpPath = tmp.fileName();
    // Held (through tmp's descriptor, closed after SQLite's) until the copy
    // is renamed or removed: a file of this name that nobody holds was left
    // by a killed program.
    ::flock(tmp.handle(), LOCK_EX | LOCK_NB);

    auto failed = [&](const QString &why) {
        RemoveDatabaseFiles(tmpPath);
        return Status::fail(why);
    };

    sqlite3 *dest = nullptr;
    const QByteArray native = QFile::encodeName(tmpPath);
    if (sqlite3_open_v2(native.constData(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK
        || sqlite3_key(dest, key.constData(), key.size()) != SQLITE_OK) {
        const QString why = dest ? QString::fromUtf8(sqlite3_errmsg(dest)) : QStringLiteral("out of memory");
        sqlite3_close_v2(dest);
        return failed(QStringLiteral("%1：无法建立文件 %2：%3").arg(step, tmpPath, why));
    }
    Status s = CopyPages(source, dest, step, progress);
    if (s) {
        // The copied header says "write-ahead log" when the source uses one;
        // a backup is one self-contained file.
        sqlite3_stmt *stmt = nullptr;
        bool ok = sqlite3_prepare_v2(dest, "PRAGMA journal_mode=DELETE", -1, &stmt, nullptr) == SQLITE_OK
                  && sqlite3_step(stmt) == SQLITE_ROW
                  && qstricmp(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "delete") == 0;
        sqlite3_finalize(stmt);
        if (!ok)
            s = Status::fail(QStringLiteral("%1：%2").arg(step, QString::fromUtf8(sqlite3_errmsg(dest))));
    }
    if (sqlite3_close(dest) != SQLITE_OK && s)
        s = Status::fail(QStringLiteral("%1：无法关闭文件 %2").arg(step, tmpPath));
    if (!s)
        return failed(s.reason());
    const QByteArray nativeTarget = QFile::encodeName(info.absoluteFilePath());
    if (::rename(native.constData(), nativeTarget.constData()) != 0)
        return failed(QStringLiteral("%1：无法写入 %2：%3").arg(step, target, systemError(errno)));
    syncFolder(folder);
    return Status::ok();
}

Status CopyFileBytes(const QString &from, const QString &to, const QString &step, const Progress &progress)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Status::fail(QStringLiteral("%1：无法读取 %2：%3").arg(step, from, systemError(errno)));
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return Status::fail(QStringLiteral("%1：无法写入 %2：%3").arg(step, to, systemError(err)));
    }
    ::fchmod(out, 0600);
    struct stat st {};
    const qint64 total = ::fstat(in, &st) == 0 ? qint64(st.st_size) : 0;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 done = 0;
    Status s;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            s = Status::fail(QStringLiteral("%1：无法读取 %2：%3").arg(step, from, systemError(errno)));
            break;
        }
        if (n == 0)
            break;
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ::write(out, buffer.constData() + off, size_t(n - off));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                s = Status::fail(QStringLiteral("%1：无法写入 %2：%3").arg(step, to, systemError(errno)));
                break;
            }
            off += w;
        }
        if (!s)
            break;
        done += n;
        if (progress && !progress(step, done, total)) {
            s = Status::fail(step + QStringLiteral("：已中止"));
            break;
        }
    }
    if (s && ::fsync(out) != 0)
        s = Status::fail(QStringLiteral("%1：无法写入 %2：%3").arg(step, to, systemError(errno)));
    ::close(in);
    if (::close(out) != 0 && s)
        s = Status::fail(QStringLiteral("%1：无法写入 %2：%3").arg(step, to, systemError(errno)));
    if (!s)
        QFile::remove(to);
    return s;
}

void RemoveDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

std::optional<QMap<QString, QByteArray>> ContentDigest(sqlite3 *db)
{
    if (!db)
        return std::nullopt;
    QStringList tables;
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(
                db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name", -1,
                &stmt, nullptr)
            != SQLITE_OK)
            return std::nullopt;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            tables.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))));
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return std::nullopt;
    }
    QMap<QString, QByteArray> digests;
    for (const QString &table : tables) {
        const QByteArray sql =
            QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Database::quoteId(table)).toUtf8();
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &stmt, nullptr) != SQLITE_OK) {
            // A table without rowid (the sums of the call records) is read
            // in the order of its key, in which it is stored.
            sqlite3_finalize(stmt);
            stmt = nullptr;
            const QByteArray keyed = QStringLiteral("SELECT * FROM %1").arg(Database::quoteId(table)).toUtf8();
            if (sqlite3_prepare_v2(db, keyed.constData(), keyed.size(), &stmt, nullptr) != SQLITE_OK)
                return std::nullopt;
        }
        QCryptographicHash hash(QCryptographicHash::Sha256);
        const int n = sqlite3_column_count(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                // Type, length and bytes, so that no two different rows hash alike.
                const int type = sqlite3_column_type(stmt, c);
                const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt, c));
                const int len = sqlite3_column_bytes(stmt, c);
                const QByteArray head = QByteArray::number(type) + ':' + QByteArray::number(len) + ':';
                hash.addData(head);
                if (p && len > 0)
                    hash.addData(QByteArrayView(p, len));
            }
            hash.addData(QByteArrayView("\n", 1));
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            return std::nullopt;
        digests.insert(table, hash.result());
    }
    return digests;
}

QStringList RemoveLeftoverCopies(const QString &folder)
{
    // QTemporaryFile puts six letters or digits in place of XXXXXX.
    static const QRegularExpression copy(QStringLiteral("^\\..+\\.mdb\\.[A-Za-z0-9]{6}$"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression log(QStringLiteral("^(\\..+\\.mdb\\.[A-Za-z0-9]{6})-(journal|wal|shm)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    QStringList removed;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        if (copy.match(name).hasMatch()) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            // Taken only when no program is writing the copy.
            const bool abandoned = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (abandoned) {
                RemoveDatabaseFiles(path);
                removed.append(name);
            }
            ::close(fd);
        } else if (const auto m = log.match(name); m.hasMatch() && !QFileInfo::exists(dir.filePath(m.captured(1)))) {
            // The log of a copy that is gone.
            if (QFile::remove(path))
                removed.append(name);
        }
    }
    return removed;
}

Checked<QStringList> IntegrityProblems(sqlite3 *db)
{
    if (!db)
        return Checked<QStringList>::refuse(QStringLiteral("数据库未打开"));
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr);
    QStringList problems;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
            // One row may hold many problems, a line each.
            for (const QString &line : QString::fromUtf8(text ? text : "").split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                problems.append(line);
        }
    }
    const QString why = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    const int primary = rc & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        // The check stopped at a page it could not read: that is a finding.
        problems.append(why);
        return problems;
    }
    if (rc != SQLITE_DONE)
        return Checked<QStringList>::refuse(QStringLiteral("无法检查数据库：%1").arg(why));
    if (problems == QStringList{QStringLiteral("ok")})
        return QStringList();
    return problems;
}

Checked<QStringList> IntegrityProblems(Database &db) { return IntegrityProblems(db.handle()); }

QString DescribeProblems(const QStringList &problems)
{
    constexpr int kShown = 5;
    QString text = problems.mid(0, kShown).join(QLatin1Char('\n'));
    if (problems.size() > kShown)
        text += QStringLiteral("\n……另有 %1 个问题").arg(problems.size() - kShown);
    return text;
}

Status ReadOnlyDatabase::open(const QString &path, const QByteArray &key, int *code, Access access)
{
    close();
    auto fail = [&](int rc, const QString &why) {
        if (code)
            *code = rc;
        close();
        return Status::fail(why);
    };
    if (!QFileInfo::exists(path))
        return fail(SQLITE_CANTOPEN, QStringLiteral("数据库文件不存在：%1").arg(path));
    const QByteArray native = QFile::encodeName(path);
    const int mode = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    int rc = sqlite3_open_v2(native.constData(), &m_db, mode | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("无法打开 %1：%2")
                            .arg(path, m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : errorText(rc)));
    if (!key.isEmpty() && sqlite3_key(m_db, key.constData(), key.size()) != SQLITE_OK)
        return fail(SQLITE_ERROR, QStringLiteral("无法设置数据库密码 %1").arg(path));
    sqlite3_busy_timeout(m_db, 500);
    sqlite3_stmt *stmt = nullptr;
    rc = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(m_db);
    const QString why = QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("无法读取 %1：%2").arg(path, why));
    if (code)
        *code = SQLITE_OK;
    return Status::ok();
}

void ReadOnlyDatabase::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

} // namespace corvane
