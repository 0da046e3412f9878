#include "ViewerSettings.h"

#include "NumberText.h"
#include "VaskRegistry.h"

#include <algorithm>
#include <optional>

namespace viewer {

namespace {

const QString kSection = QStringLiteral("Brisquelon");

// Ends the reading: what is not read yet keeps its value.
struct EStopReading {};

int ReadInt(const TVaskRegistry& registry, const QString& ident, const QString& defaultValue) {
    const std::optional<int32_t> value =
        platform::ParseIntegerText(registry.ReadValue(ident, defaultValue));
    if (!value)
        throw EStopReading{};
    return *value;
}

TWindowState ToWindowState(int value) {
    switch (value) {
    case 1:
        return TWindowState::Minimized;
    case 2:
        return TWindowState::Maximized;
    default:
        return TWindowState::Normal;
    }
}

// Colours go out as signed numbers, so the system colours are negative.
int Signed(TColor color) {
    return int(int32_t(color));
}

} // namespace

void LoadSettings(TVaskRegistry& registry, const QString& programDir, TViewerSettings& settings) {
    registry.SetSection(kSection);
    try {
        settings.Width = ReadInt(registry, "Width", "700");
        settings.Height = ReadInt(registry, "Height", "500");
        settings.Left = ReadInt(registry, "Left", "250");
        settings.Top = ReadInt(registry, "Top", "250");
        settings.WindowState = ToWindowState(ReadInt(registry, "WindowState", "0"));
        settings.Dir = programDir;
        settings.Dir = registry.ReadValue("Dir", settings.Dir);
        settings.SaveDir = registry.ReadValue("SaveDir", settings.Dir);
        // Only an edited value lies outside the entries of the settings dialog.
        settings.Precision = std::clamp(ReadInt(registry, "Precision", "2"), 0, 4);
        settings.HeadColor = TColor(ReadInt(registry, "HeadColor", "$FF00001A"));
        settings.FerstColor = TColor(ReadInt(registry, "FerstColor", "$00FFFFFF"));
        settings.SecondColor = TColor(ReadInt(registry, "SecondColor", "$FF00000F"));
    } catch (const EStopReading&) {
    } catch (const ERegistryError&) {
    }
}

void SaveSettings(TVaskRegistry& registry, const TViewerSettings& settings, bool normalState) {
    registry.SetSection(kSection);
    // One rewrite of the file for the whole save, not one per value.
    registry.BeginWrites();
    try {
        if (normalState) {
            registry.WriteValue("Width", settings.Width);
            registry.WriteValue("Height", settings.Height);
            registry.WriteValue("Left", settings.Left);
            registry.WriteValue("Top", settings.Top);
        }
        registry.WriteValue("WindowState", int(settings.WindowState));
        registry.WriteValue("Dir", settings.Dir);
        registry.WriteValue("SaveDir", settings.SaveDir);
        registry.WriteValue("Precision", settings.Precision);
        registry.WriteValue("HeadColor", Signed(settings.HeadColor));
        registry.WriteValue("FerstColor", Signed(settings.FerstColor));
        registry.WriteValue("SecondColor", Signed(settings.SecondColor));
    } catch (const ERegistryError&) {
    }
    // What was written before an error is committed all the same.
    try {
        registry.CommitWrites();
    } catch (const ERegistryError&) {
    }
}

} // namespace viewer
