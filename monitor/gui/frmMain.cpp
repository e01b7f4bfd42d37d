#include "frmMain.h"
#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "OperatorGates.h"
#include "Operators.h"
#include "ShowModal.h"
#include "SwitchLink.h"
#include "TrunkIndicator.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmLogin.h"
#include "frmPhoneInf.h"
#include "frmPort.h"
#include "frmSendBeforeEnd.h"
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>

namespace corvane {

namespace {
// Windows measure in twips; the screen has 15 twips to a pixel.
constexpr int twips(int t) { return t / 15; }

QTreeWidget *makeList(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setHeaderLabels(headers);
    // The window sizes the columns to what they list (frmMain::fitColumns).
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(QHeaderView::Interactive);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}
} // namespace

frmMain::frmMain(ConsoleContext &ctx, QWidget *parent) : QMainWindow(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velloran1.3版"));

    m_central = new QWidget(this);
    m_central->setObjectName(QStringLiteral("centralArea"));
    imgLogo = new QLabel(m_central);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setAccessibleName(QStringLiteral("公司标志"));
    imgLogo->setAlignment(Qt::AlignCenter);
    for (int i = 0; i < TrunkCount; ++i) {
        imgPHN[i] = new TrunkIndicator(i, m_central);
        connect(imgPHN[i], &TrunkIndicator::clicked, this, &frmMain::trunkClicked);
        lbl[i] = new QLabel(m_central);
        lbl[i]->setObjectName(QStringLiteral("lbl_%1").arg(i));
        lbl[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lbl[i]->setAccessibleDescription(QStringLiteral("中继%1状态").arg(i + 1));
        setTrunkPicture(i, QStringLiteral("phone.gif"));
        setTrunkTextColor(i, Qt::black);
        nameTrunkText(i);
    }
    ListViewOut =
        makeList(m_central, "ListViewOut",
                 {QStringLiteral("主叫"), QStringLiteral("被叫"), QStringLiteral("结束时间"), QStringLiteral("时长"),
                  QStringLiteral("地区"), QStringLiteral("费率"), QStringLiteral("费用"), QStringLiteral("中继")});
    ListViewOut->setAccessibleName(QStringLiteral("新话单"));
    ListViewIn =
        makeList(m_central, "ListViewIn", {QStringLiteral("来电号码"), QStringLiteral("分机"), QStringLiteral("时间")});
    ListViewIn->setAccessibleName(QStringLiteral("来电"));
    buildLegend();
    m_outColumns.list = ListViewOut;
    m_inColumns.list = ListViewIn;
    watchList(m_outColumns);
    watchList(m_inColumns);
    setCentralWidget(m_central);
    m_central->installEventFilter(this);

    sbStatus = new QStatusBar(this);
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = new QLabel(sbStatus);
        panel->setObjectName(QStringLiteral("sbStatus_%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        // Seven panels fit a 1024-pixel window: one appearing (the outward
        // port's, the commands waiting) never widens the window.
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        panel->setMinimumWidth(i == 0 ? 80 : 120);
        sbStatus->addWidget(panel, i == 0 ? 0 : 1);
        m_panels[i] = panel;
    }
    m_panels[5]->hide(); // the outward port's, while its copy is on
    m_panels[6]->hide(); // the commands waiting for the switch, while there are any
    setStatusBar(sbStatus);
    ShowListCounts();

    buildMenus();
    buildToolbar();

    // The window hosts the link to the switch for the whole run, unless one was
    // handed in. It exists from here on, so that the frame handlers are in place
    // before the load step's port search lets the first frames in.
    if (!m_ctx.link) {
        auto *link = new SwitchLink(m_ctx, this);
        m_ctx.link = link;
        connect(link, &QObject::destroyed, [ctx = &m_ctx, link] {
            if (ctx->link == link)
                ctx->link = nullptr;
        });
    }
    resize(1024, 740);
}

frmMain::~frmMain()
{
    // The lists go after this part of the window: their last signals must not
    // reach it.
    for (QTreeWidget *list : {ListViewOut, ListViewIn}) {
        list->model()->disconnect(this);
        list->viewport()->removeEventFilter(this);
    }
}

QAction *frmMain::addGatedEntry(QMenu *menu, const char *name, const QString &caption, Right right)
{
    auto *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setEnabled(false); // until its window is registered
    connect(action, &QAction::triggered, this, [this, action] { openEntry(action); });
    m_entryRights.insert(action, right);
    if (!m_gatedActions.contains(right))
        m_gatedActions.insert(right, action);
    return action;
}

void frmMain::buildMenus()
{
    auto named = [](QAction *a, const char *name) {
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu *op = menuBar()->addMenu(QStringLiteral("操作员(&O)"));
    op->setObjectName(QStringLiteral("mnuOP"));
    mnuOPLogin = named(op->addAction(QStringLiteral("登入(&I)..."), this, &frmMain::mnuOPLogin_Click), "mnuOPLogin");
    mnuOPLogout = named(op->addAction(QStringLiteral("登出(&O)..."), this, &frmMain::mnuOPLogout_Click), "mnuOPLogout");
    op->addSeparator();
    mnuOPRight =
        named(op->addAction(QStringLiteral("权限管理(&R)..."), this, &frmMain::mnuOPRight_Click), "mnuOPRight");
    mnuOPRecord = addGatedEntry(op, "mnuOPRecord", QStringLiteral("操作员使用记录(&U)"), Right::OperatorRecord);
    op->addSeparator();
    mnuOPExit = named(op->addAction(QStringLiteral("退出(&X)"), this, &frmMain::mnuOPExit_Click), "mnuOPExit");

    QMenu *phn = menuBar()->addMenu(QStringLiteral("话务管理(&P)"));
    phn->setObjectName(QStringLiteral("mnuPHN"));
    mnuPHNClient = addGatedEntry(phn, "mnuPHNClient", QStringLiteral("客户/黑名单信息(&C)..."), Right::Clients);
    phn->addSeparator();
    mnuPHNDiscount = addGatedEntry(phn, "mnuPHNDiscount", QStringLiteral("费率折价(&D)..."), Right::Discounts);
    mnuPHNFee = addGatedEntry(phn, "mnuPHNFee", QStringLiteral("计费设置(&F)..."), Right::FeeSettings);
    phn->addSeparator();
    mnuPHNQuery = addGatedEntry(phn, "mnuPHNQuery", QStringLiteral("话单查询与结算(&Q)..."), Right::CallQuery);
    mnuPHNLedger = addGatedEntry(phn, "mnuPHNLedger", QStringLiteral("结算记录(&L)..."), Right::CallQuery);
    mnuPHNStat = addGatedEntry(phn, "mnuPHNStat", QStringLiteral("话务统计(&T)..."), Right::CallQuery);

    QMenu *swt = menuBar()->addMenu(QStringLiteral("交换机设置(&C)"));
    swt->setObjectName(QStringLiteral("mnuSWT"));
    mnuSWTGroup = addGatedEntry(swt, "mnuSWTGroup", QStringLiteral("用户参数设置(&G)..."), Right::UserParameters);
    mnuSWTPort =
        named(swt->addAction(QStringLiteral("通讯串口选择(&S)"), this, &frmMain::mnuSWTPort_Click), "mnuSWTPort");
    mnuSWTPort->setEnabled(false); // until the link layer provides its window
    swt->addSeparator();
    mnuSWTParameter =
        addGatedEntry(swt, "mnuSWTParameter", QStringLiteral("交换机参数设置(&P)..."), Right::SwitchParameters);
    mnuSWTComparison =
        addGatedEntry(swt, "mnuSWTComparison", QStringLiteral("交换机信息比照(&C)..."), Right::SwitchComparison);

    QMenu *srv = menuBar()->addMenu(QStringLiteral("服务功能(&S)"));
    srv->setObjectName(QStringLiteral("mnuSRV"));
    mnuSRVRing = addGatedEntry(srv, "mnuSRVRing", QStringLiteral("分机闹钟(&R)..."), Right::AlarmClock);
    srv->addSeparator();
    mnuSRVBackup = addGatedEntry(srv, "mnuSRVBackup", QStringLiteral("参数备份与恢复(&B)"), Right::Backup);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("mnuHLP"));
    mnuHelp = named(help->addAction(QStringLiteral("帮助(&H)..."), this, &frmMain::mnuHelp_Click), "mnuHelp");
    help->addSeparator();
    mnuHLPAbout =
        named(help->addAction(QStringLiteral("关于(&A)..."), this, &frmMain::mnuHLPAbout_Click), "mnuHLPAbout");
}

void frmMain::buildToolbar()
{
    tbTool = addToolBar(QStringLiteral("工具栏"));
    tbTool->setObjectName(QStringLiteral("tbTool"));
    tbTool->setMovable(false);
    tbTool->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    struct Button {
        const char *key;
        QString text;
        QStyle::StandardPixmap icon;
    };
    const QList<Button> buttons = {
        {"Config", QStringLiteral("交换机"), QStyle::SP_ComputerIcon},
        {"Discount", QStringLiteral("费率"), QStyle::SP_FileDialogDetailedView},
        {"Bill", QStringLiteral("话单"), QStyle::SP_FileDialogContentsView},
        {"Ledger", QStringLiteral("结算记录"), QStyle::SP_FileDialogListView},
        {"Stat", QStringLiteral("话务统计"), QStyle::SP_FileDialogInfoView},
        {"Ring", QStringLiteral("闹钟"), QStyle::SP_MediaVolume},
        {"Login", QStringLiteral("登录"), QStyle::SP_DialogYesButton},
        {"Group", QStringLiteral("用户"), QStyle::SP_DirHomeIcon},
        {"Exit", QStringLiteral("退出"), QStyle::SP_DialogCloseButton},
    };
    for (const Button &b : buttons) {
        const QString key = QLatin1String(b.key);
        QAction *a = tbTool->addAction(style()->standardIcon(b.icon), b.text);
        a->setObjectName(QStringLiteral("tbTool_") + key);
        a->setData(key);
        connect(a, &QAction::triggered, this, [this, key] { tbTool_ButtonClick(key); });
        toolButtons.insert(key, a);
    }
    // A button is usable exactly when the entry it stands for is.
    const QMap<QString, QAction *> mirrors = {
        {QStringLiteral("Config"), mnuSWTParameter}, {QStringLiteral("Discount"), mnuPHNDiscount},
        {QStringLiteral("Bill"), mnuPHNQuery},       {QStringLiteral("Ledger"), mnuPHNLedger},
        {QStringLiteral("Stat"), mnuPHNStat},        {QStringLiteral("Ring"), mnuSRVRing},
        {QStringLiteral("Group"), mnuSWTGroup}};
    for (auto it = mirrors.begin(); it != mirrors.end(); ++it) {
        QAction *button = toolButtons.value(it.key());
        button->setEnabled(it.value()->isEnabled());
        connect(it.value(), &QAction::changed, button,
                [button, entry = it.value()] { button->setEnabled(entry->isEnabled()); });
    }
}

void frmMain::tbTool_ButtonClick(const QString &key)
{
    if (key == QLatin1String("Config"))
        mnuSWTParameter->trigger();
    else if (key == QLatin1String("Discount"))
        mnuPHNDiscount->trigger();
    else if (key == QLatin1String("Bill"))
        mnuPHNQuery->trigger();
    else if (key == QLatin1String("Ledger"))
        mnuPHNLedger->trigger();
    else if (key == QLatin1String("Stat"))
        mnuPHNStat->trigger();
    else if (key == QLatin1String("Ring"))
        mnuSRVRing->trigger();
    else if (key == QLatin1String("Group"))
        mnuSWTGroup->trigger();
    else if (key == QLatin1String("Exit"))
        mnuOPExit_Click();
    else if (key == QLatin1String("Login"))
        m_ctx.login.OPLogin ? mnuOPLogout_Click() : mnuOPLogin_Click();
}

void frmMain::registerWindow(Right right, WindowOpener opener)
{
    m_windows.insert(right, std::move(opener));
    if (QAction *a = m_gatedActions.value(right))
        a->setEnabled(true);
}

void frmMain::registerWindow(QAction *entry, WindowOpener opener)
{
    if (!m_entryRights.contains(entry))
        return;
    m_entryWindows.insert(entry, std::move(opener));
    entry->setEnabled(true);
}

void frmMain::openEntry(QAction *entry)
{
    const auto gated = m_entryRights.constFind(entry);
    if (gated == m_entryRights.constEnd())
        return;
    const Right right = *gated;
    const auto further = m_entryWindows.constFind(entry);
    if (further == m_entryWindows.constEnd()) {
        if (m_gatedActions.value(right) == entry)
            openGated(right);
        return;
    }
    if (!PassGate(m_ctx, right, this))
        return;
    (*further)(this);
}

void frmMain::openGated(Right right)
{
    if (!m_windows.contains(right))
        return;
    if (!PassGate(m_ctx, right, this))
        return;
    m_windows.value(right)(this);
}

void frmMain::setPortWindow(WindowOpener opener)
{
    m_portWindow = std::move(opener);
    mnuSWTPort->setEnabled(bool(m_portWindow));
}

void frmMain::setRightsWindow(WindowOpener opener)
{
    m_rightsWindow = std::move(opener);
    ShowOperatorState();
}

QString frmMain::panelText(int panel) const
{
    return (panel >= 1 && panel <= PanelCount) ? m_panels[panel - 1]->text() : QString();
}

void frmMain::setPanelText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= PanelCount)
        m_panels[panel - 1]->setText(text);
}

void frmMain::setPanelAlarm(int panel, bool alarm)
{
    if (panel < 1 || panel > PanelCount || m_alarm[panel - 1] == alarm)
        return;
    m_alarm[panel - 1] = alarm;
    QLabel *label = m_panels[panel - 1];
    QPalette p = sbStatus->palette();
    if (alarm) {
        p.setColor(QPalette::Window, QColor(0xD0, 0x10, 0x10));
        p.setColor(QPalette::WindowText, Qt::white);
    }
    label->setPalette(p);
    label->setAutoFillBackground(alarm);
    QFont f = label->font();
    f.setBold(alarm);
    label->setFont(f);
}

bool frmMain::panelAlarm(int panel) const { return panel >= 1 && panel <= PanelCount && m_alarm[panel - 1]; }

void frmMain::showLinkText(const QString &text)
{
    setPanelText(2, text);
    setPanelAlarm(2, text != QStringLiteral("通讯端口：正常"));
}

void frmMain::showOutwardText(const QString &text)
{
    setPanelText(6, text);
    m_panels[5]->setVisible(!text.isEmpty());
    setPanelAlarm(6, text.startsWith(QStringLiteral("外发端口：错误")));
}

void frmMain::showKeptCount(int kept)
{
    setPanelText(7, kept > 0 ? SwitchLink::KeptPanelText(kept) : QString());
    m_panels[6]->setVisible(kept > 0);
    setPanelAlarm(7, kept > 0 && !m_ctx.link->CanSend());
}

void frmMain::ShowListCounts()
{
    setPanelText(4, QStringLiteral("新话单数：") + QString::number(ListViewOut->topLevelItemCount()));
    setPanelText(5, QStringLiteral("新来电数：") + QString::number(ListViewIn->topLevelItemCount()));
}

void frmMain::watchList(ListColumns &columns)
{
    QTreeWidget *list = columns.list;
    columns.widestValue = QList<int>(list->columnCount(), 0);
    QAbstractItemModel *model = list->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this, &columns](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    noteListedValues(columns, first, last);
                ShowListCounts();
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this, &columns](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (!topLeft.parent().isValid())
                    noteListedValues(columns, topLeft.row(), bottomRight.row());
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &frmMain::ShowListCounts);
    connect(model, &QAbstractItemModel::modelReset, this, &frmMain::ShowListCounts);
    // The room a list has changes with the window and with its scroll bar.
    list->viewport()->installEventFilter(this);
}

void frmMain::noteListedValues(ListColumns &columns, int firstRow, int lastRow)
{
    QTreeWidget *list = columns.list;
    const QAbstractItemModel *model = list->model();
    bool grew = false;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int c = 0; c < columns.widestValue.size(); ++c) {
            const int need = list->sizeHintForIndex(model->index(row, c)).width();
            if (need > columns.widestValue[c]) {
                columns.widestValue[c] = need;
                grew = true;
            }
        }
    }
    if (grew)
        fitColumns(columns);
}

int frmMain::columnsWidth(const ListColumns &columns) const
{
    const QHeaderView *header = columns.list->header();
    int total = 0;
    for (int c = 0; c < columns.widestValue.size(); ++c)
        total += qMax(header->sectionSizeHint(c), columns.widestValue[c]);
    return total;
}

void frmMain::fitColumns(const ListColumns &columns)
{
    QTreeWidget *list = columns.list;
    const QHeaderView *header = list->header();
    const int n = columns.widestValue.size();
    QList<int> widths(n);
    for (int c = 0; c < n; ++c)
        widths[c] = qMax(header->sectionSizeHint(c), columns.widestValue[c]);
    const int needed = columnsWidth(columns);
    // Room left over is shared out in proportion to what each column needs.
    const int spare = list->viewport()->width() - needed;
    if (spare > 0 && needed > 0) {
        int given = 0;
        for (int c = 0; c < n; ++c) {
            const int share = c == n - 1 ? spare - given : int(qint64(spare) * widths[c] / needed);
            widths[c] += share;
            given += share;
        }
    }
    for (int c = 0; c < n; ++c)
        if (list->columnWidth(c) != widths[c])
            list->setColumnWidth(c, widths[c]);
}

int frmMain::incomingListWidth() const
{
    const int frame = 2 * ListViewIn->frameWidth();
    const int scrollBar = ListViewIn->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ListViewIn);
    // A long caller number, an extension and the time the list writes.
    const QStringList sample{QStringLiteral("0000000000000000"), QStringLiteral("*00000"), m_ctx.stamp()};
    const QFontMetrics fm(ListViewIn->font());
    const QHeaderView *header = ListViewIn->header();
    // A cell's text leaves a margin on either side.
    const int margin = 2 * (ListViewIn->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListViewIn) + 1);
    int columns = 0;
    for (int c = 0; c < sample.size() && c < header->count(); ++c)
        columns += qMax(header->sectionSizeHint(c), fm.horizontalAdvance(sample[c]) + margin);
    return qMax(twips(4000), columns + frame + scrollBar);
}

void frmMain::buildLegend()
{
    fraLegend = new QWidget(m_central);
    fraLegend->setObjectName(QStringLiteral("fraLegend"));
    fraLegend->setAccessibleName(QStringLiteral("中继状态图例"));
    auto *row = new QHBoxLayout(fraLegend);
    row->setContentsMargins(4, 2, 4, 2);
    struct Entry {
        const char *picture;
        QString text;
        bool grey;
    };
    const Entry entries[] = {{"phone.gif", QStringLiteral("空闲"), false},
                             {"phoneon.gif", QStringLiteral("振铃/占用"), false},
                             {"phonehold.gif", QStringLiteral("通话中"), false},
                             {"phone.gif", QStringLiteral("状态未知"), true}};
    for (const Entry &e : entries) {
        QPixmap picture(m_ctx.home.resource(QLatin1String(e.picture)));
        if (!picture.isNull()) {
            picture = picture.scaledToHeight(qMin(picture.height(), 20), Qt::SmoothTransformation);
            if (e.grey)
                picture = QPixmap::fromImage(picture.toImage().convertToFormat(QImage::Format_Grayscale8));
            auto *icon = new QLabel(fraLegend);
            icon->setPixmap(picture);
            row->addWidget(icon);
        }
        auto *text = new QLabel(e.text, fraLegend);
        text->setEnabled(!e.grey);
        if (e.grey)
            text->setToolTip(unknownTip());
        row->addWidget(text);
        row->addSpacing(12);
    }
    auto *blue = new QLabel(QStringLiteral("蓝字：使用中"), fraLegend);
    QPalette p = blue->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    blue->setPalette(p);
    row->addWidget(blue);
    row->addStretch();
}

void frmMain::setTrunkPicture(int t, const QString &fileName)
{
    if (t < 0 || t >= TrunkCount)
        return;
    m_pictures[t] = fileName;
    showTrunk(t);
}

QString frmMain::trunkPicture(int t) const { return (t >= 0 && t < TrunkCount) ? m_pictures[t] : QString(); }

void frmMain::setTrunkText(int t, const QString &text)
{
    if (t < 0 || t >= TrunkCount)
        return;
    m_texts[t] = text;
    if (!m_unknown[t])
        lbl[t]->setText(text);
    nameTrunkText(t);
}

void frmMain::nameTrunkText(int t)
{
    // A screen reader hears the trunk and what its text says now.
    const QString shown = lbl[t]->text().simplified();
    const QString trunk = QStringLiteral("中继%1").arg(t + 1);
    lbl[t]->setAccessibleName(shown.isEmpty() ? trunk : trunk + QStringLiteral("：") + shown);
}

QString frmMain::trunkText(int t) const { return (t >= 0 && t < TrunkCount) ? m_texts[t] : QString(); }

void frmMain::setTrunkUnknown(int t, bool unknown)
{
    if (t < 0 || t >= TrunkCount || m_unknown[t] == unknown)
        return;
    m_unknown[t] = unknown;
    lbl[t]->setText(unknown ? QStringLiteral("状态未知") : m_texts[t]);
    lbl[t]->setEnabled(!unknown); // drawn greyed
    lbl[t]->setToolTip(unknown ? unknownTip() : QString());
    imgPHN[t]->setToolTip(unknown ? unknownTip() : QString());
    nameTrunkText(t);
    showTrunk(t);
}

bool frmMain::trunkUnknown(int t) const { return t >= 0 && t < TrunkCount && m_unknown[t]; }

void frmMain::showTrunk(int t)
{
    const QString fileName = m_pictures[t];
    QPixmap picture(m_ctx.home.resource(fileName));
    if (!picture.isNull() && m_unknown[t])
        picture = QPixmap::fromImage(picture.toImage().convertToFormat(QImage::Format_Grayscale8));
    if (picture.isNull())
        imgPHN[t]->setText(QString::number(t + 1)); // no picture: still show the trunk
    else
        imgPHN[t]->setPixmap(picture);
    imgPHN[t]->setAccessibleDescription(m_unknown[t] ? QStringLiteral("状态未知") : fileName);
}

void frmMain::setTrunkTextColor(int t, const QColor &color)
{
    if (t < 0 || t >= TrunkCount)
        return;
    QPalette p = lbl[t]->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, color);
    p.setColor(QPalette::Inactive, QPalette::WindowText, color);
    // A trunk of unknown state is drawn greyed, as the legend shows it.
    p.setColor(QPalette::Disabled, QPalette::WindowText, unknownColor());
    lbl[t]->setPalette(p);
}

QColor frmMain::unknownColor() const { return palette().color(QPalette::Disabled, QPalette::WindowText); }

QString frmMain::unknownTip()
{
    return QStringLiteral("状态未知：通讯恢复以来还没有收到这条中继的任何事件，它可能空闲，也可能正在使用。");
}

QColor frmMain::trunkTextColor(int t) const
{
    return (t >= 0 && t < TrunkCount) ? lbl[t]->palette().color(QPalette::WindowText) : QColor();
}

QPoint frmMain::trunkPictureTopLeft(int t) const
{
    if (t < 0 || t >= TrunkCount)
        return mapToGlobal(QPoint(0, 0));
    const TrunkIndicator *img = imgPHN[size_t(t)];
    // The indicator is wider than its picture; find where the picture is drawn.
    QRect drawn = img->contentsRect();
    const QPixmap picture = img->pixmap();
    if (!picture.isNull())
        drawn = QStyle::alignedRect(img->layoutDirection(), img->alignment(), picture.deviceIndependentSize().toSize(),
                                    img->contentsRect());
    return img->mapToGlobal(drawn.topLeft());
}

frmPhoneInf *frmMain::phoneInf() const { return m_phoneInf; }

void frmMain::ShowPhoneInf(int t, const QString &info)
{
    if (!m_phoneInf)
        m_phoneInf = new frmPhoneInf(m_ctx.clock, this);
    m_phoneInf->hide();
    m_phoneInf->showAt(info, trunkPictureTopLeft(t) + QPoint(twips(100), twips(400)));
}

void frmMain::Form_Load()
{
    // A missing logo is no reason to stop: the label stays empty.
    QPixmap logo(m_ctx.home.resource(QStringLiteral("company.gif")));
    if (!logo.isNull())
        imgLogo->setPixmap(logo);

    // The link to the switch: the port search with its fall-back to the stored
    // port, link state in panel 2, the watchdog and task timers, the port
    // window, and the exit command before the ports close at the end.
    SwitchLink *link = m_ctx.link;
    connect(link, &SwitchLink::statusText, this, &frmMain::showLinkText);
    connect(link, &SwitchLink::outwardStatusText, this, &frmMain::showOutwardText);
    connect(link, &SwitchLink::keptChanged, this, &frmMain::showKeptCount);
    connect(link, &SwitchLink::linkUpChanged, this, [this, link] { showKeptCount(link->KeptCount()); });
    connect(this, &frmMain::aboutToEnd, link, &SwitchLink::CloseLink);
    setPortWindow([this, link](QWidget *parent) {
        frmPort window(m_ctx, *link, parent);
        ShowModal(m_ctx, window);
    });
    link->OpenLinkOnLoad();
    link->StartTimers();
    showKeptCount(link->KeptCount());

    setPanelText(1, m_ctx.clock.now().toString(QStringLiteral("yyyy-MM-dd")));
    if (panelText(2).isEmpty())
        showLinkText(QStringLiteral("通讯端口：错误"));
    // Records and calls handled during the port search are listed already.
    ShowListCounts();
    ShowOperatorState();
}

void frmMain::ShowOperatorState()
{
    const LoginState &s = m_ctx.login;
    QAction *loginButton = toolButtons.value(QStringLiteral("Login"));
    if (s.OPLogin) {
        setPanelText(3, QStringLiteral("操作员:") + s.OPName);
        mnuOPLogin->setEnabled(false);
        mnuOPLogout->setEnabled(true);
        // The caption says what a press does now; the tip stays the system's.
        loginButton->setText(QStringLiteral("登出"));
        loginButton->setToolTip(QStringLiteral("登出系统"));
    } else {
        setPanelText(3, QStringLiteral("操作员:无"));
        mnuOPLogin->setEnabled(true);
        mnuOPLogout->setEnabled(false);
        loginButton->setText(QStringLiteral("登入"));
        loginButton->setToolTip(QStringLiteral("登入系统"));
    }
    mnuOPRight->setEnabled(s.OPLogin && s.OPName == LoginState::administratorName() && bool(m_rightsWindow));
}

void frmMain::mnuOPLogin_Click()
{
    frmLogin login(m_ctx, this);
    ShowModal(m_ctx, login);
    ShowOperatorState();
}

void frmMain::mnuOPLogout_Click()
{
    const auto answer =
        m_ctx.messages.show(QStringLiteral("是否要登出系统?"), QStringLiteral("登出系统"),
                            MessageService::Icon::Question, MessageService::Buttons::OkCancelDefaultCancel, this);
    if (answer != MessageService::Answer::Ok)
        return;
    if (const Status recorded = AddOperatorRecord(m_ctx); !recorded)
        m_ctx.messages.show(recorded.context(QStringLiteral("操作员使用记录未能保存")).reason(),
                            QStringLiteral("登出系统"), MessageService::Icon::Warning, MessageService::Buttons::Ok,
                            this);
    m_ctx.login.OPLogin = false;
    ShowOperatorState();
}

void frmMain::mnuOPRight_Click()
{
    if (m_rightsWindow && m_ctx.login.isAdministrator())
        m_rightsWindow(this);
}

void frmMain::mnuOPExit_Click() { close(); }

void frmMain::mnuSWTPort_Click()
{
    if (m_portWindow)
        m_portWindow(this);
}

void frmMain::mnuHelp_Click()
{
    if (!QFile::exists(m_ctx.home.helpIndex())) {
        m_ctx.messages.show(QStringLiteral("找不到帮助文件：") + m_ctx.home.helpIndex(), QStringLiteral("帮助"),
                            MessageService::Icon::Warning, MessageService::Buttons::Ok, this);
        return;
    }
    frmHelp help(m_ctx.home.helpIndex(), this);
    ShowModal(m_ctx, help);
}

void frmMain::mnuHLPAbout_Click()
{
    frmAbout about(m_ctx.home.resource(QStringLiteral("company.gif")), BackupStatusText(ReadBackupStatus(m_ctx.home)),
                   this);
    ShowModal(m_ctx, about);
}

bool frmMain::Form_Unload()
{
    if (m_ended)
        return true;
    const QString question = QStringLiteral("感谢使用Brenmark产品，您真的要退出本系统？");
    const auto answer = m_ctx.messages.show(question, QStringLiteral("退出系统！"), MessageService::Icon::Information,
                                            MessageService::Buttons::OkCancelDefaultCancel, this);
    if (answer != MessageService::Answer::Ok)
        return false;
    // Commands still waiting for the switch: sent first, or kept for the
    // next start, as the operator chooses.
    if (m_ctx.link && !SendBeforeEnd(m_ctx, *m_ctx.link, this, QStringLiteral("退出系统！")))
        return false;
    if (m_ctx.login.OPLogin) {
        if (const Status recorded = AddOperatorRecord(m_ctx); !recorded)
            m_ctx.messages.show(recorded.context(QStringLiteral("操作员使用记录未能保存")).reason(),
                                QStringLiteral("退出系统！"), MessageService::Icon::Warning,
                                MessageService::Buttons::Ok, this);
    }
    emit aboutToEnd(); // the link sends the exit command and closes both ports
    m_ctx.db.close();
    m_ended = true;
    emit programEnded();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    layoutCentral();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    // The central area gets its final size after the window's own resize.
    if (watched == m_central && event->type() == QEvent::Resize)
        layoutCentral();
    if (event->type() == QEvent::Resize) {
        if (watched == ListViewOut->viewport())
            fitColumns(m_outColumns);
        else if (watched == ListViewIn->viewport())
            fitColumns(m_inColumns);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::layoutCentral()
{
    // Below the minimum size the last layout is kept.
    if (width() <= twips(7800) || height() <= twips(5800))
        return;
    const QRect area = m_central->rect();
    // The incoming-call list keeps its columns whole but leaves the trunks half.
    const int rightWidth = qMin(incomingListWidth(), qMax(twips(4000), area.width() / 2));
    const int listBand = qMax(120, area.height() * 3 / 10);
    const int logoHeight = qMin(imgLogo->sizeHint().height() + 8, area.height() / 4);

    imgLogo->setGeometry(area.right() - rightWidth + 1, area.top(), rightWidth, logoHeight);
    ListViewIn->setGeometry(area.right() - rightWidth + 1, area.top() + logoHeight, rightWidth,
                            area.height() - logoHeight - listBand);
    ListViewOut->setGeometry(area.left(), area.bottom() - listBand + 1, area.width(), listBand);

    const int legendHeight = fraLegend->sizeHint().height();
    fraLegend->setGeometry(area.left(), area.bottom() - listBand - legendHeight + 1, area.width() - rightWidth,
                           legendHeight);
    const QRect trunks(area.left(), area.top(), area.width() - rightWidth, area.height() - listBand - legendHeight);
    const int cellW = trunks.width() / 4;
    const int cellH = trunks.height() / 4;
    for (int i = 0; i < TrunkCount; ++i) {
        const int col = i % 4;
        const int row = i / 4;
        const QRect cell(trunks.left() + col * cellW, trunks.top() + row * cellH, cellW, cellH);
        const int pictureH = qMin(cell.height() * 3 / 5, 56);
        imgPHN[i]->setGeometry(cell.left(), cell.top() + 2, cell.width(), pictureH);
        lbl[i]->setGeometry(cell.left(), cell.top() + 2 + pictureH, cell.width(), cell.height() - pictureH - 2);
    }
}

} // namespace corvane
