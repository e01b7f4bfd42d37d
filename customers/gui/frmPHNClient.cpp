#include "frmPHNClient.h"

#include "ClientRegisters.h"
#include "ConsoleContext.h"
#include "FlexGrid.h"
#include "GridFilter.h"
#include "GridHelpers.h"
#include "RegisterBinding.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
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

template <std::size_t N>
QList<QLineEdit *> boxList(const std::array<QLineEdit *, N> &boxes)
{
    return QList<QLineEdit *>(boxes.begin(), boxes.end());
}

} // namespace

frmPHNClient::frmPHNClient(ConsoleContext &ctx, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_registers(std::make_unique<ClientRegisters>(ctx.db)), m_notice(ctx.messages)
{
    setObjectName(QStringLiteral("frmPHNClient"));
    setWindowTitle(QStringLiteral("客户/黑名单信息"));

    sstClient = new QTabWidget(this);
    sstClient->setObjectName(QStringLiteral("sstClient"));
    sstClient->addTab(buildClientTab(), QStringLiteral("客户信息"));
    sstClient->addTab(buildBlacklistTab(), QStringLiteral("黑名单"));

    cmdLeave = makeButton(this, "cmdLeave", QStringLiteral("离开(&L)"));
    cmdLeave->setFocusPolicy(Qt::TabFocus);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdLeave);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstClient, 1);
    layout->addLayout(bottom);

    m_clients = new RegisterBinding(m_registers->clients,
                                    {hfgClient, boxList(txtClient), cmdAddClient, cmdDeleteClient, cmdAmendClient},
                                    ctx.messages, m_notice, this);
    m_blacklist = new RegisterBinding(
        m_registers->blacklist,
        {hfgBlacklist, boxList(txtBlacklist), cmdAddBlacklist, cmdDeleteBlacklist, cmdAmendBlacklist}, ctx.messages,
        m_notice, this);

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
        const QString caption =
            i < captions.size() ? captions.at(i) : QStringLiteral("电话%1：").arg(i - ClientRules::FirstPhone + 1);
        auto *label = new QLabel(caption, fraClient);
        txtClient[i] = new QLineEdit(fraClient);
        txtClient[i]->setObjectName(QStringLiteral("txtClient_%1").arg(i));
        label->setBuddy(txtClient[i]);
        // Two columns of ten: the particulars on the left, the phones on the right.
        const int row = i % 10;
        const int col = (i / 10) * 2;
        boxes->addWidget(label, row, col);
        boxes->addWidget(txtClient[i], row, col + 1);
    }
    boxes->setColumnStretch(1, 2);
    boxes->setColumnStretch(3, 1);

    cmdAddClient = makeButton(page, "cmdAddClient", QStringLiteral("添加(&A)"));
    cmdDeleteClient = makeButton(page, "cmdDeleteClient", QStringLiteral("删除(&D)"));
    cmdAmendClient = makeButton(page, "cmdAmendClient", RegisterBinding::amendCaption());
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddClient);
    buttons->addWidget(cmdDeleteClient);
    buttons->addWidget(cmdAmendClient);
    buttons->addStretch(1);

    auto *lower = new QHBoxLayout;
    lower->addWidget(fraClient, 1);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(MakeGridFilter(page, hfgClient, QStringLiteral("txtFilterClient")));
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
        boxes->addWidget(label, i, 0);
        boxes->addWidget(txtBlacklist[i], i, 1);
    }

    cmdAddBlacklist = makeButton(page, "cmdAddBlacklist", QStringLiteral("添加(&A)"));
    cmdDeleteBlacklist = makeButton(page, "cmdDeleteBlacklist", QStringLiteral("删除(&D)"));
    cmdAmendBlacklist = makeButton(page, "cmdAmendBlacklist", RegisterBinding::amendCaption());
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddBlacklist);
    buttons->addWidget(cmdDeleteBlacklist);
    buttons->addWidget(cmdAmendBlacklist);
    buttons->addStretch(1);

    auto *lower = new QHBoxLayout;
    lower->addWidget(fraBlacklist, 1);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(MakeGridFilter(page, hfgBlacklist, QStringLiteral("txtFilterBlacklist")));
    layout->addWidget(hfgBlacklist, 1);
    layout->addLayout(lower);
    return page;
}

void frmPHNClient::Form_Load()
{
    // Minimum widths in twips; the grids widen columns whose texts need more.
    QList<int> widths{1000, 2300};
    while (widths.size() < ClientColumns)
        widths << 1000;
    SetColWidths(*hfgClient, widths);
    SetColWidths(*hfgBlacklist, {2000, 7500});
    m_clients->load();
    m_blacklist->load();
}

void frmPHNClient::cmdLeave_Click() { close(); }

void frmPHNClient::hfgClient_Click() { m_clients->select(); }
void frmPHNClient::cmdAddClient_Click() { m_clients->add(); }
void frmPHNClient::cmdAmendClient_Click() { m_clients->amendOrSave(); }
void frmPHNClient::cmdDeleteClient_Click() { m_clients->remove(); }

void frmPHNClient::hfgBlacklist_Click() { m_blacklist->select(); }
void frmPHNClient::cmdAddBlacklist_Click() { m_blacklist->add(); }
void frmPHNClient::cmdAmendBlacklist_Click() { m_blacklist->amendOrSave(); }
void frmPHNClient::cmdDeleteBlacklist_Click() { m_blacklist->remove(); }

} // namespace corvane
