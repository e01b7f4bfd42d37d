#include "ClassCommands.h"

#include "AccountTable.h"
#include "Database.h"
#include "DepositTable.h"
#include "UserTable.h"

#include <QRegularExpression>

namespace corvane::ClassCommands {

QString extension(const QString &cls, const QString &number)
{
    return QStringLiteral("*10*") + cls.trimmed() + QLatin1Char('*') + number.trimmed() + QLatin1Char('#');
}

QString account(const QString &cls, const QString &trunkGroup, const QString &account)
{
    return QStringLiteral("*68*") + cls.trimmed() + QLatin1Char('*') + trunkGroup.trimmed() + QStringLiteral("*0*")
           + account.trimmed() + QLatin1Char('#');
}

QString current(Database &db, const QString &code)
{
    static const QRegularExpression ext(QStringLiteral("^\\*10\\*(\\d+)\\*(\\d+)#$"));
    static const QRegularExpression acct(QStringLiteral("^\\*68\\*(\\d+)\\*(\\d+)\\*0\\*(\\d+)#$"));
    if (const auto m = ext.match(code); m.hasMatch()) {
        const QString number = m.captured(2);
        const auto user = UserTable(db).byNumber(number);
        if (user && *user && !(*user)->cls().isEmpty())
            return extension((*user)->cls(), number);
        return code;
    }
    if (const auto m = acct.match(code); m.hasMatch()) {
        const QString number = m.captured(3);
        const auto account = AccountTable(db).byNumber(AccountTable::numberText(number.toInt()));
        if (account && *account && !(*account)->cls().isEmpty())
            return ClassCommands::account((*account)->cls(), (*account)->trunkGroup(), number);
        return code;
    }
    return code;
}

} // namespace corvane::ClassCommands
