#include "SettingsStore.h"

#include "AbandonedLock.h"
#include "FileSizeLimit.h"
#include "WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
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

// The file as it was before a rewrite, to put back when the rewrite fails. QSettings
// replaces the file by a rename, so a second name keeps the old one whole and puts it back
// without writing a byte: a limit that the old file passes too cannot cut it. Where the
// folder takes no second name, the old bytes are written back.
struct TFileBefore {
    explicit TFileBefore(const QString& path)
        : Path(path), Kept(QFile::encodeName(path + ".before")), Existed(QFileInfo::exists(path)),
          Linked(Existed && KeepSecondName()),
          Read(Existed && !Linked && ReadWholeFile(path, Bytes)) {}
    ~TFileBefore() {
        if (Linked)
            ::unlink(Kept.constData());
    }
    TFileBefore(const TFileBefore&) = delete;
    TFileBefore& operator=(const TFileBefore&) = delete;

    void PutBack() const {
        if (!Existed) {
            QFile::remove(Path);
            return;
        }
        if (Linked && ::rename(Kept.constData(), QFile::encodeName(Path).constData()) == 0)
            return;
        QSaveFile file(Path);
        if (Read && file.open(QIODevice::WriteOnly) && file.write(Bytes) == Bytes.size())
            CommitInFull(file, Bytes.size());
    }

    const QString Path;
    const QByteArray Kept;
    QByteArray Bytes;
    const bool Existed;
    const bool Linked;
    const bool Read; // the old bytes, needed only where no second name was kept

private:
    // Not for a symbolic link: QSettings replaces the file it points to, not the link.
    bool KeepSecondName() const {
        const QByteArray name = QFile::encodeName(Path);
        struct stat status;
        if (::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            return false;
        ::unlink(Kept.constData()); // one a killed write left
        return ::link(name.constData(), Kept.constData()) == 0;
    }
};

// Takes over a lock that a writer killed mid-write left beside the file, and waits boundedly
// for one a living program holds: QSettings would wait 30 s for the first and for good for
// the second. Asked before any value is set, since QSettings writes its pending values again
// when it is destroyed, lock or not.
bool LockFree(const QSettings& settings) {
    return WaitForLock(settings.fileName() + ".lock", *lockClock, SettingsLockWaitMs);
}

// Rewrites the file with the values set since the last sync. QSettings takes a file cut
// short at the file-size limit for written, so the old one is put back then.
bool Sync(QSettings& settings) {
    const TFileBefore before(settings.fileName());
    const unsigned limitHits = FileSizeLimitHits();
    settings.sync();
    ++fileWrites;
    if (FileSizeLimitHits() != limitHits) {
        before.PutBack();
        return false;
    }
    return settings.status() == QSettings::NoError;
}

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
        const std::unique_ptr<QSettings> settings = OpenSection(section);
        if (!LockFree(*settings))
            return false;
        settings->setValue(name, value);
        return Sync(*settings);
    }

    void Begin() override { batching = true; }

    bool Commit() override {
        // A file whose lock stays held keeps no value, so that nothing waits on it again.
        std::map<QString, std::unique_ptr<QSettings>> files;
        bool ok = true;
        for (const TPending& p : batch) {
            const auto [file, opened] = files.try_emplace(p.section);
            std::unique_ptr<QSettings>& settings = file->second;
            if (opened) {
                settings = OpenSection(p.section);
                if (!LockFree(*settings)) {
                    settings.reset();
                    ok = false;
                }
            }
            if (settings)
                settings->setValue(p.name, p.value);
        }
        for (auto& [section, settings] : files)
            if (settings)
                ok &= Sync(*settings);
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

} // namespace platform
