#include "SharedFolder.h"

#include "AbandonedLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The last instance holds the lock exclusively only while it renames the folder, so a join
// that meets it rarely needs a second attempt; the bound is for a file system that renames
// no folder, where the folder is removed in its place under the lock.
constexpr int kJoinAttempts = 100;
constexpr int64_t kJoinPollMs = 10;
// A lock file made anew while the instance looks at it: bounded, as each one is a removal by
// hand.
constexpr int kLeaveAttempts = 4;
constexpr int kAsideAttempts = 4;

bool Rename(const QString& from, const QString& to) {
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                       QFile::encodeName(to).constData(), RENAME_NOREPLACE) == 0;
}

} // namespace

bool RemoveFolder(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return QFile::remove(path);
    if (!info.exists())
        return true;
    return QDir(path).removeRecursively();
}

const QString SharedFolder::LockName = QStringLiteral(".lock");

SharedFolder::SharedFolder(const QString& path, Clock& clock)
    : Path(path), LockPath(QFile::encodeName(path + QLatin1Char('/') + LockName)), Time(clock) {}

SharedFolder::~SharedFolder() {
    Close();
}

void SharedFolder::Close() {
    if (Fd >= 0)
        ::close(Fd);
    Fd = -1;
}

bool SharedFolder::Join() {
    Close();
    for (int attempt = 1;; ++attempt) {
        if (!QDir().mkpath(Path))
            return false;
        if (TryJoin() != Attempt::Again || attempt == kJoinAttempts)
            break;
        Time.SleepMs(kJoinPollMs);
    }
    return QFileInfo(Path).isDir();
}

SharedFolder::Attempt SharedFolder::TryJoin() {
    // Not inherited: a program started from here (the desktop's viewer) would hold the lock
    // on after this instance has gone. Non-blocking, so that a FIFO in its place opens at once.
    const int fd = ::open(LockPath.constData(),
                          O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        // The folder went away since it was made, or takes no lock file of ours.
        return errno == ENOENT ? Attempt::Again : Attempt::NoLocks;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        // Held exclusively: the last instance is taking the folder away.
        const Attempt next = errno == EWOULDBLOCK ? Attempt::Again : Attempt::NoLocks;
        ::close(fd);
        return next;
    }
    if (!StillNamed(fd, LockPath)) {
        // Taken away with its folder between the open and the lock.
        ::close(fd);
        return Attempt::Again;
    }
    Fd = fd;
    return Attempt::Joined;
}

bool SharedFolder::TakeAlone() {
    for (int attempt = 0; attempt < kLeaveAttempts; ++attempt) {
        if (Fd < 0) {
            Fd = ::open(LockPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            // No lock file: no instance has joined the folder. One that cannot be opened
            // leaves it to the removal, as where there are no locks.
            if (Fd < 0)
                return true;
        }
        if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return true; // a file system without locks: as alone as can be told
            Close();
            return false;
        }
        if (StillNamed(Fd, LockPath))
            return true;
        // The folder's lock was made anew since (removed by hand): that one counts.
        Close();
    }
    return false;
}

QString SharedFolder::MoveAside() const {
    const QFileInfo info(Path);
    // A file of the folder's name is not the folder, and stays under its name.
    if (!info.isSymLink() && !info.isDir())
        return {};
    for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
        const QString aside = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              QLatin1Char('-') +
                              QString::number(QRandomGenerator::global()->generate64(), 16);
        if (Rename(Path, aside))
            return aside;
        if (errno != EEXIST)
            break;
    }
    return {};
}

SharedFolder::Leaving SharedFolder::Leave() {
    if (!TakeAlone())
        return Leaving::InUse;
    // Out of its place first, under the lock: an instance that starts meanwhile makes the
    // folder anew rather than join the one being removed, and waits only for the rename.
    const QString aside = MoveAside();
    const QString gone = aside.isEmpty() ? Path : aside;
    // A link in the folder's place goes, never what it leads to, but for the lock file made
    // through it.
    if (Fd >= 0 && QFileInfo(gone).isSymLink()) {
        const QByteArray lock = QFile::encodeName(gone + QLatin1Char('/') + LockName);
        if (StillNamed(Fd, lock))
            ::unlink(lock.constData());
    }
    if (!aside.isEmpty())
        Close();
    const bool removed = RemoveFolder(gone);
    // What could not be removed stays under its own name, as a folder removed in its place
    // would, unless a new instance has made the folder anew meanwhile.
    if (!removed && !aside.isEmpty())
        Rename(aside, Path);
    Close();
    return removed ? Leaving::Removed : Leaving::Kept;
}

} // namespace platform
