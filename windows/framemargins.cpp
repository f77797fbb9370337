#include "windows/framemargins.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

namespace {

// Window managers answer within a few milliseconds; one that does not is
// not waited for any longer than a user would notice.
constexpr int MaximumWaitMs = 200;

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property of 32-bit items; empty when the window or the property is missing.
std::vector<uint32_t> property(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, name, type, 0, 1024), nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto *items = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(items, items + xcb_get_property_value_length(reply.get()) / 4);
}

// Whether a window manager runs (its check window names itself, so a stale
// property left by one that ended does not count) and offers the request.
bool windowManagerOffers(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t request)
{
    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const std::vector<uint32_t> manager = property(connection, root, check, XCB_ATOM_WINDOW);
    if (manager.size() != 1 || property(connection, manager[0], check, XCB_ATOM_WINDOW) != manager)
        return false;
    const std::vector<uint32_t> supported =
        property(connection, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), request) != supported.end();
}

} // namespace

QMargins expectedFrameMargins(QWidget &window)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return {};
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    if (!windowManagerOffers(connection, root, request))
        return {};

    const auto id = xcb_window_t(window.winId());
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&message));

    // The answer is a property on the window: left, right, top, bottom.
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    QElapsedTimer clock;
    clock.start();
    do {
        const std::vector<uint32_t> sides = property(connection, id, extents, XCB_ATOM_CARDINAL);
        if (sides.size() == 4)
            return QMargins(int(sides[0]), int(sides[2]), int(sides[1]), int(sides[3]));
        QThread::msleep(2);
    } while (clock.elapsed() < MaximumWaitMs);
    return {};
}
