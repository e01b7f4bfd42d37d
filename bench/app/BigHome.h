#pragma once
// Homes of a busy hotel for the benchmarks: 120 rooms on ten floors of
// twelve, a million call records a year, made once and kept in a cache
// folder outside the checkout, then copied for each run (a run settles, takes
// calls and deletes, so it never works on the cached home itself).
#include "Status.h"

#include <QDate>
#include <QString>

namespace corvane::bench {

struct BigHomePlan {
    int years = 1; // of history, ending on `lastDay`
    int recordsPerYear = 1000000;
    QDate lastDay = QDate(2026, 12, 15);
    QString adminPassword = QStringLiteral("bench");
    QString name() const; // "home-1y", "home-3y"
};

// The cache folder: $CORVANE_BENCH_CACHE, else ~/.cache/corvane-bench.
QString BenchCacheDir();

// The cached home of this size (its root folder), generated when missing:
// - rooms on ports 0 to 119, numbers 800 to 919, groups "1楼" to "10楼";
//   the rooms of the first floor pay by deposit, every room a rent;
// - stays of one to seven days (every tenth room a long stay, settled at the
//   end of each month), settled at the checkout with a ledger row; the stays
//   still open on the last day are not settled, and a record in two
//   thousand came after its checkout and was never settled;
// - call types as a hotel dials them (local and city calls most, some
//   long-distance, mobile and international, incoming calls with seconds);
// - six rooms renumbered and two that exchanged their numbers, with the
//   number history; five accounts; a number no room has any more with calls
//   not settled; four logins a day in the usage record.
// Generation writes into a folder beside the cache and renames it when done.
Checked<QString> EnsureBigHome(const BigHomePlan &plan);

// Copies the home's data folder, resources and help into `target` (made
// anew), with the serial ports of the copy pointing nowhere.
Status CopyHome(const QString &from, const QString &target);

} // namespace corvane::bench
