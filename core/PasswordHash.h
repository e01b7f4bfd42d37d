#pragma once
#include "Status.h"
#include <QString>

namespace corvane {

// Operator passwords as they are kept in OP column 1: a salted, slow hash in
// libsodium's self-describing string ("$argon2id$v=19$m=…,t=…,p=1$salt$hash"),
// never the password itself. Switch.mdb is opened with the same key on every
// installation, so a copied file must not tell who may settle bills.
//
// Rows written before passwords were hashed still hold the password itself;
// such a row is recognised because it lacks the algorithm tag, is compared
// exactly, and is replaced by its hash at the next successful login.
namespace PasswordHash {

// How much work a new hash costs. Production uses libsodium's interactive
// limits (a fraction of a second, 64 MiB); the test programs lower it to the
// minimum so that the many databases they create stay quick. A stored hash
// carries its own cost, so either verifies under both settings.
enum class Cost { Interactive, Minimum };
void setCost(Cost cost);
Cost cost();

// The stored form of a new password; fails only when the library cannot
// work (no memory for the hash).
Checked<QString> hash(const QString &password);

// Whether a stored value is a hash string (by its algorithm tag) rather than
// a password kept as it was typed.
bool isHashed(const QString &stored);

// Whether the typed password is the one stored: a hash is verified by the
// library, a plain value compared exactly (case-sensitive, no trimming). An
// empty stored value matches nothing.
bool verify(const QString &stored, const QString &typed);

// Whether a stored value should be replaced at the next successful login: a
// plain password, or a hash made with other limits than the current ones.
bool needsUpgrade(const QString &stored);

} // namespace PasswordHash
} // namespace corvane
