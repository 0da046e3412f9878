#pragma once
// A folder that several instances of a program use at once, as two configurators started from
// one program folder share its Temp. Each instance holds a shared flock on a lock file in the
// folder while it uses it; the last one to leave is the only one that gets the lock
// exclusively, and only it removes the folder.
#include "Clock.h"

#include <QString>

namespace platform {

// Deletes a folder with everything in it; a link in its place is removed, never followed. True
// when nothing of it is left.
bool RemoveFolder(const QString& path);

class SharedFolder {
public:
    // The lock file in the folder. A name that starts with a dot, which no download takes.
    static const QString LockName;

    explicit SharedFolder(const QString& path, Clock& clock = SystemClock());
    // Lets go of the folder without removing anything, as the end of the process would.
    ~SharedFolder();
    SharedFolder(const SharedFolder&) = delete;
    SharedFolder& operator=(const SharedFolder&) = delete;

    // Creates the folder with any missing parents and joins the instances that use it. The
    // last one leaving takes the folder out of its place at once; a join that meets it tries
    // again, on the clock, a bounded number of times, and joins the folder made anew. Where
    // no lock can be had, the folder is used without one. False when the folder is not there
    // afterwards.
    bool Join();
    // Whether the instance holds the folder's lock.
    bool Joined() const { return Fd >= 0; }

    enum class Leaving {
        Removed, // no other instance used it: nothing of the folder is left
        Kept,    // no other instance used it, but some of it could not be removed
        InUse,   // another instance still uses it: nothing was removed
    };
    // Leaves the folder and, when no other instance uses it, removes it as RemoveFolder does.
    // Also right for an instance that never joined: it removes the folder unless an instance
    // holds it.
    Leaving Leave();

private:
    enum class Attempt { Joined, Again, NoLocks };
    Attempt TryJoin();
    // Takes the lock exclusively; false when another instance holds it.
    bool TakeAlone();
    // The folder's new name beside it, where it is removed from; empty when it stays.
    QString MoveAside() const;
    void Close();

    QString Path;
    QByteArray LockPath;
    Clock& Time;
    int Fd = -1;
};

} // namespace platform
