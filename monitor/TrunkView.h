#pragma once
#include <QColor>
#include <QPoint>
#include <QString>
#include <QStringList>

class QWidget;

namespace corvane {

class frmMain;

// What the trunk-event handlers show: the sixteen trunk indicators (picture,
// text, text colour), the incoming-call list and the status bar. The main
// window provides it; the handlers never reach into its widgets.
class TrunkView {
public:
    virtual ~TrunkView() = default;

    // Indicator t (0..15): picture file name ("phone.gif"), text and colour.
    virtual void setTrunkPicture(int t, const QString &fileName) = 0;
    virtual void setTrunkText(int t, const QString &text) = 0;
    virtual QString trunkText(int t) const = 0;
    virtual void setTrunkTextColor(int t, const QColor &color) = 0;

    // A row at the top of the incoming-call list (cut back as AddListRow does
    // when it holds more than `rowLimit` rows), and the number of rows.
    virtual void addIncomingRow(int rowLimit, const QStringList &values) = 0;
    virtual int incomingRowCount() const = 0;

    virtual void setPanelText(int panel, const QString &text) = 0;

    // Screen position of the top-left corner of the picture shown for trunk t.
    virtual QPoint pictureTopLeft(int t) const = 0;
    // The window the caller pop-up belongs to (it goes when that window goes).
    virtual QWidget *popupOwner() const = 0;
};

// The main window as the trunk view.
class MainWindowTrunkView : public TrunkView {
public:
    explicit MainWindowTrunkView(frmMain &main) : m_main(main) {}

    void setTrunkPicture(int t, const QString &fileName) override;
    void setTrunkText(int t, const QString &text) override;
    QString trunkText(int t) const override;
    void setTrunkTextColor(int t, const QColor &color) override;
    void addIncomingRow(int rowLimit, const QStringList &values) override;
    int incomingRowCount() const override;
    void setPanelText(int panel, const QString &text) override;
    QPoint pictureTopLeft(int t) const override;
    QWidget *popupOwner() const override;

private:
    frmMain &m_main;
};

} // namespace corvane
