#pragma once
// The viewer's 32-bit colours: 00BBGGRR for a colour given by its parts, FF0000nn for
// the system colour with index nn (1A hot-track, 0F button face, ...).
#include <cstdint>

namespace viewer {

using TColor = uint32_t;

constexpr TColor kHotTrackColor = 0xFF00001A;
constexpr TColor kButtonFaceColor = 0xFF00000F;
constexpr TColor kWhiteColor = 0x00FFFFFF;

} // namespace viewer
