#include "FileReplace.h"

#include "FileSizeLimit.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// As an errno: what stands at the path is there but no regular file (a FIFO, a device, a
// socket), which a save neither replaces nor writes over.
constexpr int kNotRegular = -1;

QString Reason(int error) {
    return error == kNotRegular ? QStringLiteral("Not a regular file.") : qt_error_string(error);
}

FileWrite WriteFailure(int error) {
    return {false, Reason(error)};
}

// What stops a new file from being put at target: 0 where nothing is there or a regular
// file is (`exists` and `old` say which), else the errno or kNotRegular. A link still
// there is one past the longest chain the kernel follows.
int Refusal(const QByteArray& target, bool& exists, struct stat& old) {
    exists = ::lstat(target.constData(), &old) == 0;
    if (!exists || S_ISREG(old.st_mode))
        return 0;
    if (S_ISDIR(old.st_mode))
        return EISDIR;
    return S_ISLNK(old.st_mode) ? ELOOP : kNotRegular;
}

// The most links a path may pass through, as the kernel counts (ELOOP beyond).
constexpr int kMaxLinks = 40;

int OpenFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

ReplaceCalls replace{OpenFile, ::write, ::fsync, ::close, ::rename};

// Writes every byte from where the descriptor stands: 0, or the error that stopped it.
int WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = replace.write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
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

OwnerAndModeCalls ownerAndMode{::fchmod, ::fchown};

// What a file system that keeps no permissions or owners (FAT, many network shares through
// FUSE) answers when asked to set them: there is nothing to keep, and the save goes on.
bool KeepsNone(int error) {
    return error == ENOSYS || error == EOPNOTSUPP;
}

// Gives the new file `fd` the permissions of the file at `path` and, where the process
// may (root), its owner and group; a normal user keeps the group when a member of it.
// Nothing to take from a file not there yet, nor where the file system keeps none. False,
// with errno, when the mode fails otherwise.
bool TakeOwnerAndMode(const QString& path, int fd) {
    struct stat old {};
    if (stat(QFile::encodeName(path).constData(), &old) != 0)
        return true;
    // The owner first: a change of owner clears the set-user-ID bits the mode restores.
    if (ownerAndMode.chown(fd, old.st_uid, old.st_gid) != 0 && errno == EPERM)
        (void)!ownerAndMode.chown(fd, static_cast<uid_t>(-1), old.st_gid);
    return ownerAndMode.chmod(fd, old.st_mode & 07777) == 0 || KeepsNone(errno);
}

const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kRandomChars = 6;

// A name beside target that no file is likely to have: the target's name, cut where
// needed, the mark and six random characters.
QByteArray RandomNameBeside(const QByteArray& target, const QByteArray& mark) {
    QByteArray suffix = mark + ".";
    for (int i = 0; i < kRandomChars; ++i)
        suffix += kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
    return NameBeside(target, suffix);
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

QByteArray NameBeside(const QByteArray& path, const QByteArray& suffix) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    qsizetype keep = qBound(qsizetype(0), qsizetype(NAME_MAX) - suffix.size(), name.size());
    // Never inside a character: a UTF-8 sequence carries at most three bytes after its first.
    for (int back = 0; back < 3 && keep > 0 && keep < name.size() &&
                       (static_cast<uchar>(name[keep]) & 0xC0) == 0x80;
         ++back)
        --keep;
    return path.left(slash + 1) + name.left(keep) + suffix;
}

namespace {

// The kernel reads a link's relative target from the folder the link stands in, which is
// where the links of the folders above it lead, not what the path's text names: so each
// step takes the real folder first, then reads the link in it. Bytes throughout, as the
// kernel has them: a name a link gives need not be text.
QByteArray EndOfLinks(QByteArray file) {
    for (int links = 0; links < kMaxLinks; ++links) {
        const qsizetype slash = file.lastIndexOf('/');
        const QByteArray name = file.mid(slash + 1);
        if (name.isEmpty() || name == "." || name == "..")
            break; // a folder, which the save refuses as it stands
        const QByteArray folder = slash < 0 ? "." : slash == 0 ? "/" : file.left(slash);
        char* real = ::realpath(folder.constData(), nullptr);
        if (!real)
            break; // no such folder: the save fails there
        QByteArray here(real);
        ::free(real);
        if (!here.endsWith('/'))
            here += '/';
        file = here + name;
        char target[PATH_MAX];
        const ssize_t size = ::readlink(file.constData(), target, sizeof target);
        if (size < 0 || size == ssize_t(sizeof target))
            break; // no link: the file itself, or none yet
        file = target[0] == '/' ? QByteArray(target, size) : here + QByteArray(target, size);
    }
    return file;
}

} // namespace

QString FileBehindLinks(const QString& path) {
    return QFile::decodeName(EndOfLinks(QFile::encodeName(path)));
}

ReplacingFile::ReplacingFile(const QString& path, const QByteArray& mark)
    : Target(EndOfLinks(QFile::encodeName(path))), Mark(mark) {}

ReplacingFile::~ReplacingFile() {
    Drop();
}

bool ReplacingFile::Fail(int error) {
    Error = Reason(error);
    Drop();
    return false;
}

void ReplacingFile::Drop() {
    if (Fd < 0)
        return;
    ::close(Fd);
    ::unlink(TemporaryName.constData());
    Fd = -1;
}

bool ReplacingFile::Open() {
    struct stat old {};
    bool exists = false;
    if (const int refusal = Refusal(Target, exists, old); refusal != 0)
        return Fail(refusal);
    if (exists && ::access(Target.constData(), W_OK) != 0)
        return Fail(errno);
    // Until the old file's permissions are taken, no one else may read the new one.
    const mode_t mode = exists ? 0600 : 0666;
    for (int attempt = 0; attempt < 100 && Fd < 0; ++attempt) {
        TemporaryName = RandomNameBeside(Target, Mark);
        Fd = replace.open(TemporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (Fd < 0 && errno != EEXIST)
            return Fail(errno);
    }
    if (Fd < 0)
        return Fail(EEXIST);
    if (exists && ownerAndMode.chmod(Fd, old.st_mode & 07777) != 0 && !KeepsNone(errno))
        return Fail(errno);
    return true;
}

bool ReplacingFile::Write(const QByteArray& bytes) {
    if (Fd < 0)
        return false;
    const int error = WriteAll(Fd, bytes);
    return error == 0 || Fail(error);
}

bool ReplacingFile::Commit() {
    if (Fd < 0)
        return false;
    // A delayed write error shows at the sync or the close.
    if (replace.fsync(Fd) != 0)
        return Fail(errno);
    // Looked at again: what stands there may have changed while the content was written.
    bool exists = false;
    struct stat now {};
    if (const int refusal = Refusal(Target, exists, now); refusal != 0)
        return Fail(refusal);
    const int fd = std::exchange(Fd, -1);
    if (replace.close(fd) != 0 ||
        replace.rename(TemporaryName.constData(), Target.constData()) != 0) {
        const int error = errno;
        ::unlink(TemporaryName.constData());
        Error = qt_error_string(error);
        return false;
    }
    return true;
}

void SetOwnerAndModeCalls(const OwnerAndModeCalls& calls) {
    ownerAndMode.chmod = calls.chmod ? calls.chmod : ::fchmod;
    ownerAndMode.chown = calls.chown ? calls.chown : ::fchown;
}

void SetReplaceCalls(const ReplaceCalls& calls) {
    replace.open = calls.open ? calls.open : OpenFile;
    replace.write = calls.write ? calls.write : ::write;
    replace.fsync = calls.fsync ? calls.fsync : ::fsync;
    replace.close = calls.close ? calls.close : ::close;
    replace.rename = calls.rename ? calls.rename : ::rename;
}

QStringList NewFilesLeftBeside(const QString& path, const QByteArray& mark) {
    const QByteArray target = EndOfLinks(QFile::encodeName(path));
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray("./") : target.left(slash + 1);
    // Cut as the new file's own name is, whatever its random part.
    const QByteArray name =
        NameBeside(target.mid(slash + 1), mark + "." + QByteArray(kRandomChars, 'x'));
    const QByteArray stem = name.chopped(kRandomChars);
    QStringList left;
    DIR* entries = ::opendir(folder.constData());
    if (!entries)
        return left;
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray found(entry->d_name);
        struct stat status {};
        if (found.size() == name.size() && found.startsWith(stem) &&
            std::all_of(found.end() - kRandomChars, found.end(),
                        [](char c) { return c != 0 && std::strchr(kChars, c) != nullptr; }) &&
            ::lstat((folder + found).constData(), &status) == 0 && S_ISREG(status.st_mode))
            left << QFile::decodeName(folder + found);
    }
    ::closedir(entries);
    return left;
}

FileWrite ReplaceFile(const QString& path, const QByteArray& bytes, const QByteArray& mark) {
    ReplacingFile file(path, mark);
    if (!file.Open())
        return {false, file.ErrorString()};
    if (!TakeOwnerAndMode(path, file.Handle()))
        return WriteFailure(errno);
    if (!file.Write(bytes) || !file.Commit())
        return {false, file.ErrorString()};
    return {};
}

FileWrite WriteFileInPlace(const QString& path, const QByteArray& bytes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Looked at before the open, which can act on a device (a tape rewinds).
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return WriteFailure(S_ISDIR(st.st_mode) ? EISDIR : kNotRegular);
    // No O_CREAT: this way only ever writes over a file that is there. Non-blocking, so that
    // a FIFO put there since never waits for a reader; the descriptor's type says.
    Descriptor fd(::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0)
        return WriteFailure(errno);
    if (fstat(fd.Get(), &st) != 0)
        return WriteFailure(errno);
    if (!S_ISREG(st.st_mode))
        return WriteFailure(kNotRegular);
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
    // Freshly opened, the descriptor stands at the file's start.
    if (const int error = WriteAll(fd.Get(), bytes); error != 0)
        return WriteFailure(error);
    if (ftruncate(fd.Get(), bytes.size()) != 0 || fsync(fd.Get()) != 0)
        return WriteFailure(errno);
    return fd.Close() ? FileWrite{} : WriteFailure(errno);
}

} // namespace platform
