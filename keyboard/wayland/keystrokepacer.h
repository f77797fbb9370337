#pragma once

#include <chrono>

// Keeps typing within what a slow receiver can take in.
//
// A Wayland compositor passes each key on to the focused client at once and
// holds at most one socket's worth (about 3,000 keystrokes with libwayland
// 1.21) for a client that has not read yet; one byte more and it
// disconnects the client. A burst of up to Burst characters is sent at full
// speed, longer text at Rate characters per second. A keymap upload counts
// as KeymapCost characters, since every client compiles it before reading
// on (Xwayland runs xkbcomp for it).
class KeystrokePacer
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr double Burst = 1500;
    static constexpr double Rate = 20000; // characters per second
    static constexpr double KeymapCost = 300;

    // How long to wait before `count` more characters may go, as of now;
    // then counts them as sent.
    Clock::duration take(double count, Clock::time_point now);

private:
    double m_allowance = Burst;
    Clock::time_point m_last{};
};
