#include "frmPHNBill.h"

#include "CallQuery.h"
#include "ConsoleContext.h"
#include "ExportDialog.h"
#include "NamedWidgets.h"
#include "OperatorGates.h"
#include "PrintJobs.h"
#include "Reports.h"
#include "RowsModel.h"
#include "ShowModal.h"
#include "SwitchLink.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

namespace {

QStringList billHeader()
{
    return {QStringLiteral("主叫号码"), QStringLiteral("被叫号码"), QStringLiteral("结束时间"), QStringLiteral("时长"),
            QStringLiteral("费率"),     QStringLiteral("通达地址"), QStringLiteral("总费用")};
}

} // namespace

frmPHNBill::frmPHNBill(ConsoleContext &ctx, PrintStore &store, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_store(store)
{
    setObjectName(QStringLiteral("frmPHNBill"));
    setWindowTitle(QStringLiteral("话单查询"));
    resize(900, 600);

    m_model = new RowsModel(this);
    hfgPHNBill = makeListView(this, QStringLiteral("hfgPHNBill"), QStringLiteral("话单列表"), m_model);
    lblInformation = new QLabel(this);
    lblInformation->setObjectName(QStringLiteral("lblInformation"));
    lblInformation->setAccessibleDescription(QStringLiteral("话单总计")); // its name is its changing text
    lblEmpty = new QLabel(this);
    lblEmpty->setObjectName(QStringLiteral("lblEmpty"));
    lblEmpty->setWordWrap(true);
    lblEmpty->hide();
    m_model->setDurationColumns({3});
    m_model->setEndTimeColumns({2});
    cmdPrint = button(this, QStringLiteral("话单预览/打印(&P)"), QStringLiteral("cmdPrint"));
    cmdDelete = button(this, QStringLiteral("删除话单(&D)"), QStringLiteral("cmdDelete"));
    cmdExport = button(this, QStringLiteral("导出表格(&E)..."), QStringLiteral("cmdExport"));
    cmdExit = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdExit"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblInformation, 1);
    for (QPushButton *b : {cmdPrint, cmdDelete, cmdExport, cmdExit})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeFilterBox(this, m_model));
    layout->addWidget(hfgPHNBill, 1);
    layout->addWidget(lblEmpty);
    layout->addLayout(buttons);

    connect(cmdPrint, &QPushButton::clicked, this, &frmPHNBill::cmdPrint_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmPHNBill::cmdDelete_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmPHNBill::cmdExport_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::accept);
    // Filtered, sorted or refilled: the totals and the buttons follow the rows shown.
    connect(m_model, &QAbstractItemModel::modelReset, this, &frmPHNBill::showShown);

    m_askExportPath = [this](const QString &suggested) {
        return askExportPath(this, QStringLiteral("导出话单"), suggested, m_ctx.login.OPName);
    };
    Form_Load();
}

void frmPHNBill::Form_Load()
{
    showList(m_store.bills());
    // Every column as wide as its values, at least its minimum.
    hfgPHNBill->resizeColumnsToContents();
    const QList<int> minimum{800, 1450, 2100, 600, 600, 1900, 1000};
    QList<int> widths;
    for (int c = 0; c < minimum.size(); ++c)
        widths << qMax(minimum.at(c), hfgPHNBill->columnWidth(c) * 15);
    setMinimumWidthsTwips(hfgPHNBill, widths);
}

void frmPHNBill::showList(QList<BillRow> bills)
{
    m_bills = std::move(bills);
    QList<QStringList> rows;
    rows.reserve(m_bills.size());
    for (const BillRow &b : std::as_const(m_bills))
        rows.append(b.listed());
    // The filter typed stays: the model shows the new rows through it.
    m_model->setRows(billHeader(), std::move(rows));
}

void frmPHNBill::setEmptyReason(const QString &reason)
{
    m_emptyReason = reason;
    showShown();
}

QList<BillRow> frmPHNBill::shownBills() const
{
    QList<BillRow> out;
    const QList<int> shown = m_model->shownRows();
    out.reserve(shown.size());
    for (int r : shown)
        out.append(m_bills.at(r));
    return out;
}

void frmPHNBill::showShown()
{
    const BillTotals totals = billTotalsOf(shownBills());
    lblInformation->setText(billInformation(totals));
    // An empty list says why.
    lblEmpty->setText(totals.count > 0    ? QString()
                      : m_bills.isEmpty() ? m_emptyReason
                                          : QStringLiteral("筛选后没有显示任何话单。"));
    lblEmpty->setVisible(totals.count == 0);
    for (QPushButton *b : {cmdPrint, cmdDelete, cmdExport})
        b->setEnabled(totals.count > 0);
}

void frmPHNBill::cmdPrint_Click()
{
    const QList<BillRow> shown = shownBills();
    if (shown.isEmpty())
        return;
    ReportDef report = DRBillPrint();
    setBillTotals(report, billTotalsOf(shown));
    ReportPreviewDialog preview(report, billListSource(shown), m_ctx.clock.now().date(), m_ctx.messages, this);
    preview.setPdfName(QStringLiteral("话单-%1.pdf").arg(m_ctx.clock.now().toString(QStringLiteral("yyyyMMdd-HHmm"))),
                       m_ctx.login.OPName);
    ShowModal(m_ctx, preview);
}

void frmPHNBill::cmdDelete_Click()
{
    if (!MayDeleteBills(m_ctx, this))
        return;
    const QList<BillRow> shown = shownBills();
    if (shown.isEmpty())
        return;
    const QString title = QStringLiteral("话单删除");
    const int hidden = int(m_bills.size() - shown.size());
    const QString question =
        hidden > 0
            ? QStringLiteral("是否删除列表中显示的%1条话单？\n筛选隐藏的%2条话单不删除。").arg(shown.size()).arg(hidden)
            : QStringLiteral("是否删除列表中的%1条话单？").arg(shown.size());
    if (m_ctx.messages.show(question, title, MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo,
                            this)
        != MessageService::Answer::Yes)
        return;
    const Checked<int> deleted = m_store.deleteFromMain(m_ctx.db, shown);
    if (!deleted) {
        // Nothing went: the list stays as it was.
        m_ctx.messages.show(deleted.reason(), title, MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    // A deposit given back may lift a room out of debt: its class goes to
    // the switch now that the deletion is committed.
    if (m_ctx.link)
        m_ctx.link->SendKeptAndTell(this);
    showList(m_store.bills());
}

void frmPHNBill::cmdExport_Click()
{
    const QList<BillRow> shown = shownBills();
    if (shown.isEmpty())
        return;
    const QString path = m_askExportPath(
        QStringLiteral("话单-%1.xlsx").arg(m_ctx.clock.now().toString(QStringLiteral("yyyyMMdd-HHmm"))));
    if (path.isEmpty())
        return;
    exportAndTell(m_ctx.messages, this, path, {billSheet(shown)});
}

} // namespace corvane
