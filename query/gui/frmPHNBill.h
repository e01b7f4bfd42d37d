#pragma once
#include "PrintStore.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace corvane {

class BackgroundWork;
class ConsoleContext;
class RowsModel;

// "话单查询": the call records the query listed in print.mdb, their count and
// sum, the call list report in a print preview, the list as a spreadsheet
// workbook or CSV, and the deletion of the listed records from the main table
// behind right 10. Each of them takes the records the list shows, in the
// order shown: those the filter hides are left alone. The list comes made
// (BillList, from the query's worker); a big one is sorted and filtered,
// exported and deleted beside the interface thread.
class frmPHNBill : public QDialog {
    Q_OBJECT
public:
    // Why the query chose no record, said under the empty list.
    void setEmptyReason(const QString &reason);
    frmPHNBill(ConsoleContext &ctx, PrintStore &store, std::shared_ptr<const BillList> list, QWidget *parent = nullptr);

    // Asks where the exported list goes (.xlsx, or .csv by its name; empty
    // cancels); the default asks with a file dialog.
    void setExportPathAsker(std::function<QString(const QString &)> ask) { m_askExportPath = std::move(ask); }

    QTableView *hfgPHNBill = nullptr;
    QLabel *lblInformation = nullptr;
    QLabel *lblEmpty = nullptr; // why the list is empty
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdExit = nullptr;

private slots:
    void cmdPrint_Click();
    void cmdDelete_Click();
    void cmdExport_Click();

private:
    void Form_Load();
    void showList(std::shared_ptr<const BillList> list);
    // The records the list shows now, in the order shown.
    QList<BillRow> shownBills() const;
    // The totals and the buttons after the rows shown changed.
    void showShown();

    ConsoleContext &m_ctx;
    PrintStore &m_store;
    RowsModel *m_model = nullptr;
    QString m_emptyReason = QStringLiteral("没有话单。");
    std::shared_ptr<const BillList> m_list; // in the model's source order
    BackgroundWork *m_work = nullptr;
    std::function<QString(const QString &)> m_askExportPath;
};

} // namespace corvane
