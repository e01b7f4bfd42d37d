#pragma once
#include "Rights.h"
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <array>
#include <functional>

class QAction;
class QLabel;
class QStatusBar;
class QToolBar;
class QTreeWidget;

namespace corvane {

class ConsoleContext;
class TrunkIndicator;
class frmPhoneInf;

// The operator console that stays open for the whole run: trunk indicators,
// call lists, menus and toolbar behind the rights gate, status bar.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(ConsoleContext &ctx, QWidget *parent = nullptr);
    ~frmMain() override;

    // Panels 1..5, and 6 for the outward port while its copy is switched on.
    static constexpr int PanelCount = 7;
    static constexpr int TrunkCount = 16;
    static constexpr int ListLimit = 200;

    // The load step: logo, link, operator state.
    void Form_Load();
    // The unload step: asks, writes the usage record, tells the switch, closes
    // ports and database. Returns false when the operator cancelled.
    bool Form_Unload();

    void ShowOperatorState();

    // Status bar panels 1..6.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    // A panel in the alarm colours (white on red): panel 2 while the link to
    // the switch is down, panel 6 while the outward port cannot be written.
    void setPanelAlarm(int panel, bool alarm);
    bool panelAlarm(int panel) const;
    // Panels 4 and 5: how many rows ListViewOut and ListViewIn list. Kept up
    // to date by the lists themselves, whoever adds or removes a row.
    void ShowListCounts();

    // A working window behind the gated entry of `right`. Until a window is
    // registered its entry and button stay disabled.
    using WindowOpener = std::function<void(QWidget *parent)>;
    void registerWindow(Right right, WindowOpener opener);
    // A further window behind the same right, on an entry of its own
    // (mnuPHNLedger beside mnuPHNQuery): the right is the entry's.
    void registerWindow(QAction *entry, WindowOpener opener);
    // Runs a gated entry exactly as its menu entry and toolbar button do.
    void openGated(Right right);

    // Trunk indicator t (0..15): picture file, text and its colour.
    void setTrunkPicture(int t, const QString &fileName);
    QString trunkPicture(int t) const;
    void setTrunkText(int t, const QString &text);
    QString trunkText(int t) const;
    void setTrunkTextColor(int t, const QColor &color);
    QColor trunkTextColor(int t) const;
    // Indicator t shows "状态未知" and its picture greyed, over the picture
    // and text it holds (which trunkPicture and trunkText still return).
    void setTrunkUnknown(int t, bool unknown);
    bool trunkUnknown(int t) const;
    // Screen position of the top-left corner of the picture drawn for trunk t.
    QPoint trunkPictureTopLeft(int t) const;

    // The caller pop-up "来电信息" with `info`, 100 twips right of and 400
    // twips below the picture of trunk t; phoneInf() is nullptr until then.
    void ShowPhoneInf(int t, const QString &info);
    frmPhoneInf *phoneInf() const;

    QLabel *imgLogo;
    // What the indicators' pictures mean: one picture and word per state.
    QWidget *fraLegend;
    std::array<TrunkIndicator *, TrunkCount> imgPHN{};
    std::array<QLabel *, TrunkCount> lbl{};
    QTreeWidget *ListViewOut;
    QTreeWidget *ListViewIn;
    QStatusBar *sbStatus;
    QToolBar *tbTool;

    QAction *mnuOPLogin, *mnuOPLogout, *mnuOPRight, *mnuOPRecord, *mnuOPExit;
    QAction *mnuPHNClient, *mnuPHNDiscount, *mnuPHNFee, *mnuPHNQuery, *mnuPHNLedger, *mnuPHNStat;
    QAction *mnuSWTGroup, *mnuSWTPort, *mnuSWTParameter, *mnuSWTComparison;
    QAction *mnuSRVRing, *mnuSRVBackup;
    QAction *mnuHelp, *mnuHLPAbout;
    // Toolbar buttons by key: Config, Discount, Bill, Ledger, Stat, Ring, Login, Group, Exit.
    QMap<QString, QAction *> toolButtons;

    // Replaces the window shown by the port entry (the link layer provides it).
    void setPortWindow(WindowOpener opener);
    // Replaces the rights-management window (operator administration).
    void setRightsWindow(WindowOpener opener);

signals:
    // The program ends: the database is closed and every window may go.
    void programEnded();
    // A trunk picture was clicked (index 0..15).
    void trunkClicked(int index);
    // The unload step is about to close the ports: the link layer says goodbye.
    void aboutToEnd();

public slots:
    void mnuOPLogin_Click();
    void mnuOPLogout_Click();
    void mnuOPRight_Click();
    void mnuOPExit_Click();
    void mnuSWTPort_Click();
    void mnuHelp_Click();
    void mnuHLPAbout_Click();
    void tbTool_ButtonClick(const QString &key);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addGatedEntry(QMenu *menu, const char *name, const QString &caption, Right right);
    void openEntry(QAction *entry);
    void buildMenus();
    void buildToolbar();
    void layoutCentral();
    void showTrunk(int t);
    void nameTrunkText(int t);
    void showLinkText(const QString &text);
    void showOutwardText(const QString &text);
    // Panel 7: "待发命令：N" while commands wait for the switch.
    void showKeptCount(int kept);

    // Column widths of a list: every column at least as wide as its header
    // and the widest value it has listed; room left over is shared out.
    struct ListColumns {
        QTreeWidget *list = nullptr;
        QList<int> widestValue;
    };
    void watchList(ListColumns &columns);
    void noteListedValues(ListColumns &columns, int firstRow, int lastRow);
    int columnsWidth(const ListColumns &columns) const;
    void fitColumns(const ListColumns &columns);
    // Width of ListViewIn: at least 4000 twips, more when a long caller
    // number, an extension and a time need it; fixed from the start, so that
    // nothing moves as calls arrive.
    int incomingListWidth() const;
    void buildLegend();

    ConsoleContext &m_ctx;
    QWidget *m_central = nullptr;
    std::array<QLabel *, PanelCount> m_panels{};
    std::array<QString, TrunkCount> m_pictures{};
    QColor unknownColor() const;
    static QString unknownTip();
    std::array<QString, TrunkCount> m_texts{};
    std::array<bool, TrunkCount> m_unknown{};
    std::array<bool, PanelCount> m_alarm{};
    QMap<Right, QAction *> m_gatedActions; // the first entry of each right
    QMap<Right, WindowOpener> m_windows;
    QMap<QAction *, Right> m_entryRights;
    QMap<QAction *, WindowOpener> m_entryWindows; // further windows behind a right
    WindowOpener m_portWindow;
    WindowOpener m_rightsWindow;
    ListColumns m_outColumns;
    ListColumns m_inColumns;
    QPointer<frmPhoneInf> m_phoneInf;
    bool m_ended = false;
};

} // namespace corvane
