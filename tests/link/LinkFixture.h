#pragma once
#include "TestBytes.h"
#include "ConsoleContext.h"
#include "FrameHandlers.h"
#include "SwitchLink.h"
#include "TestHome.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>

namespace corvane::test {


// A call-record frame with a correct checksum; `seq` varies the body so that
// records can be told apart.
QByteArray callRecord(int seq);

// Records every frame handed to it. The call record is checked like the real
// intake does (sum of bytes 1..21 against byte 22) and consumed whole only
// when the sum fits. A hook may run inside any handler.
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
