#pragma once

#include <optional>
#include <unordered_map>
#include <vector>

struct _XkbDesc;

// Where a character sits on the keyboard: the key, the group (layout) and
// the modifiers that select its level.
struct KeyPosition
{
    int keycode = 0;
    int group = 0;
    unsigned modifiers = 0;
};

// Every character that an XKB keymap can type, with the easiest position to
// type it from: in the preferred group if it is there, with the fewest
// modifiers, on the lowest keycode. Only positions reachable with the
// modifiers in `typingModifiers` (Shift, Level3) count; keypad keys are
// left out, since terminals may turn them into escape sequences, and so are
// modifier keys and the keycodes in `skipped`.
class KeymapIndex
{
public:
    KeymapIndex() = default;
    KeymapIndex(const _XkbDesc *xkb, unsigned typingModifiers, int preferredGroup, const std::vector<int> &skipped);

    std::optional<KeyPosition> find(char32_t c) const;
    int preferredGroup() const { return m_preferredGroup; }

private:
    std::unordered_map<char32_t, KeyPosition> m_positions;
    int m_preferredGroup = 0;
};
