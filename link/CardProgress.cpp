#include "CardProgress.h"

TProgressPanelLayout LayoutProgressPanel(int pathWidth, int buttonWidth, int panelHeight,
                                         int windowWidth, int windowHeight) {
    TProgressPanelLayout layout;
    if (pathWidth > 300) {
        layout.PanelWidth = pathWidth + 20;
        layout.BarWidth = pathWidth;
    } else {
        layout.PanelWidth = 300;
        layout.BarWidth = 280;
    }
    layout.ButtonLeft = layout.PanelWidth / 2 - buttonWidth / 2;
    layout.PanelLeft = windowWidth / 2 - layout.PanelWidth / 2;
    layout.PanelTop = windowHeight / 2 - panelHeight / 2;
    return layout;
}
