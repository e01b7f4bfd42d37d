#pragma once
#include <QDateTime>
#include <QDialog>
#include <memory>

class QLineEdit;
class QPushButton;
class QTimeEdit;
class QTreeWidget;

namespace corvane {

class ConsoleContext;
class RingClock;

// The extension alarm clock "闹钟设置": sets and clears wake-up calls and
// lists the pending ones.
class frmSRVRing : public QDialog {
    Q_OBJECT
public:
    explicit frmSRVRing(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmSRVRing() override;

    QLineEdit *txtNo;
    QTimeEdit *dtpTime;
    QTreeWidget *lvwRing;
    QPushButton *cmdOk;
    QPushButton *cmdClear;
    QPushButton *cmdLeave;

public slots:
    void cmdOk_Click();
    void cmdClear_Click();
    void cmdLeave_Click();

protected:
    // Every way of closing ends here: the list is written to Ring.Txt first.
    void done(int result) override;

private:
    void Form_Load();
    void showAlarms();
    void send(const QString &code, const QDateTime &moment = {});

    ConsoleContext &m_ctx;
    std::unique_ptr<RingClock> m_ring;
    bool m_saved = false;
};

} // namespace corvane
