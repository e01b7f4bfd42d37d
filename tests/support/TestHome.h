#pragma once
#include <QString>
#include <QTemporaryDir>

namespace corvane::test {

// A temporary home folder for one test; removed when the object goes.
class TestHome {
public:
    TestHome();
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
};

// Where tests leave files for a person to look at (screenshots).
QString artifactDir();

} // namespace corvane::test
