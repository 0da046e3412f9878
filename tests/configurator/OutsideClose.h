#pragma once
// The closes that reach the main window from outside the program: the window manager's
// close button, and an end signal (SIGTERM), which closes the window as the program does.
#include "TermSignals.h"
#include "WindowCloser.h"

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

// While it lives, end signals close the window as the program's own do.
class TOutsideClose {
public:
    explicit TOutsideClose(QWidget& window) : Window(window) {
        platform::CloseOnEndSignals(Signals, &window);
    }

    // The window manager's close reaches the window at once; an end signal's from the
    // event loop, a few passes later. The window must have been shown.
    void Ask(TCloseFrom from) {
        if (from == TCloseFrom::EndSignal) {
            raise(SIGTERM);
            return;
        }
        QCloseEvent close;
        QCoreApplication::sendEvent(Window.windowHandle(), &close);
    }

private:
    QWidget& Window;
    platform::TermSignals Signals;
};
