#pragma once
#include "TrafficReport.h"
#include "TrafficStats.h"

#include <QDialog>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

class QChart;
class QChartView;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace corvane {

class BackgroundWork;
class ConsoleContext;
class RowsModel;

// "话务统计": calls and fees of a range of whole days (this month at first)
// for every caller, or the extensions, groups or accounts chosen as in the
// query window, and a settlement state; each figure a chart over its table,
// exported as PNG, as one PDF report or as a workbook. The sums are made on
// a connection of their own in a worker thread, so the console keeps taking
// calls meanwhile.
class frmPHNStat : public QDialog {
    Q_OBJECT
public:
    explicit frmPHNStat(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmPHNStat() override;

    // Asks where an export goes ("png", "pdf" or "xlsx", the suggested path;
    // empty cancels); the default asks with a file dialog.
    using PathAsker = std::function<QString(const QString &kind, const QString &suggested)>;
    void setPathAsker(PathAsker ask) { m_askPath = std::move(ask); }
    // The statistics shown now, once a run has finished.
    const std::optional<TrafficStats::Result> &shown() const { return m_result; }
    bool busy() const { return m_running; }
    // The table of figure i as shown.
    RowsModel *table(int i) const { return m_tables.value(i); }

    QDateEdit *dtpDateBegin = nullptr;
    QDateEdit *dtpDateEnd = nullptr;
    QRadioButton *optAll = nullptr;
    QRadioButton *optCommon = nullptr;
    QRadioButton *optGroup = nullptr;
    QRadioButton *optAccount = nullptr;
    QListWidget *lstUser = nullptr;
    QPushButton *cmdSelectAll = nullptr;
    QPushButton *cmdClear = nullptr;
    QPushButton *cmdSelectContrary = nullptr;
    QWidget *userFilter = nullptr; // the list's filter box
    QRadioButton *optBill[3] = {};
    QPushButton *cmdStat = nullptr;
    QLabel *lblInformation = nullptr;
    QTabWidget *sstStat = nullptr;
    QPushButton *cmdPicture = nullptr;
    QPushButton *cmdReport = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdLeave = nullptr;

private slots:
    void cmdStat_Click();
    void cmdPicture_Click();
    void cmdReport_Click();
    void cmdExport_Click();

private:
    void Form_Load();
    void fillUserList();
    void showResult(TrafficStats::Result result);
    void startMonths(const QString &path, const TrafficStats::Selection &s);
    static constexpr int kMonthsFigure = 1; // the figure of the twelve months
    void showFailure(const QString &reason);
    void setRunning(bool running);
    void replaceChart(int i, QChart *chart);
    QString suggested(const QString &stem, const QString &suffix) const;
    bool haveResult();

    ConsoleContext &m_ctx;
    QList<QChartView *> m_charts;
    QList<RowsModel *> m_tables;
    QList<QTableView *> m_tableViews;
    std::optional<TrafficStats::Result> m_result;
    bool m_running = false;
    BackgroundWork *m_work = nullptr;
    PathAsker m_askPath;
};

} // namespace corvane
