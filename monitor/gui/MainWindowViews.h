#pragma once
#include "CallIntake.h"
#include "TrunkView.h"

namespace corvane {

class frmMain;

// The main window as the intake's view: a row on top of ListViewOut, cut back
// to the newest 100 once it holds more than 200.
class MainWindowCallView : public CallIntakeView {
public:
    explicit MainWindowCallView(frmMain &window) : m_window(window) {}
    void ShowCall(const QStringList &columns) override;

    // Columns of the list: 主叫, 被叫, 结束时间, 时长, 地区, 费率, 费用, 中继.
    static constexpr int DurationColumn = 3;
    static constexpr int RateColumn = 5;
    static constexpr int FeeColumn = 6;

private:
    frmMain &m_window;
};

// The main window as the trunk view: its indicators, ListViewIn and the
// caller pop-up.
class MainWindowTrunkView : public TrunkView {
public:
    explicit MainWindowTrunkView(frmMain &main) : m_main(main) {}

    void setTrunkPicture(int t, const QString &fileName) override;
    void setTrunkText(int t, const QString &text) override;
    QString trunkText(int t) const override;
    void setTrunkTextColor(int t, Qt::GlobalColor color) override;
    void setTrunkUnknown(int t, bool unknown) override;
    void addIncomingRow(int rowLimit, const QStringList &values) override;
    void showCallerInfo(int t, const QString &info) override;

private:
    frmMain &m_main;
};

} // namespace corvane
