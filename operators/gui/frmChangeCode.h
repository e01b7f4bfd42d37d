#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace corvane {

class ConsoleContext;

// Changes the password of the operator loaded into the login state.
class frmChangeCode : public QDialog {
    Q_OBJECT
public:
    explicit frmChangeCode(ConsoleContext &ctx, QWidget *parent = nullptr);

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
};

} // namespace corvane
