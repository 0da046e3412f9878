#pragma once
// A whole file's new content put in its place: beside the old file and renamed over it once
// written in full, or written over the file itself where its folder takes no new file.
// Each way leaves the old file whole when the write fails.
#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace platform {

struct FileWrite {
    bool ok = true;
    QString message; // why not, for the user (from the OS), when !ok
};

// Writes a new file beside the old one and renames it over the old one once every byte is
// written, so a failure leaves the old file whole. The new file gets the old one's
// permissions and, where the process may set them (root), its owner and group.
FileWrite ReplaceFile(const QString& path, const QByteArray& bytes);
// Writes over the file itself, for a folder that takes no new files: it keeps its owner
// and permissions. The space the new content needs is reserved before the first byte
// changes, so a full disk or a size limit leaves the old content; only a failure of the
// device in the middle of the write can leave the file damaged.
FileWrite WriteFileInPlace(const QString& path, const QByteArray& bytes);

// Whether this process may create a file in the file's folder and rename it over the
// file, so that ReplaceFile can be used.
bool FolderTakesNewFiles(const QString& file);

// Commits `file` when it holds exactly `size` bytes, every write flushed; otherwise
// drops it, so a file already at its path stays as it was. False when not committed.
// Qt reports a write cut short at the file-size limit as a success while it sits in the
// file's buffer.
bool CommitInFull(QSaveFile& file, qint64 size);

} // namespace platform
