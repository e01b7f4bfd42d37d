#pragma once
#include "LedgerTable.h"
#include "SettleLedger.h"

#include <QDialog>
#include <QList>
#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace corvane {

class ConsoleContext;
class RowsModel;

// "结算记录": the settlement ledger by range of days (this month at first)
// and caller, with its totals, the receipts of the chosen rows printed again,
// and the list exported. The totals and the export take the rows the list
// shows, in the order shown. Nothing here changes the ledger.
class frmSettleLedger : public QDialog {
    Q_OBJECT
public:
    explicit frmSettleLedger(ConsoleContext &ctx, QWidget *parent = nullptr);

    // Asks where the exported list goes (.xlsx, or .csv by its name; empty
    // cancels); the default asks with a file dialog.
    void setExportPathAsker(std::function<QString(const QString &)> ask) { m_askExportPath = std::move(ask); }
    // The rows listed now, in list order.
    const QList<LedgerRow> &listed() const { return m_rows; }

    QDateEdit *dtpDateBegin = nullptr;
    QDateEdit *dtpDateEnd = nullptr;
    QComboBox *cmbCaller = nullptr;
    QPushButton *cmdQuery = nullptr;
    QTableView *hfgLedger = nullptr;
    QLabel *lblInformation = nullptr;
    QPushButton *cmdReprint = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdLeave = nullptr;

private slots:
    void cmdQuery_Click();
    void cmdReprint_Click();
    void cmdExport_Click();

private:
    void Form_Load();
    void fillCallers();
    void showRows(QList<LedgerRow> rows);
    // The rows the list shows now, in the order shown.
    QList<LedgerRow> shownRows() const;
    // The totals and the export button after the rows shown changed.
    void showShown();

    ConsoleContext &m_ctx;
    SettleLedger m_ledger;
    RowsModel *m_model = nullptr;
    QList<LedgerRow> m_rows;
    std::function<QString(const QString &)> m_askExportPath;
};

} // namespace corvane
