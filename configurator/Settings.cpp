#include "Settings.h"

#include "NumberText.h"

namespace {

void ReadInteger(platform::SettingsStore& store, const QString& name, int32_t& value) {
    const std::optional<QVariant> stored = store.Read(TQeldSettings::Section, name);
    if (!stored || stored->typeId() != QMetaType::QString)
        return;
    if (const std::optional<int32_t> number = platform::ParseIntegerText(stored->toString()))
        value = *number;
}

bool WriteInteger(platform::SettingsStore& store, const QString& name, int32_t value) {
    return store.Write(TQeldSettings::Section, name, QString::number(value));
}

} // namespace

void TQeldSettings::Load(platform::SettingsStore& store) {
    ReadInteger(store, "Width", Width);
    ReadInteger(store, "Height", Height);
    ReadInteger(store, "Left", Left);
    ReadInteger(store, "Top", Top);
    ReadInteger(store, "WinState", WinState);
    ReadInteger(store, "Port", Link.Port);
    ReadInteger(store, "PortSpeed", Link.PortSpeed);
    ReadInteger(store, "TimeOut", Link.TimeOut);
    ReadInteger(store, "ScanRate", Link.ScanRate);
}

bool TQeldSettings::Save(platform::SettingsStore& store) const {
    // One rewrite of the file for the whole save, not one per value.
    store.Begin();
    bool ok = true;
    if (WinState == wsNormal) {
        ok &= WriteInteger(store, "Width", Width);
        ok &= WriteInteger(store, "Height", Height);
        ok &= WriteInteger(store, "Left", Left);
        ok &= WriteInteger(store, "Top", Top);
    }
    ok &= WriteInteger(store, "Port", Link.Port);
    ok &= WriteInteger(store, "PortSpeed", Link.PortSpeed);
    ok &= WriteInteger(store, "TimeOut", Link.TimeOut);
    ok &= WriteInteger(store, "ScanRate", Link.ScanRate);
    ok &= WriteInteger(store, "WinState", WinState);
    ok &= store.Commit();
    return ok;
}
