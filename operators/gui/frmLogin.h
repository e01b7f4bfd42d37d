#pragma once
#include <QDialog>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace corvane {

class ConsoleContext;
class OperatorLogin;

// The login window: pick an operator, type the password, log in or leave.
class frmLogin : public QDialog {
    Q_OBJECT
public:
    explicit frmLogin(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmLogin() override;

    QComboBox *cmbOPName;
    QLineEdit *txtCode;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdChangePassword;

public slots:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdChangePassword_Click();

private:
    ConsoleContext &m_ctx;
    std::unique_ptr<OperatorLogin> m_op;
};

} // namespace corvane
