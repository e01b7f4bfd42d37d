#include "frmLogin.h"
#include "ConsoleContext.h"
#include "Operators.h"
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
    : QDialog(parent), m_ctx(ctx), m_op(std::make_unique<OperatorLogin>(ctx))
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
    cmdChangePassword = new QPushButton(QStringLiteral("修改密码(&C)"), this);
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

    cmbOPName->addItems(m_op->names());
    cmbOPName->setCurrentText(LoginState::administratorName());
    txtCode->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    connect(cmdChangePassword, &QPushButton::clicked, this, &frmLogin::cmdChangePassword_Click);
}

frmLogin::~frmLogin() = default;

void frmLogin::cmdOK_Click()
{
    if (Status s = m_op->logIn(cmbOPName->currentText(), txtCode->text()); !s) {
        m_ctx.messages.show(s.reason(), QStringLiteral("密码错误"), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
        // The next typing is a new try, not appended to the wrong one.
        txtCode->clear();
        txtCode->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();
}

void frmLogin::cmdCancel_Click()
{
    m_ctx.login.OPLogin = false;
    reject();
}

void frmLogin::cmdChangePassword_Click()
{
    if (Status s = m_op->loadForChange(cmbOPName->currentText()); !s) {
        m_ctx.messages.show(s.reason(), QStringLiteral("输入有误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    frmChangeCode dialog(m_ctx, *m_op, this);
    ShowModal(m_ctx, dialog);
}

} // namespace corvane
