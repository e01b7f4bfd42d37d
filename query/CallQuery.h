#pragma once
#include "PrintStore.h"
#include "Status.h"

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
};

// The records a criteria choose, in table order: the listed row (with its
// main row id) and the fee row they build, as BuildPrintData stores them.
struct Chosen {
    QList<BillRow> bills;
    QList<FeeRow> fees;
};
Checked<Chosen> Choose(Database &db, const Criteria &criteria);

// Chooses the records and replaces the contents of print.mdb with them in one
// step. Returns the number of listed records.
Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria);

} // namespace CallQuery
} // namespace corvane
