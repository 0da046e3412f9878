#pragma once
// The font both programs' windows are laid out for. The layouts were drawn in pixels for an
// 8-point font; the desktop's own family at that size stands in for the layouts' face.
#include <QFont>

class QWidget;

namespace platform {

// The desktop font's family (and its other properties) at 8 points.
QFont LayoutFont(const QFont& desktop);
// Gives the window the layout font in place of its own; its controls inherit it.
void SetLayoutFont(QWidget* window);

} // namespace platform
