#pragma once
#include "StoreFailureNotice.h"
#include "StoreResult.h"
#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace corvane {

class ConsoleContext;
class FeeEngine;
class FlexGrid;
class GridCellEditor;
class RateTablesEditor;

// "费率折价": the tables that drive pricing and IP dialling. One tab per call
// type with its rates by area-code prefix, a tab for the IP-card entries and
// IP dialling without a card, and a tab for the discount periods and the
// holidays. The window only shows: the tables, their rules, their stores and
// the star codes are RateTablesEditor's; every accepted edit is written at
// once and its commands are sent after the store.
class frmPHNDiscount : public QDialog {
    Q_OBJECT
public:
    static constexpr int TypeTabs = 10;
    static constexpr int EditableTypeTabs = 9; // the incoming tab has no add, delete, locate or batch
    static constexpr int IPTab = 10;
    static constexpr int DiscountTab = 11;

    // engine, when given, is told after every write so the next call is
    // priced from the new tables.
    explicit frmPHNDiscount(ConsoleContext &ctx, QWidget *parent = nullptr, FeeEngine *engine = nullptr);
    ~frmPHNDiscount() override;

    QTabWidget *sstDiscount;
    std::array<FlexGrid *, TypeTabs> hfgFeerate{};
    std::array<QLineEdit *, TypeTabs> txtFeerate{};
    std::array<QPushButton *, EditableTypeTabs> cmdAddDiscount{};
    std::array<QPushButton *, EditableTypeTabs> cmdDeleteDiscount{};
    std::array<QLineEdit *, EditableTypeTabs> txtHead{};
    std::array<QPushButton *, EditableTypeTabs> cmdLocation{};
    std::array<QLineEdit *, EditableTypeTabs> txtValue{};
    std::array<QPushButton *, EditableTypeTabs> cmdChangeValue{};

    FlexGrid *hfgIP;
    QLineEdit *txtIP;
    QCheckBox *chkTurnOnIP;
    std::array<QRadioButton *, 5> optDelay{};
    QLineEdit *txtIPNumber;
    QPushButton *cmdSetIP;

    FlexGrid *hfgDiscount;
    QLineEdit *txtDiscount;
    FlexGrid *hfgHoliday;
    QLineEdit *txtHoliday;
    QPushButton *cmdAddHoliday;
    QPushButton *cmdDeleteHoliday;

    QPushButton *cmdLeave;

public slots:
    void cmdAddDiscount_Click(int Index);
    void cmdDeleteDiscount_Click(int Index);
    void cmdLocation_Click(int Index);
    void cmdChangeValue_Click(int Index);
    void cmdSetIP_Click();
    void cmdAddHoliday_Click();
    void cmdDeleteHoliday_Click();
    void cmdLeave_Click();

private:
    void Form_Load();
    QWidget *buildTypeTab(int t);
    QWidget *buildIPTab();
    QWidget *buildDiscountTab();
    void attachCellEditors();

    void fillFeerate(int t);
    void fillIP();
    void fillDiscount();
    void fillHoliday();

    // Row id of the record shown in a grid row of one of the grids.
    qint64 feerateRowId(int t, int gridRow) const;
    // The outcome of a store: a failure reported (once), the commands of a
    // success sent, the grid refilled when rows came, went or moved.
    void finishStore(const StoreResult &result, const std::function<void()> &refill);
    StoreResult kept(const std::function<StoreResult()> &store);
    void sendKept();
    void showRefusal(const Status &why, const QString &title, MessageService::Icon icon);

    ConsoleContext &m_ctx;
    std::unique_ptr<RateTablesEditor> m_tables;
    StoreFailureNotice m_notice;
    std::array<GridCellEditor *, TypeTabs> m_feerateCells{};
    GridCellEditor *m_ipCells = nullptr;
    GridCellEditor *m_discountCells = nullptr;
    GridCellEditor *m_holidayCells = nullptr;
};

} // namespace corvane
