#pragma once
#include "Status.h"
#include <QStringList>
#include <utility>

namespace corvane {

// What a store did: whether the database took it (with the reason when it did
// not) and the star codes that tell the switch about it. The window sends the
// commands only when the store succeeded, so the switch never learns a value
// the tables do not hold.
struct [[nodiscard]] StoreResult {
    Status status;
    QStringList commands;
    // Rows came, went or moved: the grid showing the table must be filled afresh.
    bool refill = false;
    // What the operator is told once the store has succeeded (a class given
    // back, say); empty for nothing.
    QString notice;

    StoreResult() = default;
    StoreResult(Status s, QStringList codes = {}, bool refillGrid = false) // NOLINT: a plain status is a store
        : status(std::move(s)), commands(std::move(codes)), refill(refillGrid)
    {}

    explicit operator bool() const { return bool(status); }
};

} // namespace corvane
