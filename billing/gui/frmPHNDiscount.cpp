#include "frmPHNDiscount.h"

#include "CallTypes.h"
#include "ConsoleContext.h"
#include "DiscountRules.h"
#include "FlexGrid.h"
#include "GridCellEditor.h"
#include "GridFilter.h"
#include "GridHelpers.h"
#include "NamedWidgets.h"
#include "PendingCommands.h"
#include "RateTablesEditor.h"
#include "SwitchLink.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace corvane {

using namespace NamedWidgets;

using namespace DiscountRules;

namespace {

// Gap after each command of one change, so the switch takes the next.

// Minimum widths in twips; the grids widen columns whose texts need more.
const QList<int> FeerateWidths{1000, 2000, 600, 600, 600, 600, 800, 800, 800, 800, 800};
const QList<int> IPWidths{500, 600, 800, 1000, 800, 1000, 1600, 1000, 1000, 1000};
const QList<int> DiscountWidths{1000, 450, 800, 800, 620, 450, 800, 800, 620, 450, 620, 450, 620, 450, 620};

QStringList typeNames(const ConsoleContext &ctx)
{
    return ctx.CallTypeNames.size() == frmPHNDiscount::TypeTabs ? ctx.CallTypeNames : callTypeNames();
}

// Position in the table's rows of a grid row; data rows start at the grid's
// first unfixed row.
int dataIndex(const FlexGrid &g, int gridRow) { return gridRow - g.fixedRows(); }

} // namespace

frmPHNDiscount::frmPHNDiscount(ConsoleContext &ctx, QWidget *parent, FeeEngine *engine)
    : QDialog(parent), m_ctx(ctx),
      m_tables(std::make_unique<RateTablesEditor>(ctx.db, typeNames(ctx), ctx.CheckMarks, engine)),
      m_notice(ctx.messages)
{
    setObjectName(QStringLiteral("frmPHNDiscount"));
    setWindowTitle(QStringLiteral("费率折价"));

    sstDiscount = new QTabWidget(this);
    sstDiscount->setObjectName(QStringLiteral("sstDiscount"));
    for (int t = 0; t < TypeTabs; ++t)
        sstDiscount->addTab(buildTypeTab(t), m_tables->typeName(t));
    sstDiscount->addTab(buildIPTab(), QStringLiteral("IP设置"));
    sstDiscount->addTab(buildDiscountTab(), QStringLiteral("折价"));

    cmdLeave = button(this, QStringLiteral("离开(&L)"), QStringLiteral("cmdLeave"));
    connect(cmdLeave, &QPushButton::clicked, this, &frmPHNDiscount::cmdLeave_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sstDiscount, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdLeave);
    layout->addLayout(bottom);
    resize(960, 600);

    attachCellEditors();
    Form_Load();
}

frmPHNDiscount::~frmPHNDiscount() = default;

// ---- building ---------------------------------------------------------------------

QWidget *frmPHNDiscount::buildTypeTab(int t)
{
    auto *page = new QWidget;
    page->setObjectName(indexed("tabType", t));
    hfgFeerate[t] = grid(page, indexed("hfgFeerate", t), m_tables->typeName(t) + QStringLiteral("费率"));
    txtFeerate[t] = cellBox(page, indexed("txtFeerate", t));
    SetColWidths(*hfgFeerate[t], FeerateWidths);
    // Durations, rates, fees and percentages read right-aligned.
    for (int c = 2; c < FeerateGridColumns - 1; ++c)
        hfgFeerate[t]->setColAlignment(c, Qt::AlignRight);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgFeerate[t], 1);
    layout->addWidget(MakeGridFilter(page, hfgFeerate[t], indexed("txtFilter", t)));
    if (t >= EditableTypeTabs)
        return page;

    cmdAddDiscount[t] = button(page, QStringLiteral("添加(&A)"), indexed("cmdAddDiscount", t));
    cmdDeleteDiscount[t] = button(page, QStringLiteral("删除(&D)"), indexed("cmdDeleteDiscount", t));
    auto *lblHead = new QLabel(QStringLiteral("区号："), page);
    txtHead[t] = new QLineEdit(page);
    txtHead[t]->setObjectName(indexed("txtHead", t));
    txtHead[t]->setAccessibleName(QStringLiteral("要定位的区号"));
    lblHead->setBuddy(txtHead[t]);
    cmdLocation[t] = button(page, QStringLiteral("定位(&F)"), indexed("cmdLocation", t));
    auto *lblValue = new QLabel(QStringLiteral("数值："), page);
    txtValue[t] = new QLineEdit(page);
    txtValue[t]->setObjectName(indexed("txtValue", t));
    txtValue[t]->setAccessibleName(QStringLiteral("批量修改的数值"));
    lblValue->setBuddy(txtValue[t]);
    cmdChangeValue[t] = button(page, QStringLiteral("修改选定的多行数据值(&M)"), indexed("cmdChangeValue", t));
    auto *hint = new QLabel(QStringLiteral("提示：0--\"×\",1-- \"√\""), page);
    hint->setObjectName(indexed("lblHint", t));

    connect(cmdAddDiscount[t], &QPushButton::clicked, this, [this, t] { cmdAddDiscount_Click(t); });
    connect(cmdDeleteDiscount[t], &QPushButton::clicked, this, [this, t] { cmdDeleteDiscount_Click(t); });
    connect(cmdLocation[t], &QPushButton::clicked, this, [this, t] { cmdLocation_Click(t); });
    connect(txtHead[t], &QLineEdit::returnPressed, this, [this, t] { cmdLocation_Click(t); });
    connect(cmdChangeValue[t], &QPushButton::clicked, this, [this, t] { cmdChangeValue_Click(t); });

    auto *row = new QHBoxLayout;
    row->addWidget(cmdAddDiscount[t]);
    row->addWidget(cmdDeleteDiscount[t]);
    row->addSpacing(16);
    row->addWidget(lblHead);
    row->addWidget(txtHead[t]);
    row->addWidget(cmdLocation[t]);
    row->addSpacing(16);
    row->addWidget(lblValue);
    row->addWidget(txtValue[t]);
    row->addWidget(cmdChangeValue[t]);
    row->addWidget(hint);
    row->addStretch(1);
    layout->addLayout(row);
    return page;
}

QWidget *frmPHNDiscount::buildIPTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabIP"));

    auto *cards = new QGroupBox(QStringLiteral("卡号密码型IP电话设置："), page);
    hfgIP = grid(cards, QStringLiteral("hfgIP"), QStringLiteral("卡号密码型IP电话"));
    txtIP = cellBox(cards, QStringLiteral("txtIP"));
    SetColWidths(*hfgIP, IPWidths);
    auto *cardsLayout = new QVBoxLayout(cards);
    cardsLayout->addWidget(hfgIP);

    auto *noCard = new QGroupBox(QStringLiteral("无卡号型IP电话设置："), page);
    chkTurnOnIP = new QCheckBox(QStringLiteral("启用"), noCard);
    chkTurnOnIP->setObjectName(QStringLiteral("chkTurnOnIP"));
    auto *lblDelay = new QLabel(QStringLiteral("时间间隔："), noCard);
    auto *delays = new QHBoxLayout;
    delays->addWidget(lblDelay);
    for (int i = 0; i < int(optDelay.size()); ++i) {
        optDelay[i] = new QRadioButton(IntervalCaptions().at(i), noCard);
        optDelay[i]->setObjectName(indexed("optDelay", i));
        delays->addWidget(optDelay[i]);
    }
    lblDelay->setBuddy(optDelay[0]);
    delays->addStretch(1);
    auto *lblNumber = new QLabel(QStringLiteral("切入IP方式的电话号码："), noCard);
    txtIPNumber = new QLineEdit(noCard);
    txtIPNumber->setObjectName(QStringLiteral("txtIPNumber"));
    txtIPNumber->setAccessibleName(lblNumber->text());
    lblNumber->setBuddy(txtIPNumber);
    cmdSetIP = button(noCard, QStringLiteral("设置(&T)"), QStringLiteral("cmdSetIP"));
    connect(cmdSetIP, &QPushButton::clicked, this, &frmPHNDiscount::cmdSetIP_Click);

    auto *noCardLayout = new QGridLayout(noCard);
    noCardLayout->addWidget(chkTurnOnIP, 0, 0);
    noCardLayout->addLayout(delays, 0, 1, 1, 3);
    noCardLayout->addWidget(lblNumber, 1, 0);
    noCardLayout->addWidget(txtIPNumber, 1, 1);
    noCardLayout->addWidget(cmdSetIP, 1, 2);
    noCardLayout->setColumnStretch(3, 1);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(cards, 1);
    layout->addWidget(noCard);
    return page;
}

QWidget *frmPHNDiscount::buildDiscountTab()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tabDiscount"));

    hfgDiscount = grid(page, QStringLiteral("hfgDiscount"), QStringLiteral("折价时段"));
    hfgDiscount->setFixedRows(2);
    hfgDiscount->setFixedCols(1);
    txtDiscount = cellBox(page, QStringLiteral("txtDiscount"));
    SetColWidths(*hfgDiscount, DiscountWidths);
    for (int c : {4, 8, 10, 12, 14}) // the rates
        hfgDiscount->setColAlignment(c, Qt::AlignRight);

    auto *holidays = new QGroupBox(QStringLiteral("节日设定"), page);
    hfgHoliday = grid(holidays, QStringLiteral("hfgHoliday"), QStringLiteral("节日设定"));
    txtHoliday = cellBox(holidays, QStringLiteral("txtHoliday"));
    cmdAddHoliday = button(holidays, QStringLiteral("添加(&A)"), QStringLiteral("cmdAddHoliday"));
    cmdDeleteHoliday = button(holidays, QStringLiteral("删除(&D)"), QStringLiteral("cmdDeleteHoliday"));
    connect(cmdAddHoliday, &QPushButton::clicked, this, &frmPHNDiscount::cmdAddHoliday_Click);
    connect(cmdDeleteHoliday, &QPushButton::clicked, this, &frmPHNDiscount::cmdDeleteHoliday_Click);

    auto *holidayButtons = new QVBoxLayout;
    holidayButtons->addWidget(cmdAddHoliday);
    holidayButtons->addWidget(cmdDeleteHoliday);
    holidayButtons->addStretch(1);
    auto *holidayLayout = new QHBoxLayout(holidays);
    auto *holidayList = new QVBoxLayout;
    holidayList->addWidget(hfgHoliday, 1);
    holidayList->addWidget(MakeGridFilter(holidays, hfgHoliday, QStringLiteral("txtFilterHoliday")));
    holidayLayout->addLayout(holidayList, 1);
    holidayLayout->addLayout(holidayButtons);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgDiscount, 3);
    layout->addWidget(holidays, 2);
    return page;
}

// Each grid's double click, Enter and leaving go through one cell editor
// that asks the tables for the rule, the check and the store of the cell.
void frmPHNDiscount::attachCellEditors()
{
    RateTablesEditor &tables = *m_tables;
    for (int t = 0; t < TypeTabs; ++t) {
        GridCellEditor::Hooks hooks;
        hooks.rule = [&tables, t](const GridCell &c) { return tables.feerateRule(t, c); };
        hooks.check = [&tables, t](const GridCell &c, const QString &v) { return tables.checkFeerate(t, c, v); };
        hooks.store = [this, &tables, t](const GridCell &c, const QString &v) {
            return kept([&] { return tables.storeFeerate(t, c, v); });
        };
        hooks.rowId = [this, t](int r) { return feerateRowId(t, r); };
        hooks.stored = [this, t](const GridCell &, const QString &, const StoreResult &r) {
            finishStore(r, [this, t] { fillFeerate(t); });
        };
        m_feerateCells[t] = new GridCellEditor(hfgFeerate[t], txtFeerate[t], m_ctx.messages, m_notice, this, hooks);
    }

    GridCellEditor::Hooks ip;
    ip.rule = [&tables](const GridCell &c) { return tables.ipRule(c); };
    ip.check = [&tables](const GridCell &c, const QString &v) { return tables.checkIP(c, v); };
    ip.store = [this, &tables](const GridCell &c, const QString &v) {
        return kept([&] { return tables.storeIP(c, v); });
    };
    ip.rowId = [this](int r) { return m_tables->ipCardRowId(dataIndex(*hfgIP, r)); };
    ip.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r, [this] { fillIP(); });
    };
    m_ipCells = new GridCellEditor(hfgIP, txtIP, m_ctx.messages, m_notice, this, ip);

    GridCellEditor::Hooks discount;
    discount.rule = [&tables](const GridCell &c) { return tables.discountRule(c); };
    discount.check = [&tables](const GridCell &c, const QString &v) { return tables.checkDiscount(c, v); };
    discount.store = [this, &tables](const GridCell &c, const QString &v) {
        return kept([&] { return tables.storeDiscount(c, v); });
    };
    discount.rowId = [this](int r) { return m_tables->discountRowId(dataIndex(*hfgDiscount, r)); };
    discount.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r, [this] { fillDiscount(); });
    };
    m_discountCells = new GridCellEditor(hfgDiscount, txtDiscount, m_ctx.messages, m_notice, this, discount);

    GridCellEditor::Hooks holiday;
    holiday.rule = [&tables](const GridCell &c) { return tables.holidayRule(c); };
    holiday.check = [&tables](const GridCell &c, const QString &v) { return tables.checkHoliday(c, v); };
    holiday.store = [this, &tables](const GridCell &c, const QString &v) {
        return kept([&] { return tables.storeHoliday(c, v); });
    };
    holiday.rowId = [this](int r) { return m_tables->holidayRowId(dataIndex(*hfgHoliday, r)); };
    holiday.stored = [this](const GridCell &, const QString &, const StoreResult &r) {
        finishStore(r, [this] { fillHoliday(); });
    };
    m_holidayCells = new GridCellEditor(hfgHoliday, txtHoliday, m_ctx.messages, m_notice, this, holiday);
}

// ---- loading and filling ------------------------------------------------------------

void frmPHNDiscount::Form_Load()
{
    for (int t = 0; t < TypeTabs; ++t)
        fillFeerate(t);
    fillIP();
    const Checked<RateTablesEditor::NoCardSetting> read = m_tables->noCardSetting();
    if (!read)
        m_ctx.messages.show(read.reason(), QStringLiteral("读取错误"), MessageService::Icon::Critical,
                            MessageService::Buttons::Ok, this);
    const RateTablesEditor::NoCardSetting noCard = read.value_or(RateTablesEditor::NoCardSetting());
    txtIPNumber->setText(noCard.number);
    if (noCard.interval >= 0 && noCard.interval < int(optDelay.size()))
        optDelay[noCard.interval]->setChecked(true);
    chkTurnOnIP->setChecked(noCard.on);
    fillDiscount();
    fillHoliday();
}

void frmPHNDiscount::fillFeerate(int t)
{
    FillGrid(m_tables->feerate(t), *hfgFeerate[t], FeerateGridColumns, 0, 0, m_ctx.messages, this);
}

void frmPHNDiscount::fillIP() { FillGrid(m_tables->ipCards(), *hfgIP, 0, IPCardRows, 0, m_ctx.messages, this); }

void frmPHNDiscount::fillDiscount()
{
    // Two caption rows: the groups, then the column names. The type names
    // stand at the left as row captions.
    FillGrid(m_tables->discount(), *hfgDiscount, 0, 0, 1, m_ctx.messages, this);
    const QStringList groups = DiscountGroupCaptions();
    for (int c = 0; c < groups.size(); ++c)
        hfgDiscount->setTextMatrix(0, c, groups.at(c));
    // A group's caption spans its columns (in the grid and in the view that
    // keeps the caption rows in place).
    QList<QTableView *> views{hfgDiscount};
    if (auto *captions = hfgDiscount->findChild<QTableView *>(QStringLiteral("captionRows")))
        views << captions;
    for (QTableView *view : views) {
        view->clearSpans();
        view->setSpan(0, 0, 2, 1);
        for (int c = 1; c < groups.size();) {
            int n = 1;
            while (c + n < groups.size() && groups.at(c + n) == groups.at(c))
                ++n;
            if (n > 1)
                view->setSpan(0, c, 1, n);
            c += n;
        }
    }
    hfgDiscount->fitColumns();
}

void frmPHNDiscount::fillHoliday() { FillGrid(m_tables->holiday(), *hfgHoliday, 0, 0, 0, m_ctx.messages, this); }

// ---- shared steps -------------------------------------------------------------------

qint64 frmPHNDiscount::feerateRowId(int t, int gridRow) const
{
    return m_tables->feerateRowId(t, dataIndex(*hfgFeerate[t], gridRow));
}

void frmPHNDiscount::finishStore(const StoreResult &result, const std::function<void()> &refill)
{
    if (m_notice.note(result.status, this))
        sendKept();
    if (result.refill && refill)
        refill();
}

void frmPHNDiscount::showRefusal(const Status &why, const QString &title, MessageService::Icon icon)
{
    m_ctx.messages.show(why.reason(), title, icon, MessageService::Buttons::Ok, this);
}

// A change and its commands are committed together; the commands then go
// through the link's queue, paced there: the click returns at once, and a
// stored change reaches the switch even when the window closes first or the
// switch is not there now.
StoreResult frmPHNDiscount::kept(const std::function<StoreResult()> &store) { return StoreKept(m_ctx.db, store); }

void frmPHNDiscount::sendKept()
{
    if (m_ctx.link)
        m_ctx.link->SendKeptAndTell(this);
}

// ---- rate grids ------------------------------------------------------------------------

void frmPHNDiscount::cmdAddDiscount_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    finishStore(kept([&] { return m_tables->addRate(Index); }), [this, Index] { fillFeerate(Index); });
}

void frmPHNDiscount::cmdDeleteDiscount_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    const qint64 rowId = feerateRowId(Index, hfgFeerate[Index]->row());
    if (Status s = m_tables->checkDeleteRate(Index, rowId); !s) {
        showRefusal(s, MessageService::defaultTitle(), MessageService::Icon::None);
        return;
    }
    const FlexGrid &g = *hfgFeerate[Index];
    const QString prefix = g.textMatrix(g.row(), 0).trimmed();
    const QString name = g.textMatrix(g.row(), 1).trimmed();
    const QString question = prefix.isEmpty() ? QStringLiteral("是否删除费率“%1”？").arg(name)
                                              : QStringLiteral("是否删除区号%1的费率“%2”？").arg(prefix, name);
    if (!m_ctx.messages.confirmDeletion(question, QStringLiteral("删除费率"), this))
        return;
    finishStore(kept([&] { return m_tables->deleteRate(Index, rowId); }), [this, Index] { fillFeerate(Index); });
}

void frmPHNDiscount::cmdLocation_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    const QString head = txtHead[Index]->text().trimmed();
    if (head.isEmpty())
        return;
    FlexGrid &g = *hfgFeerate[Index];
    const int r = FindGridRow(head, g, 0);
    if (r < g.fixedRows()) {
        m_ctx.messages.show(QStringLiteral("没有找到区号为%1的费率。").arg(head), QStringLiteral("定位"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        txtHead[Index]->setFocus(Qt::OtherFocusReason);
        txtHead[Index]->selectAll();
        return;
    }
    g.setTopRow(r);
    g.setRow(r);
    g.setCol(0);
}

void frmPHNDiscount::cmdChangeValue_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    FlexGrid &g = *hfgFeerate[Index];
    const int c = g.col();
    if (Status s = m_tables->checkBatchColumns(c, g.colSel()); !s) {
        showRefusal(s, QStringLiteral("错误！"), MessageService::Icon::Critical);
        return;
    }
    if (Status s = m_tables->checkBatchColumn(c); !s) {
        showRefusal(s, QStringLiteral("警告！"), MessageService::Icon::Information);
        return;
    }
    const Checked<QString> value = m_tables->checkBatchValue(Index, c, txtValue[Index]->text());
    if (!value) {
        m_ctx.messages.inputError(value.reason(), this);
        return;
    }
    // From the first selected row towards the other end of the selection,
    // the rows shown: those a filter hides are not the clerk's choice.
    const int first = g.row();
    const int last = g.rowSel();
    const int step = last >= first ? 1 : -1;
    QList<int> gridRows;
    QList<qint64> ids;
    for (int r = first;; r += step) {
        const qint64 id = g.isRowHidden(r) ? -1 : feerateRowId(Index, r);
        if (id >= 0) {
            gridRows << r;
            ids << id;
        }
        if (r == last)
            break;
    }
    const StoreResult result = kept([&] { return m_tables->batchChange(Index, ids, c, *value); });
    if (result)
        for (int r : gridRows)
            g.setTextMatrix(r, c, *value);
    finishStore(result, [this, Index] { fillFeerate(Index); });
}

// ---- IP without a card -------------------------------------------------------------

void frmPHNDiscount::cmdSetIP_Click()
{
    const bool on = chkTurnOnIP->isChecked();
    const Checked<QString> number = m_tables->checkNoCardNumber(txtIPNumber->text(), on);
    if (!number) {
        m_ctx.messages.inputError(number.reason(), this);
        return;
    }
    int interval = 0;
    for (int i = 0; i < int(optDelay.size()); ++i)
        if (optDelay[i]->isChecked())
            interval = i;
    finishStore(kept([&] { return m_tables->setNoCard(on, *number, interval); }), {});
}

// ---- holidays ---------------------------------------------------------------------------

void frmPHNDiscount::cmdAddHoliday_Click()
{
    finishStore(kept([&] { return m_tables->addHoliday(); }), [this] { fillHoliday(); });
}

void frmPHNDiscount::cmdDeleteHoliday_Click()
{
    const qint64 rowId = m_tables->holidayRowId(dataIndex(*hfgHoliday, hfgHoliday->row()));
    if (rowId >= 0) {
        const QString name = hfgHoliday->textMatrix(hfgHoliday->row(), 0).trimmed();
        if (!m_ctx.messages.confirmDeletion(QStringLiteral("是否删除节假日“%1”？").arg(name),
                                            QStringLiteral("删除节假日"), this))
            return;
    }
    finishStore(kept([&] { return m_tables->deleteHoliday(rowId); }), [this] { fillHoliday(); });
}

void frmPHNDiscount::cmdLeave_Click() { accept(); }

} // namespace corvane
