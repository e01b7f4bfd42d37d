#include "HomeSetup.h"
#include "ConfigTable.h"
#include "ConsoleContext.h"
#include "Data.h"
#include "Database.h"
#include "DefaultRows.h"
#include "HomeKey.h"
#include "HomePrivacy.h"
#include "MessageService.h"
#include "Recordset.h"
#include "Schema.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

// The shipped files are compiled into this static library; register them once.
static void registerHomeResources() { Q_INIT_RESOURCE(home); }

namespace corvane {

namespace {

bool sameContents(const QString &a, const QString &b)
{
    QFile fa(a);
    QFile fb(b);
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.readAll() == fb.readAll();
}

} // namespace

bool InstallHomeFiles(const HomePaths &home, QString &error)
{
    registerHomeResources();
    QDirIterator it(QStringLiteral(":/home"), QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        if (QFileInfo(source).isDir())
            continue;
        const QString relative = source.mid(QStringLiteral(":/home/").size());
        const QString target = home.root() + QLatin1Char('/') + relative;
        // The help belongs to the program and follows its version; the
        // pictures may be the owner's own (a company logo) and stay.
        if (QFile::exists(target)) {
            if (!relative.startsWith(QLatin1String("help/")) || sameContents(source, target))
                continue;
            QFile::remove(target);
        }
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target)) {
            error = QStringLiteral("无法写入文件：%1").arg(target);
            return false;
        }
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return true;
}

namespace {

bool createDatabase(const QString &path, const QByteArray &key, const QList<TableDef> &tables,
                    const QString *adminPassword, QString &error)
{
    Database db;
    if (Status opened = db.open(path, key, Database::OpenMode::Create); !opened) {
        error = opened.reason();
        return false;
    }
    // Owner-only from the start: SQLite gives the file's mode to its logs.
    if (Status s = MakeFilePrivate(path); !s) {
        db.close();
        QFile::remove(path);
        error = s.reason();
        return false;
    }
    Status made = createSchema(db, tables);
    if (made && adminPassword)
        made = insertDefaultRows(db, *adminPassword);
    db.close();
    const bool ok = bool(made);
    if (!ok) {
        error = QStringLiteral("无法建立数据库 %1：%2").arg(path, made.reason());
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
    }
    return ok;
}

} // namespace

bool InitHome(const HomePaths &home, const QString &adminPassword, QString &error, QString *recoveryKey)
{
    if (adminPassword.isEmpty()) {
        error = QStringLiteral("密码不能为空!");
        return false;
    }
    if (QFile::exists(home.switchDb())) {
        error = QStringLiteral("数据库已存在，不会覆盖：%1").arg(home.switchDb());
        return false;
    }
    for (const QString &dir : {home.root(), home.dataDir(), home.resourceDir(), home.helpDir(), home.portsDir(),
                               home.backupsDir(), home.reportsDir()}) {
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable()) {
            error = QStringLiteral("无法建立或写入文件夹：%1").arg(dir);
            return false;
        }
    }
    if (Status s = MakeFolderPrivate(home.dataDir()); !s) {
        error = s.reason();
        return false;
    }
    // A key file the home has already opens its backups: it stays.
    QByteArray key;
    bool newKey = false;
    if (HasOwnKey(home)) {
        const Checked<QByteArray> own = HomeDatabaseKey(home);
        if (!own) {
            error = own.reason();
            return false;
        }
        key = *own;
    } else {
        key = NewDatabaseKey();
        if (Status s = WriteKeyFile(DatabaseKeyFile(home), key); !s) {
            error = s.reason();
            return false;
        }
        newKey = true;
    }
    if (!createDatabase(home.switchDb(), key, switchTables(), &adminPassword, error)) {
        if (newKey)
            QFile::remove(DatabaseKeyFile(home));
        return false;
    }
    if (newKey && recoveryKey)
        *recoveryKey = RecoveryKeyText(key);
    if (!QFile::exists(home.printDb())
        && !createDatabase(home.printDb(), QByteArray(), printTables(), nullptr, error)) {
        return false;
    }
    if (!InstallHomeFiles(home, error))
        return false;
    // A home folder that was there before (made under a loose umask) is the
    // owner's to write from now on; the start checks it stays so.
    if (Status s = MakeHomePrivate(home); !s) {
        error = s.reason();
        return false;
    }
    return true;
}

bool IsNewHome(const HomePaths &home)
{
    if (QFileInfo::exists(home.switchDb()) || QFileInfo(home.resourceDir()).isDir())
        return false;
    const QStringList locks{QStringLiteral("Switch.lock"), QStringLiteral("Restore.lock")};
    for (const QString &name :
         QDir(home.dataDir()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (!locks.contains(name))
            return false;
    return QDir(home.root()).entryList({QStringLiteral("Quessel*.mdb")}, QDir::Files).isEmpty();
}

bool OfferNewHome(const HomePaths &home, MessageService &messages, QString *recoveryKey)
{
    const QString title = QStringLiteral("建立新的数据库");
    const QString text = QStringLiteral("找不到数据库文件 %1。\n\n"
                                        "是否现在在文件夹 %2 中建立新的数据库？\n"
                                        "（也可以在终端中运行 corvane --home <文件夹> --init 建立，"
                                        "或用 --home、CORVANE_HOME 指定已有的文件夹。）")
                             .arg(home.switchDb(), home.root());
    if (messages.show(text, title, MessageService::Icon::Question, MessageService::Buttons::YesNo)
        != MessageService::Answer::Yes)
        return false;
    for (;;) {
        const auto password = messages.askPassword(QStringLiteral("管理员（管理员）的密码："), title);
        if (!password)
            return false;
        if (password->isEmpty()) {
            messages.inputError(QStringLiteral("密码不能为空!"));
            continue;
        }
        const auto again = messages.askPassword(QStringLiteral("再次输入密码："), title);
        if (!again)
            return false;
        if (*again != *password) {
            messages.inputError(QStringLiteral("密码和确认密码不相符!"));
            continue;
        }
        QString error;
        if (!InitHome(home, *password, error, recoveryKey)) {
            messages.show(error, title, MessageService::Icon::Critical);
            return false;
        }
        messages.show(QStringLiteral("已建立新的数据库：%1\n请以“管理员”和刚才的密码登录。").arg(home.switchDb()),
                      title, MessageService::Icon::Information);
        return true;
    }
}

bool ConfigureDemoHome(const HomePaths &home, QString &error)
{
    const QString calls = home.callsDir() + QLatin1Char('/');
    if (!QDir().mkpath(calls) || !MakeFolderPrivate(calls)) {
        error = QStringLiteral("无法建立文件夹：%1").arg(calls);
        return false;
    }
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key) {
        error = key.reason();
        return false;
    }
    Database db;
    if (Status opened = db.open(home.switchDb(), *key); !opened) {
        error = opened.reason();
        return false;
    }
    // Outward copy on, on port 2; file output on, into HOME/calls/.
    if (const Status set = ConfigTable(db).write({{ConfigField::OutwardOn, QStringLiteral("1")},
                                                  {ConfigField::OutwardPort, QStringLiteral("2")},
                                                  {ConfigField::FileOutputOn, QStringLiteral("1")},
                                                  {ConfigField::FilePath, calls}});
        !set) {
        error = set.reason();
        return false;
    }
    // A known client and a nuisance caller, both called by the demonstration scenario.
    Recordset client = Recordset::forAppend(db, QStringLiteral("Client"));
    QStringList clientRow = {QStringLiteral("0001"),
                             QStringLiteral("王建国"),
                             QStringLiteral("华东贸易有限公司"),
                             QStringLiteral("www.huadong-trade.cn"),
                             QStringLiteral("02155550000"),
                             QStringLiteral("上海市南京东路100号"),
                             QStringLiteral("200001"),
                             QStringLiteral("wang@huadong-trade.cn"),
                             QString(),
                             QString(),
                             QStringLiteral("13800138000")};
    while (clientRow.size() < client.columnCount())
        clientRow << QString();
    Recordset blacklist = Recordset::forAppend(db, QStringLiteral("BlackLst"));
    Status written = WriteRecord(client, true, clientRow);
    if (written)
        written = WriteRecord(blacklist, true, {QStringLiteral("4001234567"), QStringLiteral("骚扰电话")});
    if (!written) {
        error = written.reason();
        return false;
    }
    return true;
}

} // namespace corvane
