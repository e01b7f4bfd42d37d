// Tallowin: backs the console's database up and restores it. Without
// --backup or --restore it shows its window; with them it works without a
// display, for scheduled backups.
#include "Backup.h"
#include "BackupStatus.h"
#include "ConsoleContext.h"
#include "DesktopConventions.h"
#include "HomeFiles.h"
#include "HomeKey.h"
#include "HomePrivacy.h"
#include "QtMessageService.h"
#include "QtTranslations.h"
#include "Restore.h"
#include "RestoreGate.h"
#include "TallowinWindow.h"
#include "frmHelp.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <memory>
#include <termios.h>
#include <unistd.h>

using namespace corvane;

namespace {

void print(FILE *to, const QString &text)
{
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
    std::fflush(to);
}

// Standard input, one stream for every answer, so that no line read ahead is lost.
QTextStream &input()
{
    static QTextStream in(stdin);
    return in;
}

// One line from the terminal without echo, or from standard input when that
// is no terminal; nullopt at its end.
std::optional<QString> readSecret(const QString &prompt)
{
    const bool tty = isatty(STDIN_FILENO);
    termios saved{};
    if (tty) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const QString line = input().readLine();
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (line.isNull())
        return std::nullopt;
    return line;
}

// The key of a chosen file from another home: its recovery key, asked for
// (from standard input when that is no terminal). Empty when none is needed;
// nullopt when none was given that opens it (said on stderr).
std::optional<QByteArray> askFileKey(const HomePaths &home, const QString &file)
{
    if (!QFileInfo(file).isFile() || KeyOfChosenFile(home, file) || !NoDatabaseText(file).isEmpty())
        return QByteArray();
    print(stderr, NeedsKeyText(file, false));
    for (int tries = 0; tries < 3; ++tries) {
        const auto typed = readSecret(QStringLiteral("恢复密钥："));
        if (!typed || typed->trimmed().isEmpty())
            break;
        const auto key = KeyFromRecoveryKey(*typed);
        if (!key)
            print(stderr, QStringLiteral("这不是恢复密钥：恢复密钥是 8 组、每组 5 个字母或数字（如 7K3QD-…）。"));
        else if (!KeyOfChosenFile(home, file, *key))
            print(stderr, NeedsKeyText(file, true));
        else
            return *key;
    }
    print(stderr, QStringLiteral("恢复失败：没有可以打开该文件的恢复密钥。数据库没有改动。"));
    return std::nullopt;
}

// One line from standard input, the prompt shown on a terminal only.
std::optional<QString> readLine(const QString &prompt)
{
    if (isatty(STDIN_FILENO)) {
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }
    const QString line = input().readLine();
    if (line.isNull())
        return std::nullopt;
    return line;
}

// Who restores: an operator holding "参数备份与恢复", named by --operator or
// asked, with the password read from standard input (no echo on a
// terminal); nobody when the home's database cannot be read and the user
// owns the home. The usage row's operator column, or nullopt (said on stderr).
std::optional<QString> askRestorer(const HomePaths &home, const QString &named)
{
    const RestoreGate gate = RestoreGateOf(home);
    QString name = named;
    QString password;
    if (gate.refusal.isEmpty() && gate.operators) {
        if (name.isEmpty())
            name = readLine(QStringLiteral("操作员：")).value_or(QString()).trimmed();
        password = readSecret(QStringLiteral("密码：")).value_or(QString());
    }
    const Checked<QString> by = CheckRestorer(home, gate, name, password, QStringLiteral("命令行"));
    if (!by) {
        QString text = QStringLiteral("恢复未进行：")
                       + (gate.operators ? QStringLiteral("需要有“参数备份与恢复”权限的操作员。") : QString())
                       + by.reason() + QStringLiteral("\n数据库没有改动。");
        if (gate.operators)
            text += QStringLiteral("忘记密码时，系统的所有者可以用 corvane --home %1 --reset-password 操作员 重设。")
                        .arg(home.root());
        print(stderr, text);
        return std::nullopt;
    }
    if (!gate.operators)
        print(stderr, QStringLiteral("数据库无法读取，无法核对操作员：以本系统所有者（系统用户 %1）的身份恢复。")
                          .arg(gate.systemUser));
    return *by;
}

int report(const ToolResult &result, const QString &failedHead)
{
    if (result.ok()) {
        print(stdout, result.text);
        return 0;
    }
    if (result.outcome == ToolOutcome::OpenError)
        print(stderr, DatabaseOpenErrorText() + QLatin1Char('\n') + result.text);
    else
        print(stderr, failedHead + result.text);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Call records, fees and backups are the owner's alone, whatever the umask.
    KeepNewFilesToOwner();

    // A file size limit (ulimit -f in a scheduled job) is reported as a failed
    // write and cleaned up, instead of ending the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);

    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || qstrcmp(argv[i], "--backup") == 0 || qstrcmp(argv[i], "--restore") == 0
                   || qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0
                   || qstrcmp(argv[i], "--version") == 0 || qstrcmp(argv[i], "-v") == 0;
    std::unique_ptr<QCoreApplication> appHolder(headless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));
    QCoreApplication &app = *appHolder;
    // Settings live under ~/.config/Corvane/, not "Unknown Organization".
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("tallowin"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("交换机系统--参数备份与恢复"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption homeOption(QStringLiteral("home"),
                                  QStringLiteral("Home folder of the console (its data/Switch.mdb)."),
                                  QStringLiteral("DIR"));
    QCommandLineOption backupOption(
        QStringLiteral("backup"),
        QStringLiteral(
            "Back the database up to FILE (\".mdb\" is added when missing), or into the folder DIR/ as "
            "Switch-YYYYMMDD-HHMMSS.mdb (an existing folder, or a name ending in \"/\"). A folder that does not "
            "exist is refused (a disk not mounted?) unless --mkdir is given; devices are refused."),
        QStringLiteral("FILE"));
    QCommandLineOption keepOption(
        QStringLiteral("keep"),
        QStringLiteral("With --backup: FILE is a folder; keep only the newest N backups there (by the time each was "
                       "written; the one just written always stays)."),
        QStringLiteral("N"));
    QCommandLineOption mkdirOption(QStringLiteral("mkdir"),
                                   QStringLiteral("With --backup: make the backup folder when it does not exist."));
    QCommandLineOption scheduledOption(QStringLiteral("scheduled"),
                                       QStringLiteral("With --backup: the run is the timer's (so recorded)."));
    QCommandLineOption failedOption(
        QStringLiteral("note-failed-backup"),
        QStringLiteral("Record that the timer's backup did not finish (its unit failed or timed out), so that the "
                       "console warns at its start."));
    QCommandLineOption restoreOption(
        QStringLiteral("restore"),
        QStringLiteral("Restore the database from FILE, keeping the current call records. Works also when "
                       "data/Switch.mdb is missing or damaged; a damaged file is kept aside."),
        QStringLiteral("FILE"));
    QCommandLineOption operatorOption(
        QStringLiteral("operator"),
        QStringLiteral("With --restore: the operator who restores; asked for when not given. The operator must hold "
                       "\"参数备份与恢复\"; the password is always read from standard input (without echo on a "
                       "terminal; a script writes it there), never from an option or the environment. When the home's "
                       "database is missing or cannot be read there is no operator to check: only the system user who "
                       "owns the home may then restore, and is asked for nothing. --backup needs no operator."),
        QStringLiteral("NAME"));
    QCommandLineOption callsOption(QStringLiteral("with-calls"),
                                   QStringLiteral("With --restore: take the call records of FILE too."));
    parser.addOption(homeOption);
    parser.addOption(backupOption);
    parser.addOption(keepOption);
    parser.addOption(mkdirOption);
    parser.addOption(scheduledOption);
    parser.addOption(failedOption);
    parser.addOption(restoreOption);
    parser.addOption(operatorOption);
    parser.addOption(callsOption);
    QCommandLineOption yesOption(QStringLiteral("yes"),
                                 QStringLiteral("With --restore --with-calls: undo the settlements made since FILE "
                                                "without asking."));
    parser.addOption(yesOption);
    if (!parser.parse(QCoreApplication::arguments())) {
        print(stderr, parser.errorText());
        return 2;
    }
    const QString programDir = QCoreApplication::applicationDirPath();
    const HomePaths home = HomePaths::resolve(parser.value(homeOption), programDir);
    if (parser.isSet(QStringLiteral("help"))) {
        print(stdout, parser.helpText() + QLatin1Char('\n') + home.describe(programDir));
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        print(stdout,
              QStringLiteral("tallowin %1\n").arg(QCoreApplication::applicationVersion()) + home.describe(programDir));
        return 0;
    }
    if (parser.isSet(backupOption) && parser.isSet(restoreOption)) {
        print(stderr, QStringLiteral("--backup 和 --restore 不能同时使用。"));
        return 2;
    }
    if (parser.isSet(operatorOption) && !parser.isSet(restoreOption)) {
        print(stderr, QStringLiteral("--operator 只能和 --restore 一起使用。"));
        return 2;
    }
    if (parser.isSet(callsOption) && !parser.isSet(restoreOption)) {
        print(stderr, QStringLiteral("--with-calls 只能和 --restore 一起使用。"));
        return 2;
    }
    bool keepOk = false;
    const int keep = parser.value(keepOption).toInt(&keepOk);
    if (parser.isSet(keepOption) && (!parser.isSet(backupOption) || !keepOk || keep < 1)) {
        print(stderr, QStringLiteral("--keep N 只能和 --backup 文件夹 一起使用，N 至少为 1。"));
        return 2;
    }
    if (parser.isSet(failedOption)) {
        // Said by the tool itself when it could: that stays.
        const BackupStatus status = ReadBackupStatus(home);
        const QDateTime now = QDateTime::currentDateTime();
        if (status.last && !status.last->ok && status.last->at.secsTo(now) < 3 * 3600)
            return 0;
        const QString text = QStringLiteral("定时备份没有完成（超时、被终止或无法启动）。"
                                            "原因请在终端运行 journalctl --user -u 'tallowin-backup@*' 查看。");
        if (Status s = RecordBackup(home, {now, false, QStringLiteral("定时"), QString(), text}); !s) {
            print(stderr, s.reason());
            return 1;
        }
        print(stderr, text);
        return 0;
    }

    // What a killed backup, restore or console left in the home goes, before anything else.
    RemoveLeftoversAtStart(home);

    if (parser.isSet(backupOption) || parser.isSet(restoreOption)) {
        // A scheduled job mails what it prints: the warning reaches the administrator.
        const QStringList loose = LoosePermissions(home);
        if (!loose.isEmpty())
            print(stderr, QStringLiteral(
                              "警告：以下文件夹或数据库文件其他用户也可以访问（chmod 700 文件夹，chmod 600 文件）：\n")
                              + loose.join(QLatin1Char('\n')));
    }
    if (parser.isSet(backupOption)) {
        BackupRun run;
        run.chosen = parser.value(backupOption);
        run.keep = parser.isSet(keepOption) ? keep : 0;
        run.makeFolder = parser.isSet(mkdirOption);
        run.how = parser.isSet(scheduledOption) ? QStringLiteral("定时") : QStringLiteral("命令行");
        return report(RunBackup(home, run), QStringLiteral("备份失败："));
    }
    if (parser.isSet(restoreOption)) {
        const QString file = parser.value(restoreOption);
        const std::optional<QString> restorer = askRestorer(home, parser.value(operatorOption));
        if (!restorer)
            return 1;
        const std::optional<QByteArray> fileKey = askFileKey(home, file);
        if (!fileKey)
            return 1;
        if (parser.isSet(callsOption)) {
            // Taking the file's call records undoes the settlements made
            // since: named, and asked (or confirmed with --yes) first.
            const auto undone = SettlementsUndoneBy(home, file, *fileKey);
            if (!undone) {
                print(stderr, QStringLiteral("恢复失败：无法读出备份之后的结算：") + undone.reason());
                return 1;
            }
            if (!undone->isEmpty() && !parser.isSet(yesOption)) {
                print(stderr, UndoneSummary(*undone));
                if (!isatty(STDIN_FILENO)) {
                    print(stderr, QStringLiteral("恢复未进行。确认撤销这些结算请加 --yes。"));
                    return 1;
                }
                print(stderr, QStringLiteral("确认撤销这些结算并恢复吗？(y/N) "));
                const QString answer = input().readLine().trimmed();
                if (!answer.startsWith(QLatin1Char('y'), Qt::CaseInsensitive)) {
                    print(stderr, QStringLiteral("恢复未进行。"));
                    return 1;
                }
            }
        }
        return report(RestoreDatabase(home, {file, parser.isSet(callsOption), {}, *fileKey, *restorer}),
                      QStringLiteral("恢复失败："));
    }

    InstallQtTranslations(app);
    QtMessageService messages;
    ReportHomePermissions(home, messages); // a warning; the tool runs on
    // The window's place is kept in the user's own settings; F1 opens the
    // backup tool's part of the console's help.
    DesktopConventions conventions(std::make_unique<QSettings>(), [&](QWidget *window, const QString &) {
        frmHelp::open(home.helpIndex(), window, QStringLiteral("tallowin"), messages);
    });
    conventions.install();
    SystemClock clock;
    ConsoleContext ctx(home, messages, clock);
    tallowin::frmMain window(ctx);
    window.show();
    window.raise();
    window.activateWindow();
    return app.exec();
}
