#include "CallFileCopy.h"

#include "Database.h"

#include <QFile>
#include <QMap>
#include <QStringEncoder>

namespace corvane {

const QString CallFileCopy::Table = QStringLiteral("CallFilePending");

namespace {

// The end of a file, at most `bytes` of it; empty when there is no file.
QByteArray fileTail(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    file.seek(qMax<qint64>(0, size - bytes));
    return file.read(bytes);
}

} // namespace

QByteArray CallFileCopy::LineBytes(const QString &line)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(line + QStringLiteral("\r\n"));
}

bool CallFileCopy::EnsureTable()
{
    if (m_tableReady)
        return true;
    if (!m_db.isOpen())
        return false;
    m_tableReady = bool(m_db.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"Seq\" INTEGER PRIMARY KEY "
                                                 "AUTOINCREMENT, \"Path\" TEXT NOT NULL, \"Line\" TEXT NOT NULL)")
                                      .arg(Database::quoteId(Table))));
    return m_tableReady;
}

Status CallFileCopy::Keep(const QString &path, const QString &line)
{
    if (!EnsureTable())
        return Status::fail(QStringLiteral("无法建立话单文件表"));
    m_removing.clear();
    for (const qint64 seq : std::as_const(m_appended)) {
        if (Status s = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE Seq = ?").arg(Database::quoteId(Table)), {seq});
            !s)
            return s;
        m_removing.insert(seq);
    }
    return m_db.exec(QStringLiteral("INSERT INTO %1 (\"Path\", \"Line\") VALUES (?, ?)").arg(Database::quoteId(Table)),
                     {path, line});
}

void CallFileCopy::Committed()
{
    m_appended -= m_removing;
    m_removing.clear();
}

int CallFileCopy::Pending()
{
    if (!EnsureTable())
        return 0;
    const auto n = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(Database::quoteId(Table)));
    return n ? n->toInt() - int(m_appended.size()) : 0;
}

int CallFileCopy::alreadyWritten(const QString &path, const QList<Row> &rows)
{
    qint64 total = 0;
    for (const Row &r : rows)
        total += r.bytes.size();
    const QByteArray tail = fileTail(path, total);
    // The file ends with the first k kept lines for the largest k that fits;
    // only a k whose last line ends the file can.
    for (int k = int(rows.size()); k > 0; --k) {
        if (!tail.endsWith(rows.at(k - 1).bytes))
            continue;
        QByteArray written;
        for (int i = 0; i < k; ++i)
            written += rows.at(i).bytes;
        if (tail.endsWith(written))
            return k;
    }
    return 0;
}

Status CallFileCopy::append(const Row &row)
{
    QFile file(row.path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ok = ok && file.write(row.bytes) == row.bytes.size();
    ok = ok && file.flush();
    const QString error = file.errorString();
    file.close();
    if (!ok)
        return Status::fail(error);
    return Status::ok();
}

Status CallFileCopy::Flush()
{
    if (!EnsureTable())
        return Status::fail(QStringLiteral("数据库未打开"));
    const auto read = m_db.select(
        QStringLiteral("SELECT Seq, \"Path\", \"Line\" FROM %1 ORDER BY Seq").arg(Database::quoteId(Table)));
    if (!read)
        return read.status();
    QList<Row> rows;
    for (const QStringList &r : *read)
        if (!m_appended.contains(r.value(0).toLongLong()))
            rows.append({r.value(0).toLongLong(), r.value(1), LineBytes(r.value(2))});

    // What an earlier run appended and could not clear any more.
    if (!m_checked) {
        m_checked = true;
        QMap<QString, QList<Row>> byPath;
        for (const Row &r : rows)
            byPath[r.path].append(r);
        for (auto it = byPath.cbegin(); it != byPath.cend(); ++it) {
            const int k = alreadyWritten(it.key(), it.value());
            for (int i = 0; i < k; ++i)
                m_appended.insert(it.value().at(i).seq);
        }
    }

    // A file that failed keeps the rest of its lines waiting, in order.
    QMap<QString, QString> failed;
    for (const Row &r : rows) {
        if (m_appended.contains(r.seq) || failed.contains(r.path))
            continue;
        if (Status s = append(r); !s)
            failed.insert(r.path, s.reason());
        else
            m_appended.insert(r.seq);
    }
    if (failed.isEmpty())
        return Status::ok();
    QStringList why;
    for (auto it = failed.cbegin(); it != failed.cend(); ++it)
        why << QStringLiteral("话单文件无法写入：%1\n原因：%2").arg(it.key(), it.value());
    return Status::fail(why.join(QLatin1Char('\n')));
}

} // namespace corvane
