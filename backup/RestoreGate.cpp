#include "RestoreGate.h"
#include "Database.h"
#include "HomeKey.h"
#include "Operators.h"
#include <QFileInfo>
#include <pwd.h>
#include <unistd.h>

namespace corvane {

namespace {

QString userName(uid_t uid)
{
    const passwd *user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

// The home's database as the console opens it; fails when it is missing or
// cannot be opened with the home's key.
Status openHomeDatabase(const HomePaths &home, Database &db)
{
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key)
        return key.status();
    return db.open(home.switchDb(), *key);
}

} // namespace

RestoreGate RestoreGateOf(const HomePaths &home)
{
    RestoreGate gate;
    gate.systemUser = userName(::geteuid());
    {
        Database db;
        gate.operators =
            openHomeDatabase(home, db)
            && db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(QStringLiteral("OP"))));
    }
    if (gate.operators)
        return gate;
    const QFileInfo root(home.root());
    if (root.ownerId() != ::geteuid())
        gate.refusal = QStringLiteral("数据库 %1 无法读取，无法核对操作员的权限：这时只有本系统的所有者"
                                      "（系统用户 %2）可以恢复数据库，请以 %2 运行。")
                           .arg(home.switchDb(), userName(root.ownerId()));
    return gate;
}

Checked<QString> CheckRestorer(const HomePaths &home, const RestoreGate &gate, const QString &name,
                               const QString &password, const QString &how)
{
    if (!gate.refusal.isEmpty())
        return Checked<QString>::refuse(gate.refusal);
    if (!gate.operators)
        return QStringLiteral("系统用户 %1（恢复数据库：%2，原数据库无法读取）").arg(gate.systemUser, how);
    Database db;
    if (Status s = openHomeDatabase(home, db); !s)
        return Checked<QString>::refuse(s.reason());
    if (Status s = CheckOperatorRight(db, name, password, Right::Backup); !s)
        return Checked<QString>::refuse(s.reason());
    return QStringLiteral("%1（恢复数据库：%2，系统用户 %3）").arg(name, how, gate.systemUser);
}

} // namespace corvane
