#include "FileReplace.h"

#include "FileSizeLimit.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

FileWrite WriteFailure(int error) {
    return {false, qt_error_string(error)};
}

// Closes the descriptor it holds unless Close did.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // A delayed write error can show only here.
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Gives the new file `fd` the permissions of the file at `path` and, where the process
// may (root), its owner and group; a normal user keeps the group when a member of it.
// Nothing to take from a file not there yet. False, with errno, when the mode fails.
bool TakeOwnerAndMode(const QString& path, int fd) {
    struct stat old {};
    if (stat(QFile::encodeName(path).constData(), &old) != 0)
        return true;
    // The owner first: a change of owner clears the set-user-ID bits the mode restores.
    if (fchown(fd, old.st_uid, old.st_gid) != 0 && errno == EPERM)
        (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return fchmod(fd, old.st_mode & 07777) == 0;
}

} // namespace

// In a sticky folder (/tmp, a shared folder) only the owner of the file or of the
// folder may replace a file, whoever may write it.
bool FolderTakesNewFiles(const QString& file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    if (faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    struct stat folderStatus {};
    struct stat fileStatus {};
    if (stat(folder.constData(), &folderStatus) != 0 || !(folderStatus.st_mode & S_ISVTX))
        return true;
    const uid_t user = geteuid();
    return user == 0 || user == folderStatus.st_uid ||
           (stat(QFile::encodeName(file).constData(), &fileStatus) == 0 &&
            user == fileStatus.st_uid);
}

bool CommitInFull(QSaveFile& file, qint64 size) {
    if (!file.flush() || file.size() != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

FileWrite ReplaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    if (!TakeOwnerAndMode(path, file.handle())) {
        const FileWrite status = WriteFailure(errno);
        file.cancelWriting();
        return status;
    }
    // QSaveFile commits a file cut short by a failed flush (a full disk, a size limit), so
    // the flush and the written size are checked before the old file is replaced.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size()) {
        const QString why = file.error() == QFileDevice::NoError
                                ? QStringLiteral("The file was not written in full.")
                                : file.errorString();
        file.cancelWriting();
        return {false, why};
    }
    if (!file.commit())
        return {false, file.errorString()};
    return {};
}

FileWrite WriteFileInPlace(const QString& path, const QByteArray& bytes) {
    // No O_CREAT: this way only ever writes over a file that is there.
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        return WriteFailure(errno);
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0)
        return WriteFailure(errno);
    if (!S_ISREG(st.st_mode))
        return {false, QStringLiteral("Not a regular file.")};
    // A limit below the new size would stop the write after old bytes were overwritten.
    if (!FitsFileSizeLimit(bytes.size()))
        return WriteFailure(EFBIG);
    // Reserve the space first: until the first byte is written the old content is whole.
    if (bytes.size() > st.st_size) {
        const int reserved = posix_fallocate(fd.Get(), st.st_size, bytes.size() - st.st_size);
        if (reserved != 0) {
            (void)!ftruncate(fd.Get(), st.st_size); // drop whatever part was added
            return WriteFailure(reserved);
        }
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = pwrite(fd.Get(), bytes.constData() + done, bytes.size() - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return WriteFailure(n < 0 ? errno : EIO);
        done += n;
    }
    if (ftruncate(fd.Get(), bytes.size()) != 0 || fsync(fd.Get()) != 0)
        return WriteFailure(errno);
    return fd.Close() ? FileWrite{} : WriteFailure(errno);
}

} // namespace platform
