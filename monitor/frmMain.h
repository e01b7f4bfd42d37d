#pragma once
#include <QMainWindow>
#include <array>

class QLabel;
class QStatusBar;

namespace corvane {

class ConsoleContext;

// The operator console that stays open for the whole run.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmMain() override;

    static constexpr int PanelCount = 5;

    // The load step: logo, link, operator state.
    void Form_Load();
    // The unload step: asks, writes the usage record, tells the switch, closes
    // ports and database. Returns false when the operator cancelled.
    bool Form_Unload();

    void ShowOperatorState();

    // Status bar panels 1..5.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);

    QLabel *imgLogo;
    QStatusBar *sbStatus;

signals:
    // The program ends: the database is closed and every window may go.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ConsoleContext &m_ctx;
    std::array<QLabel *, PanelCount> m_panels{};
    bool m_ended = false;
};

} // namespace corvane
