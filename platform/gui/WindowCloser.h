#pragma once
// A program's own close of its main window, made as its user would make it: an open menu
// and the modal windows over the main window are closed first, each as its own close
// button would close it (a message box takes the answer of its Escape key), so that the
// code waiting on each goes on as after the user's answer; then the main window is closed.
// Each step comes from the event loop. From the close's start on no further box opens
// (platform::QuietClose): what a closed window's caller asks next is answered unseen.
#include "MessageBox.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace platform {

class TermSignals;

class WindowCloser : public QObject {
    Q_OBJECT
public:
    explicit WindowCloser(QWidget* window, QObject* parent = nullptr);

    // Starts the close, which runs from the event loop: the caller is not held up by it.
    // While one is under way, or once the window has closed, nothing more happens. A close
    // the window put off (until a wait of its own is over) is the window's to make; asked
    // again then, the window is asked again.
    void Close();

private:
    void Step();

    QPointer<QWidget> Window;
    QuietClose AsksNothing;
    bool Stepping = false;
    bool Closed = false;
};

// A session's end, Ctrl+C or a closed terminal (see TermSignals) closes the window as its
// user would, for as long as both live. The closer is the window's.
WindowCloser& CloseOnEndSignals(TermSignals& endSignals, QWidget* window);

} // namespace platform
