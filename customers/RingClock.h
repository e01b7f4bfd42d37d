#pragma once
#include "Recordset.h"
#include "Status.h"
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

namespace corvane {

class ConsoleContext;

// One pending wake-up call: the extension number and the moment it rings.
struct RingAlarm {
    QString number;
    QDateTime moment;
    bool operator==(const RingAlarm &o) const { return number == o.number && moment == o.moment; }
};

// The extension alarm clock: the switch rings the extension, the console
// sends the command and keeps the list of pending alarms for the operator,
// stored between uses in data/Ring.Txt.
//
// Ring.Txt: one line per alarm in list order (the top first), GB18030, the
// number and the moment each in double quotes, separated by a comma, ended by
// CR LF: "801","2026-12-09 07:30". The date is written year first, which
// reads back as a date on any desktop whatever its locale; a date in the
// slash form of older files ("2026/12/9 7:30") is read too.
class RingClock {
public:
    // Opens User and SWTConfig for the number checks while the window is open.
    explicit RingClock(ConsoleContext &ctx);

    // The number check of both buttons: the trimmed number when User has it and
    // its physical port is below the capacity, else the refusal.
    Checked<QString> checkNumber(const QString &typed) const;

    // Sets the alarm of a valid number to the next occurrence of `time`
    // (today if that minute is still to come, else tomorrow): the item of
    // that extension is updated, or a new one goes to the top. Returns the
    // star code to send, "*34*" number "*" HHMM "#", or the refusal.
    Checked<QString> setAlarm(const QString &typedNumber, const QTime &time);
    // Clears the alarm of a valid number, listed or not. Returns "*34*"
    // number "*0#", or the refusal.
    Checked<QString> clearAlarm(const QString &typedNumber);

    // The moment of a listed extension's alarm (invalid when none is listed).
    QDateTime momentOf(const QString &number) const;

    // The list, the top first.
    const QList<RingAlarm> &alarms() const { return m_alarms; }

    // Reads Ring.Txt, keeping the alarms still to come. A missing file is an
    // empty list. Lines that are damaged (no quotes, a moment that is no
    // date, bytes that are not GB18030) are passed over one by one and
    // counted in damagedLines().
    void load();
    int damagedLines() const { return m_damaged; }
    // Writes the whole list to Ring.Txt. The old file stays as it was until
    // the new one is complete, so a failed write loses nothing that was there.
    Status save() const;

    // The pieces, for the window and the tests.
    static QDateTime nextOccurrence(const QDateTime &now, const QTime &time);
    static QString setCode(const QString &number, const QTime &time);
    static QString clearCode(const QString &number);
    static QString formatMoment(const QDateTime &moment);
    static QDateTime parseMoment(const QString &text); // invalid when it is no date and time
    static QByteArray encodeFile(const QList<RingAlarm> &alarms);
    // The alarms of a file's bytes, in file order, those after `now` only.
    static QList<RingAlarm> decodeFile(const QByteArray &bytes, const QDateTime &now, int *damaged = nullptr);

private:
    ConsoleContext &m_ctx;
    QList<RingAlarm> m_alarms;
    int m_damaged = 0;
};

} // namespace corvane
