#include "RateTablesEditor.h"

#include "Database.h"
#include "DiscountRules.h"
#include "FeeEngine.h"
#include "General.h"
#include "MessageService.h"
#include "RateTables.h"

#include <algorithm>
#include <type_traits>

namespace corvane {

using namespace DiscountRules;

namespace {

Status rowGone() { return Status::fail(QStringLiteral("这条记录已不在表中")); }

template <class Row>
TableRows shown(const QStringList &columns, const QList<Row> &rows)
{
    TableRows t;
    t.columns = columns;
    for (const Row &r : rows) {
        t.rows.append(r.columns());
        t.rowIds.append(r.rowId);
    }
    return t;
}

} // namespace

RateTablesEditor::RateTablesEditor(Database &db, QStringList typeNames, QStringList marks, FeeEngine *engine)
    : m_db(db), m_typeNames(std::move(typeNames)), m_marks(std::move(marks)), m_engine(engine)
{
    while (m_typeNames.size() < TypeTabs)
        m_typeNames << QString();
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
}

RateTablesEditor::~RateTablesEditor() = default;

void RateTablesEditor::tablesChanged()
{
    if (m_engine)
        m_engine->invalidate();
}

QStringList RateTablesEditor::shownRow(const TableRows &rows, qint64 rowId) { return rows.row(rows.indexOf(rowId)); }

template <class Table>
StoreResult RateTablesEditor::store(Table &&table, qint64 rowId, int col, const QString &value, QStringList commands,
                                    bool refill)
{
    using Field = typename std::decay_t<Table>::Field;
    const Status s = table.write(rowId, {{Field(col), value}});
    tablesChanged();
    if (!s)
        return StoreResult(s, {}, true);
    return StoreResult(Status::ok(), std::move(commands), refill);
}

// ---- what the grids show ---------------------------------------------------------

Checked<TableRows> RateTablesEditor::feerate(int t)
{
    if (t < 0 || t >= TypeTabs)
        return TableRows();
    FeerateTable table(m_db);
    auto rows = table.ofType(t);
    if (!rows)
        return Checked<TableRows>::refuse(rows.status().context(QStringLiteral("费率表无法读取")));
    // Rows keep their place in the grid while their cells change; an added or
    // deleted row brings the order by prefix back.
    if (!m_reorder[t] && !m_feerate[t].rowIds.isEmpty()) {
        const QList<qint64> before = m_feerate[t].rowIds;
        std::stable_sort(rows->begin(), rows->end(), [&](const FeerateRow &a, const FeerateRow &b) {
            const qsizetype ia = before.indexOf(a.rowId), ib = before.indexOf(b.rowId);
            return (ia < 0 ? before.size() : ia) < (ib < 0 ? before.size() : ib);
        });
    }
    m_reorder[t] = false;
    m_feerate[t] = shown(table.columnNames(), *rows);
    return m_feerate[t];
}

Checked<TableRows> RateTablesEditor::ipCards()
{
    IPTable table(m_db);
    const auto rows = table.all();
    if (!rows)
        return Checked<TableRows>::refuse(rows.status().context(QStringLiteral("IP卡表无法读取")));
    m_ip = shown(table.columnNames(), rows->mid(0, IPCardRows));
    return m_ip;
}

Checked<TableRows> RateTablesEditor::discount()
{
    DiscountTable table(m_db);
    const auto rows = table.all();
    if (!rows)
        return Checked<TableRows>::refuse(rows.status().context(QStringLiteral("折扣表无法读取")));
    m_discount = shown(table.columnNames(), *rows);
    return m_discount;
}

Checked<TableRows> RateTablesEditor::holiday()
{
    HolidayTable table(m_db);
    const auto rows = table.all();
    if (!rows)
        return Checked<TableRows>::refuse(rows.status().context(QStringLiteral("节假日表无法读取")));
    m_holiday = shown(table.columnNames(), *rows);
    return m_holiday;
}

qint64 RateTablesEditor::feerateRowId(int t, int index) const
{
    return t >= 0 && t < TypeTabs ? m_feerate[t].rowId(index) : -1;
}

qint64 RateTablesEditor::ipCardRowId(int index) const { return index < IPCardRows ? m_ip.rowId(index) : -1; }

qint64 RateTablesEditor::discountRowId(int index) const { return m_discount.rowId(index); }
qint64 RateTablesEditor::holidayRowId(int index) const { return m_holiday.rowId(index); }

Checked<RateTablesEditor::NoCardSetting> RateTablesEditor::noCardSetting() const
{
    NoCardSetting s;
    const auto row = IPTable(m_db).first(IPField::Entry, NoCardEntry);
    if (!row)
        return Checked<NoCardSetting>::refuse(row.status().context(QStringLiteral("IP卡表无法读取")));
    if (*row) {
        s.on = (*row)->get(IPField::On) == QStringLiteral("1");
        s.number = (*row)->get(IPField::Code);
        const int interval = int(ValInt((*row)->get(IPField::Delay1)));
        s.interval = interval >= 0 && interval < IntervalCodes().size() ? interval : -1;
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
    const auto row = FeerateTable(m_db).byRowId(cell.rowId);
    if (!row)
        return StoreResult(row.status(), {}, true);
    if (!*row)
        return StoreResult(rowGone(), {}, true);
    const QString oldPrefix = (*row)->prefix;
    const QString name = (*row)->area;
    // These commands keep the switch's local-network prefixes in step with
    // the rows of the local tab; they go out once the table holds the prefix.
    QStringList commands;
    if (t == LocalTab && cell.col == 0 && name != DefaultRateName(typeName(LocalTab)))
        commands = LocalPrefixChangeCommands(oldPrefix, value);
    // Rows keep their place in the grid while their cells change; the next
    // added or deleted row brings the order by prefix back.
    return store(FeerateTable(m_db), cell.rowId, cell.col, value, commands, true);
}

StoreResult RateTablesEditor::addRate(int t)
{
    if (t < 0 || t >= EditableTypeTabs)
        return StoreResult(Status::fail(QStringLiteral("这一类不能添加费率")));
    FeerateTable table(m_db);
    const auto model = table.byArea(t, DefaultRateName(typeName(t)));
    if (!model)
        return StoreResult(model.status().context(QStringLiteral("费率未能添加")), {}, true);
    FeerateRow row = *model ? **model : FeerateRow();
    row.prefix.clear();
    row.area = NewRateName(typeName(t));
    // The type is this tab's even when the default row is missing, so the new
    // row shows here and nowhere else.
    row.type = QString::number(t);
    const Status s = table.insert(row).status();
    m_reorder[t] = true;
    tablesChanged();
    return StoreResult(s, {}, true);
}

Status RateTablesEditor::checkDeleteRate(int t, qint64 rowId) const
{
    if (t < 0 || t >= EditableTypeTabs)
        return Status::fail(QStringLiteral("这一类不能删除费率"));
    if (IsDefaultRateText(shownRow(m_feerate[t], rowId).value(1)))
        return Status::fail(QStringLiteral("默认费率不可删除！"));
    return Status::ok();
}

StoreResult RateTablesEditor::deleteRate(int t, qint64 rowId)
{
    if (Status s = checkDeleteRate(t, rowId); !s)
        return StoreResult(s);
    FeerateTable table(m_db);
    const auto row = table.byRowId(rowId);
    if (!row)
        return StoreResult(row.status(), {}, true);
    if (!*row)
        return StoreResult(Status::ok(), {}, true); // nothing selected: nothing to delete
    const Status s = table.remove(rowId);
    m_reorder[t] = true;
    tablesChanged();
    QStringList commands;
    if (s && t == LocalTab) {
        const QString remove = LocalPrefixRemoveCommand((*row)->prefix);
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
    FeerateTable table(m_db);
    // Each selected grid row is written to its own record, never to another
    // row that happens to share its prefix.
    const Status s = InTransaction(m_db, [&]() -> Status {
        for (qint64 id : rowIds)
            if (Status w = table.write(id, {{col, value}}); !w)
                return w;
        return Status::ok();
    });
    tablesChanged();
    if (!s) {
        // Nothing of the batch was kept: show what the table really holds.
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
        const auto stored = IPTable(m_db).byRowId(cell.rowId);
        if (!stored)
            return stored.refusedAs<QString>();
        IPRow row = stored->value_or(IPRow());
        row.set(IPField::On, value);
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
    const auto stored = IPTable(m_db).byRowId(cell.rowId);
    if (!stored)
        return StoreResult(stored.status(), {}, true);
    if (!*stored)
        return StoreResult(rowGone(), {}, true);
    IPRow row = **stored;
    row.set(IPField(cell.col), value);
    const bool enabled = row.get(IPField::On) == m_marks.at(1);
    const auto card = IPCardCommand(row);
    const auto pause = IPPauseCommand(row);
    QStringList commands;
    if (cell.col == IPEnabledColumn) {
        if (enabled && card && pause)
            commands << *card << *pause;
        else if (!enabled)
            commands << IPCardOffCommand(row.get(IPField::Entry));
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
    return store(IPTable(m_db), cell.rowId, cell.col, value, commands);
}

Checked<QString> RateTablesEditor::checkNoCardNumber(const QString &text, bool turnOn) const
{
    return CheckIPNumber(text, turnOn);
}

StoreResult RateTablesEditor::setNoCard(bool turnOn, const QString &number, int interval)
{
    IPTable table(m_db);
    const int chosen = qMax(0, interval);
    IPRow row;
    row.set(IPField::Entry, NoCardEntry);
    row.set(IPField::On, turnOn ? QStringLiteral("1") : QStringLiteral("0"));
    row.set(IPField::Code, number);
    row.set(IPField::Delay1, QString::number(chosen));
    // The row of this setting, and never one of the twelve card entries: a
    // table that lacks it gets it appended.
    const Status s = InTransaction(m_db, [&]() -> Status {
        const auto existing = table.first(IPField::Entry, NoCardEntry);
        if (!existing)
            return existing.status();
        if (*existing)
            return table.write((*existing)->rowId, {{IPField::On, row.get(IPField::On)},
                                                    {IPField::Code, number},
                                                    {IPField::Delay1, row.get(IPField::Delay1)}});
        return table.insert(row).status();
    });
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
    return store(DiscountTable(m_db), cell.rowId, cell.col, value);
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
    return store(HolidayTable(m_db), cell.rowId, cell.col, value);
}

StoreResult RateTablesEditor::addHoliday()
{
    const Status s =
        HolidayTable(m_db).insert(HolidayRow{NewHolidayName, QStringLiteral("01"), QStringLiteral("01")}).status();
    tablesChanged();
    return StoreResult(s, {}, true);
}

StoreResult RateTablesEditor::deleteHoliday(qint64 rowId)
{
    // The selected row itself: holidays may share a name.
    HolidayTable table(m_db);
    const auto row = table.byRowId(rowId);
    if (!row)
        return StoreResult(row.status(), {}, true);
    if (!*row)
        return StoreResult(Status::ok(), {}, true);
    const Status s = table.remove(rowId);
    tablesChanged();
    return StoreResult(s, {}, true);
}

} // namespace corvane
