#include "Backup.h"
#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DatabaseCopy.h"
#include "DatabaseHealth.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "HomePrivacy.h"
#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

namespace corvane {

QString DatabaseOpenErrorText() { return QStringLiteral("数据库打开错误，请确认数据库存在！"); }

QString BackupTargetName(const QString &chosen, const QDateTime &when)
{
    const QString name = chosen.trimmed();
    if (name.isEmpty())
        return QString();
    // A folder: a name of the day in it, never a hidden ".mdb".
    if (name.endsWith(QLatin1Char('/')) || QFileInfo(name).isDir())
        return NewDatedFile(QDir::cleanPath(name), BackupPrefix(), when);
    if (name.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive))
        return name;
    return name + QStringLiteral(".mdb");
}

namespace {

// A device, a pipe or a socket: no place for a backup (/dev/null would
// swallow it, /dev/sda would be overwritten).
bool isSpecial(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool sameDisk(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev;
}

QString missingFolderText(const HomePaths &home, const QString &folder)
{
    QString base = QFileInfo(folder).absolutePath();
    while (!QFileInfo(base).isDir() && base != QStringLiteral("/"))
        base = QFileInfo(base).absolutePath();
    QString text = QStringLiteral("备份文件夹 %1 不存在，没有备份。").arg(folder);
    if (sameDisk(base, home.root()) && base != QStringLiteral("/"))
        text +=
            QStringLiteral("\n%1 在数据库所在的磁盘上：若要备份到移动硬盘或U盘，它多半没有插好或没有挂载。").arg(base);
    else
        text += QStringLiteral("\n若要备份到移动硬盘或U盘，请确认它已插好并已挂载。");
    text += QStringLiteral("\n要新建这个文件夹，请加 --mkdir。");
    return text;
}

} // namespace

Status CheckBackupTarget(const HomePaths &home, const QString &target)
{
    if (target.isEmpty())
        return Status::fail(QStringLiteral("没有选择备份文件"));
    if (isSpecial(target))
        return Status::fail(QStringLiteral("%1 是设备或管道，不能作为备份文件").arg(target));
    const QFileInfo info(target);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        return Status::fail(QStringLiteral("文件夹不存在：%1").arg(folder.filePath()));
    if (!folder.isDir())
        return Status::fail(QStringLiteral("%1 不是文件夹").arg(folder.filePath()));
    if (info.isDir())
        return Status::fail(QStringLiteral("%1 是一个文件夹，不能作为备份文件").arg(info.filePath()));
    const QFileInfo db(home.switchDb());
    if (info.exists() && db.exists() && info.canonicalFilePath() == db.canonicalFilePath())
        return Status::fail(QStringLiteral("不能备份到数据库文件本身：%1").arg(info.filePath()));
    return Status::ok();
}

ToolResult BackupDatabase(const HomePaths &home, const QString &target, const Progress &progress)
{
    const ToolResult restoring{ToolOutcome::Refused,
                               QStringLiteral("正在恢复数据库 %1，请在恢复结束后再备份。").arg(home.switchDb())};
    if (HomeLock::restoreRunning(home))
        return restoring;
    if (Status s = CheckBackupTarget(home, target); !s)
        return {ToolOutcome::Failed, s.reason()};
    RemoveLeftoverCopies(QFileInfo(target).absolutePath());
    // The backup has the home's key: it opens with the home's key file or
    // its recovery key, nowhere else.
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key)
        return {ToolOutcome::Failed, key.reason()};
    Database source;
    if (Status opened = source.open(home.switchDb(), *key); !opened) {
        // A restore that began meanwhile holds the file, or has moved it.
        if (HomeLock::restoreRunning(home))
            return restoring;
        return {ToolOutcome::OpenError, opened.reason()};
    }
    // Every page is read first (the console's start no longer does so before
    // its window): a damaged database is named, with how to restore it, and
    // not copied, so a scheduled backup fails loudly and the older backups
    // it would rotate out stay.
    const Checked<QStringList> problems = IntegrityProblems(source);
    if (!problems)
        return {ToolOutcome::Failed, problems.reason()};
    if (!problems->isEmpty())
        return {ToolOutcome::Failed, QStringLiteral("数据库文件 %1 已损坏：\n%2\n%3")
                                         .arg(home.switchDb(), DescribeProblems(*problems), HowToRestoreText(home))};
    const QString step = QStringLiteral("备份到 %1").arg(target);
    if (Status s = CopyToFile(source.handle(), target, *key, step, progress); !s)
        return {ToolOutcome::Failed, s.reason()};
    return {ToolOutcome::Done,
            QStringLiteral("数据库 %1 已备份到 %2").arg(home.switchDb(), QFileInfo(target).absoluteFilePath())};
}

ToolResult RunBackup(const HomePaths &home, const BackupRun &run, const Progress &progress)
{
    const QDateTime when = run.when.isValid() ? run.when : QDateTime::currentDateTime();
    const QString chosen = run.chosen.trimmed();
    QString target;
    auto finish = [&](const ToolResult &result) {
        // Kept also when the outcome cannot be: the run itself said it.
        (void)RecordBackup(home, {when, result.ok(), run.how, target.isEmpty() ? chosen : target, result.text});
        return result;
    };
    if (chosen.isEmpty())
        return finish({ToolOutcome::Refused, QStringLiteral("没有选择备份文件")});
    if (isSpecial(chosen))
        return finish({ToolOutcome::Refused, QStringLiteral("%1 是设备或管道，不能作为备份文件。").arg(chosen)});
    const bool toFolder = chosen.endsWith(QLatin1Char('/')) || QFileInfo(chosen).isDir() || run.keep > 0;
    const QString folder =
        toFolder ? QFileInfo(QDir::cleanPath(chosen)).absoluteFilePath() : QFileInfo(chosen).absolutePath();
    // A folder of the home itself (its backups/, made by --init, missing in
    // an older home) is on the database's disk whatever is mounted: made.
    const bool homeFolder = folder == QFileInfo(home.backupsDir()).absoluteFilePath();
    if (!QFileInfo::exists(folder)) {
        if (!run.makeFolder && !homeFolder)
            return finish({ToolOutcome::Refused, missingFolderText(home, folder)});
        if (!QDir().mkpath(folder) || !MakeFolderPrivate(folder))
            return finish({ToolOutcome::Failed, QStringLiteral("无法建立文件夹 %1").arg(folder)});
    }
    if (!QFileInfo(folder).isDir())
        return finish({ToolOutcome::Refused, QStringLiteral("%1 不是文件夹，没有备份。").arg(folder)});
    target = toFolder ? NewDatedFile(folder, BackupPrefix(), when) : BackupTargetName(chosen, when);
    ToolResult result = BackupDatabase(home, target, progress);
    if (!result.ok())
        return finish(result);
    if (sameDisk(folder, home.dataDir()))
        result.text +=
            QStringLiteral("\n注意：备份与数据库在同一块磁盘上，磁盘损坏时会一起丢失；最好备份到另一块磁盘或U盘。");
    if (toFolder && ClockBehindNames(folder, BackupPrefix(), target))
        result.text += QStringLiteral(
            "\n注意：文件夹中已有名字上时间更晚的备份，计算机的时钟可能不准（请检查日期、时间和时区）。");
    if (run.keep > 0) {
        const Checked<QStringList> removed = KeepNewestDated(folder, BackupPrefix(), run.keep, target);
        if (!removed)
            return finish(
                {ToolOutcome::Failed, result.text + QStringLiteral("\n较早的备份未能删除：") + removed.reason()});
        if (!removed->isEmpty())
            result.text += QStringLiteral("\n已删除较早的备份：\n") + removed->join(QLatin1Char('\n'));
    }
    return finish(result);
}

} // namespace corvane
