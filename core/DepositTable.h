#pragma once
#include "Money.h"
#include "MoneyJournal.h"
#include "Status.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;
struct TableRows;
struct UserRow;
struct AccountRow;

// The columns of a prepaid deposit (table Foregift), in stored order.
enum class DepositField {
    Key,    // 物理端口: the extension's physical port, or the account number
    Number, // 用户号码: the extension's number, or the word "账号" for an account
    Name,
    Class,
    Balance,    // money left
    Deposit,    // deposit paid
    Password,   // dialling password, or empty
    PasswordOn, // "√" while the password is in force
};
constexpr int DepositFieldCount = int(DepositField::PasswordOn) + 1;

// One deposit row as stored, with its row id.
struct DepositRow {
    qint64 rowId = -1;
    QStringList values = QStringList(QList<QString>(DepositFieldCount));

    QString get(DepositField f) const { return values.value(int(f)); }
    void set(DepositField f, const QString &v) { values[int(f)] = v; }

    QString key() const { return get(DepositField::Key).trimmed(); }
    QString number() const { return get(DepositField::Number).trimmed(); }
    bool isAccount() const;
    MoneyOwner owner() const { return {isAccount(), key()}; }
    Money balance() const { return Money::fromText(get(DepositField::Balance)); }
    Money deposit() const { return Money::fromText(get(DepositField::Deposit)); }
    // Whether it still holds money (a balance or a deposit paid).
    bool holdsMoney() const { return !balance().isZero() || !deposit().isZero(); }
};

// A class that a movement of money changed, in the tables; the commands
// tell the switch and the notice the operator.
struct ClassMove {
    QString cls;
    QStringList commands;
    QString notice;
};

// What a settlement does to one deposit (or to a caller without one, whose
// deposit and balance are 0.00): the calls settled, what the deposit had
// been charged for them already, the rent, and whether it settles everything
// the caller owes (full) or a part (a time range, some call types).
struct SettlementMoney {
    Money deposit; // held before
    Money balance; // before
    Money settled; // the settled calls' totals
    Money charged; // of that, already charged to the deposit
    Money rent;    // the month's rent charged now
    bool full = true;
    Money collect;      // 应收: taken from the caller
    Money refund;       // 应退: handed back
    Money balanceAfter; // 0.00 after a full settlement
    Money depositAfter; // 0.00 after a full settlement; less what a part used
    Money total() const { return settled + rent; }

    // The one rule for collecting and refunding. The calls not yet charged
    // and the rent come off the balance; a full settlement then hands the
    // balance back (or collects what it lacks) and leaves nothing held; a
    // part settlement pays the settled amount out of the deposit paid
    // (collecting what the deposit cannot cover) and leaves the balance with
    // what is still open.
    static SettlementMoney of(Money deposit, Money balance, Money settled, Money charged, Money rent, bool full);
};

// The one place that reads and writes the deposits. An extension's deposit
// row is found by its port, whatever its number is today, and is not an
// account's; an account's by its number and the word "账号". A deposit row
// follows its user: a new number, name or class of the user is written into
// it too.
//
// Every movement of money is a row of the money journal, written here in the
// transaction of the movement and nowhere else; the balance and deposit paid
// of a row are the sums of its journal. Money columns are written by the
// movements below only. A balance that runs below 0.00 demotes the extension
// or account (DemotedClass remembers the class it had), in the tables at
// once and in the switch by the commands returned; a balance 0.00 or more
// again gives that class back.
class DepositTable {
public:
    static const QString Name;        // "Foregift"
    static const QString AccountWord; // "账号"

    explicit DepositTable(Database &db) : m_db(db) {}

    Checked<QList<DepositRow>> all() const;
    Checked<TableRows> rows() const;
    Checked<std::optional<DepositRow>> byRowId(qint64 rowId) const;
    Checked<std::optional<DepositRow>> ofExtension(const QString &port) const;
    // `account` as stored in the Account table ("012").
    Checked<std::optional<DepositRow>> ofAccount(const QString &account) const;
    Checked<std::optional<DepositRow>> of(const MoneyOwner &owner) const;

    // A call charged to a deposit (its PHNBill row): the balance lowered by
    // the fee, and when it runs out (below zero; exactly zero is not) the
    // extension or account demoted.
    struct Charged {
        Money balance;
        bool overrun = false;
        QStringList commands; // the demotion, for the switch
    };
    Checked<Charged> charge(const DepositRow &row, Money fee, qint64 billRowId, const QString &demoteClass);

    // "押金" set to `deposit`: the balance moves by the difference (a lower
    // deposit hands the difference back), so the calls already charged stay
    // charged. A top-up adds `amount` to both.
    struct Moved {
        DepositRow now;
        Money change;  // + taken from the caller, - handed back
        ClassMove cls; // a demotion or a class given back, when there was one
    };
    Checked<Moved> changeDeposit(const DepositRow &row, Money deposit, const QString &demoteClass);
    Checked<Moved> topUp(const DepositRow &row, Money amount, const QString &demoteClass);
    // What a change of "押金" does, for the question asked before it:
    // "押金由500.00改为200.00，退还300.00元；余额437.50→137.50".
    static QString changeText(const DepositRow &row, Money deposit);
    static QString topUpText(const DepositRow &row, Money amount);

    // One caller's part of a settlement, in the settlement's transaction:
    // the rent charged or waived for `rentMonth`, the settled calls the
    // deposit had not been charged for (PHNBill row → amount), then what is
    // refunded or collected. A full settlement leaves 0.00 and gives the
    // class after settlement (the remembered class is forgotten); a part
    // keeps the deposit for what is still open.
    struct Settling {
        SettlementMoney money;
        qint64 ledgerRowId = -1;
        QString rentMonth; // "2026-12"
        bool rentWaived = false;
        QList<QPair<qint64, Money>> uncharged;
        QString settleClass; // SWTConfig column 1
        QString demoteClass;
    };
    Checked<ClassMove> settle(const DepositRow &row, const Settling &s);

    // Call records that are no longer billed (deleted before settlement):
    // the charges they made to deposits are given back. Returns the class
    // commands when a deposit comes out of debt.
    Checked<QStringList> giveBackCharges(const QList<qint64> &billRowIds, const QString &note);

    // The class an extension or account had when it was demoted (a table of
    // the console's own, written with the demotion), so that it can be given
    // back when the balance is 0.00 or more again.
    Checked<std::optional<QString>> demotedFrom(const DepositRow &row) const;
    static const QString DemotionTable; // "DemotedClass"

    // Writes the given columns of one row, and only those. Balance and
    // deposit paid are refused: money moves only by the movements above.
    Status write(qint64 rowId, const QList<QPair<DepositField, QString>> &fields);
    // The user on `port` changed: the same change goes into its deposit row,
    // when it has one (number, name or class).
    Status followUser(const QString &port, const QList<QPair<DepositField, QString>> &fields);
    // The account changed: likewise (name, class or password).
    Status followAccount(const QString &account, const QList<QPair<DepositField, QString>> &fields);

    // New deposit rows: a user's (port, number, name, class, "0.00", "0.00",
    // no password, "×") and an account's (number, "账号", name, class, "0.00",
    // "0.00", its password, "√"). Nothing is added when one exists already.
    Status addForUser(const UserRow &user);
    Status addForAccount(const AccountRow &account);
    // A deposit given up (payment type "普通", the account deleted): what it
    // still held is handed back, recorded as its journal's last row.
    Status removeOfExtension(const QString &port);
    Status removeOfAccount(const QString &account);

    // After a restore: the journal rows the restored file does not hold
    // (sequence after `fileLastSeq`) are replayed onto its deposits, in order:
    // money and classes (in the deposit and its user or account); a deposit
    // taken since comes whole from the replaced database (attached as
    // `current`), one given up since goes. Without a journal in the file every deposit
    // is brought to what its journal adds up to. `withCalls`: the calls
    // charged since that the restored PHNBill no longer holds are given
    // back, and the settlements `undone` (ledger rows) are recorded as undone.
    struct Replayed {
        qint64 rows = 0;
        qint64 deposits = 0;
        qint64 givenBack = 0;
        QStringList commands; // classes for the switch (the restore keeps them)
    };
    Checked<Replayed> replayJournal(std::optional<qint64> fileLastSeq, bool withCalls,
                                    const QList<QPair<qint64, QString>> &undone, const QString &current);
    // After a restore from a database that kept no journal: the balances and
    // deposits paid of the attached database `schema` (the one the restore
    // replaced) are kept for every deposit both have, and a deposit only it
    // has is taken whole.
    struct Kept {
        qint64 kept = 0;
        qint64 added = 0;
    };
    Checked<Kept> keepMoneyFrom(const QString &schema);

    static QString columnName(DepositField f);
    static QStringList columnNames();

private:
    Checked<std::optional<DepositRow>> first(const QString &where, const QVariantList &params) const;
    Checked<JournalRow> record(const DepositRow &row, JournalRow entry);
    Status setMoney(const DepositRow &row, Money balance, Money deposit);
    // Demotion and giving back, in the deposit row, its user or account and
    // DemotedClass.
    Checked<ClassMove> demote(const DepositRow &row, const QString &demoteClass);
    Checked<ClassMove> giveBackClass(const DepositRow &row);
    Checked<ClassMove> followBalance(const DepositRow &row, Money before, Money after, const QString &demoteClass);
    Status setClass(const DepositRow &row, const QString &cls);
    Status setOwnerClass(const MoneyOwner &owner, const QString &cls);
    Status forgetDemotion(const DepositRow &row);
    QString numberOf(const DepositRow &row) const;

    Database &m_db;
};

} // namespace corvane
