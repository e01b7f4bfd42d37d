#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QString>

namespace corvane {

// Who may restore the home's database.
//
// While the home's operator table can be read, its operators decide: an
// operator holding "参数备份与恢复" (right 8) gives name and password, checked
// as the login window checks them. A rescue onto a database that is missing
// or cannot be read has no operator to check against; it is left to the
// system user who owns the home (who could put any file in its place anyway)
// and refused to every other user. A backup asks for nobody.
struct RestoreGate {
    bool operators = false; // the home's operators can be read: one must log in
    QString systemUser;     // who runs the tool
    // Set when the restore is refused before anyone is asked (a rescue by a
    // user who does not own the home).
    QString refusal;
};
RestoreGate RestoreGateOf(const HomePaths &home);

// The check of the restore's gate: the operator's name and password when
// gate.operators (ignored otherwise). Returns the usage row's operator column
// for the restore ("张三（恢复数据库：命令行，系统用户 alice）", or
// "系统用户 alice（恢复数据库：命令行，原数据库无法读取）"); `how` is "命令行" or
// "窗口". Refused with the reason, nothing written.
Checked<QString> CheckRestorer(const HomePaths &home, const RestoreGate &gate, const QString &name,
                               const QString &password, const QString &how);

} // namespace corvane
