#include "frmRestoreLogin.h"
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane::tallowin {

frmRestoreLogin::frmRestoreLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRestoreLogin"));
    setWindowTitle(QStringLiteral("参数恢复"));
    lblPrompt = new QLabel(QStringLiteral("恢复数据库需要有“参数备份与恢复”权限的操作员登录："), this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);
    txtOperator = new QLineEdit(this);
    txtOperator->setObjectName(QStringLiteral("txtOperator"));
    txtOperator->setAccessibleName(QStringLiteral("操作员"));
    txtCode = new QLineEdit(this);
    txtCode->setObjectName(QStringLiteral("txtCode"));
    txtCode->setAccessibleName(QStringLiteral("密码"));
    txtCode->setEchoMode(QLineEdit::Password);
    cmdOK = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("操作员："), txtOperator);
    fields->addRow(QStringLiteral("密码："), txtCode);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblPrompt);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString frmRestoreLogin::operatorName() const { return txtOperator->text().trimmed(); }

QString frmRestoreLogin::password() const { return txtCode->text(); }

} // namespace corvane::tallowin
