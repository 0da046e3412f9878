#pragma once
// Whole files in and out, for tests that prepare inputs and read back what was written.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace testfiles {

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Empty when the file cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a save must not replace: a FIFO, and a character device (the null device's
// numbers), which only a process that may make devices (root) gets.
inline constexpr mode_t kNotRegular[] = {S_IFIFO, S_IFCHR};

// False where this process may not make that kind of file.
inline bool MakeNotRegular(const QString& path, mode_t kind) {
    return ::mknod(QFile::encodeName(path).constData(), kind | 0600,
                   kind == S_IFCHR ? makedev(1, 3) : 0) == 0;
}

// The kind of file at path itself (S_IFREG, S_IFIFO, S_IFLNK, ...), 0 where none is.
inline mode_t FileKind(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

// Kills the test (so it fails) rather than letting a hang block the run.
struct HangGuard {
    HangGuard() { alarm(120); }
    ~HangGuard() { alarm(0); }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};

} // namespace testfiles
