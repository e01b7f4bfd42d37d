#include "HomeLock.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace corvane {

QString HomeLock::lockFile(const HomePaths &home, Kind kind)
{
    return home.dataDir() + (kind == Kind::Console ? QStringLiteral("/Switch.lock") : QStringLiteral("/Restore.lock"));
}

bool HomeLock::restoreRunning(const HomePaths &home)
{
    const int fd = ::open(QFile::encodeName(lockFile(home, Kind::Restore)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

Status HomeLock::acquire(const HomePaths &home)
{
    release();
    const QString path = lockFile(home, m_kind);
    if (!QDir(home.dataDir()).exists())
        return Status::fail(QStringLiteral("数据文件夹不存在：%1").arg(home.dataDir()));
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Status::fail(
            QStringLiteral("无法打开锁文件 %1：%2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK && m_kind == Kind::Restore)
            return Status::fail(QStringLiteral("正在恢复数据库 %1。").arg(home.switchDb()));
        if (err == EWOULDBLOCK)
            return Status::fail(QStringLiteral("监控软件（或另一个备份/恢复程序）正在使用数据库 %1，请先退出监控软件。")
                                    .arg(home.switchDb()));
        return Status::fail(QStringLiteral("无法锁定 %1：%2").arg(path, QString::fromLocal8Bit(std::strerror(err))));
    }
    m_fd = fd;
    if (m_kind == Kind::Console) {
        // The data folder itself is held too: deleting Switch.lock (a careless
        // cleanup) must not let a second console onto the same database.
        const int dir = ::open(QFile::encodeName(home.dataDir()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) {
            const int err = errno;
            release();
            return Status::fail(
                QStringLiteral("无法锁定 %1：%2").arg(home.dataDir(), QString::fromLocal8Bit(std::strerror(err))));
        }
        do {
            rc = ::flock(dir, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int err = errno;
            ::close(dir);
            release();
            if (err == EWOULDBLOCK)
                return Status::fail(
                    QStringLiteral("监控软件（或另一个备份/恢复程序）正在使用数据库 %1，请先退出监控软件。")
                        .arg(home.switchDb()));
            return Status::fail(
                QStringLiteral("无法锁定 %1：%2").arg(home.dataDir(), QString::fromLocal8Bit(std::strerror(err))));
        }
        m_dirFd = dir;
    }
    return Status::ok();
}

void HomeLock::release()
{
    for (int *fd : {&m_dirFd, &m_fd}) {
        if (*fd >= 0) {
            ::flock(*fd, LOCK_UN);
            ::close(*fd);
            *fd = -1;
        }
    }
}

} // namespace corvane
