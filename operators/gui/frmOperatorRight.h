#pragma once
#include <QDialog>
#include <array>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace corvane {

class ConsoleContext;
class OperatorAdmin;
class Recordset;

// Rights management, for "管理员" only: the operators, the eleven rights of
// the selected one, adding, deleting and saving rights.
class frmOperatorRight : public QDialog {
    Q_OBJECT
public:
    explicit frmOperatorRight(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmOperatorRight() override;

    // The window's OP recordset, which the add window works on.
    Recordset &rsOperator();
    OperatorAdmin &admin() { return *m_admin; }

    QListWidget *lstOPName;
    QGroupBox *fraRight;
    std::array<QCheckBox *, 11> chkRight{};
    QPushButton *cmdAdd;
    QPushButton *cmdDelete;
    QPushButton *cmdSave;
    QPushButton *cmdExit;

public slots:
    void lstOPName_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdSave_Click();
    void cmdExit_Click();

private:
    void Form_Load();
    // Refills the list from the table and selects `name` (its rights shown).
    void fillNames(const QString &name);
    void showRights();
    QList<bool> tickedRights() const;
    // Ticks not saved yet for the selected operator are offered for saving:
    // false when the operator chose to stay ("取消") or the save failed.
    bool keepOrDropUnsaved();
    // Saves the ticks and says so; false (and said) when refused.
    bool saveTicked();

    ConsoleContext &m_ctx;
    std::unique_ptr<OperatorAdmin> m_admin;
};

// Adds an operator to the rights window's table.
class frmOperatorNew : public QDialog {
    Q_OBJECT
public:
    frmOperatorNew(ConsoleContext &ctx, OperatorAdmin &admin, QWidget *parent = nullptr);

    QLineEdit *txtOPName;
    QLineEdit *txtCode;
    QLineEdit *txtConfirm;
    QPushButton *cmdOk;
    QPushButton *cmdCancel;

public slots:
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    ConsoleContext &m_ctx;
    OperatorAdmin &m_admin;
};

} // namespace corvane
