#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

namespace corvane {

class ConsoleContext;
class FlexGrid;

// The operators' usage record, read-only.
class frmOperatorRecord : public QDialog {
    Q_OBJECT
public:
    explicit frmOperatorRecord(ConsoleContext &ctx, QWidget *parent = nullptr);

    FlexGrid *hfgOperatorRecord;
    QLabel *lblNote;
    QPushButton *cmdLeave;

public slots:
    void cmdLeave_Click();

private:
    void Form_Load();

    ConsoleContext &m_ctx;
};

} // namespace corvane
