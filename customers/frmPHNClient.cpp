#include "frmPHNClient.h"

#include "ConsoleContext.h"
#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "FlexGrid.h"
#include "General.h"
#include "GridHelpers.h"
#include "Recordset.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane {

namespace {

const QString kAmend = QStringLiteral("修改");
const QString kSave = QStringLiteral("保存");
const QString kRetype = QStringLiteral("请重新输入");
const QString kDuplicate = QStringLiteral("输入的编号已经存在！");
const QString kNeedPhoneNumber = QStringLiteral("请输入数字作为电话号码！");
const QString kNeedClientNumber = QStringLiteral("请输入数字作为客户编号！");

constexpr int ClientFax = 4;
constexpr int ClientPhone1 = 10;

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// The boxes that hold numbers and are stored trimmed, so that a caller's
// number finds them exactly.
bool isClientNumberBox(int i) { return i == 0 || i == ClientFax || i >= ClientPhone1; }

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    // A mouse click leaves the focus in the box being edited, so that its
    // check runs before the button acts (see the save steps); Tab still
    // reaches the buttons.
    b->setFocusPolicy(Qt::TabFocus);
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmPHNClient::frmPHNClient(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmPHNClient"));
    setWindowTitle(QStringLiteral("客户/黑名单信息"));

    sstClient = new QTabWidget(this);
    sstClient->setObjectName(QStringLiteral("sstClient"));
    sstClient->addTab(buildClientTab(), QStringLiteral("客户信息"));
    sstClient->addTab(buildBlacklistTab(), QStringLiteral("黑名单"));

    cmdLeave = makeButton(this, "cmdLeave", QStringLiteral("离开(&L)"));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdLeave);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstClient, 1);
    layout->addLayout(bottom);

    connect(cmdLeave, &QPushButton::clicked, this, &frmPHNClient::cmdLeave_Click);
    connect(hfgClient, &FlexGrid::Click, this, &frmPHNClient::hfgClient_Click);
    connect(cmdAddClient, &QPushButton::clicked, this, &frmPHNClient::cmdAddClient_Click);
    connect(cmdAmendClient, &QPushButton::clicked, this, &frmPHNClient::cmdAmendClient_Click);
    connect(cmdDeleteClient, &QPushButton::clicked, this, &frmPHNClient::cmdDeleteClient_Click);
    connect(hfgBlacklist, &FlexGrid::Click, this, &frmPHNClient::hfgBlacklist_Click);
    connect(cmdAddBlacklist, &QPushButton::clicked, this, &frmPHNClient::cmdAddBlacklist_Click);
    connect(cmdAmendBlacklist, &QPushButton::clicked, this, &frmPHNClient::cmdAmendBlacklist_Click);
    connect(cmdDeleteBlacklist, &QPushButton::clicked, this, &frmPHNClient::cmdDeleteBlacklist_Click);

    resize(900, 640);
    Form_Load();
}

frmPHNClient::~frmPHNClient() = default;

QWidget *frmPHNClient::buildClientTab()
{
    auto *page = new QWidget;
    hfgClient = new FlexGrid(page);
    hfgClient->setObjectName(QStringLiteral("hfgClient"));
    hfgClient->setAccessibleName(QStringLiteral("客户列表"));

    fraClient = new QGroupBox(QStringLiteral("客户信息："), page);
    fraClient->setObjectName(QStringLiteral("fraClient"));
    const QStringList captions{QStringLiteral("客户编号："), QStringLiteral("姓名："), QStringLiteral("单位："),
                               QStringLiteral("网址："),     QStringLiteral("传真："), QStringLiteral("住址："),
                               QStringLiteral("邮编："),     QStringLiteral("邮箱："), QStringLiteral("事项："),
                               QStringLiteral("备注：")};
    auto *boxes = new QGridLayout(fraClient);
    for (int i = 0; i < ClientColumns; ++i) {
        const QString caption = i < captions.size() ? captions.at(i)
                                                    : QStringLiteral("电话%1：").arg(i - ClientPhone1 + 1);
        auto *label = new QLabel(caption, fraClient);
        txtClient[i] = new QLineEdit(fraClient);
        txtClient[i]->setObjectName(QStringLiteral("txtClient_%1").arg(i));
        label->setBuddy(txtClient[i]);
        txtClient[i]->installEventFilter(this);
        // Two columns of ten: the particulars on the left, the phones on the right.
        const int row = i % 10;
        const int col = (i / 10) * 2;
        boxes->addWidget(label, row, col);
        boxes->addWidget(txtClient[i], row, col + 1);
    }
    boxes->setColumnStretch(1, 2);
    boxes->setColumnStretch(3, 1);

    cmdAddClient = makeButton(page, "cmdAddClient", QStringLiteral("添加"));
    cmdDeleteClient = makeButton(page, "cmdDeleteClient", QStringLiteral("删除"));
    cmdAmendClient = makeButton(page, "cmdAmendClient", kAmend);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddClient);
    buttons->addWidget(cmdDeleteClient);
    buttons->addWidget(cmdAmendClient);
    buttons->addStretch(1);

    auto *lower = new QHBoxLayout;
    lower->addWidget(fraClient, 1);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgClient, 1);
    layout->addLayout(lower);
    return page;
}

QWidget *frmPHNClient::buildBlacklistTab()
{
    auto *page = new QWidget;
    hfgBlacklist = new FlexGrid(page);
    hfgBlacklist->setObjectName(QStringLiteral("hfgBlacklist"));
    hfgBlacklist->setAccessibleName(QStringLiteral("黑名单列表"));

    fraBlacklist = new QGroupBox(QStringLiteral("黑名单信息："), page);
    fraBlacklist->setObjectName(QStringLiteral("fraBlacklist"));
    const QStringList captions{QStringLiteral("电话号码："), QStringLiteral("备    注：")};
    auto *boxes = new QGridLayout(fraBlacklist);
    for (int i = 0; i < BlacklistColumns; ++i) {
        auto *label = new QLabel(captions.at(i), fraBlacklist);
        txtBlacklist[i] = new QLineEdit(fraBlacklist);
        txtBlacklist[i]->setObjectName(QStringLiteral("txtBlacklist_%1").arg(i));
        label->setBuddy(txtBlacklist[i]);
        txtBlacklist[i]->installEventFilter(this);
        boxes->addWidget(label, i, 0);
        boxes->addWidget(txtBlacklist[i], i, 1);
    }

    cmdAddBlacklist = makeButton(page, "cmdAddBlacklist", QStringLiteral("添加"));
    cmdDeleteBlacklist = makeButton(page, "cmdDeleteBlacklist", QStringLiteral("删除"));
    cmdAmendBlacklist = makeButton(page, "cmdAmendBlacklist", kAmend);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddBlacklist);
    buttons->addWidget(cmdDeleteBlacklist);
    buttons->addWidget(cmdAmendBlacklist);
    buttons->addStretch(1);

    auto *lower = new QHBoxLayout;
    lower->addWidget(fraBlacklist, 1);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgBlacklist, 1);
    layout->addLayout(lower);
    return page;
}

void frmPHNClient::Form_Load()
{
    m_client = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("Client"), Criteria(),
                                           Database::quoteId(QStringLiteral("编号")));
    m_black = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("BlackLst"));

    QList<int> widths{1000, 2300};
    while (widths.size() < ClientColumns)
        widths << 1000;
    SetColWidths(*hfgClient, widths);
    fillClientGrid();
    SetColWidths(*hfgBlacklist, {2000, 7500});
    fillBlacklistGrid();

    setClientBoxes(false, false);
    setBlacklistBoxes(false, false);
}

void frmPHNClient::cmdLeave_Click() { close(); }

void frmPHNClient::fillClientGrid()
{
    m_client->requery();
    FillGrid(*m_client, *hfgClient, 0, 0, 0);
}

void frmPHNClient::fillBlacklistGrid()
{
    m_black->requery();
    FillGrid(*m_black, *hfgBlacklist, 0, 0, 0);
}

void frmPHNClient::setClientBoxes(bool enabled, bool clear)
{
    m_validating = true;   // programmatic: no leave checks
    for (QLineEdit *box : txtClient) {
        if (clear)
            box->clear();
        box->setEnabled(enabled);
    }
    m_validating = false;
    if (!enabled)
        m_lastClientBox = nullptr;
}

void frmPHNClient::setBlacklistBoxes(bool enabled, bool clear)
{
    m_validating = true;
    for (QLineEdit *box : txtBlacklist) {
        if (clear)
            box->clear();
        box->setEnabled(enabled);
    }
    m_validating = false;
    if (!enabled)
        m_lastBlackBox = nullptr;
}

void frmPHNClient::focusBox(QLineEdit *box, bool selectAll)
{
    if (selectAll)
        SelectAllText(box);
    else
        box->setFocus(Qt::OtherFocusReason);
}

bool frmPHNClient::showSaveError(const QString &what)
{
    m_ctx.messages.show(what + m_ctx.db.lastError(), QStringLiteral("数据库错误"), MessageService::Icon::Critical,
                        MessageService::Buttons::Ok, this);
    return false;
}

// ---- leaving a box ------------------------------------------------------------

bool frmPHNClient::mustBeNumber(const QLineEdit *box) const
{
    for (int i = 0; i < ClientColumns; ++i)
        if (txtClient[i] == box)
            return isClientNumberBox(i);
    return box == txtBlacklist[0];
}

bool frmPHNClient::txtClient_Validate(int index)
{
    if (index < 0 || index >= ClientColumns || !isClientNumberBox(index))
        return true;
    const QString text = txtClient[index]->text();
    // Fax and phones are optional: an empty one may be left. The client
    // number is not.
    if (IsNumeric(text) || (index != 0 && text.trimmed().isEmpty()))
        return true;
    m_validating = true;
    m_ctx.messages.inputError(index == 0 ? kNeedClientNumber : kNeedPhoneNumber, this);
    m_validating = false;
    return false;
}

bool frmPHNClient::txtBlacklist_Validate(int index)
{
    if (index != 0 || IsNumeric(txtBlacklist[0]->text()))
        return true;
    m_validating = true;
    m_ctx.messages.inputError(kNeedPhoneNumber, this);
    m_validating = false;
    return false;
}

bool frmPHNClient::validatePendingClientBox()
{
    QLineEdit *box = m_lastClientBox;
    if (!box || !box->isEnabled())
        return true;
    const int index = int(std::find(txtClient.begin(), txtClient.end(), box) - txtClient.begin());
    if (txtClient_Validate(index))
        return true;
    focusBox(box, false);
    return false;
}

bool frmPHNClient::validatePendingBlacklistBox()
{
    QLineEdit *box = m_lastBlackBox;
    if (!box || !box->isEnabled())
        return true;
    const int index = box == txtBlacklist[0] ? 0 : 1;
    if (txtBlacklist_Validate(index))
        return true;
    focusBox(box, false);
    return false;
}

bool frmPHNClient::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (!box)
        return QDialog::eventFilter(watched, event);
    const bool isClient = std::find(txtClient.begin(), txtClient.end(), box) != txtClient.end();
    QLineEdit *&last = isClient ? m_lastClientBox : m_lastBlackBox;
    if (event->type() == QEvent::FocusIn) {
        last = box;
    } else if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Another window taking over (a message box, the desktop) is not
        // leaving the box; the focus comes back to it.
        const bool leaving = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        if (leaving && !m_validating && box->isEnabled()) {
            bool ok = true;
            if (mustBeNumber(box)) {
                if (isClient) {
                    const int index = int(std::find(txtClient.begin(), txtClient.end(), box) - txtClient.begin());
                    ok = txtClient_Validate(index);
                } else {
                    ok = txtBlacklist_Validate(0);
                }
            }
            if (ok) {
                last = nullptr;
            } else {
                // The focus stays in the box until it holds a number.
                QTimer::singleShot(0, box, [box] { box->setFocus(Qt::OtherFocusReason); });
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- client register --------------------------------------------------------------

void frmPHNClient::hfgClient_Click()
{
    const int row = hfgClient->row();
    if (row < hfgClient->fixedRows())
        return;
    const QString number = hfgClient->textMatrix(row, 0).trimmed();
    if (number.isEmpty())
        return;
    m_validating = true;
    for (int i = 0; i < ClientColumns; ++i)
        txtClient[i]->setText(hfgClient->textMatrix(row, i));
    m_validating = false;
    m_client->findFirst(Criteria(m_client->columnNames().value(0), number));
}

void frmPHNClient::cmdAddClient_Click()
{
    cmdAddClient->setEnabled(false);
    cmdDeleteClient->setEnabled(false);
    cmdAmendClient->setText(kSave);
    m_clientEditing = true;
    m_clientInsert = true;
    setClientBoxes(true, true);
    focusBox(txtClient[0], false);
}

void frmPHNClient::cmdAmendClient_Click()
{
    if (m_clientEditing)
        saveClient();
    else
        modifyClient();
}

void frmPHNClient::modifyClient()
{
    if (txtClient[0]->text().trimmed().isEmpty()) {
        m_ctx.messages.show(QStringLiteral("请在数据网格中选择好您要修改的项！"), QStringLiteral("请选择"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    cmdAddClient->setEnabled(false);
    cmdDeleteClient->setEnabled(false);
    cmdAmendClient->setText(kSave);
    m_clientEditing = true;
    m_clientInsert = false;
    setClientBoxes(true, false);
    focusBox(txtClient[0], true);
}

void frmPHNClient::saveClient()
{
    // The box being edited is checked first, as leaving it would be.
    if (!validatePendingClientBox())
        return;
    const QString number = txtClient[0]->text().trimmed();
    if (number.isEmpty() || number.size() > ClientNumberLength || !allDigits(number)) {
        m_ctx.messages.show(QStringLiteral("客户编号必须是数字，长度不能超过4位！"), kRetype,
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        focusBox(txtClient[0], true);
        return;
    }
    // A number box that was filled without being left (pasted, then saved)
    // still has to hold a number.
    for (int i = ClientFax; i < ClientColumns; ++i) {
        if (i != ClientFax && i < ClientPhone1)
            continue;
        const QString text = txtClient[i]->text().trimmed();
        if (!text.isEmpty() && !IsNumeric(text)) {
            m_ctx.messages.inputError(kNeedPhoneNumber, this);
            focusBox(txtClient[i], true);
            return;
        }
    }
    const int found = FindGridRow(number, *hfgClient, 0);
    const bool accepted = found == -1 || (!m_clientInsert && found == hfgClient->row());
    if (!accepted) {
        m_ctx.messages.show(kDuplicate, kRetype, MessageService::Icon::Information, MessageService::Buttons::Ok,
                            this);
        focusBox(txtClient[0], false);
        return;
    }
    QStringList values;
    for (int i = 0; i < ClientColumns; ++i)
        values << (isClientNumberBox(i) ? txtClient[i]->text().trimmed() : txtClient[i]->text());
    if (!WriteRecord(*m_client, m_clientInsert, values)) {
        // Stay in editing: nothing typed is lost.
        showSaveError(QStringLiteral("客户信息未能保存："));
        return;
    }
    setClientBoxes(false, true);
    cmdAddClient->setEnabled(true);
    cmdDeleteClient->setEnabled(true);
    cmdAmendClient->setText(kAmend);
    m_clientEditing = false;
    fillClientGrid();
}

void frmPHNClient::cmdDeleteClient_Click()
{
    const QString number = txtClient[0]->text().trimmed();
    // An empty number selects nothing, even if some row has an empty number.
    if (number.isEmpty() || !m_client->findFirst(Criteria(m_client->columnNames().value(0), number))) {
        m_ctx.messages.show(QStringLiteral("请在数据网格中选择好您要删除的项！"), MessageService::defaultTitle(),
                            MessageService::Icon::None, MessageService::Buttons::Ok, this);
        return;
    }
    m_client->deleteCurrent();
    setClientBoxes(false, true);
    fillClientGrid();
}

// ---- blacklist ------------------------------------------------------------------------

void frmPHNClient::hfgBlacklist_Click()
{
    const int row = hfgBlacklist->row();
    if (row < hfgBlacklist->fixedRows())
        return;
    const QString number = hfgBlacklist->textMatrix(row, 0).trimmed();
    if (number.isEmpty())
        return;
    m_validating = true;
    for (int i = 0; i < BlacklistColumns; ++i)
        txtBlacklist[i]->setText(hfgBlacklist->textMatrix(row, i));
    m_validating = false;
    m_black->findFirst(Criteria(m_black->columnNames().value(0), number));
}

void frmPHNClient::cmdAddBlacklist_Click()
{
    cmdAddBlacklist->setEnabled(false);
    cmdDeleteBlacklist->setEnabled(false);
    cmdAmendBlacklist->setText(kSave);
    m_blackEditing = true;
    m_blackInsert = true;
    setBlacklistBoxes(true, true);
    focusBox(txtBlacklist[0], false);
}

void frmPHNClient::cmdAmendBlacklist_Click()
{
    if (m_blackEditing)
        saveBlacklist();
    else
        modifyBlacklist();
}

void frmPHNClient::modifyBlacklist()
{
    if (txtBlacklist[0]->text().trimmed().isEmpty()) {
        m_ctx.messages.show(QStringLiteral("请在数据网格中选择好您要修改的项！"), QStringLiteral("请选择"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    cmdAddBlacklist->setEnabled(false);
    cmdDeleteBlacklist->setEnabled(false);
    cmdAmendBlacklist->setText(kSave);
    m_blackEditing = true;
    m_blackInsert = false;
    setBlacklistBoxes(true, false);
    focusBox(txtBlacklist[0], true);
}

void frmPHNClient::saveBlacklist()
{
    if (!validatePendingBlacklistBox())
        return;
    const QString number = txtBlacklist[0]->text().trimmed();
    if (number.isEmpty() || number.size() > BlacklistNumberLength) {
        m_ctx.messages.show(QStringLiteral("电话号码长度不能超过15位，也不能为空！"), kRetype,
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        focusBox(txtBlacklist[0], true);
        return;
    }
    if (!IsNumeric(number)) {
        m_ctx.messages.inputError(kNeedPhoneNumber, this);
        focusBox(txtBlacklist[0], true);
        return;
    }
    const int found = FindGridRow(number, *hfgBlacklist, 0);
    const bool accepted = found == -1 || (!m_blackInsert && found == hfgBlacklist->row());
    if (!accepted) {
        m_ctx.messages.show(kDuplicate, kRetype, MessageService::Icon::Information, MessageService::Buttons::Ok,
                            this);
        focusBox(txtBlacklist[0], false);
        return;
    }
    // Stored trimmed: a caller's number is looked up exactly.
    if (!WriteRecord(*m_black, m_blackInsert, {number, txtBlacklist[1]->text()})) {
        showSaveError(QStringLiteral("黑名单未能保存："));
        return;
    }
    cmdAddBlacklist->setEnabled(true);
    cmdDeleteBlacklist->setEnabled(true);
    setBlacklistBoxes(false, true);
    cmdAmendBlacklist->setText(kAmend);
    m_blackEditing = false;
    fillBlacklistGrid();
}

void frmPHNClient::cmdDeleteBlacklist_Click()
{
    const QString number = txtBlacklist[0]->text().trimmed();
    if (number.isEmpty() || !m_black->findFirst(Criteria(m_black->columnNames().value(0), number))) {
        m_ctx.messages.show(QStringLiteral("请在数据网格中选择好您要删除的项！"), MessageService::defaultTitle(),
                            MessageService::Icon::None, MessageService::Buttons::Ok, this);
        return;
    }
    m_black->deleteCurrent();
    setBlacklistBoxes(false, true);
    fillBlacklistGrid();
}

} // namespace corvane
