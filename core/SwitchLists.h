#pragma once
#include "Status.h"

#include <QList>
#include <QString>

namespace corvane {

class Database;

// The lists the switch keeps by appending: the virtual operators of a trunk
// ("*12*"), the agent operators ("*49*"), the special-service numbers
// ("*19*") and the local-network prefixes ("*20*"). A command that adds to
// one of them adds again when it is sent twice, so such a command is never
// sent again on its own once it is unknown whether the switch got it: the
// whole list is written anew from the database instead, the clear first.
namespace SwitchLists {

// One command of a list, with the time the switch needs after it.
struct Command {
    QString code;
    int gapMs = 100;
    bool operator==(const Command &o) const { return code == o.code && gapMs == o.gapMs; }
};

// The list a star code changes: "12*3" for the virtual operators of trunk 3,
// "49", "19" or "20"; empty for a code that changes no list.
QString listOf(const QString &code);

// The whole list as the database holds it now: the clear, then one command
// for each entry, in the order a full download sends them. Entries the
// switch could not take (a port without a number, a prefix that is no
// number) are left out, as the download leaves them out.
Checked<QList<Command>> rewrite(Database &db, const QString &list);

} // namespace SwitchLists
} // namespace corvane
