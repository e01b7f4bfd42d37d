#pragma once
#include "ConsoleContext.h"
#include "FrameHandlers.h"
#include "SwitchLink.h"
#include "TestBytes.h"
#include "TestHome.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>

namespace corvane::test {

// Call-record frames written out by hand, each with its checksum (the sum of
// bytes 1 to 21 modulo 256) worked out by hand in LinkFixture.cpp. Some carry
// non-zero spare bytes (offsets 17 to 21), which the checksum covers too.
const QList<QByteArray> &callRecords();
// The k-th of them, taken round (k modulo their number).
QByteArray callRecord(int k);

// Records every frame handed to it. It stands in for the intake: a call
// record is taken (23 bytes) when it is one of the hand-written records and
// refused (1 byte) otherwise, as the intake refuses a record whose checksum
// does not fit: a corrupted copy, or a false frame that noise formed. A hook
// may run inside any handler.
class RecordingHandlers : public FrameHandlers {
public:
    struct Call {
        QString name;
        QByteArray frame;
    };
    QList<Call> calls;
    std::function<void(const QString &name, const QByteArray &frame)> hook;
    int depth = 0;
    int maxDepth = 0;

    QStringList names() const;
    QList<QByteArray> frames() const;

    int ProcessCallRecord(const QByteArray &frame) override;
    void OnTrunkReleased(const QByteArray &f) override { record(QStringLiteral("OnTrunkReleased"), f); }
    void OnTrunkSeized(const QByteArray &f) override { record(QStringLiteral("OnTrunkSeized"), f); }
    void OnCallerId(const QByteArray &f) override { record(QStringLiteral("OnCallerId"), f); }
    void OnTrunkRinging(const QByteArray &f) override { record(QStringLiteral("OnTrunkRinging"), f); }
    void OnTrunkUserChange(const QByteArray &f) override { record(QStringLiteral("OnTrunkUserChange"), f); }
    void OnTrunkDialled(const QByteArray &f) override { record(QStringLiteral("OnTrunkDialled"), f); }
    void OnTrunkAnswer(const QByteArray &f) override { record(QStringLiteral("OnTrunkAnswer"), f); }

private:
    void record(const QString &name, const QByteArray &frame);
};

// A console context on a temporary home with the configuration table, a test
// clock, scripted message boxes and a link with recording handlers.
struct LinkEnv {
    LinkEnv();
    ~LinkEnv();

    // Writes column `col` of the configuration row.
    void setConfig(int col, const QString &value);
    QString config(int col);

    TestHome home;
    ScriptedMessageService messages;
    TestClock clock;
    std::unique_ptr<ConsoleContext> ctx;
    std::unique_ptr<SwitchLink> link;
    RecordingHandlers handlers;
};

} // namespace corvane::test
