#pragma once
// What the card reader shows in the main window while it works: the busy cursor of a
// listing or a download, and the download's progress panel with its Cancel button. The
// main window implements it; every call comes from the window thread. The defaults
// show nothing and never cancel.
#include <QString>

class TCardProgress {
public:
    virtual ~TCardProgress() = default;

    // The application-starting cursor while true, the default cursor once false.
    virtual void SetBusyCursor(bool /*busy*/) {}

    // The main window's CancelLoad flag: cleared when a download starts, set by
    // CancelLoadButtonClick, read after each step of the download.
    virtual void ClearCancel() {}
    virtual bool CancelRequested() const { return false; }

    // LoadProgressBar: its range (the position becomes 0), then its position.
    virtual void SetProgressRange(int /*minimum*/, int /*maximum*/) {}
    virtual void SetProgressPosition(int /*position*/) {}
    // ProgresLabel: the target path.
    virtual void SetPathText(const QString& /*path*/) {}
    // SizeLabel: "Скачено: ..." as the download counts.
    virtual void SetSizeText(const QString& /*text*/) {}
    // Sizes and centres ProgressPanel for the path's width (LayoutProgressPanel), shows
    // it, gives CancelLoadButton ("Отмена") the focus and repaints the window.
    virtual void ShowPanel() {}
    virtual void HidePanel() {}

    // Lets the window handle what is pending: repaints and the Cancel click.
    virtual void ProcessEvents() {}
};

// Where the progress panel and its parts go, in pixels.
struct TProgressPanelLayout {
    int PanelWidth = 0;
    int BarWidth = 0;
    int ButtonLeft = 0; // CancelLoadButton, inside the panel
    int PanelLeft = 0;  // the panel, inside the window
    int PanelTop = 0;
};

// The panel fits the path with 10 pixels on either side, and is at least 300 wide; the
// bar is as wide as a path wider than 300 pixels, else 280; the button is centred in the panel and
// the panel in the window's outer size, halves truncated toward zero.
TProgressPanelLayout LayoutProgressPanel(int pathWidth, int buttonWidth, int panelHeight,
                                         int windowWidth, int windowHeight);
