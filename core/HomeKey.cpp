#include "HomeKey.h"

#include "FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

// Crockford's base 32: no I, L, O or U, which are read for 1, 1, 0 or nothing.
const char kDigits[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int kKeyBytes = 25; // 200 bits
constexpr int kKeyChars = 40;
constexpr int kGroup = 5;

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The key a key file holds; refused with the reason.
Checked<QByteArray> readKeyFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString why = AccessProblem(path);
        return Checked<QByteArray>::refuse(
            QStringLiteral("无法读取数据库密钥文件 %1：%2").arg(path, why.isEmpty() ? file.errorString() : why));
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        if (const auto key = KeyFromRecoveryKey(text))
            return *key;
        break;
    }
    return Checked<QByteArray>::refuse(QStringLiteral("数据库密钥文件 %1 中没有有效的密钥。").arg(path));
}

} // namespace

QByteArray LegacyDatabaseKey() { return QByteArrayLiteral("vosquirnel"); }

QString DatabaseKeyFile(const HomePaths &home) { return home.root() + QStringLiteral("/database.key"); }

QString NewDatabaseKeyFile(const HomePaths &home) { return home.root() + QStringLiteral("/database.key.new"); }

bool HasOwnKey(const HomePaths &home)
{
    const QFileInfo info(DatabaseKeyFile(home));
    return info.exists() || info.isSymLink();
}

Checked<QByteArray> HomeDatabaseKey(const HomePaths &home)
{
    if (HasOwnKey(home))
        return readKeyFile(DatabaseKeyFile(home));
    return LegacyDatabaseKey();
}

QByteArray NewDatabaseKey()
{
    if (sodium_init() < 0)
        qFatal("libsodium could not be started");
    unsigned char bytes[kKeyBytes];
    randombytes_buf(bytes, sizeof bytes);
    // 25 bytes are 200 bits, forty digits of five bits each.
    QByteArray key;
    int bits = 0;
    unsigned value = 0;
    for (unsigned char b : bytes) {
        value = (value << 8) | b;
        bits += 8;
        while (bits >= 5) {
            key += kDigits[(value >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    sodium_memzero(bytes, sizeof bytes);
    return key;
}

QString RecoveryKeyText(const QByteArray &key)
{
    QStringList groups;
    for (int i = 0; i < key.size(); i += kGroup)
        groups << QString::fromLatin1(key.mid(i, kGroup));
    return groups.join(QLatin1Char('-'));
}

std::optional<QByteArray> KeyFromRecoveryKey(const QString &typed)
{
    QByteArray key;
    for (const QChar c : typed) {
        if (c.isSpace() || c == QLatin1Char('-'))
            continue;
        char d = char(c.toUpper().toLatin1());
        if (d == 'O')
            d = '0';
        else if (d == 'I' || d == 'L')
            d = '1';
        if (!d || !std::strchr(kDigits, d))
            return std::nullopt;
        key += d;
    }
    if (key.size() != kKeyChars)
        return std::nullopt;
    return key;
}

Status WriteKeyFile(const QString &path, const QByteArray &key)
{
    const QString tmp = path + QStringLiteral(".tmp");
    QFile::remove(tmp);
    const QByteArray native = QFile::encodeName(tmp);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return Status::fail(QStringLiteral("无法写入数据库密钥文件 %1：%2").arg(path, systemError(errno)));
    const QByteArray text = "# Corvane database key (recovery key). Keep a copy apart from the backups.\n"
                            + RecoveryKeyText(key).toLatin1() + '\n';
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size()
              && ::fsync(fd) == 0;
    const int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(native.constData(), QFile::encodeName(path).constData()) != 0)
        ok = false;
    if (!ok) {
        QFile::remove(tmp);
        return Status::fail(QStringLiteral("无法写入数据库密钥文件 %1：%2").arg(path, systemError(err ? err : errno)));
    }
    syncFolder(QFileInfo(path).absolutePath());
    return Status::ok();
}

bool KeyOpens(const QString &databasePath, const QByteArray &key)
{
    // Immutable: only the file's first page is decrypted and read, and
    // nothing is written beside it (no log, no lock).
    QUrl uri = QUrl::fromLocalFile(QFileInfo(databasePath).absoluteFilePath());
    uri.setScheme(QStringLiteral("file"));
    uri.setQuery(QStringLiteral("immutable=1"));
    sqlite3 *db = nullptr;
    bool ok =
        sqlite3_open_v2(uri.toEncoded().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK
        && sqlite3_key(db, key.constData(), key.size()) == SQLITE_OK;
    if (ok) {
        // A wrong key reads as "not a database"; a page that decrypts but
        // does not add up is a damaged file of this key.
        const int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        ok = rc == SQLITE_OK || (rc & 0xff) == SQLITE_CORRUPT;
    }
    sqlite3_close_v2(db);
    return ok;
}

Status RekeyDatabase(sqlite3 *db, const QByteArray &key)
{
    if (sqlite3_rekey(db, key.constData(), key.size()) != SQLITE_OK)
        return Status::fail(QStringLiteral("无法更换数据库密钥：%1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
    return Status::ok();
}

Checked<QString> SettleHomeKey(const HomePaths &home)
{
    const QString database = home.switchDb();
    const QString pending = NewDatabaseKeyFile(home);
    if (QFileInfo::exists(pending)) {
        // A re-key that was cut off: finished when the database has the new key.
        const auto key = readKeyFile(pending);
        if (key && KeyOpens(database, *key)) {
            if (::rename(QFile::encodeName(pending).constData(), QFile::encodeName(DatabaseKeyFile(home)).constData())
                != 0)
                return Checked<QString>::refuse(
                    QStringLiteral("无法写入数据库密钥文件 %1：%2").arg(DatabaseKeyFile(home), systemError(errno)));
            syncFolder(home.root());
            return RecoveryKeyText(*key);
        }
        QFile::remove(pending);
    }
    if (HasOwnKey(home) || !QFileInfo::exists(database) || !KeyOpens(database, LegacyDatabaseKey()))
        return QString();

    const QByteArray key = NewDatabaseKey();
    if (Status s = WriteKeyFile(pending, key); !s)
        return Checked<QString>::refuse(s.reason());
    sqlite3 *db = nullptr;
    Status rekeyed;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || sqlite3_key(db, LegacyDatabaseKey().constData(), LegacyDatabaseKey().size()) != SQLITE_OK) {
        rekeyed = Status::fail(QStringLiteral("无法打开数据库 %1：%2")
                                   .arg(database, QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory")));
    } else {
        sqlite3_busy_timeout(db, 2000);
        rekeyed = RekeyDatabase(db, key);
        if (rekeyed)
            sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db);
    if (!rekeyed) {
        QFile::remove(pending);
        return Checked<QString>::refuse(rekeyed.reason());
    }
    if (::rename(QFile::encodeName(pending).constData(), QFile::encodeName(DatabaseKeyFile(home)).constData()) != 0)
        return Checked<QString>::refuse(
            QStringLiteral("无法写入数据库密钥文件 %1：%2").arg(DatabaseKeyFile(home), systemError(errno)));
    syncFolder(home.root());
    return RecoveryKeyText(key);
}

QString RecoveryKeyNotice(const QString &recoveryKey, const HomePaths &home)
{
    return QStringLiteral("本系统的数据库使用本机专用的密钥加密，恢复密钥是：\n\n    %1\n\n"
                          "请抄下或打印，与备份分开妥善保管：在另一台计算机上恢复本系统的备份时需要输入它。"
                          "此密钥只显示这一次（它保存在 %2 中，只有本用户可以读取）。")
        .arg(recoveryKey, DatabaseKeyFile(home));
}

} // namespace corvane
