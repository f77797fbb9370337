#pragma once

#include "keyboard/xserver/xconnection.h"

#include <array>
#include <chrono>
#include <cstdint>

// Watches Xwayland (on $DISPLAY) handle the key releases that bexlow sends
// it through a compositor, so that a key pressed again right after its
// release is pressed only once Xwayland's clock has moved past that release.
//
// Xwayland stamps each key with its clock's millisecond (the X server time)
// as it handles it, and some X11 programs take a release and a press of one
// key at the same millisecond for auto-repeat and drop the press. The watch
// reads the raw key releases of XInput 2, which carry that stamp, and asks
// the server's clock of the SYNC extension (its SERVERTIME counter).
//
// Releases are matched by count: the caller tells of each release it sends
// (sent()), the watch counts those Xwayland reports, key by key, so that an
// older release of the same key is not taken for the last one.
//
// It hears of keys only from begin() to end(), one text: between texts
// nothing reads the connection, and Xwayland would otherwise keep every
// key the user types for it.
class XwaylandKeyWatch
{
public:
    // Throws OperationError(TypingUnavailable) where $DISPLAY cannot be
    // opened or lacks XInput 2 or SYNC.
    XwaylandKeyWatch();
    ~XwaylandKeyWatch();
    XwaylandKeyWatch(const XwaylandKeyWatch &) = delete;
    XwaylandKeyWatch &operator=(const XwaylandKeyWatch &) = delete;

    bool lost() const { return m_connection.lost(); }

    // A release of the X11 keycode is on its way to Xwayland.
    void sent(uint8_t keycode) { ++m_sent[keycode]; }
    // Waits until Xwayland has handled every release of keycode sent, and
    // then until its clock has moved on from the last one's millisecond.
    // False where that took longer than timeout (or the connection broke).
    bool awaitRepressable(uint8_t keycode, std::chrono::milliseconds timeout);
    // Starts hearing of key releases, before a text.
    void begin();
    // Waits, at most timeout, until Xwayland has handled every release
    // sent, and stops hearing of them. Releases lost on the way (another
    // window took the keyboard) or pressed by someone else are forgotten.
    void end(std::chrono::milliseconds timeout);

private:
    using Deadline = std::chrono::steady_clock::time_point;

    // Waits until done() holds, reading what Xwayland reports; false once
    // the deadline passes or the connection breaks.
    template<typename Done>
    bool readUntil(Done done, Deadline deadline);
    void readPending();
    void selectReleases(bool selected);
    // The low 32 bits of the server time, as in events.
    uint32_t serverTime();

    XConnection m_connection;
    int m_xinputOpcode = 0;
    unsigned long m_serverTimeCounter = 0;
    std::array<uint32_t, 256> m_sent{};
    std::array<uint32_t, 256> m_handled{};
    std::array<uint32_t, 256> m_lastRelease{}; // server time of each key's last release handled
};
