#pragma once
#include "StoreFailureNotice.h"
#include "StoreResult.h"
#include "UserParameters.h"

#include <QDialog>
#include <QPointer>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace corvane {

class ConsoleContext;
class FlexGrid;
class GridCellEditor;

// "用户参数设置": the extensions (numbers, classes, rights, names, payment
// types, rents), the groups they belong to, the deposits and the accounts.
// Every accepted change is written at once and its star codes go to the
// switch through the link's queue; the rules, writes and codes are
// UserParameters'. The switch is told "3100" when the window opens and "11"
// when it closes, however it closes.
class frmPHNGroup : public QDialog {
    Q_OBJECT
public:
    explicit frmPHNGroup(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmPHNGroup() override;

    QTabWidget *sstGroup;
    QPushButton *cmdExit;

    // Users tab
    FlexGrid *hfgUser;
    QLineEdit *txtUser;
    QLineEdit *txtPhone;
    QPushButton *cmdLocal;
    QLineEdit *txtPortBegin;
    QLineEdit *txtPortEnd;
    QLineEdit *txtValue;
    QComboBox *cmbValue;
    QPushButton *cmdAmendUser;
    QLabel *lblTip;

    // Groups tab
    QListWidget *lstGroup;
    QPushButton *cmdAddGroup;
    QPushButton *cmdDeleteGroup;
    QListWidget *lstUser;
    QPushButton *cmdSelectAll;
    QPushButton *cmdSelectContrary;
    QPushButton *cmdClear;
    QPushButton *cmdSave;

    // Deposits tab
    FlexGrid *hfgForegift;
    QLineEdit *txtForegift;
    QPushButton *cmdTopUp;
    QPushButton *cmdSlip;

    // Accounts tab
    FlexGrid *hfgAccount;
    QLineEdit *txtAccount;
    QPushButton *cmdAddAccount;
    QPushButton *cmdDeleteAccount;

    // Whether a batch change is still going out to the switch.
    bool amending() const;

public slots:
    void cmdLocal_Click();
    void cmdAmendUser_Click();
    void cmdAddGroup_Click();
    void cmdDeleteGroup_Click();
    void cmdSelectAll_Click();
    void cmdSelectContrary_Click();
    void cmdClear_Click();
    void cmdSave_Click();
    void cmdAddAccount_Click();
    void cmdDeleteAccount_Click();
    void cmdExit_Click();
    void cmdTopUp_Click();
    void cmdSlip_Click();
    void done(int result) override;

private:
    QWidget *buildUsersTab();
    QWidget *buildGroupsTab();
    QWidget *buildDepositsTab();
    QWidget *buildAccountsTab();
    void attachCellEditors();

    void Form_Load();
    void Form_Unload();
    void sstGroup_Click(int tab);
    void hfgUser_MouseDown(Qt::MouseButton button);
    void hfgUser_MouseUp(Qt::MouseButton button);
    void lstGroup_Click();

    void fillUsers();
    void fillGroups();
    void fillDeposits();
    // The deposit row the deposit grid's current row shows (-1: none).
    qint64 currentDepositRowId() const;
    // The slip of the deposit's last movement, in a print preview.
    void printDepositSlip(qint64 rowId);
    void offerDepositSlip(qint64 rowId);
    qint64 m_slipFor = -1; // the deposit whose "押金" was just changed
    void fillAccounts();

    // The user checks and the run of one change over a range of ports; the
    // first port is written before this returns.
    Checked<UserParameters::AmendPlan> planUserChange(int col, const UserParameters::PortRange &range,
                                                      const QString &value);
    // Asks before deposits holding money are dropped; false: leave them.
    bool confirmDropDeposits(const UserParameters::AmendPlan &plan);
    Status startAmend(const UserParameters::AmendPlan &plan);
    void showUserValue(int port, int col, const QString &value);
    QString portOfRow(int gridRow) const;
    // Whether the filter hides a user of the range.
    bool hidesUsers(const UserParameters::PortRange &range) const;

    void finishStore(const StoreResult &result);
    StoreResult kept(const std::function<StoreResult()> &store);
    void refuse(const QString &reason);

    ConsoleContext &m_ctx;
    std::unique_ptr<UserParameters> m_params;
    StoreFailureNotice m_notice;
    QPointer<UserAmendRun> m_run;
    // The column "批量修改" changes: the one its caption names.
    int m_batchCol = -1;
    GridCellEditor *m_userCells = nullptr;
    GridCellEditor *m_depositCells = nullptr;
    GridCellEditor *m_accountCells = nullptr;
    bool m_unloaded = false;
};

} // namespace corvane
