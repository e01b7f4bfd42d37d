#pragma once
#include "CallIntake.h"
#include "ConsoleContext.h"
#include "FeeEngine.h"
#include "FrameHandlers.h"
#include "PtyPair.h"
#include "SwitchLink.h"
#include "TestBytes.h"
#include "TestHome.h"
#include "TestPrint.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <initializer_list>
#include <memory>

namespace corvane::test {

// A call record of `port` on trunk 1 ending on 8 December at 22:<minute>, as
// the simulated switch builds it (its frames are held against bytes written
// out by hand in the simulator's tests, so this is no copy of the console's
// own checksum). The dialled number defaults to 5551234.
QByteArray callFrame(int port, int minute, int duration, const QString &called = QStringLiteral("5551234"));

// Shows stored calls as a list, newest first.
struct RecordingView : CallIntakeView {
    QList<QStringList> rows;
    void ShowCall(const QStringList &columns) override { rows.prepend(columns); }
};

// Hands call records from the link's dispatcher to the intake; other frames
// are of no interest here.
struct IntakeHandlers : FrameHandlers {
    CallIntake *intake = nullptr;
    int ProcessCallRecord(const QByteArray &frame) override { return intake->ProcessCallRecord(frame); }
};

// A console on a temporary home with a new database, the link to the switch
// and the outward port on pseudo-terminals (COM1, COM2), and the intake.
struct IntakeEnv {
    explicit IntakeEnv(const QDateTime &now = QDateTime(QDate(2026, 12, 8), QTime(23, 45, 0)));
    ~IntakeEnv();

    // Commands the console wrote to the switch since the last call, decoded
    // ("ACK", "*10*1*805#"); told from "not yet" by a marker command.
    QStringList sent();
    // Bytes written on the outward port since the last call (marker likewise).
    QByteArray outward();

    bool exec(const QString &sql, const QVariantList &params = {});
    QList<QStringList> select(const QString &sql, const QVariantList &params = {});
    QList<QStringList> bills();
    // The first row of a table matching column = value (empty when none).
    QStringList rowOf(const QString &table, const QString &column, const QString &value);
    void addDeposit(const QString &port, const QString &number, const QString &balance,
                    const QString &cls = QStringLiteral("4"));
    void setConfig(int column, const QString &value);

    // Makes a new intake (as a restarted console would).
    void restartIntake(const CallIntake::Options &options = {});

    TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    PtyPair switchSide;
    PtyPair outSide;
    std::unique_ptr<SwitchLink> link;
    std::unique_ptr<FeeEngine> fees;
    RecordingView view;
    std::unique_ptr<CallIntake> intake;
    IntakeHandlers handlers;
};

} // namespace corvane::test
