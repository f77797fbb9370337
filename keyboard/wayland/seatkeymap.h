#pragma once

#include <cstdint>
#include <string>

class WaylandConnection;
struct wl_keyboard;

// The keymap the compositor gives its clients' keyboards, read the way any
// client reads it: wl_seat -> wl_keyboard -> the keymap event, which the
// compositor sends again whenever the layout changes.
//
// The keyboard is asked for once the seat announces one. Compositors send
// no key or focus events to a keyboard whose client shows no window, only
// the keymap.
class SeatKeymap
{
public:
    explicit SeatKeymap(WaylandConnection &connection);
    ~SeatKeymap();
    SeatKeymap(const SeatKeymap &) = delete;
    SeatKeymap &operator=(const SeatKeymap &) = delete;

    // Takes in what the compositor has sent, without waiting for more, and
    // returns the current keymap as XKB text, empty while the seat has no
    // keyboard. Throws TypingFailed if the connection is gone.
    const std::string &refresh();
    // As refresh(), after a round trip: with everything the compositor
    // sent in answer to what was sent so far.
    const std::string &refreshAfterRoundtrip();
    // Whether the seat has a keyboard, as of the last round trip.
    bool seatHasKeyboard() const;

private:
    void bindKeyboard();
    static void keymapArrived(void *data, wl_keyboard *keyboard, uint32_t format, int32_t fd, uint32_t size);

    WaylandConnection &m_connection;
    wl_keyboard *m_keyboard = nullptr;
    std::string m_keymap;
};
