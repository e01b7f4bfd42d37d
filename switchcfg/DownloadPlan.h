#pragma once
#include "Status.h"
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

class Database;

// One command of a long send to the switch, with the time the switch is given
// after it before the next command goes out.
struct SwitchCommand {
    enum class Kind {
        StarCode, // text is the star code as keyed: "*32*120#"
        Clock     // the clock-setting command, built from the clock when it is sent; text is empty
    };
    Kind kind = Kind::StarCode;
    QString text;
    int gapMs = 100;

    bool operator==(const SwitchCommand &o) const { return kind == o.kind && text == o.text && gapMs == o.gapMs; }
};

struct DownloadPlan {
    QList<SwitchCommand> commands;
    // Settings that could not be keyed and were left out, in words.
    QStringList notes;

    // Time the whole send takes, gaps included.
    qint64 totalMs() const;
    // The star codes alone, in order.
    QStringList starCodes() const;
};

// "数据库参数下传至交换机": every setting the database holds for the switch, as
// the ordered list of commands and the pause after each: 0.1 s normally,
// 10 s after the extension number length ("*04*"), 0.2 s after a trunk's
// virtual operators are cleared ("*12*0*"), and the extra 0.1 s wherever the
// order pauses although a command was left out. Besides the settings of the
// classic order it sets those the parameter dump does not carry, so that a
// download leaves nothing the comparison cannot see behind: each
// extension's "*15*" switch (after its caller display) and, last, the call
// accounts (class and trunk group, open, dialling password).
//
// Rows are taken by their keys (extension by physical port, trunk by trunk
// number, IP entry by its number); a value that has no position in its list
// of choices, or an empty value where a command needs one, leaves that
// command out and says so in the notes instead of keying a foreign text into
// the switch. Refused when the configuration row is missing or its capacity
// is not a number from 0 to 120.
Checked<DownloadPlan> BuildDownload(Database &db);

} // namespace corvane
