#pragma once
#include "StoreFailureNotice.h"
#include <QDialog>
#include <array>
#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corvane {

class ClientRegisters;
class ConsoleContext;
class FlexGrid;
class RegisterBinding;

// "客户/黑名单信息": the customer address book, whose phone numbers name an
// incoming caller, and the blacklist of barred caller numbers. Each register
// is browsed in its grid and edited in its boxes: "添加" or "修改" starts an
// edit, the same button then reads "保存". The registers, their rules and
// their stores are ClientRegisters'; nothing here goes to the switch.
class frmPHNClient : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientColumns = 20;
    static constexpr int BlacklistColumns = 2;

    explicit frmPHNClient(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmPHNClient() override;

    QPushButton *cmdLeave;
    QTabWidget *sstClient;

    FlexGrid *hfgClient;
    QGroupBox *fraClient;
    std::array<QLineEdit *, ClientColumns> txtClient{};
    QPushButton *cmdAddClient;
    QPushButton *cmdDeleteClient;
    QPushButton *cmdAmendClient;

    FlexGrid *hfgBlacklist;
    QGroupBox *fraBlacklist;
    std::array<QLineEdit *, BlacklistColumns> txtBlacklist{};
    QPushButton *cmdAddBlacklist;
    QPushButton *cmdDeleteBlacklist;
    QPushButton *cmdAmendBlacklist;

public slots:
    void cmdLeave_Click();

    void hfgClient_Click();
    void cmdAddClient_Click();
    void cmdAmendClient_Click(); // "修改", or "保存" while editing
    void cmdDeleteClient_Click();

    void hfgBlacklist_Click();
    void cmdAddBlacklist_Click();
    void cmdAmendBlacklist_Click();
    void cmdDeleteBlacklist_Click();

private:
    void Form_Load();
    QWidget *buildClientTab();
    QWidget *buildBlacklistTab();

    ConsoleContext &m_ctx;
    std::unique_ptr<ClientRegisters> m_registers;
    StoreFailureNotice m_notice;
    RegisterBinding *m_clients = nullptr;
    RegisterBinding *m_blacklist = nullptr;
};

} // namespace corvane
