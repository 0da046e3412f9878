#pragma once
// A whole file's new content put in its place: beside the old file and renamed over it once
// written in full, or written over the file itself where its folder takes no new file.
// Each way leaves the old file whole when the write fails, and each writes only a regular
// file: a FIFO, a device or a socket at the path is refused and left as it is.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace platform {

struct FileWrite {
    bool ok = true;
    QString message; // why not, for the user (from the OS), when !ok
};

// A name in path's folder: path's own name and the suffix, the name cut where both would
// pass the longest name a folder takes (NAME_MAX bytes), between two characters.
QByteArray NameBeside(const QByteArray& path, const QByteArray& suffix);

// The file a write of path reaches: the end of its chain of symbolic links as the kernel
// follows them, each link's relative target read from the folder the link really stands
// in, up to 40 links. A save replaces that file and keeps the links; a last link whose
// file is not there yet leads to where the file is created.
QString FileBehindLinks(const QString& path);

// A file's new content, written beside it and put in its place by a rename once every byte
// is on the disk, as QSaveFile does, but under a name that fits whatever the file's name
// (up to the longest a folder takes: QSaveFile's own adds 7 bytes to it). The new file gets
// the old one's permissions where the file system keeps them. Until Commit the file at path
// is untouched; a ReplacingFile not committed leaves nothing behind. A mark goes into the new
// file's name, so that one a writer killed before its rename left is known by its writer
// (NewFilesLeftBeside).
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& path, const QByteArray& mark = {});
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False, as QSaveFile, where the file is there and not writable, or is a folder; also
    // where it is no regular file, or the chain of links is longer than the kernel follows.
    bool Open();
    // Every byte or false.
    bool Write(const QByteArray& bytes);
    // The new file on the disk and renamed over the old one; false leaves the old file, and
    // leaves what stands there if it has stopped being a regular file meanwhile.
    bool Commit();
    int Handle() const { return Fd; }
    // Why the last step failed, for the user.
    QString ErrorString() const { return Error; }

private:
    bool Fail(int error);
    void Drop();

    const QByteArray Target; // the file's name as the kernel has it, which need not be text
    const QByteArray Mark;
    QByteArray TemporaryName;
    QString Error;
    int Fd = -1;
};

// The calls that give a new file the old one's permissions and owner: fchmod and fchown
// until a test puts in others, as a file system without either answers them.
struct OwnerAndModeCalls {
    int (*chmod)(int fd, mode_t mode) = nullptr;
    int (*chown)(int fd, uid_t owner, gid_t group) = nullptr;
};
// Null members put the real calls back.
void SetOwnerAndModeCalls(const OwnerAndModeCalls& calls);

// The calls that write the new file and put it in place: the system's until a test puts in
// others, as a failing device or file system answers them.
struct ReplaceCalls {
    int (*open)(const char* path, int flags, mode_t mode) = nullptr;
    ssize_t (*write)(int fd, const void* bytes, size_t size) = nullptr;
    int (*fsync)(int fd) = nullptr;
    int (*close)(int fd) = nullptr;
    int (*rename)(const char* from, const char* to) = nullptr;
};
// Null members put the real calls back.
void SetReplaceCalls(const ReplaceCalls& calls);

// The files beside path that a ReplacingFile(path, mark) made and never renamed: those a
// writer killed mid-write left. The mark must not be empty.
QStringList NewFilesLeftBeside(const QString& path, const QByteArray& mark);

// Writes a new file beside the old one and renames it over the old one once every byte is
// written, so a failure leaves the old file whole. The new file gets the old one's
// permissions and, where the process may set them (root), its owner and group. The mark goes
// into the new file's name, as with ReplacingFile.
FileWrite ReplaceFile(const QString& path, const QByteArray& bytes, const QByteArray& mark = {});
// Writes over the file itself, for a folder that takes no new files: it keeps its owner
// and permissions. The space the new content needs is reserved before the first byte
// changes, so a full disk or a size limit leaves the old content; only a failure of the
// device in the middle of the write can leave the file damaged.
FileWrite WriteFileInPlace(const QString& path, const QByteArray& bytes);

// Whether this process may create a file in the file's folder and rename it over the
// file, so that ReplaceFile can be used.
bool FolderTakesNewFiles(const QString& file);

} // namespace platform
