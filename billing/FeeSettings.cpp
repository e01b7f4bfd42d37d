#include "FeeSettings.h"

#include "Database.h"
#include "General.h"
#include "RateTables.h"

namespace corvane {

namespace {

const char *const DelayCodes[FeeSettings::Delays] = {"27", "24", "21", "17", "53"};
constexpr int MaxDelay = 255;

Status rowGone() { return Status::fail(QStringLiteral("这条记录已不在表中")); }

QString hhmm(const QString &period) { return QString(period).remove(QLatin1Char(':')); }

ExNOField exno(int column) { return ExNOField(column); }

} // namespace

FeeSettings::FeeSettings(Database &db, QStringList marks) : m_db(db), m_marks(std::move(marks))
{
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
}

// ---- charging delays -----------------------------------------------------------------------

Checked<QStringList> FeeSettings::delays() const
{
    const auto row = FeesettingTable(m_db).row();
    if (!row)
        return Checked<QStringList>::refuse(row.status().context(QStringLiteral("计费延时无法读取")));
    QStringList out = *row ? (*row)->values.mid(0, Delays) : QStringList();
    while (out.size() < Delays)
        out << QString();
    return out;
}

Checked<QString> FeeSettings::checkDelay(int index, const QString &text) const
{
    Q_UNUSED(index);
    const QString t = text.trimmed();
    // The switch keeps each delay in one byte.
    if (!IsDigits(t) || t.size() > 3 || t.toInt() > MaxDelay)
        return Checked<QString>::refuse(QStringLiteral("计费延时必须是0到255的整数（秒）！"));
    return QString::number(t.toInt());
}

StoreResult FeeSettings::storeDelay(int index, const QString &text)
{
    if (index < 0 || index >= Delays)
        return StoreResult(Status::fail(QStringLiteral("没有这一项计费延时")));
    FeesettingTable table(m_db);
    const auto row = table.row();
    if (!row)
        return StoreResult(row.status().context(QStringLiteral("计费延时无法读取")));
    if (!*row)
        return StoreResult(Status::fail(QStringLiteral("数据库中没有计费延时设置")));
    const FeesettingField f = FeesettingField(index);
    const QString t = text.trimmed();
    if (t == (*row)->get(f))
        return StoreResult(Status::ok());
    const Checked<QString> v = checkDelay(index, t);
    if (!v)
        return StoreResult(v.status());
    if (*v == (*row)->get(f))
        return StoreResult(Status::ok());
    if (Status s = table.write((*row)->rowId, {{f, *v}}); !s)
        return StoreResult(s.context(QStringLiteral("计费延时未能保存")));
    return StoreResult(Status::ok(), {QStringLiteral("*%1*%2#").arg(QLatin1String(DelayCodes[index]), *v)});
}

// ---- outside line numbers ------------------------------------------------------------------------

Checked<TableRows> FeeSettings::outsideNumbers()
{
    const auto all = ExNOTable(m_db).rows();
    if (!all)
        return Checked<TableRows>::refuse(all.status().context(QStringLiteral("外线号码无法读取")));
    TableRows out;
    out.columns = {all->columns.value(Trunk), all->columns.value(OutsideNumber)};
    out.rowIds = all->rowIds;
    for (const QStringList &r : all->rows)
        out.rows << QStringList{r.value(Trunk), r.value(OutsideNumber)};
    m_outside = out;
    return out;
}

qint64 FeeSettings::outsideRowId(int index) const { return m_outside.rowId(index); }

CellRule FeeSettings::outsideRule(const GridCell &cell) const
{
    if (cell.col != 1 || cell.text == NoSetting())
        return CellRule::fixed();
    return CellRule::text();
}

Checked<QString> FeeSettings::checkOutsideNumber(const QString &text) const
{
    const QString t = text.trimmed();
    if (t.size() < 6 || t.size() > 8)
        return Checked<QString>::refuse(QStringLiteral("电话号码长度为6到8位!"));
    if (!IsDigits(t))
        return Checked<QString>::refuse(QStringLiteral("外线号码必须是数字!"));
    return t;
}

StoreResult FeeSettings::storeExNO(qint64 rowId, int column, const QString &value, QStringList commands)
{
    if (Status s = ExNOTable(m_db).write(rowId, {{exno(column), value}}); !s)
        return StoreResult(s.context(QStringLiteral("中继设置未能保存")), {}, true);
    return StoreResult(Status::ok(), std::move(commands));
}

StoreResult FeeSettings::storeOutsideNumber(const GridCell &cell, const QString &value)
{
    const Checked<QString> v = checkOutsideNumber(value);
    if (!v)
        return StoreResult(v.status());
    const auto row = ExNOTable(m_db).byRowId(cell.rowId);
    if (!row)
        return StoreResult(row.status(), {}, true);
    if (!*row)
        return StoreResult(rowGone(), {}, true);
    if ((*row)->get(ExNOField::OutsideNumber) == NoSetting())
        return StoreResult(Status::fail(QStringLiteral("这条中继无需设置外线号码")), {}, true);
    const QString trunk = (*row)->trimmed(ExNOField::Trunk);
    return storeExNO(cell.rowId, OutsideNumber, *v,
                     {QStringLiteral("*77*") + trunk + QStringLiteral("*") + *v + QStringLiteral("#")});
}

StoreResult FeeSettings::clearOutsideNumbers()
{
    ExNOTable table(m_db);
    const Status s = InTransaction(m_db, [&]() -> Status {
        const auto rows = table.all();
        if (!rows)
            return rows.status();
        for (const ExNORow &r : *rows) {
            const qint64 trunk = ValInt(r.get(ExNOField::Trunk));
            const QString number = r.get(ExNOField::OutsideNumber);
            if (trunk < 2 || trunk > 12 || number.isEmpty() || number == NoSetting())
                continue;
            if (Status w = table.write(r.rowId, {{ExNOField::OutsideNumber, QString()}}); !w)
                return w;
        }
        return Status::ok();
    });
    if (!s)
        return StoreResult(s.context(QStringLiteral("外线号码未能清除")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*77*0#")}, true);
}

// ---- working days --------------------------------------------------------------------------------------

Checked<TableRows> FeeSettings::workdays()
{
    auto all = ExNOTable(m_db).rows();
    if (!all)
        return Checked<TableRows>::refuse(all.status().context(QStringLiteral("工作日设置无法读取")));
    all->columns = all->columns.mid(0, OutsideNumber);
    for (QStringList &r : all->rows)
        r = r.mid(0, OutsideNumber);
    m_workdays = *all;
    return *all;
}

qint64 FeeSettings::workdayRowId(int index) const { return m_workdays.rowId(index); }

CellRule FeeSettings::workdayRule(const GridCell &cell) const
{
    if (cell.col == WorkdayOn)
        return CellRule::cycle(m_marks);
    if (cell.col >= FirstDay && cell.col <= Period2End)
        return CellRule::text();
    return CellRule::fixed(); // the trunk number is the row's key
}

Checked<QString> FeeSettings::NormalisePeriod(const QString &text)
{
    const std::optional<QTime> t = ClockTime(text);
    if (!t)
        return Checked<QString>::refuse(QStringLiteral("时段必须是有效的时间，如08:30！"));
    return t->toString(QStringLiteral("HH:mm"));
}

Checked<QString> FeeSettings::checkWorkday(const GridCell &cell, const QString &text) const
{
    if (cell.col == WorkdayOn) {
        if (!m_marks.contains(text))
            return Checked<QString>::refuse(QStringLiteral("请选择“√”或“×”！"));
        // Turning the limits on sends the trunk's days and periods: they must be valid.
        if (text == m_marks.value(1)) {
            const auto row = ExNOTable(m_db).byRowId(cell.rowId);
            if (!row)
                return row.refusedAs<QString>();
            if (*row)
                if (const Checked<QStringList> c = WorkdayCommands((*row)->values); !c)
                    return Checked<QString>::refuse(c.reason());
        }
        return text;
    }
    if (cell.col == FirstDay || cell.col == LastDay) {
        const QString t = text.trimmed();
        const QString why = QStringLiteral("工作日设置范围1～7！");
        if (Status s = CheckNumber(t, false, 1, 7, why, why, why, why); !s || t == QLatin1String("0"))
            return Checked<QString>::refuse(why);
        return t;
    }
    if (cell.col >= Period1Start && cell.col <= Period2End)
        return NormalisePeriod(text);
    return Checked<QString>::refuse(QStringLiteral("这一列不能修改"));
}

Checked<QStringList> FeeSettings::WorkdayCommands(const QStringList &row)
{
    const QString trunk = row.value(Trunk).trimmed();
    const QString first = row.value(FirstDay).trimmed();
    const QString last = row.value(LastDay).trimmed();
    auto day = [](const QString &d) { return d.size() == 1 && d >= QLatin1String("1") && d <= QLatin1String("7"); };
    if (!day(first) || !day(last))
        return Checked<QStringList>::refuse(QStringLiteral("%1号中继的工作日无效，工作日设置范围1～7！").arg(trunk));
    QStringList periods;
    for (int c = Period1Start; c <= Period2End; ++c) {
        const Checked<QString> p = NormalisePeriod(row.value(c));
        if (!p || *p != row.value(c).trimmed())
            return Checked<QStringList>::refuse(
                QStringLiteral("%1号中继的时段“%2”无效，时段必须是有效的时间，如08:30！").arg(trunk, row.value(c)));
        periods << hhmm(*p);
    }
    return QStringList{QStringLiteral("*86*%1*%2*%3#").arg(first, last, trunk),
                       QStringLiteral("*85*%1%2*%3%4*%5#").arg(periods[0], periods[1], periods[2], periods[3], trunk)};
}

StoreResult FeeSettings::storeWorkday(const GridCell &cell, const QString &value)
{
    const Checked<QString> v = checkWorkday(cell, value);
    if (!v)
        return StoreResult(v.status());
    const auto stored = ExNOTable(m_db).byRowId(cell.rowId);
    if (!stored)
        return StoreResult(stored.status(), {}, true);
    if (!*stored)
        return StoreResult(rowGone(), {}, true);
    QStringList row = (*stored)->values;
    row[cell.col] = *v;
    const QString trunk = row.value(Trunk).trimmed();
    QStringList commands;
    if (row.value(WorkdayOn) == m_marks.value(1)) {
        // The limits are in force: the switch gets the pair again.
        const Checked<QStringList> pair = WorkdayCommands(row);
        if (pair)
            commands = *pair;
        else if (cell.col == WorkdayOn)
            return StoreResult(pair.status());
        // A period edited while another of the row is still invalid is stored;
        // the pair goes once the whole row is valid.
    } else if (cell.col == WorkdayOn) {
        commands << QStringLiteral("*86*0*") + trunk + QStringLiteral("#");
    }
    return storeExNO(cell.rowId, cell.col, *v, commands);
}

} // namespace corvane
