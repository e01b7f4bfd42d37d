#pragma once
#include "AccountTable.h"
#include "ConfigTable.h"
#include "DepositTable.h"
#include "GridEdit.h"
#include "Recordset.h"
#include "StoreResult.h"
#include "UserTable.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

namespace corvane {

class Database;

// The extension users, their groups, the deposits and the accounts as the
// "用户参数设置" window edits them, without the window: the recordsets held
// open while it is open, the rule of every cell, the checks, the writes and
// the star codes each write sends.
//
// Every write names its rows by their key (a user by its port, a deposit by
// port and user number, an account by its number) or by the row id of the
// grid row that was clicked, and writes only the columns it changes, so a
// balance or a class the call intake lowered meanwhile is never put back.
class UserParameters {
public:
    static constexpr int UserGridColumns = 15; // User columns 0 to 14 are shown
    static constexpr int MaxAccount = 511;
    static const QString Ordinary;    // "普通"
    static const QString Prepaid;     // "押金"
    static const QString AccountWord; // "账号", 用户号码 of an account's deposit row

    // marks: "×" and "√".
    UserParameters(Database &db, QStringList marks);
    ~UserParameters();

    const QStringList &marks() const { return m_marks; }

    // ---- configuration ------------------------------------------------------------
    int capacity() const;       // extensions in use, at most 120
    int passwordLength() const; // digits of a dialling password
    int numberLength() const;   // digits of an extension number

    // ---- users ----------------------------------------------------------------------
    // The users on ports 0 .. capacity - 1 in port order: grid row r shows port r - 1.
    Checked<TableRows> users();
    qint64 userRowId(int index) const;
    CellRule userRule(int col) const;
    // Choices of a cyclic column (for the value list), empty for the others.
    QStringList userChoices(int col) const;
    // A value typed for a text column (number, name, time limit, rent), in
    // the form it is stored in, or the reason it is refused.
    Checked<QString> checkUserValue(int col, const QString &text) const;

    struct PortRange {
        int first = 0;
        int last = 0;
        int step() const { return last < first ? -1 : 1; }
        int count() const { return (last < first ? first - last : last - first) + 1; }
    };
    // Two whole ports between 0 and capacity - 1, in either order.
    Checked<PortRange> checkRange(const QString &first, const QString &last) const;

    // One value for one column over a range of ports, checked as a whole
    // before anything is written: a renumbering gives port first + k the
    // number value + k × step, and every one of those numbers must be free,
    // not negative and within the configured length.
    struct AmendPlan {
        int col = -1;
        PortRange range;
        QStringList values; // per step, in the order of the range
        int port(int k) const { return range.first + k * range.step(); }
    };
    Checked<AmendPlan> planAmend(int col, const PortRange &range, const QString &value) const;
    // Users of the plan whose deposit still holds money and would be dropped
    // (a change to "普通"): "805（余额12.50元）".
    QStringList depositsAtRisk(const AmendPlan &plan) const;
    // Step k of a plan: the port's own User row and its deposit row in one
    // transaction, and the star codes for the switch.
    StoreResult amendPort(const AmendPlan &plan, int k);
    // amendPort with its commands kept in the same transaction.
    StoreResult amendPortKept(const AmendPlan &plan, int k);
    Database &database() const { return m_db; }
    // The star codes of one column's value for one extension.
    QStringList userCommands(int col, const QString &port, const QString &number, const QString &value) const;

    // ---- groups ----------------------------------------------------------------------
    Checked<QStringList> groups() const;
    // One item per port 0 .. capacity - 1: number "--" name.
    QStringList userItems();
    // Per item: whether that user belongs to the group.
    QList<bool> membersOf(const QString &group);
    // The name trimmed, or the reason it is refused (length, duplicate).
    Checked<QString> checkNewGroup(const QString &name);
    Status addGroup(const QString &name);
    // The selected users join the group; its members who are not selected
    // leave it; nobody else changes.
    Status saveGroup(const QString &group, const QList<bool> &selected);
    // The group and every membership of it.
    Status deleteGroup(const QString &group);

    // ---- deposits ---------------------------------------------------------------------
    // The deposits in the order set last: room order (extensions by port,
    // then accounts by number) until a column is chosen.
    Checked<TableRows> deposits();
    // Sorts the deposits by a column (numbers by value, ties in room order);
    // the same column again turns the order round. -1 is room order.
    void sortDeposits(int column);
    int depositSortColumn() const { return m_depositSort; }
    Qt::SortOrder depositSortOrder() const { return m_depositOrder; }
    qint64 depositRowId(int index) const;
    CellRule depositRule(const GridCell &cell) const;
    Checked<QString> checkDeposit(const GridCell &cell, const QString &text) const;
    // Column 5 (the deposit held set anew: the balance moves by the
    // difference, a balance in debt demotes and one out of debt gets its
    // class back), 6 (password, mirrored to the account) or 7 (password
    // mark: a new random password or none).
    StoreResult storeDeposit(const GridCell &cell, const QString &value);
    // What a change of "押金" to `deposit` does, for the question before it.
    QString depositChangeText(qint64 rowId, const QString &deposit) const;
    // "续交押金": an amount added to the deposit held and to the balance.
    Checked<QString> checkTopUp(const QString &text) const;
    StoreResult topUpDeposit(qint64 rowId, const QString &amount);
    QString topUpText(qint64 rowId, const QString &amount) const;
    // The last movement of a deposit's money (for its slip).
    Checked<std::optional<JournalRow>> lastMovement(qint64 rowId) const;
    // What the password column shows after a store of the mark.
    QString depositPassword(qint64 rowId) const;

    // ---- accounts ---------------------------------------------------------------------
    Checked<TableRows> accounts();
    qint64 accountRowId(int index) const;
    CellRule accountRule(const GridCell &cell) const;
    Checked<QString> checkAccount(const GridCell &cell, const QString &text) const;
    StoreResult storeAccount(const GridCell &cell, const QString &value);
    // The highest free number from 511 down, three digits.
    Checked<QString> nextAccountNumber() const;
    StoreResult addAccount();
    StoreResult deleteAccount(qint64 rowId);
    // The money a deposit row of this account still holds, when it holds any.
    std::optional<QString> accountMoney(qint64 rowId) const;

    // Byte length of a text in the system's code page (GB18030): a Chinese
    // character counts two.
    static int byteLength(const QString &text);

private:
    ConfigRow config() const;
    std::optional<QString> depositMoney(const QString &port, bool account) const;

public:
    DepositRow shownDeposit(qint64 rowId) const;

private:
    AccountRow shownAccount(qint64 rowId) const;

    // The rows the grids show, as read last.
    QList<UserRow> m_userRows;
    QList<DepositRow> m_depositRows;
    QList<AccountRow> m_accountRows;
    TableRows m_shownUsers;
    TableRows m_shownDeposits;
    TableRows m_shownAccounts;
    int m_depositSort = -1;
    Qt::SortOrder m_depositOrder = Qt::AscendingOrder;

    Database &m_db;
    QStringList m_marks;
};

// Runs one amendment port by port: each port's rows are written, its star
// codes queued, and the next port follows once they have gone to the switch,
// so a call record that comes in between is charged on what the tables hold
// and a demotion it sends is never overtaken by an older command. Without a
// link (or for columns the switch does not hold) every port is written at
// once; a change of one port ends as soon as its commands are queued.
class SwitchLink;
class CommandBatch;

class UserAmendRun : public QObject {
    Q_OBJECT
public:
    UserAmendRun(UserParameters &params, UserParameters::AmendPlan plan, SwitchLink *link, QObject *parent = nullptr);

    const UserParameters::AmendPlan &plan() const { return m_plan; }
    int done() const { return m_next; }
    bool isRunning() const { return m_running; }
    // Writes step 0 at once (its outcome is returned), the rest as the
    // commands go out.
    Status start();
    // Writes every remaining port now and queues all their commands in one
    // batch (the window is closing; the change must still reach the switch).
    void finishNow();

signals:
    // After port `port` was written (or its write failed).
    void stepped(int done, int total, int port, const QString &value, const Status &status);
    void finished(const Status &status);

private:
    Status runStep();
    void advance();
    void end(const Status &s);

    UserParameters &m_params;
    UserParameters::AmendPlan m_plan;
    SwitchLink *m_link;
    int m_next = 0;
    bool m_running = false;
    QObject *m_waitingOn = nullptr;
};

} // namespace corvane
