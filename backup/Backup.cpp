#include "Backup.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "DatabaseCopy.h"
#include "DatabaseHealth.h"
#include "HomeFiles.h"
#include "HomeLock.h"
#include <QDir>
#include <QFileInfo>

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

Status CheckBackupTarget(const HomePaths &home, const QString &target)
{
    if (target.isEmpty())
        return Status::fail(QStringLiteral("没有选择备份文件"));
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
    Database source;
    if (Status opened = source.open(home.switchDb(), ConsoleContext::databaseKey()); !opened) {
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
    if (Status s = CopyToFile(source.handle(), target, ConsoleContext::databaseKey(), step, progress); !s)
        return {ToolOutcome::Failed, s.reason()};
    return {ToolOutcome::Done,
            QStringLiteral("数据库 %1 已备份到 %2").arg(home.switchDb(), QFileInfo(target).absoluteFilePath())};
}

} // namespace corvane
