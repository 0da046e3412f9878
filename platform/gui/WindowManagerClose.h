#pragma once
// The window manager's close of a main window under a modal window (a dialog, a message
// box, a file dialog). Qt drops that close before the window hears of it, so the window's
// close button would do nothing until the modal window is answered. Here it is the
// window's closer's instead, as an end signal's is: the modal windows close as their close
// buttons would, no further box opens, then the window closes. The close of a window that
// nothing blocks goes to the window as ever.
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace platform {

class WindowCloser;

// Follows whether a modal window blocks the window, as Qt tells the window, and takes the
// window manager's closes of the window while one does.
class BlockedWindowClose : public QObject {
    Q_OBJECT
public:
    // close: what a close taken asks for (the closer's Close).
    BlockedWindowClose(QWidget* window, std::function<void()> close, QObject* parent = nullptr);

    // A window manager's close of the window: while a modal window blocks the window it is
    // asked for, and true; otherwise false, and Qt hands the close to the window as usual.
    bool Take();
    bool Blocked() const { return IsBlocked; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> Close;
    bool IsBlocked = false;
};

// For as long as the closer lives, the window manager's close of the window while a modal
// window blocks it is the closer's close. On X11 only, where the close comes as a message
// the program sees before Qt drops it; elsewhere (offscreen) nothing changes.
void CloseBlockedOnWindowManagerClose(QWidget* window, WindowCloser& closer);

} // namespace platform
