#include "frmChangeCode.h"
#include "ConsoleContext.h"
#include "Operators.h"
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

frmChangeCode::frmChangeCode(ConsoleContext &ctx, OperatorLogin &op, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_op(op)
{
    setObjectName(QStringLiteral("frmChangeCode"));
    setWindowTitle(QStringLiteral("修改密码"));
    auto *form = new QFormLayout;
    // Whose password this is: the operator chosen in the login window.
    lblOperator = new QLabel(ctx.login.OPName, this);
    lblOperator->setObjectName(QStringLiteral("lblOperator"));
    auto *operatorCaption = new QLabel(QStringLiteral("操作员："), this);
    operatorCaption->setBuddy(lblOperator);
    form->addRow(operatorCaption, lblOperator);
    auto addField = [&](QLineEdit *&edit, const char *name, const QString &caption) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setEchoMode(QLineEdit::Password);
        auto *label = new QLabel(caption, this);
        label->setBuddy(edit);
        form->addRow(label, edit);
    };
    addField(txtOld, "txtOld", QStringLiteral("原密码："));
    addField(txtNew, "txtNew", QStringLiteral("新密码："));
    addField(txtConfirm, "txtConfirm", QStringLiteral("确认密码："));
    cmdOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(cmdOk, &QPushButton::clicked, this, &frmChangeCode::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmChangeCode::cmdCancel_Click);
}

void frmChangeCode::cmdOk_Click()
{
    auto error = [&](const QString &text, const QString &title) {
        m_ctx.messages.show(text, title, MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
    };
    if (Status s = OperatorLogin::checkOldPassword(txtOld->text(), m_ctx.login.OPCode); !s) {
        error(s.reason(), QStringLiteral("密码错误"));
        return;
    }
    if (Status s = OperatorLogin::checkNewPassword(txtNew->text(), txtConfirm->text()); !s) {
        error(s.reason(), QStringLiteral("输入有误"));
        return;
    }
    const Checked<QString> stored = OperatorLogin::storedPassword(txtNew->text());
    if (!stored) {
        error(stored.reason(), QStringLiteral("修改密码"));
        return;
    }
    // A password the database refuses is not reported as changed; the
    // window stays open with what was typed.
    if (Status s = m_op.storePassword(*stored); !s) {
        error(s.reason(), QStringLiteral("修改密码"));
        return;
    }
    m_ctx.messages.show(QStringLiteral("密码修改成功!"), QStringLiteral("密码修改"), MessageService::Icon::Information,
                        MessageService::Buttons::Ok, this);
    accept();
}

void frmChangeCode::cmdCancel_Click() { reject(); }

} // namespace corvane
