#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace corvane {

class ConsoleContext;
class SwitchLink;

// "串口选择": search the switch again or pick its serial port by hand. The
// chosen port is opened at once and stored in the configuration row.
//
// The search runs on in the link while the window stays usable; the list
// follows the ports it tries. "确定(&O)" during a search stops it first, so
// the port left open is the port stored.
class frmPort : public QDialog {
    Q_OBJECT
public:
    frmPort(ConsoleContext &ctx, SwitchLink &link, QWidget *parent = nullptr);

    QLabel *lbl;
    QComboBox *cmbPort; // "COMn → device", and whether that device exists
    QLabel *lblSearch;  // which port the search is trying, and what it found
    QPushButton *cmdAuto;
    QPushButton *cmdOK;

public slots:
    void cmdAuto_Click();
    void cmdOK_Click();

private slots:
    void selectPort(int n);
    void searchEnded(bool found);

private:
    void Form_Load();
    // The device behind port n, as the list shows it.
    QString deviceText(int n);

    ConsoleContext &m_ctx;
    SwitchLink &m_link;
};

} // namespace corvane
