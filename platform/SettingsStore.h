#pragma once
// The per-user settings store that stands in for the registry key "Software": one
// section a file ($XDG_CONFIG_HOME/Software/<section>.ini), string values by name. A file
// has one writer at a time, under the lock QSettings takes for it: the file as it is on the
// disk with the new values set goes whole beside it and is renamed over it, or nothing
// changes; every other key and group stays as QSettings reads it. A read reads the file as
// it is on the disk.
#include "Clock.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // nullopt when the value is absent. A value that is not a plain string comes back
    // as whatever type the store holds, so callers can refuse it.
    virtual std::optional<QVariant> Read(const QString& section, const QString& name) = 0;
    // False when the value could not be stored. Between Begin and Commit the value is
    // kept for the commit and no file is touched yet.
    virtual bool Write(const QString& section, const QString& name, const QString& value) = 0;

    // A save of many values: Begin, the writes in their order, then Commit, which writes
    // each file once with all of them (one rewrite, not one per value). Commit is false
    // when a file could not be written. One batch at a time.
    virtual void Begin() {}
    virtual bool Commit() { return true; }
};

// The real store under the user's configuration folder.
SettingsStore& UserSettings();

// The file that holds a section, for tests and diagnostics.
QString SettingsFilePath(const QString& section);

// How many times the real store has written a settings file since the program started,
// so tests can count the rewrites of one save.
int SettingsFileWrites();

// How long a write waits while another program holds the file's lock before it fails. A
// write holds it for milliseconds; a holder past this is stuck, and the program must not be.
inline constexpr int64_t SettingsLockWaitMs = 10000;

// The clock that wait runs on (the system's until a test puts a virtual one in).
void SetSettingsClock(Clock& clock);

} // namespace platform
