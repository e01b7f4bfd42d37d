#include "frmDeposit.h"

#include "BackgroundWork.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "ExportDialog.h"
#include "NamedWidgets.h"
#include "PrintJobs.h"
#include "Reports.h"
#include "RowsModel.h"
#include "Settlement.h"
#include "ShowModal.h"
#include "SwitchLink.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

namespace {

QStringList feeHeader()
{
    return {QStringLiteral("组名"),   QStringLiteral("用户号码"), QStringLiteral("用户名称"), QStringLiteral("长话费"),
            QStringLiteral("市话费"), QStringLiteral("本地费"),   QStringLiteral("呼入费"),   QStringLiteral("月租费"),
            QStringLiteral("手续费"), QStringLiteral("服务费"),   QStringLiteral("合计"),     QStringLiteral("押金"),
            QStringLiteral("余额"),   QStringLiteral("应收"),     QStringLiteral("应退"),     QStringLiteral("说明")};
}

} // namespace

frmDeposit::frmDeposit(ConsoleContext &ctx, PrintStore &store, PrinterPort *printers, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_store(store), m_printers(printers)
{
    if (!m_printers) {
        m_ownPrinters = std::make_unique<CupsPrinterPort>();
        m_printers = m_ownPrinters.get();
    }
    setObjectName(QStringLiteral("frmDeposit"));
    setWindowTitle(QStringLiteral("计算话单"));
    resize(1000, 600);

    m_model = new RowsModel(this);
    hfgDeposit = makeListView(this, QStringLiteral("hfgDeposit"), QStringLiteral("话费列表"), m_model);
    lblInformation = new QLabel(this);
    lblInformation->setObjectName(QStringLiteral("lblInformation"));
    lblInformation->setAccessibleDescription(QStringLiteral("话费总计")); // its name is its changing text
    lblSettled = new QLabel(this);
    lblSettled->setObjectName(QStringLiteral("lblSettled"));
    lblSettled->setWordWrap(true);
    cmdDeposit = button(this, QStringLiteral("结算(&B)"), QStringLiteral("cmdDeposit"));
    cmdGridPrint = button(this, QStringLiteral("表格方式预览/打印(&P)"), QStringLiteral("cmdGridPrint"));
    cmdPagePrint = button(this, QStringLiteral("收据方式预览/打印(&A)"), QStringLiteral("cmdPagePrint"));
    cmdPrintTotal = button(this, QStringLiteral("总计话费打印(&T)"), QStringLiteral("cmdPrintTotal"));
    cmdExport = button(this, QStringLiteral("导出表格(&E)..."), QStringLiteral("cmdExport"));
    cmdLeave = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdLeave"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdDeposit, cmdGridPrint, cmdPagePrint, cmdPrintTotal, cmdExport, cmdLeave})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeFilterBox(this, m_model));
    layout->addWidget(hfgDeposit, 1);
    layout->addWidget(lblInformation);
    layout->addWidget(lblSettled);
    layout->addLayout(buttons);

    connect(cmdDeposit, &QPushButton::clicked, this, &frmDeposit::cmdDeposit_Click);
    connect(cmdGridPrint, &QPushButton::clicked, this, &frmDeposit::cmdGridPrint_Click);
    connect(cmdPagePrint, &QPushButton::clicked, this, &frmDeposit::cmdPagePrint_Click);
    connect(cmdPrintTotal, &QPushButton::clicked, this, &frmDeposit::cmdPrintTotal_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmDeposit::cmdExport_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &QDialog::close);
    // Filtered, sorted or refilled: the totals and the buttons follow the rows shown.
    connect(m_model, &QAbstractItemModel::modelReset, this, &frmDeposit::showShown);
    m_work = new BackgroundWork(m_ctx.clock, this);

    m_askExportPath = [this](const QString &suggested) {
        return askExportPath(this, QStringLiteral("导出话费"), suggested, m_ctx.login.OPName);
    };
    Form_Load();
}

frmDeposit::~frmDeposit() = default;

void frmDeposit::Form_Load()
{
    m_fees = m_store.fees();
    QList<QStringList> rows;
    rows.reserve(m_fees.size());
    for (const FeeRow &f : std::as_const(m_fees))
        rows.append(f.texts());
    m_ready = true;
    m_model->setRows(feeHeader(), std::move(rows));
    setMinimumWidthsTwips(hfgDeposit,
                          {1000, 1000, 1400, 900, 900, 900, 900, 900, 900, 900, 1000, 900, 900, 900, 900, 1800});
}

void frmDeposit::showShown()
{
    // While a settlement runs the label says so.
    if (!m_ready)
        return;
    const QList<FeeRow> shown = shownFees();
    lblInformation->setText(feeInformation(feeTotalsOf(shown)));
    for (QPushButton *b : {cmdGridPrint, cmdPagePrint, cmdPrintTotal, cmdExport})
        b->setEnabled(!shown.isEmpty());
}

void frmDeposit::setBusy(bool busy)
{
    m_ready = !busy;
    for (QPushButton *b : {cmdGridPrint, cmdPagePrint, cmdPrintTotal, cmdExport, cmdLeave})
        b->setEnabled(!busy);
    // A settlement run disables the settle button for good once it began:
    // a second run on the same list would find nothing left to settle.
    cmdDeposit->setEnabled(!busy && cmdDeposit->isEnabled());
    if (!busy)
        showShown();
}

void frmDeposit::setSettledLeftOut(int count)
{
    lblSettled->setText(count > 0 ? QStringLiteral("另有%1条已结算的话单，未计入话费，不会再次结算。").arg(count)
                                  : QString());
}

void frmDeposit::setList(const CallQuery::Criteria &criteria, const CallQuery::Chosen &chosen)
{
    m_criteria = criteria;
    m_chosen = chosen;
    m_hasList = true;
}

QList<FeeRow> frmDeposit::shownFees() const
{
    QList<FeeRow> out;
    for (int row : m_model->shownRows())
        if (row >= 0 && row < m_fees.size())
            out.append(m_fees.at(row));
    return out;
}

QStringList frmDeposit::shownNumbers() const
{
    QStringList out;
    for (const FeeRow &f : shownFees())
        out.append(f.number);
    return out;
}

void frmDeposit::cmdDeposit_Click()
{
    if (!m_ready)
        return;
    const QString title = QStringLiteral("结算");
    const QStringList shown = shownNumbers();
    if (!m_hasList || m_store.billTotals().count == 0 || shown.isEmpty()) {
        m_ctx.messages.show(shown.isEmpty() && m_store.billTotals().count > 0
                                ? QStringLiteral("筛选后没有显示任何用户，没有可结算的话单。")
                                : QStringLiteral("没有未结算的话单，无需结算。"),
                            title, MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    // Exactly the rooms shown are settled, as they are now: records that
    // arrived since the list was made are settled with them and named in
    // the question. What settling would do is worked out beside the
    // interface thread; the window waits for it, and for the settlement.
    m_request = Settlement::RequestFor(m_criteria, m_chosen, shown);
    lblInformation->setText(Settlement::busyText());
    setBusy(true);
    const ConsoleContext::Beside beside = m_ctx.beside();
    const Settlement::Request request = m_request;
    const QDateTime at = m_ctx.clock.now();
    m_work->start<Checked<Settlement::Preview>>(
        QStringLiteral("正在计算结算金额"),
        [beside, request, at](WorkControl &control) {
            Database db;
            if (Status s = beside.open(db); !s)
                return Checked<Settlement::Preview>::refuse(s);
            control.watch(&db);
            auto p = Settlement::Foresee(db, request, at);
            control.watch(nullptr);
            return p;
        },
        [this, hiddenRooms = int(m_store.fees().size()) - int(shown.size())](Checked<Settlement::Preview> p) {
            askAndSettle(p, hiddenRooms);
        });
}

void frmDeposit::askAndSettle(const Checked<Settlement::Preview> &p, int hidden)
{
    const QString title = QStringLiteral("结算");
    auto stop = [this] {
        setBusy(false);
        showShown();
    };
    if (!p) {
        stop();
        m_ctx.messages.show(p.reason(), title, MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    if (p->records == 0) {
        stop();
        m_ctx.messages.show(QStringLiteral("所列话单已经结算过了，没有可结算的话单。"), title,
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    // Settling moves money and cannot be undone: asked first, "否" the default.
    QString question = QStringLiteral("将结算%1户共%2条话单，合计%3元（含月租费）；应收%4元，应退%5元。")
                           .arg(p->rooms)
                           .arg(p->records)
                           .arg(p->total.toText(), p->collect.toText(), p->refund.toText());
    if (p->arrived > 0)
        question += QStringLiteral("\n列表生成后又有%1条话单到达（%2，共%3元），将一并结算并列入收据。")
                        .arg(p->arrived)
                        .arg(p->arrivedRooms.join(QStringLiteral("、")), p->arrivedTotal.toText());
    if (p->notMarked > 0)
        question += QStringLiteral("\n所列话单中有%1条已在别处结算，不再结算。").arg(p->notMarked);
    if (hidden > 0)
        question += QStringLiteral("\n筛选隐藏的%1户不结算。").arg(hidden);
    question += p->partial > 0
                    ? QStringLiteral("\n其中%1户为部分结算：押金扣除所结金额，其余话单仍按押金计费。").arg(p->partial)
                    : QStringLiteral("\n结算后押金清零。");
    question += QStringLiteral("请按收据收款或退款。确定结算吗？");
    if (m_ctx.messages.show(question, title, MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo,
                            this)
        != MessageService::Answer::Yes) {
        stop();
        return;
    }
    // One transaction on a connection of its own; the window refuses to
    // close until it is done.
    const ConsoleContext::Beside beside = m_ctx.beside();
    const QString printPath = m_store.database().path();
    const Settlement::Request request = m_request;
    const Settlement::Run run{m_ctx.login.OPName, m_ctx.clock.now()};
    m_work->start<Settlement::Outcome>(
        QStringLiteral("正在结算"),
        [beside, printPath, request, run](WorkControl &) {
            Database db;
            PrintStore store;
            Status opened = beside.open(db);
            if (opened)
                opened = store.open(printPath);
            if (!opened) {
                Settlement::Outcome failed;
                failed.status = Status::fail(QStringLiteral("结算失败，没有任何话单被结算：") + opened.reason());
                return failed;
            }
            return Settlement::SettleRooms(db, store, request, run);
        },
        [this](Settlement::Outcome out) { settled(out); }, false);
}

void frmDeposit::settled(const Settlement::Outcome &out)
{
    setBusy(false);
    if (!out) {
        lblInformation->setText(QStringLiteral("结算未完成，数据未作任何更改。"));
        cmdDeposit->setEnabled(true);
        m_ctx.messages.show(out.status.reason(), QStringLiteral("结算"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    // The classes given back wait for the switch when it is not there now;
    // the operator is told how many.
    if (!out.commands.isEmpty() && m_ctx.link)
        m_ctx.link->SendKeptAndTell();
    if (out.marked == 0) {
        // Someone settled the list meanwhile: nothing was settled now.
        lblInformation->setText(QStringLiteral("没有话单被结算：所列话单已经结算过了。"));
        lblSettled->clear();
        return;
    }
    // The fee rows now show what was settled; the totals stay on view.
    const QString filter = m_model->filter();
    Form_Load();
    m_model->setFilter(filter);
    Money total, collect, refund;
    for (const LedgerRow &r : out.ledger) {
        total += r.total;
        collect += r.collect;
        refund += r.refund;
    }
    lblInformation->setText(Settlement::doneText());
    QString text = QStringLiteral("已结算%1户共%2条话单，合计%3元；应收%4元，应退%5元。")
                       .arg(out.settledCallers.size())
                       .arg(out.marked)
                       .arg(total.toText(), collect.toText(), refund.toText());
    if (out.arrived > 0)
        text += QStringLiteral("其中%1条（%2元）是列表生成后到达的。").arg(out.arrived).arg(out.arrivedTotal.toText());
    if (out.notMarked > 0)
        text += QStringLiteral("另有%1条话单已在别处结算，未重复结算。").arg(out.notMarked);
    lblSettled->setText(text);
    // Settled rooms cannot be settled again from this list.
    cmdDeposit->setEnabled(false);
    if (m_ctx.messages.show(QStringLiteral("结算完毕。是否打印收据？"), QStringLiteral("结算"),
                            MessageService::Icon::Question, MessageService::Buttons::YesNo, this)
        == MessageService::Answer::Yes)
        preview(true);
}

void frmDeposit::preview(bool receipts)
{
    const QList<FeeRow> shown = shownFees();
    if (shown.isEmpty())
        return;
    ReportDef report = receipts ? DRPage() : DRPrint();
    if (receipts)
        setReceiver(report, m_ctx.login.OPName);
    ReportPreviewDialog dialog(report, feeListSource(shown), m_ctx.clock.now().date(), m_ctx.messages, this);
    // A receipt saved as a file is named by its room and day, so that one
    // guest's never replaces another's.
    const QString day = m_ctx.clock.now().toString(QStringLiteral("yyyyMMdd"));
    const QString who = shown.size() == 1 ? shown.first().number + QLatin1Char('-') : QString();
    dialog.setPdfName((receipts ? QStringLiteral("收据-") : QStringLiteral("话费清单-")) + who + day
                          + QStringLiteral(".pdf"),
                      m_ctx.login.OPName);
    ShowModal(m_ctx, dialog);
}

void frmDeposit::cmdGridPrint_Click() { preview(false); }
void frmDeposit::cmdPagePrint_Click() { preview(true); }

void frmDeposit::cmdPrintTotal_Click()
{
    const QList<FeeRow> shown = shownFees();
    if (shown.isEmpty())
        return;
    QString detail;
    const Status printed = printGrandTotal(*m_printers, feeTotalsOf(shown), m_ctx.clock.now().date(), &detail);
    if (!printed) {
        showPrintFailure(m_ctx.messages, printed, this);
        return;
    }
    accept();
}

void frmDeposit::cmdExport_Click()
{
    const QList<FeeRow> shown = shownFees();
    if (shown.isEmpty())
        return;
    const QString path = m_askExportPath(
        QStringLiteral("话费-%1.xlsx").arg(m_ctx.clock.now().toString(QStringLiteral("yyyyMMdd-HHmm"))));
    if (path.isEmpty())
        return;
    exportAndTell(m_ctx.messages, this, path, {feeSheet(shown)});
}

void frmDeposit::reject()
{
    if (!m_ready)
        return;
    QDialog::reject();
}

void frmDeposit::closeEvent(QCloseEvent *event)
{
    if (!m_ready) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace corvane
