#pragma once
#include "Status.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace corvane {

class Database;

// The number a port had from one moment to another. An invalid `from` is
// the beginning of the history, an invalid `to` is now.
struct NumberSpan {
    QString port;
    QString number;
    QDateTime from;
    QDateTime to;

    bool isOpen() const { return !to.isValid(); }
    bool contains(const QDateTime &t) const { return (!from.isValid() || t >= from) && (!to.isValid() || t < to); }
};

// Which number each port had when (table NumberHistory of the console's own).
// A call record names its caller by the number it had then; the history finds
// the room (the port) behind it, also after the room was renumbered or two
// rooms exchanged their numbers. Written by the user gateway whenever a
// number changes; a home from before the history starts it with each port's
// number of today, held since the beginning.
class NumberHistory {
public:
    static const QString Name; // "NumberHistory"

    explicit NumberHistory(Database &db) : m_db(db) {}

    // Creates the table when it is missing, and gives every user a span that
    // is open with its number of today (reconcile).
    Status ensure();
    bool exists() const;
    // Every port's open span holds the number the User table gives it; one
    // that differs is closed at `at` and a new one opened (after a restore,
    // a copy from the switch of an older console).
    Status reconcile(const QDateTime &at);
    // The port got a new number at `at`.
    Status renumbered(const QString &port, const QString &number, const QDateTime &at);

    Checked<QList<NumberSpan>> all() const;
    Checked<QList<NumberSpan>> ofPort(const QString &port) const;
    Checked<QList<NumberSpan>> ofNumber(const QString &number) const;

    static QString timeText(const QDateTime &t);

private:
    Checked<QList<NumberSpan>> select(const QString &where, const QVariantList &params) const;

    Database &m_db;
};

// The port whose span of `number` holds the moment `t`, among `spans`.
std::optional<QString> PortHolding(const QList<NumberSpan> &spans, const QString &number, const QDateTime &t);

} // namespace corvane
