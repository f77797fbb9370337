#pragma once

#include <chrono>

// Keeps typing within what a slow receiver can take in.
//
// A Wayland compositor passes each key on to the focused client at once and
// holds at most one socket's worth for a client that has not read yet
// (about 3,000 keystrokes with libwayland 1.21, fewer with group changes
// among them); one byte more and it disconnects the client. On a loaded
// machine a receiver may not read for a tenth of a second or more. So a
// burst of up to Burst characters is sent at full speed, which covers every
// text a serial line can deliver within one settle delay, and longer text at
// Rate characters per second, just above what the fastest common line
// (115200 baud, 11,520 characters per second) delivers. A keymap upload
// counts as KeymapCost characters, since every client compiles it before
// reading on (Xwayland runs xkbcomp for it); a group change as GroupCost.
class KeystrokePacer
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr double Burst = 1000;
    static constexpr double Rate = 12000; // characters per second
    static constexpr double KeymapCost = 300;
    static constexpr double GroupCost = 0.5;

    // How long to wait before `count` more characters may go, as of now;
    // then counts them as sent.
    Clock::duration take(double count, Clock::time_point now);

private:
    double m_allowance = Burst;
    Clock::time_point m_last{};
};
