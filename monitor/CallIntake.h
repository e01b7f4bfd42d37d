#pragma once
#include "CallRec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane {

class ConsoleContext;
class ConsoleHandlers;
class FeeEngine;
class frmMain;

// Where the intake shows a stored call: the outgoing call list and the count
// of new records. An interface so the intake runs without a window in tests
// and benchmarks.
class CallIntakeView {
public:
    virtual ~CallIntakeView() = default;
    // Columns: caller, called, end time, duration, area, rate, fee, trunk.
    virtual void ShowCall(const QStringList &columns) = 0;
};

// The main window as the view: a row on top of ListViewOut (cut back to the
// newest 100 once it holds more than 200) and panel 4 "新话单数：" + rows.
class MainWindowCallView : public CallIntakeView {
public:
    explicit MainWindowCallView(frmMain &window) : m_window(window) {}
    void ShowCall(const QStringList &columns) override;

private:
    frmMain &m_window;
};

// Takes the call records the switch sends, prices them, charges deposits,
// stores them and acknowledges them.
//
// A record is acknowledged only after everything it changes in the database
// (the deposit, a lowered class, the PHNBill row) is committed in one
// transaction. When that fails nothing is kept and nothing acknowledged: the
// switch sends the record again and it is stored once the fault is gone. The
// operator is told once per fault, not once per resend.
//
// The switch also sends a record again when our acknowledgement was lost. Such
// a repeat is recognised by its frame bytes, acknowledged again and neither
// stored nor charged a second time. The frames seen recently are kept in a
// table of the intake's own, written in the same transaction as the record.
class CallIntake {
public:
    struct Options {
        // How long and how many frames a record counts as already taken.
        qint64 seenWindowMs = 10 * 60 * 1000;
        int seenLimit = 1000;
    };

    // Table of the frames taken recently (not one of the switch tables).
    static const QString SeenTable;

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

private:
    struct Effects {
        QStringList starCodes;   // demotions, sent once the record is committed
        QString group;           // PHNBill columns 12 and 13
        QString name;
        QString filePath;        // monthly file, empty when none is configured
    };

    Outcome storeRecord(const QByteArray &frame, Effects &fx, QString &why);
    bool chargeAccount(int account, const QString &demoteClass, Effects &fx);
    bool chargeExtension(int port, const QString &demoteClass, Effects &fx);
    void afterCommit(const Effects &fx, const QString &endTimeDigits);
    void appendCallFile(const QString &path);
    void reportStoreFailure(const QString &why);

    ConsoleContext &m_ctx;
    FeeEngine &m_fees;
    CallIntakeView *m_view;
    Options m_options;
    CallRec m_rec;
    Outcome m_lastOutcome = Outcome::Stored;
    bool m_seenTableReady = false;
    // Set while a fault has been reported and no record was stored since.
    bool m_storeFaultShown = false;
    bool m_fileFaultShown = false;
};

// The intake of the running console: its pricing engine, the main window as
// its view, and the intake itself, all owned by the main window; call records
// reaching the console's frame handlers go to it from now on.
CallIntake *InstallCallIntake(ConsoleContext &ctx, frmMain &main, ConsoleHandlers &handlers);

} // namespace corvane
