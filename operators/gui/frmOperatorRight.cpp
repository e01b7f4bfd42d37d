#include "frmOperatorRight.h"
#include "ConsoleContext.h"
#include "OperatorAdmin.h"
#include "Operators.h"
#include "ShowModal.h"
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

namespace {

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

void inputError(ConsoleContext &ctx, const QString &text, QWidget *parent)
{
    ctx.messages.show(text, QStringLiteral("输入有误"), MessageService::Icon::Critical, MessageService::Buttons::Ok,
                      parent);
}

} // namespace

// ---- frmOperatorRight ---------------------------------------------------------------

frmOperatorRight::frmOperatorRight(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_admin(std::make_unique<OperatorAdmin>(ctx))
{
    setObjectName(QStringLiteral("frmOperatorRight"));
    setWindowTitle(QStringLiteral("权限管理"));

    lstOPName = new QListWidget(this);
    lstOPName->setObjectName(QStringLiteral("lstOPName"));
    lstOPName->setAccessibleName(QStringLiteral("操作员"));
    lstOPName->setSelectionMode(QAbstractItemView::SingleSelection);

    fraRight = new QGroupBox(QStringLiteral("操作员权限："), this);
    fraRight->setObjectName(QStringLiteral("fraRight"));
    auto *rights = new QGridLayout(fraRight);
    for (const RightCaption &r : Rights()) {
        const int i = RightIndex(r.right);
        auto *box = new QCheckBox(r.caption, fraRight);
        box->setObjectName(QStringLiteral("chkRight_%1").arg(i));
        chkRight[size_t(i)] = box;
        rights->addWidget(box, i / 2, i % 2);
    }

    cmdAdd = makeButton(this, "cmdAdd", QStringLiteral("添加操作员(&A)"));
    cmdDelete = makeButton(this, "cmdDelete", QStringLiteral("删除操作员(&D)"));
    cmdSave = makeButton(this, "cmdSave", QStringLiteral("保存权限(&S)"));
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("离开(&X)"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdAdd, cmdDelete, cmdSave, cmdExit})
        buttons->addWidget(b);
    auto *top = new QHBoxLayout;
    top->addWidget(lstOPName, 1);
    top->addWidget(fraRight, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(lstOPName, &QListWidget::itemSelectionChanged, this, &frmOperatorRight::lstOPName_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmOperatorRight::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmOperatorRight::cmdDelete_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmOperatorRight::cmdSave_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmOperatorRight::cmdExit_Click);

    resize(560, 360);
    Form_Load();
}

frmOperatorRight::~frmOperatorRight() = default;

Recordset &frmOperatorRight::rsOperator() { return m_admin->rsOperator(); }

void frmOperatorRight::Form_Load() { fillNames(LoginState::administratorName()); }

void frmOperatorRight::fillNames(const QString &name)
{
    const QSignalBlocker quiet(lstOPName);
    lstOPName->clear();
    lstOPName->addItems(m_admin->names());
    const QList<QListWidgetItem *> found = lstOPName->findItems(name, Qt::MatchExactly);
    if (!found.isEmpty())
        lstOPName->setCurrentItem(found.first());
    else
        lstOPName->setCurrentRow(-1);
    m_admin->select(found.isEmpty() ? QString() : name);
    showRights();
}

void frmOperatorRight::lstOPName_Click()
{
    const QString before = m_admin->selectedName();
    if (!keepOrDropUnsaved()) {
        // Back to the operator whose ticks are still open.
        const QSignalBlocker quiet(lstOPName);
        const QList<QListWidgetItem *> found = lstOPName->findItems(before, Qt::MatchExactly);
        lstOPName->setCurrentItem(found.isEmpty() ? nullptr : found.first());
        return;
    }
    const QList<QListWidgetItem *> chosen = lstOPName->selectedItems();
    m_admin->select(chosen.isEmpty() ? QString() : chosen.first()->text());
    showRights();
}

QList<bool> frmOperatorRight::tickedRights() const
{
    QList<bool> rights;
    for (QCheckBox *box : chkRight)
        rights << box->isChecked();
    return rights;
}

bool frmOperatorRight::keepOrDropUnsaved()
{
    if (!m_admin->hasSelection() || tickedRights() == m_admin->selectedRights())
        return true;
    const auto answer = m_ctx.messages.show(
        QStringLiteral("操作员“%1”的权限已修改，尚未保存。\n是否保存？").arg(m_admin->selectedName()),
        QStringLiteral("保存权限"), MessageService::Icon::Question, MessageService::Buttons::YesNoCancel, this);
    if (answer == MessageService::Answer::Cancel)
        return false;
    if (answer == MessageService::Answer::Yes)
        return saveTicked();
    return true;
}

bool frmOperatorRight::saveTicked()
{
    if (Status s = m_admin->saveRights(tickedRights()); !s) {
        m_ctx.messages.show(s.reason(), QStringLiteral("保存权限"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return false;
    }
    m_ctx.messages.show(QStringLiteral("操作员“%1”的权限已保存。").arg(m_admin->selectedName()),
                        QStringLiteral("保存权限"), MessageService::Icon::Information, MessageService::Buttons::Ok,
                        this);
    return true;
}

void frmOperatorRight::showRights()
{
    const QList<bool> rights = m_admin->selectedRights();
    for (int i = 0; i < int(chkRight.size()); ++i)
        chkRight[size_t(i)]->setChecked(rights.value(i));
    fraRight->setEnabled(m_admin->hasSelection());
}

void frmOperatorRight::cmdAdd_Click()
{
    frmOperatorNew dialog(m_ctx, *m_admin, this);
    ShowModal(m_ctx, dialog);
    // The new operator, or the existing one of the name typed, is shown.
    fillNames(m_admin->selectedName());
}

void frmOperatorRight::cmdDelete_Click()
{
    if (Status s = m_admin->checkDelete(); !s) {
        m_ctx.messages.show(s.reason(), QStringLiteral("删除错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    const auto answer =
        m_ctx.messages.show(OperatorAdmin::deleteQuestion(m_admin->selectedName()), QStringLiteral("删除操作员"),
                            MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this);
    if (answer != MessageService::Answer::Yes)
        return;
    const QString name = m_admin->selectedName();
    if (Status s = m_admin->deleteSelected(); !s) {
        m_ctx.messages.show(s.reason(), QStringLiteral("删除操作员"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        fillNames(name);
        return;
    }
    fillNames(LoginState::administratorName());
}

void frmOperatorRight::cmdSave_Click() { (void)saveTicked(); }

void frmOperatorRight::cmdExit_Click()
{
    if (keepOrDropUnsaved())
        accept();
}

// ---- frmOperatorNew -----------------------------------------------------------------

frmOperatorNew::frmOperatorNew(ConsoleContext &ctx, OperatorAdmin &admin, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_admin(admin)
{
    setObjectName(QStringLiteral("frmOperatorNew"));
    setWindowTitle(QStringLiteral("添加操作员"));
    auto *form = new QFormLayout;
    auto addField = [&](QLineEdit *&edit, const char *name, const QString &caption, bool password) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        if (password)
            edit->setEchoMode(QLineEdit::Password);
        auto *label = new QLabel(caption, this);
        label->setBuddy(edit);
        form->addRow(label, edit);
    };
    addField(txtOPName, "txtOPName", QStringLiteral("操作员姓名："), false);
    addField(txtCode, "txtCode", QStringLiteral("密码："), true);
    addField(txtConfirm, "txtConfirm", QStringLiteral("确认密码："), true);
    cmdOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(cmdOk, &QPushButton::clicked, this, &frmOperatorNew::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOperatorNew::cmdCancel_Click);
}

void frmOperatorNew::cmdOk_Click()
{
    using Kind = OperatorAdmin::AddOutcome::Kind;
    using Field = OperatorAdmin::AddOutcome::Field;
    const OperatorAdmin::AddOutcome out = m_admin.addOperator(txtOPName->text(), txtCode->text(), txtConfirm->text());
    switch (out.kind) {
    case Kind::Refused:
        inputError(m_ctx, out.reason, this);
        if (QLineEdit *box = out.focus == Field::Name ? txtOPName : txtCode) {
            box->setFocus();
            box->selectAll();
        }
        return;
    case Kind::Exists:
        inputError(m_ctx, out.reason, this);
        reject();
        return;
    case Kind::Failed:
        m_ctx.messages.show(out.reason, QStringLiteral("添加操作员"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    case Kind::Added: accept(); return;
    }
}

void frmOperatorNew::cmdCancel_Click() { reject(); }

} // namespace corvane
