#include "WindowManagerClose.h"

#include "WindowCloser.h"
#include "XcbWindowClose.h"

#include <QEvent>
#include <QWidget>

namespace platform {

BlockedWindowClose::BlockedWindowClose(QWidget* window, std::function<void()> close,
                                       QObject* parent)
    : QObject(parent), Close(std::move(close)) {
    // Qt tells every window it blocks or frees, the window's native one being made anew too.
    window->installEventFilter(this);
}

bool BlockedWindowClose::Take() {
    if (!IsBlocked)
        return false;
    Close();
    return true;
}

bool BlockedWindowClose::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::WindowBlocked)
        IsBlocked = true;
    else if (event->type() == QEvent::WindowUnblocked)
        IsBlocked = false;
    return false;
}

void CloseBlockedOnWindowManagerClose(QWidget* window, WindowCloser& closer) {
    auto* blocked = new BlockedWindowClose(
        window, [&closer] { closer.Close(); }, &closer);
    FilterWindowManagerClose(
        window, [blocked] { return blocked->Take(); }, blocked);
}

} // namespace platform
