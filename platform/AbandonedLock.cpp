#include "AbandonedLock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSysInfo>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A lock names its holder in its first few lines; the rest is never needed.
constexpr qsizetype kHolderBytes = 1024;
constexpr int64_t kPollMs = 20;
constexpr qint64 kJustCreatedMs = 1000;
// The age at which Qt takes a lock over whoever it names.
constexpr qint64 kStaleMs = 30000;

QByteArray ReadHolder(int fd) {
    QByteArray bytes(kHolderBytes, '\0');
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

qint64 AgeMs(const struct stat& status) {
    const qint64 made = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
    return QDateTime::currentMSecsSinceEpoch() - made;
}

// Qt creates a lock a moment before it takes the flock and names itself in it: an empty lock
// made this instant may still be a living writer's.
bool JustCreated(const struct stat& status) {
    const qint64 age = AgeMs(status);
    return age >= 0 && age < kJustCreatedMs;
}

// As Qt judges a number that came back to another program: the name of the running program
// file against the program the lock names. One whose file cannot be looked up counts as
// another program, as with Qt.
bool OtherProgram(pid_t pid, const QByteArray& program) {
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target);
    if (n <= 0)
        return true;
    QByteArray running(target, n);
    if (running.endsWith(" (deleted)"))
        running.chop(10);
    QFileInfo named(QString::fromUtf8(program));
    if (named.isSymLink())
        named.setFile(named.symLinkTarget());
    return QFileInfo(QFile::decodeName(running)).fileName() != named.fileName();
}

// A process on another machine (same host name, other machine id, or another host) cannot
// be looked up from here, so its lock is never judged gone.
bool HolderIsGone(const QByteArray& holder) {
    const QList<QByteArray> lines = holder.split('\n');
    bool number = false;
    const qint64 pid = lines.first().toLongLong(&number);
    if (!number || pid <= 0 || pid != pid_t(pid))
        return true;
    const QByteArray host = lines.value(2);
    const QByteArray machine = lines.value(3);
    if (!host.isEmpty() && host != QSysInfo::machineHostName().toUtf8())
        return false;
    if (!machine.isEmpty() && machine != QSysInfo::machineUniqueId())
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    return OtherProgram(pid_t(pid), lines.value(1));
}

} // namespace

bool StillNamed(int fd, const QByteArray& path) {
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

LockState ClearAbandonedLock(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that a FIFO put in the lock's place opens at once and is refused.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? LockState::Free : LockState::Held;
    LockState state = LockState::Held;
    struct stat status;
    // The flock is taken before the lock is removed, as Qt does, so that no one takes the
    // lock over at the same time.
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        state = LockState::Aging;
        const QByteArray holder = ReadHolder(fd);
        if (holder.isEmpty() && JustCreated(status))
            state = LockState::Held;
        else if (HolderIsGone(holder) || std::abs(AgeMs(status)) > kStaleMs)
            state = StillNamed(fd, name) && ::unlink(name.constData()) == 0 ? LockState::Free
                                                                            : LockState::Held;
    }
    ::close(fd);
    return state;
}

bool WaitForLock(const QString& path, Clock& clock, int64_t boundMs) {
    const int64_t end = clock.NowMs() + boundMs;
    while (ClearAbandonedLock(path) != LockState::Free) {
        if (clock.NowMs() >= end)
            return false;
        clock.SleepMs(kPollMs);
    }
    return true;
}

} // namespace platform
