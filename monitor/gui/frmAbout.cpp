#include "frmAbout.h"
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

frmAbout::frmAbout(const QString &logoPath, const QString &backups, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于Velloran1.3版"));
    auto *layout = new QVBoxLayout(this);
    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(logoPath));
    layout->addWidget(logo, 0, Qt::AlignCenter);
    auto *text = new QLabel(QStringLiteral("Velloran 话务管理系统 1.3版\n程控交换机计费与管理"), this);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    lblBackup = new QLabel(backups, this);
    lblBackup->setObjectName(QStringLiteral("lblBackup"));
    lblBackup->setAccessibleName(QStringLiteral("最近一次备份"));
    lblBackup->setWordWrap(true);
    lblBackup->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblBackup->setVisible(!backups.isEmpty());
    layout->addWidget(lblBackup);
    auto *close = new QPushButton(QStringLiteral("确定(&O)"), this);
    close->setObjectName(QStringLiteral("cmdOK"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignCenter);
}

} // namespace corvane
