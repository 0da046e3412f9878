#pragma once
// The configurator's settings: the main window's geometry and state and the link values,
// kept as decimal text in the section "Morlavin_V1" of the per-user settings store.
// Qt Core only; the main window and the link-settings dialog share it.
#include "SettingsStore.h"

#include <QString>
#include <cstdint>

// The values of the link that the user sets: the polling master takes them at each connect.
struct TLinkValues {
    int32_t Port = 1;         // COM port number
    int32_t PortSpeed = 9600; // baud
    int32_t ScanRate = 1000;  // poll period, ms
    int32_t TimeOut = 100;    // wait for the first reply bytes, ms

    bool operator==(const TLinkValues&) const = default;
};

// The main window's window state as stored.
enum TWinState : int32_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

class TQeldSettings {
public:
    static inline const QString Section = QStringLiteral("Morlavin_V1");

    int32_t Width = 600;
    int32_t Height = 400;
    int32_t Left = 463; // the main window's place in its layout
    int32_t Top = 299;
    int32_t WinState = wsNormal;
    TLinkValues Link;

    // Reads every value; one that is missing, not text or not a whole number (the integer
    // text rule) keeps the value it had, so a fresh record loads the defaults.
    void Load(platform::SettingsStore& store = platform::UserSettings());
    // Writes the geometry only while WinState is normal, so a maximized window keeps the
    // last normal geometry; then Port, PortSpeed, TimeOut, ScanRate and WinState in every
    // state. The file is rewritten once, with all of them. False when a value could not
    // be stored; the others are written all the same.
    bool Save(platform::SettingsStore& store = platform::UserSettings()) const;
};
