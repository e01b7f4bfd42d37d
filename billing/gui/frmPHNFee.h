#pragma once
#include "StoreFailureNotice.h"
#include "StoreResult.h"
#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corvane {

class ConsoleContext;
class FeeSettings;
class FlexGrid;
class GridCellEditor;

// "计费设置": the charging settings the switch applies itself. The tab
// "基本设置" holds the five charging delays and the outside line number of
// each trunk, the tab "中继工作日设置" the working days and daily periods of
// each trunk. Every accepted edit is stored at once and its star codes go to
// the link's command queue; the rules are FeeSettings'.
class frmPHNFee : public QDialog {
    Q_OBJECT
public:
    explicit frmPHNFee(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmPHNFee() override;

    QTabWidget *sstFee;
    std::array<QLineEdit *, 5> txtDelay{};
    FlexGrid *hfgExNO;
    QLineEdit *txtExNO;
    QPushButton *cmdClear;
    FlexGrid *hfgWorkday;
    QLineEdit *txtWorkday;
    QPushButton *cmdExit;

public slots:
    void txtDelay_LostFocus(int Index);
    void cmdClear_Click();
    void cmdExit_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void fillExNO();
    void fillWorkday();
    void finishStore(const StoreResult &result, void (frmPHNFee::*refill)());
    StoreResult kept(const std::function<StoreResult()> &store);
    void sendKept();

    ConsoleContext &m_ctx;
    std::unique_ptr<FeeSettings> m_fee;
    StoreFailureNotice m_notice;
    GridCellEditor *m_exnoCells = nullptr;
    GridCellEditor *m_workdayCells = nullptr;
    bool m_checking = false;
};

} // namespace corvane
