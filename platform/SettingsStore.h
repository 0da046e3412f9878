#pragma once
// The per-user settings store that stands in for the registry key "Software": one
// section a file ($XDG_CONFIG_HOME/Software/<section>.ini), string values by name.
#include <QString>
#include <QVariant>
#include <optional>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // nullopt when the value is absent. A value that is not a plain string comes back
    // as whatever type the store holds, so callers can refuse it.
    virtual std::optional<QVariant> Read(const QString& section, const QString& name) = 0;
    // False when the value could not be stored.
    virtual bool Write(const QString& section, const QString& name, const QString& value) = 0;
};

// The real store under the user's configuration folder.
SettingsStore& UserSettings();

// The file that holds a section, for tests and diagnostics.
QString SettingsFilePath(const QString& section);

} // namespace platform
