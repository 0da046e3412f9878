#include "SettingsStore.h"

#include "AbandonedLock.h"
#include "FileReplace.h"
#include "IniText.h"
#include "WholeFile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

int fileWrites = 0;
Clock* lockClock = &SystemClock();

// How long a lock that another writer took between our look and our take is given.
constexpr int64_t kRetryMs = 20;

// In the names of the store's new files beside a settings file, so that one a killed writer
// left is known for the store's own and no other file of that name is touched.
const QByteArray kNewFileMark = ".saving";

// A settings file as it is on the disk now: its text and its values as QSettings reads them.
struct TFileNow {
    QByteArray text;
    QVariantMap values;
};

// Both from one descriptor, so both of the same file; empty when there is no file yet,
// nullopt when it cannot be read whole (its other values could not be kept).
std::optional<TFileNow> FileNow(const QString& path) {
    // Non-blocking, so that a FIFO in the file's place opens at once and is refused.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional<TFileNow>(TFileNow{}) : std::nullopt;
    std::optional<TFileNow> now;
    QByteArray text;
    if (ReadWholeFile(fd, text))
        if (std::optional<QVariantMap> values = ReadIniFile(fd))
            now = TFileNow{text, *values};
    ::close(fd);
    return now;
}

// A value's bytes as QDataStream writes it: a value compares with another by these, as one
// (a NaN) may never equal itself. nullopt when it cannot be written.
std::optional<QByteArray> Serialized(const QVariant& value) {
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << value;
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    return bytes;
}

bool SameValues(const QVariantMap& a, const QVariantMap& b) {
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.begin(); it != a.end(); ++it) {
        const std::optional<QByteArray> mine = Serialized(it.value());
        if (!mine || mine != Serialized(b.value(it.key())))
            return false;
    }
    return true;
}

// Whether QSettings reads text as the old file with the values set, every other value as
// it was.
bool HoldsExactly(const QByteArray& text, const TFileNow& old, const TIniValues& values) {
    QVariantMap meant = old.values;
    // A text reads back as it went in, and an empty one, null or not, as the empty string.
    for (const auto& [name, value] : values)
        meant.insert(IniKey(name), value.isNull() ? QStringLiteral("") : value);
    const std::optional<QVariantMap> read = ReadIniText(text);
    return read && SameValues(meant, *read);
}

// Takes the lock that QSettings takes for the file, so that it and every instance wait
// for us; an abandoned one is taken over, one held by a living program waited for at most
// SettingsLockWaitMs (QSettings would wait for good).
bool TakeLock(QLockFile& lock, const QString& name) {
    const int64_t end = lockClock->NowMs() + SettingsLockWaitMs;
    for (;;) {
        if (!WaitForLock(name, *lockClock, end - lockClock->NowMs()))
            return false;
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError || lockClock->NowMs() >= end)
            return false;
        lockClock->SleepMs(kRetryMs);
    }
}

// One section's rewrite: under its lock, the file as it is on the disk with the values set
// is written whole beside it and renamed over it, or nothing changes. The file's values
// are never handed to a QSettings that could write them.
bool Rewrite(const QString& section, const TIniValues& values) {
    for (const auto& [name, value] : values)
        if (IniKey(name).isEmpty())
            return false;
    const QString path = SettingsFilePath(section);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QLockFile lock(path + ".lock");
    if (!TakeLock(lock, path + ".lock"))
        return false;
    for (const QString& left : NewFilesLeftBeside(path, kNewFileMark))
        QFile::remove(left);
    const std::optional<TFileNow> old = FileNow(path);
    if (!old)
        return false;
    const QByteArray text = WithIniValues(old->text, values);
    if (!HoldsExactly(text, *old, values))
        return false;
    ++fileWrites;
    return ReplaceFile(path, text, kNewFileMark).ok;
}

class IniSettingsStore : public SettingsStore {
public:
    std::optional<QVariant> Read(const QString& section, const QString& name) override {
        for (auto it = batch.rbegin(); it != batch.rend(); ++it)
            if (it->section == section && it->name == name)
                return QVariant(it->value);
        const std::optional<TFileNow> now = FileNow(SettingsFilePath(section));
        const QString key = IniKey(name);
        if (!now || !now->values.contains(key))
            return std::nullopt;
        return now->values.value(key);
    }

    bool Write(const QString& section, const QString& name, const QString& value) override {
        if (batching) {
            batch.push_back({section, name, value});
            return true;
        }
        return Rewrite(section, {{name, value}});
    }

    void Begin() override { batching = true; }

    bool Commit() override {
        QStringList sections;
        for (const TPending& p : batch)
            if (!sections.contains(p.section))
                sections << p.section;
        bool ok = true;
        for (const QString& section : sections) {
            TIniValues values;
            for (const TPending& p : batch)
                if (p.section == section)
                    values.append({p.name, p.value});
            ok &= Rewrite(section, values);
        }
        batch.clear();
        batching = false;
        return ok;
    }

private:
    // Kept apart from the file until the commit, which writes each file once.
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
    // Where QSettings keeps the key's sections, taken from a QSettings on the key's own file:
    // one on a section's file would read it, and wait for good on a FIFO put in its place.
    const QString key =
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Software").fileName();
    if (section.isEmpty())
        return key;
    return key.chopped(QStringLiteral(".ini").size()) + '/' + section + ".ini";
}

int SettingsFileWrites() {
    return fileWrites;
}

void SetSettingsClock(Clock& clock) {
    lockClock = &clock;
}

} // namespace platform
