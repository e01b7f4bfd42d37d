#include "SwitchLists.h"

#include "ConfigTable.h"
#include "Database.h"
#include "General.h"
#include "TrunkTable.h"
#include "UserTable.h"

#include <QStringList>

namespace corvane::SwitchLists {

namespace {

constexpr int VirtualClearGapMs = 200; // the switch clears the trunk's five slots
constexpr int AgentCount = 5;
constexpr int VirtualCount = 5;

QStringList fields(const QString &code)
{
    if (!code.startsWith(QLatin1Char('*')) || !code.endsWith(QLatin1Char('#')))
        return {};
    return code.mid(1, code.size() - 2).split(QLatin1Char('*'));
}

} // namespace

QString listOf(const QString &code)
{
    const QStringList f = fields(code);
    const QString c = f.value(0);
    if (c == QLatin1String("12") && f.size() == 3)
        return QStringLiteral("12*") + f[2];
    if (c == QLatin1String("49") || c == QLatin1String("19") || c == QLatin1String("20"))
        return c;
    return {};
}

Checked<QList<Command>> rewrite(Database &db, const QString &list)
{
    QList<Command> out;
    const UserTable users(db);
    auto numberOf = [&](const QString &port) { return users.numberOf(port.trimmed()).trimmed(); };

    if (list.startsWith(QLatin1String("12*"))) {
        const QString trunk = list.mid(3);
        const auto row = TrunkTable(db).byTrunk(trunk.toInt());
        if (!row)
            return Checked<QList<Command>>::refuse(row.status());
        out.append({QStringLiteral("*12*0*") + trunk + QLatin1Char('#'), VirtualClearGapMs});
        if (*row) {
            for (int k = 0; k < VirtualCount; ++k) {
                const QString port = (*row)->get(VirtualField(k)).trimmed();
                const QString number = port.isEmpty() ? QString() : numberOf(port);
                if (IsDigits(number))
                    out.append({QStringLiteral("*12*") + number + QLatin1Char('*') + trunk + QLatin1Char('#')});
            }
        }
        return out;
    }
    if (list == QLatin1String("49")) {
        const Checked<ConfigRow> config = ConfigTable(db).read();
        if (!config)
            return Checked<QList<Command>>::refuse(config.status());
        out.append({QStringLiteral("*49*0#")});
        for (int k = 0; k < AgentCount; ++k) {
            const QString port = config->get(AgentField(k)).trimmed();
            const QString number = port.isEmpty() ? QString() : numberOf(port);
            if (IsDigits(number))
                out.append({QStringLiteral("*49*") + number + QLatin1Char('#')});
        }
        return out;
    }
    if (list == QLatin1String("19")) {
        const auto rows = db.select(QStringLiteral("SELECT \"特服号码\" FROM \"SPCPhone\" ORDER BY rowid"));
        if (!rows)
            return Checked<QList<Command>>::refuse(rows.status());
        out.append({QStringLiteral("*19*0#")});
        for (const QStringList &r : *rows) {
            const QString number = r.value(0).trimmed();
            if (IsDigits(number))
                out.append({QStringLiteral("*19*6*7*") + number + QLatin1Char('#')});
        }
        return out;
    }
    if (list == QLatin1String("20")) {
        // The local-network prefixes are the Feerate rows of type 5 but the
        // type's default row, by prefix.
        const auto rows = db.select(QStringLiteral("SELECT \"区号\", \"地区\" FROM \"Feerate\" WHERE \"类型\" = '5' "
                                                   "ORDER BY \"区号\", rowid"));
        if (!rows)
            return Checked<QList<Command>>::refuse(rows.status());
        out.append({QStringLiteral("*20*0#")});
        for (const QStringList &r : *rows) {
            const QString prefix = r.value(0).trimmed();
            if (r.value(1) != QStringLiteral("本地默认") && IsDigits(prefix))
                out.append({QStringLiteral("*20*1*1*") + prefix + QLatin1Char('#')});
        }
        return out;
    }
    return Checked<QList<Command>>::refuse(QStringLiteral("不是交换机的列表：%1").arg(list));
}

} // namespace corvane::SwitchLists
