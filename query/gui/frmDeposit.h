#pragma once
#include "CallQuery.h"
#include "PrintStore.h"

#include "Settlement.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace corvane {

class BackgroundWork;
class ConsoleContext;
class PrinterPort;
class RowsModel;

// "计算话单": the fee rows of a settlement run, their totals, the settlement
// itself, the fee list and the receipts in a print preview, the grand total
// on the default printer, and the fee rows as a spreadsheet workbook or CSV.
// Each of them takes the rows the list shows, in the order shown.
class frmDeposit : public QDialog {
    Q_OBJECT
public:
    // printers: where the grand total goes; nullptr prints through CUPS.
    frmDeposit(ConsoleContext &ctx, PrintStore &store, PrinterPort *printers = nullptr, QWidget *parent = nullptr);
    ~frmDeposit() override;

    // Asks where the exported list goes (.xlsx, or .csv by its name; empty
    // cancels); the default asks with a file dialog.
    void setExportPathAsker(std::function<QString(const QString &)> ask) { m_askExportPath = std::move(ask); }
    // True unless a settlement is under way (the window then refuses to close).
    bool isReady() const { return m_ready; }
    // The query behind the fee rows: its criteria and what it chose. Settling
    // settles the rooms shown (the filter decides) as they are at the moment
    // of the commit.
    void setList(const CallQuery::Criteria &criteria, const CallQuery::Chosen &chosen);
    // How many records the query asked for were settled before and are left
    // out of the fee rows; said under the totals.
    void setSettledLeftOut(int count);

    QTableView *hfgDeposit = nullptr;
    QLabel *lblInformation = nullptr;
    // What the last settlement run settled, or what the list leaves out.
    QLabel *lblSettled = nullptr;
    QPushButton *cmdDeposit = nullptr;
    QPushButton *cmdGridPrint = nullptr;
    QPushButton *cmdPagePrint = nullptr;
    QPushButton *cmdPrintTotal = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdLeave = nullptr;

public slots:
    void reject() override;

private slots:
    void cmdDeposit_Click();
    void cmdGridPrint_Click();
    void cmdPagePrint_Click();
    void cmdPrintTotal_Click();
    void cmdExport_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    // After the worker worked out what settling would do: the question, then
    // the settlement beside the interface thread.
    void askAndSettle(const Checked<Settlement::Preview> &preview, int hiddenRooms);
    void settled(const Settlement::Outcome &out);
    // The fee rows shown now, and their numbers, in the order shown.
    QList<FeeRow> shownFees() const;
    QStringList shownNumbers() const;
    // The totals and the buttons after the rows shown changed.
    void showShown();
    void setBusy(bool busy);
    void preview(bool receipts);

    ConsoleContext &m_ctx;
    PrintStore &m_store;
    std::unique_ptr<PrinterPort> m_ownPrinters;
    PrinterPort *m_printers;
    RowsModel *m_model = nullptr;
    QList<FeeRow> m_fees; // in the model's source order
    bool m_ready = true;
    CallQuery::Criteria m_criteria;
    CallQuery::Chosen m_chosen;
    bool m_hasList = false;
    Settlement::Request m_request;
    BackgroundWork *m_work = nullptr;
    std::function<QString(const QString &)> m_askExportPath;
};

} // namespace corvane
