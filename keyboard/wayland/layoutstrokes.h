#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// How each character is typed on a given keyboard layout (an XKB keymap as
// text, one of its layouts): its place in the layout index (LayoutIndex,
// that layout alone), and whether a compositor that types keysyms finds it
// there.
class LayoutStrokes
{
public:
    struct Stroke
    {
        uint32_t keycode = 0; // XKB keycode (evdev code + 8)
        uint32_t keysym = 0;  // what the key gives at that level
        bool shift = false;
        bool levelThree = false;
        // The keysym's first place in the layout (lowest keycode, then
        // lowest level) is this key at level one or two: a compositor that
        // types keysyms by their first place, adding Shift, gives it.
        bool firstPlaceOfKeysym = false;
    };

    LayoutStrokes() = default;
    // For the layout of that index (the first where the keymap has fewer).
    // Throws OperationError(TypingUnavailable) if the keymap does not compile.
    LayoutStrokes(const std::string &keymap, uint32_t layout);

    // The stroke for c, or nullptr if the layout cannot give it.
    const Stroke *find(char32_t c) const;

    // Keys that hold Shift and the level-three shift; 0 if there is none.
    uint32_t shiftKey() const { return m_shiftKey; }
    uint32_t levelThreeKey() const { return m_levelThreeKey; }

private:
    std::unordered_map<char32_t, Stroke> m_strokes;
    uint32_t m_shiftKey = 0;
    uint32_t m_levelThreeKey = 0;
};
