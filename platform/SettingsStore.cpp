#include "SettingsStore.h"

#include <QSettings>

namespace platform {

namespace {
class IniSettingsStore : public SettingsStore {
public:
    std::optional<QVariant> Read(const QString& section, const QString& name) override {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Software", section);
        if (!settings.contains(name))
            return std::nullopt;
        return settings.value(name);
    }

    bool Write(const QString& section, const QString& name, const QString& value) override {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Software", section);
        settings.setValue(name, value);
        settings.sync();
        return settings.status() == QSettings::NoError;
    }
};
} // namespace

SettingsStore& UserSettings() {
    static IniSettingsStore store;
    return store;
}

QString SettingsFilePath(const QString& section) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Software", section).fileName();
}

} // namespace platform
