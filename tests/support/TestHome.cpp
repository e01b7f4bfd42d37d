#include "TestHome.h"
#include <QDir>
#include <QFileInfo>

namespace corvane::test {

TestHome::TestHome() : m_dir(QDir::tempPath() + QStringLiteral("/corvane-test-XXXXXX")) {}

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

bool createSwitchDb(Database &db, const QString &path, const QString &adminPassword)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return db.open(path, ConsoleContext::databaseKey(), Database::OpenMode::Create)
        && createSchema(db, switchTables()) && insertDefaultRows(db, adminPassword);
}

} // namespace corvane::test
