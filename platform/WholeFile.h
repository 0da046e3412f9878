#pragma once
// A whole file read into memory, for the files a user names: only a regular file is read,
// and only when memory can hold it. A FIFO, a socket, a device or a folder is refused at
// once, without waiting for a writer and without a byte read.
#include <QByteArray>
#include <QString>

namespace platform {

// The file's bytes; false, with bytes empty, when it cannot be opened, is not a regular
// file, is larger than the machine's memory or cannot be allocated, or cannot be read whole.
bool ReadWholeFile(const QString& path, QByteArray& bytes);
// The same for the file open as fd, from where it stands.
bool ReadWholeFile(int fd, QByteArray& bytes);

} // namespace platform
