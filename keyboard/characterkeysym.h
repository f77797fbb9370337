#pragma once

#include <cstdint>

// The keysym that stands for a character wherever a keysym is to type one
// (a spare key of the X11 keymap, KWin's keyboard_keysym): the function
// keysyms for control characters (Return, Tab, BackSpace, Escape, Delete),
// the Latin-1 keysym up to U+00FF, and the Unicode keysym 0x1000000 + c
// beyond. Legacy keysyms are avoided: libraries read some of them as
// different characters (0xaf4 is U+2717 to xkbcommon but U+2612 to Xlib),
// the Unicode keysym all alike.
namespace CharacterKeysym {

uint32_t of(char32_t c);

} // namespace CharacterKeysym
