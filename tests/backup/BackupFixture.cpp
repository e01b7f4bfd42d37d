#include "BackupFixture.h"
#include "Restore.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvane::test {

BackupHome::BackupHome() : m_paths(m_dir.path())
{
    Database db;
    m_ok =
        createSwitchDb(db, m_paths.switchDb())
        && db.exec(QStringLiteral("INSERT INTO \"Foregift\" VALUES ('3','803','张三','5','120.00','200.00','1234','√'),"
                                  "('12','账号','账号十二','4','50.00','50.00','888','√')"))
        && db.exec(QStringLiteral(
            "INSERT INTO \"OPRec\" VALUES ('00001','管理员','2026年12月07日08:00:00','2026年12月07日18:00:00')"))
        && addCalls(db, 3, QStringLiteral("base")) && addSeenFrames(db, 2, QStringLiteral("base"));
}

bool openDb(Database &db, const QString &path, const QByteArray &key) { return bool(db.open(path, key)); }

bool addCalls(Database &db, int n, const QString &tag)
{
    Transaction tx(db);
    if (!tx.begun())
        return false;
    for (int i = 0; i < n; ++i) {
        const QString called = QStringLiteral("0755%1-%2").arg(tag).arg(i);
        if (!db.exec(QStringLiteral("INSERT INTO \"PHNBill\" VALUES "
                                    "(?,?,?,'60','0.30','深圳','1.20','2','0.00','0.00','1.20','未结算','','张三')"),
                     {QStringLiteral("803"), called,
                      QStringLiteral("2026年12月08日09时%1分").arg(i % 60, 2, 10, QLatin1Char('0'))}))
            return false;
    }
    return bool(tx.commit());
}

bool addSeenFrames(Database &db, int n, const QString &tag)
{
    const QString t = Database::quoteId(CallIntakeSeenTable());
    if (!db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"Frame\" TEXT NOT NULL, \"SeenMs\" INTEGER NOT NULL)")
                     .arg(t)))
        return false;
    for (int i = 0; i < n; ++i)
        if (!db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(t),
                     {tag + QString::number(i), qint64(1000 + i)}))
            return false;
    return true;
}

QList<QStringList> rowsOf(Database &db, const QString &table)
{
    return db.select(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Database::quoteId(table)))
        .value_or(QList<QStringList>());
}

namespace {

// Opening a database file changes its header (the console's connection turns
// on the write-ahead log), so files are read through a copy of their own.
bool openCopy(Database &db, QTemporaryDir &dir, const QString &dbPath)
{
    const QString copy = dir.filePath(QStringLiteral("read.mdb"));
    if (!QFile::copy(dbPath, copy))
        return false;
    if (QFile::exists(dbPath + QStringLiteral("-wal"))
        && !QFile::copy(dbPath + QStringLiteral("-wal"), copy + QStringLiteral("-wal")))
        return false;
    return openDb(db, copy);
}

} // namespace

QList<QStringList> rowsOf(const QString &dbPath, const QString &table)
{
    QTemporaryDir dir;
    Database db;
    if (!openCopy(db, dir, dbPath))
        return {};
    return rowsOf(db, table);
}

QMap<QString, QList<QStringList>> allRows(const QString &dbPath)
{
    QMap<QString, QList<QStringList>> all;
    QTemporaryDir dir;
    Database db;
    if (!openCopy(db, dir, dbPath))
        return all;
    const auto tables = db.select(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"));
    if (!tables)
        return all;
    for (const QStringList &t : *tables)
        all.insert(t.value(0), rowsOf(db, t.value(0)));
    return all;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace corvane::test
