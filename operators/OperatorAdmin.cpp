#include "OperatorAdmin.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "Database.h"
#include "PasswordHash.h"

namespace corvane {

namespace {
const QString kOpTable = QStringLiteral("OP");
constexpr int kRightsColumn = 2; // OP columns 2..12 hold rights 0..10
constexpr int kOpColumns = 17;

// The number a text starts with, as the rights columns are read.
int leadingNumber(const QString &text)
{
    const QString t = text.trimmed();
    int end = 0;
    if (end < t.size() && (t.at(end) == QLatin1Char('-') || t.at(end) == QLatin1Char('+')))
        ++end;
    while (end < t.size() && t.at(end).isDigit())
        ++end;
    return t.left(end).toInt();
}
} // namespace

OperatorAdmin::OperatorAdmin(ConsoleContext &ctx) : m_ctx(ctx), m_op(ctx.db, kOpTable) {}

QStringList OperatorAdmin::names()
{
    QStringList out;
    for (m_op.moveFirst(); !m_op.eof(); m_op.moveNext())
        out << m_op.value(0);
    return out;
}

bool OperatorAdmin::select(const QString &wanted)
{
    const QString name = wanted; // may be m_selected itself
    m_selected.clear();
    // The rows as the table holds them now (the login window may have
    // upgraded a password meanwhile); OP is a short table.
    m_op.requery();
    if (!m_op.isValid() || m_op.columnCount() < kRightsColumn + LoginState::RightCount)
        return false;
    if (!m_op.findFirst(Criteria(m_op.columnNames().at(0), name)))
        return false;
    m_selected = m_op.value(0);
    return true;
}

QList<bool> OperatorAdmin::selectedRights()
{
    // The selected row again: names() may have moved the recordset on.
    const bool found = hasSelection() && m_op.findFirst(Criteria(m_op.columnNames().at(0), m_selected));
    QList<bool> rights;
    for (int i = 0; i < LoginState::RightCount; ++i)
        rights << (found && leadingNumber(m_op.value(kRightsColumn + i)) != 0);
    return rights;
}

Status OperatorAdmin::saveRights(const QList<bool> &rights)
{
    if (!hasSelection() || !select(m_selected))
        return Status::fail(QStringLiteral("请先选择操作员!"));
    if (rights.size() != LoginState::RightCount)
        return Status::fail(QStringLiteral("权限数目不对"));
    QStringList texts;
    for (bool on : rights)
        texts << (on ? QStringLiteral("1") : QStringLiteral("0"));

    // Only the rights columns: the name and the password stay as the row
    // holds them (a password changed meanwhile is not put back).
    Status s = m_op.edit();
    for (int i = 0; s && i < LoginState::RightCount; ++i)
        s = m_op.setField(kRightsColumn + i, texts.at(i));
    if (s)
        s = m_op.update();
    if (!s) {
        m_op.cancelUpdate();
        return s.context(QStringLiteral("权限未能保存"));
    }
    if (m_selected == LoginState::administratorName())
        m_ctx.login.OPRight = texts;
    return Status::ok();
}

QString OperatorAdmin::storedName(const QString &typed) { return typed.trimmed(); }

OperatorAdmin::AddOutcome OperatorAdmin::addOperator(const QString &typedName, const QString &code,
                                                     const QString &confirm)
{
    using Kind = AddOutcome::Kind;
    using Field = AddOutcome::Field;
    const QString name = storedName(typedName);
    if (name.isEmpty())
        return {Kind::Refused, QStringLiteral("请输入操作员姓名!"), Field::Name};
    if (code.isEmpty())
        return {Kind::Refused, QStringLiteral("密码不能为空!"), Field::Code};
    if (confirm != code)
        return {Kind::Refused, QStringLiteral("密码和确认密码不相符!"), Field::Code};
    const QString before = m_selected;
    if (select(name))
        return {Kind::Exists, QStringLiteral("该操作员已经存在!"), Field::None};
    select(before);

    const Checked<QString> stored = PasswordHash::hash(code);
    if (!stored)
        return {Kind::Failed, stored.status().context(QStringLiteral("操作员未能添加")).reason(), Field::None};
    QStringList row{name, *stored};
    while (row.size() < qMax(kOpColumns, m_op.columnCount()))
        row << QStringLiteral("0");
    if (Status s = WriteRecord(m_op, true, row); !s) {
        m_op.cancelUpdate();
        m_op.requery();
        select(before);
        return {Kind::Failed, s.context(QStringLiteral("操作员未能添加")).reason(), Field::None};
    }
    m_op.requery();
    select(name);
    return {Kind::Added, QString(), Field::None};
}

Status OperatorAdmin::checkDelete() const
{
    if (m_selected == LoginState::administratorName())
        return Status::fail(QStringLiteral("管理员用户不可删除!"));
    if (!hasSelection())
        return Status::fail(QStringLiteral("请先选择要删除的操作员!"));
    return Status::ok();
}

QString OperatorAdmin::deleteQuestion(const QString &name)
{
    return QStringLiteral("是否真的要删除用户  '") + name + QStringLiteral("'  ?");
}

Status OperatorAdmin::deleteSelected()
{
    if (Status s = checkDelete(); !s)
        return s;
    if (!select(m_selected))
        return Status::fail(QStringLiteral("该操作员已不存在"));
    const Status s = m_op.deleteCurrent();
    m_selected.clear();
    m_op.requery();
    return s.context(QStringLiteral("操作员未能删除"));
}

TableRows OperatorRecords(ConsoleContext &ctx)
{
    // The serial is text; ordered as a number, rows of equal serial in the
    // order they were written.
    Recordset rs =
        Recordset::query(ctx.db, QStringLiteral("SELECT * FROM \"OPRec\" ORDER BY CAST(\"序号\" AS INTEGER), rowid"));
    return rs.snapshot();
}

} // namespace corvane
