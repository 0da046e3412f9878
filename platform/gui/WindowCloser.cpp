#include "WindowCloser.h"

#include "TermSignals.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace platform {

WindowCloser::WindowCloser(QWidget* window, QObject* parent) : QObject(parent), Window(window) {}

void WindowCloser::Close() {
    if (Stepping || Closed || !Window)
        return;
    AsksNothing.Begin();
    Stepping = true;
    // From the event loop: whoever asks (a signal's report) is not held up by the modal
    // loops and waits of the close.
    QTimer::singleShot(0, this, &WindowCloser::Step);
}

void WindowCloser::Step() {
    if (Closed) {
        Stepping = false;
        return;
    }
    QWidget* top = QApplication::activePopupWidget();
    if (!top)
        top = QApplication::activeModalWidget();
    if (top) {
        // Asked first: the close may open a window of its own, whose loop runs this next.
        QTimer::singleShot(0, this, &WindowCloser::Step);
        const QPointer<QWidget> window(top);
        window->close();
        // One that refuses its close button still ends its loop when hidden.
        if (window && window->isVisible())
            window->hide();
        return;
    }
    Stepping = false;
    if (Window)
        Closed = Window->close();
}

WindowCloser& CloseOnEndSignals(TermSignals& endSignals, QWidget* window) {
    auto* closer = new WindowCloser(window, window);
    QObject::connect(&endSignals, &TermSignals::Received, closer, &WindowCloser::Close);
    return *closer;
}

} // namespace platform
