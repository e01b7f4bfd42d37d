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
    m_model->setDurationColumns({3});
    m_model->setEndTimeColumns({2});
    cmdPrint = button(this, QStringLiteral("话单预览/打印"), QStringLiteral("cmdPrint"));
    cmdDelete = button(this, QStringLiteral("删除话单"), QStringLiteral("cmdDelete"));
    cmdExport = button(this, QStringLiteral("导出表格(&E)..."), QStringLiteral("cmdExport"));
    cmdExit = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdExit"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblInformation, 1);
    for (QPushButton *b : {cmdPrint, cmdDelete, cmdExport, cmdExit})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeFilterBox(this, m_model));
    layout->addWidget(hfgPHNBill, 1);
    layout->addLayout(buttons);

    connect(cmdPrint, &QPushButton::clicked, this, &frmPHNBill::cmdPrint_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmPHNBill::cmdDelete_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmPHNBill::cmdExport_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::accept);

    m_askExportPath = [this](const QString &suggested) {
        return askExportPath(this, QStringLiteral("导出话单"), suggested);
    };
    Form_Load();
}

void frmPHNBill::Form_Load()
{
    m_totals = m_store.billTotals();
    showList(m_store.bills(), m_totals);
    // Every column as wide as its values, at least its minimum.
    hfgPHNBill->resizeColumnsToContents();
    const QList<int> minimum{800, 1450, 2100, 600, 600, 1900, 1000};
    QList<int> widths;
    for (int c = 0; c < minimum.size(); ++c)
        widths << qMax(minimum.at(c), hfgPHNBill->columnWidth(c) * 15);
    setMinimumWidthsTwips(hfgPHNBill, widths);
}

void frmPHNBill::showList(const QList<BillRow> &bills, const BillTotals &totals)
{
    QList<QStringList> rows;
    rows.reserve(bills.size());
    for (const BillRow &b : bills)
        rows.append(b.listed());
    m_model->setRows(billHeader(), std::move(rows));
    lblInformation->setText(billInformation(totals));
}

void frmPHNBill::cmdPrint_Click()
{
    const Checked<TableSource> rows = billListSource(m_store);
    if (!rows) {
        m_ctx.messages.show(rows.reason(), QStringLiteral("话单打印"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    ReportDef report = DRBillPrint();
    setBillTotals(report, m_store.billTotals());
    ReportPreviewDialog preview(report, *rows, m_ctx.clock.now().date(), m_ctx.messages, this);
    ShowModal(m_ctx, preview);
}

void frmPHNBill::cmdDelete_Click()
{
    if (!MayDeleteBills(m_ctx, this))
        return;
    if (m_ctx.messages.show(QStringLiteral("是否删除列表中的所有话单？"), QStringLiteral("话单删除"),
                            MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo, this)
        != MessageService::Answer::Yes)
        return;
    const Checked<int> deleted = m_store.deleteListedFromMain(m_ctx.db);
    if (!deleted) {
        // Nothing went: the list stays as it was.
        m_ctx.messages.show(deleted.reason(), QStringLiteral("话单删除"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    m_model->clearRows();
    lblInformation->setText(billInformation(BillTotals{}));
    cmdDelete->setEnabled(false);
}

void frmPHNBill::cmdExport_Click()
{
    const QString path = m_askExportPath(
        QDir(m_ctx.home.root())
            .filePath(QStringLiteral("话单%1.xlsx").arg(m_ctx.clock.now().toString(QStringLiteral("yyyyMMddHHmm")))));
    if (path.isEmpty())
        return;
    exportAndTell(m_ctx.messages, this, path, {billSheet(m_store.bills())});
}

} // namespace corvane
