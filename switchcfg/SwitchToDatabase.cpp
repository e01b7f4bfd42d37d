#include "SwitchToDatabase.h"
#include "ConfigTable.h"
#include "Criteria.h"
#include "Database.h"
#include "DepositTable.h"
#include "DumpDecoder.h"
#include "General.h"
#include "ParameterDump.h"
#include "RateTables.h"
#include "Recordset.h"
#include "SwitchTables.h"
#include "TrunkTable.h"
#include "UserTable.h"

#include <QMap>
#include <QSet>

namespace corvane {

namespace {

// The grid's layout; DumpLayout::TrunkRow (a row number) is named in full
// beside the trunk table's TrunkRow.
using DumpLayout::ExtensionRow;
using DumpLayout::ExtensionRows;
using DumpLayout::FixedRows;
using DumpLayout::PrefixFirstRow;
using DumpLayout::PrefixSlots;
using DumpLayout::SpecialFirstRow;
using DumpLayout::SpecialSlots;
using DumpLayout::SwitchCapacity;
using DumpLayout::TrunkFirstRow;
using DumpLayout::Trunks;

const QString LocalDefaultName = QStringLiteral("本地默认");
const QString LocalNewName = QStringLiteral("本地新添加");
const QString LocalTypeCode = QStringLiteral("5");

// The rows of one of the tables without a gateway (Feesetting, Feerate,
// SPCPhone) as read at the start of the copy, with their row ids.
struct StoredTable {
    QString table;
    QStringList columns;
    QList<QStringList> rows;
    QList<qint64> ids;
    bool valid = false;
    Status status;

    static StoredTable read(Database &db, const QString &table, const Criteria &filter = {},
                            const QString &orderBy = QString())
    {
        StoredTable t;
        t.table = table;
        Recordset rs(db, table, filter, orderBy);
        t.valid = rs.isValid();
        t.status = rs.status();
        t.columns = rs.columnNames();
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            t.rows.append(rs.currentRow());
            t.ids.append(rs.currentRowId());
        }
        return t;
    }
};

// The wanted values of a row that differ from what it holds: a copy writes
// only those.
template <class Row, class Field>
QList<QPair<Field, QString>> differing(const Row &row, const QList<QPair<Field, QString>> &wanted)
{
    QList<QPair<Field, QString>> out;
    for (const auto &[field, value] : wanted)
        if (row.get(field) != value)
            out.append({field, value});
    return out;
}

class Copier {
public:
    Copier(Database &db, const ParameterDump &dump) : m_db(db), m_dump(dump) {}

    CopyOutcome run();

private:
    // The switch's value in a row of the comparison grid.
    QString switchValue(int row) const { return m_dump.switchValue(row); }
    Status checkRows(const QList<int> &rows) const;

    // Writes the wanted columns of row i that differ from what it holds.
    Status update(StoredTable &t, int i, const QMap<int, QString> &wanted, bool *changed);
    Status insert(const StoredTable &t, const QStringList &values);
    Status remove(const StoredTable &t, int i);

    Status copyConfig();
    Status copyFeesetting();
    Status copyLocalPrefixes();
    Status copySpecialNumbers();
    Status copyTrunks();
    Status copyUsers(int capacity);

    Database &m_db;
    const ParameterDump &m_dump;
    CopySummary m_sum;
};

Status Copier::checkRows(const QList<int> &rows) const
{
    for (int n : rows) {
        const ComparisonRow &r = m_dump.row(n);
        if (!r.decoded())
            return Status::fail(QStringLiteral("第%1行没有交换机数据，不能覆盖数据库！").arg(n));
        if (!r.switchValueValid)
            return Status::fail(QStringLiteral("第%1行（%2 %3）的交换机数据无效（%4），不能覆盖数据库！")
                                    .arg(n)
                                    .arg(r.item, r.detail, r.switchValue));
    }
    return Status::ok();
}

Status Copier::update(StoredTable &t, int i, const QMap<int, QString> &wanted, bool *changed)
{
    QStringList sets;
    QVariantList params;
    QStringList &row = t.rows[i];
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (it.key() < 0 || it.key() >= t.columns.size())
            return Status::fail(QStringLiteral("表 %1 没有第 %2 列").arg(t.table).arg(it.key()));
        if (row.value(it.key()) == it.value())
            continue;
        sets.append(Database::quoteId(t.columns.at(it.key())) + QStringLiteral("=?"));
        params.append(it.value());
    }
    if (changed)
        *changed = !sets.isEmpty();
    if (sets.isEmpty())
        return Status::ok();
    params.append(t.ids.at(i));
    if (Status s = m_db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                                 .arg(Database::quoteId(t.table), sets.join(QLatin1Char(','))),
                             params);
        !s)
        return s.context(QStringLiteral("无法修改表 %1").arg(t.table));
    for (auto it = wanted.begin(); it != wanted.end(); ++it)
        row[it.key()] = it.value();
    return Status::ok();
}

Status Copier::insert(const StoredTable &t, const QStringList &values)
{
    QStringList cols, marks;
    QVariantList params;
    for (int c = 0; c < t.columns.size(); ++c) {
        cols.append(Database::quoteId(t.columns.at(c)));
        marks.append(QStringLiteral("?"));
        params.append(values.value(c));
    }
    return m_db
        .exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(Database::quoteId(t.table), cols.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
              params)
        .context(QStringLiteral("无法添加到表 %1").arg(t.table));
}

Status Copier::remove(const StoredTable &t, int i)
{
    return m_db.exec(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(Database::quoteId(t.table)), {t.ids.at(i)})
        .context(QStringLiteral("无法删除表 %1 的行").arg(t.table));
}

Status Copier::copyConfig()
{
    ConfigTable config(m_db);
    const Checked<ConfigRow> row = config.read();
    if (!row)
        return row.status();
    QList<QPair<ConfigField, QString>> w{{ConfigField::Capacity, switchValue(5)},
                                         {ConfigField::NumberLength, switchValue(6)},
                                         {ConfigField::Signal, switchValue(19)},
                                         {ConfigField::FunctionDigit, switchValue(20)},
                                         {ConfigField::NightPort, switchValue(35)}};
    // Agent operators come from the dump as physical ports, which is how the
    // configuration keeps them.
    for (int k = 0; k < AgentCount; ++k)
        w.append({AgentField(k), switchValue(43 + k)});
    const auto changed = differing(*row, w);
    if (Status s = config.write(changed); !s)
        return s;
    m_sum.configRows = changed.isEmpty() ? 0 : 1;
    return Status::ok();
}

Status Copier::copyFeesetting()
{
    StoredTable t = StoredTable::read(m_db, SwitchTables::Delays);
    if (!t.valid || t.rows.isEmpty())
        return Status::fail(QStringLiteral("数据库中没有计费设置（Feesetting）"));
    const QMap<int, QString> w{{int(DelayColumn::City), switchValue(21)},
                               {int(DelayColumn::Local), switchValue(22)},
                               {int(DelayColumn::Domestic), switchValue(23)},
                               {int(DelayColumn::International), switchValue(24)},
                               {int(DelayColumn::Mobile), switchValue(25)}};
    bool changed = false;
    if (Status s = update(t, 0, w, &changed); !s)
        return s;
    m_sum.feesettingRows = changed ? 1 : 0;
    return Status::ok();
}

// The non-empty values of a run of grid rows, each once, in row order.
QStringList distinctValues(const ParameterDump &dump, int first, int count)
{
    QStringList out;
    for (int n = first; n < first + count; ++n) {
        const QString v = dump.switchValue(n);
        if (!v.isEmpty() && !out.contains(v))
            out.append(v);
    }
    return out;
}

Status Copier::copyLocalPrefixes()
{
    const QStringList onSwitch = distinctValues(m_dump, PrefixFirstRow, PrefixSlots);
    StoredTable t = StoredTable::read(m_db, SwitchTables::Feerate, Criteria(QStringLiteral("类型"), LocalTypeCode),
                                      QStringLiteral("rowid"));
    if (!t.valid)
        return t.status.context(QStringLiteral("无法读取费率表"));

    int defaultRow = -1;
    QSet<QString> kept;
    for (int i = 0; i < t.rows.size(); ++i) {
        const FeerateRow rate = FeerateRow::fromColumns(t.rows.at(i));
        if (rate.area == LocalDefaultName) {
            if (defaultRow < 0)
                defaultRow = i;
            continue;
        }
        const QString prefix = rate.prefix.trimmed();
        if (onSwitch.contains(prefix)) {
            kept.insert(prefix); // keeps its own rates
            continue;
        }
        if (Status s = remove(t, i); !s)
            return s;
        ++m_sum.prefixesRemoved;
    }

    for (const QString &prefix : onSwitch) {
        if (kept.contains(prefix))
            continue;
        if (defaultRow < 0)
            return Status::fail(
                QStringLiteral("费率表中没有“本地默认”行，无法为新的本地网字头 %1 设定费率").arg(prefix));
        // The rates of "本地默认", under the new prefix.
        FeerateRow row = FeerateRow::fromColumns(t.rows.at(defaultRow));
        if (t.columns.size() < row.columns().size())
            return Status::fail(QStringLiteral("费率表的列数不符"));
        row.prefix = prefix;
        row.area = LocalNewName;
        row.type = LocalTypeCode;
        if (Status s = insert(t, row.columns()); !s)
            return s;
        ++m_sum.prefixesAdded;
    }
    return Status::ok();
}

Status Copier::copySpecialNumbers()
{
    const QStringList onSwitch = distinctValues(m_dump, SpecialFirstRow, SpecialSlots);
    StoredTable t = StoredTable::read(m_db, SwitchTables::Special);
    if (!t.valid)
        return t.status.context(QStringLiteral("无法读取特服号码表"));
    QSet<QString> kept;
    for (int i = 0; i < t.rows.size(); ++i) {
        const QString number = cell(t.rows.at(i), SpecialColumn::Number).trimmed();
        if (onSwitch.contains(number) && !kept.contains(number)) {
            kept.insert(number);
            continue;
        }
        if (Status s = remove(t, i); !s)
            return s;
        ++m_sum.specialRemoved;
    }
    for (const QString &number : onSwitch) {
        if (kept.contains(number))
            continue;
        if (Status s = insert(t, {number}); !s)
            return s;
        ++m_sum.specialAdded;
    }
    return Status::ok();
}

Status Copier::copyTrunks()
{
    TrunkTable trunks(m_db);
    const Checked<QList<TrunkRow>> rows = trunks.all();
    if (!rows)
        return rows.status().context(QStringLiteral("无法读取中继设置"));
    for (int trunk = 1; trunk <= Trunks; ++trunk) {
        const TrunkRow *row = FirstWith(*rows, QString::number(trunk), [](const TrunkRow &r) { return r.trunk(); });
        if (!row) {
            ++m_sum.missingTrunkRows;
            continue;
        }
        const int R = DumpLayout::TrunkRow(trunk);
        QList<QPair<TrunkField, QString>> w{{TrunkField::Route, switchValue(R)},
                                            {TrunkField::OutgoingMode, switchValue(R + 1)},
                                            {TrunkField::DialMode, switchValue(R + 2)},
                                            {TrunkField::ChargeMode, switchValue(R + 3)},
                                            {TrunkField::IncomingMode, switchValue(R + 4)},
                                            {TrunkField::Group, switchValue(R + 5)},
                                            {TrunkField::OnOff, switchValue(R + 6)},
                                            {TrunkField::CallerDisplay, switchValue(R + 7)}};
        // Virtual operators: the dump gives physical ports, which the table keeps.
        for (int k = 0; k < VirtualOperators; ++k)
            w.append({VirtualField(k), switchValue(R + 8 + k)});
        const auto changed = differing(*row, w);
        if (Status s = trunks.write(row->rowId, changed); !s)
            return s;
        m_sum.trunkRows += changed.isEmpty() ? 0 : 1;
    }
    if (m_sum.missingTrunkRows > 0)
        m_sum.notes.append(
            QStringLiteral("数据库缺少%1个中继的设置行，这些中继没有修改。").arg(m_sum.missingTrunkRows));
    return Status::ok();
}

Status Copier::copyUsers(int capacity)
{
    UserTable users(m_db);
    const Checked<QList<UserRow>> rows = users.all();
    if (!rows)
        return rows.status().context(QStringLiteral("无法读取用户资料"));
    int present = 0;
    for (int p = 0; p < capacity; ++p) {
        const UserRow *user = FirstWith(*rows, QString::number(p), [](const UserRow &r) { return r.port(); });
        if (!user) {
            ++m_sum.missingUserRows;
            continue;
        }
        ++present;
        auto r = [&](int k) { return switchValue(ExtensionRow(p, k)); };
        const auto changed = differing(*user, QList<QPair<UserField, QString>>{{UserField::TimeLimit, r(1)},
                                                                               {UserField::CallerDisplay, r(2)},
                                                                               {UserField::TrunkIn, r(3)},
                                                                               {UserField::CallInternal, r(4)},
                                                                               {UserField::Class, r(5)},
                                                                               {UserField::DialLocal, r(6)},
                                                                               {UserField::DialSpecial, r(7)},
                                                                               {UserField::TrunkGroup, r(8)}});
        if (Status s = users.write(user->rowId, changed); !s)
            return s;
        const bool renumbered = user->get(UserField::Number) != r(0);
        if (renumbered) {
            const auto deposit = DepositTable(m_db).ofExtension(user->port());
            if (!deposit)
                return deposit.status();
            // The extension's deposit row follows its new number.
            if (Status s = users.renumber(user->rowId, r(0)); !s)
                return s;
            m_sum.depositRows += *deposit ? 1 : 0;
        }
        m_sum.userRows += (!changed.isEmpty() || renumbered) ? 1 : 0;
    }
    if (m_sum.missingUserRows > 0)
        m_sum.notes.append(QStringLiteral("交换机有%1门分机，数据库只有其中%2门的用户资料：只修改了已有的%2门。")
                               .arg(capacity)
                               .arg(present));
    return Status::ok();
}

CopyOutcome Copier::run()
{
    if (m_dump.state() == ParameterDump::State::Running)
        return {Status::fail(QStringLiteral("信息比照尚未结束，不能启动！")), {}};
    if (m_dump.state() == ParameterDump::State::Idle || m_dump.rowCount() == 0)
        return {Status::fail(QStringLiteral("请先运行信息比照功能！")), {}};
    if (!m_dump.complete())
        return {Status::fail(QStringLiteral("上次信息比照没有收到全部50块交换机参数，不能覆盖数据库！请重新比照。")),
                {}};
    if (!m_db.isOpen())
        return {Status::fail(QStringLiteral("数据库未打开")), {}};
    // A grid older than the database would put back what was changed since
    // (a class the call intake lowered, an edit): compare again first.
    if (const QList<int> stale = m_dump.staleRows(); !stale.isEmpty()) {
        const ComparisonRow &first = m_dump.row(stale.first());
        return {Status::fail(QStringLiteral("信息比照之后数据库已有%1项修改（如第%2行%3%4），"
                                            "请重新比照后再覆盖数据库！")
                                 .arg(stale.size())
                                 .arg(first.row)
                                 .arg(first.item, first.detail)),
                {}};
    }

    // Every row the copy reads must hold a value the switch can have.
    const int capacity = SwitchCapacity(m_dump.data());
    QList<int> rows{5, 6, 19, 20, 21, 22, 23, 24, 25, 35, 43, 44, 45, 46, 47};
    for (int n = TrunkFirstRow; n <= FixedRows; ++n)
        rows.append(n);
    const int ports = qMin(capacity, m_dump.extensionPorts());
    for (int p = 0; p < ports; ++p)
        for (int k = 0; k < ExtensionRows; ++k)
            rows.append(ExtensionRow(p, k));
    if (Status s = checkRows(rows); !s)
        return {s, {}};

    const Status s = InTransaction(m_db, [&]() -> Status {
        for (auto step : {&Copier::copyConfig, &Copier::copyFeesetting, &Copier::copyLocalPrefixes,
                          &Copier::copySpecialNumbers, &Copier::copyTrunks}) {
            if (Status c = (this->*step)(); !c)
                return c;
        }
        return copyUsers(ports);
    });
    if (!s)
        return {s.context(QStringLiteral("数据库没有修改")), {}};
    return {Status::ok(), m_sum};
}

} // namespace

CopyOutcome CopySwitchToDatabase(Database &db, const ParameterDump &dump) { return Copier(db, dump).run(); }

} // namespace corvane
