#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QString>

namespace corvane {

// What state the home's Switch.mdb is in, as far as a restore and the
// console's start care.
struct DatabaseCondition {
    enum class State {
        Sound,      // opens with the key, holds the tables and passes its check
        Missing,    // there is no file: nothing, a link that leads nowhere (a disk not
                    // mounted) or a folder in its place
        Unreadable, // the key does not open it, or it is not this system's database
        Damaged,    // it opens, but its integrity check finds problems
    };
    State state = State::Sound;
    // What is wrong, in words for the operator (the file, and up to five
    // problems found); empty when sound.
    QString problem;
    // The same in a few words ("已损坏"), for a line that names the file.
    QString summary;
    // Today's call records, deposits and seen frames can be read in full,
    // so a restore can keep them.
    bool callsReadable = false;
    // The operators' usage record can be read in full.
    bool usageReadable = false;
    // Something stands where the database should be (a dead link, a
    // folder) or beside it (the logs of a killed console): a restore moves
    // it aside, never deletes it, and never lets a log meet the new file.
    bool leftovers = false;

    bool sound() const { return state == State::Sound; }
};

// How far CheckDatabase looks: the key, the header and the tables only
// (moments, for the console's start), or every page as well (seconds on a
// history of years: beside the console, before a backup or a restore).
enum class CheckDepth { Quick, Full };

// Looks at the home's database without writing to it (a write-ahead log it
// finds is merged, as any program's last connection does; the journal mode
// stays). Refused when the look itself failed for a reason of this machine
// (no permission, a read error, a restore holding the file), which says
// nothing about the file.
Checked<DatabaseCondition> CheckDatabase(const HomePaths &home, CheckDepth depth = CheckDepth::Full);

// How the operator gets a database back from a backup: the backup tool's
// command line for this home, or its window.
QString HowToRestoreText(const HomePaths &home);

} // namespace corvane
