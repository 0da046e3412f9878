#include "SettingsStore.h"

#include "AbandonedLock.h"
#include "FileReplace.h"
#include "WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

int fileWrites = 0;
Clock* lockClock = &SystemClock();

std::unique_ptr<QSettings> OpenSection(const QString& section) {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Software",
                                       section);
}

int (*linkCall)(const char*, const char*) = ::link;

// A copy of the file at from under the name to, with its permissions where the folder keeps
// them: where a folder takes no second name of a file, the old file is kept this way.
bool CopyInFull(const QByteArray& from, const QByteArray& to) {
    QByteArray bytes;
    struct stat status;
    if (!ReadWholeFile(QFile::decodeName(from), bytes) || ::stat(from.constData(), &status) != 0)
        return false;
    ReplacingFile copy(QFile::decodeName(to));
    if (!copy.Open())
        return false;
    (void)!::fchmod(copy.Handle(), status.st_mode & 07777);
    return copy.Write(bytes) && copy.Commit();
}

// The file as it was before a rewrite (QSettings writes the file at the end of a chain of
// symbolic links), kept under a second name beside it so that a rewrite that fails,
// whatever the cause, is undone by a rename, which writes no byte: neither a full disk nor
// a file-size limit that the old file passes too can cut it. QSettings replaces the file by
// a rename, so a hard link keeps the old one whole; where the folder takes none, a copy
// does.
class TFileBefore {
public:
    explicit TFileBefore(const QString& path)
        : File(QFile::encodeName(FileBehindLinks(path))), Kept(NameBeside(File, ".before")) {
        struct stat status;
        Existed = ::lstat(File.constData(), &status) == 0;
        if (!Existed || !S_ISREG(status.st_mode))
            return;
        ::unlink(Kept.constData()); // one a killed write left
        Made = linkCall(File.constData(), Kept.constData()) == 0 || CopyInFull(File, Kept);
    }
    ~TFileBefore() {
        if (Made)
            ::unlink(Kept.constData());
    }
    TFileBefore(const TFileBefore&) = delete;
    TFileBefore& operator=(const TFileBefore&) = delete;

    // A file that is there but could not be kept is not rewritten: nothing could undo it.
    bool Ready() const { return !Existed || Made; }

    // A rename of a second name of the same file (a rewrite that never replaced it) does
    // nothing; the destructor then removes that name.
    void PutBack() const {
        if (Existed)
            ::rename(Kept.constData(), File.constData());
        else
            ::unlink(File.constData());
    }

private:
    const QByteArray File;
    const QByteArray Kept;
    bool Existed = false;
    bool Made = false;
};

// Every value the file holds, as QSettings reads it from the disk now. QSettings keeps what
// it read and wrote of a file by its path and takes a file of the same size and time for
// unchanged, so the file is read through a name of its own that no QSettings has used.
std::optional<QVariantMap> ValuesOnDisk(const QString& path) {
    const QTemporaryDir folder;
    const QString alias = folder.filePath(QStringLiteral("settings.ini"));
    if (!folder.isValid() || !QFile::link(QFileInfo(path).absoluteFilePath(), alias))
        return std::nullopt;
    QSettings file(alias, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return std::nullopt;
    QVariantMap values;
    for (const QString& key : file.allKeys())
        values.insert(key, file.value(key));
    return values;
}

// Whether the file on disk holds exactly what settings meant to write: the old values with
// the new ones set.
bool WrittenInFull(QSettings& settings) {
    if (settings.status() != QSettings::NoError)
        return false;
    settings.setFallbacksEnabled(false); // the user's own file alone
    QVariantMap meant;
    for (const QString& key : settings.allKeys())
        meant.insert(key, settings.value(key));
    return ValuesOnDisk(settings.fileName()) == meant;
}

// Takes over a lock that a writer killed mid-write left beside the file, and waits boundedly
// for one a living program holds: QSettings would wait 30 s for the first and for good for
// the second.
bool LockFree(const QSettings& settings) {
    return WaitForLock(settings.fileName() + ".lock", *lockClock, SettingsLockWaitMs);
}

// One section's rewrite. Its lock is waited for and its old file kept before any value is
// set, since QSettings writes its pending values again when it is destroyed, whatever came
// of them.
class TRewrite {
public:
    explicit TRewrite(const QString& section) : Settings(OpenSection(section)) {
        if (LockFree(*Settings))
            Before.emplace(Settings->fileName());
    }

    // False when the lock stays held or the old file could not be kept: no value may be set.
    bool Ready() const { return Before && Before->Ready(); }
    void Set(const QString& name, const QString& value) { Settings->setValue(name, value); }

    // Writes the values set, then reads the file back: QSettings takes a write that a full
    // disk or the file-size limit cut short for done, and the old file is put back then.
    bool Sync() {
        Settings->sync();
        ++fileWrites;
        if (WrittenInFull(*Settings))
            return true;
        Before->PutBack();
        return false;
    }

private:
    std::unique_ptr<QSettings> Settings;
    std::optional<TFileBefore> Before;
};

class IniSettingsStore : public SettingsStore {
public:
    std::optional<QVariant> Read(const QString& section, const QString& name) override {
        for (auto it = batch.rbegin(); it != batch.rend(); ++it)
            if (it->section == section && it->name == name)
                return QVariant(it->value);
        const std::unique_ptr<QSettings> settings = OpenSection(section);
        if (!settings->contains(name))
            return std::nullopt;
        return settings->value(name);
    }

    bool Write(const QString& section, const QString& name, const QString& value) override {
        if (batching) {
            batch.push_back({section, name, value});
            return true;
        }
        TRewrite file(section);
        if (!file.Ready())
            return false;
        file.Set(name, value);
        return file.Sync();
    }

    void Begin() override { batching = true; }

    bool Commit() override {
        // A file that cannot be rewritten keeps no value, so that nothing waits on it again.
        std::map<QString, std::unique_ptr<TRewrite>> files;
        bool ok = true;
        for (const TPending& p : batch) {
            const auto [file, opened] = files.try_emplace(p.section);
            if (opened) {
                file->second = std::make_unique<TRewrite>(p.section);
                ok &= file->second->Ready();
            }
            if (file->second->Ready())
                file->second->Set(p.name, p.value);
        }
        for (auto& [section, file] : files)
            if (file->Ready())
                ok &= file->Sync();
        batch.clear();
        batching = false;
        return ok;
    }

private:
    // Kept apart from QSettings until the commit: any QSettings opened on the same file
    // (a read, a path look-up) would write out the values it shares with another.
    struct TPending {
        QString section;
        QString name;
        QString value;
    };
    bool batching = false;
    std::vector<TPending> batch;
};

} // namespace

SettingsStore& UserSettings() {
    static IniSettingsStore store;
    return store;
}

QString SettingsFilePath(const QString& section) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Software", section).fileName();
}

int SettingsFileWrites() {
    return fileWrites;
}

void SetSettingsClock(Clock& clock) {
    lockClock = &clock;
}

void SetSettingsLinkCall(int (*call)(const char* from, const char* to)) {
    linkCall = call ? call : ::link;
}

} // namespace platform
