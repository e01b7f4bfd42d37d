#pragma once
#include <QDir>
#include <QString>

namespace corvane {

// Every file the console reads or writes lives under one home folder.
class HomePaths {
public:
    HomePaths() = default;
    explicit HomePaths(const QString &root) : m_root(QDir(root).absolutePath()) {}

    // --home DIR, else $CORVANE_HOME, else the folder of the executable.
    static HomePaths resolve(const QString &commandLineHome, const QString &programDir);

    QString root() const { return m_root; }
    QString dataDir() const { return m_root + QStringLiteral("/data"); }
    QString switchDb() const { return dataDir() + QStringLiteral("/Switch.mdb"); }
    QString printDb() const { return dataDir() + QStringLiteral("/print.mdb"); }
    QString ringTxt() const { return dataDir() + QStringLiteral("/Ring.Txt"); }
    QString resourceDir() const { return m_root + QStringLiteral("/resource"); }
    QString resource(const QString &name) const { return resourceDir() + QLatin1Char('/') + name; }
    QString helpDir() const { return m_root + QStringLiteral("/help"); }
    QString helpIndex() const { return helpDir() + QStringLiteral("/index.html"); }
    QString portsDir() const { return m_root + QStringLiteral("/ports"); }
    QString quessel() const { return m_root + QStringLiteral("/Quessel.mdb"); }
    // Serial port n (1..16): DIR/ports/COMn when that link exists, else /dev/ttyS<n-1>
    // (unless $CORVANE_PORTS_ONLY is set, as in test runs).
    QString serialDevice(int n) const;

private:
    QString m_root;
};

} // namespace corvane
