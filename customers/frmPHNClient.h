#pragma once
#include <QDialog>
#include <QList>
#include <array>
#include <memory>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corvane {

class ConsoleContext;
class FlexGrid;
class Recordset;

// "客户/黑名单信息": the customer address book, whose phone numbers name an
// incoming caller, and the blacklist of barred caller numbers. Each register
// is browsed in its grid and edited in its boxes: "添加" or "修改" starts an
// edit, the same button then reads "保存". Nothing here goes to the switch.
class frmPHNClient : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientColumns = 20;
    static constexpr int BlacklistColumns = 2;
    static constexpr int ClientNumberLength = 4;
    static constexpr int BlacklistNumberLength = 15;

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

    // Whether a register is being edited, and whether its save will insert.
    bool clientEditing() const { return m_clientEditing; }
    bool clientInsert() const { return m_clientInsert; }
    bool blacklistEditing() const { return m_blackEditing; }
    bool blacklistInsert() const { return m_blackInsert; }

public slots:
    void cmdLeave_Click();

    void hfgClient_Click();
    void cmdAddClient_Click();
    void cmdAmendClient_Click();     // "修改", or "保存" while editing
    void cmdDeleteClient_Click();
    // The check run when the focus leaves box i; false (message shown, focus
    // kept) when the text must be a number and is not.
    bool txtClient_Validate(int index);

    void hfgBlacklist_Click();
    void cmdAddBlacklist_Click();
    void cmdAmendBlacklist_Click();
    void cmdDeleteBlacklist_Click();
    bool txtBlacklist_Validate(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    QWidget *buildClientTab();
    QWidget *buildBlacklistTab();

    void modifyClient();
    void saveClient();
    void modifyBlacklist();
    void saveBlacklist();

    void fillClientGrid();
    void fillBlacklistGrid();
    void setClientBoxes(bool enabled, bool clear);
    void setBlacklistBoxes(bool enabled, bool clear);
    // Box that last had the focus in each register (its check runs before a
    // save, as leaving it would).
    bool validatePendingClientBox();
    bool validatePendingBlacklistBox();
    bool mustBeNumber(const QLineEdit *box) const;
    void focusBox(QLineEdit *box, bool selectAll);
    bool showSaveError(const QString &what);

    ConsoleContext &m_ctx;
    std::unique_ptr<Recordset> m_client;
    std::unique_ptr<Recordset> m_black;
    bool m_clientEditing = false;
    bool m_clientInsert = false;
    bool m_blackEditing = false;
    bool m_blackInsert = false;
    QLineEdit *m_lastClientBox = nullptr;
    QLineEdit *m_lastBlackBox = nullptr;
    bool m_validating = false;
};

} // namespace corvane
