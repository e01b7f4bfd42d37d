#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class ConsoleContext;
class OperatorLogin;

// Changes the password of the operator `op` has loaded into the login state.
// The new password is stored before the window says it has been changed.
class frmChangeCode : public QDialog {
    Q_OBJECT
public:
    frmChangeCode(ConsoleContext &ctx, OperatorLogin &op, QWidget *parent = nullptr);

    QLabel *lblOperator; // whose password is changed
    QLineEdit *txtOld;
    QLineEdit *txtNew;
    QLineEdit *txtConfirm;
    QPushButton *cmdOk;
    QPushButton *cmdCancel;

public slots:
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    ConsoleContext &m_ctx;
    OperatorLogin &m_op;
};

} // namespace corvane
