#pragma once
#include <QDialog>

class QLabel;

namespace corvane {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `backups`: how the last backup of the home went (BackupStatusText).
    explicit frmAbout(const QString &logoPath, const QString &backups = QString(), QWidget *parent = nullptr);

    QLabel *lblBackup;
};

} // namespace corvane
