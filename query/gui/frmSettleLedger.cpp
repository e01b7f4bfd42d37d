#include "frmSettleLedger.h"

#include "ConsoleContext.h"
#include "ExportDialog.h"
#include "NamedWidgets.h"
#include "PrintJobs.h"
#include "RowsModel.h"
#include "ShowModal.h"
#include "TypedTime.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane {

using namespace NamedWidgets;

frmSettleLedger::frmSettleLedger(ConsoleContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx), m_ledger(ctx.db)
{
    setObjectName(QStringLiteral("frmSettleLedger"));
    setWindowTitle(QStringLiteral("结算记录"));
    resize(1100, 600);

    dtpDateBegin = named(new QDateEdit(this), QStringLiteral("dtpDateBegin"), QStringLiteral("开始日期"));
    dtpDateEnd = named(new QDateEdit(this), QStringLiteral("dtpDateEnd"), QStringLiteral("结束日期"));
    for (QDateEdit *d : {dtpDateBegin, dtpDateEnd}) {
        AcceptTypedDate(d);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setCalendarPopup(true);
    }
    cmbCaller = named(new QComboBox(this), QStringLiteral("cmbCaller"), QStringLiteral("主叫号码"));
    cmbCaller->setMinimumContentsLength(10);
    cmdQuery = button(this, QStringLiteral("查询(&Q)"), QStringLiteral("cmdQuery"));

    m_model = new RowsModel(this);
    // The first and last end times, stored as the switch or the console wrote
    // them, read in one form.
    m_model->setEndTimeColumns({7, 8});
    hfgLedger = makeListView(this, QStringLiteral("hfgLedger"), QStringLiteral("结算记录列表"), m_model);
    hfgLedger->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lblInformation = new QLabel(this);
    lblInformation->setObjectName(QStringLiteral("lblInformation"));
    lblInformation->setAccessibleName(QStringLiteral("结算记录总计"));
    cmdReprint = button(this, QStringLiteral("重印收据(&R)"), QStringLiteral("cmdReprint"));
    cmdExport = button(this, QStringLiteral("导出(&E)..."), QStringLiteral("cmdExport"));
    cmdLeave = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdLeave"));

    auto *choice = new QHBoxLayout;
    choice->addWidget(buddyLabel(this, QStringLiteral("开始日期(&B)："), dtpDateBegin));
    choice->addWidget(dtpDateBegin);
    choice->addWidget(buddyLabel(this, QStringLiteral("结束日期(&N)："), dtpDateEnd));
    choice->addWidget(dtpDateEnd);
    choice->addWidget(buddyLabel(this, QStringLiteral("主叫号码(&C)："), cmbCaller));
    choice->addWidget(cmbCaller);
    choice->addWidget(cmdQuery);
    choice->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblInformation, 1);
    for (QPushButton *b : {cmdReprint, cmdExport, cmdLeave})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addWidget(makeFilterBox(this, m_model));
    layout->addWidget(hfgLedger, 1);
    layout->addLayout(buttons);

    connect(cmdQuery, &QPushButton::clicked, this, &frmSettleLedger::cmdQuery_Click);
    connect(cmdReprint, &QPushButton::clicked, this, &frmSettleLedger::cmdReprint_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmSettleLedger::cmdExport_Click);
    connect(cmdLeave, &QPushButton::clicked, this, &QDialog::accept);
    // Filtered, sorted or listed anew: the totals and the export follow the rows shown.
    connect(m_model, &QAbstractItemModel::modelReset, this, &frmSettleLedger::showShown);

    m_askExportPath = [this](const QString &suggested) {
        return askExportPath(this, QStringLiteral("导出结算记录"), suggested, m_ctx.login.OPName);
    };
    Form_Load();
}

void frmSettleLedger::Form_Load()
{
    const auto [first, last] = SettleLedger::monthOf(m_ctx.clock.now().date());
    dtpDateBegin->setDate(first);
    dtpDateEnd->setDate(last);
    fillCallers();
    cmdQuery_Click();
}

void frmSettleLedger::fillCallers()
{
    cmbCaller->clear();
    cmbCaller->addItem(QStringLiteral("全部"), QString());
    const Checked<QStringList> callers = m_ledger.callers();
    if (!callers) {
        m_ctx.messages.show(callers.reason(), windowTitle(), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
        return;
    }
    for (const QString &c : *callers)
        cmbCaller->addItem(c, c);
}

void frmSettleLedger::cmdQuery_Click()
{
    const QDate first = dtpDateBegin->date(), last = dtpDateEnd->date();
    // Nothing stays listed that the choice on screen did not choose.
    if (Status s = SettleLedger::checkRange(first, last); !s) {
        showRows({});
        lblInformation->setText(s.reason());
        m_ctx.messages.inputError(s.reason(), this);
        return;
    }
    const Checked<QList<LedgerRow>> rows = m_ledger.rows(first, last, cmbCaller->currentData().toString());
    if (!rows) {
        showRows({});
        lblInformation->setText(rows.reason());
        m_ctx.messages.show(rows.reason(), windowTitle(), MessageService::Icon::Critical, MessageService::Buttons::Ok,
                            this);
        return;
    }
    showRows(*rows);
}

void frmSettleLedger::showRows(QList<LedgerRow> rows)
{
    m_rows = std::move(rows);
    QList<QStringList> texts;
    texts.reserve(m_rows.size());
    for (const LedgerRow &r : m_rows)
        texts.append(SettleLedger::texts(r));
    m_model->setRows(SettleLedger::header(), std::move(texts));
    hfgLedger->resizeColumnsToContents();
}

QList<LedgerRow> frmSettleLedger::shownRows() const
{
    QList<LedgerRow> out;
    for (int r : m_model->shownRows())
        out.append(m_rows.at(r));
    return out;
}

void frmSettleLedger::showShown()
{
    const QList<LedgerRow> shown = shownRows();
    lblInformation->setText(m_rows.isEmpty() ? SettleLedger::nothingFoundText()
                                             : SettleLedger::totalsText(SettleLedger::totalsOf(shown)));
    cmdExport->setEnabled(!shown.isEmpty());
}

void frmSettleLedger::cmdReprint_Click()
{
    // Chosen among the rows shown: a new filter or sort clears the choice,
    // so that no row the filter hides is printed.
    QList<int> picked;
    for (const QModelIndex &i : hfgLedger->selectionModel()->selectedRows())
        if (const int r = m_model->sourceRow(i.row()); r >= 0)
            picked.append(r);
    std::sort(picked.begin(), picked.end());
    if (picked.isEmpty()) {
        m_ctx.messages.show(QStringLiteral("请先在列表中选择要重印收据的结算记录。"), QStringLiteral("重印收据"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    QList<LedgerRow> chosen;
    for (int r : picked)
        chosen.append(m_rows.at(r));
    ReportPreviewDialog preview(SettleLedger::receiptReport(), SettleLedger::receiptSource(chosen),
                                m_ctx.clock.now().date(), m_ctx.messages, this);
    const QString who = chosen.size() == 1 ? chosen.first().caller + QLatin1Char('-') : QString();
    preview.setPdfName(
        QStringLiteral("收据-") + who
            + (chosen.size() == 1 ? chosen.first().settledAt : m_ctx.clock.now()).toString(QStringLiteral("yyyyMMdd"))
            + QStringLiteral(".pdf"),
        m_ctx.login.OPName);
    ShowModal(m_ctx, preview);
}

void frmSettleLedger::cmdExport_Click()
{
    const QString name = QStringLiteral("结算记录%1-%2.xlsx")
                             .arg(dtpDateBegin->date().toString(QStringLiteral("yyyyMMdd")),
                                  dtpDateEnd->date().toString(QStringLiteral("yyyyMMdd")));
    const QString path = m_askExportPath(name);
    if (path.isEmpty())
        return;
    exportAndTell(m_ctx.messages, this, path, {SettleLedger::sheet(shownRows())});
}

} // namespace corvane
