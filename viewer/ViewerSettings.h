#pragma once
// The main window's settings in the section "Brisquelon": what is read when the window
// is created and written when it closes. Qt Core only.
#include "ColorValues.h"

#include <QString>

class TVaskRegistry;

namespace viewer {

enum class TWindowState { Normal = 0, Minimized = 1, Maximized = 2 };

struct TViewerSettings {
    int Width = 0;
    int Height = 0;
    int Left = 0;
    int Top = 0;
    TWindowState WindowState = TWindowState::Normal;
    QString Dir;     // the folder of the last archive opened
    QString SaveDir; // the save dialog's folder
    int Precision = 0;
    TColor HeadColor = 0;
    TColor FerstColor = 0;
    TColor SecondColor = 0;
};

// Sets the registry's section, then reads every value in its order into settings, with its default
// when absent (Dir's is programDir, SaveDir's the Dir just read). Numbers are decimal, or
// hexadecimal after "$". The first value that cannot be read or converted ends the reading
// silently: it and every later one keep what settings held. A precision outside 0-4 is clamped.
void LoadSettings(TVaskRegistry& registry, const QString& programDir, TViewerSettings& settings);

// Writes Width, Height, Left and Top (only when normalState), then WindowState, Dir,
// SaveDir, Precision and the colours, numbers as signed decimal text, into one rewrite of
// the file. The first failure ends the writing silently; what was written stays.
void SaveSettings(TVaskRegistry& registry, const TViewerSettings& settings, bool normalState);

} // namespace viewer
