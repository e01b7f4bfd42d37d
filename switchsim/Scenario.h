#pragma once
#include "Frames.h"
#include <QList>
#include <QString>
#include <optional>

// A scenario: timed things the switch does on its own (rings, caller numbers,
// answers, releases, call records). Text format, one statement a line:
//   # comment
//   at <seconds> <action> key=value ...
//   repeat <seconds>
// The full format is in SCENARIO.md and in `switchsim --help`.
namespace corvane::sim {

struct ScenarioEvent {
    enum Kind {
        Ring,
        CallerId,
        Seize,
        Dial,
        Takeover,
        Answer,
        Release,
        Record,
        Fault,
        LinkRequest,
        Raw,
        Silence,
        SetByte
    };
    Kind kind = Ring;
    qint64 atMs = 0; // from the start of the cycle
    int line = 0;    // line in the scenario text, for messages
    int trunk = 0;
    int port = 0;
    QString digits; // caller number or dialled digits
    CallRecordData record;
    bool recordEndNow = true; // end time is the switch's time when the record is made
    quint8 code = 0;          // fault code
    QByteArray raw;           // raw bytes
    bool on = true;           // silence on/off
    int block = 0;            // SetByte: parameter memory block, offset and new value
    int offset = 0;
    quint8 value = 0;
};

struct Scenario {
    QList<ScenarioEvent> events; // in time order; equal times keep their text order
    qint64 repeatMs = 0;         // 0: play once

    // Parses the text; on a mistake returns nothing and sets error to "line N: ...".
    static std::optional<Scenario> parse(const QString &text, QString *error = nullptr);
    static std::optional<Scenario> load(const QString &path, QString *error = nullptr);

    // The format description shared by --help and SCENARIO.md's summary.
    static QString formatHelp();
};

// A change of one byte of the parameter memory, written "B:O=HH" (block,
// offset, hex value), as the --set option takes it. Nothing on a mistake.
std::optional<ScenarioEvent> parseMemorySetting(const QString &text, QString *error = nullptr);

} // namespace corvane::sim
