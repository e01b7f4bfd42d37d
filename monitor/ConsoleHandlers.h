#pragma once
#include "FrameHandlers.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace corvane {

class ConsoleContext;
class SwitchLink;
class TrunkMonitor;

// The receivers the console installs on the link: trunk and caller-ID frames
// go to the TrunkMonitor, call records to the call-record intake.
//
// Until the intake has set its handler, a call record is consumed whole and
// not acknowledged, so the switch keeps it and sends it again later.
class ConsoleHandlers : public QObject, public FrameHandlers {
    Q_OBJECT
public:
    using CallRecordHandler = std::function<int(const QByteArray &frame)>;

    explicit ConsoleHandlers(TrunkMonitor &trunks, QObject *parent = nullptr);
    ~ConsoleHandlers() override;

    TrunkMonitor &trunks() const { return m_trunks; }

    // The call-record intake: returns the bytes to consume (23, or 1 on a
    // bad checksum) and acknowledges the record itself.
    void setCallRecordHandler(CallRecordHandler handler) { m_callRecord = std::move(handler); }
    bool hasCallRecordHandler() const { return bool(m_callRecord); }

    // Makes these the link's frame handlers (and forgets the link when it goes).
    void attachTo(SwitchLink &link);

    int ProcessCallRecord(const QByteArray &frame) override;
    void OnTrunkReleased(const QByteArray &frame) override;
    void OnTrunkSeized(const QByteArray &frame) override;
    void OnCallerId(const QByteArray &frame) override;
    void OnTrunkRinging(const QByteArray &frame) override;
    void OnTrunkUserChange(const QByteArray &frame) override;
    void OnTrunkDialled(const QByteArray &frame) override;
    void OnTrunkAnswer(const QByteArray &frame) override;

private:
    TrunkMonitor &m_trunks;
    CallRecordHandler m_callRecord;
    QPointer<SwitchLink> m_link;
};

} // namespace corvane
