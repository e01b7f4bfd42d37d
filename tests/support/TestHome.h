#pragma once
#include "Status.h"
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

// Points COM1..COM16 of the home at devices that do not exist, so that a
// port search in a test never touches the machine's real serial ports.
void isolateSerialPorts(const QString &homeDir);

// Where tests leave files for a person to look at (screenshots).
QString artifactDir();

} // namespace corvane::test

namespace corvane {
class Database;
}

namespace corvane::test {

// Creates an encrypted Switch.mdb at `path` with every table and the default
// rows; the administrator's password is `adminPassword`. Leaves `db` open.
Status createSwitchDb(Database &db, const QString &path, const QString &adminPassword = QStringLiteral("admin"));

} // namespace corvane::test
