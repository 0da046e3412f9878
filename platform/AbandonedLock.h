#pragma once
// The lock file beside a file being rewritten, as Qt's QLockFile keeps it (QSettings takes
// one for each write): the holder keeps a flock on it and names itself in it,
// "pid\nprogram\nhost\n…". Qt takes over a lock whose holder died only once the lock names
// that dead process; one left empty by a writer killed while creating it stalls every later
// write for 30 s, and one a living program keeps holding stalls it for good.
#include "Clock.h"

#include <QString>
#include <cstdint>

namespace platform {

enum class LockState {
    Free,  // no lock, or an abandoned one that has just been removed
    Aging, // no one holds it, but it names a living process or another host; Qt takes it
           // over once it is 30 s old
    Held,  // a living program holds it, or it cannot be looked at or removed
};

// Removes the lock at path when no living process holds it: no flock on it, and it is empty,
// names no process, or names one that is gone on this host. Anything else is left as it is.
LockState ClearAbandonedLock(const QString& path);

// Clears an abandoned lock and waits, polling on clock, while one is held; false when it is
// still held after boundMs.
bool WaitForLock(const QString& path, Clock& clock, int64_t boundMs);

} // namespace platform
