#include "HomePaths.h"
#include <QFileInfo>

namespace corvane {

HomePaths HomePaths::resolve(const QString &commandLineHome, const QString &programDir)
{
    if (!commandLineHome.isEmpty())
        return HomePaths(commandLineHome);
    const QString env = qEnvironmentVariable("CORVANE_HOME");
    if (!env.isEmpty())
        return HomePaths(env);
    return HomePaths(programDir);
}

QString HomePaths::serialDevice(int n) const
{
    const QString link = portsDir() + QStringLiteral("/COM") + QString::number(n);
    QFileInfo info(link);
    if (info.exists() || info.isSymLink())
        return info.isSymLink() ? info.symLinkTarget() : link;
    // Test runs and sandboxes keep the console off the machine's own ports.
    if (qEnvironmentVariableIsSet("CORVANE_PORTS_ONLY"))
        return link;
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
}

} // namespace corvane
