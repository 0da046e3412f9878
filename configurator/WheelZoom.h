#pragma once
// The application-wide Ctrl + mouse wheel hook of the main window. It sees every wheel
// event the application takes from the window system, in the main loop and in the modal
// loops of the program's dialogs alike, and never consumes it: the wheel still scrolls
// whatever it is over.
#include <QObject>
#include <functional>

// Turns wheel turns into zoom steps: only with Ctrl held alone (Shift up, Alt and the
// like do not matter, no mouse button held), one step per notch of 120 eighths of a
// degree. A fine-grained wheel or touchpad that reports a notch in parts zooms once for
// the whole notch; a turn that changes direction starts a new notch.
class TWheelZoom {
public:
    static constexpr int Notch = 120;

    // delta: the vertical angle delta. The steps to take: > 0 zoom in, < 0 zoom out.
    int Feed(int delta, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

private:
    int Rest = 0; // the part of a notch turned so far
};

// The event filter installed on the application. Zoom is called once per step with
// +1 or -1.
class TWheelZoomHook : public QObject {
    Q_OBJECT
public:
    explicit TWheelZoomHook(std::function<void(int step)> zoom, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> Zoom;
    TWheelZoom Counter;
};
