#include "frmPHNDiscount.h"

#include "CallTypes.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "DiscountRules.h"
#include "FeeEngine.h"
#include "FlexGrid.h"
#include "General.h"
#include "GridHelpers.h"
#include "Recordset.h"
#include "SwitchLink.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace corvane {

using namespace DiscountRules;

namespace {

constexpr int EnterKey = 13;
// Pause between two commands of one change, so the switch takes both.
constexpr double CommandPause = 0.1;

const QList<int> FeerateWidths{1000, 2000, 600, 600, 600, 600, 800, 800, 800, 800, 800};
const QList<int> IPWidths{500, 600, 800, 1000, 800, 1000, 1600, 1000, 1000, 1000};
const QList<int> DiscountWidths{1000, 450, 800, 800, 620, 450, 800, 800, 620, 450, 620, 450, 620, 450, 620};

const QString ColPrefix = QStringLiteral("区号");
const QString ColArea = QStringLiteral("地区");
const QString ColEntry = QStringLiteral("序号");

QString indexed(const char *name, int i)
{
    return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(i);
}

QPushButton *button(QWidget *parent, const QString &text, const QString &name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

FlexGrid *grid(QWidget *parent, const QString &name, const QString &accessible)
{
    auto *g = new FlexGrid(parent);
    g->setObjectName(name);
    g->setAccessibleName(accessible);
    return g;
}

} // namespace

frmPHNDiscount::frmPHNDiscount(ConsoleContext &ctx, QWidget *parent, FeeEngine *engine)
    : QDialog(parent), m_ctx(ctx), m_engine(engine)
{
    setObjectName(QStringLiteral("frmPHNDiscount"));
    setWindowTitle(QStringLiteral("费率折价"));

    sstDiscount = new QTabWidget(this);
    sstDiscount->setObjectName(QStringLiteral("sstDiscount"));
    for (int t = 0; t < TypeTabs; ++t)
        sstDiscount->addTab(buildTypeTab(t), typeName(t));
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

    Form_Load();
}

frmPHNDiscount::~frmPHNDiscount() = default;

QString frmPHNDiscount::typeName(int t) const
{
    if (m_ctx.CallTypeNames.size() == TypeTabs)
        return m_ctx.CallTypeNames.at(t);
    return callTypeName(t);
}

QStringList frmPHNDiscount::marks() const
{
    if (m_ctx.CheckMarks.size() == 2)
        return m_ctx.CheckMarks;
    return {QStringLiteral("×"), QStringLiteral("√")};
}

// ---- building ---------------------------------------------------------------------

QLineEdit *frmPHNDiscount::makeEditor(QWidget *parent, const QString &name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(QStringLiteral("单元格编辑"));
    e->hide();
    e->installEventFilter(this);
    return e;
}

QWidget *frmPHNDiscount::buildTypeTab(int t)
{
    auto *page = new QWidget;
    page->setObjectName(indexed("tabType", t));
    hfgFeerate[t] = grid(page, indexed("hfgFeerate", t), typeName(t) + QStringLiteral("费率"));
    txtFeerate[t] = makeEditor(page, indexed("txtFeerate", t));
    connect(hfgFeerate[t], &FlexGrid::DblClick, this, [this, t] { hfgFeerate_DblClick(t); });
    connect(txtFeerate[t], &QLineEdit::returnPressed, this, [this, t] { txtFeerate_KeyPress(t, EnterKey); });

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgFeerate[t], 1);
    if (t >= EditableTypeTabs)
        return page;

    cmdAddDiscount[t] = button(page, QStringLiteral("添加"), indexed("cmdAddDiscount", t));
    cmdDeleteDiscount[t] = button(page, QStringLiteral("删除"), indexed("cmdDeleteDiscount", t));
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
    cmdChangeValue[t] = button(page, QStringLiteral("修改选定的多行数据值"), indexed("cmdChangeValue", t));
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
    txtIP = makeEditor(cards, QStringLiteral("txtIP"));
    auto *cardsLayout = new QVBoxLayout(cards);
    cardsLayout->addWidget(hfgIP);
    connect(hfgIP, &FlexGrid::DblClick, this, &frmPHNDiscount::hfgIP_DblClick);
    connect(txtIP, &QLineEdit::returnPressed, this, [this] { txtIP_KeyPress(EnterKey); });

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
    cmdSetIP = button(noCard, QStringLiteral("设置"), QStringLiteral("cmdSetIP"));
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
    txtDiscount = makeEditor(page, QStringLiteral("txtDiscount"));
    connect(hfgDiscount, &FlexGrid::DblClick, this, &frmPHNDiscount::hfgDiscount_DblClick);
    connect(txtDiscount, &QLineEdit::returnPressed, this, [this] { txtDiscount_KeyPress(EnterKey); });

    auto *holidays = new QGroupBox(QStringLiteral("节日设定"), page);
    hfgHoliday = grid(holidays, QStringLiteral("hfgHoliday"), QStringLiteral("节日设定"));
    txtHoliday = makeEditor(holidays, QStringLiteral("txtHoliday"));
    cmdAddHoliday = button(holidays, QStringLiteral("添加"), QStringLiteral("cmdAddHoliday"));
    cmdDeleteHoliday = button(holidays, QStringLiteral("删除"), QStringLiteral("cmdDeleteHoliday"));
    connect(hfgHoliday, &FlexGrid::DblClick, this, &frmPHNDiscount::hfgHoliday_DblClick);
    connect(txtHoliday, &QLineEdit::returnPressed, this, [this] { txtHoliday_KeyPress(EnterKey); });
    connect(cmdAddHoliday, &QPushButton::clicked, this, &frmPHNDiscount::cmdAddHoliday_Click);
    connect(cmdDeleteHoliday, &QPushButton::clicked, this, &frmPHNDiscount::cmdDeleteHoliday_Click);

    auto *holidayButtons = new QVBoxLayout;
    holidayButtons->addWidget(cmdAddHoliday);
    holidayButtons->addWidget(cmdDeleteHoliday);
    holidayButtons->addStretch(1);
    auto *holidayLayout = new QHBoxLayout(holidays);
    holidayLayout->addWidget(hfgHoliday, 1);
    holidayLayout->addLayout(holidayButtons);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(hfgDiscount, 3);
    layout->addWidget(holidays, 2);
    return page;
}

// ---- loading and filling ------------------------------------------------------------

void frmPHNDiscount::Form_Load()
{
    for (int t = 0; t < TypeTabs; ++t) {
        // Ties in the prefix keep their table order, so a grid row and its
        // record stay paired from one fill to the next.
        m_feerate[t] = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("Feerate"),
                                                   Criteria(QStringLiteral("类型"), QString::number(t)),
                                                   Database::quoteId(ColPrefix) + QStringLiteral(", rowid"));
        fillFeerate(t);
    }

    m_ip = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("IP"));
    fillIP();
    if (m_ip->findFirst(Criteria(ColEntry, NoCardEntry))) {
        txtIPNumber->setText(m_ip->value(2));
        const int interval = int(ValInt(m_ip->value(3)));
        if (interval >= 0 && interval < int(optDelay.size()))
            optDelay[interval]->setChecked(true);
        chkTurnOnIP->setChecked(m_ip->value(1) == QStringLiteral("1"));
    }

    m_discount = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("Discount"));
    fillDiscount();

    m_holiday = std::make_unique<Recordset>(m_ctx.db, QStringLiteral("Holiday"));
    fillHoliday();
}

void frmPHNDiscount::fillFeerate(int t)
{
    FillGrid(*m_feerate[t], *hfgFeerate[t], FeerateGridColumns, 0, 0);
    SetColWidths(*hfgFeerate[t], FeerateWidths);
}

void frmPHNDiscount::fillIP()
{
    FillGrid(*m_ip, *hfgIP, 0, IPCardRows, 0);
    SetColWidths(*hfgIP, IPWidths);
}

void frmPHNDiscount::fillDiscount()
{
    // Two caption rows: the groups, then the column names. The type names
    // stand at the left as row captions.
    FillGrid(*m_discount, *hfgDiscount, 0, 0, 1);
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
    SetColWidths(*hfgDiscount, DiscountWidths);
}

void frmPHNDiscount::fillHoliday()
{
    FillGrid(*m_holiday, *hfgHoliday, 0, 0, 0);
}

// ---- shared steps -------------------------------------------------------------------

bool frmPHNDiscount::positionOn(Recordset &rs, int gridRow, int firstDataRow, int rowLimit)
{
    const int index = gridRow - firstDataRow;
    if (index < 0 || index >= rs.recordCount() || (rowLimit > 0 && index >= rowLimit))
        return false;
    rs.moveTo(index);
    return rs.hasCurrent();
}

bool frmPHNDiscount::positionOnId(Recordset &rs, qint64 rowId)
{
    if (rowId < 0)
        return false;
    for (int i = 0; i < rs.recordCount(); ++i) {
        rs.moveTo(i);
        if (rs.currentRowId() == rowId)
            return true;
    }
    return false;
}

bool frmPHNDiscount::store(Recordset &rs, int column, const QString &value)
{
    const bool ok = SetField(rs, column, value);
    tablesChanged();
    return ok;
}

void frmPHNDiscount::tablesChanged()
{
    if (m_engine)
        m_engine->invalidate();
}

void frmPHNDiscount::sendCommands(const QStringList &codes)
{
    SwitchLink *link = m_ctx.link;
    if (!link)
        return;
    for (int i = 0; i < codes.size(); ++i) {
        if (i > 0)
            link->Pause(CommandPause);
        link->SendStarCommand(codes.at(i));
    }
}

void frmPHNDiscount::reselect(QLineEdit *editor)
{
    SelectAllText(editor);
}

bool frmPHNDiscount::eventFilter(QObject *watched, QEvent *event)
{
    auto *editor = qobject_cast<QLineEdit *>(watched);
    if (editor && (event->type() == QEvent::FocusOut
                   || (event->type() == QEvent::KeyPress
                       && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape))) {
        // Leaving the box (or Escape) drops what was typed.
        for (int t = 0; t < TypeTabs; ++t)
            if (editor == txtFeerate[t])
                txtFeerate_LostFocus(t);
        if (editor == txtIP)
            txtIP_LostFocus();
        else if (editor == txtDiscount)
            txtDiscount_LostFocus();
        else if (editor == txtHoliday)
            txtHoliday_LostFocus();
        if (event->type() == QEvent::KeyPress)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- rate grids ------------------------------------------------------------------------

void frmPHNDiscount::hfgFeerate_DblClick(int Index)
{
    if (Index < 0 || Index >= TypeTabs)
        return;
    FlexGrid &g = *hfgFeerate[Index];
    const int r = g.row();
    const int c = g.col();
    if (!FeerateColumnEditable(Index, c))
        return;
    if (IsDefaultRateText(g.textMatrix(r, c))) {
        m_ctx.messages.show(QStringLiteral("默认费率名称不可更改！"), MessageService::defaultTitle(),
                            MessageService::Icon::None, MessageService::Buttons::Ok, this);
        return;
    }
    Recordset &rs = *m_feerate[Index];
    if (!positionOn(rs, r, g.fixedRows()))
        return;
    if (c == DiscountMarkColumn) {
        const QStringList pair = marks();
        const QString next = NextChoice(rs.value(c), pair.at(0), pair);
        if (store(rs, c, next))
            fillFeerate(Index);
        return;
    }
    m_feerateEdit[Index] = {r, c, rs.currentRowId()};
    EditCell(txtFeerate[Index], g);
}

void frmPHNDiscount::txtFeerate_LostFocus(int Index)
{
    if (Index >= 0 && Index < TypeTabs)
        txtFeerate[Index]->hide();
}

void frmPHNDiscount::txtFeerate_KeyPress(int Index, int KeyAscii)
{
    if (KeyAscii != EnterKey || Index < 0 || Index >= TypeTabs)
        return;
    QLineEdit *editor = txtFeerate[Index];
    const EditTarget target = m_feerateEdit[Index];
    const auto value = CheckFeerateCell(m_ctx.messages, Index, target.col, editor->text(), this);
    if (!value) {
        reselect(editor);
        return;
    }
    Recordset &rs = *m_feerate[Index];
    if (!positionOnId(rs, target.rowId)) {
        editor->hide();
        return;
    }
    const QString oldPrefix = rs.value(0);
    const QString name = rs.value(1);
    // Stored first: the switch learns a prefix only once the table holds it.
    const bool stored = store(rs, target.col, *value);
    editor->hide();
    if (stored && Index == LocalTab && target.col == 0 && name != DefaultRateName(typeName(LocalTab)))
        sendCommands(LocalPrefixChangeCommands(oldPrefix, *value));
    fillFeerate(Index);
}

void frmPHNDiscount::cmdAddDiscount_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    Recordset &rs = *m_feerate[Index];
    QStringList row = rs.findFirst(Criteria(ColArea, DefaultRateName(typeName(Index)))) ? rs.currentRow()
                                                                                       : QStringList();
    while (row.size() <= TypeColumn)
        row << QString();
    row[0] = QString();
    row[1] = NewRateName(typeName(Index));
    // The type is this tab's even when the default row is missing, so the new
    // row shows here and nowhere else.
    row[TypeColumn] = QString::number(Index);
    WriteRecord(rs, true, row.mid(0, TypeColumn + 1));
    tablesChanged();
    rs.requery();
    fillFeerate(Index);
}

void frmPHNDiscount::cmdDeleteDiscount_Click(int Index)
{
    if (Index < 0 || Index >= EditableTypeTabs)
        return;
    FlexGrid &g = *hfgFeerate[Index];
    const int r = g.row();
    if (IsDefaultRateText(g.textMatrix(r, 1))) {
        m_ctx.messages.show(QStringLiteral("默认费率不可删除！"), MessageService::defaultTitle(),
                            MessageService::Icon::None, MessageService::Buttons::Ok, this);
        return;
    }
    Recordset &rs = *m_feerate[Index];
    if (positionOn(rs, r, g.fixedRows())) {
        const QString prefix = rs.value(0);
        const bool deleted = rs.deleteCurrent();
        tablesChanged();
        if (deleted && Index == LocalTab) {
            const QString remove = LocalPrefixRemoveCommand(prefix);
            if (!remove.isEmpty())
                sendCommands({remove});
        }
    }
    rs.requery();
    fillFeerate(Index);
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
    if (r < g.fixedRows())
        return;
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
    if (c != g.colSel()) {
        m_ctx.messages.show(QStringLiteral("你选择了多列数据，无法进行修改！"), QStringLiteral("错误！"),
                            MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
        return;
    }
    if (c == 0 || c == 1) {
        m_ctx.messages.show(QStringLiteral("第一列和第二列无法进行批量修改！"), QStringLiteral("警告！"),
                            MessageService::Icon::Information, MessageService::Buttons::Ok, this);
        return;
    }
    // The same rules as typing the value into each cell.
    const auto value = CheckBatchValue(m_ctx.messages, Index, c, txtValue[Index]->text(), marks(), this);
    if (!value)
        return;

    Recordset &rs = *m_feerate[Index];
    const int first = g.row();
    const int last = g.rowSel();
    const int step = last >= first ? 1 : -1;
    bool ok = true;
    {
        Transaction tx(m_ctx.db);
        // Each selected grid row is written to its own record, never to
        // another row that happens to share its prefix.
        for (int r = first;; r += step) {
            if (positionOn(rs, r, g.fixedRows())) {
                ok = SetField(rs, c, *value) && ok;
                g.setTextMatrix(r, c, *value);
            }
            if (r == last)
                break;
        }
        ok = ok && tx.commit();
    }
    tablesChanged();
    if (!ok) {
        // Show what the table really holds.
        rs.requery();
        fillFeerate(Index);
    }
}

// ---- IP -----------------------------------------------------------------------------------

void frmPHNDiscount::hfgIP_DblClick()
{
    const int r = hfgIP->row();
    const int c = hfgIP->col();
    Recordset &rs = *m_ip;
    if (!positionOn(rs, r, hfgIP->fixedRows(), IPCardRows))
        return;
    QStringList row = rs.currentRow();

    if (c == IPEnabledColumn) {
        const QStringList pair = marks();
        const QString next = NextChoice(row.value(c), pair.at(0), pair);
        row[c] = next;
        const bool on = next == pair.at(1);
        const auto card = IPCardCommand(row);
        const auto pause = IPPauseCommand(row);
        if (!IPCardComplete(row) || (on && (!card || !pause))) {
            m_ctx.messages.show(QStringLiteral("请填写好所有信息后再启动该IP卡！"), QStringLiteral("请填写其他信息"),
                                MessageService::Icon::Critical, MessageService::Buttons::Ok, this);
            return;
        }
        if (!store(rs, c, next))
            return;
        hfgIP->setTextMatrix(r, c, next);
        sendCommands(on ? QStringList{*card, *pause} : QStringList{IPCardOffCommand(row.value(0))});
        return;
    }
    const bool enabled = row.value(IPEnabledColumn) == marks().at(1);
    if (IsIPPauseColumn(c)) {
        const QString next = NextChoice(row.value(c), CardPauseTexts().first(), CardPauseTexts());
        row[c] = next;
        if (!store(rs, c, next))
            return;
        hfgIP->setTextMatrix(r, c, next);
        if (enabled)
            if (const auto pause = IPPauseCommand(row))
                sendCommands({*pause});
        return;
    }
    if (c == IPLanguageColumn) {
        const QString next = NextChoice(row.value(c), LanguageChoices().first(), LanguageChoices());
        row[c] = next;
        if (!store(rs, c, next))
            return;
        hfgIP->setTextMatrix(r, c, next);
        if (enabled)
            if (const auto card = IPCardCommand(row))
                sendCommands({*card});
        return;
    }
    if (IsIPTextColumn(c)) {
        m_ipEdit = {r, c, rs.currentRowId()};
        EditCell(txtIP, *hfgIP);
    }
}

void frmPHNDiscount::txtIP_LostFocus()
{
    txtIP->hide();
}

void frmPHNDiscount::txtIP_KeyPress(int KeyAscii)
{
    if (KeyAscii != EnterKey)
        return;
    const EditTarget target = m_ipEdit;
    const auto value = CheckIPCell(m_ctx.messages, target.col, txtIP->text(), this);
    if (!value) {
        reselect(txtIP);
        return;
    }
    Recordset &rs = *m_ip;
    txtIP->hide();
    if (!positionOnId(rs, target.rowId) || !store(rs, target.col, *value))
        return;
    hfgIP->setTextMatrix(target.row, target.col, *value);
    const QStringList row = rs.currentRow();
    if (row.value(IPEnabledColumn) != marks().at(1))
        return;
    const auto card = IPCardCommand(row);
    const auto pause = IPPauseCommand(row);
    if (card && pause)
        sendCommands({*card, *pause});
}

void frmPHNDiscount::cmdSetIP_Click()
{
    const bool on = chkTurnOnIP->isChecked();
    const auto number = CheckIPNumber(m_ctx.messages, txtIPNumber->text(), on, this);
    if (!number)
        return;
    int interval = 0;
    for (int i = 0; i < int(optDelay.size()); ++i)
        if (optDelay[i]->isChecked())
            interval = i;

    Recordset &rs = *m_ip;
    // The row of this setting, and never one of the twelve card entries: a
    // table that lacks it gets it appended.
    bool addNew = false;
    if (!rs.findFirst(Criteria(ColEntry, NoCardEntry))) {
        addNew = rs.recordCount() <= IPCardRows;
        if (!addNew)
            rs.moveLast();
    }
    const QStringList values{NoCardEntry, on ? QStringLiteral("1") : QStringLiteral("0"), *number,
                             QString::number(interval)};
    const bool stored = WriteRecord(rs, addNew, values);
    tablesChanged();
    if (stored)
        sendCommands(NoCardIPCommands(on, *number, interval));
}

// ---- discounts -------------------------------------------------------------------------

void frmPHNDiscount::hfgDiscount_DblClick()
{
    const int r = hfgDiscount->row();
    const int c = hfgDiscount->col();
    // Column 0 is the type name the pricing looks the row up by.
    if (c < 1 || c >= DiscountColumns)
        return;
    Recordset &rs = *m_discount;
    if (!positionOn(rs, r, hfgDiscount->fixedRows()))
        return;
    if (IsDiscountMarkColumn(c)) {
        const QStringList pair = marks();
        const QString next = NextChoice(rs.value(c), pair.at(0), pair);
        if (store(rs, c, next))
            hfgDiscount->setTextMatrix(r, c, next);
        return;
    }
    m_discountEdit = {r, c, rs.currentRowId()};
    EditCell(txtDiscount, *hfgDiscount);
}

void frmPHNDiscount::txtDiscount_LostFocus()
{
    txtDiscount->hide();
}

void frmPHNDiscount::txtDiscount_KeyPress(int KeyAscii)
{
    if (KeyAscii != EnterKey)
        return;
    const EditTarget target = m_discountEdit;
    const auto value = CheckDiscountCell(m_ctx.messages, target.col, txtDiscount->text(), this);
    if (!value) {
        reselect(txtDiscount);
        return;
    }
    txtDiscount->hide();
    if (positionOnId(*m_discount, target.rowId) && store(*m_discount, target.col, *value))
        hfgDiscount->setTextMatrix(target.row, target.col, *value);
}

// ---- holidays ---------------------------------------------------------------------------

void frmPHNDiscount::hfgHoliday_DblClick()
{
    const int r = hfgHoliday->row();
    const int c = hfgHoliday->col();
    if (c < 0 || c > 2)
        return;
    Recordset &rs = *m_holiday;
    if (!positionOn(rs, r, hfgHoliday->fixedRows()))
        return;
    m_holidayEdit = {r, c, rs.currentRowId()};
    EditCell(txtHoliday, *hfgHoliday);
}

void frmPHNDiscount::txtHoliday_LostFocus()
{
    txtHoliday->hide();
}

void frmPHNDiscount::txtHoliday_KeyPress(int KeyAscii)
{
    if (KeyAscii != EnterKey)
        return;
    const EditTarget target = m_holidayEdit;
    const auto value = CheckHolidayCell(m_ctx.messages, target.col, txtHoliday->text(), this);
    if (!value) {
        reselect(txtHoliday);
        return;
    }
    txtHoliday->hide();
    if (positionOnId(*m_holiday, target.rowId) && store(*m_holiday, target.col, *value))
        hfgHoliday->setTextMatrix(target.row, target.col, *value);
}

void frmPHNDiscount::cmdAddHoliday_Click()
{
    Recordset &rs = *m_holiday;
    WriteRecord(rs, true, {NewHolidayName, QStringLiteral("01"), QStringLiteral("01")});
    tablesChanged();
    rs.requery();
    fillHoliday();
}

void frmPHNDiscount::cmdDeleteHoliday_Click()
{
    Recordset &rs = *m_holiday;
    // The selected row itself: holidays may share a name.
    if (positionOn(rs, hfgHoliday->row(), hfgHoliday->fixedRows())) {
        rs.deleteCurrent();
        tablesChanged();
    }
    rs.requery();
    fillHoliday();
}

void frmPHNDiscount::cmdLeave_Click()
{
    accept();
}

} // namespace corvane
