#pragma once
#include "HomePaths.h"
#include "Status.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace corvane {

// What the backups of a home came to, kept in the home (backup-status.txt,
// owner-only): every run of the backup tool, from its window, the command
// line or the timer, writes how it ended; the console shows the last one
// (关于) and warns at its start when backups have stopped.
struct BackupRecord {
    QDateTime at;
    bool ok = false;
    QString how;  // "窗口", "命令行", "定时"
    QString file; // the backup written (or tried)
    QString text; // what the run said
};

struct BackupStatus {
    std::optional<BackupRecord> last;
    std::optional<BackupRecord> lastGood;
};

QString BackupStatusFile(const HomePaths &home);
BackupStatus ReadBackupStatus(const HomePaths &home);
// Records a run: it becomes the last, and the last good one when it went well.
Status RecordBackup(const HomePaths &home, const BackupRecord &record);

// "最近一次备份：2026-12-08 02:30（定时，成功）：/srv/backups/Switch-….mdb", or that
// there is none on record.
QString BackupStatusText(const BackupStatus &status);

// Whether the nightly backup timer of the package is enabled for this home
// in the user's systemd (tallowin-backup@<home>.timer wanted by timers.target).
bool BackupTimerEnabled(const HomePaths &home);
// The instance name systemd gives a path (systemd-escape --path).
QString SystemdEscapePath(const QString &path);

// The warning of the console's start: the last run failed, or the newest good
// backup is older than two days (or there is none) while the timer is
// enabled. Empty when all is well.
QString BackupWarning(const HomePaths &home, const QDateTime &now);

} // namespace corvane
