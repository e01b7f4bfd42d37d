// Which home the programs choose, the privacy of a home's data, and the first
// start on a home without a database. No widgets.
#include "Backup.h"
#include "ConsoleContext.h"
#include "Database.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "HomePrivacy.h"
#include "HomeSetup.h"
#include "MessageService.h"
#include "PasswordHash.h"
#include "TestHome.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;

namespace {

int modeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

void setMode(const QString &path, int mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0) << path.toStdString();
}

struct ConsoleRun {
    int code = -1;
    QString err;
};
// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QString &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

// The home an ordinary user (not root) gets for `programDir`: resolved in a
// child process that has given up root, so that the folder's mode counts.
QString homeAsOrdinaryUser(const QString &programDir)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const QByteArray root = QFile::encodeName(HomePaths::resolve(QString(), programDir).root());
        const bool written = ::write(fds[1], root.constData(), size_t(root.size())) == root.size();
        ::_exit(written ? 0 : 3);
    }
    ::close(fds[1]);
    QByteArray got;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        got.append(buffer, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("child failed");
    return QFile::decodeName(got);
}

class HomeChoiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setMode(scratch.path(), 0755); // reachable by the ordinary user of homeAsOrdinaryUser
        program = scratch.file("program");
        ASSERT_TRUE(QDir().mkpath(program));
    }

    test::TestHome scratch;
    QString program;
    ScopedEnv dataHome{"XDG_DATA_HOME", scratch.file("user-data")};
    ScopedEnv noHome{"CORVANE_HOME", QString()};
};

} // namespace

TEST_F(HomeChoiceTest, CommandLineThenEnvironmentThenProgramFolder)
{
    const HomePaths given = HomePaths::resolve(scratch.file("given"), program);
    EXPECT_EQ(given.root(), scratch.file("given"));
    EXPECT_EQ(given.source(), HomePaths::Source::CommandLine);
    {
        ScopedEnv env("CORVANE_HOME", scratch.file("env"));
        EXPECT_EQ(HomePaths::resolve(QString(), program).root(), scratch.file("env"));
        EXPECT_EQ(HomePaths::resolve(QString(), program).source(), HomePaths::Source::Environment);
        EXPECT_EQ(HomePaths::resolve(scratch.file("given"), program).root(), scratch.file("given"));
    }
    const HomePaths own = HomePaths::resolve(QString(), program);
    EXPECT_EQ(own.root(), program);
    EXPECT_EQ(own.source(), HomePaths::Source::ProgramFolder);
    const QString text = own.describe(program);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Home folder: %1 (the program's own folder).").arg(program)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("--home DIR or the environment variable CORVANE_HOME=DIR")));
}

TEST_F(HomeChoiceTest, InstalledOrUnwritableProgramFolderGivesThePerUserFolder)
{
    const QString perUser = scratch.file("user-data/corvane");
    EXPECT_EQ(HomePaths::userDataHome(), perUser);

    // An installed copy: PREFIX/bin beside PREFIX/share/corvane, writable or not.
    const QString bin = scratch.file("usr/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(scratch.file("usr/share/corvane")));
    const HomePaths installed = HomePaths::resolve(QString(), bin);
    EXPECT_EQ(installed.root(), perUser);
    EXPECT_EQ(installed.source(), HomePaths::Source::UserData);
    EXPECT_TRUE(installed.describe(bin).contains(
        QStringLiteral("(the per-user data folder; the program's folder %1 holds no home)").arg(bin)));

    // A folder the user may not write to, and the same folder once writable.
    setMode(program, 0555);
    EXPECT_EQ(homeAsOrdinaryUser(program), perUser);
    setMode(program, 0777);
    EXPECT_EQ(homeAsOrdinaryUser(program), program);
}

TEST(HomePrivacyTest, InitBackupAndTheStartReportKeepTheDataToItsOwner)
{
    test::TestHome dir;
    const HomePaths home(dir.path());
    QString error;
    ASSERT_TRUE(InitHome(home, QStringLiteral("pw"), error)) << error.toStdString();
    EXPECT_EQ(modeOf(home.dataDir()), 0700);
    EXPECT_EQ(modeOf(home.switchDb()), 0600);
    EXPECT_EQ(modeOf(home.printDb()), 0600);
    EXPECT_TRUE(LoosePermissions(home).isEmpty());

    // The database's log files take its mode.
    {
        Database db;
        ASSERT_TRUE(db.open(home.switchDb(), HomeDatabaseKey(home).value()));
        ASSERT_TRUE(db.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
        ASSERT_TRUE(db.exec(QStringLiteral("CREATE TABLE probe(x)")));
        if (QFile::exists(home.switchDb() + "-wal")) {
            EXPECT_EQ(modeOf(home.switchDb() + "-wal"), 0600);
        }
    }

    const ToolResult backup = BackupDatabase(home, dir.file("Switch-nightly.mdb"));
    ASSERT_TRUE(backup.ok()) << backup.text.toStdString();
    EXPECT_EQ(modeOf(dir.file("Switch-nightly.mdb")), 0600);

    // A home copied with `cp -r` under a loose umask: reported, kept when the
    // operator says no, made private when yes; the start goes on either way.
    setMode(home.dataDir(), 0755);
    setMode(home.switchDb(), 0644);
    // A copy a restore kept, copied along: the same data.
    const QString copy = home.root() + "/Quessel-20261208-093005.mdb";
    ASSERT_TRUE(QFile::copy(home.switchDb(), copy));
    setMode(copy, 0644);
    // ports/ others may write (they could point COM1 anywhere), a calls
    // folder and a monthly file others may read.
    setMode(home.portsDir(), 0777);
    ASSERT_TRUE(QDir().mkpath(home.callsDir()));
    setMode(home.callsDir(), 0755);
    const QString month = home.callsDir() + "/202612.txt";
    {
        QFile file(month);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("805,2026-12-08 22:01:00,30,0.20\n");
    }
    setMode(month, 0644);
    const QStringList loose = LoosePermissions(home);
    EXPECT_EQ(loose, QStringList({home.portsDir() + " (0777)", home.dataDir() + " (0755)", home.callsDir() + " (0755)",
                                  home.switchDb() + " (0644)", copy + " (0644)", month + " (0644)"}));
    ScriptedMessageService messages;
    messages.queueAnswer(MessageService::Answer::No);
    EXPECT_TRUE(ReportHomePermissions(home, messages));
    ASSERT_EQ(messages.shown().size(), 1);
    EXPECT_EQ(messages.last()->icon, MessageService::Icon::Warning);
    EXPECT_EQ(messages.last()->buttons, MessageService::Buttons::YesNo);
    EXPECT_TRUE(messages.last()->text.contains(home.switchDb() + " (0644)"));
    EXPECT_EQ(modeOf(home.switchDb()), 0644);

    messages.queueAnswer(MessageService::Answer::Yes);
    EXPECT_TRUE(ReportHomePermissions(home, messages));
    EXPECT_EQ(messages.shown().size(), 2);
    EXPECT_EQ(modeOf(home.dataDir()), 0700);
    EXPECT_EQ(modeOf(home.switchDb()), 0600);
    EXPECT_EQ(modeOf(home.printDb()), 0600);
    EXPECT_EQ(modeOf(copy), 0600);
    EXPECT_EQ(modeOf(home.portsDir()), 0755) << "others may still read the links, not change them";
    EXPECT_EQ(modeOf(home.callsDir()), 0700);
    EXPECT_EQ(modeOf(month), 0600);
    EXPECT_FALSE(ReportHomePermissions(home, messages));
    EXPECT_EQ(messages.shown().size(), 2);
}

namespace {

// Runs the built console with the umask of a careless site.
ConsoleRun runUnderUmask(mode_t mask, const QStringList &args, const QByteArray &typed = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("CORVANE_HOME"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([mask] { ::umask(mask); });
    p.start(QStringLiteral(CORVANE_PATH), args);
    p.write(typed);
    p.closeWriteChannel();
    ConsoleRun r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Everything under `root` that others may write, or (data) reach at all.
QStringList openToOthers(const QString &root, const HomePaths &home)
{
    QStringList open;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList all{root};
    while (it.hasNext())
        all << it.next();
    for (const QString &path : all) {
        if (QFileInfo(path).isSymLink())
            continue;
        const int mode = modeOf(path);
        const bool data = path.startsWith(home.dataDir()) || path.startsWith(home.callsDir())
                          || path.startsWith(home.reportsDir()) || path.startsWith(home.backupsDir())
                          || path.endsWith(".key") || path.endsWith("ADMIN-PASSWORD.txt");
        if (mode & (data ? 077 : 022))
            open << QStringLiteral("%1 (%2)").arg(path).arg(mode, 4, 8, QChar('0'));
    }
    return open;
}

} // namespace

// A new user under umask 000: a fresh demonstration home, then last month's
// report into the home and a workbook into a folder everyone may write. No
// folder or file is writable by others, none with call data readable by them.
TEST(HomePrivacyTest, AFreshHomeUnderUmaskZeroIsItsOwnersAlone)
{
    test::TestHome dir;
    const HomePaths home(dir.file(QStringLiteral("home")));
    const ConsoleRun init = runUnderUmask(
        0, {QStringLiteral("--home"), home.root(), QStringLiteral("--init"), QStringLiteral("--demo")}, "pw\n");
    ASSERT_EQ(init.code, 0) << init.err.toStdString();
    ASSERT_TRUE(QFileInfo(home.callsDir()).isDir());
    EXPECT_EQ(openToOthers(home.root(), home), QStringList());
    EXPECT_EQ(LoosePermissions(home), QStringList());

    const QString shared = dir.file(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    setMode(shared, 0777);
    const ConsoleRun pdf =
        runUnderUmask(0, {QStringLiteral("--home"), home.root(), QStringLiteral("--report"), QStringLiteral("2026-11"),
                          QStringLiteral("--out"), home.reportsDir() + QLatin1Char('/')});
    ASSERT_EQ(pdf.code, 0) << pdf.err.toStdString();
    EXPECT_EQ(modeOf(home.reportsDir() + QStringLiteral("/traffic-2026-11.pdf")), 0600);
    const ConsoleRun xlsx =
        runUnderUmask(0, {QStringLiteral("--home"), home.root(), QStringLiteral("--report"), QStringLiteral("2026-11"),
                          QStringLiteral("--out"), shared + QStringLiteral("/话务月报.xlsx")});
    ASSERT_EQ(xlsx.code, 0) << xlsx.err.toStdString();
    EXPECT_EQ(modeOf(shared + QStringLiteral("/话务月报.xlsx")), 0600);
    EXPECT_EQ(openToOthers(home.root(), home), QStringList());
}

TEST(FirstStartTest, OffersToCreateTheDatabaseAndChecksThePassword)
{
    test::TestHome dir;
    const HomePaths home(dir.file("new-home"));

    // Declined: nothing is created; the box said how to create one.
    ScriptedMessageService declined;
    declined.queueAnswer(MessageService::Answer::No);
    EXPECT_FALSE(OfferNewHome(home, declined));
    ASSERT_EQ(declined.shown().size(), 1);
    EXPECT_TRUE(declined.last()->text.contains(home.switchDb()));
    EXPECT_TRUE(declined.last()->text.contains(QStringLiteral("--init")));
    EXPECT_FALSE(QFile::exists(home.switchDb()));

    // Cancelled at the password: nothing either.
    ScriptedMessageService cancelled;
    cancelled.queueAnswer(MessageService::Answer::Yes);
    cancelled.queueText(std::nullopt);
    EXPECT_FALSE(OfferNewHome(home, cancelled));
    EXPECT_FALSE(QFile::exists(home.switchDb()));

    // An empty password and a confirmation that differs are refused and asked
    // again; then the home is made with the password given.
    ScriptedMessageService messages;
    messages.queueAnswer(MessageService::Answer::Yes);
    for (const char *typed : {"", "abc", "abd", "abc", "abc"})
        messages.queueText(QString::fromUtf8(typed));
    EXPECT_TRUE(OfferNewHome(home, messages));
    QStringList errors;
    for (const auto &box : messages.shown())
        if (box.title == QStringLiteral("输入错误"))
            errors << box.text;
    EXPECT_EQ(errors, QStringList({QStringLiteral("密码不能为空!"), QStringLiteral("密码和确认密码不相符!")}));
    EXPECT_TRUE(messages.last()->text.startsWith(QStringLiteral("已建立新的数据库：") + home.switchDb()));
    EXPECT_EQ(modeOf(home.dataDir()), 0700);
    EXPECT_EQ(modeOf(home.switchDb()), 0600);
    EXPECT_TRUE(QFile::exists(home.helpIndex()));
    Database db;
    ASSERT_TRUE(db.open(home.switchDb(), HomeDatabaseKey(home).value()));
    // The password given is kept as its hash.
    const QString stored =
        db.scalar(QStringLiteral("SELECT \"密码\" FROM \"OP\" WHERE \"用户名\" = ?"), {QStringLiteral("管理员")})
            .value_or(QString());
    EXPECT_TRUE(PasswordHash::isHashed(stored)) << stored.toStdString();
    EXPECT_TRUE(PasswordHash::verify(stored, QStringLiteral("abc")));
}

namespace {

// Every row of every table, in rowid order.
QMap<QString, QList<QStringList>> contentOf(const HomePaths &home)
{
    QMap<QString, QList<QStringList>> all;
    Database db;
    if (!db.open(home.switchDb(), HomeDatabaseKey(home).value_or(QByteArray())))
        return all;
    const auto tables = db.select(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
    for (const QStringList &t : tables.value_or({}))
        all.insert(
            t.value(0),
            db.select(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(Database::quoteId(t.value(0))))
                .value_or({}));
    return all;
}

ConsoleRun resetPassword(const HomePaths &home, const QString &name, const QByteArray &typed)
{
    QProcess p;
    p.start(QStringLiteral(CORVANE_PATH),
            {QStringLiteral("--home"), home.root(), QStringLiteral("--reset-password"), name});
    p.write(typed);
    p.closeWriteChannel();
    ConsoleRun r;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

// A forgotten password: the owner of the home sets a new one from a
// terminal. Nothing but that operator's password changes.
TEST(ResetPasswordTest, SetsThatPasswordAloneAndIsRefusedWhileAConsoleRuns)
{
    test::TestHome dir;
    const HomePaths home(dir.file(QStringLiteral("home")));
    QString error;
    ASSERT_TRUE(InitHome(home, QStringLiteral("forgotten"), error)) << error.toStdString();
    {
        Database db;
        ASSERT_TRUE(db.open(home.switchDb(), HomeDatabaseKey(home).value()));
        ASSERT_TRUE(db.exec(QStringLiteral("INSERT INTO OP VALUES ('张三','zs','1','1','1','1','1','1','1','1','1','1',"
                                           "'1','0','0','0','0')")));
    }
    const auto before = contentOf(home);
    const QString admin = QStringLiteral("管理员");
    const struct {
        QString name;
        QByteArray typed;
        int code;
        const char *says;
    } refused[] = {
        {admin, "new\nnex\n", 2, "密码和确认密码不相符!"},
        {admin, "\n\n", 2, "密码不能为空!"},
        {QStringLiteral("nobody"), "new\nnew\n", 1, "没有这个用户名"},
    };
    for (const auto &c : refused) {
        const ConsoleRun r = resetPassword(home, c.name, c.typed);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
    }
    {
        HomeLock console;
        ASSERT_TRUE(console.acquire(home));
        const ConsoleRun r = resetPassword(home, admin, "new\nnew\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("请先退出监控软件"))) << r.err.toStdString();
    }
    if (::geteuid() == 0) {
        // Root would leave log files the owner could not open.
        ASSERT_EQ(::chown(QFile::encodeName(home.switchDb()).constData(), 65534, 65534), 0);
        const ConsoleRun r = resetPassword(home, admin, "new\nnew\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("所有者"))) << r.err.toStdString();
        ASSERT_EQ(::chown(QFile::encodeName(home.switchDb()).constData(), 0, 0), 0);
    }
    EXPECT_EQ(contentOf(home), before) << "a refusal writes nothing";

    const ConsoleRun r = resetPassword(home, admin, "新的 密码\n新的 密码\n");
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    auto after = contentOf(home);
    const QString stored = after[QStringLiteral("OP")][0].value(2);
    EXPECT_TRUE(PasswordHash::verify(stored, QStringLiteral("新的 密码")));
    EXPECT_FALSE(PasswordHash::verify(stored, QStringLiteral("forgotten")));
    // The usage record names who set it, the system user at the terminal.
    const passwd *user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    QList<QStringList> &usage = after[QStringLiteral("OPRec")];
    ASSERT_EQ(usage.size(), before[QStringLiteral("OPRec")].size() + 1);
    EXPECT_EQ(usage.last().value(2),
              QStringLiteral("管理员（命令行重设密码，系统用户 %1）").arg(QString::fromLocal8Bit(user->pw_name)));
    EXPECT_FALSE(usage.last().value(3).isEmpty());
    usage.removeLast();
    // Put the old value back: then nothing else may differ.
    after[QStringLiteral("OP")][0][2] = before[QStringLiteral("OP")][0].value(2);
    EXPECT_EQ(after, before);
    EXPECT_EQ(modeOf(home.switchDb()), 0600);
}
