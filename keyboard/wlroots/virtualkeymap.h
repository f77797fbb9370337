#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// The keymap bexlow gives its virtual keyboard: each character a text needs
// on a key of its own, alone on every level, so no modifier is ever pressed.
// Return, Tab, BackSpace and Escape sit on their usual keys.
//
// Characters go on keys of the main block, the keypad and F13 to F24 only,
// all with X11 keycodes below 256 so that programs under Xwayland can use
// them too, in each of the four groups (layouts) a keymap may have: KeyCount
// keys in all. The group is chosen through the keyboard's group state,
// which is no modifier, so no shortcut can come of it. Receivers look at a key's code as well as its
// symbol: Chromium drops key codes it has no name for, and a code such as
// F5 or Back would mean a browser command. A text that needs more keys than
// KeyCount is typed in pieces, one keymap each.
//
// A character that a piece types twice in a row (a doubled character) gets
// two keys on different keycodes, pressed in turn: Xwayland stamps key
// events with its own clock as it reads them, so a key's release and its
// next press come at the same millisecond, which some X11 programs
// (LibreOffice's own toolkit) take for auto-repeat, dropping the press.
//
// When a new keymap is needed, characters already on a key stay there and
// the keys used longest ago are given away first, so that a receiver that
// applies the new keymap a little late still reads most keys right.
class VirtualKeymap
{
public:
    // The name of its keycodes, by which an X server that took the keymap
    // over (Xwayland under sway before 1.12) shows it.
    static constexpr const char *KeycodesName = "bexlow";

    static constexpr int Groups = 4;
    static const size_t KeyCount;

    struct Position
    {
        int keycode = 0; // X11 keycode, evdev code + 8; 0: none
        int group = 0;
    };

    VirtualKeymap();

    // Where in strokes, from `from`, the piece that one keymap can type ends.
    size_t pieceEnd(const std::u32string &strokes, size_t from) const;
    // Makes every character of strokes[from, to) hold a key; true when the
    // keymap changed and must be uploaded again.
    bool prepare(const std::u32string &strokes, size_t from, size_t to);

    // The keys the last prepare() gave a new character that had another.
    const std::vector<int> &rebound() const { return m_rebound; }

    // The key and group that type c, on another keycode than `previous`
    // where c has two keys; keycode 0 when none holds it.
    Position positionOf(char32_t c, int previous = 0) const;

    // The keymap in XKB text form, complete in itself (no includes), checked
    // with libxkbcommon: every key must yield its character. Throws
    // OperationError(TypingFailed) when libxkbcommon rejects it.
    std::string text() const;

private:
    struct Key
    {
        int keycode = 0;
        int group = 0;
        char32_t character = 0; // 0: free
        uint64_t lastUse = 0;
    };

    std::string source() const;

    std::vector<Key> m_keys;
    std::unordered_map<char32_t, std::vector<size_t>> m_keysOf; // one or two keys a character
    uint64_t m_clock = 0;
    std::vector<int> m_rebound;
};
