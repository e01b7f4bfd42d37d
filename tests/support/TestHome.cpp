#include "TestHome.h"
#include "HomeKey.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvane::test {

TestHome::TestHome() : m_dir(QDir::tempPath() + QStringLiteral("/corvane-test-XXXXXX")) {}

void isolateSerialPorts(const QString &homeDir)
{
    const QString ports = homeDir + QStringLiteral("/ports");
    QDir().mkpath(ports);
    for (int n = 1; n <= 16; ++n) {
        const QString link = ports + QStringLiteral("/COM%1").arg(n);
        if (!QFileInfo(link).isSymLink() && !QFileInfo::exists(link))
            // A node of this home's own that never exists: a shared absent
            // path would share the serial lock file with every other test.
            QFile::link(ports + QStringLiteral("/absent-COM%1").arg(n), link);
    }
}

QString artifactDir()
{
    QString dir = qEnvironmentVariable("CORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/corvane-test-artifacts");
    QDir().mkpath(dir);
    return dir;
}

} // namespace corvane::test

#include "ConsoleContext.h"
#include "Database.h"
#include "DefaultRows.h"
#include "Schema.h"

namespace corvane::test {

Status createSwitchDb(Database &db, const QString &path, const QString &adminPassword)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (Status s = db.open(path, LegacyDatabaseKey(), Database::OpenMode::Create); !s)
        return s;
    if (Status s = createSchema(db, switchTables()); !s)
        return s;
    return insertDefaultRows(db, adminPassword);
}

} // namespace corvane::test
