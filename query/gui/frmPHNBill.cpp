#include "frmPHNBill.h"

#include "BackgroundWork.h"
#include "CallQuery.h"
#include "ConsoleContext.h"
#include "Database.h"
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
#include <QSet>
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

frmPHNBill::frmPHNBill(ConsoleContext &ctx, PrintStore &store, std::shared_ptr<const BillList> list, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_store(store), m_list(std::move(list))
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
    m_model->setSumColumn(col::PrintBill::Fee);
    m_work = new BackgroundWork(m_ctx.clock, this);
    // Nothing else is done to the list while it is exported or deleted.
    connect(m_work, &BackgroundWork::runningChanged, this, [this] { showShown(); });
    // Nor while a new filter or order of a big list is worked out: the rows
    // shown are not yet the ones the filter keeps.
    connect(m_model, &RowsModel::busyChanged, this, [this] { showShown(); });
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
    showList(m_list ? m_list : std::make_shared<const BillList>());
    // Every column as wide as its values, at least its minimum.
    hfgPHNBill->resizeColumnsToContents();
    const QList<int> minimum{800, 1450, 2100, 600, 600, 1900, 1000};
    QList<int> widths;
    for (int c = 0; c < minimum.size(); ++c)
        widths << qMax(minimum.at(c), hfgPHNBill->columnWidth(c) * 15);
    setMinimumWidthsTwips(hfgPHNBill, widths);
}

void frmPHNBill::showList(std::shared_ptr<const BillList> list)
{
    m_list = std::move(list);
    // The filter typed stays: the model shows the new rows through it.
    m_model->setRows(billHeader(), std::shared_ptr<const PackedRows>(m_list, &m_list->rows));
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
        out.append(m_list->row(r));
    return out;
}

void frmPHNBill::showShown()
{
    const BillTotals totals{m_model->rowCount(), m_model->shownSum()};
    lblInformation->setText(billInformation(totals));
    // An empty list says why.
    lblEmpty->setText(totals.count > 0           ? QString()
                      : m_model->rowsHeld() == 0 ? m_emptyReason
                                                 : QStringLiteral("筛选后没有显示任何话单。"));
    lblEmpty->setVisible(totals.count == 0);
    for (QPushButton *b : {cmdPrint, cmdDelete, cmdExport})
        b->setEnabled(totals.count > 0 && !m_work->running() && !m_model->busy());
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
    // The records themselves are gathered by the worker: only their
    // positions are taken here, as they are shown now.
    const QList<int> shown = m_model->shownRows();
    if (shown.isEmpty())
        return;
    const QString title = QStringLiteral("话单删除");
    const int hidden = int(m_list->size() - shown.size());
    const QString question =
        hidden > 0
            ? QStringLiteral("是否删除列表中显示的%1条话单？\n筛选隐藏的%2条话单不删除。").arg(shown.size()).arg(hidden)
            : QStringLiteral("是否删除列表中的%1条话单？").arg(shown.size());
    if (m_ctx.messages.show(question, title, MessageService::Icon::Question, MessageService::Buttons::YesNoDefaultNo,
                            this)
        != MessageService::Answer::Yes)
        return;
    // Deleted beside the interface thread, in one transaction on a
    // connection of its own; print.mdb and the list follow.
    struct Deleted {
        Checked<int> count = Checked<int>::refuse(QString());
        std::shared_ptr<const BillList> left;
    };
    const ConsoleContext::Beside beside = m_ctx.beside();
    const QString printPath = m_store.database().path();
    const std::shared_ptr<const BillList> list = m_list;
    m_work->start<Deleted>(
        QStringLiteral("正在删除话单"),
        [beside, printPath, list, shown](WorkControl &control) {
            Deleted out;
            Database db;
            PrintStore store;
            if (Status s = beside.open(db); !s) {
                out.count = Checked<int>::refuse(s.context(QStringLiteral("话单未能删除")));
                return out;
            }
            if (Status s = store.open(printPath); !s) {
                out.count = Checked<int>::refuse(s.context(QStringLiteral("话单未能删除")));
                return out;
            }
            QList<BillRow> rows;
            rows.reserve(shown.size());
            for (int r : shown)
                rows.append(list->row(r));
            control.watch(&db);
            QList<qint64> gone;
            out.count = store.deleteFromMain(db, rows, &gone);
            control.watch(nullptr);
            if (out.count) {
                const QSet<qint64> removed(gone.cbegin(), gone.cend());
                auto left = std::make_shared<BillList>();
                for (qsizetype r = 0; r < list->size(); ++r)
                    if (!removed.contains(list->mainRowIds[size_t(r)]))
                        left->append(list->mainRowIds[size_t(r)],
                                     {list->rows.cell(r, 0), list->rows.cell(r, 1), list->rows.cell(r, 2),
                                      list->rows.cell(r, 3), list->rows.cell(r, 4), list->rows.cell(r, 5),
                                      list->rows.cell(r, 6)});
                out.left = std::move(left);
            }
            return out;
        },
        [this, title](Deleted d) {
            if (!d.count) {
                // Nothing went: the list stays as it was.
                m_ctx.messages.show(d.count.reason(), title, MessageService::Icon::Critical,
                                    MessageService::Buttons::Ok, this);
                return;
            }
            // A deposit given back may lift a room out of debt: its class goes to
            // the switch now that the deletion is committed.
            if (m_ctx.link)
                m_ctx.link->SendKeptAndTell(this);
            showList(d.left);
        });
}

void frmPHNBill::cmdExport_Click()
{
    const QList<int> shown = m_model->shownRows();
    if (shown.isEmpty())
        return;
    const QString path = m_askExportPath(
        QStringLiteral("话单-%1.xlsx").arg(m_ctx.clock.now().toString(QStringLiteral("yyyyMMdd-HHmm"))));
    if (path.isEmpty())
        return;
    // The sheet is made and written beside the interface thread.
    const std::shared_ptr<const BillList> list = m_list;
    m_work->start<Checked<int>>(
        QStringLiteral("正在导出话单"),
        [list, shown, path](WorkControl &control) {
            QList<BillRow> rows;
            rows.reserve(shown.size());
            for (int r : shown)
                rows.append(list->row(r));
            // Cancelled before the file is written, nothing is.
            if (control.cancelled())
                return Checked<int>::refuse(CallQuery::CancelledText());
            return exportSheets(path, {billSheet(rows)});
        },
        [this, path](Checked<int> written) { tellExported(m_ctx.messages, this, path, written); });
}

} // namespace corvane
