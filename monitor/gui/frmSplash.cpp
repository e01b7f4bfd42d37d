#include "frmSplash.h"
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace corvane {

frmSplash::frmSplash(const QString &logoPath, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Velloran1.3版"));
    auto *layout = new QVBoxLayout(this);
    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(logoPath));
    logo->setAlignment(Qt::AlignCenter);
    auto *title = new QLabel(QStringLiteral("Velloran 话务管理系统"), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(QStringLiteral("1.3版"), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setAlignment(Qt::AlignCenter);
    auto *platform = new QLabel(QStringLiteral("Windows系列"), this);
    platform->setObjectName(QStringLiteral("lblPlatform"));
    platform->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo);
    layout->addWidget(title);
    layout->addWidget(version);
    layout->addWidget(platform);
    setStyleSheet(QStringLiteral("background:#ece9d8;"));
    resize(420, 240);
}

} // namespace corvane
