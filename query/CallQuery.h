#pragma once
#include "BillTable.h"
#include "DepositTable.h"
#include "MoneyJournal.h"
#include "PrintStore.h"
#include "Status.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
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

// Numbers that still have records not settled but belong to no room: no
// user has them today and the number history gives them to no port (a user
// gone, numbers changed before the history began). Listed after the users as
// "805--（已停用）" and chosen like them; with groups, those of these groups.
// Their records are settled without a deposit.
Checked<QStringList> StrandedCallers(Database &db, const QStringList &groups = {});
QString StrandedName(); // "（已停用）"

// The settlement states for optBill 0, 1, 2: both, "未结算", "已结算".
QStringList StatesFor(int billOption);
QString settledText();
QString notSettledText();

// The moment an end time stands for. PHNBill holds two forms:
// "2026年12月09日10时30分" (call records, to the minute) and
// "2026年12月09日10:30:00" (incoming calls); nullopt for anything else.
std::optional<QDateTime> EndTimeMoment(QStringView text);

struct Criteria {
    // Calling numbers as chosen: a user's number today stands for the room
    // (its port) and every number the room had, by the number history; an
    // account as "账号012"; any other number as itself.
    QStringList callers;
    // Rooms already resolved (a caller text → its port), so that a list
    // settled after a renumbering still names the same rooms.
    QHash<QString, QString> ports;
    QList<int> types;   // call-type codes 0..9
    QStringList states; // "未结算" and/or "已结算"
    // The time range, both ends included; without one every date qualifies.
    std::optional<QDateTime> begin, end;
    bool waiveRent = false; // "免去本月月租费"
    // For a settlement: only records not yet settled are listed and summed,
    // whatever the states say.
    bool settling = false;
    // The day whose month's rent is listed: rent is charged once per room and
    // month.
    QDate day = QDate::currentDate();
};

// One room of a list (an extension by its port, an account, or a number no
// room has), with its records and what settling them moves.
struct Room {
    QString caller; // the fee row's number: the room's number today, "账号012", or the number itself
    QString port;   // the extension's port; empty for an account or a number no room has
    MoneyOwner owner;
    bool held = false;     // it has a deposit row
    QList<qint64> records; // main row ids, in table order
    // Chosen records the deposit was not charged for, with the amount.
    QList<QPair<qint64, Money>> uncharged;
    SettlementMoney money;
    QString rentMonth;       // "2026-12"
    bool rentWaived = false; // waived by this list
};

// The records a criteria choose, in table order: the listed row (with its
// main row id), the fee row per room they build, as BuildPrintData stores
// them, and the rooms beside the fee rows (same order).
struct Chosen {
    QList<BillRow> bills;
    QList<FeeRow> fees;
    QList<Room> rooms;
    int settledLeftOut = 0; // records the states chose that a settlement leaves out
};

// The fee column (col::PrintFee) a record's call charge goes to, by its call
// type: codes 0-3 long distance, 4-5 local, 6-8 city, 9 incoming; -1 for none.
int FeeColumnOf(const QString &typeCode);
// Adds one record to a fee row: its charge to the column of its type, its
// handling and service fees, its total.
void AddRecord(FeeRow &fee, const BillRecord &record);

// Chooses the records. Each room's money is worked out as a settlement
// would move it (SettlementMoney): the rent of the month unless charged or
// waived for that month already, what the deposit was charged for the
// records, and whether the list holds every record of the room still open
// (a full settlement) or a part.
//
// With a sink, the chosen records go to it one by one (a list of a million
// records is never held as BillRows) and Chosen::bills stays empty; when the
// sink refuses one, the choice stops and is refused with CancelledText().
class BillSink {
public:
    virtual ~BillSink();
    // The seven listed columns (as BillRow::listed()) and the main row id.
    virtual bool add(qint64 mainRowId, const std::array<QStringView, 7> &listed) = 0;
};
Checked<Chosen> Choose(Database &db, const Criteria &criteria, BillSink *sink = nullptr);
QString CancelledText(); // "已取消"

// Chooses the records and replaces the contents of print.mdb with them in one
// step. Returns the number of listed records; `chosen`, when given, gets
// what was chosen.
Checked<int> BuildPrintData(Database &db, PrintStore &store, const Criteria &criteria, Chosen *chosen = nullptr);

// Chooses the records into `list` (Chosen::bills stays empty) and replaces
// the contents of print.mdb with them and the fee rows, in one pass over the
// records: the way a worker builds a list of any size. Stops, refused with
// CancelledText() and print.mdb left as it was, once `cancelled` says so.
Checked<Chosen> ListInto(Database &db, PrintStore &store, const Criteria &criteria, BillList &list,
                         const std::function<bool()> &cancelled = {});

// The rent note of a fee row: "2026年12月：本月月租费已于12月15日结算" and the like.
QString RentNote(const QString &month, const QString &what);

} // namespace CallQuery
} // namespace corvane
