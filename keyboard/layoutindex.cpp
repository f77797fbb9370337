#include "keyboard/layoutindex.h"

#include "keyboard/x11keycode.h"
#include "keyboard/xkbhandles.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>

namespace {

// A state with layout locked, as the desktop has it: each key gives what it
// has in that layout, or, where it has fewer, in the one it falls back to
// (Shift, Return and space often have only the first).
XkbStateHandle lockedTo(xkb_keymap *keymap, xkb_layout_index_t layout)
{
    XkbStateHandle state(xkb_state_new(keymap));
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
    return state;
}

// The lowest keycode whose first level gives keysym in layout.
xkb_keycode_t keyFor(xkb_keymap *keymap, xkb_layout_index_t layout, xkb_keysym_t keysym)
{
    const XkbStateHandle state = lockedTo(keymap, layout);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        const xkb_keysym_t *syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, xkb_state_key_get_layout(state.get(), key), 0, &syms) == 1
            && syms[0] == keysym)
            return key;
    }
    return 0;
}

bool isKeypadKeysym(xkb_keysym_t keysym)
{
    return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal;
}

} // namespace

LayoutIndex::LayoutIndex(xkb_keymap *keymap, const Options &options)
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts(keymap);
    const xkb_layout_index_t preferred = options.layout < layouts ? options.layout : 0;
    std::vector<xkb_layout_index_t> order{preferred};
    for (xkb_layout_index_t layout = 0; options.otherLayouts && layout < layouts; ++layout) {
        if (layout != preferred)
            order.push_back(layout);
    }
    const xkb_keycode_t lastKey = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap), HighestX11Keycode);
    for (const xkb_layout_index_t layout : order) {
        const xkb_keycode_t shiftKey = keyFor(keymap, layout, XKB_KEY_Shift_L);
        const xkb_keycode_t levelThreeKey = keyFor(keymap, layout, XKB_KEY_ISO_Level3_Shift);
        if (layout == preferred) {
            m_shiftKey = shiftKey;
            m_levelThreeKey = levelThreeKey;
        }
        for (int way = 0; way < 4; ++way) {
            const bool shift = way & 1;
            const bool levelThree = way & 2;
            if ((shift && !shiftKey) || (levelThree && !levelThreeKey))
                continue;
            // No lock but the layout's, no latch; only these keys held.
            const XkbStateHandle state = lockedTo(keymap, layout);
            if (shift)
                xkb_state_update_key(state.get(), shiftKey, XKB_KEY_DOWN);
            if (levelThree)
                xkb_state_update_key(state.get(), levelThreeKey, XKB_KEY_DOWN);
            for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= lastKey; ++key) {
                if (key == shiftKey || key == levelThreeKey
                    || std::find(options.skipped.begin(), options.skipped.end(), key) != options.skipped.end())
                    continue;
                const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), key);
                const char32_t c = xkb_state_key_get_utf32(state.get(), key);
                if (keysym == XKB_KEY_NoSymbol || c == 0 || isKeypadKeysym(keysym) || m_places.count(c))
                    continue;
                const xkb_level_index_t level =
                    xkb_state_key_get_level(state.get(), key, xkb_state_key_get_layout(state.get(), key));
                m_places.emplace(c, Place{key, layout, level, keysym, shift, levelThree});
            }
        }
    }
}

const LayoutIndex::Place *LayoutIndex::find(char32_t c) const
{
    const auto it = m_places.find(c);
    return it == m_places.end() ? nullptr : &it->second;
}
