#include "ConsoleContext.h"
#include "HomeLock.h"
#include "HomePrivacy.h"
#include "HomeSetup.h"
#include "QtMessageService.h"
#include "frmMain.h"
#include "mdlMain.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace corvane;

namespace {

// Reads one line from the terminal without echo, or from standard input when
// that is not a terminal (scripts pipe the password in).
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
    QTextStream in(stdin);
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
    if (!InitHome(home, password, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(QStringLiteral("已建立新的数据库：%1").arg(home.switchDb())));
    if (demo && !ConfigureDemoHome(home, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Setting up a home and the help need no display; everything else is a
    // desktop program.
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || qstrcmp(argv[i], "--init") == 0 || qstrcmp(argv[i], "--help") == 0
                   || qstrcmp(argv[i], "-h") == 0 || qstrcmp(argv[i], "--version") == 0 || qstrcmp(argv[i], "-v") == 0;
    std::unique_ptr<QCoreApplication> appHolder(headless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));
    QCoreApplication &app = *appHolder;
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
    parser.addOption(homeOption);
    parser.addOption(initOption);
    parser.addOption(demoOption);
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

    QtMessageService messages;
    // Started from the desktop's menu there is no terminal to show --init:
    // the console offers to create the database itself.
    if (!QFile::exists(home.switchDb()) && !OfferNewHome(home, messages))
        return 1;

    QString error;
    InstallHomeFiles(home, error);         // restores a deleted picture or help page; not fatal
    ReportHomePermissions(home, messages); // a warning; the console runs on

    SystemClock clock;
    ConsoleContext ctx(home, messages, clock);
    HomeLock lock; // held until the process ends
    if (!LockHome(ctx, lock))
        return 1;
    bool databaseFailed = false;
    auto mainWindow = Main(ctx, &databaseFailed);
    if (!mainWindow)
        return databaseFailed ? 1 : 0;
    QObject::connect(mainWindow.get(), &frmMain::programEnded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
