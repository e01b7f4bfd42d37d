#include "RateTablesEditor.h"

#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "DiscountRules.h"
#include "FeeEngine.h"
#include "General.h"
#include "MessageService.h"
#include "RateTables.h"

namespace corvane {

using namespace DiscountRules;

namespace {

const QString ColPrefix = QStringLiteral("区号");
const QString ColArea = QStringLiteral("地区");
const QString ColEntry = QStringLiteral("序号");

Status rowGone() { return Status::fail(QStringLiteral("这条记录已不在表中")); }

} // namespace

RateTablesEditor::RateTablesEditor(Database &db, QStringList typeNames, QStringList marks, FeeEngine *engine)
    : m_db(db), m_typeNames(std::move(typeNames)), m_marks(std::move(marks)), m_engine(engine)
{
    while (m_typeNames.size() < TypeTabs)
        m_typeNames << QString();
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
    for (int t = 0; t < TypeTabs; ++t) {
        // Ties in the prefix keep their table order, so a grid row and its
        // record stay paired from one fill to the next.
        m_feerate[t] = std::make_unique<Recordset>(db, QStringLiteral("Feerate"),
                                                   Criteria(QStringLiteral("类型"), QString::number(t)),
                                                   Database::quoteId(ColPrefix) + QStringLiteral(", rowid"));
    }
    m_ip = std::make_unique<Recordset>(db, QStringLiteral("IP"));
    m_discount = std::make_unique<Recordset>(db, QStringLiteral("Discount"));
    m_holiday = std::make_unique<Recordset>(db, QStringLiteral("Holiday"));
}

RateTablesEditor::~RateTablesEditor() = default;

void RateTablesEditor::tablesChanged()
{
    if (m_engine)
        m_engine->invalidate();
}

StoreResult RateTablesEditor::store(Recordset &rs, qint64 rowId, int col, const QString &value, QStringList commands,
                                    bool refill)
{
    Status s = rs.moveToId(rowId) ? SetField(rs, col, value) : rowGone();
    tablesChanged();
    if (!s)
        return StoreResult(s, {}, true);
    return StoreResult(Status::ok(), std::move(commands), refill);
}

// ---- what the grids show ---------------------------------------------------------

TableRows RateTablesEditor::feerate(int t) const
{
    return t >= 0 && t < TypeTabs ? m_feerate[t]->snapshot() : TableRows();
}

TableRows RateTablesEditor::ipCards() const
{
    TableRows all = m_ip->snapshot();
    all.rows = all.rows.mid(0, IPCardRows);
    all.rowIds = all.rowIds.mid(0, IPCardRows);
    return all;
}

TableRows RateTablesEditor::discount() const { return m_discount->snapshot(); }
TableRows RateTablesEditor::holiday() const { return m_holiday->snapshot(); }

qint64 RateTablesEditor::feerateRowId(int t, int index) const
{
    return t >= 0 && t < TypeTabs ? m_feerate[t]->rowIdAt(index) : -1;
}

qint64 RateTablesEditor::ipCardRowId(int index) const { return index < IPCardRows ? m_ip->rowIdAt(index) : -1; }

qint64 RateTablesEditor::discountRowId(int index) const { return m_discount->rowIdAt(index); }
qint64 RateTablesEditor::holidayRowId(int index) const { return m_holiday->rowIdAt(index); }

RateTablesEditor::NoCardSetting RateTablesEditor::noCardSetting() const
{
    NoCardSetting s;
    const TableRows ip = m_ip->snapshot();
    for (const QStringList &row : ip.rows) {
        if (row.value(0) != NoCardEntry)
            continue;
        s.on = row.value(1) == QStringLiteral("1");
        s.number = row.value(2);
        const int interval = int(ValInt(row.value(3)));
        s.interval = interval >= 0 && interval < IntervalCodes().size() ? interval : -1;
        break;
    }
    return s;
}

// ---- rate grids ---------------------------------------------------------------------

CellRule RateTablesEditor::feerateRule(int t, const GridCell &cell) const
{
    if (!FeerateColumnEditable(t, cell.col))
        return CellRule::fixed();
    if (IsDefaultRateText(cell.text))
        return CellRule::block(QStringLiteral("默认费率名称不可更改！"), MessageService::defaultTitle(),
                               MessageService::Icon::None);
    if (cell.col == DiscountMarkColumn)
        return CellRule::cycle(m_marks);
    return CellRule::text();
}

Checked<QString> RateTablesEditor::checkFeerate(int t, const GridCell &cell, const QString &text) const
{
    if (cell.col == DiscountMarkColumn)
        return m_marks.contains(text) ? Checked<QString>(text)
                                      : Checked<QString>::refuse(QStringLiteral("请输入0（×）或1（√）！"));
    return CheckFeerateCell(t, cell.col, text);
}

StoreResult RateTablesEditor::storeFeerate(int t, const GridCell &cell, const QString &value)
{
    if (t < 0 || t >= TypeTabs)
        return StoreResult(rowGone());
    Recordset &rs = *m_feerate[t];
    if (!rs.moveToId(cell.rowId))
        return StoreResult(rowGone(), {}, true);
    const QString oldPrefix = rs.value(0);
    const QString name = rs.value(1);
    // These commands keep the switch's local-network prefixes in step with
    // the rows of the local tab; they go out once the table holds the prefix.
    QStringList commands;
    if (t == LocalTab && cell.col == 0 && name != DefaultRateName(typeName(LocalTab)))
        commands = LocalPrefixChangeCommands(oldPrefix, value);
    // Rows keep their place in the grid while their cells change; the next
    // added or deleted row brings the order by prefix back.
    return store(rs, cell.rowId, cell.col, value, commands, true);
}

StoreResult RateTablesEditor::addRate(int t)
{
    if (t < 0 || t >= EditableTypeTabs)
        return StoreResult(Status::fail(QStringLiteral("这一类不能添加费率")));
    Recordset &rs = *m_feerate[t];
    FeerateRow row = rs.findFirst(Criteria(ColArea, DefaultRateName(typeName(t))))
                         ? FeerateRow::fromColumns(rs.currentRow())
                         : FeerateRow();
    row.prefix.clear();
    row.area = NewRateName(typeName(t));
    // The type is this tab's even when the default row is missing, so the new
    // row shows here and nowhere else.
    row.type = QString::number(t);
    const Status s = WriteRecord(rs, true, row.columns());
    tablesChanged();
    rs.requery();
    return StoreResult(s, {}, true);
}

Status RateTablesEditor::checkDeleteRate(int t, qint64 rowId) const
{
    if (t < 0 || t >= EditableTypeTabs)
        return Status::fail(QStringLiteral("这一类不能删除费率"));
    const TableRows rows = m_feerate[t]->snapshot();
    if (IsDefaultRateText(rows.row(rows.indexOf(rowId)).value(1)))
        return Status::fail(QStringLiteral("默认费率不可删除！"));
    return Status::ok();
}

StoreResult RateTablesEditor::deleteRate(int t, qint64 rowId)
{
    if (Status s = checkDeleteRate(t, rowId); !s)
        return StoreResult(s);
    Recordset &rs = *m_feerate[t];
    if (!rs.moveToId(rowId))
        return StoreResult(Status::ok(), {}, true); // nothing selected: nothing to delete
    const QString prefix = rs.value(0);
    const Status s = rs.deleteCurrent();
    tablesChanged();
    rs.requery();
    QStringList commands;
    if (s && t == LocalTab) {
        const QString remove = LocalPrefixRemoveCommand(prefix);
        if (!remove.isEmpty())
            commands << remove;
    }
    return StoreResult(s, commands, true);
}

Status RateTablesEditor::checkBatchColumns(int col, int colSel) const
{
    if (col != colSel)
        return Status::fail(QStringLiteral("你选择了多列数据，无法进行修改！"));
    return Status::ok();
}

Status RateTablesEditor::checkBatchColumn(int col) const
{
    if (col == 0 || col == 1)
        return Status::fail(QStringLiteral("第一列和第二列无法进行批量修改！"));
    return Status::ok();
}

Checked<QString> RateTablesEditor::checkBatchValue(int t, int col, const QString &text) const
{
    // The same rules as typing the value into each cell.
    return CheckBatchValue(t, col, text, m_marks);
}

StoreResult RateTablesEditor::batchChange(int t, const QList<qint64> &rowIds, int col, const QString &value)
{
    if (t < 0 || t >= EditableTypeTabs)
        return StoreResult(rowGone());
    Recordset &rs = *m_feerate[t];
    // Each selected grid row is written to its own record, never to another
    // row that happens to share its prefix.
    const Status s = InTransaction(m_db, [&]() -> Status {
        for (qint64 id : rowIds)
            if (Status w = rs.moveToId(id) ? SetField(rs, col, value) : rowGone(); !w)
                return w;
        return Status::ok();
    });
    tablesChanged();
    if (!s) {
        // Nothing of the batch was kept: show what the table really holds.
        rs.requery();
        return StoreResult(s.context(QStringLiteral("批量修改未能保存")), {}, true);
    }
    return StoreResult(Status::ok());
}

// ---- IP cards -------------------------------------------------------------------------

CellRule RateTablesEditor::ipRule(const GridCell &cell) const
{
    if (cell.col == IPEnabledColumn)
        return CellRule::cycle(m_marks).refusedAs(QStringLiteral("请填写其他信息"), MessageService::Icon::Critical);
    if (IsIPPauseColumn(cell.col))
        return CellRule::cycle(CardPauseTexts());
    if (cell.col == IPLanguageColumn)
        return CellRule::cycle(LanguageChoices());
    if (IsIPTextColumn(cell.col))
        return CellRule::text();
    return CellRule::fixed();
}

Checked<QString> RateTablesEditor::checkIP(const GridCell &cell, const QString &value) const
{
    if (cell.col == IPEnabledColumn) {
        const TableRows ip = m_ip->snapshot();
        QStringList row = ip.row(ip.indexOf(cell.rowId));
        row.resize(qMax<qsizetype>(row.size(), IPColumns));
        row[IPEnabledColumn] = value;
        const bool on = value == m_marks.at(1);
        // A card goes on or off only when every field is filled and can be
        // keyed into the switch.
        if (!IPCardComplete(row) || (on && (!IPCardCommand(row) || !IPPauseCommand(row))))
            return Checked<QString>::refuse(QStringLiteral("请填写好所有信息后再启动该IP卡！"));
        return value;
    }
    if (IsIPPauseColumn(cell.col) || cell.col == IPLanguageColumn)
        return value;
    return CheckIPCell(cell.col, value);
}

StoreResult RateTablesEditor::storeIP(const GridCell &cell, const QString &value)
{
    const TableRows ip = m_ip->snapshot();
    QStringList row = ip.row(ip.indexOf(cell.rowId));
    row.resize(qMax<qsizetype>(row.size(), IPColumns));
    row[cell.col] = value;
    const bool enabled = row.value(IPEnabledColumn) == m_marks.at(1);
    const auto card = IPCardCommand(row);
    const auto pause = IPPauseCommand(row);
    QStringList commands;
    if (cell.col == IPEnabledColumn) {
        if (enabled && card && pause)
            commands << *card << *pause;
        else if (!enabled)
            commands << IPCardOffCommand(row.value(0));
    } else if (enabled) {
        // Only what changed: the pauses are the second command, the
        // language the first, a typed field both.
        if (IsIPPauseColumn(cell.col)) {
            if (pause)
                commands << *pause;
        } else if (cell.col == IPLanguageColumn) {
            if (card)
                commands << *card;
        } else if (card && pause) {
            commands << *card << *pause;
        }
    }
    return store(*m_ip, cell.rowId, cell.col, value, commands);
}

Checked<QString> RateTablesEditor::checkNoCardNumber(const QString &text, bool turnOn) const
{
    return CheckIPNumber(text, turnOn);
}

StoreResult RateTablesEditor::setNoCard(bool turnOn, const QString &number, int interval)
{
    Recordset &rs = *m_ip;
    // The row of this setting, and never one of the twelve card entries: a
    // table that lacks it gets it appended.
    bool addNew = false;
    if (!rs.findFirst(Criteria(ColEntry, NoCardEntry))) {
        addNew = rs.recordCount() <= IPCardRows;
        if (!addNew)
            rs.moveLast();
    }
    const int chosen = qMax(0, interval);
    const QStringList values{NoCardEntry, turnOn ? QStringLiteral("1") : QStringLiteral("0"), number,
                             QString::number(chosen)};
    const Status s = WriteRecord(rs, addNew, values);
    tablesChanged();
    return StoreResult(s, NoCardIPCommands(turnOn, number, chosen));
}

// ---- discount periods -----------------------------------------------------------------

CellRule RateTablesEditor::discountRule(const GridCell &cell) const
{
    // Column 0 is the type name the pricing looks the row up by.
    if (cell.col < 1 || cell.col >= DiscountColumns)
        return CellRule::fixed();
    if (IsDiscountMarkColumn(cell.col))
        return CellRule::cycle(m_marks);
    return CellRule::text();
}

Checked<QString> RateTablesEditor::checkDiscount(const GridCell &cell, const QString &text) const
{
    if (IsDiscountMarkColumn(cell.col))
        return text;
    return CheckDiscountCell(cell.col, text);
}

StoreResult RateTablesEditor::storeDiscount(const GridCell &cell, const QString &value)
{
    return store(*m_discount, cell.rowId, cell.col, value);
}

// ---- holidays ---------------------------------------------------------------------------

CellRule RateTablesEditor::holidayRule(const GridCell &cell) const
{
    return cell.col >= 0 && cell.col <= 2 ? CellRule::text() : CellRule::fixed();
}

Checked<QString> RateTablesEditor::checkHoliday(const GridCell &cell, const QString &text) const
{
    return CheckHolidayCell(cell.col, text);
}

StoreResult RateTablesEditor::storeHoliday(const GridCell &cell, const QString &value)
{
    return store(*m_holiday, cell.rowId, cell.col, value);
}

StoreResult RateTablesEditor::addHoliday()
{
    Recordset &rs = *m_holiday;
    const Status s =
        WriteRecord(rs, true, HolidayRow{NewHolidayName, QStringLiteral("01"), QStringLiteral("01")}.columns());
    tablesChanged();
    rs.requery();
    return StoreResult(s, {}, true);
}

StoreResult RateTablesEditor::deleteHoliday(qint64 rowId)
{
    Recordset &rs = *m_holiday;
    // The selected row itself: holidays may share a name.
    if (!rs.moveToId(rowId))
        return StoreResult(Status::ok(), {}, true);
    const Status s = rs.deleteCurrent();
    tablesChanged();
    rs.requery();
    return StoreResult(s, {}, true);
}

} // namespace corvane
