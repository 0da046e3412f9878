#pragma once
// The closes that reach the main window from outside the program: the window manager's
// close button, and an end signal (SIGTERM), which closes the window as the program does.
#include "TermSignals.h"
#include "WindowCloser.h"
#include "WindowManagerClose.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <ostream>

enum class TCloseFrom { WindowManager, EndSignal };

inline std::ostream& operator<<(std::ostream& os, TCloseFrom from) {
    return os << (from == TCloseFrom::WindowManager ? "WindowManager" : "EndSignal");
}

// While it lives, end signals and the window manager's closes close the window as the
// program's own do.
class TOutsideClose {
public:
    explicit TOutsideClose(QWidget& window)
        : Window(window), Closer(platform::CloseOnEndSignals(Signals, &window)),
          Blocked(&window, [this] { Closer.Close(); }) {}

    // The window manager's close reaches the window at once, or, under a modal window,
    // the closer, as the programs take it on X11; an end signal's from the event loop, a
    // few passes later. The window must have been shown.
    void Ask(TCloseFrom from) {
        if (from == TCloseFrom::EndSignal) {
            raise(SIGTERM);
            return;
        }
        if (Blocked.Take())
            return;
        QCloseEvent close;
        QCoreApplication::sendEvent(Window.windowHandle(), &close);
    }

private:
    QWidget& Window;
    platform::TermSignals Signals;
    platform::WindowCloser& Closer;
    platform::BlockedWindowClose Blocked;
};
