// Sends an X window the close of its window manager's close button: a WM_PROTOCOLS client
// message asking WM_DELETE_WINDOW, delivered to the client that made the window.
//   send-wm-close <window id>     (decimal or 0x hex; the display from $DISPLAY)
#include "XcbWindowClose.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    char* end = nullptr;
    const unsigned long window = argc == 2 ? std::strtoul(argv[1], &end, 0) : 0;
    if (argc != 2 || *end != '\0' || window == 0 || window > 0xffffffffUL) {
        std::fprintf(stderr, "usage: send-wm-close <window id>\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "send-wm-close: cannot open the display\n");
        xcb_disconnect(connection);
        return 1;
    }
    const platform::XcbCloseAtoms atoms = platform::InternCloseAtoms(connection);
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atoms.Protocols;
    message.data.data32[0] = atoms.DeleteWindow;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_send_event_checked(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                                           reinterpret_cast<const char*>(&message)));
    const bool sent =
        message.type != XCB_ATOM_NONE && message.data.data32[0] != XCB_ATOM_NONE && !error;
    std::free(error);
    xcb_disconnect(connection);
    if (!sent) {
        std::fprintf(stderr, "send-wm-close: cannot send the close to window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
