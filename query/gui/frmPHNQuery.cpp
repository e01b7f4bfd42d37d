#include "frmPHNQuery.h"

#include "BackgroundWork.h"
#include "CallTypes.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "GridFilter.h"
#include "NamedWidgets.h"
#include "PrintStore.h"
#include "ShowModal.h"
#include "TypedTime.h"
#include "frmDeposit.h"
#include "frmPHNBill.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace corvane {

namespace {

QTime wholeSeconds(const QTime &t) { return QTime(t.hour(), t.minute(), t.second()); }

} // namespace

using NamedWidgets::indexed;
using NamedWidgets::named;

frmPHNQuery::frmPHNQuery(ConsoleContext &ctx, QWidget *parent, PrinterPort *printers)
    : QDialog(parent), m_ctx(ctx), m_printers(printers), m_store(std::make_unique<PrintStore>())
{
    setObjectName(QStringLiteral("frmPHNQuery"));
    setWindowTitle(QStringLiteral("话单查询与结算"));

    // Who: extensions, groups or accounts, and the list to choose from.
    auto *who = new QGroupBox(QStringLiteral("选定方式"), this);
    who->setObjectName(QStringLiteral("fraSelect"));
    optCommon = named(new QRadioButton(QStringLiteral("正常选定"), who), QStringLiteral("optCommon"),
                      QStringLiteral("正常选定"));
    optGroup = named(new QRadioButton(QStringLiteral("分组选定"), who), QStringLiteral("optGroup"),
                     QStringLiteral("分组选定"));
    optAccount = named(new QRadioButton(QStringLiteral("账号选定"), who), QStringLiteral("optAccount"),
                       QStringLiteral("账号选定"));
    lstUser = named(new QListWidget(who), QStringLiteral("lstUser"), QStringLiteral("选定列表"));
    lstUser->setSelectionMode(QAbstractItemView::MultiSelection);
    cmdSelectAll = named(new QPushButton(QStringLiteral("全部选定(&Q)"), who), QStringLiteral("cmdSelectAll"),
                         QStringLiteral("全部选定"));
    cmdClear = named(new QPushButton(QStringLiteral("全部清除(&C)"), who), QStringLiteral("cmdClear"),
                     QStringLiteral("全部清除"));
    cmdSelectContrary = named(new QPushButton(QStringLiteral("反向选定(&V)"), who), QStringLiteral("cmdSelectContrary"),
                              QStringLiteral("反向选定"));
    auto *whoLayout = new QVBoxLayout(who);
    auto *modes = new QHBoxLayout;
    for (QRadioButton *o : {optCommon, optGroup, optAccount})
        modes->addWidget(o);
    whoLayout->addLayout(modes);
    whoLayout->addWidget(lstUser, 1);
    whoLayout->addWidget(MakeListFilter(who, lstUser, QStringLiteral("txtFilterUser")));
    auto *selectButtons = new QHBoxLayout;
    for (QPushButton *b : {cmdSelectAll, cmdClear, cmdSelectContrary})
        selectButtons->addWidget(b);
    whoLayout->addLayout(selectButtons);

    // Which call types.
    auto *types = new QGroupBox(QStringLiteral("话单类型"), this);
    types->setObjectName(QStringLiteral("fraClass"));
    auto *typeLayout = new QGridLayout(types);
    const QStringList names = m_ctx.CallTypeNames.size() == 10 ? m_ctx.CallTypeNames : callTypeNames();
    for (int i = 0; i < 10; ++i) {
        chkClass[i] = named(new QCheckBox(names.at(i), types), indexed("chkClass", i), names.at(i));
        chkClass[i]->setChecked(true);
        typeLayout->addWidget(chkClass[i], i / 2, i % 2);
    }

    // When.
    auto *range = new QGroupBox(QStringLiteral("时间范围"), this);
    range->setObjectName(QStringLiteral("fraTime"));
    chkON = named(new QCheckBox(QStringLiteral("启用时间范围"), range), QStringLiteral("chkON"),
                  QStringLiteral("启用时间范围"));
    dtpDateBegin = named(new QDateEdit(range), QStringLiteral("dtpDateBegin"), QStringLiteral("开始日期"));
    dtpTimeBegin = named(new QTimeEdit(range), QStringLiteral("dtpTimeBegin"), QStringLiteral("开始时间"));
    dtpDateEnd = named(new QDateEdit(range), QStringLiteral("dtpDateEnd"), QStringLiteral("结束日期"));
    dtpTimeEnd = named(new QTimeEdit(range), QStringLiteral("dtpTimeEnd"), QStringLiteral("结束时间"));
    for (QDateEdit *d : {dtpDateBegin, dtpDateEnd}) {
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setCalendarPopup(true);
        AcceptTypedDate(d);
    }
    for (QTimeEdit *t : {dtpTimeBegin, dtpTimeEnd}) {
        t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        AcceptTypedTime(t);
    }
    auto *rangeLayout = new QGridLayout(range);
    rangeLayout->addWidget(chkON, 0, 0, 1, 3);
    auto *lblBegin = new QLabel(QStringLiteral("开始："), range);
    lblBegin->setObjectName(QStringLiteral("lblBegin"));
    lblBegin->setBuddy(dtpDateBegin);
    auto *lblEnd = new QLabel(QStringLiteral("结束："), range);
    lblEnd->setObjectName(QStringLiteral("lblEnd"));
    lblEnd->setBuddy(dtpDateEnd);
    rangeLayout->addWidget(lblBegin, 1, 0);
    rangeLayout->addWidget(dtpDateBegin, 1, 1);
    rangeLayout->addWidget(dtpTimeBegin, 1, 2);
    rangeLayout->addWidget(lblEnd, 2, 0);
    rangeLayout->addWidget(dtpDateEnd, 2, 1);
    rangeLayout->addWidget(dtpTimeEnd, 2, 2);
    // The ranges a clerk asks for most, in one press.
    cmdThisMonth = named(new QPushButton(QStringLiteral("本月(&M)"), range), QStringLiteral("cmdThisMonth"),
                         QStringLiteral("本月"));
    cmdLastMonth = named(new QPushButton(QStringLiteral("上月(&N)"), range), QStringLiteral("cmdLastMonth"),
                         QStringLiteral("上月"));
    auto *months = new QHBoxLayout;
    months->addWidget(cmdThisMonth);
    months->addWidget(cmdLastMonth);
    months->addStretch(1);
    rangeLayout->addLayout(months, 3, 1, 1, 2);
    connect(cmdThisMonth, &QPushButton::clicked, this, [this] { setMonthRange(0); });
    connect(cmdLastMonth, &QPushButton::clicked, this, [this] { setMonthRange(-1); });

    // Which state, and what to do.
    auto *state = new QGroupBox(QStringLiteral("话单性质"), this);
    state->setObjectName(QStringLiteral("fraBill"));
    auto *stateLayout = new QVBoxLayout(state);
    const QString billCaptions[3] = {QStringLiteral("全部话单"), QStringLiteral("未结算话单"),
                                     QStringLiteral("已结算话单")};
    for (int i = 0; i < 3; ++i) {
        optBill[i] = named(new QRadioButton(billCaptions[i], state), indexed("optBill", i), billCaptions[i]);
        stateLayout->addWidget(optBill[i]);
    }
    auto *job = new QGroupBox(QStringLiteral("处理方式"), this);
    job->setObjectName(QStringLiteral("fraJob"));
    auto *jobLayout = new QVBoxLayout(job);
    optQuery = named(new QRadioButton(QStringLiteral("话单查询"), job), QStringLiteral("optQuery"),
                     QStringLiteral("话单查询"));
    optDeposit = named(new QRadioButton(QStringLiteral("话费结算"), job), QStringLiteral("optDeposit"),
                       QStringLiteral("话费结算"));
    chkRent = named(new QCheckBox(QStringLiteral("免去本月月租费"), job), QStringLiteral("chkRent"),
                    QStringLiteral("免去本月月租费"));
    jobLayout->addWidget(optQuery);
    jobLayout->addWidget(optDeposit);
    jobLayout->addWidget(chkRent);

    cmdDeal = named(new QPushButton(QStringLiteral("开始处理(&D)"), this), QStringLiteral("cmdDeal"),
                    QStringLiteral("开始处理"));
    cmdLeave =
        named(new QPushButton(QStringLiteral("离开(&L)"), this), QStringLiteral("cmdLeave"), QStringLiteral("离开"));

    auto *right = new QVBoxLayout;
    right->addWidget(types);
    right->addWidget(range);
    auto *lower = new QHBoxLayout;
    lower->addWidget(state);
    lower->addWidget(job);
    right->addLayout(lower);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDeal);
    buttons->addWidget(cmdLeave);
    right->addLayout(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(who, 1);
    layout->addLayout(right);

    connect(optCommon, &QRadioButton::clicked, this, &frmPHNQuery::optCommon_Click);
    connect(optGroup, &QRadioButton::clicked, this, &frmPHNQuery::optGroup_Click);
    connect(optAccount, &QRadioButton::clicked, this, &frmPHNQuery::optAccount_Click);
    connect(cmdSelectAll, &QPushButton::clicked, this, &frmPHNQuery::cmdSelectAll_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmPHNQuery::cmdClear_Click);
    connect(cmdSelectContrary, &QPushButton::clicked, this, &frmPHNQuery::cmdSelectContrary_Click);
    connect(chkON, &QCheckBox::toggled, this, &frmPHNQuery::chkON_Click);
    connect(optQuery, &QRadioButton::toggled, this, &frmPHNQuery::modeChanged);
    connect(optDeposit, &QRadioButton::toggled, this, &frmPHNQuery::modeChanged);
    connect(cmdDeal, &QPushButton::clicked, this, &frmPHNQuery::cmdDeal_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &QDialog::accept);
    m_work = new BackgroundWork(m_ctx.clock, this);
    // One query at a time.
    connect(m_work, &BackgroundWork::runningChanged, cmdDeal, [this](bool running) { cmdDeal->setEnabled(!running); });

    Form_Load();
}

frmPHNQuery::~frmPHNQuery() = default;

void frmPHNQuery::Form_Load()
{
    const QDateTime now = m_ctx.clock.now();
    for (QDateEdit *d : {dtpDateBegin, dtpDateEnd})
        d->setDate(now.date());
    // Whole seconds: a range typed as "00:00:00" starts at the first moment of
    // that second, not at whatever milliseconds the clock had on opening.
    for (QTimeEdit *t : {dtpTimeBegin, dtpTimeEnd})
        t->setTime(wholeSeconds(now.time()));
    chkON->setChecked(false);
    chkON_Click();
    optBill[1]->setChecked(true);
    optQuery->setChecked(true);
    modeChanged();
    optCommon->setChecked(true);
    fillUserList(CallQuery::SelectMode::Common);
}

void frmPHNQuery::fillUserList(CallQuery::SelectMode mode)
{
    lstUser->clear();
    const Checked<QStringList> items = CallQuery::FillList(m_ctx.db, mode);
    if (!items) {
        m_ctx.messages.show(items.reason(), QStringLiteral("话单查询与结算"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    lstUser->addItems(*items);
}

CallQuery::SelectMode frmPHNQuery::selectMode() const
{
    if (optGroup->isChecked())
        return CallQuery::SelectMode::Group;
    if (optAccount->isChecked())
        return CallQuery::SelectMode::Account;
    return CallQuery::SelectMode::Common;
}

void frmPHNQuery::optCommon_Click() { fillUserList(CallQuery::SelectMode::Common); }
void frmPHNQuery::optGroup_Click() { fillUserList(CallQuery::SelectMode::Group); }
void frmPHNQuery::optAccount_Click() { fillUserList(CallQuery::SelectMode::Account); }

void frmPHNQuery::cmdSelectAll_Click() { SelectShownItems(lstUser); }

void frmPHNQuery::cmdClear_Click() { ClearShownItems(lstUser); }

void frmPHNQuery::cmdSelectContrary_Click() { InvertShownItems(lstUser); }

QString frmPHNQuery::emptyReason(const CallQuery::Criteria &criteria) const
{
    if (criteria.callers.isEmpty())
        return QStringLiteral("没有话单：没有选定用户。");
    if (criteria.types.isEmpty())
        return QStringLiteral("没有话单：没有选定话单类型。");
    const QString form = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    if (criteria.begin && criteria.end && *criteria.begin == *criteria.end)
        return QStringLiteral("没有话单：时间范围只有一个时刻（%1），请设定开始和结束时间，或按“本月”、“上月”。")
            .arg(criteria.begin->toString(form));
    if (criteria.begin && criteria.end)
        return QStringLiteral("没有话单：%1 至 %2 内没有所选的话单。")
            .arg(criteria.begin->toString(form), criteria.end->toString(form));
    return QStringLiteral("没有话单：所选用户没有所选的话单。");
}

void frmPHNQuery::setMonthRange(int monthsBack)
{
    const QDate today = m_ctx.clock.now().date();
    const QDate first = QDate(today.year(), today.month(), 1).addMonths(monthsBack);
    chkON->setChecked(true);
    dtpDateBegin->setDate(first);
    dtpTimeBegin->setTime(QTime(0, 0, 0));
    dtpDateEnd->setDate(first.addMonths(1).addDays(-1));
    dtpTimeEnd->setTime(QTime(23, 59, 59));
}

void frmPHNQuery::chkON_Click()
{
    for (QWidget *w : std::initializer_list<QWidget *>{dtpDateBegin, dtpTimeBegin, dtpDateEnd, dtpTimeEnd})
        w->setEnabled(chkON->isChecked());
}

void frmPHNQuery::modeChanged()
{
    // The rent is waived only when settling.
    chkRent->setEnabled(optDeposit->isChecked());
    if (!optDeposit->isChecked())
        chkRent->setChecked(false);
}

void frmPHNQuery::cmdDeal_Click()
{
    const CallQuery::SelectMode mode = selectMode();
    // The chosen the list shows: one the filter hides is not queried unseen.
    const QStringList selected = SelectedShownItems(lstUser);

    CallQuery::Criteria criteria;
    const Checked<QStringList> callers = CallQuery::CallersFor(m_ctx.db, mode, selected);
    if (!callers) {
        m_ctx.messages.show(callers.reason(), QStringLiteral("话单查询与结算"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    criteria.callers = *callers;
    for (int i = 0; i < 10; ++i)
        if (chkClass[i]->isChecked())
            criteria.types.append(i);
    if (chkON->isChecked()) {
        criteria.begin = QDateTime(dtpDateBegin->date(), wholeSeconds(dtpTimeBegin->time()));
        criteria.end = QDateTime(dtpDateEnd->date(), wholeSeconds(dtpTimeEnd->time()));
        if (*criteria.end < *criteria.begin) {
            m_ctx.messages.inputError(QStringLiteral("结束时间不能早于开始时间！"), this);
            return;
        }
    }
    int billOption = 0;
    for (int i = 0; i < 3; ++i)
        if (optBill[i]->isChecked())
            billOption = i;
    criteria.states = CallQuery::StatesFor(billOption);
    const bool settling = optDeposit->isChecked();
    criteria.waiveRent = settling && chkRent->isChecked();
    criteria.settling = settling;
    // The rent listed is the month the list is made in; a query of a range
    // shows the rent of the range's month.
    criteria.day = criteria.begin && !settling ? criteria.begin->date() : m_ctx.clock.now().date();

    // Chosen beside the interface thread: print.mdb is opened (or made anew)
    // and filled there, the window opens on what it found.
    const ConsoleContext::Beside beside = m_ctx.beside();
    const QString printPath = m_ctx.home.printDb();
    m_store->close();
    m_work->start<Listing>(
        settling ? QStringLiteral("正在计算话费") : QStringLiteral("正在查询话单"),
        [beside, printPath, criteria](WorkControl &control) {
            Listing out;
            Database db;
            if (Status s = beside.open(db); !s) {
                out.error = s.reason();
                return out;
            }
            control.watch(&db);
            PrintStore store;
            if (Status s = store.open(printPath); !s) {
                control.watch(nullptr);
                out.error = s.context(QStringLiteral("print.mdb 无法打开")).reason();
                return out;
            }
            auto list = std::make_shared<BillList>();
            // One reading of the records, whatever the intake adds meanwhile.
            (void)db.exec(QStringLiteral("BEGIN"));
            Checked<CallQuery::Chosen> chosen =
                CallQuery::ListInto(db, store, criteria, *list, [&control] { return control.cancelled(); });
            (void)db.exec(QStringLiteral("COMMIT"));
            control.watch(nullptr);
            if (!chosen) {
                out.error = chosen.reason();
                return out;
            }
            out.list = std::move(list);
            out.chosen = std::move(*chosen);
            return out;
        },
        [this, criteria, billOption](Listing listing) { showListing(criteria, billOption, std::move(listing)); });
}

void frmPHNQuery::showListing(const CallQuery::Criteria &criteria, int billOption, Listing listing)
{
    if (!listing.error.isEmpty()) {
        m_ctx.messages.show(listing.error, QStringLiteral("话单查询与结算"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    if (Status s = m_store->open(m_ctx.home.printDb()); !s) {
        m_ctx.messages.show(s.context(QStringLiteral("print.mdb 无法打开")).reason(), QStringLiteral("话单查询与结算"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    if (criteria.settling) {
        frmDeposit w(m_ctx, *m_store, m_printers, this);
        w.setList(criteria, listing.chosen);
        w.setSettledLeftOut(listing.chosen.settledLeftOut);
        // Settled records cannot be settled again.
        if (billOption == 2 || listing.list->size() == 0)
            w.cmdDeposit->setEnabled(false);
        ShowModal(m_ctx, w);
    } else {
        frmPHNBill w(m_ctx, *m_store, listing.list, this);
        if (listing.list->size() == 0)
            w.setEmptyReason(emptyReason(criteria));
        ShowModal(m_ctx, w);
    }
    m_store->close();
}

} // namespace corvane
