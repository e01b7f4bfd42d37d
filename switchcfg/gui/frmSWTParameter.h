#pragma once
#include "StoreFailureNotice.h"
#include "StoreResult.h"
#include "SwitchParameters.h"
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace corvane {

class CommandBatch;
class ConsoleContext;
class FlexGrid;
class GridCellEditor;
enum class TrunkField;

// "参数设置": the switch's own settings. The tab "系统" holds the system
// settings of the configuration row, the night-service and agent operators,
// the special-service numbers, reset and initialisation, and the outward copy
// of call records; the tab "中继" the twelve trunks, changed one cell at a
// time or over a range of trunks. The rules, stores and star codes are
// SwitchParameters'; the window shows them and hands the commands of every
// stored change to the link's command queue.
class frmSWTParameter : public QDialog {
    Q_OBJECT
public:
    explicit frmSWTParameter(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmSWTParameter() override;

    QTabWidget *sstConfig;
    QPushButton *cmdExit;

    QLineEdit *txtUserSum;
    QLineEdit *txtGrade;
    QComboBox *cmbPHNLen;
    QComboBox *cmbCodeLen;
    QComboBox *cmbHead;
    QLineEdit *txtNightNO;
    QPushButton *cmdSet;
    QCheckBox *chkCodeLMT;
    std::array<QLineEdit *, 5> txtAgent{};
    QPushButton *cmdSaveAgent;
    QListWidget *lstSpecial;
    QPushButton *cmdAddSPC;
    QPushButton *cmdDelSPC;
    std::array<QRadioButton *, 2> optSignal{};
    QPushButton *cmdRST;
    QPushButton *cmdInitial;
    QCheckBox *chkOutCOMM;
    QComboBox *cmbCOM;
    QCheckBox *chkOutFile;
    QPushButton *cmdSelectPath;
    QLabel *lblFile;
    QCheckBox *chkAutoReset;

    FlexGrid *hfgExchange;
    QLineEdit *txtExchange;
    QLineEdit *txtExBegin;
    QLineEdit *txtExEnd;
    QLineEdit *txtValue;
    QComboBox *cmbValue;
    QPushButton *cmdAmend;
    QLabel *lblTip;

    static QString StartTip() { return QStringLiteral("提示：请选择您要修改的内容。"); }
    static QString FinishedTip() { return QStringLiteral("提示：已经处理完毕！"); }
    static QString RenumberQuestion(const QString &length)
    {
        return QStringLiteral(
                   "将重新编号全部分机（分机号长改为%1位），交换机重新编号期间约10秒不能接受其他命令。\n是否继续？")
            .arg(length);
    }

public slots:
    void txtUserSum_Validate();
    void txtGrade_Validate();
    void txtNightNO_Validate();
    void cmbCodeLen_LostFocus();
    void cmbPHNLen_LostFocus();
    void cmbHead_LostFocus();
    void chkCodeLMT_Click();
    void optSignal_Click(int Index);
    void cmdSet_Click();
    void cmdSaveAgent_Click();
    void cmdAddSPC_Click();
    void cmdDelSPC_Click();
    void cmdRST_Click();
    void cmdInitial_Click();
    void chkOutCOMM_Click();
    void cmbCOM_LostFocus();
    void chkOutFile_Click();
    void cmdSelectPath_Click();
    void chkAutoReset_Click();
    void hfgExchange_MouseDown();
    void hfgExchange_MouseUp();
    void cmdAmend_Click();
    void cmdExit_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildSystemTab();
    QWidget *buildTrunkTab();
    void Form_Load();
    void LoadSystemSettings();
    void ShowNightExtension();
    void ShowAgents();
    void ShowSpecialNumbers();
    void fillTrunks();

    // A refused box shows its reason and keeps the focus.
    void refuseAndKeepFocus(const QString &reason, QLineEdit *box);
    // The outcome of a store: a failure told once, the commands of a
    // success queued. Returns whether it was stored.
    bool finishStore(const StoreResult &result);
    StoreResult kept(const std::function<StoreResult()> &store);
    // A list that programs the switch was chosen from (popup, Enter).
    void listChosen(QComboBox *list);
    // The list an arrow key or a digit is moving in just now.
    QComboBox *m_movingIn = nullptr;
    CommandBatch *sendKept();
    void sendNow(const QStringList &codes);
    void attachTrunkCells();
    void runTrunkBatch(TrunkField field, int first, int last, const QString &value);
    TrunkBatch keepTrunkBatch(TrunkField field, int first, int last, const QString &value);
    void showTrunkBatch(TrunkField field, const TrunkBatch &batch);
    void showBatchProgress(const TrunkBatch &batch, CommandBatch *queued);
    bool confirm(const QString &text);
    void openOutwardPort();

    ConsoleContext &m_ctx;
    std::unique_ptr<SwitchParameters> m_params;
    StoreFailureNotice m_notice;
    bool m_checking = false; // a box is showing its refusal
    GridCellEditor *m_trunkCells = nullptr;
    TrunkBatch m_cellBatch; // kept by a cell's store, shown after it
};

} // namespace corvane
