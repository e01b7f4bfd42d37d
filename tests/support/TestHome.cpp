#include "TestHome.h"
#include <QDir>

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
