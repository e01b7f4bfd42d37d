#include "HomeFiles.h"
#include "DatabaseCopy.h"
#include "HomeLock.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace corvane {

namespace {

struct Dated {
    QString path;
    QString stamp; // YYYYMMDD-HHMMSS
    int sequence;  // 1 for the first of its second
};

QList<Dated> datedIn(const QString &folder, const QString &prefix)
{
    const QRegularExpression pattern(
        QStringLiteral("^%1-(\\d{8}-\\d{6})(?:-(\\d+))?\\.mdb$").arg(QRegularExpression::escape(prefix)));
    QList<Dated> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        const auto m = pattern.match(name);
        if (m.hasMatch())
            found.append({dir.filePath(name), m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const Dated &a, const Dated &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.sequence < b.sequence;
    });
    return found;
}

} // namespace

QString BackupPrefix() { return QStringLiteral("Switch"); }
QString QuesselPrefix() { return QStringLiteral("Quessel"); }
QString DamagedPrefix() { return QStringLiteral("Switch-damaged"); }

QString NewDatedFile(const QString &folder, const QString &prefix, const QDateTime &when)
{
    const QString base =
        QStringLiteral("%1/%2-%3").arg(folder, prefix, when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString path = base + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = QStringLiteral("%1-%2.mdb").arg(base).arg(n);
    return path;
}

QStringList DatedFiles(const QString &folder, const QString &prefix)
{
    QStringList paths;
    for (const Dated &d : datedIn(folder, prefix))
        paths.append(d.path);
    return paths;
}

Checked<QStringList> KeepNewestDated(const QString &folder, const QString &prefix, int keep, const QString &written)
{
    struct File {
        QString path;
        QDateTime at;
    };
    QList<File> files;
    const QString protectedPath = written.isEmpty() ? QString() : QFileInfo(written).absoluteFilePath();
    int left = qMax(keep, 0);
    for (const QString &path : DatedFiles(folder, prefix)) {
        if (QFileInfo(path).absoluteFilePath() == protectedPath) {
            --left;
            continue;
        }
        files.append({path, QFileInfo(path).fileTime(QFileDevice::FileModificationTime)});
    }
    // Newest written first; the name decides between two of the same moment.
    std::stable_sort(files.begin(), files.end(),
                     [](const File &a, const File &b) { return a.at != b.at ? a.at > b.at : a.path > b.path; });
    QStringList removed;
    for (int i = qMax(left, 0); i < files.size(); ++i) {
        if (!QFile::remove(files.at(i).path))
            return Checked<QStringList>::refuse(QStringLiteral("无法删除 %1").arg(files.at(i).path));
        removed.append(files.at(i).path);
    }
    std::sort(removed.begin(), removed.end());
    return removed;
}

bool ClockBehindNames(const QString &folder, const QString &prefix, const QString &written)
{
    const QList<Dated> all = datedIn(folder, prefix);
    const QString name = QFileInfo(written).fileName();
    for (const Dated &d : all)
        if (QFileInfo(d.path).fileName() == name)
            return d.path != all.last().path;
    return false;
}

QString RestoreStagingFile(const HomePaths &home) { return home.switchDb() + QStringLiteral(".restoring"); }
QString RescueReadingFile(const HomePaths &home) { return home.switchDb() + QStringLiteral(".rescue"); }

QStringList RemoveLeftovers(const HomePaths &home, bool homeLocked)
{
    QStringList removed = RemoveLeftoverCopies(home.root()) + RemoveLeftoverCopies(home.dataDir());
    if (homeLocked) {
        for (const QString &scratch : {RestoreStagingFile(home), RescueReadingFile(home)}) {
            for (const char *suffix : {"", "-journal", "-wal", "-shm"}) {
                const QString path = scratch + QLatin1String(suffix);
                if (QFileInfo(path).isFile() && QFile::remove(path))
                    removed.append(QFileInfo(path).fileName());
            }
        }
    }
    return removed;
}

QStringList RemoveLeftoversAtStart(const HomePaths &home)
{
    HomeLock lock;
    const bool locked = QFileInfo(home.dataDir()).isDir() && lock.acquire(home);
    return RemoveLeftovers(home, locked);
}

} // namespace corvane
