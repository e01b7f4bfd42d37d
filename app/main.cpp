#include "ConsoleContext.h"
#include "Database.h"
#include "DesktopConventions.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomeLock.h"
#include "HomePrivacy.h"
#include "HomeSetup.h"
#include "Operators.h"
#include "QtMessageService.h"
#include "QtTranslations.h"
#include "TrafficReport.h"
#include "frmHelp.h"
#include "frmMain.h"
#include "mdlMain.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace corvane;

namespace {

void printError(const QString &text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }

// Reads one line from the terminal without echo, or from standard input when
// that is not a terminal (scripts pipe the password in). One stream for all
// lines, so that what it has read ahead is not lost between two calls.
QString readPassword(const char *prompt)
{
    const bool tty = isatty(STDIN_FILENO);
    termios saved{};
    if (tty) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    static QTextStream in(stdin);
    QString line = in.readLine();
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

int initHome(const HomePaths &home, bool demo)
{
    QString password = readPassword("管理员密码: ");
    if (isatty(STDIN_FILENO) && !password.isEmpty()) {
        const QString again = readPassword("再次输入密码: ");
        if (again != password) {
            std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("密码和确认密码不相符!")));
            return 2;
        }
    }
    QString error;
    QString recoveryKey;
    if (!InitHome(home, password, error, &recoveryKey)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(QStringLiteral("已建立新的数据库：%1").arg(home.switchDb())));
    if (!recoveryKey.isEmpty())
        std::printf("\n%s\n\n", qPrintable(RecoveryKeyNotice(recoveryKey, home)));
    if (demo && !ConfigureDemoHome(home, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

// A forgotten password: the owner of the home sets a new one from a
// terminal. Only that operator's password column is written; refused while a
// console (or a restore) works on the home.
int resetPassword(const HomePaths &home, const QString &name)
{
    const QString path = home.switchDb();
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        printError(QStringLiteral("找不到数据库文件 %1").arg(path));
        return 1;
    }
    // Another user (root among them) would leave log files the owner cannot open.
    if (st.st_uid != ::geteuid()) {
        const passwd *owner = ::getpwuid(st.st_uid);
        printError(QStringLiteral("请以数据库文件的所有者 %1 运行：%2")
                       .arg(owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid), path));
        return 1;
    }
    HomeLock lock;
    if (Status s = lock.acquire(home); !s) {
        printError(s.reason());
        return 1;
    }
    const Checked<QByteArray> key = HomeDatabaseKey(home);
    if (!key) {
        printError(key.reason());
        return 1;
    }
    Database db;
    if (Status opened = db.open(path, *key); !opened) {
        printError(opened.reason());
        return 1;
    }
    if (!db.scalar(QStringLiteral("SELECT 1 FROM \"OP\" WHERE \"用户名\" = ?"), {name})) {
        printError(QStringLiteral("没有这个用户名：%1").arg(name));
        return 1;
    }
    const QString password = readPassword("新密码: ");
    const QString again = readPassword("再次输入新密码: ");
    if (password.isEmpty()) {
        printError(QStringLiteral("密码不能为空!"));
        return 2;
    }
    if (again != password) {
        printError(QStringLiteral("密码和确认密码不相符!"));
        return 2;
    }
    // The usage record says who set it: the system user at the terminal.
    const passwd *user = ::getpwuid(::geteuid());
    const QString systemUser = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy年MM月dd日HH:mm:ss"));
    if (Status s = ResetPasswordRecorded(db, name, password, systemUser, stamp); !s) {
        printError(s.reason());
        return 1;
    }
    std::printf("%s\n", QStringLiteral("已修改操作员“%1”的密码。").arg(name).toLocal8Bit().constData());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Call records, fees and backups are the owner's alone, whatever the umask.
    KeepNewFilesToOwner();

    // Setting up a home and the help need no display; everything else is a
    // desktop program.
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || qstrcmp(argv[i], "--init") == 0 || qstrcmp(argv[i], "--reset-password") == 0
                   || qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0
                   || qstrcmp(argv[i], "--version") == 0 || qstrcmp(argv[i], "-v") == 0;
    // The monthly report draws its charts without a display (cron, a timer).
    for (int i = 1; i < argc; ++i)
        if (qstrncmp(argv[i], "--report", 8) == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> appHolder(headless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));
    QCoreApplication &app = *appHolder;
    // Settings live under ~/.config/Corvane/, not "Unknown Organization".
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velloran1.3版 话务管理系统"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption homeOption(QStringLiteral("home"), QStringLiteral("Home folder (data, resource, help, ports)."),
                                  QStringLiteral("DIR"));
    QCommandLineOption initOption(
        QStringLiteral("init"),
        QStringLiteral("Create a new home: folders and databases; asks for the administrator's password."));
    QCommandLineOption demoOption(QStringLiteral("demo"),
                                  QStringLiteral("With --init: send call records to HOME/calls/ and out on port 2."));
    QCommandLineOption resetOption(QStringLiteral("reset-password"),
                                   QStringLiteral("Set a new password for operator NAME (read twice from standard "
                                                  "input); refused while a console runs on the home."),
                                   QStringLiteral("NAME"));
    QCommandLineOption reportOption(
        QStringLiteral("report"),
        QStringLiteral("Write the traffic report of month YYYY-MM (or last-month) to the file of --out (.pdf or "
                       ".xlsx) and exit; reads the database only, also while a console runs on the home."),
        QStringLiteral("YYYY-MM"));
    QCommandLineOption outOption(QStringLiteral("out"),
                                 QStringLiteral("With --report: the file to write, or an existing folder DIR/ that "
                                                "gets traffic-YYYY-MM.pdf (or the kind of --format)."),
                                 QStringLiteral("FILE"));
    QCommandLineOption formatOption(QStringLiteral("format"),
                                    QStringLiteral("With --report --out DIR/: pdf (the default) or xlsx."),
                                    QStringLiteral("KIND"));
    parser.addOption(homeOption);
    parser.addOption(initOption);
    parser.addOption(reportOption);
    parser.addOption(outOption);
    parser.addOption(formatOption);
    parser.addOption(demoOption);
    parser.addOption(resetOption);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return 2;
    }

    const QString programDir = QCoreApplication::applicationDirPath();
    const HomePaths home = HomePaths::resolve(parser.value(homeOption), programDir);
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s\n%s\n", qPrintable(parser.helpText()), qPrintable(home.describe(programDir)));
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("corvane %s\n%s\n", qPrintable(QCoreApplication::applicationVersion()),
                    qPrintable(home.describe(programDir)));
        return 0;
    }
    if (parser.isSet(initOption))
        return initHome(home, parser.isSet(demoOption));
    if (parser.isSet(resetOption))
        return resetPassword(home, parser.value(resetOption));
    if (parser.isSet(reportOption)) {
        if (!parser.isSet(outOption)) {
            printError(QStringLiteral("请用 --out FILE 指定报表文件（.pdf 或 .xlsx）"));
            return 2;
        }
        // The month before this one, for a timer that runs on the first.
        QString month = parser.value(reportOption);
        if (month == QLatin1String("last-month"))
            month = QDate::currentDate().addMonths(-1).toString(QStringLiteral("yyyy-MM"));
        QString out = parser.value(outOption);
        if (out.endsWith(QLatin1Char('/')) || QFileInfo(out).isDir()) {
            const QString kind = parser.isSet(formatOption) ? parser.value(formatOption) : QStringLiteral("pdf");
            if (kind != QLatin1String("pdf") && kind != QLatin1String("xlsx")) {
                printError(QStringLiteral("--format 只能是 pdf 或 xlsx：%1").arg(kind));
                return 2;
            }
            // The home's own reports/ is made (an older home has none); a
            // folder elsewhere that is missing is most likely not mounted.
            const QString folder = QFileInfo(QDir::cleanPath(out)).absoluteFilePath();
            if (!QFileInfo::exists(folder) && folder == QFileInfo(home.reportsDir()).absoluteFilePath()
                && (!QDir().mkpath(folder) || !MakeFolderPrivate(folder))) {
                printError(QStringLiteral("无法建立报表文件夹 %1").arg(folder));
                return 1;
            }
            if (!QFileInfo(out).isDir()) {
                printError(QStringLiteral("报表文件夹 %1 不存在（移动硬盘或网络文件夹是否没有挂载？）").arg(out));
                return 1;
            }
            out = QDir(out).filePath(QStringLiteral("traffic-%1.%2").arg(month, kind));
        }
        const Checked<QString> done = TrafficReport::MonthlyReport(home, month, out, QDate::currentDate());
        if (!done) {
            printError(done.reason());
            return 1;
        }
        std::printf("%s\n", done->toLocal8Bit().constData());
        return 0;
    }

    InstallQtTranslations(app);
    QtMessageService messages;
    // Started from the desktop's menu there is no terminal to show --init:
    // the console offers to create the database itself, on a new home only.
    // A home that lost its database is told how to restore it (Main).
    QString recoveryKey;
    if (!QFile::exists(home.switchDb()) && IsNewHome(home) && !OfferNewHome(home, messages, &recoveryKey))
        return 1;

    QString error;
    InstallHomeFiles(home, error);         // restores a deleted picture or help page; not fatal
    ReportHomePermissions(home, messages); // a warning; the console runs on

    // Window places are kept in the user's own settings; F1 opens the help.
    DesktopConventions conventions(std::make_unique<QSettings>(), [&](QWidget *window, const QString &section) {
        frmHelp::open(home.helpIndex(), window, section, messages);
    });
    conventions.install();

    SystemClock clock;
    ConsoleContext ctx(home, messages, clock);
    HomeLock lock; // held until the process ends
    if (!LockHome(ctx, lock))
        return 1;
    // What a killed backup or restore left in the home goes now.
    RemoveLeftovers(home, lock.held());
    if (!recoveryKey.isEmpty())
        ShowRecoveryKey(ctx, recoveryKey);
    bool databaseFailed = false;
    auto mainWindow = Main(ctx, &databaseFailed);
    if (!mainWindow)
        return databaseFailed ? 1 : 0;
    QObject::connect(mainWindow.get(), &frmMain::programEnded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
