#pragma once
#include "CallFileCopy.h"
#include "CallRec.h"
#include "DepositTable.h"
#include "Status.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;
class FeeEngine;

// Where the intake shows a stored call: the outgoing call list and the count
// of new records. An interface so the intake runs without a window in tests
// and benchmarks.
class CallIntakeView {
public:
    virtual ~CallIntakeView() = default;
    // Columns: caller, called, end time, duration, area, rate, fee, trunk.
    virtual void ShowCall(const QStringList &columns) = 0;
};

// Takes the call records the switch sends, prices them, charges deposits,
// stores them and acknowledges them.
//
// A record is acknowledged only after everything it changes in the database
// (the deposit, a lowered class, the PHNBill row) is committed in one
// transaction. When that fails nothing is kept and nothing acknowledged: the
// switch sends the record again and it is stored once the fault is gone. The
// operator is told in one box (StoreFailedKey) whose count each resend raises,
// not in one box per resend.
//
// The switch also sends a record again when our acknowledgement was lost. It
// sends its records in order and holds one unacknowledged record at a time,
// resending that one until it is acknowledged; so a resend is always the same
// frame as the last record taken. A frame identical to the last record taken
// (inside the window) is that repeat: acknowledged again, neither stored nor
// charged a second time. Any other frame is a call of its own, however much it
// resembles an older record: two short calls to a busy number with another
// record between them are two calls.
//
// Two identical genuine calls sent back to back (same line, trunk, end minute,
// duration, number and spare bytes) cannot be told from a resend; the second
// is taken for a repeat. The switch gives nothing that tells them apart.
//
// The last frame taken is kept in a table of the intake's own, written in the
// same transaction as the record, so a console killed between the commit and
// the acknowledgement still knows the resend after its restart.
//
// The copies of a record, its line of the monthly file (CallFileCopy) and its
// outward record (OutwardQueue), are kept in the record's transaction too and
// written out after the commit; what a killed console had not written out yet
// follows at the next start (and after a repeat), so every stored record
// reaches its file once and the outward port in order.
class CallIntake {
public:
    struct Options {
        // How long after it was taken the last frame still counts as taken. A
        // resend follows within seconds, or after the console was down; a new
        // call with the same bytes must have ended in the same minute of the
        // same day, so the window only keeps a record of a long-gone day from
        // swallowing a new one.
        qint64 seenWindowMs = 24 * 60 * 60 * 1000;
    };

    // Table of the last frame taken (not one of the switch tables). Homes made
    // by earlier consoles hold the frames of the last minutes there; the
    // newest of them is the last frame taken, and the others are cleared out
    // with the next record stored.
    static const QString SeenTable;
    // Key of the notice that a record could not be stored.
    static const QString StoreFailedKey;

    CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view = nullptr);
    CallIntake(ConsoleContext &ctx, FeeEngine &fees, CallIntakeView *view, const Options &options);

    void setView(CallIntakeView *view) { m_view = view; }

    // Handles one whole frame (sync byte first). Returns the bytes to consume:
    // 1 when the checksum is wrong (nothing is sent; the sync byte is dropped),
    // else 23, whether the record was stored, was a repeat or could not be
    // stored for now.
    int ProcessCallRecord(const QByteArray &frame);

    // The record handled last, as priced and stored.
    const CallRec &currentRecord() const { return m_rec; }

    enum class Outcome { BadChecksum, Stored, Repeat, Failed };
    Outcome lastOutcome() const { return m_lastOutcome; }

    // Creates the table of frames seen when it is missing; the constructor
    // tries it, and every record tries again while it is missing.
    bool EnsureSeenTable();

    // The lines of the monthly files kept and not yet written.
    CallFileCopy &callFile() { return m_file; }

private:
    struct Effects {
        QStringList starCodes; // demotions, sent once the record is committed
        QString group;         // PHNBill columns 12 and 13
        QString name;
        QString filePath;      // monthly file, empty when none is configured
        QString endTimeDigits; // end time as the outward copy carries it
    };

    Outcome storeRecord(const QByteArray &frame, Effects &fx, QString &why);
    // The deposit of the caller (if any), with the caller text, group and
    // name the record is stored with.
    Checked<std::optional<DepositRow>> resolveAccount(int account, Effects &fx);
    Checked<std::optional<DepositRow>> resolveExtension(int port, Effects &fx);
    // The outward copy of the record, kept in the record's transaction.
    Status keepOutward(const Effects &fx);
    void afterCommit(const Effects &fx);
    // Writes the kept lines of the monthly files; a fault is told once.
    void flushCallFile();
    void reportStoreFailure(const QString &why);

    ConsoleContext &m_ctx;
    FeeEngine &m_fees;
    CallIntakeView *m_view;
    Options m_options;
    CallRec m_rec;
    CallFileCopy m_file;
    Outcome m_lastOutcome = Outcome::Stored;
    bool m_seenTableReady = false;
    // The file faults reported last; empty once every kept line is written.
    QString m_fileFaultShown;
};

} // namespace corvane
