#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane::tallowin {

// Before a restore: the operator who restores and the password. The backup
// tool checks them (CheckRestorer) once the dialog is accepted.
class frmRestoreLogin : public QDialog {
    Q_OBJECT
public:
    explicit frmRestoreLogin(QWidget *parent = nullptr);

    QString operatorName() const;
    QString password() const;

    QLabel *lblPrompt;
    QLineEdit *txtOperator;
    QLineEdit *txtCode;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};

} // namespace corvane::tallowin
