#pragma once
#include "Money.h"
#include "Status.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

class Database;

// What moved a deposit's money. The texts are what the journal stores and
// what the windows show.
enum class MoneyKind {
    Opening,         // "期初": the balance a deposit had when the journal began
    DepositPaid,     // "交押金": the deposit raised
    TopUp,           // "续交押金": an amount added to the deposit
    DepositLowered,  // "退押金": the deposit lowered, the difference handed back
    CallCharged,     // "话费": a call charged (its PHNBill row)
    ChargeGivenBack, // "话费退回": the charge of a call that is no longer billed
    RentCharged,     // "月租": a month's rent charged at a settlement
    RentWaived,      // "免月租": a month's rent waived (amount 0.00)
    SettledCharges,  // "结算补计": a settled call the deposit had not been charged for
    Refund,          // "结算退款": money handed back at a settlement
    Collection,      // "结算收款": money taken at a settlement
    DepositUsed,     // "押金抵扣": a part settlement paid out of the deposit
    Closed,          // "注销": the deposit given up (payment type "普通", account deleted)
    Undone,          // "撤销结算": a settlement a restore undid (amount 0.00)
};
QString kindText(MoneyKind kind);
std::optional<MoneyKind> kindOf(const QString &text);

// Whose money: an extension's deposit (by its physical port) or an account's
// (by its three-digit number).
struct MoneyOwner {
    bool account = false;
    QString key; // the port, or the account number ("012")

    QString kindText() const; // "分机" or "账号"
    QString describe(const QString &number) const;
    bool operator==(const MoneyOwner &o) const { return account == o.account && key == o.key; }
};
size_t qHash(const MoneyOwner &o, size_t seed = 0);

// One movement of a deposit or an account's money. Rows are only appended;
// the sequence orders them, whatever the clock said.
struct JournalRow {
    qint64 seq = 0;
    QDateTime at;
    QString operatorName;
    MoneyOwner owner;
    QString number; // the extension's number (or "账号012") at that time
    MoneyKind kind = MoneyKind::Opening;
    Money amount;       // what it did to the balance
    Money balanceAfter; // the balance after it
    Money depositDelta; // what it did to the deposit paid
    Money depositAfter;
    QString cls;             // the class it set, or empty
    qint64 billRowId = -1;   // the PHNBill row, for a call
    qint64 ledgerRowId = -1; // the SettleLedger row, for a settlement
    QString month;           // "2026-12", for a rent
    QString note;
};

// The money journal (table MoneyJournal of the console's own): one row for
// every movement of a deposit's balance or deposit paid, written in the
// transaction of the change it records by the deposit gateway and by nothing
// else. A deposit's balance is the sum of its journal's amounts, its deposit
// paid the sum of the deposit deltas.
class MoneyJournal {
public:
    static const QString Name; // "MoneyJournal"

    explicit MoneyJournal(Database &db) : m_db(db) {}

    // Creates the table when it is missing. A home from before the journal
    // gets one opening row per deposit, with its balance and deposit paid.
    // Tells whether it was created now.
    Checked<bool> ensure();
    bool exists() const;

    Checked<QList<JournalRow>> all() const;
    Checked<QList<JournalRow>> after(qint64 seq) const;
    Checked<QList<JournalRow>> of(const MoneyOwner &owner) const;
    Checked<qint64> lastSeq() const;

    // What each deposit's journal adds up to.
    struct Sums {
        Money balance;
        Money deposit;
        qint64 rows = 0;
        QString lastKind;
    };
    Checked<QHash<MoneyOwner, Sums>> sums() const;

    // The deposit a call's charge went to and the amount, for these PHNBill
    // rows: a call charged, charged at a settlement, less what was given back.
    // Rows charged to no deposit are absent.
    Checked<QHash<qint64, Money>> chargesOf(const QList<qint64> &billRowIds, const MoneyOwner &owner) const;

    // The net charge each of these PHNBill rows made, to whichever deposit.
    struct BillCharge {
        qint64 bill = -1;
        MoneyOwner owner;
        Money amount; // what the call cost the deposit (positive)
    };
    Checked<QList<BillCharge>> chargesByBill(const QList<qint64> &billRowIds) const;
    // PHNBill rows charged by journal rows after `seq`.
    Checked<QList<qint64>> chargedBillsAfter(qint64 seq) const;
    // The deposits a settlement (its SettleLedger row) moved.
    Checked<QList<MoneyOwner>> ownersOfLedger(qint64 ledgerRowId) const;

    // Whether the rent of `month` ("2026-12") was charged or waived for this
    // deposit (the row that did it).
    Checked<std::optional<JournalRow>> rentDealtWith(const MoneyOwner &owner, const QString &month) const;

    // Deposits whose balance or deposit paid differs from their journal, and
    // journals whose deposit is gone while they still hold money: one line each,
    // for the operator. Never mended here.
    Checked<QStringList> mismatches() const;

    static QStringList columnNames();
    static QString monthText(const QDate &day); // "2026-12"

private:
    friend class DepositTable;
    // Appends a row; seq, balanceAfter and depositAfter are filled from the
    // journal's state. Only the deposit gateway writes the journal.
    Checked<JournalRow> append(JournalRow row, Money balanceBefore, Money depositBefore);

    Database &m_db;
};

} // namespace corvane
