#include "XcbWindowClose.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace platform {

namespace {

class XcbCloseFilter : public QObject, public QAbstractNativeEventFilter {
public:
    XcbCloseFilter(QWidget* window, std::function<bool()> take, const XcbCloseAtoms& atoms,
                   QObject* owner)
        : QObject(owner), Window(window), Take(std::move(take)), Atoms(atoms) {
        // Taken out again by the filter's own end.
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !Window)
            return false;
        // A window not made on the display yet has had no close.
        const QWindow* handle = Window->windowHandle();
        if (!handle || !handle->handle())
            return false;
        return IsWindowManagerClose(message, uint32_t(handle->winId()), Atoms) && Take();
    }

private:
    QPointer<QWidget> Window;
    std::function<bool()> Take;
    XcbCloseAtoms Atoms;
};

uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t atom = reply ? reply->atom : uint32_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

XcbCloseAtoms InternCloseAtoms(xcb_connection_t* connection) {
    return {InternAtom(connection, "WM_PROTOCOLS"), InternAtom(connection, "WM_DELETE_WINDOW")};
}

bool IsWindowManagerClose(const void* xcbEvent, uint32_t window, const XcbCloseAtoms& atoms) {
    const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
    // The high bit marks an event another client sent, as a window manager sends this one.
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* message = static_cast<const xcb_client_message_event_t*>(xcbEvent);
    return message->window == window && message->format == 32 && message->type == atoms.Protocols &&
           atoms.Protocols != XCB_ATOM_NONE && message->data.data32[0] == atoms.DeleteWindow &&
           atoms.DeleteWindow != XCB_ATOM_NONE;
}

void FilterWindowManagerClose(QWidget* window, std::function<bool()> take, QObject* owner) {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    new XcbCloseFilter(window, std::move(take), InternCloseAtoms(connection), owner);
}

} // namespace platform
