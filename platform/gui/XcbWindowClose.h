#pragma once
// The window manager's close as X11 delivers it: a WM_PROTOCOLS client message to the
// window asking WM_DELETE_WINDOW. Qt hands each event from the X server to the
// application's native event filters before it handles the event itself, so a filter sees
// the close even where Qt would drop it.
#include <cstdint>
#include <functional>

class QObject;
class QWidget;
struct xcb_connection_t;

namespace platform {

// The two atoms of the message, as the X server numbers them.
struct XcbCloseAtoms {
    uint32_t Protocols = 0;
    uint32_t DeleteWindow = 0;
};

// The atoms on the display of the connection (XCB_ATOM_NONE, 0, where it gave none).
XcbCloseAtoms InternCloseAtoms(xcb_connection_t* connection);

// Whether the xcb event is the window manager's close of the window.
bool IsWindowManagerClose(const void* xcbEvent, uint32_t window, const XcbCloseAtoms& atoms);

// On X11: from now on, for as long as owner lives, take sees each window manager's close of
// the window first, and one it takes (returns true for) goes no further. Elsewhere nothing.
void FilterWindowManagerClose(QWidget* window, std::function<bool()> take, QObject* owner);

} // namespace platform
