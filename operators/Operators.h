#pragma once
#include "Recordset.h"
#include "Rights.h"
#include "Status.h"
#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;

// Copies the operator named `name` into the login state and logs out.
// Returns whether a row was found; a name with no row leaves the state as it
// was (except the login flag) so that it can never log in.
bool LoadOperator(ConsoleContext &ctx, Recordset &op, const QString &name);
// The same into any login state (a check that logs nobody in).
bool LoadOperator(LoginState &s, Recordset &op, const QString &name);

// Appends the usage row of the login that ends now.
Status AddOperatorRecord(ConsoleContext &ctx);
// Appends a usage row: `who` as the operator column, numbered after the rows
// there are. Callers that change something run it in the change's transaction.
Status AppendOperatorRecord(Database &db, const QString &who, const QString &loginTime, const QString &logoutTime);

// Serial of the n-th usage row: at least five digits, zero-padded.
QString OperatorRecordSerial(qint64 n);

// The rights with the captions of the rights window, in column order.
struct RightCaption {
    Right right;
    QString caption;
};
const QList<RightCaption> &Rights();

enum class GateResult { Allowed, NotLoggedIn, NoRight };
// The gate in front of a working window: granted only by exactly "1".
GateResult CheckRight(const ConsoleContext &ctx, Right right);
GateResult CheckRight(const LoginState &s, Right right);
// The same with the refusal in the words the operator is shown.
Status CheckGate(const ConsoleContext &ctx, Right right);
// Deleting call records: granted, like every right, only by exactly "1"; an
// empty or unreadable column refuses.
Status CheckDeleteBills(const ConsoleContext &ctx);

// Whether `name` with `password` is an operator of `db` holding `right`,
// checked as the login window and the gates check (PasswordHash::verify, the
// right granted only by "1"). A wrong password and a name with no row are
// both refused with "错误的密码！"; a missing right names the operator and the
// right. Nothing is written and nobody is logged in.
Status CheckOperatorRight(Database &db, const QString &name, const QString &password, Right right);

// How many operators of a database hold a right ("1").
Checked<qint64> CountOperatorsWith(Database &db, Right right);

// Sets the password of the operator `name` (the first row of that name) to
// the hash of `password`: that one column of that one row, nothing else.
// Refuses an empty password and a name with no row.
Status ResetPassword(Database &db, const QString &name, const QString &password);
// The same from the command line, with a usage row in the same transaction
// naming the operator, what was done and the system user who did it
// ("管理员（命令行重设密码，系统用户 alice）"), at `stamp` for both times.
Status ResetPasswordRecorded(Database &db, const QString &name, const QString &password, const QString &systemUser,
                             const QString &stamp);

// The login window's work on the OP table, which it holds open while it is
// shown: the names to choose from, logging in, and the password change.
class OperatorLogin {
public:
    explicit OperatorLogin(ConsoleContext &ctx);

    QStringList names();
    // Logs the operator in when the password is the stored one (see
    // PasswordHash); refuses with "错误的密码！" otherwise, also for a name
    // with no row. A row holding a plain password is given its hash.
    Status logIn(const QString &name, const QString &password);
    // Loads the operator whose password is to be changed.
    Status loadForChange(const QString &name);
    // Writes a password in its stored form (storedPassword) to the loaded
    // operator's row; once it is written it is also the login state's OPCode.
    Status storePassword(const QString &stored);

    // The checks of the change window, in the order they are made. The old
    // password is refused under "密码错误", the new one under "输入有误".
    // `current` is the stored form (OPCode).
    static Status checkOldPassword(const QString &typed, const QString &current);
    static Status checkNewPassword(const QString &password, const QString &confirm);
    // The form a new password is stored in (OPCode, OP column 1): its hash.
    static Checked<QString> storedPassword(const QString &password);

private:
    ConsoleContext &m_ctx;
    Recordset m_op;
};

} // namespace corvane
