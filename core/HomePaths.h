#pragma once
#include <QDir>
#include <QString>

namespace corvane {

// Every file the console reads or writes lives under one home folder.
class HomePaths {
public:
    // How the home was chosen.
    enum class Source { Given, CommandLine, Environment, ProgramFolder, UserData };

    HomePaths() = default;
    explicit HomePaths(const QString &root, Source source = Source::Given)
        : m_root(QDir(root).absolutePath()), m_source(source)
    {}

    // --home DIR, else $CORVANE_HOME, else the folder of the executable when
    // it can hold a home, else the per-user data folder (userDataHome()).
    static HomePaths resolve(const QString &commandLineHome, const QString &programDir);

    // The program's folder holds a home when it is writable and is not the
    // folder of an installed copy (PREFIX/bin beside PREFIX/share/corvane):
    // /usr/bin is writable to root, but data has no place there.
    static bool programFolderHoldsHome(const QString &programDir);
    // The per-user home of both programs: the console's application data
    // location (~/.local/share/corvane, or $XDG_DATA_HOME/corvane).
    static QString userDataHome();
    // For --help and --version: which home is used, why, and how to choose
    // another one.
    QString describe(const QString &programDir) const;

    QString root() const { return m_root; }
    Source source() const { return m_source; }
    QString dataDir() const { return m_root + QStringLiteral("/data"); }
    QString switchDb() const { return dataDir() + QStringLiteral("/Switch.mdb"); }
    QString printDb() const { return dataDir() + QStringLiteral("/print.mdb"); }
    QString ringTxt() const { return dataDir() + QStringLiteral("/Ring.Txt"); }
    QString resourceDir() const { return m_root + QStringLiteral("/resource"); }
    QString resource(const QString &name) const { return resourceDir() + QLatin1Char('/') + name; }
    QString helpDir() const { return m_root + QStringLiteral("/help"); }
    QString helpIndex() const { return helpDir() + QStringLiteral("/index.html"); }
    QString portsDir() const { return m_root + QStringLiteral("/ports"); }
    // The monthly call files of a home set up with --demo (the console writes
    // them wherever its settings say).
    QString callsDir() const { return m_root + QStringLiteral("/calls"); }
    QString quessel() const { return m_root + QStringLiteral("/Quessel.mdb"); }
    // Where the nightly backup timer and the monthly report timer write by default.
    QString backupsDir() const { return m_root + QStringLiteral("/backups"); }
    QString reportsDir() const { return m_root + QStringLiteral("/reports"); }
    // Serial port n (1..16): DIR/ports/COMn when that link exists, else /dev/ttyS<n-1>
    // (unless $CORVANE_PORTS_ONLY is set, as in test runs).
    QString serialDevice(int n) const;

private:
    QString m_root;
    Source m_source = Source::Given;
};

} // namespace corvane
