#include "BackupStatus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

const QString kStamp = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QString oneLine(QString text) { return text.replace(QLatin1Char('\n'), QStringLiteral("\\n")); }
QString fromLine(QString text) { return text.replace(QStringLiteral("\\n"), QStringLiteral("\n")); }

void write(QByteArray &out, const QString &prefix, const BackupRecord &r)
{
    out += (prefix + QStringLiteral("time=") + r.at.toString(kStamp) + QLatin1Char('\n')).toUtf8();
    out += (prefix + QStringLiteral("ok=") + (r.ok ? QStringLiteral("1") : QStringLiteral("0")) + QLatin1Char('\n'))
               .toUtf8();
    out += (prefix + QStringLiteral("how=") + oneLine(r.how) + QLatin1Char('\n')).toUtf8();
    out += (prefix + QStringLiteral("file=") + oneLine(r.file) + QLatin1Char('\n')).toUtf8();
    out += (prefix + QStringLiteral("text=") + oneLine(r.text) + QLatin1Char('\n')).toUtf8();
}

std::optional<BackupRecord> read(const QMap<QString, QString> &values, const QString &prefix)
{
    const QDateTime at = QDateTime::fromString(values.value(prefix + QStringLiteral("time")), kStamp);
    if (!at.isValid())
        return std::nullopt;
    return BackupRecord{at, values.value(prefix + QStringLiteral("ok")) == QLatin1String("1"),
                        fromLine(values.value(prefix + QStringLiteral("how"))),
                        fromLine(values.value(prefix + QStringLiteral("file"))),
                        fromLine(values.value(prefix + QStringLiteral("text")))};
}

} // namespace

QString BackupStatusFile(const HomePaths &home) { return home.root() + QStringLiteral("/backup-status.txt"); }

BackupStatus ReadBackupStatus(const HomePaths &home)
{
    QFile file(BackupStatusFile(home));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> values;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    return {read(values, QStringLiteral("last.")), read(values, QStringLiteral("good."))};
}

Status RecordBackup(const HomePaths &home, const BackupRecord &record)
{
    BackupStatus status = ReadBackupStatus(home);
    status.last = record;
    if (record.ok)
        status.lastGood = record;
    QByteArray out = "# How the backups of this home ended (written by tallowin).\n";
    write(out, QStringLiteral("last."), *status.last);
    if (status.lastGood)
        write(out, QStringLiteral("good."), *status.lastGood);
    // Whole or not at all, and the owner's alone.
    const QString path = BackupStatusFile(home);
    const QString tmp = path + QStringLiteral(".tmp");
    const int fd = ::open(QFile::encodeName(tmp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return Status::fail(QStringLiteral("无法写入 %1：%2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && ::write(fd, out.constData(), size_t(out.size())) == out.size()
              && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        QFile::remove(tmp);
        return Status::fail(QStringLiteral("无法写入 %1").arg(path));
    }
    return Status::ok();
}

QString BackupStatusText(const BackupStatus &status)
{
    if (!status.last)
        return QStringLiteral("最近一次备份：没有记录");
    const BackupRecord &r = *status.last;
    QString text = QStringLiteral("最近一次备份：%1（%2，%3）")
                       .arg(r.at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), r.how,
                            r.ok ? QStringLiteral("成功") : QStringLiteral("失败"));
    if (r.ok)
        text += QStringLiteral("：") + r.file;
    else
        text += QStringLiteral("：") + r.text.section(QLatin1Char('\n'), 0, 0);
    if (!r.ok && status.lastGood)
        text += QStringLiteral("\n最近一次成功的备份：%1：%2")
                    .arg(status.lastGood->at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), status.lastGood->file);
    return text;
}

QString SystemdEscapePath(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    while (clean.startsWith(QLatin1Char('/')))
        clean.remove(0, 1);
    while (clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    if (clean.isEmpty())
        return QStringLiteral("-");
    QString out;
    const QByteArray bytes = clean.toUtf8();
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '/')
            out += QLatin1Char('-');
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_'
                 || (c == '.' && i > 0))
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

bool BackupTimerEnabled(const HomePaths &home)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString unit = QStringLiteral("tallowin-backup@%1.timer").arg(SystemdEscapePath(home.root()));
    const QFileInfo wanted(config + QStringLiteral("/systemd/user/timers.target.wants/") + unit);
    return wanted.exists() || wanted.isSymLink();
}

QString BackupWarning(const HomePaths &home, const QDateTime &now)
{
    const BackupStatus status = ReadBackupStatus(home);
    if (status.last && !status.last->ok)
        return QStringLiteral("最近一次备份没有成功（%1，%2）：\n%3")
                   .arg(status.last->at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), status.last->how,
                        status.last->text)
               + (status.lastGood ? QStringLiteral("\n最近一次成功的备份是 %1 的 %2。")
                                        .arg(status.lastGood->at.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                             status.lastGood->file)
                                  : QStringLiteral("\n没有成功的备份记录。"));
    if (!BackupTimerEnabled(home))
        return QString();
    if (!status.lastGood)
        return QStringLiteral("已设置每晚自动备份，但还没有一次成功的备份记录。请检查备份文件夹，"
                              "或在终端运行 journalctl --user -u 'tallowin-backup@*' 查看原因。");
    if (status.lastGood->at.secsTo(now) > 2 * 24 * 3600)
        return QStringLiteral("已设置每晚自动备份，但最近一次成功的备份是 %1（%2）的，已超过两天。请检查备份文件夹"
                              "（移动硬盘或U盘是否已插好），或在终端运行 journalctl --user -u 'tallowin-backup@*' "
                              "查看原因。")
            .arg(status.lastGood->at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), status.lastGood->file);
    return QString();
}

} // namespace corvane
