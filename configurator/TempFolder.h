#pragma once
// The folder that downloaded card files go to: "Temp" in the program's folder while the
// program can write there, otherwise (an installed program) "Temp" in the user's cache
// folder for Vendrill. The main window creates it at start and removes it at exit.
#include <QString>
#include <functional>

namespace configurator {

class TTempFolder {
public:
    // Whether files may be created in a folder; the file system's answer by default.
    using TWritable = std::function<bool(const QString& folder)>;

    // programFolder: the folder of the program file.
    explicit TTempFolder(const QString& programFolder, TWritable writable = {});

    // The folder's path with the platform's separators and none at the end.
    const QString& Path() const { return path; }

    // Creates the folder with any missing parents; an existing one is reused. False when
    // it is not there afterwards.
    bool Create() const;
    // Deletes the folder with everything in it; a link in its place is removed, never
    // followed. True when nothing of it is left.
    bool Remove() const;

private:
    QString path;
};

// $XDG_CACHE_HOME when it holds an absolute path, otherwise ~/.cache.
QString UserCacheFolder();

} // namespace configurator
