#include "HomePaths.h"
#include <QFileInfo>
#include <QStandardPaths>

namespace corvane {

HomePaths HomePaths::resolve(const QString &commandLineHome, const QString &programDir)
{
    if (!commandLineHome.isEmpty())
        return HomePaths(commandLineHome, Source::CommandLine);
    const QString env = qEnvironmentVariable("CORVANE_HOME");
    if (!env.isEmpty())
        return HomePaths(env, Source::Environment);
    if (programFolderHoldsHome(programDir))
        return HomePaths(programDir, Source::ProgramFolder);
    return HomePaths(userDataHome(), Source::UserData);
}

bool HomePaths::programFolderHoldsHome(const QString &programDir)
{
    const QFileInfo folder(programDir);
    if (!folder.isDir() || !folder.isWritable())
        return false;
    return !QFileInfo(programDir + QStringLiteral("/../share/corvane")).isDir();
}

QString HomePaths::userDataHome()
{
    // The console's AppDataLocation, spelt out so that the backup tool (whose
    // application name differs) finds the same folder.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/corvane");
}

QString HomePaths::describe(const QString &programDir) const
{
    QString why;
    switch (m_source) {
    case Source::CommandLine: why = QStringLiteral("given with --home"); break;
    case Source::Environment: why = QStringLiteral("from the environment variable CORVANE_HOME"); break;
    case Source::ProgramFolder: why = QStringLiteral("the program's own folder"); break;
    case Source::UserData:
        why = QStringLiteral("the per-user data folder; the program's folder %1 holds no home")
                  .arg(QDir(programDir).absolutePath());
        break;
    case Source::Given: why = QStringLiteral("given"); break;
    }
    return QStringLiteral("Home folder: %1 (%2).\n"
                          "Choose another with --home DIR or the environment variable CORVANE_HOME=DIR.\n"
                          "Without either, the home is the program's folder when it is writable and not an\n"
                          "installed copy, else the per-user data folder %3.")
        .arg(m_root, why, userDataHome());
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
