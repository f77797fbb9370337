#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_interface;

// A connection of the program's own to the Wayland compositor named by
// $WAYLAND_DISPLAY, separate from the one the windows use, so that typing
// never waits on or disturbs the GUI's event queue.
//
// On connecting it reads the compositor's globals and binds the first seat.
// Failures throw OperationError: TypingUnavailable when there is no
// compositor to talk to, TypingFailed when an established connection breaks.
class WaylandConnection
{
public:
    struct Global
    {
        uint32_t name = 0;
        std::string interface;
        uint32_t version = 0;
    };

    // Requests queued between two flushes: well within libwayland's 4 KiB
    // send buffer, which must never fill up unflushed.
    static constexpr int RequestsPerFlush = 64;
    // How long clients take to ask for the keyboard a seat gains; keys sent
    // before that are lost to them.
    static constexpr std::chrono::milliseconds KeyboardSetupTime{250};

    WaylandConnection();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection &) = delete;
    WaylandConnection &operator=(const WaylandConnection &) = delete;

    // The socket name the connection went to ("wayland-1"), for messages.
    static QString displayName();

    wl_display *display() const { return m_display; }
    // The first seat; null when the compositor has none.
    wl_seat *seat() const { return m_seat; }
    // The wl_seat capabilities as last announced (WL_SEAT_CAPABILITY_*).
    uint32_t seatCapabilities() const { return m_seatCapabilities; }

    bool offers(const char *interface) const;
    // Binds the global offered under interface's name, at most at version.
    void *bind(const wl_interface *interface, uint32_t version);

    // Waits until the compositor has handled every request sent so far.
    void roundtrip();
    // Sends what is queued, waiting while the socket is full.
    void flush();
    // Throws TypingFailed if the compositor ended the connection.
    void throwIfFailed() const;
    // The compositor's process at the other end; -1 where the socket does
    // not tell.
    int compositorPid() const { return peerPid(displayFd()); }
    // The process at the other end of a Unix socket, or -1.
    static int peerPid(int socket);

private:
    int displayFd() const;
    static void addGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void removeGlobal(void *data, wl_registry *registry, uint32_t name);
    static void seatCapabilitiesChanged(void *data, wl_seat *seat, uint32_t capabilities);
    static void seatNamed(void *data, wl_seat *seat, const char *name);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    uint32_t m_seatCapabilities = 0;
    std::vector<Global> m_globals;
};
