#pragma once
// The folder that downloaded card files go to: "Temp" in the program's folder while the
// program can write there, otherwise (an installed program) "Temp" in the user's cache
// folder for Vendrill. The main window creates it at start and removes it at exit. Instances
// started from one program folder share it: only the last one to end removes it, the others
// the files that their own downloads wrote.
#include "HeldFile.h"
#include "SharedFolder.h"

#include <QString>
#include <functional>
#include <map>

namespace configurator {

class TTempFolder {
public:
    // Whether files may be created in a folder; the file system's answer by default.
    using TWritable = std::function<bool(const QString& folder)>;

    // programFolder: the folder of the program file.
    explicit TTempFolder(const QString& programFolder, TWritable writable = {});

    // The folder's path with the platform's separators and none at the end.
    const QString& Path() const { return path; }

    // Creates the folder with any missing parents and joins the other instances that use
    // it; an existing one is reused. False when it is not there afterwards.
    bool Create();
    // A download to path in the folder begins, and has ended, written or not: a file that it
    // put at path is this instance's own.
    void DownloadStarts(const QString& path);
    void DownloadEnded(const QString& path);
    // When no other instance uses the folder, deletes it with everything in it; a link in its
    // place is removed, never followed. Otherwise deletes the files that this instance's
    // downloads wrote and that no one has written anew since. True when nothing of what it
    // deletes is left.
    bool Remove();

private:
    QString path;
    platform::SharedFolder Shared;
    // What was at a path as its download began, and what the downloads wrote.
    std::map<QString, platform::HeldFile> Before, Own;
};

// $XDG_CACHE_HOME when it holds an absolute path, otherwise ~/.cache.
QString UserCacheFolder();

} // namespace configurator
