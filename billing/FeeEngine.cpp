#include "FeeEngine.h"

#include "Database.h"

namespace corvane {

namespace {

const char *const kWatchedTables[] = {"Feerate", "Discount", "Holiday"};
const char *const kEvents[] = {"INSERT", "UPDATE", "DELETE"};
constexpr int kTriggerCount = 9;

QString triggerName(const char *table, const char *event)
{
    return QStringLiteral("corvane_rates_%1_%2").arg(QLatin1String(table), QString::fromLatin1(event).toLower());
}

} // namespace

FeeEngine::FeeEngine(Database &db) : m_db(db) {}

FeeEngine::~FeeEngine()
{
    // The triggers and the counter live in this connection's temporary schema;
    // they are shared with any other engine on the same connection, so they stay.
}

bool FeeEngine::watch()
{
    if (!m_db.isOpen())
        return false;
    bool ok = bool(m_db.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS corvane_rates_generation(n INTEGER)")));
    ok = ok
         && m_db.exec(QStringLiteral("INSERT INTO temp.corvane_rates_generation(n) SELECT 0 "
                                     "WHERE NOT EXISTS (SELECT 1 FROM temp.corvane_rates_generation)"));
    for (const char *table : kWatchedTables) {
        for (const char *event : kEvents) {
            if (!ok)
                break;
            ok = bool(m_db.exec(
                QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS %1 AFTER %2 ON main.%3 "
                               "BEGIN UPDATE corvane_rates_generation SET n = n + 1; END")
                    .arg(triggerName(table, event), QLatin1String(event), Database::quoteId(QLatin1String(table)))));
        }
    }
    return ok;
}

std::optional<std::pair<qint64, qint64>> FeeEngine::currentStamp()
{
    const auto version = m_db.scalar(QStringLiteral("PRAGMA data_version"));
    const auto rows = m_db.select(QStringLiteral(
        "SELECT n, (SELECT count(*) FROM sqlite_temp_master WHERE type = 'trigger' AND name LIKE 'corvane_rates_%') "
        "FROM temp.corvane_rates_generation"));
    if (!version || !rows || rows->isEmpty() || rows->first().size() < 2)
        return std::nullopt;
    // A table dropped and made again takes its triggers with it.
    if (rows->first().at(1).toInt() != kTriggerCount)
        return std::nullopt;
    return std::make_pair(version->toLongLong(), rows->first().at(0).toLongLong());
}

bool FeeEngine::changedSinceLoad()
{
    if (!m_fresh || !m_watching)
        return true;
    const auto stamp = currentStamp();
    return !stamp || *stamp != m_stamp;
}

const RateBook &FeeEngine::rateBook()
{
    if (!changedSinceLoad())
        return m_book;

    m_watching = watch();
    const auto before = m_watching ? currentStamp() : std::nullopt;
    m_watching = m_watching && before.has_value();

    RateTables tables;
    const bool complete = tables.load(m_db);
    m_book = RateBook(tables);
    ++m_loads;
    // A partial read prices this call as well as it can and is read again next time.
    m_fresh = complete;
    if (before)
        m_stamp = *before;
    return m_book;
}

void FeeEngine::ComputeFee(CallRec &rec) { rateBook().price(rec); }

DiscountFactor FeeEngine::GetDiscountFactor(const QString &endTime, const QString &callType)
{
    return rateBook().discountFactor(endTime, callType);
}

} // namespace corvane
