#pragma once
#include "CallRec.h"
#include "RateBook.h"

namespace corvane {

class Database;

// Prices calls from a cached RateBook of the open database, so that a call
// does not read three tables afresh. The cache must never be stale: an edit of
// a rate, discount or holiday applies to the very next call. Three things mark
// it stale:
//  - invalidate(), which the windows call after writing those tables;
//  - a counter that temporary triggers on Feerate, Discount and Holiday raise
//    on every insert, update and delete through this connection, so a write
//    that forgets to call invalidate() is still seen;
//  - PRAGMA data_version, which moves when another connection commits.
// If the triggers cannot be put in place (a table is missing), nothing is
// trusted and the tables are read for every call.
class FeeEngine {
public:
    explicit FeeEngine(Database &db);
    ~FeeEngine();
    FeeEngine(const FeeEngine &) = delete;
    FeeEngine &operator=(const FeeEngine &) = delete;

    void invalidate() { m_fresh = false; }

    // The current snapshot, re-read first when anything changed.
    const RateBook &rateBook();

    void ComputeFee(CallRec &rec);
    DiscountFactor GetDiscountFactor(const QString &endTime, const QString &callType);

    // How many times the tables have been read (for tests and diagnostics).
    int loadCount() const { return m_loads; }

private:
    bool changedSinceLoad();
    bool watch();
    // Counter value and whether every trigger is still there; nullopt on error.
    std::optional<std::pair<qint64, qint64>> currentStamp();

    Database &m_db;
    RateBook m_book;
    bool m_fresh = false;
    bool m_watching = false;
    std::pair<qint64, qint64> m_stamp{-1, -1}; // data_version, change counter
    int m_loads = 0;
};

} // namespace corvane
