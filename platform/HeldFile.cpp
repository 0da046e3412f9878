#include "HeldFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {
bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
} // namespace

HeldFile::HeldFile(const QString& path)
    // A path handle: it needs no right to read the file, and opens a link itself.
    : Path(path), Fd(::open(QFile::encodeName(path).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
}

HeldFile::~HeldFile() {
    Close();
}

HeldFile::HeldFile(HeldFile&& other) noexcept
    : Path(std::move(other.Path)), Fd(std::exchange(other.Fd, -1)) {}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
    if (this != &other) {
        Close();
        Path = std::move(other.Path);
        Fd = std::exchange(other.Fd, -1);
    }
    return *this;
}

void HeldFile::Close() {
    if (Fd >= 0)
        ::close(Fd);
    Fd = -1;
}

bool HeldFile::Same(const HeldFile& other) const {
    struct stat mine, theirs;
    return Held() && other.Held() && ::fstat(Fd, &mine) == 0 && ::fstat(other.Fd, &theirs) == 0 &&
           SameFile(mine, theirs);
}

bool HeldFile::Remove() {
    if (!Held())
        return true;
    const QByteArray name = QFile::encodeName(Path);
    struct stat held, named;
    bool gone = true;
    if (::fstat(Fd, &held) == 0 && ::lstat(name.constData(), &named) == 0 && SameFile(held, named))
        gone = ::unlink(name.constData()) == 0 || errno == ENOENT;
    Close();
    return gone;
}

} // namespace platform
