#include "WholeFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A file larger than the machine's memory is never held whole; over-committed memory
// would let the allocation succeed and the reading exhaust it.
qint64 MemoryBound() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const qint64 limit = std::numeric_limits<qsizetype>::max();
    if (pages <= 0 || pageSize <= 0 || pages > limit / pageSize)
        return limit;
    return qint64(pages) * pageSize;
}

bool ReadAll(int fd, char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const size_t chunk = size_t(std::min<qint64>(size - done, qint64(1) << 30));
        const ssize_t n = ::read(fd, data + done, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool ReadOpenFile(int fd, QByteArray& bytes) {
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MemoryBound())
        return false;
    try {
        bytes.resize(qsizetype(status.st_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return ReadAll(fd, bytes.data(), status.st_size);
}

} // namespace

bool ReadWholeFile(const QString& path, QByteArray& bytes) {
    bytes.clear();
    // Non-blocking, so that a FIFO without a writer opens at once and is refused by its type.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool read = ReadWholeFile(fd, bytes);
    ::close(fd);
    return read;
}

bool ReadWholeFile(int fd, QByteArray& bytes) {
    bytes.clear();
    const bool read = ReadOpenFile(fd, bytes);
    if (!read)
        bytes.clear();
    return read;
}

} // namespace platform
