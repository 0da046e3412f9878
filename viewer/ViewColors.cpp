#include "ViewColors.h"

namespace viewer {

namespace {
// The system colours as a fresh desktop of the archives' home platform shows them, so
// that stored settings look the same everywhere.
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0xB5B5B5, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};
} // namespace

QColor ToQColor(TColor color) {
    if ((color & 0xFF000000u) == 0xFF000000u) {
        const uint32_t index = color & 0xFFu;
        const uint32_t rgb = index < std::size(kSystemColors) ? kSystemColors[index] : 0;
        return QColor::fromRgb(QRgb(rgb));
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

} // namespace viewer
