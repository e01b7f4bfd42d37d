#pragma once
#include <QString>
#include <QStringList>

class QWidget;

namespace corvane {

class ConsoleContext;
class Recordset;

// Copies the operator named `name` into the login state and logs out.
// Returns whether a row was found; a name with no row leaves the state as it
// was (except the login flag) so that it can never log in.
bool LoadOperator(ConsoleContext &ctx, Recordset &op, const QString &name);

// Appends the usage row of the login that ends now.
bool AddOperatorRecord(ConsoleContext &ctx);

// Serial of the n-th usage row: at least five digits, zero-padded.
QString OperatorRecordSerial(qint64 n);

// The rights, in the order of the OP columns 2..12.
struct Right {
    int index;
    QString caption;
};
const QList<Right> &Rights();

enum class GateResult { Allowed, NotLoggedIn, NoRight };
// The gate in front of a working window (rights 0 to 9).
GateResult CheckRight(const ConsoleContext &ctx, int right);
// Shows the gate's message when refused; returns whether the window may open.
bool PassGate(ConsoleContext &ctx, int right, QWidget *parent = nullptr);
// Right 10 (deleting call records) is refused only for an explicit "0".
bool MayDeleteBills(ConsoleContext &ctx, QWidget *parent = nullptr);

} // namespace corvane
