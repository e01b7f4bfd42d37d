#include "DumpDecoder.h"
#include "Criteria.h"
#include "Database.h"
#include "DumpValues.h"
#include "General.h"
#include "RateTables.h"
#include "Recordset.h"
#include "SwitchTables.h"
#include <algorithm>

namespace corvane {

// ---- DumpData -------------------------------------------------------------------

void DumpData::clear()
{
    for (QByteArray &b : m_blocks)
        b.clear();
}

void DumpData::set(int block, const QByteArray &data)
{
    if (block < 0 || block >= BlockCount)
        return;
    QByteArray d = data.left(BlockSize);
    d.append(QByteArray(BlockSize - d.size(), '\0'));
    m_blocks[size_t(block)] = d;
}

bool DumpData::has(int block) const { return block >= 0 && block < BlockCount && !m_blocks[size_t(block)].isEmpty(); }

int DumpData::blockCount() const
{
    int n = 0;
    for (const QByteArray &b : m_blocks)
        n += b.isEmpty() ? 0 : 1;
    return n;
}

quint8 DumpData::byte(int block, int offset) const
{
    if (!has(block) || offset < 0 || offset >= BlockSize)
        return 0;
    return quint8(m_blocks[size_t(block)].at(offset));
}

// ---- DatabaseView ----------------------------------------------------------------

namespace {

const QString LocalDefaultName = QStringLiteral("本地默认");

QStringList firstRow(Database &db, const QString &table)
{
    Recordset rs(db, table);
    return rs.currentRow();
}

// Key of a row read as a whole number ("7" or " 7 "); -1 when it is not one.
int keyNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return -1;
    for (QChar c : t)
        if (c < u'0' || c > u'9')
            return -1;
    return t.size() > 6 ? -1 : t.toInt();
}

} // namespace

int DatabaseView::capacity() const { return config ? config->capacity() : 0; }

DatabaseView DatabaseView::Load(Database &db)
{
    DatabaseView v;
    // A table that cannot be read compares as one without rows: its rows
    // show "不可比照".
    if (Checked<ConfigRow> c = ConfigTable(db).read())
        v.config = *c;
    v.feesetting = firstRow(db, SwitchTables::Delays);

    Recordset prefixes(db, SwitchTables::Feerate, Criteria(QStringLiteral("类型"), QStringLiteral("5")),
                       Database::quoteId(QStringLiteral("区号")) + QStringLiteral(", rowid"));
    for (prefixes.moveFirst(); !prefixes.eof(); prefixes.moveNext()) {
        const FeerateRow rate = FeerateRow::fromColumns(prefixes.currentRow());
        if (rate.area != LocalDefaultName)
            v.localPrefixes.append(rate.prefix);
    }

    Recordset special(db, SwitchTables::Special);
    for (special.moveFirst(); !special.eof(); special.moveNext())
        v.specialNumbers.append(special.value(int(SpecialColumn::Number)));

    for (const TrunkRow &r : TrunkTable(db).all().value_or(QList<TrunkRow>())) {
        const int t = keyNumber(r.trunk());
        if (t >= 0 && !v.trunks.contains(t))
            v.trunks.insert(t, r);
    }
    for (const UserRow &u : UserTable(db).all().value_or(QList<UserRow>())) {
        const int p = keyNumber(u.port());
        if (p >= 0 && !v.users.contains(p))
            v.users.insert(p, u);
    }
    return v;
}

// ---- rows ------------------------------------------------------------------------

namespace DumpLayout {

namespace {

using namespace SwitchChoices;
using DumpValue::Choice;

// A stored number as the comparison shows it: the leading number of the text,
// written plainly ("120", "10.5"); empty when the row does not exist.
QString number(const QString &stored) { return QString::number(Val(stored), 'g', 15); }

template <class Row, class Field>
QString numberIn(const Row *row, Field f)
{
    return row ? number(row->get(f)) : QString();
}

QString numberIn(const QStringList &row, DelayColumn c) { return row.isEmpty() ? QString() : number(cell(row, c)); }

template <class Row, class Field>
QString textIn(const Row *row, Field f)
{
    return row ? row->get(f) : QString();
}

template <class Key, class Row>
const Row *rowOf(const QHash<Key, Row> &rows, Key key)
{
    const auto it = rows.constFind(key);
    return it == rows.constEnd() ? nullptr : &*it;
}

// Agent operators and a trunk's virtual operators are keyed into the switch
// as a list: cleared, then one command per port the database names, the empty
// columns left out, and the switch fills its slots in that order. So the
// k-th slot holds the k-th port the database names, not column k: the
// database's side is compared closed up the same way.
QString closedUp(const QStringList &ports, int k)
{
    int found = 0;
    for (const QString &v : ports) {
        if (v.trimmed().isEmpty())
            continue;
        if (++found == k)
            return v;
    }
    return QString();
}

DbRef tableRef(const QString &table, const QString &column, const QString &keyColumn = QString(),
               const QString &key = QString())
{
    DbRef r;
    r.source = DbRef::Source::Table;
    r.table = table;
    r.column = column;
    r.keyColumn = keyColumn;
    r.key = key;
    return r;
}

ComparisonRow makeRow(int row, const QString &item, const QString &detail, const QString &switchValue,
                      const QString &dbValue = QString(), const DbRef &ref = {})
{
    ComparisonRow r;
    r.row = row;
    r.item = item;
    r.detail = detail;
    r.switchValue = switchValue;
    r.dbValue = dbValue;
    r.db = ref;
    return r;
}

ComparisonRow choiceRow(int row, const QString &item, const QString &detail, const Choice &c,
                        const QString &dbValue = QString(), const DbRef &ref = {})
{
    ComparisonRow r = makeRow(row, item, detail, c.text, dbValue, ref);
    r.switchValueValid = c.valid;
    return r;
}

// ---- block 0 ----

enum class Rule { Hex, Eighths, HexText, Choice, Digit };

// The database side of a system row: none, a setting of the configuration
// row (as a number or as text) or a charging delay.
struct DbSide {
    enum Kind { None, ConfigNumber, ConfigText, DelayNumber } kind = None;
    ConfigField config = ConfigField::Capacity;
    DelayColumn delay = DelayColumn::International;
};
constexpr DbSide NoDb{};
constexpr DbSide configNumber(ConfigField f) { return {DbSide::ConfigNumber, f, DelayColumn::International}; }
constexpr DbSide configText(ConfigField f) { return {DbSide::ConfigText, f, DelayColumn::International}; }
constexpr DbSide delayNumber(DelayColumn c) { return {DbSide::DelayNumber, ConfigField::Capacity, c}; }

struct SystemRow {
    int row;
    const char16_t *item;
    const char16_t *detail;
    int byte;
    Rule rule;
    const QStringList &(*list)();
    DbSide db;
};

const SystemRow SystemRowTable[] = {
    {1, u"优惠时段", u"起始小时", 0, Rule::Hex, nullptr, NoDb},
    {2, u"优惠时段", u"起始分钟", 1, Rule::Hex, nullptr, NoDb},
    {3, u"优惠时段", u"结束小时", 2, Rule::Hex, nullptr, NoDb},
    {4, u"优惠时段", u"结束分钟", 3, Rule::Hex, nullptr, NoDb},
    {5, u"交换机", u"分机门数", 6, Rule::Eighths, nullptr, configNumber(ConfigField::Capacity)},
    {6, u"交换机", u"分机号长", 7, Rule::Hex, nullptr, configNumber(ConfigField::NumberLength)},
    {7, u"交换机", u"计费方式", 8, Rule::HexText, nullptr, NoDb},
    {8, u"市话设置", u"首次3分钟费率", 9, Rule::Hex, nullptr, NoDb},
    {9, u"市话设置", u"首次后每分钟费率", 10, Rule::Hex, nullptr, NoDb},
    {10, u"市话设置", u"附加费百分比", 11, Rule::Hex, nullptr, NoDb},
    {11, u"市话设置", u"手续费（角）", 12, Rule::Hex, nullptr, NoDb},
    {12, u"本地网设置", u"附加费百分比", 13, Rule::Hex, nullptr, NoDb},
    {13, u"本地网设置", u"手续费（角）", 14, Rule::Hex, nullptr, NoDb},
    {14, u"国内长途设置", u"附加费百分比", 15, Rule::Hex, nullptr, NoDb},
    {15, u"国内长途设置", u"手续费（角）", 16, Rule::Hex, nullptr, NoDb},
    {16, u"国际长途设置", u"附加费百分比", 17, Rule::Hex, nullptr, NoDb},
    {17, u"国际长途设置", u"手续费（角）", 18, Rule::Hex, nullptr, NoDb},
    {18, u"交换机", u"打印方式", 20, Rule::Hex, nullptr, NoDb},
    {19, u"交换机", u"信号音类型", 21, Rule::Hex, nullptr, configNumber(ConfigField::Signal)},
    {20, u"交换机", u"功能首位字", 22, Rule::Hex, nullptr, configNumber(ConfigField::FunctionDigit)},
    {21, u"交换机", u"市话延时时间", 25, Rule::Hex, nullptr, delayNumber(DelayColumn::City)},
    {22, u"交换机", u"本地延时时间", 26, Rule::Hex, nullptr, delayNumber(DelayColumn::Local)},
    {23, u"交换机", u"国内长途延时时间", 28, Rule::Hex, nullptr, delayNumber(DelayColumn::Domestic)},
    {24, u"交换机", u"国际长途延时时间", 29, Rule::Hex, nullptr, delayNumber(DelayColumn::International)},
    {25, u"交换机", u"手机延时时间", 31, Rule::Hex, nullptr, delayNumber(DelayColumn::Mobile)},
    // rows 26 and 27 (date and time) are built apart
    {28, u"本地网设置", u"半价折率百分比", 40, Rule::Hex, nullptr, NoDb},
    {29, u"国内长途设置", u"半价折率百分比", 41, Rule::Hex, nullptr, NoDb},
    {30, u"国际长途设置", u"半价折率百分比", 42, Rule::Hex, nullptr, NoDb},
    {31, u"本地网设置", u"优惠率百分比", 43, Rule::Hex, nullptr, NoDb},
    {32, u"国内长途设置", u"优惠率百分比", 44, Rule::Hex, nullptr, NoDb},
    {33, u"国际长途设置", u"优惠率百分比", 45, Rule::Hex, nullptr, NoDb},
    {34, u"交换机", u"附加费类型", 52, Rule::Choice, &AdditionalFeeTypes, NoDb},
    {35, u"交换机", u"夜服值班分机（物理端口）", 53, Rule::Hex, nullptr, configText(ConfigField::NightPort)},
    {36, u"交换机", u"特服码个数", 65, Rule::Hex, nullptr, NoDb},
    {37, u"交换机", u"二次错号处理", 67, Rule::Choice, &WrongNumberHandling, NoDb},
    {38, u"交换机", u"话单打印方式", 68, Rule::Choice, &TicketPrintModes, NoDb},
    {39, u"交换机", u"市话计费方式", 74, Rule::Choice, &CityChargeModes, NoDb},
    {40, u"交换机", u"本地网电话权限", 75, Rule::Choice, &CheckMarks, NoDb},
    {41, u"交换机", u"国内统一费率（分）", 76, Rule::Digit, nullptr, NoDb},
    {42, u"交换机", u"密码限打市话", 77, Rule::Choice, &PasswordCityLimits, NoDb},
    // rows 43 to 48 (agent operators, account count) are built apart
};

QString u16(const char16_t *s) { return QString::fromUtf16(s); }

QList<ComparisonRow> systemRows(const DumpData &d, const DatabaseView &db, const QDateTime &now)
{
    QList<ComparisonRow> rows;
    auto b = [&](int offset) { return d.byte(0, offset); };
    const ConfigRow *config = db.config ? &*db.config : nullptr;

    for (const SystemRow &def : SystemRowTable) {
        const quint8 v = b(def.byte);
        Choice value{true, QString()};
        switch (def.rule) {
        case Rule::Hex: value.text = DumpValue::Hex(v); break;
        case Rule::Eighths: {
            const int capacity = int(v) * 8;
            value.text = QString::number(capacity);
            // More extensions than any switch of this kind has: a damaged byte.
            value.valid = capacity <= MaxPorts;
            break;
        }
        case Rule::HexText: value.text = DumpValue::HexText({v}); break;
        case Rule::Digit: value.text = DumpValue::DigitText(v); break;
        case Rule::Choice: value = DumpValue::FromList(v, def.list()); break;
        }
        QString dbValue;
        DbRef ref;
        switch (def.db.kind) {
        case DbSide::None: break;
        case DbSide::ConfigNumber:
            dbValue = numberIn(config, def.db.config);
            ref = tableRef(ConfigTable::Name, ConfigTable::columnName(def.db.config));
            break;
        case DbSide::ConfigText:
            dbValue = textIn(config, def.db.config);
            ref = tableRef(ConfigTable::Name, ConfigTable::columnName(def.db.config));
            break;
        case DbSide::DelayNumber:
            dbValue = numberIn(db.feesetting, def.db.delay);
            ref = tableRef(SwitchTables::Delays, columnName(SwitchTables::Delays, def.db.delay));
            break;
        }
        rows.append(choiceRow(def.row, u16(def.item), u16(def.detail), value, dbValue, ref));
    }

    DbRef date;
    date.source = DbRef::Source::ConsoleDate;
    DbRef time;
    time.source = DbRef::Source::ConsoleTime;
    rows.append(makeRow(26, QStringLiteral("交换机"), QStringLiteral("系统日期"),
                        DumpValue::HexText({b(32), b(33), b(34)}), now.toString(QStringLiteral("yyMMdd")), date));
    rows.append(makeRow(27, QStringLiteral("交换机"), QStringLiteral("系统时间"), DumpValue::HexText({b(36), b(37)}),
                        now.toString(QStringLiteral("HHmm")), time));

    const QStringList agents = config ? config->agentPorts() : QStringList();
    for (int k = 1; k <= AgentCount; ++k) {
        const Choice port = DumpValue::FlaggedPort(b(76 + 2 * k), b(77 + 2 * k));
        rows.append(choiceRow(42 + k, QStringLiteral("代理总机（物理端口）"), QString::number(k), port,
                              closedUp(agents, k),
                              tableRef(ConfigTable::Name, ConfigTable::columnName(AgentField(k - 1)))));
    }
    rows.append(makeRow(48, QStringLiteral("交换机"), QStringLiteral("账号数量"),
                        QString::number(int(b(95)) + 256 * int(b(96)))));

    std::sort(rows.begin(), rows.end(), [](const ComparisonRow &a, const ComparisonRow &c) { return a.row < c.row; });
    return rows;
}

// ---- blocks 1 and 2: lists of numbers ----

// Pairs each slot of the switch's list with a database value. A value both
// hold is paired with itself wherever it stands in either list; the other
// slots take the remaining database values in their order. So two lists that
// hold the same numbers agree whatever order the switch keeps them in, and a
// difference shows on the rows where one side lacks a number.
QStringList pairWithDatabase(const QStringList &slotValues, const QStringList &database)
{
    QStringList paired(slotValues.size(), QString());
    QList<bool> slotDone(slotValues.size(), false);
    QList<bool> used(database.size(), false);
    for (int i = 0; i < slotValues.size(); ++i) {
        const QString s = slotValues.at(i).trimmed();
        if (s.isEmpty())
            continue;
        for (int j = 0; j < database.size(); ++j) {
            if (!used[j] && database.at(j).trimmed() == s) {
                used[j] = true;
                slotDone[i] = true;
                paired[i] = database.at(j);
                break;
            }
        }
    }
    int next = 0;
    for (int i = 0; i < slotValues.size(); ++i) {
        if (slotDone[i])
            continue;
        while (next < database.size() && used[next])
            ++next;
        if (next < database.size()) {
            used[next] = true;
            paired[i] = database.at(next);
        }
    }
    return paired;
}

QList<ComparisonRow> listRows(int firstRow, const QString &item, const QStringList &slotValues,
                              const QStringList &database, const QString &table, const QString &keyColumn)
{
    const QStringList paired = pairWithDatabase(slotValues, database);
    QList<ComparisonRow> rows;
    for (int i = 0; i < slotValues.size(); ++i) {
        const QString detail = QStringLiteral("第%1组").arg(i + 1);
        // The value is the key column itself.
        rows.append(makeRow(firstRow + i, item, detail, slotValues.at(i), paired.at(i),
                            tableRef(table, keyColumn, keyColumn, paired.at(i))));
    }
    return rows;
}

QList<ComparisonRow> prefixRows(const DumpData &d, const DatabaseView &db)
{
    QStringList slotValues;
    for (int i = 0; i < PrefixSlots; ++i)
        slotValues.append(DumpValue::Digits({d.byte(1, 48 + i), d.byte(1, i)}));
    return listRows(PrefixFirstRow, QStringLiteral("本地网字头"), slotValues, db.localPrefixes, SwitchTables::Feerate,
                    QStringLiteral("区号"));
}

QList<ComparisonRow> specialRows(const DumpData &d, const DatabaseView &db)
{
    QStringList slotValues;
    for (int i = 0; i < SpecialSlots; ++i)
        slotValues.append(DumpValue::Digits({d.byte(2, 156 + i), d.byte(2, 104 + i), d.byte(2, 52 + i), d.byte(2, i)}));
    return listRows(SpecialFirstRow, QStringLiteral("特服号码"), slotValues, db.specialNumbers, SwitchTables::Special,
                    columnName(SwitchTables::Special, SpecialColumn::Number));
}

// ---- block 4: trunks ----

QList<ComparisonRow> trunkRows(const DumpData &d, const DatabaseView &db)
{
    QList<ComparisonRow> rows;
    const QString key = TrunkTable::columnName(TrunkField::Trunk);
    for (int i = 0; i < Trunks; ++i) {
        const int n = i + 1;
        const int R = TrunkRow(n);
        const QString detail = QStringLiteral("%1号中继").arg(n);
        const corvane::TrunkRow *ex = rowOf(db.trunks, n);
        const QString keyValue = textIn(ex, TrunkField::Trunk);
        auto ref = [&](TrunkField f) { return tableRef(TrunkTable::Name, TrunkTable::columnName(f), key, keyValue); };
        auto text = [&](TrunkField f) { return textIn(ex, f); };
        auto b = [&](int offset) { return d.byte(4, offset); };

        rows.append(makeRow(R, QStringLiteral("中继路由局向"), detail, DumpValue::Hex(b(i)),
                            numberIn(ex, TrunkField::Route), ref(TrunkField::Route)));
        rows.append(choiceRow(R + 1, QStringLiteral("中继出局方式"), detail,
                              DumpValue::FromList(b(12 + i), OutgoingModes()), text(TrunkField::OutgoingMode),
                              ref(TrunkField::OutgoingMode)));
        rows.append(choiceRow(R + 2, QStringLiteral("中继发码方式"), detail,
                              DumpValue::FromList(b(24 + i), DialModes()), text(TrunkField::DialMode),
                              ref(TrunkField::DialMode)));
        rows.append(choiceRow(R + 3, QStringLiteral("中继计费开关方式"), detail,
                              DumpValue::FromList(b(36 + i), ChargeModes()), text(TrunkField::ChargeMode),
                              ref(TrunkField::ChargeMode)));
        rows.append(choiceRow(R + 4, QStringLiteral("中继呼入方式"), detail,
                              DumpValue::FromList(b(48 + i), IncomingModes()), text(TrunkField::IncomingMode),
                              ref(TrunkField::IncomingMode)));
        rows.append(makeRow(R + 5, QStringLiteral("中继分组"), detail, DumpValue::Hex(b(84 + i)),
                            text(TrunkField::Group), ref(TrunkField::Group)));
        rows.append(choiceRow(R + 6, QStringLiteral("中继开关"), detail, DumpValue::FromList(b(96 + i), CheckMarks()),
                              text(TrunkField::OnOff), ref(TrunkField::OnOff)));
        rows.append(choiceRow(R + 7, QStringLiteral("中继来电显示"), detail,
                              DumpValue::FromList(b(120 + i), CheckMarks()), text(TrunkField::CallerDisplay),
                              ref(TrunkField::CallerDisplay)));
        QStringList virtualPorts;
        for (int k = 0; k < VirtualOperators; ++k)
            virtualPorts << text(VirtualField(k));
        for (int k = 1; k <= VirtualOperators; ++k) {
            const Choice port = DumpValue::FlaggedPort(b(144 + 24 * (k - 1) + i), b(132 + 24 * (k - 1) + i));
            rows.append(choiceRow(R + 7 + k, QStringLiteral("虚拟总机%1（物理端口）").arg(k), detail, port,
                                  closedUp(virtualPorts, k), ref(VirtualField(k - 1))));
        }
    }
    return rows;
}

// ---- extension blocks ----

QList<ComparisonRow> extensionRows(int block, const DumpData &d, const DatabaseView &db, int ports)
{
    QList<ComparisonRow> rows;
    const QString key = UserTable::columnName(UserField::Port);
    for (int p = 0; p < ports; ++p) {
        const QString detail = QStringLiteral("第%1门").arg(p + 1);
        const UserRow *user = rowOf(db.users, p);
        const QString keyValue = textIn(user, UserField::Port);
        auto ref = [&](UserField f) { return tableRef(UserTable::Name, UserTable::columnName(f), key, keyValue); };
        auto text = [&](UserField f) { return textIn(user, f); };
        auto row = [&](int k) { return ExtensionRow(p, k); };
        switch (block) {
        case 10:
            rows.append(makeRow(row(0), QStringLiteral("分机号码"), detail,
                                DumpValue::Digits({d.byte(6, p), d.byte(5, 120 + p), d.byte(5, p)}),
                                text(UserField::Number), ref(UserField::Number)));
            rows.append(makeRow(row(1), QStringLiteral("分机呼出时限"), detail, DumpValue::Hex(d.byte(6, 120 + p)),
                                text(UserField::TimeLimit), ref(UserField::TimeLimit)));
            rows.append(choiceRow(row(2), QStringLiteral("分机来电显示"), detail,
                                  DumpValue::FromList(d.byte(7, p), CheckMarks()), text(UserField::CallerDisplay),
                                  ref(UserField::CallerDisplay)));
            rows.append(choiceRow(row(3), QStringLiteral("分机允许中继呼入权"), detail,
                                  DumpValue::FromList(d.byte(10, p), CheckMarks()), text(UserField::TrunkIn),
                                  ref(UserField::TrunkIn)));
            rows.append(choiceRow(row(4), QStringLiteral("分机内部分机呼叫权"), detail,
                                  DumpValue::FromList(d.byte(10, 120 + p), CheckMarks()), text(UserField::CallInternal),
                                  ref(UserField::CallInternal)));
            break;
        case 27:
            // The class is the second hex digit of the byte.
            rows.append(makeRow(row(5), QStringLiteral("分机等级"), detail, QString::number(d.byte(27, p) & 0x0F),
                                text(UserField::Class), ref(UserField::Class)));
            break;
        case 31:
            rows.append(choiceRow(row(6), QStringLiteral("分机拨打本地权"), detail,
                                  DumpValue::FromList(quint8(d.byte(31, p) & 0x0F), CheckMarks()),
                                  text(UserField::DialLocal), ref(UserField::DialLocal)));
            break;
        case 35:
            rows.append(choiceRow(row(7), QStringLiteral("分机拨打特服权"), detail,
                                  DumpValue::FromList(d.byte(35, p), CheckMarks()), text(UserField::DialSpecial),
                                  ref(UserField::DialSpecial)));
            break;
        case 49:
            rows.append(makeRow(row(8), QStringLiteral("分机中继分组"), detail, DumpValue::Hex(d.byte(49, p)),
                                text(UserField::TrunkGroup), ref(UserField::TrunkGroup)));
            break;
        default: break;
        }
    }
    return rows;
}

} // namespace

int SwitchCapacity(const DumpData &dump) { return int(dump.byte(0, 6)) * 8; }

int ExtensionPorts(int databaseCapacity, int switchCapacity)
{
    return qBound(0, qMax(databaseCapacity, switchCapacity), MaxPorts);
}

bool BlockHasRows(int block)
{
    switch (block) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 10:
    case 27:
    case 31:
    case 35:
    case 49: return true;
    default: return false;
    }
}

QList<ComparisonRow> RowsOfBlock(int block, const DumpData &dump, const DatabaseView &db, int ports,
                                 const QDateTime &now)
{
    ports = qBound(0, ports, MaxPorts);
    switch (block) {
    case 0: return systemRows(dump, db, now);
    case 1: return prefixRows(dump, db);
    case 2: return specialRows(dump, db);
    case 4: return trunkRows(dump, db);
    case 10:
    case 27:
    case 31:
    case 35:
    case 49: return extensionRows(block, dump, db, ports);
    default: return {};
    }
}

} // namespace DumpLayout
} // namespace corvane
