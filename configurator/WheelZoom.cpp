#include "WheelZoom.h"

#include <QWheelEvent>

int TWheelZoom::Feed(int delta, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    const bool ctrlAlone =
        (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) == Qt::ControlModifier &&
        buttons == Qt::NoButton;
    if (!ctrlAlone || delta == 0) {
        Rest = 0;
        return 0;
    }
    if ((Rest < 0) != (delta < 0))
        Rest = 0;
    Rest += delta;
    const int steps = Rest / Notch;
    Rest -= steps * Notch;
    return steps;
}

TWheelZoomHook::TWheelZoomHook(std::function<void(int)> zoom, QObject* parent)
    : QObject(parent), Zoom(std::move(zoom)) {}

bool TWheelZoomHook::eventFilter(QObject* watched, QEvent* event) {
    // The window system hands each wheel event to a window first, and the window passes it
    // on to the widget under the mouse and its parents: count it only at the window, so
    // that one turn of the wheel is one event here.
    if (event->type() == QEvent::Wheel && watched->isWindowType()) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int steps =
            Counter.Feed(wheel->angleDelta().y(), wheel->modifiers(), wheel->buttons());
        for (int i = 0; i < std::abs(steps); ++i)
            Zoom(steps > 0 ? 1 : -1);
    }
    return false;
}
