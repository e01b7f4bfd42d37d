#include "frmPHNStat.h"

#include "BackgroundWork.h"
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "ExportDialog.h"
#include "GridFilter.h"
#include "NamedWidgets.h"
#include "RowsModel.h"
#include "SettleLedger.h"
#include "TypedTime.h"

#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

namespace {

QString filterOf(const QString &kind)
{
    if (kind == QLatin1String("png"))
        return QStringLiteral("PNG图片 (*.png)");
    if (kind == QLatin1String("pdf"))
        return QStringLiteral("PDF文件 (*.pdf)");
    return QStringLiteral("Excel工作簿 (*.xlsx)");
}

} // namespace

frmPHNStat::frmPHNStat(ConsoleContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmPHNStat"));
    setWindowTitle(QStringLiteral("话务统计"));
    resize(1280, 720);

    // The range and the state.
    dtpDateBegin = named(new QDateEdit(this), QStringLiteral("dtpDateBegin"), QStringLiteral("开始日期"));
    dtpDateEnd = named(new QDateEdit(this), QStringLiteral("dtpDateEnd"), QStringLiteral("结束日期"));
    for (QDateEdit *d : {dtpDateBegin, dtpDateEnd}) {
        AcceptTypedDate(d);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setCalendarPopup(true);
    }
    const QString billCaptions[3] = {QStringLiteral("全部话单"), QStringLiteral("未结算话单"),
                                     QStringLiteral("已结算话单")};
    auto *state = new QGroupBox(QStringLiteral("话单性质"), this);
    auto *stateLayout = new QHBoxLayout(state);
    for (int i = 0; i < 3; ++i) {
        optBill[i] = named(new QRadioButton(billCaptions[i], state), indexed("optBill", i), billCaptions[i]);
        stateLayout->addWidget(optBill[i]);
    }
    cmdStat = button(this, QStringLiteral("统计(&S)"), QStringLiteral("cmdStat"));
    auto *top = new QHBoxLayout;
    top->addWidget(buddyLabel(this, QStringLiteral("开始日期(&B)："), dtpDateBegin));
    top->addWidget(dtpDateBegin);
    top->addWidget(buddyLabel(this, QStringLiteral("结束日期(&N)："), dtpDateEnd));
    top->addWidget(dtpDateEnd);
    top->addWidget(state);
    top->addWidget(cmdStat);
    top->addStretch(1);

    // Who: every caller, or the lists of the query window.
    auto *who = new QGroupBox(QStringLiteral("主叫选择"), this);
    optAll =
        named(new QRadioButton(QStringLiteral("全部主叫"), who), QStringLiteral("optAll"), QStringLiteral("全部主叫"));
    optCommon = named(new QRadioButton(QStringLiteral("正常选定"), who), QStringLiteral("optCommon"),
                      QStringLiteral("正常选定"));
    optGroup = named(new QRadioButton(QStringLiteral("分组选定"), who), QStringLiteral("optGroup"),
                     QStringLiteral("分组选定"));
    optAccount = named(new QRadioButton(QStringLiteral("账号选定"), who), QStringLiteral("optAccount"),
                       QStringLiteral("账号选定"));
    lstUser = named(new QListWidget(who), QStringLiteral("lstUser"), QStringLiteral("选定列表"));
    lstUser->setSelectionMode(QAbstractItemView::MultiSelection);
    cmdSelectAll = button(who, QStringLiteral("全部选定(&Q)"), QStringLiteral("cmdSelectAll"));
    cmdClear = button(who, QStringLiteral("全部清除(&C)"), QStringLiteral("cmdClear"));
    cmdSelectContrary = button(who, QStringLiteral("反向选定(&V)"), QStringLiteral("cmdSelectContrary"));
    auto *whoLayout = new QVBoxLayout(who);
    auto *options = new QGridLayout;
    options->addWidget(optAll, 0, 0);
    options->addWidget(optCommon, 0, 1);
    options->addWidget(optGroup, 1, 0);
    options->addWidget(optAccount, 1, 1);
    whoLayout->addLayout(options);
    whoLayout->addWidget(lstUser, 1);
    userFilter = MakeListFilter(who, lstUser, QStringLiteral("txtFilterUser"));
    whoLayout->addWidget(userFilter);
    auto *picks = new QHBoxLayout;
    for (QPushButton *b : {cmdSelectAll, cmdClear, cmdSelectContrary})
        picks->addWidget(b);
    whoLayout->addLayout(picks);
    who->setMaximumWidth(260);

    // One tab per figure: its chart over its table.
    sstStat = named(new QTabWidget(this), QStringLiteral("sstStat"), QStringLiteral("统计图表"));
    for (int i = 0; i < TrafficReport::kFigureCount; ++i) {
        auto *page = new QWidget(sstStat);
        auto *chart = named(new QChartView(page), indexed("chtStat", i), TrafficReport::figureTitle(i));
        chart->setRenderHint(QPainter::Antialiasing);
        chart->setMinimumHeight(240);
        auto *model = new RowsModel(this);
        QTableView *view =
            makeListView(page, indexed("hfgStat", i), TrafficReport::figureTitle(i) + QStringLiteral("表"), model);
        auto *layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(chart, 3);
        layout->addWidget(view, 2);
        sstStat->addTab(page, TrafficReport::figureTitle(i));
        m_charts.append(chart);
        m_tables.append(model);
        m_tableViews.append(view);
    }

    auto *middle = new QHBoxLayout;
    middle->addWidget(who);
    middle->addWidget(sstStat, 1);

    lblInformation = new QLabel(this);
    lblInformation->setObjectName(QStringLiteral("lblInformation"));
    lblInformation->setAccessibleName(QStringLiteral("统计结果"));
    lblInformation->setWordWrap(true);
    cmdPicture = button(this, QStringLiteral("导出图片(&P)..."), QStringLiteral("cmdPicture"));
    cmdReport = button(this, QStringLiteral("导出报表(&R)..."), QStringLiteral("cmdReport"));
    cmdExport = button(this, QStringLiteral("导出表格(&E)..."), QStringLiteral("cmdExport"));
    cmdLeave = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdLeave"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lblInformation, 1);
    for (QPushButton *b : {cmdPicture, cmdReport, cmdExport, cmdLeave})
        bottom->addWidget(b);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    for (QRadioButton *o : {optAll, optCommon, optGroup, optAccount})
        connect(o, &QRadioButton::clicked, this, &frmPHNStat::fillUserList);
    connect(cmdSelectAll, &QPushButton::clicked, this, [this] { SelectShownItems(lstUser); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { ClearShownItems(lstUser); });
    connect(cmdSelectContrary, &QPushButton::clicked, this, [this] { InvertShownItems(lstUser); });
    connect(cmdStat, &QPushButton::clicked, this, &frmPHNStat::cmdStat_Click);
    m_work = new BackgroundWork(m_ctx.clock, this);
    // Cancelled: no figures at all rather than a part of them.
    connect(m_work, &BackgroundWork::stopped, this, [this] {
        setRunning(false);
        showFailure(QStringLiteral("统计已取消。"));
    });
    connect(cmdPicture, &QPushButton::clicked, this, &frmPHNStat::cmdPicture_Click);
    connect(cmdReport, &QPushButton::clicked, this, &frmPHNStat::cmdReport_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmPHNStat::cmdExport_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &QDialog::accept);

    m_askPath = [this](const QString &kind, const QString &path) {
        const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("导出话务统计"), path, filterOf(kind));
        rememberFolder(m_ctx.login.OPName, chosen);
        return chosen;
    };
    Form_Load();
}

frmPHNStat::~frmPHNStat() = default;

void frmPHNStat::Form_Load()
{
    const auto [first, last] = SettleLedger::monthOf(m_ctx.clock.now().date());
    dtpDateBegin->setDate(first);
    dtpDateEnd->setDate(last);
    optBill[0]->setChecked(true);
    optAll->setChecked(true);
    fillUserList();
    cmdStat_Click();
}

void frmPHNStat::fillUserList()
{
    lstUser->clear();
    const bool all = optAll->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{lstUser, userFilter, cmdSelectAll, cmdClear, cmdSelectContrary})
        w->setEnabled(!all);
    if (all)
        return;
    const CallQuery::SelectMode mode = optGroup->isChecked()     ? CallQuery::SelectMode::Group
                                       : optAccount->isChecked() ? CallQuery::SelectMode::Account
                                                                 : CallQuery::SelectMode::Common;
    const Checked<QStringList> items = CallQuery::FillList(m_ctx.db, mode);
    if (!items) {
        m_ctx.messages.show(items.reason(), windowTitle(), MessageService::Icon::Critical, MessageService::Buttons::Ok,
                            this);
        return;
    }
    lstUser->addItems(*items);
}

void frmPHNStat::setRunning(bool running)
{
    m_running = running;
    cmdStat->setEnabled(!running);
    if (running)
        lblInformation->setText(QStringLiteral("正在统计……"));
}

void frmPHNStat::cmdStat_Click()
{
    if (m_running)
        return;
    TrafficStats::Selection s;
    s.first = dtpDateBegin->date();
    s.last = dtpDateEnd->date();
    if (Status ok = TrafficStats::CheckRange(s.first, s.last); !ok) {
        showFailure(ok.reason());
        m_ctx.messages.inputError(ok.reason(), this);
        return;
    }
    for (int i = 0; i < 3; ++i)
        if (optBill[i]->isChecked())
            s.states = CallQuery::StatesFor(i);
    s.everyCaller = optAll->isChecked();
    if (s.everyCaller) {
        s.description = optAll->text();
    } else {
        const CallQuery::SelectMode mode = optGroup->isChecked()     ? CallQuery::SelectMode::Group
                                           : optAccount->isChecked() ? CallQuery::SelectMode::Account
                                                                     : CallQuery::SelectMode::Common;
        // The chosen the list shows: one the filter hides is not counted unseen.
        const QStringList selected = SelectedShownItems(lstUser);
        const Checked<QStringList> callers = CallQuery::CallersFor(m_ctx.db, mode, selected);
        if (!callers) {
            showFailure(callers.reason());
            return;
        }
        s.callers = *callers;
        const QString what = optGroup->isChecked()     ? optGroup->text()
                             : optAccount->isChecked() ? optAccount->text()
                                                       : optCommon->text();
        s.description = what + QStringLiteral("：") + selected.join(QStringLiteral("、"));
        if (s.description.size() > 80)
            s.description = what + QStringLiteral("：%1项").arg(selected.size());
    }

    // The sums run on a connection of their own, read only, beside the
    // console's: the call intake writes on as they run.
    setRunning(true);
    const QString path = m_ctx.home.switchDb();
    const QByteArray key = m_ctx.databaseKey();
    const QDate today = m_ctx.clock.now().date();
    m_work->start<Checked<TrafficStats::Result>>(
        QStringLiteral("正在统计"),
        [path, key, s, today](WorkControl &control) {
            Database db;
            if (Status opened = TrafficStats::OpenForReading(db, path, key); !opened)
                return Checked<TrafficStats::Result>::refuse(opened);
            control.watch(&db);
            Checked<TrafficStats::Result> r = TrafficStats::Compute(db, s, today, TrafficStats::Scope::RangeOnly);
            control.watch(nullptr);
            return r;
        },
        [this, path, s](Checked<TrafficStats::Result> r) {
            if (!r) {
                setRunning(false);
                showFailure(r.reason());
                return;
            }
            showResult(std::move(*r));
            startMonths(path, s);
        });
}

// The twelve months read a year of records: they follow the range's figures,
// which are shown meanwhile; exporting waits for them.
void frmPHNStat::startMonths(const QString &path, const TrafficStats::Selection &s)
{
    m_tables.at(kMonthsFigure)->clearRows();
    replaceChart(kMonthsFigure, new QChart);
    m_charts.at(kMonthsFigure)->chart()->setTitle(QStringLiteral("正在统计……"));
    const QByteArray key = m_ctx.databaseKey();
    m_work->start<Checked<QList<TrafficStats::Line>>>(
        QStringLiteral("正在统计十二个月的话务"),
        [path, key, s](WorkControl &control) {
            Database db;
            if (Status opened = TrafficStats::OpenForReading(db, path, key); !opened)
                return Checked<QList<TrafficStats::Line>>::refuse(opened);
            control.watch(&db);
            Checked<QList<TrafficStats::Line>> months = TrafficStats::Months(db, s);
            control.watch(nullptr);
            return months;
        },
        [this](Checked<QList<TrafficStats::Line>> months) {
            setRunning(false);
            if (!months) {
                showFailure(months.reason());
                return;
            }
            m_result->months = std::move(*months);
            showResult(std::move(*m_result));
        });
}

void frmPHNStat::showFailure(const QString &reason)
{
    m_result.reset();
    for (int i = 0; i < TrafficReport::kFigureCount; ++i) {
        m_tables.at(i)->clearRows();
        replaceChart(i, new QChart);
    }
    lblInformation->setText(reason);
}

void frmPHNStat::showResult(TrafficStats::Result result)
{
    m_result = std::move(result);
    const QList<ExportSheet> sheets = TrafficStats::Sheets(*m_result);
    for (int i = 0; i < TrafficReport::kFigureCount; ++i) {
        QList<int> counts;
        for (int c = 0; c < sheets.at(i).columns.size(); ++c)
            if (sheets.at(i).columns.at(c).kind == CellKind::Count)
                counts.append(c);
        m_tables.at(i)->setCountColumns(counts);
        m_tables.at(i)->setRows(sheets.at(i).header(), sheets.at(i).rows);
        m_tableViews.at(i)->resizeColumnsToContents();
        replaceChart(i, TrafficReport::makeChart(*m_result, i));
    }
    lblInformation->setText(TrafficStats::summaryText(*m_result));
}

void frmPHNStat::replaceChart(int i, QChart *chart)
{
    // The view lets go of its chart without deleting it.
    QChart *old = m_charts.at(i)->chart();
    m_charts.at(i)->setChart(chart);
    delete old;
}

QString frmPHNStat::suggested(const QString &stem, const QString &suffix) const
{
    return offeredPath(m_ctx.login.OPName, QStringLiteral("%1%2-%3.%4")
                                               .arg(stem, dtpDateBegin->date().toString(QStringLiteral("yyyyMMdd")),
                                                    dtpDateEnd->date().toString(QStringLiteral("yyyyMMdd")), suffix));
}

bool frmPHNStat::haveResult()
{
    if (m_result && !m_running)
        return true;
    m_ctx.messages.show(m_running ? QStringLiteral("正在统计，请稍候。") : QStringLiteral("请先统计。"), windowTitle(),
                        MessageService::Icon::Information, MessageService::Buttons::Ok, this);
    return false;
}

void frmPHNStat::cmdPicture_Click()
{
    if (!haveResult())
        return;
    const int i = sstStat->currentIndex();
    QString path = m_askPath(QStringLiteral("png"), suggested(TrafficReport::figureTitle(i), QStringLiteral("png")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    const Status s = TrafficReport::saveChartPng(path, *m_result, i);
    m_ctx.messages.show(s ? QStringLiteral("已导出图片到文件：%1").arg(path) : s.reason(), QStringLiteral("导出图片"),
                        s ? MessageService::Icon::Information : MessageService::Icon::Critical,
                        MessageService::Buttons::Ok, this);
}

void frmPHNStat::cmdReport_Click()
{
    if (!haveResult())
        return;
    QString path = m_askPath(QStringLiteral("pdf"), suggested(QStringLiteral("话务统计"), QStringLiteral("pdf")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    const Checked<int> pages = TrafficReport::savePdf(path, *m_result, m_ctx.clock.now().date());
    m_ctx.messages.show(pages ? QStringLiteral("已导出%1页报表到文件：%2").arg(*pages).arg(path) : pages.reason(),
                        QStringLiteral("导出报表"),
                        pages ? MessageService::Icon::Information : MessageService::Icon::Critical,
                        MessageService::Buttons::Ok, this);
}

void frmPHNStat::cmdExport_Click()
{
    if (!haveResult())
        return;
    QString path = m_askPath(QStringLiteral("xlsx"), suggested(QStringLiteral("话务统计"), QStringLiteral("xlsx")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    exportAndTell(m_ctx.messages, this, path, TrafficStats::Sheets(*m_result));
}

} // namespace corvane
