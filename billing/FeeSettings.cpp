#include "FeeSettings.h"

#include "Criteria.h"
#include "Data.h"
#include "Database.h"
#include "General.h"

namespace corvane {

namespace {

const QString FeeTable = QStringLiteral("Feesetting");
const QString ExNOTable = QStringLiteral("ExNO");
const char *const DelayCodes[FeeSettings::Delays] = {"27", "24", "21", "17", "53"};
constexpr int MaxDelay = 255;

Status rowGone() { return Status::fail(QStringLiteral("这条记录已不在表中")); }

QString hhmm(const QString &period) { return QString(period).remove(QLatin1Char(':')); }

} // namespace

FeeSettings::FeeSettings(Database &db, QStringList marks) : m_db(db), m_marks(std::move(marks))
{
    if (m_marks.size() != 2)
        m_marks = {QStringLiteral("×"), QStringLiteral("√")};
}

// ---- charging delays -----------------------------------------------------------------------

QStringList FeeSettings::delays() const
{
    const Recordset rs(m_db, FeeTable);
    QStringList out = rs.currentRow().mid(0, Delays);
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
    Recordset rs(m_db, FeeTable);
    if (!rs.hasCurrent())
        return StoreResult(Status::fail(QStringLiteral("数据库中没有计费延时设置")));
    const QString t = text.trimmed();
    if (t == rs.value(index))
        return StoreResult(Status::ok());
    const Checked<QString> v = checkDelay(index, t);
    if (!v)
        return StoreResult(v.status());
    if (*v == rs.value(index))
        return StoreResult(Status::ok());
    if (Status s = SetField(rs, index, *v); !s)
        return StoreResult(s.context(QStringLiteral("计费延时未能保存")));
    return StoreResult(Status::ok(), {QStringLiteral("*%1*%2#").arg(QLatin1String(DelayCodes[index]), *v)});
}

// ---- outside line numbers ------------------------------------------------------------------------

TableRows FeeSettings::outsideNumbers() const
{
    TableRows all = Recordset(m_db, ExNOTable).snapshot();
    TableRows out;
    out.columns = {all.columns.value(Trunk), all.columns.value(OutsideNumber)};
    out.rowIds = all.rowIds;
    for (const QStringList &r : all.rows)
        out.rows << QStringList{r.value(Trunk), r.value(OutsideNumber)};
    return out;
}

qint64 FeeSettings::outsideRowId(int index) const { return Recordset(m_db, ExNOTable).rowIdAt(index); }

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
    Recordset rs(m_db, ExNOTable);
    if (!rs.moveToId(rowId))
        return StoreResult(rowGone(), {}, true);
    if (Status s = SetField(rs, column, value); !s)
        return StoreResult(s.context(QStringLiteral("中继设置未能保存")), {}, true);
    return StoreResult(Status::ok(), std::move(commands));
}

StoreResult FeeSettings::storeOutsideNumber(const GridCell &cell, const QString &value)
{
    const Checked<QString> v = checkOutsideNumber(value);
    if (!v)
        return StoreResult(v.status());
    Recordset rs(m_db, ExNOTable);
    if (!rs.moveToId(cell.rowId))
        return StoreResult(rowGone(), {}, true);
    if (rs.value(OutsideNumber) == NoSetting())
        return StoreResult(Status::fail(QStringLiteral("这条中继无需设置外线号码")), {}, true);
    const QString trunk = rs.value(Trunk).trimmed();
    return storeExNO(cell.rowId, OutsideNumber, *v,
                     {QStringLiteral("*77*") + trunk + QStringLiteral("*") + *v + QStringLiteral("#")});
}

StoreResult FeeSettings::clearOutsideNumbers()
{
    const Status s = InTransaction(m_db, [&]() -> Status {
        Recordset rs(m_db, ExNOTable);
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            const qint64 trunk = ValInt(rs.value(Trunk));
            if (trunk < 2 || trunk > 12 || rs.value(OutsideNumber).isEmpty() || rs.value(OutsideNumber) == NoSetting())
                continue;
            if (Status w = SetField(rs, OutsideNumber, QString()); !w)
                return w;
        }
        return Status::ok();
    });
    if (!s)
        return StoreResult(s.context(QStringLiteral("外线号码未能清除")), {}, true);
    return StoreResult(Status::ok(), {QStringLiteral("*77*0#")}, true);
}

// ---- working days --------------------------------------------------------------------------------------

TableRows FeeSettings::workdays() const
{
    TableRows all = Recordset(m_db, ExNOTable).snapshot();
    all.columns = all.columns.mid(0, OutsideNumber);
    for (QStringList &r : all.rows)
        r = r.mid(0, OutsideNumber);
    return all;
}

qint64 FeeSettings::workdayRowId(int index) const { return Recordset(m_db, ExNOTable).rowIdAt(index); }

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
            Recordset rs(m_db, ExNOTable);
            if (rs.moveToId(cell.rowId))
                if (const Checked<QStringList> c = WorkdayCommands(rs.currentRow()); !c)
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
    Recordset rs(m_db, ExNOTable);
    if (!rs.moveToId(cell.rowId))
        return StoreResult(rowGone(), {}, true);
    QStringList row = rs.currentRow();
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
