#pragma once
#include "CallQuery.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QDateEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace corvane {

class BackgroundWork;
class ConsoleContext;
class PrinterPort;
class PrintStore;

// "话单查询与结算": which stored call records to list or settle (by
// extension, group or account, call type, state and an optional time range);
// fills print.mdb and opens the bill window (query) or the settlement window.
// The records are chosen beside the interface thread, on a connection of
// their own (the console keeps taking calls); "开始处理" waits meanwhile.
class frmPHNQuery : public QDialog {
    Q_OBJECT
public:
    // printers: handed to the settlement window; nullptr prints through CUPS.
    frmPHNQuery(ConsoleContext &ctx, QWidget *parent = nullptr, PrinterPort *printers = nullptr);
    ~frmPHNQuery() override;

    QRadioButton *optCommon = nullptr;
    QRadioButton *optGroup = nullptr;
    QRadioButton *optAccount = nullptr;
    QListWidget *lstUser = nullptr;
    QPushButton *cmdSelectAll = nullptr;
    QPushButton *cmdClear = nullptr;
    QPushButton *cmdSelectContrary = nullptr;
    QCheckBox *chkClass[10] = {};
    QCheckBox *chkON = nullptr;
    QDateEdit *dtpDateBegin = nullptr;
    QTimeEdit *dtpTimeBegin = nullptr;
    QDateEdit *dtpDateEnd = nullptr;
    QTimeEdit *dtpTimeEnd = nullptr;
    QRadioButton *optBill[3] = {};
    QRadioButton *optQuery = nullptr;
    QRadioButton *optDeposit = nullptr;
    QCheckBox *chkRent = nullptr;
    QPushButton *cmdThisMonth = nullptr;
    QPushButton *cmdLastMonth = nullptr;
    QPushButton *cmdDeal = nullptr;
    QPushButton *cmdLeave = nullptr;

private slots:
    void optCommon_Click();
    void optGroup_Click();
    void optAccount_Click();
    void cmdSelectAll_Click();
    void cmdClear_Click();
    void cmdSelectContrary_Click();
    void chkON_Click();
    void modeChanged();
    void cmdDeal_Click();

private:
    // The whole of this month (0) or of the month before (-1), range on.
    void setMonthRange(int monthsBack);
    // Why a query chose no record, for the empty list.
    QString emptyReason(const CallQuery::Criteria &criteria) const;

    void Form_Load();
    void fillUserList(CallQuery::SelectMode mode);
    // What a query beside the interface thread hands back.
    struct Listing {
        QString error;
        std::shared_ptr<const BillList> list;
        CallQuery::Chosen chosen;
    };
    void showListing(const CallQuery::Criteria &criteria, int billOption, Listing listing);
    CallQuery::SelectMode selectMode() const;

    ConsoleContext &m_ctx;
    PrinterPort *m_printers;
    std::unique_ptr<PrintStore> m_store;
    BackgroundWork *m_work = nullptr;
};

} // namespace corvane
