#include "Operators.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "PasswordHash.h"
#include "Recordset.h"

namespace corvane {

namespace {
const QString kOpTable = QStringLiteral("OP");
const QString kOpRecTable = QStringLiteral("OPRec");
} // namespace

bool LoadOperator(ConsoleContext &ctx, Recordset &op, const QString &name) { return LoadOperator(ctx.login, op, name); }

bool LoadOperator(LoginState &s, Recordset &op, const QString &name)
{
    s.OPLogin = false;
    if (!op.isValid() || op.columnCount() < 1)
        return false;
    if (!op.findFirst(Criteria(op.columnNames().at(0), name)))
        return false;
    op.read(0, s.OPName);
    op.read(1, s.OPCode);
    for (int i = 0; i < LoginState::RightCount; ++i)
        op.read(i + 2, s.OPRight[i]);
    return true;
}

QString OperatorRecordSerial(qint64 n) { return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0')); }

Status AddOperatorRecord(ConsoleContext &ctx)
{
    LoginState &s = ctx.login;
    s.OPLogoutTime = ctx.stamp();
    return AppendOperatorRecord(ctx.db, s.OPName, s.OPLoginTime, s.OPLogoutTime);
}

Status AppendOperatorRecord(Database &db, const QString &who, const QString &loginTime, const QString &logoutTime)
{
    const Checked<QString> count =
        db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(kOpRecTable)));
    if (!count)
        return count.status().context(QStringLiteral("操作员使用记录未能保存"));
    Recordset rec = Recordset::forAppend(db, kOpRecTable);
    return WriteRecord(rec, true, {OperatorRecordSerial(count->toLongLong() + 1), who, loginTime, logoutTime})
        .context(QStringLiteral("操作员使用记录未能保存"));
}

Status ResetPasswordRecorded(Database &db, const QString &name, const QString &password, const QString &systemUser,
                             const QString &stamp)
{
    return InTransaction(db, [&]() -> Status {
        if (Status s = ResetPassword(db, name, password); !s)
            return s;
        return AppendOperatorRecord(db, QStringLiteral("%1（命令行重设密码，系统用户 %2）").arg(name, systemUser),
                                    stamp, stamp);
    });
}

const QList<RightCaption> &Rights()
{
    static const QList<RightCaption> rights = {
        {Right::Clients, QStringLiteral("客户/黑名单信息")},
        {Right::Discounts, QStringLiteral("费率折价")},
        {Right::FeeSettings, QStringLiteral("计费设置")},
        {Right::CallQuery, QStringLiteral("话单查询与结算")},
        {Right::UserParameters, QStringLiteral("用户参数设置")},
        {Right::SwitchParameters, QStringLiteral("交换机参数设置")},
        {Right::SwitchComparison, QStringLiteral("交换机信息比照")},
        {Right::AlarmClock, QStringLiteral("分机闹钟")},
        {Right::Backup, QStringLiteral("参数备份与恢复")},
        {Right::OperatorRecord, QStringLiteral("操作员使用记录")},
        {Right::DeleteBills, QStringLiteral("删除话单权限")},
    };
    return rights;
}

GateResult CheckRight(const ConsoleContext &ctx, Right right) { return CheckRight(ctx.login, right); }

GateResult CheckRight(const LoginState &s, Right right)
{
    if (!s.OPLogin)
        return GateResult::NotLoggedIn;
    if (RightValue(s, right) != QStringLiteral("1"))
        return GateResult::NoRight;
    return GateResult::Allowed;
}

Status CheckGate(const ConsoleContext &ctx, Right right)
{
    switch (CheckRight(ctx, right)) {
    case GateResult::NotLoggedIn: return Status::fail(QStringLiteral("您没有登录系统,请先登录!"));
    case GateResult::NoRight: return Status::fail(QStringLiteral("您没有使用此功能的权限！"));
    case GateResult::Allowed: break;
    }
    return Status::ok();
}

Status CheckDeleteBills(const ConsoleContext &ctx)
{
    if (RightValue(ctx.login, Right::DeleteBills) != QStringLiteral("1"))
        return Status::fail(QStringLiteral("您没有删除话单的权限！"));
    return Status::ok();
}

Status CheckOperatorRight(Database &db, const QString &name, const QString &password, Right right)
{
    Recordset op(db, kOpTable);
    if (!op.isValid())
        return Status::fail(QStringLiteral("无法读取操作员表 OP"));
    LoginState s;
    if (!LoadOperator(s, op, name) || !PasswordHash::verify(s.OPCode, password))
        return Status::fail(QStringLiteral("错误的密码！"));
    // Checked as the gate of a window checks it, for an operator just logged in.
    s.OPLogin = true;
    if (CheckRight(s, right) != GateResult::Allowed) {
        QString caption;
        for (const RightCaption &r : Rights())
            if (r.right == right)
                caption = r.caption;
        return Status::fail(QStringLiteral("操作员“%1”没有“%2”的权限。").arg(name, caption));
    }
    return Status::ok();
}

Checked<qint64> CountOperatorsWith(Database &db, Right right)
{
    const QStringList columns = db.columnNames(kOpTable);
    if (columns.size() <= RightColumn(right))
        return Checked<qint64>::refuse(QStringLiteral("表 OP 没有第 %1 列").arg(RightColumn(right) + 1));
    const Checked<QString> n =
        db.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = '1'")
                      .arg(Database::quoteId(kOpTable), Database::quoteId(columns.at(RightColumn(right)))));
    if (!n)
        return Checked<qint64>::refuse(n.reason());
    return n->toLongLong();
}

Status ResetPassword(Database &db, const QString &name, const QString &password)
{
    if (Status s = OperatorLogin::checkNewPassword(password, password); !s)
        return s;
    const QStringList columns = db.columnNames(kOpTable);
    if (columns.size() < 2)
        return Status::fail(QStringLiteral("数据库中没有操作员表 OP"));
    const QString op = Database::quoteId(kOpTable);
    const QString nameColumn = Database::quoteId(columns.at(0));
    const auto rows = db.select(
        QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? ORDER BY rowid LIMIT 1").arg(op, nameColumn), {name});
    if (!rows)
        return rows.status();
    if (rows->isEmpty())
        return Status::fail(QStringLiteral("没有这个用户名：%1").arg(name));
    const Checked<QString> stored = OperatorLogin::storedPassword(password);
    if (!stored)
        return stored.status();
    return db
        .exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?").arg(op, Database::quoteId(columns.at(1))),
              {*stored, rows->first().value(0).toLongLong()})
        .context(QStringLiteral("密码未能保存"));
}

// ---- the login window's table -------------------------------------------------------

OperatorLogin::OperatorLogin(ConsoleContext &ctx) : m_ctx(ctx), m_op(ctx.db, kOpTable) {}

QStringList OperatorLogin::names()
{
    QStringList out;
    for (m_op.moveFirst(); !m_op.eof(); m_op.moveNext())
        out << m_op.value(0);
    return out;
}

Status OperatorLogin::logIn(const QString &name, const QString &password)
{
    const bool found = LoadOperator(m_ctx, m_op, name);
    // A name with no row must never log in, whatever was loaded before.
    if (!found || !PasswordHash::verify(m_ctx.login.OPCode, password))
        return Status::fail(QStringLiteral("错误的密码！"));
    // A row still holding the password itself (or a hash of an older cost)
    // gets a fresh hash now that the password is known. Should that write
    // fail, the login stands and the next one tries again.
    if (PasswordHash::needsUpgrade(m_ctx.login.OPCode)) {
        if (const Checked<QString> fresh = PasswordHash::hash(password); fresh) {
            if (SetField(m_op, 1, *fresh))
                m_ctx.login.OPCode = *fresh;
        }
    }
    m_ctx.login.OPLogin = true;
    m_ctx.login.OPLoginTime = m_ctx.stamp();
    return Status::ok();
}

Status OperatorLogin::loadForChange(const QString &name)
{
    // Nobody to change the password of: say so rather than touching another row.
    if (!LoadOperator(m_ctx, m_op, name))
        return Status::fail(QStringLiteral("没有这个用户名！"));
    return Status::ok();
}

Status OperatorLogin::storePassword(const QString &stored)
{
    if (Status s = SetField(m_op, 1, stored); !s)
        return s.context(QStringLiteral("密码未能保存"));
    m_ctx.login.OPCode = stored;
    return Status::ok();
}

Status OperatorLogin::checkOldPassword(const QString &typed, const QString &current)
{
    if (!PasswordHash::verify(current, typed))
        return Status::fail(QStringLiteral("原密码输入错误!"));
    return Status::ok();
}

Status OperatorLogin::checkNewPassword(const QString &password, const QString &confirm)
{
    if (password.isEmpty())
        return Status::fail(QStringLiteral("密码不能为空!"));
    if (confirm != password)
        return Status::fail(QStringLiteral("密码和确认密码不相符!"));
    return Status::ok();
}

Checked<QString> OperatorLogin::storedPassword(const QString &password)
{
    const Checked<QString> h = PasswordHash::hash(password);
    if (!h)
        return Checked<QString>::refuse(QStringLiteral("密码未能保存：") + h.reason());
    return h;
}

} // namespace corvane
