#include "frmSWTParameter.h"

#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "General.h"
#include "GridCellEditor.h"
#include "GridHelpers.h"
#include "NamedWidgets.h"
#include "PendingCommands.h"
#include "ShowModal.h"
#include "SwitchLink.h"
#include "SwitchParameters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

namespace corvane {

using namespace NamedWidgets;

namespace {

constexpr int CommandGapMs = 100;
constexpr int TrunkGapMs = 100; // after the last command of each trunk

const QList<int> ExchangeWidths{500, 800, 1300, 1000, 1000, 1000, 1000, 900, 1000, 800, 900, 900, 900, 900, 900};

QLineEdit *lineEdit(QWidget *parent, const QString &name, const QString &accessible)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

QComboBox *comboBox(QWidget *parent, const QString &name, const QString &accessible, const QStringList &items = {})
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->setAccessibleName(accessible);
    c->addItems(items);
    return c;
}

QCheckBox *checkBox(QWidget *parent, const QString &text, const QString &name)
{
    auto *c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
}

QStringList numbers(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::number(i);
    return out;
}

// A caption label beside its box, the box as its buddy.
QLabel *caption(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

bool isOn(const QString &stored) { return ValInt(stored) != 0; }

// The trunk grid shows the Exchange table column for column: grid column k
// is the trunk setting k.
constexpr int gridColumn(TrunkField f) { return int(f); }
std::optional<TrunkField> gridField(int column)
{
    if (column < 0 || column >= TrunkFieldCount)
        return std::nullopt;
    return TrunkField(column);
}

} // namespace

frmSWTParameter::frmSWTParameter(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_params(std::make_unique<SwitchParameters>(ctx.db)), m_notice(ctx.messages)
{
    setObjectName(QStringLiteral("frmSWTParameter"));
    setWindowTitle(QStringLiteral("参数设置"));

    sstConfig = new QTabWidget(this);
    sstConfig->setObjectName(QStringLiteral("sstConfig"));
    sstConfig->addTab(buildSystemTab(), QStringLiteral("系统"));
    sstConfig->addTab(buildTrunkTab(), QStringLiteral("中继"));

    cmdExit = button(this, QStringLiteral("离开(&X)"), QStringLiteral("cmdExit"));
    connect(cmdExit, &QPushButton::clicked, this, &frmSWTParameter::cmdExit_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstConfig, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);
    layout->addLayout(bottom);
    resize(980, 560);

    Form_Load();
}

frmSWTParameter::~frmSWTParameter() = default;

// ---- building -----------------------------------------------------------------------------

QWidget *frmSWTParameter::buildSystemTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabSystem"));

    txtUserSum = lineEdit(page, QStringLiteral("txtUserSum"), QStringLiteral("用户容量"));
    txtGrade = lineEdit(page, QStringLiteral("txtGrade"), QStringLiteral("超额或清账后等级"));
    cmbPHNLen = comboBox(page, QStringLiteral("cmbPHNLen"), QStringLiteral("分机号长"), numbers(3, 6));
    cmbCodeLen = comboBox(page, QStringLiteral("cmbCodeLen"), QStringLiteral("随机账号密码长度"), numbers(1, 8));
    cmbHead = comboBox(page, QStringLiteral("cmbHead"), QStringLiteral("功能首位字头"), numbers(1, 9));
    txtNightNO = lineEdit(page, QStringLiteral("txtNightNO"), QStringLiteral("夜服值班分机"));
    cmdSet = button(page, QStringLiteral("设置(&T)"), QStringLiteral("cmdSet"));
    chkCodeLMT = checkBox(page, QStringLiteral("启用密码时限制市话"), QStringLiteral("chkCodeLMT"));

    auto *settings = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString &text, QWidget *box, QWidget *extra = nullptr) {
        settings->addWidget(caption(page, text, box), row, 0);
        settings->addWidget(box, row, 1);
        if (extra)
            settings->addWidget(extra, row, 2);
        ++row;
    };
    addRow(QStringLiteral("用  户  容  量："), txtUserSum);
    addRow(QStringLiteral("超额或清账后等级："), txtGrade);
    addRow(QStringLiteral("分  机  号  长："), cmbPHNLen);
    addRow(QStringLiteral("随机账号密码长度："), cmbCodeLen);
    addRow(QStringLiteral("功能首位字头："), cmbHead);
    addRow(QStringLiteral("夜服值班分机："), txtNightNO, cmdSet);
    settings->addWidget(chkCodeLMT, row++, 0, 1, 3);

    auto *signal = new QHBoxLayout;
    optSignal[0] = new QRadioButton(QStringLiteral("音乐"), page);
    optSignal[1] = new QRadioButton(QStringLiteral("回铃音"), page);
    auto *lblSignal = caption(page, QStringLiteral("呼入等待信号音类型："), optSignal[0]);
    signal->addWidget(lblSignal);
    for (int i = 0; i < 2; ++i) {
        optSignal[i]->setObjectName(indexed("optSignal", i));
        signal->addWidget(optSignal[i]);
        connect(optSignal[i], &QRadioButton::clicked, this, [this, i] { optSignal_Click(i); });
    }
    signal->addStretch(1);
    settings->addLayout(signal, row++, 0, 1, 3);
    settings->setRowStretch(row, 1);

    auto *agents = new QGroupBox(QStringLiteral("代理总机"), page);
    auto *agentLayout = new QVBoxLayout(agents);
    for (int i = 0; i < 5; ++i) {
        txtAgent[i] = lineEdit(agents, indexed("txtAgent", i), QStringLiteral("代理总机%1").arg(i + 1));
        agentLayout->addWidget(txtAgent[i]);
    }
    cmdSaveAgent = button(agents, QStringLiteral("保存(&S)"), QStringLiteral("cmdSaveAgent"));
    agentLayout->addWidget(cmdSaveAgent);
    agentLayout->addStretch(1);

    auto *special = new QGroupBox(QStringLiteral("特服号码"), page);
    lstSpecial = new QListWidget(special);
    lstSpecial->setObjectName(QStringLiteral("lstSpecial"));
    lstSpecial->setAccessibleName(QStringLiteral("特服号码"));
    cmdAddSPC = button(special, QStringLiteral("添加(&A)"), QStringLiteral("cmdAddSPC"));
    cmdDelSPC = button(special, QStringLiteral("删除(&D)"), QStringLiteral("cmdDelSPC"));
    auto *specialLayout = new QVBoxLayout(special);
    specialLayout->addWidget(lstSpecial, 1);
    auto *specialButtons = new QHBoxLayout;
    specialButtons->addWidget(cmdAddSPC);
    specialButtons->addWidget(cmdDelSPC);
    specialLayout->addLayout(specialButtons);

    cmdRST = button(page, QStringLiteral("复位交换机(&R)"), QStringLiteral("cmdRST"));
    cmdInitial = button(page, QStringLiteral("初始化交换机(&I)"), QStringLiteral("cmdInitial"));
    chkOutCOMM = checkBox(page, QStringLiteral("启用串口向外发送"), QStringLiteral("chkOutCOMM"));
    cmbCOM = comboBox(page, QStringLiteral("cmbCOM"), QStringLiteral("向外发送串口"), numbers(1, 16));
    chkOutFile = checkBox(page, QStringLiteral("启用文件向外发送"), QStringLiteral("chkOutFile"));
    cmdSelectPath = button(page, QStringLiteral("选择路径(&P)"), QStringLiteral("cmdSelectPath"));
    lblFile = new QLabel(page);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setAccessibleName(QStringLiteral("话单文件路径"));
    chkAutoReset = checkBox(page, QStringLiteral("启用夜间自动复位"), QStringLiteral("chkAutoReset"));

    auto *outward = new QGridLayout;
    outward->addWidget(chkOutCOMM, 0, 0);
    outward->addWidget(cmbCOM, 0, 1);
    outward->addWidget(chkOutFile, 1, 0);
    outward->addWidget(cmdSelectPath, 1, 1);
    outward->addWidget(lblFile, 2, 0, 1, 3);
    outward->addWidget(chkAutoReset, 3, 0, 1, 2);
    outward->setColumnStretch(2, 1);
    auto *switchButtons = new QHBoxLayout;
    switchButtons->addWidget(cmdRST);
    switchButtons->addWidget(cmdInitial);
    switchButtons->addStretch(1);

    auto *right = new QVBoxLayout;
    auto *groups = new QHBoxLayout;
    groups->addWidget(agents);
    groups->addWidget(special, 1);
    right->addLayout(groups, 1);
    right->addLayout(outward);
    right->addLayout(switchButtons);

    auto *layout = new QHBoxLayout(page);
    layout->addLayout(settings);
    layout->addSpacing(16);
    layout->addLayout(right, 1);

    // Boxes are checked as they are left; a refused one keeps the focus.
    for (QWidget *w :
         {static_cast<QWidget *>(txtUserSum), static_cast<QWidget *>(txtGrade), static_cast<QWidget *>(txtNightNO),
          static_cast<QWidget *>(cmbCodeLen), static_cast<QWidget *>(cmbPHNLen), static_cast<QWidget *>(cmbHead),
          static_cast<QWidget *>(cmbCOM)})
        w->installEventFilter(this);
    connect(txtUserSum, &QLineEdit::returnPressed, this, &frmSWTParameter::txtUserSum_Validate);
    connect(txtGrade, &QLineEdit::returnPressed, this, &frmSWTParameter::txtGrade_Validate);
    connect(txtNightNO, &QLineEdit::returnPressed, this, &frmSWTParameter::txtNightNO_Validate);
    // A list acts on a choice from its popup, on Enter or when it is left;
    // an arrow key or a typed digit only moves in it (see eventFilter).
    connect(cmbCodeLen, &QComboBox::activated, this, [this] { listChosen(cmbCodeLen); });
    connect(cmbPHNLen, &QComboBox::activated, this, [this] { listChosen(cmbPHNLen); });
    connect(cmbHead, &QComboBox::activated, this, [this] { listChosen(cmbHead); });
    connect(cmbCOM, &QComboBox::activated, this, [this] { listChosen(cmbCOM); });
    connect(cmdSet, &QPushButton::clicked, this, &frmSWTParameter::cmdSet_Click);
    connect(chkCodeLMT, &QCheckBox::clicked, this, &frmSWTParameter::chkCodeLMT_Click);
    connect(cmdSaveAgent, &QPushButton::clicked, this, &frmSWTParameter::cmdSaveAgent_Click);
    connect(cmdAddSPC, &QPushButton::clicked, this, &frmSWTParameter::cmdAddSPC_Click);
    connect(cmdDelSPC, &QPushButton::clicked, this, &frmSWTParameter::cmdDelSPC_Click);
    connect(cmdRST, &QPushButton::clicked, this, &frmSWTParameter::cmdRST_Click);
    connect(cmdInitial, &QPushButton::clicked, this, &frmSWTParameter::cmdInitial_Click);
    connect(chkOutCOMM, &QCheckBox::clicked, this, &frmSWTParameter::chkOutCOMM_Click);
    connect(chkOutFile, &QCheckBox::clicked, this, &frmSWTParameter::chkOutFile_Click);
    connect(cmdSelectPath, &QPushButton::clicked, this, &frmSWTParameter::cmdSelectPath_Click);
    connect(chkAutoReset, &QCheckBox::clicked, this, &frmSWTParameter::chkAutoReset_Click);
    return page;
}

QWidget *frmSWTParameter::buildTrunkTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabTrunk"));

    hfgExchange = new FlexGrid(page);
    hfgExchange->setObjectName(QStringLiteral("hfgExchange"));
    hfgExchange->setAccessibleName(QStringLiteral("中继设置"));
    hfgExchange->setKeyColumns(1); // the trunk stays in view
    SetColWidths(*hfgExchange, ExchangeWidths);
    txtExchange = lineEdit(page, QStringLiteral("txtExchange"), QStringLiteral("单元格编辑"));
    txtExchange->hide();

    txtExBegin = lineEdit(page, QStringLiteral("txtExBegin"), QStringLiteral("从中继号"));
    txtExEnd = lineEdit(page, QStringLiteral("txtExEnd"), QStringLiteral("到中继号"));
    txtValue = lineEdit(page, QStringLiteral("txtValue"), QStringLiteral("数据批量修改为"));
    cmbValue = comboBox(page, QStringLiteral("cmbValue"), QStringLiteral("数据批量修改为"));
    cmbValue->hide();
    cmdAmend = button(page, QStringLiteral("批量修改(&B)"), QStringLiteral("cmdAmend"));
    cmdAmend->setEnabled(false);
    lblTip = new QLabel(StartTip(), page);
    lblTip->setObjectName(QStringLiteral("lblTip"));

    auto *batch = new QHBoxLayout;
    batch->addWidget(caption(page, QStringLiteral("从中继号："), txtExBegin));
    batch->addWidget(txtExBegin);
    batch->addWidget(caption(page, QStringLiteral("到中继号："), txtExEnd));
    batch->addWidget(txtExEnd);
    auto *lblValue = caption(page, QStringLiteral("数据批量修改为："), txtValue);
    batch->addWidget(lblValue);
    batch->addWidget(txtValue);
    batch->addWidget(cmbValue);
    batch->addWidget(cmdAmend);
    batch->addStretch(1);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgExchange, 1);
    layout->addLayout(batch);
    layout->addWidget(lblTip);

    connect(hfgExchange, &FlexGrid::MouseDown, this, [this](Qt::MouseButton b, Qt::KeyboardModifiers) {
        if (b == Qt::LeftButton)
            hfgExchange_MouseDown();
    });
    connect(hfgExchange, &FlexGrid::MouseUp, this, [this](Qt::MouseButton b, Qt::KeyboardModifiers) {
        if (b == Qt::LeftButton)
            hfgExchange_MouseUp();
    });
    attachTrunkCells();
    connect(cmdAmend, &QPushButton::clicked, this, &frmSWTParameter::cmdAmend_Click);
    return page;
}

// ---- loading ------------------------------------------------------------------------------

void frmSWTParameter::Form_Load()
{
    LoadSystemSettings();
    ShowNightExtension();
    ShowAgents();
    ShowSpecialNumbers();
    fillTrunks();
}

void frmSWTParameter::LoadSystemSettings()
{
    const ConfigRow c = m_params->config();
    txtUserSum->setText(c.get(ConfigField::Capacity));
    txtGrade->setText(c.get(ConfigField::DemoteClass));
    cmbCodeLen->setCurrentIndex(int(ValInt(c.get(ConfigField::PasswordLength))) - 1);
    cmbPHNLen->setCurrentIndex(int(ValInt(c.get(ConfigField::NumberLength))) - 3);
    cmbHead->setCurrentIndex(int(ValInt(c.get(ConfigField::FunctionDigit))) - 1);
    chkCodeLMT->setChecked(isOn(c.get(ConfigField::CodeLimit)));
    const int signal = int(ValInt(c.get(ConfigField::Signal)));
    if (signal == 0 || signal == 1)
        optSignal[signal]->setChecked(true);
    chkOutCOMM->setChecked(isOn(c.get(ConfigField::OutwardOn)));
    cmbCOM->setCurrentIndex(int(ValInt(c.get(ConfigField::OutwardPort))) - 1);
    chkOutFile->setChecked(isOn(c.get(ConfigField::FileOutputOn)));
    lblFile->setText(c.get(ConfigField::FilePath));
    chkAutoReset->setChecked(isOn(c.get(ConfigField::NightReset)));
}

void frmSWTParameter::ShowNightExtension() { txtNightNO->setText(m_params->nightNumber()); }

void frmSWTParameter::ShowAgents()
{
    const QStringList agents = m_params->agentNumbers();
    for (int i = 0; i < AgentCount; ++i)
        txtAgent[i]->setText(agents.value(i));
}

void frmSWTParameter::ShowSpecialNumbers()
{
    lstSpecial->clear();
    lstSpecial->addItems(m_params->specialNumbers());
}

void frmSWTParameter::fillTrunks() { FillGrid(m_params->trunks(), *hfgExchange, TrunkFieldCount, 0, 0); }

// ---- shared steps ---------------------------------------------------------------------------

void frmSWTParameter::listChosen(QComboBox *list)
{
    if (list == m_movingIn)
        return;
    if (list == cmbCodeLen)
        cmbCodeLen_LostFocus();
    else if (list == cmbPHNLen)
        cmbPHNLen_LostFocus();
    else if (list == cmbHead)
        cmbHead_LostFocus();
    else if (list == cmbCOM)
        cmbCOM_LostFocus();
}

bool frmSWTParameter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmbCodeLen || watched == cmbPHNLen || watched == cmbHead || watched == cmbCOM) {
        auto *list = static_cast<QComboBox *>(watched);
        // These lists program the switch: a wheel turn never changes them.
        if (event->type() == QEvent::Wheel)
            return true;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_movingIn = nullptr;
                listChosen(list);
                return true;
            }
            // The key moves in the closed list (the combo box reports that as
            // activated); the value is stored on Enter or when the list is left.
            m_movingIn = list;
            QTimer::singleShot(0, this, [this] { m_movingIn = nullptr; });
        }
    }
    if (event->type() == QEvent::FocusOut && !m_checking) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // A message box or a menu taking the focus for a moment is not leaving.
        const bool leaving = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        if (leaving) {
            if (watched == txtUserSum)
                txtUserSum_Validate();
            else if (watched == txtGrade)
                txtGrade_Validate();
            else if (watched == txtNightNO)
                txtNightNO_Validate();
            else if (watched == cmbCodeLen)
                cmbCodeLen_LostFocus();
            else if (watched == cmbPHNLen)
                cmbPHNLen_LostFocus();
            else if (watched == cmbHead)
                cmbHead_LostFocus();
            else if (watched == cmbCOM)
                cmbCOM_LostFocus();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSWTParameter::refuseAndKeepFocus(const QString &reason, QLineEdit *box)
{
    m_checking = true;
    m_ctx.messages.inputError(reason, this);
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
    m_checking = false;
}

bool frmSWTParameter::finishStore(const StoreResult &result)
{
    if (!m_notice.note(result.status, this))
        return false;
    sendKept();
    return true;
}

// A change and its commands are committed together, each command with the
// gap the switch needs after it.
StoreResult frmSWTParameter::kept(const std::function<StoreResult()> &store)
{
    return StoreKept(m_ctx.db, store, &SwitchParameters::GapAfter);
}

// Every command goes through the link's queue, paced there: the handler
// returns at once and the call intake goes on while a long batch is sent.
CommandBatch *frmSWTParameter::sendKept() { return m_ctx.link ? m_ctx.link->SendKeptAndTell(this) : nullptr; }

// Reset and initialisation change nothing stored: they are meant for the
// switch as it is now and are not kept for a later link.
void frmSWTParameter::sendNow(const QStringList &codes)
{
    if (!m_ctx.link)
        return;
    if (!m_ctx.link->CanSend()) {
        m_ctx.messages.show(QStringLiteral("交换机未连接，命令未发送。"), QStringLiteral("参数设置"),
                            MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        return;
    }
    QList<LinkCommand> commands;
    for (const QString &code : codes)
        commands << LinkCommand::Star(code, SwitchParameters::GapAfter(code));
    m_ctx.link->Queue(commands);
}

bool frmSWTParameter::confirm(const QString &text)
{
    return m_ctx.messages.show(text, QStringLiteral("复位确认"), MessageService::Icon::Question,
                               MessageService::Buttons::OkCancelDefaultCancel, this)
           == MessageService::Answer::Ok;
}

// ---- system tab -------------------------------------------------------------------------------

void frmSWTParameter::txtUserSum_Validate()
{
    if (m_checking)
        return;
    const QString text = txtUserSum->text().trimmed();
    if (text == m_params->setting(ConfigField::Capacity))
        return;
    const Checked<QString> v = m_params->checkCapacity(text);
    if (!v) {
        refuseAndKeepFocus(v.reason(), txtUserSum);
        return;
    }
    if (!finishStore(kept([&] { return m_params->storeCapacity(*v); })))
        return;
    txtUserSum->setText(*v);
    // The switch keeps its capacity in units of eight; the comparison will
    // show such a capacity as different.
    if (const QString note = SwitchParameters::CapacityNote(*v); !note.isEmpty())
        m_ctx.messages.show(note, QStringLiteral("参数设置"), MessageService::Icon::Information,
                            MessageService::Buttons::Ok, this);
}

void frmSWTParameter::txtGrade_Validate()
{
    if (m_checking)
        return;
    const QString text = txtGrade->text().trimmed();
    if (text == m_params->setting(ConfigField::DemoteClass))
        return;
    const Checked<QString> v = m_params->checkGrade(text);
    if (!v) {
        refuseAndKeepFocus(v.reason(), txtGrade);
        return;
    }
    if (finishStore(kept([&] { return m_params->storeGrade(*v); })))
        txtGrade->setText(*v);
}

void frmSWTParameter::txtNightNO_Validate()
{
    if (m_checking)
        return;
    // An emptied box is left as it is: nothing is stored or sent until "设置".
    if (txtNightNO->text().trimmed().isEmpty())
        return;
    const Checked<QString> v = m_params->checkNightNumber(txtNightNO->text());
    if (!v)
        refuseAndKeepFocus(v.reason(), txtNightNO);
}

void frmSWTParameter::cmbCodeLen_LostFocus()
{
    finishStore(kept([&] { return m_params->storeCodeLength(cmbCodeLen->currentText()); }));
}

void frmSWTParameter::cmbPHNLen_LostFocus()
{
    const QString length = cmbPHNLen->currentText();
    if (length == m_params->setting(ConfigField::NumberLength))
        return;
    // A renumbering that cannot be done is refused as bad input; the list
    // goes back to the stored length.
    if (Status s = m_params->checkNumberLength(length); !s) {
        m_ctx.messages.inputError(s.reason(), this);
        cmbPHNLen->setCurrentIndex(int(ValInt(m_params->setting(ConfigField::NumberLength))) - 3);
        return;
    }
    // Every extension gets a new number and the switch renumbers for ten
    // seconds: only on the operator's word.
    if (m_ctx.messages.show(RenumberQuestion(length), QStringLiteral("分机号长"), MessageService::Icon::Question,
                            MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes) {
        cmbPHNLen->setCurrentIndex(int(ValInt(m_params->setting(ConfigField::NumberLength))) - 3);
        return;
    }
    if (!finishStore(kept([&] { return m_params->storeNumberLength(length); })))
        cmbPHNLen->setCurrentIndex(int(ValInt(m_params->setting(ConfigField::NumberLength))) - 3);
    // Every number shown from a port has changed.
    ShowNightExtension();
    ShowAgents();
    fillTrunks();
}

void frmSWTParameter::cmbHead_LostFocus()
{
    finishStore(kept([&] { return m_params->storeFunctionDigit(cmbHead->currentText()); }));
}

void frmSWTParameter::chkCodeLMT_Click()
{
    if (!finishStore(kept([&] { return m_params->storeCodeLimit(chkCodeLMT->isChecked()); })))
        chkCodeLMT->setChecked(isOn(m_params->setting(ConfigField::CodeLimit)));
}

void frmSWTParameter::optSignal_Click(int Index)
{
    if (!finishStore(kept([&] { return m_params->storeSignal(Index); }))) {
        const int stored = int(ValInt(m_params->setting(ConfigField::Signal)));
        if (stored == 0 || stored == 1)
            optSignal[stored]->setChecked(true);
    }
}

void frmSWTParameter::cmdSet_Click()
{
    const Checked<QString> v = m_params->checkNightNumber(txtNightNO->text());
    if (!v) {
        refuseAndKeepFocus(v.reason(), txtNightNO);
        return;
    }
    finishStore(kept([&] { return m_params->storeNightNumber(*v); }));
}

void frmSWTParameter::cmdSaveAgent_Click()
{
    QStringList numbers;
    for (QLineEdit *box : txtAgent)
        numbers << box->text().trimmed();
    // Every box is checked before anything goes: after a refusal the switch
    // and the table still agree.
    const Checked<QStringList> ports = m_params->checkAgents(numbers);
    if (!ports) {
        m_ctx.messages.inputError(ports.reason(), this);
        return;
    }
    finishStore(kept([&] { return m_params->storeAgents(numbers); }));
}

void frmSWTParameter::cmdAddSPC_Click()
{
    const std::optional<QString> answer = m_ctx.messages.askText(QStringLiteral("请输入需添加的特服号！"),
                                                                 QStringLiteral("添加特服号码"), QString(), this);
    const Checked<QString> v = m_params->checkSpecialNumber(answer.value_or(QString()).trimmed());
    if (!v) {
        m_ctx.messages.inputError(v.reason(), this);
        return;
    }
    finishStore(kept([&] { return m_params->addSpecialNumber(*v); }));
    ShowSpecialNumbers();
}

void frmSWTParameter::cmdDelSPC_Click()
{
    QListWidgetItem *item = lstSpecial->currentItem();
    if (!item || !item->isSelected()) {
        m_ctx.messages.show(QStringLiteral("请在列表中选择要删除的特服号码！"), QStringLiteral("无法删除"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    if (!m_ctx.messages.confirmDeletion(QStringLiteral("是否删除特服号码“%1”？").arg(item->text()),
                                        QStringLiteral("删除特服号码"), this))
        return;
    finishStore(kept([&] { return m_params->deleteSpecialNumber(item->text()); }));
    ShowSpecialNumbers();
}

void frmSWTParameter::cmdRST_Click()
{
    if (confirm(QStringLiteral("您确认需要进行复位操作吗？")))
        sendNow(SwitchParameters::ResetCommands());
}

void frmSWTParameter::cmdInitial_Click()
{
    if (!confirm(QStringLiteral("您确认需要进行初始化操作吗？")))
        return;
    if (!confirm(QStringLiteral("初始化交换机将改变部分数据和全部设置参数为出厂状态！请再次确认！")))
        return;
    sendNow(SwitchParameters::InitialCommands());
}

void frmSWTParameter::openOutwardPort()
{
    if (!m_ctx.link)
        return;
    const int n = int(ValInt(cmbCOM->currentText()));
    if (!m_ctx.link->OpenOutPort(n))
        m_ctx.messages.show(QStringLiteral("串口%1无法打开，话单不能向外发送！").arg(n), QStringLiteral("串口错误"),
                            MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
}

void frmSWTParameter::chkOutCOMM_Click()
{
    const bool on = chkOutCOMM->isChecked();
    if (!finishStore(kept([&] { return m_params->storeFlag(ConfigField::OutwardOn, on); }))) {
        chkOutCOMM->setChecked(isOn(m_params->setting(ConfigField::OutwardOn)));
        return;
    }
    if (on)
        openOutwardPort();
    else if (m_ctx.link)
        m_ctx.link->CloseOutPort();
}

void frmSWTParameter::cmbCOM_LostFocus()
{
    const QString number = cmbCOM->currentText();
    if (number == m_params->setting(ConfigField::OutwardPort))
        return;
    if (!finishStore(kept([&] { return m_params->storeOutwardPort(number); })))
        return;
    if (m_ctx.link)
        m_ctx.link->ports().setOutPortNumber(int(ValInt(number)));
    if (chkOutCOMM->isChecked())
        openOutwardPort();
}

void frmSWTParameter::chkOutFile_Click()
{
    if (!finishStore(kept([&] { return m_params->storeFlag(ConfigField::FileOutputOn, chkOutFile->isChecked()); })))
        chkOutFile->setChecked(isOn(m_params->setting(ConfigField::FileOutputOn)));
}

void frmSWTParameter::cmdSelectPath_Click()
{
    QFileDialog cdlFile(this, QStringLiteral("选择路径"));
    cdlFile.setObjectName(QStringLiteral("cdlFile"));
    cdlFile.setAcceptMode(QFileDialog::AcceptSave);
    cdlFile.setFileMode(QFileDialog::AnyFile);
    cdlFile.setOption(QFileDialog::DontUseNativeDialog);
    cdlFile.setOption(QFileDialog::DontConfirmOverwrite);
    if (ShowModal(m_ctx, cdlFile) != QDialog::Accepted || cdlFile.selectedFiles().isEmpty())
        return;
    const Checked<QString> folder = SwitchParameters::PrepareOutputFolder(cdlFile.selectedFiles().first());
    if (!folder) {
        m_ctx.messages.inputError(folder.reason(), this);
        return;
    }
    if (finishStore(kept([&] { return m_params->storeOutputFolder(*folder); })))
        lblFile->setText(*folder);
}

void frmSWTParameter::chkAutoReset_Click()
{
    if (!finishStore(kept([&] { return m_params->storeFlag(ConfigField::NightReset, chkAutoReset->isChecked()); })))
        chkAutoReset->setChecked(isOn(m_params->setting(ConfigField::NightReset)));
}

// ---- trunk tab --------------------------------------------------------------------------------

void frmSWTParameter::hfgExchange_MouseDown()
{
    const int r = hfgExchange->row();
    const int c = hfgExchange->col();
    if (r < hfgExchange->fixedRows() || c < 0)
        return;
    txtExBegin->setText(hfgExchange->textMatrix(r, gridColumn(TrunkField::Trunk)).trimmed());
    txtExEnd->clear();
    const std::optional<TrunkField> field = gridField(c);
    if (!field)
        return;
    const QStringList choices = SwitchParameters::choicesOf(*field);
    if (!choices.isEmpty()) {
        ShowChoices(cmbValue, hfgExchange->textMatrix(r, c), choices);
        txtValue->hide();
    } else if (SwitchParameters::isNumberField(*field)) {
        cmbValue->hide();
        txtValue->show();
        txtValue->setText(hfgExchange->textMatrix(r, c));
    }
}

void frmSWTParameter::hfgExchange_MouseUp()
{
    if (hfgExchange->row() < hfgExchange->fixedRows())
        return;
    if (hfgExchange->col() == hfgExchange->colSel()) {
        const int c = hfgExchange->col();
        const QString header = hfgExchange->textMatrix(0, c);
        txtExEnd->setText(hfgExchange->textMatrix(hfgExchange->rowSel(), gridColumn(TrunkField::Trunk)).trimmed());
        lblTip->setText(QStringLiteral("提示：批量修改'") + header + QStringLiteral("'!"));
        cmdAmend->setText(QStringLiteral("批量修改(&B)\n\n'") + header + QStringLiteral("'"));
        cmdAmend->setEnabled(c >= gridColumn(TrunkField::OnOff));
    } else {
        lblTip->setText(QStringLiteral("提示：您选择了网格的多列数据，程序无法进行批量修改！"));
        cmdAmend->setText(QStringLiteral("批量修改(&B)"));
        cmdAmend->setEnabled(false);
    }
}

// A trunk's cell edited in place (double click, Enter or F2): a listed value
// steps or is chosen, a number is typed; either is the batch over that one trunk.
void frmSWTParameter::attachTrunkCells()
{
    GridCellEditor::Hooks hooks;
    hooks.rule = [](const GridCell &c) {
        const std::optional<TrunkField> field = gridField(c.col);
        if (!field || *field == TrunkField::Trunk)
            return CellRule::fixed();
        const QStringList choices = SwitchParameters::choicesOf(*field);
        // A mark that is neither becomes "√", any other list starts again at its first.
        if (!choices.isEmpty())
            return CellRule::cycle(choices,
                                   choices == SwitchParameters::CheckMarks() ? choices.last() : choices.first());
        return SwitchParameters::isNumberField(*field) ? CellRule::text() : CellRule::fixed();
    };
    hooks.rowId = [this](int r) {
        bool ok = false;
        const int trunk = hfgExchange->textMatrix(r, gridColumn(TrunkField::Trunk)).trimmed().toInt(&ok);
        return ok ? qint64(trunk) : qint64(-1);
    };
    hooks.check = [this](const GridCell &c, const QString &v) -> Checked<QString> {
        const Checked<QString> value = m_params->checkTrunkValue(*gridField(c.col), v);
        if (!value)
            return value;
        const QString trunk = QString::number(c.rowId);
        if (const auto range = m_params->checkTrunkRange(trunk, trunk); !range)
            return Checked<QString>::refuse(range.reason());
        return value;
    };
    hooks.store = [this](const GridCell &c, const QString &v) -> StoreResult {
        const TrunkField field = *gridField(c.col);
        // The batch boxes show the change as a batch over this one trunk.
        const QString trunk = QString::number(c.rowId);
        txtExBegin->setText(trunk);
        txtExEnd->setText(trunk);
        const QStringList choices = SwitchParameters::choicesOf(field);
        if (!choices.isEmpty()) {
            ShowChoices(cmbValue, v, choices);
            txtValue->hide();
        } else {
            cmbValue->hide();
            txtValue->show();
            txtValue->setText(v);
        }
        m_cellBatch = keepTrunkBatch(field, int(c.rowId), int(c.rowId), v);
        return StoreResult(m_cellBatch.status, {}, true);
    };
    hooks.stored = [this](const GridCell &c, const QString &, const StoreResult &) {
        // The rows show what the switch holds (a virtual operator moves up, say).
        showTrunkBatch(*gridField(c.col), std::exchange(m_cellBatch, TrunkBatch{}));
    };
    m_trunkCells = new GridCellEditor(hfgExchange, txtExchange, m_ctx.messages, m_notice, this, hooks);
}

void frmSWTParameter::cmdAmend_Click()
{
    const std::optional<TrunkField> field = gridField(hfgExchange->col());
    if (!field || *field == TrunkField::Trunk)
        return;
    const bool numberField = SwitchParameters::isNumberField(*field);
    const QString text = numberField ? txtValue->text() : cmbValue->currentText();
    const Checked<QString> value = m_params->checkTrunkValue(*field, text);
    if (!value) {
        m_ctx.messages.inputError(value.reason(), this);
        return;
    }
    const Checked<std::pair<int, int>> range = m_params->checkTrunkRange(txtExBegin->text(), txtExEnd->text());
    if (!range) {
        m_ctx.messages.inputError(range.reason(), this);
        return;
    }
    runTrunkBatch(*field, range->first, range->second, *value);
}

void frmSWTParameter::runTrunkBatch(TrunkField field, int first, int last, const QString &value)
{
    showTrunkBatch(field, keepTrunkBatch(field, first, last, value));
}

TrunkBatch frmSWTParameter::keepTrunkBatch(TrunkField field, int first, int last, const QString &value)
{
    // The rows and the commands of every trunk are committed together.
    TrunkBatch batch;
    const Status s = InTransaction(m_ctx.db, [&]() -> Status {
        batch = m_params->ApplyTrunkSetting(field, first, last, value);
        if (!batch)
            return batch.status;
        QList<PendingCommand> commands;
        for (const QStringList &codes : batch.commands) {
            for (const QString &code : codes)
                commands << PendingCommand::Star(code, CommandGapMs);
            if (!codes.isEmpty())
                commands.last().gapMs += TrunkGapMs;
        }
        return PendingCommands(m_ctx.db).keep(commands);
    });
    if (batch && !s)
        batch.status = s;
    return batch;
}

void frmSWTParameter::showTrunkBatch(TrunkField field, const TrunkBatch &batch)
{
    if (!m_notice.note(batch.status, this)) {
        fillTrunks();
        return;
    }
    if (batch.refill) {
        fillTrunks();
    } else {
        for (const QString &trunk : batch.trunks) {
            const int r = FindGridRow(trunk, *hfgExchange, gridColumn(TrunkField::Trunk));
            if (r > 0)
                hfgExchange->setTextMatrix(r, gridColumn(field), batch.cell);
        }
    }
    showBatchProgress(batch, sendKept());
}

// The tip follows the queue: "已经处理k/n" while trunk k's commands are going
// out, "已经处理完毕！" when the last has gone.
void frmSWTParameter::showBatchProgress(const TrunkBatch &batch, CommandBatch *queued)
{
    const int n = int(batch.trunks.size());
    if (m_ctx.link && !m_ctx.link->CanSend() && m_ctx.link->KeptCount() > 0) {
        lblTip->setText(QStringLiteral("提示：") + m_ctx.link->WaitingText());
        return;
    }
    if (!queued) {
        lblTip->setText(FinishedTip());
        return;
    }
    QList<int> ends; // number of commands up to and including trunk k
    int total = 0;
    for (const QStringList &codes : batch.commands)
        ends << (total += int(codes.size()));
    auto tipFor = [n, ends](int done) {
        int k = 0;
        while (k < n - 1 && done > ends.at(k))
            ++k;
        return QStringLiteral("提示：已经处理%1/%2").arg(k + 1).arg(n);
    };
    lblTip->setText(tipFor(1));
    QPointer<QLabel> tip(lblTip);
    connect(queued, &CommandBatch::progress, lblTip, [tip, tipFor](int done, int all, const QString &) {
        if (tip && done < all)
            tip->setText(tipFor(done + 1));
    });
    connect(queued, &CommandBatch::finished, lblTip, [tip](int, int) {
        if (tip)
            tip->setText(FinishedTip());
    });
}

void frmSWTParameter::cmdExit_Click() { close(); }

} // namespace corvane
