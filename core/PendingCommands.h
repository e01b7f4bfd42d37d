#pragma once
#include "Database.h"
#include "Status.h"
#include "StoreResult.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace corvane {

// A command for the switch that a committed change owes it, kept in
// Switch.mdb until the switch is known to have it.
struct PendingCommand {
    enum class Kind { Star, Hex, Clock };
    static constexpr int DefaultGapMs = 100;

    Kind kind = Kind::Star;
    // The star code ("*10*3*201#"), or the hex digit pairs; empty for the clock.
    QString text;
    // The time the switch needs after it before the next command.
    int gapMs = DefaultGapMs;
    // Order in the table (0 before it is kept).
    qint64 seq = 0;
    // A command meant for a moment (a wake-up call) is not sent from that
    // moment on; invalid for every other command.
    QDateTime expires;

    static PendingCommand Star(const QString &code, int gapMs = DefaultGapMs)
    {
        return {Kind::Star, code, gapMs, 0, {}};
    }
    static PendingCommand Clock(int gapMs = DefaultGapMs) { return {Kind::Clock, QString(), gapMs, 0, {}}; }
    // A star code that is of no use once `moment` has come.
    static PendingCommand Until(const QString &code, const QDateTime &moment)
    {
        return {Kind::Star, code, DefaultGapMs, 0, moment};
    }

    // The setting a star code programs: the code without its last value
    // ("*10*3*201#" → "*10*3*"). Two codes with the same key set the same thing.
    static QString settingKey(const QString &code);
};

// The commands waiting for the switch (table CommandPending). A window keeps
// the commands of a change in the transaction that stores the change, so a
// committed change always has its commands waiting; the link sends them in
// the order kept, each with its gap, while the switch answers, and removes
// each once the switch has answered after it. What could not go out waits
// across a closed port, a lost link and a restart.
class PendingCommands {
public:
    static const QString Table;

    explicit PendingCommands(Database &db) : m_db(db) {}

    // Creates the table when it is missing.
    Status ensureTable();
    // Keeps the commands behind everything kept before (in the open
    // transaction when there is one).
    Status keep(const QList<PendingCommand> &commands);
    Status keepStar(const QStringList &codes, int gapMs = PendingCommand::DefaultGapMs);
    // Kept commands after seq, oldest first.
    Checked<QList<PendingCommand>> after(qint64 seq, int limit = -1);
    // All seq numbers still kept, oldest first.
    Checked<QList<qint64>> seqs();
    Status remove(qint64 seq);
    Status remove(const QList<qint64> &seqs);
    Checked<int> count();
    // The commands kept in the table of an attached database (`schema`,
    // "main" for this one), as an operator reads them, oldest first; and all
    // of them removed.
    Checked<QStringList> textsIn(const QString &schema);
    Status clearIn(const QString &schema);

private:
    Database &m_db;
};

// Runs a store and keeps the commands it returns in the same transaction:
// the change and the commands that tell the switch about it are committed
// together or not at all. gapFor gives each command's gap.
StoreResult StoreKept(Database &db, const std::function<StoreResult()> &store,
                      const std::function<int(const QString &)> &gapFor = {});
StoreResult StoreKept(Database &db, const std::function<StoreResult()> &store, int gapMs);

} // namespace corvane
