#pragma once
#include "HomePaths.h"
#include "Status.h"
#include <QString>

namespace corvane {

// The advisory lock that says "a program is working on this home's database".
// The console holds it for its whole run; the backup tool takes it for a
// restore. It is a lock (flock) on data/Switch.lock, and for the console on
// the data folder too (a deleted lock file does not free it), so the system drops it
// when the holder ends in any way, a kill included: a lock left behind by a
// dead program does not exist. The descriptor is not inherited by programs the
// holder starts, so the backup tool started by the console does not keep the
// console's lock alive.
//
// A restore also holds the second lock, on data/Restore.lock, which tells a
// backup (allowed beside a running console) that the database is being
// replaced.
class HomeLock {
public:
    enum class Kind { Console, Restore };

    explicit HomeLock(Kind kind = Kind::Console) : m_kind(kind) {}
    ~HomeLock() { release(); }
    HomeLock(const HomeLock &) = delete;
    HomeLock &operator=(const HomeLock &) = delete;

    static QString lockFile(const HomePaths &home, Kind kind = Kind::Console);
    // Whether a restore is running on the home now.
    static bool restoreRunning(const HomePaths &home);

    // Takes the lock without waiting. Fails with the reason when another
    // program holds it or the lock file cannot be made.
    Status acquire(const HomePaths &home);
    void release();
    bool held() const { return m_fd >= 0; }

private:
    Kind m_kind;
    int m_fd = -1;
    int m_dirFd = -1; // the data folder, held by the console kind
};

} // namespace corvane
