#include "TempFolder.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

namespace configurator {

namespace {
bool IsWritableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString TempPath(const QString& programFolder, TTempFolder::TWritable writable) {
    if (!writable)
        writable = IsWritableFolder;
    const QString base = writable(programFolder) ? programFolder : UserCacheFolder() + "/Vendrill";
    return QDir::toNativeSeparators(QDir::cleanPath(base + "/Temp"));
}
} // namespace

QString UserCacheFolder() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.isEmpty() && QDir::isAbsolutePath(cache))
        return cache;
    return QDir::homePath() + "/.cache";
}

TTempFolder::TTempFolder(const QString& programFolder, TWritable writable)
    : path(TempPath(programFolder, std::move(writable))), Shared(path) {}

bool TTempFolder::Create() {
    return Shared.Join();
}

void TTempFolder::DownloadStarts(const QString& file) {
    Before.insert_or_assign(file, platform::HeldFile(file));
}

void TTempFolder::DownloadEnded(const QString& file) {
    platform::HeldFile before;
    if (const auto found = Before.find(file); found != Before.end()) {
        before = std::move(found->second);
        Before.erase(found);
    }
    platform::HeldFile after(file);
    // A failed write leaves what was there, perhaps another instance's file.
    if (after.Held() && !after.Same(before))
        Own.insert_or_assign(file, std::move(after));
}

bool TTempFolder::Remove() {
    using Leaving = platform::SharedFolder::Leaving;
    const Leaving left = Shared.Leave();
    bool removed = left == Leaving::Removed;
    if (left == Leaving::InUse) {
        removed = true;
        for (auto& own : Own)
            removed = own.second.Remove() && removed;
    }
    Own.clear();
    return removed;
}

} // namespace configurator
