#pragma once
#include "BillTable.h"
#include "PrintStore.h"
#include "Status.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;

// The choice of stored call records behind the query window, and the copy of
// the chosen records with their fee rows into print.mdb.
namespace CallQuery {

// How lstUser is filled and how its selected items name callers.
enum class SelectMode {
    Common,  // "正常选定": extensions, "800--张三"
    Group,   // "分组选定": group names
    Account, // "账号选定": accounts, "012--前台"
};

// The items of lstUser for a mode: extensions (user number "--" name, at most
// the user capacity of SWTConfig), group names, or accounts (number "--" name).
Checked<QStringList> FillList(Database &db, SelectMode mode);

// The calling numbers the selected items stand for, each exactly as PHNBill
// column 0 holds it: the user number of an extension item (the text before
// "--"), the user numbers of every user whose group (trimmed) is one of the
// selected names, or "账号" and the three-digit number of an account item.
Checked<QStringList> CallersFor(Database &db, SelectMode mode, const QStringList &selectedItems);

// Numbers that still have records not settled but belong to no user any
// more (a renumbered extension, a user gone): listed after the users as
// "805--（已停用）" and chosen like them; with groups, those of these groups.
// Their records are settled without a deposit: the deposit stays with the
// user, under its number of today.
Checked<QStringList> StrandedCallers(Database &db, const QStringList &groups = {});
QString StrandedName(); // "（已停用）"

// The settlement states for optBill 0, 1, 2: both, "未结算", "已结算".
QStringList StatesFor(int billOption);
QString settledText();
QString notSettledText();

// The moment an end time stands for. PHNBill holds two forms:
// "2026年12月09日10时30分" (call records, to the minute) and
// "2026年12月09日10:30:00" (incoming calls); nullopt for anything else.
std::optional<QDateTime> EndTimeMoment(const QString &text);

struct Criteria {
    QStringList callers; // exact calling numbers
    QList<int> types;    // call-type codes 0..9
    QStringList states;  // "未结算" and/or "已结算"
    // The time range, both ends included; without one every date qualifies.
    std::optional<QDateTime> begin, end;
    bool waiveRent = false; // "免去本月月租费"
    // For a settlement: only records not yet settled are listed and summed,
    // whatever the states say.
    bool settling = false;
    // The day the rent is for: rent is charged once per caller and month.
    QDate day = QDate::currentDate();
};

// The records a criteria choose, in table order: the listed row (with its
// main row id) and the fee row they build, as BuildPrintData stores them.
struct Chosen {
    QList<BillRow> bills;
    QList<FeeRow> fees;
    int settledLeftOut = 0; // records the states chose that a settlement leaves out
};

// The fee column (col::PrintFee) a record's call charge goes to, by its call
// type: codes 0-3 long distance, 4-5 local, 6-8 city, 9 incoming; -1 for none.
int FeeColumnOf(const QString &typeCode);
// Adds one record to a fee row: its charge to the column of its type, its
// handling and service fees, its total.
void AddRecord(FeeRow &fee, const BillRecord &record);

// The deposit behind a caller: an extension's by the port of its user, an
// account's by its number. No deposit row: all zero.
struct DepositSide {
    QString port;      // the user's port, empty for an account or a number no user has
    bool held = false; // a deposit row exists
    Money deposit;
    Money balance;
};
Checked<DepositSide> DepositOf(Database &db, const QString &caller);

// The rent of a caller for the month of `day`: the rent asked for, unless the
// ledger shows rent charged to the caller (by its port for an extension) in
// that month; then none, and the note says why.
struct Rent {
    Money amount;
    QString note;
};
Checked<Rent> RentOf(Database &db, const QString &caller, const QString &port, Money rent, const QDate &day);

// Fills the deposit columns of a fee row and what is collected or refunded:
// the deposit held less the total.
void SetDeposit(FeeRow &fee, const DepositSide &side);
Checked<Chosen> Choose(Database &db, const Criteria &criteria);

// Chooses the records and replaces the contents of print.mdb with them in one
// step. Returns the number of listed records.
// `settledLeftOut`, when given, is told how many records a settlement left out
// because they were settled already.
Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria, int *settledLeftOut = nullptr);

} // namespace CallQuery
} // namespace corvane
