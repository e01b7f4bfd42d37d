#include "frmLogin.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "Operators.h"
#include "Recordset.h"
#include "ShowModal.h"
#include "frmChangeCode.h"
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

frmLogin::frmLogin(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_op(std::make_unique<Recordset>(ctx.db, QStringLiteral("OP")))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("登录系统"));

    cmbOPName = new QComboBox(this);
    cmbOPName->setObjectName(QStringLiteral("cmbOPName"));
    cmbOPName->setEditable(true);
    cmbOPName->setInsertPolicy(QComboBox::NoInsert);
    txtCode = new QLineEdit(this);
    txtCode->setObjectName(QStringLiteral("txtCode"));
    txtCode->setEchoMode(QLineEdit::Password);
    cmdOK = new QPushButton(QStringLiteral("登入(&I)"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("离开(&L)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdChangePassword = new QPushButton(QStringLiteral("修改密码(C)"), this);
    cmdChangePassword->setObjectName(QStringLiteral("cmdChangePassword"));

    auto *form = new QFormLayout;
    auto *nameLabel = new QLabel(QStringLiteral("用户名："), this);
    nameLabel->setBuddy(cmbOPName);
    auto *codeLabel = new QLabel(QStringLiteral("密码："), this);
    codeLabel->setBuddy(txtCode);
    form->addRow(nameLabel, cmbOPName);
    form->addRow(codeLabel, txtCode);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdChangePassword);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    for (m_op->moveFirst(); !m_op->eof(); m_op->moveNext())
        cmbOPName->addItem(m_op->value(0));
    cmbOPName->setCurrentText(LoginState::administratorName());
    txtCode->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    connect(cmdChangePassword, &QPushButton::clicked, this, &frmLogin::cmdChangePassword_Click);
}

frmLogin::~frmLogin() = default;

void frmLogin::cmdOK_Click()
{
    const bool found = LoadOperator(m_ctx, *m_op, cmbOPName->currentText());
    // A name with no row must never log in, whatever was loaded before.
    if (!found || m_ctx.login.OPCode != txtCode->text()) {
        m_ctx.messages.show(QStringLiteral("错误的密码！"), QStringLiteral("密码错误"),
                            MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        return;
    }
    m_ctx.login.OPLogin = true;
    m_ctx.login.OPLoginTime = m_ctx.stamp();
    accept();
}

void frmLogin::cmdCancel_Click()
{
    m_ctx.login.OPLogin = false;
    reject();
}

void frmLogin::cmdChangePassword_Click()
{
    if (!LoadOperator(m_ctx, *m_op, cmbOPName->currentText())) {
        // Nobody to change the password of: say so rather than touching another row.
        m_ctx.messages.show(QStringLiteral("没有这个用户名！"), QStringLiteral("输入有误"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    frmChangeCode dialog(m_ctx, this);
    ShowModal(m_ctx, dialog);
    // Writes the password back to the operator's row (unchanged after a cancel).
    if (!SetField(*m_op, 1, m_ctx.login.OPCode))
        m_ctx.messages.show(QStringLiteral("密码未能保存：") + m_ctx.db.lastError(), QStringLiteral("修改密码"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
}

} // namespace corvane
