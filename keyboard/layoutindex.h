#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

struct xkb_keymap;

// Where each character sits on an XKB keymap, worked out by libxkbcommon
// the way receiving programs do: with a layout locked, for every key alone,
// with Shift, with the level-three shift (AltGr) and with both, the
// character the key then gives. A character is taken at its first place in
// that order, on the lowest keycode; with `otherLayouts`, the other layouts
// follow the preferred one in the same way.
//
// Only Shift and AltGr are ever held, so no character needs a modifier that
// a program could take for a shortcut. Left out: keycodes above 255, which
// X11 programs never get; keypad keys, which terminals may turn into escape
// sequences; the modifier keys themselves and the keycodes in `skipped`. A
// character on no key at these levels (a dead key's, another script's) has
// no place: it cannot be typed on this keymap.
class LayoutIndex
{
public:
    struct Place
    {
        uint32_t keycode = 0; // XKB keycode (evdev code + 8)
        uint32_t layout = 0;  // the layout to lock while it is typed
        uint32_t level = 0;   // the key's level in that layout
        uint32_t keysym = 0;  // what the key gives there
        bool shift = false;
        bool levelThree = false;
    };
    struct Options
    {
        uint32_t layout = 0; // the preferred one; the first where the keymap has fewer
        bool otherLayouts = false;
        std::vector<uint32_t> skipped;
    };

    LayoutIndex() = default;
    LayoutIndex(xkb_keymap *keymap, const Options &options);

    // The place of c, or nullptr if the keymap cannot give it.
    const Place *find(char32_t c) const;
    const std::unordered_map<char32_t, Place> &places() const { return m_places; }

    // The keys that hold Shift and the level-three shift in the preferred
    // layout; 0 if there is none.
    uint32_t shiftKey() const { return m_shiftKey; }
    uint32_t levelThreeKey() const { return m_levelThreeKey; }

private:
    std::unordered_map<char32_t, Place> m_places;
    uint32_t m_shiftKey = 0;
    uint32_t m_levelThreeKey = 0;
};
