#pragma once

// X11's key events carry the keycode in one byte: X11 programs, under
// Xwayland too, never see a key above this one.
constexpr int HighestX11Keycode = 255;
