#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

// Keeps typing within what a receiver that stops reading can hold.
//
// A Wayland compositor passes each key on to the focused client at once and
// holds what the client has not read yet in that client's socket; when the
// socket is full it disconnects the client, which loses its window and
// usually its unsaved work. A program busy for a moment (collecting garbage,
// recalculating, swapping) stops reading. So keys go in batches, at most a
// batch at once and at most a rate a second on average: a receiver that
// stops reading for StallSeconds at any moment has at most
// batch + StallSeconds * rate keystrokes queued, which must fit with a
// margin into what its compositor holds.
//
// Measured with foot stopped by SIGSTOP (plain characters, one key each):
//  - sway 1.7 (libwayland 1.21) kept it with 3,040 keystrokes queued and
//    disconnected it at 3,159 to 3,440: WlrootsPace queues at most 2,300,
//    and types printable ASCII at about 1,000 characters a second (group
//    changes included), above a 9600-baud line's 960.
//  - mutter 43 disconnects a client after about two seconds of a steady
//    flow, however slow: at 1,000 keystrokes a second with 1,680 queued, at
//    600 with 1,088, at 500 with 989; at 400 it kept it with 800 queued
//    over 2.6 s. LayoutPace, 300 a second, queues at most 700. Older KWin
//    and the desktop portal on other desktops are held to it too, unmeasured.
//  - sway 1.12 (libwayland 1.23, which lets a compositor hold more for a
//    client) kept foot stopped for 2 s through 6,000 characters sent in
//    half a second: LargeBufferPace queues at most 4,000.
//  - KWin 6.7 (libwayland 1.26, Debian testing) kept foot stopped for 6 s
//    while printable ASCII came through the desktop portal's EIS connection
//    as fast as it went, about 1,700 characters (3,400 keystrokes) a
//    second: 10,000 characters, 20,000 keystrokes, queued; stopped for 8 s
//    it lost the keys. KWinPace queues at most 7,000 keystrokes and types
//    printable ASCII at about 1,500 characters a second. KWin's fake input
//    goes to the same queue, and is held to it too.
// Only a compositor that tells its version (sway over its IPC socket, KWin
// on the session bus) is trusted to hold more (paceFor); any other keeps
// the pace of its injector.
// A keymap upload counts as KeymapCost keystrokes (every client compiles
// the keymap before reading on; Xwayland runs xkbcomp for it), a group
// change as GroupCost (its event is half the size of a key's press and
// release).
class KeystrokePacer
{
public:
    using Clock = std::chrono::steady_clock;

    struct Pace
    {
        double batch; // keystrokes at once
        double rate;  // keystrokes per second
    };
    static constexpr double StallSeconds = 2;
    static constexpr Pace WlrootsPace{100, 1100};
    static constexpr Pace LayoutPace{100, 300};
    static constexpr Pace LargeBufferPace{1000, 1500};
    static constexpr Pace KWinPace{1000, 3000};
    static constexpr double KeymapCost = 25;
    static constexpr double GroupCost = 0.5;

    enum class Compositor { Sway, KWin };
    using Version = std::optional<std::pair<int, int>>; // (major, minor), where told
    // The pace for compositor at version: a larger one where it is known to
    // hold more (measured above), else `otherwise`.
    static Pace paceFor(Compositor compositor, const Version &version, Pace otherwise);

    explicit KeystrokePacer(Pace pace)
        : m_pace(pace)
        , m_allowance(pace.batch)
    {}

    // Counts `count` more keystrokes as sent. Where they go beyond the
    // pace, calls flush() to send what is queued, then waits until a whole
    // batch may go again.
    void pace(double count, const std::function<void()> &flush);
    // The same reckoning at `now`: the time until which typing must wait
    // (after sending what is queued), or nothing while within the pace.
    std::optional<Clock::time_point> charge(double count, Clock::time_point now);

private:
    Pace m_pace;
    double m_allowance;
    Clock::time_point m_last{};
};
