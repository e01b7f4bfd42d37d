#include "frmPHNGroup.h"

#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "GridCellEditor.h"
#include "GridFilter.h"
#include "GridHelpers.h"
#include "NamedWidgets.h"
#include "PendingCommands.h"
#include "PrintJobs.h"
#include "Reports.h"
#include "ShowModal.h"
#include "SwitchLink.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

namespace corvane {

using namespace NamedWidgets;

namespace {

const QList<int> UserWidths{500, 1200, 1800, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 800, 500};
const QList<int> ForegiftWidths{1000, 1050, 2000, 800, 1200, 1200, 1400, 1000};
const QList<int> AccountWidths{1500, 3000, 1200, 1200, 1200, 1500};

const QString TipChoose = QStringLiteral("提示：请选择您要修改的内容。");

int dataIndex(const FlexGrid &g, int gridRow) { return gridRow - g.fixedRows(); }

} // namespace

frmPHNGroup::frmPHNGroup(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_params(std::make_unique<UserParameters>(ctx.db, ctx.CheckMarks)),
      m_notice(ctx.messages)
{
    setObjectName(QStringLiteral("frmPHNGroup"));
    setWindowTitle(QStringLiteral("用户参数设置"));

    sstGroup = new QTabWidget(this);
    sstGroup->setObjectName(QStringLiteral("sstGroup"));
    sstGroup->addTab(buildUsersTab(), QStringLiteral("用户信息"));
    sstGroup->addTab(buildGroupsTab(), QStringLiteral("用户所属企业"));
    sstGroup->addTab(buildDepositsTab(), QStringLiteral("用户押金"));
    sstGroup->addTab(buildAccountsTab(), QStringLiteral("账号"));
    connect(sstGroup, &QTabWidget::currentChanged, this, &frmPHNGroup::sstGroup_Click);

    cmdExit = button(this, QStringLiteral("离开(&X)"), QStringLiteral("cmdExit"));
    connect(cmdExit, &QPushButton::clicked, this, &frmPHNGroup::cmdExit_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstGroup, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);
    layout->addLayout(bottom);
    resize(1000, 640);

    attachCellEditors();
    Form_Load();
}

frmPHNGroup::~frmPHNGroup()
{
    // The console may end with the window still open: the switch is told all
    // the same, after whatever the window still had to send.
    Form_Unload();
}

// ---- building -------------------------------------------------------------------------

QWidget *frmPHNGroup::buildUsersTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabUsers"));
    hfgUser = grid(page, QStringLiteral("hfgUser"), QStringLiteral("用户信息"));
    hfgUser->setFixedCols(1);
    hfgUser->setKeyColumns(2); // the port and the extension stay in view
    txtUser = cellBox(page, QStringLiteral("txtUser"));
    SetColWidths(*hfgUser, UserWidths);
    hfgUser->setRowHeightTwips(0, 500);

    auto *lblPhone = new QLabel(QStringLiteral("用户号码："), page);
    txtPhone = labelledBox(page, QStringLiteral("txtPhone"), lblPhone);
    cmdLocal = button(page, QStringLiteral("弹编定位(&F)"), QStringLiteral("cmdLocal"));
    connect(cmdLocal, &QPushButton::clicked, this, &frmPHNGroup::cmdLocal_Click);
    connect(txtPhone, &QLineEdit::returnPressed, this, &frmPHNGroup::cmdLocal_Click);

    auto *batch = new QGroupBox(QStringLiteral("用户信息批处理："), page);
    batch->setObjectName(QStringLiteral("fraBatch"));
    auto *lblBegin = new QLabel(QStringLiteral("从物理端口号："), batch);
    txtPortBegin = labelledBox(batch, QStringLiteral("txtPortBegin"), lblBegin);
    auto *lblEnd = new QLabel(QStringLiteral("到物理端口号："), batch);
    txtPortEnd = labelledBox(batch, QStringLiteral("txtPortEnd"), lblEnd);
    auto *lblValue = new QLabel(QStringLiteral("数据批量修改为："), batch);
    txtValue = labelledBox(batch, QStringLiteral("txtValue"), lblValue);
    cmbValue = new QComboBox(batch);
    cmbValue->setObjectName(QStringLiteral("cmbValue"));
    cmbValue->setAccessibleName(lblValue->text());
    cmbValue->hide();
    cmdAmendUser = button(batch, QStringLiteral("批量修改(&B)"), QStringLiteral("cmdAmendUser"));
    cmdAmendUser->setEnabled(false);
    connect(cmdAmendUser, &QPushButton::clicked, this, &frmPHNGroup::cmdAmendUser_Click);
    lblTip = new QLabel(TipChoose, batch);
    lblTip->setObjectName(QStringLiteral("lblTip"));
    lblTip->setWordWrap(true);

    auto *batchLayout = new QGridLayout(batch);
    batchLayout->addWidget(lblBegin, 0, 0);
    batchLayout->addWidget(txtPortBegin, 0, 1);
    batchLayout->addWidget(lblEnd, 1, 0);
    batchLayout->addWidget(txtPortEnd, 1, 1);
    batchLayout->addWidget(lblValue, 2, 0);
    batchLayout->addWidget(txtValue, 2, 1);
    batchLayout->addWidget(cmbValue, 3, 1);
    batchLayout->addWidget(cmdAmendUser, 4, 0, 1, 2);
    batchLayout->addWidget(lblTip, 5, 0, 1, 2);
    batchLayout->setRowStretch(6, 1);

    auto *locate = new QHBoxLayout;
    locate->addWidget(lblPhone);
    locate->addWidget(txtPhone);
    locate->addWidget(cmdLocal);
    locate->addSpacing(16);
    locate->addWidget(MakeGridFilter(page, hfgUser, QStringLiteral("txtFilterUser")), 1);
    auto *left = new QVBoxLayout;
    left->addWidget(hfgUser, 1);
    left->addLayout(locate);
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addWidget(batch);

    connect(hfgUser, &FlexGrid::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers) { hfgUser_MouseDown(b); });
    connect(hfgUser, &FlexGrid::MouseUp, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers) { hfgUser_MouseUp(b); });
    // A move with the keyboard sets the batch up exactly as the mouse does:
    // a new current cell as a press on it, a new selection as a release.
    connect(hfgUser, &FlexGrid::EnterCell, this, [this] { hfgUser_MouseDown(Qt::LeftButton); });
    connect(hfgUser, &FlexGrid::SelChange, this, [this] { hfgUser_MouseUp(Qt::LeftButton); });
    return page;
}

QWidget *frmPHNGroup::buildGroupsTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabGroups"));
    auto *lblGroups = new QLabel(QStringLiteral("企业名称："), page);
    lstGroup = new QListWidget(page);
    lstGroup->setObjectName(QStringLiteral("lstGroup"));
    lstGroup->setAccessibleName(QStringLiteral("企业名称"));
    lblGroups->setBuddy(lstGroup);
    cmdAddGroup = button(page, QStringLiteral("添加(&A)"), QStringLiteral("cmdAddGroup"));
    cmdDeleteGroup = button(page, QStringLiteral("删除(&D)"), QStringLiteral("cmdDeleteGroup"));
    auto *lblUsers = new QLabel(QStringLiteral("所属用户："), page);
    lstUser = new QListWidget(page);
    lstUser->setObjectName(QStringLiteral("lstUser"));
    lstUser->setAccessibleName(QStringLiteral("所属用户"));
    lstUser->setSelectionMode(QAbstractItemView::MultiSelection);
    lblUsers->setBuddy(lstUser);
    cmdSelectAll = button(page, QStringLiteral("全部选定(&Q)"), QStringLiteral("cmdSelectAll"));
    cmdSelectContrary = button(page, QStringLiteral("反向选定(&V)"), QStringLiteral("cmdSelectContrary"));
    cmdClear = button(page, QStringLiteral("全部清除(&C)"), QStringLiteral("cmdClear"));
    cmdSave = button(page, QStringLiteral("保存(&S)"), QStringLiteral("cmdSave"));

    connect(lstGroup, &QListWidget::currentRowChanged, this, [this](int) { lstGroup_Click(); });
    connect(cmdAddGroup, &QPushButton::clicked, this, &frmPHNGroup::cmdAddGroup_Click);
    connect(cmdDeleteGroup, &QPushButton::clicked, this, &frmPHNGroup::cmdDeleteGroup_Click);
    connect(cmdSelectAll, &QPushButton::clicked, this, &frmPHNGroup::cmdSelectAll_Click);
    connect(cmdSelectContrary, &QPushButton::clicked, this, &frmPHNGroup::cmdSelectContrary_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmPHNGroup::cmdClear_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmPHNGroup::cmdSave_Click);

    auto *groupButtons = new QHBoxLayout;
    groupButtons->addWidget(cmdAddGroup);
    groupButtons->addWidget(cmdDeleteGroup);
    auto *left = new QVBoxLayout;
    left->addWidget(lblGroups);
    left->addWidget(lstGroup, 1);
    left->addLayout(groupButtons);
    auto *userButtons = new QHBoxLayout;
    userButtons->addWidget(cmdSelectAll);
    userButtons->addWidget(cmdSelectContrary);
    userButtons->addWidget(cmdClear);
    userButtons->addWidget(cmdSave);
    auto *right = new QVBoxLayout;
    right->addWidget(lblUsers);
    right->addWidget(lstUser, 1);
    right->addWidget(MakeListFilter(page, lstUser, QStringLiteral("txtFilterMembers")));
    right->addLayout(userButtons);
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addLayout(right, 2);
    return page;
}

QWidget *frmPHNGroup::buildDepositsTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabDeposits"));
    hfgForegift = grid(page, QStringLiteral("hfgForegift"), QStringLiteral("用户押金"));
    txtForegift = cellBox(page, QStringLiteral("txtForegift"));
    auto *note = new QLabel(QStringLiteral("提示：开通了端口付费方式的才显示"), page);
    note->setObjectName(QStringLiteral("lblForegiftNote"));
    // "押金" is the deposit held (a change asks first and says what is paid
    // or handed back); a top-up adds to it.
    cmdTopUp = button(page, QStringLiteral("续交押金(&T)..."), QStringLiteral("cmdTopUp"));
    cmdSlip = button(page, QStringLiteral("打印押金收据(&P)..."), QStringLiteral("cmdSlip"));
    connect(cmdTopUp, &QPushButton::clicked, this, &frmPHNGroup::cmdTopUp_Click);
    connect(cmdSlip, &QPushButton::clicked, this, &frmPHNGroup::cmdSlip_Click);
    // A click on a caption sorts by that column; again turns the order round.
    hfgForegift->setToolTip(QStringLiteral("单击列标题按该列排序，再单击一次反向排序"));
    hfgForegift->setCaptionSorts(true);
    for (DepositField money : {DepositField::Balance, DepositField::Deposit})
        hfgForegift->setColAlignment(int(money), Qt::AlignRight);
    connect(hfgForegift, &FlexGrid::CaptionClicked, this, [this](int c) {
        if (!m_params)
            return;
        const qint64 current = currentDepositRowId();
        m_params->sortDeposits(c);
        fillDeposits();
        // The same deposit stays chosen wherever it went.
        for (int row = hfgForegift->fixedRows(); row < hfgForegift->rows(); ++row)
            if (current >= 0 && m_params->depositRowId(dataIndex(*hfgForegift, row)) == current)
                hfgForegift->setRow(row);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdTopUp);
    buttons->addWidget(cmdSlip);
    buttons->addSpacing(16);
    buttons->addWidget(MakeGridFilter(page, hfgForegift, QStringLiteral("txtFilterForegift")), 1);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgForegift, 1);
    layout->addLayout(buttons);
    layout->addWidget(note);
    return page;
}

QWidget *frmPHNGroup::buildAccountsTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabAccounts"));
    hfgAccount = grid(page, QStringLiteral("hfgAccount"), QStringLiteral("账号"));
    txtAccount = cellBox(page, QStringLiteral("txtAccount"));
    SetColWidths(*hfgAccount, AccountWidths);
    cmdAddAccount = button(page, QStringLiteral("添加(&A)"), QStringLiteral("cmdAddAccount"));
    cmdDeleteAccount = button(page, QStringLiteral("删除(&D)"), QStringLiteral("cmdDeleteAccount"));
    connect(cmdAddAccount, &QPushButton::clicked, this, &frmPHNGroup::cmdAddAccount_Click);
    connect(cmdDeleteAccount, &QPushButton::clicked, this, &frmPHNGroup::cmdDeleteAccount_Click);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAddAccount);
    buttons->addWidget(cmdDeleteAccount);
    buttons->addSpacing(16);
    buttons->addWidget(MakeGridFilter(page, hfgAccount, QStringLiteral("txtFilterAccount")), 1);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgAccount, 1);
    layout->addLayout(buttons);
    return page;
}

void frmPHNGroup::attachCellEditors()
{
    UserParameters &params = *m_params;

    GridCellEditor::Hooks users;
    users.rule = [this](const GridCell &c) {
        if (amending())
            return CellRule::block(QStringLiteral("正在批量修改，请稍候！"), MessageService::defaultTitle(),
                                   MessageService::Icon::Information);
        return m_params->userRule(c.col);
    };
    users.check = [this](const GridCell &c, const QString &v) -> Checked<QString> {
        const QString port = portOfRow(c.row);
        const Checked<QString> value = m_params->checkUserValue(c.col, v);
        if (!value)
            return value;
        const auto range = m_params->checkRange(port, port);
        if (!range)
            return Checked<QString>::refuse(range.reason());
        const auto plan = m_params->planAmend(c.col, *range, *value);
        if (!plan)
            return Checked<QString>::refuse(plan.reason());
        return value;
    };
    users.store = [this](const GridCell &c, const QString &v) -> StoreResult {
        // As the batch change does for a range of one port.
        const QString port = portOfRow(c.row);
        txtPortBegin->setText(port);
        txtPortEnd->setText(port);
        if (m_params->userChoices(c.col).isEmpty()) {
            txtValue->setText(v);
            txtValue->show();
            cmbValue->hide();
        } else {
            ShowChoices(cmbValue, v, m_params->userChoices(c.col));
            txtValue->hide();
        }
        const auto plan = m_params->planAmend(c.col, *m_params->checkRange(port, port), v);
        if (!plan)
            return StoreResult(plan.status(), {}, true);
        if (!confirmDropDeposits(*plan))
            return StoreResult(Status::ok(), {}, true); // the operator kept the deposit
        return StoreResult(startAmend(*plan), {}, false);
    };
    users.rowId = [this](int r) { return m_params->userRowId(dataIndex(*hfgUser, r)); };
    users.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        if (r.refill)
            fillUsers();
    };
    m_userCells = new GridCellEditor(hfgUser, txtUser, m_ctx.messages, m_notice, this, users);

    GridCellEditor::Hooks deposits;
    deposits.rule = [&params](const GridCell &c) { return params.depositRule(c); };
    deposits.check = [&params](const GridCell &c, const QString &v) { return params.checkDeposit(c, v); };
    deposits.store = [this, &params](const GridCell &c, const QString &v) -> StoreResult {
        m_slipFor = -1;
        if (c.col == int(DepositField::Deposit)) {
            // Money changes hands: said first, "否" the default.
            const QString what = params.depositChangeText(c.rowId, v);
            if (m_ctx.messages.show(what + QStringLiteral("。\n确定吗？"), QStringLiteral("押金"),
                                    MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this)
                != MessageService::Answer::Yes)
                return StoreResult(Status::ok(), {}, true); // the deposit stays as it was
            m_slipFor = c.rowId;
            return kept([&] { return params.storeDeposit(c, v); });
        }
        return kept([&] { return params.storeDeposit(c, v); });
    };
    deposits.rowId = [this](int r) { return m_params->depositRowId(dataIndex(*hfgForegift, r)); };
    deposits.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r);
        if (r.refill) {
            fillDeposits();
            fillAccounts(); // a password typed for an account is the account's too
        }
        const qint64 slip = std::exchange(m_slipFor, -1);
        if (r.status && slip >= 0)
            offerDepositSlip(slip);
    };
    m_depositCells = new GridCellEditor(hfgForegift, txtForegift, m_ctx.messages, m_notice, this, deposits);

    GridCellEditor::Hooks accounts;
    accounts.rule = [&params](const GridCell &c) { return params.accountRule(c); };
    accounts.check = [&params](const GridCell &c, const QString &v) { return params.checkAccount(c, v); };
    accounts.store = [this](const GridCell &c, const QString &v) -> StoreResult {
        if (c.col == int(AccountField::PayType) && v == UserParameters::Ordinary) {
            if (const auto money = m_params->accountMoney(c.rowId)) {
                const QString n = hfgAccount->textMatrix(c.row, int(AccountField::Number)).trimmed();
                const auto answer = m_ctx.messages.show(
                    QStringLiteral("账号%1的押金还有余额%2元，改为“普通”将删除它的押金记录。\n是否继续？")
                        .arg(n, *money),
                    QStringLiteral("付费方式"), MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo,
                    this);
                if (answer != MessageService::Answer::Yes)
                    return StoreResult(Status::ok(), {}, true);
            }
        }
        return kept([&] { return m_params->storeAccount(c, v); });
    };
    accounts.rowId = [this](int r) { return m_params->accountRowId(dataIndex(*hfgAccount, r)); };
    accounts.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r);
        if (r.refill)
            fillAccounts();
    };
    m_accountCells = new GridCellEditor(hfgAccount, txtAccount, m_ctx.messages, m_notice, this, accounts);
}

// ---- opening and closing ----------------------------------------------------------------

void frmPHNGroup::Form_Load()
{
    if (m_ctx.link)
        m_ctx.link->SendUserWindowOpen();
    fillUsers();
    fillAccounts();
}

void frmPHNGroup::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A change under way is written to the end and queued whole, so that
    // every port of it reaches the switch before the window's closing frame.
    if (m_run)
        m_run->finishNow();
    if (m_ctx.link)
        m_ctx.link->SendUserWindowClose();
}

void frmPHNGroup::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmPHNGroup::cmdExit_Click() { accept(); }

void frmPHNGroup::sstGroup_Click(int tab)
{
    if (tab == 1)
        fillGroups();
    else if (tab == 2)
        fillDeposits();
}

// ---- filling ---------------------------------------------------------------------------

void frmPHNGroup::fillUsers()
{
    const int top = hfgUser->rows() > 1 ? hfgUser->topRow() : 0;
    FillGrid(m_params->users(), *hfgUser, UserParameters::UserGridColumns, m_params->capacity(), 0, m_ctx.messages,
             this);
    if (top > 0)
        hfgUser->setTopRow(top);
}

void frmPHNGroup::fillGroups()
{
    lstGroup->blockSignals(true);
    lstGroup->clear();
    const Checked<QStringList> names = m_params->groups();
    if (!names)
        m_ctx.messages.show(names.reason(), QStringLiteral("读取错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
    lstGroup->addItems(names.value_or(QStringList()));
    lstGroup->blockSignals(false);
    lstUser->clear();
    lstUser->addItems(m_params->userItems());
    if (lstGroup->count() > 0)
        lstGroup->setCurrentRow(0);
    lstGroup_Click();
}

void frmPHNGroup::fillDeposits()
{
    hfgForegift->clear();
    hfgForegift->setRows(2);
    SetColWidths(*hfgForegift, ForegiftWidths);
    FillGrid(m_params->deposits(), *hfgForegift, 0, 0, 0, m_ctx.messages, this);
}

void frmPHNGroup::fillAccounts()
{
    FillGrid(m_params->accounts(), *hfgAccount, 0, 0, 0, m_ctx.messages, this);
    SetColWidths(*hfgAccount, AccountWidths);
}

// ---- users -------------------------------------------------------------------------------

QString frmPHNGroup::portOfRow(int gridRow) const
{
    return hfgUser->textMatrix(gridRow, int(UserField::Port)).trimmed();
}

bool frmPHNGroup::hidesUsers(const UserParameters::PortRange &range) const
{
    const int low = qMin(range.first, range.last);
    const int high = qMax(range.first, range.last);
    for (int r = hfgUser->fixedRows(); r < hfgUser->rows(); ++r) {
        bool ok = false;
        const int port = portOfRow(r).toInt(&ok);
        if (ok && port >= low && port <= high && hfgUser->isRowHidden(r))
            return true;
    }
    return false;
}

void frmPHNGroup::cmdLocal_Click()
{
    const QString number = txtPhone->text().trimmed();
    if (number.isEmpty())
        return;
    const int r = FindGridRow(number, *hfgUser, int(UserField::Number));
    if (r < hfgUser->fixedRows()) {
        lblTip->setText(QStringLiteral("提示：没有用户号码为%1的分机。").arg(number));
        return;
    }
    hfgUser->setTopRow(r);
    hfgUser->setRow(r);
    hfgUser->setCol(hfgUser->fixedCols());
}

void frmPHNGroup::hfgUser_MouseDown(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    const int c = hfgUser->col();
    if (c < hfgUser->fixedCols() || hfgUser->row() < hfgUser->fixedRows())
        return;
    txtPortBegin->setText(portOfRow(hfgUser->row()));
    txtPortEnd->clear();
    const QStringList choices = m_params->userChoices(c);
    if (choices.isEmpty()) {
        txtValue->setText(hfgUser->text());
        txtValue->show();
        cmbValue->hide();
    } else {
        ShowChoices(cmbValue, hfgUser->text(), choices);
        txtValue->hide();
    }
}

void frmPHNGroup::hfgUser_MouseUp(Qt::MouseButton button)
{
    if (button != Qt::LeftButton || amending())
        return;
    if (hfgUser->col() < hfgUser->fixedCols())
        return;
    // A range over users the filter hides would change them unseen.
    bool hidden = false;
    for (int r = qMin(hfgUser->row(), hfgUser->rowSel()); r <= qMax(hfgUser->row(), hfgUser->rowSel()); ++r)
        hidden = hidden || hfgUser->isRowHidden(r);
    if (hidden) {
        txtPortEnd->setText(portOfRow(hfgUser->rowSel()));
        lblTip->setText(QStringLiteral("提示：所选范围内有筛选隐藏的用户，请清空筛选后再批量修改！"));
        cmdAmendUser->setText(QStringLiteral("批量修改(&B)"));
        cmdAmendUser->setEnabled(false);
        m_batchCol = -1;
    } else if (hfgUser->col() == hfgUser->colSel()) {
        const QString header = hfgUser->textMatrix(0, hfgUser->col());
        txtPortEnd->setText(portOfRow(hfgUser->rowSel()));
        lblTip->setText(QStringLiteral("提示：批量修改'") + header + QStringLiteral("'!"));
        cmdAmendUser->setText(QStringLiteral("批量修改(&B)\n\n'") + header + QStringLiteral("'"));
        cmdAmendUser->setEnabled(true);
        m_batchCol = hfgUser->col();
    } else {
        lblTip->setText(QStringLiteral("提示：您选择了网格的多列数据，程序无法进行批量修改！"));
        cmdAmendUser->setText(QStringLiteral("批量修改(&B)"));
        cmdAmendUser->setEnabled(false);
        m_batchCol = -1;
    }
}

void frmPHNGroup::refuse(const QString &reason) { m_ctx.messages.inputError(reason, this); }

void frmPHNGroup::cmdAmendUser_Click()
{
    if (amending()) {
        lblTip->setText(QStringLiteral("提示：正在批量修改，请稍候！"));
        return;
    }
    // The column the button's caption names, whatever cell is current now.
    const int c = m_batchCol;
    if (c < hfgUser->fixedCols())
        return;
    // The range first: nothing is checked further, written or sent for a
    // range that is not two ports of this switch.
    const auto range = m_params->checkRange(txtPortBegin->text(), txtPortEnd->text());
    if (!range) {
        refuse(range.reason());
        return;
    }
    // The filter may have changed, or the ports been typed, since the range
    // was chosen: users it hides are not changed unseen.
    if (hidesUsers(*range)) {
        refuse(QStringLiteral("所选范围内有筛选隐藏的用户，请清空筛选后再批量修改！"));
        return;
    }
    const QString typed = m_params->userChoices(c).isEmpty() ? txtValue->text() : cmbValue->currentText();
    const Checked<QString> value = m_params->checkUserValue(c, typed);
    if (!value) {
        refuse(value.reason());
        return;
    }
    const auto plan = m_params->planAmend(c, *range, *value);
    if (!plan) {
        refuse(plan.reason());
        return;
    }
    if (!confirmDropDeposits(*plan))
        return;
    m_notice.note(startAmend(*plan), this);
}

bool frmPHNGroup::confirmDropDeposits(const UserParameters::AmendPlan &plan)
{
    const QStringList atRisk = m_params->depositsAtRisk(plan);
    if (atRisk.isEmpty())
        return true;
    const QString text =
        QStringLiteral("以下用户的押金还有余额，改为“普通”将删除他们的押金记录：\n%1\n是否继续？")
            .arg(atRisk.mid(0, 10).join(QStringLiteral("、"))
                 + (atRisk.size() > 10 ? QStringLiteral(" 等%1个用户").arg(atRisk.size()) : QString()));
    return m_ctx.messages.show(text, QStringLiteral("付费方式"), MessageService::Icon::Question,
                               MessageService::Buttons::YesNoDefaultNo, this)
           == MessageService::Answer::Yes;
}

Status frmPHNGroup::startAmend(const UserParameters::AmendPlan &plan)
{
    auto *run = new UserAmendRun(*m_params, plan, m_ctx.link, this);
    m_run = run;
    cmdAmendUser->setEnabled(false);
    connect(run, &UserAmendRun::stepped, this,
            [this](int done, int total, int port, const QString &value, const Status &s) {
                if (s)
                    showUserValue(port, m_run ? m_run->plan().col : -1, value);
                lblTip->setText(QStringLiteral("提示：已经处理%1/%2").arg(done).arg(total));
            });
    connect(run, &UserAmendRun::finished, this, [this, run](const Status &s) {
        if (s) {
            // Done only when the commands could go; else how many wait.
            const bool waiting = m_ctx.link && !m_ctx.link->CanSend() && m_ctx.link->KeptCount() > 0;
            lblTip->setText(waiting ? QStringLiteral("提示：") + m_ctx.link->WaitingText()
                                    : QStringLiteral("提示：已经处理完毕！"));
            if (waiting)
                m_ctx.link->SendKeptAndTell(this);
        } else {
            // Where the batch stopped and why: the ports before it are
            // stored and their commands kept; this one and the rest are not.
            const int done = run->done();
            const int total = int(run->plan().values.size());
            lblTip->setText(QStringLiteral("提示：已经处理%1/%2，物理端口%3未能修改")
                                .arg(done - 1)
                                .arg(total)
                                .arg(run->plan().port(done - 1)));
            if (done > 1) // the first port's failure is told by startAmend's caller
                m_notice.note(s, this);
            fillUsers(); // show what the table holds after the failed port
        }
        cmdAmendUser->setEnabled(true);
        run->deleteLater();
    });
    const Status first = run->start();
    return first;
}

void frmPHNGroup::showUserValue(int port, int col, const QString &value)
{
    if (col < 0)
        return;
    const int r = FindGridRow(QString::number(port), *hfgUser, int(UserField::Port));
    if (r >= hfgUser->fixedRows())
        hfgUser->setTextMatrix(r, col, value);
}

bool frmPHNGroup::amending() const { return m_run && m_run->isRunning(); }

// ---- groups --------------------------------------------------------------------------------

void frmPHNGroup::lstGroup_Click()
{
    const QString group = lstGroup->currentItem() ? lstGroup->currentItem()->text() : QString();
    const QList<bool> members = m_params->membersOf(group);
    for (int i = 0; i < lstUser->count(); ++i)
        lstUser->item(i)->setSelected(members.value(i));
}

void frmPHNGroup::cmdSelectAll_Click() { SelectShownItems(lstUser); }

void frmPHNGroup::cmdSelectContrary_Click() { InvertShownItems(lstUser); }

void frmPHNGroup::cmdClear_Click() { ClearShownItems(lstUser); }

void frmPHNGroup::cmdSave_Click()
{
    if (!lstGroup->currentItem())
        return;
    QList<bool> selected;
    for (int i = 0; i < lstUser->count(); ++i)
        selected << lstUser->item(i)->isSelected();
    if (m_notice.note(m_params->saveGroup(lstGroup->currentItem()->text(), selected), this))
        fillUsers();
}

void frmPHNGroup::cmdAddGroup_Click()
{
    const auto typed =
        m_ctx.messages.askText(QStringLiteral("请输入需要添加的组名!"), QStringLiteral("添加组"), QString(), this);
    if (!typed)
        return;
    const Checked<QString> name = m_params->checkNewGroup(*typed);
    if (!name) {
        refuse(name.reason());
        return;
    }
    if (!m_notice.note(m_params->addGroup(*name), this))
        return;
    lstGroup->addItem(*name);
    lstGroup->setCurrentRow(lstGroup->count() - 1);
}

void frmPHNGroup::cmdDeleteGroup_Click()
{
    QListWidgetItem *item = lstGroup->currentItem();
    if (!item)
        return;
    const QString name = item->text();
    if (m_ctx.messages.show(QStringLiteral("是否真的要删除 '") + name + QStringLiteral("' 组"),
                            MessageService::defaultTitle(), MessageService::Icon::None,
                            MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes)
        return;
    if (!m_notice.note(m_params->deleteGroup(name), this))
        return;
    delete lstGroup->takeItem(lstGroup->row(item));
    if (lstGroup->count() > 0)
        lstGroup->setCurrentRow(0);
    lstGroup_Click();
    fillUsers();
}

// ---- accounts ------------------------------------------------------------------------------

void frmPHNGroup::cmdAddAccount_Click()
{
    if (const Checked<QString> n = m_params->nextAccountNumber(); !n) {
        m_ctx.messages.show(n.reason(), QStringLiteral("生成错误"), MessageService::Icon::Warning,
                            MessageService::Buttons::Ok, this);
        return;
    }
    const StoreResult r = kept([this] { return m_params->addAccount(); });
    finishStore(r);
    fillAccounts();
}

void frmPHNGroup::cmdDeleteAccount_Click()
{
    const int r = hfgAccount->row();
    const qint64 rowId = m_params->accountRowId(dataIndex(*hfgAccount, r));
    const QString n = hfgAccount->textMatrix(r, int(AccountField::Number)).trimmed();
    if (rowId < 0 || n.isEmpty())
        return;
    // An account is never deleted without a word; a deposit that still holds
    // money is named.
    const auto money = m_params->accountMoney(rowId);
    const QString question =
        money ? QStringLiteral("账号%1的押金还有余额%2元，删除账号将同时删除它的押金记录。\n是否继续？").arg(n, *money)
              : QStringLiteral("删除账号%1后，该账号将不能再使用。\n是否继续？").arg(n);
    if (m_ctx.messages.show(question, QStringLiteral("删除账号"), MessageService::Icon::Question,
                            MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes)
        return;
    finishStore(kept([&] { return m_params->deleteAccount(rowId); }));
    fillAccounts();
}

// ---- shared steps ----------------------------------------------------------------------------

void frmPHNGroup::finishStore(const StoreResult &result)
{
    if (!m_notice.note(result.status, this))
        return;
    if (m_ctx.link)
        m_ctx.link->SendKeptAndTell(this);
    if (!result.notice.isEmpty())
        m_ctx.messages.show(result.notice, MessageService::defaultTitle(), MessageService::Icon::Information,
                            MessageService::Buttons::Ok, this);
}

qint64 frmPHNGroup::currentDepositRowId() const
{
    const int row = hfgForegift->row();
    if (row < hfgForegift->fixedRows())
        return -1;
    return m_params->depositRowId(dataIndex(*hfgForegift, row));
}

void frmPHNGroup::cmdTopUp_Click()
{
    const QString title = QStringLiteral("续交押金");
    const qint64 rowId = currentDepositRowId();
    const DepositRow row = m_params->shownDeposit(rowId);
    if (rowId < 0 || row.key().isEmpty()) {
        m_ctx.messages.show(QStringLiteral("请先在押金表中选择要续交押金的用户。"), title,
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    const QString who = row.isAccount() ? QStringLiteral("账号") + row.key() : row.number();
    const auto typed =
        m_ctx.messages.askText(QStringLiteral("%1 续交押金金额（元）：").arg(who), title, QString(), this);
    if (!typed)
        return;
    const Checked<QString> amount = m_params->checkTopUp(*typed);
    if (!amount) {
        m_ctx.messages.inputError(amount.reason(), this);
        return;
    }
    if (m_ctx.messages.show(m_params->topUpText(rowId, *amount) + QStringLiteral("。\n确定吗？"), title,
                            MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes)
        return;
    const StoreResult r = kept([&] { return m_params->topUpDeposit(rowId, *amount); });
    finishStore(r);
    fillDeposits();
    if (r.status)
        offerDepositSlip(rowId);
}

void frmPHNGroup::cmdSlip_Click()
{
    const qint64 rowId = currentDepositRowId();
    if (rowId < 0) {
        m_ctx.messages.show(QStringLiteral("请先在押金表中选择用户。"), QStringLiteral("押金收据"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    printDepositSlip(rowId);
}

void frmPHNGroup::offerDepositSlip(qint64 rowId)
{
    if (m_ctx.messages.show(QStringLiteral("是否打印押金收据？"), QStringLiteral("押金收据"),
                            MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this)
        == MessageService::Answer::Yes)
        printDepositSlip(rowId);
}

void frmPHNGroup::printDepositSlip(qint64 rowId)
{
    const QString title = QStringLiteral("押金收据");
    const auto last = m_params->lastMovement(rowId);
    if (!last) {
        m_ctx.messages.show(last.reason(), title, MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    if (!*last) {
        m_ctx.messages.show(QStringLiteral("这个押金还没有交过款。"), title, MessageService::Icon::Information,
                            MessageService::Buttons::Ok, this);
        return;
    }
    const JournalRow &j = **last;
    const DepositRow row = m_params->shownDeposit(rowId);
    DepositSlip slip;
    slip.number = j.number;
    slip.name = row.get(DepositField::Name);
    slip.what = kindText(j.kind);
    slip.amount = j.amount.isNegative() ? -j.amount : j.amount;
    slip.depositAfter = j.depositAfter;
    slip.depositBefore = j.depositAfter - j.depositDelta;
    slip.balanceAfter = j.balanceAfter;
    slip.balanceBefore = j.balanceAfter - j.amount;
    slip.at = j.at;
    ReportDef report = DRForegift();
    setReceiver(report, m_ctx.login.OPName);
    ReportPreviewDialog preview(report, depositSlipSource(slip), m_ctx.clock.now().date(), m_ctx.messages, this);
    preview.setPdfName(QStringLiteral("押金收据-%1-%2.pdf").arg(j.number, j.at.toString(QStringLiteral("yyyyMMdd"))),
                       m_ctx.login.OPName);
    ShowModal(m_ctx, preview);
}

// A change and its commands are committed together; the link sends them when
// the switch can take them.
StoreResult frmPHNGroup::kept(const std::function<StoreResult()> &store) { return StoreKept(m_ctx.db, store); }

} // namespace corvane
