#pragma once
#include <QString>
#include <QStringList>

namespace corvane {

// Who is logged in and what that operator may do.
struct LoginState {
    static constexpr int RightCount = 11;

    bool OPLogin = false;
    QString OPName;
    QString OPCode;
    QStringList OPRight = QStringList(QList<QString>(RightCount, QString()));
    QString OPLoginTime;
    QString OPLogoutTime;

    QString right(int i) const { return (i >= 0 && i < OPRight.size()) ? OPRight.at(i) : QString(); }
    bool isAdministrator() const { return OPLogin && OPName == administratorName(); }
    static QString administratorName() { return QStringLiteral("管理员"); }
};

} // namespace corvane
