#include "PasswordHash.h"
#include <QByteArray>
#include <atomic>
#include <sodium.h>

namespace corvane::PasswordHash {

namespace {

std::atomic<Cost> g_cost{Cost::Interactive};

bool ready()
{
    // sodium_init may be called any number of times; 1 means it had run already.
    static const bool ok = sodium_init() >= 0;
    return ok;
}

unsigned long long opsLimit()
{
    return cost() == Cost::Minimum ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
}

size_t memLimit() { return cost() == Cost::Minimum ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE; }

} // namespace

void setCost(Cost c) { g_cost = c; }
Cost cost() { return g_cost; }

Checked<QString> hash(const QString &password)
{
    if (!ready())
        return Checked<QString>::refuse(QStringLiteral("密码加密库无法初始化"));
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()), opsLimit(), memLimit())
        != 0)
        return Checked<QString>::refuse(QStringLiteral("密码加密所需的内存不足"));
    return QString::fromLatin1(out);
}

bool isHashed(const QString &stored)
{
    // libsodium's own tags: argon2id (what it writes) and argon2i (what it still verifies).
    return stored.startsWith(QLatin1String("$argon2id$")) || stored.startsWith(QLatin1String("$argon2i$"));
}

bool verify(const QString &stored, const QString &typed)
{
    if (stored.isEmpty())
        return false;
    if (!isHashed(stored))
        return stored == typed;
    if (!ready())
        return false;
    const QByteArray h = stored.toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size())) == 0;
}

bool needsUpgrade(const QString &stored)
{
    if (!isHashed(stored))
        return true;
    if (!ready())
        return false;
    const QByteArray h = stored.toLatin1();
    // 1: made with other limits than the current ones; -1: not a string the
    // library understands, which a fresh hash also mends.
    return crypto_pwhash_str_needs_rehash(h.constData(), opsLimit(), memLimit()) != 0;
}

} // namespace corvane::PasswordHash
