#include "CardProgress.h"

#include <algorithm>

TProgressPanelLayout LayoutProgressPanel(int pathWidth, int buttonWidth, int panelHeight,
                                         int windowWidth, int windowHeight) {
    TProgressPanelLayout layout;
    // The path starts 10 pixels in: a path of up to 300 pixels, wider than the bar, still
    // needs its 10 pixels on the right.
    layout.PanelWidth = std::max(300, pathWidth + 20);
    layout.BarWidth = pathWidth > 300 ? pathWidth : 280;
    layout.ButtonLeft = layout.PanelWidth / 2 - buttonWidth / 2;
    layout.PanelLeft = windowWidth / 2 - layout.PanelWidth / 2;
    layout.PanelTop = windowHeight / 2 - panelHeight / 2;
    return layout;
}
