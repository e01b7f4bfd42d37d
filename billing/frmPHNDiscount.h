#pragma once
#include <QDialog>
#include <QStringList>
#include <array>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace corvane {

class ConsoleContext;
class FeeEngine;
class FlexGrid;
class Recordset;

// "费率折价": the tables that drive pricing and IP dialling. One tab per call
// type with its rates by area-code prefix, a tab for the IP-card entries and
// IP dialling without a card, and a tab for the discount periods and the
// holidays. Every accepted edit is written at once; changes of local-network
// prefixes and of IP dialling are sent to the switch at once as star codes.
class frmPHNDiscount : public QDialog {
    Q_OBJECT
public:
    static constexpr int TypeTabs = 10;
    static constexpr int EditableTypeTabs = 9;   // the incoming tab has no add, delete, locate or batch
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
    void hfgFeerate_DblClick(int Index);
    void txtFeerate_KeyPress(int Index, int KeyAscii);
    void txtFeerate_LostFocus(int Index);
    void cmdAddDiscount_Click(int Index);
    void cmdDeleteDiscount_Click(int Index);
    void cmdLocation_Click(int Index);
    void cmdChangeValue_Click(int Index);

    void hfgIP_DblClick();
    void txtIP_KeyPress(int KeyAscii);
    void txtIP_LostFocus();
    void cmdSetIP_Click();

    void hfgDiscount_DblClick();
    void txtDiscount_KeyPress(int KeyAscii);
    void txtDiscount_LostFocus();

    void hfgHoliday_DblClick();
    void txtHoliday_KeyPress(int KeyAscii);
    void txtHoliday_LostFocus();
    void cmdAddHoliday_Click();
    void cmdDeleteHoliday_Click();

    void cmdLeave_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Where an in-cell editor was opened: grid row and column, and the row id
    // of the record behind it, so the value goes to the row that was clicked
    // even when several rows look alike.
    struct EditTarget {
        int row = -1;
        int col = -1;
        qint64 rowId = -1;
    };

    void Form_Load();
    QWidget *buildTypeTab(int t);
    QWidget *buildIPTab();
    QWidget *buildDiscountTab();
    QLineEdit *makeEditor(QWidget *parent, const QString &name);

    void fillFeerate(int t);
    void fillIP();
    void fillDiscount();
    void fillHoliday();

    // Puts the recordset on the record shown in grid row `gridRow` (data rows
    // start at `firstDataRow`); false when that row shows no record.
    static bool positionOn(Recordset &rs, int gridRow, int firstDataRow, int rowLimit = 0);
    static bool positionOnId(Recordset &rs, qint64 rowId);
    bool store(Recordset &rs, int column, const QString &value);
    void tablesChanged();
    void sendCommands(const QStringList &codes);

    QString typeName(int t) const;
    QStringList marks() const;
    static void reselect(QLineEdit *editor);

    ConsoleContext &m_ctx;
    FeeEngine *m_engine;
    std::array<std::unique_ptr<Recordset>, TypeTabs> m_feerate;
    std::unique_ptr<Recordset> m_ip;
    std::unique_ptr<Recordset> m_discount;
    std::unique_ptr<Recordset> m_holiday;

    std::array<EditTarget, TypeTabs> m_feerateEdit;
    EditTarget m_ipEdit;
    EditTarget m_discountEdit;
    EditTarget m_holidayEdit;
};

} // namespace corvane
