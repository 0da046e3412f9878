#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace configurator {

namespace {
bool IsWritableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}
} // namespace

QString UserCacheFolder() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.isEmpty() && QDir::isAbsolutePath(cache))
        return cache;
    return QDir::homePath() + "/.cache";
}

TTempFolder::TTempFolder(const QString& programFolder, TWritable writable) {
    if (!writable)
        writable = IsWritableFolder;
    const QString base = writable(programFolder) ? programFolder : UserCacheFolder() + "/Vendrill";
    path = QDir::toNativeSeparators(QDir::cleanPath(base + "/Temp"));
}

bool TTempFolder::Create() const {
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

bool TTempFolder::Remove() const {
    const QFileInfo info(path);
    if (info.isSymLink())
        return QFile::remove(path);
    if (!info.exists())
        return true;
    return QDir(path).removeRecursively();
}

} // namespace configurator
