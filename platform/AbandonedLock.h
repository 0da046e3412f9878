#pragma once
// The lock file beside a file being rewritten, as Qt's QLockFile keeps it (QSettings takes
// one for each write): the holder keeps a flock on it and names itself in it,
// "pid\nprogram\nhost\n…". Qt takes over a lock whose holder died only once the lock names
// that dead process; one left empty by a writer killed while creating it stalls every later
// write for 30 s, one that names a living process (a reused number) or another host stalls
// it until it is 30 s old, and one a living program keeps holding stalls it for good.
#include "Clock.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace platform {

enum class LockState {
    Free,  // no lock, or an abandoned one that has just been removed
    Aging, // no one holds it, but it names a living process of the program it names, or
           // another host, and is younger than 30 s, when Qt would take it over
    Held,  // a living program holds it, or it cannot be looked at or removed
};

// Removes the lock at path when no living process holds it: no flock on it, and it is empty,
// names no process, names one that is gone on this host or is another program's, or is
// older than 30 s. Anything else is left as it is.
LockState ClearAbandonedLock(const QString& path);

// Whether path still names the file that fd was opened on: another program may have removed
// a lock and taken a new one since.
bool StillNamed(int fd, const QByteArray& path);

// Clears an abandoned lock and waits, polling on clock, while one is held or aging; false
// when it is still there after boundMs.
bool WaitForLock(const QString& path, Clock& clock, int64_t boundMs);

} // namespace platform
