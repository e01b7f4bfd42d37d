#include "HomePrivacy.h"
#include "BackupStatus.h"
#include "HomeKey.h"
#include "MessageService.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace corvane {

namespace {

constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

Status changeMode(const QString &path, mode_t mode)
{
    if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
        return Status::fail(
            QStringLiteral("无法修改 %1 的权限：%2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return Status::ok();
}

constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// The home's entries that exist, each with the bits others must not have:
// the folders first, then files.
struct Entry {
    QString path;
    bool folder;
    mode_t mask;
};

QList<Entry> privateEntries(const HomePaths &home)
{
    QList<Entry> entries;
    for (const QString &folder : HomeFolders(home)) {
        const bool data = folder == home.dataDir() || folder == home.callsDir() || folder == home.backupsDir()
                          || folder == home.reportsDir();
        entries.append({folder, true, data ? kOthersBits : kOthersWrite});
    }
    // The databases, and the copies restores keep: Quessel-….mdb in the home,
    // a replaced damaged database in the data folder.
    QStringList databases{home.switchDb(), home.printDb(), home.quessel()};
    for (const QString &name : QDir(home.root()).entryList({QStringLiteral("Quessel-*.mdb")}, QDir::Files, QDir::Name))
        databases.append(home.root() + QLatin1Char('/') + name);
    for (const QString &name :
         QDir(home.dataDir()).entryList({QStringLiteral("Switch-damaged-*.mdb")}, QDir::Files, QDir::Name))
        databases.append(home.dataDir() + QLatin1Char('/') + name);
    for (const QString &db : databases) {
        for (const QString &suffix :
             {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
            const QFileInfo info(db + suffix);
            if (info.isFile() && !info.isSymLink())
                entries.append({info.filePath(), false, kOthersBits});
        }
    }
    // The key, the monthly files of the home's calls folder, the backups'
    // record.
    QStringList files{DatabaseKeyFile(home), BackupStatusFile(home)};
    for (const QString &name : QDir(home.callsDir()).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        files.append(home.callsDir() + QLatin1Char('/') + name);
    for (const QString &file : files) {
        const QFileInfo info(file);
        if (info.isFile() && !info.isSymLink())
            entries.append({info.filePath(), false, kOthersBits});
    }
    return entries;
}

bool modeOf(const QString &path, mode_t &mode)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    mode = st.st_mode & 07777;
    return true;
}

} // namespace

void KeepNewFilesToOwner()
{
    const mode_t old = ::umask(0);
    ::umask(old | kOthersBits);
}

QStringList HomeFolders(const HomePaths &home)
{
    QStringList folders;
    for (const QString &folder : {home.root(), home.portsDir(), home.dataDir(), home.callsDir(), home.resourceDir(),
                                  home.helpDir(), home.backupsDir(), home.reportsDir()}) {
        const QFileInfo info(folder);
        if (info.isDir() && !info.isSymLink())
            folders.append(folder);
    }
    return folders;
}

bool OthersMayWrite(const QString &folder)
{
    mode_t mode = 0;
    return modeOf(folder, mode) && (mode & kOthersWrite);
}

Status MakeFolderPrivate(const QString &path) { return changeMode(path, S_IRWXU); }

Status MakeFilePrivate(const QString &path) { return changeMode(path, S_IRUSR | S_IWUSR); }

QStringList LoosePermissions(const HomePaths &home)
{
    QStringList loose;
    for (const Entry &e : privateEntries(home)) {
        mode_t mode = 0;
        if (modeOf(e.path, mode) && (mode & e.mask))
            loose << QStringLiteral("%1 (%2)").arg(e.path,
                                                   QString::number(mode, 8).rightJustified(4, QLatin1Char('0')));
    }
    return loose;
}

Status MakeHomePrivate(const HomePaths &home)
{
    for (const Entry &e : privateEntries(home)) {
        mode_t mode = 0;
        if (!modeOf(e.path, mode) || !(mode & e.mask))
            continue;
        if (Status s = changeMode(e.path, mode & ~e.mask); !s)
            return s;
    }
    return Status::ok();
}

bool ReportHomePermissions(const HomePaths &home, MessageService &messages)
{
    const QStringList loose = LoosePermissions(home);
    if (loose.isEmpty())
        return false;
    const QString title = QStringLiteral("数据安全");
    const QString text = QStringLiteral("以下文件夹或文件其他用户也可以访问：\n%1\n\n"
                                        "其他用户可以读取其中的话单和话费，或改动数据库和串口链接（ports/）。\n"
                                        "在改为只有本用户可以写入之前，不经 ports/ 中的链接打开串口。\n"
                                        "是否现在改为只有本用户可以访问？")
                             .arg(loose.join(QLatin1Char('\n')));
    if (messages.show(text, title, MessageService::Icon::Warning, MessageService::Buttons::YesNo)
        != MessageService::Answer::Yes)
        return true;
    if (Status s = MakeHomePrivate(home); !s)
        messages.show(s.reason(), title, MessageService::Icon::Warning);
    return true;
}

} // namespace corvane
