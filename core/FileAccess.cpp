#include "FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QString userName(uid_t uid)
{
    if (const passwd *pw = ::getpwuid(uid))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(uid);
}

QString currentUser() { return userName(::geteuid()); }

// "没有权限访问 X：它属于用户 alice（当前用户 bob），请以 alice 运行或让管理员修改权限。"
QString deniedText(const QString &what, const QString &blocking)
{
    struct stat st {};
    const bool known = ::stat(QFile::encodeName(blocking).constData(), &st) == 0;
    if (!known)
        return QStringLiteral("没有权限访问 %1（%2 不允许当前用户 %3 访问）。").arg(what, blocking, currentUser());
    const QString owner = userName(st.st_uid);
    if (st.st_uid == ::geteuid())
        return QStringLiteral("没有权限访问 %1：%2 的权限不允许其所有者 %3 访问（可用 chmod u+rwx 修改）。")
            .arg(what, blocking, owner);
    return QStringLiteral("没有权限访问 %1：%2 属于用户 %3，当前用户是 %4。请以用户 %3 运行本程序。")
        .arg(what, blocking, owner, currentUser());
}

} // namespace

QString OwnerOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    return userName(st.st_uid);
}

QString AccessProblem(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
        const int mode = S_ISDIR(st.st_mode) ? R_OK | X_OK : R_OK;
        if (::access(native.constData(), mode) == 0)
            return QString();
        return deniedText(path, path);
    }
    const int err = errno;
    if (err == EACCES) {
        // The folder on the way that may not be entered.
        QString blocking = QFileInfo(path).absolutePath();
        for (QString up = blocking; !up.isEmpty() && up != QStringLiteral("/"); up = QFileInfo(up).absolutePath()) {
            if (::access(QFile::encodeName(up).constData(), X_OK) != 0)
                blocking = up;
        }
        return deniedText(path, blocking);
    }
    if (err == ENOENT || err == ENOTDIR) {
        if (QFileInfo(path).isSymLink())
            return QStringLiteral("%1 是一个失效的链接（指向 %2，可能它所在的磁盘没有挂载）。")
                .arg(path, QFileInfo(path).symLinkTarget());
        return QStringLiteral("%1 不存在。").arg(path);
    }
    return QStringLiteral("无法访问 %1：%2").arg(path, systemError(err));
}

QString SizeNeededText(qint64 bytes)
{
    constexpr qint64 kb = 1024, mb = 1024 * 1024;
    if (bytes < mb)
        return QStringLiteral("%1 KB").arg((bytes + kb - 1) / kb);
    if (bytes < 100 * mb)
        return QStringLiteral("%1 MB").arg(std::ceil(double(bytes) * 10 / mb) / 10, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg((bytes + mb - 1) / mb);
}

QString SizeAvailableText(qint64 bytes)
{
    constexpr qint64 kb = 1024, mb = 1024 * 1024;
    if (bytes < mb)
        return QStringLiteral("%1 KB").arg(bytes / kb);
    if (bytes < 100 * mb)
        return QStringLiteral("%1 MB").arg(std::floor(double(bytes) * 10 / mb) / 10, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(bytes / mb);
}

Status PrepareOwnerOnlyFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            return Status::fail(deniedText(path, QFileInfo::exists(path) ? path : QFileInfo(path).absolutePath()));
        return Status::fail(QStringLiteral("无法写入 %1：%2").arg(path, systemError(err)));
    }
    const bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok)
        return Status::fail(QStringLiteral("无法修改 %1 的权限：%2").arg(path, systemError(err)));
    return Status::ok();
}

} // namespace corvane
