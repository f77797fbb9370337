#include "keyboard/wayland/seatkeymap.h"

#include "keyboard/wayland/waylandconnection.h"

#include <wayland-client.h>

#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void ignoreEnter(void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) {}
void ignoreLeave(void *, wl_keyboard *, uint32_t, wl_surface *) {}
void ignoreKey(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {}
void ignoreModifiers(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void ignoreRepeatInfo(void *, wl_keyboard *, int32_t, int32_t) {}

} // namespace

SeatKeymap::SeatKeymap(WaylandConnection &connection)
    : m_connection(connection)
{}

SeatKeymap::~SeatKeymap()
{
    if (m_keyboard)
        wl_keyboard_destroy(m_keyboard);
}

const std::string &SeatKeymap::refresh()
{
    // Reads what is on the socket now and handles it; no round trip, so a
    // text waits on nothing here.
    wl_display *display = m_connection.display();
    while (wl_display_prepare_read(display) != 0)
        wl_display_dispatch_pending(display);
    wl_display_flush(display);
    pollfd socket = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&socket, 1, 0) > 0) {
        if (wl_display_read_events(display) < 0)
            m_connection.throwIfFailed();
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0)
        m_connection.throwIfFailed();
    bindKeyboard();
    return m_keymap;
}

const std::string &SeatKeymap::refreshAfterRoundtrip()
{
    m_connection.roundtrip();
    bindKeyboard();
    return m_keymap;
}

void SeatKeymap::bindKeyboard()
{
    if (m_keyboard || !seatHasKeyboard())
        return;
    static const wl_keyboard_listener listener = {
        &SeatKeymap::keymapArrived, ignoreEnter, ignoreLeave, ignoreKey, ignoreModifiers, ignoreRepeatInfo};
    m_keyboard = wl_seat_get_keyboard(m_connection.seat());
    wl_keyboard_add_listener(m_keyboard, &listener, this);
    m_connection.roundtrip();
}

bool SeatKeymap::seatHasKeyboard() const
{
    return m_connection.seatCapabilities() & WL_SEAT_CAPABILITY_KEYBOARD;
}

void SeatKeymap::keymapArrived(void *data, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size)
{
    auto *self = static_cast<SeatKeymap *>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            // The text ends with a NUL, counted in size.
            const char *text = static_cast<const char *>(map);
            self->m_keymap.assign(text, strnlen(text, size));
            munmap(map, size);
        }
    }
    close(fd);
}
